// The crash handler's writer search, the dump's name and location, and the
// process's filter put back when the kernel goes. The real crash of a
// program is tested in tests/tools/crash_test.cpp.
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
HMODULE WINAPI NoLibrary(LPCSTR) {
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}
// The dump writer, as the handler finds it in dbghelp: it notes the type
// asked for and leaves a mark in the file.
int typeAsked;
BOOL WINAPI MarkingWriter(HANDLE, DWORD, HANDLE file, int type, void*, void*, void*) {
  typeAsked = type;
  DWORD written;
  return WriteFile(file, "dump", 4, &written, nullptr);
}
FARPROC WINAPI FindMarkingWriter(HMODULE, LPCSTR name) {
  return std::string(name) == "MiniDumpWriteDump" ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(MarkingWriter)) : nullptr;
}
void WINAPI FixedTime(LPSYSTEMTIME t) { *t = SYSTEMTIME{2026, 12, 6, 5, 14, 3, 59, 0}; }
BOOL WINAPI RefusedDirectory(LPCSTR, LPSECURITY_ATTRIBUTES) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
std::string readOnly;  // files below this folder cannot be created
HANDLE WINAPI ReadOnlyFolder(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD how,
                             DWORD attributes, HANDLE model) {
  if (std::string(name).rfind(readOnly, 0) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileA(name, access, share, security, how, attributes, model);
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
  std::string home = dir / "home", temp = dir / "temp";
  Crash() {
    CreateDirectoryA(home.c_str(), nullptr);
    CreateDirectoryA(temp.c_str(), nullptr);
  }
  TvStatus Start(const std::string& options = "") {
    return StartWith("[TvDefault]\nProgDir=" + dir.path() + "\nHomeDir=" + home + "\nTempDir=" + temp + "\n" + options);
  }
  static void ExpectDump(const std::string& path) { EXPECT_EQ(tvtest::ReadFile(path), "dump") << path; }
};

TEST_F(Crash, TheDumpGoesToTheFirstLocationThatWorks) {
  ASSERT_EQ(Start("MiniDumpType=2\n"), TvOk);
  tvSys.loadLibrary = RecordedLoad;
  tvSys.getProcAddress = FindMarkingWriter;
  tvSys.localTime = FixedTime;
  EXPECT_EQ(TvCrashWriteDump(nullptr), EXCEPTION_EXECUTE_HANDLER);
  // No dbghelp in the program's folder: the system's search finds it.
  EXPECT_EQ(asked, (std::vector<std::string>{dir / "dbghelp.dll", "dbghelp.dll"}));
  ExpectDump(home + "\\TESTMOD-1.0-2026-12-05-14-03-59\\Error.mdmp");
  EXPECT_EQ(typeAsked, 2);

  tvtest::RemoveTree(home + "\\TESTMOD-1.0-2026-12-05-14-03-59");
  tvSys.createDirectory = RefusedDirectory;
  TvCrashWriteDump(nullptr);
  ExpectDump(home + "\\Error.mdmp");

  // A home folder that takes no files.
  DeleteFileA((home + "\\Error.mdmp").c_str());
  readOnly = home;
  tvSys.createFile = ReadOnlyFolder;
  TvCrashWriteDump(nullptr);
  EXPECT_FALSE(tvtest::FileExists(home + "\\Error.mdmp"));
  ExpectDump(temp + "\\Error.mdmp");

  // Without a dump writer nothing is written.
  DeleteFileA((temp + "\\Error.mdmp").c_str());
  tvSys.loadLibrary = NoLibrary;
  EXPECT_EQ(TvCrashWriteDump(nullptr), EXCEPTION_EXECUTE_HANDLER);
  EXPECT_FALSE(tvtest::FileExists(temp + "\\Error.mdmp"));
}

TEST_F(Crash, TheFilterFoundAtStartUpComesBackWhenTheKernelGoes) {
  SetUnhandledExceptionFilter(HostFilter);
  ASSERT_EQ(Start(), TvOk);
  EXPECT_TRUE(TvCrashHandlerInstalled());
  EXPECT_NE(CurrentFilter(), HostFilter);
  TvKernelShutdown(0);
  EXPECT_EQ(CurrentFilter(), HostFilter);

  // The option switches it off; so does a debugger, which must see the exception.
  ASSERT_EQ(Start("DebugDumpOnException=N\n"), TvOk);
  EXPECT_FALSE(TvCrashHandlerInstalled());
  EXPECT_EQ(CurrentFilter(), HostFilter);
  TvKernelShutdown(0);
  tvSys.isDebuggerPresent = DebuggerAttached;
  ASSERT_EQ(Start(), TvOk);
  EXPECT_EQ(CurrentFilter(), HostFilter);
  TvKernelShutdown(0);
  tvSys = kTvSysDefault;

  // A filter set after ours stays; the end of the instance (the library
  // unloaded) takes ours away as well.
  ASSERT_EQ(Start(), TvOk);
  SetUnhandledExceptionFilter(LaterFilter);
  TvKernelShutdown(0);
  EXPECT_EQ(CurrentFilter(), LaterFilter);
  SetUnhandledExceptionFilter(HostFilter);
  ASSERT_EQ(Start(), TvOk);
  TvEndInstance();
  EXPECT_EQ(CurrentFilter(), HostFilter);
  TvBeginInstance();
  TvKernelShutdown(0);
  SetUnhandledExceptionFilter(nullptr);
}

}  // namespace
