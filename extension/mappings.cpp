// mappings.cpp: the data mappings of a configuration file, the named
// combinations of data sets kept in the list key DataMappings of TvDefault:
// the update that adds one for a newly installed country, the rebuild from
// the installed-countries list, and the renaming of the per-section key
// between its two names.
#include <algorithm>
#include <cstring>
#include <utility>
#include <string_view>

#include "exports.h"
#include "frame.h"
#include "hash_table.h"
#include "installed_lists.h"
#include "mapping_rules.h"
#include "messages.h"
#include "multiline.h"
#include "owners.h"
#include "queries.h"
#include "text.h"
#include "tv_charset.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_list.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_path.h"
#include "tv_string.h"

namespace {

constexpr char kMappingsKey[] = "DataMappings";
constexpr size_t kJoinedLimit = 127;  // the data-set part of a mapping line
constexpr size_t kLongTextSize = 1024;
constexpr size_t kArgumentSize = 256;
constexpr size_t kDateSize = 64;
constexpr size_t kIdentifierSize = 256;
constexpr uint32_t kAdsScan = TvScanFiles | TvScanDot;

struct DataMappingEntry {
  char code[8];
  char name[80];
  TvList* dataSets;  // ascending, ignoring case, duplicates allowed
  // The line as it stood in the file, written back unchanged: formatted
  // anew it could lose part of itself (a code or name cut to its field, an
  // identifier past the 127 characters).
  char* asRead;
};

// An identifier of the exclusion table and the product families that make
// it unwanted.
struct ExcludedDataSet {
  char identifier[7];
  int32_t families;
};
constexpr ExcludedDataSet DataSetExclusionTable[12] = {
    {"GBRVEL", 0xE000}, {"GBRDUN", 0xE000}, {"GBRFIP", 0xE000}, {"GBRHOL", 0xE000},
    {"GBRJEX", 0xE000}, {"GBRKIR", 0xE000}, {"GBRLAV", 0xE000}, {"GBRNOB", 0xB000},
    {"GBRPUX", 0xB000}, {"GBRRIM", 0xB000}, {"GBRSAB", 0xB000}, {"NZLTOV", 0xF000},
};

const DataMappingEntry* At(const TvList* mappings, uint32_t i) {
  return static_cast<const DataMappingEntry*>(mappings->items[i]);
}
DataMappingEntry* MutableAt(TvList* mappings, uint32_t i) { return static_cast<DataMappingEntry*>(mappings->items[i]); }

void FreeEntry(DataMappingEntry* entry) {
  if (entry->dataSets) TvListFree(entry->dataSets);
  TvMemFree(entry->asRead);
  entry->dataSets = nullptr;
  entry->asRead = nullptr;
}

void FreeMappings(TvList* mappings) {
  if (!mappings) return;
  for (uint32_t i = 0; i < mappings->count; ++i) FreeEntry(MutableAt(mappings, i));
  TvListFree(mappings);
}

// The mappings of a call, each entry with its data sets, freed with the
// owner; empty when the list could not be made.
using MappingList = BasicListOwner<FreeMappings>;
TvList* NewMappingList() { return TvListCreate(TvListUnsorted, nullptr, sizeof(DataMappingEntry), 0); }

// An entry being made, with a list for its data sets; freed with the owner
// unless a list of mappings took it.
class NewEntry {
 public:
  NewEntry() = default;
  NewEntry(const NewEntry&) = delete;
  NewEntry& operator=(const NewEntry&) = delete;
  ~NewEntry() { FreeEntry(&entry_); }
  TvStatus Create() {
    entry_.dataSets = TvListCreate(0, TvListCompareText, kTvListText, 0);
    return entry_.dataSets ? TvOk : TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  }
  DataMappingEntry* get() { return &entry_; }
  DataMappingEntry* operator->() { return &entry_; }
  // Appends the entry; the list owns its data sets from then on.
  TvStatus AppendTo(TvList* mappings) {
    const TvStatus status = TvListAdd(mappings, &entry_, nullptr);
    if (status == TvOk) entry_ = {};
    return status;
  }

