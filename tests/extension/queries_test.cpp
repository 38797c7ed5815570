// The file, size and date queries, called through the library as an
// installer engine calls them, on data files made here with trailers of two
// releases, and checked against the log lines they must write.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

const std::string kDot = "\xB7";
const char kFirstRelease[] = "12 09 2003 Autumn";
const char kSecondRelease[] = "01 03 2004";
using tvtest::DataFile;

std::string Trailer(const char* release, const std::string& sections) {
  return "[TvDefault]\nDate=" + std::string(release) + "\nCopyright=Data maker\n" + sections;
}

const std::string kBritain = Trailer(kFirstRelease,
                                     "[GBR]\nCountryName=United Kingdom\n49CountryName=Grossbritannien\n"
                                     "33Region=Royaume-Uni\nRegion=Britain\n");
const std::string kGermany = Trailer(kFirstRelease, "CountryName=Deutschland\n[D]\n[DE]\n[Country]\nName=none\n");
const std::string kFrance = Trailer(kSecondRelease, "[FRA]\nCountryName=France\n");

struct Loaded {
  int32_t status;
  std::string code, name, info;
};

class Queries : public tvtest::LibraryTest {
 protected:
  std::string data = dir / "data";
  decltype(&TvIsi_FileWriteable) writeable = nullptr;
  decltype(&TvIsi_GetTotalFileSize) totalSize = nullptr;
  decltype(&TvIsi_DataVintage) vintage = nullptr;
  decltype(&TvIsi_FileLoadIni) loadIni = nullptr;
  decltype(&TvIsi_GetIniString) iniString = nullptr;
  decltype(&TvIsi_FormatDateShortToLong) longDate = nullptr;

  // The kernel is started afresh by each Log(), so the release the data
  // files recorded is forgotten then.
  void SetUp() override {
    Configure();
    CreateDirectoryA(data.c_str(), nullptr);
    tvtest::WriteFile(data + "\\gbr.dts", DataFile(kBritain));
    tvtest::WriteFile(data + "\\deu_data.dts", DataFile(kGermany));
    tvtest::WriteFile(data + "\\fra.dts", DataFile(kFrance));
    LibraryTest::Load();
    ASSERT_EQ(Start(), 0);
    writeable = TV_GET(*lib, TvIsi_FileWriteable);
    totalSize = TV_GET(*lib, TvIsi_GetTotalFileSize);
    vintage = TV_GET(*lib, TvIsi_DataVintage);
    loadIni = TV_GET(*lib, TvIsi_FileLoadIni);
    iniString = TV_GET(*lib, TvIsi_GetIniString);
    longDate = TV_GET(*lib, TvIsi_FormatDateShortToLong);
  }
  Loaded Load(const std::string& path, const char* language = "44") {
    char code[4] = "old", name[64] = "old", info[64] = "old";
    const int32_t status = loadIni(code, name, info, path.c_str(), language);
    return {status, code, name, info};
  }
  std::pair<int32_t, int32_t> Total(const std::string& lines, const char* names, const char* key = "Sizes") {
    const std::string ini = dir / "sizes.ini";
    tvtest::WriteFile(ini, "[TvDefault]\r\nSizes=" + lines + "\r\n");
    int32_t total = -7;
    const int32_t status = totalSize(ini.c_str(), key, names, &total);
    return {status, total};
  }
};

// --- Size totals ---

