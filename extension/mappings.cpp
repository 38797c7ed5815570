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
#include "installed_lists.h"
#include "mapping_rules.h"
#include "messages.h"
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

TvStatus CreateEntry(DataMappingEntry* entry) {
  *entry = {};
  entry->dataSets = TvListCreate(0, TvListCompareText, kTvListText, 0);
  return entry->dataSets ? TvOk : TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
}

// Appends the entry; the list owns its data sets from then on, and frees
// them here when it cannot take the entry.
TvStatus AppendEntry(TvList* mappings, DataMappingEntry* entry) {
  const TvStatus status = TvListAdd(mappings, entry, nullptr);
  if (status != TvOk) FreeEntry(entry);
  *entry = {};
  return status;
}

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
    DataMappingEntry read;
    TvStatus status = CreateEntry(&read);
    if (status == TvOk) status = ParseDataMappingLine(line.View(), &read);
    if (status == TvOk && !FormatDataMappingLine(&read, again))
      status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
    if (status == TvOk) std::swap(entry->dataSets, read.dataSets);
    FreeEntry(&read);
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
    DataMappingEntry entry;
    status = CreateEntry(&entry);
    if (status == TvOk) status = ParseDataMappingLine({line, length}, &entry);
    if (status == TvOk) {
      entry.asRead = static_cast<char*>(TvMemAlloc(0, length + 1));
      if (entry.asRead) TvStrCopyN(entry.asRead, line, length, length + 1);
      else status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
    }
    if (status == TvOk) status = AppendEntry(mappings, &entry);
    else FreeEntry(&entry);
  } while (status == TvOk && TvIniNextLineSpan(ini, &line, &length));
  return status;
}

