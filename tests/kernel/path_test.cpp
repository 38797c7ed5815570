// Paths, directories, data directories, drives and programs.
#include <cstring>
#include <string>

#include "kernel_fixture.h"

namespace {

class Paths : public tvtest::KernelTest {
 protected:
  void SetUp() override { ASSERT_EQ(StartWith("[TvDefault]\n"), 0); }
};

// Injected failures: they note what they were asked for and refuse it.
std::string asked;
DWORD refusal = 0;
BOOL WINAPI RefusedDirectory(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  asked = path;
  SetLastError(refusal);
  return FALSE;
}

TEST_F(Paths, PathBuilding) {
  const std::string d = dir.path(), slash = d + "\\", x = d + "\\x";
  // clang-format off
  const struct { const char* folder; const char* name; const char* extension; TvStatus status; std::string path; } cases[] = {
      {d.c_str(), "report", "txt", 0, d + "\\report.txt"}, {d.c_str(), "report.", "txt", 0, d + "\\report"},
      {d.c_str(), "report.dat", "!txt", 0, d + "\\report.txt"},
      {d.c_str(), "report", ".ini", 0, d + "\\report.ini"},  // a default extension with its dot
      {d.c_str(), "report", "!.dts", 0, d + "\\report.dts"}, {d.c_str(), "report.dat", "txt", 0, d + "\\report.dat"},
      {"Q:\\elsewhere", x.c_str(), nullptr, 0, x}, {slash.c_str(), "  y", "ini", 0, d + "\\y.ini"},
      {nullptr, "z", "log", 0, d + "\\z.log"},  // the current folder
      {d.c_str(), "LPT1:", "txt", 0, "LPT1:"},
      {d.c_str(), "no\\file", "txt", -1028, d + "\\no\\file.txt"},  // a missing folder: the path all the same
      // One leading backslash keeps only the drive of the folder.
      {"C:\\windows", "\\windows\\win.ini", nullptr, 0, "C:\\windows\\win.ini"},
  };
  // clang-format on
  char out[kTvPathSize];
  for (const auto& c : cases) {
    EXPECT_EQ(TvPathBuild(out, c.folder, c.name, c.extension), c.status) << c.name;
    EXPECT_EQ(std::string(out), c.path) << c.name;
  }
}

TEST_F(Paths, HostilePaths) {
  char out[kTvPathSize];
  const std::string longName(400, 'n');
  // Too long for a path: refused rather than cut into another file's name.
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), longName.c_str(), "txt"), -1028);
  EXPECT_LT(strlen(out), kTvPathSize);
  const std::string fits(255 - dir.path().size() - 1 - 4, 'f');
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), fits.c_str(), "txt"), 0);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(TvPathBuild(out, dir.path().c_str(), (fits + "g").c_str(), "txt"), -1028);
  const std::string deep = std::string(300, 'a') + "\\" + std::string(300, 'b');
  TvPathBuild(out, deep.c_str(), deep.c_str(), deep.c_str());
  EXPECT_LT(strlen(out), kTvPathSize);
  TvPathBuild(out, nullptr, nullptr, nullptr);
  TvPathBuild(nullptr, "x", "y", "z");
  EXPECT_EQ(TvPathFull(out, nullptr, nullptr), 0);
  EXPECT_EQ(std::string(out), dir.path());
  EXPECT_EQ(TvDirCheck(nullptr, true), -1028);
  EXPECT_EQ(TvFileSearch(nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(TvFileSearch(out, longName.c_str(), "ini", "PATH"), 0);
  EXPECT_EQ(TvFileExists(nullptr, nullptr, "", nullptr), 0);
  EXPECT_EQ(TvHasWildcards(nullptr), 0);
  EXPECT_EQ(TvHasWildcards("a?"), 1);
  EXPECT_STREQ(TvPathFileName(nullptr), "");
}

TEST_F(Paths, SearchVisitsEveryEntryOfAListHoweverLong) {
  tvtest::TempDir target;
  tvtest::WriteFile(target / "probe.ini", "[S]\n");
  // 5,000 characters of folders that do not hold the file, empty entries,
  // and an entry too long for any path, all before the one that does.
  std::string list;
  for (int i = 0; list.size() < 5000; ++i) list += dir / ("none" + std::to_string(i)) + ";";
  list += ";;" + dir.path() + "\\" + std::string(300, 'x') + ";" + target.path();
  tvtest::ScopedEnv env("TVSEARCHLIST", list.c_str());
  char found[kTvPathSize];
  EXPECT_EQ(TvFileSearch(found, "probe", "ini", "TVSEARCHLIST"), 1);
  EXPECT_EQ(std::string(found), target / "probe.ini");
  EXPECT_EQ(TvFileSearch(found, "absent", "ini", "TVSEARCHLIST"), 0);
  EXPECT_STREQ(found, "");
  EXPECT_EQ(TvFileSearch(found, "probe", "ini", "TVNOSUCHLIST"), 0);
  // Without memory for the list the search ends, found nothing.
  LimitMemory();
  EXPECT_EQ(TvFileSearch(found, "probe", "ini", "TVSEARCHLIST"), 0);
  EXPECT_STREQ(found, "");
  Unlimited();
  EXPECT_EQ(TvFileSearch(found, "probe", "ini", "TVSEARCHLIST"), 1);
}

TEST_F(Paths, SplitIntoDirectoryNameAndExtension) {
  const std::string d = dir.path();
  tvtest::WriteFile(dir / "report.data.txt", "x");
  // A folder is all directory; the root keeps its backslash; a device goes
  // whole into the name; a missing folder gives the parts all the same
  // (its last component then counts as a name in an existing folder).
  // clang-format off
  const struct { std::string path, directory, name, extension; } cases[] = {
      {d + "\\report.data.txt", d, "report.data.txt", "txt"}, {d, d, "", ""},
      {"C:\\autoexec.bat", "C:\\", "autoexec.bat", ""}, {"COM1:", "", "COM1:", ""},
      {d + "\\no\\file.extension12", d + "\\no", "file.extension12", "extensio"},
  };
  // clang-format on
  for (const auto& c : cases) {
    char directory[kTvPathSize], name[kTvPathSize], extension[16] = "";
    // No extension asked where none is expected.
    EXPECT_EQ(TvPathSplit(c.path.c_str(), directory, name, c.extension.empty() ? nullptr : extension), 0) << c.path;
    EXPECT_EQ(std::string(directory) + "|" + name + "|" + extension, c.directory + "|" + c.name + "|" + c.extension);
  }
}

TEST_F(Paths, Shortening) {
  char out[64];
  EXPECT_EQ(TvPathShorten("C:\\short\\path.txt", out, 40), 0);
  EXPECT_STREQ(out, "C:\\short\\path.txt");
  EXPECT_EQ(TvPathShorten("C:\\one\\two\\three\\four\\file.txt", out, 24), 1);
  EXPECT_STREQ(out, "C:\\..\\four\\file.txt");
  EXPECT_EQ(TvPathShorten(std::string(100, 'x').c_str(), out, 10), 1);
  EXPECT_STREQ(out, "xxxxxxxxxx");
}

TEST_F(Paths, CreatingCheckingAndRemovingDirectories) {
  const std::string made = dir / "made";
  EXPECT_EQ(TvDirCreate(made.c_str(), 0), -1028);  // check only
  // A creation the system refuses creates nothing and gives the refusal's status.
  tvSys.createDirectory = RefusedDirectory;
  for (const auto& [error, status] :
       {std::pair{DWORD{ERROR_ACCESS_DENIED}, TvErrDiskRead}, {ERROR_DISK_FULL, TvErrDirCreate}}) {
    refusal = error;
    asked.clear();
    EXPECT_EQ(TvDirCreate(made.c_str(), TvDirCreateMissing), status);
    EXPECT_EQ(asked, made);
    EXPECT_FALSE(tvtest::FileExists(made));
  }
  tvSys = kTvSysDefault;
  EXPECT_EQ(TvDirCreate(("  " + made + "  ").c_str(), TvDirCreateMissing), 0);
  EXPECT_TRUE(tvtest::FileExists(made));
  EXPECT_EQ(TvDirCreate((dir / "a\\b").c_str(), TvDirCreateMissing), -1029);  // one level only
  EXPECT_EQ(TvDirCreate("$data", TvDirCreateMissing), -1028);
  tvtest::WriteFile(dir / "file", "x");
  EXPECT_EQ(TvDirCheck((dir / "file").c_str(), false), -1028);
  EXPECT_EQ(TvDirSetCurrent(made.c_str()), 0);
  char current[MAX_PATH];
  GetCurrentDirectoryA(sizeof current, current);
  EXPECT_EQ(std::string(current), made);
  EXPECT_EQ(TvDirSetCurrent(""), 0);
  EXPECT_EQ(TvDirSetCurrent((dir / "none").c_str()), -1028);
  SetCurrentDirectoryA(dir.path().c_str());
  EXPECT_EQ(TvDirRemove(made.c_str()), 0);
  EXPECT_EQ(TvDirRemove(made.c_str()), -1028);
  EXPECT_EQ(TvDirRemove(nullptr), -1028);
  // Switched off, the checks report nothing (nor during start-up: Instance.InvalidDirectories...).
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\n", TvFlagNoDirChecks), 0);
  EXPECT_EQ(TvDirCheck((dir / "none").c_str(), false), 0);
}

TEST_F(Paths, DataDirectories) {
  tvtest::TempDir one, two;
  char out[kTvPathSize];
  ASSERT_EQ(TvDataDirAdd(one.path().c_str(), true), 0);
  EXPECT_EQ(TvDataDirCount(), 0);
  EXPECT_EQ(TvDataDirGet(0, out), 1);
  EXPECT_EQ(std::string(out), one.path());
  EXPECT_EQ(TvDataDirGet(1, out), 0);
  EXPECT_STREQ(out, "");
  ASSERT_EQ(TvDataDirAdd(two.path().c_str(), false), 0);
  EXPECT_EQ(TvDataDirCount(), 2);
  EXPECT_EQ(TvDataDirAdd(one.path().c_str(), false), 0);  // already listed
  EXPECT_EQ(TvDataDirCount(), 2);
  EXPECT_EQ(TvDataDirAdd((dir / "missing").c_str(), false), -1028);
  for (int i = 0; i < 20; ++i) {
    const std::string sub = dir / ("d" + std::to_string(i));
    CreateDirectoryA(sub.c_str(), nullptr);
    EXPECT_EQ(TvDataDirAdd(sub.c_str(), false), 0);
  }
  EXPECT_EQ(TvDataDirCount(), 16);  // the rest are ignored
  EXPECT_TRUE(TvIsKnownDirectory(two.path().c_str()));
  ASSERT_EQ(TvDataDirAdd(two.path().c_str(), true), 0);
  EXPECT_EQ(TvDataDirCount(), 0);
  EXPECT_EQ(TvDataDirGet(0, out), 1);
  EXPECT_EQ(std::string(out), two.path());
  EXPECT_EQ(TvDataDirAdd(std::string(400, 'd').c_str(), false), -1028);
}

TEST_F(Paths, Drives) {
  EXPECT_EQ(TvDriveKind("C:"), 2);
  EXPECT_EQ(TvDriveKind(""), 0);
  EXPECT_EQ(TvDriveKind(nullptr), 0);
  TvDriveReset(1);
  char root[4];
  bool sawC = false;
  int drives = 0;
  while (TvDriveNext(root)) {
    ++drives;
    sawC = sawC || std::string(root) == "C:\\";
  }
  EXPECT_TRUE(sawC);
  EXPECT_STREQ(root, "");
  TvDriveReset(0);
  ASSERT_EQ(TvDriveNext(root), 1);
  EXPECT_EQ(strlen(root), 2u);
  const TvStatus cdrom = TvDriveFirstCdrom(root);
  if (cdrom == 0) EXPECT_EQ(TvDriveKind(root), 4);
  else EXPECT_EQ(cdrom, -1027);
}

class Programs : public Paths {
 protected:
  std::string probe = tvtest::WindowsPath(PROBE_PROGRAM_UNIX_PATH);
  // Wine now and then fails to create a process while a fresh prefix is
  // still settling under load: a start that could not create the task is
  // tried again before the test gives up on it.
  static TvStatus Start(const std::string& program, const std::string& arguments, TvProgram* record) {
    TvStatus status = TvErrTaskCreate;
    for (int attempt = 0; attempt < 5 && status == TvErrTaskCreate; ++attempt) {
      if (attempt) Sleep(200);
      status = TvProgramStart(program.c_str(), arguments.c_str(), record);
    }
    return status;
  }
};

// The uninstall hand-off's test shows that a found path with blanks never
// starts a decoy ("dir\My.exe" for "dir\My Tools\real.exe").
TEST_F(Programs, RunningUntilTheProgramEndsThenNotForGood) {
  // It ends with 259, the value that also stands for "still running"; its
  // over-long arguments are cut to the command line's 511 characters.
  tvtest::ScopedEnv linger("TV_PROBE_LINGER", "1"), code("TV_PROBE_EXIT", "259");
  TvProgram program;
  ASSERT_EQ(Start(probe, std::string(1000, 'a'), &program), 0);
  EXPECT_EQ(TvProgramRunning(&program), 1);
  int polls = 0;
  for (; TvProgramRunning(&program) && polls < 500; ++polls) Sleep(10);
  EXPECT_LT(polls, 500);
  EXPECT_FALSE(program.running);
  EXPECT_EQ(TvProgramRunning(nullptr), 0);
  EXPECT_EQ(tvtest::ReadFile(dir / "ran-probe_program.exe.txt").size(), 511u);
}

BOOL WINAPI RefusedProcess(LPCSTR program, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                           LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
  asked = program;
  SetLastError(refusal);
  return FALSE;
}

TEST_F(Programs, MissingOrRefusedProgramsLeaveNoProcess) {
  TvProgram program{true, nullptr};
  EXPECT_EQ(TvProgramStart((dir / "absent").c_str(), nullptr, &program), -1010);
  EXPECT_FALSE(program.running);
  EXPECT_EQ(TvProgramStart(nullptr, nullptr, nullptr), -1010);
  EXPECT_EQ(TvProgramStart(std::string(400, 'p').c_str(), std::string(1000, 'a').c_str(), nullptr), -1010);
  tvSys.createProcess = RefusedProcess;
  refusal = ERROR_NOT_ENOUGH_MEMORY;
  program = {true, reinterpret_cast<HANDLE>(1)};
  asked.clear();
  EXPECT_EQ(TvProgramStart(probe.c_str(), "first", &program), TvErrTaskCreate);
  EXPECT_EQ(asked, probe);
  EXPECT_FALSE(program.running);
  EXPECT_EQ(program.process, nullptr);
  EXPECT_EQ(TvProgramRunning(&program), 0);
  EXPECT_EQ(TvProgramStart(probe.c_str(), nullptr, nullptr), TvErrTaskCreate);
  Sleep(200);
  EXPECT_FALSE(tvtest::FileExists(dir / "ran-probe_program.exe.txt"));
}

// The media prompt never shows for a fixed drive or a relative path, nor
// at all without a user interface. Here, in a program that runs no second
// thread: the drive-type query after one crashes the emulated 32-bit Wine.
TEST_F(Paths, NoMediaPromptWithoutAUserInterface) {
  TvSetUserInterfaceMode(TvUiWindowed);
  EXPECT_FALSE(TvAskForMedia("C:\\missing\\file"));  // a fixed drive
  EXPECT_FALSE(TvAskForMedia("relative\\file"));
  TvSetUserInterfaceMode(TvUiNoWindows);
  EXPECT_FALSE(TvAskForMedia("A:\\file"));
}

}  // namespace
