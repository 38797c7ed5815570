// tv_options.h: the command-line parser that command-line programs share
// with the kernel. The kernel walks the arguments once at start-up and acts
// on its own options; the program walks them again for its own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"

enum TvOptionResult : int32_t {
  TvOptionEnd = 0,      // no more arguments
  TvOptionProgram = 1,  // an option of the program's list
  TvOptionPlain = 2,    // a plain argument (value holds it whole)
  TvOptionKernel = 3,   // an option of the kernel's list
  TvOptionHelp = 4,     // a request for the program's usage
};

constexpr size_t kTvOptionNameSize = 20;    // full upper-case name, at most 19 characters
constexpr size_t kTvOptionValueSize = 384;  // value, or the whole plain argument

// Lists are texts such as "-INI:-ERRORS": "-", the upper-case name, ":" when
// the option takes a value. programOptions may be nullptr (no options).
void TvOptionsBegin(int argc, char** argv, const char* programOptions);
// A TvOptionResult, or a negative status: -1030 for an option no list
// holds, -1030 (after -1096) for an argument with a control character,
// -1097 for a line of an option file that does not fit, or the open
// failure of an option file. name: kTvOptionNameSize bytes; value:
// kTvOptionValueSize bytes.
int32_t TvNextOption(char* name, char* value);
void TvOptionsEnd();

// True for a text without control characters: letters of code page 1252
// beyond ASCII are ordinary characters of an argument.
bool TvOptionPrintable(const char* text);

// The kernel's own option of the current walk, applied before start-up.
TvStatus TvKernelOptionApply(const char* name, const char* value);
// "Application revision information", then the build records, to the log.
void TvRevisionReport();
