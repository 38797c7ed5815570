// log.cpp: the log writer. Lines go to the log file, the console and the
// debugger, each optional, with optional prefixes (milliseconds, local time,
// thread id). A failed write to the log file is reported once per file to
// the Windows event log.
#include "tv_log.h"

#include <cstring>

#include "tv_date.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_string.h"
#include "tv_system.h"
#include "tv_thread.h"

TvLogSettings tvLog = {{}, kTvNoFile, false, false, false, false, false, false, false, nullptr, false};

namespace {

constexpr size_t kPrefixSize = 90;
constexpr size_t kLineSize = 512;
constexpr size_t kLineRoom = 510;  // prefix and text of one output line

void BuildPrefix(uint32_t mode, char* prefix) {
  prefix[0] = '\0';
  char part[40];
  if (tvLog.millisecs) {
    TvFormat(part, sizeof part, "%lu ", static_cast<unsigned long>(TvMilliseconds()));
    TvStrCat(prefix, part, kPrefixSize);
  }
  if (tvLog.timeStamp) {
    TvLocalTime t;
    if (!TvNowLocal(t))
      TvStrCopy(part,
                "??:??:?"
                "? ?"
                "?/?"
                "?/?"
                "?",
                sizeof part);  // "??:??:?? ??/??/??", split to avoid trigraphs
    else if (TvHighResTiming())
      TvFormat(part, sizeof part, "%2u:%02u:%02u.%03u %2u/%02u/%02u", t.hour, t.minute, t.second, t.millisecond, t.day,
               t.month, t.year % 100u);
    else
      TvFormat(part, sizeof part, "%2u:%02u:%02u %2u/%02u/%02u", t.hour, t.minute, t.second, t.day, t.month,
               t.year % 100u);
    TvStrCat(prefix, part, kPrefixSize);
    TvStrCat(prefix, " ", kPrefixSize);
  }
  if (tvLog.threadId || (mode & TvLogThreadPrefix)) {
    TvThreadIdText(part, sizeof part);
    TvStrCat(prefix, part, kPrefixSize);
    TvStrCat(prefix, " ", kPrefixSize);
  }
}

// The log-file text of an open batch (TvLogBatch), written together
// when the outermost batch ends, when it is full and before the file closes.
char batchText[65536];
size_t batchUsed = 0;
int batchDepth = 0;

bool FlushBatch() {
  if (batchUsed == 0) return true;
  const size_t used = batchUsed;
  batchUsed = 0;
  return !tvLog.fileOpen || tvLog.file == kTvNoFile || TvFileWriteTextN(tvLog.file, batchText, used) == TvOk;
}

bool WriteFileText(const char* text) {
  if (batchDepth == 0) return TvFileWriteText(tvLog.file, text) == TvOk;
  const size_t length = strlen(text);
  bool ok = true;
  if (batchUsed + length > sizeof batchText) ok = FlushBatch();
  if (length > sizeof batchText) return TvFileWriteTextN(tvLog.file, text, length) == TvOk && ok;
  memcpy(batchText + batchUsed, text, length);
  batchUsed += length;
  return ok;
}

// Writes one piece to every destination; false when the log file refused it.
bool WriteDestinations(uint32_t mode, const char* text) {
  bool fileOk = true;
  if (tvLog.fileOpen && tvLog.file != kTvNoFile) fileOk = WriteFileText(text);
  if (mode & TvLogFileOnly) return fileOk;
  const bool console = tvLog.console || (mode & TvLogForceConsole);
  if (mode & TvLogDirectConsole) {
    if (console) TvFileWriteText(reinterpret_cast<TvFileHandle>(tvInstance.console), text);
  } else if (tvLog.hook) {
    tvLog.hook(text);
  } else if (console) {
    TvLockGuard guard(TvServiceLock(TvLockId::Console));
    TvFileWriteText(reinterpret_cast<TvFileHandle>(tvInstance.console), text);
  }
  if (tvLog.debugger) tvSys.outputDebugString(text);
  return fileOk;
}

void ReportWriteFailure(TvStatus code) {
  if (tvLog.writeErrorReported) return;
  tvLog.writeErrorReported = true;
  char message[kTvErrorTextSize];
  TvErrorTextCopy(code, tvContext.language, message, sizeof message);
  char text[kTvPathSize + 160];
  TvFormat(text, sizeof text, "Error occurred writing to Log: %s (%s)\n", tvLog.path, message);
  TvEventLogReport(text, true);
}

}  // namespace

void TvLogReset() { tvLog = {{}, kTvNoFile, false, false, false, false, false, false, false, nullptr, false}; }

