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
using Files = std::vector<std::pair<std::string, std::string>>;  // name in the data folder, bytes
using tvtest::ReadFile;
using tvtest::WriteFile;

const char kRelease[] = "12 09 2003";

// A data file of a release; statedLength, when given, is the trailer's claim.
std::string Dated(const char* release = kRelease, uint32_t statedLength = 0) {
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
  TV_BIND(update, TvIsi_UpdateDataMappings);
  TV_BIND(fromCountries, TvIsi_InstCtryToDataMap);
  TV_BIND(toDataMapping, TvIsi_CountryBaseToDataMap);
  TV_BIND(toCountryBase, TvIsi_DataMapToCountryBase);

  void SetUp() override {
    CreateDirectoryA(data.c_str(), nullptr);
    WriteFile(data + "\\GBR.dts", Dated());
    Begin();
  }
  int32_t Update(const char* id = "", const char* name = "") {
    return update(ini.c_str(), "GBR", data.c_str(), id, name);
  }
  // An update on an empty list: the list it leaves.
  std::string Fresh() {
    WriteFile(ini, Config({}));
    EXPECT_EQ(Update(), 0);
    return ReadFile(ini);
  }
  void Place(const Files& files) {
    for (const auto& f : files) WriteFile(data + "\\" + f.first, f.second);
  }
  void Remove(const Files& files) {
    for (const auto& f : files) DeleteFileA((data + "\\" + f.first).c_str());
  }
};

