// The file, size and date queries, called through the library as an
// installer engine calls them, on data files made here with trailers of two
// releases, and checked against the log lines they must write.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

using tvtest::DataFile;
using tvtest::WriteFile;

const std::string kDot = "\xB7";
const char kFirstRelease[] = "12 09 2003 Autumn";
const char kSecondRelease[] = "01 03 2004";

std::string Trailer(const char* release, const std::string& sections) {
  return "[TvDefault]\nDate=" + std::string(release) + "\nCopyright=Data maker\n" + sections;
}

const std::string kBritain = Trailer(kFirstRelease,
                                     "[GBR]\nCountryName=United Kingdom\n49CountryName=Grossbritannien\n"
                                     "33Region=Royaume-Uni\nRegion=Britain\n");
const std::string kGermany = Trailer(kFirstRelease, "CountryName=Deutschland\n[D]\n[DE]\n[Country]\nName=none\n");
const std::string kFrance = Trailer(kSecondRelease, "[FRA]\nCountryName=France\n");

class Queries : public tvtest::LibraryTest {
 protected:
  std::string data = dir / "data";
  std::string gbr = data + "\\gbr.dts", deu = data + "\\deu_data.dts", fra = data + "\\fra.dts";
  TV_BIND(writeable, TvIsi_FileWriteable);
  TV_BIND(totalSize, TvIsi_GetTotalFileSize);
  TV_BIND(vintage, TvIsi_DataVintage);
  TV_BIND(loadIni, TvIsi_FileLoadIni);
  TV_BIND(iniString, TvIsi_GetIniString);
  TV_BIND(longDate, TvIsi_FormatDateShortToLong);

  // The kernel is started afresh by each Log(), so the release the data
  // files recorded is forgotten then.
  void SetUp() override {
    CreateDirectoryA(data.c_str(), nullptr);
    WriteFile(gbr, DataFile(kBritain));
    WriteFile(deu, DataFile(kGermany));
    WriteFile(fra, DataFile(kFrance));
    Begin();
  }
  // "status code|name|info" of a data file.
  std::string Loaded(const std::string& path, const char* language = "44") {
    char code[4] = "old", name[64] = "old", info[64] = "old";
    const int32_t status = loadIni(code, name, info, path.c_str(), language);
    return std::to_string(status) + " " + code + "|" + name + "|" + info;
  }
  std::pair<int32_t, int32_t> Total(const std::string& lines, const char* names, const char* key = "Sizes") {
    const std::string ini = dir / "sizes.ini";
    WriteFile(ini, "[TvDefault]\r\nSizes=" + lines + "\r\n");
    int32_t total = -7;
    const int32_t status = totalSize(ini.c_str(), key, names, &total);
    return {status, total};
  }
};

