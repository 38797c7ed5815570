// The file exports on a configuration of 500 countries and 2,000 data
// entries: the benchmark program, run once, must see every export complete
// and find the last country where it is.
#include <string>

#include "test_support.h"

namespace {

class LargeConfiguration : public tvtest::FolderTest {};

TEST_F(LargeConfiguration, EveryExportCompletes) {
  tvtest::TempDir libDir;
  ASSERT_TRUE(CopyFileA(tvtest::ExtensionPath().c_str(), (libDir / "TVISX.dll").c_str(), FALSE));
  const std::string bench = tvtest::WindowsPath(ISI_BENCH_UNIX_PATH);
  const DWORD code =
      tvtest::RunProgram("\"" + bench + "\" \"" + libDir.path() + "\" \"" + dir / "work" + "\" 1", dir / "out.txt");
  const std::string output = tvtest::ReadFile(dir / "out.txt");
  EXPECT_EQ(code, 0u) << output;
  size_t rows = 0;
  for (size_t at = 0; (at = output.find("| TvIsi_", at)) != std::string::npos; ++at) ++rows;
  EXPECT_EQ(rows, 19u) << output;
  // The updates kept every entry: 2,000 data lines and the new one in front.
  const std::string ini = tvtest::ReadFile(dir / "work\\tvwserve.ini");
  size_t lines = 0;
  for (size_t at = 0; (at = ini.find("\r\n+", at)) != std::string::npos; ++at) ++lines;
  EXPECT_GT(lines, 4000u);
}

}  // namespace
