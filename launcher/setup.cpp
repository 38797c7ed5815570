// setup.cpp: the launcher's run: the command-line vector, its options and
// the arguments passed on, the staging folder, the copy of the media, and
// the start of the staged engine.
#include "setup.h"

#include <windows.h>

#include <cstring>

#include "forms.h"
#include "tv_context.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr char kBoxTitle[] = "Error";
constexpr uint32_t kBoxStyle = TvFormsOk | TvFormsIconExclamation;
static_assert(kBoxStyle == 769, "an OK button with an exclamation icon");

constexpr const char* kMessages[] = {
    nullptr,
    "Could not locate setup files.\nPlease contact technical support for assistance.",
    "Could not locate temporary directory.\nPlease contact technical support for assistance.",
    "Could not create temporary directory.\nPlease contact technical support for assistance.",
    "Error copying files.\n\nPlease check that you only have one installer instance running and try "
    "again.\nContact technical support for further assistance.",
    "Setup could not be launched. Please contact Tarvel Technical Support for assistance.",
};

// Start-up flags: the configuration stays loaded through the forms
// library's start-up and is released after it; a missing configuration
// file is no error.
constexpr uint32_t kStartupFlags = 0x0800 | TvFlagConfigOptional | TvFlagKeepConfig;
static_assert(kStartupFlags == 0x0A01, "the flags word of the launcher's kernel start");

// The copy's buffer, of the block size measured against CopyFileA by
// tools/bench/stage_bench (docs/performance.md). One buffer: the launcher
// copies on one thread.
char copyBlock[kTvSetupCopyBlock];

struct Launch {
  char source[kTvSetupTextSize] = "";
  char temp[kTvSetupTextSize] = "";
  char subfolder[kTvSetupTextSize] = "";
  char passedOn[kTvSetupTextSize] = "";
  char staging[kTvSetupTextSize] = "";
};

// directory + "\" + name (no second backslash after one that ends the
// directory; an empty directory gives the name alone). False when the
// result does not fit: a cut path would name another file.
bool Join(char* out, const char* directory, const char* name) {
  char joined[kTvSetupTextSize];
  size_t n = TvStrCopy(joined, directory, sizeof joined);
  if (n > 0 && joined[n - 1] != '\\' && joined[n - 1] != '/') n = TvStrCat(joined, "\\", sizeof joined);
  const size_t want = n + strlen(name);
  if (TvStrCat(joined, name, sizeof joined) != want) return false;
  TvStrCopy(out, joined, kTvSetupTextSize);
  return true;
}

void ReadArguments(const TvSetupArgs& args, Launch& launch) {
  for (int i = 1; i < args.count; ++i) {
    const char* arg = args.text[i];
    char* option = TvStrCompareNoCaseN(arg, "-SR", 3) == 0   ? launch.source
                   : TvStrCompareNoCaseN(arg, "-TM", 3) == 0 ? launch.temp
                   : TvStrCompareNoCaseN(arg, "-DA", 3) == 0 ? launch.subfolder
                                                              : nullptr;
    if (option) {
      if (const char* colon = strchr(arg, ':')) TvStrCopy(option, colon + 1, kTvSetupTextSize);
      continue;
    }
    if (!*arg) continue;
    const bool plain = arg[0] == '-' || arg[1] == '\0';
    if (!plain) TvStrCat(launch.passedOn, "\"", sizeof launch.passedOn);
    TvStrCat(launch.passedOn, arg, sizeof launch.passedOn);
    TvStrCat(launch.passedOn, plain ? " " : "\" ", sizeof launch.passedOn);
  }
}

bool SetupScriptPresent(const char* source) {
  TvFileHandle handle = kTvNoFile;
  if (TvFileOpen(nullptr, source, "setup.inx", nullptr, TvFileNoMedia | TvFileSilent, &handle) != TvOk) return false;
  TvFileClose(handle);
  return true;
}

// Copies every file of the source folder into the staging folder, the
// engine "_ISmain" as "setup.exe"; stops at the first failure. Hidden
// files, names beginning with "." and folders stay behind, and so does the
// launcher itself.
TvStatus StageFiles(const char* source, const char* staging) {
  char pattern[kTvSetupTextSize];
  if (!Join(pattern, source, "*.*")) return TvErrorRaise(TvErrInvalidDirectory, source, TvRaiseOrigin);
  TvStatus status = TvFileFindFirst(pattern, TvScanFiles);
  char name[kTvPathSize];
  for (int kind; status == TvOk && (kind = TvFileFindNext(name)) != 0;) {
    if (kind != kTvScanFoundFile || name[0] == '.' || TvStrEqualNoCase(name, "setup.exe")) continue;
    char from[kTvSetupTextSize], to[kTvSetupTextSize];
    if (!Join(from, source, name) || !Join(to, staging, TvStrEqualNoCase(name, "_ISmain") ? "setup.exe" : name))
      status = TvErrorRaise(TvErrFileCreate, name, TvRaiseOrigin);
    else
      status = TvSetupCopyFile(from, to);
  }
  TvFileFindClose();
  return status;
}

