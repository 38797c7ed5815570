// countries.cpp: whether a country is recorded in the country lists of a
// server configuration, and the conversion of the country lists into the
// data lists that go with them.
#include <cstring>

#include "exports.h"
#include "frame.h"
#include "installed_lists.h"
#include "text.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

constexpr size_t kCountryLineSize = 256;

// -1, 0 or 1 as line sorts before, matches or sorts after the code on the
// code's length. An empty code matches nothing.
int CompareCode(const char* line, const char* code) {
  const size_t n = strlen(code);
  if (n == 0) return 1;
  const int result = TvStrCompareNoCaseN(line, code, n);
  return result < 0 ? -1 : result > 0 ? 1 : 0;
}

// Compares the lines of a list of the configuration buffer with the code
// until one matches. result keeps its value when the key is missing.
void SearchList(const char* key, const char* code, bool logFirstLine, int* result) {
  char line[kCountryLineSize];
  const bool present = TvIniGetString(&tvConfig, kDefaultSection, key, "", line, sizeof line);
  if (logFirstLine) TvIsiLog("First line read is %s\n", line);
  if (!present) return;
  *result = CompareCode(line, code);
  while (*result != 0 && TvIniNextLine(&tvConfig, line, sizeof line)) {
    TvIsiLog("In %d [%d] %s [%s]\n", 1, *result, key, line);
    *result = CompareCode(line, code);
  }
}

// The country lists come first in the list-key table, each followed four
// rows later by the data list made from it.
constexpr size_t kListPairs = 4;
static_assert(ListKeyTable[0].kind == kCountryList && ListKeyTable[kListPairs - 1].kind == kCountryList &&
              ListKeyTable[kListPairs].kind == kDataList);

const InstalledListEntry* EntryAt(TvList* list, uint32_t i) {
  return static_cast<const InstalledListEntry*>(list->items[i]);
}

// Later entries of InstalledCountries with a country already listed there,
// and their lines.
TvStatus RemoveRepeatedCountries(TvList* entries, TvList* lines) {
  const char* key = ListKeyTable[0].key;  // InstalledCountries
  for (uint32_t i = 0; i < entries->count; ++i) {
    if (strcmp(EntryAt(entries, i)->listKey, key) != 0) continue;
    for (uint32_t j = entries->count; j-- > i + 1;) {
      const InstalledListEntry* later = EntryAt(entries, j);
      if (strcmp(later->listKey, key) != 0 || !TvStrEqualNoCase(later->country, EntryAt(entries, i)->country))
        continue;
      TvStatus status = TvListRemoveAt(entries, j);
      if (status == TvOk) status = TvListRemoveAt(lines, j);
      if (status != TvOk) return status;
    }
  }
  return TvOk;
}

// The data entry of a country entry: its country and the directory of its
// data file, taken whole from the line.
bool DataEntry(const InstalledListEntry& entry, const char* line, GrowingText& out) {
  return out.Assign(entry.country) && out.Append(",") && out.Append(SplitListLine(line, kCountryList).directory);
}

TvStatus ConvertLists(TvIniBuffer* ini, TvList* entries, TvList* lines, TvList* items) {
  TvStatus status = ReadInstalledLists(ini, kCountryList, entries, lines);
  if (status == TvOk) status = RemoveRepeatedCountries(entries, lines);
  GrowingText data;
  for (size_t pair = 0; pair < kListPairs && status == TvOk; ++pair) {
    const char* countryKey = ListKeyTable[pair].key;
    const char* dataKey = ListKeyTable[pair + kListPairs].key;
    status = TvListClear(items);
    if (status == TvOk) status = ReadStringList(ini, dataKey, items);
    // An empty item would end the list for every reader of it.
    if (status == TvOk) status = RemoveEmptyItems(items);
    for (uint32_t i = 0; status == TvOk && i < entries->count; ++i) {
      const InstalledListEntry* entry = EntryAt(entries, i);
      if (strcmp(entry->listKey, countryKey) != 0) continue;
      status = DataEntry(*entry, static_cast<const char*>(lines->items[i]), data)
                   ? TvListAdd(items, data.Text(), nullptr)
                   : TvErrorRaise(TvErrNoMemory, dataKey, TvRaiseOrigin);
    }
    if (status == TvOk) status = WriteStringList(ini, kDefaultSection, dataKey, items);
  }
  return status;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_IsISOPresent(const char* _vsISO, const char* _vsIniPath) {
  TV_FRAME(frame);
  char code[kCountryLineSize], folder[kTvPathSize];
  TvTraceStrIn("_vsISO", _vsISO, code, sizeof code);
  TvStatus status = TracePathIn("_vsIniPath", _vsIniPath, folder, sizeof folder);
  frame.Enter(code, folder);
  char path[kTvPathSize];
  if (status == TvOk) status = TvPathBuild(path, folder, "tvwserve.ini", nullptr);
  if (status == TvOk) status = TvIniAddRef(path);
  if (status != TvOk) return frame.Quit(status);
  if (!IsIniText(&tvConfig)) {
    TvIniRelease();
    return frame.Quit(TvErrorRaise(TvErrInputChars, path, TvRaiseOrigin));
  }

  // Neither list present: the country is not recorded.
  int result = 1;
  SearchList("NewInstalledCountries", code, false, &result);
  if (result != 0) SearchList("InstalledCountries", code, true, &result);
  TvIniRelease();
  return frame.Return(result);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_InstalledCountriesToData(const char* _vsIni) {
  TV_FRAME(frame);
  char path[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, path, sizeof path);
  TvList* entries = TvListCreate(TvListUnsorted, nullptr, sizeof(InstalledListEntry), 0);
  TvList* lines = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  TvList* items = TvListCreate(TvListUnsorted | TvListUnique, TvListCompareText, kTvListText, 0);
  if (status == TvOk && !(entries && lines && items)) status = TvErrNoMemory;
  TvIniBuffer ini{};
  if (status == TvOk) status = LoadConfiguration(&ini, path);
  if (status == TvOk) {
    status = ConvertLists(&ini, entries, lines, items);
    if (status == TvOk) status = TvIniSaveFile(&ini, path);
    TvIniFree(&ini);
  }
  for (TvList* list : {entries, lines, items})
    if (list) TvListFree(list);
  return frame.Return(status);
}
