// The call frame shared by the exports: entry and exit lines in the one
// 256-byte line buffer.
#include <cstring>
#include <string>

#include "frame.h"
#include "kernel_fixture.h"

namespace {

class Frame : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }
};

TEST_F(Frame, EntryAndExitLines) {
  TvIsiEntry("TvIsi_IniOpen", "C:\\Data\\tvwserve.ini");
  TvIsiExit("TvIsi_IniOpen", -1010);
  TvIsiEntryPlain("TvIsi_IniSave");
  TvIsiEntry("TvIsi_IniGetString", nullptr);
  TvIsiLog("< %s\n", "TvIsi_IniClose");
  EXPECT_EQ(Logged(),
            "> TvIsi_IniOpen (C:\\Data\\tvwserve.ini)\r\n"
            "< TvIsi_IniOpen = -1010\r\n"
            "> TvIsi_IniSave\r\n"
            "> TvIsi_IniGetString ()\r\n"
            "< TvIsi_IniClose\r\n");
}

// A line longer than 255 characters is cut and has no line end of its own
// (the next line continues it); one of exactly 255 keeps its end.
TEST_F(Frame, LongLinesAreCutAt255Characters) {
  const std::string path = "C:\\" + std::string(397, 'p');
  TvIsiEntry("TvIsi_IniOpen", path.c_str());
  EXPECT_EQ(strlen(TraceLine), 255u);
  const std::string cut = ("> TvIsi_IniOpen (" + path).substr(0, 255);
  EXPECT_EQ(std::string(TraceLine), cut);
  TvIsiExit("TvIsi_IniOpen", 0);
  const std::string arg(255 - strlen("> X ()\n"), 'a');
  TvIsiEntry("X", arg.c_str());
  EXPECT_EQ(Logged(), cut + "< TvIsi_IniOpen = 0\r\n> X (" + arg + ")\r\n");
}

// Lines are formatted as vsnprintf formats them, also where a text is cut
// in the middle of a number, or a null text or another conversion is met.
template <typename... Arguments>
void FormattedAsTheRuntimeDoes(const char* format, Arguments... arguments) {
  char expected[kTraceLineSize];
  snprintf(expected, sizeof expected, format, arguments...);
  TvIsiLog(format, arguments...);
  EXPECT_STREQ(TraceLine, expected) << format;
}

TEST_F(Frame, LinesAreFormattedAsTheCRuntimeFormatsThem) {
  const std::string longText(250, 'q');
  const char* nothing = nullptr;
  FormattedAsTheRuntimeDoes("Read %d [%s]\n", 12, "GBR,C:\\Data");
  FormattedAsTheRuntimeDoes("In %d [%d] %s [%s]\n", 1, -2147483647 - 1, "InstalledCountries", "x");
  FormattedAsTheRuntimeDoes("%s, %d\n", longText.c_str(), 1234567);
  FormattedAsTheRuntimeDoes("100%% %s %u\n", "", 4294967295u);
  FormattedAsTheRuntimeDoes("%s %d\n", nothing, 7);
  FormattedAsTheRuntimeDoes("%.3s %d\n", "abcdef", 5);
  FormattedAsTheRuntimeDoes("%d%%", 0);
}

}  // namespace
