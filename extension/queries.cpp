// queries.cpp: questions the installer script asks about files: can a file
// be written now, how many kilobytes a set of data files takes, and what a
// data file's trailer says (its date, its country and name, any setting),
// plus a short date in long form. The data queries open the file with a
// data-information mode, which makes its trailer the configuration buffer
// until they release it.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "exports.h"
#include "frame.h"
#include "hash_table.h"
#include "owners.h"
#include "queries.h"
#include "text.h"
#include "tv_date.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_ini.h"
#include "tv_list.h"
#include "tv_memory.h"
#include "tv_reports.h"
#include "tv_string.h"
#include "tv_thread.h"

// The middle dot that marks a field of the progress lines (code page 1252).
#define TV_DOT "\xB7"

namespace {

constexpr size_t kDateSize = 64;
constexpr size_t kCodeSize = 4;
constexpr size_t kNameSize = 64;
constexpr size_t kInfoSize = 64;
constexpr size_t kValueSize = 128;
constexpr size_t kLongDateSize = 60;
static_assert(tvexport::CapacityOf("TvIsi_DataVintage", 1) == kDateSize &&
              tvexport::CapacityOf("TvIsi_FileLoadIni", 1) == kCodeSize &&
              tvexport::CapacityOf("TvIsi_FileLoadIni", 2) == kNameSize &&
              tvexport::CapacityOf("TvIsi_FileLoadIni", 3) == kInfoSize &&
              tvexport::CapacityOf("TvIsi_GetIniString", 5) == kValueSize &&
              tvexport::CapacityOf("TvIsi_FormatDateShortToLong", 1) == kLongDateSize);

constexpr int kWriteAttempts = 3;
constexpr uint32_t kWriteRetryWait = 401;  // milliseconds
constexpr size_t kNameLineSize = 200;      // names of the script: at most 199 characters
constexpr size_t kEntryPathLimit = 127;    // the path field of a size-list entry

// The language a script passes as a decimal text becomes the current one.
// A text that names no language (empty, 0, out of range) leaves it as it is.
void TakeLanguage(const char* language) {
  const int32_t code = TvStrToInt(language, nullptr);
  if (code > 0 && code <= 0xFFFF) TvSetCurrentLanguage(static_cast<uint16_t>(code));
}

// Opens a data file so that its trailer becomes the configuration buffer,
// and closes it again at once: the settings are read from the buffer.
TvStatus OpenTrailer(const char* path, uint32_t mode) {
  if (!path || !*path) return TvErrorRaise(TvErrFileNotFound, "", TvRaiseOrigin);
  TvFileHandle handle = kTvNoFile;
  const TvStatus status = TvFileOpen(nullptr, nullptr, path, nullptr, mode, &handle);
  TvFileClose(handle);
  return status;
}

void Deliver(char* out, const char* text, size_t capacity) {
  if (out) TvStrCopy(out, text, capacity);
}

// ---- Releases of data files read before -----------------------------

constexpr size_t kDataInfoDateSize = sizeof tvDataInfo.date;
// A file written this shortly before it was read is not kept: on a file
// system with a coarse clock (FAT counts in 2 s) a write right after the
// read could leave the same time.
constexpr uint64_t kSettled = 4 * 10000000ull;  // FILETIME steps: 4 s
constexpr uint32_t kMostKept = 16384;

// What reading a data file's trailer gave, by the file's path and stamp:
// the data-mapping update reads the release of every additional data file
// of a folder on each call, a folder holds hundreds, and opening each costs
// far more than all the rest of the update. One block per file: the
// record, then its texts (path, release, first date, copyright lines),
// each ended by a NUL. The set finds a record by its path, the first text.
class ReleaseCache {
 public:
  // True when path with this stamp was kept: fills release (kDateSize
  // bytes) and records the trailer's data information again, whose status
  // goes to status.
  bool Replay(const char* path, const TvFileStamp& stamp, char* release, TvStatus* status) {
    TvSpinHold hold(busy_);
    const char* keptPath = paths_.Find(path);
    const Record* record = keptPath ? Record::Of(keptPath) : nullptr;
    if (!record || !Same(record->stamp, stamp)) return false;
    const char* text = keptPath + strlen(keptPath) + 1;
    TvStrCopy(release, text, kDateSize);
    text += strlen(text) + 1;
    const char* date = text;
    *status = TvDataInfoRecordAgain(text + strlen(text) + 1, record->lines, date);
    return true;
  }