void TvLogWriteRaw(uint32_t mode, const char* text) {
  if (!text) return;
  char prefix[kPrefixSize];
  BuildPrefix(mode, prefix);
  bool ok = true;
  if (!prefix[0] && !(mode & TvLogLineByLine)) {
    ok = WriteDestinations(mode, text);
  } else {
    const size_t prefixLength = strlen(prefix);
    const size_t room = kLineRoom - prefixLength;
    char line[kLineSize];
    const char* p = text;
    while (*p) {
      const char* lineEnd = strchr(p, '\n');
      size_t length = lineEnd ? static_cast<size_t>(lineEnd - p) : strlen(p);
      size_t take = length < room ? length : room;
      memcpy(line, prefix, prefixLength);
      memcpy(line + prefixLength, p, take);
      line[prefixLength + take] = '\n';
      line[prefixLength + take + 1] = '\0';
      ok = WriteDestinations(mode, line) && ok;
      p += take;
      if (take == length && lineEnd) ++p;  // the line feed itself is dropped
    }
  }
  if (!ok) ReportWriteFailure(TvErrFileWrite);
}

void TvLogWrite(const char* text) {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  TvQuiet quiet;
  TvLogWriteRaw(0, text);
}

void TvLogWriteFile(const char* text) {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  TvQuiet quiet;
  TvLogWriteRaw(TvLogFileOnly, text);
}

void TvLogWriteThread(const char* text) {
  const uint32_t mode = TvThreadHasOwnRecord() ? uint32_t{TvLogThreadPrefix} : 0u;
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  TvQuiet quiet;
  TvLogWriteRaw(mode, text);
}

TvStatus TvLogOpen(const char* path) {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  TvLogClose();
  tvLog.writeErrorReported = false;
  const char* name = TvStrOrEmpty(path);
  while (*name == ' ') ++name;
  if (!*name) return TvOk;
  char full[kTvPathSize];
  TvFileHandle handle;
  TvStatus status = TvFileOpen(full, nullptr, name, "log",
                               TvFileCreateRequest | TvFileShareRead | TvFileSequential | TvFileSilent, &handle);
  if (status != TvOk) return TvErrorRaise(status, name, TvRaiseOrigin);
  tvLog.file = handle;
  tvLog.fileOpen = true;
  TvStrCopy(tvLog.path, full, sizeof tvLog.path);
  return TvOk;
}

void TvLogClose() {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  if (!FlushBatch()) ReportWriteFailure(TvErrFileWrite);
  if (tvLog.file != kTvNoFile) TvFileClose(tvLog.file);
  tvLog.file = kTvNoFile;
  tvLog.fileOpen = false;
  tvLog.path[0] = '\0';
}

TvLogBatch::TvLogBatch() {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  ++batchDepth;
}

TvLogBatch::~TvLogBatch() {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  if (--batchDepth > 0) return;
  TvQuiet quiet;
  if (!FlushBatch()) ReportWriteFailure(TvErrFileWrite);
}

void TvLogSetHook(TvLogHook hook) {
  TvLockGuard guard(TvServiceLock(TvLockId::Log));
  tvLog.hook = hook;
}

void TvConsoleWrite(const char* text) {
  TvLockGuard guard(TvServiceLock(TvLockId::Console));
  TvQuiet quiet;
  TvFileWriteText(reinterpret_cast<TvFileHandle>(tvInstance.console), text);
}

void TvEventLogReport(const char* text, bool isError) {
  HANDLE source = tvSys.registerEventSource(nullptr, tvInstance.title);
  if (!source) return;
  LPCSTR strings[1] = {text};
  const WORD type = isError ? EVENTLOG_ERROR_TYPE : EVENTLOG_SUCCESS;
  const DWORD id = isError ? 0xC00003E8u : 500u;
  if (!tvSys.reportEvent(source, type, 1, id, nullptr, text ? 1 : 0, 0, text ? strings : nullptr, nullptr)) {
    char detail[64];
    TvFormat(detail, sizeof detail, "Windows Event log error %lu\n", GetLastError());
    TvErrorRaise(TvErrLogCreate, detail, TvRaiseOrigin);
  }
  tvSys.deregisterEventSource(source);
}

void TvLogTraceFileOpen(const char* path, TvFileHandle handle, TvStatus status) {
  if (!(tvInstance.logTrace & TvLogTraceFiles)) return;
  const TvKernelVariant& variant = TvKernelVariantInUse();
  char line[kTvPathSize + 160];
  if (variant.fileOpenTraceHandle)
    TvFormat(line, sizeof line, variant.fileOpenTrace, path, static_cast<long>(handle), TvErrorText(status));
  else TvFormat(line, sizeof line, variant.fileOpenTrace, path, TvErrorText(status));
  TvLogWriteThread(line);
}

void TvLogTraceTempFile(const char* path, TvStatus status) {
  if (!(tvInstance.logTrace & TvLogTraceFiles)) return;
  char line[kTvPathSize + 160];
  TvFormat(line, sizeof line, "! TvFileCreateTemp(%s) = %s\n", path, TvErrorText(status));
  TvLogWriteThread(line);
}
