// Shared by the launcher's tests: message boxes as the user sees them, the
// file layer slowed or broken off, refused engine starts, and a fixture
// with a medium and a staging folder.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "file_faults.h"
#include "forms.h"
#include "kernel_fixture.h"
#include "progress.h"
#include "setup.h"

namespace tvsetup {

using tvtest::FileExists;
using tvtest::ReadFile;
using tvtest::WriteFile;

// A message box as the user sees it: text, visible buttons, default, icon.
struct Box {
  std::string text;
  std::vector<int> buttons;
  int preferred = 0;
  HICON icon = nullptr;
};

inline BOOL CALLBACK CollectControl(HWND child, LPARAM seen) {
  Box& box = *reinterpret_cast<Box*>(seen);
  char kind[32] = "";
  GetClassNameA(child, kind, sizeof kind);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if (IsWindowVisible(child) && lstrcmpiA(kind, "Button") == 0) {
    box.buttons.push_back(GetDlgCtrlID(child));
    if ((style & 0xF) == BS_DEFPUSHBUTTON) box.preferred = GetDlgCtrlID(child);
  } else if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  }
  return TRUE;
}

// While it lives, reads every window of a class (by default the boxes
// titled "Error") and presses the button that press chooses for it; look,
// when given, sees the window every 10 ms. The
// 32-bit Wine of these machines makes no windows: there it starts no
// thread to look for them (a second thread there can bring the emulated
// Wine down).
class BoxWatcher {
 public:
  explicit BoxWatcher(
      std::function<int(const Box&)> press = [](const Box&) { return IDOK; }, const char* kind = "#32770",
      const char* title = "Error", std::function<void(HWND)> look = nullptr) {
    if (sizeof(void*) == 8)
      thread_ = std::thread([this, press, kind, title, look] {
        for (HWND last = nullptr; !done_; Sleep(10)) {
          HWND window = FindWindowA(kind, title);
          if (!window || !IsWindowVisible(window)) continue;
          if (look) look(window);
          if (window == last) continue;
          last = window;
          Box box;
          char text[1024] = "";
          GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
          box.text = text;
          EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&box));
          seen.push_back(box);
          PostMessageA(window, WM_COMMAND, press(box), 0);
        }
      });
  }
  ~BoxWatcher() { Stop(); }
  void Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::vector<Box> seen;

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// Each read of the file layer takes slowBy milliseconds; the next one after
// readDue is set runs atRead first.
inline DWORD slowBy = 0;
inline std::atomic<bool> readDue{false};
inline std::function<void()> atRead;
inline BOOL WINAPI SlowRead(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  if (readDue.exchange(false)) atRead();
  Sleep(slowBy);
  return kTvSysDefault.readFile(file, data, size, got, overlapped);
}

// The boxes of a run without a display: what the launcher asked for.
inline std::vector<std::string> asked;
inline int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR title, UINT style) {
  asked.push_back(std::string(title) + "|" + text + "|" + std::to_string(style & 0xFFF));
  return IDOK;
}

// Every start of an engine is refused and counted.
inline int startsAsked = 0;
inline BOOL WINAPI RefusedProcess(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID,
                                  LPCSTR, LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
  ++startsAsked;
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// A folder as the system lists it, by name in either order, with the
// listing broken off after so many entries (0: the scan cannot start), as
// when the medium goes away.
struct Listing {
  static inline bool descending = false;
  static inline size_t breakAfter = SIZE_MAX, next = 0;
  static inline std::vector<WIN32_FIND_DATAA> entries;
  static void Use(bool inDescendingOrder, size_t entriesBeforeBreak = SIZE_MAX) {
    descending = inDescendingOrder;
    breakAfter = entriesBeforeBreak;
    tvSys.findFirstFile = First;
    tvSys.findNextFile = Next;
    tvSys.findClose = Close;
  }
  static BOOL WINAPI Close(HANDLE) { return TRUE; }
  static HANDLE WINAPI First(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    entries.clear();
    next = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = kTvSysDefault.findFirstFile(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE) return find;
    do entries.push_back(entry);
    while (kTvSysDefault.findNextFile(find, &entry));
    kTvSysDefault.findClose(find);
    std::sort(entries.begin(), entries.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
      return (lstrcmpiA(a.cFileName, b.cFileName) < 0) != descending;
    });
    return Next(nullptr, data) ? reinterpret_cast<HANDLE>(&entries) : INVALID_HANDLE_VALUE;
  }
  static BOOL WINAPI Next(HANDLE, LPWIN32_FIND_DATAA data) {
    SetLastError(next >= breakAfter ? ERROR_NETNAME_DELETED : ERROR_NO_MORE_FILES);
    if (next >= breakAfter || next == entries.size()) return FALSE;
    *data = entries[next++];
    return TRUE;
  }
};

