// The kernel instance: begin and end, start-ups and shut-downs, program and
// library registration, configuration discovery and the option accessors.
#include <cstring>
#include <string>
#include <tuple>

#include "kernel_fixture.h"

namespace {

using tvtest::KernelTest;

std::string Option(const char* key, const char* fallback = "<none>") {
  char buffer[256];
  TvOptionGetString(key, fallback, buffer, sizeof buffer);
  return buffer;
}

TvStatus Startup(const char* module, uint32_t flags, const char* path = nullptr, const char* section = nullptr) {
  return TvKernelStartup(module, "1", ":1", flags, path, section);
}

TEST(KernelInstance, StartupBeforeBeginIsRefusedAndRevisionsAreShown) {
  ASSERT_FALSE(tvContext.begun);
  EXPECT_EQ(Startup("X", 0), -1002);
  EXPECT_FALSE(TvKernelStarted());
  TvKernelShutdown(0);  // not begun: nothing to do
  char out[40];
  // clang-format off
  const std::pair<const char*, const char*> kRevisions[] = {
      {":18", "(18)"}, {":236 :1.366-", "(1.366-)"}, {":  7 beta", "(7)"}, {"18", ""}, {nullptr, ""}};
  // clang-format on
  for (const auto& [revision, shown] : kRevisions) {
    TvRevisionDisplay(revision, out, sizeof out);
    EXPECT_STREQ(out, shown) << TvStrOrEmpty(revision);
  }
}

class Instance : public KernelTest {};

TEST_F(Instance, RegistersProgramAndLibraries) {
  ASSERT_EQ(StartWith("[TvDefault]\n", 0, "tvisx"), 0);
  EXPECT_STREQ(tvInstance.moduleName, "TVISX");
  EXPECT_STREQ(tvInstance.revisionDisplay, "(1)");
  // The program directory is the folder of the program's module.
  char file[MAX_PATH];
  GetModuleFileNameA(nullptr, file, sizeof file);
  std::string folder(file);
  EXPECT_EQ(Reported("Prog Dir"), folder.substr(0, folder.rfind('\\')));
  // A later start adds the caller's library once; the program's own name is not listed.
  EXPECT_EQ(TvKernelStartup("tvfrmla", "2.1", ":3 :2.1a", 0, nullptr, nullptr), 0);
  EXPECT_EQ(TvKernelStartup("TVFRMLA", "2.1", ":3 :2.1a", 0, nullptr, nullptr), 0);
  EXPECT_EQ(TvKernelStartup("Tvisx", "9", ":9", 0, nullptr, nullptr), 0);
  EXPECT_STREQ(tvInstance.libraries, "TVKRNXF 2.30(1.366-), TVFRMLA 2.1(2.1a)");
  for (int i = 0; i < 3; ++i) TvKernelShutdown(0);
  EXPECT_TRUE(TvKernelStarted());
  TvKernelShutdown(0);
  EXPECT_FALSE(TvKernelStarted());
  // The title and the configuration's base name, as given or from the module.
  TvSetProgramTitle(nullptr);
  ASSERT_EQ(StartWith("[TvDefault]\n", 0, "setup"), 0);
  EXPECT_EQ(Reported("Program"), "SETUP 1.0");
  EXPECT_STREQ(tvInstance.configBase, "SETUP");
  TvKernelShutdown(0);
  TvSetConfigBaseName("custom.name");
  TvSetProgramTitle("Custom");
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  EXPECT_EQ(Reported("Program"), "Custom");
  EXPECT_STREQ(tvInstance.configBase, "custom");
  TvSetProgramTitle(nullptr);
}

TEST_F(Instance, FindsTheConfigurationByBaseNameTvaddressPathOrSection) {
  tvtest::WriteFile(dir / "tvaddress.ini", "[TESTMOD]\nKey=from tvaddress\n");
  ASSERT_EQ(Startup("TestMod", TvFlagKeepConfig), 0);
  EXPECT_EQ(Reported("Config"), dir / "tvaddress.ini");
  EXPECT_EQ(Option("Key"), "from tvaddress");
  TvKernelShutdown(0);
  tvtest::WriteFile(dir / "TestMod.ini", "[TESTMOD]\nKey=from base\n");
  ASSERT_EQ(Startup("TestMod", TvFlagKeepConfig), 0);
  EXPECT_EQ(Option("Key"), "from base");
  EXPECT_EQ(Reported("Section"), "TESTMOD");
  TvKernelShutdown(0);
  // Along PATH in order, unless only the program directory is searched.
  DeleteFileA((dir / "tvaddress.ini").c_str());
  DeleteFileA((dir / "TestMod.ini").c_str());
  tvtest::TempDir first, second;
  tvtest::WriteFile(second / "tvaddress.ini", "[TvDefault]\nKey=second\n");
  tvtest::WriteFile(first / "tvaddress.ini", "[TvDefault]\nKey=first\n");
  {
    tvtest::ScopedEnv path("PATH", (first.path() + ";" + second.path()).c_str());
    ASSERT_EQ(Startup("TestMod", TvFlagKeepConfig), 0);
    EXPECT_EQ(Option("Key"), "first");
    TvKernelShutdown(0);
    EXPECT_EQ(Startup("TestMod", TvFlagProgDirOnly), -1031);
    TvKernelShutdown(0);
  }
  // A section given by the caller is cut at a comma.
  std::string path = dir / "s.ini";
  tvtest::WriteFile(path, "[Mine]\nKey=mine\n");
  ASSERT_EQ(Startup("TestMod", TvFlagKeepConfig, path.c_str(), "Mine,extra"), 0);
  EXPECT_EQ(Reported("Section"), "Mine");
  EXPECT_EQ(Option("Key"), "mine");
}

// TVINI names the file and the section, and the rest is ignored; a section
// missing from the file falls back to TvDefault.
TEST_F(Instance, TviniNamesFileAndSectionAndIgnoresTheRest) {
  tvtest::WriteFile(dir / "named.ini", "[Chosen]\nKey=chosen\n[TvDefault]\nKey=default\n");
  for (const auto& [rest, section, key] :
       {std::tuple{",Chosen,ignored,more", "Chosen", "chosen"}, {",Absent", "TvDefault", "default"}}) {
    tvtest::ScopedEnv tvini("TVINI", (dir / "named.ini" + rest).c_str());
    ASSERT_EQ(Startup("TestMod", TvFlagKeepConfig), 0) << rest;
    EXPECT_EQ(Reported("Config"), dir / "named.ini");
    EXPECT_EQ(Reported("Section"), section);
    EXPECT_EQ(Option("Key"), key);
    TvKernelShutdown(0);
  }
  // A named file that does not exist is an error even when optional; the
  // raise is recorded as a passed-on error behind the file-open failure.
  tvtest::ScopedEnv tvini("TVINI", (dir / "absent.ini").c_str());
  EXPECT_EQ(Startup("TestMod", TvFlagConfigOptional), -1031);
  EXPECT_EQ(Reported("Config"), "<none>");
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), ">> Could not locate ini file");
  EXPECT_STREQ(TvErrorHistoryLine(false, 1), ("> File not found (" + dir / "absent.ini" + ")").c_str());
  EXPECT_EQ(TvErrorHistoryLine(false, 2), nullptr);
  // Later starts hand back the saved status.
  EXPECT_EQ(Startup("Other", 0), -1031);
}