  // Keeps what a read of path gave: its release, its first section's date
  // and the copyright lines from position `from` of the list on. A file
  // that is not settled or has no write time, or a block that cannot be
  // had, is not kept.
  void Keep(const char* path, const TvFileStamp& stamp, const char* release, const char* date, const TvList* copyright,
            uint32_t from) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t clock = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    if (stamp.lastWrite == 0 || stamp.lastWrite >= clock || clock - stamp.lastWrite < kSettled) return;
    const uint32_t count = copyright && copyright->count > from ? copyright->count - from : 0;
    size_t bytes = sizeof(Record) + strlen(path) + strlen(release) + strlen(date) + 3;
    for (uint32_t i = 0; i < count; ++i) bytes += strlen(static_cast<const char*>(copyright->items[from + i])) + 1;
    auto* record = static_cast<Record*>(TvSysAlloc(bytes, bytes));
    if (!record) return;
    record->bytes = bytes;
    record->stamp = stamp;
    record->lines = count;
    char* text = record->Texts();
    const auto put = [&text](const char* piece) {
      const size_t length = strlen(piece) + 1;
      memcpy(text, piece, length);
      text += length;
    };
    put(path);
    put(release);
    put(date);
    for (uint32_t i = 0; i < count; ++i) put(static_cast<const char*>(copyright->items[from + i]));
    TvSpinHold hold(busy_);
    if (paths_.Size() >= kMostKept) ClearHeld();
    bool noMemory;
    const char* replaced = paths_.Put(record->Texts(), &noMemory);
    if (noMemory) Free(record);
    if (replaced) Free(Record::Of(replaced));
  }

  void Clear() {
    TvSpinHold hold(busy_);
    ClearHeld();
  }

 private:
  struct Record {
    size_t bytes;
    uint32_t lines;
    TvFileStamp stamp;
    char* Texts() { return reinterpret_cast<char*>(this + 1); }
    static const Record* Of(const char* path) { return reinterpret_cast<const Record*>(path) - 1; }
  };

  static void Free(const Record* record) { TvSysFree(const_cast<Record*>(record), record->bytes, record->bytes); }
  static bool Same(const TvFileStamp& a, const TvFileStamp& b) {
    return a.size == b.size && a.lastWrite == b.lastWrite && a.created == b.created;
  }
  void ClearHeld() {
    paths_.ForEach([](const char* path) { Free(Record::Of(path)); });
    paths_.Clear();
  }

  std::atomic<bool> busy_{false};  // exports are seldom called from two threads at once
  TextSet paths_{HashCase::Upper, TvStrEqualNoCase};
};
ReleaseCache releases;

// ---- Size lists --------------------------------------------------------

int CompareNames(const void* item, const void* listItem, intptr_t) {
  return TvStrCompareNoCase(static_cast<const char*>(item), static_cast<const char*>(listItem));
}

// The script's names, one a line, in a set that ignores letter case. A line
// end may be CR LF; empty lines name nothing.
TvStatus AddNames(TvList* set, const char* names) {
  std::string_view rest = TvStrOrEmpty(names);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    char name[kNameLineSize];
    TvStrCopyN(name, line.data(), line.size(), sizeof name);
    if (TvStatus status = TvListAdd(set, name, nullptr); status != TvOk) return status;
  }
  return TvOk;
}

struct SizeEntry {
  char name[kTvPathSize] = "";
  int32_t kilobytes = 0;
};

// "any,any,path\name,bytes[,anything]". The size must be a plain decimal
// number of 0 to 4294967295 bytes: a sign, other characters or more digits
// make the entry malformed, as do fewer than three commas, a path without
// a backslash or one over 127 characters.
bool ParseEntry(std::string_view line, SizeEntry& entry) {
  std::string_view field[4];
  for (int i = 0; i < 3; ++i) {
    const size_t comma = line.find(',');
    if (comma == std::string_view::npos) return false;
    field[i] = line.substr(0, comma);
    line.remove_prefix(comma + 1);
  }
  field[3] = line.substr(0, line.find(','));
  const std::string_view path = field[2];
  const size_t slash = path.rfind('\\');
  if (slash == std::string_view::npos || path.size() > kEntryPathLimit) return false;
  std::string_view size = field[3];
  while (!size.empty() && (size.front() == ' ' || size.front() == '\t')) size.remove_prefix(1);
  while (!size.empty() && (size.back() == ' ' || size.back() == '\t')) size.remove_suffix(1);
  if (size.empty()) return false;
  uint64_t bytes = 0;
  for (char c : size) {
    if (c < '0' || c > '9') return false;
    bytes = bytes * 10 + static_cast<unsigned>(c - '0');
    if (bytes > 0xFFFFFFFFu) return false;
  }
  const std::string_view name = path.substr(slash + 1);
  TvStrCopyN(entry.name, name.data(), name.size(), sizeof entry.name);
  entry.kilobytes = static_cast<int32_t>(bytes / 1024);
  return true;
}

bool InSet(TvList* set, const char* name) {
  int32_t index = 0, found = 0;
  return TvListFind(set, name, 0, &index, &found) == TvOk && found;
}

