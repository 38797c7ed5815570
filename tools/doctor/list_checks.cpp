// list_checks.cpp: the lists of installed countries and data sets, read as
// the list exports read them, and in the server configuration each entry's
// data looked for as discovery looks for it.
#include <cstring>
#include <unordered_map>

#include "doctor.h"
#include "installed_lists.h"
#include "tv_charset.h"
#include "tv_file.h"
#include "tv_string.h"
#include "tv_trailer.h"

namespace doctor {

namespace {

constexpr const char* kGroup = "lists";
constexpr size_t kRows = std::size(ListKeyTable);
constexpr size_t kPairs = kRows / 2;     // each country list is followed four rows later by its data list
constexpr size_t kDateSize = 64;         // a release as TvIsi_DataVintage reads it
constexpr uint64_t kNoTrailerSize = 24;  // a file no longer than this has no trailer

bool IsHistory(size_t row) { return row % kPairs >= 2; }  // All and Previous lists
bool IsNew(size_t row) { return row % kPairs == 1; }
Severity ForList(size_t row) { return IsHistory(row) ? Severity::Note : Severity::Warning; }

struct Entry {
  size_t row;
  uint32_t line;
  std::string_view text;  // in the loaded text, which no check changes
  std::string country;    // upper case
};

// Entries compared as the list exports compare them: ignoring case.
struct NoCaseHash {
  size_t operator()(std::string_view text) const {
    uint32_t hash = 2166136261u;
    for (const char c : text) hash = (hash ^ static_cast<uint8_t>(TvToUpper(c))) * 16777619u;
    return hash;
  }
};
struct NoCaseEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return a.size() == b.size() && TvStrCompareNoCaseN(a.data(), b.data(), a.size()) == 0;
  }
};

std::string Entries(size_t n) { return Format("%zu %s", n, n == 1 ? "entry" : "entries"); }

std::string_view Stem(const char* fileName) {
  const std::string_view name(fileName);
  return name.substr(0, name.rfind('.'));
}

using ListLines = std::vector<std::pair<uint32_t, std::string_view>>;  // line number, text

// An empty line ends the list for its readers: the entries below it are
// not read. How many lines readers see goes to visible.
void CheckGap(ConfigFile& file, const ListKey& list, const ListLines& lines, size_t* visible, size_t* filled) {
  *visible = lines.size();
  *filled = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].second.empty() && *visible == lines.size()) *visible = i;
    *filled += !lines[i].second.empty();
  }
  size_t above = 0;
  for (size_t i = 0; i < *visible; ++i) above += !lines[i].second.empty();
  const size_t below = *filled - above;
  if (below)
    file.Add(Severity::Error, kGroup, "list-gap", lines[*visible].first,
             Format("An empty entry ends %s for discovery and the conversions: the %s below it %s not read. "
                    "TvIsi_UpdateDataKeys and TvIsi_UpdateTvwserveV5 leave the empty entry out when they rewrite "
                    "the list.",
                    list.key, Entries(below).c_str(), below == 1 ? "is" : "are"));
}

// A "New" list outside a server configuration is what an installation
// that did not finish left.
void CheckNewList(ConfigFile& file, size_t row, bool server, const ListLines& lines, size_t filled) {
  const ListKey& list = ListKeyTable[row];
  if (!IsNew(row) || !filled) return;
  const char* plain = ListKeyTable[row - 1].key;
  if (server)
    file.Add(Severity::Note, kGroup, "new-list", lines[0].first,
             Format("%s holds %s for the server to take up: this is a server configuration, so "
                    "TvIsi_UpdateDataKeys records here rather than in %s.",
                    list.key, Entries(filled).c_str(), plain));
  else
    file.Add(Severity::Warning, kGroup, "new-list", lines[0].first,
             Format("%s holds %s, left by an installation that did not finish: this is no server "
                    "configuration, so TvIsi_UpdateDataKeys records in %s, while discovery still reads %s.",
                    list.key, Entries(filled).c_str(), plain, filled == 1 ? "it" : "them"));
}

