// The kernel's exports of the library: status texts, history, version, data
// and system information, lifetime.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

using KernelExports = tvtest::LibraryTest;

TEST_F(KernelExports, MessagesUnderTheBufferRule) {
  Load();
  auto message = TV_GET(*lib, TvErrorMessage);
  char buffer[64];
  message(0, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "OK");
  message(-1031, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Could not locate ini file");
  message(-1031, buffer, 5);
  EXPECT_STREQ(buffer, "Coul");
  strcpy(buffer, "untouched");
  message(-1010, buffer, 65535);
  EXPECT_STREQ(buffer, "untouched");
  message(-1010, buffer, 0);
  message(-1010, buffer, -1);
  message(-1010, nullptr, 64);
  EXPECT_STREQ(buffer, "untouched");
  message(-1004, buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "Error -1004");
  auto level = TV_GET(*lib, TvErrorLevel);
  EXPECT_EQ(level(0), 1);
  EXPECT_EQ(level(7), 1);
  EXPECT_EQ(level(-1031), 0);
  EXPECT_EQ(TV_GET(*lib, TvSetStrMode)(3), 0);
}

TEST_F(KernelExports, HistoryAfterAFailedStartKeeps128Lines) {
  Load();
  auto history = TV_GET(*lib, TvErrorHistory);
  char line[300];
  EXPECT_EQ(Start(), -1031);  // no configuration: two raises
  EXPECT_EQ(history(0, 0, line, sizeof line), 0);
  EXPECT_STREQ(line, ">> Could not locate ini file");
  EXPECT_EQ(history(0, 1, line, sizeof line), 0);
  EXPECT_STREQ(line, "> File not found");
  strcpy(line, "untouched");
  EXPECT_EQ(history(0, 2, line, sizeof line), -1040);
  EXPECT_STREQ(line, "untouched");
  EXPECT_EQ(history(1, 0, line, 65535), -1094);
  EXPECT_EQ(history(1, 0, line, -5), -1094);
  EXPECT_STREQ(line, "untouched");
  EXPECT_EQ(history(1, 0, line, 0), 0);
  EXPECT_EQ(history(1, -1, line, 10), -1040);
  // Without a configuration the report says so.
  auto info = TV_GET(*lib, TvSystemInfo);
  ASSERT_EQ(info(8, line, sizeof line), 0);
  EXPECT_STREQ(line, "Config:\t<none>");
  ASSERT_EQ(info(9, line, sizeof line), 0);
  EXPECT_STREQ(line, "Section:\tTvDefault");
  EXPECT_EQ(info(100000, line, 65535), -1040);
  EXPECT_EQ(info(0, nullptr, 100), 0);
  // 128 raises more: the two of the start-up are gone.
  auto open = TV_GET(*lib, TvIsi_IniOpen);
  auto close = TV_GET(*lib, TvIsi_IniClose);
  for (int i = 0; i < 128; ++i) {
    INT_PTR file, buffer;
    EXPECT_EQ(open(&file, &buffer, (dir / ("missing" + std::to_string(i) + ".ini")).c_str()), -1010);
    close(file, buffer);
  }
  ASSERT_EQ(history(1, 0, line, sizeof line), 0);
  EXPECT_EQ(std::string(line), "> File not found (" + dir / "missing127.ini" + ")");
  ASSERT_EQ(history(1, 127, line, sizeof line), 0);
  EXPECT_EQ(std::string(line), "> File not found (" + dir / "missing0.ini" + ")");
  EXPECT_EQ(history(1, 128, line, sizeof line), -1040);
  EXPECT_EQ(history(0, 1, line, sizeof line), -1040);  // the latest chain is one origin
  Stop();
  // After the last shut-down the main thread can still read what happened.
  EXPECT_EQ(history(0, 0, line, sizeof line), 0);
  EXPECT_EQ(std::string(line), "> File not found (" + dir / "missing127.ini" + ")");
}

TEST_F(KernelExports, VersionAndLifetime) {
  tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\n");
  Load();
  auto version = TV_GET(*lib, TvVersionInfo);
  auto initialise = TV_GET(*lib, TvInitialise);
  char text[128] = "x";
  version(text, sizeof text);
  EXPECT_STREQ(text, "");  // not started
  initialise(0);           // nothing to release
  ASSERT_EQ(Start(), 0);
  version(text, sizeof text);
  EXPECT_STREQ(text, "TVISX 2.63(18), TVKRNXF 2.30(1.366-)");
  version(text, 6);
  EXPECT_STREQ(text, "TVISX");
  initialise(1);  // one more reference: the script's shutdown leaves the kernel running
  Stop();
  version(text, sizeof text);
  EXPECT_STREQ(text, "TVISX 2.63(18), TVKRNXF 2.30(1.366-)");
  initialise(0);
  version(text, sizeof text);
  EXPECT_STREQ(text, "");
  int32_t days = 0;
  EXPECT_EQ(TV_GET(*lib, TvDataInfo)(text, sizeof text, &days), 0);
  EXPECT_EQ(days, 65535);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(TV_GET(*lib, TvDataInfo)(nullptr, 0, nullptr), 0);
}

TEST_F(KernelExports, SystemInformationReport) {
  Load();
  auto info = TV_GET(*lib, TvSystemInfo);
  char line[200];
  EXPECT_EQ(info(0, line, sizeof line), -1000);  // before start-up
  {
    tvtest::ScopedEnv none("TVINI", nullptr);
    tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\n");
    ASSERT_EQ(Start(), 0);
  }
  std::vector<std::string> lines;
  for (int32_t i = 0; info(i, line, sizeof line) == 0; ++i) lines.push_back(line);
  ASSERT_EQ(lines.size(), 21u);  // the Blocks line is the last
  EXPECT_EQ(lines[0], "Program:\tTVISX");
  EXPECT_EQ(lines[1], "Release:\t2.63");
  EXPECT_EQ(lines[2], "Platform:\tWindows 32-bit");
  EXPECT_EQ(lines[3], "Libraries:");
  EXPECT_EQ(lines[4], "TVKRNXF\t2.30(1.366-)");
  EXPECT_EQ(lines[5], "TVISX\t2.63(?)");
  EXPECT_EQ(lines[6], "ProductVersion\tBase");
  EXPECT_EQ(lines[7], "");  // no data opened: no Data line
  EXPECT_EQ(lines[8], "Config:\t" + libDir / "TVISX.ini");
  EXPECT_EQ(lines[9], "Section:\tTVISX");
  EXPECT_EQ(lines[11], "Prog Dir:\t" + libDir.path());
  EXPECT_EQ(lines[15], "Log File:\t<disabled>");
  EXPECT_EQ(lines[17].substr(0, 8), "Memory:\t");
  EXPECT_EQ(lines[17].find("max="), std::string::npos);
  EXPECT_EQ(lines[19].substr(0, 6), "Data:\t");
  EXPECT_EQ(lines[20].substr(0, 8), "Blocks:\t");
  strcpy(line, "x");
  EXPECT_EQ(info(static_cast<int32_t>(lines.size()), line, sizeof line), -1040);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(info(-1, line, sizeof line), 0);  // discarded, built again on the next call
  EXPECT_EQ(info(0, line, sizeof line), 0);
  EXPECT_STREQ(line, "Program:\tTVISX");
  Stop();
}

TEST_F(KernelExports, ParameterTracesInTheirOrder) {
  tvtest::WriteFile(libDir / "tvapi.ini", "ApiFile=" + dir / "api" + "\n");
  Load();
  char buffer[64];
  TV_GET(*lib, TvErrorMessage)(-1031, buffer, sizeof buffer);
  int32_t days;
  TV_GET(*lib, TvDataInfo)(buffer, 16, &days);
  TV_GET(*lib, TvErrorHistory)(1, 3, buffer, 16);
  lib.reset();
  EXPECT_EQ(tvtest::ReadFile(dir / "api.log"),
            tvtest::Traced("TvErrorMessage",
                           {"Status -> -1031", "LenBuff -> 64", "Buffer <- 'Could not locate ini file'", "return"}) +
                tvtest::Traced("TvDataInfo", {"LenBuff -> 16", "Buffer <- ''", "Days <- 65535", "return 0"}) +
                tvtest::Traced("TvErrorHistory", {"All -> 1", "LineNo -> 3", "LenBuff -> 16", "return -1040"}));
}

}  // namespace
