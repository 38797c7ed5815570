// The data mappings, called through the library as an installer engine
// calls them, on configuration files and data folders made here, with the
// data files' release dates in their trailers.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kDot = "\xB7";
const char kRelease[] = "12 09 2003";

// A data file of a release; statedLength, when given, is the trailer's claim.
std::string Dated(const char* release, uint32_t statedLength = 0) {
  return tvtest::DataFile("[TvDefault]\nDate=" + std::string(release) + "\n", "data", statedLength);
}

// The configuration with its DataMappings list (none when empty).
std::string Config(const Lines& mappings) {
  std::string text = "[TvDefault]\r\nLanguage=44\r\n";
  for (size_t i = 0; i < mappings.size(); ++i) text += (i ? "+" : "DataMappings=") + mappings[i] + "\r\n";
  return text;
}

class Mappings : public tvtest::LibraryTest {
 protected:
  std::string ini = dir / "tvwserve.ini";
  std::string data = dir / "Data";
  decltype(&TvIsi_UpdateDataMappings) update = nullptr;
  decltype(&TvIsi_InstCtryToDataMap) fromCountries = nullptr;
  decltype(&TvIsi_CountryBaseToDataMap) toDataMapping = nullptr;
  decltype(&TvIsi_DataMapToCountryBase) toCountryBase = nullptr;

  void SetUp() override {
    Configure();
    CreateDirectoryA(data.c_str(), nullptr);
    tvtest::WriteFile(data + "\\GBR.dts", Dated(kRelease));
    Load();
    ASSERT_EQ(Start(), 0);
    update = TV_GET(*lib, TvIsi_UpdateDataMappings);
    fromCountries = TV_GET(*lib, TvIsi_InstCtryToDataMap);
    toDataMapping = TV_GET(*lib, TvIsi_CountryBaseToDataMap);
    toCountryBase = TV_GET(*lib, TvIsi_DataMapToCountryBase);
  }
  int32_t Update(const char* id = "", const char* name = "") {
    return update(ini.c_str(), "GBR", data.c_str(), id, name);
  }
};

