// The launcher: its command-line vector, the staging of a medium whose
// engine is a probe program that records how it was started, its failures
// with their one message each, the forms library's message box, and the
// program as it ships.
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

namespace {

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

BOOL CALLBACK CollectControl(HWND child, LPARAM seen) {
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
DWORD slowBy = 0;
std::atomic<bool> readDue{false};
std::function<void()> atRead;
BOOL WINAPI SlowRead(HANDLE file, LPVOID data, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  if (readDue.exchange(false)) atRead();
  Sleep(slowBy);
  return kTvSysDefault.readFile(file, data, size, got, overlapped);
}

// The boxes of a run without a display: what the launcher asked for.
std::vector<std::string> asked;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR title, UINT style) {
  asked.push_back(std::string(title) + "|" + text + "|" + std::to_string(style & 0xFFF));
  return IDOK;
}

// Every start of an engine is refused and counted.
int startsAsked = 0;
BOOL WINAPI RefusedProcess(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                           LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
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
    const char* const notLaunched = "Setup could not be launched. Please contact Tarvel Technical Support for assistance.";
    const std::vector<Failure> failures = {
        {"no setup.inx", [&] { DeleteFileA((medium / "setup.inx").c_str()); return Options(); }, TvSetupNoSetupFiles,
         "Could not locate setup files.\nPlease contact technical support for assistance.", true},
        {"no temporary folder", [&] { noTemp.emplace("TEMP", nullptr); return "-SRC:" + medium.path(); },
         TvSetupNoTempFolder, "Could not locate temporary directory.\nPlease contact technical support for assistance.",
         true},
        {"subfolder without its parent", [&] { return Options() + " -DATADIR:N"; }, TvSetupNoStagingFolder,
         "Could not create temporary directory.\nPlease contact technical support for assistance.", true},
        // The staging folder stays inside TarvelInst, whatever -DATADIR: says.
        {"subfolder that climbs out", [&] { return Options() + " -DATADIR:..\\up"; }, TvSetupNoStagingFolder,
         "Could not create temporary directory.\nPlease contact technical support for assistance.", true},
        {"destination held open", [&] { hold(staging + "\\data.ini", "old"); return Options(); }, TvSetupCopyFailed,
         kCopyError, false},
        // A module the medium does not bring that cannot be removed: the
        // engine does not start beside it.
        {"module not on the medium held open", [&] { hold(staging + "\\version.dll", "planted"); return Options(); },
         TvSetupCopyFailed, kCopyError, false},
        // A read that fails is a failed copy, never a short file; so is a
        // write that fails half way through a file.
        {"read failure", [&] { tvtest::FileFaults::ArmOpenAndRead(0, 1); return Options(); }, TvSetupCopyFailed,
         kCopyError, false},
        {"write failure inside a file",
         [&] {
           Listing::Use(false);  // the engine, of several blocks, first
           tvtest::FileFaults::Arm(2);
           return Options();
         },
         TvSetupCopyFailed, kCopyError, false},
        // A medium whose listing cannot start, or breaks off after a file,
        // is not a medium of one file.
        {"scan cannot start", [&] { Listing::Use(false, 0); return Options(); }, TvSetupCopyFailed, kCopyError, false},
        {"scan breaks off", [&] { Listing::Use(false, 3); return Options(); }, TvSetupCopyFailed, kCopyError, false},
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

TEST_F(Setup, SplitsTheCommandLineIntoAtMostFifteenArgumentsOf255Characters) {
  const std::string a(100, 'a'), b(100, 'b'), c(55, 'c');
  const std::vector<std::pair<std::string, std::string>> cases = {  // line, arguments joined by "|"
      {"", ""},
      {"  a  -x \"long name\" ", "a|-x|long name"},
      {"\"\" \"open ended", "|open ended"},
      {"\"a b\"c d", "a b|c|d"},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", "1|2|3|4|5|6|7|8|9|10|11|12|13|14|15"},
      {a + " " + b + " " + c + " d", a + "|" + b + "|" + c},  // 255 characters: "d" overruns
      {a + " " + b + " " + c + "cc d", a + "|" + b},          // the third overruns
  };
  for (const auto& [line, expected] : cases) {
    TvSetupArgs args;
    TvSetupSplit(line.c_str(), &args);
    std::string got = args.text[0];  // the program name, empty
    for (int i = 1; i < args.count; ++i) got += (i > 1 ? "|" : "") + std::string(args.text[i]);
    EXPECT_EQ(got, expected) << line;
  }
}

TEST_F(Setup, StagesTheMediumAndStartsItsEngineThere) {
  WriteFile(medium / "SETUP.EXE", "the launcher itself");
  WriteFile(medium / ".hidden-by-name", "x");
  WriteFile(medium / "hidden.txt", "x");
  SetFileAttributesA((medium / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryA((medium / "Folder").c_str(), nullptr);
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 251);
  WriteFile(medium / "big.dat", big);

  asked.clear();
  tvSys.messageBox = RecordBox;
  const std::string staging = temp / "TarvelInst";
  // The medium's setup.exe is the launcher: the staged one is the engine
  // whichever of the two the medium lists first (here the engine first).
  Listing::Use(false);
  ASSERT_EQ(Run("-SRC " + Options() + " a -x \"long name\" ab -sRc"), TvSetupLaunched);
  EXPECT_TRUE(asked.empty());
  const std::string tail = "  a -x \"long name\" \"ab\"  p \"" + medium.path() + "\"";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe" + tail);
  EXPECT_EQ(EngineArgs(staging), "a|-x|long name|ab|p|" + medium.path() + "|");
  EXPECT_EQ(Engine(staging, "cwd-"), staging);
  EXPECT_EQ(ReadFile(staging + "\\setup.exe"), ReadFile(medium / "_ISmain"));
  EXPECT_EQ(ReadFile(staging + "\\big.dat"), big);
  EXPECT_EQ(ReadFile(staging + "\\data.ini"), "[TvDefault]\r\n");
  for (const char* left : {"_ISmain", ".hidden-by-name", "hidden.txt", "Folder"})
    EXPECT_FALSE(FileExists(staging + "\\" + left)) << left;

  // The subfolder goes one level below an existing TarvelInst; files of an
  // earlier run are overwritten. Options count by their first three
  // letters, and the engine's name in any case; the launcher is listed
  // first now.
  WriteFile(medium / "data.ini", "new");
  ASSERT_TRUE(DeleteFileA((medium / "_ISmain").c_str()));
  ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(PROBE_PROGRAM_UNIX_PATH).c_str(), (medium / "_isMAIN").c_str(), FALSE));
  Listing::Use(true);
  ASSERT_EQ(Run("-SRC:" + medium.path() + " -tMx:" + temp.path() + " -datadir:N"), TvSetupLaunched);
  EXPECT_EQ(Engine(staging + "\\N"), staging + "\\N\\setup.exe   p \"" + medium.path() + "\"");
  EXPECT_EQ(ReadFile(staging + "\\N\\setup.exe"), ReadFile(medium / "_isMAIN"));
  EXPECT_EQ(ReadFile(staging + "\\N\\data.ini"), "new");
}

// setup.exe as it ships, started in the medium without -SRC: and without a
// home directory: the current folder is the medium, and the engine hears
// "". Names beginning with "!" or "$" are files of the medium like any
// other, not names in the kernel's home or data folder.
TEST_F(Setup, TheShippedProgramTakesTheCurrentFolderAsTheMedium) {
  const std::vector<std::pair<std::string, std::string>> files = {{"!x", "bang"}, {"$x", "dollar"}, {"x", "plain"}};
  for (const auto& [name, bytes] : files) WriteFile(medium / name, bytes);
  tvtest::ScopedCurrentDir inMedium(medium.path());
  const std::string program = tvtest::WindowsPath(SETUP_EXE_UNIX_PATH);
  BoxWatcher boxes;  // none expected; a failure must not wait for a click
  EXPECT_EQ(tvtest::RunProgram("\"" + program + "\" -TMP:" + temp.path() + " x", dir / "out.txt"), 0u);
  const std::string staging = temp / "TarvelInst";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe  x  p \"\"");
  EXPECT_TRUE(FileExists(staging + "\\data.ini"));
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(staging + "\\" + name), bytes) << name;
}

