// The exports that find, record and convert installed countries and data
// sets, called through the library against real folders and files.
#include <functional>
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

// A text followed by a NUL and a control character.
std::string NotText(const std::string& text) { return text + std::string("\0\x02", 2); }

struct Found {
  int32_t status;
  std::string iso, dataDir, baseDir;
  int32_t flags;
};

class Installed : public tvtest::LibraryTest {
 protected:
  std::string cfg = dir / "Cfg";  // the folder of tvwserve.ini
  std::string ini = cfg + "\\tvwserve.ini";
  std::string data = dir / "Data";  // where most cases put their data file
  decltype(&TvIsi_CheckIniForData) check;
  decltype(&TvIsi_ProdFromIni) products;
  decltype(&TvIsi_UpdateTvwserveV5) updateV5;
  decltype(&TvIsi_UpdateDataKeys) updateKeys;
  decltype(&TvIsi_IsISOPresent) present;
  decltype(&TvIsi_InstalledCountriesToData) toData;

  void SetUp() override {
    Configure();
    CreateDirectoryA(cfg.c_str(), nullptr);
    Load();
    ASSERT_EQ(Start(), 0);
    check = TV_GET(*lib, TvIsi_CheckIniForData);
    products = TV_GET(*lib, TvIsi_ProdFromIni);
    updateV5 = TV_GET(*lib, TvIsi_UpdateTvwserveV5);
    updateKeys = TV_GET(*lib, TvIsi_UpdateDataKeys);
    present = TV_GET(*lib, TvIsi_IsISOPresent);
    toData = TV_GET(*lib, TvIsi_InstalledCountriesToData);
  }

  // Writes a file below the test folder, creating its folders.
  void Put(const std::string& path, const std::string& bytes = "data") {
    for (size_t at = dir.path().size() + 1; (at = path.find('\\', at)) != std::string::npos; ++at)
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    tvtest::WriteFile(path, bytes);
  }
  Found Check(const std::string& iso, int32_t twoLetters = 0) {
    char code[4] = "old", dataDir[256] = "old", baseDir[256] = "old";
    int32_t flags = -7;
    int32_t status = check(cfg.c_str(), iso.c_str(), twoLetters, code, dataDir, baseDir, &flags);
    return {status, code, dataDir, baseDir, flags};
  }
  // A check that failed with this status and left every result as it was.
  void ExpectUntouched(int32_t status) {
    const Found found = Check("GBR");
    EXPECT_EQ(found.status, status);
    EXPECT_EQ(found.iso + found.dataDir + found.baseDir, "oldoldold");
    EXPECT_EQ(found.flags, -7);
  }
};

void ExpectFound(const Found& found, const std::string& iso, const std::string& dataDir, const std::string& baseDir,
                 int32_t flags) {
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(found.iso, iso);
  EXPECT_EQ(found.dataDir, dataDir);
  EXPECT_EQ(found.baseDir, baseDir);
  EXPECT_EQ(found.flags, flags);
}

// --- Discovery ---

TEST_F(Installed, DataFileUnderDtsOrRdsDataCodesAndTwoLetterMode) {
  Put(data + "\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=GBR," + data + "\r\n");
  ExpectFound(Check("GBR"), "GBR", data, data, 0);

  DeleteFileA((data + "\\GBR.dts").c_str());
  Put(data + "\\GBR.rds");
  ExpectFound(Check("gbr"), "GBR", data, data, 4);

  // GBK is a data code of Great Britain: selected by GBR, probing GBR.rds.
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=GBK," + data + "\r\n");
  ExpectFound(Check("GBR"), "GBK", data, data, 4);
  ExpectFound(Check("GBK"), "", "", "", 0);  // the entry's country is GBR

  // Two-letter mode takes codes of any form.
  Put(data + "\\GB1.dts");
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=GB1," + data + "\r\n");
  ExpectFound(Check("GBR", 1), "GB1", data, data, 0);
  ExpectFound(Check("GBR", 0), "", "", "", 0);
  ExpectFound(Check("gbx", 1), "GB1", data, data, 0);
}

