// The exports linked into the test with the kernel, for what the library as
// it ships cannot show: the frame's line buffer, list editing entry by entry,
// and saves, waits and allocations with faults injected through the
// system-call table and the allocator. A file after a failed save holds its
// old bytes or the whole new text, never a mix.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "file_faults.h"
#include "frame.h"
#include "multiline.h"

namespace {

using tvtest::FileFaults;
using tvtest::ReadFile;
using tvtest::Which;
using tvtest::WriteFile;

class Linked : public tvtest::KernelTest {
 protected:
  std::string path = dir / "tvwserve.ini";
  void SetUp() override { ASSERT_EQ(StartLogging(), 0); }
  // The log so far, started afresh.
  std::string Log() {
    const std::string text = Logged();
    TvLogOpen(log.c_str());
    return text;
  }
};

// Lines are formatted as vsnprintf formats them, also where a text is cut
// in the middle of a number, or a null text or another conversion is met.
template <typename... Arguments>
void FormattedAsTheRuntimeDoes(const char* format, Arguments... arguments) {
  char expected[kTraceLineSize];
  snprintf(expected, sizeof expected, format, arguments...);
  TvIsiLog(format, arguments...);
  EXPECT_STREQ(TraceLine, expected) << format;
}

// A line longer than 255 characters is cut and has no line end of its own
// (the next line continues it); one of exactly 255 keeps its end.
TEST_F(Linked, FrameLinesAreCutAt255AndFormattedAsTheCRuntimeFormatsThem) {
  TvIsiEntry("TvIsi_IniOpen", "C:\\Data\\tvwserve.ini");
  TvIsiExit("TvIsi_IniOpen", -1010);
  TvIsiEntryPlain("TvIsi_IniSave");
  TvIsiEntry("TvIsi_IniGetString", nullptr);
  const std::string path = "C:\\" + std::string(397, 'p'), cut = ("> TvIsi_IniOpen (" + path).substr(0, 255);
  TvIsiEntry("TvIsi_IniOpen", path.c_str());
  EXPECT_EQ(strlen(TraceLine), 255u);
  TvIsiExit("TvIsi_IniOpen", 0);
  const std::string arg(255 - strlen("> X ()\n"), 'a');
  TvIsiEntry("X", arg.c_str());
  EXPECT_EQ(Log(),
            "> TvIsi_IniOpen (C:\\Data\\tvwserve.ini)\r\n< TvIsi_IniOpen = -1010\r\n> TvIsi_IniSave\r\n"
            "> TvIsi_IniGetString ()\r\n" +
                cut + "< TvIsi_IniOpen = 0\r\n> X (" + arg + ")\r\n");
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

class Lists : public Linked {
 protected:
  TvIniBuffer ini{};
  ~Lists() override { TvIniFree(&ini); }
  void Load(const std::string& text) {
    ASSERT_EQ(TvIniLoadText(&ini, text.data(), static_cast<uint32_t>(text.size())), 0);
  }
  std::string Text() const { return std::string(ini.text, ini.length); }
};

TEST_F(Lists, UpdateAddsOrReplacesTheFirstMatch) {
  Load("[S]\n");
  GrowingText replaced;
  replaced.Assign("previous");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "InstalledData", nullptr, "GBR,C:\\Data", 3, &replaced), 0);
  EXPECT_EQ(Text(), "[S]\nInstalledData=GBR,C:\\Data\n");
  EXPECT_STREQ(replaced.Text(), "");
  EXPECT_EQ(Log(),
            "> UpdateMultiline (InstalledData)\r\nAdd 0 [GBR,C:\\Data]\r\n> TvIsi_IniSetString (InstalledData)\r\n"
            "GBR,C:\\Data< TvIsi_IniSetString = 0\r\n< UpdateMultiline = 0\r\n");
  Load("[S]\nL=gbr,old\n+USA,x\n+GBR,second\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "GBR,new", 3, &replaced), 0);
  EXPECT_STREQ(replaced.Text(), "gbr,old");
  EXPECT_EQ(Text(), "[S]\nL=GBR,new\n+USA,x\n+GBR,second\n");
  EXPECT_EQ(Log(),
            "> UpdateMultiline (L)\r\nRead 0 [gbr,old]\r\nReplace 0 [GBR,new]\r\nRead 8 [USA,x]\r\n"
            "Read 14 [GBR,second]\r\n> TvIsi_IniSetString (L)\r\nGBR,new\r\nUSA,x\r\nGBR,second"
            "< TvIsi_IniSetString = 0\r\n< UpdateMultiline = 0\r\n");
  // An empty first entry is dropped; N below 1, an empty entry or a blank
  // one (it would read back as an empty line, which ends the list) change nothing.
  Load("[S]\nL=\n+a\n+b\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "c", 256, &replaced), 0);
  EXPECT_EQ(Text(), "[S]\nL=a\n+b\n+c\n");
  replaced.Assign("kept");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "x", 0, &replaced), 0);
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "", 3, &replaced), 0);
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, " \t ", 3, &replaced), 0);
  EXPECT_STREQ(replaced.Text(), "kept");
  EXPECT_EQ(Text(), "[S]\nL=a\n+b\n+c\n");
  // A fallback key, and a list of TvDefault copied into the section.
  const struct {
    const char *before, *fallback, *entry, *after;
  } cases[] = {
      {"[S]\nPlain=GBR,1\n+USA,2\n", "Plain", "USA,9", "[S]\nPlain=GBR,1\n+USA,2\nServer=GBR,1\n+USA,9\n"},
      {"[S]\nServer=\nPlain=GBR,1\n", "Plain", "FRA,3", "[S]\nServer=FRA,3\nPlain=GBR,1\n"},  // present but empty
      {"[S]\nx=1\n[TvDefault]\nServer=a\n+b\n", nullptr, "c",
       "[S]\nx=1\nServer=a\n+b\n+c\n[TvDefault]\nServer=a\n+b\n"},
  };
  for (const auto& c : cases) {
    Load(c.before);
    EXPECT_EQ(UpdateMultiline(&ini, "S", "Server", c.fallback, c.entry, 3, nullptr), 0);
    EXPECT_EQ(Text(), c.after);
  }
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
  const std::string before = Text(), kept = before.substr(0, before.size() - huge.size() - 1);
  GrowingText replaced;
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "new", 256, &replaced), 0);
  EXPECT_EQ(Text(), before.substr(0, before.size() - 1) + "\n+new\n");
  EXPECT_EQ(UpdateMultiline(&ini, "S", "L", nullptr, "gbr,D:\\New", 3, &replaced), 0);
  EXPECT_EQ(replaced.View(), huge);
  EXPECT_EQ(Text(), kept + "gbr,D:\\New\n+new\n");
  Log();
  EXPECT_EQ(RemoveMultiline(&ini, "S", "L", "new", 256), 0);
  char line[512];
  EXPECT_EQ(TvIniGetString(&ini, "S", "L", "", line, sizeof line), 1);
  int entries = 1;
  while (TvIniNextLine(&ini, line, sizeof line)) ++entries;
  EXPECT_EQ(entries, 41);
  EXPECT_EQ(Text(), kept + "gbr,D:\\New\n");
  // Past the first working size only the entry kept is logged.
  const std::string logged = Log();
  EXPECT_LT(logged.size(), 200000u);
  EXPECT_TRUE(tvtest::Has(logged, "\r\n" + std::string(298, 'n') + "!\r\nRead ["));  // whole text
  EXPECT_TRUE(tvtest::Has(logged, std::string(255, 'n') + "Read ["));                // one cut line
}

