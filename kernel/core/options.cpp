// options.cpp: the option accessors and the options the kernel reads at its
// first start-up, in the order of the start-up table.
#include <windows.h>

#include "tv_charset.h"
#include "tv_crash.h"
#include "tv_date.h"
#include "tv_error.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_locale.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_memory.h"
#include "tv_string.h"
#include "tv_system.h"

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

const TvOptionReader kTvKernelOptions = {TvOptionGetString, TvOptionGetInt, TvOptionGetBool, TvOptionNextLine};

namespace {

// The first error wins; later steps still run.
void Keep(TvStatus& status, TvStatus result) {
  if (status == TvOk) status = result;
}

// DataDir (default: the program directory) and one further data directory
// per continuation line; the first of them must exist.
TvStatus ReadDataDirectories() {
  TvDataDirReset();
  TvOptionGetString("DataDir", tvContext.progDir, tvContext.dataDir, sizeof tvContext.dataDir);
  TvStatus status = TvOk;
  char line[kTvPathSize];
  while (TvOptionNextLine(line, sizeof line)) {
    if (TvDataDirAdd(line, false) != TvOk) {
      status = TvErrorRaise(TvErrDataDir, line, 0);
      break;
    }
  }
  char first[kTvPathSize];
  TvDataDirGet(0, first);
  if (status == TvOk && TvDirCreate(first, 0) != TvOk) status = TvErrorRaise(TvErrDataDir, first, 0);
  return status;
}

// The log's switches: console, debugger and the parts of a line.
void ReadLogSwitches(uint32_t flags) {
  if (flags & TvFlagConsoleOff) tvLog.console = false;
  else if (flags & TvFlagConsoleOn) tvLog.console = true;
  else tvLog.console = TvOptionGetBool("LogConsole", (flags & TvFlagConsoleDefault) || tvInstance.fromCommandLine);
  tvLog.debugger = TvOptionGetBool("LogDebugger", 0);
  tvLog.timeStamp = TvOptionGetBool("LogTimeStamp", 0);
  tvLog.millisecs = TvOptionGetBool("LogMillisecs", 0);
  tvLog.threadId = TvOptionGetBool("LogThreadId", 0);
}

// Files, OemCodePage and OemCharacterSet are read only with a loaded
// configuration.
void ReadFilesAndCharset() {
  if (tvConfig.text) {
    char files[32];
    if (TvOptionGetString("Files", "", files, sizeof files)) {
      const int32_t count = TvStrToInt(files, nullptr);
      tvInstance.filesRequested = static_cast<uint32_t>(count < 20 ? 20 : count);
      tvSys.setHandleCount(tvInstance.filesRequested);
    }
    TvCharsetInit(kTvKernelOptions);
  } else {
    TvCharsetReset();
  }
}

void ReadProgramDirectory(TvStatus& status) {
  char path[kTvPathSize];
  if (TvOptionGetString("ProgDir", "", path, sizeof path)) {
    TvStrCopy(tvContext.progDir, path, sizeof tvContext.progDir);
    Keep(status, TvDirCreate(tvContext.progDir, 0));
  } else if (!tvContext.progDir[0]) {
    TvPathDirectory(tvInstance.configPath, tvContext.progDir, sizeof tvContext.progDir);
  }
}

// The home and temporary directories, each made when missing.
void ReadHomeAndTempDirectories(TvStatus& status) {
  TvOptionGetString("HomeDir", "", tvContext.homeDir, sizeof tvContext.homeDir);
  if (tvContext.homeDir[0]) Keep(status, TvDirCreate(tvContext.homeDir, 0));

  char temp[kTvPathSize] = "";
  const DWORD n = tvSys.getEnvironmentVariable("TEMP", temp, sizeof temp);
  if (n >= sizeof temp) temp[0] = '\0';
  TvOptionGetString("TempDir", temp, tvContext.tempDir, sizeof tvContext.tempDir);
  if (tvContext.tempDir[0] && TvDirCreate(tvContext.tempDir, TvDirCreateMissing) != TvOk)
    Keep(status, TvErrorRaise(TvErrTempDir, tvContext.tempDir, 0));
}

}  // namespace

TvStatus TvKernelReadOptions(TvStatus status) {
  const TvCommandLineSettings& commandLine = tvInstance.commandLine;
  if (!commandLine.language) tvContext.language = static_cast<uint16_t>(TvOptionGetInt("Language", 44));

  if (!TvOptionGetBool("DebugDumpOnException", 1)) TvCrashHandlerRemove();
  TvCrashSetDumpType(static_cast<uint32_t>(TvOptionGetInt("MiniDumpType", 0)));

  const uint32_t flags = tvContext.flags;
  ReadLogSwitches(flags);

  TvDateInit(kTvKernelOptions);  // the date pictures and HighResTiming

  if (!commandLine.errors) tvLog.errors = TvOptionGetBool("LogErrors", 0);
  if (TvOptionGetBool("BreakOnStart", 0)) TvBreakIntoDebugger();
  tvInstance.breakOnError = TvOptionGetBool("BreakOnError", 0);
  tvInstance.logTrace = TvOptionGetInt("LogTrace", 0);

  ReadFilesAndCharset();

  char logFile[kTvPathSize];
  if (commandLine.log) TvStrCopy(logFile, commandLine.logFile, sizeof logFile);
  else TvOptionGetString("LogFile", tvLog.errors ? "tverrors" : "", logFile, sizeof logFile);
  if (!(flags & TvFlagNoLogFile) && TvLogOpen(logFile) != TvOk) Keep(status, TvErrorRaise(TvErrLogCreate, logFile, 0));

  ReadProgramDirectory(status);
  tvContext.kernelStrings = TvKernelStringTable(tvContext.language);

  ReadHomeAndTempDirectories(status);

  const TvStatus memory = TvMemInit(kTvKernelOptions);
  Keep(status, memory);

  if (!commandLine.dataDir) Keep(status, ReadDataDirectories());
  else if (TvDirCreate(tvContext.dataDir, 0) != TvOk) Keep(status, TvErrorRaise(TvErrDataDir, tvContext.dataDir, 0));
  if (status == TvOk) status = TvLocaleInit(kTvKernelOptions);
  return status;
}
