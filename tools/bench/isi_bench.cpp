// isi_bench: the file exports of TVISX.dll on a large server configuration
// (500 countries, 2,000 data entries, every data folder and file present,
// the last country's data file with its release in a trailer), called through the library
// the way an installer engine calls them. The query and mapping exports work
// on a copy of the configuration that also holds a size list of the 500 data
// files (and, for one more row each of the renames, 500 sections with a
// CountryBase key); the last country's folder holds 500 additional data files
// (.ads), a few of them of its release.
// Prints the median, fastest and slowest time of each export.
//
//   isi_bench [kernel options] <folder of TVISX.dll> <work folder> [runs]
//
// Every run of an export that changes the file starts from the original.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "command_line.h"
#include "exports.h"
#include "tv_trailer.h"

namespace {

constexpr int kCountries = 500;
constexpr int kSetsPerCountry = 4;
constexpr int kAdditionalSets = 500;
constexpr int kSameRelease = 5;  // of the additional sets, these share the country's release
const char kRelease[] = "15 06 2012";

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

uint32_t Le32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(v >> (8 * i));
  return v;
}

// A data file as the data maker writes it: its content, then the ini text
// with the release as its trailer.
std::string DataFile(const std::string& code, const char* release) {
  const std::string ini = "[TvDefault]\nDate=" + std::string(release) + "\nCopyright=Bench\n[" + code +
                          "]\nCountryName=Country " + code + "\n49CountryName=Land " + code + "\n";
  const std::string magic("\x00\x00\xFF\xA5\x5A\xFF", 6), content = "data", summed = ini + std::string("\n[\0", 3);
  std::string out = content + magic;
  Le32(out, static_cast<uint32_t>(ini.size()));
  Le32(out, TvCrc32(0xFFFFFFFFu, summed.data(), summed.size()));
  for (char c : ini) out += static_cast<char>(~c);
  out += magic;
  Le32(out, ~static_cast<uint32_t>(content.size()));
  return out;
}

// The folders and data files, and the configuration text.
std::string Build(const std::string& root) {
  const std::string data = root + "\\Data";
  CreateDirectoryA(data.c_str(), nullptr);
  std::string countries, sets;
  for (int i = 0; i < kCountries; ++i) {
    const std::string code = Code(i), folder = data + "\\" + code;
    CreateDirectoryA(folder.c_str(), nullptr);
    Write(folder + "\\" + code + ".dts", i == kCountries - 1 ? DataFile(code, kRelease) : "data");
    countries += (i ? "\r\n+" : "InstalledCountries=") + code + ",Country " + std::to_string(i) + "," + folder +
                 "\\" + code + ".dts";
    for (int s = 0; s < kSetsPerCountry; ++s)
      sets += (i || s ? "\r\n+" : "InstalledData=") + code + "," + folder + "\\Set" + std::to_string(s);
  }
  return "[TvDefault]\r\nServerAddress=TVLOCAL\r\nProgDir=" + root + "\r\n" + countries + "\r\n" + sets +
         "\r\nAllInstalledData=" + sets.substr(sets.find('=') + 1) + "\r\n";
}

// The configuration of the query and mapping exports: the large one with a
// size list of the 500 data files; the 500 sections that name a country base;
// and the names of those data files, one per line.
std::string Larger(const std::string& config, const std::string& root, std::string* sections, std::string* names) {
  std::string sizes;
  for (int i = 0; i < kCountries; ++i) {
    const std::string code = Code(i);
    sizes += (i ? "\r\n+" : "DataSizes=") + code + ",Country " + std::to_string(i) + "," + root + "\\Data\\" + code +
             "\\" + code + ".dts," + std::to_string(1024 * (i + 1));
    *sections += "\r\n[Layout " + std::to_string(i) + "]\r\nCountryBase=" + code + "\r\n";
    *names += code + ".dts\n";
  }
  return config + sizes + "\r\n";
}

