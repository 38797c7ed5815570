// tv_log.h: the log (file, console, debugger) and the API trace.
#pragma once
#include <windows.h>

#include <cstdint>

#include "tv_base.h"

enum TvLogMode : uint32_t {
  TvLogForceConsole = 0x0002,   // console even when console logging is off
  TvLogThreadPrefix = 0x0100,   // thread-id prefix even when LogThreadId is off
  TvLogDirectConsole = 0x1000,  // console output bypasses the hook and the console lock
  TvLogLineByLine = 0x2000,     // prefix every line even without a prefix
  TvLogFileOnly = 0x4000,       // the log file alone: no console, hook or debugger
};

using TvLogHook = void (*)(const char* line);

struct TvLogSettings {
  char path[kTvPathSize];
  TvFileHandle file;
  bool fileOpen;
  bool millisecs;
  bool timeStamp;
  bool threadId;
  bool console;
  bool debugger;
  bool errors;  // LogErrors: every raised error is logged
  TvLogHook hook;
  bool writeErrorReported;
};
extern TvLogSettings tvLog;

void TvLogReset();  // kernel reset: no file, no destinations
void TvLogWrite(const char* text);
void TvLogWriteThread(const char* text);
// For a program that prints its own output: the line goes to the log file only.
void TvLogWriteFile(const char* text);
void TvLogWriteRaw(uint32_t mode, const char* text);  // caller holds the log lock
TvStatus TvLogOpen(const char* path);
void TvLogClose();
void TvLogSetHook(TvLogHook hook);

// While one of these lives (they nest), what the log file is to get is
// gathered in memory and written together when the outermost ends (a write
// per 16 KiB), in the same bytes and order; also earlier when 64 KiB are
// gathered, and before the file closes. The console, the debugger and a hook still get
// each line at once. Meant for a call that logs a line per list entry: a
// crash in the middle of it leaves its gathered lines out of the file.
class TvLogBatch {
 public:
  TvLogBatch();
  ~TvLogBatch();
  TvLogBatch(const TvLogBatch&) = delete;
  TvLogBatch& operator=(const TvLogBatch&) = delete;
};
void TvConsoleWrite(const char* text);

// Bits of the option LogTrace: extra trace lines written to the log.
enum TvLogTrace : int32_t {
  TvLogTraceFiles = 0x0001,  // one line per file open and per temporary file created
};
// The lines of TvLogTraceFiles, in the form of the kernel variant in use.
void TvLogTraceFileOpen(const char* path, TvFileHandle handle, TvStatus status);
void TvLogTraceTempFile(const char* path, TvStatus status);

// One event in the Windows event log, under the program title.
void TvEventLogReport(const char* text, bool isError);

// API trace. Every operation is one flag test while the trace is off.
void TvTraceFunction(const char* name);
int32_t TvTraceIntIn(const char* name, int32_t value);
int32_t TvTraceLongIn(const char* name, int32_t value);
void TvTraceIntOut(const char* name, int32_t* destination, int32_t value);
void TvTraceLongOut(const char* name, int32_t* destination, int32_t value);
void TvTraceStrIn(const char* name, const char* value, char* copy, size_t size);
void TvTraceStrOut(const char* name, char* destination, const char* value, size_t size);
void TvTraceStrOutLang(const char* name, char* destination, uint16_t language, const char* value, size_t size);
int32_t TvTraceReturnInt(int32_t value);
int32_t TvTraceReturnLong(int32_t value);
void TvTraceReturn();
void TvTraceLine(const char* text);

struct TvTraceSettings {
  bool active;
  bool configPending;
  char path[kTvPathSize];
  uint32_t fileMode;
  bool toConsole;
  bool toLog;
};
extern TvTraceSettings tvTrace;
constexpr size_t kTvTraceLineSize = 200;  // trace lines: at most 199 characters
