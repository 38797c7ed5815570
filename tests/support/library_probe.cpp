// The run of a test build of setup.exe: setup.exe's own entry
// (launcher/setup_main.cpp, which restricts the library search first) with
// this run in place of the launcher's. It loads "tvplanted.dll", which only
// a planted copy provides, and "version.dll", which the system directory
// holds, writes the path of each one loaded ("-" for none) to standard
// output, and ends with 1 when the planted library was loaded. Built with
// TV_PROBE_MAIN it is a program of its own that does the same without the
// entry's restriction.
#include <windows.h>

#include <initializer_list>
#include <string>

#include "setup.h"

int TvSetupRun(const char*) {
  int code = 0;
  std::string out;
  for (const char* name : {"tvplanted.dll", "version.dll"}) {
    char path[MAX_PATH] = "-";
    if (HMODULE library = LoadLibraryA(name)) {
      GetModuleFileNameA(library, path, sizeof path);
      if (name[0] == 't') code = 1;
    }
    out += std::string(path) + "\n";
  }
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
  return code;
}

#ifdef TV_PROBE_MAIN
int main() { return TvSetupRun(""); }
#endif
