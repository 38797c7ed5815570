// case_mappings.cpp: the family that drives the data-mapping exports, on
// data folders of generated .ads names (with "+", long names, blanks,
// accents, commas) and releases, and on DataMappings and InstalledCountries
// lists with empty, over-long and odd lines. Every call is made twice: the
// second must answer as the first and leave the file as the first left it.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "cases.h"
#include "exports.h"
#include "families.h"
#include "generator.h"
#include "lists.h"
#include "tv_trailer.h"

namespace campaign {

namespace {

const char* const kReleases[] = {"12 09 2003", "01 03 2004", "12 09 2003 Autumn"};
enum Release { kNone = -1, kLying = -2, kFolder = -3 };

// A data file as the data maker writes it: content, then the ini text as a
// trailer (a lying one claims more bytes than the file holds).
std::string DataFile(int release) {
  if (release == kNone) return "no trailer in this data file";
  const std::string ini = "[TvDefault]\nDate=" + std::string(kReleases[release < 0 ? 0 : release]) + "\n";
  const std::string magic("\x00\x00\xFF\xA5\x5A\xFF", 6), summed = ini + std::string("\n[\0", 3);
  auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string out = "data" + magic + le32(release == kLying ? 4000 : static_cast<uint32_t>(ini.size())) +
                    le32(TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : ini) out += static_cast<char>(~c);
  return out + magic + le32(~4u);
}

int PickRelease(Rng& rng) {
  const uint64_t r = rng.Below(100);
  return r < 60 ? 0 : r < 75 ? static_cast<int>(rng.Size(1, 2)) : r < 90 ? kNone : r < 92 ? kLying : r < 96 ? kFolder : 0;
}

std::string AdsName(Rng& rng) {
  static const char* const kOdd[] = {"A+B", "+lead", "trail+", "zz ", " lead", "Caf\xE9", "two.dots", "a,b",
                                     "%s%n", "x=y;[z]", "GBRVEL", "gbrnob", "NZLTOV", "GBRSAB", "extra", "gbr"};
  switch (rng.Below(5)) {
    case 0: return std::string(rng.Size(100, 150), static_cast<char>('a' + rng.Below(26)));
    case 1: return rng.Pick(kOdd);
    default: {
      std::string s;
      for (size_t n = rng.Size(1, 8); n > 0; --n) s += "abcdefXYZ0_-+ "[rng.Below(14)];
      return s.back() == ' ' || s.front() == '+' ? s + "q" : s;
    }
  }
}

struct Data {
  std::string dir, ini, folder;
  std::vector<std::pair<std::string, int>> ads;   // name without .ads, release
  std::vector<std::pair<std::string, int>> dts;   // country, release of its .dts
  std::vector<std::string> products;
};

std::string MappingLine(Rng& rng, const Data& d) {
  static const char* const kCodes[] = {"GBR", "GB0", "GB1", "GB9", "gbr", "USA", "UK", "LONGCODE9"};
  const std::string code = rng.Pick(kCodes);
  switch (rng.Below(14)) {
    case 0: return "";
    case 1: return "   ";
    case 2: return code + ",x," + std::string(rng.Size(128, 400), 'A') + "+B";
    case 3: return code + "," + std::string(rng.Size(80, 120), 'n') + ",GBR";
    case 4: return code + (rng.Chance(50) ? ",x\f," : ",\x1a,") + "GBR";
    case 5: return rng.Chance(50) ? code : code + ",name";
    case 6: return code + ",x,GBR  ";
    case 7: return std::string(5000, 'L');
    default: {
      // Often the data sets an update of the folder makes, or some of them.
      std::string sets = d.dts.empty() ? "GBR" : rng.Pick(d.dts).first;
      for (const auto& a : d.ads)
        if (rng.Chance(60)) sets += "+" + a.first.substr(0, a.first.find('.'));
      for (char& c : sets) c = Upper(c);
      return code + ",Name," + sets;
    }
  }
}

Data MakeData(Rng& rng, const std::string& dir) {
  Data d{dir, In(dir, "tvwserve.ini"), In(dir, "Data"), {}, {}, {}};
  MakeDir(d.folder);
  for (const char* iso : {"GBR", "FRA", "NZL", "GB+R", "G,R"})
    if (rng.Chance(iso[2] == 'R' || iso[1] == 'R' || iso[0] == 'N' ? 70 : 15))
      d.dts.push_back({iso, rng.Chance(10) ? kNone : rng.Chance(3) ? kLying : 0});
  std::vector<std::string> taken;  // the file system ignores case
  for (size_t n = rng.Size(0, 7); n > 0; --n) {
    const std::string name = AdsName(rng);
    std::string upper = name;
    for (char& c : upper) c = Upper(c);
    if (std::find(taken.begin(), taken.end(), upper) != taken.end()) continue;
    taken.push_back(upper);
    d.ads.push_back({name, rng.Chance(5) ? kNone : PickRelease(rng)});
  }
  for (const auto& [iso, release] : d.dts) WriteBytes(In(d.folder, iso + ".dts"), DataFile(release));
  for (const auto& [name, release] : d.ads)
    if (release == kFolder) MakeDir(In(d.folder, name + ".ads"));
    else WriteBytes(In(d.folder, name + ".ads"), release == kNone && rng.Chance(50) ? std::string() : DataFile(release));
  for (const std::string& file : kProductFiles)
    if (rng.Chance(6)) {
      WriteBytes(In(dir, file), "");
      d.products.push_back(file);
    }

  std::vector<std::string> lines = GenerateLines(rng, FileRecipe{true, true, true, false, rng.Chance(10), true});
  auto at = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return EqualNoCase(l.substr(0, 11), "[TvDefault]"); });
  at = at == lines.end() ? lines.insert(lines.end(), "[TvDefault]") + 1 : at + 1;
  std::vector<std::string> mine;
  if (rng.Chance(80))
    for (size_t n = rng.Size(1, 6), i = 0; i < n; ++i)
      mine.push_back((i ? "+" : "DataMappings=") + (i == 0 && rng.Chance(25) ? std::string() : MappingLine(rng, d)));
  if (rng.Chance(40))
    for (size_t n = rng.Size(1, 4), i = 0; i < n; ++i)
      mine.push_back((i ? "+" : "InstalledCountries=") +
                     (rng.Chance(15) ? std::string() : rng.Chance(15) ? "GBK,Fr\fance,C:\\\x1a.dts" : ListEntry(rng, true)));
  lines.insert(at, mine.begin(), mine.end());
  const std::string bytes = rng.Chance(4) ? GenerateFile(rng, FileRecipe{true, true, true, true, false, true})
                                          : JoinLines(rng, lines, true);
  if (!rng.Chance(3)) WriteBytes(d.ini, bytes);
  NoteFile("tvwserve.ini", bytes);
  return d;
}