// An export that saves the file at path, by its name.
struct Export {
  const char* name;
  int32_t (*call)(const char* path);
};

// A list long enough for a save of many writes.
std::string LongList(const char* key, int entries, char fill) {
  std::string text = key;
  text += "=";
  for (int i = 0; i < entries; ++i)
    text += (i ? "\r\n+" : "") + std::string("C") + std::to_string(i) + "," + std::string(200, fill);
  return text + "\r\n";
}

// Memory that runs out, or an open, a read or a write that fails, at any
// point of an export that saves: a clear status, and the old file or the
// complete new one. (A server installation read twice once took a failed
// second reading for a client installation.)
TEST_F(Linked, FailuresAtAnyPointOfASaveLeaveTheOldOrTheNewFile) {
  const std::string lists = "InstalledCountries=GBR,UK,C:\\Data\\GBR.dts\r\n+USA,US,C:\\Us\\USA.dts\r\n" +
                            LongList("InstalledData", 60, 'i') + LongList("AllInstalledData", 60, 'a') +
                            "[Layout]\r\nCountryBase=GBR\r\n";
  const Export exports[] = {
      {"UpdateTvwserveV5", [](const char* p) { return TvIsi_UpdateTvwserveV5(p, "GBR,D:\\New", 1, 0, 0); }},
      {"UpdateDataKeys", [](const char* p) { return TvIsi_UpdateDataKeys(p, "GBR,D:\\New", 8); }},
      {"InstalledCountriesToData", [](const char* p) { return TvIsi_InstalledCountriesToData(p); }},
      {"InstCtryToDataMap", [](const char* p) { return TvIsi_InstCtryToDataMap(p); }},
      {"CountryBaseToDataMap", [](const char* p) { return TvIsi_CountryBaseToDataMap(p); }},
      {"IniSave",
       [](const char* p) {
         INT_PTR file, buffer;
         int32_t status = TvIsi_IniOpen(&file, &buffer, p);
         if (status == 0) status = TvIsi_IniAddString(buffer, "TvDefault", "InstalledData", "GBR,D:\\New\nFRA,F:\\x");
         if (status == 0) status = TvIsi_IniSave(file, buffer);
         TvIsi_IniClose(file, buffer);
         return status;
       }},
  };
  const TvMemStatistics saved = tvMemStats;
  for (const std::string& old : {"[TvDefault]\r\n" + lists, "[TvDefault]\r\nUsedByKeelNet=Yes\r\n" + lists})
    for (const Export& e : exports) {
      SCOPED_TRACE(e.name + std::string(old.find("KeelNet") != std::string::npos ? " on a server" : ""));
      WriteFile(path, old);
      FileFaults::ArmOpenAndRead(0, 0);
      FileFaults::Arm(0);
      ASSERT_EQ(e.call(path.c_str()), 0);
      const int opens = FileFaults::opens, reads = FileFaults::reads, writes = FileFaults::writes;
      const std::string fresh = ReadFile(path);
      ASSERT_NE(fresh, old);
      if (std::string(e.name) == "UpdateDataKeys" && old.find("KeelNet") != std::string::npos) {
        EXPECT_TRUE(tvtest::Has(fresh, "\r\nNewInstalledData=C0,"));  // the server's list
      }
      int failures = 0;
      for (uint64_t room = 0; room < 200000; room += 997) {
        WriteFile(path, old);
        LimitMemory(room);
        const int32_t status = e.call(path.c_str());
        tvMemStats.limit = UINT64_MAX;
        EXPECT_EQ(Which(ReadFile(path), old, fresh), status == 0 ? "new" : "old") << room << " " << status;
        failures += status != 0;
      }
      EXPECT_GT(failures, 0);  // the limit was reached somewhere
      // Each open, read and write in turn (a failing write once only).
      for (int at = 1; at <= opens + reads + writes; ++at) {
        const int write = at - opens - reads;
        SCOPED_TRACE(at);
        WriteFile(path, old);
        FileFaults::ArmOpenAndRead(at <= opens ? at : 0, at > opens && write < 1 ? at - opens : 0);
        FileFaults::Arm(write < 1 ? 0 : write, true);
        const int32_t status = e.call(path.c_str());
        FileFaults::Disarm();
        EXPECT_EQ(Which(ReadFile(path), old, fresh), status == 0 ? "new" : "old") << status;
        EXPECT_TRUE(status == 0 || write < 1 || status == -1013) << status;
      }
    }
  tvMemStats = saved;
}

