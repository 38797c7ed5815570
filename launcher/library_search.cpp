// library_search.cpp: where the launcher's process looks for the libraries
// it loads by name: the system directory only (docs/launcher.md, "Safe to
// start from a downloads folder").
#include <windows.h>

#include "setup.h"
#include "tv_system.h"

void TvSetupRestrictLibrarySearch() {
  // Found at run time: systems without the update that brought it lack it.
  using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  const auto restrict = reinterpret_cast<SetDefaultDllDirectories>(
      reinterpret_cast<void*>(tvSys.getProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (!restrict || !restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) tvSys.setDllDirectory("");
}
