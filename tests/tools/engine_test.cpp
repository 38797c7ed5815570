// The engine stand-in: scripts run against the built TVISX.dll in a folder of
// its own, the way an installer engine loads it.
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using tvtest::Has;

// The library is copied into its folder; the engine loads it from there.
class Engine : public tvtest::LibraryTest {
 protected:
  std::string output;

  Engine() {
    EXPECT_TRUE(CopyFileA(tvtest::ExtensionPath().c_str(), (libDir / "TVISX.dll").c_str(), FALSE));
    Configure();
  }

  DWORD RunCommand(const std::string& arguments) {
    std::string engine = tvtest::WindowsPath(TVENGINE_UNIX_PATH);
    DWORD code = tvtest::RunProgram("\"" + engine + "\" " + arguments, dir / "output.txt");
    output = tvtest::ReadFile(dir / "output.txt");
    return code;
  }

  DWORD Run(const std::string& script, const std::string& scriptPath = "") {
    std::string path = scriptPath.empty() ? dir / "script.tvs" : scriptPath;
    tvtest::WriteFile(path, script);
    return RunCommand("\"" + libDir.path() + "\" \"" + path + "\"");
  }
};

TEST_F(Engine, RunsTheCallsInOrderAndPrintsEachWithItsResult) {
  const std::string script =
      "# start and stop the kernel\r\n"
      "status = TvIsi_Startup()\r\n"
      "assert status == 0\r\n"
      "\r\n"
      "assert result != -1031   # the configuration beside the library was found\r\n"
      "name = \"tab\\there \\\"quoted\\\" \\\\ $SCRIPTDIR \\$SCRIPTDIR\"\r\n"
      "print \"name: \", name, \" \", 0x7fffffff, \" \", 0xFFFFFFFF, \" \", -2147483648\r\n"
      "TvIsi_Shutdown()\r\n"
      "TvBeginInstance()";
  ASSERT_EQ(Run(script), 0u) << output;
  const std::string printed = "name: tab\there \"quoted\" \\ " + dir.path() + " $SCRIPTDIR 2147483647 -1 -2147483648";
  EXPECT_EQ(output,
            "[2] TvIsi_Startup() = 0\r\n" + printed + "\r\n[8] TvIsi_Shutdown()\r\n[9] TvBeginInstance() = 0\r\n");
  // The calls really reached the library.
  EXPECT_EQ(tvtest::ReadFile(log), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");

  // Without a configuration the start reports it; the script sees the status.
  DeleteFileA((libDir / "TVISX.ini").c_str());
  EXPECT_EQ(Run("TvIsi_Startup()\nassert result == -1031\nTvIsi_Shutdown()\n"), 0u) << output;
}

// Started as the launcher starts an engine (as the staged setup.exe, in
// its folder, "p" and the medium last): it runs setup.inx of the current
// folder against TVISX.dll of its own, and writes what it prints and its
// exit code to tvengine.out.
TEST_F(Engine, StartedByTheLauncherItRunsSetupInxOfItsFolder) {
  const std::string staged = libDir / "setup.exe";
  ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(TVENGINE_UNIX_PATH).c_str(), staged.c_str(), FALSE));
  tvtest::ScopedCurrentDir inStaging(libDir.path());
  for (const DWORD expected : {0u, 1u}) {
    tvtest::WriteFile(libDir / "setup.inx", "print \"from $SOURCEDIR\"\nstatus = TvIsi_Startup()\nassert status == " +
                                                std::to_string(expected) + "\nTvIsi_Shutdown()\n");
    EXPECT_EQ(tvtest::RunProgram("\"" + staged + "\"  -x \"a b\"  p \"D:\\media\"", dir / "output.txt"), expected);
    EXPECT_EQ(tvtest::ReadFile(libDir / "tvengine.out"),
              "from D:\\media\r\n[2] TvIsi_Startup() = 0\r\n" +
                  std::string(expected ? "line 3: assertion failed: status == 1, status is 0\r\n"
                                       : "[4] TvIsi_Shutdown()\r\n") +
                  "tvengine: exit code " + std::to_string(expected) + "\r\n");
  }
}

// (A failed assertion on numbers: the launcher's start above.)
TEST_F(Engine, AFailedAssertionStopsTheScriptAndShowsItsTexts) {
  EXPECT_EQ(Run("a = \"x\\ny\"\nb = a\n\nassert b != a\nprint \"after\"\n"), 1u);
  EXPECT_EQ(output, "line 4: assertion failed: b != a, b is \"x\\ny\", a is \"x\\ny\"\r\n");
}