struct Waits {
  static inline std::vector<DWORD> asked;
  static inline HANDLE releaseAfterFirst = INVALID_HANDLE_VALUE;  // another program's hold on the file
  static void WINAPI Record(DWORD milliseconds) {
    asked.push_back(milliseconds);
    if (releaseAfterFirst != INVALID_HANDLE_VALUE) CloseHandle(releaseAfterFirst);
    releaseAfterFirst = INVALID_HANDLE_VALUE;
  }
};

// A file whose read-only attribute the system honours: writing access is
// denied. (Wine run as root opens read-only files for writing anyway.)
HANDLE WINAPI ReadOnlyFiles(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD attributes, HANDLE model) {
  if ((access & GENERIC_WRITE) && (GetFileAttributesA(name) & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return kTvSysDefault.createFile(name, access, share, security, disposition, attributes, model);
}

HANDLE Hold(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The waits of the write test are recorded instead of waited: a file that
// stays refused is tried three times with a wait after each, one freed
// during a wait is writeable at the next attempt, and nothing is left open.
TEST_F(Linked, WriteTestsWaitThreeTimesForAFileThatStaysRefused) {
  const std::string file = dir / "target.dat";
  WriteFile(file, "data");
  tvSys.sleep = Waits::Record;
  const std::vector<DWORD> threeWaits{401, 401, 401};
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  tvSys.createFile = ReadOnlyFiles;
  Waits::asked.clear();
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvErrFileAccess);
  EXPECT_EQ(Waits::asked, threeWaits);
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  tvSys.createFile = kTvSysDefault.createFile;
  for (const std::string& refused : {file, dir / "missing.dat"}) {
    HANDLE held = Hold(file);
    Waits::asked.clear();
    EXPECT_EQ(TvIsi_FileWriteable(refused.c_str()), refused == file ? TvErrFileAccess : TvErrFileNotFound);
    EXPECT_EQ(Waits::asked, threeWaits);
    CloseHandle(held);
  }
  Waits::releaseAfterFirst = Hold(file);
  Waits::asked.clear();
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvOk);
  EXPECT_EQ(Waits::asked, std::vector<DWORD>{401});
  HANDLE again = Hold(file);  // not left open: the program can take the file at once
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  Waits::asked.clear();
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvOk);
  EXPECT_EQ(TvIsi_FileWriteable(""), TvErrFileNotFound);  // nothing to wait for
  EXPECT_EQ(TvIsi_FileWriteable(nullptr), TvErrFileNotFound);
  EXPECT_TRUE(Waits::asked.empty());
}

