// multiline.cpp: list values edited entry by entry in a working text, then
// written back whole through TvIsi_IniSetString.
#include "multiline.h"

#include <cstring>

#include "exports.h"
#include "frame.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_string.h"

bool EntriesMatch(const char* entry, const char* text, int32_t n) {
  return n > 0 && TvStrCompareNoCaseN(entry, text, static_cast<size_t>(n)) == 0;
}

namespace {

// The working text of a list: the kept entries, each followed by a line
// feed. It grows as needed, so no entry of a long list is ever left out.
class Assembly {
 public:
  Assembly() = default;
  Assembly(const Assembly&) = delete;
  Assembly& operator=(const Assembly&) = delete;
  ~Assembly() { TvMemFree(text_); }

  bool Append(const char* piece) {
    const size_t length = strlen(piece);
    if (used_ + length + 2 > capacity_) {
      size_t grown = capacity_ ? capacity_ : kAssemblySize;
      while (used_ + length + 2 > grown) grown *= 2;
      auto* bigger = static_cast<char*>(TvMemResize(text_, 0, grown));
      if (!bigger) return false;
      text_ = bigger;
      capacity_ = grown;
    }
    memcpy(text_ + used_, piece, length + 1);
    used_ += length;
    return true;
  }
  bool AppendLine(const char* piece) { return Append(piece) && Append("\n"); }
  void DropFinalLineFeed() {
    if (used_ > 0 && text_[used_ - 1] == '\n') text_[--used_] = '\0';
  }
  int Offset() const { return static_cast<int>(used_); }
  size_t Size() const { return used_; }
  const char* Text() const { return text_ ? text_ : ""; }

 private:
  char* text_ = nullptr;
  size_t used_ = 0;
  size_t capacity_ = 0;
};

TvStatus WriteBack(TvIniBuffer* buffer, const char* section, const char* key, const Assembly& list, bool complete) {
  if (!complete) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  return TvIsiIniSetString(buffer, section, key, list.Text());
}

}  // namespace

TvStatus UpdateMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* fallbackKey,
                         const char* entry, int32_t n, char* replaced) {
  TvTraceFunction("UpdateMultiline");
  TvIsiLog("> UpdateMultiline (%s)\n", TvStrOrEmpty(key));
  if (n < 1 || !entry || !*entry) return TvOk;
  if (replaced) replaced[0] = '\0';

  Assembly list;
  char line[kAssemblySize];
  bool haveLine = TvIniGetString(buffer, section, key, "", line, sizeof line);
  if (!haveLine && fallbackKey) haveLine = TvIniGetString(buffer, section, fallbackKey, "", line, sizeof line);
  bool replacedOne = false;
  bool complete = true;
  while (haveLine && complete) {
    TvIsiLog("Read %d [%s]\n", list.Offset(), line);
    if (*line) {
      const char* kept = line;
      if (!replacedOne && EntriesMatch(line, entry, n)) {
        if (replaced) TvStrCopy(replaced, line, kItemSize);
        kept = entry;
        TvIsiLog("Replace %d [%s]\n", list.Offset(), entry);
        replacedOne = true;
      }
      complete = list.AppendLine(kept);
    }
    haveLine = TvIniNextLine(buffer, line, sizeof line);
  }
  if (complete && !replacedOne) {
    TvIsiLog("Add %d [%s]\n", list.Offset(), entry);
    complete = list.Append(entry);
  }
  list.DropFinalLineFeed();
  const TvStatus status = WriteBack(buffer, section, key, list, complete);
  TvIsiLog("< UpdateMultiline = %d\n", static_cast<int>(status));
  return status;
}

TvStatus RemoveMultiline(TvIniBuffer* buffer, const char* section, const char* key, const char* text, int32_t n) {
  TvTraceFunction("RemoveMultiline");
  TvIsiLog("> RemoveMultiline (%s)\n", TvStrOrEmpty(key));
  if (n < 1 || !text || !*text) return TvOk;

  Assembly list;
  char line[kItemSize];
  bool complete = true;
  bool haveLine = TvIniGetString(buffer, section, key, "", line, sizeof line);
  while (haveLine && complete) {
    TvIsiLog("Read [%s]\n", line);
    if (!EntriesMatch(line, text, n)) {
      complete = list.AppendLine(line);
      // The text so far is logged while it is of working size; beyond
      // that only the entry kept, so a long list does not flood the log.
      if (complete && list.Size() <= kAssemblySize)
        TvLogWrite(list.Text());
      else if (complete)
        TvIsiLog("%s\n", line);
    }
    haveLine = TvIniNextLine(buffer, line, sizeof line);
  }
  list.DropFinalLineFeed();
  const TvStatus status = WriteBack(buffer, section, key, list, complete);
  TvIsiLog("< RemoveMultiline = %d\n", static_cast<int>(status));
  return status;
}
