// The exports that find, record and convert installed countries and data
// sets, called through the library against real folders and files.
#include <functional>
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

using tvtest::ReadFile;
using tvtest::WriteFile;

// A text followed by a NUL and a control character.
std::string NotText(const std::string& text) { return text + std::string("\0\x02", 2); }

// What a check found, as "status code|data directory|base directory|flags".
std::string Found(const std::string& iso, const std::string& dataDir, const std::string& baseDir, int32_t flags,
                  int32_t status = 0) {
  return std::to_string(status) + " " + iso + "|" + dataDir + "|" + baseDir + "|" + std::to_string(flags);
}
const std::string kNothing = Found("", "", "", 0);

class Installed : public tvtest::LibraryTest {
 protected:
  std::string cfg = dir / "Cfg";  // the folder of tvwserve.ini
  std::string ini = cfg + "\\tvwserve.ini";
  std::string data = dir / "Data";  // where most cases put their data file
  TV_BIND(check, TvIsi_CheckIniForData);
  TV_BIND(products, TvIsi_ProdFromIni);
  TV_BIND(updateV5, TvIsi_UpdateTvwserveV5);
  TV_BIND(updateKeys, TvIsi_UpdateDataKeys);
  TV_BIND(present, TvIsi_IsISOPresent);
  TV_BIND(toData, TvIsi_InstalledCountriesToData);

  void SetUp() override {
    CreateDirectoryA(cfg.c_str(), nullptr);
    Begin();
  }
  // Writes a file below the test folder, creating its folders.
  void Put(const std::string& path, const std::string& bytes = "data") { tvtest::Put(dir.path(), path, bytes); }
  std::string Check(const std::string& iso = "GBR", int32_t twoLetters = 0) {
    char code[4] = "old", dataDir[256] = "old", baseDir[256] = "old";
    int32_t flags = -7;
    const int32_t status = check(cfg.c_str(), iso.c_str(), twoLetters, code, dataDir, baseDir, &flags);
    return Found(code, dataDir, baseDir, flags, status);
  }
  // The check of GBR on this configuration text.
  std::string CheckOn(const std::string& text) {
    WriteFile(ini, text);
    return Check();
  }
  // The configuration after an export that must succeed on this text.
  template <typename F, typename... A>
  std::string Edit(const std::string& text, F call, A... arguments) {
    WriteFile(ini, text);
    EXPECT_EQ(call(ini.c_str(), arguments...), 0);
    return ReadFile(ini);
  }
  int32_t Mask(const std::string& path, int32_t status = 0) {
    int32_t mask = -1;
    EXPECT_EQ(products(path.c_str(), &mask), status) << path;
    return mask;
  }
};

TEST_F(Installed, DataFileUnderDtsOrRdsDataCodesAndTwoLetterMode) {
  Put(data + "\\GBR.dts");
  EXPECT_EQ(CheckOn("[TvDefault]\r\nInstalledData=GBR," + data + "\r\n"), Found("GBR", data, data, 0));
  DeleteFileA((data + "\\GBR.dts").c_str());
  Put(data + "\\GBR.rds");
  EXPECT_EQ(Check("gbr"), Found("GBR", data, data, 4));
  // GBK is a data code of Great Britain: selected by GBR, probing GBR.rds.
  EXPECT_EQ(CheckOn("[TvDefault]\r\nInstalledData=GBK," + data + "\r\n"), Found("GBK", data, data, 4));
  EXPECT_EQ(Check("GBK"), kNothing);  // the entry's country is GBR
  // Two-letter mode takes codes of any form.
  Put(data + "\\GB1.dts");
  WriteFile(ini, "[TvDefault]\r\nInstalledData=GB1," + data + "\r\n");
  EXPECT_EQ(Check("GBR", 1), Found("GB1", data, data, 0));
  EXPECT_EQ(Check("GBR", 0), kNothing);
  EXPECT_EQ(Check("gbx", 1), Found("GB1", data, data, 0));
}

