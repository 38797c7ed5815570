// lists.cpp: the list exports as the project documents them, on the
// campaign's own reading of the file.
#include "campaign.h"

#include <algorithm>

namespace campaign {

namespace {

constexpr char kDefault[] = "TvDefault";

// Data codes stand for their country.
std::string CountryOfCode(const std::string& code) {
  static const char* const kCodes[][2] = {{"GBK", "GBR"}, {"GBL", "GBR"}, {"GBM", "GBR"}, {"GBS", "GBR"},
                                          {"GBT", "GBR"}, {"USV", "USA"}, {"USS", "USA"}};
  for (const auto& row : kCodes)
    if (EqualNoCase(row[0], code)) return row[1];
  return code;
}

std::vector<std::string> Lines(const Doc& doc, const std::string& key) {
  return ReadLines(doc, kDefault, key).value_or(std::vector<std::string>{});
}

// Items of a list as the exports read them: blanks gone at both ends,
// empty and lone "+" items dropped; kept byte for byte as an alternative.
std::vector<Line> Items(const Doc& doc, const std::string& key) {
  std::vector<Line> items;
  for (const std::string& raw : Lines(doc, key)) {
    const std::string t = TrimBlanks(raw);
    if (t.empty() || t == "+") continue;
    Line line{t, {}};
    if (raw != t) line.alts.push_back(raw);
    items.push_back(line);
  }
  return items;
}

bool Holds(const std::vector<Line>& items, const std::string& text) {
  return std::any_of(items.begin(), items.end(), [&](const Line& l) { return CompareAsciiNoCase(l.text, text) == 0; });
}

bool IsServer(const Doc& doc) {
  auto flag = [&](const char* key) {
    const auto found = Lookup(doc, kDefault, key);
    return found && BoolValue(Cut(ValueLines(doc, *found)[0], 255));
  };
  if (flag("UsedByKeelHost") || flag("UsedByKeelNet")) return true;
  const auto found = Lookup(doc, kDefault, "ServerAddress");
  return found && EqualNoCaseN(TrimRightSpaces(Cut(ValueLines(doc, *found)[0], 1023)), "TVTCPIP", 7);
}

struct CountryLine {
  std::string key, country, dataDir;
};

// Code, country and the directory of the data file, the directory whole.
CountryLine ParseCountryLine(const std::string& line, const std::string& key) {
  CountryLine entry{key, Cut(CountryOfCode(Cut(line.substr(0, line.find(',')), 3)), 3), ""};
  const size_t comma = line.find(',');
  if (comma == std::string::npos) return entry;
  const std::string rest = line.substr(comma + 1);
  const size_t nameEnd = rest.find(',');
  if (nameEnd == std::string::npos) return entry;
  const std::string path = rest.substr(nameEnd + 1);
  size_t split = path.rfind('\\');
  if (split == std::string::npos) split = path.rfind('/');
  entry.dataDir = split == std::string::npos ? path : path.substr(0, split);
  while (split != std::string::npos && !entry.dataDir.empty() && entry.dataDir.back() == '\\') entry.dataDir.pop_back();
  return entry;
}

// The code of an entry as discovery reads it: the first field, cut to three characters.
std::string CodeOf(const std::string& entry) { return Cut(entry.substr(0, entry.find(',')), 3); }

}  // namespace

const std::vector<std::string> kProductFiles = {"tvpanel.exe", "tvkview.dll", "tvkcore.dll", "tvkcr64.dll",
                                                "tvknet.exe",  "tvknsvc.exe", "tvkn64.exe",  "tvflib.dll",
                                                "tvflb64.dll", "tvflint.exe", "tvcobal.exe", "tvheron.exe"};

Doc ExpectUpdateTvwserveV5(const Doc& before, const std::string& data, bool installed) {
  Doc d = before;
  const std::string key = installed ? "InstalledData" : "NewInstalledData";
  const std::string code = CodeOf(data);
  std::vector<Line> current{{data, {}}};
  for (const Line& item : Items(d, key))
    if (!EqualNoCase(CodeOf(item.text), code)) current.push_back(item);
  Set(d, kDefault, key, current);

  // The list of everything installed: no repeats, sorted, a new entry first.
  std::vector<Line> all;
  for (const Line& item : Items(d, "AllInstalledData"))
    if (!Holds(all, item.text)) all.push_back(item);
  if (Holds(all, data)) return d;
  std::stable_sort(all.begin(), all.end(),
                   [](const Line& a, const Line& b) { return CompareAsciiNoCase(a.text, b.text) < 0; });
  all.insert(all.begin(), Line{data, {}});
  Set(d, kDefault, "AllInstalledData", all);
  return d;
}

Doc ExpectUpdateDataKeys(const Doc& before, const std::string& data, bool dataFormat) {
  Doc d = before;
  const bool server = IsServer(d);
  const std::string plain = dataFormat ? "InstalledData" : "InstalledCountries";
  const std::string target = server ? (dataFormat ? "NewInstalledData" : "NewInstalledCountries") : plain;
  const std::string all = dataFormat ? "AllInstalledData" : "AllInstalledCountries";
  std::string replaced;
  UpdateList(d, kDefault, target, server ? plain.c_str() : nullptr, data, 3, &replaced);
  if (!replaced.empty())
    UpdateList(d, kDefault, all, nullptr, replaced, static_cast<int32_t>(replaced.size()), nullptr);
  UpdateList(d, kDefault, all, nullptr, data, static_cast<int32_t>(data.size()), nullptr);
  return d;
}

Doc ExpectCountriesToData(const Doc& before) {
  Doc d = before;
  std::vector<CountryLine> entries;
  for (const std::string& key : kCountryKeys)
    for (const std::string& raw : Lines(d, key)) {
      const std::string line = TrimRightSpaces(raw);
      if (line.empty()) break;  // an empty line ends a list
      entries.push_back(ParseCountryLine(line, key));
    }
  // A country repeated in InstalledCountries counts once.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].key != kCountryKeys[0]) continue;
    for (size_t j = entries.size(); j-- > i + 1;)
      if (entries[j].key == kCountryKeys[0] && EqualNoCase(entries[j].country, entries[i].country))
        entries.erase(entries.begin() + static_cast<long>(j));
  }
  for (size_t pair = 0; pair < kCountryKeys.size(); ++pair) {
    std::vector<Line> items;
    for (const Line& item : Items(d, kDataKeys[pair]))
      if (!Holds(items, item.text)) items.push_back(item);
    for (const CountryLine& entry : entries) {
      if (entry.key != kCountryKeys[pair]) continue;
      const std::string item = entry.country + "," + entry.dataDir;
      if (!Holds(items, item)) items.push_back({item, {}});
    }
    if (!items.empty()) Set(d, kDefault, kDataKeys[pair], items);
  }
  return d;
}