TEST_F(Mappings, UpdateCombinesTheCountryWithTheAdsFilesOfItsRelease) {
  const std::string gbr = "Default layout for GBR";
  const std::string longName = "Name " + std::string(90, 'n');
  Lines taken = {"GBR,a,X"};
  for (char digit = '0'; digit <= '9'; ++digit) taken.push_back(std::string("GB") + digit + ",a,X");
  Lines nine(taken.begin(), taken.end() - 1), tenth = nine;
  tenth.push_back("GB9," + gbr + ",EXTRA+GBR");
  const struct {
    const char* why;
    Lines before;
    std::vector<std::pair<std::string, std::string>> files;  // name in the data folder, bytes
    const char* language;                                    // the kernel's, when not English
    const char *id, *name;
    Lines after;
  } cases[] = {
      {"the country alone", {}, {}, nullptr, "", "", {"GBR," + gbr + ",GBR"}},
      {"upper-cased and sorted; another release, no trailer and 0 bytes passed over",
       {},
       {{"extra.ads", Dated(kRelease)}, {"old.ads", Dated("01 03 2004")},
        {"plain.ads", "no trailer in this file at all"}, {"empty.ads", ""}, {"Side.x.ads", Dated(kRelease)}},
       nullptr, "", "", {"GBR," + gbr + ",EXTRA+GBR+SIDE"}},
      {"identifiers joined up to 127 characters, one that would pass them left out",
       {}, {{std::string(123, 'x') + ".ads", Dated(kRelease)}, {std::string(124, 'y') + ".ads", Dated(kRelease)}},
       nullptr, "", "", {"GBR," + gbr + ",GBR+" + std::string(123, 'X')}},
      {"an equal mapping under another code and name: nothing added", {"UK,Mine,gbr"}, {}, nullptr, "", "",
       {"UK,Mine,gbr"}},
      {"the tenth variant", nine, {{"extra.ads", Dated(kRelease)}}, nullptr, "", "", tenth},
      {"all ten variants taken: nothing added", taken, {}, nullptr, "", "", taken},
      {"codes compared exactly", {"gbr,x,FRA"}, {}, nullptr, "", "", {"gbr,x,FRA", "GBR," + gbr + ",GBR"}},
      {"code and name of the script, cut to their fields", {}, {}, nullptr, "UK-LONG-CODE", longName.c_str(),
       {"UK-LONG," + longName.substr(0, 79) + ",GBR"}},
      {"the name in the current language", {}, {}, "33", "", "", {"GBR,Format d'adresse d\xE9" "faut pour GBR,GBR"}},
      {"a language whose name is empty", {}, {}, "49", "", "", {"GBR,,GBR"}},
      {"lines go back as they stood: over 127 characters, unsorted, with a form feed or 0x1A",
       {"BIG,x," + std::string(300, 'A') + "+B", "FRA,x\f,Z+FRA", "USA,\x1a,USA"}, {}, nullptr, "", "",
       {"BIG,x," + std::string(300, 'A') + "+B", "FRA,x\f,Z+FRA", "USA,\x1a,USA", "GBR," + gbr + ",GBR"}},
      {"an empty first line: the lines below it are read, the empty ones left out",
       {"", "FRA,x,FRA", "", "USA,y,USA"}, {}, nullptr, "", "", {"FRA,x,FRA", "USA,y,USA", "GBR," + gbr + ",GBR"}},
      {"an empty first line above an equal mapping: nothing added", {"", "GB,Mine,GBR"}, {}, nullptr, "", "",
       {"", "GB,Mine,GBR"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    for (const auto& f : c.files) tvtest::WriteFile(data + "\\" + f.first, f.second);
    if (c.language) {
      Configure("Language=" + std::string(c.language) + "\n");
      Log();  // started afresh in that language
    }
    tvtest::WriteFile(ini, Config(c.before));
    EXPECT_EQ(Update(c.id, c.name), 0);
    EXPECT_EQ(tvtest::ReadFile(ini), Config(c.after));
    for (const auto& f : c.files) DeleteFileA((data + "\\" + f.first).c_str());
    if (c.language) {
      Configure();
      Log();
    }
  }
}

// Each row of the exclusion table leaves its set out exactly when one of its
// families is installed beside the configuration.
TEST_F(Mappings, EachExcludedSetGoesWithItsOwnFamilies) {
  for (const char* set : {"GBRVEL", "GBRDUN", "GBRFIP", "GBRHOL", "GBRJEX", "GBRKIR", "GBRLAV", "GBRNOB", "GBRPUX",
                          "GBRRIM", "GBRSAB", "NZLTOV"})
    tvtest::WriteFile(data + "\\" + set + ".ads", Dated(kRelease));
  const std::string first = "GBR+GBRDUN+GBRFIP+GBRHOL+GBRJEX+GBRKIR+GBRLAV", second = "GBRNOB+GBRPUX+GBRRIM+GBRSAB";
  const struct {
    const char* program;  // of one family
    std::string sets;
  } families[] = {
      {nullptr, first + "+" + second + "+GBRVEL+NZLTOV"}, {"tvflint.exe", first + "+GBRVEL"},
      {"tvpanel.exe", "GBR"}, {"tvheron.exe", "GBR+" + second}, {"tvcobal.exe", "GBR"},
  };
  for (const auto& f : families) {
    SCOPED_TRACE(f.program ? f.program : "no product");
    if (f.program) tvtest::WriteFile(dir / f.program, "program");
    tvtest::WriteFile(ini, Config({}));
    EXPECT_EQ(Update(), 0);
    EXPECT_EQ(tvtest::ReadFile(ini), Config({"GBR,Default layout for GBR," + f.sets}));
    if (f.program) DeleteFileA((dir / f.program).c_str());
  }
}

// The mapping is compared as it will stand in the file: an update repeated
// finds the mapping the first one added, whatever the names of the files.
TEST_F(Mappings, TheSecondEqualUpdateLeavesTheFileAsItWasAndBothAreLogged) {
  const std::string gbr = ",Default layout for GBR,";
  const struct {
    const char* why;
    const char* iso;
    Lines before;
    std::vector<std::pair<std::string, std::string>> files;
    Lines after;
    const char* noted;  // a log line of each update
  } cases[] = {
      {"another combination under GBR takes GB0, once", "GBR", {"GBR" + gbr + "GBR"},
       {{"extra.ads", Dated(kRelease)}}, {"GBR" + gbr + "GBR", "GB0" + gbr + "EXTRA+GBR"}, nullptr},
      {"a name holding \"+\" is passed over", "GBR", {}, {{"A+b.ads", Dated(kRelease)}, {"extra.ads", Dated(kRelease)}},
       {"GBR" + gbr + "EXTRA+GBR"}, "A+b.ads passed over: \"+\" in its name"},
      {"an identifier left out for the 127 characters", "GBR", {}, {{std::string(125, 'l') + ".ads", Dated(kRelease)}},
       {"GBR" + gbr + "GBR"}, nullptr},
      {"a blank that ends the line", "GBR", {}, {{"zz .ads", Dated(kRelease)}}, {"GBR" + gbr + "GBR+ZZ"}, nullptr},
      {"no release date beside no release date", "FRA", {},
       {{"FRA.dts", "no trailer"}, {"plain.ads", "nor here"}, {"dated.ads", Dated(kRelease)}},
       {"FRA,Default layout for FRA,FRA+PLAIN"}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    for (const auto& f : c.files) tvtest::WriteFile(data + "\\" + f.first, f.second);
    tvtest::WriteFile(ini, Config(c.before));
    Log();
    for (int call = 0; call < 2; ++call) {
      EXPECT_EQ(update(ini.c_str(), c.iso, data.c_str(), "", ""), 0);
      EXPECT_EQ(tvtest::ReadFile(ini), Config(c.after)) << "call " << call;
    }
    const std::string logged = Log();
    size_t noted = 0;
    for (size_t at = 0; c.noted && (at = logged.find(c.noted, at)) != std::string::npos; ++at) ++noted;
    EXPECT_EQ(noted, c.noted ? 2u : 0u) << logged;
    for (const auto& f : c.files) DeleteFileA((data + "\\" + f.first).c_str());
  }
  tvtest::WriteFile(data + "\\extra.ads", Dated(kRelease));
  tvtest::WriteFile(ini, Config({}));
  Log();
  ASSERT_EQ(Update(), 0);
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), Config({"GBR" + gbr + "EXTRA+GBR"}));
  std::string vintages;
  for (const char* file : {"GBR.dts", "extra.ads"})
    vintages += "> TvIsi_DataVintage (" + data + "\\" + file + ")\r\n" + kDot + "DataVer " + kRelease +
                "\r\n< TvIsi_DataVintage = 0\r\n";
  // The other three write no lines of their own; a cut text is noted.
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\GBR.dts\r\n");
  EXPECT_EQ(fromCountries(ini.c_str()), 0);
  EXPECT_EQ(toDataMapping(ini.c_str()), 0);
  EXPECT_EQ(toCountryBase(ini.c_str()), 0);
  EXPECT_EQ(update(ini.c_str(), "FRA", data.c_str(), std::string(300, 'c').c_str(), ""), 0);
  EXPECT_EQ(Log(), vintages + vintages + "_vsID cut to 255 characters\r\n");
}

// Sets a file's times to those of a copy from a medium made long ago, or
// to the given moment.
void SetTimes(const std::string& path, const FILETIME* at = nullptr) {
  FILETIME old;
  const SYSTEMTIME made{2020, 6, 1, 1, 12, 0, 0, 0};
  SystemTimeToFileTime(&made, &old);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, at ? at : &old, nullptr, at ? at : &old);
  CloseHandle(file);
}