TEST_F(Instance, NoConfigurationAnywhere) {
  EXPECT_EQ(Startup("TestMod", 0), -1031);
  EXPECT_STREQ(TvErrorHistoryLine(false, 0), ">> Could not locate ini file");
  TvKernelShutdown(0);
  // Optional: all defaults, no configuration path, section TvDefault.
  EXPECT_EQ(Startup("TestMod", TvFlagConfigOptional), 0);
  EXPECT_EQ(Reported("Config"), "<none>");
  EXPECT_EQ(Reported("Section"), "TvDefault");
  EXPECT_EQ(TvCurrentLanguage(), 44);
  EXPECT_EQ(Reported("Log File"), "<disabled>");
}

TEST_F(Instance, TheConfigurationIsReleasedAfterStartUpOrKeptByReference) {
  ASSERT_EQ(StartWith("[TvDefault]\nKey=1\n", TvFlagStartingUp), 0);
  EXPECT_EQ(TvDirCreate((dir / "none").c_str(), 0), -1028);  // directory checks report again
  EXPECT_EQ(Option("Key"), "<none>");                        // released after start-up
  TvKernelShutdown(0);
  ASSERT_EQ(StartWith("[TvDefault]\nKey=1\n", TvFlagKeepConfig), 0);
  EXPECT_EQ(Startup("Lib", TvFlagKeepConfig), 0);
  // Only the first reference loads a file: a later one just counts.
  EXPECT_EQ(Startup("Lib2", TvFlagKeepConfig, "missing-file"), 0);
  TvIniRelease();
  TvIniRelease();
  EXPECT_EQ(Option("Key"), "1");
  TvIniRelease();
  EXPECT_EQ(Option("Key"), "<none>");
  // Nothing held now: the next such start loads its own file.
  std::string other = dir / "other.ini";
  tvtest::WriteFile(other, "[X]\nKey=other\n");
  EXPECT_EQ(Startup("Lib", TvFlagKeepConfig, other.c_str()), 0);
  char value[16];
  EXPECT_EQ(TvConfigGetString("X", "Key", "", value, sizeof value), 1);
  EXPECT_STREQ(value, "other");
  TvIniRelease();
  EXPECT_EQ(Startup("Lib2", TvFlagKeepConfig, "missing-file"), -1031);
}