// A line read from the file goes back as it stood.
TvStatus WriteDataMappings(TvIniBuffer* ini, TvList* mappings) {
  GrowingText line;
  TvList* lines = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  TvStatus status = lines ? TvOk : TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
  for (uint32_t i = 0; i < mappings->count && status == TvOk; ++i) {
    const DataMappingEntry* entry = At(mappings, i);
    if (entry->asRead) status = TvListAdd(lines, entry->asRead, nullptr);
    else if (!FormatDataMappingLine(entry, line)) status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
    else status = TvListAdd(lines, line.Text(), nullptr);
  }
  if (status == TvOk) status = WriteStringList(ini, kDefaultSection, kMappingsKey, lines);
  if (lines) TvListFree(lines);
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
  // Chains of indices by a 32-bit hash: an open-addressed table of chain
  // heads and, per index, the next lower index of its chain.
  class Chains {
   public:
    ~Chains() {
      TvMemFree(keys_);
      TvMemFree(heads_);
      TvMemFree(next_);
    }
    int32_t Head(uint32_t hash) const { return capacity_ ? std::max(heads_[Slot(hash)], -1) : -1; }
    int32_t Next(int32_t i) const { return next_[i]; }
    // Puts i into the chain of hash in its place by index.
    bool Insert(uint32_t hash, uint32_t i) {
      if (!Reserve(i)) return false;
      const size_t at = Slot(hash);
      if (heads_[at] == kFree) {
        keys_[at] = hash;
        heads_[at] = -1;
        ++used_;
      }
      int32_t* link = &heads_[at];
      while (*link > static_cast<int32_t>(i)) link = &next_[*link];
      next_[i] = *link;
      *link = static_cast<int32_t>(i);
      return true;
    }
    void Remove(uint32_t hash, uint32_t i) {
      if (!capacity_) return;
      for (int32_t* link = &heads_[Slot(hash)]; *link >= 0; link = &next_[*link])
        if (*link == static_cast<int32_t>(i)) {
          *link = next_[i];
          return;
        }
    }

   private:
    static constexpr int32_t kFree = -2;  // a slot no hash has taken; -1 ends a chain
    size_t Slot(uint32_t hash) const {
      size_t at = hash & (capacity_ - 1);
      while (heads_[at] != kFree && keys_[at] != hash) at = (at + 1) & (capacity_ - 1);
      return at;
    }
    bool Reserve(uint32_t index) {
      if (index >= nextSize_) {
        const size_t size = nextSize_ ? nextSize_ * 2 : 64;
        auto* next = static_cast<int32_t*>(TvMemResize(next_, 0, size * sizeof(int32_t)));
        if (!next) return false;
        next_ = next;
        nextSize_ = size;
      }
      if ((used_ + 1) * 2 <= capacity_) return true;
      const size_t capacity = capacity_ ? capacity_ * 2 : 64;
      auto* keys = static_cast<uint32_t*>(TvMemAlloc(0, capacity * sizeof(uint32_t)));
      auto* heads = static_cast<int32_t*>(TvMemAlloc(0, capacity * sizeof(int32_t)));
      if (!keys || !heads) {
        TvMemFree(keys);
        TvMemFree(heads);
        return false;
      }
      for (size_t k = 0; k < capacity; ++k) heads[k] = kFree;
      std::swap(keys, keys_);
      std::swap(heads, heads_);
      const size_t old = capacity_;
      capacity_ = capacity;
      for (size_t k = 0; k < old; ++k)
        if (heads[k] != kFree) {
          const size_t at = Slot(keys[k]);
          keys_[at] = keys[k];
          heads_[at] = heads[k];
        }
      TvMemFree(keys);
      TvMemFree(heads);
      return true;
    }
    uint32_t* keys_ = nullptr;
    int32_t* heads_ = nullptr;
    size_t capacity_ = 0, used_ = 0;
    int32_t* next_ = nullptr;
    size_t nextSize_ = 0;
  };

  static uint32_t Mix(uint32_t hash, uint8_t byte) { return (hash ^ byte) * 16777619u; }
  static uint32_t CodeHash(const char* code) {
    uint32_t hash = 2166136261u;
    for (; *code; ++code) hash = Mix(hash, static_cast<uint8_t>(*code));
    return hash;
  }
  // Equal under SameDataSets, equal here: the count, and each identifier
  // as TvStrEqualNoCase compares it.
  static uint32_t SetsHash(const DataMappingEntry* entry) {
    uint32_t hash = Mix(2166136261u, static_cast<uint8_t>(entry->dataSets->count));
    for (uint32_t i = 0; i < entry->dataSets->count; ++i) {
      for (const char* p = static_cast<const char*>(entry->dataSets->items[i]); *p; ++p)
        hash = Mix(hash, static_cast<uint8_t>(TvToUpper(*p)));
      hash = Mix(hash, '+');
    }
    return hash;
  }

  const TvList* mappings_;
  Chains codes_, sets_;
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

// Sets `to` in the section to the value of `from` (its continuation lines
// included) and deletes `from` there.
TvStatus RenameInSection(TvIniBuffer* ini, const char* section, const char* from, const char* to) {
  // Most often the key ends its section: renamed where it stands, which
  // gives the same text without moving the rest of it twice.
  if (TvIniRenameLastKey(ini, section, from, to)) return TvOk;
  const char* line;
  size_t length;
  if (!TvIniGetValueSpan(ini, section, from, &line, &length)) return TvOk;
  // The spans lie in the text that the edits below move: copy them first.
  TvList* lines = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  GrowingText piece;
  bool copied = lines && piece.Assign({line, length}) && TvListAdd(lines, piece.Text(), nullptr) == TvOk;
  while (copied && TvIniNextLineSpan(ini, &line, &length))
    copied = piece.Assign({line, length}) && TvListAdd(lines, piece.Text(), nullptr) == TvOk;
  TvStatus status =
      copied ? WriteStringList(ini, section, to, lines) : TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  if (lines) TvListFree(lines);
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

// Visits every section in file order. The walk keeps its place as a
// position in the text, which the edits of the section just visited shift
// with them, so it stays valid while they grow or shrink the text. The
// edits address a section by name, which finds the first header that
// matches it; a section that no earlier header matches (none has its name
// on the 79 characters headers are compared on, none is a pattern) is
// therefore taken where the walk stands instead of searched for.
TvStatus RenameKey(const char* path, const char* from, const char* to) {
  TvIniBuffer ini{};
  TvStatus status = LoadConfiguration(&ini, path);
  if (status != TvOk) return status;
  TvList* earlier = TvListCreate(TvListUnsorted, nullptr, kTvListText, 0);
  if (!earlier) status = TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  TextSet names(HashUpper, TvStrEqualNoCase);
  bool patterns = false;
  char section[kArgumentSize];
  for (int first = 1; status == TvOk && TvIniNextSection(&ini, first, section, sizeof section); first = 0) {
    if (Addressable(section)) {
      if (!patterns && !names.Contains(section)) TvIniUseEnumSection(&ini, section);
      status = RenameInSection(&ini, section, from, to);
    }
    section[kTvIniSectionSize - 1] = '\0';
    patterns = patterns || strpbrk(section, "*?");
    bool noMemory = false;
    if (status == TvOk && !patterns && !names.Contains(section)) {
      status = TvListAdd(earlier, section, nullptr);
      if (status == TvOk) names.Insert(static_cast<const char*>(earlier->items[earlier->count - 1]), &noMemory);
    }
    if (noMemory) status = TvErrorRaise(TvErrNoMemory, from, TvRaiseOrigin);
  }
  if (status == TvOk) status = TvIniSaveFile(&ini, path);
  TvIniFree(&ini);
  if (earlier) TvListFree(earlier);
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
  if (status == TvOk) status = CheckField(code, ',', "_vsID");
  if (status == TvOk) status = CheckField(name, ',', "_vsName");
  if (status == TvOk) status = CheckField(iso, '+', "_vsISO");
  if (status == TvOk) status = CheckSingleLine(code, "_vsID");
  if (status == TvOk) status = CheckSingleLine(name, "_vsName");
  if (status == TvOk) status = CheckSingleLine(iso, "_vsISO");
  if (status != TvOk) return frame.Return(status);

  TvList* mappings = TvListCreate(TvListUnsorted, nullptr, sizeof(DataMappingEntry), 0);
  if (!mappings) return frame.Return(TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin));
  int32_t products = 0;
  TvIsi_ProdFromIni(ini, &products);
  TvIniBuffer buffer{};
  status = LoadConfiguration(&buffer, ini);
  DataMappingEntry entry{};
  if (status == TvOk) status = ReadDataMappings(&buffer, mappings);
  if (status == TvOk) status = CreateEntry(&entry);
  if (status == TvOk) {
    CopyField(entry.code, sizeof entry.code, code);
    CopyField(entry.name, sizeof entry.name, name);
    status = AddDataSet(&entry, iso);
  }
  if (status == TvOk) status = CollectDataSets(folder, vintage, products, &entry);
  if (status == TvOk) status = TakeAsWritten(&entry);
  if (status == TvOk && MakeDataMappingUnique(mappings, &entry) == 0) {
    status = AppendEntry(mappings, &entry);
    if (status == TvOk) status = WriteDataMappings(&buffer, mappings);
    if (status == TvOk) status = TvIniSaveFile(&buffer, ini);
  }
  FreeEntry(&entry);
  TvIniFree(&buffer);
  FreeMappings(mappings);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_InstCtryToDataMap(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status != TvOk) return frame.Return(status);
  TvList* mappings = TvListCreate(TvListUnsorted, nullptr, sizeof(DataMappingEntry), 0);
  if (!mappings) return frame.Return(TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin));
  TvIniBuffer buffer{};
  status = LoadConfiguration(&buffer, ini);
  const char* line;
  size_t length;
  MappingIndex index(mappings);
  // Every line of the list, also those below an empty one, which holds no country.
  if (status == TvOk && TvIniGetValueSpan(&buffer, kDefaultSection, "InstalledCountries", &line, &length)) {
    do {
      if (length == 0) continue;
      DataMappingEntry entry;
      status = CreateEntry(&entry);
      if (status == TvOk) status = CountryEntryToDataMapping({line, length}, &entry);
      if (status == TvOk) {
        // The earlier mapping of another combination moves aside to
        // code_001, the new one keeps the code.
        const Found found = index.Find(&entry);
        if (found.code && !found.dataSets && !SuffixDataMappingCode(mappings, found.index, index))
          status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
        if (status == TvOk) status = AppendEntry(mappings, &entry);
        else FreeEntry(&entry);
        if (status == TvOk && !index.Add(mappings->count - 1))
          status = TvErrorRaise(TvErrNoMemory, kMappingsKey, TvRaiseOrigin);
      } else {
        FreeEntry(&entry);
      }
    } while (status == TvOk && TvIniNextLineSpan(&buffer, &line, &length));
  }
  if (status == TvOk) status = WriteDataMappings(&buffer, mappings);
  if (status == TvOk) status = TvIniSaveFile(&buffer, ini);
  TvIniFree(&buffer);
  FreeMappings(mappings);
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_CountryBaseToDataMap(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status == TvOk) status = RenameKey(ini, "CountryBase", "DataMapping");
  return frame.Return(status);
}