int Stage(Launch& launch) {
  if (!launch.source[0]) TvStrCopy(launch.source, tvContext.homeDir, sizeof launch.source);
  if (!SetupScriptPresent(launch.source)) return TvSetupNoSetupFiles;
  if (!launch.temp[0]) TvStrCopy(launch.temp, tvContext.tempDir, sizeof launch.temp);
  if (!launch.temp[0]) return TvSetupNoTempFolder;
  if (!Join(launch.staging, launch.temp, "TarvelInst") ||
      (launch.subfolder[0] && !Join(launch.staging, launch.staging, launch.subfolder))) {
    TvErrorRaise(TvErrDirCreate, launch.temp, TvRaiseOrigin);
    return TvSetupNoStagingFolder;
  }
  if (TvDirCreate(launch.staging, TvDirCreateMissing | TvDirNoMediaPrompt) != TvOk) return TvSetupNoStagingFolder;
  if (StageFiles(launch.source, launch.staging) != TvOk) return TvSetupCopyFailed;
  if (TvDirSetCurrent(launch.staging) != TvOk) return TvSetupNotLaunched;

  char engine[kTvSetupTextSize], arguments[2 * kTvSetupTextSize + 8];
  if (!Join(engine, launch.staging, "setup.exe")) return TvSetupNotLaunched;
  TvFormat(arguments, sizeof arguments, "%s p \"%s\"", launch.passedOn, launch.source);
  return TvProgramStart(engine, arguments, nullptr) == TvOk ? TvSetupLaunched : TvSetupNotLaunched;
}

}  // namespace

void TvSetupSplit(const char* commandLine, TvSetupArgs* args) {
  args->count = 1;
  args->text[0][0] = '\0';
  size_t used = 0;
  const char* p = TvStrOrEmpty(commandLine);
  while (args->count < kTvSetupArgCount) {
    while (*p == ' ') ++p;
    if (!*p) break;
    const char* start = p;
    const char* end;
    if (*p == '"') {
      start = ++p;
      end = strchr(start, '"');
      if (!end) end = start + strlen(start);
      p = *end ? end + 1 : end;
    } else {
      end = start + strcspn(start, " ");
      p = end;
    }
    const size_t length = static_cast<size_t>(end - start);
    if (used + length > kTvSetupArgBudget) break;
    used += length;
    TvStrCopyN(args->text[args->count++], start, length, kTvSetupTextSize);
  }
}

TvStatus TvSetupCopyFile(const char* source, const char* destination, uint32_t block) {
  if (block == 0 || block > kTvSetupCopyBlock) block = kTvSetupCopyBlock;
  TvFileHandle in = kTvNoFile, out = kTvNoFile;
  TvStatus status = TvFileOpen(nullptr, nullptr, source, nullptr, TvFileNoMedia | TvFileSequential, &in);
  if (status != TvOk) return status;
  status = TvFileOpen(nullptr, nullptr, destination, nullptr, TvFileWriteOnly | TvFileNoMedia | TvFileSequential, &out);
  while (status == TvOk) {
    DWORD got = 0;
    // A failed read is a failure, not the end of the file: the engine
    // must never be started from a file cut short.
    if (!tvSys.readFile(reinterpret_cast<HANDLE>(in), copyBlock, block, &got, nullptr))
      status = TvErrorRaise(TvErrFileRead, source, TvRaiseOrigin);
    else if (got == 0)
      break;
    else
      status = TvFileWrite(out, copyBlock, got);
  }
  TvFileClose(out);
  TvFileClose(in);
  return status;
}

int TvSetupRun(const char* commandLine) {
  TvSetUserInterfaceMode(TvUiWindowed);
  TvKernelSetVariant(&kTvKernelLauncher);
  TvSetupArgs args;
  TvSetupSplit(commandLine, &args);

  tvInstance.configBase[0] = '\0';  // the module name names the configuration
  static bool errorModeSet = false;
  if (!errorModeSet) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    errorModeSet = true;
  }
  TvStatus status = TvKernelStartup(kTvSetupModule, TV_SETUP_VERSION, TV_SETUP_REVISION, kStartupFlags, nullptr, nullptr);
  if (status == TvOk) {
    status = TvFormsStartup();
    TvIniRelease();
  }
  int result = TvSetupNoStart;
  if (status == TvOk) {
    Launch launch;
    ReadArguments(args, launch);
    result = Stage(launch);
    if (result != TvSetupLaunched) TvFormsMessageBox(kMessages[result], kBoxTitle, kBoxStyle);
  }
  TvFormsShutdown(status);
  TvKernelShutdown(status);
  return result;
}