// A name found in the set as it is, or without a second extension
// ("fra.dts.old" counts as "fra.dts").
bool Wanted(TvList* set, const char* name) {
  if (InSet(set, name)) return true;
  const size_t n = strlen(name);
  if (n < 8 || name[n - 8] != '.' || name[n - 4] != '.') return false;
  char shorter[kTvPathSize];
  TvStrCopyN(shorter, name, n - 4, sizeof shorter);
  return InSet(set, shorter);
}

// Adds the sizes of the wanted entries of the key's list. Lines are read
// whole, however long, so that a long line is never cut into a wrong size.
TvStatus AddSizes(TvIniBuffer* list, TvList* set, const char* key, int32_t* total) {
  const char* text = nullptr;
  size_t length = 0;
  int more = TvIniGetValueSpan(list, "TvDefault", TvStrOrEmpty(key), &text, &length);
  TvStatus status = TvOk;
  while (more && status == TvOk) {
    SizeEntry entry;
    const bool good = ParseEntry(std::string_view(text, length), entry);
    if (!good) status = -1;
    TvIsiLog("eCode = %d\n", static_cast<int>(status));
    TvIsiLog("%s, %d\n", entry.name, static_cast<int>(entry.kilobytes));
    if (good && Wanted(set, entry.name)) {
      if (*total > INT32_MAX - entry.kilobytes) {
        status = TvErrorRaise(TvErrRange32, entry.name, TvRaiseOrigin);
        break;
      }
      *total += entry.kilobytes;
    }
    if (status == TvOk) more = TvIniNextLineSpan(list, &text, &length);
  }
  return status;
}

// ---- Dates ---------------------------------------------------------------

