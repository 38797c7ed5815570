// The file exports on the benchmark's 500-country configuration
// (tools/bench/isi_workload.h), called in the benchmark's order, must leave
// exactly what the library left when isi_recorded.txt was made: each call's
// result and outputs, and the size and FNV-1a digest of both configuration
// files after it and of the log lines it wrote. The work folder's path,
// which differs from run to run, is padded to a fixed length (so lines cut
// to a buffer's size are cut at the same place) and replaced by "<root>".
//
// The recording is made again, by the library as built, with
//   TV_RECORD=1 ctest --preset x86_64 -R extension_recorded
#include <cstdio>
#include <sstream>
#include <string>

#include "isi_workload.h"
#include "test_support.h"

namespace {

constexpr size_t kRootLength = 96;

std::string Normalised(std::string text, const std::string& root) {
  for (size_t at = 0; (at = text.find(root, at)) != std::string::npos;) text.replace(at, root.size(), "<root>");
  return text;
}

std::string Digest(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3u;
  char out[40];
  snprintf(out, sizeof out, "%zu:%016llx", text.size(), static_cast<unsigned long long>(hash));
  return out;
}

class Recorded : public tvtest::LibraryTest {};

TEST_F(Recorded, EveryExportLeavesTheRecordedFilesAndLog) {
  std::string root = dir / "work-";
  ASSERT_LT(root.size(), kRootLength) << root;
  root.append(kRootLength - root.size(), 'p');
  isi::Workload workload(root, 500);
  Configure();
  Load();
  ASSERT_EQ(Start(), 0);
  isi::Exports x{};
  std::string missing;
  ASSERT_TRUE(isi::Resolve(lib->module(), &x, &missing)) << missing;

  std::string results;
  size_t logged = tvtest::ReadFile(log).size();
  for (const isi::Call& call : workload.Calls(x)) {
    if (call.reset) call.reset();
    const int32_t status = call.run();
    const std::string text = tvtest::ReadFile(log), lines = Normalised(text.substr(logged), root);
    logged = text.size();
    results += call.name + " | " + std::to_string(status) + " | " +
               Normalised(call.outputs ? call.outputs() : "", root) + " | " +
               Digest(Normalised(tvtest::ReadFile(workload.ini()), root)) + " | " +
               Digest(Normalised(tvtest::ReadFile(workload.large()), root)) + " | " + Digest(lines) + "\n";
  }

  const std::string recording = tvtest::WindowsPath(RECORDED_UNIX_PATH);
  if (getenv("TV_RECORD")) tvtest::WriteFile(recording, results);
  std::istringstream expected(tvtest::ReadFile(recording)), actual(results);
  std::string want, got;
  size_t compared = 0;
  while (std::getline(expected, want) && std::getline(actual, got)) {
    ++compared;
    EXPECT_EQ(got, want);
  }
  EXPECT_EQ(compared, 19u) << results;
}

}  // namespace