TEST_F(Installed, RelativeDirectoryUnderTheProgramFolder) {
  Put(dir / "Prog\\Data\\GBR.12\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\r\nProgDir=" + dir / "Prog\\\\" + "\r\nInstalledData=GBR,Data\\GBR.12\r\n");
  ExpectFound(Check("GBR"), "GBR", dir / "Prog\\Data\\GBR.12", "Data", 2);

  // Joined, the two are too long: the part that fits names another folder,
  // which is never taken for the data directory.
  const std::string stored = "Data\\" + std::string(250, 'x');
  const std::string fits = (dir / "Prog\\" + stored).substr(0, 255);
  Put(fits + "\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\r\nProgDir=" + dir / "Prog" + "\r\nInstalledData=GBR," + stored + "\r\n");
  ExpectFound(Check("GBR"), "GBR", cfg + "\\Data", cfg + "\\Data", 2);
}

TEST_F(Installed, VersionedLastComponentIsCutFromTheBaseDirectory) {
  Put(dir / "GBR.5\\GBR.dts");
  Put(dir / "GBR.5a\\USA.dts");
  Put(dir / "GBRX.5\\FRA.dts");
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR," + dir / "GBR.5\\" + "\n+USA," + dir / "GBR.5a" +
                             "\n+FRA," + dir / "GBRX.5" + "\n");
  ExpectFound(Check("GBR"), "GBR", dir / "GBR.5", dir.path(), 0);
  ExpectFound(Check("USA"), "USA", dir / "GBR.5a", dir / "GBR.5a", 0);
  ExpectFound(Check("FRA"), "FRA", dir / "GBRX.5", dir / "GBRX.5", 0);
}

TEST_F(Installed, NothingExistsGivesTheDefaultDataDirectory) {
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR," + dir / "Missing" + "\n");
  ExpectFound(Check("GBR"), "GBR", cfg + "\\Data", cfg + "\\Data", 0);
  tvtest::WriteFile(cfg + "\\tvworld.ini", "[TvDefault]\n");
  ExpectFound(Check("GBR"), "GBR", dir / "Data", dir / "Data", 0);
}

TEST_F(Installed, CountryListsComeFirstAndTheLastFailureIsReported) {
  Put(data + "\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,United Kingdom," + dir / "Old\\GBR.dts" +
                             "\nInstalledData=GBR," + data + "\n");
  ExpectFound(Check("GBR"), "GBR", data, data, 0);
  // A country entry names its data file; .dts replaces its extension.
  tvtest::WriteFile(ini, "[TvDefault]\nPreviousInstalledCountries=GBR,United Kingdom," + data + "\\GBR.old\n");
  ExpectFound(Check("GBR"), "GBR", data, data, 0);
  // No entry passes: the last one examined, with its default directory.
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,UK," + data + "\\Gone\\GBR.dts\nInstalledData=GBR," +
                             dir / "Other" + "\n+GBR,Gone\n");
  ExpectFound(Check("GBR"), "GBR", cfg + "\\Data", cfg + "\\Data", 2);
  // An empty directory is the current one: it exists, but holds no data file here.
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR," + dir / "Other" + "\n+GBR\n");
  ExpectFound(Check("GBR"), "GBR", "", "", 2);
  // An empty line ends a list.
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=USA," + data + "\n+\n+GBR," + data +
                             "\nInstalledCountries=\n+GBR,UK," + data + "\\GBR.dts\n");
  ExpectFound(Check("GBR"), "", "", "", 0);
  ExpectFound(Check("USA"), "USA", data, data, 0);
}

TEST_F(Installed, ServerAddressIndicator) {
  Put(data + "\\GBR.dts");
  const std::string lists = "InstalledData=GBR," + data + "\n";
  tvtest::WriteFile(ini, "[TvDefault]\nServerAddress=tvlocal:1234\n" + lists);
  EXPECT_EQ(Check("GBR").flags, 0);
  tvtest::WriteFile(ini, "[TvDefault]\nServerAddress=TVTCPIP:host\n" + lists);
  EXPECT_EQ(Check("GBR").flags, 1);
  EXPECT_EQ(Check("USA").flags, 0);  // set only by an entry examined
}

