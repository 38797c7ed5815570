// tv_string.h: bounded copying and formatting, comparisons through the
// kernel's character tables, number and switch parsing, tokens and lists,
// file-name patterns, and the kernel's language message tables.
//
// Every copy into a caller's buffer in the kernel and the extension goes
// through TvStrCopy / TvStrCat / TvFormat or one of the routines below: at
// most size - 1 characters are stored and the result is always terminated
// (size 0 stores nothing).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "tv_base.h"

size_t TvStrCopy(char* out, const char* text, size_t size);
size_t TvStrCat(char* out, const char* text, size_t size);
size_t TvStrCopyUntil(char* out, const char* text, char stop, size_t size);

// Copies count characters of text (65535: all of it), never past the text's
// end and never more than size - 1.
constexpr size_t kTvStrAll = 65535;
size_t TvStrCopyN(char* out, const char* text, size_t count, size_t size);

__attribute__((format(gnu_printf, 3, 4))) size_t TvFormat(char* out, size_t size, const char* format, ...);
size_t TvFormatV(char* out, size_t size, const char* format, va_list args);

// Copies through the upper-case or lower-case table; out may be text.
size_t TvStrUpper(char* out, const char* text, size_t size);
size_t TvStrLower(char* out, const char* text, size_t size);
void TvStrUpperInPlace(char* text);

// Comparisons through the upper-case table (ignore letter case only).
int TvStrCompareNoCase(const char* a, const char* b);
int TvStrCompareNoCaseN(const char* a, const char* b, size_t count);
bool TvStrEqualNoCase(const char* a, const char* b);

// Sort order: at the first differing character the diacritic-free forms
// decide, then the characters themselves (both as signed bytes), so an
// accented letter sorts next to its plain letter.
int TvStrCollate(const char* a, const char* b);
int TvStrCollateN(const char* a, const char* b, size_t count);
// Equality that ignores case and diacritics.
int TvStrCompareFold(const char* a, const char* b);
int TvStrCompareFoldN(const char* a, const char* b, size_t count);

// The four compares as list compare functions; the N forms take the count
// from the list's user data.
int TvStrCollateItems(const void* item, const void* listItem, intptr_t userData);
int TvStrCollateNItems(const void* item, const void* listItem, intptr_t count);
int TvStrCompareFoldItems(const void* item, const void* listItem, intptr_t userData);
int TvStrCompareFoldNItems(const void* item, const void* listItem, intptr_t count);

// Number and switch parsing of the configuration texts. With end given, a
// separator ("," "/" ":") after the number is passed over, so that
// successive calls read "12/05/2003" or the items of "1, 2, 3".
int32_t TvStrToInt(const char* text, const char** end);

enum TvStrNumberFlag : uint32_t {
  TvNumCharCode = 1,         // the value is the next character's code
  TvNumHex = 2,              // hexadecimal digits
  TvNumDecimal = 4,          // decimal digits
  TvNumSkipSpaces = 0x1000,  // skip leading spaces
  TvNumSeparator = 0x2000,   // pass over a trailing separator as TvStrToInt does
};
// Without TvNumCharCode, TvNumHex or TvNumDecimal the form is detected as
// TvStrToInt does (apostrophe, sign, "0x"); a sign is read only then.
int64_t TvStrToInt64(const char* text, uint32_t flags, const char** end);

bool TvStrToBool(const char* text);
// 0 with the switch in result, or -1096 (not logged) with the default there.
TvStatus TvStrToBoolChecked(const char* text, int* result, int defaultValue);

// The next item of a list: copied into out, and the text after its
// separator returned, or nullptr once the text is used up. A space as
// separator stands for any white space and skips runs of it.
const char* TvStrToken(char* out, const char* text, size_t size, char separator);

// Runs of tabs, line ends and commas become one comma; none at either end.
size_t TvStrSeparators(char* out, const char* text, size_t size);

size_t TvStrCount(const char* text, char character);

// 1 when the name matches the pattern ("*" any run, "?" one character,
// letters compared through the lower-case table; the literal run after a
// "*" is taken at its first occurrence only).
int TvFileNameMatch(const char* pattern, const char* name);

inline const char* TvStrOrEmpty(const char* text) { return text ? text : ""; }

// Language message tables. A message table is an array of texts ended by a
// null entry; a table set lists (language, table) pairs ended by language 0.
// Languages are telephone country codes.
using TvMsgTableRef = const char* const*;
struct TvMsgTableEntry {
  uint16_t language;
  TvMsgTableRef table;
};

// The kernel's current language (0 before start-up).
uint16_t TvCurrentLanguage();

// The one rule that picks a language's entry in every language list: the
// language asked, else the current language, else English (44), else the
// first entry.
template <typename Entry>
const Entry* TvLanguageSelect(const Entry* list, uint16_t language) {
  if (!list) return nullptr;
  const uint16_t wanted[] = {language, TvCurrentLanguage(), 44};
  for (uint16_t code : wanted)
    for (const Entry* e = list; code && e->language; ++e)
      if (e->language == code) return e;
  return list;
}

// The table of a language in a set (nullptr: the kernel strings).
TvMsgTableRef TvMsgTable(const TvMsgTableEntry* set, uint16_t language);
// The kernel strings chosen at start-up, or those of the current language.
TvMsgTableRef TvKernelStringsInUse();
// Message number of a table, or nullptr beyond its end.
const char* TvMsgText(TvMsgTableRef table, int number);
// Copies a message (table nullptr: the current language's kernel strings);
// when it is cut and ends with "~", the cut copy ends with "~" too.
size_t TvKernelString(TvMsgTableRef table, int number, char* out, size_t size);
// Copies a message and the following ones up to one that ends with "~" (the
// "~" is dropped), or to the end of the table.
size_t TvMsgJoin(TvMsgTableRef table, int number, char* out, size_t size);
// The language's display name, or "Unknown Language".
const char* TvLanguageName(uint16_t language);