TEST_F(Mappings, UpdateCombinesTheCountryWithTheAdsFilesOfItsRelease) {
  const std::string gbr = "Default layout for GBR";
  const std::string longName = "Name " + std::string(90, 'n');
  Lines taken = {"GBR,a,X"};
  for (char digit = '0'; digit <= '9'; ++digit) taken.push_back(std::string("GB") + digit + ",a,X");
  Lines nine(taken.begin(), taken.end() - 1), tenth = nine;
  tenth.push_back("GB9," + gbr + ",EXTRA+GBR");
  // clang-format off
  const Files mixed = {{"extra.ads", Dated()}, {"old.ads", Dated("01 03 2004")}, {"plain.ads", "no trailer here"},
                       {"empty.ads", ""}, {"Side.x.ads", Dated()}};
  // clang-format on
  const Files long127 = {{std::string(123, 'x') + ".ads", Dated()}, {std::string(124, 'y') + ".ads", Dated()}};
  const Lines big = {"BIG,x," + std::string(300, 'A') + "+B", "FRA,x\f,Z+FRA", "USA,\x1a,USA"};
  Lines bigAfter = big;
  bigAfter.push_back("GBR," + gbr + ",GBR");
  const struct {
    const char* why;
    Lines before;
    Files files;
    const char* language;  // the kernel's, when not English
    const char *id, *name;
    Lines after;
  } cases[] = {
      // clang-format off
      {"the country alone", {}, {}, nullptr, "", "", {"GBR," + gbr + ",GBR"}},
      {"upper-cased and sorted; another release, no trailer and 0 bytes passed over", {}, mixed, nullptr, "", "",
       {"GBR," + gbr + ",EXTRA+GBR+SIDE"}},
      {"identifiers joined up to 127 characters, one that would pass them left out", {}, long127, nullptr, "", "",
       {"GBR," + gbr + ",GBR+" + std::string(123, 'X')}},
      {"an equal mapping under another code and name: nothing added", {"UK,Mine,gbr"}, {}, nullptr, "", "",
       {"UK,Mine,gbr"}},
      {"the tenth variant", nine, {{"extra.ads", Dated()}}, nullptr, "", "", tenth},
      {"all ten variants taken: nothing added", taken, {}, nullptr, "", "", taken},
      {"codes compared exactly", {"gbr,x,FRA"}, {}, nullptr, "", "", {"gbr,x,FRA", "GBR," + gbr + ",GBR"}},
      {"code and name of the script, cut to their fields", {}, {}, nullptr, "UK-LONG-CODE", longName.c_str(),
       {"UK-LONG," + longName.substr(0, 79) + ",GBR"}},
      {"the name in the current language", {}, {}, "33", "", "", {"GBR,Format d'adresse d\xE9" "faut pour GBR,GBR"}},
      {"languages whose name is empty", {}, {}, "49", "", "", {"GBR,,GBR"}},
      {"languages whose name is empty", {}, {}, "31", "", "", {"GBR,,GBR"}},
      {"a language without texts: English", {}, {}, "34", "", "", {"GBR," + gbr + ",GBR"}},
      {"lines go back as they stood: over 127 characters, unsorted, with a form feed or 0x1A", big, {}, nullptr,
       "", "", bigAfter},
      {"an empty first line: the lines below it are read, the empty ones left out",
       {"", "FRA,x,FRA", "", "USA,y,USA"}, {}, nullptr, "", "", {"FRA,x,FRA", "USA,y,USA", "GBR," + gbr + ",GBR"}},
      {"an empty first line above an equal mapping: nothing added", {"", "GB,Mine,GBR"}, {}, nullptr, "", "",
       {"", "GB,Mine,GBR"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why + std::string(" ") + (c.language ? c.language : ""));
    Place(c.files);
    if (c.language) {
      Configure("Language=" + std::string(c.language) + "\n");
      Log();  // started afresh in that language
    }
    WriteFile(ini, Config(c.before));
    EXPECT_EQ(Update(c.id, c.name), 0);
    EXPECT_EQ(ReadFile(ini), Config(c.after));
    Remove(c.files);
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
    WriteFile(data + "\\" + set + ".ads", Dated());
  const std::string first = "GBR+GBRDUN+GBRFIP+GBRHOL+GBRJEX+GBRKIR+GBRLAV", second = "GBRNOB+GBRPUX+GBRRIM+GBRSAB";
  const struct {
    const char* program;  // of one family
    std::string sets;
  } families[] = {
      // clang-format off
      {nullptr, first + "+" + second + "+GBRVEL+NZLTOV"}, {"tvflint.exe", first + "+GBRVEL"}, {"tvpanel.exe", "GBR"},
      {"tvheron.exe", "GBR+" + second}, {"tvcobal.exe", "GBR"},
      // clang-format on
  };
  for (const auto& f : families) {
    SCOPED_TRACE(f.program ? f.program : "no product");
    if (f.program) WriteFile(dir / f.program, "program");
    EXPECT_EQ(Fresh(), Config({"GBR,Default layout for GBR," + f.sets}));
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
    Files files;
    Lines after;
    const char* noted;  // a log line of each update
  } cases[] = {
      // clang-format off
      {"another combination under GBR takes GB0, once", "GBR", {"GBR" + gbr + "GBR"}, {{"extra.ads", Dated()}},
       {"GBR" + gbr + "GBR", "GB0" + gbr + "EXTRA+GBR"}, nullptr},
      {"a name holding \"+\" is passed over", "GBR", {}, {{"A+b.ads", Dated()}, {"extra.ads", Dated()}},
       {"GBR" + gbr + "EXTRA+GBR"}, "A+b.ads passed over: \"+\" in its name"},
      {"an identifier left out for the 127 characters", "GBR", {}, {{std::string(125, 'l') + ".ads", Dated()}},
       {"GBR" + gbr + "GBR"}, nullptr},
      {"a blank that ends the line", "GBR", {}, {{"zz .ads", Dated()}}, {"GBR" + gbr + "GBR+ZZ"}, nullptr},
      {"no release date beside no release date", "FRA", {},
       {{"FRA.dts", "no trailer"}, {"plain.ads", "nor here"}, {"dated.ads", Dated()}},
       {"FRA,Default layout for FRA,FRA+PLAIN"}, nullptr},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Place(c.files);
    WriteFile(ini, Config(c.before));
    Log();
    for (int call = 0; call < 2; ++call) {
      EXPECT_EQ(update(ini.c_str(), c.iso, data.c_str(), "", ""), 0);
      EXPECT_EQ(ReadFile(ini), Config(c.after)) << "call " << call;
    }
    EXPECT_EQ(tvtest::Count(Log(), c.noted ? c.noted : "passed over"), c.noted ? 2u : 0u);
    Remove(c.files);
  }
  WriteFile(data + "\\extra.ads", Dated());
  Log();
  EXPECT_EQ(Fresh(), Config({"GBR" + gbr + "EXTRA+GBR"}));
  EXPECT_EQ(Update(), 0);
  EXPECT_EQ(ReadFile(ini), Config({"GBR" + gbr + "EXTRA+GBR"}));
  std::string vintages;
  for (const char* file : {"GBR.dts", "extra.ads"})
    vintages += "> TvIsi_DataVintage (" + data + "\\" + file +
                ")\r\n\xB7"
                "DataVer " +
                kRelease + "\r\n< TvIsi_DataVintage = 0\r\n";
  // The other three write no lines of their own; a cut text is noted.
  WriteFile(ini, "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\GBR.dts\r\n");
  EXPECT_EQ(fromCountries(ini.c_str()), 0);
  EXPECT_EQ(toDataMapping(ini.c_str()), 0);
  EXPECT_EQ(toCountryBase(ini.c_str()), 0);
  EXPECT_EQ(update(ini.c_str(), "FRA", data.c_str(), std::string(300, 'c').c_str(), ""), 0);
  EXPECT_EQ(Log(), vintages + vintages + "_vsID cut to 255 characters\r\n");
}

// Sets a file's times to the given moment, or to those of a copy from a
// medium made long ago.
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
  // The copyright lines the data files gave the kernel's data information.
  const auto copyrightLines = [&] {
    auto info = TV_GET(*lib, TvSystemInfo);
    info(-1, nullptr, 0);
    int count = 0;
    char line[256];
    for (int32_t i = 0; info(i, line, sizeof line) == 0; ++i) count += strstr(line, "(c) Set maker") != nullptr;
    return count;
  };
  const std::string extra = data + "\\extra.ads", owned = data + "\\owned.ads", other = data + "\\other.ads";
  const auto owner = [](const std::string& release) {
    return tvtest::DataFile("[TvDefault]\nDate=" + release + "\nCopyright=Set maker\n+Set maker 2\n", "data");
  };
  WriteFile(extra, Dated());
  WriteFile(owned, owner(kRelease));
  WriteFile(other, Dated("01 03 2004"));
  for (const std::string& file : {extra, owned, other}) SetTimes(file);
  const std::string mapped = Config({"GBR,Default layout for GBR,EXTRA+GBR+OWNED"});
  Log();
  ASSERT_EQ(Fresh(), mapped);
  EXPECT_EQ(copyrightLines(), 2);
  const std::string firstLog = Log();  // the kernel starts afresh, its data information empty
  {
    tvtest::Locked lockedExtra(extra),
        lockedOwned(owned);  // opening either would fail now
    EXPECT_EQ(Fresh(), mapped);
    EXPECT_EQ(copyrightLines(), 2);
    EXPECT_EQ(Log(), firstLog);
  }
  // The other release, same size, new times: read again, and left out.
  WriteFile(owned, owner("01 03 2004"));
  EXPECT_EQ(Fresh(), Config({"GBR,Default layout for GBR,EXTRA+GBR"}));
  // Written just now: whatever its times say afterwards, it is read again.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  for (const char* release : {kRelease, "01 03 2004"}) {
    WriteFile(other, Dated(release));
    SetTimes(other, &now);
    EXPECT_EQ(Fresh(),
              Config({"GBR,Default layout for GBR,EXTRA+GBR" + std::string(release == kRelease ? "+OTHER" : "")}));
  }
}