TEST_F(Installed, MissingLockedOrBinaryConfigurationLeavesTheResults) {
  ExpectUntouched(-1011);  // missing: the installer scripts test for -1011
  cfg = dir / "Nowhere";
  ExpectUntouched(-1011);
  cfg = dir / "Cfg";
  tvtest::WriteFile(ini, NotText("[TvDefault]\nInstalledData=GBR,C:\\"));
  ExpectUntouched(-1096);
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR,C:\\\n");
  {
    tvtest::Locked lock(ini);
    ExpectUntouched(-1011);
  }
  // NULL outputs are left alone.
  EXPECT_EQ(check(cfg.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr), 0);
}

// --- Products ---

TEST_F(Installed, ProductsFromSettingsOrFromTheFilesBeside) {
  struct Case {
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
  for (const Case& c : cases) {
    const std::string folder = dir / ("p" + std::to_string(++n));
    Put(folder + "\\tv.ini", std::string("[TvDefault]\n") + c.settings);
    for (const char* file : c.files) Put(folder + "\\" + file);
    int32_t mask = -1;
    EXPECT_EQ(products((folder + "\\tv.ini").c_str(), &mask), 0) << n;
    EXPECT_EQ(mask, c.mask) << n;
  }
  int32_t mask = -1;
  EXPECT_EQ(products((dir / "none.ini").c_str(), &mask), -1010);
  EXPECT_EQ(mask, 0);
  Put(dir / "bin.ini", NotText(""));
  EXPECT_EQ(products((dir / "bin.ini").c_str(), &mask), -1096);
}

// --- Recording in the server configuration ---

TEST_F(Installed, UpdateTvwserveV5PutsTheEntryFirst) {
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\n+USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR,D:\\New", 1, 7, 8), 0);
  EXPECT_EQ(tvtest::ReadFile(ini),
            "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "AllInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n");

  // Identifier 0 (in its 16 bits): NewInstalledData, created.
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\nAllInstalledData=USA,C:\\Us\r\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR,D:\\New", 0x10000, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini),
            "[TvDefault]\r\nInstalledData=gbr,C:\\Old\r\nAllInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "NewInstalledData=GBR,D:\\New\r\n");
}

TEST_F(Installed, UpdateTvwserveV5DropsEmptyItemsAndRepeats) {
  const std::string longEntry = "USA," + std::string(240, 'u');  // longer than an ini list item
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=\n+" + longEntry + "\n++\n+  \n+GBRX,old\n" +
                             "AllInstalledData=+\n+usa,c:\\us\n+FRA,F:\\\n+USA,C:\\Us\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR,D:\\New", 1, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+" + longEntry +
                                       "\r\nAllInstalledData=GBR,D:\\New\r\n+FRA,F:\\\r\n+usa,c:\\us\r\n");
  // Already in the all list (ignoring case): that list is not rewritten.
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR,D:\\New\nAllInstalledData=ZZZ,1\n+gbr,d:\\new\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR,D:\\New", 1, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\nAllInstalledData=ZZZ,1\r\n+gbr,d:\\new\r\n");
}

TEST_F(Installed, UpdateDataKeysOfAServerInstallation) {
  const std::string countries =
      "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledCountries=gbr,UK,C:\\Old\\GBR.dts\r\n"
      "+USA,United States,C:\\Data\\USA.dts\r\n";
  tvtest::WriteFile(ini, countries);
  EXPECT_EQ(updateKeys(ini.c_str(), "GBR,United Kingdom,D:\\Data\\GBR.dts", 4), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countries +
                                       "NewInstalledCountries=GBR,United Kingdom,D:\\Data\\GBR.dts\r\n"
                                       "+USA,United States,C:\\Data\\USA.dts\r\n"
                                       "AllInstalledCountries=gbr,UK,C:\\Old\\GBR.dts\r\n"
                                       "+GBR,United Kingdom,D:\\Data\\GBR.dts\r\n");

  tvtest::WriteFile(ini, "[TvDefault]\r\nServerAddress=tvtcpip:server:2021\r\nInstalledData=GBR,C:\\Old\r\n");
  EXPECT_EQ(updateKeys(ini.c_str(), "GBR,D:\\New", 0x10008), 0);
  EXPECT_EQ(tvtest::ReadFile(ini),
            "[TvDefault]\r\nServerAddress=tvtcpip:server:2021\r\nInstalledData=GBR,C:\\Old\r\n"
            "NewInstalledData=GBR,D:\\New\r\nAllInstalledData=GBR,C:\\Old\r\n+GBR,D:\\New\r\n");
}