const std::string kExclamationOk = std::to_string(MB_OK | MB_ICONEXCLAMATION);
const char kCopyError[] =
    "Error copying files.\n\nPlease check that you only have one installer instance running and try again.\nContact "
    "technical support for further assistance.";

// The staging folder's files when the engine starts ("/" after a folder),
// and whether the progress window was still there.
inline std::vector<std::string> atStart;
inline bool windowAtStart = false;
inline BOOL WINAPI ListedStart(LPCSTR program, LPSTR line, LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                               BOOL inherit, DWORD flags, LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                               LPPROCESS_INFORMATION started) {
  atStart.clear();
  windowAtStart = FindWindowA("TVSETUPPROGRESS", nullptr) != nullptr;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("*", &entry);
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(tolower(c)); });
    atStart.push_back(name + (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "/" : ""));
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  std::sort(atStart.begin(), atStart.end());
  return kTvSysDefault.createProcess(program, line, process, thread, inherit, flags, environment, folder, startup,
                                     started);
}

class Setup : public tvtest::FolderTest {
 protected:
  Setup() {
    TvBeginInstance();
    CopyFileA(tvtest::WindowsPath(PROBE_PROGRAM_UNIX_PATH).c_str(), (medium / "_ISmain").c_str(), FALSE);
    WriteFile(medium / "setup.inx", "script");
    WriteFile(medium / "data.ini", "[TvDefault]\r\n");
  }
  ~Setup() override {
    tvSys = kTvSysDefault;
    TvKernelSetVariant(nullptr);
    TvSetUserInterfaceMode(TvUiNoWindows);
    TvEndInstance();
    SetCurrentDirectoryA(dir.path().c_str());
  }
  int Run(const std::string& line) {
    const int code = TvSetupRun(line.c_str());
    SetCurrentDirectoryA(dir.path().c_str());
    return code;
  }
  // What the staged engine in folder recorded ("ran-": its command line,
  // "cwd-": its current folder), once it has run.
  static std::string Engine(const std::string& folder, const char* kind = "ran-") {
    const std::string ran = folder + "\\ran-setup.exe.txt";
    for (int i = 0; i < 500 && ReadFile(ran).empty(); ++i) Sleep(20);
    Sleep(100);
    return ReadFile(folder + "\\" + kind + "setup.exe.txt");
  }
  // The engine's arguments as its C runtime split them, joined by "|".
  static std::string EngineArgs(const std::string& folder) {
    Engine(folder);
    std::string args = ReadFile(folder + "\\args-setup.exe.txt");
    std::replace(args.begin(), args.end(), '\n', '|');
    return args;
  }
  std::string Options() const { return "-SRC:" + medium.path() + " -TMP:" + temp.path(); }

