// Start and end of use of the extension library, loaded and called the way
// an installer engine does it.
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

// The library lives in its own folder (its program directory), apart from
// the current directory.
using ExtensionStartup = tvtest::LibraryTest;

// Options come from TvDefault when the module has no section; a line prefix
// ends the entry line itself.
TEST_F(ExtensionStartup, OptionsComeFromTvDefaultWhenTheModuleHasNoSection) {
  tvtest::WriteFile(libDir / "TVISX.ini",
                    "[Other]\nLogFile=nowhere.log\n[TvDefault]\nLogFile=" + log + "\nLogThreadId=Y\n");
  tvtest::ExtensionLibrary(libDir.path()).StartAndStop(0);
  const std::string id = "#" + std::to_string(GetCurrentThreadId()) + " ";
  EXPECT_EQ(tvtest::ReadFile(log), id + "> TvIsi_Startup\r\n" + id + "< TvIsi_Startup = 0\r\n");
}

// Without any configuration the start reports it, and the kernel stays
// started with that status. Two starts need two shutdowns; a shutdown
// without a start does nothing; an instance ended refuses a start.
TEST_F(ExtensionStartup, StartsAndShutdownsCountAndRepeatHarmlessly) {
  tvtest::ExtensionLibrary lib(libDir.path());
  auto startup = TV_GET(lib, TvIsi_Startup);
  auto shutdown = TV_GET(lib, TvIsi_Shutdown);
  EXPECT_EQ(startup(), -1031);
  EXPECT_EQ(startup(), -1031);
  shutdown();
  shutdown();
  EXPECT_FALSE(tvtest::FileExists(dir / "tverrors.log"));
  EXPECT_FALSE(tvtest::FileExists(libDir / "tverrors.log"));
  Configure();
  const std::string line = "> TvIsi_Startup< TvIsi_Startup = 0\r\n";
  shutdown();
  EXPECT_FALSE(tvtest::FileExists(log));
  ASSERT_EQ(startup(), 0);
  ASSERT_EQ(startup(), 0);
  shutdown();
  ASSERT_EQ(startup(), 0);  // still started: only a reference more, the log is not replaced
  EXPECT_EQ(tvtest::ReadFile(log), line + line + line);
  shutdown();
  shutdown();
  EXPECT_TRUE(DeleteFileA(log.c_str()));  // stopped: the log file is closed
  ASSERT_EQ(startup(), 0);                // a new start replaces the log
  shutdown();
  EXPECT_EQ(tvtest::ReadFile(log), line);
  auto begin = TV_GET(lib, TvBeginInstance);
  auto end = TV_GET(lib, TvEndInstance);
  EXPECT_EQ(begin(), 0);
  EXPECT_EQ(begin(), 0);
  end();
  end();
  EXPECT_EQ(startup(), -1002);  // not begun any more
  shutdown();
  EXPECT_EQ(begin(), 0);
}

TEST_F(ExtensionStartup, HostileConfigurationValuesAreCutNotFatal) {
  // A 400-character log name and a 400-character TVINI value.
  const std::string longName(400, 'x');
  tvtest::WriteFile(libDir / "TVISX.ini",
                    "[TVISX]\nLogFile=" + longName + "\nLanguage=" + std::string(400, '9') + "\n");
  // The log name is cut to 255 characters, too long for a path: no log file.
  tvtest::ExtensionLibrary(libDir.path()).StartAndStop(-1032);
  tvtest::ScopedEnv tvini("TVINI", (std::string(400, 'y') + ",section," + std::string(400, 'z')).c_str());
  // Cut to 255 characters the name is no usable path at all.
  tvtest::ExtensionLibrary(libDir.path()).StartAndStop(-1028);
}

TEST_F(ExtensionStartup, TheConfigurationIsFoundAlongAPathLongerThan4KB) {
  tvtest::TempDir configDir;
  const std::string found = configDir / "found.log";
  tvtest::WriteFile(configDir / "TVISX.ini", "[TVISX]\nLogFile=" + found + "\n");
  std::string path;
  for (int i = 0; path.size() < 5000; ++i) path += dir / ("missing" + std::to_string(i)) + ";";
  char system[32768];
  const DWORD n = GetEnvironmentVariableA("PATH", system, sizeof system);
  path += configDir.path() + (n > 0 && n < sizeof system ? ";" + std::string(system) : "");
  tvtest::ScopedEnv env("PATH", path.c_str());
  tvtest::ExtensionLibrary(libDir.path()).StartAndStop(0);
  EXPECT_EQ(tvtest::ReadFile(found), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");
}

}  // namespace
