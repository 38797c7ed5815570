// crash.cpp: the crash handler: the dump writer found at crash time, the
// dump's name and location, and the filter it replaces put back when the
// kernel goes.
#include "tv_crash.h"

#include <dbghelp.h>

#include <cstring>
#include <initializer_list>

#include "tv_date.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_instance.h"
#include "tv_path.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

bool installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
uint32_t dumpType = 0;

using WriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                  PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

void Join(char* out, const char* folder, const char* name) {
  const size_t n = strlen(folder);
  TvFormat(out, kTvPathSize, n && (folder[n - 1] == '\\' || folder[n - 1] == '/') ? "%s%s" : "%s\\%s", folder, name);
}

LONG WINAPI CrashHandler(EXCEPTION_POINTERS* info) { return TvCrashWriteDump(info); }

// dbghelp from the program directory first, then through the system's search.
HMODULE LoadWriter(WriteDumpFn* writeDump) {
  char path[kTvPathSize] = "";
  if (tvContext.progDir[0]) Join(path, tvContext.progDir, "dbghelp.dll");
  for (const char* name : {static_cast<const char*>(path), "dbghelp.dll"}) {
    if (!*name) continue;
    HMODULE module = tvSys.loadLibrary(name);
    if (!module) continue;
    if (FARPROC p = tvSys.getProcAddress(module, "MiniDumpWriteDump")) {
      *writeDump = reinterpret_cast<WriteDumpFn>(reinterpret_cast<void*>(p));
      return module;
    }
    tvSys.freeLibrary(module);
  }
  return nullptr;
}

// Error.mdmp in the first folder that is (or can be made) a directory and
// takes the file.
TvFileHandle OpenDumpFile() {
  TvLocalTime t{};
  TvNowLocal(t);
  char name[kTvPathSize];
  TvFormat(name, sizeof name, "%s-%s-%04u-%02u-%02u-%02u-%02u-%02u", tvInstance.moduleName, tvInstance.version,
           t.year, t.month, t.day, t.hour, t.minute, t.second);
  char own[kTvPathSize] = "";
  if (tvContext.homeDir[0]) Join(own, tvContext.homeDir, name);
  for (const char* folder : {static_cast<const char*>(own), static_cast<const char*>(tvContext.homeDir),
                             static_cast<const char*>(tvContext.tempDir)}) {
    if (!folder[0] || TvDirCreate(folder, TvDirCreateMissing) != TvOk) continue;
    TvFileHandle file;
    if (TvFileOpen(nullptr, folder, "Error", "mdmp", TvFileReadWrite | TvFileRecreate | TvFileCreate, &file) == TvOk)
      return file;
  }
  return kTvNoFile;
}

}  // namespace

void TvCrashHandlerInstall() {
  if (tvSys.isDebuggerPresent()) return;
  dumpType = 0;
  if (installed) return;  // keep the filter found the first time
  previousFilter = tvSys.setUnhandledExceptionFilter(CrashHandler);
  installed = true;
}

void TvCrashHandlerRemove() {
  if (!installed) return;
  installed = false;
  LPTOP_LEVEL_EXCEPTION_FILTER current = tvSys.setUnhandledExceptionFilter(previousFilter);
  if (current != CrashHandler) tvSys.setUnhandledExceptionFilter(current);
  previousFilter = nullptr;
}

bool TvCrashHandlerInstalled() { return installed; }
void TvCrashSetDumpType(uint32_t type) { dumpType = type; }

LONG TvCrashWriteDump(EXCEPTION_POINTERS* info) {
  TvQuiet quiet;
  WriteDumpFn writeDump = nullptr;
  HMODULE writer = LoadWriter(&writeDump);
  if (!writer) return EXCEPTION_EXECUTE_HANDLER;
  if (TvFileHandle file = OpenDumpFile(); file != kTvNoFile) {
    MINIDUMP_EXCEPTION_INFORMATION exception{GetCurrentThreadId(), info, FALSE};
    writeDump(GetCurrentProcess(), GetCurrentProcessId(), reinterpret_cast<HANDLE>(file),
              static_cast<MINIDUMP_TYPE>(dumpType), info ? &exception : nullptr, nullptr, nullptr);
    TvFileClose(file);
  }
  tvSys.freeLibrary(writer);
  return EXCEPTION_EXECUTE_HANDLER;
}
