// frame.cpp: entry and exit lines of the exports.
#include "frame.h"

#include <cstdarg>

#include "tv_log.h"
#include "tv_string.h"

char TraceLine[kTraceLineSize];

void TvIsiLog(const char* format, ...) {
  va_list args;
  va_start(args, format);
  TvFormatV(TraceLine, sizeof TraceLine, format, args);
  va_end(args);
  TvLogWrite(TraceLine);
}

void TvIsiEntry(const char* name, const char* argument) { TvIsiLog("> %s (%s)\n", name, TvStrOrEmpty(argument)); }

void TvIsiEntryPlain(const char* name) { TvIsiLog("> %s\n", name); }

void TvIsiExit(const char* name, TvStatus status) { TvIsiLog("< %s = %d\n", name, static_cast<int>(status)); }
