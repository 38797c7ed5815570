// The file exports on a configuration of 50 countries and 200 data entries:
// the benchmark program, run once with the log on and once with it off, must
// see every export complete and find the last country where it is.
#include <string>

#include "test_support.h"

namespace {

class LargeConfiguration : public tvtest::FolderTest {};

TEST_F(LargeConfiguration, EveryExportCompletes) {
  tvtest::TempDir libDir;
  ASSERT_TRUE(CopyFileA(tvtest::ExtensionPath().c_str(), (libDir / "TVISX.dll").c_str(), FALSE));
  const std::string bench = tvtest::WindowsPath(ISI_BENCH_UNIX_PATH);
  const DWORD code =
      tvtest::RunProgram("\"" + bench + "\" \"" + libDir.path() + "\" \"" + dir / "work" + "\" 1 50", dir / "out.txt");
  const std::string output = tvtest::ReadFile(dir / "out.txt");
  EXPECT_EQ(code, 0u) << output;
  size_t rows = 0;
  for (size_t at = 0; (at = output.find("| TvIsi_", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, 20u) << output;
  // The updates kept every entry: 200 data lines twice and the new one in front.
  const std::string ini = tvtest::ReadFile(dir / "work\\50\\tvwserve.ini");
  size_t lines = 0;
  for (size_t at = 0; (at = ini.find("\r\n+", at)) != std::string::npos; ++at) ++lines;
  EXPECT_GT(lines, 400u);
}

}  // namespace
