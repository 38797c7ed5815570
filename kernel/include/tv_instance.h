// tv_instance.h: the kernel instance: begin and end, start-up and shut-down,
// program and library registration, configuration discovery and the option
// accessors. One instance per process.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_thread.h"

enum TvKernelFlag : uint32_t {
  TvFlagKeepConfig = 0x0001,      // keep the configuration loaded after start-up
  TvFlagConsoleOn = 0x0002,       // force console logging on
  TvFlagConsoleDefault = 0x0004,  // console logging is the default
  TvFlagStartingUp = 0x0010,      // directory checks do not report failures
  TvFlagNoDirChecks = 0x0080,     // directory checks pass, current directory kept
  TvFlagProgDirOnly = 0x0100,     // ignore TVINI, search the program directory only
  TvFlagConfigOptional = 0x0200,  // a missing configuration file is no error
  TvFlagConsoleOff = 0x0400,      // console logging off, whatever the options say
  TvFlagNoMediaPrompt = 0x2000,   // never ask for removable media
  TvFlagNoLogFile = 0x8000,       // do not open the log file
};

// What distinguishes one build of the kernel from another: its own name and
// revision, its command-line option list, its file-open trace line and how
// its directory scan behaves. A program picks its record before start-up.
struct TvKernelVariant {
  const char* name;
  const char* version;
  const char* revision;
  const char* options;         // command-line option list
  const char* helpOptions;     // options that ask for help
  const char* fileOpenTrace;   // LogTrace line of TvFileOpen
  bool fileOpenTraceHandle;    // the trace line shows the handle value
  bool scanLocks;              // directory scans take the scan lock
  bool scanFilters;            // scans report only the kinds asked for
  bool scanRaises;             // a scan that cannot start raises an error
  const char* buildRecord;     // the kernel's build record
};
extern const TvKernelVariant kTvKernelFull;      // "TVKRNXF" 2.30
extern const TvKernelVariant kTvKernelLauncher;  // "TVKRNLA" 2.30
void TvKernelSetVariant(const TvKernelVariant* variant);
const TvKernelVariant& TvKernelVariantInUse();

constexpr size_t kTvNameSize = 80;
constexpr size_t kTvLibrariesSize = 2000;
constexpr size_t kTvSectionSize = 80;

struct TvInstance {
  bool begun;
  TvLock kernelLock;
  TvLock providerLock;
  TvLock hookLock;
  int16_t refCount;
  int16_t pendingRefs;
  TvStatus savedStatus;
  bool fromCommandLine;
  volatile LONG fatalUnderWay;

  void* module;  // module handle of the program or library that hosts the kernel
  char moduleName[kTvNameSize];
  char version[kTvNameSize];
  char revisionDisplay[kTvNameSize];
  char title[kTvNameSize];
  char libraries[kTvLibrariesSize];
  uint32_t flags;

  char configPath[kTvPathSize];
  char configBase[kTvPathSize];
  char section[kTvSectionSize];

  char progDir[kTvPathSize];
  char homeDir[kTvPathSize];
  char tempDir[kTvPathSize];
  char dataDir[kTvPathSize];

  uint16_t language;
  const char* const* kernelStrings;
  bool breakOnError;
  int32_t logTrace;
  bool highResTiming;
  void* console;  // the process's standard output handle
  uint32_t filesRequested;       // file handles asked for by the option Files
  bool dataDirFromCommandLine;   // -DATADIR: set the data directory
};
extern TvInstance tvInstance;

// Exported by the extension library as well (argument-less, C convention).
extern "C" int32_t TvBeginInstance(void);
extern "C" void TvEndInstance(void);

void TvSetModuleInstance(void* module);
void TvSetProgramTitle(const char* title);  // the program's own title, if it has one
void TvKernelResetBeforeStartup();         // lets the API trace work before start-up
TvStatus TvKernelStartup(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                         const char* iniFile, const char* section);
void TvKernelShutdown(TvStatus status);
void TvKernelKeepOpen(int32_t keepOpen);
void TvSetConfigBaseName(const char* name);
void TvRegisterLibrary(const char* name, const char* version, const char* revision);
bool TvKernelStarted();

// "(18)" for ":18", "(1.366-)" for ":236 :1.366-", "" without ":".
void TvRevisionDisplay(const char* revision, char* out, size_t size);

// Breaks into a debugger when one is attached; otherwise carries on.
void TvBreakIntoDebugger();

// Reads the start-up options in their table order; the first error wins.
TvStatus TvKernelReadOptions(TvStatus status);

// Options of the program's section, with fall-back to TvDefault.
int TvOptionGetString(const char* key, const char* defaultValue, char* buffer, size_t size);
int32_t TvOptionGetInt(const char* key, int32_t defaultValue);
int TvOptionGetBool(const char* key, int defaultValue);
int TvOptionNextLine(char* buffer, size_t size);
