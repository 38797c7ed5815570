// installed_lists.cpp: reading the lists of installed countries and data
// sets into entries, and writing string lists back as list values.
#include "installed_lists.h"

#include <cstring>

#include "tv_error.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

constexpr size_t kLineSize = 1024;        // list lines read into entries
constexpr size_t kWholeLineSize = 4096;   // list lines read into string lists

// Copies count characters of text, cut to the size of out.
void CopyPart(char* out, size_t size, const char* text, size_t count) {
  if (count > size - 1) count = size - 1;
  memcpy(out, text, count);
  out[count] = '\0';
}

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

void EntryCode(const char* text, char code[4]) {
  text = TvStrOrEmpty(text);
  CopyPart(code, 4, text, strcspn(text, ","));
}

void ParseInstalledListLine(const char* line, InstalledListEntry* entry, uint32_t kind) {
  memset(entry, 0, sizeof *entry);
  line = TvStrOrEmpty(line);
  EntryCode(line, entry->code);
  const char* comma = strchr(line, ',');
  if (!comma) return;
  const char* rest = comma + 1;
  if (kind == kDataList) {
    TvStrCopy(entry->dataDir, rest, sizeof entry->dataDir);
    LookupDataCode(entry->code, entry->fileName, sizeof entry->fileName, nullptr, 0);
    return;
  }
  const char* nameEnd = strchr(rest, ',');
  CopyPart(entry->name, sizeof entry->name, rest, nameEnd ? static_cast<size_t>(nameEnd - rest) : strlen(rest));
  if (!nameEnd) return;
  char path[kLineSize];
  TvStrCopy(path, nameEnd + 1, sizeof path);
  if (!*path) return;
  char* split = strrchr(path, '\\');
  if (!split) split = strrchr(path, '/');
  if (!split) {
    TvStrCopy(entry->dataDir, path, sizeof entry->dataDir);
    return;
  }
  TvStrCopy(entry->fileName, split + 1, sizeof entry->fileName);
  *split = '\0';
  StripTrailingBackslashes(path, entry->dataDir, sizeof entry->dataDir);
}

TvStatus ReadInstalledLists(TvIniBuffer* buffer, uint32_t mask, TvList* list) {
  TvStatus status = TvListClear(list);
  InstalledListEntry entry;
  char line[kLineSize];
  for (const ListKey& row : ListKeyTable) {
    if (status != TvOk) break;
    if (!(row.kind & mask)) continue;
    bool haveLine = TvIniGetString(buffer, kDefaultSection, row.key, "", line, sizeof line);
    while (haveLine && line[0] && status == TvOk) {
      ParseInstalledListLine(line, &entry, row.kind);
      LookupDataCode(entry.code, entry.country, sizeof entry.country, nullptr, 0);
      TvStrCopy(entry.listKey, row.key, sizeof entry.listKey);
      haveLine = TvIniNextLine(buffer, line, sizeof line);
      status = TvListAdd(list, &entry, nullptr);
    }
  }
  return status;
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

bool DirectoryExists(const char* path) {
  // A path too long for the kernel is not cut into the name of some other
  // directory, and an empty one does not stand for the current directory.
  char directory[kTvPathSize + 1];
  StripTrailingBackslashes(path, directory, sizeof directory);
  return directory[0] && strlen(directory) < kTvPathSize && TvDirCreate(directory, 0) == TvOk;
}

TvStatus ReadStringList(TvIniBuffer* buffer, const char* key, TvList* list) {
  char line[kWholeLineSize];
  bool haveLine = TvIniGetString(buffer, kDefaultSection, key, "", line, sizeof line);
  while (haveLine) {
    const char* start = line + strspn(line, " \t");
    size_t length = strlen(start);
    while (length > 0 && (start[length - 1] == ' ' || start[length - 1] == '\t')) --length;
    memmove(line, start, length);
    line[length] = '\0';
    if (TvStatus status = TvListAdd(list, line, nullptr); status != TvOk) return status;
    haveLine = TvIniNextLine(buffer, line, sizeof line);
  }
  return TvOk;
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
  if (list->count == 0) return TvOk;
  TvStatus status = TvIniSetString(buffer, section, key, static_cast<const char*>(list->items[0]));
  for (uint32_t i = 1; i < list->count && status == TvOk; ++i)
    status = TvIniAddLine(buffer, static_cast<const char*>(list->items[i]));
  return status;
}

bool IsIniText(const TvIniBuffer* buffer) {
  for (uint32_t i = 0; i < buffer->length; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer->text[i]);
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A) return false;
  }
  return true;
}

TvStatus LoadConfiguration(TvIniBuffer* buffer, const char* path) {
  TvStatus status = TvIniLoadFile(buffer, path);
  if (status != TvOk || IsIniText(buffer)) return status;
  TvIniFree(buffer);
  return TvErrorRaise(TvErrInputChars, path, TvRaiseOrigin);
}

TvStatus CheckSingleLine(const char* text, const char* what) {
  if (!strpbrk(TvStrOrEmpty(text), "\r\n")) return TvOk;
  return TvErrorRaise(TvErrInputChars, what, TvRaiseOrigin);
}
