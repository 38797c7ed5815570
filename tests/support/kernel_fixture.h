// kernel_fixture.h: a kernel linked into the test program, begun for each
// test and brought back to "not begun" afterwards, in a fresh folder that
// is the current directory. Faults put into the system-call table and
// memory limits end with the test.
#pragma once
#include "test_support.h"
// The kernel's interface, as the tests reach it.
#include "tv_catalogue.h"
#include "tv_charset.h"
#include "tv_date.h"
#include "tv_error.h"
#include "tv_file.h"
#include "tv_history.h"
#include "tv_ini.h"
#include "tv_instance.h"
#include "tv_list.h"
#include "tv_log.h"
#include "tv_memory.h"
#include "tv_path.h"
#include "tv_reports.h"
#include "tv_string.h"
#include "tv_system.h"
#include "tv_thread.h"
#include "tv_trailer.h"

namespace tvtest {

class KernelTest : public FolderTest {
 protected:
  KernelTest() { TvBeginInstance(); }
  ~KernelTest() override {
    tvSys = kTvSysDefault;
    tvMemStats.limit = UINT64_MAX;
    while (TvKernelStarted()) TvKernelShutdown(0);
    tvInstance.pendingRefs = 0;
    TvEndInstance();
  }
  std::string log = dir / "kernel.log";
  // Starts the kernel writing its log to log, with these option lines.
  TvStatus StartLogging(const std::string& options = "", uint32_t flags = 0) {
    return StartWith("[TvDefault]\nLogFile=" + log + "\n" + options, flags);
  }
  // The log so far; the log file is closed.
  static std::string Logged(const std::string& path) {
    TvLogClose();
    return ReadFile(path);
  }
  std::string Logged() { return Logged(log); }
  // Starts the kernel with a configuration file written into the folder.
  TvStatus StartWith(const std::string& ini, uint32_t flags = 0, const char* module = "TESTMOD") {
    std::string path = dir / "test.ini";
    WriteFile(path, ini);
    return TvKernelStartup(module, "1.0", ":1", flags, path.c_str(), nullptr);
  }
  // Counts allocations and lets them take fewer than extra bytes more than
  // are in use now.
  static void LimitMemory(uint64_t extra = 0) {
    tvMemStats.enabled = true;
    tvMemStats.limit = tvMemStats.totalBytes + extra;
  }
  static void Unlimited() {
    tvMemStats.enabled = false;
    tvMemStats.limit = UINT64_MAX;
  }
  // The value of a line of the kernel's system report ("Config", "Section",
  // "Prog Dir", "Log File", ...), built afresh as the report export builds it.
  static std::string Reported(const std::string& label) {
    TvSystemInfoDiscard();
    const char* line = "";
    for (int32_t n = 0; TvSystemInfoLine(n, &line) == TvOk; ++n)
      if (std::string(line).rfind(label + ":\t", 0) == 0) return line + label.size() + 2;
    return "<no " + label + " line>";
  }
};

// A write of the file layer on a full disk: nothing written.
inline BOOL WINAPI FullDiskWrite(HANDLE, LPCVOID, DWORD, LPDWORD written, LPOVERLAPPED) {
  *written = 0;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

}  // namespace tvtest
