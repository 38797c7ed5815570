// messages.cpp: the installer text groups and their language tables.
#include "messages.h"

#include "tv_string.h"

namespace {

// English texts serve both the United Kingdom and the United States.
const char* EnglishLayout(int16_t number) {
  switch (number) {
    case kTvIsiLayoutName: return "%s_Default";
    case kTvIsiLayoutDescription: return "Default layout for %s";
    default: return nullptr;
  }
}

// Code page 1252: 0xE9 is e acute.
const char* FrenchLayout(int16_t number) {
  switch (number) {
    case kTvIsiLayoutName:
      return "D\xE9"
             "faut_%s";
    case kTvIsiLayoutDescription:
      return "Format d'adresse d\xE9"
             "faut pour %s";
    default: return nullptr;
  }
}

// German and Dutch define the numbers with empty texts: the layout stays
// unnamed rather than falling back to English.
const char* EmptyLayout(int16_t number) {
  return number == kTvIsiLayoutName || number == kTvIsiLayoutDescription ? "" : nullptr;
}

}  // namespace

const TvIsiLanguageText kTvIsiLayoutTexts[] = {
    {49, EmptyLayout}, {44, EnglishLayout}, {33, FrenchLayout}, {31, EmptyLayout}, {1, EnglishLayout}, {0, nullptr},
};

TvIsiTextFunction TvIsiSelectTexts(const TvIsiLanguageText* table, uint16_t language) {
  const TvIsiLanguageText* entry = TvLanguageSelect(table, language);
  return entry ? entry->text : nullptr;
}

char* TvIsiFetchText(TvIsiTextFunction text, int16_t number, char* buffer, size_t capacity) {
  const char* found = text ? text(number) : nullptr;
  if (buffer && capacity) buffer[0] = '\0';
  if (!found) return nullptr;
  TvStrCopy(buffer, found, capacity);
  return buffer;
}