void NoteRepeat(ConfigFile& file, size_t row, uint32_t number, unsigned long earlier) {
  const ListKey& list = ListKeyTable[row];
  if (IsHistory(row))
    file.Add(Severity::Note, kGroup, "repeated-entry", number,
             Format("The same entry as line %lu (ignoring case): discovery examines the first, and the repeat "
                    "changes nothing.",
                    earlier));
  else if (list.kind == kDataList)
    file.Add(Severity::Warning, kGroup, "repeated-entry", number,
             Format("The same entry as line %lu (ignoring case): discovery examines the first; recording this "
                    "code again, TvIsi_UpdateTvwserveV5 replaces both, TvIsi_UpdateDataKeys only the first.",
                    earlier));
  else
    file.Add(Severity::Warning, kGroup, "repeated-entry", number,
             Format("The same entry as line %lu (ignoring case): discovery examines the first; recording this "
                    "code again, TvIsi_UpdateDataKeys replaces only the first.",
                    earlier));
}

// The form of an entry that readers see; false when they cannot use it.
bool CheckEntryForm(ConfigFile& file, size_t row, uint32_t number, const ListLineParts& parts, const char* code,
                    const char* countryCode) {
  const ListKey& list = ListKeyTable[row];
  const bool country = list.kind == kCountryList;
  if (parts.code.empty()) {
    file.Add(Severity::Error, kGroup, "list-entry-form", number,
             "The entry has no code before its first comma: no export finds it by a country code.");
    return false;
  }
  if (country ? parts.fileName.empty() : parts.directory.empty()) {
    if (country)
      file.Add(Severity::Error, kGroup, "list-entry-form", number,
               Format("The entry names no data file (code,name,folder\\file): discovery never finds data through "
                      "it, and TvIsi_InstalledCountriesToData records it as \"%s,%.*s\".",
                      countryCode, static_cast<int>(parts.directory.size()), parts.directory.data()));
    else
      file.Add(Severity::Error, kGroup, "list-entry-form", number,
               "The entry names no data folder (code,folder): discovery looks for the data in the current folder "
               "of the program that asks.");
    return false;
  }
  if (parts.code.size() > 3)
    file.Add(Severity::Warning, kGroup, "code-too-long", number,
             Format("The code %.*s has %zu characters: every export reads it as %s (codes hold three).",
                    static_cast<int>(parts.code.size()), parts.code.data(), parts.code.size(), code));
  if (row == 0 && parts.name.size() >= sizeof InstalledListEntry::name)
    file.Add(Severity::Warning, kGroup, "name-too-long", number,
             Format("The country name has %zu characters: TvIsi_InstCtryToDataMap cuts it to 79 in the mapping "
                    "it makes.",
                    parts.name.size()));
  const bool longFolder = parts.directory.size() >= kTvPathSize;
  if (longFolder || parts.fileName.size() >= kTvPathSize) {
    file.Add(Severity::Error, kGroup, "field-too-long", number,
             Format("The data %s has %zu characters, more than the 255 a path holds: discovery takes the entry as "
                    "missing, never as a shorter path.",
                    longFolder ? "folder" : "file name", longFolder ? parts.directory.size() : parts.fileName.size()));
    return false;
  }
  return true;
}