TEST_F(Installed, UpdateDataKeysOfAPlainInstallation) {
  tvtest::WriteFile(ini, "[TvDefault]\r\nServerAddress=TVLOCAL\r\nInstalledData=GBR,C:\\Old\r\n+USA,C:\\Us\r\n"
                         "AllInstalledData=GBR,C:\\Old\r\n");
  EXPECT_EQ(updateKeys(ini.c_str(), "GBR,D:\\New", 8), 0);
  EXPECT_EQ(tvtest::ReadFile(ini),
            "[TvDefault]\r\nServerAddress=TVLOCAL\r\nInstalledData=GBR,D:\\New\r\n+USA,C:\\Us\r\n"
            "AllInstalledData=GBR,C:\\Old\r\n+GBR,D:\\New\r\n");
  // Formats other than 8 select the country keys.
  for (int32_t format : {0, 4, 12}) {
    tvtest::WriteFile(ini, "[TvDefault]\r\n");
    EXPECT_EQ(updateKeys(ini.c_str(), "FRA,France,F:\\FRA.dts", format), 0);
    EXPECT_EQ(tvtest::ReadFile(ini),
              "[TvDefault]\r\nInstalledCountries=FRA,France,F:\\FRA.dts\r\n"
              "AllInstalledCountries=FRA,France,F:\\FRA.dts\r\n")
        << format;
  }
}

TEST_F(Installed, LongListsKeepEveryEntry) {
  std::string lists = "[TvDefault]\r\nInstalledData=AAA,C:\\Data\\0";
  for (int i = 1; i < 1500; ++i) lists += "\r\n+A" + std::to_string(i) + ",C:\\Data\\" + std::to_string(i);
  tvtest::WriteFile(ini, lists + "\r\n");
  EXPECT_EQ(updateKeys(ini.c_str(), "GBR,D:\\New", 8), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), lists + "\r\n+GBR,D:\\New\r\nAllInstalledData=GBR,D:\\New\r\n");
}

// --- Installed countries ---

TEST_F(Installed, IsISOPresentSearchesTheNewListFirst) {
  tvtest::WriteFile(ini,
                    "[TvDefault]\nNewInstalledCountries=GBR,United Kingdom,C:\\Data\\GBR.dts\n"
                    "+USA,United States,C:\\Data\\USA.dts\nInstalledCountries=DEU,Germany,C:\\D.dts\n+ITA,Italy,C:\\I.dts\n");
  Log();
  EXPECT_EQ(present("gbr", cfg.c_str()), 0);
  EXPECT_EQ(Log(), "> TvIsi_IsISOPresent (gbr, " + cfg + ")\r\n< TvIsi_IsISOPresent = 0\r\n");
  EXPECT_EQ(present("FRA", cfg.c_str()), 1);
  EXPECT_EQ(Log(), "> TvIsi_IsISOPresent (FRA, " + cfg +
                       ")\r\n"
                       "In 1 [1] NewInstalledCountries [USA,United States,C:\\Data\\USA.dts]\r\n"
                       "First line read is DEU,Germany,C:\\D.dts\r\n"
                       "In 1 [-1] InstalledCountries [ITA,Italy,C:\\I.dts]\r\n"
                       "< TvIsi_IsISOPresent = 1\r\n");
  EXPECT_EQ(present("it", cfg.c_str()), 0);
  EXPECT_EQ(present("GB", cfg.c_str()), 0);
  EXPECT_EQ(present("DEUX", cfg.c_str()), 1);  // the sign of the last comparison
  EXPECT_EQ(present("ZZZ", cfg.c_str()), -1);
  EXPECT_EQ(present("", cfg.c_str()), 1);  // an empty code is never recorded

  // Without either list the country is not recorded; without the file only the entry is logged.
  tvtest::WriteFile(ini, "[TvDefault]\nServerAddress=x\n");
  Log();
  EXPECT_EQ(present("GBR", cfg.c_str()), 1);
  EXPECT_EQ(Log(), "> TvIsi_IsISOPresent (GBR, " + cfg +
                       ")\r\nFirst line read is \r\n< TvIsi_IsISOPresent = 1\r\n");
  DeleteFileA(ini.c_str());
  EXPECT_EQ(present("GBR", cfg.c_str()), -1010);
  EXPECT_EQ(Log(), "> TvIsi_IsISOPresent (GBR, " + cfg + ")\r\n");
}