TEST_F(Mappings, HostileInputGivesAClearStatusAndLeavesTheFile) {
  const std::string before = Config({"GBR,x,GBR"});
  const std::string longPath = dir / std::string(300, 'p');
  const std::string longIso(1500, 'G');
  const std::string missing = dir / "missing.ini";
  const char *i = ini.c_str(), *d = data.c_str();
  const struct {
    const char* why;
    const char *ini, *iso, *folder, *id, *name;
    bool lyingAds;  // a data set whose trailer claims more than the file holds
    int32_t status;
  } cases[] = {
      // clang-format off
      {"a trailer that claims more than the file holds", i, "GBR", d, "", "", true, -1012},
      {"a comma in the name", i, "GBR", d, "", "New,name", false, -1096},
      {"a comma in the code", i, "GBR", d, "G,B", "", false, -1096},
      {"a form feed in the name", i, "GBR", d, "", "New\fname", false, -1096},
      {"a line break in the code", i, "GBR", d, "G\nB", "", false, -1096},
      {"a path too long", longPath.c_str(), "GBR", d, "", "", false, -1028},
      {"a folder too long", i, "GBR", longPath.c_str(), "", "", false, -1028},
      {"no data file for a long code", i, longIso.c_str(), d, "", "", false, 0},
      {"no country", i, nullptr, d, nullptr, nullptr, false, 0},
      {"no configuration file", missing.c_str(), "GBR", d, "", "", false, -1010},
      // clang-format on
  };
  CreateDirectoryA((data + "\\folder.ads").c_str(), nullptr);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    WriteFile(ini, before);
    if (c.lyingAds) WriteFile(data + "\\bad.ads", Dated(kRelease, 4000));
    EXPECT_EQ(update(c.ini, c.iso, c.folder, c.id, c.name), c.status);
    EXPECT_EQ(ReadFile(ini), before);
    DeleteFileA((data + "\\bad.ads").c_str());
  }
  EXPECT_LT(update(nullptr, "GBR", d, "", ""), 0);
  const char raw[] =
      "[TvDefault]\r\nCountryBase=a\0b\r\nInstalledCountries="
      "GBR,UK,C:\\GBR.dts\r\n";
  const std::string binary(raw, sizeof raw - 1);
  for (const auto& whole : {fromCountries, toDataMapping, toCountryBase}) {
    SCOPED_TRACE(whole.name);
    EXPECT_LT(whole(nullptr), 0);
    EXPECT_EQ(whole(missing.c_str()), -1010);
    EXPECT_EQ(whole(longPath.c_str()), -1028);
    WriteFile(ini, binary);
    EXPECT_EQ(whole(ini.c_str()), -1096);
    EXPECT_EQ(ReadFile(ini), binary);
  }
}