// The list's lines as its readers take them: the value line and its "+"
// lines. Form, repeats and the empty line that ends the list are checked
// here; the entries that readers see go to entries.
void ReadList(ConfigFile& file, size_t row, bool server, std::vector<Entry>& entries) {
  const ListKey& list = ListKeyTable[row];
  const char* text;
  size_t length;
  if (!TvIniGetValueSpan(&file.ini, kDefaultSection, list.key, &text, &length)) return;
  // The "+" lines follow the key's line one by one.
  const uint32_t first = file.LineAt(text);
  ListLines lines{{first, {text, length}}};
  while (TvIniNextLineSpan(&file.ini, &text, &length))
    lines.push_back({first + static_cast<uint32_t>(lines.size()), {text, length}});
  size_t visible, filled;
  CheckGap(file, list, lines, &visible, &filled);
  CheckNewList(file, row, server, lines, filled);

  char lastCode[4] = "", countryCode[4] = "";
  // The lines seen, by index, in an open-addressed table of twice their number.
  size_t slots = 16;
  while (slots < 2 * lines.size()) slots *= 2;
  std::vector<uint32_t> seen(slots);  // line index + 1, 0 free
  for (size_t i = 0; i < lines.size(); ++i) {
    const auto [number, line] = lines[i];
    if (line.empty()) continue;
    size_t at = NoCaseHash()(line) & (slots - 1);
    while (seen[at] && !NoCaseEqual()(lines[seen[at] - 1].second, line)) at = (at + 1) & (slots - 1);
    if (!seen[at]) seen[at] = static_cast<uint32_t>(i + 1);
    if (seen[at] != i + 1) NoteRepeat(file, row, number, lines[seen[at] - 1].first);
    const ListLineParts parts = SplitListLine(line, list.kind);
    char code[4];
    TvStrCopyN(code, parts.code.data(), parts.code.size(), sizeof code);
    if (strcmp(code, lastCode) != 0) {  // a list names a code in a run of lines
      LookupDataCode(code, countryCode, sizeof countryCode, nullptr, 0);
      TvStrCopy(lastCode, code, sizeof lastCode);
    }
    Entry entry{row, number, line, Upper(countryCode)};
    if (CheckEntryForm(file, row, number, parts, code, countryCode) && i < visible) entries.push_back(std::move(entry));
  }
}

// Each country list against the data list made from it.
void CheckPairs(ConfigFile& file, const std::vector<Entry>& entries) {
  std::unordered_map<std::string, uint32_t> in[kRows];
  for (auto& countries : in) countries.reserve(entries.size() / kRows);
  for (const Entry& entry : entries) in[entry.row].emplace(entry.country, entry.line);
  for (const Entry& entry : entries) {
    const size_t row = entry.row;
    if (in[row].at(entry.country) != entry.line) continue;  // the country's first entry speaks for it
    const bool country = row < kPairs;
    const size_t other = country ? row + kPairs : row - kPairs;
    if (in[other].count(entry.country)) continue;
    const char* code = entry.country.c_str();
    if (country) {
      const std::string_view directory = SplitListLine(entry.text, kCountryList).directory;
      file.Add(Severity::Note, kGroup, "country-without-data", entry.line,
               Format("No entry of %s in %s: TvIsi_InstalledCountriesToData would add \"%s,%.*s\" there.", code,
                      ListKeyTable[other].key, code, static_cast<int>(directory.size()), directory.data()));
    } else if (file.discovered && !IsHistory(row) && !in[0].count(entry.country) && !in[1].count(entry.country)) {
      file.Add(Severity::Warning, kGroup, "data-without-country", entry.line,
               Format("No entry of %s in InstalledCountries or NewInstalledCountries: TvIsi_IsISOPresent answers "
                      "that %s is not recorded, although discovery reads this entry.",
                      code, code));
    } else {
      file.Add(Severity::Note, kGroup, "data-without-country", entry.line,
               Format("No entry of %s in %s, the country list of %s; no export adds one from a data entry.", code,
                      ListKeyTable[other].key, ListKeyTable[row].key));
    }
  }
}

