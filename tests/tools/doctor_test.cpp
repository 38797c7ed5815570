// tvdoctor on configurations with planted faults: each fault found once, on
// its line, with its severity; for the list and mapping faults the export the
// report speaks of is run on a copy and does what the report says; hostile
// paths get a status, never a crash.
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

struct Expected {
  const char* file;  // the file's name, "" for the only one
  unsigned line;
  const char* check;
  const char* severity;
};

// A JSON field of a finding line of the report (values hold no escaped quote).
std::string Field(const std::string& line, const std::string& name) {
  const size_t at = line.find("\"" + name + "\": ");
  if (at == std::string::npos) return "";
  size_t from = at + name.size() + 4, to;
  if (line[from] == '"') to = line.find('"', ++from);
  else to = line.find_first_of(",}", from);
  return line.substr(from, to - from);
}

std::string Data(const std::string& release) { return tvtest::DataFile("[TvDefault]\nDate=" + release + "\n"); }

class Doctor : public tvtest::LibraryTest {
 protected:
  Doctor() {
    EXPECT_TRUE(CopyFileA(tvtest::ExtensionPath().c_str(), (libDir / "TVISX.dll").c_str(), FALSE));
    Configure();
  }

  // tvdoctor on the arguments: its exit code; the report in output.
  DWORD Run(const std::string& arguments, bool json = true) {
    const std::string program = tvtest::WindowsPath(TVDOCTOR_UNIX_PATH);
    const DWORD code = tvtest::RunProgram("\"" + program + "\" " + (json ? "-JSON " : "") + arguments, dir / "out");
    output = tvtest::ReadFile(dir / "out");
    return code;
  }

  // Every expected finding once, and none else but those of the checks ignored.
  void ExpectFindings(const std::vector<Expected>& expected, const std::set<std::string>& ignored = {}) {
    std::multiset<std::string> found, wanted;
    for (size_t at = 0; (at = output.find("{\"severity\"", at)) != std::string::npos; ++at) {
      const std::string line = output.substr(at, output.find('\n', at) - at);
      const std::string file = Field(line, "file");
      if (!ignored.count(Field(line, "check")))
        found.insert(file.substr(file.rfind("\\\\") + 2) + ":" + Field(line, "line") + " " + Field(line, "check") +
                     " " + Field(line, "severity"));
    }
    for (const Expected& e : expected)
      wanted.insert(std::string(e.file) + ":" + std::to_string(e.line) + " " + e.check + " " + e.severity);
    EXPECT_EQ(found, wanted) << output;
  }

  // A folder of files (path relative to it, content); "" makes a folder.
  std::string Make(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string folder = dir / name;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto& [path, content] : files) {
      for (size_t at = 0; (at = path.find('\\', at)) != std::string::npos; ++at)
        CreateDirectoryA((folder + "\\" + path.substr(0, at)).c_str(), nullptr);
      if (path.back() == '\\')
        CreateDirectoryA((folder + "\\" + path).c_str(), nullptr);
      else
        tvtest::WriteFile(folder + "\\" + path, content);
    }
    return folder;
  }

  // The planted folder copied afresh for one export: its tvwserve.ini made
  // from the template with the copy's own folder.
  std::string Copy(const std::string& name, const std::string& tvwserve,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string folder = Make(name, files);
    std::string text = tvwserve;
    for (size_t at; (at = text.find("$F")) != std::string::npos;) text.replace(at, 2, folder);
    tvtest::WriteFile(folder + "\\tvwserve.ini", text);
    return folder;
  }

  std::string output;
};

TEST_F(Doctor, FileFaultsAreFoundOnTheirLinesAndACleanFileReportsNothing) {
  const std::string text = "\xEF\xBB\xBF[A]\r\nkey=1\r\nkey=2\r[A]\r\nlong=" + std::string(295, 'x') + "\r\nlonger=" +
                           std::string(1100, 'x') + "\r\n[" + std::string(85, 's') + "]\r\n" + std::string(45, 'k') +
                           "=1\r\nInstalledData =x\r\n[Bad\r\nstray=1\r\n" + std::string(5, '\0');
  tvtest::WriteFile(dir / "client.ini", text);
  EXPECT_EQ(Run("\"" + dir / "client.ini" + "\""), 2u);
  ExpectFindings({{"client.ini", 1, "byte-order-mark", "warning"},
                  {"client.ini", 3, "repeated-key", "warning"},
                  {"client.ini", 3, "line-ends", "warning"},
                  {"client.ini", 4, "repeated-section", "warning"},
                  {"client.ini", 5, "long-line", "warning"},
                  {"client.ini", 6, "long-line", "error"},
                  {"client.ini", 7, "long-section", "error"},
                  {"client.ini", 8, "long-key", "error"},
                  {"client.ini", 9, "spaced-key", "warning"},
                  {"client.ini", 11, "key-outside-section", "warning"},
                  {"client.ini", 11, "nul-padding", "warning"}});
  EXPECT_EQ(Run("\"" + dir / "client.ini" + "\"", false), 2u);
  EXPECT_NE(output.find("\ntvdoctor: 3 errors, 8 warnings, 0 notes in 1 file checked (exit code 2)"),
            std::string::npos) << output;

  tvtest::WriteFile(dir / "clean.ini", "; comment\r\n[TvDefault]\r\nLanguage=44\r\n\r\n[Other]\r\nLanguage=49\r\n");
  EXPECT_EQ(Run("\"" + dir / "clean.ini" + "\""), 0u);
  ExpectFindings({});
}

