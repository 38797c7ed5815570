// options_args.cpp: the command-line parser: arguments, "@" option files,
// abbreviations found in the option lists, and the kernel's own options
// applied before start-up.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_options.h"
#include "tv_path.h"
#include "tv_reports.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

struct Walk {
  int argc = 0;
  char** argv = nullptr;
  const char* programOptions = "";
  int next = 1;  // argv[0] is the program
  TvFileHandle file = kTvNoFile;
};
Walk walk;

bool LeadCharacter(char c) { return c == '-' || c == '/'; }

// The next line of the open option file: 1 and the line, 0 at its end (the
// file is closed), or -1097 for a line longer than the buffer, whose rest
// is passed over. Lines end in CR LF, LF or CR alone.
int32_t FileLine(char* value) {
  for (;;) {
    // One byte more than the value holds: a line of the longest length
    // still has room for its line end, and one longer shows as too long.
    char line[kTvOptionValueSize + 1];
    size_t n = TvFileReadLine(walk.file, line, sizeof line);
    if (n == 0) {
      TvOptionsEnd();
      return 0;
    }
    if (line[n - 1] == '\n') line[--n] = '\0';
    if (n >= kTvOptionValueSize) {
      char rest[64];
      size_t m;
      do m = TvFileReadLine(walk.file, rest, sizeof rest);
      while (m > 0 && rest[m - 1] != '\n');
      return TvErrorRaise(TvErrTruncated, nullptr, TvRaiseOrigin);
    }
    TvStrCopy(value, line, kTvOptionValueSize);
    if (n > 0) return 1;  // a line break alone carries no argument
  }
}

TvStatus OpenOptionFile(const char* name) {
  char full[kTvPathSize];
  const DWORD n = tvSys.getFullPathName(name, sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return TvErrorRaise(TvErrFileNotFound, name, TvRaiseOrigin);
  return TvFileOpen(nullptr, nullptr, full, nullptr, TvFileSequential | TvFileShareRead, &walk.file);
}

TvStatus Unprintable(const char* argument) {
  TvErrorRaise(TvErrInputChars, argument, TvRaiseOrigin);
  return TvErrorRaise(TvErrCommandLine, nullptr, 0);
}

// The first option of list whose name begins with name: its full name and
// whether it takes a value.
bool FindOption(const char* list, const char* name, char* fullName, bool* takesValue) {
  char wanted[kTvOptionNameSize + 1];
  TvFormat(wanted, sizeof wanted, "-%s", name);
  const char* at = list ? strstr(list, wanted) : nullptr;
  if (!at) return false;
  const std::string_view rest(at + 1);
  const size_t end = rest.find_first_of("-:");
  const std::string_view full = rest.substr(0, end);
  TvStrCopy(fullName, std::string(full).c_str(), kTvOptionNameSize);
  *takesValue = end != std::string_view::npos && rest[end] == ':';
  return true;
}

}  // namespace

bool TvOptionPrintable(const char* text) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    if (*p < 0x20 || *p == 0x7F) return false;
  return true;
}

void TvOptionsBegin(int argc, char** argv, const char* programOptions) {
  TvOptionsEnd();
  walk = Walk{argc, argv, TvStrOrEmpty(programOptions), 1, kTvNoFile};
}

void TvOptionsEnd() {
  if (walk.file != kTvNoFile) TvFileClose(walk.file);
  walk.file = kTvNoFile;
}

