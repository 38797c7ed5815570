// options.cpp: the option accessors and the options the kernel reads at its
// first start-up, in the order of the start-up table.
#include <windows.h>

#include "tv_charset.h"
#include "tv_error.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_string.h"

int TvOptionGetString(const char* key, const char* defaultValue, char* buffer, size_t size) {
  return TvConfigGetString(tvInstance.section, key, TvStrOrEmpty(defaultValue), buffer, size);
}

int32_t TvOptionGetInt(const char* key, int32_t defaultValue) {
  return TvConfigGetInt(tvInstance.section, key, defaultValue);
}

int TvOptionGetBool(const char* key, int defaultValue) {
  return TvConfigGetBool(tvInstance.section, key, defaultValue);
}

int TvOptionNextLine(char* buffer, size_t size) { return TvConfigNextLine(buffer, size); }

namespace {

// The first error wins; later steps still run.
void Keep(TvStatus& status, TvStatus result) {
  if (status == TvOk) status = result;
}

}  // namespace

TvStatus TvKernelReadOptions(TvStatus status) {
  tvInstance.language = static_cast<uint16_t>(TvOptionGetInt("Language", 44));

  // DebugDumpOnException and MiniDumpType belong to the crash-dump service.

  const uint32_t flags = tvInstance.flags;
  if (flags & TvFlagConsoleOff)
    tvLog.console = false;
  else if (flags & TvFlagConsoleOn)
    tvLog.console = true;
  else
    tvLog.console = TvOptionGetBool("LogConsole", (flags & TvFlagConsoleDefault) || tvInstance.fromCommandLine);
  tvLog.debugger = TvOptionGetBool("LogDebugger", 0);
  tvLog.timeStamp = TvOptionGetBool("LogTimeStamp", 0);
  tvLog.millisecs = TvOptionGetBool("LogMillisecs", 0);
  tvLog.threadId = TvOptionGetBool("LogThreadId", 0);

  // ShortDate, LongDate and BuildDate belong to the date service.
  tvInstance.highResTiming = TvOptionGetBool("HighResTiming", 0);

  tvLog.errors = TvOptionGetBool("LogErrors", 0);
  if (TvOptionGetBool("BreakOnStart", 0)) TvBreakIntoDebugger();
  tvInstance.breakOnError = TvOptionGetBool("BreakOnError", 0);
  tvInstance.logTrace = TvOptionGetInt("LogTrace", 0);

  // Files, OemCodePage and OemCharacterSet are read only with a loaded
  // configuration, by their own services.
  if (tvConfig.text)
    TvCharsetInit();
  else
    TvCharsetReset();

  char logFile[kTvPathSize];
  TvOptionGetString("LogFile", tvLog.errors ? "tverrors" : "", logFile, sizeof logFile);
  if (!(flags & TvFlagNoLogFile) && TvLogOpen(logFile) != TvOk)
    Keep(status, TvErrorRaise(TvErrLogCreate, logFile, 0));

  // ProgDir is settled by program registration; the kernel strings follow it.
  tvInstance.kernelStrings = TvKernelStringTable(tvInstance.language);

  // HomeDir, TempDir, the memory settings, DataDir and the locale settings
  // are read by their own services.
  return status;
}