// setup.exe as it ships, with relative folders (taken from the folder it
// starts in, before the staging folder becomes current) and a source folder
// that is a drive's root: its C runtime gives the engine every argument and
// the folder exactly as they were given, blanks, quotes and a trailing
// backslash included.
TEST_F(Setup, TheEngineReadsItsArgumentsAndFoldersAsGiven) {
  const std::string parent = medium.path().substr(0, medium.path().rfind('\\'));
  const std::string mediumName = medium.path().substr(parent.size() + 1);
  const std::string tempName = temp.path().substr(parent.size() + 1);
  const std::string program = "\"" + tvtest::WindowsPath(SETUP_EXE_UNIX_PATH) + "\" ";
  const std::string hostile = " \"C:\\dir\\\" a\"b -q\"r \"-x y\" \\";
  const std::string args = "C:\\dir\\|a\"b|-q\"r|-x y|\\|p|";
  const std::string staging = temp / "TarvelInst";
  tvtest::ScopedCurrentDir inParent(parent);
  BoxWatcher boxes;
  EXPECT_EQ(tvtest::RunProgram(program + "-SRC:" + mediumName + " -TMP:.\\" + tempName + hostile, dir / "out.txt"), 0u);
  EXPECT_EQ(EngineArgs(staging), args + medium.path() + "|");
  EXPECT_EQ(Engine(staging, "cwd-"), staging);

  // T: is a drive of the test's Wine prefix, empty but for this medium.
  const std::string root = "T:\\";
  ASSERT_TRUE(FileExists(root));
  for (const char* name : {"setup.inx", "_ISmain"}) CopyFileA((medium / name).c_str(), (root + name).c_str(), FALSE);
  EXPECT_EQ(tvtest::RunProgram(program + "-SRC:" + root + " -TMP:" + tempName + " -DATADIR:R" + hostile, dir / "out.txt"),
            0u);
  for (const char* name : {"setup.inx", "_ISmain"}) DeleteFileA((root + name).c_str());
  EXPECT_EQ(EngineArgs(staging + "\\R"), args + root + "|");
}

