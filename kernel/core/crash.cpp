// crash.cpp: the crash handler: the dump writer found at crash time, the
// dump's name and location, and the filter it replaces put back when the
// kernel goes.
//
// The handler runs in a process that is already broken: the crashed thread
// may hold any of the kernel's locks, its allocator's or the log's, and may
// have no stack left. So the dump writing takes no kernel lock, raises no
// error, allocates nothing from the kernel, never asks for a disk and
// reaches the files and folders through the system-call table directly;
// after a stack overflow a thread of its own does the writing.
#include "tv_crash.h"

#include <dbghelp.h>

#include <cstring>
#include <initializer_list>

#include "tv_date.h"
#include "tv_instance.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

bool installed = false;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
uint32_t dumpType = 0;

using WriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                  PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// folder\name into out (kTvPathSize bytes); false, and nothing to use,
// when the whole path does not fit.
bool Join(char* out, const char* folder, const char* name) {
  const size_t n = strlen(folder);
  const bool separator = n && (folder[n - 1] == '\\' || folder[n - 1] == '/');
  const size_t length = n + (separator ? 0 : 1) + strlen(name);
  if (length >= kTvPathSize) {
    out[0] = '\0';
    return false;
  }
  TvFormat(out, kTvPathSize, separator ? "%s%s" : "%s\\%s", folder, name);
  return true;
}

LONG WINAPI CrashHandler(EXCEPTION_POINTERS* info) { return TvCrashWriteDump(info); }

// dbghelp from the program directory first, then through the system's
// search; in a build whose program folder may hold anything (a downloads
// folder), only from the system directory.
HMODULE LoadWriter(WriteDumpFn* writeDump) {
  char first[kTvPathSize] = "", second[kTvPathSize] = "";
  if (TvKernelVariantInUse().dumpWriterSystemOnly) {
    char system[kTvPathSize];
    const UINT n = GetSystemDirectoryA(system, sizeof system);
    if (n > 0 && n < sizeof system) Join(first, system, "dbghelp.dll");
  } else {
    if (tvContext.progDir[0]) Join(first, tvContext.progDir, "dbghelp.dll");
    TvStrCopy(second, "dbghelp.dll", sizeof second);
  }
  for (const char* name : {static_cast<const char*>(first), static_cast<const char*>(second)}) {
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

// The folder as it is, or made when missing (one level).
bool FolderReady(const char* folder) {
  const DWORD attributes = tvSys.getFileAttributes(folder);
  if (attributes != INVALID_FILE_ATTRIBUTES) return attributes & FILE_ATTRIBUTE_DIRECTORY;
  return tvSys.createDirectory(folder, nullptr);
}

// Error.mdmp, emptied, in the first folder that is (or can be made) a
// directory and takes the file.
HANDLE OpenDumpFile() {
  TvLocalTime t{};
  TvNowLocal(t);
  char name[kTvPathSize];
  TvFormat(name, sizeof name, "%s-%s-%04u-%02u-%02u-%02u-%02u-%02u", tvInstance.moduleName, tvInstance.version, t.year,
           t.month, t.day, t.hour, t.minute, t.second);
  char own[kTvPathSize] = "";
  if (tvContext.homeDir[0]) Join(own, tvContext.homeDir, name);
  for (const char* folder : {static_cast<const char*>(own), static_cast<const char*>(tvContext.homeDir),
                             static_cast<const char*>(tvContext.tempDir)}) {
    char path[kTvPathSize];
    // The whole path must fit before a folder is made for it.
    if (!folder[0] || !Join(path, folder, "Error.mdmp") || !FolderReady(folder)) continue;
    HANDLE file =
        tvSys.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
  }
  return INVALID_HANDLE_VALUE;
}

struct DumpJob {
  EXCEPTION_POINTERS* info;
  DWORD thread;  // the thread that crashed
};

void WriteDump(const DumpJob& job) {
  // No "insert a disk" box from the system either.
  DWORD errorMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &errorMode);
  WriteDumpFn writeDump = nullptr;
  HMODULE writer = LoadWriter(&writeDump);
  if (writer) {
    if (HANDLE file = OpenDumpFile(); file != INVALID_HANDLE_VALUE) {
      MINIDUMP_EXCEPTION_INFORMATION exception{job.thread, job.info, FALSE};
      writeDump(GetCurrentProcess(), GetCurrentProcessId(), file, static_cast<MINIDUMP_TYPE>(dumpType),
                job.info ? &exception : nullptr, nullptr, nullptr);
      tvSys.closeHandle(file);
    }
    tvSys.freeLibrary(writer);
  }
  SetThreadErrorMode(errorMode, nullptr);
}

DWORD WINAPI DumpThread(void* job) {
  WriteDump(*static_cast<const DumpJob*>(job));
  return 0;
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
  const DumpJob job{info, GetCurrentThreadId()};
  // A stack overflow leaves the crashed thread too little stack for the
  // dump writer: a thread of its own writes the dump then. Otherwise the
  // crashed thread writes it itself, which keeps the writer's own stack
  // out of the dump (Wine's writer saves the whole stack of the thread
  // that calls it, and takes twice as long for a full-memory dump).
  const bool overflow =
      info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
  HANDLE helper = overflow ? CreateThread(nullptr, 0, DumpThread, const_cast<DumpJob*>(&job), 0, nullptr) : nullptr;
  if (helper) {
    WaitForSingleObject(helper, INFINITE);
    CloseHandle(helper);
  } else {
    WriteDump(job);
  }
  return EXCEPTION_EXECUTE_HANDLER;
}
