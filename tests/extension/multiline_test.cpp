// List values edited entry by entry, and their log lines.
#include <string>

#include "kernel_fixture.h"
#include "multiline.h"

namespace {

class Lists : public tvtest::KernelTest {
 protected:
  TvIniBuffer ini{};
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }
  ~Lists() override { TvIniFree(&ini); }
  void Load(const std::string& text) {
    ASSERT_EQ(TvIniLoadText(&ini, text.data(), static_cast<uint32_t>(text.size())), 0);
  }
  std::string Text() const { return std::string(ini.text, ini.length); }
  std::string Log() {
    const std::string text = Logged();
    TvLogOpen(log.c_str());  // starts the log afresh
    return text;
  }
};

TEST_F(Lists, UpdateAddsOrReplacesTheFirstMatch) {
  Load("[S]\n");
  GrowingText replaced;
  replaced.Assign("previous");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "InstalledData", nullptr, "GBR,C:\\Data", 3, &replaced), 0);
  EXPECT_EQ(Text(), "[S]\nInstalledData=GBR,C:\\Data\n");
  EXPECT_STREQ(replaced.Text(), "");
  EXPECT_EQ(Log(),
            "> UpdateMultiline (InstalledData)\r\nAdd 0 [GBR,C:\\Data]\r\n"
            "> TvIsi_IniSetString (InstalledData)\r\nGBR,C:\\Data< TvIsi_IniSetString = 0\r\n"
            "< UpdateMultiline = 0\r\n");

  Load("[S]\nL=gbr,old\n+USA,x\n+GBR,second\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "GBR,new", 3, &replaced), 0);
  EXPECT_STREQ(replaced.Text(), "gbr,old");
  EXPECT_EQ(Text(), "[S]\nL=GBR,new\n+USA,x\n+GBR,second\n");
  EXPECT_EQ(Log(),
            "> UpdateMultiline (L)\r\nRead 0 [gbr,old]\r\nReplace 0 [GBR,new]\r\nRead 8 [USA,x]\r\n"
            "Read 14 [GBR,second]\r\n> TvIsi_IniSetString (L)\r\nGBR,new\r\nUSA,x\r\nGBR,second"
            "< TvIsi_IniSetString = 0\r\n< UpdateMultiline = 0\r\n");

  // An empty first entry is dropped; N below 1 or an empty entry change nothing.
  Load("[S]\nL=\n+a\n+b\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "c", 256, &replaced), 0);
  EXPECT_EQ(Text(), "[S]\nL=a\n+b\n+c\n");
  replaced.Assign("kept");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "x", 0, &replaced), 0);
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "", 3, &replaced), 0);
  // A blank entry reads back as an empty line, which would end the list.
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, " \t ", 3, &replaced), 0);
  EXPECT_STREQ(replaced.Text(), "kept");
  EXPECT_EQ(Text(), "[S]\nL=a\n+b\n+c\n");

  // A fallback key, and a list of TvDefault copied into the section.
  Load("[S]\nPlain=GBR,1\n+USA,2\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "Server", "Plain", "USA,9", 3, nullptr), 0);
  EXPECT_EQ(Text(), "[S]\nPlain=GBR,1\n+USA,2\nServer=GBR,1\n+USA,9\n");
  Load("[S]\nServer=\nPlain=GBR,1\n");  // present but empty: the fallback is not read
  EXPECT_EQ(UpdateMultiline(&ini, "S", "Server", "Plain", "FRA,3", 3, nullptr), 0);
  EXPECT_EQ(Text(), "[S]\nServer=FRA,3\nPlain=GBR,1\n");
  Load("[S]\nx=1\n[TvDefault]\nL=a\n+b\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "c", 256, nullptr), 0);
  EXPECT_EQ(Text(), "[S]\nx=1\nL=a\n+b\n+c\n[TvDefault]\nL=a\n+b\n");
}

TEST_F(Lists, RemoveDropsEveryMatchAndKeepsEmptyEntries) {
  Load("[S]\nL=USA\n+usa\n+USAX\n+\n+b\n");
  EXPECT_EQ(RemoveMultiline(&ini, "S", "L", "USA", 256), 0);
  EXPECT_EQ(Text(), "[S]\nL=USAX\n+\n+b\n");
  EXPECT_EQ(RemoveMultiline(&ini, "S", "Missing", "x", 256), 0);
  EXPECT_EQ(Text(), "[S]\nL=USAX\n+\n+b\nMissing=\n");
  EXPECT_EQ(RemoveMultiline(&ini, "S", "L", "x", 0), 0);
  Log();
  Load("[S]\nL=a\n+b\n");
  EXPECT_EQ(RemoveMultiline(&ini, "S", "L", "a", 256), 0);
  EXPECT_EQ(Log(),
            "> RemoveMultiline (L)\r\nRead [a]\r\nRead [b]\r\nb\r\n"
            "> TvIsi_IniSetString (L)\r\nb< TvIsi_IniSetString = 0\r\n< RemoveMultiline = 0\r\n");
  EXPECT_TRUE(EntriesMatch("GB", "GB", 3));
  EXPECT_FALSE(EntriesMatch("GB", "GBR", 3));
  EXPECT_TRUE(EntriesMatch("gbr,x", "GBR,y", 3));
}

TEST_F(Lists, LongListsKeepEveryEntryWhole) {
  // 40 entries of 299 characters, more than the first working size holds,
  // and one of 5,000 that is replaced and handed back whole.
  std::string text = "[S]\nL=" + std::string(299, 'a');
  for (int i = 1; i < 40; ++i) text += "\n+" + std::string(298, static_cast<char>('a' + i % 26)) + "!";
  const std::string huge = "GBR," + std::string(4996, 'h');
  Load(text + "\n+" + huge + "\n");
  const std::string before = Text();
  GrowingText replaced;
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "new", 256, &replaced), 0);
  EXPECT_EQ(Text(), before.substr(0, before.size() - 1) + "\n+new\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "gbr,D:\\New", 3, &replaced), 0);
  EXPECT_EQ(replaced.View(), huge);
  EXPECT_EQ(Text(), before.substr(0, before.size() - huge.size() - 1) + "gbr,D:\\New\n+new\n");
  char line[512];

  Log();
  EXPECT_EQ(RemoveMultiline(&ini, "S", "L", "new", 256), 0);
  EXPECT_EQ(TvIniGetString(&ini, "S", "L", "", line, sizeof line), 1);
  int entries = 1;
  for (; TvIniNextLine(&ini, line, sizeof line);) ++entries;
  EXPECT_EQ(entries, 41);
  EXPECT_EQ(Text(), before.substr(0, before.size() - huge.size() - 1) + "gbr,D:\\New\n");
  // Past the first working size only the entry kept is logged.
  const std::string logged = Log();
  EXPECT_LT(logged.size(), 200000u);
  EXPECT_NE(logged.find("\r\n" + std::string(298, 'n') + "!\r\nRead ["), std::string::npos);  // whole text
  EXPECT_NE(logged.find(std::string(255, 'n') + "Read ["), std::string::npos);                // one cut line
}

}  // namespace