int32_t TvNextOption(char* name, char* value) {
  name[0] = value[0] = '\0';
  bool fromFile = false;
  for (;;) {
    if (walk.file != kTvNoFile) {
      const int32_t line = FileLine(value);
      if (line < 0) return line;
      if (line == 1) {
        fromFile = true;
        break;
      }
    }
    if (walk.next >= walk.argc || !walk.argv) return TvOptionEnd;
    const char* argument = TvStrOrEmpty(walk.argv[walk.next++]);
    if (argument[0] == '@') {
      if (TvStatus status = OpenOptionFile(argument + 1); status != TvOk) return status;
      continue;
    }
    if (strlen(argument) >= kTvOptionValueSize) return TvErrorRaise(TvErrTruncated, argument, TvRaiseOrigin);
    TvStrCopy(value, argument, kTvOptionValueSize);
    break;
  }
  if (!TvOptionPrintable(value)) return Unprintable(value);
  if (!LeadCharacter(value[0])) return TvOptionPlain;

  // The name runs to ":" or a space; the value keeps the rest.
  const size_t nameEnd = strcspn(value + 1, ": ");
  char given[kTvOptionNameSize];
  TvStrCopy(given, std::string(value + 1, nameEnd).c_str(), sizeof given);
  TvStrUpperInPlace(given);
  memmove(value, value + 1 + nameEnd, strlen(value + 1 + nameEnd) + 1);
  if (!given[0]) return TvErrorRaise(TvErrCommandLine, nullptr, 0);

  const TvKernelVariant& kernel = TvKernelVariantInUse();
  bool takesValue = false;
  int32_t result = TvOptionProgram;
  if (!FindOption(walk.programOptions, given, name, &takesValue)) {
    result = TvOptionHelp;
    if (!FindOption(kernel.helpOptions, given, name, &takesValue)) {
      result = TvOptionKernel;
      if (!FindOption(kernel.options, given, name, &takesValue)) return TvErrorRaise(TvErrCommandLine, given, 0);
    }
  }
  if (!takesValue) return result;
  // A value may follow as the next argument, but never on the next line
  // of an option file.
  if (!value[0] && !fromFile && walk.next < walk.argc && walk.argv[walk.next] &&
      !LeadCharacter(walk.argv[walk.next][0])) {
    const char* following = walk.argv[walk.next++];
    if (strlen(following) >= kTvOptionValueSize) return TvErrorRaise(TvErrTruncated, following, TvRaiseOrigin);
    if (!TvOptionPrintable(following)) return Unprintable(following);
    TvStrCopy(value, following, kTvOptionValueSize);
  } else if (value[0] == ':' || value[0] == ' ') {
    memmove(value, value + 1, strlen(value));
  }
  return result;
}

TvStatus TvKernelOptionApply(const char* name, const char* value) {
  const std::string_view option(name);
  TvCommandLineSettings& set = tvInstance.commandLine;
  // A path that does not fit is refused, as the file layer refuses one,
  // rather than cut into another path.
  if ((option == "INI" || option == "LOG" || option == "DATADIR") && strlen(value) >= kTvPathSize)
    return TvErrorRaise(TvErrInvalidDirectory, value, TvRaiseOrigin);
  if (option == "INI") {
    TvStrCopy(tvInstance.configPath, value, sizeof tvInstance.configPath);
  } else if (option == "SECTION") {
    TvStrCopyUntil(tvInstance.section, value, ',', sizeof tvInstance.section);
  } else if (option == "LOG") {
    TvStrCopy(set.logFile, value, sizeof set.logFile);
    set.log = true;
    tvContext.flags |= TvFlagConsoleDefault;
  } else if (option == "DATADIR") {
    TvDataDirReset();
    TvStrCopy(tvContext.dataDir, value, sizeof tvContext.dataDir);
    set.dataDir = true;
  } else if (option == "ERRORS") {
    tvLog.errors = true;
    set.errors = true;
    tvContext.flags |= TvFlagConsoleDefault;
  } else if (option == "LANGUAGE") {
    const char* end = nullptr;
    const int32_t code = TvStrToInt(value, &end);
    if (code <= 0 || code > 0xFFFF || (end && *end)) return TvErrorRaise(TvErrCommandLine, value, 0);
    tvContext.language = static_cast<uint16_t>(code);
    set.language = true;
  } else if (option == "VERSION") {
    TvRevisionReport();
  }
  return TvOk;
}

void TvRevisionReport() {
  TvLogWrite("Application revision information\n");
  TvLogWrite("  +  ... File has been checked in since checkpoint\n");
  TvLogWrite("  !  ... File has local changed since last checkin\n");
  TvLogWrite("\n");
  constexpr std::string_view kMarker = ":RESDEFMARK:";
  for (int i = 0; const char* record = TvBuildRecord(i); ++i) {
    std::string_view text(record);
    text.remove_prefix(std::min(text.find_first_not_of("\r\n"), text.size()));
    if (!text.starts_with(kMarker)) continue;
    text.remove_prefix(kMarker.size());
    const size_t end = text.find("\r\n");
    std::string line(text.substr(0, end == std::string_view::npos ? text.size() : end + 2));
    TvLogWrite(line.c_str());
  }
  TvLogWrite("\n");
}
