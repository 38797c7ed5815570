// entry.cpp: the library entry point. Loading begins the kernel instance
// (its locks only); unloading ends it.
#include <windows.h>

#include "ini_handle.h"
#include "intercept.h"
#include "queries.h"
#include "tv_instance.h"
#include "tv_reports.h"

namespace {
// The library's build record; also found in the binary by its marker.
constexpr char kBuildRecord[] = "\r\n:RESDEFMARK:TVISX 2.63(?):Installer extension, MinGW-w64 build\r\n";
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      TvSetModuleInstance(instance);
      TvSetProgramTitle("TVISX");
      TvSetProgramBuildRecord(kBuildRecord);
      return TvBeginInstance() == 0;
    case DLL_PROCESS_DETACH:
      // Unloaded while the process goes on: files the script left open
      // would otherwise stay locked until the process ends, and a window
      // still intercepted would call into code that is gone.
      if (!reserved) {
        TvIsiEndInterception();
        TvIsiCloseAllPairs();
        TvIsiForgetReleases();
      }
      TvEndInstance();
      return TRUE;
    default: return TRUE;
  }
}