 private:
  DataMappingEntry entry_{};
};

// Copies a field into a record's fixed place; true when it was cut.
bool CopyField(char* out, size_t size, std::string_view field) {
  TvStrCopyN(out, field.data(), field.size(), size);
  return field.size() >= size;
}

TvStatus AddDataSet(DataMappingEntry* entry, std::string_view identifier) {
  GrowingText piece;
  if (!piece.Assign(identifier)) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  return TvListAdd(entry->dataSets, piece.Text(), nullptr);
}

// code,name,set+set+... The line is taken whole: the data-set identifiers
// are never cut.
TvStatus ParseDataMappingLine(std::string_view line, DataMappingEntry* entry) {
  const size_t comma = line.find(',');
  CopyField(entry->code, sizeof entry->code, line.substr(0, comma));
  if (comma == std::string_view::npos) return TvOk;
  const std::string_view rest = line.substr(comma + 1);
  const size_t second = rest.find(',');
  CopyField(entry->name, sizeof entry->name, rest.substr(0, second));
  if (second == std::string_view::npos) return TvOk;
  std::string_view sets = rest.substr(second + 1);
  for (;;) {
    const size_t plus = sets.find('+');
    if (TvStatus status = AddDataSet(entry, sets.substr(0, plus)); status != TvOk) return status;
    if (plus == std::string_view::npos) return TvOk;
    sets.remove_prefix(plus + 1);
  }
}

// The line of an entry into out, as the file will hold it: the joined
// identifiers hold at most 127 characters (one that would make them longer
// is left out, later shorter ones may still follow), and the blanks that
// end the line are not read back. False without memory.
bool FormatDataMappingLine(const DataMappingEntry* entry, GrowingText& out) {
  char joined[kJoinedLimit + 1] = "";
  size_t used = 0;
  for (uint32_t i = 0; i < entry->dataSets->count; ++i) {
    const char* id = static_cast<const char*>(entry->dataSets->items[i]);
    const size_t more = strlen(id) + (used ? 1 : 0);
    if (used + more > kJoinedLimit) continue;
    if (used) TvStrCat(joined, "+", sizeof joined);
    TvStrCat(joined, id, sizeof joined);
    used += more;
  }
  char line[kLongTextSize];
  TvFormat(line, sizeof line, "%s,%s,%s", entry->code, entry->name, joined);
  size_t length = strlen(line);
  while (length > 0 && line[length - 1] == ' ') --length;
  return out.Assign({line, length});
}

// One round of TakeAsWritten: the data sets of the line read back go to
// the entry, and the line they make into again.
TvStatus ReadBack(std::string_view line, DataMappingEntry* entry, GrowingText& again) {
  NewEntry read;
  TvStatus status = read.Create();
  if (status == TvOk) status = ParseDataMappingLine(line, read.get());
  if (status == TvOk && !FormatDataMappingLine(read.get(), again))
    status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  if (status == TvOk) std::swap(entry->dataSets, read->dataSets);
  return status;
}

// Puts in place of the entry's data sets those that writing its line and
// reading it again gives, so that it is compared with the mappings read as
// it will stand among them: a second, equal update then finds it. A round
// gives the same identifiers again, perhaps in another order among those
// equal but for case, unless the last one ended in a blank, which goes:
// the line then gets shorter, else it is done.
TvStatus TakeAsWritten(DataMappingEntry* entry) {
  GrowingText line, again;
  if (!FormatDataMappingLine(entry, line)) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  for (;;) {
    const TvStatus status = ReadBack(line.View(), entry, again);
    if (status != TvOk || again.Size() == line.Size()) return status;
    if (!line.Assign(again.View())) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  }
}

// Every line of the list, also those below an empty one: an empty line
// holds no mapping, and is left out when the list is written again.
TvStatus ReadDataMappings(TvIniBuffer* ini, TvList* mappings) {
  const char* line;
  size_t length;
  if (!TvIniGetValueSpan(ini, kDefaultSection, kMappingsKey, &line, &length)) return TvOk;
  TvStatus status = TvOk;
  do {
    if (length == 0) continue;
    NewEntry entry;
    status = entry.Create();
    if (status == TvOk) status = ParseDataMappingLine({line, length}, entry.get());
    if (status == TvOk) {
      entry->asRead = static_cast<char*>(TvMemAlloc(0, length + 1));
      if (entry->asRead) TvStrCopyN(entry->asRead, line, length, length + 1);
      else status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
    }
    if (status == TvOk) status = entry.AppendTo(mappings);
  } while (status == TvOk && TvIniNextLineSpan(ini, &line, &length));
  return status;
}

// A line read from the file goes back as it stood.
TvStatus WriteDataMappings(TvIniBuffer* ini, TvList* mappings) {
  GrowingText line;
  ListOwner lines(NewTextList());
  TvStatus status = lines ? TvOk : TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  for (uint32_t i = 0; i < mappings->count && status == TvOk; ++i) {
    const DataMappingEntry* entry = At(mappings, i);
    if (entry->asRead) status = TvListAdd(lines.get(), entry->asRead, nullptr);
    else if (!FormatDataMappingLine(entry, line)) status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
    else status = TvListAdd(lines.get(), line.Text(), nullptr);
  }
  if (status == TvOk) status = WriteStringList(ini, kDefaultSection, kMappingsKey, lines.get());
  return status;
}

// A country line's code and name, with the data sets of its code from the
// data-code table (or the code itself).
TvStatus CountryEntryToDataMapping(std::string_view countryLine, DataMappingEntry* entry) {
  const ListLineParts parts = SplitListLine(countryLine, kCountryList);
  GrowingText code, line;
  if (!code.Assign(parts.code)) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  const char* sets = code.Text();
  for (const DataCode& row : DataCodeTable)
    if (TvStrEqualNoCase(row.code, code.Text())) sets = row.dataSets;
  if (!(line.Append(parts.code) && line.Append(",") && line.Append(parts.name) && line.Append(",") &&
        line.Append(sets)))
    return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  return ParseDataMappingLine(line.View(), entry);
}

bool SameDataSets(const DataMappingEntry* a, const DataMappingEntry* b) {
  if (a->dataSets->count != b->dataSets->count) return false;
  for (uint32_t i = 0; i < a->dataSets->count; ++i)
    if (!TvStrEqualNoCase(static_cast<const char*>(a->dataSets->items[i]),
                          static_cast<const char*>(b->dataSets->items[i])))
      return false;
  return true;
}

struct Found {
  bool code = false;
  bool dataSets = false;
  uint32_t index = 0;
};

// Codes are compared exactly here: "gbr" and "GBR" are different codes.
Found FindDataMapping(const TvList* mappings, const DataMappingEntry* entry) {
  Found found;
  int32_t lastCode = -1, lastSets = -1;
  for (uint32_t i = 0; i < mappings->count; ++i) {
    const bool code = strcmp(At(mappings, i)->code, entry->code) == 0;
    const bool sets = SameDataSets(At(mappings, i), entry);
    if (code && sets) return {true, true, i};
    if (code) lastCode = static_cast<int32_t>(i);
    if (sets) lastSets = static_cast<int32_t>(i);
  }
  if (lastCode >= 0) return {true, false, static_cast<uint32_t>(lastCode)};
  if (lastSets >= 0) return {false, true, static_cast<uint32_t>(lastSets)};
  return found;
}

// The mappings of a rebuild chained by the hash of their code and by that
// of their data sets, each chain from the latest mapping to the earliest,
// so that FindDataMapping's answer comes from the few mappings that hash
// alike rather than from every earlier one.
class MappingIndex {
 public:
  explicit MappingIndex(const TvList* mappings) : mappings_(mappings) {}
  MappingIndex(const MappingIndex&) = delete;
  MappingIndex& operator=(const MappingIndex&) = delete;