TEST_F(Installed, CountriesBecomeDataEntries) {
  const std::string countries =
      "[TvDefault]\r\nInstalledCountries=GBR,United Kingdom,C:\\Data\\GBR.dts\r\n+gbr,UK,D:\\Other\\GBR.dts\r\n"
      "NewInstalledCountries=GBK,UK roads,E:\\Roads\\\\GBK.dts\r\n+USA,United States,C:\\Data\\USA.dts\r\n"
      "PreviousInstalledCountries=FRA,France,F:\\Fr\\FRA.dts\r\n+gbr,UK,D:\\Other\\GBR.dts\r\n";
  tvtest::WriteFile(ini, countries + "AllInstalledData=A,1\r\n+a,1\r\n+\r\n+B,2\r\n");
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countries +
                                       "AllInstalledData=A,1\r\n+B,2\r\n"
                                       "InstalledData=GBR,C:\\Data\r\n"
                                       "NewInstalledData=GBR,E:\\Roads\r\n+USA,C:\\Data\r\n"
                                       "PreviousInstalledData=FRA,F:\\Fr\r\n+gbr,D:\\Other\r\n");
  // Converting again adds nothing; an entry equal but for case stays as written.
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\Data\\GBR.dts\r\nInstalledData=GBR,c:\\data\r\n");
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini),
            "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\Data\\GBR.dts\r\nInstalledData=GBR,c:\\data\r\n");
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
      tvtest::WriteFile(ini, binary);
      EXPECT_EQ(e.call("GBR,D:\\New"), -1096);
      EXPECT_EQ(tvtest::ReadFile(ini), binary);
    }
    tvtest::WriteFile(ini, text);
    {
      tvtest::Locked lock(ini);
      EXPECT_EQ(e.call("GBR,D:\\New"), -1016);
    }
    if (e.takesEntry) {
      for (const char* entry : {"GBR,D:\\New\r\n[Other]", "GBR\n+USA,x"}) EXPECT_EQ(e.call(entry), -1096) << entry;
      for (const char* entry : {"", " ", "  ", "\t", " \t ", static_cast<const char*>(nullptr)})
        EXPECT_EQ(e.call(entry), 0) << '[' << (entry ? entry : "NULL") << ']';
    }
    EXPECT_EQ(tvtest::ReadFile(ini), text);
  }
  EXPECT_EQ(present("GBR", cfg.c_str()), 0);  // the configuration buffer was given back each time
}

// --- What no single example reaches ---

TEST_F(Installed, DirectoriesTooLongToUseAreMissingNeverCut) {
  // The first 255 characters of the stored directory name a folder that
  // holds the data file; the directory itself does not exist.
  const std::string stored = dir / std::string(306 - dir.path().size() - 1, 'x');
  Put(stored.substr(0, 255) + "\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR," + stored + "\n");
  ExpectFound(Check("GBR"), "GBR", cfg + "\\Data", cfg + "\\Data", 0);
  const std::string countries = "[TvDefault]\r\nInstalledCountries=GBR,UK," + stored + "\\GBR.dts\r\n";
  tvtest::WriteFile(ini, countries);
  ExpectFound(Check("GBR"), "GBR", cfg + "\\Data", cfg + "\\Data", 0);
  // The conversion writes the whole directory.
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countries + "InstalledData=GBR," + stored + "\r\n");
}