TEST_F(Queries, SizeTotalsCountTheWantedEntriesInKilobytes) {
  const std::string path127 = "C:\\" + std::string(122, 'p') + "\\x";  // with the name
  const struct {
    const char* why;
    std::string lines;
    const char* names;
    int32_t status, total;
  } cases[] = {
      {"case ignored, second extension dropped", "A,B,C:\\data\\gbr.dts,2048\r\n+A,B,C:\\data\\fra.dts.old,4096",
       "GBR.DTS\nfra.dts", 0, 6},
      {"names with CR LF", "A,B,C:\\data\\gbr.dts,2048\r\n+A,B,C:\\data\\fra.dts.old,4096", "gbr.dts\r\nfra.dts\r\n", 0,
       6},
      {"1023 bytes count 0", "x,y,C:\\d\\small.dts,1023\r\n+x,y,C:\\d\\big.dts,1025", "small.dts\nbig.dts", 0, 1},
      {"fields after the size ignored", "x,y,C:\\d\\a.dts, 3072 ,more,fields", "a.dts", 0, 3},
      {"names not wanted", "A,B,C:\\data\\gbr.dts,2048", "deu.dts\ngbr", 0, 0},
      {"only one more extension of three", "A,B,C:\\d\\fra.dts.backup,4096\r\n+A,B,C:\\d\\fra.d.old,4096",
       "fra.dts\nfra.d", 0, 0},
      {"largest size", "A,B,C:\\d\\a.dts,4294967295", "a.dts", 0, 4194303},
      {"malformed: total so far", "A,B,C:\\d\\a.dts,2048\r\n+A,B,no-backslash,4096\r\n+A,B,C:\\d\\b.dts,4096",
       "a.dts\nb.dts", -1, 2},
      {"two commas", "A,B,C:\\d\\a.dts", "a.dts", -1, 0},
      {"negative size", "A,B,C:\\d\\a.dts,-2048", "a.dts", -1, 0},
      {"size beyond 32 bits", "A,B,C:\\d\\a.dts,4294967296", "a.dts", -1, 0},
      {"size with letters", "A,B,C:\\d\\a.dts,2k", "a.dts", -1, 0},
      {"empty size", "A,B,C:\\d\\a.dts,", "a.dts", -1, 0},
      {"path of 127 characters", "A,B," + path127 + ",2048", "x", 0, 2},
      {"path of 128 characters", "A,B,p" + path127 + ",2048", "x", -1, 0},
      {"a long line read whole", std::string(300, 'f') + ",B,C:\\d\\a.dts,2048", "a.dts", 0, 2},
  };
  for (const auto& c : cases) {
    const auto [status, total] = Total(c.lines, c.names);
    EXPECT_EQ(status, c.status) << c.why;
    EXPECT_EQ(total, c.total) << c.why;
  }
  EXPECT_EQ(Total("A,B,C:\\data\\gbr.dts,2048", "gbr.dts", "Missing"), std::make_pair(0, 0));
  EXPECT_EQ(Total("A,B,C:\\data\\gbr.dts,2048", nullptr), std::make_pair(0, 0));
  EXPECT_EQ(Total("A,B,C:\\data\\gbr.dts,2048", "gbr.dts", nullptr), std::make_pair(0, 0));
}

TEST_F(Queries, ATotalBeyond31BitsStopsWithTheTotalBeforeIt) {
  std::string lines = "A,B,C:\\d\\a.dts,4294967295";
  for (int i = 1; i < 513; ++i) lines += "\r\n+A,B,C:\\d\\a.dts,4294967295";
  EXPECT_EQ(Total(lines, "a.dts"), std::make_pair(-1095, 512 * 4194303));
}

TEST_F(Queries, SizeTotalsOfMissingOrUnnamedFilesFailAndLeaveTheTotal) {
  int32_t total = -7;
  EXPECT_EQ(totalSize((dir / "none.ini").c_str(), "Sizes", "a.dts", &total), -1010);
  EXPECT_EQ(totalSize(nullptr, "Sizes", "a.dts", &total), -1010);
  EXPECT_EQ(totalSize("", "Sizes", "a.dts", &total), -1010);
  EXPECT_EQ(total, -7);
  tvtest::WriteFile(dir / "sizes.ini", "[TvDefault]\r\nSizes=A,B,C:\\d\\a.dts,2048\r\n");
  EXPECT_EQ(totalSize((dir / "sizes").c_str(), "Sizes", "a.dts", nullptr), 0);  // default extension ini
}

