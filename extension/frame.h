// frame.h: the call frame of the exports. An export opens its body with
// TV_FRAME and leaves it through the frame's Return; its name, the log
// lines around the call and the closing trace call all follow from its
// entry in export_list.h. The lines are built in the one shared TraceLine
// buffer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "export_table.h"
#include "tv_base.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_string.h"

// The extension's one line buffer: 255 characters and the terminating NUL.
constexpr size_t kTraceLineSize = 256;
extern char TraceLine[kTraceLineSize];

// Formats into TraceLine (a longer line is cut at 255 characters) and
// writes it to the log.
__attribute__((format(gnu_printf, 1, 2))) void TvIsiLog(const char* format, ...);

// The lines of the frames below. "> name (argument)\n"; the argument is
// cut with the line, never changed.
void TvIsiEntry(const char* name, const char* argument);
// "> name\n"
void TvIsiEntryPlain(const char* name);
// "< name = status\n"
void TvIsiExit(const char* name, TvStatus status);

// The frame of the export at position index of the export list. It
// registers the name with the API trace when it is made; what it takes
// when it is made, and what it writes then and on Return, are those of the
// export's frame kind.
template <size_t index>
class ExportFrame {
  static constexpr const tvexport::Export& kExport = tvexport::kExports[index];
  using Frame = tvexport::Frame;
  using Result = tvexport::Result;
  static constexpr Frame kFrame = kExport.frame;
  static_assert(kFrame != Frame::Kernel, "a kernel routine exported as it is has no frame of the extension's");

 public:
  ExportFrame() requires(kFrame == Frame::LoggedPlain || kFrame == Frame::LoggedAfterTrace ||
                         kFrame == Frame::LoggedAtEnd || kFrame == Frame::LoggedUnclosed ||
                         kFrame == Frame::LoggedAtOnce || kFrame == Frame::Traced) {
    TvTraceFunction(kExport.name);
    if constexpr (kFrame == Frame::LoggedPlain || kFrame == Frame::LoggedUnclosed) TvIsiEntryPlain(kExport.name);
    if constexpr (kFrame == Frame::LoggedAtOnce) TvIsiLog("> %s\n< %s\n", kExport.name, kExport.name);
  }
  explicit ExportFrame(const char* argument) requires(kFrame == Frame::Logged || kFrame == Frame::LoggedFound ||
                                                      kFrame == Frame::LoggedUntraced ||
                                                      kFrame == Frame::LoggedBareClose) {
    if constexpr (kFrame != Frame::LoggedUntraced) TvTraceFunction(kExport.name);
    TvIsiEntry(kExport.name, argument);
  }
  // The name the API trace shows for the call, which is not the export's.
  explicit ExportFrame(const char* traceName) requires(kFrame == Frame::TracedAs) { TvTraceFunction(traceName); }
  // The text (a value or entries) goes to the log as the script gave it.
  ExportFrame(const char* argument, const char* text) requires(kFrame == Frame::LoggedText) {
    TvTraceFunction(kExport.name);
    TvIsiEntry(kExport.name, argument);
    TvLogWrite(text);
  }
  ExportFrame(const ExportFrame&) = delete;
  ExportFrame& operator=(const ExportFrame&) = delete;

  static constexpr const char* Name() { return kExport.name; }

  void Enter(const char* first, const char* second) requires(kFrame == Frame::LoggedAfterTrace) {
    TvIsiLog("> %s (%s, %s)\n", kExport.name, TvStrOrEmpty(first), TvStrOrEmpty(second));
  }

  // The exit line, then the closing trace call; the result passes through.
  int32_t Return(int32_t result) requires(kExport.result != Result::Nothing) {
    if constexpr (kFrame == Frame::LoggedAtEnd) TvIsiLog("> %s", kExport.name);
    if constexpr (kFrame == Frame::LoggedFound) {
      if (result == TvOk) TvIsiLog("< %s\n", kExport.name);
    } else if constexpr (kFrame != Frame::Traced && kFrame != Frame::TracedAs && kFrame != Frame::LoggedAtOnce) {
      TvIsiExit(kExport.name, result);
    }
    if constexpr (kFrame == Frame::TracedAs || kFrame == Frame::LoggedUnclosed || kFrame == Frame::LoggedAtOnce)
      return result;
    if constexpr (kFrame == Frame::LoggedBareClose) {
      TvTraceReturn();
      return result;
    }
    return Close(result);
  }
  void Return() requires(kExport.result == Result::Nothing) {
    if constexpr (kFrame != Frame::Traced) TvIsiLog("< %s\n", kExport.name);
    TvTraceReturn();
  }
  // Leaves without the exit line: the closing trace call only.
  int32_t Quit(int32_t result) requires(kFrame == Frame::LoggedAfterTrace) { return Close(result); }

 private:
  static int32_t Close(int32_t result) {
    if constexpr (kExport.result == Result::Int) return TvTraceReturnInt(result);
    return TvTraceReturnLong(result);
  }
};

// Opens the frame of the export whose body it stands in, found by the
// function's own name: TV_FRAME(frame, entry-line arguments...).
#define TV_FRAME(variable, ...) \
  ExportFrame<tvexport::IndexOf(__func__)> variable { __VA_ARGS__ }

// The frame of a routine of the extension's own that logs its calls: its
// name registered with the API trace, "> name (argument)\n" and, on Return,
// "< name = status\n"; no closing trace call. A way out without Return
// writes no exit line.
class RoutineFrame {
 public:
  RoutineFrame(const char* name, const char* argument) : name_(name) {
    TvTraceFunction(name);
    TvIsiEntry(name, argument);
  }
  RoutineFrame(const RoutineFrame&) = delete;
  RoutineFrame& operator=(const RoutineFrame&) = delete;
  TvStatus Return(TvStatus status) const {
    TvIsiExit(name_, status);
    return status;
  }

 private:
  const char* name_;
};
