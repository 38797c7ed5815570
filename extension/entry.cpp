// entry.cpp: the library entry point. Loading begins the kernel instance
// (its locks only); unloading ends it.
#include <windows.h>

#include "tv_instance.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      TvSetModuleInstance(instance);
      TvSetProgramTitle("TVISX");
      return TvBeginInstance() == 0;
    case DLL_PROCESS_DETACH:
      TvEndInstance();
      return TRUE;
    default:
      return TRUE;
  }
}
