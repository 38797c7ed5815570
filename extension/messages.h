// messages.h: the installer texts the library carries in five languages.
// A group of message numbers has a language table; each language's text
// function maps a number of the group to its text (possibly empty), or to
// nothing for a number outside the group.
#pragma once
#include <cstddef>
#include <cstdint>

using TvIsiTextFunction = const char* (*)(int16_t number);

struct TvIsiLanguageText {
  uint16_t language;  // 0 ends the table
  TvIsiTextFunction text;
};

// The names of a default address layout; "%s" stands for the country code.
constexpr int16_t kTvIsiLayoutName = 2100;
constexpr int16_t kTvIsiLayoutDescription = 2101;
extern const TvIsiLanguageText kTvIsiLayoutTexts[];  // 49, 44, 33, 31, 1, then 0

// The text function of a language: the one asked, else the current
// language's, else English (44), else the first.
TvIsiTextFunction TvIsiSelectTexts(const TvIsiLanguageText* table, uint16_t language);

// Copies a message into the buffer (at most capacity - 1 characters) and
// returns the buffer; nullptr, with the buffer emptied, for a number the
// group does not define (the caller reports -1078).
char* TvIsiFetchText(TvIsiTextFunction text, int16_t number, char* buffer, size_t capacity);
