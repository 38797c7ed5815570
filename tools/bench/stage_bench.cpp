// stage_bench: the launcher's copy of a medium against CopyFileA, in one
// run: a medium of many small files and a few large ones (about 330 MB),
// copied file by file with the launcher's copy in its 64 KB blocks, the
// same with its progress window shown from the start (run it on a display),
// in the 1 KB blocks it once moved, and with CopyFileA; each way three times, in
// turns, after a warm-up round. Prints the best time of each and the
// ratios to CopyFileA.
// Run under Wine: cmake/wine-run.sh build/x86_64/tools/stage_bench.exe [folder]
// (the folder, by default stage_bench in the temporary folder, is removed
// again at the end)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "progress.h"
#include "setup.h"
#include "tv_instance.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// A file of size bytes, written a megabyte at a time (a 32-bit program has
// no room for the large ones whole).
bool Write(const std::string& path, size_t size, unsigned seed) {
  std::string bytes(std::min<size_t>(size, 1 << 20), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 131 + seed * 7) >> 3);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE;
  for (size_t left = size; ok && left > 0;) {
    const DWORD piece = static_cast<DWORD>(std::min(left, bytes.size()));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data(), piece, &written, nullptr) && written == piece;
    left -= piece;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

struct Way {
  const char* name;
  std::function<bool(const std::string&, const std::string&)> copy;
  bool window = false;  // the progress window follows the copy
  double best = 1e9;
};

}  // namespace

int main(int argc, char** argv) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string root = (argc > 1 ? std::string(argv[1]) : std::string(temp) + "stage_bench");
  const std::string medium = root + "\\medium";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(medium.c_str(), nullptr);
  std::vector<std::string> names;
  uint64_t total = 0;
  for (unsigned i = 0; i < 2000; ++i) {  // 2,000 files of 1 to 64 KB
    const size_t size = 1024 + (i * 7919u) % (63 * 1024);
    names.push_back("small" + std::to_string(i) + ".dat");
    total += size;
    if (!Write(medium + "\\" + names.back(), size, i)) return fprintf(stderr, "cannot write the medium\n"), 1;
  }
  for (unsigned i = 0; i < 3; ++i) {  // three of 90 MB
    const size_t size = 90u << 20;
    names.push_back("large" + std::to_string(i) + ".dat");
    total += size;
    if (!Write(medium + "\\" + names.back(), size, 100 + i)) return fprintf(stderr, "cannot write the medium\n"), 1;
  }

  TvBeginInstance();
  if (TvKernelStartup("stage_bench", "1.0", ":1", TvFlagConfigOptional, nullptr, nullptr) != TvOk)
    return fprintf(stderr, "the kernel did not start\n"), 1;
  std::vector<Way> ways = {
      {"launcher copy, 64 KB blocks",
       [](const std::string& from, const std::string& to) {
         return TvSetupCopyFile(from.c_str(), to.c_str()) == TvOk;
       }},
      {"launcher copy, window shown",
       [](const std::string& from, const std::string& to) {
         TvProgressFile(from.c_str() + from.rfind('\\') + 1);
         return TvSetupCopyFile(from.c_str(), to.c_str()) == TvOk;
       },
       true},
      {"launcher copy, 1 KB blocks",
       [](const std::string& from, const std::string& to) {
         return TvSetupCopyFile(from.c_str(), to.c_str(), 1024) == TvOk;
       }},
      {"CopyFileA",
       [](const std::string& from, const std::string& to) { return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0; }},
  };
  printf("medium: %zu files, %.1f MB\n", names.size(), static_cast<double>(total) / (1 << 20));
  for (int round = 0; round < 4; ++round) {  // round 0 warms up
    for (size_t w = 0; w < ways.size(); ++w) {
      const std::string target = root + "\\staged" + std::to_string(w);
      CreateDirectoryA(target.c_str(), nullptr);
      const double start = Now();
      if (ways[w].window) TvProgressBegin(total, 0);
      for (const std::string& name : names)
        if (!ways[w].copy(medium + "\\" + name, target + "\\" + name))
          return fprintf(stderr, "%s failed on %s\n", ways[w].name, name.c_str()), 1;
      TvProgressEnd();
      const double seconds = Now() - start;
      if (round > 0) ways[w].best = std::min(ways[w].best, seconds);
    }
  }
  const double reference = ways.back().best;
  for (const Way& w : ways)
    printf("%-30s %7.3f s  %7.1f MB/s  %.2fx CopyFileA\n", w.name, w.best,
           static_cast<double>(total) / (1 << 20) / w.best, w.best / reference);
  TvKernelShutdown(TvOk);
  TvEndInstance();
  for (const char* folder : {"medium", "staged0", "staged1", "staged2", "staged3"}) {
    for (const std::string& name : names) DeleteFileA((root + "\\" + folder + "\\" + name).c_str());
    RemoveDirectoryA((root + "\\" + folder).c_str());
  }
  RemoveDirectoryA(root.c_str());
  return 0;
}