// A kernel that cannot start (the configuration TVINI names is missing)
// reports itself and ends the run with 6 before anything is staged.
TEST_F(Setup, AKernelThatCannotStartEndsTheRunWithSix) {
  tvtest::ScopedEnv missing("TVINI", (dir / "missing.ini").c_str());
  // The report is the kernel's error window where one can be made (the
  // 32-bit Wine here makes none): closed as a user would.
  BoxWatcher report([](const Box&) { return IDCANCEL; }, "TVERRORLOG", nullptr);
  const std::string program = tvtest::WindowsPath(SETUP_EXE_UNIX_PATH);
  EXPECT_EQ(tvtest::RunProgram("\"" + program + "\" " + Options(), dir / "out.txt"), 6u);
  report.Stop();
  EXPECT_LE(report.seen.size(), 1u);
  EXPECT_FALSE(FileExists(temp / "TarvelInst"));
}

// The staging folder's files when the engine starts ("/" after a folder),
// and whether the progress window was still there.
std::vector<std::string> atStart;
bool windowAtStart = false;
BOOL WINAPI ListedStart(LPCSTR program, LPSTR line, LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
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

// Modules left in TarvelInst that the medium does not bring, by an earlier
// run or by anybody who can write to the temporary folder, hidden or not,
// are gone when the engine starts, each with its log line; a module the
// medium brings under the same name is staged and kept, and data files and
// folders of an earlier run stay.
TEST_F(Setup, TheEngineStartsBesideNoModuleButTheMediums) {
  const std::string staging = temp / "TarvelInst";
  CreateDirectoryA(staging.c_str(), nullptr);
  CreateDirectoryA((staging + "\\old.dll").c_str(), nullptr);
  WriteFile(medium / "Helper.dll", "the medium's");
  const std::vector<std::string> planted = {"version.dll", "old.OCX", ".dot.dll", "setup.exe.local"};
  for (const std::string& name : planted) WriteFile(staging + "\\" + name, "planted");
  for (const char* name : {"HELPER.DLL", "setup.exe", "old.dat"}) WriteFile(staging + "\\" + name, "earlier");
  SetFileAttributesA((staging + "\\version.dll").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFile(dir / "setup.ini", "[TvDefault]\r\nLogFile=" + (dir / "setup.log") + "\r\n");
  tvtest::ScopedEnv ini("TVINI", (dir / "setup.ini").c_str());
  tvSys.createProcess = ListedStart;
  ASSERT_EQ(Run(Options()), TvSetupLaunched);
  EXPECT_EQ(atStart, (std::vector<std::string>{"data.ini", "helper.dll", "old.dat", "old.dll/", "setup.exe", "setup.inx"}));
  EXPECT_EQ(ReadFile(staging + "\\helper.dll"), "the medium's");
  EXPECT_EQ(ReadFile(staging + "\\setup.exe"), ReadFile(medium / "_ISmain"));
  std::vector<std::string> removed;
  std::istringstream log(ReadFile(dir / "setup.log"));
  for (std::string line; std::getline(log, line);)
    if (line.rfind("Removed ", 0) == 0) removed.push_back(line);
  std::vector<std::string> expected;
  for (const std::string& name : planted)
    expected.push_back("Removed " + staging + "\\" + name + ": a module the medium does not hold\r");
  std::sort(removed.begin(), removed.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(removed, expected);
}

// What the launcher asks of the system to restrict its library search, in
// order: SetDefaultDllDirectories where the system has it and takes it,
// else SetDllDirectoryA("").
std::vector<std::string> calls;
BOOL restrictAnswer = TRUE;
BOOL WINAPI RestrictedTo(DWORD flags) {
  calls.push_back("SetDefaultDllDirectories " + std::to_string(flags));
  return restrictAnswer;
}
FARPROC offered = nullptr;
FARPROC WINAPI AskedFor(HMODULE module, LPCSTR name) {
  calls.push_back(std::string("GetProcAddress ") + (module == GetModuleHandleA("kernel32.dll") ? "kernel32 " : "? ") + name);
  return offered;
}
BOOL WINAPI CurrentFolderOut(LPCSTR path) {
  calls.push_back(std::string("SetDllDirectoryA \"") + path + "\"");
  return TRUE;
}

// A library planted beside setup.exe (in a downloads folder, say) or in the
// folder it starts in is not the one loaded by its name: a test build of
// setup.exe, its own entry with library loads for its run, does not load
// it, while a program without that entry does; a system library is found
// either way. (Wine's loader takes a copy beside the program of a library
// Wine itself provides, version.dll say, whatever the search: the planted
// library here is one of a name only it provides.)
TEST_F(Setup, ALibraryPlantedBesideTheLauncherIsNotLoaded) {
  const std::string set = "SetDefaultDllDirectories " + std::to_string(LOAD_LIBRARY_SEARCH_SYSTEM32),
                    ask = "GetProcAddress kernel32 SetDefaultDllDirectories", out = "SetDllDirectoryA \"\"";
  const struct {
    bool available;
    BOOL answer;
    std::vector<std::string> calls;
  } systems[] = {{true, TRUE, {ask, set}}, {true, FALSE, {ask, set, out}}, {false, TRUE, {ask, out}}};
  for (const auto& system : systems) {
    calls.clear();
    offered = system.available ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(RestrictedTo)) : nullptr;
    restrictAnswer = system.answer;
    tvSys.getProcAddress = AskedFor;
    tvSys.setDllDirectory = CurrentFolderOut;
    TvSetupRestrictLibrarySearch();
    EXPECT_EQ(calls, system.calls);
  }
  tvSys = kTvSysDefault;

  const std::string downloads = dir / "Downloads", current = dir / "current";
  CreateDirectoryA(downloads.c_str(), nullptr);
  CreateDirectoryA(current.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(SETUP_LIBRARY_PROBE_UNIX_PATH).c_str(), (downloads + "\\setup.exe").c_str(),
                        FALSE));
  ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(LIBRARY_PROBE_UNIX_PATH).c_str(), (downloads + "\\plain.exe").c_str(), FALSE));
  tvtest::ScopedCurrentDir there(current);
  for (const std::string& folder : {downloads, current}) {
    const std::string planted = folder + "\\tvplanted.dll";
    ASSERT_TRUE(CopyFileA(tvtest::WindowsPath(PLANTED_LIBRARY_UNIX_PATH).c_str(), planted.c_str(), FALSE));
    for (const bool restricted : {false, true}) {
      SCOPED_TRACE(planted + (restricted ? ", restricted" : ""));
      const DWORD code = tvtest::RunProgram(downloads + (restricted ? "\\setup.exe" : "\\plain.exe"), dir / "out.txt");
      std::istringstream out(ReadFile(dir / "out.txt"));
      std::string loaded, system;
      std::getline(out, loaded);
      std::getline(out, system);
      EXPECT_EQ(code, restricted ? 0u : 1u);
      EXPECT_EQ(loaded, restricted ? "-" : planted);
      EXPECT_NE(system.rfind("-", 0), 0u) << "version.dll not found";
    }
    DeleteFileA(planted.c_str());
  }
}

