// isi_bench: the installed-country exports of TVISX.dll on a large server
// configuration (500 countries, 2,000 data entries, every data folder and
// file present), called through the library the way an installer engine
// calls them. Prints the median, fastest and slowest time of each export.
//
//   isi_bench <folder of TVISX.dll> <work folder> [runs]
//
// Every run of an export that changes the file starts from the original.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "exports.h"

namespace {

constexpr int kCountries = 500;
constexpr int kSetsPerCountry = 4;

// AAA, AAB, ...: 500 distinct three-letter codes, none in the data-code table.
std::string Code(int i) {
  return {static_cast<char>('A' + i / 676 % 26), static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26)};
}

void Write(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

HMODULE lib = nullptr;

// An export of the loaded library, with its declared type.
template <typename F>
F Get(const char* name) {
  FARPROC export_ = GetProcAddress(lib, name);
  if (!export_) {
    std::printf("TVISX.dll lacks %s\n", name);
    std::exit(3);
  }
  return reinterpret_cast<F>(reinterpret_cast<void*>(export_));
}

// The folders and data files, and the configuration text.
std::string Build(const std::string& root) {
  const std::string data = root + "\\Data";
  CreateDirectoryA(data.c_str(), nullptr);
  std::string countries, sets;
  for (int i = 0; i < kCountries; ++i) {
    const std::string code = Code(i), folder = data + "\\" + code;
    CreateDirectoryA(folder.c_str(), nullptr);
    Write(folder + "\\" + code + ".dts", "data");
    countries += (i ? "\r\n+" : "InstalledCountries=") + code + ",Country " + std::to_string(i) + "," + folder +
                 "\\" + code + ".dts";
    for (int s = 0; s < kSetsPerCountry; ++s)
      sets += (i || s ? "\r\n+" : "InstalledData=") + code + "," + folder + "\\Set" + std::to_string(s);
  }
  return "[TvDefault]\r\nServerAddress=TVLOCAL\r\nProgDir=" + root + "\r\n" + countries + "\r\n" + sets +
         "\r\nAllInstalledData=" + sets.substr(sets.find('=') + 1) + "\r\n";
}

double Milliseconds(const std::function<int32_t()>& call, const std::function<void()>& reset, int runs,
                    double* fastest, double* slowest) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    if (reset) reset();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const int32_t status = call();
    QueryPerformanceCounter(&end);
    if (status < -1) {  // -1: "not present" of TvIsi_IsISOPresent
      std::printf("failed with %d\n", status);
      std::exit(1);
    }
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  *fastest = times.front();
  *slowest = times.back();
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: isi_bench <folder of TVISX.dll> <work folder> [runs]\n");
    return 2;
  }
  const std::string libFolder = argv[1], root = argv[2];
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string config = Build(root);
  const std::string ini = root + "\\tvwserve.ini";
  Write(ini, config);
  Write(libFolder + "\\TVISX.ini", "[TVISX]\nLogFile=" + root + "\\install.log\n");

  lib = LoadLibraryA((libFolder + "\\TVISX.dll").c_str());
  if (!lib) {
    std::printf("cannot load %s\\TVISX.dll\n", libFolder.c_str());
    return 3;
  }
  if (Get<decltype(&TvIsi_Startup)>("TvIsi_Startup")() != 0) return 3;
  auto check = Get<decltype(&TvIsi_CheckIniForData)>("TvIsi_CheckIniForData");
  auto products = Get<decltype(&TvIsi_ProdFromIni)>("TvIsi_ProdFromIni");
  auto updateV5 = Get<decltype(&TvIsi_UpdateTvwserveV5)>("TvIsi_UpdateTvwserveV5");
  auto updateKeys = Get<decltype(&TvIsi_UpdateDataKeys)>("TvIsi_UpdateDataKeys");
  auto present = Get<decltype(&TvIsi_IsISOPresent)>("TvIsi_IsISOPresent");
  auto toData = Get<decltype(&TvIsi_InstalledCountriesToData)>("TvIsi_InstalledCountriesToData");

  char code[4], dataDir[256], baseDir[256];
  int32_t flags = 0, mask = 0;
  const std::string last = Code(kCountries - 1);
  const std::string newEntry = last + "," + root + "\\Data\\" + last + "\\New";
  const std::function<void()> restore = [&] { Write(ini, config); };
  struct Row {
    const char* name;
    std::function<int32_t()> call;
    std::function<void()> reset;
  } rows[] = {
      {"TvIsi_CheckIniForData, last country",
       [&] { return check(root.c_str(), last.c_str(), 0, code, dataDir, baseDir, &flags); }, nullptr},
      {"TvIsi_CheckIniForData, country not listed",
       [&] { return check(root.c_str(), "ZZZ", 0, code, dataDir, baseDir, &flags); }, nullptr},
      {"TvIsi_ProdFromIni", [&] { return products(ini.c_str(), &mask); }, nullptr},
      {"TvIsi_IsISOPresent, last country", [&] { return present(last.c_str(), root.c_str()); }, nullptr},
      {"TvIsi_IsISOPresent, country not listed", [&] { return present("ZZZ", root.c_str()); }, nullptr},
      {"TvIsi_UpdateTvwserveV5", [&] { return updateV5(ini.c_str(), newEntry.c_str(), 1, 0, 0); }, restore},
      {"TvIsi_UpdateDataKeys, data entry", [&] { return updateKeys(ini.c_str(), newEntry.c_str(), 8); }, restore},
      {"TvIsi_InstalledCountriesToData", [&] { return toData(ini.c_str()); }, restore},
  };
  std::printf("%d countries, %d data entries, %zu bytes; %d runs\n\n", kCountries, kCountries * kSetsPerCountry,
              config.size(), runs);
  std::printf("| Export | Median | Fastest | Slowest |\n|---|---|---|---|\n");
  for (const Row& row : rows) {
    double fastest, slowest;
    const double median = Milliseconds(row.call, row.reset, runs, &fastest, &slowest);
    std::printf("| %s | %.1f ms | %.1f ms | %.1f ms |\n", row.name, median, fastest, slowest);
  }
  // The large file was read right: the last country is found where it is.
  if (check(root.c_str(), last.c_str(), 0, code, dataDir, baseDir, &flags) != 0 || std::string(code) != last ||
      std::string(dataDir) != root + "\\Data\\" + last || flags != 0) {
    std::printf("unexpected discovery result %s, flags %d\n", code, flags);
    return 1;
  }
  Get<decltype(&TvIsi_Shutdown)>("TvIsi_Shutdown")();
  FreeLibrary(lib);
  return 0;
}
