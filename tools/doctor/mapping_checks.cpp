// mapping_checks.cpp: the data mappings (DataMappings of TvDefault) read as
// the mapping exports read them, the additional data files beside each
// mapped country's data, and the per-section DataMapping and CountryBase keys
// that the two renames exchange.
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "doctor.h"
#include "installed_lists.h"
#include "mapping_rules.h"
#include "tv_file.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_trailer.h"

namespace doctor {

namespace {

constexpr const char* kGroup = "mappings";
constexpr size_t kDateSize = 64;

// The additional data files (.ads) of a folder by their identifiers, as the
// mapping update names them, with their releases read when asked.
struct Folder {
  std::unordered_map<std::string, std::string> files;  // identifier -> path
  std::vector<std::string> withPlus;                   // names holding "+"
};

Folder ScanFolder(const std::string& folder) {
  Folder found;
  char pattern[kTvPathSize];
  if (TvPathBuild(pattern, folder.c_str(), "*", "!.ads") != TvOk) return found;
  // The kernel's one scan is held until it is closed, also when it could not start.
  if (TvFileFindFirst(pattern, TvScanFiles | TvScanDot) == TvOk) {
    char name[kTvPathSize];
    while (TvFileFindNext(name)) {
      char identifier[kTvPathSize];
      DataSetIdentifier(name, identifier, sizeof identifier);
      if (strchr(identifier, '+')) found.withPlus.push_back(folder + "\\" + name);
      found.files.emplace(identifier, folder + "\\" + name);
    }
  }
  TvFileFindClose();
  return found;
}

std::string Release(const std::string& path) {
  TvFileHandle handle = kTvNoFile;
  char date[kDateSize] = "";
  if (TvFileOpen(nullptr, nullptr, path.c_str(), nullptr, TvFileShareAll | TvFileSilent | TvFileNoMedia, &handle) ==
      TvOk) {
    TvIniBuffer trailer{};
    if (TvIniLoadTrailer(&trailer, handle, nullptr) == TvOk)
      TvIniGetString(&trailer, kDefaultSection, "Date", "", date, sizeof date);
    TvIniFree(&trailer);
    TvFileClose(handle);
  }
  return date;
}

const DataFile* CountryFile(const ConfigFile& file, const CountryData& data) {
  for (const DataFile& candidate : file.dataFiles)
    if (candidate.path == data.dataFile) return &candidate;
  return nullptr;
}

// The mapped data sets of one mapping line against its country's folder.
void CheckDataSets(ConfigFile& file, const MappingLines& mappings, uint32_t i, uint32_t line,
                   std::unordered_map<std::string, Folder>& folders, std::unordered_set<std::string>& told) {
  std::string country;
  for (uint32_t k = 0; k < mappings.DataSetCount(i) && country.empty(); ++k)
    if (file.countries.count(Upper(mappings.DataSet(i, k)))) country = Upper(mappings.DataSet(i, k));
  if (country.empty()) {
    char code[4];
    LookupDataCode(mappings.Code(i), code, sizeof code, nullptr, 0);
    if (file.countries.count(Upper(code))) country = Upper(code);
  }
  if (country.empty()) return;  // the lists already tell why the country has no data folder
  const CountryData& data = file.countries.at(country);
  auto scanned = folders.find(data.dataDir);
  if (scanned == folders.end()) scanned = folders.emplace(data.dataDir, ScanFolder(data.dataDir)).first;
  const Folder& folder = scanned->second;
  for (const std::string& plus : folder.withPlus)
    if (told.insert(plus).second)
      file.Add(Severity::Error, kGroup, "data-set-plus", line,
               Format("%s: a \"+\" separates data sets in a mapping line, so TvIsi_UpdateDataMappings for %s passes "
                      "this file over (and says so in its log): its data set is in no mapping.",
                      plus.c_str(), country.c_str()));
  const DataFile* countryFile = CountryFile(file, data);
  for (uint32_t k = 0; k < mappings.DataSetCount(i); ++k) {
    const std::string set = mappings.DataSet(i, k);
    if (set.empty() || file.countries.count(Upper(set))) continue;
    const auto ads = folder.files.find(Upper(set));
    if (ads == folder.files.end()) {
      file.Add(
          Severity::Warning, kGroup, "data-set-missing", line,
          Format("The data set %s has no file %s.ads in %s, the data folder of %s: a mapping update for %s "
                 "makes a mapping without it, under another code when %s is taken.",
                 set.c_str(), set.c_str(), data.dataDir.c_str(), country.c_str(), country.c_str(), mappings.Code(i)));
      continue;
    }
    if (!told.insert(ads->second).second) continue;  // its release is told once
    const std::string release = Release(ads->second);
    if (countryFile && release != countryFile->release)
      file.Add(Severity::Warning, "products", "other-release", line,
               Format("%s is of release \"%s\", %s of \"%s\": TvIsi_UpdateDataMappings passes over it, so a "
                      "mapping update for %s makes a mapping without %s.",
                      ads->second.c_str(), release.c_str(), countryFile->path.c_str(), countryFile->release.c_str(),
                      country.c_str(), set.c_str()));
  }
}

void CheckDataMappings(ConfigFile& file) {
  const char* text;
  size_t length;
  if (!TvIniGetValueSpan(&file.ini, kDefaultSection, "DataMappings", &text, &length)) return;
  std::vector<std::pair<uint32_t, std::string_view>> lines{{file.LineAt(text), {text, length}}};
  while (TvIniNextLineSpan(&file.ini, &text, &length)) lines.push_back({file.LineAt(text), {text, length}});
  size_t below = 0;
  for (size_t i = 1; i < lines.size(); ++i) below += !lines[i].second.empty();
  if (lines[0].second.empty() && below)
    file.Add(Severity::Warning, kGroup, "mappings-gap", lines[0].first,
             Format("DataMappings begins with an empty line and %zu mapping%s below it. The mapping exports read "
                    "past it and keep every mapping, but a reader that stops at an empty first line sees none. "
                    "Put the first one on the key's own line.",
                    below, below == 1 ? " follows" : "s follow"));

  MappingLines mappings;
  std::unordered_map<std::string, Folder> folders;
  std::unordered_set<std::string> told;  // .ads files spoken of
  std::vector<uint32_t> mappingLines;    // the line of each mapping
  for (const auto& [number, line] : lines) {
    if (line.empty()) continue;
    int32_t equal = -1;
    if (!mappings.Add(line, &equal)) return;
    const uint32_t i = mappings.Count() - 1;
    const size_t comma = line.find(',');
    const std::string_view code = line.substr(0, comma);
    const size_t second = comma == std::string_view::npos ? comma : line.find(',', comma + 1);
    const std::string held = mappings.Code(i);
    if (code.empty()) {
      file.Add(Severity::Warning, kGroup, "mapping-form", number,
               "The mapping has no code before its first comma: no update finds it by its code.");
    } else if (second == std::string_view::npos) {
      file.Add(Severity::Warning, kGroup, "mapping-form", number,
               Format("The mapping names no data set (code,name,set+set...), so no update finds it equal to the "
                      "mapping it makes: one with the code %s adds its own beside it, under %.2s0 to %.2s9.",
                      held.c_str(), held.c_str(), held.c_str()));
    } else {
      for (uint32_t k = 0; k < mappings.DataSetCount(i); ++k)
        if (!mappings.DataSet(i, k)[0]) {
          file.Add(Severity::Warning, kGroup, "mapping-form", number,
                   "The mapping names an empty data set (a \"+\" next to another, or at an end): it counts when "
                   "mappings are compared, so no update finds this mapping equal to the one it makes.");
          break;
        }
    }
    if (code.size() >= kMappingCodeSize)
      file.Add(Severity::Warning, kGroup, "mapping-code-too-long", number,
               Format("The code has %zu characters: the mapping exports hold 7 and compare this mapping as %s, so "
                      "an update with the code %s and the same data sets finds it.",
                      code.size(), held.c_str(), held.c_str()));
    mappingLines.push_back(number);
    if (equal >= 0)
      file.Add(Severity::Warning, kGroup, "repeated-mapping", number,
               Format("The same mapping as line %lu (same code and data sets): an update that makes it again finds "
                      "the first and adds nothing; both stay as they are.",
                      static_cast<unsigned long>(mappingLines[static_cast<size_t>(equal)])));
    if (file.discovered) CheckDataSets(file, mappings, i, number, folders, told);
  }
}

// DataMapping and CountryBase of every section, as the renames meet them.
void CheckSectionKeys(ConfigFile& file) {
  static constexpr const char* kKeys[2] = {"DataMapping", "CountryBase"};
  static constexpr const char* kRenames[2] = {"TvIsi_DataMapToCountryBase", "TvIsi_CountryBaseToDataMap"};
  TvIniBuffer* ini = &file.ini;
  const uint16_t flags = TvIniSetFlags(ini, TvIniNoDefault);  // a section's own keys only
  uint32_t above[2] = {};                                     // sections before TvDefault without their own key
  bool defaultSeen = false;
  std::unordered_set<std::string> seen;
  char name[1024];
  for (int first = 1; TvIniNextSection(ini, first, name, sizeof name); first = 0) {
    // Sections the renames cannot address again, and repeated ones, which
    // lookups never reach, are passed over as the renames pass them over.
    bool addressable = strlen(name) < kTvIniSectionSize && !strpbrk(name, "*?]");
    for (const char* p = name; *p && addressable; ++p) addressable = static_cast<unsigned char>(*p) >= 0x20;
    if (!addressable || !seen.insert(Upper(name)).second) continue;
    const bool isDefault = TvStrEqualNoCase(name, kDefaultSection);
    const char* value[2];
    size_t length[2];
    bool has[2];
    uint32_t line[2];
    for (int k = 0; k < 2; ++k) {
      has[k] = TvIniGetValueSpan(ini, name, kKeys[k], &value[k], &length[k]);
      line[k] = has[k] ? file.LineAt(value[k]) : 0;
      if (!has[k] && !defaultSeen && !isDefault) ++above[k];
    }
    for (int k = 0; k < 2; ++k) {
      if (!has[k]) continue;
      file.Add(
          Severity::Note, kGroup, "mapping-key", line[k],
          Format("[%s] names its data mapping with %s=%.*s.", name, kKeys[k], static_cast<int>(length[k]), value[k]));
      if (isDefault && above[k])
        file.Add(Severity::Warning, kGroup, "default-mapping-key", line[k],
                 Format("[TvDefault] holds %s and %lu sections above it have no %s of their own: %s gives each of "
                        "them %s=%.*s.",
                        kKeys[k], static_cast<unsigned long>(above[k]), kKeys[k], kRenames[k], kKeys[1 - k],
                        static_cast<int>(length[k]), value[k]));
    }
    if (has[0] && has[1])
      file.Add(Severity::Error, kGroup, "both-mapping-keys", line[1],
               Format("[%s] holds both DataMapping and CountryBase: TvIsi_CountryBaseToDataMap puts CountryBase's "
                      "value in place of DataMapping's, TvIsi_DataMapToCountryBase the reverse; either way one value "
                      "is lost.",
                      name));
    defaultSeen = defaultSeen || isDefault;
  }
  TvIniSetFlags(ini, flags);
}

}  // namespace

void CheckMappings(ConfigFile& file) {
  CheckDataMappings(file);
  CheckSectionKeys(file);
}

}  // namespace doctor
