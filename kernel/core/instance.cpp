// instance.cpp: the process-wide kernel instance: begin and end, the first
// and later start-ups, program and library registration, configuration
// discovery and shut-down.
//
// The instance is in one of five states, derived from its fields by
// StateNow():
//
//   NOT BEGUN       tvContext.begun false: no instance locks, no thread slots
//   BEGUN           begun, refCount 0: locks, thread slots and hooks exist
//   STARTED         refCount >= 1, savedStatus TvOk
//   STARTED_FAILED  refCount >= 1, savedStatus holds the first start-up's
//                   failure (every later start-up returns it)
//   SHUTTING_DOWN   inside the last shut-down (shuttingDown set)
//
// Allowed transitions:
//
//   NOT BEGUN  -> BEGUN           TvBeginInstance
//   BEGUN      -> STARTED         first start-up that succeeds
//   BEGUN      -> STARTED_FAILED  first start-up that fails
//   STARTED*   -> STARTED*        later start-up or TvKernelKeepOpen(1)
//                                 (refCount + 1), shut-down above the last
//   STARTED*   -> SHUTTING_DOWN   last shut-down (refCount reaches 0)
//   SHUTTING_DOWN -> BEGUN        end of the last shut-down
//   any        -> NOT BEGUN       TvEndInstance; a started kernel is not shut
//                                 down, and TvKernelShutdown does nothing after
//
// Each transition checks the state it leaves (ExpectState); a transition
// from any other state is a fault of the caller's order, stopped in a
// debugger when one is attached and otherwise left to go on as before.
#include "tv_instance.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>

#include "tv_crash.h"
#include "tv_date.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_history.h"
#include "tv_ini.h"
#include "tv_locale.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_options.h"
#include "tv_path.h"
#include "tv_reports.h"
#include "tv_string.h"
#include "tv_system.h"
#include "tv_trailer.h"

TvInstance tvInstance;

// clang-format off
const TvKernelVariant kTvKernelFull = {
    "TVKRNXF", "2.30", ":236 :1.366-", "-VERSION-INI:-SECTION:-LOG:-DATADIR:-ERRORS-LANGUAGE:", "-HELP-?",
    "! TvFileOpen(%s : %ld) = %s\n", true, {true, true, true},
    "\r\n:RESDEFMARK:TVKRNXF 2.30(1.366-):Runtime kernel, MinGW-w64 build\r\n", false,
};
const TvKernelVariant kTvKernelLauncher = {
    "TVKRNLA", "2.30", ":236 :1.366-", "-INI:-SECTION:-LOG:-DATADIR:-ERRORS-HOTKEY:-RUN:", "-HELP-?",
    "! TvFileOpen(%s) = %s\n", false, {false, false, false},
    "\r\n:RESDEFMARK:TVKRNLA 2.30(1.366-):Runtime kernel, MinGW-w64 build\r\n",
    true,  // its folder is typically a downloads folder, where a planted dbghelp.dll would run
};
// clang-format on