TEST_F(Queries, SizeTotalsCountTheWantedEntriesInKilobytes) {
  const std::string path127 = "C:\\" + std::string(122, 'p') + "\\x";  // with the name
  const std::string two = "A,B,C:\\data\\gbr.dts,2048\r\n+A,B,C:\\data\\fra.dts.old,4096";
  std::string beyond31Bits = "A,B,C:\\d\\a.dts,4294967295";
  for (int i = 1; i < 513; ++i) beyond31Bits += "\r\n+A,B,C:\\d\\a.dts,4294967295";
  const struct {
    const char* why;
    std::string lines;
    const char* names;
    int32_t status, total;
  } cases[] = {
      // clang-format off
      {"case ignored, second extension dropped", two, "GBR.DTS\nfra.dts", 0, 6},
      {"names with CR LF", two, "gbr.dts\r\nfra.dts\r\n", 0, 6},
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
      {"a total beyond 31 bits stops with the total before it", beyond31Bits, "a.dts", -1095, 512 * 4194303},
      {"no names", "A,B,C:\\data\\gbr.dts,2048", nullptr, 0, 0},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(Total(c.lines, c.names), std::make_pair(c.status, c.total)) << c.why;
  EXPECT_EQ(Total("A,B,C:\\data\\gbr.dts,2048", "gbr.dts", "Missing"), std::make_pair(0, 0));
  EXPECT_EQ(Total("A,B,C:\\data\\gbr.dts,2048", "gbr.dts", nullptr), std::make_pair(0, 0));
  // The log of one total.
  Log();
  EXPECT_EQ(Total(two + "\r\n+bad", "GBR.DTS\nfra.dts"), std::make_pair(-1, 6));
  EXPECT_EQ(Log(), "> TvIsi_GetTotalFileSize (" + dir / "sizes.ini" +
                       ")\r\neCode = 0\r\ngbr.dts, 2\r\neCode = 0\r\nfra.dts.old, 4\r\neCode = -1\r\n, 0\r\n"
                       "Total size = 6\r\n< TvIsi_GetTotalFileSize = -1\r\n");
  // Missing or unnamed files fail and leave the total; the extension defaults to ini.
  int32_t total = -7;
  const std::string none = dir / "none.ini";
  for (const char* path : {none.c_str(), static_cast<const char*>(nullptr), ""})
    EXPECT_EQ(totalSize(path, "Sizes", "a.dts", &total), -1010);
  EXPECT_EQ(total, -7);
  WriteFile(dir / "sizes.ini", "[TvDefault]\r\nSizes=A,B,C:\\d\\a.dts,2048\r\n");
  EXPECT_EQ(totalSize((dir / "sizes").c_str(), "Sizes", "a.dts", nullptr), 0);
}

TEST_F(Queries, CountryCodeNameAndReleaseOfDataFilesAndTheirLog) {
  const std::string info = "|12 September 2003 (Autumn)";
  EXPECT_EQ(Loaded(gbr, "49"), "0 GBR|Grossbritannien" + info);
  EXPECT_EQ(Loaded(deu), "0 deu|Deutschland" + info);  // no section of three (one and two are not): the file name
  // Another release than the first loaded, and a missing file: nothing written.
  EXPECT_EQ(Loaded(fra), "-1017 old|old|old");
  EXPECT_EQ(Loaded(data + "\\none.dts"), "-1010 old|old|old");
  const std::string release = kDot + "DataVer 12 September 2003 (Autumn)\r\n";
  const auto entry = [&](const std::string& path, const std::string& sections, const std::string& found,
                         const std::string& lang, const std::string& name) {
    return "> TvIsi_FileLoadIni (" + path + ")\r\n" + sections + found + kDot + "Lang " + lang + " " + kDot + "File " +
           path + "\r\n" + kDot + "CountryName " + name + "\r\n" + release + "< TvIsi_FileLoadIni = 0\r\n";
  };
  const std::string section = kDot + "Section ";
  EXPECT_EQ(Log(),
            entry(gbr, section + "TvDefault\r\n" + section + "GBR\r\n", "Found section " + kDot + "ISO GBR\r\n", "49",
                  "Grossbritannien") +
                entry(deu, section + "TvDefault\r\n" + section + "D\r\n" + section + "DE\r\n" + section + "Country\r\n",
                      "FAILOVER " + kDot + "ISO deu\r\n", "44", "Deutschland") +
                "> TvIsi_FileLoadIni (" + fra + ")\r\n< TvIsi_FileLoadIni = -1017\r\n" + "> TvIsi_FileLoadIni (" +
                data + "\\none.dts)\r\n< TvIsi_FileLoadIni = -1010\r\n");
  // A new session takes whichever release comes first.
  EXPECT_EQ(Loaded(fra), "0 FRA|France|01 March 2004");
  EXPECT_EQ(Loaded(gbr), "-1017 old|old|old");
  Log();
  EXPECT_EQ(Loaded(gbr), "0 GBR|United Kingdom" + info);  // TvDefault is passed over: not three characters
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
  EXPECT_EQ(Loaded(gbr).substr(0, 2), "0 ");
  for (const auto& c : cases) {
    const std::string path = data + "\\" + c.name;
    WriteFile(path, c.bytes);
    EXPECT_EQ(Loaded(path), std::to_string(c.loadStatus) + " old|old|old") << c.name;
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
  EXPECT_EQ(loadIni(nullptr, nullptr, nullptr, gbr.c_str(), nullptr), 0);
  EXPECT_EQ(vintage(nullptr, gbr.c_str(), nullptr), 0);
  EXPECT_EQ(iniString(gbr.c_str(), nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(Queries, SettingsInTheLanguageAskedElseBareElseTvDefault) {
  const struct {
    const char *section, *key, *language, *value;
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
  WriteFile(path, DataFile(Trailer(kFirstRelease, "[ABC]\nCountryName=" + longName + "\nValue=" + longName + "\n")));
  char code[5], name[65], info[65], value[129];
  memset(code, 'Z', sizeof code);
  memset(name, 'Z', sizeof name);
  memset(info, 'Z', sizeof info);
  memset(value, 'Z', sizeof value);
  ASSERT_EQ(loadIni(code, name, info, path.c_str(), "44"), 0);
  ASSERT_EQ(iniString(path.c_str(), "ABC", "Value", "44", value), 0);
  EXPECT_STREQ(code, "ABC");
  EXPECT_EQ(std::string(name), longName.substr(0, 63));
  EXPECT_EQ(std::string(value), longName.substr(0, 127));
  EXPECT_EQ(std::string() + code[4] + info[64] + name[64] + value[128], "ZZZZ");
}

TEST_F(Queries, ShortDatesInLongForm) {
  const struct {
    const char *shortDate, *language;
    int32_t fit;
    const char* longForm;
  } cases[] = {
      {"1/2/2015", "44", 1, "01 February 2015"},
      {"25, 3, 2015", "44", 1, "25 March 2015"},
      {"1/2/2015", "33", 1, "01 f\xE9vrier 2015"},
      {"1/2/2015", "", 1, "01 f\xE9vrier 2015"},  // the language stays in force
      {"1/2/2015", "49", 1, "01 Februar 2015"},
      {"31/12/2015", "44", 1, "31 December 2015"},
  };
  for (const auto& c : cases) {
    char text[60] = "old";
    EXPECT_EQ(longDate(text, c.shortDate, c.language), c.fit) << c.shortDate << " " << c.language;
    EXPECT_STREQ(text, c.longForm) << c.shortDate << " " << c.language;
  }
  for (const char* wrong : {"25.03.2015", "25/03", "", "x/1/2015", "1/13/2015", "1/0/2015", "0/1/2015", "32/1/2015"}) {
    char text[60] = "old";
    EXPECT_EQ(longDate(text, wrong, "44"), 0) << wrong;
    EXPECT_STREQ(text, "") << wrong;
  }
  EXPECT_EQ(longDate(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(Log(), "");  // no lines of its own

  // A build date picture whose text does not fit: cut at 59 characters.
  Configure("Language=44\nBuildDate=dd MMMM yyyy dd MMMM yyyy dd MMMM yyyy dd MMMM yyyy\n");
  Log();
  char text[64];
  memset(text, 'Z', sizeof text);
  EXPECT_EQ(longDate(text, "1/2/2015", "44"), 0);
  const std::string whole = "01 February 2015 01 February 2015 01 February 2015 01 February 2015";
  EXPECT_EQ(std::string(text), whole.substr(0, 59));
  EXPECT_EQ(text[60], 'Z');
}

TEST_F(Queries, AWriteableFileAnswersAtOnce) {
  const std::string file = dir / "free.dat";
  WriteFile(file, "data");
  EXPECT_EQ(writeable(file.c_str()), 0);
  EXPECT_EQ(writeable(""), -1010);
  EXPECT_EQ(tvtest::ReadFile(file), "data");
  EXPECT_EQ(Log(),
            "> TvIsi_FileWriteable (" + file +
                ")\r\n< TvIsi_FileWriteable = 0\r\n> TvIsi_FileWriteable ()\r\n< TvIsi_FileWriteable = -1010\r\n");
}

}  // namespace