TEST_F(Installed, RelativeAndVersionedDirectories) {
  Put(dir / "Prog\\Data\\GBR.12\\GBR.dts");
  EXPECT_EQ(CheckOn("[TvDefault]\r\nProgDir=" + dir / "Prog\\\\" + "\r\nInstalledData=GBR,Data\\GBR.12\r\n"),
            Found("GBR", dir / "Prog\\Data\\GBR.12", "Data", 2));
  // Joined, the two are too long: the part that fits names another folder,
  // which is never taken for the data directory.
  const std::string stored = "Data\\" + std::string(250, 'x');
  Put((dir / "Prog\\" + stored).substr(0, 255) + "\\GBR.dts");
  EXPECT_EQ(CheckOn("[TvDefault]\r\nProgDir=" + dir / "Prog" + "\r\nInstalledData=GBR," + stored + "\r\n"),
            Found("GBR", cfg + "\\Data", cfg + "\\Data", 2));
  // A versioned last component is cut from the base directory.
  Put(dir / "GBR.5\\GBR.dts");
  Put(dir / "GBR.5a\\USA.dts");
  Put(dir / "GBRX.5\\FRA.dts");
  WriteFile(ini, "[TvDefault]\nInstalledData=GBR," + dir / "GBR.5\\" + "\n+USA," + dir / "GBR.5a" + "\n+FRA," +
                     dir / "GBRX.5" + "\n");
  EXPECT_EQ(Check("GBR"), Found("GBR", dir / "GBR.5", dir.path(), 0));
  EXPECT_EQ(Check("USA"), Found("USA", dir / "GBR.5a", dir / "GBR.5a", 0));
  EXPECT_EQ(Check("FRA"), Found("FRA", dir / "GBRX.5", dir / "GBRX.5", 0));
  // Nothing exists: the default data directory.
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledData=GBR," + dir / "Missing" + "\n"),
            Found("GBR", cfg + "\\Data", cfg + "\\Data", 0));
  WriteFile(cfg + "\\tvworld.ini", "[TvDefault]\n");
  EXPECT_EQ(Check(), Found("GBR", dir / "Data", dir / "Data", 0));
}

TEST_F(Installed, CountryListsComeFirstAndTheLastFailureIsReported) {
  Put(data + "\\GBR.dts");
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledCountries=GBR,United Kingdom," + dir / "Old\\GBR.dts" +
                    "\nInstalledData=GBR," + data + "\n"),
            Found("GBR", data, data, 0));
  // A country entry names its data file; .dts replaces its extension.
  EXPECT_EQ(CheckOn("[TvDefault]\nPreviousInstalledCountries=GBR,United Kingdom," + data + "\\GBR.old\n"),
            Found("GBR", data, data, 0));
  // No entry passes: the last one examined, with its default directory.
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledCountries=GBR,UK," + data + "\\Gone\\GBR.dts\nInstalledData=GBR," +
                    dir / "Other" + "\n+GBR,Gone\n"),
            Found("GBR", cfg + "\\Data", cfg + "\\Data", 2));
  // An empty directory is the current one: it exists, but holds no data file here.
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledData=GBR," + dir / "Other" + "\n+GBR\n"), Found("GBR", "", "", 2));
  // An empty line ends a list.
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledData=USA," + data + "\n+\n+GBR," + data + "\nInstalledCountries=\n+GBR,UK," +
                    data + "\\GBR.dts\n"),
            kNothing);
  EXPECT_EQ(Check("USA"), Found("USA", data, data, 0));
  // The server address indicator, set only by an entry examined.
  const std::string lists = "InstalledData=GBR," + data + "\n";
  EXPECT_EQ(CheckOn("[TvDefault]\nServerAddress=tvlocal:1234\n" + lists), Found("GBR", data, data, 0));
  EXPECT_EQ(CheckOn("[TvDefault]\nServerAddress=TVTCPIP:host\n" + lists), Found("GBR", data, data, 1));
  EXPECT_EQ(Check("USA"), kNothing);
}

