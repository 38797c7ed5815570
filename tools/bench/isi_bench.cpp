// isi_bench: the file exports of TVISX.dll on large server configurations
// (isi_workload.h: 50, 500 and 5,000 countries by default, four data entries
// each, every data folder and file present), called through the library the
// way an installer engine calls them, once with the log on and once with it
// off. Prints the median time of each export per configuration size, and
// the ratio of the largest size's time to the one before it. The last row
// is tvdoctor's whole check of the same tvwserve.ini, made in this process,
// whose ratio to one TvIsi_UpdateDataKeys follows the table.
//
//   isi_bench [kernel options] <folder of TVISX.dll> <work folder> [runs] [countries...]
//
// Every run of an export that changes a file starts from the original.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "doctor.h"
#include "isi_workload.h"

namespace {

double Median(const isi::Call& call, int runs) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    if (call.reset) call.reset();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const int32_t status = call.run();
    QueryPerformanceCounter(&end);
    if (status < -1) {  // -1: "not present" of TvIsi_IsISOPresent
      std::printf("%s failed with %d\n", call.name.c_str(), status);
      std::exit(1);
    }
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::string Thousands(int n) {
  std::string text = std::to_string(n);
  for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3) text.insert(static_cast<size_t>(at), ",");
  return text;
}

constexpr const char* kUsage =
    "usage: isi_bench [kernel options] <folder of TVISX.dll> <work folder> [runs] [countries...]\n";

using Workloads = std::vector<std::unique_ptr<isi::Workload>>;

// The call names and their medians: medians[log][size][call].
struct Results {
  std::vector<std::string> names;
  std::vector<std::vector<std::vector<double>>> medians = std::vector<std::vector<std::vector<double>>>(2);
};

// The library's own settings: a log file in the work folder, or none.
void WriteLibraryIni(const std::string& libFolder, const std::string& options) {
  HANDLE file = CreateFileA((libFolder + "\\TVISX.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const std::string text = "[TVISX]\n" + options;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// The calls of a workload, the doctor's whole check among them.
std::vector<isi::Call> CallsOf(isi::Workload* w, const isi::Exports& x) {
  std::vector<isi::Call> calls = w->Calls(x);
  for (isi::Call& call : w->MoreCalls(x)) calls.push_back(std::move(call));
  calls.push_back({"tvdoctor, whole check of tvwserve.ini",
                   [w] {
                     doctor::Report report;
                     doctor::CheckPath(w->root(), report);
                     return doctor::TextReport(report).empty() ? -2 : 0;
                   },
                   [w] { w->Restore(); }});
  return calls;
}

// Every call of every workload with the library logging or not; 0, or the
// program's exit code.
int Measure(const std::string& libFolder, const std::string& root, int logged, int runs, const Workloads& workloads,
            Results& results) {
  WriteLibraryIni(libFolder, logged ? "LogFile=" + root + "\\install.log\n" : "");
  HMODULE lib = LoadLibraryA((libFolder + "\\TVISX.dll").c_str());
  isi::Exports x{};
  std::string missing;
  if (!lib || !isi::Resolve(lib, &x, &missing)) {
    std::printf("cannot load %s\\TVISX.dll %s\n", libFolder.c_str(), missing.c_str());
    return 3;
  }
  auto startup =
      reinterpret_cast<decltype(&TvIsi_Startup)>(reinterpret_cast<void*>(GetProcAddress(lib, "TvIsi_Startup")));
  auto shutdown =
      reinterpret_cast<decltype(&TvIsi_Shutdown)>(reinterpret_cast<void*>(GetProcAddress(lib, "TvIsi_Shutdown")));
  if (!startup || !shutdown || startup() != 0) return 3;
  for (auto& workload : workloads) {
    std::vector<double> row;
    results.names.clear();
    for (const isi::Call& call : CallsOf(workload.get(), x)) {
      results.names.push_back(call.name);
      row.push_back(Median(call, runs));
    }
    // The large file was read right: the last country is found where it is.
    if (!workload->FindsLastCountry(x)) {
      std::printf("unexpected discovery result\n");
      return 1;
    }
    results.medians[logged].push_back(row);
  }
  shutdown();
  FreeLibrary(lib);
  return 0;
}

void PrintTable(const std::vector<int>& sizes, const Workloads& workloads, int runs, const Results& results) {
  const auto& names = results.names;
  const auto& medians = results.medians;
  std::printf("Countries:");
  for (size_t s = 0; s < sizes.size(); ++s)
    std::printf("%s %s (%zu bytes)", s ? "," : "", Thousands(sizes[s]).c_str(), workloads[s]->configSize());
  std::printf("; median of %d runs, in ms\n\n| Export |", runs);
  for (int logged = 1; logged >= 0; --logged)
    for (int countries : sizes) std::printf(" %s%s |", Thousands(countries).c_str(), logged ? "" : ", no log");
  const bool ratio = sizes.size() > 1;
  if (ratio) std::printf(" %s / %s |", Thousands(sizes.back()).c_str(), Thousands(sizes[sizes.size() - 2]).c_str());
  std::printf("\n|---|");
  for (size_t i = 0; i < 2 * sizes.size() + (ratio ? 1 : 0); ++i) std::printf("---|");
  std::printf("\n");
  for (size_t c = 0; c < names.size(); ++c) {
    std::printf("| %s |", names[c].c_str());
    for (int logged = 1; logged >= 0; --logged)
      for (size_t s = 0; s < sizes.size(); ++s) std::printf(" %.2f |", medians[logged][s][c]);
    if (ratio) {
      const double before = medians[1][sizes.size() - 2][c], after = medians[1].back()[c];
      std::printf(" %.1f |", after / std::max(before, 0.01));
    }
    std::printf("\n");
  }
}

// tvdoctor against one TvIsi_UpdateDataKeys on the same file.
void PrintDoctorRatio(const std::vector<int>& sizes, const Results& results) {
  size_t doctorRow = results.names.size() - 1, updateRow = 0;
  for (size_t c = 0; c < results.names.size(); ++c)
    if (results.names[c].rfind("TvIsi_UpdateDataKeys", 0) == 0) updateRow = c;
  std::printf("\ntvdoctor / TvIsi_UpdateDataKeys:");
  for (int logged = 1; logged >= 0; --logged)
    for (size_t s = 0; s < sizes.size(); ++s)
      std::printf(" %s%s %.1f", Thousands(sizes[s]).c_str(), logged ? "" : " (no log)",
                  results.medians[logged][s][doctorRow] / std::max(results.medians[logged][s][updateRow], 0.01));
  std::printf("\n");
}

int Bench(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::printf("%s", kUsage);
    return 2;
  }
  const std::string libFolder = args[0], root = args[1];
  const int runs = args.size() > 2 ? std::max(1, std::atoi(args[2].c_str())) : 7;
  std::vector<int> sizes;
  for (size_t i = 3; i < args.size(); ++i) sizes.push_back(std::max(1, std::atoi(args[i].c_str())));
  if (sizes.empty()) sizes = {50, 500, 5000};
  CreateDirectoryA(root.c_str(), nullptr);
  Workloads workloads;
  for (int countries : sizes)
    workloads.push_back(std::make_unique<isi::Workload>(root + "\\" + std::to_string(countries), countries));
  Results results;
  for (int logged = 1; logged >= 0; --logged)
    if (const int code = Measure(libFolder, root, logged, runs, workloads, results)) return code;
  PrintTable(sizes, workloads, runs, results);
  PrintDoctorRatio(sizes, results);
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return tvtool::Run("isi_bench", "ISIBENCH", argc, argv, kUsage, Bench); }