TEST_F(Installed, PathArgumentsTooLongToUseAreRefusedNeverCut) {
  // A 255-character path works; one character more would be cut into it.
  const std::string exact = dir / (std::string(255 - dir.path().size() - 5, 'p') + ".ini");
  const std::string text = "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\x\\GBR.dts\r\n";
  tvtest::WriteFile(exact, text);
  const std::string longer = exact + "q";
  EXPECT_EQ(updateKeys(longer.c_str(), "FRA,F:\\x", 8), -1028);
  EXPECT_EQ(toData(longer.c_str()), -1028);
  EXPECT_EQ(updateV5(longer.c_str(), "FRA,F:\\x", 1, 0, 0), -1028);
  int32_t mask = -7;
  EXPECT_EQ(products(longer.c_str(), &mask), -1028);
  EXPECT_EQ(tvtest::ReadFile(exact), text);
  EXPECT_EQ(toData(exact.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(exact), text + "InstalledData=GBR,C:\\x\r\n");
  // A folder whose first 255 characters name another folder (here the
  // configuration's own, followed by separators that a full path drops).
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,UK,C:\\x\\GBR.dts\n");
  cfg += std::string(256 - cfg.size(), '\\') + "Elsewhere";
  ExpectUntouched(-1011);
  EXPECT_EQ(present("GBR", cfg.c_str()), -1028);
}

// Also with a form feed and an end-of-file mark in them, which ini text may hold.
TEST_F(Installed, EntriesOfOtherCountriesAreKeptWholeByEveryListExport) {
  const std::string usa = "USA,C:\\\f" + std::string(295, 'u');   // 300 characters
  const std::string deu = "DEU,C:\\\x1a" + std::string(4991, 'd');  // 5,000 characters
  const std::string gbrOld = "GBR,C:\\" + std::string(392, 'o');  // replaced, whole into the all list
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=" + usa + "\r\n+" + gbrOld + "\r\n+" + deu +
                             "\r\nAllInstalledData=" + usa + "\r\n+" + deu + "\r\n");
  EXPECT_EQ(updateKeys(ini.c_str(), "GBR,D:\\New", 8), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledData=" + usa + "\r\n+GBR,D:\\New\r\n+" + deu +
                                       "\r\nAllInstalledData=" + usa + "\r\n+" + deu + "\r\n+" + gbrOld +
                                       "\r\n+GBR,D:\\New\r\n");

  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=" + deu + "\r\n+GBR,C:\\Old\r\n+" + usa +
                             "\r\nAllInstalledData=" + usa + "\r\n+" + deu + "\r\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR,D:\\New", 1, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledData=GBR,D:\\New\r\n+" + deu + "\r\n+" + usa +
                                       "\r\nAllInstalledData=GBR,D:\\New\r\n+" + deu + "\r\n+" + usa + "\r\n");

  const std::string countries = "[TvDefault]\r\nInstalledCountries=DEU,Germany," + deu.substr(4) +
                                "\\DEU.dts\r\n+USA,US," + usa.substr(4) + "\\USA.dts\r\nInstalledData=";
  tvtest::WriteFile(ini, countries + deu + "\r\n");
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countries + deu + "\r\n+" + usa + "\r\n");
}

TEST_F(Installed, UpdateTvwserveV5ReplacesTheEntriesOfItsCode) {
  // A code is the text before the first comma, cut to three characters, as
  // discovery reads it: GBRX is a GBR entry, GB one of its own.
  tvtest::WriteFile(ini, "[TvDefault]\r\nNewInstalledData=GBRX\r\n+gbr,C:\\Old\r\n+GBR\r\n+GB,C:\\Two\r\n+G\r\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GBR", 0, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nNewInstalledData=GBR\r\n+GB,C:\\Two\r\n+G\r\n"
                                   "AllInstalledData=GBR\r\n");
  EXPECT_EQ(updateV5(ini.c_str(), "GB,C:\\New", 0, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nNewInstalledData=GB,C:\\New\r\n+GBR\r\n+G\r\n"
                                   "AllInstalledData=GB,C:\\New\r\n+GBR\r\n");
}

TEST_F(Installed, NulPaddingIsNoContent) {
  // Block-wise copy tools leave NUL bytes after the text: every list export
  // takes such a file, and what it saves leaves the padding out.
  Put(data + "\\GBR.dts");
  const std::string text = "[TvDefault]\r\nInstalledData=GBR," + data + "\r\n";
  const std::string padded = text + std::string(512, '\0');
  tvtest::WriteFile(ini, padded);
  ExpectFound(Check("GBR"), "GBR", data, data, 0);
  EXPECT_EQ(present("GBR", cfg.c_str()), 1);
  int32_t mask = -7;
  EXPECT_EQ(products(ini.c_str(), &mask), 0);
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), text);
  tvtest::WriteFile(ini, padded);
  EXPECT_EQ(updateV5(ini.c_str(), "USA,C:\\Us", 1, 0, 0), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledData=USA,C:\\Us\r\n+GBR," + data +
                                       "\r\nAllInstalledData=USA,C:\\Us\r\n");
  tvtest::WriteFile(ini, padded);
  EXPECT_EQ(updateKeys(ini.c_str(), "USA,C:\\Us", 8), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), text.substr(0, text.size() - 2) + "\r\n+USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n");
}

