// server_update.cpp: recording an installed country or data set in the
// current list of a configuration file and in its list of everything ever
// installed.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "exports.h"
#include "frame.h"
#include "installed_lists.h"
#include "multiline.h"
#include "owners.h"
#include "tv_error.h"
#include "tv_log.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

constexpr size_t kEntrySize = 1024;

// The code of an entry, as discovery reads it too: the text before its
// first comma, cut to three characters.
std::string_view CodeOf(const char* entry) { return SplitListLine(entry, kDataList).code.substr(0, 3); }

// Removes every item whose code is the given one, ignoring case.
TvStatus RemoveCode(TvList* list, std::string_view code) {
  for (uint32_t i = list->count; i-- > 0;) {
    const std::string_view itemCode = CodeOf(static_cast<const char*>(list->items[i]));
    if (itemCode.size() == code.size() && TvStrCompareNoCaseN(itemCode.data(), code.data(), code.size()) == 0)
      if (TvStatus status = TvListRemoveAt(list, i); status != TvOk) return status;
  }
  return TvOk;
}

// The lines of a key into a sorted unique list, as adding them one by one
// would leave it (the first of equal lines kept), but sorted in one go.
TvStatus ReadSortedList(TvIniBuffer* ini, const char* key, TvList* sorted) {
  ListOwner lines(NewTextList());
  if (!lines) return TvErrorRaise(TvErrNoMemory, key, TvRaiseOrigin);
  TvStatus status = ReadStringList(ini, key, lines.get());
  if (status == TvOk) status = TvListReserve(sorted, lines->count);
  if (status == TvOk) {
    void** items = lines->items;
    std::stable_sort(items, items + lines->count,
                     [sorted](const void* a, const void* b) { return sorted->compare(a, b, sorted->userData) < 0; });
    for (uint32_t i = 0; i < lines->count && status == TvOk; ++i)
      if (sorted->count == 0 || sorted->compare(items[i], sorted->items[sorted->count - 1], sorted->userData) != 0)
        status = TvListInsertAt(sorted, sorted->count, items[i]);
  }
  return status;
}

// The current list of key with data put first in place of its code's
// entries, then the all list with data added when it is new there.
TvStatus RecordDataEntry(TvIniBuffer* ini, const char* key, const char* data, TvList* current, TvList* all) {
  TvStatus status = ReadStringList(ini, key, current);
  if (status == TvOk) status = RemoveEmptyItems(current);
  if (status == TvOk) status = RemoveCode(current, CodeOf(data));
  if (status == TvOk) status = TvListInsertAt(current, 0, data);
  if (status == TvOk) status = WriteStringList(ini, kDefaultSection, key, current);
  if (status != TvOk) return status;

  // The all list comes back sorted without repeats; a new entry goes first.
  status = ReadSortedList(ini, "AllInstalledData", all);
  if (status == TvOk) status = RemoveEmptyItems(all);
  int32_t position = 0, found = 0;
  if (status == TvOk) status = TvListFind(all, data, -1, &position, &found);
  if (status == TvOk && !found) {
    status = TvListInsertAt(all, 0, data);
    if (status == TvOk) status = WriteStringList(ini, kDefaultSection, "AllInstalledData", all);
  }
  return status;
}

}  // namespace

// Asked of the text already loaded, not of a second reading of the file: a
// second reading that failed would make a server installation look like a
// client one.
bool IsServerConfiguration(TvIniBuffer* ini) {
  char address[kEntrySize];
  return TvIniGetBool(ini, kDefaultSection, "UsedByKeelHost", 0) ||
         TvIniGetBool(ini, kDefaultSection, "UsedByKeelNet", 0) ||
         (TvIniGetString(ini, kDefaultSection, "ServerAddress", "", address, sizeof address) &&
          TvStrCompareNoCaseN(address, "TVTCPIP", 7) == 0);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_UpdateTvwserveV5(const char* _vsPath, const char* _vsData, int32_t _iID,
                                                    int32_t _iAID, int32_t _iNID) {
  TV_FRAME(frame);
  char path[kTvPathSize], data[kEntrySize];
  TvStatus status = TracePathIn("_vsPath", _vsPath, path, sizeof path);
  TraceTextIn("_vsData", _vsData, data, sizeof data);
  const bool installed = static_cast<int16_t>(TvTraceIntIn("_iID", _iID)) != 0;
  TvTraceIntIn("_iAID", _iAID);
  TvTraceIntIn("_iNID", _iNID);

  // An entry with a line break would become several lines of the file; an
  // empty or blank one would end the list for every reader.
  if (status == TvOk) status = CheckSingleLine(data, "_vsData");
  if (status != TvOk || IsBlankEntry(data)) return frame.Return(status);

  ListOwner current(NewTextList());
  ListOwner all(TvListCreate(TvListUnique, TvListCompareText, kTvListText, 0));
  if (!current || !all) return frame.Return(TvErrNoMemory);
  // A file that does not exist is no error: nothing is recorded. Any other
  // failure to load it (locked, not ini text) is.
  IniText ini;
  status = LoadConfiguration(ini.get(), path, true);
  if (status == TvOk && ini->text) {
    status =
        RecordDataEntry(ini.get(), installed ? "InstalledData" : "NewInstalledData", data, current.get(), all.get());
    if (status == TvOk) status = TvIniSaveFile(ini.get(), path);
  }
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_UpdateDataKeys(const char* _vsIni, const char* _vsData, int32_t _viFormat) {
  TV_FRAME(frame);
  TvLogBatch batch;  // a line per list line
  char path[kTvPathSize], data[kEntrySize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, path, sizeof path);
  TraceTextIn("_vsData", _vsData, data, sizeof data);
  const bool dataFormat = static_cast<int16_t>(TvTraceIntIn("_viFormat", _viFormat)) == kDataList;

  if (status == TvOk) status = CheckSingleLine(data, "_vsData");
  IniText ini;
  if (status == TvOk) status = LoadConfiguration(ini.get(), path);
  if (status != TvOk) return frame.Return(status);

  const char* allKey = dataFormat ? "AllInstalledData" : "AllInstalledCountries";
  const char* plainKey = dataFormat ? "InstalledData" : "InstalledCountries";
  const char* serverKey = dataFormat ? "NewInstalledData" : "NewInstalledCountries";
  const bool server = IsServerConfiguration(ini.get());
  GrowingText replaced;
  // The list of a server installation starts as a copy of the plain list.
  status = UpdateMultiline(ini.get(), kDefaultSection, server ? serverKey : plainKey, server ? plainKey : nullptr, data,
                           3, &replaced);
  // The entry superseded, then the new one, go into the all list. A list
  // that could not be written is not saved as if the entry were recorded.
  if (status == TvOk)
    status = UpdateMultiline(ini.get(), kDefaultSection, allKey, nullptr, replaced.Text(),
                             static_cast<int32_t>(replaced.Size()), nullptr);
  if (status == TvOk)
    status =
        UpdateMultiline(ini.get(), kDefaultSection, allKey, nullptr, data, static_cast<int32_t>(strlen(data)), nullptr);
  if (status == TvOk) status = TvIniSaveFile(ini.get(), path);
  return frame.Return(status);
}