TEST_F(Queries, SizeTotalLog) {
  const auto [status, total] =
      Total("A,B,C:\\data\\gbr.dts,2048\r\n+A,B,C:\\data\\fra.dts.old,4096\r\n+bad", "GBR.DTS\nfra.dts");
  EXPECT_EQ(status, -1);
  EXPECT_EQ(total, 6);
  EXPECT_EQ(Log(), "> TvIsi_GetTotalFileSize (" + dir / "sizes.ini" +
                       ")\r\n"
                       "eCode = 0\r\ngbr.dts, 2\r\n"
                       "eCode = 0\r\nfra.dts.old, 4\r\n"
                       "eCode = -1\r\n, 0\r\n"
                       "Total size = 6\r\n"
                       "< TvIsi_GetTotalFileSize = -1\r\n");
}

// --- Data files ---

TEST_F(Queries, CountryCodeNameAndReleaseOfDataFiles) {
  const std::string gbr = data + "\\gbr.dts", deu = data + "\\deu_data.dts";
  const std::string info = "12 September 2003 (Autumn)";
  const struct {
    std::string path;
    const char* language;
    const char* code;
    const char* name;
  } cases[] = {
      {gbr, "44", "GBR", "United Kingdom"},  // TvDefault is passed over: not three characters
      {gbr, "49", "GBR", "Grossbritannien"},
      {deu, "44", "deu", "Deutschland"},  // no section of three (one and two are not): the file name
  };
  for (const auto& c : cases) {
    const Loaded got = Load(c.path, c.language);
    EXPECT_EQ(got.status, 0) << c.path;
    EXPECT_EQ(got.code, c.code);
    EXPECT_EQ(got.name, c.name);
    EXPECT_EQ(got.info, info);
  }
  // Another release than the first loaded, and a missing file: nothing written.
  for (const std::string& path : {data + "\\fra.dts", data + "\\none.dts"}) {
    const Loaded got = Load(path);
    EXPECT_EQ(got.status, path.find("fra") != std::string::npos ? -1017 : -1010) << path;
    EXPECT_EQ(got.code + got.name + got.info, "oldoldold");
  }
  // A new session takes whichever release comes first.
  Log();
  EXPECT_EQ(Load(data + "\\fra.dts").name, "France");
  EXPECT_EQ(Load(gbr).status, -1017);
}

TEST_F(Queries, DataFileLoadLog) {
  const std::string gbr = data + "\\gbr.dts", deu = data + "\\deu_data.dts";
  Load(gbr, "49");
  Load(deu, "44");
  Load(data + "\\fra.dts");
  const std::string release = kDot + "DataVer 12 September 2003 (Autumn)\r\n";
  EXPECT_EQ(Log(), "> TvIsi_FileLoadIni (" + gbr + ")\r\n" + kDot + "Section TvDefault\r\n" + kDot +
                       "Section GBR\r\nFound section " + kDot + "ISO GBR\r\n" + kDot + "Lang 49 " + kDot + "File " +
                       gbr + "\r\n" + kDot + "CountryName Grossbritannien\r\n" + release +
                       "< TvIsi_FileLoadIni = 0\r\n"
                       "> TvIsi_FileLoadIni (" +
                       deu + ")\r\n" + kDot + "Section TvDefault\r\n" + kDot + "Section D\r\n" + kDot +
                       "Section DE\r\n" + kDot + "Section Country\r\nFAILOVER " + kDot + "ISO deu\r\n" + kDot +
                       "Lang 44 " + kDot + "File " + deu + "\r\n" + kDot + "CountryName Deutschland\r\n" + release +
                       "< TvIsi_FileLoadIni = 0\r\n"
                       "> TvIsi_FileLoadIni (" +
                       data +
                       "\\fra.dts)\r\n"
                       "< TvIsi_FileLoadIni = -1017\r\n");
}

