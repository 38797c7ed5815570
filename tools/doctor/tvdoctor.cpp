// tvdoctor: a read-only check of an installation's configuration that names
// every problem, its line and what an export would do with it.
//
//   tvdoctor [kernel options] [-JSON] <folder or configuration file>...
//
// Exit code 0 clean, 1 warnings only, 2 errors, 3 a path could not be checked.
#include <cstdio>
#include <string>

#include "command_line.h"
#include "doctor.h"

namespace {

constexpr const char* kUsage =
    "usage: tvdoctor [kernel options] [-JSON] <folder or configuration file>...\n"
    "  a folder: its server configuration (tvwserve.ini) and client configuration (tvworld.ini)\n"
    "  -JSON     the findings as JSON\n"
    "  exit code 0 clean, 1 warnings only, 2 errors, 3 a path could not be checked\n";

}  // namespace

int main(int argc, char** argv) {
  // The kernel's log stays off the console, where the report goes (-LOG:
  // sends it to a file), and never asks for removable media.
  const tvtool::CommandLine line = tvtool::Start("TVDOCTOR", "1.0", argc, argv, "-JSON",
                                                 TvFlagConfigOptional | TvFlagConsoleOff | TvFlagNoMediaPrompt);
  int result = 3;
  if (line.status < 0) {
    tvtool::Report("tvdoctor", line.status);
  } else if (line.help || line.plain.empty()) {
    std::fputs(kUsage, line.help ? stdout : stderr);
    std::fputs(tvtool::kKernelOptionsUsage, line.help ? stdout : stderr);
    result = line.help ? 0 : 3;
  } else {
    doctor::Report report;
    for (const std::string& path : line.plain) doctor::CheckPath(path, report);
    const std::string text = line.options.empty() ? doctor::TextReport(report) : doctor::JsonReport(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    result = report.ExitCode();
  }
  tvtool::Finish();
  return result;
}