bool IsoRecorded(const Doc& doc, const std::string& code) {
  if (code.empty()) return false;
  for (const char* key : {"NewInstalledCountries", "InstalledCountries"})
    for (const std::string& raw : Lines(doc, key))
      if (EqualNoCaseN(TrimRightSpaces(Cut(raw, 255)), code, code.size())) return true;
  return false;
}

int32_t ExpectProducts(const Doc& doc, const std::vector<std::string>& productFilesPresent) {
  static const struct {
    const char* key;
    const char* file;
    int32_t mask;
  } kRows[] = {{"KeelPanel", "tvpanel.exe", 0x2100},   {"KeelLibView", "tvkview.dll", 0x2010},
               {"KeelLibCore", "tvkcore.dll", 0x2010}, {"KeelLibCore64", "tvkcr64.dll", 0x2010},
               {"KeelNet", "tvknet.exe", 0x2080},      {"KeelNet", "tvknsvc.exe", 0x2080},
               {"KeelNet64", "tvkn64.exe", 0x2080},    {"KeelHost", "tvknet.exe", 0x2040},
               {"FlintLib", "tvflib.dll", 0x1010},     {"FlintLib64", "tvflb64.dll", 0x1010},
               {"Flint", "tvflint.exe", 0x1020},       {"Cobalt", "tvcobal.exe", 0x8010},
               {"Heron", "tvheron.exe", 0x4080}};
  int32_t mask = 0;
  for (const auto& row : kRows) {
    const auto found = Lookup(doc, kDefault, std::string("UsedBy") + row.key);
    if (found && BoolValue(Cut(ValueLines(doc, *found)[0], 255))) mask |= row.mask;
  }
  if (mask) return mask;
  for (const auto& row : kRows)
    if (std::find(productFilesPresent.begin(), productFilesPresent.end(), row.file) != productFilesPresent.end())
      mask |= row.mask;
  return mask;
}

std::vector<std::string> ListedCodes(const Doc& doc) {
  std::vector<std::string> codes;
  for (const auto* keys : {&kCountryKeys, &kDataKeys})
    for (const std::string& key : *keys)
      for (const std::string& raw : Lines(doc, key)) {
        const std::string line = TrimRightSpaces(raw);
        if (line.empty()) break;
        codes.push_back(CodeOf(line));
      }
  return codes;
}

}  // namespace campaign