TEST_F(Mappings, CountryListBecomesTheMappings) {
  const struct {
    const char *countries, *mappings;
  } cases[] = {
      // clang-format off
      {"GBR,United Kingdom,C:\\Data\\GBR.dts\r\n+GBR,UK,D:\\Data\\GBR.dts", "GBR,United Kingdom,GBR\r\n+GBR,UK,GBR"},
      // every data code gives its data sets
      {"GBK,a,C:\\K.dts\r\n+GBL,b,C:\\L.dts\r\n+GBM,c,C:\\M.dts\r\n+GBS,d,C:\\S.dts\r\n+gbt,e,C:\\T.dts\r\n"
       "+USV,f,C:\\V.dts\r\n+USS,g,C:\\U.dts",
       "GBK,a,GBR+GBRKAV\r\n+GBL,b,GBR+GBRLOM\r\n+GBM,c,GBR+GBRMIR\r\n+GBS,d,GBR+GBRSOL\r\n+gbt,e,GBR+GBRTEV\r\n"
       "+USV,f,USA+USAVAX\r\n+USS,g,USA+USASOL"},
      {"gbr,Lower,C:\\x.dts\r\n+GBR,Upper,C:\\y.dts", "gbr,Lower,gbr\r\n+GBR,Upper,GBR"},
      {"\r\n+FRA,Fr\fance,C:\\F.dts\r\n+\r\n+USA,US,C:\\U.dts", "FRA,Fr\fance,FRA\r\n+USA,US,USA"},  // past empty lines
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.countries);
    const std::string head = "[TvDefault]\r\nInstalledCountries=" + std::string(c.countries) + "\r\n";
    WriteFile(ini, head + "DataMappings=OLD,replaced,OLD\r\n+OLD2,replaced,OLD\r\n");
    EXPECT_EQ(fromCountries(ini.c_str()), 0);
    EXPECT_EQ(ReadFile(ini), head + "DataMappings=" + c.mappings + "\r\n");
  }
}

TEST_F(Mappings, CountryBaseAndDataMappingRenameBothWays) {
  const struct {
    const char* why;
    std::string countryBase, dataMapping;
  } cases[] = {
      // clang-format off
      {"two sections", "[A]\r\nCountryBase=X\r\n\r\n[B]\r\nCountryBase=Y\r\n",
       "[A]\r\nDataMapping=X\r\n\r\n[B]\r\nDataMapping=Y\r\n"},
      {"continuation lines go with the value, a form feed in them",
       "[A]\r\nName=a\r\nCountryBase=X\r\n+Z\f\r\nKeep=1\r\n", "[A]\r\nName=a\r\nKeep=1\r\nDataMapping=X\r\n+Z\f\r\n"},
      {"TvDefault after the section still lends its value", "[C]\r\nName=c\r\n[TvDefault]\r\nCountryBase=D\r\n",
       "[C]\r\nName=c\r\nDataMapping=D\r\n[TvDefault]\r\nDataMapping=D\r\n"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    WriteFile(ini, c.countryBase);
    EXPECT_EQ(toDataMapping(ini.c_str()), 0);
    EXPECT_EQ(ReadFile(ini), c.dataMapping);
  }
  // Many sections whose values grow the text as the walk goes: every one is
  // visited once, and the way back gives the first text again.
  std::string countryBase, dataMapping;
  for (int i = 0; i < 300; ++i) {
    const std::string head = "[S" + std::to_string(i) + "]\r\n", value = std::to_string(i) + std::string(400, 'v');
    countryBase += head + "CountryBase=" + value + "\r\n\r\n";
    dataMapping += head + "DataMapping=" + value + "\r\n\r\n";
  }
  WriteFile(ini, countryBase);
  EXPECT_EQ(toDataMapping(ini.c_str()), 0);
  EXPECT_EQ(ReadFile(ini), dataMapping);
  EXPECT_EQ(toCountryBase(ini.c_str()), 0);
  EXPECT_EQ(ReadFile(ini), countryBase);
}

}  // namespace