// ---- The model -------------------------------------------------------

struct Mapping {
  std::string code;
  std::vector<std::string> sets;
  bool hasSets = false;
};

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> pieces{""};
  for (char c : text) c == '+' ? pieces.push_back("") : void(pieces.back() += c);
  return pieces;
}

// code,name,set+set as the library reads a line.
Mapping ParseLine(const std::string& line) {
  Mapping m{Cut(line.substr(0, line.find(',')), 7), {}, false};
  const size_t first = line.find(','), second = first == std::string::npos ? first : line.find(',', first + 1);
  if (second == std::string::npos) return m;
  m.sets = Split(line.substr(second + 1));
  m.hasSets = true;
  return m;
}

bool SameSets(std::vector<std::string> a, std::vector<std::string> b) {
  if (a.size() != b.size()) return false;
  auto fold = [](std::vector<std::string>& v) {
    for (std::string& s : v)
      for (char& c : s) c = Upper(c);
    std::sort(v.begin(), v.end());
  };
  fold(a);
  fold(b);
  return a == b;
}

// The line of a mapping: identifiers sorted and joined up to 127 characters
// (one that would pass them left out), blanks at the end not read back.
std::string Format(const std::string& code, const std::string& name, std::vector<std::string> sets) {
  std::stable_sort(sets.begin(), sets.end(), [](const std::string& a, const std::string& b) { return CompareAsciiNoCase(a, b) < 0; });
  std::string joined;
  size_t used = 0;
  for (const std::string& s : sets) {
    const size_t more = s.size() + (used ? 1 : 0);
    if (used + more > 127) continue;
    joined += (used ? "+" : "") + s;
    used += more;
  }
  return TrimRightSpaces(code + "," + name + "," + joined);
}

bool Excluded(const std::string& id, int32_t products) {
  static const struct { const char* id; int32_t families; } kRows[] = {
      {"GBRVEL", 0xE000}, {"GBRDUN", 0xE000}, {"GBRFIP", 0xE000}, {"GBRHOL", 0xE000}, {"GBRJEX", 0xE000}, {"GBRKIR", 0xE000},
      {"GBRLAV", 0xE000}, {"GBRNOB", 0xB000}, {"GBRPUX", 0xB000}, {"GBRRIM", 0xB000}, {"GBRSAB", 0xB000}, {"NZLTOV", 0xF000}};
  for (const auto& row : kRows)
    if (EqualNoCase(row.id, id) && (row.families & products)) return true;
  return false;
}

bool Holds(const std::string& text, const char* chars) { return text.find_first_of(chars) != std::string::npos; }

