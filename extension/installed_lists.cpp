// installed_lists.cpp: reading the lists of installed countries and data
// sets into entries, and writing string lists back as list values.
#include "installed_lists.h"

#include <cstring>

#include "frame.h"
#include "text.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

// Copies a part of a line, cut to the size of out; true when it fitted.
bool CopyPart(char* out, size_t size, std::string_view part) {
  const size_t count = part.size() < size ? part.size() : size - 1;
  memcpy(out, part.data(), count);
  out[count] = '\0';
  return count == part.size();
}

// Reads the lines of a list, each whole.
class LineReader {
 public:
  LineReader(TvIniBuffer* buffer, const char* key) : buffer_(buffer) {
    const char* text;
    size_t length;
    const bool found = TvIniGetValueSpan(buffer, kDefaultSection, key, &text, &length);
    Take(found, text, length);
  }
  // The line, or nullptr at the end of the list.
  const char* Line() const { return have_ ? line_.Text() : nullptr; }
  // Lookups between two lines move the buffer's cursor: the reader keeps
  // its own place.
  void Next() {
    const char* text;
    size_t length;
    buffer_->cursor = cursor_;
    const bool found = TvIniNextLineSpan(buffer_, &text, &length);
    Take(found, text, length);
  }
  // -1001 when a line did not fit in memory.
  TvStatus status() const { return status_; }

 private:
  void Take(bool found, const char* text, size_t length) {
    cursor_ = buffer_->cursor;
    have_ = found && line_.Assign({text, length});
    if (found && !have_) status_ = TvErrorRaise(TvErrNoMemory, "list line", TvRaiseOrigin);
  }
  TvIniBuffer* buffer_;
  int32_t cursor_ = kTvIniNone;
  GrowingText line_;
  bool have_ = false;
  TvStatus status_ = TvOk;
};

}  // namespace

void LookupDataCode(const char* code, char* country, size_t countrySize, char* dataSets, size_t dataSetsSize) {
  code = TvStrOrEmpty(code);
  const char* foundCountry = code;
  const char* foundSets = code;
  for (const DataCode& row : DataCodeTable) {
    if (TvStrEqualNoCase(row.code, code)) {
      foundCountry = row.country;
      foundSets = row.dataSets;
      break;
    }
  }
  // The outputs may be the code itself: copy through a temporary.
  char country3[sizeof DataCode::dataSets];
  char sets[sizeof DataCode::dataSets];
  TvStrCopy(country3, foundCountry, sizeof country3);
  TvStrCopy(sets, foundSets, sizeof sets);
  if (country && countrySize) TvStrCopy(country, country3, countrySize);
  if (dataSets && dataSetsSize) TvStrCopy(dataSets, sets, dataSetsSize);
}

ListLineParts SplitListLine(std::string_view line, uint32_t kind) {
  ListLineParts parts;
  const size_t comma = line.find(',');
  parts.code = line.substr(0, comma);
  if (comma == std::string_view::npos) return parts;
  const std::string_view rest = line.substr(comma + 1);
  if (kind == kDataList) {
    parts.directory = rest;
    return parts;
  }
  const size_t nameEnd = rest.find(',');
  parts.name = rest.substr(0, nameEnd);
  if (nameEnd == std::string_view::npos) return parts;
  const std::string_view path = rest.substr(nameEnd + 1);
  size_t split = path.rfind('\\');
  if (split == std::string_view::npos) split = path.rfind('/');
  if (split == std::string_view::npos) {
    parts.directory = path;
    return parts;
  }
  parts.fileName = path.substr(split + 1);
  std::string_view directory = path.substr(0, split);
  while (!directory.empty() && directory.back() == '\\') directory.remove_suffix(1);
  parts.directory = directory;
  return parts;
}

void ParseInstalledListLine(const char* line, InstalledListEntry* entry, uint32_t kind) {
  memset(entry, 0, sizeof *entry);
  const ListLineParts parts = SplitListLine(TvStrOrEmpty(line), kind);
  CopyPart(entry->code, sizeof entry->code, parts.code);
  CopyPart(entry->name, sizeof entry->name, parts.name);
  entry->cut = !CopyPart(entry->dataDir, sizeof entry->dataDir, parts.directory) ||
               !CopyPart(entry->fileName, sizeof entry->fileName, parts.fileName);
  if (kind == kDataList) LookupDataCode(entry->code, entry->fileName, sizeof entry->fileName, nullptr, 0);
}

TvStatus ForEachListLine(TvIniBuffer* buffer, uint32_t mask, ListLineVisitor visit, void* data) {
  for (const ListKey& row : ListKeyTable) {
    if (!(row.kind & mask)) continue;
    LineReader reader(buffer, row.key);
    for (const char* line; (line = reader.Line()) && line[0]; reader.Next())
      if (!visit(line, row, data)) return TvOk;
    if (reader.status() != TvOk) return reader.status();
  }
  return TvOk;
}

void ReadCode(const char* line, uint32_t kind, char (&code)[4], char (&country)[4]) {
  CopyPart(code, sizeof code, SplitListLine(line, kind).code);
  LookupDataCode(code, country, sizeof country, nullptr, 0);
}

