// strings.cpp: bounded copy and format helpers, case-insensitive compares
// through the kernel's upper-case table, number and switch parsing.
#include "tv_string.h"

#include <cstdio>
#include <cstring>

#include "tv_charset.h"

size_t TvStrCopy(char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  if (out == text) {
    size_t n = strnlen(out, size - 1);
    out[n] = '\0';
    return n;
  }
  size_t n = text ? strnlen(text, size - 1) : 0;
  memmove(out, text ? text : "", n);
  out[n] = '\0';
  return n;
}

size_t TvStrCat(char* out, const char* text, size_t size) {
  if (!out || size == 0) return 0;
  size_t used = strnlen(out, size - 1);
  return used + TvStrCopy(out + used, text, size - used);
}

size_t TvStrCopyUntil(char* out, const char* text, char stop, size_t size) {
  if (!out || size == 0) return 0;
  size_t n = 0;
  if (text)
    while (n + 1 < size && text[n] && text[n] != stop) ++n;
  memmove(out, text ? text : "", n);
  out[n] = '\0';
  return n;
}

size_t TvFormatV(char* out, size_t size, const char* format, va_list args) {
  if (!out || size == 0) return 0;
  int n = vsnprintf(out, size, format ? format : "", args);
  if (n < 0) {
    out[0] = '\0';
    return 0;
  }
  return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

size_t TvFormat(char* out, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  size_t n = TvFormatV(out, size, format, args);
  va_end(args);
  return n;
}

void TvStrUpperInPlace(char* text) {
  for (; text && *text; ++text) *text = TvToUpper(*text);
}

int TvStrCompareNoCaseN(const char* a, const char* b, size_t count) {
  a = TvStrOrEmpty(a);
  b = TvStrOrEmpty(b);
  for (size_t i = 0; i < count; ++i) {
    int ca = static_cast<uint8_t>(TvToUpper(a[i]));
    int cb = static_cast<uint8_t>(TvToUpper(b[i]));
    if (ca != cb) return ca - cb;
    if (!ca) break;
  }
  return 0;
}

int TvStrCompareNoCase(const char* a, const char* b) { return TvStrCompareNoCaseN(a, b, SIZE_MAX); }

bool TvStrEqualNoCase(const char* a, const char* b) { return TvStrCompareNoCase(a, b) == 0; }

int32_t TvStrToInt(const char* text, const char** end) {
  const char* p = TvStrOrEmpty(text);
  while (*p == ' ') ++p;
  uint32_t value = 0;
  bool negative = false;
  if (*p == '\'' && p[1]) {
    value = static_cast<uint8_t>(p[1]);
    p += 2;
  } else if (*p && !strchr(",/:", *p)) {
    const char* start = p;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    if (*p >= '0' && *p <= '9') {
      if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        for (;; ++p) {
          int d = (*p >= '0' && *p <= '9') ? *p - '0'
                  : (*p >= 'a' && *p <= 'f') ? *p - 'a' + 10
                  : (*p >= 'A' && *p <= 'F') ? *p - 'A' + 10
                                             : -1;
          if (d < 0) break;
          value = value * 16 + static_cast<uint32_t>(d);
        }
      } else {
        for (; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<uint32_t>(*p - '0');
      }
    } else {
      p = start;
      negative = false;
    }
  }
  if (end) {
    // Items of a list ("12/05/2003", "a, b") are read one after another.
    while (*p == ' ') ++p;
    if (*p && strchr(",/:", *p)) {
      ++p;
      while (*p == ' ') ++p;
    }
    *end = p;
  }
  return static_cast<int32_t>(negative ? 0u - value : value);
}

bool TvStrToBool(const char* text) {
  const char* p = TvStrOrEmpty(text);
  while (*p == ' ') ++p;
  switch (*p) {
    case '1': case 'T': case 't': case 'Y': case 'y': return true;
    case 'O': case 'o': return p[1] == 'N' || p[1] == 'n';
    default: return false;
  }
}