int32_t Update(const Data& d, const std::string& iso, const std::string& id, const std::string& name) {
  rec.Step("TvIsi_UpdateDataMappings(ini, " + Escape(iso, 40) + ", data, " + Escape(id, 40) + ", " + Escape(name, 40) + ")");
  const int32_t status = TvIsi_UpdateDataMappings(d.ini.c_str(), iso.c_str(), d.folder.c_str(), id.c_str(), name.c_str());
  rec.Result(" = " + Num(status));
  Called("TvIsi_UpdateDataMappings", status);
  return status;
}

int32_t Rebuild(const Data& d) {
  rec.Step("TvIsi_InstCtryToDataMap(ini)");
  const int32_t status = TvIsi_InstCtryToDataMap(d.ini.c_str());
  rec.Result(" = " + Num(status));
  Called("TvIsi_InstCtryToDataMap", status);
  return status;
}

// What the file must hold after the call: mappings nullopt when it must be
// left as it was; the new line of an update is described by added...
constexpr int32_t kAnyFailure = 1;
struct Expected {
  int32_t status = 0;  // or kAnyFailure
  std::optional<std::vector<std::string>> mappings;  // DataMappings as written
  std::string addedCode, addedName;
  std::vector<std::string> addedSets;
};
Expected Failing(int32_t status) {
  Expected e;
  e.status = status;
  return e;
}

// The configuration is read only once the data file and the arguments passed.
Expected ExpectUpdate(const Data& d, const Doc& doc, bool readable, std::string iso, const std::string& id,
                      std::string name) {
  iso = Cut(iso, 1023);
  const auto dts = std::find_if(d.dts.begin(), d.dts.end(), [&](const auto& f) { return EqualNoCase(f.first, iso); });
  if (iso.empty() || dts == d.dts.end()) return {};
  if (dts->second == kLying) return Failing(-1012);
  const std::string fullCode = id.empty() ? iso : Cut(id, 255), code = Cut(fullCode, 7);
  name = name.empty() ? "Default layout for " + iso : Cut(name, 255);
  auto control = [](const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
  };
  if (Holds(fullCode, ",") || Holds(name, ",") || Holds(iso, "+") || control(fullCode) || control(name) || control(iso))
    return Failing(-1096);
  if (!readable) return Failing(kAnyFailure);
  name = Cut(name, 79);
  std::vector<std::string> sets{iso};
  for (const auto& [file, release] : d.ads) {
    if (release == kLying) return Failing(-1012);
    std::string identifier = file.substr(0, file.find('.'));
    for (char& c : identifier) c = Upper(c);
    if (release == dts->second && !Holds(identifier, "+") && !Excluded(identifier, ExpectProducts(doc, d.products)))
      sets.push_back(identifier);
  }
  const std::vector<std::string> written = ParseLine(Format(code, name, sets)).sets;
  std::vector<std::string> kept;
  std::vector<Mapping> mappings;
  for (const std::string& line : ReadLines(doc, "TvDefault", "DataMappings").value_or(std::vector<std::string>{}))
    if (!TrimRightSpaces(line).empty()) {
      kept.push_back(TrimRightSpaces(line));
      mappings.push_back(ParseLine(kept.back()));
      if (mappings.back().hasSets && SameSets(mappings.back().sets, written)) return {};
    }
  auto taken = [&](const std::string& c) {
    return std::any_of(mappings.begin(), mappings.end(), [&](const Mapping& m) { return m.code == c; });
  };
  std::string chosen = code;
  for (int n = 0; n < 10 && taken(chosen); ++n) chosen = Cut(code, 2) + std::to_string(n);
  if (taken(chosen)) return {};
  Expected e;
  e.mappings = kept;
  e.addedCode = chosen;
  e.addedName = name;
  e.addedSets = written;
  return e;
}

Expected ExpectRebuild(const Doc& doc) {
  static const char* const kDataCodes[][2] = {{"GBK", "GBR+GBRKAV"}, {"GBL", "GBR+GBRLOM"}, {"GBM", "GBR+GBRMIR"},
      {"GBS", "GBR+GBRSOL"}, {"GBT", "GBR+GBRTEV"}, {"USV", "USA+USAVAX"}, {"USS", "USA+USASOL"}};
  std::vector<std::string> lines;
  for (std::string line : ReadLines(doc, "TvDefault", "InstalledCountries").value_or(std::vector<std::string>{})) {
    line = TrimRightSpaces(line);
    if (line.empty()) continue;
    const size_t comma = line.find(',');
    const std::string code = line.substr(0, comma);
    const std::string name = comma == std::string::npos ? "" : line.substr(comma + 1, line.find(',', comma + 1) - comma - 1);
    std::string sets = code;
    for (const auto& row : kDataCodes)
      if (EqualNoCase(row[0], code)) sets = row[1];
    lines.push_back(Format(Cut(code, 7), Cut(name, 79), Split(sets)));
  }
  Expected e;
  if (!lines.empty()) e.mappings = lines;
  return e;
}

