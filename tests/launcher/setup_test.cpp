// The launcher: its command-line vector, the staging of a medium whose
// engine is a probe program that records how it was started, and the engine
// as the staged folder starts it.
#include "setup_fixture.h"

namespace {

using namespace tvsetup;

TEST_F(Setup, SplitsTheCommandLineIntoAtMostFifteenArgumentsOf255Characters) {
  const std::string a(100, 'a'), b(100, 'b'), c(55, 'c');
  const std::vector<std::pair<std::string, std::string>> cases = {
      // line, arguments joined by "|"
      {"", ""},
      {"  a  -x \"long name\" ", "a|-x|long name"},
      {"\"\" \"open ended", "|open ended"},
      {"\"a b\"c d", "a b|c|d"},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", "1|2|3|4|5|6|7|8|9|10|11|12|13|14|15"},
      {a + " " + b + " " + c + " d", a + "|" + b + "|" + c},  // 255 characters: "d" overruns
      {a + " " + b + " " + c + "cc d", a + "|" + b},          // the third overruns
  };
  for (const auto& [line, expected] : cases) {
    TvSetupArgs args;
    TvSetupSplit(line.c_str(), &args);
    std::string got = args.text[0];  // the program name, empty
    for (int i = 1; i < args.count; ++i) got += (i > 1 ? "|" : "") + std::string(args.text[i]);
    EXPECT_EQ(got, expected) << line;
  }
}

TEST_F(Setup, StagesTheMediumAndStartsItsEngineThere) {
  WriteFile(medium / "SETUP.EXE", "the launcher itself");
  WriteFile(medium / ".hidden-by-name", "x");
  WriteFile(medium / "hidden.txt", "x");
  SetFileAttributesA((medium / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((medium / "Folder").c_str(), nullptr);
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteFile(medium / "big.dat", big);

  asked.clear();
  tvSys.messageBox = RecordBox;
  const std::string staging = temp / "TarvelInst";
  // The medium's setup.exe is the launcher: the staged one is the engine
  // whichever of the two the medium lists first (here the engine first).
  Listing::Use(false);
  ASSERT_EQ(Run("-SRC " + Options() + " a -x \"long name\" ab -sRc"), TvSetupLaunched);
  EXPECT_TRUE(asked.empty());
  const std::string tail = "  a -x \"long name\" \"ab\"  p \"" + medium.path() + "\"";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe" + tail);
  EXPECT_EQ(EngineArgs(staging), "a|-x|long name|ab|p|" + medium.path() + "|");
  EXPECT_EQ(Engine(staging, "cwd-"), staging);
  EXPECT_EQ(ReadFile(staging + "\\setup.exe"), ReadFile(medium / "_ISmain"));
  EXPECT_EQ(ReadFile(staging + "\\big.dat"), big);
  EXPECT_EQ(ReadFile(staging + "\\data.ini"), "[TvDefault]\r\n");
  for (const char* left : {"_ISmain", ".hidden-by-name", "hidden.txt", "Folder"})
    EXPECT_FALSE(FileExists(staging + "\\" + left)) << left;

  // The subfolder goes one level below an existing TarvelInst; files of an
  // earlier run are overwritten. Options count by their first three
  // letters, and the engine's name in any case; the launcher is listed
  // first now.
  WriteFile(medium / "data.ini", "new");
  ASSERT_TRUE(DeleteFileA((medium / "_ISmain").c_str()));
  ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(PROBE_PROGRAM_UNIX_PATH).c_str(), (medium / "_isMAIN").c_str(), FALSE));
  Listing::Use(true);
  ASSERT_EQ(Run("-SRC:" + medium.path() + " -tMx:" + temp.path() + " -datadir:N"), TvSetupLaunched);
  EXPECT_EQ(Engine(staging + "\\N"), staging + "\\N\\setup.exe   p \"" + medium.path() + "\"");
  EXPECT_EQ(ReadFile(staging + "\\N\\setup.exe"), ReadFile(medium / "_isMAIN"));
  EXPECT_EQ(ReadFile(staging + "\\N\\data.ini"), "new");
}

// setup.exe as it ships, started in the medium without -SRC: and without a
// home directory: the current folder is the medium, and the engine hears
// "". Names beginning with "!" or "$" are files of the medium like any
// other, not names in the kernel's home or data folder.
TEST_F(Setup, TheShippedProgramTakesTheCurrentFolderAsTheMedium) {
  const std::vector<std::pair<std::string, std::string>> files = {{"!x", "bang"}, {"$x", "dollar"}, {"x", "plain"}};
  for (const auto& [name, bytes] : files) WriteFile(medium / name, bytes);
  tvtest::ScopedCurrentDir inMedium(medium.path());
  const std::string program = tvtest::WindowsPath(SETUP_EXE_UNIX_PATH);
  BoxWatcher boxes;  // none expected; a failure must not wait for a click
  EXPECT_EQ(tvtest::RunProgram("\"" + program + "\" -TMP:" + temp.path() + " x", dir / "out.txt"), 0u);
  const std::string staging = temp / "TarvelInst";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe  x  p \"\"");
  EXPECT_TRUE(FileExists(staging + "\\data.ini"));
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(staging + "\\" + name), bytes) << name;
}