// A data set read once is not opened again while its size and times stay:
// a later update gives the same mapping, log lines and data information
// with the file locked away; a changed file is read again, and one written
// moments before it was read is never taken from what was kept.
TEST_F(Mappings, DataSetsReadBeforeAreNotOpenedAgainWhileTheyStayTheSame) {
  // The copyright lines the data files gave the kernel's data information,
  // as its system report lists them.
  auto info = TV_GET(*lib, TvSystemInfo);
  const auto copyrightLines = [&] {
    info(-1, nullptr, 0);
    int count = 0;
    char line[256];
    for (int32_t i = 0; info(i, line, sizeof line) == 0; ++i) count += strstr(line, "(c) Set maker") != nullptr;
    return count;
  };
  const std::string extra = data + "\\extra.ads", owned = data + "\\owned.ads", other = data + "\\other.ads";
  tvtest::WriteFile(extra, Dated(kRelease));
  const auto owner = [](const std::string& release) {
    return tvtest::DataFile("[TvDefault]\nDate=" + release + "\nCopyright=Set maker\n+Set maker 2\n", "data");
  };
  tvtest::WriteFile(owned, owner(kRelease));
  tvtest::WriteFile(other, Dated("01 03 2004"));
  for (const std::string& file : {extra, owned, other}) SetTimes(file);
  const std::string mapped = Config({"GBR,Default layout for GBR,EXTRA+GBR+OWNED"});
  tvtest::WriteFile(ini, Config({}));
  Log();
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), mapped);
  EXPECT_EQ(copyrightLines(), 2);
  const std::string firstLog = Log();  // the kernel starts afresh, its data information empty

  // Opening either would fail now.
  HANDLE locked[] = {CreateFileA(extra.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                     CreateFileA(owned.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
  tvtest::WriteFile(ini, Config({}));
  EXPECT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), mapped);
  EXPECT_EQ(copyrightLines(), 2);
  EXPECT_EQ(Log(), firstLog);
  for (HANDLE file : locked) CloseHandle(file);

  // The other release, same size, new times: read again, and left out.
  tvtest::WriteFile(owned, owner("01 03 2004"));
  tvtest::WriteFile(ini, Config({}));
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), Config({"GBR,Default layout for GBR,EXTRA+GBR"}));

  // Written just now: whatever its times say afterwards, it is read again.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  tvtest::WriteFile(other, Dated(kRelease));
  SetTimes(other, &now);
  tvtest::WriteFile(ini, Config({}));
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), Config({"GBR,Default layout for GBR,EXTRA+GBR+OTHER"}));
  tvtest::WriteFile(other, Dated("01 03 2004"));
  SetTimes(other, &now);
  tvtest::WriteFile(ini, Config({}));
  ASSERT_EQ(Update(), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), Config({"GBR,Default layout for GBR,EXTRA+GBR"}));
}