  // FindDataMapping(mappings, entry), over the mappings added so far.
  Found Find(const DataMappingEntry* entry) const {
    int32_t lastCode = -1, firstBoth = -1;
    for (int32_t i = codes_.Head(CodeHash(entry->code)); i >= 0; i = codes_.Next(i)) {
      if (strcmp(At(mappings_, i)->code, entry->code) != 0) continue;
      if (lastCode < 0) lastCode = i;
      if (SameDataSets(At(mappings_, i), entry)) firstBoth = i;
    }
    if (firstBoth >= 0) return {true, true, static_cast<uint32_t>(firstBoth)};
    if (lastCode >= 0) return {true, false, static_cast<uint32_t>(lastCode)};
    for (int32_t i = sets_.Head(SetsHash(entry)); i >= 0; i = sets_.Next(i))
      if (SameDataSets(At(mappings_, i), entry)) return {false, true, static_cast<uint32_t>(i)};
    return {};
  }
  // The mapping just appended at index i; false without memory.
  bool Add(uint32_t i) {
    return codes_.Insert(CodeHash(At(mappings_, i)->code), i) && sets_.Insert(SetsHash(At(mappings_, i)), i);
  }
  // Around a change of the code of mapping i.
  void Leave(uint32_t i) { codes_.Remove(CodeHash(At(mappings_, i)->code), i); }
  bool Rejoin(uint32_t i) { return codes_.Insert(CodeHash(At(mappings_, i)->code), i); }

