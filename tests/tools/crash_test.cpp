// A program that runs the kernel leaves a minidump when it crashes. Without
// the handler it must end at once all the same: the test prefixes have no
// crash debugger, which would otherwise start, show its dialog and hold the
// crashed program until the test's time-out.
#include "test_support.h"

#include <dbghelp.h>

#include <cstring>
#include <set>
#include <string>

namespace {

// Under the emulated 32-bit Wine the fault reports lack the trap number, so
// Wine reports an access violation as an illegal instruction there.
bool AccessViolation(DWORD code) { return code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION; }

class CrashDump : public ::testing::Test {
 protected:
  tvtest::TempDir dir;
  std::string home = dir / "home", temp = dir / "temp";
  CrashDump() {
    CreateDirectoryA(home.c_str(), nullptr);
    CreateDirectoryA(temp.c_str(), nullptr);
  }
  // The child starts its kernel with these options, then crashes (of a
  // stack overflow with the argument "overflow"); the dump found in
  // HomeDir\DUMPKID-2.5-<date and time>, or "" without one.
  std::string Crash(const std::string& options, const std::string& argument = "") {
    tvtest::WriteFile(dir / "x.ini", "[TvDefault]\nHomeDir=" + home + "\nTempDir=" + temp + "\n" + options);
    const ULONGLONG start = GetTickCount64();
    const DWORD code = tvtest::RunProgram(
        "\"" + tvtest::WindowsPath(DUMP_CHILD_UNIX_PATH) + "\" \"-INI:" + (dir / "x.ini") + "\" " + argument,
        dir / "out.txt");
    if (argument == "overflow") EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW)) << std::hex << code;
    else EXPECT_TRUE(AccessViolation(code)) << std::hex << code << tvtest::ReadFile(dir / "out.txt");
    EXPECT_LT(GetTickCount64() - start, 60000u);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((home + "\\DUMPKID-2.5-*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return "";
    FindClose(find);
    EXPECT_EQ(strlen(found.cFileName), strlen("DUMPKID-2.5-2026-12-05-14-03-59")) << found.cFileName;
    const std::string dump = home + "\\" + found.cFileName + "\\Error.mdmp";
    const bool exists = tvtest::FileExists(dump);
    const std::string bytes = tvtest::ReadFile(dump);
    tvtest::RemoveTree(home + "\\" + found.cFileName);
    return !exists ? "" : bytes.empty() ? "<empty>" : bytes;
  }
  // The stream types of a minidump, after its header is checked.
  static std::set<uint32_t> Streams(const std::string& dump) {
    auto word = [&](size_t at) {
      uint32_t w = 0;
      if (at + 4 <= dump.size()) memcpy(&w, dump.data() + at, 4);
      return w;
    };
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    std::set<uint32_t> types;
    for (uint32_t i = 0, n = word(8), directory = word(12); i < n && i < 64; ++i)
      types.insert(word(directory + 12 * i));
    return types;
  }
};

TEST_F(CrashDump, TheCrashLeavesAMinidumpUnlessTheHandlerIsOff) {
  // DebugDumpOnException=N: the system's normal end, no dump anywhere.
  EXPECT_EQ(Crash("DebugDumpOnException=N\n"), "");
  const std::string normal = Crash("");
  ASSERT_FALSE(normal.empty()) << "no dump";
  for (const std::string& folder : {home, temp}) EXPECT_FALSE(tvtest::FileExists(folder + "\\Error.mdmp"));
  // Checked where the system's dump writer works: in the 64-bit build.
  if (sizeof(void*) == 4) return;
  const std::set<uint32_t> streams = Streams(normal);
  for (MINIDUMP_STREAM_TYPE type : {ThreadListStream, ModuleListStream, ExceptionStream})
    EXPECT_TRUE(streams.count(type)) << type;
  // A thread without stack left still leaves its dump: a thread of the
  // handler's own writes it.
  const std::string overflow = Crash("", "overflow");
  ASSERT_FALSE(overflow.empty()) << "no dump";
  EXPECT_TRUE(Streams(overflow).count(ExceptionStream));
}

}  // namespace
