// frame.cpp: entry and exit lines of the exports.
#include "frame.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "tv_log.h"
#include "tv_string.h"

char TraceLine[kTraceLineSize];

namespace {

// A number in decimal, as %d and %u write it.
size_t Decimal(char* out, int64_t value) {
  char reversed[24];
  size_t k = 0;
  uint64_t rest = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    reversed[k++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest);
  size_t n = 0;
  if (value < 0) out[n++] = '-';
  while (k) out[n++] = reversed[--k];
  return n;
}

// What vsnprintf writes for a format of plain %s, %d, %u and %% (all that
// the log lines use), without its cost per line, which the exports that
// log a line per list entry would pay thousands of times. False for any
// other conversion, or a null text: vsnprintf then writes the line.
bool FormatPlain(char* out, size_t size, const char* format, va_list args) {
  size_t n = 0;
  const auto put = [&](const char* text, size_t length) {
    if (length > size - 1 - n) length = size - 1 - n;
    memcpy(out + n, text, length);
    n += length;
  };
  for (const char* p = format; *p;) {
    if (*p != '%') {
      const char* percent = strchr(p, '%');
      const size_t run = percent ? static_cast<size_t>(percent - p) : strlen(p);
      put(p, run);
      p += run;
      continue;
    }
    char digits[24];
    switch (p[1]) {
      case 's': {
        const char* text = va_arg(args, const char*);
        if (!text) return false;
        put(text, strlen(text));
        break;
      }
      case 'd': put(digits, Decimal(digits, va_arg(args, int))); break;
      case 'u': put(digits, Decimal(digits, va_arg(args, unsigned))); break;
      case '%': put("%", 1); break;
      default: return false;
    }
    p += 2;
  }
  out[n] = '\0';
  return true;
}

}  // namespace

void TvIsiLog(const char* format, ...) {
  va_list args, plain;
  va_start(args, format);
  va_copy(plain, args);
  if (!format || !FormatPlain(TraceLine, sizeof TraceLine, format, plain))
    TvFormatV(TraceLine, sizeof TraceLine, format, args);
  va_end(plain);
  va_end(args);
  TvLogWrite(TraceLine);
}

void TvIsiEntry(const char* name, const char* argument) { TvIsiLog("> %s (%s)\n", name, TvStrOrEmpty(argument)); }

void TvIsiEntryPlain(const char* name) { TvIsiLog("> %s\n", name); }

void TvIsiExit(const char* name, TvStatus status) { TvIsiLog("< %s = %d\n", name, static_cast<int>(status)); }