// The next number of a short date; false when none starts there.
bool NextNumber(const char*& p, int32_t& value) {
  while (*p == ' ' || *p == '\t') ++p;
  if (*p < '0' || *p > '9') return false;
  value = TvStrToInt(p, &p);
  return true;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_FileWriteable(const char* path) {
  TV_FRAME(frame, path);
  TvStatus status = TvOk;
  TvFileHandle handle = kTvNoFile;
  if (!path || !*path) {
    status = TvErrorRaise(TvErrFileNotFound, "", TvRaiseOrigin);  // nothing worth waiting for
  } else {
    for (int attempt = 1; attempt <= kWriteAttempts; ++attempt) {
      status = TvFileOpen(nullptr, nullptr, path, nullptr, TvFileReadWrite, &handle);
      if (status == TvOk) break;
      TvSleep(kWriteRetryWait);
    }
  }
  TvFileClose(handle);
  return frame.Return(status);
}

// The list file is read into a buffer of the call's own rather than taken
// in as the configuration: a configuration held at the time would
// otherwise be read in its place.
TV_EXPORT int32_t TV_STDCALL TvIsi_GetTotalFileSize(const char* iniPath, const char* key, const char* names,
                                                    int32_t* totalKb) {
  TV_FRAME(frame, iniPath);
  TvLogBatch batch;  // two lines per list line
  if (!iniPath || !*iniPath) return frame.Return(TvErrorRaise(TvErrFileNotFound, "", TvRaiseOrigin));
  IniText list;
  TvStatus status = TvIniLoadFile(list.get(), iniPath);
  if (status != TvOk) return frame.Return(status);
  int32_t total = 0;
  ListOwner set(TvListCreate(TvListUnique, CompareNames, kTvListText, 0));
  // Without the set nothing can be counted: that is a failure, not a total of 0.
  status = set ? AddNames(set.get(), names) : TvErrorRaise(TvErrNoMemory, frame.Name(), TvRaiseOrigin);
  if (status == TvOk) status = AddSizes(list.get(), set.get(), key, &total);
  TvIsiLog("Total size = %d\n", static_cast<int>(total));
  if (totalKb) *totalKb = total;
  return frame.Return(status);
}

int32_t TvIsiDataVintage(char* date, const char* path, const TvFileStamp* stamp) {
  ExportFrame<tvexport::IndexOf("TvIsi_DataVintage")> frame{path};
  char found[kDateSize];
  TvStatus status = TvOk;
  if (stamp && releases.Replay(path, *stamp, found, &status)) {
    if (status == TvOk) {
      Deliver(date, found, kDateSize);
      TvIsiLog(TV_DOT "DataVer %s\n", found);
    }
    return frame.Return(status);
  }
  const uint32_t known = tvDataInfo.copyright ? tvDataInfo.copyright->count : 0;
  status = OpenTrailer(path, TvFileDataConfig);
  if (status == TvOk) {
    // The date the data information took: the first section's, read before
    // another section is chosen.
    char firstDate[kDataInfoDateSize] = "";
    if (stamp) TvIniGetString(&tvConfig, nullptr, "Date", "", firstDate, sizeof firstDate);
    TvIniGetString(&tvConfig, "TvDefault", "Date", "", found, sizeof found);
    if (stamp) releases.Keep(path, *stamp, found, firstDate, tvDataInfo.copyright, known);
    Deliver(date, found, kDateSize);
    TvIsiLog(TV_DOT "DataVer %s\n", found);
    TvIniRelease();
  }
  return frame.Return(status);
}

void TvIsiForgetReleases() { releases.Clear(); }

TV_EXPORT int32_t TV_STDCALL TvIsi_DataVintage(char* date, const char* path, const char* /*unused*/) {
  return TvIsiDataVintage(date, path, nullptr);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_FileLoadIni(char* code, char* countryName, char* dataInfo, const char* path,
                                               const char* language) {
  TV_FRAME(frame, path);
  TakeLanguage(language);
  const TvStatus status = OpenTrailer(path, TvFileDataConfig | TvFileDataExpected);
  if (status == TvOk) {
    // The first section of three characters names the country; without
    // one, the file name's first three characters do.
    char iso[kCodeSize] = "";
    char section[kTvIniSectionSize];
    for (int first = 1; TvIniNextSection(&tvConfig, first, section, sizeof section); first = 0) {
      TvIsiLog(TV_DOT "Section %s\n", section);
      if (strlen(section) == 3) {
        TvStrCopy(iso, section, sizeof iso);
        TvIsiLog("Found section " TV_DOT "ISO %s\n", iso);
        break;
      }
    }
    if (!iso[0]) {
      const char* slash = strrchr(path, '\\');
      TvStrCopyN(iso, slash ? slash + 1 : path, 3, sizeof iso);
      TvIsiLog("FAILOVER " TV_DOT "ISO %s\n", iso);
    }
    TvIniSetFlags(&tvConfig, TvIniBareKey);
    TvIniSetPrefix(&tvConfig, TvStrOrEmpty(language));
    TvIsiLog(TV_DOT "Lang %s " TV_DOT "File %s\n", TvStrOrEmpty(language), path);
    char name[kNameSize];
    TvIniGetString(&tvConfig, iso, "CountryName", "", name, sizeof name);
    TvIsiLog(TV_DOT "CountryName %s\n", name);
    char info[kInfoSize];
    TvStrCopy(info, tvDataInfo.description, sizeof info);
    TvIsiLog(TV_DOT "DataVer %s\n", info);
    TvIniRelease();
    Deliver(code, iso, kCodeSize);
    Deliver(countryName, name, kNameSize);
    Deliver(dataInfo, info, kInfoSize);
  }
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_GetIniString(const char* path, const char* section, const char* key,
                                                const char* language, char* value) {
  TV_FRAME(frame, path);
  TakeLanguage(language);
  const TvStatus status = OpenTrailer(path, TvFileDataConfig);
  if (status == TvOk) {
    TvIniSetFlags(&tvConfig, TvIniBareKey);
    TvIniSetPrefix(&tvConfig, TvStrOrEmpty(language));
    TvIsiLog("Section %s, Keyword %s, Lang %s\n", TvStrOrEmpty(section), TvStrOrEmpty(key), TvStrOrEmpty(language));
    char found[kValueSize];
    TvIniGetString(&tvConfig, TvStrOrEmpty(section), TvStrOrEmpty(key), "", found, sizeof found);
    TvIsiLog("IniString %s\n", found);
    TvIniRelease();
    Deliver(value, found, kValueSize);
  }
  return frame.Return(status);
}

// Day, month and year as three numbers ("25/03/2015", "25, 3, 2015") in the
// build date picture. A text without three such numbers, or with a day or
// month that no calendar has, gives an empty text and 0.
TV_EXPORT int32_t TV_STDCALL TvIsi_FormatDateShortToLong(char* longDate, const char* shortDate, const char* language) {
  TV_FRAME(frame, "TVISI_FormatDate");
  TakeLanguage(language);
  const char* p = TvStrOrEmpty(shortDate);
  int32_t day = 0, month = 0, year = 0;
  const bool read = NextNumber(p, day) && NextNumber(p, month) && NextNumber(p, year);
  if (!read || day < 1 || day > 31 || month < 1 || month > 12 || year < 0 || year > 0xFFFF) {
    Deliver(longDate, "", kLongDateSize);
    return frame.Return(0);
  }
  char text[kLongDateSize];
  const TvDate date{static_cast<uint16_t>(day), static_cast<uint16_t>(month), static_cast<uint16_t>(year)};
  const int fit = TvDateFormat(text, sizeof text, TvDateBuild, date);
  Deliver(longDate, text, kLongDateSize);
  return frame.Return(fit);
}