 private:
  static uint32_t CodeHash(const char* code) { return HashText(code, HashCase::Exact); }
  // Equal under SameDataSets, equal here: the count, and each identifier
  // as TvStrEqualNoCase compares it.
  static uint32_t SetsHash(const DataMappingEntry* entry) {
    uint32_t hash = HashByte(kHashStart, static_cast<uint8_t>(entry->dataSets->count));
    for (uint32_t i = 0; i < entry->dataSets->count; ++i)
      hash = HashByte(HashText(static_cast<const char*>(entry->dataSets->items[i]), HashCase::Upper, hash), '+');
    return hash;
  }

  const TvList* mappings_;
  IndexChains codes_, sets_;
};

// 0 when the entry may be added (its code perhaps changed to one of the
// first two letters and a digit), -1 when it is not to be added: no free
// code, or a mapping of the same data sets. A code found hides such a
// mapping from FindDataMapping, so each new code is asked again: the
// mapping an earlier equal update added under GB0 is found that way.
int MakeDataMappingUnique(const TvList* mappings, DataMappingEntry* entry) {
  Found found = FindDataMapping(mappings, entry);
  for (int n = 0; n < 10 && found.code && !found.dataSets; ++n) {
    char code[sizeof entry->code];
    TvFormat(code, sizeof code, "%.2s%d", entry->code, n);
    TvStrCopy(entry->code, code, sizeof entry->code);
    found = FindDataMapping(mappings, entry);
  }
  return found.code || found.dataSets ? -1 : 0;
}

// Moves the mapping at index aside to the first free code_001 .. code_999.
// The candidate is tested as it would be stored (cut to seven characters),
// so that a longer code never ends up beside an equal one.
void SuffixDataMappingCode(TvList* mappings, uint32_t index) {
  DataMappingEntry* moved = MutableAt(mappings, index);
  for (int n = 1; n <= 999; ++n) {
    char candidate[sizeof moved->code];
    TvFormat(candidate, sizeof candidate, "%s_%3.3d", moved->code, n);
    const size_t length = strlen(candidate);
    bool taken = false;
    for (uint32_t i = 0; i < mappings->count && !taken; ++i)
      taken = TvStrCompareNoCaseN(At(mappings, i)->code, candidate, length) == 0;
    if (!taken) {
      TvStrCopy(moved->code, candidate, sizeof moved->code);
      return;
    }
  }
}

// The same, keeping the rebuild's index of the mappings up to date.
bool SuffixDataMappingCode(TvList* mappings, uint32_t index, MappingIndex& found) {
  found.Leave(index);
  SuffixDataMappingCode(mappings, index);
  return found.Rejoin(index);
}

bool DataSetAllowed(const char* identifier, int32_t products) {
  for (const ExcludedDataSet& row : DataSetExclusionTable)
    if (TvStrEqualNoCase(row.identifier, identifier) && (row.families & products)) return false;
  return true;
}

// The layout name of a new mapping in the current language, the country
// code put in place of "%s".
TvStatus DefaultName(const char* iso, char* name, size_t size) {
  char text[kLongTextSize];
  const TvIsiTextFunction texts = TvIsiSelectTexts(kTvIsiLayoutTexts, TvCurrentLanguage());
  if (!TvIsiFetchText(texts, kTvIsiLayoutDescription, text, sizeof text)) {
    TvStrCopy(name, "", size);
    return TvErrorRaise(TvErrResource, "2101", TvRaiseOrigin);
  }
  const char* hole = strstr(text, "%s");
  TvStrCopyN(name, text, hole ? static_cast<size_t>(hole - text) : kTvStrAll, size);
  if (hole) {
    TvStrCat(name, iso, size);
    TvStrCat(name, hole + 2, size);
  }
  return TvOk;
}

// A comma in a code or a name, or a "+" in a data-set identifier, would
// split the field when the line is read again.
TvStatus CheckField(const char* text, char separator, const char* what) {
  if (!strchr(text, separator)) return TvOk;
  return TvErrorRaise(TvErrInputChars, what, TvRaiseOrigin);
}

// Adds the .ads files of the folder with the data file's vintage to the
// entry, as upper-case identifiers, leaving out those the installed
// products exclude.
TvStatus CollectDataSets(const char* folder, const char* vintage, int32_t products, DataMappingEntry* entry) {
  char pattern[kTvPathSize];
  TvStatus status = TvPathBuild(pattern, folder, "*", "!.ads");
  if (status != TvOk) return status;
  // The scan holds the kernel's one scan state until it is closed, also
  // when it could not start.
  status = TvFileFindFirst(pattern, kAdsScan);
  // Each file's path is the folder as the pattern holds it (made full and
  // checked once, above) and the name: building it afresh would check the
  // folder again for every file.
  const size_t folderLength = static_cast<size_t>(TvPathFileName(pattern) - pattern);
  char name[kTvPathSize];
  TvFileStamp stamp;
  while (status == TvOk && TvFileFindNext(name, &stamp)) {
    char path[kTvPathSize], date[kDateSize] = "";
    const size_t nameLength = strlen(name);
    status = folderLength + nameLength < sizeof path ? TvOk : TvErrInvalidDirectory;
    if (status == TvOk) {
      memcpy(path, pattern, folderLength);
      memcpy(path + folderLength, name, nameLength + 1);
      status = TvIsiDataVintage(date, path, &stamp);
    }
    if (status != TvOk || strcmp(date, vintage) != 0) continue;
    char identifier[kIdentifierSize];
    DataSetIdentifier(name, identifier, sizeof identifier);
    // The line joins identifiers with "+": this one would read back as two.
    if (strchr(identifier, '+')) TvIsiLog("%s passed over: \"+\" in its name\n", name);
    else if (DataSetAllowed(identifier, products)) status = AddDataSet(entry, identifier);
  }
  TvFileFindClose();
  return status;
}

// A comma in a code or a name, or a "+" in the country code, would split
// the field when the line is read again; a line break would make two lines.
TvStatus CheckMappingFields(const char* code, const char* name, const char* iso) {
  TvStatus status = CheckField(code, ',', "_vsID");
  if (status == TvOk) status = CheckField(name, ',', "_vsName");
  if (status == TvOk) status = CheckField(iso, '+', "_vsISO");
  if (status == TvOk) status = CheckSingleLine(code, "_vsID");
  if (status == TvOk) status = CheckSingleLine(name, "_vsName");
  if (status == TvOk) status = CheckSingleLine(iso, "_vsISO");
  return status;
}

// Adds to the configuration the mapping of the country's data sets of the
// vintage under code and name, unless it holds that mapping already.
TvStatus AddCountryMapping(const char* ini, const char* folder, const char* iso, const char* code, const char* name,
                           const char* vintage) {
  MappingList mappings(NewMappingList());
  if (!mappings) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  int32_t products = 0;
  TvIsi_ProdFromIni(ini, &products);
  IniText buffer;
  TvStatus status = LoadConfiguration(buffer.get(), ini);
  NewEntry entry;
  if (status == TvOk) status = ReadDataMappings(buffer.get(), mappings.get());
  if (status == TvOk) status = entry.Create();
  if (status == TvOk) {
    CopyField(entry->code, sizeof entry->code, code);
    CopyField(entry->name, sizeof entry->name, name);
    status = AddDataSet(entry.get(), iso);
  }
  if (status == TvOk) status = CollectDataSets(folder, vintage, products, entry.get());
  if (status == TvOk) status = TakeAsWritten(entry.get());
  if (status != TvOk || MakeDataMappingUnique(mappings.get(), entry.get()) != 0) return status;
  status = entry.AppendTo(mappings.get());
  if (status == TvOk) status = WriteDataMappings(buffer.get(), mappings.get());
  if (status == TvOk) status = TvIniSaveFile(buffer.get(), ini);
  return status;
}

// The mapping of a country line added to a rebuild: the earlier mapping of
// another combination moves aside to code_001, the new one keeps the code.
TvStatus AddRebuiltMapping(std::string_view line, TvList* mappings, MappingIndex& index) {
  NewEntry entry;
  TvStatus status = entry.Create();
  if (status == TvOk) status = CountryEntryToDataMapping(line, entry.get());
  if (status != TvOk) return status;
  const Found found = index.Find(entry.get());
  if (found.code && !found.dataSets && !SuffixDataMappingCode(mappings, found.index, index))
    return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  status = entry.AppendTo(mappings);
  if (status == TvOk && !index.Add(mappings->count - 1))
    status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  return status;
}

// The mappings made anew from every line of InstalledCountries, also those
// below an empty one, which holds no country.
TvStatus RebuildDataMappings(const char* ini) {
  MappingList mappings(NewMappingList());
  if (!mappings) return TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  IniText buffer;
  TvStatus status = LoadConfiguration(buffer.get(), ini);
  MappingIndex index(mappings.get());
  const char* line;
  size_t length;
  if (status == TvOk && TvIniGetValueSpan(buffer.get(), kDefaultSection, "InstalledCountries", &line, &length)) {
    do {
      if (length > 0) status = AddRebuiltMapping({line, length}, mappings.get(), index);
    } while (status == TvOk && TvIniNextLineSpan(buffer.get(), &line, &length));
  }
  if (status == TvOk) status = WriteDataMappings(buffer.get(), mappings.get());
  if (status == TvOk) status = TvIniSaveFile(buffer.get(), ini);
  return status;
}

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_UpdateDataMappings(const char* _vsIni, const char* _vsISO, const char* _vsDir,
                                                      const char* _vsID, const char* _vsName) {
  TV_FRAME(frame);
  TvLogBatch batch;  // three lines per data file
  char ini[kTvPathSize], folder[kTvPathSize], iso[kLongTextSize], id[kArgumentSize], name[kLongTextSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  TraceTextIn("_vsISO", _vsISO, iso, sizeof iso);
  if (status == TvOk) status = TracePathIn("_vsDir", _vsDir, folder, sizeof folder);
  TraceTextIn("_vsID", _vsID, id, kArgumentSize);
  TraceTextIn("_vsName", _vsName, name, kArgumentSize);
  if (status != TvOk) return frame.Return(status);
  const char* code = id[0] ? id : iso;
  if (!name[0]) status = DefaultName(iso, name, sizeof name);

  // No data file of the country: nothing to map.
  if (!iso[0] || !TvFileExists(nullptr, folder, iso, "!.dts")) return frame.Return(status);
  char dataFile[kTvPathSize], vintage[kDateSize] = "";
  TvStatus built = TvPathBuild(dataFile, folder, iso, "!.dts");
  status = built == TvOk ? TvIsi_DataVintage(vintage, dataFile, "") : built;
  if (status == TvOk) status = CheckMappingFields(code, name, iso);
  if (status == TvOk) status = AddCountryMapping(ini, folder, iso, code, name, vintage);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_InstCtryToDataMap(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status == TvOk) status = RebuildDataMappings(ini);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_CountryBaseToDataMap(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status == TvOk) status = RenameListKey(ini, "CountryBase", "DataMapping");
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_DataMapToCountryBase(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status == TvOk) status = RenameListKey(ini, "DataMapping", "CountryBase");
  return frame.Return(status);
}

// ---- The same rules for the configuration check ---------------------------

static_assert(sizeof DataMappingEntry::code == kMappingCodeSize);

void DataSetIdentifier(const char* fileName, char* out, size_t size) {
  TvStrCopyUntil(out, TvPathFileName(fileName), '.', size);
  TvStrUpperInPlace(out);
}

MappingLines::MappingLines() : mappings_(TvListCreate(TvListUnsorted, nullptr, sizeof(DataMappingEntry), 0)) {}

MappingLines::~MappingLines() { FreeMappings(mappings_); }

bool MappingLines::Add(std::string_view line, int32_t* equal) {
  *equal = -1;
  NewEntry entry;
  if (!mappings_ || entry.Create() != TvOk || ParseDataMappingLine(line, entry.get()) != TvOk) return false;
  const Found found = FindDataMapping(mappings_, entry.get());
  if (found.code && found.dataSets) *equal = static_cast<int32_t>(found.index);
  return entry.AppendTo(mappings_) == TvOk;
}

uint32_t MappingLines::Count() const { return mappings_ ? mappings_->count : 0; }
const char* MappingLines::Code(uint32_t i) const { return At(mappings_, i)->code; }
uint32_t MappingLines::DataSetCount(uint32_t i) const { return At(mappings_, i)->dataSets->count; }
const char* MappingLines::DataSet(uint32_t i, uint32_t k) const {
  return static_cast<const char*>(At(mappings_, i)->dataSets->items[k]);
}
