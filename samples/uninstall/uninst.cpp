// uninst.cpp: the sample product's uninstall program. The library hands the
// removal over to it ("uninst.exe -quiet -remove"); it takes the country that
// the sample's scripts installed (France) out of the server and client
// configurations beside it, through the library's exports.
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "exports.h"

namespace {

// France as the sample's scripts recorded it: install.tvs in the lists of
// both files, discover.tvs with its newer data in the converted lists.
struct Removal {
  const char* file;
  const char* key;
  const char* entries;
};
constexpr Removal kRemovals[] = {
    {"tvwserve.ini", "InstalledCountries", "FRA,France,Data\\FRA\\FRA.dts"},
    {"tvwserve.ini", "InstalledData", "FRA,Data\\FRA"},
    {"tvwserve.ini", "NewInstalledCountries", "FRA,France,Data\\FRA.2\\FRA.dts"},
    {"tvwserve.ini", "NewInstalledData", "FRA,Data\\FRA.2"},
    {"tvworld.ini", "InstalledCountries", "FRA,France,Data\\FRA\\FRA.dts"},
};

template <typename F>
F Get(HMODULE library, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}
#define GET(library, name) Get<decltype(&name)>(library, #name)

// Each configuration file opened once, its entries removed, saved and
// closed; the first failing status, or 0.
int Remove(HMODULE library, const std::string& folder) {
  auto open = GET(library, TvIsi_IniOpen);
  auto remove = GET(library, TvIsi_IniRemoveStrings);
  auto save = GET(library, TvIsi_IniSave);
  auto close = GET(library, TvIsi_IniClose);
  if (!open || !remove || !save || !close) return -1;
  int status = 0;
  for (const char* file : {"tvwserve.ini", "tvworld.ini"}) {
    INT_PTR handle = 0, buffer = 0;
    int step = open(&handle, &buffer, (folder + file).c_str());
    for (const Removal& r : kRemovals)
      if (step == 0 && std::string_view(r.file) == file) step = remove(buffer, "TvDefault", r.key, r.entries);
    if (step == 0) step = save(handle, buffer);
    if (handle) close(handle, buffer);
    printf("%s%s: %d\n", folder.c_str(), file, step);
    if (status == 0) status = step;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "-quiet" || std::string_view(argv[2]) != "-remove") {
    fprintf(stderr, "usage: uninst -quiet -remove\n");
    return 2;
  }
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string folder(self, length < sizeof self ? length : 0);
  folder.resize(folder.find_last_of('\\') + 1);
  HMODULE library = LoadLibraryA((folder + "TVISX.dll").c_str());
  if (!library) {
    fprintf(stderr, "cannot load %sTVISX.dll\n", folder.c_str());
    return 3;
  }
  // The log of this start goes where the configuration beside the library
  // says; the removal goes on even without one.
  GET(library, TvIsi_Startup)();
  const int status = Remove(library, folder);
  GET(library, TvIsi_Shutdown)();
  FreeLibrary(library);
  return status == 0 ? 0 : 1;
}