TEST_F(Setup, EachFailureEndsWithItsCodeAndOneMessage) {
  CheckFailures([](const std::function<int()>& run) {
    asked.clear();
    tvSys.messageBox = RecordBox;
    run();
    return asked;
  });
}

// Under a display: the boxes themselves, found by their title.
TEST_F(Setup, FailuresShowTheirMessageBoxOnce) {
  const HICON exclamation = LoadIconA(nullptr, IDI_EXCLAMATION);
  CheckFailures([&](const std::function<int()>& run) {
    BoxWatcher watcher;
    run();
    watcher.Stop();
    std::vector<std::string> shown;
    for (const Box& b : watcher.seen) {
      EXPECT_EQ(b.icon, exclamation);
      EXPECT_EQ(b.buttons, std::vector<int>{IDOK});
      shown.push_back("Error|" + b.text + "|" + kExclamationOk);
    }
    return shown;
  });
}

TEST_F(Setup, TheFormsMessageBoxFollowsItsStyleWord) {
  struct Case {
    uint32_t style;
    std::vector<int> buttons;
    int preferred;
    LPCSTR icon;
    int press, answer;
  };
  const std::vector<Case> cases = {  // style word: icon, default button, buttons
      {0x001, {IDOK}, IDOK, nullptr, IDOK, 1024},
      {0x009, {IDOK}, IDOK, nullptr, IDOK, 1024},
      {0x122, {IDOK, IDCANCEL}, IDCANCEL, IDI_HAND, IDCANCEL, 1025},
      {0x203, {IDRETRY, IDCANCEL}, IDRETRY, IDI_QUESTION, IDRETRY, 1028},
      {0x304, {IDYES, IDNO}, IDYES, IDI_EXCLAMATION, IDYES, 1026},
      {0x435, {IDYES, IDNO, IDCANCEL}, IDCANCEL, IDI_ASTERISK, IDNO, 1027},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    BoxWatcher watcher([&](const Box&) { return c.press; });
    EXPECT_EQ(TvFormsMessageBox("Question?", "Error", c.style), c.answer);
    watcher.Stop();
    ASSERT_EQ(watcher.seen.size(), 1u);
    const Box& b = watcher.seen[0];
    EXPECT_EQ(b.text, "Question?");
    EXPECT_EQ(b.buttons, c.buttons);
    EXPECT_EQ(b.preferred, c.preferred);
    EXPECT_EQ(b.icon, c.icon ? LoadIconA(nullptr, c.icon) : nullptr);
  }
}

