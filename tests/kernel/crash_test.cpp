// The crash handler's writer search, the dump's name and location, and the
// filter it replaced. The crash of a real program: tests/tools/crash_test.cpp.
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "tv_crash.h"

namespace {

std::vector<std::string> asked;  // libraries the writer search asked for
HMODULE WINAPI RecordedLoad(LPCSTR name) {
  asked.push_back(name);
  return LoadLibraryA(name);
}
// The writer as found in dbghelp: it notes the dump type and marks the file.
int typeAsked;
BOOL WINAPI MarkingWriter(HANDLE, DWORD, HANDLE file, int type, void*, void*, void*) {
  typeAsked = type;
  DWORD written;
  return WriteFile(file, "dump", 4, &written, nullptr);
}
FARPROC WINAPI FindWriter(HMODULE, LPCSTR name) {
  return std::string(name) == "MiniDumpWriteDump" ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(MarkingWriter))
                                                  : nullptr;
}
FARPROC WINAPI NoWriter(HMODULE, LPCSTR) { return nullptr; }
void WINAPI FixedTime(LPSYSTEMTIME t) { *t = SYSTEMTIME{2026, 12, 6, 5, 14, 3, 59, 0}; }
BOOL WINAPI RefusedDirectory(LPCSTR, LPSECURITY_ATTRIBUTES) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
std::string readOnly;  // no file can be made below this folder, for this reason:
DWORD refusal = ERROR_ACCESS_DENIED;
HANDLE WINAPI ReadOnlyFolder(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
                             DWORD attributes, HANDLE model) {
  if (std::string(name).rfind(readOnly, 0) == 0) {
    SetLastError(refusal);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(name, access, share, security, how, attributes, model);
}
UINT WINAPI RemovableDrive(LPCSTR) { return DRIVE_REMOVABLE; }
int prompts = 0;
int WINAPI Prompt(HWND, LPCSTR, LPCSTR, UINT) {
  ++prompts;
  return IDCANCEL;
}
BOOL WINAPI DebuggerAttached() { return TRUE; }
LONG WINAPI HostFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
LONG WINAPI LaterFilter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER filter = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(filter);
  return filter;
}

class Crash : public tvtest::KernelTest {
 protected:
  ~Crash() override { TvKernelSetVariant(nullptr); }
  std::string home = dir / "home", temp = dir / "temp";
  TvStatus Start(const std::string& options = "") {
    CreateDirectoryA(home.c_str(), nullptr);
    CreateDirectoryA(temp.c_str(), nullptr);
    return StartWith("[TvDefault]\nProgDir=" + dir.path() + "\nHomeDir=" + home + "\nTempDir=" + temp + "\n" + options);
  }
  // The dump written where expected (and nowhere before), over an older,
  // longer one, then removed.
  void Dumped(const std::string& path) {
    CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), nullptr);
    tvtest::WriteFile(path, "an older and longer dump");
    EXPECT_EQ(TvCrashWriteDump(nullptr), EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(tvtest::ReadFile(path), "dump") << path;
    DeleteFileA(path.c_str());
  }
};