TEST_F(Installed, AFolderWithoutItsDataFileGivesWayToALaterCompleteEntry) {
  const std::string empty = dir / "Empty";
  Put(empty + "\\readme.txt");
  Put(data + "\\GBR.dts");
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledCountries=GBR,UK," + empty + "\\GBR.dts\n+GBR,UK," + empty +
                    "\\GBR.rds\nInstalledData=GBR," + empty + "\n+GBR," + data + "\n+GBR," + empty + "\n"),
            Found("GBR", data, data, 0));
  // An empty directory is the current one.
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledData=GBR,\n+GBR," + empty + "\n"), Found("GBR", empty, empty, 2));
  Put(dir / "GBR.dts");
  EXPECT_EQ(Check(), Found("GBR", "", "", 2));
}

TEST_F(Installed, DataFilesInADriveRoot) {
  // "C:\\name.dts" names the root's file, not one in the drive's current
  // directory; a complete entry follows it.
  const std::string name = "tvroot" + std::to_string(GetCurrentProcessId()) + ".dts";
  const std::string root = "C:\\" + name;
  Put(data + "\\" + name);
  const std::string countries =
      "[TvDefault]\r\nInstalledCountries=GBR,UK," + root + "\r\n+GBR,UK," + data + "\\" + name + "\r\n";
  WriteFile(root, "data");
  const std::string found = CheckOn(countries);
  DeleteFileA(root.c_str());
  EXPECT_EQ(found, Found("GBR", "C:", "C:", 0));
  Put(dir / name);  // in the current directory, on drive C: too
  EXPECT_EQ(Check(), Found("GBR", data, data, 0));
  EXPECT_EQ(Edit(countries, toData), countries + "InstalledData=GBR,C:\r\n");  // a repeated country is dropped
}

