// The API trace of the exports, switched on by a tvapi.ini beside the
// library, in each of its forms.
#include <string>

#include "exports.h"
#include "test_support.h"

namespace {

class ExportTrace : public tvtest::LibraryTest {
 protected:
  std::string trace = dir / "trace.log";
  void Configure(const std::string& tvapi, const std::string& options = "") {
    tvtest::WriteFile(libDir / "tvapi.ini", tvapi);
    LibraryTest::Configure(options);
  }
  // One installer session: load, start, stop, unload.
  void Session() { tvtest::ExtensionLibrary(libDir.path()).StartAndStop(0); }
};

const std::string kSessionTrace =
    tvtest::Traced("TvIsi_Startup", {"return 0"}) + tvtest::Traced("TvIsi_Shutdown", {"return"});

// Each form of ApiFile over two sessions: "+name" and ">name" keep what
// the file held, a plain name starts the file afresh in each process (and
// creates it). ApiConsole writes to standard output.
TEST_F(ExportTrace, ApiFileFormsKeepOrReplaceTheTraceFile) {
  const struct {
    std::string value, file;
    bool earlier;
    std::string expected;
  } forms[] = {
      {"+trace", trace, true, "earlier\r\n" + kSessionTrace + kSessionTrace},
      {">trace", trace, true, "earlier\r\n" + kSessionTrace + kSessionTrace},
      {"trace", trace, true, kSessionTrace},
      {dir / "fresh", dir / "fresh.log", false, kSessionTrace},
  };
  for (const auto& f : forms) {
    SCOPED_TRACE(f.value);
    Configure("ApiFile=" + f.value + "\n");
    if (f.earlier) tvtest::WriteFile(f.file, "earlier\r\n");
    Session();
    Session();
    EXPECT_EQ(tvtest::ReadFile(f.file), f.expected);
  }
  Configure("ApiConsole=1\n");
  HANDLE console =
      CreateFileA((dir / "console.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  HANDLE saved = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  Session();
  SetStdHandle(STD_OUTPUT_HANDLE, saved);
  CloseHandle(console);
  EXPECT_EQ(tvtest::ReadFile(dir / "console.txt"), kSessionTrace);
}

// With ApiLog the trace goes into the log once it is open: the start-up's
// function line comes before the log exists, the shut-down's return line
// after it is closed. A trace file in a missing folder stops only the file output.
TEST_F(ExportTrace, ToTheLogOnceItIsOpen) {
  for (const std::string& tvapi : {std::string("ApiLog=Yes\n"), "ApiFile=+" + dir / "missing\\t" + "\nApiLog=Y\n"}) {
    SCOPED_TRACE(tvapi);
    Configure(tvapi);
    Session();
    EXPECT_EQ(tvtest::ReadFile(log),
              "> TvIsi_Startup< TvIsi_Startup = 0\r\n!     return 0\r\n! Function: TvIsi_Shutdown\r\n");
    EXPECT_FALSE(tvtest::FileExists(trace));
  }
}

// Off without a tvapi.ini, without its keys, or with lines that set nothing:
// over-long, without a value, with control characters, a 400-character file name.
TEST_F(ExportTrace, OffWithoutTvapiOrWithoutUsableKeys) {
  const std::string hostile =
      std::string(300, 'k') + "=v\nApiFile=\nApiConsole\x01\x02=\r\n\x7f\n=\nApiFile=+" + std::string(400, 'f') + "\n";
  for (const std::string& tvapi : {std::string("Other=1\napifile\n"), hostile, std::string()}) {
    SCOPED_TRACE(tvapi.empty() ? "no tvapi.ini" : tvapi.substr(0, 20));
    Configure(tvapi);
    if (tvapi.empty()) DeleteFileA((libDir / "tvapi.ini").c_str());
    Session();
    EXPECT_FALSE(tvtest::FileExists(trace));
    EXPECT_EQ(tvtest::ReadFile(log), "> TvIsi_Startup< TvIsi_Startup = 0\r\n");
  }
}

// One call of each kind of frame, with the trace going into the log: the
// entry and exit lines, the lines a body writes and the trace lines, in the
// order they are written.
TEST_F(ExportTrace, EachKindOfFrameInOrder) {
  Configure("ApiLog=Yes\n");
  const std::string ini = dir / "tvwserve.ini";
  tvtest::WriteFile(ini, "[TvDefault]\nInstalledCountries=GBR,UK,C:\\GBR.dts\n");
  tvtest::ExtensionLibrary lib(libDir.path());
  ASSERT_EQ(TV_GET(lib, TvIsi_Startup)(), 0);
  INT_PTR file = 0, buffer = 0;
  char value[16];
  EXPECT_EQ(TV_GET(lib, TvIsi_IniOpen)(&file, &buffer, ini.c_str()), 0);
  auto get = TV_GET(lib, TvIsi_IniGetString);
  EXPECT_EQ(get(buffer, "TvDefault", "InstalledCountries", value, sizeof value), 0);
  EXPECT_EQ(get(buffer, "TvDefault", "Missing", value, sizeof value), -8100);
  EXPECT_EQ(TV_GET(lib, TvIsi_IniSetString)(buffer, "TvDefault", "K", "v1\nv2"), 0);
  EXPECT_EQ(TV_GET(lib, TvIsi_IniAddString)(buffer, "TvDefault", "K", "v3"), 0);
  EXPECT_EQ(TV_GET(lib, TvIsi_IniDeleteString)(buffer, "TvDefault", "K"), 0);
  EXPECT_EQ(TV_GET(lib, TvIsi_IniCopySetting)(buffer, buffer, "TvDefault", "Gone"), -8100);
  EXPECT_EQ(TV_GET(lib, TvIsi_IniSave)(file, buffer), 0);
  TV_GET(lib, TvIsi_IniClose)(file, buffer);
  EXPECT_EQ(tvtest::ReadFile(ini), "[TvDefault]\r\nInstalledCountries=GBR,UK,C:\\GBR.dts\r\n");  // K went whole
  auto present = TV_GET(lib, TvIsi_IsISOPresent);
  EXPECT_EQ(present("GBR", dir.path().c_str()), 0);
  EXPECT_EQ(present("GBR", (dir / "missing").c_str()), -1028);
  int32_t mask = -1;
  EXPECT_EQ(TV_GET(lib, TvIsi_ProdFromIni)(ini.c_str(), &mask), 0);
  EXPECT_EQ(TV_GET(lib, TvErrorLevel)(-1), 0);
  TV_GET(lib, TvVersionInfo)(nullptr, 0);
  TV_GET(lib, TvIsi_Shutdown)();
  const std::string d = dir.path();
  // clang-format off
  EXPECT_EQ(tvtest::ReadFile(log),
            "> TvIsi_Startup< TvIsi_Startup = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_IniOpen\r\n> TvIsi_IniOpen (" + ini + ")\r\n< TvIsi_IniOpen = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_IniGetString\r\n> TvIsi_IniGetString (InstalledCountries)\r\n"
            "< TvIsi_IniGetString\r\n!     return 0\r\n"
            "! Function: TvIsi_IniGetString\r\n> TvIsi_IniGetString (Missing)\r\n!     return -8100\r\n"
            "! Function: TvIsi_IniSetString\r\n> TvIsi_IniSetString (K)\r\nv1\r\nv2< TvIsi_IniSetString = 0\r\n"
            "!     return 0\r\n"
            "! Function: TvIsi_IniAddString\r\n> TvIsi_IniAddString (K)\r\nv3"
            "! Function: UpdateMultiline\r\n> UpdateMultiline (K)\r\nRead 0 [v1]\r\nRead 3 [v2]\r\nAdd 6 [v3]\r\n"
            "! Function: TvIsi_IniSetString\r\n> TvIsi_IniSetString (K)\r\nv1\r\nv2\r\nv3< TvIsi_IniSetString = 0\r\n"
            "!     return 0\r\n< UpdateMultiline = 0\r\n< TvIsi_IniAddString = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_IniDeleteString\r\n> TvIsi_IniDeleteString (K)\r\n< TvIsi_IniDeleteString = 0\r\n"
            "!     return 0\r\n"
            "! Function: TvIsi_IniCopySetting\r\n> TvIsi_IniCopySetting (Gone)\r\n"
            "< TvIsi_IniCopySetting = -8100\r\n!     return -8100\r\n"
            "! Function: TvIsi_IniSave\r\n> TvIsi_IniSave\r\n< TvIsi_IniSave = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_IniClose\r\n> TvIsi_IniClose\r\n< TvIsi_IniClose\r\n!     return\r\n"
            "! Function: TvIsi_IsISOPresent\r\n!     _vsISO -> 'GBR'\r\n!     _vsIniPath -> '" + d + "'\r\n"
            "> TvIsi_IsISOPresent (GBR, " + d + ")\r\nFirst line read is GBR,UK,C:\\GBR.dts\r\n"
            "< TvIsi_IsISOPresent = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_IsISOPresent\r\n!     _vsISO -> 'GBR'\r\n!     _vsIniPath -> '" + d + "\\missing'\r\n"
            "> TvIsi_IsISOPresent (GBR, " + d + "\\missing)\r\n!     return -1028\r\n"
            "! Function: TvIsi_ProdFromIni\r\n!     _vsIni -> '" + ini + "'\r\n!     _rlProd <- 0\r\n!     return 0\r\n"
            "! Function: TvErrorLevel\r\n!     Status -> -1\r\n!     return 0\r\n"
            "! Function: TvVersionInfo\r\n!     LenBuff -> 0\r\n"
            "!     Buffer <- 'TVISX 2.63(18), TVKRNXF 2.30(1.366-)'\r\n!     return\r\n"
            "! Function: TvIsi_Shutdown\r\n");
  // clang-format on
}

// The queries' own frames: the write test closes its trace without the
// result, the size total registers no name, the date form registers one of
// its own and closes nothing.
TEST_F(ExportTrace, QueryFramesInOrder) {
  Configure("ApiLog=Yes\n");
  const std::string file = dir / "free.dat", ini = dir / "sizes.ini";
  tvtest::WriteFile(file, "data");
  tvtest::WriteFile(ini, "[TvDefault]\n");
  tvtest::ExtensionLibrary lib(libDir.path());
#define EXPORT(name) lib.Get<decltype(&name)>(#name)
  ASSERT_EQ(EXPORT(TvIsi_Startup)(), 0);
  EXPECT_EQ(EXPORT(TvIsi_FileWriteable)(file.c_str()), 0);
  int32_t total = -1;
  EXPECT_EQ(EXPORT(TvIsi_GetTotalFileSize)(ini.c_str(), "Sizes", "a.dts", &total), 0);
  char text[60];
  EXPECT_EQ(EXPORT(TvIsi_FormatDateShortToLong)(text, "1/2/2015", "44"), 1);
  EXPORT(TvIsi_Shutdown)();
  // clang-format off
  EXPECT_EQ(tvtest::ReadFile(log),
            "> TvIsi_Startup< TvIsi_Startup = 0\r\n!     return 0\r\n"
            "! Function: TvIsi_FileWriteable\r\n> TvIsi_FileWriteable (" + file + ")\r\n"
            "< TvIsi_FileWriteable = 0\r\n!     return\r\n"
            "> TvIsi_GetTotalFileSize (" + ini + ")\r\nTotal size = 0\r\n< TvIsi_GetTotalFileSize = 0\r\n"
            "!     return 0\r\n"
            "! Function: TVISI_FormatDate\r\n"
            "! Function: TvIsi_Shutdown\r\n");
  // clang-format on
#undef EXPORT
}

}  // namespace