// The server configuration of the list faults, $F its folder.
const std::string kLists =
    "[TvDefault]\r\nProgDir=$F\\Prog\r\n"
    "InstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n+FRA,France\r\n+ESPX,Spain,Data\\ESP\\ESP.dts\r\n"
    "+DEU," + std::string(100, 'G') + ",Data\\DEU\\DEU.dts\r\n+ITA,Italy,Data\\ITA\\ITA.dts\r\n"
    "+POL,Poland,Data\\POL\\POL.dts\r\n"
    "InstalledData=GBR,Data\\GBR\r\n+gbr,data\\gbr\r\n+ESP,Data\\ESP\r\n+ESP,Data\\Gone\r\n+ITA,Data\\ITA\r\n"
    "+POL,Data\\POL\r\n"
    "+NLD,Data\\NLD\r\n+SWE," + std::string(300, 'S') + "\r\n+AUT\r\n+\r\n+USA,Data\\USA\r\n"
    "NewInstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n+CZE,Czechia,Data\\CZE\\CZE.dts\r\n";

TEST_F(Doctor, ListFaultsAreFoundAndTheExportsDoWhatTheReportSays) {
  const std::vector<std::pair<std::string, std::string>> data = {
      {"Prog\\Data\\GBR\\GBR.dts", Data("01 01 2020")}, {"Prog\\Data\\ESP\\ESP.dts", Data("01 01 2020")},
      {"Prog\\Data\\DEU\\DEU.dts", Data("01 01 2020")}, {"Prog\\Data\\NLD\\NLD.dts", Data("01 01 2020")},
      {"Prog\\Data\\ITA\\", ""}, {"Prog\\Data\\CZE\\CZE.dts\\", ""}};
  EXPECT_EQ(Run("\"" + Copy("planted", kLists, data) + "\""), 2u);
  ExpectFindings({{"tvwserve.ini", 4, "list-entry-form", "error"},
                  {"tvwserve.ini", 5, "code-too-long", "warning"},
                  {"tvwserve.ini", 6, "name-too-long", "warning"},
                  {"tvwserve.ini", 6, "country-without-data", "note"},
                  {"tvwserve.ini", 7, "data-file-missing", "warning"},
                  {"tvwserve.ini", 8, "data-folder-missing", "warning"},
                  {"tvwserve.ini", 10, "repeated-entry", "warning"},
                  {"tvwserve.ini", 13, "data-file-missing", "warning"},  // line 12: never examined, ESP has its data
                  {"tvwserve.ini", 14, "data-folder-missing", "warning"},
                  {"tvwserve.ini", 15, "data-without-country", "warning"},
                  {"tvwserve.ini", 16, "field-too-long", "error"},
                  {"tvwserve.ini", 16, "long-line", "warning"},
                  {"tvwserve.ini", 17, "list-entry-form", "error"},
                  {"tvwserve.ini", 18, "list-gap", "error"},
                  {"tvwserve.ini", 20, "new-list", "warning"},
                  {"tvwserve.ini", 20, "country-without-data", "note"},
                  {"tvwserve.ini", 21, "data-file-missing", "warning"},  // a folder named like the file
                  {"tvwserve.ini", 21, "country-without-data", "note"}},
                 {"release"});

  Load();
  ASSERT_EQ(Start(), 0);
  char code[4], dataDir[256], baseDir[256];
  int32_t flags = 0;
  // Discovery: what it finds of each country, in a fresh copy each.
  const struct {
    const char* country;
    const char* found;    // code reported
    const char* dataDir;  // as reported, "$F" the copy's folder
  } discovered[] = {
      {"ESP", "ESP", "$F\\Prog\\Data\\ESP"},  // ESPX read as ESP
      {"ITA", "ITA", "$F\\Prog\\Data\\ITA"},  // no data file: the folder of the last entry examined
      {"CZE", "CZE", "$F\\Prog\\Data\\CZE"},  // CZE.dts is a folder
      {"POL", "POL", "$F\\Data"},             // no data folder
      {"SWE", "SWE", "$F\\Data"},             // a folder too long for a path
      {"USA", "", ""},                        // below the empty entry: never read
      {"AUT", "AUT", ""},                     // no folder: the current one, which holds AUT.dts
  };
  tvtest::WriteFile(dir / "AUT.dts", Data("01 01 2020"));
  auto check = TV_GET(*lib, TvIsi_CheckIniForData);
  for (const auto& d : discovered) {
    const std::string folder = Copy(std::string("find") + d.country, kLists, data);
    std::string expected = d.dataDir;
    if (expected.rfind("$F", 0) == 0) expected.replace(0, 2, folder);
    EXPECT_EQ(check(folder.c_str(), d.country, 0, code, dataDir, baseDir, &flags), 0) << d.country;
    EXPECT_EQ(std::string(code) + "|" + dataDir, std::string(d.found) + "|" + expected) << d.country;
  }
  // The update of the data list replaces both repeats and drops the empty
  // entry, so that USA becomes visible.
  std::string folder = Copy("update", kLists, data);
  EXPECT_EQ(TV_GET(*lib, TvIsi_UpdateTvwserveV5)((folder + "\\tvwserve.ini").c_str(), "GBR,Data\\GBR2", 1, 0, 0), 0);
  std::string ini = tvtest::ReadFile(folder + "\\tvwserve.ini");
  EXPECT_EQ(ini.find("\r\n+gbr,data\\gbr"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("\r\n+\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\r\n+USA,Data\\USA"), std::string::npos) << ini;
  // The conversion records FRA with an empty folder and adds DEU.
  folder = Copy("convert", kLists, data);
  EXPECT_EQ(TV_GET(*lib, TvIsi_InstalledCountriesToData)((folder + "\\tvwserve.ini").c_str()), 0);
  ini = tvtest::ReadFile(folder + "\\tvwserve.ini");
  EXPECT_NE(ini.find("\r\n+FRA,\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\r\n+DEU,Data\\DEU\r\n"), std::string::npos) << ini;
  // The mappings made from the countries cut the long name to 79.
  folder = Copy("mapped", kLists, data);
  EXPECT_EQ(TV_GET(*lib, TvIsi_InstCtryToDataMap)((folder + "\\tvwserve.ini").c_str()), 0);
  EXPECT_NE(tvtest::ReadFile(folder + "\\tvwserve.ini").find("+DEU," + std::string(79, 'G') + ",DEU\r\n"),
            std::string::npos);
  // NLD is not recorded for TvIsi_IsISOPresent.
  EXPECT_NE(TV_GET(*lib, TvIsi_IsISOPresent)("NLD", Copy("present", kLists, data).c_str()), 0);
  // No server configuration: the update records in InstalledCountries, the New list stays.
  folder = Copy("record", kLists, data);
  EXPECT_EQ(TV_GET(*lib, TvIsi_UpdateDataKeys)((folder + "\\tvwserve.ini").c_str(), "SVK,Slovakia,Data\\SVK\\SVK.dts", 4), 0);
  ini = tvtest::ReadFile(folder + "\\tvwserve.ini");
  EXPECT_NE(ini.find("\r\n+SVK,Slovakia,Data\\SVK\\SVK.dts\r\nInstalledData="), std::string::npos) << ini;
  EXPECT_NE(ini.find("NewInstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n"), std::string::npos) << ini;
}

// The mapping faults: each on a country of its own, $F the folder.
const std::string kMappings =
    "[Layout 0]\r\nName=first\r\n[TvDefault]\r\nProgDir=$F\\Prog\r\nCountryBase=ITA\r\n"
    "InstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n+ITA,Italy,Data\\ITA\\ITA.dts\r\n"
    "+ESP,Spain,Data\\ESP\\ESP.dts\r\n+DEU,Germany,Data\\DEU\\DEU.dts\r\n+NLD,Netherlands,Data\\NLD\\NLD.dts\r\n"
    "+POL,Poland,Data\\POL\\POL.dts\r\n"
    "DataMappings=GBR,United Kingdom,GBR+GBRKAV\r\n+GBR,United Kingdom,GBR+GBRKAV\r\n+ITA,Italy,ITA\r\n+ESP,Spain\r\n"
    "+DEUTSCHLAND,Germany,DEU\r\n+NLD,Netherlands,NLD+NLDXYZ\r\n+POL,Poland,POL+\r\n+GB3,Mirror,GBR+GBRMIR\r\n"
    "[Layout A]\r\nCountryBase=GBR\r\nDataMapping=GB3\r\n";
const std::string kMappingsGap =
    "[TvDefault]\r\nProgDir=$F\\Prog\r\nInstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n"
    "DataMappings=\r\n+GBR,United Kingdom,GBR+GBRKAV\r\n+GBR,Another,GBR\r\n";  // a code again, other data sets

TEST_F(Doctor, MappingFaultsAreFoundAndTheExportsDoWhatTheReportSays) {
  std::vector<std::pair<std::string, std::string>> data = {
      {"Prog\\Data\\GBR\\GBR.dts", Data("2020")}, {"Prog\\Data\\GBR\\GBRKAV.ads", Data("2020")},
      {"Prog\\Data\\GBR\\GBRMIR.ads", Data("2019")}, {"Prog\\Data\\ITA\\ITA.dts", Data("2020")},
      {"Prog\\Data\\ITA\\ITA+X.ads", Data("2020")}};
  for (const char* country : {"ESP", "DEU", "NLD", "POL"})
    data.push_back({std::string("Prog\\Data\\") + country + "\\" + country + ".dts", Data("2020")});
  const std::string planted = Copy("planted", kMappings, data), gap = Copy("gap", kMappingsGap, data);
  EXPECT_EQ(Run("\"" + planted + "\" \"" + gap + "\""), 2u);
  ExpectFindings({{"tvwserve.ini", 5, "mapping-key", "note"},
                  {"tvwserve.ini", 5, "default-mapping-key", "warning"},
                  {"tvwserve.ini", 13, "repeated-mapping", "warning"},
                  {"tvwserve.ini", 14, "data-set-plus", "error"},
                  {"tvwserve.ini", 15, "mapping-form", "warning"},
                  {"tvwserve.ini", 16, "mapping-code-too-long", "warning"},
                  {"tvwserve.ini", 17, "data-set-missing", "warning"},
                  {"tvwserve.ini", 18, "mapping-form", "warning"},
                  {"tvwserve.ini", 19, "other-release", "warning"},
                  {"tvwserve.ini", 21, "mapping-key", "note"},
                  {"tvwserve.ini", 22, "mapping-key", "note"},
                  {"tvwserve.ini", 21, "both-mapping-keys", "error"},
                  {"tvwserve.ini", 4, "mappings-gap", "warning"}},
                 {"release", "country-without-data"});

  Load();
  ASSERT_EQ(Start(), 0);
  auto update = TV_GET(*lib, TvIsi_UpdateDataMappings);
  // Each update on a fresh copy: what its mappings become.
  const struct {
    const char* country;
    const char* id;
    std::function<bool(const std::string& before, const std::string& after)> outcome;
  } updates[] = {
      // The repeat and GB3's data set of another release: the update finds the first and adds nothing.
      {"GBR", "", [](auto& before, auto& after) { return before == after; }},
      // The "+" file is passed over: no mapping names it.
      {"ITA", "", [](auto&, auto& after) { return after.find("ITA+X") == std::string::npos; }},
      {"ESP", "", [](auto&, auto& after) { return after.find("+ES0,Default layout for ESP,ESP\r\n") != std::string::npos; }},
      {"DEU", "DEUTSCH", [](auto& before, auto& after) { return before == after; }},
      {"NLD", "", [](auto&, auto& after) { return after.find("+NL0,Default layout for NLD,NLD\r\n") != std::string::npos; }},
      {"POL", "", [](auto&, auto& after) { return after.find("+PO0,Default layout for POL,POL\r\n") != std::string::npos; }},
  };
  for (const auto& u : updates) {
    const std::string folder = Copy(std::string("update") + u.country, kMappings, data);
    const std::string before = tvtest::ReadFile(folder + "\\tvwserve.ini");
    EXPECT_EQ(update((folder + "\\tvwserve.ini").c_str(), u.country,
                     (folder + "\\Prog\\Data\\" + u.country).c_str(), u.id, ""), 0) << u.country;
    const std::string after = tvtest::ReadFile(folder + "\\tvwserve.ini");
    EXPECT_TRUE(u.outcome(before, after)) << u.country << "\n" << after;
  }
  // The mappings below an empty first line are kept, each line as it stood.
  std::string folder = Copy("updateGap", kMappingsGap, data);
  EXPECT_EQ(update((folder + "\\tvwserve.ini").c_str(), "GBR", (folder + "\\Prog\\Data\\GBR").c_str(), "", ""), 0);
  const std::string after = tvtest::ReadFile(folder + "\\tvwserve.ini");
  EXPECT_NE(after.find("+GBR,United Kingdom,GBR+GBRKAV\r\n+GBR,Another,GBR\r\n"), std::string::npos) << after;
  // The rename puts CountryBase's value in place of DataMapping's, and lends TvDefault's above it.
  folder = Copy("rename", kMappings, data);
  EXPECT_EQ(TV_GET(*lib, TvIsi_CountryBaseToDataMap)((folder + "\\tvwserve.ini").c_str()), 0);
  const std::string renamed = tvtest::ReadFile(folder + "\\tvwserve.ini");
  EXPECT_NE(renamed.find("[Layout A]\r\nDataMapping=GBR\r\n"), std::string::npos) << renamed;
  EXPECT_EQ(renamed.find("CountryBase"), std::string::npos) << renamed;
  EXPECT_NE(renamed.find("[Layout 0]\r\nName=first\r\nDataMapping=ITA\r\n"), std::string::npos) << renamed;
}

TEST_F(Doctor, ProductsAndReleasesAreNamed) {
  const std::string config = "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledData=GBR,$F\r\n+USA,$F\\USA\r\n+NLD,$F\\NLD\r\n";
  const std::string folder = Copy("server", config, {{"GBR.dts", Data("15 06 2012")}, {"USA\\USA.rds", "no trailer"},
                                                     {"NLD\\NLD.dts", tvtest::DataFile("[TvDefault]\nDate=1\n", "x", 500)}});
  const std::string beside = Make("beside", {{"tvwserve.ini", "[TvDefault]\r\n"}, {"tvknet.exe", "program"}});
  EXPECT_EQ(Run("\"" + folder + "\" \"" + beside + "\""), 2u);
  ExpectFindings({{"tvwserve.ini", 2, "products", "note"},
                  {"tvwserve.ini", 0, "server-configuration", "note"},
                  {"tvwserve.ini", 3, "release", "note"},
                  {"tvwserve.ini", 4, "no-release", "warning"},
                  {"tvwserve.ini", 5, "damaged-trailer", "error"},
                  {"tvwserve.ini", 0, "products", "note"}},
                 {"data-without-country"});
  EXPECT_NE(output.find("finds the settings UsedByKeelNet true (mask 0x2080)"), std::string::npos) << output;
  EXPECT_NE(output.find("tvknet.exe (KeelNet), tvknet.exe (KeelHost) (mask 0x20C0)"), std::string::npos) << output;
  EXPECT_NE(output.find("release \\\"15 06 2012\\\""), std::string::npos) << output;
}

TEST_F(Doctor, HostilePathsGetAStatus) {
  const std::string binary = Make("binary", {{"tvwserve.ini", std::string("\x7F" "ELF\x01\x00\x02", 7)}});
  EXPECT_EQ(Run("\"" + binary + "\""), 2u);
  ExpectFindings({{"tvwserve.ini", 1, "not-ini-text", "error"}});

  // A product holding the file open for writing, sharing it, is not disturbed.
  const std::string shared = Make("shared", {{"tvwserve.ini", "[TvDefault]\r\n"}});
  HANDLE writer = CreateFileA((shared + "\\tvwserve.ini").c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Run("\"" + shared + "\""), 0u) << output;
  CloseHandle(writer);

  // 50 MB, written a megabyte at a time (the 32-bit test has little room).
  HANDLE big = CreateFileA((dir / "big.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string megabyte(1u << 20, 'x');
  DWORD written = 0;
  for (int i = 0; i < 50; ++i) WriteFile(big, megabyte.data(), static_cast<DWORD>(megabyte.size()), &written, nullptr);
  CloseHandle(big);
  const std::string folderNamedIni = Make("folder", {{"tvwserve.ini\\", ""}});
  const std::string locked = Make("locked", {{"tvwserve.ini", "[TvDefault]\r\n"}});
  tvtest::Locked hold(locked + "\\tvwserve.ini");
  const std::string longPath = dir.path() + "\\" + std::string(300 - dir.path().size(), 'p') + ".ini";
  EXPECT_EQ(Run("\"" + dir / "big.ini" + "\" \"" + folderNamedIni + "\" \"" + locked + "\" \"" + longPath + "\" \"" +
                dir / "missing" + "\""),
            3u);
  for (const char* failure : {"more than the 16 MB this tool reads", "a folder, not a configuration file",
                              "another program holds it without sharing", "more than 255 characters",
                              "it does not exist"})
    EXPECT_NE(output.find(failure), std::string::npos) << failure << "\n" << output;
  ExpectFindings({});
}

}  // namespace
