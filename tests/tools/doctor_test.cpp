// tvdoctor on configurations with planted faults: each fault found once, on
// its line, with its severity; hostile paths get a status, never a crash.
// (What the exports do on such lists: tests/extension.)
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;
using tvtest::Has;
using tvtest::ReadFile;

// A JSON field of a finding line of the report (values hold no escaped quote).
std::string Field(const std::string& line, const std::string& name) {
  const size_t at = line.find("\"" + name + "\": ");
  if (at == std::string::npos) return "";
  size_t from = at + name.size() + 4, to;
  if (line[from] == '"') to = line.find('"', ++from);
  else to = line.find_first_of(",}", from);
  return line.substr(from, to - from);
}

// A template with $F replaced by the folder.
std::string Fill(std::string text, const std::string& folder) {
  for (size_t at; (at = text.find("$F")) != std::string::npos;) text.replace(at, 2, folder);
  return text;
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
    output = ReadFile(dir / "out");
    return code;
  }

  // Every expected finding ("line check severity", by ", " apart, all of
  // the one file) once, and none else but those of the checks ignored.
  void ExpectFindings(const std::string& file, const std::string& expected, const std::set<std::string>& ignored = {}) {
    std::multiset<std::string> found, wanted;
    for (size_t at = 0; (at = output.find("{\"severity\"", at)) != std::string::npos; ++at) {
      const std::string line = output.substr(at, output.find('\n', at) - at), path = Field(line, "file");
      if (!ignored.count(Field(line, "check")))
        found.insert(path.substr(path.rfind("\\\\") + 2) + ":" + Field(line, "line") + " " + Field(line, "check") +
                     " " + Field(line, "severity"));
    }
    std::istringstream list(expected);
    for (std::string item; std::getline(list >> std::ws, item, ',');) wanted.insert(file + ":" + item);
    EXPECT_EQ(found, wanted) << output;
  }

  // A folder of files (path relative to it, content); a path ending in "\" makes a folder.
  std::string Make(const std::string& name, const Files& files) {
    const std::string folder = dir / name;
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto& [path, content] : files) tvtest::Put(folder, folder + "\\" + path, content);
    return folder;
  }

  // The planted folder copied afresh for one export: its tvwserve.ini made
  // from the template with the copy's own folder ($F).
  std::string Copy(const std::string& name, const std::string& tvwserve, const Files& files) {
    const std::string folder = Make(name, files);
    tvtest::WriteFile(folder + "\\tvwserve.ini", Fill(tvwserve, folder));
    return folder;
  }

  std::string output;
};

TEST_F(Doctor, FileFaultsAreFoundOnTheirLinesAndACleanFileReportsNothing) {
  const std::string text = "\xEF\xBB\xBF[A]\r\nkey=1\r\nkey=2\r[A]\r\nlong=" + std::string(251, 'x') +
                           "\r\nlonger=" + std::string(1017, 'x') + "\r\n[" + std::string(85, 's') + "]\r\n" +
                           std::string(40, 'k') + "=1\r\nInstalledData =x\r\n[Bad\r\nstray=1\r\n" +
                           std::string(5, '\0');
  tvtest::WriteFile(dir / "client.ini", text);
  EXPECT_EQ(Run("\"" + dir / "client.ini" + "\""), 2u);
  ExpectFindings("client.ini",
                 "1 byte-order-mark warning, 3 repeated-key warning, 3 line-ends warning, 4 repeated-section warning, "
                 "5 long-line warning, 6 long-line error, 7 long-section error, 8 long-key error, "
                 "9 spaced-key warning, 11 key-outside-section warning, 11 nul-padding warning");
  EXPECT_EQ(Run("\"" + dir / "client.ini" + "\"", false), 2u);
  EXPECT_TRUE(Has(output, "\ntvdoctor: 3 errors, 8 warnings, 0 notes in 1 file checked (exit code 2)"));

  tvtest::WriteFile(dir / "clean.ini", "; comment\r\n[TvDefault]\r\nLanguage=44\r\n\r\n[Other]\r\nLanguage=49\r\n");
  EXPECT_EQ(Run("\"" + dir / "clean.ini" + "\""), 0u);
  ExpectFindings("", "");
}

// The server configuration of the list faults, $F its folder.
const std::string kLists =
    "[TvDefault]\r\nProgDir=$F\\Prog\r\n"
    "InstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n+FRA,France\r\n+ESPX,Spain,Data\\ESP\\ESP.dts\r\n"
    "+DEU," +
    std::string(100, 'G') +
    ",Data\\DEU\\DEU.dts\r\n+ITA,Italy,Data\\ITA\\ITA.dts\r\n"
    "+POL,Poland,Data\\POL\\POL.dts\r\n"
    "InstalledData=GBR,Data\\GBR\r\n+gbr,data\\gbr\r\n+ESP,Data\\ESP\r\n+ESP,Data\\Gone\r\n+ITA,Data\\ITA\r\n"
    "+POL,Data\\POL\r\n+NLD,Data\\NLD\r\n+SWE," +
    std::string(300, 'S') +
    "\r\n+AUT\r\n+\r\n+USA,Data\\USA\r\n"
    "NewInstalledCountries=GBR,United Kingdom,Data\\GBR\\GBR.dts\r\n+CZE,Czechia,Data\\CZE\\CZE.dts\r\n";