// The additional data files of the last country: a few of its release, the
// others of another one.
void AdditionalSets(const std::string& folder) {
  for (int i = 0; i < kAdditionalSets; ++i) {
    const std::string name = "SET" + std::to_string(i);
    Write(folder + "\\" + name + ".ads", DataFile(name, i < kSameRelease ? kRelease : "01 01 2011"));
  }
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

constexpr const char* kUsage = "usage: isi_bench [kernel options] <folder of TVISX.dll> <work folder> [runs]\n";

int Bench(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::printf("%s", kUsage);
    return 2;
  }
  const std::string libFolder = args[0], root = args[1];
  const int runs = args.size() > 2 ? std::max(1, std::atoi(args[2].c_str())) : 7;
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string config = Build(root);
  const std::string ini = root + "\\tvwserve.ini", large = root + "\\large.ini";
  Write(ini, config);
  std::string sections, names;
  const std::string largeConfig = Larger(config, root, &sections, &names);
  Write(large, largeConfig);
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
  auto writeable = Get<decltype(&TvIsi_FileWriteable)>("TvIsi_FileWriteable");
  auto totalSize = Get<decltype(&TvIsi_GetTotalFileSize)>("TvIsi_GetTotalFileSize");
  auto vintage = Get<decltype(&TvIsi_DataVintage)>("TvIsi_DataVintage");
  auto loadIni = Get<decltype(&TvIsi_FileLoadIni)>("TvIsi_FileLoadIni");
  auto iniString = Get<decltype(&TvIsi_GetIniString)>("TvIsi_GetIniString");
  auto longDate = Get<decltype(&TvIsi_FormatDateShortToLong)>("TvIsi_FormatDateShortToLong");
  auto updateMappings = Get<decltype(&TvIsi_UpdateDataMappings)>("TvIsi_UpdateDataMappings");
  auto countriesToMappings = Get<decltype(&TvIsi_InstCtryToDataMap)>("TvIsi_InstCtryToDataMap");
  auto toDataMapping = Get<decltype(&TvIsi_CountryBaseToDataMap)>("TvIsi_CountryBaseToDataMap");
  auto toCountryBase = Get<decltype(&TvIsi_DataMapToCountryBase)>("TvIsi_DataMapToCountryBase");

  char code[4], dataDir[256], baseDir[256];
  int32_t flags = 0, mask = 0;
  const std::string last = Code(kCountries - 1);
  const std::string newEntry = last + "," + root + "\\Data\\" + last + "\\New";
  const std::function<void()> restore = [&] { Write(ini, config); };
  const std::function<void()> restoreLarge = [&] { Write(large, largeConfig); };
  const std::function<void()> withSections = [&] { Write(large, largeConfig + sections); };
  const std::string lastFolder = root + "\\Data\\" + last, lastFile = lastFolder + "\\" + last + ".dts";
  char release[256], iso[4], name[256], info[256], text[256], date[256];
  int32_t total = 0;
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
      {"TvIsi_FileWriteable", [&] { return writeable(large.c_str()); }, nullptr},
      {"TvIsi_GetTotalFileSize, 500 of 500 entries",
       [&] { return totalSize(large.c_str(), "DataSizes", names.c_str(), &total); }, nullptr},
      {"TvIsi_DataVintage", [&] { return vintage(release, lastFile.c_str(), ""); }, nullptr},
      {"TvIsi_FileLoadIni", [&] { return loadIni(iso, name, info, lastFile.c_str(), "49"); }, nullptr},
      {"TvIsi_GetIniString", [&] { return iniString(lastFile.c_str(), last.c_str(), "CountryName", "49", text); },
       nullptr},
      {"TvIsi_FormatDateShortToLong", [&] { return longDate(date, "1/2/2015", "44"); }, nullptr},
      {"TvIsi_UpdateDataMappings, 500 .ads files",
       [&] { return updateMappings(large.c_str(), last.c_str(), lastFolder.c_str(), "", ""); },
       [&] {
         AdditionalSets(lastFolder);
         restoreLarge();
       }},
      {"TvIsi_InstCtryToDataMap", [&] { return countriesToMappings(large.c_str()); }, restoreLarge},
      {"TvIsi_CountryBaseToDataMap", [&] { return toDataMapping(large.c_str()); }, restoreLarge},
      {"TvIsi_DataMapToCountryBase", [&] { return toCountryBase(large.c_str()); }, restoreLarge},
      {"TvIsi_CountryBaseToDataMap, 500 sections", [&] { return toDataMapping(large.c_str()); }, withSections},
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

}  // namespace

int main(int argc, char** argv) { return tvtool::Run("isi_bench", "ISIBENCH", argc, argv, kUsage, Bench); }