namespace {

enum class KernelState { NotBegun, Begun, Started, StartedFailed, ShuttingDown };

KernelState StateNow() {
  if (!tvContext.begun) return KernelState::NotBegun;
  if (tvInstance.shuttingDown) return KernelState::ShuttingDown;
  if (tvInstance.refCount <= 0) return KernelState::Begun;
  return tvInstance.savedStatus == TvOk ? KernelState::Started : KernelState::StartedFailed;
}

void ExpectState(std::initializer_list<KernelState> allowed) {
  const KernelState now = StateNow();
  for (KernelState state : allowed)
    if (state == now) return;
  TvBreakIntoDebugger();
}

const TvKernelVariant* variantInUse = &kTvKernelFull;

const char* programTitle = nullptr;

// The core's services as the lower layers reach them. They stay in place
// after the instance ends: each of them looks at the state it needs.
const TvKernelHooks kCoreHooks = {
    [](TvStatus code, const char* detail, uint32_t flags) {
      return TvErrorRaiseLang(code, detail, flags, tvContext.language);
    },
    TvAskForMedia,
    TvDataInfoRecordFile,
    TvLogTraceFileOpen,
    TvLogTraceTempFile,
    TvLogWriteThread,
};

// Clears the state of a previous run, keeping what lives across start-ups:
// the begun flag and instance locks, the module handle, the counts, the
// configuration base name set before start-up and the command-line start.
void InstanceReset(uint16_t historyFlags) {
  char base[kTvPathSize];
  TvStrCopy(base, tvInstance.configBase, sizeof base);
  tvInstance.moduleName[0] = tvInstance.version[0] = tvInstance.revisionDisplay[0] = '\0';
  tvInstance.title[0] = tvInstance.libraries[0] = '\0';
  tvInstance.configPath[0] = tvInstance.section[0] = '\0';
  tvContext.progDir[0] = tvContext.homeDir[0] = tvContext.tempDir[0] = tvContext.dataDir[0] = '\0';
  TvStrCopy(tvInstance.configBase, base, sizeof tvInstance.configBase);
  tvContext.language = 0;
  tvContext.kernelStrings = nullptr;
  tvInstance.breakOnError = false;
  tvInstance.logTrace = 0;
  tvInstance.fatalUnderWay = 0;
  tvInstance.console = tvSys.getStdHandle(STD_OUTPUT_HANDLE);
  TvCrashHandlerInstall();
  tvInstance.filesRequested = 0;
  tvInstance.commandLine = {};
  TvDataDirReset();
  TvDataInfoReset();
  TvLogReset();
  TvTimingReset();
  TvThreadRegistryReset();
  TvServiceLocksCreate();
  TvErrorHistoryReset(historyFlags);
}

// The program directory: the folder of the module that hosts the kernel.
void SetProgramDirectory() {
  char file[MAX_PATH];
  DWORD n = tvSys.getModuleFileName(static_cast<HMODULE>(tvInstance.module), file, sizeof file);
  if (n > 0 && n < sizeof file) TvPathDirectory(file, tvContext.progDir, sizeof tvContext.progDir);
}

void RegisterProgram(const char* moduleName, const char* version, const char* revision) {
  TvStrCopy(tvInstance.moduleName, moduleName, sizeof tvInstance.moduleName);
  TvStrUpperInPlace(tvInstance.moduleName);
  TvStrCopy(tvInstance.version, version, sizeof tvInstance.version);
  TvRevisionDisplay(revision, tvInstance.revisionDisplay, sizeof tvInstance.revisionDisplay);
  if (programTitle) TvStrCopy(tvInstance.title, programTitle, sizeof tvInstance.title);
  else TvFormat(tvInstance.title, sizeof tvInstance.title, "%s %s", tvInstance.moduleName, tvInstance.version);
  TvSetConfigBaseName(tvInstance.moduleName);
  const TvKernelVariant& kernel = *variantInUse;
  TvRegisterLibrary(kernel.name, kernel.version, kernel.revision);
  if (!tvContext.progDir[0]) SetProgramDirectory();
}

// The result of a configuration search, or the name unchanged when the
// search fails.
bool SearchNamed(char* path) {
  char found[kTvPathSize];
  if (!TvFileSearch(found, path, "ini", "PATH")) return false;
  TvStrCopy(path, found, kTvPathSize);
  return true;
}

bool DiscoverConfiguration() {
  if (!tvInstance.configPath[0]) {
    if (!(tvContext.flags & TvFlagProgDirOnly)) {
      char value[1024];
      DWORD n = tvSys.getEnvironmentVariable("TVINI", value, sizeof value);
      if (n > 0 && n < sizeof value) {
        const char* comma = strchr(value, ',');
        TvStrCopyUntil(tvInstance.configPath, value, ',', sizeof tvInstance.configPath);
        if (comma && !tvInstance.section[0])
          TvStrCopyUntil(tvInstance.section, comma + 1, ',', sizeof tvInstance.section);
      }
    }
    if (!tvInstance.configPath[0]) {
      char found[kTvPathSize];
      for (const char* name : {static_cast<const char*>(tvInstance.configBase), "tvaddress"})
        if (*name && TvFileSearch(found, name, "ini", "PATH")) {
          TvStrCopy(tvInstance.configPath, found, sizeof tvInstance.configPath);
          return true;
        }
      return false;
    }
  }
  tvContext.flags &= ~TvFlagConfigOptional;  // a named configuration file must exist
  return SearchNamed(tvInstance.configPath);
}

// A reference of the configuration buffer; a missing file becomes -1031
// unless a missing configuration is allowed.
TvStatus ConfigReference(const char* path) {
  TvStatus status = TvIniAddRef(path);
  if (status == TvErrFileNotFound)
    status = (tvContext.flags & TvFlagConfigOptional) ? TvOk : TvErrorRaise(TvErrNoIniFile, nullptr, 0);
  return status;
}

TvStatus LaterStartup(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                      const char* iniFile) {
  ExpectState({KernelState::Started, KernelState::StartedFailed});
  ++tvInstance.refCount;
  TvRegisterLibrary(moduleName, version, revision);
  TvStatus status = TvOk;
  if (flags & TvFlagKeepConfig) {
    char path[kTvPathSize];
    if (iniFile && *iniFile) {
      if (!TvFileSearch(path, iniFile, "ini", "PATH")) path[0] = '\0';
    } else {
      TvStrCopy(path, tvInstance.configPath, sizeof path);
    }
    status = ConfigReference(path);
  }
  return tvInstance.savedStatus != TvOk ? tvInstance.savedStatus : status;
}

}  // namespace

