// tv_string.h: bounded copying and formatting, case-insensitive comparison
// through the kernel's character tables, number and switch parsing.
//
// Every copy into a caller's buffer in the kernel and the extension goes
// through TvStrCopy / TvStrCat / TvFormat: at most size - 1 characters are
// stored and the result is always terminated (size 0 stores nothing).
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>

size_t TvStrCopy(char* out, const char* text, size_t size);
size_t TvStrCat(char* out, const char* text, size_t size);
size_t TvStrCopyUntil(char* out, const char* text, char stop, size_t size);

__attribute__((format(gnu_printf, 3, 4)))
size_t TvFormat(char* out, size_t size, const char* format, ...);
size_t TvFormatV(char* out, size_t size, const char* format, va_list args);

void TvStrUpperInPlace(char* text);

// Comparisons through the upper-case table (ignore letter case only).
int TvStrCompareNoCase(const char* a, const char* b);
int TvStrCompareNoCaseN(const char* a, const char* b, size_t count);
bool TvStrEqualNoCase(const char* a, const char* b);

// Number and switch parsing of the configuration texts.
int32_t TvStrToInt(const char* text, const char** end);
bool TvStrToBool(const char* text);

inline const char* TvStrOrEmpty(const char* text) { return text ? text : ""; }