TEST_F(Mappings, HostileInputGivesAClearStatusAndLeavesTheFile) {
  const std::string before = Config({"GBR,x,GBR"});
  const std::string longPath = dir / std::string(300, 'p');
  const std::string longIso(1500, 'G');
  const std::string missing = dir / "missing.ini";
  const struct {
    const char* why;
    const char *ini, *iso, *folder, *id, *name;
    const char* ads;  // bytes of bad.ads, when there is one
    int32_t status;
  } cases[] = {
      {"a trailer that claims more than the file holds", ini.c_str(), "GBR", data.c_str(), "", "",
       "lying", -1012},
      {"a comma in the name", ini.c_str(), "GBR", data.c_str(), "", "New,name", nullptr, -1096},
      {"a comma in the code", ini.c_str(), "GBR", data.c_str(), "G,B", "", nullptr, -1096},
      {"a form feed in the name", ini.c_str(), "GBR", data.c_str(), "", "New\fname", nullptr, -1096},
      {"a line break in the code", ini.c_str(), "GBR", data.c_str(), "G\nB", "", nullptr, -1096},
      {"a path too long", longPath.c_str(), "GBR", data.c_str(), "", "", nullptr, -1028},
      {"a folder too long", ini.c_str(), "GBR", longPath.c_str(), "", "", nullptr, -1028},
      {"no data file for a long code", ini.c_str(), longIso.c_str(), data.c_str(), "", "", nullptr, 0},
      {"no country", ini.c_str(), nullptr, data.c_str(), nullptr, nullptr, nullptr, 0},
      {"no configuration file", missing.c_str(), "GBR", data.c_str(), "", "", nullptr, -1010},
  };
  CreateDirectoryA((data + "\\folder.ads").c_str(), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    tvtest::WriteFile(ini, before);
    if (c.ads) tvtest::WriteFile(data + "\\bad.ads", Dated(kRelease, 4000));
    EXPECT_EQ(update(c.ini, c.iso, c.folder, c.id, c.name), c.status);
    EXPECT_EQ(tvtest::ReadFile(ini), before);
    DeleteFileA((data + "\\bad.ads").c_str());
  }
  EXPECT_LT(update(nullptr, "GBR", data.c_str(), "", ""), 0);
  const char binary[] = "[TvDefault]\r\nCountryBase=a\0b\r\nInstalledCountries=GBR,UK,C:\\GBR.dts\r\n";
  for (auto* whole : {fromCountries, toDataMapping, toCountryBase}) {
    EXPECT_LT(whole(nullptr), 0);
    EXPECT_EQ(whole(missing.c_str()), -1010);
    EXPECT_EQ(whole(longPath.c_str()), -1028);
    tvtest::WriteFile(ini, std::string(binary, sizeof binary - 1));
    EXPECT_EQ(whole(ini.c_str()), -1096);
    EXPECT_EQ(tvtest::ReadFile(ini), std::string(binary, sizeof binary - 1));
  }
}