// Without the name set nothing can be counted: the call fails instead of
// answering a total of 0. The limit is raised step by step through the
// loading of the list file, the set and its names.
TEST_F(Linked, AShortageOfMemoryIsNeverATotalOfZero) {
  const std::string ini = dir / "sizes.ini";
  WriteFile(ini, "[TvDefault]\nSizes=A,B,C:\\data\\gbr.dts,2048\n");
  const TvMemStatistics saved = tvMemStats;
  bool setRefused = false, counted = false;
  for (uint64_t room = 0; room < 16384 && !counted; room += 8) {
    LimitMemory(room);
    int32_t total = -7;
    const int32_t status = TvIsi_GetTotalFileSize(ini.c_str(), "Sizes", "gbr.dts", &total);
    tvMemStats.limit = UINT64_MAX;
    if (status == TvOk) {
      EXPECT_EQ(total, 2) << room;
      counted = true;
    } else {
      ASSERT_EQ(status, TvErrNoMemory) << room;
      EXPECT_TRUE(total == -7 || total == 0) << room;  // untouched before the list was read, else 0
      setRefused |= total == 0;
    }
  }
  tvMemStats = saved;
  EXPECT_TRUE(setRefused);
  EXPECT_TRUE(counted);
}

// A kernel that keeps its configuration loaded: the list is read from the
// file named, not from the configuration, which stays as it was.
class HeldConfiguration : public tvtest::KernelTest {};

TEST_F(HeldConfiguration, SizesComeFromTheFileNamed) {
  ASSERT_EQ(StartWith("[TvDefault]\nSizes=A,B,C:\\d\\a.dts,8192\n", TvFlagKeepConfig), 0);
  ASSERT_EQ(tvConfig.useCount, 1);
  const std::string ini = dir / "sizes.ini";
  WriteFile(ini, "[TvDefault]\nSizes=A,B,C:\\d\\a.dts,2048\n");
  int32_t total = -7;
  EXPECT_EQ(TvIsi_GetTotalFileSize(ini.c_str(), "Sizes", "a.dts", &total), TvOk);
  EXPECT_EQ(total, 2);
  EXPECT_EQ(tvConfig.useCount, 1);
  char value[64];
  EXPECT_TRUE(TvIniGetString(&tvConfig, "TvDefault", "Sizes", "", value, sizeof value));
  EXPECT_STREQ(value, "A,B,C:\\d\\a.dts,8192");
}

}  // namespace