TEST_F(Queries, HostileDataFilesGiveAClearStatusAndNoOutput) {
  const struct {
    const char* name;
    std::string bytes;
    int32_t loadStatus, vintageStatus;
    const char* date;  // the release that TvIsi_DataVintage gives
  } cases[] = {
      {"lying.dts", DataFile(kBritain, "content", 4000), -1012, -1012, "old"},
      {"short.dts", DataFile(kBritain, "content", 3), -1012, -1012, "old"},
      {"plain.dts", "a data file without a trailer, long enough to be looked at", -1017, 0, ""},
      {"empty.dts", "", -1017, 0, ""},
      {"nodate.dts", DataFile("[GBR]\nCountryName=United Kingdom\n"), -1017, 0, ""},
      {"second.dts", DataFile(kFrance), -1017, 0, kSecondRelease},  // another release than the first loaded
  };
  tvtest::WriteFile(data + "\\first.dts", DataFile(kBritain));
  EXPECT_EQ(Load(data + "\\first.dts").status, 0);
  for (const auto& c : cases) {
    const std::string path = data + "\\" + c.name;
    tvtest::WriteFile(path, c.bytes);
    const Loaded got = Load(path);
    EXPECT_EQ(got.status, c.loadStatus) << c.name;
    EXPECT_EQ(got.code + got.name + got.info, "oldoldold") << c.name;
    char date[64] = "old";
    EXPECT_EQ(vintage(date, path.c_str(), ""), c.vintageStatus) << c.name;
    EXPECT_STREQ(date, c.date) << c.name;
  }
  // A folder where the file should be, and no path at all.
  const std::string folder = data + "\\folder.dts";
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* path : {folder.c_str(), "", static_cast<const char*>(nullptr)}) {
    char code[4] = "old", name[64] = "old", text[128] = "old";
    EXPECT_LT(loadIni(code, name, text, path, "44"), 0);
    EXPECT_LT(vintage(text, path, ""), 0);
    EXPECT_LT(iniString(path, "GBR", "CountryName", "44", text), 0);
    EXPECT_EQ(std::string(code) + name + text, "oldoldold");
  }
  // Null outputs are passed over.
  EXPECT_EQ(loadIni(nullptr, nullptr, nullptr, (data + "\\gbr.dts").c_str(), nullptr), 0);
  EXPECT_EQ(vintage(nullptr, (data + "\\gbr.dts").c_str(), nullptr), 0);
  EXPECT_EQ(iniString((data + "\\gbr.dts").c_str(), nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Queries, SettingsInTheLanguageAskedElseBareElseTvDefault) {
  const std::string gbr = data + "\\gbr.dts";
  const struct {
    const char* section;
    const char* key;
    const char* language;
    const char* value;
  } cases[] = {
      {"GBR", "Region", "33", "Royaume-Uni"},
      {"GBR", "Region", "44", "Britain"},
      {"gbr", "CountryName", "49", "Grossbritannien"},
      {"GBR", "Copyright", "44", "Data maker"},  // from TvDefault
      {"GBR", "Missing", "44", ""},
      {"XYZ", "Date", "49", kFirstRelease},
  };
  std::string logged;
  for (const auto& c : cases) {
    char value[128] = "old";
    EXPECT_EQ(iniString(gbr.c_str(), c.section, c.key, c.language, value), 0) << c.key;
    EXPECT_STREQ(value, c.value) << c.key;
    logged += "> TvIsi_GetIniString (" + gbr + ")\r\nSection " + c.section + ", Keyword " + c.key + ", Lang " +
              c.language + "\r\nIniString " + c.value + "\r\n< TvIsi_GetIniString = 0\r\n";
  }
  EXPECT_EQ(Log(), logged);
}

// Long values are cut to the stated sizes and nothing is written past them.
TEST_F(Queries, OutputsStayWithinTheirSizes) {
  const std::string longName(200, 'n');
  const std::string path = data + "\\big.dts";
  tvtest::WriteFile(path,
                    DataFile(Trailer(kFirstRelease, "[ABC]\nCountryName=" + longName + "\nValue=" + longName + "\n")));
  char code[5], name[65], info[65], value[129];
  memset(code, 'Z', sizeof code);
  memset(name, 'Z', sizeof name);
  memset(info, 'Z', sizeof info);
  memset(value, 'Z', sizeof value);
  ASSERT_EQ(loadIni(code, name, info, path.c_str(), "44"), 0);
  EXPECT_STREQ(code, "ABC");
  EXPECT_EQ(code[4], 'Z');
  EXPECT_EQ(info[64], 'Z');
  EXPECT_EQ(std::string(name), longName.substr(0, 63));
  EXPECT_EQ(name[64], 'Z');
  ASSERT_EQ(iniString(path.c_str(), "ABC", "Value", "44", value), 0);
  EXPECT_EQ(std::string(value), longName.substr(0, 127));
  EXPECT_EQ(value[128], 'Z');
}

// --- Dates and languages ---

TEST_F(Queries, ShortDatesInLongForm) {
  const struct {
    const char* shortDate;
    const char* language;
    int32_t fit;
    const char* longForm;
  } cases[] = {
      {"1/2/2015", "44", 1, "01 February 2015"},
      {"25, 3, 2015", "44", 1, "25 March 2015"},
      {"1/2/2015", "33", 1, "01 f\xE9vrier 2015"},
      {"1/2/2015", "", 1, "01 f\xE9vrier 2015"},  // the language stays in force
      {"1/2/2015", "49", 1, "01 Februar 2015"},
      {"25.03.2015", "44", 0, ""},
      {"25/03", "44", 0, ""},
      {"", "44", 0, ""},
      {"x/1/2015", "44", 0, ""},
      {"31/12/2015", "44", 1, "31 December 2015"},
      {"1/13/2015", "44", 0, ""},
      {"1/0/2015", "44", 0, ""},
      {"0/1/2015", "44", 0, ""},
      {"32/1/2015", "44", 0, ""},
  };
  for (const auto& c : cases) {
    char text[60] = "old";
    EXPECT_EQ(longDate(text, c.shortDate, c.language), c.fit) << c.shortDate << " " << c.language;
    EXPECT_STREQ(text, c.longForm) << c.shortDate << " " << c.language;
  }
  EXPECT_EQ(longDate(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Log(), "");  // no lines of its own

  // A build date picture whose text does not fit: cut at 59 characters.
  tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + log +
                                              "\nLanguage=44\n"
                                              "BuildDate=dd MMMM yyyy dd MMMM yyyy dd MMMM yyyy dd MMMM yyyy\n");
  Log();
  char text[64];
  memset(text, 'Z', sizeof text);
  EXPECT_EQ(longDate(text, "1/2/2015", "44"), 0);
  const std::string whole = "01 February 2015 01 February 2015 01 February 2015 01 February 2015";
  EXPECT_EQ(std::string(text), whole.substr(0, 59));
  EXPECT_EQ(text[60], 'Z');
}

// --- Writing ---

TEST_F(Queries, AWriteableFileAnswersAtOnce) {
  const std::string file = dir / "free.dat";
  tvtest::WriteFile(file, "data");
  EXPECT_EQ(writeable(file.c_str()), 0);
  EXPECT_EQ(writeable(""), -1010);
  EXPECT_EQ(tvtest::ReadFile(file), "data");
  EXPECT_EQ(Log(), "> TvIsi_FileWriteable (" + file +
                       ")\r\n< TvIsi_FileWriteable = 0\r\n"
                       "> TvIsi_FileWriteable ()\r\n< TvIsi_FileWriteable = -1010\r\n");
}

}  // namespace
