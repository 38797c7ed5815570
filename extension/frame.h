// frame.h: the call frame shared by the exports: the log lines around each
// call, built in the one shared TraceLine buffer.
#pragma once
#include <cstddef>

#include "tv_base.h"

// The extension's one line buffer: 255 characters and the terminating NUL.
constexpr size_t kTraceLineSize = 256;
extern char TraceLine[kTraceLineSize];

// Formats into TraceLine (a longer line is cut at 255 characters) and
// writes it to the log.
__attribute__((format(gnu_printf, 1, 2))) void TvIsiLog(const char* format, ...);

// "> name (argument)\n"; the argument is cut with the line, never changed.
void TvIsiEntry(const char* name, const char* argument);
// "> name\n"
void TvIsiEntryPlain(const char* name);
// "< name = status\n"
void TvIsiExit(const char* name, TvStatus status);
