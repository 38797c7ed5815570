// kernel_api.cpp: the kernel's own exports: lifetime, status texts, error
// history, version, data and system information. Texts go to the caller's
// buffer only when 0 <= LenBuff < 65535, at most LenBuff - 1 characters.
#include "exports.h"
#include "frame.h"
#include "tv_error.h"
#include "tv_history.h"
#include "tv_instance.h"
#include "tv_log.h"
#include "tv_reports.h"
#include "tv_string.h"

namespace {

constexpr int32_t kBufferLimit = 65535;
constexpr int32_t kNoDayLimit = 65535;  // the days left to use the data: no limit

bool BufferUsable(int32_t lenBuff) { return lenBuff >= 0 && lenBuff < kBufferLimit; }

// Traces the text and copies it under the buffer rule.
void GiveText(char* buffer, int32_t lenBuff, const char* text) {
  const bool usable = BufferUsable(lenBuff) && buffer;
  TvTraceStrOutLang("Buffer", usable ? buffer : nullptr, 0, text, usable ? static_cast<size_t>(lenBuff) : 0);
}

}  // namespace

TV_EXPORT void TV_STDCALL TvInitialise(int32_t keepOpen) {
  TV_FRAME(frame);
  TvKernelKeepOpen(TvTraceIntIn("KeepOpen", keepOpen));
  frame.Return();
}

TV_EXPORT void TV_STDCALL TvErrorMessage(int32_t status, char* buffer, int32_t lenBuff) {
  TV_FRAME(frame);
  TvTraceIntIn("Status", status);
  TvTraceIntIn("LenBuff", lenBuff);
  GiveText(buffer, lenBuff, TvErrorText(status));
  frame.Return();
}

TV_EXPORT int32_t TV_STDCALL TvErrorLevel(int32_t status) {
  TV_FRAME(frame);
  TvTraceIntIn("Status", status);
  return frame.Return(TvErrorLevelOf(status));
}

TV_EXPORT int32_t TV_STDCALL TvErrorHistory(int32_t all, int32_t lineNo, char* buffer, int32_t lenBuff) {
  TV_FRAME(frame);
  TvTraceIntIn("All", all);
  TvTraceIntIn("LineNo", lineNo);
  TvTraceIntIn("LenBuff", lenBuff);
  // Reading the history raises nothing, so that it does not change what it reads.
  const char* line = TvErrorHistoryLine(all != 0, lineNo);
  TvStatus status = TvOk;
  if (!line) status = TvErrNotDefined;
  else if (!BufferUsable(lenBuff)) status = TvErrRange16;
  else if (lenBuff > 0) GiveText(buffer, lenBuff, line);
  return frame.Return(status);
}

TV_EXPORT void TV_STDCALL TvVersionInfo(char* buffer, int32_t lenBuff) {
  TV_FRAME(frame);
  TvTraceIntIn("LenBuff", lenBuff);
  char text[2043] = "";
  if (TvKernelStarted())
    TvFormat(text, sizeof text, "%s %s%s, %s", tvInstance.moduleName, tvInstance.version, tvInstance.revisionDisplay,
             tvInstance.libraries);
  GiveText(buffer, lenBuff, text);
  frame.Return();
}

TV_EXPORT int32_t TV_STDCALL TvDataInfo(char* buffer, int32_t lenBuff, int32_t* days) {
  TV_FRAME(frame);
  TvTraceIntIn("LenBuff", lenBuff);
  GiveText(buffer, lenBuff, tvDataInfo.description);
  TvTraceIntOut("Days", days, kNoDayLimit);
  return frame.Return(TvOk);
}

TV_EXPORT int32_t TV_STDCALL TvSystemInfo(int32_t lineNo, char* buffer, int32_t lenBuff) {
  TV_FRAME(frame);
  TvTraceIntIn("LineNo", lineNo);
  TvTraceIntIn("LenBuff", lenBuff);
  TvStatus status = TvErrFatal;
  const char* line = "";
  if (TvKernelStarted()) status = TvSystemInfoLine(lineNo, &line);
  GiveText(buffer, lenBuff, line);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvSetStrMode(int32_t newMode) {
  TV_FRAME(frame);
  TvTraceIntIn("NewMode", newMode);  // recorded only: texts stay in the kernel's character set
  return frame.Return(TvOk);
}