TV_EXPORT int32_t TV_STDCALL TvIsi_DataMapToCountryBase(const char* _vsIni) {
  TV_FRAME(frame);
  char ini[kTvPathSize];
  TvStatus status = TracePathIn("_vsIni", _vsIni, ini, sizeof ini);
  if (status == TvOk) status = RenameKey(ini, "DataMapping", "CountryBase");
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
  DataMappingEntry entry;
  if (!mappings_ || CreateEntry(&entry) != TvOk) return false;
  if (ParseDataMappingLine(line, &entry) != TvOk) {
    FreeEntry(&entry);
    return false;
  }
  const Found found = FindDataMapping(mappings_, &entry);
  if (found.code && found.dataSets) *equal = static_cast<int32_t>(found.index);
  return AppendEntry(mappings_, &entry) == TvOk;
}

uint32_t MappingLines::Count() const { return mappings_ ? mappings_->count : 0; }
const char* MappingLines::Code(uint32_t i) const { return At(mappings_, i)->code; }
uint32_t MappingLines::DataSetCount(uint32_t i) const { return At(mappings_, i)->dataSets->count; }
const char* MappingLines::DataSet(uint32_t i, uint32_t k) const {
  return static_cast<const char*>(At(mappings_, i)->dataSets->items[k]);
}