// setup.exe as it ships, with relative folders (taken from the folder it
// starts in, before the staging folder becomes current) and a source folder
// that is a drive's root: its C runtime gives the engine every argument and
// the folder exactly as they were given, blanks, quotes and a trailing
// backslash included.
TEST_F(Setup, TheEngineReadsItsArgumentsAndFoldersAsGiven) {
  const std::string parent = medium.path().substr(0, medium.path().rfind('\\'));
  const std::string mediumName = medium.path().substr(parent.size() + 1);
  const std::string tempName = temp.path().substr(parent.size() + 1);
  const std::string program = "\"" + tvtest::WindowsPath(SETUP_EXE_UNIX_PATH) + "\" ";
  const std::string hostile = " \"C:\\dir\\\" a\"b -q\"r \"-x y\" \\";
  const std::string args = "C:\\dir\\|a\"b|-q\"r|-x y|\\|p|";
  const std::string staging = temp / "TarvelInst";
  tvtest::ScopedCurrentDir inParent(parent);
  BoxWatcher boxes;
  EXPECT_EQ(tvtest::RunProgram(program + "-SRC:" + mediumName + " -TMP:.\\" + tempName + hostile, dir / "out.txt"), 0u);
  EXPECT_EQ(EngineArgs(staging), args + medium.path() + "|");
  EXPECT_EQ(Engine(staging, "cwd-"), staging);

  // T: is a drive of the test's Wine prefix, empty but for this medium.
  const std::string root = "T:\\";
  ASSERT_TRUE(FileExists(root));
  for (const char* name : {"setup.inx", "_ISmain"}) CopyFileA((medium / name).c_str(), (root + name).c_str(), FALSE);
  EXPECT_EQ(
      tvtest::RunProgram(program + "-SRC:" + root + " -TMP:" + tempName + " -DATADIR:R" + hostile, dir / "out.txt"),
      0u);
  for (const char* name : {"setup.inx", "_ISmain"}) DeleteFileA((root + name).c_str());
  EXPECT_EQ(EngineArgs(staging + "\\R"), args + root + "|");
}

// A kernel that cannot start (the configuration TVINI names is missing)
// reports itself and ends the run with 6 before anything is staged.
TEST_F(Setup, AKernelThatCannotStartEndsTheRunWithSix) {
  tvtest::ScopedEnv missing("TVINI", (dir / "missing.ini").c_str());
  // The report is the kernel's error window where one can be made (the
  // 32-bit Wine here makes none): closed as a user would.
  BoxWatcher report([](const Box&) { return IDCANCEL; }, "TVERRORLOG", nullptr);
  const std::string program = tvtest::WindowsPath(SETUP_EXE_UNIX_PATH);
  EXPECT_EQ(tvtest::RunProgram("\"" + program + "\" " + Options(), dir / "out.txt"), 6u);
  report.Stop();
  EXPECT_LE(report.seen.size(), 1u);
  EXPECT_FALSE(FileExists(temp / "TarvelInst"));
}

// Modules left in TarvelInst that the medium does not bring, by an earlier
// run or by anybody who can write to the temporary folder, hidden or not,
// are gone when the engine starts, each with its log line; a module the
// medium brings under the same name is staged and kept, and data files and
// folders of an earlier run stay.
TEST_F(Setup, TheEngineStartsBesideNoModuleButTheMediums) {
  const std::string staging = temp / "TarvelInst";
  CreateDirectoryA(staging.c_str(), nullptr);
  CreateDirectoryA((staging + "\\old.dll").c_str(), nullptr);
  WriteFile(medium / "Helper.dll", "the medium's");
  const std::vector<std::string> planted = {"version.dll", "old.OCX", ".dot.dll", "setup.exe.local"};
  for (const std::string& name : planted) WriteFile(staging + "\\" + name, "planted");
  for (const char* name : {"HELPER.DLL", "setup.exe", "old.dat"}) WriteFile(staging + "\\" + name, "earlier");
  SetFileAttributesA((staging + "\\version.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFile(dir / "setup.ini", "[TvDefault]\r\nLogFile=" + (dir / "setup.log") + "\r\n");
  tvtest::ScopedEnv ini("TVINI", (dir / "setup.ini").c_str());
  tvSys.createProcess = ListedStart;
  ASSERT_EQ(Run(Options()), TvSetupLaunched);
  EXPECT_EQ(atStart,
            (std::vector<std::string>{"data.ini", "helper.dll", "old.dat", "old.dll/", "setup.exe", "setup.inx"}));
  EXPECT_EQ(ReadFile(staging + "\\helper.dll"), "the medium's");
  EXPECT_EQ(ReadFile(staging + "\\setup.exe"), ReadFile(medium / "_ISmain"));
  std::vector<std::string> removed;
  std::istringstream log(ReadFile(dir / "setup.log"));
  for (std::string line; std::getline(log, line);)
    if (line.rfind("Removed ", 0) == 0) removed.push_back(line);
  std::vector<std::string> expected;
  for (const std::string& name : planted)
    expected.push_back("Removed " + staging + "\\" + name + ": a module the medium does not hold\r");
  std::sort(removed.begin(), removed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
}

}  // namespace