TEST_F(Engine, ScriptErrorsNameTheirLineAndNothingIsCalled) {
  struct Case {
    const char* line2;
    const char* message;
  };
  const Case cases[] = {
      {"TvIsi_Frobnicate(1)", "unknown export TvIsi_Frobnicate"},
      {"tvisi_shutdown()", "unknown export tvisi_shutdown (did you mean TvIsi_Shutdown?)"},
      {"TvIsi_IniSave(1)", "TvIsi_IniSave takes 2 arguments (number in, number in), not 1"},
      {"TvIsi_IniSave(1, 2, 3)", "TvIsi_IniSave takes 2 arguments (number in, number in), not 3"},
      {"TvIsi_IniSave(1, handle)", "undefined variable handle"},
      {"print \"no end", "unterminated string"},
      {"print \"ends in a backslash\\", "unterminated string"},
      {"print \"\\q\"", "unknown escape \\q in a string"},
      {"TvIsi_IniSave(1, \"2\")", "argument 2 of TvIsi_IniSave is a number in, not a string"},
      {"TvIsi_IniOpen(f, b, 3)", "argument 3 of TvIsi_IniOpen is a string in, not a number"},
      {"TvIsi_IniOpen(1, b, \"x\")", "argument 1 of TvIsi_IniOpen is a number out: give a variable to receive it"},
      {"TvIsi_IniSave(null, 1)", "argument 1 of TvIsi_IniSave is a number"},
      {"x = TvIsi_Shutdown()", "TvIsi_Shutdown returns nothing to store in x"},
      {"x = 4294967296", "number 4294967296 does not fit in 32 bits"},
      {"x = -2147483649", "number -2147483649 does not fit in 32 bits"},
      {"x = 12ab", "malformed number 12ab"},
      {"assert status == \"0\"", "assert compares a number with a string"},
      {"TvIsi_Startup = 1", "TvIsi_Startup is an export, not a variable"},
      {"TvIsi_Startup() junk", "unexpected text after the statement"},
      {"status", "expected ( or = after status"},
      {"x = 1; y = 2", "unexpected ';'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line2);
    EXPECT_EQ(Run(std::string("status = TvIsi_Startup()\n") + c.line2 + "\nTvIsi_Shutdown()\n"), 2u);
    EXPECT_TRUE(Has(output, std::string("line 2: script error: ") + c.message));
    // The script is checked before anything runs.
    EXPECT_EQ(output.find("[1]"), std::string::npos) << output;
  }
  EXPECT_FALSE(tvtest::FileExists(log));
}

TEST_F(Engine, HostileScriptsAndCommandLinesEndWithAClearCode) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 5; ++round) {
    std::string bytes(2000, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    EXPECT_EQ(Run(bytes), 2u) << output;
    EXPECT_TRUE(Has(output, "script error"));
  }
  EXPECT_EQ(Run(std::string("print \"a\0b\"\n", 11)), 2u);
  EXPECT_TRUE(Has(output, "line 1: script error: a string cannot hold a NUL byte"));
  // An empty script and a very long line are fine.
  EXPECT_EQ(Run(""), 0u) << output;
  const std::string longText(100000, 'x');
  EXPECT_EQ(Run("print \"" + longText + "\"\n"), 0u);
  EXPECT_TRUE(output == longText + "\r\n") << output.size();

  EXPECT_EQ(RunCommand(""), 2u);
  EXPECT_TRUE(Has(output, "usage: tvengine"));
  EXPECT_EQ(RunCommand("\"" + libDir.path() + "\" \"" + (dir / "missing.tvs") + "\""), 3u);
  EXPECT_TRUE(Has(output, "cannot read the script"));
  tvtest::WriteFile(dir / "ok.tvs", "TvIsi_Startup()\n");
  EXPECT_EQ(RunCommand("\"" + (dir / "nowhere") + "\" \"" + (dir / "ok.tvs") + "\""), 3u);
  EXPECT_TRUE(Has(output, "cannot load"));
}