TEST_F(Mappings, CountryListBecomesTheMappings) {
  const struct {
    const char* countries;
    const char* mappings;
  } cases[] = {
      {"GBR,United Kingdom,C:\\Data\\GBR.dts\r\n+GBR,UK,D:\\Data\\GBR.dts",
       "GBR,United Kingdom,GBR\r\n+GBR,UK,GBR"},
      {"GBK,a,C:\\K.dts\r\n+GBL,b,C:\\L.dts\r\n+GBM,c,C:\\M.dts\r\n+GBS,d,C:\\S.dts\r\n+gbt,e,C:\\T.dts\r\n+USV,f,C:\\V.dts\r\n"
       "+USS,g,C:\\U.dts",  // every data code gives its data sets
       "GBK,a,GBR+GBRKAV\r\n+GBL,b,GBR+GBRLOM\r\n+GBM,c,GBR+GBRMIR\r\n+GBS,d,GBR+GBRSOL\r\n+gbt,e,GBR+GBRTEV\r\n"
       "+USV,f,USA+USAVAX\r\n+USS,g,USA+USASOL"},
      {"gbr,Lower,C:\\x.dts\r\n+GBR,Upper,C:\\y.dts", "gbr,Lower,gbr\r\n+GBR,Upper,GBR"},
      {"\r\n+FRA,Fr\fance,C:\\F.dts\r\n+\r\n+USA,US,C:\\U.dts", "FRA,Fr\fance,FRA\r\n+USA,US,USA"},  // read past empty lines
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.countries);
    const std::string head = "[TvDefault]\r\nInstalledCountries=" + std::string(c.countries) + "\r\n";
    tvtest::WriteFile(ini, head + "DataMappings=OLD,replaced,OLD\r\n+OLD2,replaced,OLD\r\n");
    EXPECT_EQ(fromCountries(ini.c_str()), 0);
    EXPECT_EQ(tvtest::ReadFile(ini), head + "DataMappings=" + c.mappings + "\r\n");
  }
}

TEST_F(Mappings, CountryBaseAndDataMappingRenameBothWays) {
  const struct {
    const char* why;
    std::string countryBase, dataMapping;
  } cases[] = {
      {"two sections", "[A]\r\nCountryBase=X\r\n\r\n[B]\r\nCountryBase=Y\r\n",
       "[A]\r\nDataMapping=X\r\n\r\n[B]\r\nDataMapping=Y\r\n"},
      {"continuation lines go with the value, a form feed in them", "[A]\r\nName=a\r\nCountryBase=X\r\n+Z\f\r\nKeep=1\r\n",
       "[A]\r\nName=a\r\nKeep=1\r\nDataMapping=X\r\n+Z\f\r\n"},
      {"TvDefault after the section still lends its value",
       "[C]\r\nName=c\r\n[TvDefault]\r\nCountryBase=D\r\n",
       "[C]\r\nName=c\r\nDataMapping=D\r\n[TvDefault]\r\nDataMapping=D\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    tvtest::WriteFile(ini, c.countryBase);
    EXPECT_EQ(toDataMapping(ini.c_str()), 0);
    EXPECT_EQ(tvtest::ReadFile(ini), c.dataMapping);
  }
  // Many sections whose values grow the text as the walk goes: every one is
  // visited once, and the way back gives the first text again.
  std::string countryBase, dataMapping;
  for (int i = 0; i < 300; ++i) {
    const std::string value = std::to_string(i) + std::string(400, 'v');
    countryBase += "[S" + std::to_string(i) + "]\r\nCountryBase=" + value + "\r\n\r\n";
    dataMapping += "[S" + std::to_string(i) + "]\r\nDataMapping=" + value + "\r\n\r\n";
  }
  tvtest::WriteFile(ini, countryBase);
  EXPECT_EQ(toDataMapping(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), dataMapping);
  EXPECT_EQ(toCountryBase(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countryBase);
}

}  // namespace