// One call, made twice: the status and the file the model expects, and the
// second call answers and leaves the same.
void MappingCall(Rng& rng, const Data& d) {
  std::string before;
  const bool present = ReadBytes(d.ini, &before);
  const FileKind kind = present ? Classify(before) : FileKind::Binary;
  const Doc doc = present && kind != FileKind::Binary ? Parse(before) : Doc{};
  std::unique_ptr<Lock> lock;
  if (present && rng.Chance(5)) {
    lock = std::make_unique<Lock>(d.ini);
    rec.Note("the file is held open by another program");
  }
  const bool readable = present && !(lock && lock->held()) && kind != FileKind::Binary;
  const bool rebuild = rng.Chance(25);
  static const char* const kIsos[] = {"GBR", "GBR", "FRA", "NZL", "gbr", "USA", "", "GB+R", "G,R", "G\fR", "*", "G?R"};
  static const char* const kIds[] = {"", "", "", "GB", "UK-LONG-CODE", "G,B", "A\fB", "%s%n"};
  static const char* const kNames[] = {"", "", "My layout", "a,b", "x\ty", "\x01", "%s%n", "Fran\xE7" "ais  "};
  const std::string iso = rng.Pick(kIsos), id = rng.Chance(3) ? std::string(300, 'i') : rng.Pick(kIds);
  const std::string name = rng.Chance(5) ? std::string(rng.Size(80, 300), 'n') : rng.Pick(kNames);
  int32_t status[2];
  std::string after[2];
  for (int call = 0; call < 2; ++call) {
    status[call] = rebuild ? Rebuild(d) : Update(d, iso, id, name);
    if (!lock) ReadBytes(d.ini, &after[call]);
  }
  if (lock) {
    lock.reset();
    ReadBytes(d.ini, &after[0]);
    after[1] = after[0];
  }
  const std::string what = rebuild ? "TvIsi_InstCtryToDataMap" : "TvIsi_UpdateDataMappings";
  rec.Check(status[1] == status[0] && after[1] == after[0], "mapping-repeat",
            what + " made twice answered " + Num(status[0]) + ", then " + Num(status[1]) + "; the second call changed the file: " +
                ByteDifference(after[0], after[1]));
  if (kind == FileKind::Unclear) return;
  const Expected e = rebuild ? (readable ? ExpectRebuild(doc) : Failing(kAnyFailure)) : ExpectUpdate(d, doc, readable, iso, id, name);
  const std::string call = what + " = " + Num(status[0]) + "\n  file before: " + Escape(before, 400);
  if (!rec.Check(e.status == kAnyFailure ? status[0] < 0 : status[0] == e.status, "export-status",
                 call + ", expected " + (e.status == kAnyFailure ? std::string("a failure") : Num(e.status))))
    return;
  if (e.status != 0 || (!rebuild && !e.mappings)) {
    rec.Check(after[0] == before, "mapping-result", "the file should be left as it was; " + call);
    return;
  }
  Doc expected = doc;
  const Doc actual = Parse(after[0]);
  std::vector<std::string> lines = e.mappings.value_or(std::vector<std::string>{});
  if (!rebuild) {
    const auto written = ReadLines(actual, "TvDefault", "DataMappings");
    const Mapping added = written && written->size() == lines.size() + 1 ? ParseLine(written->back()) : Mapping{};
    const std::string head = e.addedCode + "," + e.addedName + ",";
    if (!rec.Check(added.hasSets && written->back().compare(0, head.size(), head) == 0 && SameSets(added.sets, e.addedSets),
                   "mapping-result", "the new line should begin " + Escape(head, 120) + " and hold " +
                                         std::to_string(e.addedSets.size()) + " data sets; " + call))
      return;
    lines.push_back(written->back());
  }
  if (e.mappings) Set(expected, "TvDefault", "DataMappings", Plain(lines));
  rec.Check(FirstDifference(expected, actual) < 0 && Render(actual) == after[0], rebuild ? "mapping-rebuild" : "mapping-result",
            call + "\n  expected: " + Escape(Render(expected), 400) + "\n  written:  " + Escape(after[0], 400));
}

}  // namespace

void MappingCase(Rng& rng, const std::string& dir) {
  const Data d = MakeData(rng, dir);
  for (size_t n = rng.Size(1, 3); n > 0; --n) MappingCall(rng, d);
}

}  // namespace campaign
