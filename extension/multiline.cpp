// multiline.cpp: list values edited entry by entry in a working text, then
// written back whole through TvIsi_IniSetString.
#include "multiline.h"

#include <cstring>

#include "frame.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_string.h"

bool EntriesMatch(const char* entry, const char* text, int32_t n) {
  return n > 0 && TvStrCompareNoCaseN(entry, text, static_cast<size_t>(n)) == 0;
}

bool IsBlankEntry(const char* entry) {
  entry = TvStrOrEmpty(entry);
  return entry[strspn(entry, " \t")] == '\0';
}

namespace {

// Reads the lines of a list one after another, each whole, into line.
class ListReader {
 public:
  ListReader(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey) : buffer_(buffer) {
    const char* text;
    size_t length;
    have_ = TvIniGetValueSpan(buffer, section, key, &text, &length);
    if (!have_ && fallbackKey) have_ = TvIniGetValueSpan(buffer, section, fallbackKey, &text, &length);
    complete_ = !have_ || line_.Assign({text, length});
  }
  // The line just read, or nullptr at the end of the list (or when memory
  // ran out: complete() tells).
  const char* Line() const { return have_ && complete_ ? line_.Text() : nullptr; }
  void Next() {
    const char* text;
    size_t length;
    have_ = TvIniNextLineSpan(buffer_, &text, &length);
    if (have_) complete_ = line_.Assign({text, length});
  }
  bool complete() const { return complete_; }

 private:
  TvIniBuffer* buffer_;
  GrowingText line_;
  bool have_ = false;
  bool complete_ = true;
};

TvStatus WriteBack(TvIniBuffer* buffer, const char* section, const char* key, const GrowingText& list, bool complete) {
  if (!complete) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  return WriteWholeValue(buffer, section, key, list.Text());
}

}  // namespace

TvStatus UpdateMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey,
                         const char* entry, int32_t n, GrowingText* replaced) {
  const RoutineFrame frame(__func__, key);
  TvLogBatch batch;  // a line per list line
  if (n < 1 || IsBlankEntry(entry)) return TvOk;
  if (replaced) replaced->Clear();

  GrowingText list;
  bool replacedOne = false;
  bool complete = true;
  ListReader reader(buffer, section, key, fallbackKey);
  for (const char* line; complete && (line = reader.Line()); reader.Next()) {
    TvIsiLog("Read %d [%s]\n", static_cast<int>(list.Size()), line);
    if (!*line) continue;
    const char* kept = line;
    if (!replacedOne && EntriesMatch(line, entry, n)) {
      if (replaced) complete = replaced->Assign(line);
      kept = entry;
      TvIsiLog("Replace %d [%s]\n", static_cast<int>(list.Size()), entry);
      replacedOne = true;
    }
    complete = complete && list.AppendLine(kept);
  }
  complete = complete && reader.complete();
  if (complete && !replacedOne) {
    TvIsiLog("Add %d [%s]\n", static_cast<int>(list.Size()), entry);
    complete = list.Append(entry);
  }
  list.DropFinalLineFeed();
  return frame.Return(WriteBack(buffer, section, key, list, complete));
}

TvStatus RemoveMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* text, int32_t n) {
  const RoutineFrame frame(__func__, key);
  TvLogBatch batch;  // a line per list line
  if (n < 1 || !text || !*text) return TvOk;

  GrowingText list;
  bool complete = true;
  ListReader reader(buffer, section, key, nullptr);
  for (const char* line; complete && (line = reader.Line()); reader.Next()) {
    TvIsiLog("Read [%s]\n", line);
    if (EntriesMatch(line, text, n)) continue;
    complete = list.AppendLine(line);
    // The text so far is logged while it is of working size; beyond
    // that only the entry kept, so a long list does not flood the log.
    if (complete && list.Size() <= kAssemblySize) TvLogWrite(list.Text());
    else if (complete) TvIsiLog("%s\n", line);
  }
  complete = complete && reader.complete();
  list.DropFinalLineFeed();
  return frame.Return(WriteBack(buffer, section, key, list, complete));
}