  // Each failure ends the run with its exit code and one message, and no
  // engine is ever asked to start but where that is the failure; box
  // reports how the message was shown.
  void CheckFailures(const std::function<std::vector<std::string>(const std::function<int()>&)>& box) {
    std::optional<tvtest::ScopedEnv> noTemp;
    std::optional<tvtest::Locked> held;
    std::optional<tvtest::ScopedCurrentDir> inMedium;
    const std::string staging = temp / "TarvelInst";
    std::string heldPath, heldBytes;
    auto hold = [&](const std::string& path, const std::string& bytes) {
      CreateDirectoryA(staging.c_str(), nullptr);
      WriteFile(heldPath = path, heldBytes = bytes);
      held.emplace(path);
    };
    struct Failure {
      const char* what;
      std::function<std::string()> prepare;
      int code;
      const char* message;
      bool noFolder;
      int starts = 0;  // engines asked to start
    };
    const char* const notLaunched =
        "Setup could not be launched. Please contact Tarvel Technical Support for assistance.";
    const std::vector<Failure> failures = {
        {"no setup.inx",
         [&] {
           DeleteFileA((medium / "setup.inx").c_str());
           return Options();
         },
         TvSetupNoSetupFiles, "Could not locate setup files.\nPlease contact technical support for assistance.", true},
        {"no temporary folder",
         [&] {
           noTemp.emplace("TEMP", nullptr);
           return "-SRC:" + medium.path();
         },
         TvSetupNoTempFolder, "Could not locate temporary directory.\nPlease contact technical support for assistance.",
         true},
        {"subfolder without its parent", [&] { return Options() + " -DATADIR:N"; }, TvSetupNoStagingFolder,
         "Could not create temporary directory.\nPlease contact technical support for assistance.", true},
        // The staging folder stays inside TarvelInst, whatever -DATADIR: says.
        {"subfolder that climbs out", [&] { return Options() + " -DATADIR:..\\up"; }, TvSetupNoStagingFolder,
         "Could not create temporary directory.\nPlease contact technical support for assistance.", true},
        {"destination held open",
         [&] {
           hold(staging + "\\data.ini", "old");
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        // A module the medium does not bring that cannot be removed: the
        // engine does not start beside it.
        {"module not on the medium held open",
         [&] {
           hold(staging + "\\version.dll", "planted");
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        // A read that fails is a failed copy, never a short file; so is a
        // write that fails half way through a file.
        {"read failure",
         [&] {
           tvtest::FileFaults::ArmOpenAndRead(0, 1);
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        {"write failure inside a file",
         [&] {
           Listing::Use(false);  // the engine, of several blocks, first
           tvtest::FileFaults::Arm(2);
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        // A medium whose listing cannot start, or breaks off after a file,
        // is not a medium of one file.
        {"scan cannot start",
         [&] {
           Listing::Use(false, 0);
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        {"scan breaks off",
         [&] {
           Listing::Use(false, 3);
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        {"engine cannot start", [&] { return Options(); }, TvSetupNotLaunched, notLaunched, false, 1},
        // Fifteen arguments of 17 characters fit the launcher's 255, but not
        // once each is quoted for the engine.
        {"passed-on arguments beyond 255 characters",
         [&] {
           inMedium.emplace(medium.path());
           noTemp.emplace("TEMP", temp.path().c_str());
           std::string line;
           for (int i = 0; i < 15; ++i) line += std::string(17, static_cast<char>('a' + i)) + " ";
           return line;
         },
         TvSetupNotLaunched, notLaunched, false},
        // The engine's path, the arguments and the source folder together
        // beyond the 511 characters of a command line.
        {"command line beyond 511 characters",
         [&] {
           const std::string deepTemp = temp / std::string(225 - temp.path().size(), 't');
           const std::string deepMedium = medium / std::string(200 - medium.path().size(), 'm');
           CreateDirectoryA(deepTemp.c_str(), nullptr);
           CreateDirectoryA(deepMedium.c_str(), nullptr);
           for (const char* name : {"setup.inx", "_ISmain"})
             CopyFileA((medium / name).c_str(), (deepMedium + "\\" + name).c_str(), FALSE);
           noTemp.emplace("TEMP", deepTemp.c_str());
           return "-SRC:" + deepMedium + " x" + std::string(20, '"') + " y" + std::string(20, '"');
         },
         TvSetupNotLaunched, notLaunched, false},
        // A name that fits on the medium but not under TarvelInst is never
        // cut into another name (last: it stays on the medium).
        {"staged path beyond 255 characters",
         [&] {
           WriteFile(medium / std::string(249 - medium.path().size(), 'n'), "x");
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
    };
    for (const Failure& f : failures) {
      SCOPED_TRACE(f.what);
      const std::string line = f.prepare();
      tvSys.createProcess = RefusedProcess;
      startsAsked = 0;
      int code = -1;
      const std::vector<std::string> shown = box([&] { return code = Run(line); });
      EXPECT_EQ(code, f.code);
      EXPECT_EQ(shown, std::vector<std::string>{std::string("Error|") + f.message + "|" + kExclamationOk});
      EXPECT_EQ(startsAsked, f.starts);
      if (f.noFolder) {
        EXPECT_FALSE(FileExists(staging));
      }
      tvSys = kTvSysDefault;
      noTemp.reset();
      inMedium.reset();
      if (held) {
        held.reset();
        EXPECT_EQ(ReadFile(heldPath), heldBytes);  // nothing lost
      }
      WriteFile(medium / "setup.inx", "script");
      tvtest::RemoveTree(staging);
    }
  }

  tvtest::TempDir medium, temp;
};

}  // namespace tvsetup