void TvKernelSetVariant(const TvKernelVariant* variant) {
  variantInUse = variant ? variant : &kTvKernelFull;
  TvFileSetScanBehaviour(variantInUse->scan);
}
const TvKernelVariant& TvKernelVariantInUse() { return *variantInUse; }
void TvSetProgramTitle(const char* title) { programTitle = title; }
void TvSetModuleInstance(void* module) { tvInstance.module = module; }
bool TvKernelStarted() { return tvInstance.refCount > 0; }

void TvKernelPrepareTrace() {
  tvInstance.console = tvSys.getStdHandle(STD_OUTPUT_HANDLE);
  SetProgramDirectory();
  TvThreadRegistryReset();
  TvServiceLocksCreate();
  TvErrorHistoryReset(TvHandleLocked);
}

extern "C" int32_t TvBeginInstance(void) {
  if (tvContext.begun) return 0;
  ExpectState({KernelState::NotBegun});
  tvHooks = kCoreHooks;
  TvThreadSlotsCreate();
  TvLockCreate(tvInstance.kernelLock, TvLockId::Kernel);
  TvLockCreate(tvInstance.providerLock, TvLockId::Provider);
  TvLockCreate(tvInstance.hookLock, TvLockId::Hook);
  tvContext.begun = true;
  return 0;
}

extern "C" void TvEndInstance(void) {
  if (!tvContext.begun) return;
  tvContext.begun = false;
  TvCrashHandlerRemove();  // the library may be going: no filter may point into it
  if (!TvKernelStarted()) TvErrorHistoryRelease();
  TvLockDelete(tvInstance.hookLock);
  TvLockDelete(tvInstance.providerLock);
  TvLockDelete(tvInstance.kernelLock);
  TvThreadSlotsDelete();
  TvSysReleaseKept();
}

void TvRevisionDisplay(const char* revision, char* out, size_t size) {
  TvStrCopy(out, "", size);
  const char* p = revision ? strchr(revision, ':') : nullptr;
  if (!p) return;
  ++p;
  while (*p == ' ') ++p;
  if (const char* space = strchr(p, ' '))
    if (const char* colon = strchr(space, ':')) p = colon + 1;
  char text[kTvNameSize];
  TvStrCopyUntil(text, p, ' ', sizeof text);
  TvFormat(out, size, "(%s)", text);
}

void TvBreakIntoDebugger() {
  if (tvSys.isDebuggerPresent()) tvSys.debugBreak();
}

void TvSetConfigBaseName(const char* name) {
  if (tvInstance.configBase[0]) return;
  TvStrCopyUntil(tvInstance.configBase, name, '.', sizeof tvInstance.configBase);
}

void TvRegisterLibrary(const char* name, const char* version, const char* revision) {
  TvLockGuard guard(tvInstance.kernelLock);
  if (!name || TvStrEqualNoCase(name, tvInstance.moduleName)) return;
  char entry[100];
  TvFormat(entry, sizeof entry, "%s %s", name, TvStrOrEmpty(version));
  TvStrUpperInPlace(entry);
  char display[kTvNameSize];
  TvRevisionDisplay(revision, display, sizeof display);
  TvStrCat(entry, display, sizeof entry);
  // Entries are separated by ", "; an entry already listed is not repeated.
  const size_t entryLength = strlen(entry);
  for (const char* p = tvInstance.libraries; *p;) {
    const char* end = strstr(p, ", ");
    size_t length = end ? static_cast<size_t>(end - p) : strlen(p);
    if (length == entryLength && memcmp(p, entry, length) == 0) return;
    p = end ? end + 2 : p + length;
  }
  if (tvInstance.libraries[0]) TvStrCat(tvInstance.libraries, ", ", sizeof tvInstance.libraries);
  TvStrCat(tvInstance.libraries, entry, sizeof tvInstance.libraries);
}

