// file_faults.h: the file layer's writes, set-ends, opens and reads through
// the system-call table, counted from when they are armed, with one of them
// failing when asked; for the tests that a file after a failed save holds its old bytes
// or the whole new text. The kernel fixture puts the table back.
#pragma once
#include <string>

#include "kernel_fixture.h"

namespace tvtest {

struct FileFaults {
  static inline int writes = 0, opens = 0, reads = 0;
  static inline int failWrite = 0, failOpen = 0, failRead = 0;  // the call that fails; 0: none
  // The failing write puts half its bytes onto the disk (half) or none, and
  // the writes after it work again (once) or fail as well.
  static inline bool once = false, half = false, refuseSetEnd = false;

  static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    ++writes;
    if (!failWrite || writes < failWrite || (writes > failWrite && once))
      return kTvSysDefault.writeFile(file, data, size, written, overlapped);
    *written = 0;
    if (half && writes == failWrite) kTvSysDefault.writeFile(file, data, size / 2, written, overlapped);
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  static BOOL WINAPI SetEnd(HANDLE file) {
    if (!refuseSetEnd) return kTvSysDefault.setEndOfFile(file);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  static HANDLE WINAPI Open(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD attributes, HANDLE model) {
    if (++opens == failOpen) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
    return kTvSysDefault.createFile(name, access, share, security, disposition, attributes, model);
  }
  static BOOL WINAPI Read(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    if (++reads == failRead) {
      if (got) *got = 0;
      SetLastError(ERROR_READ_FAULT);
      return FALSE;
    }
    return kTvSysDefault.readFile(file, data, size, got, overlapped);
  }
  // Writes and set-ends counted from zero, with this write failing (0: none).
  static void Arm(int writeAt, bool onlyOnce = false) {
    writes = 0;
    failWrite = writeAt;
    once = onlyOnce;
    half = refuseSetEnd = false;
    tvSys.writeFile = Write;
    tvSys.setEndOfFile = SetEnd;
  }
  // Opens and reads counted from zero, with this open or read failing.
  static void ArmOpenAndRead(int openAt, int readAt) {
    opens = reads = 0;
    failOpen = openAt;
    failRead = readAt;
    tvSys.createFile = Open;
    tvSys.readFile = Read;
  }
  // No more faults; the counts stay.
  static void Disarm() {
    failWrite = failOpen = failRead = 0;
    half = refuseSetEnd = false;
  }
};

// Which of the expected files a file is, without printing 100 KB on a failure.
inline std::string Which(const std::string& now, const std::string& old, const std::string& fresh) {
  if (now == old) return "old";
  if (now == fresh) return "new";
  size_t same = 0;
  while (same < now.size() && same < fresh.size() && now[same] == fresh[same]) ++same;
  return "a mix of " + std::to_string(now.size()) + " bytes, like the new text for " + std::to_string(same);
}

}  // namespace tvtest
