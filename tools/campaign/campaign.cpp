// campaign.cpp: the hostile-input campaign (docs/robustness.md). Cases are
// made from a seed: generated ini files, media and call sequences through the
// exports and the launcher, checked after every step.
//
//   robustness_campaign [--seed N] [--cases N] [--minutes M] [--case N]
//                       [--only F,F] [--verbose] [--keep]
//                       [--no-guards] [--timeout S]
//
// Without options it runs the short campaign of the test suite.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "campaign.h"
#include "tv_instance.h"

namespace {

using namespace campaign;

constexpr uint64_t kSuiteSeed = 1;
constexpr uint64_t kSuiteCases = 300;

struct Options {
  uint64_t seed = kSuiteSeed;
  uint64_t cases = 0;  // 0: no limit of its own
  double minutes = 0;
  bool oneCase = false;
  uint64_t caseNumber = 0;
  std::string only;
  bool verbose = false, keep = false, guards = true;
  int timeout = 120;
};

bool Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* value = nullptr;
    if (arg == "--verbose") o.verbose = true;
    else if (arg == "--keep") o.keep = true;
    else if (arg == "--no-guards") o.guards = false;
    else if (arg == "--seed" && (value = next())) o.seed = strtoull(value, nullptr, 0);
    else if (arg == "--cases" && (value = next())) o.cases = strtoull(value, nullptr, 0);
    else if (arg == "--minutes" && (value = next())) o.minutes = atof(value);
    else if (arg == "--case" && (value = next())) {
      o.oneCase = true;
      o.caseNumber = strtoull(value, nullptr, 0);
    } else if (arg == "--only" && (value = next())) o.only = value;
    else if (arg == "--timeout" && (value = next())) o.timeout = atoi(value);
    else return false;
  }
  if (o.cases == 0 && o.minutes <= 0 && !o.oneCase) o.cases = kSuiteCases;
  return true;
}

bool Listed(const std::string& list, const char* name) {
  const std::string padded = "," + list + ",";
  return padded.find("," + std::string(name) + ",") != std::string::npos;
}

const Family* PickFamily(Rng& rng, const Options& o) {
  int total = 0;
  std::vector<const Family*> allowed;
  for (const Family& f : Families())
    if (o.only.empty() || Listed(o.only, f.name)) {
      allowed.push_back(&f);
      total += f.weight;
    }
  if (allowed.empty()) return nullptr;
  int roll = static_cast<int>(rng.Below(static_cast<uint64_t>(total)));
  for (const Family* f : allowed) {
    if (roll < f->weight) return f;
    roll -= f->weight;
  }
  return allowed.back();
}

void RunCase(uint64_t number, const Options& o) {
  Rng rng = Rng::ForCase(o.seed, number);
  const Family* family = PickFamily(rng, o);
  if (!family) return;
  const std::string folder = setup.cases + "\\c" + std::to_string(number);
  RemoveTree(folder);
  MakeDir(folder);
  rec.BeginCase(number, family->name);
  family->run(rng, folder);
  if (!o.keep) RemoveTree(folder);
}

std::string TempFolder() {
  char base[MAX_PATH];
  const DWORD n = GetTempPathA(sizeof base, base);  // ends with a backslash
  const std::string folder = n > 0 && n < sizeof base ? std::string(base, n) : std::string(".\\");
  return folder + "tvcampaign-" + std::to_string(GetCurrentProcessId());
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!Parse(argc, argv, o)) {
    puts(
        "usage: robustness_campaign [--seed N] [--cases N] [--minutes M] [--case N] [--only F,F]\n"
        "                           [--verbose] [--keep] [--no-guards] [--timeout S]\n"
        "  families: roundtrip edit faults handles exports restart cycles mappings launch\n"
        "  without options: seed 1, 300 cases (the test suite's run)");
    return 2;
  }
  rec.seed = o.seed;
  rec.verbose = o.verbose;
  setup.root = TempFolder();
  setup.cases = setup.root + "\\cases";
  setup.configPath = setup.root + "\\cfg\\TVISX.ini";
  RemoveTree(setup.root);
  MakeDir(setup.root);
  for (const char* sub : {"\\cases", "\\cfg", "\\tmp", "\\logs"}) MakeDir(setup.root + sub);
  // The kernel's own temporary files stay in the campaign's folder too.
  SetEnvironmentVariableA("TEMP", (setup.root + "\\tmp").c_str());
  SetEnvironmentVariableA("TMP", (setup.root + "\\tmp").c_str());
  SetEnvironmentVariableA("TVINI", setup.configPath.c_str());
  SetCurrentDirectoryA(setup.root.c_str());
  WriteConfig(Config::Plain);
  rec.counters.files = 0;

  printf("robustness_campaign: seed %llu, %s, folder %s\n", static_cast<unsigned long long>(o.seed),
         o.oneCase ? ("case " + std::to_string(o.caseNumber)).c_str()
                   : (o.cases ? std::to_string(o.cases) + " cases" : std::string("no case limit")).c_str(),
         setup.root.c_str());
  fflush(stdout);

  // What the library's entry point does when it is loaded.
  TvSetModuleInstance(GetModuleHandleA(nullptr));
  TvSetProgramTitle("TVISX");
  TvBeginInstance();
  InstallFileHooks(setup.cases);
  if (o.guards) InstallGuards(o.timeout);

  const ULONGLONG started = GetTickCount64();
  rec.family = "start-up";
  StartKernel();
  if (o.oneCase) {
    RunCase(o.caseNumber, o);
  } else {
    for (uint64_t number = 1;; ++number) {
      if (o.cases && number > o.cases) break;
      if (o.minutes > 0 && static_cast<double>(GetTickCount64() - started) > o.minutes * 60000.0) break;
      RunCase(number, o);
    }
  }
  rec.caseNumber = 0;
  rec.family = "shut-down";
  StopKernel();
  TvEndInstance();
  MarkFinished();
  if (!o.keep) RemoveTree(setup.root);
  fputs(("\n" + CallTable()).c_str(), stdout);
  return rec.Summary(static_cast<double>(GetTickCount64() - started) / 1000.0);
}