TvStatus TvKernelStartup(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                         const char* iniFile, const char* section) {
  if (!tvContext.begun) return TvErrorRaise(TvErrInstance, nullptr, TvRaiseOrigin);
  TvLockGuard guard(tvInstance.kernelLock);
  if (tvInstance.refCount > 0) return LaterStartup(moduleName, version, revision, flags, iniFile);

  ExpectState({KernelState::Begun});
  tvInstance.refCount = 1;
  tvContext.flags = flags;
  if (!tvInstance.fromCommandLine) {
    InstanceReset(TvHandleLocked);
    RegisterProgram(moduleName, version, revision);
  }
  if (iniFile && *iniFile) TvStrCopy(tvInstance.configPath, iniFile, sizeof tvInstance.configPath);
  if (section && *section) TvStrCopyUntil(tvInstance.section, section, ',', sizeof tvInstance.section);
  TvIniInstallCrc(TvCrc32);

  const bool found = DiscoverConfiguration();
  // No configuration where none is needed is nothing to report.
  const bool quiet = !found && (tvContext.flags & TvFlagConfigOptional);
  if (quiet) TvErrorQuietBegin();
  TvStatus status = ConfigReference(tvInstance.configPath);
  if (quiet) TvErrorQuietEnd();
  if (!found) tvInstance.configPath[0] = '\0';

  if (!tvInstance.section[0]) TvStrCopy(tvInstance.section, tvInstance.moduleName, sizeof tvInstance.section);
  if (!TvConfigSectionExists(tvInstance.section)) TvStrCopy(tvInstance.section, "TvDefault", sizeof tvInstance.section);

  status = TvKernelReadOptions(status);

  if (!(tvContext.flags & TvFlagKeepConfig)) TvIniRelease();
  tvContext.flags &= ~TvFlagStartingUp;
  if (status != TvOk) {
    tvContext.flags &= ~TvFlagConsoleOn;
    tvInstance.savedStatus = status;
    return status;
  }
  tvInstance.refCount = static_cast<int16_t>(tvInstance.refCount + tvInstance.pendingRefs);
  tvInstance.pendingRefs = 0;
  tvInstance.savedStatus = TvOk;
  return TvOk;
}

TvStatus TvKernelStartupFromArgs(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                                 int argc, char** argv, const char* programOptions) {
  if (!tvInstance.module) tvInstance.module = GetModuleHandleA(nullptr);
  TvBeginInstance();
  TvStatus walked = TvOk;
  {
    TvLockGuard guard(tvInstance.kernelLock);
    // A kernel already running only registers the program as a library.
    if (tvInstance.refCount > 0) return LaterStartup(moduleName, version, revision, flags, nullptr);
    tvInstance.fromCommandLine = true;
    tvContext.flags = flags;
    InstanceReset(TvHandleOwned);
    tvLog.console = true;
    RegisterProgram(moduleName, version, revision);
    if (!tvContext.progDir[0] && argc > 0 && argv && argv[0] && argv[0][0]) {
      char full[kTvPathSize];
      const DWORD n = tvSys.getFullPathName(argv[0], sizeof full, full, nullptr);
      if (n > 0 && n < sizeof full) TvPathDirectory(full, tvContext.progDir, sizeof tvContext.progDir);
    }
    TvOptionsBegin(argc, argv, programOptions);
    char name[kTvOptionNameSize], value[kTvOptionValueSize];
    for (int32_t result; (result = TvNextOption(name, value)) != TvOptionEnd;) {
      if (result < 0) {
        walked = result;
        break;
      }
      if (result == TvOptionKernel && (walked = TvKernelOptionApply(name, value)) != TvOk) break;
    }
    TvOptionsEnd();
  }
  const TvStatus status = TvKernelStartup(moduleName, version, revision, tvContext.flags, nullptr, nullptr);
  return status != TvOk ? status : walked;
}

void TvKernelShutdown(TvStatus status) {
  if (!tvContext.begun || tvInstance.refCount <= 0) return;
  TvLockGuard guard(tvInstance.kernelLock);
  if (status < 0 && !tvInstance.fromCommandLine) {
    char title[kTvNameSize];
    TvKernelString(nullptr, 0, title, sizeof title);
    TvErrorReport(title[0] ? title : "Application error", status);
  }
  ExpectState({KernelState::Started, KernelState::StartedFailed});
  if (--tvInstance.refCount > 0) return;

  tvInstance.shuttingDown = true;
  TvCrashHandlerRemove();
  TvLocaleRelease();
  TvIniInstallCrc(nullptr);
  TvLogSetHook(nullptr);
  tvLog.console = false;
  TvDataDirReset();
  tvContext.dataDir[0] = '\0';
  TvIniFree(&tvConfig);
  TvDataInfoReset();
  TvSystemInfoDiscard();
  TvMemReleaseAll();
  // Handles left open are reported while the log can still take the report.
  TvErrorHistoryShutdown();
  TvLogClose();
  TvServiceLocksDelete();
  tvContext.language = 0;
  tvContext.kernelStrings = nullptr;
  tvInstance.fromCommandLine = false;
  tvInstance.savedStatus = TvOk;
  tvInstance.configBase[0] = '\0';
  tvInstance.shuttingDown = false;
}

void TvKernelKeepOpen(int32_t keepOpen) {
  if (keepOpen) {
    if (TvKernelStarted()) {
      ExpectState({KernelState::Started, KernelState::StartedFailed});
      ++tvInstance.refCount;
    } else {
      ++tvInstance.pendingRefs;
    }
  } else if (TvKernelStarted()) {
    TvKernelShutdown(TvOk);
  } else if (tvInstance.pendingRefs > 0) {
    --tvInstance.pendingRefs;
  }
}
