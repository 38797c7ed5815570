// countries.cpp: whether a country is recorded in the country lists of a
// server configuration, and the conversion of the country lists into the
// data lists that go with them.
#include <cstring>

#include "exports.h"
#include "frame.h"
#include "hash_table.h"
#include "installed_lists.h"
#include "owners.h"
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

const InstalledListLine* EntryAt(TvList* list, uint32_t i) {
  return static_cast<const InstalledListLine*>(list->items[i]);
}

bool EqualListText(const char* a, const char* b) { return TvListCompareText(a, b, 0) == 0; }

// Removes the items marked in drop (one flag per item), from the end.
TvStatus RemoveMarked(TvList* list, const bool* drop, TvList* alongside = nullptr) {
  for (uint32_t i = list->count; i-- > 0;) {
    if (!drop[i]) continue;
    TvStatus status = TvListRemoveAt(list, i);
    if (status == TvOk && alongside) status = TvListRemoveAt(alongside, i);
    if (status != TvOk) return status;
  }
  return TvOk;
}

// Later entries of InstalledCountries with a country already listed there,
// and their lines.
TvStatus RemoveRepeatedCountries(TvList* entries, TvList* lines) {
  const char* key = ListKeyTable[0].key;  // InstalledCountries
  TextSet seen(HashCase::Upper, TvStrEqualNoCase);
  auto* drop = static_cast<bool*>(TvMemAlloc(TvMemZero, entries->count + 1));
  if (!drop) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  TvStatus status = TvOk;
  for (uint32_t i = 0; i < entries->count && status == TvOk; ++i) {
    if (strcmp(EntryAt(entries, i)->listKey, key) != 0) continue;
    bool noMemory;
    drop[i] = seen.Insert(EntryAt(entries, i)->country, &noMemory);
    if (noMemory) status = TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  }
  if (status == TvOk) status = RemoveMarked(entries, drop, lines);
  TvMemFree(drop);
  return status;
}

// The items of a data list read afresh, each equal one (ignoring case)
// after the first left out, as a unique list takes them.
TvStatus ReadUniqueItems(TvIniBuffer* ini, const char* key, TvList* items, TextSet& seen) {
  seen.Clear();
  TvStatus status = TvListClear(items);
  if (status == TvOk) status = ReadStringList(ini, key, items);
  if (status != TvOk) return status;
  auto* drop = static_cast<bool*>(TvMemAlloc(TvMemZero, items->count + 1));
  if (!drop) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  for (uint32_t i = 0; i < items->count && status == TvOk; ++i) {
    bool noMemory;
    drop[i] = seen.Insert(static_cast<const char*>(items->items[i]), &noMemory);
    if (noMemory) status = TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  }
  if (status == TvOk) status = RemoveMarked(items, drop);
  TvMemFree(drop);
  return status;
}

// The data entry of a country entry: its country and the directory of its
// data file, taken whole from the line.
bool DataEntry(const InstalledListLine& entry, const char* line, GrowingText& out) {
  return out.Assign(entry.country) && out.Append(",") && out.Append(SplitListLine(line, kCountryList).directory);
}

TvStatus ConvertLists(TvIniBuffer* ini, TvList* entries, TvList* lines, TvList* items) {
  TvStatus status = ReadInstalledLists(ini, kCountryList, entries, lines);
  if (status == TvOk) status = RemoveRepeatedCountries(entries, lines);
  GrowingText data;
  TextSet seen(HashCase::ListText, EqualListText);
  for (size_t pair = 0; pair < kListPairs && status == TvOk; ++pair) {
    const char* countryKey = ListKeyTable[pair].key;
    const char* dataKey = ListKeyTable[pair + kListPairs].key;
    status = ReadUniqueItems(ini, dataKey, items, seen);
    // An empty item would end the list for every reader of it.
    if (status == TvOk) status = RemoveEmptyItems(items);
    if (status == TvOk) status = TvListReserve(items, items->count + entries->count);
    for (uint32_t i = 0; status == TvOk && i < entries->count; ++i) {
      const InstalledListLine* entry = EntryAt(entries, i);
      if (strcmp(entry->listKey, countryKey) != 0) continue;
      bool noMemory = !DataEntry(*entry, static_cast<const char*>(lines->items[i]), data);
      if (!noMemory && !seen.Contains(data.Text())) {
        status = TvListAdd(items, data.Text(), nullptr);
        // The set holds the list's copy, which lives until the list is read afresh.
        if (status == TvOk) seen.Insert(static_cast<const char*>(items->items[items->count - 1]), &noMemory);
      }
      if (noMemory) status = TvErrorRaise(TvErrNoMemory, dataKey, TvRaiseOrigin);
    }
    if (status == TvOk) status = WriteStringList(ini, kDefaultSection, dataKey, items);
  }
  return status;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_IsISOPresent(const char* _vsISO, const char* _vsIniPath) {
  TV_FRAME(frame);
  TvLogBatch batch;  // a line per list line
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
  ListOwner entries(TvListCreate(TvListUnsorted, nullptr, sizeof(InstalledListLine), 0));
  ListOwner lines(NewTextList()), items(NewTextList());
  if (status == TvOk && !(entries && lines && items)) status = TvErrNoMemory;
  IniText ini;
  if (status == TvOk) status = LoadConfiguration(ini.get(), path);
  if (status == TvOk) status = ConvertLists(ini.get(), entries.get(), lines.get(), items.get());
  if (status == TvOk) status = TvIniSaveFile(ini.get(), path);
  return frame.Return(status);
}
