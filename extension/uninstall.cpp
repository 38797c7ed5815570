// uninstall.cpp: the two hooks the engine's uninstaller calls. The first
// hands the removal over to the product's own uninstall program, named
// after the file the uninstaller was given with "-f", and waits for it; the
// second only logs.
#include <string_view>

#include "exports.h"
#include "frame.h"
#include "tv_path.h"

namespace {

constexpr uint32_t kPollInterval = 50;  // milliseconds between checks of the started program
constexpr size_t kValueMin = 3;         // room for the extension that becomes "exe"
constexpr size_t kValueMax = kTraceLineSize - 2;

// The value of the first "-f" of the command line. A quoted value runs to
// the next quote, any other to the next blank; the end is looked for from
// the value's second character on. A value without its end runs to the end
// of the line.
std::string_view OptionValue(std::string_view line) {
  const size_t at = line.find("-f");
  if (at == std::string_view::npos) return {};
  std::string_view value = line.substr(at + 2);
  char end = ' ';
  if (value.starts_with('"')) {
    value.remove_prefix(1);
    end = '"';
  }
  return value.substr(0, value.size() > 1 ? value.find(end, 1) : value.size());
}

// Starts the program and waits until it has ended; the start's status.
TvStatus RunToEnd(const char* program, const char* arguments) {
  TvProgram record;
  const TvStatus status = TvProgramStart(program, arguments, &record);
  if (status >= TvOk) TvProgramWait(&record, kPollInterval);
  return status;
}

// The uninstall program beside the given file, else tvunins.exe from its
// folder.
TvStatus HandOver(char* path) {
  const TvStatus status = RunToEnd(path, "-quiet -remove");
  if (status >= TvOk) return status;
  char folder[kTvPathSize];
  char name[kTvPathSize];
  char extension[kTvPathSize];
  if (const TvStatus split = TvPathSplit(path, folder, name, extension); split != TvOk) return split;
  // The split accepts a missing last folder below an existing one; the
  // fallback needs the folder itself.
  if (const TvStatus check = TvDirCheck(folder, false); check != TvOk) return check;
  char fallback[kTvPathSize];
  TvFormat(fallback, sizeof fallback, "%s\\tvunins.exe", folder);
  return RunToEnd(fallback, "-errmsg:a");
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL UninstInitialize(INT_PTR, INT_PTR, int32_t) {
  // The hand-off goes on whatever the start reports. The frame opens once
  // the kernel is up, so that the entry line reaches the log.
  TvIsi_Startup();
  TV_FRAME(frame);
  TvStatus result = -1;
  const std::string_view value = OptionValue(GetCommandLineA());
  if (value.size() >= kValueMin && value.size() <= kValueMax) {
    TvStrCopyN(TraceLine, value.data(), value.size(), sizeof TraceLine);
    std::string_view("exe").copy(TraceLine + value.size() - 3, 3);
    result = HandOver(TraceLine);
  }
  TvIsi_Shutdown();
  // Written after the shut-down: only destinations still set receive it.
  return frame.Return(result);
}

TV_EXPORT int32_t TV_STDCALL UninstUnInitialize(INT_PTR, INT_PTR, int32_t) {
  TV_FRAME(frame);
  return frame.Return(TvOk);
}
