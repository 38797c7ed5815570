// tv_instance.h: the kernel instance: begin and end, start-up and shut-down,
// program and library registration, configuration discovery and the option
// accessors. One instance per process.
#pragma once
#include <cstdint>

#include "tv_base.h"
#include "tv_context.h"
#include "tv_file.h"
#include "tv_thread.h"

// What distinguishes one build of the kernel from another: its own name and
// revision, its command-line option list, its file-open trace line, how
// its directory scan behaves and where its crash handler looks for the dump
// writer. A program picks its record before start-up.
struct TvKernelVariant {
  const char* name;
  const char* version;
  const char* revision;
  const char* options;        // command-line option list
  const char* helpOptions;    // options that ask for help
  const char* fileOpenTrace;  // LogTrace line of TvFileOpen
  bool fileOpenTraceHandle;   // the trace line shows the handle value
  TvScanBehaviour scan;       // how its directory scans behave
  const char* buildRecord;    // the kernel's build record
  bool dumpWriterSystemOnly;  // dbghelp.dll from the system directory only, never the program folder
};
extern const TvKernelVariant kTvKernelFull;      // "TVKRNXF" 2.30
extern const TvKernelVariant kTvKernelLauncher;  // "TVKRNLA" 2.30
void TvKernelSetVariant(const TvKernelVariant* variant);
const TvKernelVariant& TvKernelVariantInUse();

constexpr size_t kTvNameSize = 80;
constexpr size_t kTvLibrariesSize = 2000;
constexpr size_t kTvSectionSize = 80;

// What the kernel options of a command line decided: the configuration
// does not override it.
struct TvCommandLineSettings {
  bool language;  // -LANGUAGE:
  bool errors;    // -ERRORS
  bool log;       // -LOG:, with its file
  bool dataDir;   // -DATADIR:
  char logFile[kTvPathSize];
};

// The core's own part of the instance; the begun flag, the flags word, the
// directories and the language are in the context record (tv_context.h),
// where the lower layers read them.
struct TvInstance {
  TvLock kernelLock;
  TvLock providerLock;
  TvLock hookLock;
  int16_t refCount;
  int16_t pendingRefs;
  TvStatus savedStatus;
  bool fromCommandLine;
  bool shuttingDown;  // inside the last shut-down
  volatile LONG fatalUnderWay;

  void* module;  // module handle of the program or library that hosts the kernel
  char moduleName[kTvNameSize];
  char version[kTvNameSize];
  char revisionDisplay[kTvNameSize];
  char title[kTvNameSize];
  char libraries[kTvLibrariesSize];

  char configPath[kTvPathSize];
  char configBase[kTvPathSize];
  char section[kTvSectionSize];

  bool breakOnError;
  int32_t logTrace;         // TvLogTrace bits
  void* console;            // the process's standard output handle
  uint32_t filesRequested;  // file handles asked for by the option Files
  TvCommandLineSettings commandLine;
};
extern TvInstance tvInstance;

// Exported by the extension library as well (argument-less, C convention).
extern "C" int32_t TvBeginInstance(void);
extern "C" void TvEndInstance(void);

void TvSetModuleInstance(void* module);
void TvSetProgramTitle(const char* title);  // the program's own title, if it has one
// What the first trace line needs before start-up, and no more: the console,
// the program directory (tvapi.ini may lie beside the program), the thread
// records and the error history (a failed deletion of the trace file is
// recorded like any error). Nothing else of the instance is touched; the
// first start-up resets all of it.
void TvKernelPrepareTrace();
TvStatus TvKernelStartup(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                         const char* iniFile, const char* section);
// The start of a command-line program: the kernel's options of the
// arguments (tv_options.h) are applied, then TvKernelStartup runs with the
// flags they leave. Its status when it fails, else the walk's (0, or the
// negative code that ended it).
TvStatus TvKernelStartupFromArgs(const char* moduleName, const char* version, const char* revision, uint32_t flags,
                                 int argc, char** argv, const char* programOptions);
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
// The four accessors as the reader that the services' start-up takes.
extern const TvOptionReader kTvKernelOptions;