// Each country's entries examined as discovery examines them: in list
// order, the folder (below ProgDir when relative, a versioned folder as it
// stands, a drive's root), then the data file in it, under ".dts" or ".rds"
// (names beginning with "$" or "!" in the kernel's data or program folder),
// up to the first entry whose data is there; discovery never looks at the
// entries after it, and neither does this check. A country carries
// discovery's indicators from entry to entry, as one call does. What one
// folder or file answered is asked once.
void FindData(ConfigFile& file, const std::vector<Entry>& entries) {
  struct Resolved {
    bool found;
    std::string dataDir;
    int32_t added;
  };
  DiscoveryMemo memo;
  std::unordered_map<std::string, Resolved> folders;
  std::unordered_map<std::string, int32_t> indicators;
  for (const Entry& entry : entries) {
    if (file.countries.count(entry.country)) continue;
    const ListKey& list = ListKeyTable[entry.row];
    InstalledListEntry work;
    ParseInstalledListLine(std::string(entry.text).c_str(), &work, list.kind);
    TvStrCopy(work.country, entry.country.c_str(), sizeof work.country);
    int32_t& bits = indicators[entry.country];
    const std::string stored = work.dataDir;
    const std::string folderKey = Upper(stored) + (bits & kRelativeDir ? "|r" : "|");
    auto cached = folders.find(folderKey);
    if (cached == folders.end()) {
      const int32_t before = bits;
      const bool found = ResolveDataDirectories(&work, &file.ini, file.folder.c_str(), &bits, &memo);
      cached = folders.emplace(folderKey, Resolved{found, work.dataDir, bits & ~before}).first;
    }
    bits |= cached->second.added;
    if (!cached->second.found) {
      const bool belowProgDir = (bits & kRelativeDir) && memo.hasProgDir && memo.progDirExists > 0;
      file.Add(ForList(entry.row), kGroup, "data-folder-missing", entry.line,
               Format("The data folder %s does not exist%s%s: TvIsi_CheckIniForData passes over this entry, and "
                      "reports the default data folder %s when no entry of %s has its data.",
                      stored.c_str(), belowProgDir ? ", nor below ProgDir " : "", belowProgDir ? memo.progDir : "",
                      memo.defaultDir, entry.country.c_str()));
      continue;
    }
    const std::string& dataDir = cached->second.dataDir;
    char path[kTvPathSize];
    uint64_t size = kNoTrailerSize + 1;  // opened to read its trailer unless the probe says it is shorter
    ProbeOptions probe;
    probe.folderFound = probe.byAttributes = true;
    probe.foundPath = path;
    probe.size = &size;
    if (!ProbeDataFile(dataDir.c_str(), work.fileName, &bits, probe)) {
      const std::string stem(Stem(work.fileName));
      file.Add(ForList(entry.row), kGroup, "data-file-missing", entry.line,
               Format("%s holds no data file %s.dts or %s.rds: TvIsi_CheckIniForData passes over this entry.",
                      dataDir.c_str(), stem.c_str(), stem.c_str()));
      continue;
    }
    // Discovery reports this entry. A file long enough for a trailer is
    // opened as discovery opens it, and its release read as
    // TvIsi_DataVintage reads it.
    DataFile data{entry.country, path, "", TvOk, entry.line};
    if (size > kNoTrailerSize) {
      TvFileHandle handle = kTvNoFile;
      const TvStatus opened = TvFileOpen(nullptr, nullptr, path, nullptr, TvFileSilent, &handle);
      if (opened != TvOk) {
        file.Add(ForList(entry.row), kGroup, "data-file-missing", entry.line,
                 Format("%s does not open for reading (%ld): TvIsi_CheckIniForData passes over this entry.", path,
                        static_cast<long>(opened)));
        continue;
      }
      TvIniBuffer trailer{};
      data.trailer = TvIniLoadTrailer(&trailer, handle, nullptr);
      char date[kDateSize];
      TvIniGetString(&trailer, kDefaultSection, "Date", "", date, sizeof date);
      data.release = date;
      TvIniFree(&trailer);
      TvFileClose(handle);
    }
    file.countries.emplace(entry.country, CountryData{dataDir, path});
    file.dataFiles.push_back(std::move(data));
  }
}

}  // namespace

void CheckLists(ConfigFile& file) {
  const bool server = IsServerConfiguration(&file.ini);
  std::vector<Entry> entries;
  for (size_t row = 0; row < kRows; ++row) ReadList(file, row, server, entries);
  CheckPairs(file, entries);
  if (file.discovered) FindData(file, entries);
}

}  // namespace doctor
