// case_mappings.cpp: the family that drives the data-mapping exports, on
// data folders of generated .ads names (with "+", long names, blanks,
// accents, commas) and releases, and on DataMappings and InstalledCountries
// lists with empty, over-long and odd lines. Every call is made twice: the
// second must answer as the first and leave the file as the first left it.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "campaign.h"
#include "exports.h"
#include "tv_trailer.h"

namespace campaign {

namespace {

const char* const kReleases[] = {"12 09 2003", "01 03 2004", "12 09 2003 Autumn"};
enum Release { kNone = -1, kLying = -2, kFolder = -3 };

// A data file as the data maker writes it, its release in the trailer; a
// lying trailer claims more bytes than the file holds.
std::string DataFile(int release) {
  if (release == kNone) return "no trailer in this data file";
  const std::string ini = "[TvDefault]\nDate=" + std::string(kReleases[std::max(release, 0)]) + "\n";
  const std::string magic("\x00\x00\xFF\xA5\x5A\xFF", 6), summed = ini + std::string("\n[\0", 3);
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string out = "data" + magic + le32(release == kLying ? 4000 : static_cast<uint32_t>(ini.size())) +
                    le32(TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : ini) out += static_cast<char>(~c);
  return out + magic + le32(~4u);
}

std::string AdsName(Rng& rng) {
  // The rows of the exclusion table are the mapping tests' fixed cases.
  static const char* const kOdd[] = {"A+B",      "+lead", "trail+", "zz ",     " lead", "Caf\xE9",
                                     "two.dots", "a,b",   "%s%n",   "x=y;[z]", "extra", "gbr"};
  // 123 characters: with a country's three, exactly the 127 a mapping line holds.
  if (rng.Chance(20))
    return std::string(rng.Chance(50) ? 123 : rng.Size(100, 150), static_cast<char>('a' + rng.Below(26)));
  if (rng.Chance(25)) return rng.Pick(kOdd);
  std::string s;
  for (size_t n = rng.Size(1, 8); n > 0; --n) s += "abcdefXYZ0_-+ "[rng.Below(14)];
  return s + "q";
}

struct Data {
  std::string dir, ini, folder;
  std::vector<std::pair<std::string, int>> ads, dts;  // name without extension, release
};

std::string MappingLine(Rng& rng, const Data& d) {
  static const char* const kCodes[] = {"GBR", "GB0", "GB1", "GB9", "gbr", "USA", "UK", "LONGCODE9"};
  const std::string code = rng.Pick(kCodes);
  switch (rng.Below(14)) {
    case 0: return rng.Chance(50) ? "" : "   ";
    case 1: return code + ",x," + std::string(rng.Size(128, 400), 'A') + "+B";
    case 2: return code + "," + std::string(rng.Size(80, 120), 'n') + ",GBR";
    case 3: return code + (rng.Chance(50) ? ",x\f," : ",\x1a,") + "GBR";
    case 4: return rng.Chance(50) ? code : code + ",name";
    case 5: return code + ",x,GBR  ";
    case 6: return std::string(5000, 'L');
    default: {  // often the data sets an update of the folder makes, or some of them
      std::string sets = d.dts.empty() ? "GBR" : rng.Pick(d.dts).first;
      for (const auto& a : d.ads)
        if (rng.Chance(60)) sets += "+" + a.first.substr(0, a.first.find('.'));
      for (char& c : sets) c = Upper(c);
      return code + ",Name," + sets;
    }
  }
}

Data MakeData(Rng& rng, const std::string& dir) {
  Data d{dir, In(dir, "tvwserve.ini"), In(dir, "Data"), {}, {}};
  MakeDir(d.folder);
  for (const char* iso : {"GBR", "FRA", "NZL", "GB+R", "G,R"})
    if (rng.Chance(strlen(iso) == 3 ? 70 : 15))
      d.dts.push_back({iso, rng.Chance(10) ? kNone : rng.Chance(3) ? kLying : 0});
  std::vector<std::string> taken;  // the file system ignores case
  for (size_t n = rng.Size(0, 7); n > 0; --n) {
    std::string name = AdsName(rng), upper = name;
    for (char& c : upper) c = Upper(c);
    if (std::find(taken.begin(), taken.end(), upper) != taken.end()) continue;
    taken.push_back(upper);
    const uint64_t r = rng.Below(100);
    d.ads.push_back({name, r < 60   ? 0
                           : r < 75 ? static_cast<int>(rng.Size(1, 2))
                           : r < 93 ? kNone
                           : r < 95 ? kLying
                                    : kFolder});
  }
  for (const auto& [iso, release] : d.dts) WriteBytes(In(d.folder, iso + ".dts"), DataFile(release));
  for (const auto& [name, release] : d.ads)
    if (release == kFolder) MakeDir(In(d.folder, name + ".ads"));
    else
      WriteBytes(In(d.folder, name + ".ads"), release == kNone && rng.Chance(50) ? std::string() : DataFile(release));

  // The lists go first in TvDefault, whatever the generated file holds.
  std::vector<std::string> lines = GenerateLines(rng, FileRecipe{true, true, true, false, rng.Chance(10), true}), mine;
  auto at = std::find_if(lines.begin(), lines.end(),
                         [](const std::string& l) { return EqualNoCase(l.substr(0, 11), "[TvDefault]"); });
  at = at == lines.end() ? lines.insert(lines.end(), "[TvDefault]") + 1 : at + 1;
  for (size_t n = rng.Chance(80) ? rng.Size(1, 6) : 0, i = 0; i < n; ++i)
    mine.push_back((i ? "+" : "DataMappings=") + (i == 0 && rng.Chance(25) ? std::string() : MappingLine(rng, d)));
  for (size_t n = rng.Chance(40) ? rng.Size(1, 4) : 0, i = 0; i < n; ++i)
    mine.push_back((i ? "+" : "InstalledCountries=") + (rng.Chance(15)   ? std::string()
                                                        : rng.Chance(15) ? "GBK,Fr\fance,C:\\\x1a.dts"
                                                                         : ListEntry(rng, true)));
  lines.insert(at, mine.begin(), mine.end());
  const std::string bytes =
      rng.Chance(4) ? GenerateFile(rng, FileRecipe{true, true, true, true, false, true}) : JoinLines(rng, lines, true);
  if (!rng.Chance(3)) WriteBytes(d.ini, bytes);
  NoteFile("tvwserve.ini", bytes);
  return d;
}

// ---- The model -------------------------------------------------------

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> pieces{""};
  for (char c : text) c == '+' ? pieces.push_back("") : void(pieces.back() += c);
  return pieces;
}

// code,name,set+set as the library reads a line: the code, and the data
// sets when the line has two commas.
std::pair<std::string, std::optional<std::vector<std::string>>> ParseLine(const std::string& line) {
  const size_t first = line.find(','), second = first == std::string::npos ? first : line.find(',', first + 1);
  if (second == std::string::npos) return {Cut(line.substr(0, first), 7), std::nullopt};
  return {Cut(line.substr(0, first), 7), Split(line.substr(second + 1))};
}

bool SameSets(std::vector<std::string> a, std::vector<std::string> b) {
  for (auto* v : {&a, &b}) {
    for (std::string& s : *v)
      for (char& c : s) c = Upper(c);
    std::sort(v->begin(), v->end());
  }
  return a == b;
}

// The line of a mapping: identifiers sorted and joined up to 127 characters
// (one that would pass them left out), blanks at the end not read back.
std::string Format(const std::string& code, const std::string& name, std::vector<std::string> sets) {
  std::stable_sort(sets.begin(), sets.end(),
                   [](const std::string& a, const std::string& b) { return CompareAsciiNoCase(a, b) < 0; });
  std::string joined;
  for (const std::string& s : sets)
    if (joined.size() + s.size() + (joined.empty() ? 0 : 1) <= 127) joined += (joined.empty() ? "" : "+") + s;
  return TrimRightSpaces(code + "," + name + "," + joined);
}

// What the call must answer, and DataMappings as it must be written
// (nullopt: the file is left as it was); an update's new line begins with
// head and holds the data sets sets.
constexpr int32_t kAnyFailure = 1;
struct Expected {
  Expected(int32_t answer = 0) : status(answer) {}
  int32_t status;
  std::optional<std::vector<std::string>> mappings;
  std::string head;
  std::vector<std::string> sets;
};

// The configuration is read once the data file and the arguments passed.
Expected ExpectUpdate(const Data& d, const Doc& doc, bool readable, std::string iso, const std::string& id,
                      std::string name) {
  iso = Cut(iso, 1023);
  const auto dts = std::find_if(d.dts.begin(), d.dts.end(), [&](const auto& f) { return EqualNoCase(f.first, iso); });
  if (iso.empty() || dts == d.dts.end()) return {};
  if (dts->second == kLying) return {-1012};
  const std::string code = id.empty() ? iso : Cut(id, 255);
  name = name.empty() ? "Default layout for " + iso : Cut(name, 255);
  if (code.find(',') != std::string::npos || name.find(',') != std::string::npos ||
      iso.find('+') != std::string::npos || HoldsForbiddenControl(code + name + iso))
    return {-1096};
  if (!readable) return {kAnyFailure};
  std::vector<std::string> ids{iso};
  for (auto [file, release] : d.ads) {
    if (release == kLying) return {-1012};
    file = file.substr(0, file.find('.'));
    for (char& c : file) c = Upper(c);
    if (release == dts->second && file.find('+') == std::string::npos) ids.push_back(file);
  }
  Expected e;
  e.mappings.emplace();
  e.sets = ParseLine(Format(Cut(code, 7), Cut(name, 79), ids)).second.value();
  std::vector<std::string> codes;
  for (const std::string& line : ReadLines(doc, "TvDefault", "DataMappings").value_or(std::vector<std::string>{})) {
    if (TrimRightSpaces(line).empty()) continue;  // an empty line holds no mapping, and goes
    e.mappings->push_back(TrimRightSpaces(line));
    const auto [listed, sets] = ParseLine(e.mappings->back());
    if (sets && SameSets(*sets, e.sets)) return {};
    codes.push_back(listed);
  }
  auto taken = [&](const std::string& c) { return std::find(codes.begin(), codes.end(), c) != codes.end(); };
  std::string chosen = Cut(code, 7);
  for (int n = 0; n < 10 && taken(chosen); ++n) chosen = Cut(code, 2) + std::to_string(n);
  if (taken(chosen)) return {};
  e.head = chosen + "," + Cut(name, 79) + ",";
  return e;
}

Expected ExpectRebuild(const Doc& doc) {
  static const char* const kDataCodes[][2] = {{"GBK", "GBR+GBRKAV"}, {"GBL", "GBR+GBRLOM"}, {"GBM", "GBR+GBRMIR"},
                                              {"GBS", "GBR+GBRSOL"}, {"GBT", "GBR+GBRTEV"}, {"USV", "USA+USAVAX"},
                                              {"USS", "USA+USASOL"}};
  Expected e;
  for (std::string line : ReadLines(doc, "TvDefault", "InstalledCountries").value_or(std::vector<std::string>{})) {
    if ((line = TrimRightSpaces(line)).empty()) continue;  // read past an empty line, no mapping of it
    const size_t comma = line.find(',');
    const std::string code = line.substr(0, comma);
    std::string sets = code;
    for (const auto& row : kDataCodes)
      if (EqualNoCase(row[0], code)) sets = row[1];
    if (!e.mappings) e.mappings.emplace();
    const std::string name =
        comma == std::string::npos ? "" : line.substr(comma + 1, line.find(',', comma + 1) - comma - 1);
    e.mappings->push_back(Format(Cut(code, 7), Cut(name, 79), Split(sets)));
  }
  return e;
}

// The file a call must leave: checked against e, the new line of an update
// on its own (the order of identifiers equal but for case is the library's).
void CheckMappings(const std::string& call, const Expected& e, bool rebuild, const Doc& doc, const std::string& after) {
  Doc expected = doc;
  const Doc actual = Parse(after);
  std::vector<std::string> lines = e.mappings.value_or(std::vector<std::string>{});
  if (!rebuild) {
    const auto written = ReadLines(actual, "TvDefault", "DataMappings");
    const bool added =
        written && written->size() == lines.size() + 1 && written->back().compare(0, e.head.size(), e.head) == 0;
    const auto sets = added ? ParseLine(written->back()).second : std::nullopt;
    if (!rec.Check(sets && SameSets(*sets, e.sets), "mapping-result",
                   "the new line should begin " + Escape(e.head, 120) + " and hold " + Num(e.sets.size()) +
                       " data sets; " + call))
      return;
    lines.push_back(written->back());
  }
  if (e.mappings) Set(expected, "TvDefault", "DataMappings", Plain(lines));
  rec.Check(FirstDifference(expected, actual) < 0 && Render(actual) == after,
            rebuild ? "mapping-rebuild" : "mapping-result",
            call + "\n  expected: " + Escape(Render(expected), 400) + "\n  written:  " + Escape(after, 400));
}

// One call, made twice: the second must answer as the first and leave the
// file as it was.
void MappingCall(Rng& rng, const Data& d) {
  // clang-format off
  static const char* const kIsos[] = {"GBR", "GBR", "FRA", "NZL", "gbr", "USA", "", "GB+R", "G,R", "G\fR", "*", "G?R"};
  static const char* const kIds[] = {"", "", "", "GB", "UK-LONG-CODE", "G,B", "A\fB", "%s%n"};
  static const char* const kNames[] = {"", "", "My layout", "a,b", "x\ty", "\x01", "%s%n", "Fran\xE7" "ais  "};
  // clang-format on
  std::string before, after[2];
  const bool present = ReadBytes(d.ini, &before);
  const FileKind kind = present ? Classify(before) : FileKind::Binary;
  const Doc doc = kind != FileKind::Binary ? Parse(before) : Doc{};
  std::optional<Lock> lock;
  if (present && rng.Chance(5)) lock.emplace(d.ini), rec.Note("the file is held open by another program");
  const bool readable = present && !(lock && lock->held()) && kind != FileKind::Binary, rebuild = rng.Chance(25);
  const std::string iso = rng.Pick(kIsos), id = rng.Chance(3) ? std::string(300, 'i') : rng.Pick(kIds);
  const std::string name = rng.Chance(5) ? std::string(rng.Size(80, 300), 'n') : rng.Pick(kNames);
  const std::string what = rebuild ? "TvIsi_InstCtryToDataMap" : "TvIsi_UpdateDataMappings";
  int32_t status[2];
  for (int call = 0; call < 2; ++call) {
    rec.Step(what + "(ini" +
             (rebuild ? "" : ", " + Escape(iso, 40) + ", data, " + Escape(id, 40) + ", " + Escape(name, 40)) + ")");
    status[call] =
        rebuild ? TvIsi_InstCtryToDataMap(d.ini.c_str())
                : TvIsi_UpdateDataMappings(d.ini.c_str(), iso.c_str(), d.folder.c_str(), id.c_str(), name.c_str());
    rec.Result(" = " + Num(status[call]));
    CountCall(what.c_str(), status[call]);
    if (!lock) ReadBytes(d.ini, &after[call]);
  }
  if (lock) {
    lock.reset();
    ReadBytes(d.ini, &after[0]);
    after[1] = after[0];
  }
  rec.Check(status[1] == status[0] && after[1] == after[0], "mapping-repeat",
            what + " made twice answered " + Num(status[0]) + ", then " + Num(status[1]) +
                "; the second call changed the file: " + ByteDifference(after[0], after[1]));
  if (kind == FileKind::Unclear) return;
  const Expected e =
      rebuild ? (readable ? ExpectRebuild(doc) : Expected{kAnyFailure}) : ExpectUpdate(d, doc, readable, iso, id, name);
  const std::string call = what + " = " + Num(status[0]) + "\n  file before: " + Escape(before, 400);
  if (!rec.Check(e.status == kAnyFailure ? status[0] < 0 : status[0] == e.status, "export-status",
                 call + ", expected " + (e.status == kAnyFailure ? std::string("a failure") : Num(e.status))))
    return;
  if (e.status == 0 && (rebuild || e.mappings)) return CheckMappings(call, e, rebuild, doc, after[0]);
  rec.Check(after[0] == before, "mapping-result", "the file should be left as it was; " + call);
}

}  // namespace

void MappingCase(Rng& rng, const std::string& dir) {
  const Data d = MakeData(rng, dir);
  for (size_t n = rng.Size(1, 3); n > 0; --n) MappingCall(rng, d);
}

}  // namespace campaign
