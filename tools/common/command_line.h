// command_line.h: how our command-line programs start the kernel: from their
// arguments, so that the kernel's options (-INI:, -SECTION:, -LOG:,
// -DATADIR:, -ERRORS, -LANGUAGE:, -VERSION) and "@" option files work for
// each of them. The program then walks the arguments again for what the
// kernel leaves to it: its plain arguments, its own options and -HELP / -?.
#pragma once
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tv_error.h"
#include "tv_instance.h"
#include "tv_options.h"

namespace tvtool {

struct CommandLine {
  TvStatus status = TvOk;  // of the kernel's start and the walk
  bool help = false;       // -HELP or -?
  std::vector<std::string> plain;
  std::vector<std::pair<std::string, std::string>> options;  // the program's own: full name, value
};

// Starts the kernel (a missing configuration is no error, unless flags say
// otherwise). Whatever the status, the program ends with TvKernelShutdown
// and TvEndInstance.
inline CommandLine Start(const char* module, const char* version, int argc, char** argv,
                         const char* programOptions = nullptr, uint32_t flags = TvFlagConfigOptional) {
  CommandLine line;
  line.status = TvKernelStartupFromArgs(module, version, ":1", flags, argc, argv, programOptions);
  if (line.status < 0) return line;  // the kernel's walk has reported it already
  TvOptionsBegin(argc, argv, programOptions);
  char name[kTvOptionNameSize], value[kTvOptionValueSize];
  for (int32_t result; (result = TvNextOption(name, value)) != TvOptionEnd;) {
    if (result < 0) {
      line.status = result;
      break;
    }
    if (result == TvOptionPlain) line.plain.emplace_back(value);
    if (result == TvOptionProgram) line.options.emplace_back(name, value);
    if (result == TvOptionHelp) line.help = true;
  }
  TvOptionsEnd();
  return line;
}

// "<program>: <message of status> (<status>)" on standard error.
inline void Report(const char* program, TvStatus status) {
  fflush(stdout);
  fprintf(stderr, "%s: %s (%ld)\n", program, TvErrorText(status), static_cast<long>(status));
}

// The kernel's options, for each program's usage text.
constexpr const char* kKernelOptionsUsage =
    "kernel options (before, between or after the arguments; \"@file\" reads one argument per line):\n"
    "  -INI:<file> -SECTION:<section> -LOG:<file> -DATADIR:<folder> -ERRORS -LANGUAGE:<code> -VERSION\n"
    "  -HELP, -?  this text\n";

inline void Finish() {
  TvKernelShutdown(0);
  TvEndInstance();
}

// A program's body run with the kernel started from the arguments: a start
// that fails gives the kernel's message and exit code 2, -HELP or -? the
// usage and 0; body takes the plain arguments.
template <typename Body>
int Run(const char* program, const char* module, int argc, char** argv, const char* usage, Body body) {
  const CommandLine line = Start(module, "1.0", argc, argv);
  int result = 0;
  if (line.status < 0) {
    Report(program, line.status);
    result = 2;
  } else if (line.help) {
    printf("%s%s", usage, kKernelOptionsUsage);
  } else {
    result = body(line.plain);
  }
  Finish();
  return result;
}

}  // namespace tvtool