TEST_F(Crash, TheDumpGoesToTheFirstLocationThatWorks) {
  ASSERT_EQ(Start("MiniDumpType=2\n"), TvOk);
  tvSys.loadLibrary = RecordedLoad;
  tvSys.getProcAddress = FindWriter;
  tvSys.localTime = FixedTime;
  Dumped(home + "\\TESTMOD-1.0-2026-12-05-14-03-59\\Error.mdmp");
  EXPECT_EQ(typeAsked, 2);
  // No dbghelp in the program's folder: the system's search finds it.
  EXPECT_EQ(asked, (std::vector<std::string>{dir / "dbghelp.dll", "dbghelp.dll"}));
  // The launcher's kernel takes it from the system directory only: its
  // program folder is where a planted dbghelp.dll would lie.
  TvKernelSetVariant(&kTvKernelLauncher);
  asked.clear();
  Dumped(home + "\\TESTMOD-1.0-2026-12-05-14-03-59\\Error.mdmp");
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  EXPECT_EQ(asked, std::vector<std::string>{std::string(system) + "\\dbghelp.dll"});
  TvKernelSetVariant(nullptr);
  tvtest::RemoveTree(home + "\\TESTMOD-1.0-2026-12-05-14-03-59");
  tvSys.createDirectory = RefusedDirectory;
  Dumped(home + "\\Error.mdmp");
  readOnly = home;
  tvSys.createFile = ReadOnlyFolder;
  Dumped(temp + "\\Error.mdmp");
  // Without the writer's function nothing is written.
  tvSys.getProcAddress = NoWriter;
  EXPECT_EQ(TvCrashWriteDump(nullptr), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_FALSE(tvtest::FileExists(temp + "\\Error.mdmp"));
  // A home folder so long that the dump's own folder would be cut: no
  // folder under a cut name, the dump in the home folder itself.
  home = dir / std::string(240 - dir.path().size() - 1, 'h');
  CreateDirectoryA(home.c_str(), nullptr);
  TvStrCopy(tvContext.homeDir, home.c_str(), sizeof tvContext.homeDir);
  tvSys.getProcAddress = FindWriter;
  tvSys.createDirectory = kTvSysDefault.createDirectory;
  Dumped(home + "\\Error.mdmp");
  WIN32_FIND_DATAA found;
  EXPECT_EQ(FindFirstFileA((home + "\\TESTMOD*").c_str(), &found), INVALID_HANDLE_VALUE) << found.cFileName;
}

// The filter writes the dump without the kernel's help: it asks for no
// disk where the file layer would, and it writes while another thread holds
// every lock of the kernel.
TEST_F(Crash, TheFilterAsksForNothingAndTakesNoLock) {
  ASSERT_EQ(Start(), TvOk);
  tvSys.getProcAddress = FindWriter;
  tvSys.localTime = FixedTime;
  const int mode = TvUserInterfaceMode();
  TvSetUserInterfaceMode(TvUiWindowed);
  tvSys.getDriveType = RemovableDrive;
  tvSys.messageBox = Prompt;
  // The first location is on a removable disk, and not there.
  readOnly = home + "\\TESTMOD-";
  refusal = ERROR_PATH_NOT_FOUND;
  tvSys.createFile = ReadOnlyFolder;
  Dumped(home + "\\Error.mdmp");
  EXPECT_EQ(prompts, 0);
  refusal = ERROR_ACCESS_DENIED;
  TvSetUserInterfaceMode(mode);
  tvSys = kTvSysDefault;
  tvSys.getProcAddress = FindWriter;
  tvSys.localTime = FixedTime;
  // This thread holds every lock, as the thread that crashed may; the
  // filter runs on another.
  std::vector<TvLock*> locks = {&tvInstance.kernelLock, &tvInstance.providerLock, &tvInstance.hookLock};
  for (int id = static_cast<int>(TvLockId::Scan); id <= static_cast<int>(TvLockId::MemStats); ++id)
    locks.push_back(&TvServiceLock(static_cast<TvLockId>(id)));
  for (TvLock* lock : locks) ASSERT_TRUE(TvLockAcquire(*lock));
  std::future<LONG> dump = std::async(std::launch::async, [] { return TvCrashWriteDump(nullptr); });
  EXPECT_EQ(dump.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "the filter waits for a lock";
  for (TvLock* lock : locks) TvLockRelease(*lock);
  EXPECT_EQ(dump.get(), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_EQ(tvtest::ReadFile(home + "\\TESTMOD-1.0-2026-12-05-14-03-59\\Error.mdmp"), "dump");
}

TEST_F(Crash, TheFilterItReplacedComesBack) {
  // A debugger keeps the handler out (DebugDumpOnException=N: tools/crash_test).
  SetUnhandledExceptionFilter(HostFilter);
  tvSys.isDebuggerPresent = DebuggerAttached;
  ASSERT_EQ(Start(), TvOk);
  EXPECT_FALSE(TvCrashHandlerInstalled());
  EXPECT_EQ(CurrentFilter(), HostFilter);
  TvKernelShutdown(0);
  tvSys = kTvSysDefault;
  // The handler goes with the kernel's last shut-down, and with the end of
  // the instance (the library unloaded, the kernel still started); a filter
  // set after the handler stays.
  for (bool unload : {false, true}) {
    ASSERT_EQ(Start(), TvOk);
    EXPECT_TRUE(TvCrashHandlerInstalled());
    EXPECT_NE(CurrentFilter(), HostFilter);
    unload ? TvEndInstance() : TvKernelShutdown(0);
    EXPECT_EQ(CurrentFilter(), HostFilter) << unload;
  }
  TvBeginInstance();
  TvKernelShutdown(0);
  ASSERT_EQ(Start(), TvOk);
  SetUnhandledExceptionFilter(LaterFilter);
  TvKernelShutdown(0);
  EXPECT_EQ(CurrentFilter(), LaterFilter);
  SetUnhandledExceptionFilter(nullptr);
}

}  // namespace