TEST_F(Instance, OptionAccessorsFallBackToTvDefault) {
  ASSERT_EQ(StartWith("[TESTMOD]\nOwn=mine   \nNum=0x1F\nFlag=on\nEmpty=\nList=first\n+second\n+third  \n"
                      "[TvDefault]\nShared=shared\nNum=7\nOther=12,5\n",
                      TvFlagKeepConfig),
            0);
  EXPECT_EQ(Option("Own") + "|" + Option("Shared") + "|" + Option("Absent", "fallback"), "mine|shared|fallback");
  for (const auto& [key, fallback, value] : {std::tuple{"Num", 0, 31}, {"Other", 0, 12}, {"Absent", -5, -5}})
    EXPECT_EQ(TvOptionGetInt(key, fallback), value) << key;
  for (const auto& [key, fallback, value] : {std::tuple{"Flag", 0, 1}, {"Empty", 1, 0}, {"Absent", 1, 1}})
    EXPECT_EQ(TvOptionGetBool(key, fallback), value) << key;
  char line[16];
  EXPECT_EQ(TvOptionGetString("List", "", line, sizeof line), 1);
  std::string lines = line;
  while (TvOptionNextLine(line, sizeof line)) lines += std::string("|") + line;
  EXPECT_EQ(lines, "first|second|third");
  // Cut to the buffer; the default is not copied over itself.
  char small[4];
  EXPECT_EQ(TvOptionGetString("Own", "", small, sizeof small), 1);
  EXPECT_STREQ(small, "min");
  char same[8] = "keep";
  EXPECT_EQ(TvOptionGetString("Absent", same, same, sizeof same), 0);
  EXPECT_STREQ(same, "keep");
}

TEST_F(Instance, LogConsoleEmptyValueIsNoEvenWhereTheDefaultIsYes) {
  // clang-format off
  const struct { const char* ini; uint32_t flags; bool console; } cases[] = {
      {"[TvDefault]\nLogConsole=\n", TvFlagConsoleDefault, false}, {"[TvDefault]\n", TvFlagConsoleDefault, true},
      {"[TvDefault]\nLogConsole=Y\n", TvFlagConsoleOff, false}, {"[TvDefault]\nLogConsole=N\n", TvFlagConsoleOn, true}};
  // clang-format on
  for (const auto& c : cases) {
    ASSERT_EQ(StartWith(c.ini, c.flags), 0) << c.ini;
    EXPECT_EQ(tvLog.console, c.console) << c.ini << " " << c.flags;
    TvKernelShutdown(0);
  }
}

