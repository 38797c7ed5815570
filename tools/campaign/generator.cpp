// generator.cpp: what the campaign feeds the library.
#include "campaign.h"

#include <algorithm>
#include <cstring>

namespace campaign {

// clang-format off
const std::vector<std::string> kCountryKeys = {"InstalledCountries", "NewInstalledCountries", "AllInstalledCountries",
                                               "PreviousInstalledCountries"};
const std::vector<std::string> kDataKeys = {"InstalledData", "NewInstalledData", "AllInstalledData",
                                            "PreviousInstalledData"};

namespace {

const std::vector<std::string> kCodes = {"GBR", "USA", "FRA", "DEU", "NLD", "GBK", "USV", "GB1", "gbr", "usa", "GBRX",
                                         "GB"};
const std::vector<std::string> kNames = {"United Kingdom", "United States", "France", "Deutschland", "Nederland", "UK",
                                         "Fran\xE7" "ais", ""};
const std::vector<std::string> kDirs = {"C:\\Data", "D:\\Data\\GBR.12", "C:\\Data\\", "Data\\GBR.5",
                                        "\\\\server\\share", "C:/Data", "E:\\Program Files\\Data", "c:\\data"};
const std::vector<std::string> kPlainKeys = {"ServerAddress", "ProgDir", "UsedByKeelNet", "UsedByKeelHost", "Name",
                                             "Key1", "Version", "k", "DataMappings", "LogFile", "Language",
                                             "CountryBase"};
const std::vector<std::string> kSectionPool = {"TvDefault", "Data", "DataX", "Setup", "Paths", "S", "New Section",
                                               "Country GBR", "Extra", "tvdefault", "Fran\xE7" "ais"};
// clang-format on

std::string Letters(Rng& rng, size_t n,
                    const char* alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") {
  const size_t count = strlen(alphabet);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += alphabet[rng.Below(count)];
  return s;
}

// A long text that still reads as one: a path-like run of letters.
std::string LongText(Rng& rng, size_t n) {
  std::string s = Letters(rng, std::min<size_t>(n, 40));
  while (s.size() < n) s += rng.Chance(10) ? '\\' : static_cast<char>('a' + rng.Below(26));
  return s.substr(0, n);
}

std::string Value(Rng& rng) {
  static const char* const kValues[] = {
      "", "Yes", nullptr, "TVTCPIP:server:2021", "tvlocal", "  leading blanks", "trailing blanks  ", "a;b=c"};
  const uint64_t pick = rng.Below(10);
  if (pick == 2) return std::to_string(rng.Below(100000));
  if (pick == 8) return LongText(rng, rng.Size(10, 300));
  return pick < 8 ? kValues[pick] : Letters(rng, rng.Size(1, 20));
}

std::string FlipCase(Rng& rng, std::string s) {
  for (char& c : s)
    if (rng.Chance(50) && isalpha(static_cast<unsigned char>(c))) c = static_cast<char>(c ^ 0x20);
  return s;
}

// A name matching a header, wildcards filled in.
std::string Instance(Rng& rng, const std::string& pattern) {
  std::string name;
  for (char c : pattern) {
    if (c == '*') name += Letters(rng, rng.Size(0, 3));
    else if (c == '?') name += Letters(rng, 1);
    else name += c;
  }
  return name;
}

void AddList(Rng& rng, std::vector<std::string>& lines, const std::string& key, bool countryList) {
  const size_t entries = rng.Size(0, 5);
  lines.push_back(key + "=" + (rng.Chance(8) ? "" : ListEntry(rng, countryList)));
  for (size_t i = 0; i < entries; ++i) {
    if (rng.Chance(8)) lines.push_back("+");
    else if (rng.Chance(4)) lines.push_back("++");
    else if (rng.Chance(4)) lines.push_back("+ " + ListEntry(rng, countryList) + "  ");
    else lines.push_back("+" + ListEntry(rng, countryList));
  }
}

void AddSection(Rng& rng, const FileRecipe& recipe, std::vector<std::string>& lines, const std::string& name,
                bool defaults) {
  lines.push_back("[" + name + "]" + (rng.Chance(8) ? " ; note" : ""));
  const size_t keys = rng.Size(0, 6);
  for (size_t i = 0; i < keys; ++i) {
    const uint64_t kind = rng.Below(12);
    const bool country = defaults && kind < 5 && rng.Chance(50);
    if (defaults && kind < 5) AddList(rng, lines, rng.Pick(country ? kCountryKeys : kDataKeys), country);
    else if (kind < 7) lines.push_back(rng.Pick(kPlainKeys) + "=" + Value(rng));
    else if (kind == 7) lines.push_back(rng.Pick(kPlainKeys) + " = " + Value(rng));  // the blanks belong to the key
    else if (kind == 8) lines.push_back("; comment " + Letters(rng, rng.Size(0, 12)));
    else if (kind == 9) lines.push_back("");
    else if (kind == 10) lines.push_back(Letters(rng, rng.Size(1, 12)) + "=" + Value(rng));
    else lines.push_back("+" + Value(rng));  // a "+" line below whatever stands above
  }
  if (recipe.serverLists && defaults) {
    for (int i = 0; i < 3; ++i) {
      const bool country = rng.Chance(50);
      AddList(rng, lines, rng.Pick(country ? kCountryKeys : kDataKeys), country);
    }
    if (rng.Chance(40)) lines.push_back("UsedByKeelNet=" + std::string(rng.Chance(50) ? "Yes" : "No"));
    if (rng.Chance(30)) lines.push_back("ServerAddress=" + std::string(rng.Chance(50) ? "TVTCPIP:host" : "TVLOCAL"));
  }
  for (size_t i = rng.Size(0, 2); i > 0; --i) lines.push_back("");
}

}  // namespace

std::string CountryCode(Rng& rng) { return rng.Pick(kCodes); }

std::string CountryEntry(Rng& rng, const std::string& code) {
  return code + "," + rng.Pick(kNames) + "," + rng.Pick(kDirs) + (rng.Chance(80) ? "\\" + code + ".dts" : "");
}

std::string DataEntry(Rng& rng, const std::string& code) { return code + "," + rng.Pick(kDirs); }

std::string ListEntry(Rng& rng, bool countryList) {
  const std::string code = CountryCode(rng);
  std::string entry = countryList ? CountryEntry(rng, code) : DataEntry(rng, code);
  if (rng.Chance(10)) entry += "\\" + LongText(rng, rng.Chance(70) ? rng.Size(300, 400) : rng.Size(5000, 5200));
  if (rng.Chance(4))
    entry.insert(rng.Below(entry.size() + 1), 1, rng.Chance(50) ? '\f' : '\x1a');  // ini text holds them
  return entry;
}

std::vector<std::string> GenerateLines(Rng& rng, const FileRecipe& recipe) {
  std::vector<std::string> lines;
  if (rng.Chance(20)) lines.push_back("; " + Letters(rng, rng.Size(0, 30)));
  if (rng.Chance(8)) lines.push_back("Orphan=before any section");
  const size_t sections = rng.Size(1, 5);
  const size_t defaults = recipe.serverLists ? 0 : rng.Below(sections + 1);  // where [TvDefault] goes, if anywhere
  for (size_t i = 0; i < sections; ++i) {
    if (i == defaults) {
      AddSection(rng, recipe, lines, rng.Chance(85) ? "TvDefault" : "tvdefault", true);
      continue;
    }
    std::string name = rng.Pick(kSectionPool);
    if (rng.Chance(10)) name = "Data*";
    else if (rng.Chance(4)) name = "D?ta";
    else if (rng.Chance(2)) name = "*";
    else if (recipe.allowHuge && rng.Chance(5)) name = LongText(rng, rng.Chance(50) ? rng.Size(80, 120) : 5000);
    AddSection(rng, recipe, lines, name, name == "TvDefault" || name == "tvdefault");
  }
  if (recipe.allowHuge && rng.Chance(6)) {
    const size_t at = rng.Below(lines.size() + 1);
    const std::string huge = LongText(rng, 100 * 1024);
    lines.insert(lines.begin() + static_cast<long>(at), rng.Chance(50) ? ";" + huge : "Huge=" + huge);
  }
  if (!recipe.allowHuge)
    for (std::string& line : lines)
      if (line.size() > 400) line.resize(400);
  return lines;
}

std::string JoinLines(Rng& rng, const std::vector<std::string>& lines, bool mutate) {
  static const char* const kEnds[] = {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n", "\n", "\n", "\r"};
  static const size_t kMixed[] = {0, 5, 7};
  const uint64_t style = mutate ? rng.Below(10) : 0;  // 8 and 9: mixed
  std::string out;
  const bool finalEnd = rng.Chance(85);
  for (size_t i = 0; i < lines.size(); ++i) {
    out += lines[i];
    if (i + 1 < lines.size() || finalEnd) out += kEnds[style < 8 ? style : rng.Pick(kMixed)];
  }
  return out;
}

std::string GenerateFile(Rng& rng, const FileRecipe& recipe) {
  std::string bytes = JoinLines(rng, GenerateLines(rng, recipe), recipe.mutateLineEnds);
  if (recipe.allowBom && rng.Chance(15)) bytes = "\xEF\xBB\xBF" + bytes;
  if (recipe.allowBinary && rng.Chance(30)) {
    static const char kBad[] = {'\0', '\x01', '\x02', '\x08', '\x0B', '\x1B', '\x1F', '\x7F'};
    for (size_t n = rng.Size(1, 3); n > 0; --n)
      bytes.insert(bytes.begin() + static_cast<long>(rng.Below(bytes.size() + 1)), rng.Pick(kBad));
  }
  if (recipe.allowBinary && rng.Chance(8))
    for (size_t n = rng.Size(1, 4); n > 0 && !bytes.empty(); --n)
      bytes[rng.Below(bytes.size())] = static_cast<char>(rng.Below(256));
  if (recipe.allowPadding && rng.Chance(10)) bytes.append(rng.Size(1, 600), '\0');
  return bytes;
}

Text SectionName(Rng& rng, const Doc* doc, bool hostile) {
  if (hostile && rng.Chance(60)) {
    // clang-format off
    static const Text kHostile[] = {std::nullopt, "", std::string(80, 'S'), "long", "Data*", "D?ta", "*", "a]b",
                                    "Evil\nk=v", "a\rb", "x\x01y", "x\x7Fy", "[Nested", std::string(79, 'L')};
    // clang-format on
    const size_t i = rng.Below(14);
    return i == 3 ? LongText(rng, rng.Size(81, 300)) : kHostile[i];
  }
  if (doc && rng.Chance(65)) {
    std::vector<std::string> names;
    for (const Header& h : Headers(*doc))
      if (h.name.find('\n') == std::string::npos && h.name.size() < 79) names.push_back(Instance(rng, h.name));
    if (!names.empty()) return rng.Chance(20) ? FlipCase(rng, rng.Pick(names)) : rng.Pick(names);
  }
  return rng.Pick(kSectionPool);
}

Text KeyName(Rng& rng, const Doc* doc, bool hostile) {
  if (hostile && rng.Chance(60)) {
    // clang-format off
    static const Text kHostile[] = {std::nullopt, "", "a=b", "=", "[x", "+x", "x\ny", "x\rb", "\x01x", "a\tb",
                                    std::string(40, 'K'), std::string(41, 'K'), "long", "Name\x7F",
                                    std::string(39, 'K')};
    // clang-format on
    const size_t i = rng.Below(15);
    return i == 12 ? LongText(rng, 100) : kHostile[i];
  }
  if (doc && rng.Chance(65)) {
    std::vector<std::string> keys;
    for (const Line& line : doc->lines) {
      const size_t eq = line.text.find('=');
      if (eq != std::string::npos && eq > 0 && eq < 39 && line.text[0] != '[' && line.text[0] != '+')
        keys.push_back(line.text.substr(0, eq));
    }
    if (!keys.empty()) return rng.Chance(20) ? FlipCase(rng, rng.Pick(keys)) : rng.Pick(keys);
  }
  if (rng.Chance(40)) return rng.Pick(rng.Chance(50) ? kCountryKeys : kDataKeys);
  return rng.Pick(kPlainKeys);
}

Text Value(Rng& rng, bool hostile) {
  if (hostile && rng.Chance(60)) {
    // clang-format off
    static const Text kHostile[] = {std::nullopt, "a\rb", "a\r\nb", "x\r[Evil]\rk=v", "\r", "tab\there",
                                    "\x01" "ctl", "\x1A\f", "", "", "", "del\x7F", "[Evil]\nk=v\n+x", "a\n", "\n\n",
                                    "line1\r\nline2\nline3\rline4"};
    // clang-format on
    static const size_t kLong[] = {1000, 5000, 70000};  // the texts 8 to 10
    const size_t i = rng.Below(16);
    return i >= 8 && i <= 10 ? LongText(rng, kLong[i - 8]) : kHostile[i];
  }
  static const Text kPlain[] = {"a\nb", std::string(255, 'v'), std::string(256, 'w'), "GBR,C:\\Data\nUSA,D:\\Data"};
  const uint64_t pick = rng.Below(8);
  return pick < 4 ? kPlain[pick] : Value(rng);
}

Text Entries(Rng& rng, const Doc* doc, const std::string& section, const std::string& key, bool hostile) {
  std::vector<std::string> existing;
  if (doc)
    if (const auto lines = ReadLines(*doc, section, key))
      for (const std::string& line : *lines)
        if (!TrimRightSpaces(line).empty()) existing.push_back(TrimRightSpaces(line));
  if (hostile && rng.Chance(40)) {
    static const Text kHostile[] = {std::nullopt, " ", "GBR,a\rUSA,b", "a\n\nb\n", "", "x\r\n[Evil]\r\nk=v"};
    const std::string first = existing.empty() ? "" : Cut(existing[0], 255);  // cut from a longer entry
    const uint64_t pick = rng.Below(8);
    if (pick == 4) return LongText(rng, 300);
    return pick < 6 ? kHostile[pick] : pick == 6 ? first + "\x01" : first;
  }
  std::string text;
  for (size_t n = rng.Size(1, 3); n > 0; --n) {
    if (!text.empty()) text += "\n";
    if (!existing.empty() && rng.Chance(50)) text += FlipCase(rng, Cut(rng.Pick(existing), 255));
    else text += ListEntry(rng, rng.Chance(50)).substr(0, 200);
  }
  return text;
}

int32_t Capacity(Rng& rng) {
  static const int32_t kCapacities[] = {65535, 65535, 256, 1000, 5, 1, 0, -1, 70000, -65536, 300, 4096, 255};
  return rng.Pick(kCapacities);
}

}  // namespace campaign
