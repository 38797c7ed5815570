// The kernel's exports of the library: status texts, history, version, data
// and system information, lifetime.
#include <cstring>
#include <string>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

class KernelExports : public tvtest::LibraryTest {
 protected:
  TV_BIND(message, TvErrorMessage);
  TV_BIND(history, TvErrorHistory);
  TV_BIND(info, TvSystemInfo);
  TV_BIND(version, TvVersionInfo);
  // The text a call leaves in a buffer that held "untouched".
  template <typename F>
  static std::string Left(F call) {
    char buffer[300] = "untouched";
    call(buffer);
    return buffer;
  }
};

TEST_F(KernelExports, MessagesUnderTheBufferRule) {
  Load();
  const struct {
    int32_t status, size;
    const char* text;
  } cases[] = {
      // clang-format off
      {0, 64, "OK"}, {-1031, 64, "Could not locate ini file"}, {-1031, 5, "Coul"}, {-1004, 64, "Error -1004"},
      {-1010, 65535, "untouched"}, {-1010, 0, "untouched"}, {-1010, -1, "untouched"},
      // clang-format on
  };
  for (const auto& c : cases)
    EXPECT_EQ(Left([&](char* b) { message(c.status, b, c.size); }), c.text) << c.status << " " << c.size;
  message(-1010, nullptr, 64);
  auto level = TV_GET(*lib, TvErrorLevel);
  EXPECT_EQ(level(0), 1);
  EXPECT_EQ(level(7), 1);
  EXPECT_EQ(level(-1031), 0);
  EXPECT_EQ(TV_GET(*lib, TvSetStrMode)(3), 0);
}

TEST_F(KernelExports, HistoryAfterAFailedStartKeeps128Lines) {
  Load();
  char line[300];
  EXPECT_EQ(Start(), -1031);  // no configuration: two raises
  const struct {
    int32_t all, number, size, status;
    const char* text;
  } cases[] = {
      // clang-format off
      {0, 0, 300, 0, ">> Could not locate ini file"}, {0, 1, 300, 0, "> File not found"},
      {0, 2, 300, -1040, "untouched"}, {1, 0, 65535, -1094, "untouched"}, {1, 0, -5, -1094, "untouched"},
      {1, 0, 0, 0, "untouched"}, {1, -1, 10, -1040, "untouched"},
      // clang-format on
  };
  for (const auto& c : cases)
    EXPECT_EQ(Left([&](char* b) { EXPECT_EQ(history(c.all, c.number, b, c.size), c.status); }), c.text)
        << c.all << " " << c.number << " " << c.size;
  // Without a configuration the report says so.
  EXPECT_EQ(Left([&](char* b) { info(8, b, 300); }), "Config:\t<none>");
  EXPECT_EQ(Left([&](char* b) { info(9, b, 300); }), "Section:\tTvDefault");
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
  const std::string latest = "> File not found (" + dir / "missing127.ini" + ")";
  EXPECT_EQ(Left([&](char* b) { EXPECT_EQ(history(1, 0, b, 300), 0); }), latest);
  EXPECT_EQ(Left([&](char* b) { EXPECT_EQ(history(1, 127, b, 300), 0); }),
            "> File not found (" + dir / "missing0.ini" + ")");
  EXPECT_EQ(history(1, 128, line, sizeof line), -1040);
  EXPECT_EQ(history(0, 1, line, sizeof line), -1040);  // the latest chain is one origin
  Stop();
  // After the last shut-down the main thread can still read what happened.
  EXPECT_EQ(Left([&](char* b) { EXPECT_EQ(history(0, 0, b, 300), 0); }), latest);
}

TEST_F(KernelExports, VersionAndLifetime) {
  tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\n");
  Load();
  auto initialise = TV_GET(*lib, TvInitialise);
  const std::string full = "TVISX 2.63(18), TVKRNXF 2.30(1.366-)";
  const auto text = [&](int32_t size = 128) { return Left([&](char* b) { version(b, size); }); };
  EXPECT_EQ(text(), "");  // not started
  initialise(0);          // nothing to release
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(text(), full);
  EXPECT_EQ(text(6), "TVISX");
  initialise(1);  // one more reference: the script's shutdown leaves the kernel running
  Stop();
  EXPECT_EQ(text(), full);
  initialise(0);
  EXPECT_EQ(text(), "");
  int32_t days = 0;
  EXPECT_EQ(Left([&](char* b) { EXPECT_EQ(TV_GET(*lib, TvDataInfo)(b, 128, &days), 0); }), "");
  EXPECT_EQ(days, 65535);
  EXPECT_EQ(TV_GET(*lib, TvDataInfo)(nullptr, 0, nullptr), 0);
}

TEST_F(KernelExports, SystemInformationReport) {
  Load();
  char line[200];
  EXPECT_EQ(info(0, line, sizeof line), -1000);  // before start-up
  tvtest::WriteFile(libDir / "TVISX.ini", "[TVISX]\n");
  ASSERT_EQ(Start(), 0);
  std::vector<std::string> lines;
  for (int32_t i = 0; info(i, line, sizeof line) == 0; ++i) lines.push_back(line);
  ASSERT_EQ(lines.size(), 21u);  // the Blocks line is the last
  // Line 7 is empty: no data opened, no Data line.
  const std::pair<size_t, std::string> expected[] = {
      // clang-format off
      {0, "Program:\tTVISX"}, {1, "Release:\t2.63"}, {2, "Platform:\tWindows 32-bit"}, {3, "Libraries:"},
      {4, "TVKRNXF\t2.30(1.366-)"}, {5, "TVISX\t2.63(?)"}, {6, "ProductVersion\tBase"}, {7, ""},
      {8, "Config:\t" + libDir / "TVISX.ini"}, {9, "Section:\tTVISX"}, {11, "Prog Dir:\t" + libDir.path()},
      {15, "Log File:\t<disabled>"},
      // clang-format on
  };
  for (const auto& [at, text] : expected) EXPECT_EQ(lines[at], text) << at;
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
  message(-1031, buffer, sizeof buffer);
  int32_t days;
  TV_GET(*lib, TvDataInfo)(buffer, 16, &days);
  history(1, 3, buffer, 16);
  lib.reset();
  EXPECT_EQ(tvtest::ReadFile(dir / "api.log"),
            tvtest::Traced("TvErrorMessage",
                           {"Status -> -1031", "LenBuff -> 64", "Buffer <- 'Could not locate ini file'", "return"}) +
                tvtest::Traced("TvDataInfo", {"LenBuff -> 16", "Buffer <- ''", "Days <- 65535", "return 0"}) +
                tvtest::Traced("TvErrorHistory", {"All -> 1", "LineNo -> 3", "LenBuff -> 16", "return -1040"}));
}

}  // namespace