TEST_F(Instance, FailedStartupKeepsKernelStartedWithSavedStatus) {
  // The log cannot be created in a folder that does not exist.
  EXPECT_EQ(StartWith("[TvDefault]\nLogFile=" + dir / "no\\such\\folder\\x.log" + "\n", TvFlagConsoleOn), -1032);
  EXPECT_TRUE(TvKernelStarted());
  EXPECT_EQ(tvContext.flags & TvFlagConsoleOn, 0u);
  EXPECT_EQ(Startup("Again", 0), -1032);
  TvKernelShutdown(0);
  TvKernelShutdown(0);
  EXPECT_FALSE(TvKernelStarted());
}

int debuggerStops = 0;
BOOL WINAPI DebuggerAttached() { return TRUE; }
void WINAPI CountStop() { ++debuggerStops; }

// Each change of the kernel's state checks the state it leaves: steps in
// order never stop an attached debugger, a step out of order does.
TEST_F(Instance, KeepOpenBeforeStartupAddsToTheCountAndOnlyStepsOutOfOrderStopADebugger) {
  debuggerStops = 0;
  tvSys.isDebuggerPresent = DebuggerAttached;
  tvSys.debugBreak = CountStop;
  for (int keep : {0, 1, 1, 0}) TvKernelKeepOpen(keep);  // one reference pending
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  TvKernelShutdown(0);
  EXPECT_TRUE(TvKernelStarted());
  for (int keep : {1, 0, 0}) TvKernelKeepOpen(keep);
  EXPECT_FALSE(TvKernelStarted());
  EXPECT_EQ(debuggerStops, 0);
  // A reference kept after the instance ended, the kernel still started.
  ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
  TvEndInstance();
  TvKernelKeepOpen(1);
  EXPECT_EQ(debuggerStops, 1);
  TvBeginInstance();
  TvKernelShutdown(0);
  TvKernelShutdown(0);
  EXPECT_FALSE(TvKernelStarted());
  EXPECT_EQ(debuggerStops, 1);
}

TEST_F(Instance, EveryOptionOfTheTableTakesEffect) {
  tvtest::TempDir prog, home, data1, data2;
  const std::string temp = dir / "newtemp";
  ASSERT_EQ(
      StartWith("[TESTMOD]\nLanguage=49\nLogConsole=Y\nLogDebugger=Y\nLogTimeStamp=Y\nLogMillisecs=Y\n"
                "LogThreadId=Y\nHighResTiming=Y\nLogErrors=Y\nBreakOnError=Y\nLogTrace=1\nFiles=5\n"
                "OemCharacterSet=Dos\nLogFile=" +
                log + "\nProgDir=" + prog.path() + "\nHomeDir=" + home.path() + "\nTempDir=" + temp +
                "\nMemAllocator=Pooled\nMemLimit=50000000\nDataDir=" + data1.path() + "\n+" + data2.path() + "\n"),
      0);
  EXPECT_EQ(TvCurrentLanguage(), 49);
  EXPECT_TRUE(tvLog.console && tvLog.debugger && tvLog.timeStamp && tvLog.millisecs && tvLog.threadId);
  EXPECT_TRUE(TvHighResTiming() && tvLog.errors && tvInstance.breakOnError);
  EXPECT_EQ(tvInstance.logTrace, 1);
  EXPECT_EQ(tvInstance.filesRequested, 20u);  // at least 20
  EXPECT_EQ(tvOemCharset.id, 0x02000352u);
  EXPECT_EQ(Reported("Log File"), log);
  EXPECT_EQ(Reported("Prog Dir"), prog.path());
  EXPECT_STREQ(TvKernelStringTable(0)[5], "Januar");  // chosen after ProgDir, in German
  EXPECT_EQ(tvContext.kernelStrings, TvKernelStringTable(49));
  EXPECT_EQ(Reported("Home Dir"), home.path());
  EXPECT_EQ(Reported("Temp Dir"), temp);
  EXPECT_TRUE(tvtest::FileExists(temp));  // created when missing
  EXPECT_TRUE(TvMemPooled());
  EXPECT_NE(Reported("Memory").find("max=50000000,"), std::string::npos);
  EXPECT_EQ(Reported("Data Dir"), data1.path());
  char entry[kTvPathSize];
  ASSERT_EQ(TvDataDirGet(1, entry), 1);
  EXPECT_EQ(std::string(entry), data2.path());
  tvInstance.breakOnError = false;
  tvInstance.console = nullptr;
  TvKernelShutdown(0);
  // Shut-down releases it all.
  EXPECT_FALSE(TvMemPooled());
  EXPECT_EQ(TvDataDirCount(), 0);
  EXPECT_EQ(TvDataDirGet(0, entry), 0);
}