TEST_F(Engine, IniScriptEditsAFileThroughTheHandles) {
  // The script and its file live in a folder apart from the current one.
  const std::string folder = dir / "samples";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  tvtest::WriteFile(folder + "\\test.ini", "[TvDefault]\r\nOld=abcdef\r\nKeep=1\r\n");
  const std::string script =
      // clang-format off
      "TvIsi_Startup()\nstatus = TvIsi_IniOpen(file, buffer, \"$SCRIPTDIR\\\\test.ini\")\n"
      "assert status == 0\nassert file != -1\nassert buffer != 0\n"
      "# only the low 16 bits of the capacity count: 0x10005 is a 5-byte buffer\n"
      "TvIsi_IniGetString(buffer, \"TvDefault\", \"Old\", value, 0x10005)\nassert value == \"abcd\"\n"
      "TvIsi_IniSetString(buffer, \"TvDefault\", \"Old\", \"a\\nb\")\n"
      "TvIsi_IniGetString(buffer, \"TvDefault\", \"Old\", value, 256)\nassert result == 0\nassert value == \"a\\nb\"\n"
      "TvIsi_IniGetString(buffer, \"TvDefault\", \"Missing\", value, 256)\n"
      "assert result == -8100\nassert value == \"\"\n"
      "TvIsi_IniAddString(buffer, \"TvDefault\", \"List\", \"x\\nY\")\n"
      "TvIsi_IniAddString(buffer, \"TvDefault\", \"List\", \"y\")\n"
      "TvIsi_IniOpen(other, otherBuffer, \"$SCRIPTDIR\\\\missing.ini\")\nassert result == -1010\nassert other == -1\n"
      "TvIsi_IniClose(other, otherBuffer)\nstatus = TvIsi_IniSave(file, buffer)\nassert status == 0\n"
      "TvIsi_IniClose(file, buffer)\nTvIsi_Shutdown()\n";
  // clang-format on
  ASSERT_EQ(Run(script, folder + "\\edit.tvs"), 0u) << output;
  EXPECT_EQ(tvtest::ReadFile(folder + "\\test.ini"), "[TvDefault]\r\nOld=a\r\n+b\r\nKeep=1\r\nList=x\r\n+y\r\n");
  // The trace shows strings as they are written in a script, backslashes doubled.
  std::string quoted;
  for (char c : folder + "\\test.ini") quoted += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_TRUE(Has(output, "[2] TvIsi_IniOpen(&file, &buffer, \"" + quoted + "\") = 0; file = "));
  EXPECT_TRUE(Has(output, "[10] TvIsi_IniGetString("));
  EXPECT_TRUE(Has(output, "\"Old\", &value, 256) = 0; value = \"a\\nb\"\r\n"));
}

TEST_F(Engine, KernelOptionsAndOptionFilesReachTheEnginesKernel) {
  tvtest::WriteFile(dir / "ok.tvs", "print \"hello\"\n");
  // The output goes to the log as well; -ERRORS logs what the kernel raises.
  ASSERT_EQ(RunCommand("-LOG:x.log -ERRORS \"" + libDir.path() + "\" ok.tvs"), 0u) << output;
  EXPECT_EQ(output, "hello\r\n");
  EXPECT_EQ(tvtest::ReadFile(dir / "x.log"), "hello\r\n");
  EXPECT_EQ(RunCommand("-ERRORS -LOG x.log -LA 33 \"" + libDir.path() + "\" missing.tvs"), 3u);
  EXPECT_TRUE(Has(tvtest::ReadFile(dir / "x.log"), "> Fichier introuvable (" + (dir / "missing.tvs") + ")"));

  // One argument per line; a value on the following line is not taken.
  tvtest::WriteFile(dir / "args.txt", "-LOG:y.log\r\n" + libDir.path() + "\r\nok.tvs\r\n");
  ASSERT_EQ(RunCommand("@args.txt"), 0u) << output;
  EXPECT_EQ(tvtest::ReadFile(dir / "y.log"), "hello\r\n");
  tvtest::WriteFile(dir / "args.txt", "-LOG\r\ny.log\r\nok.tvs\r\n");
  EXPECT_EQ(RunCommand("@args.txt"), 3u);
  EXPECT_TRUE(Has(output, "cannot load y.log\\TVISX.dll"));
  EXPECT_EQ(RunCommand("-NOSUCH ok.tvs"), 2u);
  EXPECT_TRUE(Has(output, "Invalid command line option (-1030)"));
}

TEST_F(Engine, EveryProgramPrintsItsUsageOnHelp) {
  const std::pair<const char*, const char*> programs[] = {
      {TVENGINE_UNIX_PATH, "usage: tvengine"},
      {TVTRAILER_UNIX_PATH, "usage: tvtrailer"},
      {ISI_BENCH_UNIX_PATH, "usage: isi_bench"},
      {INI_BENCH_UNIX_PATH, "usage: ini_bench"},
  };
  for (const auto& [path, usage] : programs)
    for (const char* help : {"-HELP", "/?"}) {
      const std::string program = "\"" + tvtest::WindowsPath(path) + "\" ";
      EXPECT_EQ(tvtest::RunProgram(program + help, dir / "usage.txt"), 0u) << usage;
      const std::string text = tvtest::ReadFile(dir / "usage.txt");
      EXPECT_EQ(text.rfind(usage, 0), 0u) << text;
      EXPECT_NE(text.find("-LANGUAGE:<code>"), std::string::npos) << text;
    }
}

}  // namespace
