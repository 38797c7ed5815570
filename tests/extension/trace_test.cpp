// The API trace of the exports, switched on by a tvapi.ini beside the
// library, in each of its forms.
#include <string>

#include "test_support.h"

namespace {

class ExportTrace : public tvtest::FolderTest {
 protected:
  tvtest::TempDir libDir;
  std::string trace = dir / "trace.log";
  std::string log = libDir / "install.log";

  void Configure(const std::string& tvapi, const std::string& options = "") {
    tvtest::WriteFile(libDir / "tvapi.ini", tvapi);
    tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\nLogFile=" + log + "\n" + options);
  }
  // One installer session: load, start, stop, unload.
  void Session() { tvtest::ExtensionLibrary(libDir.path()).StartAndStop(0); }
};

const char* const kSessionTrace =
    "! Function: TvIsi_Startup\r\n"
    "!     return 0\r\n"
    "! Function: TvIsi_Shutdown\r\n"
    "!     return\r\n";

TEST_F(ExportTrace, PlusNameKeepsEarlierTraces) {
  Configure("ApiFile=+trace\n");
  tvtest::WriteFile(trace, "earlier\r\n");
  Session();
  Session();
  EXPECT_EQ(tvtest::ReadFile(trace), std::string("earlier\r\n") + kSessionTrace + kSessionTrace);
}

TEST_F(ExportTrace, PlainNameStartsAfreshInEachProcess) {
  Configure("ApiFile=trace\n");
  tvtest::WriteFile(trace, "earlier\r\n");
  Session();
  EXPECT_EQ(tvtest::ReadFile(trace), kSessionTrace);
  Session();  // a new load of the library is a new configuration
  EXPECT_EQ(tvtest::ReadFile(trace), kSessionTrace);
}

TEST_F(ExportTrace, PlainNameThatDoesNotExistYet) {
  Configure("ApiFile=" + dir / "fresh" + "\n");
  Session();
  EXPECT_EQ(tvtest::ReadFile(dir / "fresh.log"), kSessionTrace);
}

TEST_F(ExportTrace, GreaterThanAppendsWriteOnly) {
  Configure("ApiFile=>trace\n");
  tvtest::WriteFile(trace, "earlier\r\n");
  Session();
  EXPECT_EQ(tvtest::ReadFile(trace), std::string("earlier\r\n") + kSessionTrace);
}

TEST_F(ExportTrace, ToTheLogOnceItIsOpen) {
  Configure("ApiLog=Yes\n");
  Session();
  // The start-up's function line comes before the log exists, the
  // shut-down's return line after it is closed.
  EXPECT_EQ(tvtest::ReadFile(log),
            "> TvIsi_Startup< TvIsi_Startup = 0\r\n"
            "!     return 0\r\n"
            "! Function: TvIsi_Shutdown\r\n");
  EXPECT_FALSE(tvtest::FileExists(trace));
}

TEST_F(ExportTrace, ToTheConsole) {
  Configure("ApiConsole=1\n");
  std::string consolePath = dir / "console.txt";
  HANDLE console =
      CreateFileA(consolePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  Session();
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(console);
  EXPECT_EQ(tvtest::ReadFile(consolePath), kSessionTrace);
}

TEST_F(ExportTrace, OffWithoutTvapiOrWithoutItsKeys) {
  Configure("Other=1\napifile\n");
  Session();
  EXPECT_FALSE(tvtest::FileExists(trace));
  tvtest::RemoveTree(libDir / "tvapi.ini");
  DeleteFileA((libDir / "tvapi.ini").c_str());
  Session();
  EXPECT_FALSE(tvtest::FileExists(trace));
  EXPECT_EQ(tvtest::ReadFile(log), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");
}

TEST_F(ExportTrace, TraceFileInAMissingFolderStopsOnlyTheFileOutput) {
  Configure("ApiFile=+" + dir / "missing\\trace" + "\nApiLog=Y\n");
  Session();
  EXPECT_EQ(tvtest::ReadFile(log), "> TvIsi_Startup< TvIsi_Startup = 0\r\n!     return 0\r\n! Function: TvIsi_Shutdown\r\n");
}

TEST_F(ExportTrace, HostileTvapiLines) {
  // Over-long lines, no value, control characters, a 400-character file name.
  Configure(std::string(300, 'k') + "=v\nApiFile=\nApiConsole\x01\x02=\r\n\x7f\n=\nApiFile=+" +
            std::string(400, 'f') + "\n");
  Session();
  EXPECT_EQ(tvtest::ReadFile(log), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");
}

}  // namespace