// An entry of 1,023 characters is taken whole; a longer one is cut, and the
// log says so.
TEST_F(Installed, EntriesLongerThan1023CharactersAreCut) {
  tvtest::WriteFile(ini, "[TvDefault]\r\nInstalledData=USA,C:\\Us\r\nAllInstalledData=USA,C:\\Us\r\n");
  Log();
  const std::string entry = "FRA," + std::string(1019, 'f');
  EXPECT_EQ(updateV5(ini.c_str(), entry.c_str(), 0, 0, 0), 0);
  EXPECT_EQ(updateKeys(ini.c_str(), (entry + "tail").c_str(), 8), 0);
  const std::string file = tvtest::ReadFile(ini);
  EXPECT_NE(file.find("NewInstalledData=" + entry + "\r\n"), std::string::npos);
  EXPECT_NE(file.find("InstalledData=USA,C:\\Us\r\n+" + entry + "\r\n"), std::string::npos);
  EXPECT_EQ(file.find("tail"), std::string::npos);
  const std::string logged = Log();
  EXPECT_NE(logged.find("_vsData cut to 1023 characters\r\n"), std::string::npos);
  EXPECT_EQ(logged.find("cut to"), logged.rfind("cut to"));  // once: the entry of 1,023 was not cut
}

TEST_F(Installed, SecondCallsInOneSessionAnswerAsTheFirst) {
  Put(data + "\\GBR.dts");
  const std::string text = "[TvDefault]\r\nUsedByKeelNet=Yes\r\nInstalledCountries=GBR,UK," + data +
                           "\\GBR.dts\r\n+USA,US,C:\\Us\\USA.dts\r\n+FRA,France,C:\\Fr\\FRA.dts\r\n";
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    tvtest::WriteFile(ini, text);
    ExpectFound(Check("GBR"), "GBR", data, data, 0);
    EXPECT_EQ(present("FRA", cfg.c_str()), 0);
    EXPECT_EQ(present("DEU", cfg.c_str()), 1);
    int32_t mask = 0;
    EXPECT_EQ(products(ini.c_str(), &mask), 0);
    EXPECT_EQ(mask, 0x2080);
    EXPECT_EQ(toData(ini.c_str()), 0);
    EXPECT_EQ(updateKeys(ini.c_str(), "DEU,Germany,C:\\De\\DEU.dts", 4), 0);
    EXPECT_EQ(tvtest::ReadFile(ini), text +
                                         "InstalledData=GBR," + data + "\r\n+USA,C:\\Us\r\n+FRA,C:\\Fr\r\n"
                                         "NewInstalledCountries=GBR,UK," + data + "\\GBR.dts\r\n"
                                         "+USA,US,C:\\Us\\USA.dts\r\n+FRA,France,C:\\Fr\\FRA.dts\r\n"
                                         "+DEU,Germany,C:\\De\\DEU.dts\r\n"
                                         "AllInstalledCountries=DEU,Germany,C:\\De\\DEU.dts\r\n");
  }
}

TEST_F(Installed, AFolderWithoutItsDataFileGivesWayToALaterCompleteEntry) {
  const std::string empty = dir / "Empty";
  Put(empty + "\\readme.txt");
  Put(data + "\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,UK," + empty + "\\GBR.dts\n+GBR,UK," + empty +
                             "\\GBR.rds\nInstalledData=GBR," + empty + "\n+GBR," + data + "\n+GBR," + empty + "\n");
  ExpectFound(Check("GBR"), "GBR", data, data, 0);
  // An empty directory is the current one.
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledData=GBR,\n+GBR," + empty + "\n");
  ExpectFound(Check("GBR"), "GBR", empty, empty, 2);  // the last examined; the first was relative
  Put(dir / "GBR.dts");
  ExpectFound(Check("GBR"), "GBR", "", "", 2);
}