// A slow medium shows its progress after half a second, a fast one never;
// the window is gone before the engine starts. Cancel stops the copy
// between two blocks, leaves no file cut short and starts nothing; a second
// launcher staging into the same folder meanwhile is told so.
TEST_F(Setup, ASlowCopyShowsItsProgressAndCanBeCancelled) {
  std::string block(1024 * 1024, 'b');  // 16 blocks each
  for (const char* name : {"big1.dat", "big2.dat", "big3.dat"}) WriteFile(medium / name, block);
  // clang-format off
  const struct { const char* what; DWORD slow; bool cancel, second; const char* language; int code;
                 const char* heading; } runs[] = {  // heading nullptr: no window
      {"fast", 0, false, false, "44", TvSetupLaunched, nullptr},
      {"slow, with a second launcher", 40, false, true, "44", TvSetupLaunched, "Preparing the installation…"},
      {"slow, cancelled", 40, true, false, "49", TvSetupCancelled, "Die Installation wird vorbereitet…"}};
  // clang-format on
  const std::string staging = temp / "TarvelInst";
  for (const auto& run : runs) {
    SCOPED_TRACE(run.what);
    WriteFile(dir / "setup.ini", std::string("[TvDefault]\r\nLanguage=") + run.language + "\r\n");
    tvtest::ScopedEnv ini("TVINI", (dir / "setup.ini").c_str());
    DWORD secondCode = 0, began = GetTickCount(), shownAfter = 0;
    atRead = [&] {  // while the first stages
      secondCode = tvtest::RunProgram(tvtest::WindowsPath(SETUP_EXE_UNIX_PATH) + " " + Options(), dir / "out.txt");
    };
    slowBy = run.slow;
    tvSys.readFile = SlowRead;
    tvSys.createProcess = ListedStart;
    windowAtStart = true;
    // The window as a user sees it: its heading, its file names and bar
    // positions in order (unless it is gone before a control answers).
    std::string heading;
    std::vector<std::string> files;
    std::vector<LRESULT> bar;
    const auto look = [&](HWND window) {
      if (!shownAfter) shownAfter = GetTickCount() - began, readDue = run.second;
      const auto ask = [window](int id, UINT message, WPARAM w, LPARAM l, DWORD_PTR* answer) {
        return SendMessageTimeoutA(GetDlgItem(window, id), message, w, l, SMTO_BLOCK, 2000, answer) != 0;
      };
      char text[256] = "", file[256] = "";
      DWORD_PTR position = 0;
      if (!ask(1, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), &position) ||
          !ask(3, WM_GETTEXT, sizeof file, reinterpret_cast<LPARAM>(file), &position) ||
          !ask(4, PBM_GETPOS, 0, 0, &position))
        return;
      heading = text;
      if (files.empty() || files.back() != file) files.push_back(file);
      if (bar.empty() || bar.back() != static_cast<LRESULT>(position)) bar.push_back(position);
      if (run.cancel && !strncmp(file, "big", 3)) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    };
    BoxWatcher boxes, progress([](const Box&) { return 0; }, "TVSETUPPROGRESS", nullptr, look);
    EXPECT_EQ(Run(Options()), run.code);
    progress.Stop();
    boxes.Stop();
    EXPECT_EQ(heading, run.heading ? run.heading : "");
    EXPECT_GE(shownAfter, run.heading ? kTvProgressDelay : 0u);
    EXPECT_EQ(files.size() >= 2 && bar.size() >= 2 && std::is_sorted(bar.begin(), bar.end()),
              run.heading && !run.cancel);
    EXPECT_EQ(windowAtStart, run.code != TvSetupLaunched);  // left true when nothing started
    // The second launcher's one message, and the first's none.
    EXPECT_EQ(secondCode, run.second ? 4u : 0u);
    std::vector<std::string> texts;
    for (const Box& box : boxes.seen) texts.push_back(box.text);
    EXPECT_EQ(texts, std::vector<std::string>(run.second ? 1 : 0, kCopyError));
    // What is staged is whole; cancelled, something is not staged.
    int staged = 0, whole = 0;
    for (const char* name : {"_ISmain", "setup.inx", "data.ini", "big1.dat", "big2.dat", "big3.dat"}) {
      const std::string copy = ReadFile(staging + "\\" + (name[0] == '_' ? "setup.exe" : name));
      staged += !copy.empty();
      whole += copy == ReadFile(medium / name);
    }
    EXPECT_EQ(whole, staged);
    EXPECT_EQ(staged < 6, run.cancel);
    if (run.code == TvSetupLaunched) Engine(staging);  // done with the folder
    tvSys = kTvSysDefault;
    tvtest::RemoveTree(staging);
  }
}

}  // namespace
