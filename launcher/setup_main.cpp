// setup_main.cpp: the launcher's program entry (a windowed program).
#include <windows.h>

#include "setup.h"
#include "tv_instance.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  TvSetupRestrictLibrarySearch();  // first: before the kernel, before any window
  TvSetModuleInstance(instance);
  TvBeginInstance();
  const int code = TvSetupRun(commandLine);
  TvEndInstance();
  return code;
}
