// The queries with the system and the allocator under the test's control:
// the waits of the write test are recorded instead of waited, and the name
// set of the size total cannot be made. Linked with the kernel.
#include <string>
#include <vector>

#include "exports.h"
#include "kernel_fixture.h"
#include "tv_context.h"
#include "tv_ini.h"
#include "tv_memory.h"
#include "tv_system.h"

namespace {

struct Waits {
  static inline std::vector<DWORD> asked;
  static inline HANDLE releaseAfterFirst = INVALID_HANDLE_VALUE;  // another program's hold on the file
  static void WINAPI Record(DWORD milliseconds) {
    asked.push_back(milliseconds);
    if (releaseAfterFirst != INVALID_HANDLE_VALUE) {
      CloseHandle(releaseAfterFirst);
      releaseAfterFirst = INVALID_HANDLE_VALUE;
    }
  }
};

// A file whose read-only attribute the system honours: writing access is
// denied. (Wine run as root opens read-only files for writing anyway.)
HANDLE WINAPI ReadOnlyFiles(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD attributes, HANDLE model) {
  if ((access & GENERIC_WRITE) && (GetFileAttributesA(name) & FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return kTvSysDefault.createFile(name, access, share, security, disposition, attributes, model);
}

class QueryFaults : public tvtest::KernelTest {
 protected:
  std::string file = dir / "target.dat";
  void SetUp() override {
    ASSERT_EQ(StartWith("[TvDefault]\n"), 0);
    tvtest::WriteFile(file, "data");
    Waits::asked.clear();
    tvSys.sleep = Waits::Record;
  }
  ~QueryFaults() override {
    tvSys = kTvSysDefault;
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  static HANDLE Hold(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  }
};

TEST_F(QueryFaults, AFileThatStaysRefusedIsTriedThreeTimesWithAWaitAfterEach) {
  const std::vector<DWORD> threeWaits{401, 401, 401};
  ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  tvSys.createFile = ReadOnlyFiles;
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvErrFileAccess);
  EXPECT_EQ(Waits::asked, threeWaits);

  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  tvSys.createFile = kTvSysDefault.createFile;
  Waits::asked.clear();
  HANDLE held = Hold(file);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvErrFileAccess);
  EXPECT_EQ(Waits::asked, threeWaits);
  CloseHandle(held);

  Waits::asked.clear();
  EXPECT_EQ(TvIsi_FileWriteable((dir / "missing.dat").c_str()), TvErrFileNotFound);
  EXPECT_EQ(Waits::asked, threeWaits);
}

TEST_F(QueryFaults, AFileFreedDuringAWaitIsWriteableAtTheNextAttempt) {
  Waits::releaseAfterFirst = Hold(file);
  ASSERT_NE(Waits::releaseAfterFirst, INVALID_HANDLE_VALUE);
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvOk);
  EXPECT_EQ(Waits::asked, std::vector<DWORD>{401});
  // Not left open: the program can take the file at once.
  HANDLE again = Hold(file);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);

  Waits::asked.clear();
  EXPECT_EQ(TvIsi_FileWriteable(file.c_str()), TvOk);
  EXPECT_TRUE(Waits::asked.empty());
  EXPECT_EQ(TvIsi_FileWriteable(""), TvErrFileNotFound);  // nothing to wait for
  EXPECT_EQ(TvIsi_FileWriteable(nullptr), TvErrFileNotFound);
  EXPECT_TRUE(Waits::asked.empty());
}

// Without the name set nothing can be counted: the call fails instead of
// answering a total of 0. The limit is raised step by step through the
// loading of the list file, the set and its names.
TEST_F(QueryFaults, AShortageOfMemoryIsNeverATotalOfZero) {
  const std::string ini = dir / "sizes.ini";
  tvtest::WriteFile(ini, "[TvDefault]\nSizes=A,B,C:\\data\\gbr.dts,2048\n");
  const TvMemStatistics saved = tvMemStats;
  bool setRefused = false, counted = false;
  for (uint64_t room = 0; room < 16384 && !counted; room += 8) {
    tvMemStats.enabled = true;
    tvMemStats.limit = tvMemStats.totalBytes + room;
    int32_t total = -7;
    const int32_t status = TvIsi_GetTotalFileSize(ini.c_str(), "Sizes", "gbr.dts", &total);
    tvMemStats.limit = UINT64_MAX;
    if (status == TvOk) {
      EXPECT_EQ(total, 2) << room;
      counted = true;
    } else {
      ASSERT_EQ(status, TvErrNoMemory) << room;
      EXPECT_TRUE(total == -7 || total == 0) << room;  // untouched before the list was read, else 0
      setRefused |= total == 0;
    }
  }
  tvMemStats = saved;
  EXPECT_TRUE(setRefused);
  EXPECT_TRUE(counted);
}

// A kernel that keeps its configuration loaded: the list is read from the
// file named, not from the configuration, which stays as it was.
class HeldConfiguration : public tvtest::KernelTest {};

TEST_F(HeldConfiguration, SizesComeFromTheFileNamed) {
  ASSERT_EQ(StartWith("[TvDefault]\nSizes=A,B,C:\\d\\a.dts,8192\n", TvFlagKeepConfig), 0);
  ASSERT_EQ(tvConfig.useCount, 1);
  const std::string ini = dir / "sizes.ini";
  tvtest::WriteFile(ini, "[TvDefault]\nSizes=A,B,C:\\d\\a.dts,2048\n");
  int32_t total = -7;
  EXPECT_EQ(TvIsi_GetTotalFileSize(ini.c_str(), "Sizes", "a.dts", &total), TvOk);
  EXPECT_EQ(total, 2);
  EXPECT_EQ(tvConfig.useCount, 1);
  char value[64];
  EXPECT_TRUE(TvIniGetString(&tvConfig, "TvDefault", "Sizes", "", value, sizeof value));
  EXPECT_STREQ(value, "A,B,C:\\d\\a.dts,8192");
}

}  // namespace
