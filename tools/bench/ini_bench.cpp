// ini_bench: the ini engine against the Windows profile API on one
// realistic configuration file: 10,000 lookups, then 500 edits and a save.
// Run under Wine: cmake/wine-run.sh build/x86_64/tools/ini_bench.exe [kernel options]
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "command_line.h"
#include "tv_ini.h"
#include "tv_instance.h"

namespace {

struct Setting {
  std::string section, key;
};

// 50 sections of plain keys, two list keys of 200 continuation lines each:
// about 2,000 lines in all.
std::string MakeConfiguration(std::vector<Setting>& settings) {
  std::string text = "; server configuration\r\n";
  for (int s = 0; s < 50; ++s) {
    const std::string section = "Section" + std::to_string(s);
    text += "[" + section + "]\r\n";
    for (int k = 0; k < 30; ++k) {
      const std::string key = "Key" + std::to_string(k);
      text += key + "=value " + std::to_string(s * 100 + k) + "\r\n";
      settings.push_back({section, key});
    }
    if (s == 10 || s == 40) {
      text += "InstalledData=GBR,Data\\GBR\r\n";
      for (int i = 0; i < 200; ++i) text += "+C" + std::to_string(i) + ",Data\\C" + std::to_string(i) + "\r\n";
      settings.push_back({section, "InstalledData"});
    }
    text += "\r\n";
  }
  return text;
}

void WriteAged(const std::string& path, const std::string& text) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  // The profile API re-reads young files on every call: age it first.
  FILETIME old;
  GetSystemTimeAsFileTime(&old);
  ULARGE_INTEGER t{{old.dwLowDateTime, old.dwHighDateTime}};
  t.QuadPart -= 3600ull * 10000000ull;
  old = {t.LowPart, t.HighPart};
  SetFileTime(file, &old, &old, &old);
  CloseHandle(file);
}

double Seconds(LARGE_INTEGER start, LARGE_INTEGER end) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename F>
double Time(F&& work) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  work();
  QueryPerformanceCounter(&end);
  return Seconds(start, end);
}

constexpr const char* kUsage = "usage: ini_bench [kernel options]\n";

int Bench() {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string enginePath = std::string(temp) + "tvbench-engine.ini";
  const std::string profilePath = std::string(temp) + "tvbench-profile.ini";
  std::vector<Setting> settings;
  const std::string text = MakeConfiguration(settings);
  WriteAged(enginePath, text);
  WriteAged(profilePath, text);

  std::mt19937 random(42);
  std::vector<size_t> lookups(10000);
  for (size_t& l : lookups) l = random() % settings.size();
  std::vector<std::pair<size_t, std::string>> edits(500);
  for (auto& e : edits) e = {random() % settings.size(), "edited " + std::to_string(random() % 100000)};

  TvIniBuffer ini{};
  if (TvIniLoadFile(&ini, enginePath.c_str()) != 0) {
    fprintf(stderr, "cannot load %s\n", enginePath.c_str());
    return 1;
  }
  char value[256];
  size_t found = 0;
  // Warm both sides up.
  for (int i = 0; i < 200; ++i) {
    const Setting& s = settings[lookups[i]];
    found += TvIniGetString(&ini, s.section.c_str(), s.key.c_str(), "", value, sizeof value);
    found +=
        GetPrivateProfileStringA(s.section.c_str(), s.key.c_str(), "", value, sizeof value, profilePath.c_str()) > 0;
  }

  const double engineLookups = Time([&] {
    for (size_t l : lookups) {
      const Setting& s = settings[l];
      found += TvIniGetString(&ini, s.section.c_str(), s.key.c_str(), "", value, sizeof value);
    }
  });
  const double profileLookups = Time([&] {
    for (size_t l : lookups) {
      const Setting& s = settings[l];
      found +=
          GetPrivateProfileStringA(s.section.c_str(), s.key.c_str(), "", value, sizeof value, profilePath.c_str()) > 0;
    }
  });

  const double engineEdits = Time([&] {
    for (const auto& [index, newValue] : edits)
      TvIniSetString(&ini, settings[index].section.c_str(), settings[index].key.c_str(), newValue.c_str());
    TvIniSaveFile(&ini, enginePath.c_str());
  });
  const double profileEdits = Time([&] {
    for (const auto& [index, newValue] : edits)
      WritePrivateProfileStringA(settings[index].section.c_str(), settings[index].key.c_str(), newValue.c_str(),
                                 profilePath.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, profilePath.c_str());  // flush
  });

  // Both files must now agree on every edited setting.
  size_t mismatches = 0;
  for (const auto& [index, newValue] : edits) {
    char a[256], b[256];
    TvIniGetString(&ini, settings[index].section.c_str(), settings[index].key.c_str(), "", a, sizeof a);
    GetPrivateProfileStringA(settings[index].section.c_str(), settings[index].key.c_str(), "", b, sizeof b,
                             profilePath.c_str());
    mismatches += std::string(a) != b;
  }

  printf("configuration: %zu bytes, %zu settings\n", text.size(), settings.size());
  printf("10000 lookups:        engine %8.4f s   profile API %8.4f s   ratio %6.1f\n", engineLookups, profileLookups,
         profileLookups / engineLookups);
  printf("500 edits and a save: engine %8.4f s   profile API %8.4f s   ratio %6.1f\n", engineEdits, profileEdits,
         profileEdits / engineEdits);
  printf("values found: %zu; settings that differ afterwards: %zu\n", found, mismatches);
  TvIniFree(&ini);
  DeleteFileA(enginePath.c_str());
  DeleteFileA(profilePath.c_str());
  return mismatches == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return tvtool::Run("ini_bench", "INIBENCH", argc, argv, kUsage, [](const std::vector<std::string>& args) {
    if (args.empty()) return Bench();
    fputs(kUsage, stderr);
    return 2;
  });
}
