// multiline.cpp: list values edited entry by entry in a working text, then
// written back whole through TvIsi_IniSetString; and a list key renamed in
// every section of a file.
#include "multiline.h"

#include <cstring>

#include "frame.h"
#include "hash_table.h"
#include "installed_lists.h"
#include "owners.h"
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

namespace {

constexpr size_t kSectionNameSize = 256;

// Sets `to` in the section to the value of `from` (its continuation lines
// included) and deletes `from` there.
TvStatus RenameInSection(TvIniBuffer* ini, const char* section, const char* from, const char* to) {
  // Most often the key ends its section: renamed where it stands, which
  // gives the same text without moving the rest of it twice.
  if (TvIniRenameLastKey(ini, section, from, to)) return TvOk;
  const char* line;
  size_t length;
  if (!TvIniGetValueSpan(ini, section, from, &line, &length)) return TvOk;
  TvStatus status;
  {
    // The spans lie in the text that the edits below move: copy them first.
    ListOwner lines(NewTextList());
    GrowingText piece;
    bool copied = lines && piece.Assign({line, length}) && TvListAdd(lines.get(), piece.Text(), nullptr) == TvOk;
    while (copied && TvIniNextLineSpan(ini, &line, &length))
      copied = piece.Assign({line, length}) && TvListAdd(lines.get(), piece.Text(), nullptr) == TvOk;
    status = copied ? WriteStringList(ini, section, to, lines.get()) : TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  }
  if (status == TvOk) status = TvIniSetString(ini, section, from, nullptr);
  return status;
}

// A section name that the editor could not address again (too long for a
// name, or a pattern) is passed over.
bool Addressable(const char* section) {
  if (strlen(section) >= kTvIniSectionSize) return false;
  for (const char* p = section; *p; ++p)
    if (*p == '*' || *p == '?' || *p == ']' || static_cast<unsigned char>(*p) < 0x20) return false;
  return true;
}

}  // namespace

// Visits every section in file order. The walk keeps its place as a
// position in the text, which the edits of the section just visited shift
// with them, so it stays valid while they grow or shrink the text. The
// edits address a section by name, which finds the first header that
// matches it; a section that no earlier header matches (none has its name
// on the 79 characters headers are compared on, none is a pattern) is
// therefore taken where the walk stands instead of searched for.
TvStatus RenameListKey(const char* path, const char* from, const char* to) {
  IniText ini;
  TvStatus status = LoadConfiguration(ini.get(), path);
  if (status != TvOk) return status;
  ListOwner earlier(NewTextList());
  if (!earlier) status = TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  TextSet names(HashCase::Upper, TvStrEqualNoCase);
  bool patterns = false;
  char section[kSectionNameSize];
  for (int first = 1; status == TvOk && TvIniNextSection(ini.get(), first, section, sizeof section); first = 0) {
    if (Addressable(section)) {
      if (!patterns && !names.Contains(section)) TvIniUseEnumSection(ini.get(), section);
      status = RenameInSection(ini.get(), section, from, to);
    }
    section[kTvIniSectionSize - 1] = '\0';
    patterns = patterns || strpbrk(section, "*?");
    bool noMemory = false;
    if (status == TvOk && !patterns && !names.Contains(section)) {
      status = TvListAdd(earlier.get(), section, nullptr);
      if (status == TvOk) names.Insert(static_cast<const char*>(earlier->items[earlier->count - 1]), &noMemory);
    }
    if (noMemory) status = TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  }
  if (status == TvOk) status = TvIniSaveFile(ini.get(), path);
  return status;
}
