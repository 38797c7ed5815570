// trace.cpp: the API trace. Configured once per process by tvapi.ini at the
// first trace call (even before start-up); each line goes to a trace file
// that is opened and closed around it, to the console and/or to the log.
#include <cstdarg>
#include <cstring>

#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

TvTraceSettings tvTrace = {true, true, {}, TvFileAppend, false, false};

namespace {

void Configure() {
  tvTrace.active = false;
  tvTrace.configPending = false;
  char path[kTvPathSize];
  if (!TvFileSearch(path, "tvapi", "ini", "PATH")) return;
  TvFileHandle file;
  if (TvFileOpen(nullptr, nullptr, path, nullptr, TvFileSequential | TvFileSilent, &file) != TvOk) return;
  char line[100];
  while (TvFileReadLine(file, line, sizeof line) > 0) {
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == ' ' || static_cast<unsigned char>(line[length - 1]) < 32))
      line[--length] = '\0';
    char* equals = strchr(line, '=');
    if (!equals) continue;
    *equals = '\0';
    const char* value = equals + 1;
    if (TvStrEqualNoCase(line, "ApiFile")) {
      tvTrace.active = true;
      const char* name = value;
      uint32_t mode = TvFileAppend;
      if (*value == '+') {
        name = value + 1;
      } else if (*value == '>') {
        name = value + 1;
        mode = TvFileWriteOnly | TvFileAppend;
      } else {
        mode = TvFileRecreate;
      }
      TvPathBuild(tvTrace.path, nullptr, name, "log");
      if (mode == TvFileRecreate) TvFileDelete(tvTrace.path);
      tvTrace.fileMode = mode;
    } else if (TvStrEqualNoCase(line, "ApiConsole")) {
      tvTrace.active = true;
      tvTrace.toConsole = TvStrToBool(value);
    } else if (TvStrEqualNoCase(line, "ApiLog")) {
      tvTrace.active = true;
      tvTrace.toLog = TvStrToBool(value);
    }
  }
  TvFileClose(file);
}

void WriteFile(const char* text) {
  if (!tvTrace.path[0]) return;
  TvFileHandle file;
  if (TvFileOpen(nullptr, nullptr, tvTrace.path, nullptr,
                 tvTrace.fileMode | TvFileCreate | TvFileSequential | TvFileSilent, &file) != TvOk) {
    tvTrace.path[0] = '\0';
    return;
  }
  TvFileWriteText(file, text);
  TvFileClose(file);
  if (tvTrace.fileMode == TvFileRecreate) tvTrace.fileMode = TvFileAppend;
}

__attribute__((format(gnu_printf, 1, 2))) void TraceFormat(const char* format, ...) {
  if (!tvTrace.active) return;
  char line[kTvTraceLineSize];
  va_list args;
  va_start(args, format);
  TvFormatV(line, sizeof line, format, args);
  va_end(args);
  TvTraceLine(line);
}

}  // namespace

void TvTraceLine(const char* text) {
  if (!tvContext.begun || !tvTrace.active) return;
  TvLockGuard guard(tvInstance.kernelLock);
  const bool started = TvKernelStarted();
  if (!started) {
    if (tvTrace.configPending) TvKernelPrepareTrace();
    else TvServiceLocksCreate();
  }
  if (tvTrace.configPending) Configure();
  if (tvTrace.active) {
    WriteFile(text);
    if (tvTrace.toConsole) TvConsoleWrite(text);
    if (tvTrace.toLog) TvLogWrite(text);
  }
  if (!started) TvServiceLocksDelete();
}

void TvTraceFunction(const char* name) { TraceFormat("! Function: %s\n", TvStrOrEmpty(name)); }

int32_t TvTraceIntIn(const char* name, int32_t value) {
  TraceFormat("!     %s -> %d\n", TvStrOrEmpty(name), static_cast<int>(value));
  return value;
}

int32_t TvTraceLongIn(const char* name, int32_t value) {
  TraceFormat("!     %s -> %ld\n", TvStrOrEmpty(name), static_cast<long>(value));
  return value;
}

void TvTraceIntOut(const char* name, int32_t* destination, int32_t value) {
  TraceFormat("!     %s <- %d\n", TvStrOrEmpty(name), static_cast<int>(value));
  if (destination) *destination = value;
}

void TvTraceLongOut(const char* name, int32_t* destination, int32_t value) {
  TraceFormat("!     %s <- %ld\n", TvStrOrEmpty(name), static_cast<long>(value));
  if (destination) *destination = value;
}

void TvTraceStrIn(const char* name, const char* value, char* copy, size_t size) {
  if (copy) TvStrCopy(copy, value, size);
  const char* shown = !copy ? "<NULL>" : size ? copy : "";
  TraceFormat("!     %s -> '%.100s'\n", TvStrOrEmpty(name), shown);
}

void TvTraceStrOut(const char* name, char* destination, const char* value, size_t size) {
  TraceFormat("!     %s <- '%.100s'\n", TvStrOrEmpty(name), TvStrOrEmpty(value));
  if (destination && size) TvStrCopy(destination, value, size);
}

void TvTraceStrOutLang(const char* name, char* destination, uint16_t language, const char* value, size_t size) {
  (void)language;  // the caller's character-set mode asks for no translation
  TvTraceStrOut(name, destination, value, size);
}

int32_t TvTraceReturnInt(int32_t value) {
  TraceFormat("!     return %d\n", static_cast<int>(value));
  return value;
}

int32_t TvTraceReturnLong(int32_t value) {
  TraceFormat("!     return %ld\n", static_cast<long>(value));
  return value;
}

void TvTraceReturn() { TraceFormat("!     return\n"); }