TEST_F(Installed, MissingLockedOrBinaryConfigurationLeavesTheResults) {
  const std::string untouched = Found("old", "old", "old", -7, -1011);
  EXPECT_EQ(Check(), untouched);  // missing: the installer scripts test for -1011
  cfg = dir / "Nowhere";
  EXPECT_EQ(Check(), untouched);
  cfg = dir / "Cfg";
  EXPECT_EQ(CheckOn(NotText("[TvDefault]\nInstalledData=GBR,C:\\")), Found("old", "old", "old", -7, -1096));
  WriteFile(ini, "[TvDefault]\nInstalledData=GBR,C:\\\n");
  {
    tvtest::Locked lock(ini);
    EXPECT_EQ(Check(), untouched);
  }
  // NULL outputs are left alone.
  EXPECT_EQ(check(cfg.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Installed, ProductsFromSettingsOrFromTheFilesBeside) {
  const struct {
    const char* settings;
    std::initializer_list<const char*> files;
    int32_t mask;
  } cases[] = {
      {"UsedByKeelNet=Yes\nUsedByKeelHost=1\n", {"tvflib.dll"}, 0x20C0},
      {"UsedByKeelPanel=No\n", {"tvknet.exe"}, 0x20C0},
      {"", {"tvflib.dll", "tvflint.exe"}, 0x1030},
      {"UsedByKeelPanel=No\n", {}, 0},
      {"KeelNet=Yes\nUsedByheron=on\n", {}, 0x4080},
      {"UsedByCobalt=true\nUsedByFlintLib64= y\n", {"tvpanel.exe"}, 0x9010},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string folder = dir / ("p" + std::to_string(++n));
    Put(folder + "\\tv.ini", std::string("[TvDefault]\n") + c.settings);
    for (const char* file : c.files) Put(folder + "\\" + file);
    EXPECT_EQ(Mask(folder + "\\tv.ini"), c.mask) << n;
  }
  EXPECT_EQ(Mask(dir / "none.ini", -1010), 0);
  Put(dir / "bin.ini", NotText(""));
  Mask(dir / "bin.ini", -1096);
}

TEST_F(Installed, UpdateTvwserveV5PutsTheEntryFirstAndDropsEmptyItemsAndRepeats) {
  EXPECT_EQ(Edit("[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\n+USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n", updateV5,
                 "GBR,D:\\New", 1, 7, 8),
            "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "AllInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n");
  // Identifier 0 (in its 16 bits): NewInstalledData, created.
  EXPECT_EQ(Edit("[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\nAllInstalledData=USA,C:\\Us\r\n", updateV5, "GBR,D:\\New",
                 0x10000, 0, 0),
            "[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\nAllInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "NewInstalledData=GBR,D:\\New\r\n");
  const std::string longEntry = "USA," + std::string(240, 'u');  // longer than an ini list item
  EXPECT_EQ(Edit("[TvDefault]\nInstalledData=\n+" + longEntry + "\n++\n+  \n+GBRX,old\n" +
                     "AllInstalledData=+\n+usa,c:\\us\n+FRA,F:\\\n+USA,C:\\Us\n",
                 updateV5, "GBR,D:\\New", 1, 0, 0),
            "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+" + longEntry +
                "\r\nAllInstalledData=GBR,D:\\New\r\n+FRA,F:\\\r\n+usa,c:\\us\r\n");
  // Already in the all list (ignoring case): that list is not rewritten.
  EXPECT_EQ(Edit("[TvDefault]\nInstalledData=GBR,D:\\New\nAllInstalledData=ZZZ,1\n+gbr,d:\\new\n", updateV5,
                 "GBR,D:\\New", 1, 0, 0),
            "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\nAllInstalledData=ZZZ,1\r\n+gbr,d:\\new\r\n");
  // A code is the text before the first comma, cut to three characters, as
  // discovery reads it: GBRX is a GBR entry, GB one of its own.
  EXPECT_EQ(Edit("[TvDefault]\r\nNewInstalledData=GBRX\r\n+gbr,C:\\Old\r\n+GBR\r\n+GB,C:\\Two\r\n+G\r\n", updateV5,
                 "GBR", 0, 0, 0),
            "[TvDefault]\r\nNewInstalledData=GBR\r\n+GB,C:\\Two\r\n+G\r\nAllInstalledData=GBR\r\n");
  EXPECT_EQ(Edit(ReadFile(ini), updateV5, "GB,C:\\New", 0, 0, 0),
            "[TvDefault]\r\nNewInstalledData=GB,C:\\New\r\n+GBR\r\n+G\r\nAllInstalledData=GB,C:\\New\r\n+GBR\r\n");
}

TEST_F(Installed, UpdateDataKeysOfAServerOrAPlainInstallation) {
  const std::string countries =
      "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledCountries=gbr,UK,C:\\Old\\GBR.dts\r\n"
      "+USA,United States,C:\\Data\\USA.dts\r\n";
  EXPECT_EQ(Edit(countries, updateKeys, "GBR,United Kingdom,D:\\Data\\GBR.dts", 4),
            countries +
                "NewInstalledCountries=GBR,United Kingdom,D:\\Data\\GBR.dts\r\n+USA,United States,C:\\Data\\USA.dts\r\n"
                "AllInstalledCountries=gbr,UK,C:\\Old\\GBR.dts\r\n+GBR,United Kingdom,D:\\Data\\GBR.dts\r\n");
  const std::string server = "[TvDefault]\r\nServerAddress=tvtcpip:server:2021\r\nInstalledData=GBR,C:\\Old\r\n";
  EXPECT_EQ(Edit(server, updateKeys, "GBR,D:\\New", 0x10008),
            server + "NewInstalledData=GBR,D:\\New\r\nAllInstalledData=GBR,C:\\Old\r\n+GBR,D:\\New\r\n");
  EXPECT_EQ(Edit("[TvDefault]\r\nServerAddress=TVLOCAL\r\nInstalledData=GBR,C:\\Old\r\n+USA,C:\\Us\r\n"
                 "AllInstalledData=GBR,C:\\Old\r\n",
                 updateKeys, "GBR,D:\\New", 8),
            "[TvDefault]\r\nServerAddress=TVLOCAL\r\nInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "AllInstalledData=GBR,C:\\Old\r\n+GBR,D:\\New\r\n");
  // Formats other than 8 select the country keys.
  for (int32_t format : {0, 4, 12})
    EXPECT_EQ(Edit("[TvDefault]\r\n", updateKeys, "FRA,France,F:\\FRA.dts", format),
              "[TvDefault]\r\nInstalledCountries=FRA,France,F:\\FRA.dts\r\n"
              "AllInstalledCountries=FRA,France,F:\\FRA.dts\r\n")
        << format;
  // Long lists keep every entry.
  std::string lists = "[TvDefault]\r\nInstalledData=AAA,C:\\Data\\0";
  for (int i = 1; i < 1500; ++i) lists += "\r\n+A" + std::to_string(i) + ",C:\\Data\\" + std::to_string(i);
  EXPECT_EQ(Edit(lists + "\r\n", updateKeys, "GBR,D:\\New", 8),
            lists + "\r\n+GBR,D:\\New\r\nAllInstalledData=GBR,D:\\New\r\n");
}

TEST_F(Installed, IsISOPresentSearchesTheNewListFirst) {
  WriteFile(ini,
            "[TvDefault]\nNewInstalledCountries=GBR,United Kingdom,C:\\Data\\GBR.dts\n"
            "+USA,United States,C:\\Data\\USA.dts\nInstalledCountries=DEU,Germany,C:\\D.dts\n+ITA,Italy,C:\\I.dts\n");
  const std::string entry = "> TvIsi_IsISOPresent (";
  Log();
  EXPECT_EQ(present("gbr", cfg.c_str()), 0);
  EXPECT_EQ(Log(), entry + "gbr, " + cfg + ")\r\n< TvIsi_IsISOPresent = 0\r\n");
  EXPECT_EQ(present("FRA", cfg.c_str()), 1);
  EXPECT_EQ(Log(), entry + "FRA, " + cfg +
                       ")\r\nIn 1 [1] NewInstalledCountries [USA,United States,C:\\Data\\USA.dts]\r\n"
                       "First line read is DEU,Germany,C:\\D.dts\r\n"
                       "In 1 [-1] InstalledCountries [ITA,Italy,C:\\I.dts]\r\n< TvIsi_IsISOPresent = 1\r\n");
  // The sign of the last comparison; an empty code is never recorded.
  const std::pair<const char*, int32_t> codes[] = {{"it", 0}, {"GB", 0}, {"DEUX", 1}, {"ZZZ", -1}, {"", 1}};
  for (const auto& [code, sign] : codes) EXPECT_EQ(present(code, cfg.c_str()), sign) << code;
  // Without either list the country is not recorded; without the file only the entry is logged.
  WriteFile(ini, "[TvDefault]\nServerAddress=x\n");
  Log();
  EXPECT_EQ(present("GBR", cfg.c_str()), 1);
  EXPECT_EQ(Log(), entry + "GBR, " + cfg + ")\r\nFirst line read is \r\n< TvIsi_IsISOPresent = 1\r\n");
  DeleteFileA(ini.c_str());
  EXPECT_EQ(present("GBR", cfg.c_str()), -1010);
  EXPECT_EQ(Log(), entry + "GBR, " + cfg + ")\r\n");
}

TEST_F(Installed, CountriesBecomeDataEntries) {
  const std::string countries =
      "[TvDefault]\r\nInstalledCountries=GBR,United Kingdom,C:\\Data\\GBR.dts\r\n+gbr,UK,D:\\Other\\GBR.dts\r\n"
      "NewInstalledCountries=GBK,UK roads,E:\\Roads\\\\GBK.dts\r\n+USA,United States,C:\\Data\\USA.dts\r\n"
      "PreviousInstalledCountries=FRA,France,F:\\Fr\\FRA.dts\r\n+gbr,UK,D:\\Other\\GBR.dts\r\n";
  EXPECT_EQ(
      Edit(countries + "AllInstalledData=A,1\r\n+a,1\r\n+\r\n+B,2\r\n", toData),
      countries +
          "AllInstalledData=A,1\r\n+B,2\r\nInstalledData=GBR,C:\\Data\r\n"
          "NewInstalledData=GBR,E:\\Roads\r\n+USA,C:\\Data\r\nPreviousInstalledData=FRA,F:\\Fr\r\n+gbr,D:\\Other\r\n");
  // Converting again adds nothing; an entry equal but for case stays as written.
  const std::string converted =
      "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\Data\\GBR.dts\r\nInstalledData=GBR,c:\\data\r\n";
  EXPECT_EQ(Edit(converted, toData), converted);
}

// A missing file, one that is no ini text or one held by another program,
// and an entry that would break the list: a status, and no file made or
// changed. An empty or blank entry changes nothing either.
TEST_F(Installed, ListExportsRefuseWithoutWriting) {
  const struct {
    const char* name;
    std::function<int32_t(const char*)> call;
    int32_t missing;  // a missing file is no error where no list needs reading
    bool takesEntry;
  } exports[] = {
      {"UpdateTvwserveV5", [&](const char* entry) { return updateV5(ini.c_str(), entry, 1, 0, 0); }, 0, true},
      {"UpdateTvwserveV5 id 0", [&](const char* entry) { return updateV5(ini.c_str(), entry, 0, 0, 0); }, 0, true},
      {"UpdateDataKeys", [&](const char* entry) { return updateKeys(ini.c_str(), entry, 8); }, -1010, true},
      {"InstalledCountriesToData", [&](const char*) { return toData(ini.c_str()); }, -1010, false},
      {"IsISOPresent", [&](const char*) { return present("GBR", cfg.c_str()); }, -1010, false},
  };
  const std::string text = "[TvDefault]\r\nInstalledData=USA,C:\\Us\r\nInstalledCountries=GBR,UK,C:\\x.dts\r\n";
  for (const auto& e : exports) {
    SCOPED_TRACE(e.name);
    DeleteFileA(ini.c_str());
    EXPECT_EQ(e.call("GBR,D:\\New"), e.missing);
    EXPECT_FALSE(tvtest::FileExists(ini));
    for (const std::string& binary : {NotText(text), text + "\x01"}) {
      WriteFile(ini, binary);
      EXPECT_EQ(e.call("GBR,D:\\New"), -1096);
      EXPECT_EQ(ReadFile(ini), binary);
    }
    WriteFile(ini, text);
    {
      tvtest::Locked lock(ini);
      EXPECT_EQ(e.call("GBR,D:\\New"), -1016);
    }
    if (e.takesEntry) {
      for (const char* entry : {"GBR,D:\\New\r\n[Other]", "GBR\n+USA,x"}) EXPECT_EQ(e.call(entry), -1096) << entry;
      for (const char* entry : {"", " ", "  ", "\t", " \t ", static_cast<const char*>(nullptr)})
        EXPECT_EQ(e.call(entry), 0) << '[' << (entry ? entry : "NULL") << ']';
    }
    EXPECT_EQ(ReadFile(ini), text);
  }
  EXPECT_EQ(present("GBR", cfg.c_str()), 0);  // the configuration buffer was given back each time
}

TEST_F(Installed, TooLongToUseIsMissingOrRefusedNeverCut) {
  // The first 255 characters of the stored directory name a folder that
  // holds the data file; the directory itself does not exist.
  const std::string stored = dir / std::string(306 - dir.path().size() - 1, 'x');
  Put(stored.substr(0, 255) + "\\GBR.dts");
  const std::string fallback = Found("GBR", cfg + "\\Data", cfg + "\\Data", 0);
  EXPECT_EQ(CheckOn("[TvDefault]\nInstalledData=GBR," + stored + "\n"), fallback);
  const std::string countries = "[TvDefault]\r\nInstalledCountries=GBR,UK," + stored + "\\GBR.dts\r\n";
  EXPECT_EQ(CheckOn(countries), fallback);
  EXPECT_EQ(Edit(countries, toData), countries + "InstalledData=GBR," + stored + "\r\n");  // written whole
  // A 255-character path argument works; one character more would be cut into it.
  const std::string exact = dir / (std::string(255 - dir.path().size() - 5, 'p') + ".ini");
  const std::string text = "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\x\\GBR.dts\r\n";
  WriteFile(exact, text);
  const std::string longer = exact + "q";
  EXPECT_EQ(updateKeys(longer.c_str(), "FRA,F:\\x", 8), -1028);
  EXPECT_EQ(toData(longer.c_str()), -1028);
  EXPECT_EQ(updateV5(longer.c_str(), "FRA,F:\\x", 1, 0, 0), -1028);
  Mask(longer, -1028);
  EXPECT_EQ(ReadFile(exact), text);
  EXPECT_EQ(toData(exact.c_str()), 0);
  EXPECT_EQ(ReadFile(exact), text + "InstalledData=GBR,C:\\x\r\n");
  // A folder whose first 255 characters name another folder (here the
  // configuration's own, followed by separators that a full path drops).
  WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,UK,C:\\x\\GBR.dts\n");
  cfg += std::string(256 - cfg.size(), '\\') + "Elsewhere";
  EXPECT_EQ(Check(), Found("old", "old", "old", -7, -1011));
  EXPECT_EQ(present("GBR", cfg.c_str()), -1028);
}

// Also with a form feed and an end-of-file mark in them, which ini text may hold.
TEST_F(Installed, EntriesOfOtherCountriesAreKeptWholeByEveryListExport) {
  const std::string usa = "USA,C:\\\f" + std::string(295, 'u');     // 300 characters
  const std::string deu = "DEU,C:\\\x1a" + std::string(4991, 'd');  // 5,000 characters
  const std::string gbrOld = "GBR,C:\\" + std::string(392, 'o');    // replaced, whole into the all list
  const std::string all = "\r\nAllInstalledData=" + usa + "\r\n+" + deu;
  EXPECT_EQ(Edit("[TvDefault]\r\nInstalledData=" + usa + "\r\n+" + gbrOld + "\r\n+" + deu + all + "\r\n", updateKeys,
                 "GBR,D:\\New", 8),
            "[TvDefault]\r\nInstalledData=" + usa + "\r\n+GBR,D:\\New\r\n+" + deu + all + "\r\n+" + gbrOld +
                "\r\n+GBR,D:\\New\r\n");
  EXPECT_EQ(Edit("[TvDefault]\r\nInstalledData=" + deu + "\r\n+GBR,C:\\Old\r\n+" + usa + all + "\r\n", updateV5,
                 "GBR,D:\\New", 1, 0, 0),
            "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+" + deu + "\r\n+" + usa +
                "\r\nAllInstalledData=GBR,D:\\New\r\n+" + deu + "\r\n+" + usa + "\r\n");
  const std::string countries = "[TvDefault]\r\nInstalledCountries=DEU,Germany," + deu.substr(4) +
                                "\\DEU.dts\r\n+USA,US," + usa.substr(4) + "\\USA.dts\r\nInstalledData=";
  EXPECT_EQ(Edit(countries + deu + "\r\n", toData), countries + deu + "\r\n+" + usa + "\r\n");
}

TEST_F(Installed, NulPaddingIsNoContent) {
  // Block-wise copy tools leave NUL bytes after the text: every list export
  // takes such a file, and what it saves leaves the padding out.
  Put(data + "\\GBR.dts");
  const std::string text = "[TvDefault]\r\nInstalledData=GBR," + data + "\r\n";
  const std::string padded = text + std::string(512, '\0');
  EXPECT_EQ(CheckOn(padded), Found("GBR", data, data, 0));
  EXPECT_EQ(present("GBR", cfg.c_str()), 1);
  Mask(ini);
  EXPECT_EQ(Edit(padded, toData), text);
  EXPECT_EQ(Edit(padded, updateV5, "USA,C:\\Us", 1, 0, 0),
            "[TvDefault]\r\nInstalledData=USA,C:\\Us\r\n+GBR," + data + "\r\nAllInstalledData=USA,C:\\Us\r\n");
  EXPECT_EQ(Edit(padded, updateKeys, "USA,C:\\Us", 8), text + "+USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n");
}

// An entry of 1,023 characters is taken whole; a longer one is cut, and the
// log says so once.
TEST_F(Installed, EntriesLongerThan1023CharactersAreCut) {
  const std::string entry = "FRA," + std::string(1019, 'f');
  Log();
  Edit("[TvDefault]\r\nInstalledData=USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n", updateV5, entry.c_str(), 0, 0, 0);
  EXPECT_EQ(updateKeys(ini.c_str(), (entry + "tail").c_str(), 8), 0);
  const std::string file = ReadFile(ini);
  EXPECT_TRUE(tvtest::Has(file, "NewInstalledData=" + entry + "\r\n"));
  EXPECT_TRUE(tvtest::Has(file, "InstalledData=USA,C:\\Us\r\n+" + entry + "\r\n"));
  EXPECT_EQ(file.find("tail"), std::string::npos);
  const std::string logged = Log();
  EXPECT_EQ(tvtest::Count(logged, "cut to"), 1u);
  EXPECT_TRUE(tvtest::Has(logged, "_vsData cut to 1023 characters\r\n"));
}

TEST_F(Installed, TheTraceShowsParametersAndResultsOfEachExport) {
  const std::string trace = dir / "trace.log";
  Stop();
  lib.reset();
  WriteFile(libDir / "tvapi.ini", "ApiFile=" + trace + "\n");
  Load();
  ASSERT_EQ(Start(), 0);
  Put(data + "\\GBR.dts");
  WriteFile(ini, "[TvDefault]\r\nInstalledCountries=GBR,UK," + data + "\\GBR.dts\r\n");
  char code[4], dataDir[256], baseDir[256];
  int32_t flags;
  EXPECT_EQ(check(cfg.c_str(), "GBRX", 0, code, dataDir, baseDir, &flags), 0);
  EXPECT_EQ(updateV5(ini.c_str(), "USA,D:\\Us", 1, 2, 3), 0);
  EXPECT_EQ(updateKeys(ini.c_str(), "FRA,France,F:\\FRA.dts", 4), 0);
  using tvtest::Traced;
  const std::string path = "'" + ini + "'";
  EXPECT_EQ(ReadFile(trace),
            Traced("TvIsi_Startup", {"return 0"}) +
                Traced("TvIsi_CheckIniForData",
                       {"_vsIniPath -> '" + cfg + "'", "_vsISO -> 'GBR'", "_viSrchADS -> 0", "_rsFoundISO <- 'GBR'",
                        "_rsDataDir <- '" + data + "'", "_rsBaseDir <- '" + data + "'", "_riFlags <- 0", "return 0"}) +
                Traced("TvIsi_UpdateTvwserveV5", {"_vsPath -> " + path, "_vsData -> 'USA,D:\\Us'", "_iID -> 1",
                                                  "_iAID -> 2", "_iNID -> 3", "return 0"}) +
                Traced("TvIsi_UpdateDataKeys",
                       {"_vsIni -> " + path, "_vsData -> 'FRA,France,F:\\FRA.dts'", "_viFormat -> 4"}) +
                // the routines it calls: the current list, the superseded
                // entry (none, so nothing more) and the new entry of the all list
                Traced("UpdateMultiline") + Traced("TvIsi_IniSetString", {"return 0"}) + Traced("UpdateMultiline") +
                Traced("UpdateMultiline") + Traced("TvIsi_IniSetString", {"return 0"}) + "!     return 0\r\n");
}

}  // namespace