TvStatus ReadInstalledLists(TvIniBuffer* buffer, uint32_t mask, TvList* list, TvList* lines) {
  struct Reading {
    TvList* list;
    TvList* lines;
    TvStatus status;
  } reading{list, lines, TvListClear(list)};
  if (reading.status == TvOk && lines) reading.status = TvListClear(lines);
  if (reading.status != TvOk) return reading.status;
  const TvStatus walked = ForEachListLine(
      buffer, mask,
      [](const char* line, const ListKey& row, void* data) {
        auto& r = *static_cast<Reading*>(data);
        InstalledListLine record{row.key, ""};
        char code[4];
        ReadCode(line, row.kind, code, record.country);
        r.status = TvListAdd(r.list, &record, nullptr);
        if (r.status == TvOk && r.lines) r.status = TvListAdd(r.lines, line, nullptr);
        return r.status == TvOk;
      },
      &reading);
  return reading.status != TvOk ? reading.status : walked;
}

void StripTrailingBackslashes(const char* source, char* destination, size_t capacity) {
  if (!destination || capacity == 0) return;
  source = TvStrOrEmpty(source);
  size_t length = strlen(source);
  if (length > capacity - 1) length = capacity - 1;
  memmove(destination, source, length);
  while (length > 0 && destination[length - 1] == '\\') --length;
  destination[length] = '\0';
}

bool UsableDirectory(const char* directory, char* out) {
  directory = TvStrOrEmpty(directory);
  std::string_view usable(directory);
  while (!usable.empty() && usable.back() == '\\') usable.remove_suffix(1);
  char root[4];
  if (usable.empty()) {
    usable = directory[0] == '\\' ? "\\" : ".";  // the current drive's root, or the current directory
  } else if (usable.size() == 2 && usable[1] == ':') {
    TvFormat(root, sizeof root, "%c:\\", usable[0]);
    usable = root;
  }
  return CopyPart(out, kTvPathSize, usable);
}

bool DirectoryExists(const char* path) {
  char directory[kTvPathSize];
  return UsableDirectory(path, directory) && TvDirCreate(directory, 0) == TvOk;
}

TvStatus ReadStringList(TvIniBuffer* buffer, const char* key, TvList* list) {
  LineReader reader(buffer, key);
  GrowingText trimmed;
  for (const char* line; (line = reader.Line()); reader.Next()) {
    std::string_view item(line);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (!trimmed.Assign(item)) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
    // A long list doubles its array rather than growing it 32 items at a time.
    if (list->count == list->capacity && list->capacity >= 64)
      if (TvStatus status = TvListReserve(list, list->capacity * 2); status != TvOk) return status;
    if (TvStatus status = TvListAdd(list, trimmed.Text(), nullptr); status != TvOk) return status;
  }
  return reader.status();
}

TvStatus RemoveEmptyItems(TvList* list) {
  for (uint32_t i = list->count; i-- > 0;) {
    const char* item = static_cast<const char*>(list->items[i]);
    if (!item[0] || strcmp(item, "+") == 0)
      if (TvStatus status = TvListRemoveAt(list, i); status != TvOk) return status;
  }
  return TvOk;
}

TvStatus WriteStringList(TvIniBuffer* buffer, const char* section, const char* key, TvList* list) {
  return TvIniSetLines(buffer, section, key, const_cast<const char* const*>(reinterpret_cast<char**>(list->items)),
                       list->count);
}

uint32_t NonIniTextAt(const TvIniBuffer* buffer) {
  for (uint32_t i = 0; i < buffer->length; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer->text[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A) return i;
  }
  return buffer->length;
}

bool IsIniText(const TvIniBuffer* buffer) { return NonIniTextAt(buffer) == buffer->length; }

TvStatus LoadConfiguration(TvIniBuffer* buffer, const char* path, bool missingIsEmpty) {
  TvStatus status;
  if (missingIsEmpty) {
    TvFileHandle handle;
    status = TvFileOpen(nullptr, nullptr, path, "ini", TvFileSequential | TvFileSilent, &handle);
    if (status == TvErrFileNotFound || status == TvErrInvalidDirectory) return TvOk;
    if (status != TvOk) return TvErrorRaise(status, path, TvRaiseOrigin);
    status = TvIniLoadHandle(buffer, handle);
    TvFileClose(handle);
  } else {
    status = TvIniLoadFile(buffer, path);
  }
  if (status != TvOk || IsIniText(buffer)) return status;
  TvIniFree(buffer);
  return TvErrorRaise(TvErrInputChars, path, TvRaiseOrigin);
}

TvStatus CheckSingleLine(const char* text, const char* what) {
  for (const char* p = TvStrOrEmpty(text); *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 && *p != '\t') return TvErrorRaise(TvErrInputChars, what, TvRaiseOrigin);
  return TvOk;
}

TvStatus TracePathIn(const char* name, const char* value, char* copy, size_t size) {
  TvTraceStrIn(name, value, copy, size);
  if (strlen(TvStrOrEmpty(value)) < size) return TvOk;
  return TvErrorRaise(TvErrInvalidDirectory, copy, TvRaiseOrigin);
}

void TraceTextIn(const char* name, const char* value, char* copy, size_t size) {
  TvTraceStrIn(name, value, copy, size);
  if (strlen(TvStrOrEmpty(value)) >= size) TvIsiLog("%s cut to %u characters\n", name, static_cast<unsigned>(size - 1));
}