TEST_F(Doctor, ListFaultsAreFoundOnTheirLines) {
  Files data = {{"Prog\\Data\\ITA\\", ""}, {"Prog\\Data\\CZE\\CZE.dts\\", ""}};
  for (const char* country : {"GBR", "ESP", "DEU", "NLD"})
    data.push_back({std::string("Prog\\Data\\") + country + "\\" + country + ".dts", Data("01 01 2020")});
  EXPECT_EQ(Run("\"" + Copy("planted", kLists, data) + "\""), 2u);
  // Line 12 is never examined: ESP has its data. On line 21 a folder is named like the data file.
  ExpectFindings("tvwserve.ini",
                 "4 list-entry-form error, 5 code-too-long warning, 6 name-too-long warning, "
                 "6 country-without-data note, 7 data-file-missing warning, 8 data-folder-missing warning, "
                 "10 repeated-entry warning, 13 data-file-missing warning, 14 data-folder-missing warning, "
                 "15 data-without-country warning, 16 field-too-long error, 16 long-line warning, "
                 "17 list-entry-form error, 18 list-gap error, 20 new-list warning, 20 country-without-data note, "
                 "21 data-file-missing warning, 21 country-without-data note",
                 {"release"});
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

TEST_F(Doctor, MappingFaultsAreFoundOnTheirLines) {
  // clang-format off
  Files files = {{"Prog\\Data\\GBR\\GBR.dts", Data("2020")}, {"Prog\\Data\\GBR\\GBRKAV.ads", Data("2020")},
                 {"Prog\\Data\\GBR\\GBRMIR.ads", Data("2019")}, {"Prog\\Data\\ITA\\ITA.dts", Data("2020")},
                 {"Prog\\Data\\ITA\\ITA+X.ads", Data("2020")}};
  // clang-format on
  for (const char* country : {"ESP", "DEU", "NLD", "POL"})
    files.push_back({std::string("Prog\\Data\\") + country + "\\" + country + ".dts", Data("2020")});
  const std::string planted = Copy("planted", kMappings, files), gap = Copy("gap", kMappingsGap, files);
  EXPECT_EQ(Run("\"" + planted + "\" \"" + gap + "\""), 2u);
  ExpectFindings("tvwserve.ini",
                 "5 mapping-key note, 5 default-mapping-key warning, 13 repeated-mapping warning, "
                 "14 data-set-plus error, 15 mapping-form warning, 16 mapping-code-too-long warning, "
                 "17 data-set-missing warning, 18 mapping-form warning, 19 other-release warning, "
                 "21 mapping-key note, 22 mapping-key note, 21 both-mapping-keys error, 4 mappings-gap warning",
                 {"release", "country-without-data"});
}

TEST_F(Doctor, ProductsAndReleasesAreNamed) {
  const std::string config =
      "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledData=GBR,$F\r\n+USA,$F\\USA\r\n+NLD,$F\\NLD\r\n";
  const std::string folder = Copy("server", config,
                                  {{"GBR.dts", Data("15 06 2012")},
                                   {"USA\\USA.rds", "no trailer"},
                                   {"NLD\\NLD.dts", tvtest::DataFile("[TvDefault]\nDate=1\n", "x", 500)}});
  const std::string beside = Make("beside", {{"tvwserve.ini", "[TvDefault]\r\n"}, {"tvknet.exe", "program"}});
  EXPECT_EQ(Run("\"" + folder + "\" \"" + beside + "\""), 2u);
  ExpectFindings("tvwserve.ini",
                 "2 products note, 0 server-configuration note, 3 release note, 4 no-release warning, "
                 "5 damaged-trailer error, 0 products note",
                 {"data-without-country"});
  EXPECT_TRUE(Has(output, "finds the settings UsedByKeelNet true (mask 0x2080)"));
  EXPECT_TRUE(Has(output, "tvknet.exe (KeelNet), tvknet.exe (KeelHost) (mask 0x20C0)"));
  EXPECT_TRUE(Has(output, "release \\\"15 06 2012\\\""));
}

TEST_F(Doctor, HostilePathsGetAStatus) {
  const std::string binary = Make("binary", {{"tvwserve.ini", std::string("\x7F"
                                                                          "ELF\x01\x00\x02",
                                                                          7)}});
  EXPECT_EQ(Run("\"" + binary + "\""), 2u);
  ExpectFindings("tvwserve.ini", "1 not-ini-text error");

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
  for (const char* failure :
       {"more than the 16 MB this tool reads", "a folder, not a configuration file",
        "another program holds it without sharing", "more than 255 characters", "it does not exist"})
    EXPECT_TRUE(Has(output, failure));
  ExpectFindings("", "");
}

}  // namespace
