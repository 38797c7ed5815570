// tv_context.h: what the layers below the core know of the kernel and ask of
// it. The core keeps the context record up to date (the flags word, the
// program's directories, the current language) and registers its services
// as hooks when the instance is begun: raising an error, asking for media,
// recording a data file's trailer, the file trace lines of LogTrace and
// warnings for the log.
// Until then the hooks do nothing: an error is handed back unrecorded,
// nobody is asked, nothing is recorded, traced or logged. Settings that a service
// reads once at start-up come as an option reader.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tv_base.h"
#include "tv_string.h"

enum TvKernelFlag : uint32_t {
  TvFlagKeepConfig = 0x0001,      // keep the configuration loaded after start-up
  TvFlagConsoleOn = 0x0002,       // force console logging on
  TvFlagConsoleDefault = 0x0004,  // console logging is the default
  TvFlagStartingUp = 0x0010,      // directory checks do not report failures
  TvFlagNoDirChecks = 0x0080,     // directory checks pass, current directory kept
  TvFlagProgDirOnly = 0x0100,     // ignore TVINI, search the program directory only
  TvFlagConfigOptional = 0x0200,  // a missing configuration file is no error
  TvFlagConsoleOff = 0x0400,      // console logging off, whatever the options say
  TvFlagReserved0800 = 0x0800,    // passed by the library and the launcher; without effect
  TvFlagNoMediaPrompt = 0x2000,   // never ask for removable media
  TvFlagNoLogFile = 0x8000,       // do not open the log file
};

struct TvContext {
  bool begun;      // between TvBeginInstance and TvEndInstance
  uint32_t flags;  // TvKernelFlag bits of the first start-up
  char progDir[kTvPathSize];
  char homeDir[kTvPathSize];
  char tempDir[kTvPathSize];
  char dataDir[kTvPathSize];    // "$" once there are several (tv_path.h)
  uint16_t language;            // current language; 0 before start-up
  TvMsgTableRef kernelStrings;  // the language's kernel strings, chosen at start-up
};
extern TvContext tvContext;

struct TvIniBuffer;

struct TvKernelHooks {
  TvStatus (*raise)(TvStatus code, const char* detail, uint32_t flags);
  // True when the user wants another try at a path on removable media.
  bool (*askForMedia)(const char* path);
  // A data file's trailer, opened with a data-information mode; the hook may
  // take the buffer's text over (it leaves the buffer empty then).
  TvStatus (*recordDataInfo)(TvIniBuffer* trailer, uint32_t mode);
  void (*traceFileOpen)(const char* path, TvFileHandle handle, TvStatus status);
  void (*traceTempFile)(const char* path, TvStatus status);
  // A line for the log, written with the thread's prefix.
  void (*logLine)(const char* line);
};
extern TvKernelHooks tvHooks;
extern const TvKernelHooks kTvHooksNone;

// The kernel's option accessors as a service sees them at start-up.
struct TvOptionReader {
  int (*getString)(const char* key, const char* defaultValue, char* buffer, size_t size);
  int32_t (*getInt)(const char* key, int32_t defaultValue);
  int (*getBool)(const char* key, int defaultValue);
  int (*nextLine)(char* buffer, size_t size);
};

enum TvRaiseFlags : uint32_t { TvRaiseOrigin = 0x01 };

// Records and logs an error through the raise hook (when the thread's
// options and LogErrors say so) and hands the code back unchanged. Never fails.
TvStatus TvErrorRaise(TvStatus code, const char* detail, uint32_t flags);

// Raises inside a quiet bracket are ignored (they neither log nor record).
void TvErrorQuietBegin();
void TvErrorQuietEnd();

class TvQuiet {
 public:
  TvQuiet() { TvErrorQuietBegin(); }
  ~TvQuiet() { TvErrorQuietEnd(); }
  TvQuiet(const TvQuiet&) = delete;
  TvQuiet& operator=(const TvQuiet&) = delete;
};