TEST_F(Installed, DataFilesInADriveRoot) {
  // "C:\\name.dts" names the root's file, not one in the drive's current
  // directory; a complete entry follows it.
  const std::string name = "tvroot" + std::to_string(GetCurrentProcessId());
  const std::string root = "C:\\" + name + ".dts";
  Put(data + "\\" + name + ".dts");
  const std::string countries =
      "[TvDefault]\r\nInstalledCountries=GBR,UK," + root + "\r\n+GBR,UK," + data + "\\" + name + ".dts\r\n";
  tvtest::WriteFile(ini, countries);
  tvtest::WriteFile(root, "data");
  const Found found = Check("GBR");
  DeleteFileA(root.c_str());
  ExpectFound(found, "GBR", "C:", "C:", 0);
  Put(dir / (name + ".dts"));  // in the current directory, on drive C: too
  ExpectFound(Check("GBR"), "GBR", data, data, 0);
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(tvtest::ReadFile(ini), countries + "InstalledData=GBR,C:\r\n");  // a repeated country is dropped
}

class InstalledTrace : public Installed {
 protected:
  std::string trace = dir / "trace.log";
  void SetUp() override {
    tvtest::WriteFile(libDir / "tvapi.ini", "ApiFile=" + trace + "\n");
    Installed::SetUp();
  }
};

TEST_F(InstalledTrace, ParametersAndResultsOfEachExport) {
  Put(dir / "Data\\GBR.dts");
  tvtest::WriteFile(ini, "[TvDefault]\r\nUsedByHeron=1\r\nInstalledCountries=GBR,UK," + dir / "Data\\GBR.dts" + "\r\n");
  char code[4], dataDir[256], baseDir[256];
  int32_t flags, mask;
  EXPECT_EQ(check(cfg.c_str(), "GBRX", 0, code, dataDir, baseDir, &flags), 0);
  EXPECT_EQ(products(ini.c_str(), &mask), 0);
  EXPECT_EQ(toData(ini.c_str()), 0);
  EXPECT_EQ(updateV5(ini.c_str(), "USA,D:\\Us", 1, 2, 3), 0);
  EXPECT_EQ(updateKeys(ini.c_str(), "FRA,France,F:\\FRA.dts", 4), 0);
  using tvtest::Traced;
  EXPECT_EQ(tvtest::ReadFile(trace),
            Traced("TvIsi_Startup", {"return 0"}) +
                Traced("TvIsi_CheckIniForData",
                       {"_vsIniPath -> '" + cfg + "'", "_vsISO -> 'GBR'", "_viSrchADS -> 0", "_rsFoundISO <- 'GBR'",
                        "_rsDataDir <- '" + data + "'", "_rsBaseDir <- '" + data + "'", "_riFlags <- 0", "return 0"}) +
                Traced("TvIsi_ProdFromIni", {"_vsIni -> '" + ini + "'", "_rlProd <- 16512", "return 0"}) +
                Traced("TvIsi_InstalledCountriesToData", {"_vsIni -> '" + ini + "'", "return 0"}) +
                Traced("TvIsi_UpdateTvwserveV5", {"_vsPath -> '" + ini + "'", "_vsData -> 'USA,D:\\Us'", "_iID -> 1",
                                                  "_iAID -> 2", "_iNID -> 3", "return 0"}) +
                Traced("TvIsi_UpdateDataKeys",
                       {"_vsIni -> '" + ini + "'", "_vsData -> 'FRA,France,F:\\FRA.dts'", "_viFormat -> 4"}) +
                // the routines it calls: the current list, the superseded
                // entry (none, so nothing more) and the new entry of the all list
                Traced("UpdateMultiline") + Traced("TvIsi_IniSetString", {"return 0"}) + Traced("UpdateMultiline") +
                Traced("UpdateMultiline") + Traced("TvIsi_IniSetString", {"return 0"}) + "!     return 0\r\n");
}
}  // namespace
