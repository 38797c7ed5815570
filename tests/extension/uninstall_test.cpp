// The uninstaller's hooks of the library as it ships. UninstInitialize reads
// the "-f" value from its own process's command line, so each case runs the
// engine stand-in in uninstall mode as a child process; probe programs stand
// in for the uninstall programs it starts.
#include <cstdio>
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

const std::string kStarted = "> TvIsi_Startup< TvIsi_Startup = 0\r\n> UninstInitialize\r\n";

class Uninstall : public tvtest::LibraryTest {
 protected:
  Uninstall() {
    Place(libDir.path(), "TVISX.dll", tvtest::ExtensionPath());
    Place(libDir.path(), "tvengine.exe", tvtest::WindowsPath(TVENGINE_UNIX_PATH));
    Configure("LogErrors=Y\n");
  }

  // Copies a program (the probe unless named) into a folder under a name.
  static void Place(const std::string& folder, const std::string& name,
                    const std::string& program = tvtest::WindowsPath(PROBE_PROGRAM_UNIX_PATH)) {
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_TRUE(CopyFileA(program.c_str(), (folder + "\\" + name).c_str(), FALSE)) << name;
  }

  // The result of UninstInitialize as the engine printed it; the engine's
  // exit code says whether it was 0.
  int32_t HandOver(const std::string& arguments) {
    DeleteFileA((libDir / "install.log").c_str());
    for (const char* kind : {"ran-", "ended-"})
      for (const char* program : {"uninst.exe", "tvunins.exe", "exe.exe"})
        DeleteFileA((dir / (kind + std::string(program) + ".txt")).c_str());
    const DWORD code =
        tvtest::RunProgram("\"" + libDir / "tvengine.exe\" -uninstall " + arguments, libDir / "output.txt", 20000);
    const std::string output = tvtest::ReadFile(libDir / "output.txt");
    int result = 0, after = -1;
    EXPECT_EQ(
        sscanf(output.c_str(), "UninstInitialize(0, 0, 0) = %d\r\nUninstUnInitialize(0, 0, 0) = %d", &result, &after),
        2)
        << output;
    EXPECT_EQ(after, 0);
    EXPECT_EQ(code, result == 0 ? 0u : 1u);
    return result;
  }
};

TEST_F(Uninstall, HandsOverToTheProgramNamedByTheFileAfterF) {
  const std::string app = dir / "App Dir";
  const std::string plain = dir / "Plain";
  // 254 characters, in a folder that does not exist.
  const std::string longValue = dir / ("missing\\" + std::string(254 - dir.path().size() - 13, 'x') + ".dat");
  // The errors raised on the way, as LogErrors writes them.
  auto error = [](const char* text, const std::string& path) {
    return "> " + std::string(text) + " (" + path + ")\r\n";
  };
  const std::string missing = dir / "missing";
  struct Case {
    const char* name;
    std::string arguments;
    bool uninst, tvunins;  // which programs are there, in app
    int32_t result;
    std::string ran;  // the probe's record: its command line, or "" for none
    std::string log;  // the log after the entry lines
  } cases[] = {
      {"quoted path with blanks", "-f\"" + app + "\\uninst.dat\" -x", true, true, 0,
       app + "\\uninst.exe  -quiet -remove", ""},
      {"no blank after it: to the end of the line", "-x -f" + plain + "\\uninst.dat", false, false, 0,
       plain + "\\uninst.exe  -quiet -remove", ""},
      {"uninst.exe missing", "-f\"" + app + "\\uninst.dat\"", false, true, 0, app + "\\tvunins.exe  -errmsg:a",
       error("File not found", app + "\\uninst.exe")},
      {"-f first inside a folder name",
       "-log " + dir.path() + "\\logs-f" + plain + "\\uninst.dat -f\"" + app + "\\uninst.dat\"", true, false, 0,
       plain + "\\uninst.exe  -quiet -remove", ""},
      {"no -f", "-quiet -x", true, true, -1, "", ""},
      {"two characters", "-f\"ab\" -x", true, true, -1, "", ""},
      {"three characters", "-fabc -x", true, true, 0, libDir / "exe.exe  -quiet -remove", ""},
      {"255 characters", "-f" + longValue + "x", true, true, -1, "", ""},
      {"254 characters, folder missing", "-f" + longValue, true, true, -1028, "",
       error("File not found", longValue.substr(0, 251) + "exe") + error("Invalid directory", missing)},
      {"folder missing", "-f\"" + missing + "\\uninst.dat\"", true, true, -1028, "",
       error("File not found", missing + "\\uninst.exe") + error("Invalid directory", missing)},
      {"neither program", "-f\"" + app + "\\uninst.dat\"", false, false, -1010, "",
       error("File not found", app + "\\uninst.exe") + error("File not found", app + "\\tvunins.exe")},
  };
  Place(plain, "uninst.exe");
  Place(dir.path(), "App.exe");     // where "...\App Dir\uninst.exe" would be cut at its blank
  Place(libDir.path(), "exe.exe");  // "abc" names "exe", found in the program folder
  tvtest::ScopedEnv linger("TV_PROBE_LINGER", "1");
  // Every program run ends with 259, the value that also stands for "still
  // running": the hand-off still sees it end.
  tvtest::ScopedEnv exitCode("TV_PROBE_EXIT", "259");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tvtest::RemoveTree(app);
    CreateDirectoryA(app.c_str(), nullptr);
    if (c.uninst) Place(app, "uninst.exe");
    if (c.tvunins) Place(app, "tvunins.exe");
    EXPECT_EQ(HandOver(c.arguments), c.result);
    const std::string program = c.ran.substr(0, c.ran.find("  "));
    const std::string record = program.substr(program.rfind('\\') + 1);
    if (c.ran.empty()) {
      for (const char* name : {"uninst.exe", "tvunins.exe", "exe.exe"})
        EXPECT_FALSE(tvtest::FileExists(dir / ("ran-" + std::string(name) + ".txt")));
    } else {
      EXPECT_EQ(tvtest::ReadFile(dir / ("ran-" + record + ".txt")), c.ran);
      // Waited for: the program had ended when the call returned.
      EXPECT_TRUE(tvtest::FileExists(dir / ("ended-" + record + ".txt")));
    }
    // The exit line comes after the shut-down, when the log file is closed.
    EXPECT_EQ(tvtest::ReadFile(log), kStarted + c.log);
  }
  EXPECT_FALSE(tvtest::FileExists(dir / "ran-App.exe.txt"));  // the decoy never ran
}

// Nothing but its two lines, in one write; it starts no kernel, so they
// reach the log only while a start of the script's keeps it open.
TEST_F(Uninstall, UnInitializeOnlyLogs) {
  Load();
  auto hook = TV_GET(*lib, UninstUnInitialize);
  EXPECT_EQ(hook(1, 2, 3), 0);
  EXPECT_FALSE(tvtest::FileExists(log));
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(hook(0, 0, 0), 0);
  EXPECT_EQ(Log(), "> UninstUnInitialize\r\n< UninstUnInitialize\r\n");  // after the start-up line
}

}  // namespace