TEST_F(Instance, InvalidDirectoriesGiveTheirCodesAndTheFirstErrorWins) {
  const std::string missing = dir / "missing";
  // ProgDir fails first; the later options still take effect.
  EXPECT_EQ(StartWith("[TvDefault]\nLogFile=" + log + "\nProgDir=" + missing + "\nHomeDir=" + missing +
                      "\nTempDir=" + missing + "\\a\\b\nDataDir=" + dir.path() + "\n+" + missing + "\n"),
            -1028);
  EXPECT_EQ(Reported("Home Dir"), missing);
  EXPECT_EQ(Reported("Log File"), log);
  TvKernelShutdown(0);
  // clang-format off
  const std::pair<std::string, TvStatus> kCases[] = {
      {"TempDir=" + missing + "\\a\\b\nDataDir=" + missing + "\n", -1038},
      {"DataDir=" + dir.path() + "\n+" + missing + "\n", -1037}, {"DataDir=" + missing + "\n", -1037},
      {"MemAllocator=Pooled\nMemBlocks=2\n+16,10\n", -1033}};
  // clang-format on
  for (const auto& [options, status] : kCases) {
    EXPECT_EQ(StartWith("[TvDefault]\n" + options), status) << options;
    TvKernelShutdown(0);
  }
  // During start-up of the extension (flag 0x0010) directory checks report nothing.
  EXPECT_EQ(StartWith("[TvDefault]\nProgDir=" + missing + "\nDataDir=" + missing + "\n", TvFlagStartingUp), 0);
}

TEST_F(Instance, HostileNamesAreCut) {
  const std::string longText(400, 'n');
  std::string path = dir / "h.ini";
  tvtest::WriteFile(path, "[TvDefault]\n" + longText + "=v\nKey=" + longText + "\n");
  ASSERT_EQ(TvKernelStartup(longText.c_str(), longText.c_str(), (":" + longText).c_str(), TvFlagKeepConfig,
                            path.c_str(), longText.c_str()),
            0);
  EXPECT_EQ(strlen(tvInstance.moduleName), kTvNameSize - 1);
  EXPECT_EQ(Reported("Section"), "TvDefault");  // the cut name is not in the file
  EXPECT_EQ(Option("Key"), longText.substr(0, 255));
  EXPECT_EQ(TvOptionGetString(nullptr, nullptr, nullptr, 0), 0);
  EXPECT_EQ(TvOptionGetInt(nullptr, 3), 3);
  EXPECT_EQ(TvOptionNextLine(nullptr, 0), 0);
  // The library list is bounded.
  for (int i = 0; i < 40; ++i) TvRegisterLibrary(std::string(90, 'L').c_str(), std::to_string(i).c_str(), nullptr);
  TvRegisterLibrary(nullptr, nullptr, nullptr);
  EXPECT_EQ(strlen(tvInstance.libraries), kTvLibrariesSize - 1);
  TvSetConfigBaseName(nullptr);
  EXPECT_EQ(TvKernelStartup(nullptr, nullptr, nullptr, 0, nullptr, nullptr), 0);
}

}  // namespace
