// The launcher: its command-line vector, the staging of a medium whose
// engine is a probe program that records how it was started, its failures
// with their one message each, the forms library's message box, and the
// program as it ships.
#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "forms.h"
#include "kernel_fixture.h"
#include "setup.h"

namespace {

using tvtest::FileExists;
using tvtest::ReadFile;
using tvtest::WriteFile;

// A message box titled "Error" as the user sees it.
struct Box {
  std::string text;
  std::vector<int> buttons;  // identifiers of the visible buttons, in order
  int preferred = 0;         // the default button
  HICON icon = nullptr;
};

BOOL CALLBACK CollectControl(HWND child, LPARAM seen) {
  Box& box = *reinterpret_cast<Box*>(seen);
  char kind[32] = "";
  GetClassNameA(child, kind, sizeof kind);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if (!IsWindowVisible(child)) return TRUE;
  if (lstrcmpiA(kind, "Button") == 0) {
    box.buttons.push_back(GetDlgCtrlID(child));
    if ((style & 0xF) == BS_DEFPUSHBUTTON) box.preferred = GetDlgCtrlID(child);
  } else if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
    box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  }
  return TRUE;
}

Box Read(HWND window) {
  Box box;
  char text[1024] = "";
  GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
  box.text = text;
  EnumChildWindows(window, CollectControl, reinterpret_cast<LPARAM>(&box));
  return box;
}

// While it lives, reads every box titled "Error" and presses the button
// that press chooses for it.
class BoxWatcher {
 public:
  explicit BoxWatcher(std::function<int(const Box&)> press)
      : thread_([this, press] {
          HWND last = nullptr;
          while (!done_) {
            HWND window = FindWindowA("#32770", "Error");
            if (window && window != last && IsWindowVisible(window)) {
              last = window;
              Box box = Read(window);
              seen.push_back(box);
              PostMessageA(window, WM_COMMAND, press(box), 0);
            }
            Sleep(20);
          }
        }) {}
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

// The boxes of a run without a display: what the launcher asked for.
std::vector<std::string> asked;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR title, UINT style) {
  asked.push_back(std::string(title) + "|" + text + "|" + std::to_string(style & 0xFFF));
  return IDOK;
}

BOOL WINAPI RefusedProcess(LPCSTR, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCSTR,
                           LPSTARTUPINFOA, LPPROCESS_INFORMATION) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

BOOL WINAPI FailedRead(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_CRC);
  return FALSE;
}

const std::string kExclamationOk = std::to_string(MB_OK | MB_ICONEXCLAMATION);

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
  std::string Options() const { return "-SRC:" + medium.path() + " -TMP:" + temp.path(); }

  // Each failure ends the run with its exit code and one message; box
  // reports how the message was shown.
  void CheckFailures(const std::function<std::vector<std::string>(const std::function<int()>&)>& box) {
    std::optional<tvtest::ScopedEnv> noTemp;
    std::optional<tvtest::Locked> held;
    const std::string staging = temp / "TarvelInst";
    struct Failure {
      const char* what;
      std::function<std::string()> prepare;
      int code;
      const char* message;
      bool noFolder;
    };
    const std::vector<Failure> failures = {
        {"no setup.inx", [&] { DeleteFileA((medium / "setup.inx").c_str()); return Options(); }, TvSetupNoSetupFiles,
         "Could not locate setup files.\nPlease contact technical support for assistance.", true},
        {"no temporary folder", [&] { noTemp.emplace("TEMP", nullptr); return "-SRC:" + medium.path(); },
         TvSetupNoTempFolder, "Could not locate temporary directory.\nPlease contact technical support for assistance.",
         true},
        {"subfolder without its parent", [&] { return Options() + " -DATADIR:N"; }, TvSetupNoStagingFolder,
         "Could not create temporary directory.\nPlease contact technical support for assistance.", true},
        {"destination held open",
         [&] {
           CreateDirectoryA(staging.c_str(), nullptr);
           WriteFile(staging + "\\data.ini", "old");
           held.emplace(staging + "\\data.ini");
           return Options();
         },
         TvSetupCopyFailed,
         "Error copying files.\n\nPlease check that you only have one installer instance running and try "
         "again.\nContact technical support for further assistance.",
         false},
        {"engine cannot start",
         [&] {
           tvSys.createProcess = RefusedProcess;
           return Options();
         },
         TvSetupNotLaunched, "Setup could not be launched. Please contact Tarvel Technical Support for assistance.",
         false},
    };
    for (const Failure& f : failures) {
      SCOPED_TRACE(f.what);
      const std::string line = f.prepare();
      int code = -1;
      const std::vector<std::string> shown = box([&] { return code = Run(line); });
      EXPECT_EQ(code, f.code);
      EXPECT_EQ(shown, std::vector<std::string>{std::string("Error|") + f.message + "|" + kExclamationOk});
      if (f.noFolder) {
        EXPECT_FALSE(FileExists(staging));
      }
      tvSys = kTvSysDefault;
      noTemp.reset();
      held.reset();
      if (f.code == TvSetupCopyFailed) {
        EXPECT_EQ(ReadFile(staging + "\\data.ini"), "old");  // nothing lost
      }
      WriteFile(medium / "setup.inx", "script");
      tvtest::RemoveTree(staging);
    }
  }

  tvtest::TempDir medium, temp;
};

TEST_F(Setup, SplitsTheCommandLineIntoAtMostFifteenArgumentsOf255Characters) {
  struct Case {
    std::string line;
    std::vector<std::string> args;
  };
  const std::string a100(100, 'a'), b100(100, 'b'), c60(60, 'c');
  const std::vector<Case> cases = {
      {"", {}},
      {"  a  -x \"long name\" ", {"a", "-x", "long name"}},
      {"\"\" \"open ended", {"", "open ended"}},
      {"\"a b\"c d", {"a b", "c", "d"}},
      {"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13", "14", "15"}},
      {a100 + " " + b100 + " " + c60 + " d", {a100, b100}},        // 260 characters: the third overruns
      {a100 + " " + b100 + " " + std::string(55, 'c') + " d", {a100, b100, std::string(55, 'c')}},  // 255 exactly
  };
  for (const Case& c : cases) {
    TvSetupArgs args;
    TvSetupSplit(c.line.c_str(), &args);
    std::vector<std::string> got(args.text + 1, args.text + args.count);
    EXPECT_EQ(got, c.args) << c.line;
    EXPECT_STREQ(args.text[0], "");
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
  ASSERT_EQ(Run("-SRC " + Options() + " a -x \"long name\" -sRc"), TvSetupLaunched);
  EXPECT_TRUE(asked.empty());
  const std::string ran = Engine(staging);
  const std::string tail = "  a -x \"long name\"  p \"" + medium.path() + "\"";
  EXPECT_EQ(ran, staging + "\\setup.exe" + tail);
  EXPECT_EQ(Engine(staging, "cwd-"), staging);
  EXPECT_EQ(ReadFile(staging + "\\setup.exe"), ReadFile(medium / "_ISmain"));
  EXPECT_EQ(ReadFile(staging + "\\big.dat"), big);
  EXPECT_EQ(ReadFile(staging + "\\data.ini"), "[TvDefault]\r\n");
  for (const char* left : {"_ISmain", ".hidden-by-name", "hidden.txt", "Folder"})
    EXPECT_FALSE(FileExists(staging + "\\" + left)) << left;

  // The subfolder goes one level below an existing TarvelInst; files of an
  // earlier run are overwritten.
  WriteFile(medium / "data.ini", "new");
  ASSERT_EQ(Run(Options() + " -datadir:N"), TvSetupLaunched);
  EXPECT_EQ(Engine(staging + "\\N"), staging + "\\N\\setup.exe   p \"" + medium.path() + "\"");
  EXPECT_EQ(ReadFile(staging + "\\N\\data.ini"), "new");
}

TEST_F(Setup, WithoutASourceTheCurrentFolderIsTheMedium) {
  tvtest::ScopedCurrentDir inMedium(medium.path());
  ASSERT_EQ(TvSetupRun(("-TMP:" + temp.path() + " x").c_str()), TvSetupLaunched);
  const std::string staging = temp / "TarvelInst";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe  x  p \"\"");
  EXPECT_TRUE(FileExists(staging + "\\data.ini"));
}

TEST_F(Setup, EachFailureEndsWithItsCodeAndOneMessage) {
  CheckFailures([](const std::function<int()>& run) {
    asked.clear();
    tvSys.messageBox = RecordBox;
    run();
    return asked;
  });
  // A read that fails is a failed copy, never a short file.
  tvSys.readFile = FailedRead;
  asked.clear();
  tvSys.messageBox = RecordBox;
  EXPECT_EQ(Run(Options()), TvSetupCopyFailed);
  EXPECT_EQ(asked.size(), 1u);
}

// Under a display: the boxes themselves, found by their title.
TEST_F(Setup, FailuresShowTheirMessageBoxOnce) {
  const HICON exclamation = LoadIconA(nullptr, IDI_EXCLAMATION);
  CheckFailures([&](const std::function<int()>& run) {
    BoxWatcher watcher([](const Box&) { return IDOK; });
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
  const std::vector<Case> cases = {
      {TvFormsOk, {IDOK}, IDOK, nullptr, IDOK, TvFormsAnswerOk},
      {9, {IDOK}, IDOK, nullptr, IDOK, TvFormsAnswerOk},
      {TvFormsOkCancel | TvFormsDefault2 | TvFormsIconStop, {IDOK, IDCANCEL}, IDCANCEL, IDI_HAND, IDCANCEL,
       TvFormsAnswerCancel},
      {TvFormsRetryCancel | TvFormsIconQuestion, {IDRETRY, IDCANCEL}, IDRETRY, IDI_QUESTION, IDRETRY,
       TvFormsAnswerRetry},
      {TvFormsYesNo | TvFormsIconExclamation, {IDYES, IDNO}, IDYES, IDI_EXCLAMATION, IDYES, TvFormsAnswerYes},
      {TvFormsYesNoCancel | TvFormsDefault3 | TvFormsIconInformation, {IDYES, IDNO, IDCANCEL}, IDCANCEL,
       IDI_ASTERISK, IDNO, TvFormsAnswerNo},
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

// setup.exe as it ships: its own command line, its version resource, and
// the library's.
TEST_F(Setup, TheShippedProgramStagesTheMediumAndCarriesItsVersion) {
  const std::string program = tvtest::WindowsPath(SETUP_EXE_UNIX_PATH);
  EXPECT_EQ(tvtest::RunProgram("\"" + program + "\" " + Options() + " \"a b\"", dir / "out.txt"), 0u);
  const std::string staging = temp / "TarvelInst";
  EXPECT_EQ(Engine(staging), staging + "\\setup.exe  \"a b\"  p \"" + medium.path() + "\"");

  struct Binary {
    std::string path, text;
    DWORD high, low;
  };
  char shown[80];
  TvRevisionDisplay(TV_SETUP_REVISION, shown, sizeof shown);
  const std::vector<Binary> binaries = {
      {program, std::string(TV_SETUP_VERSION " ") + shown, MAKELONG(10, 1), MAKELONG(0, 4)},
      {tvtest::ExtensionPath(), "2.63 (18)", MAKELONG(63, 2), MAKELONG(0, 18)},
  };
  for (const Binary& b : binaries) {
    DWORD ignored = 0;
    std::string data(GetFileVersionInfoSizeA(b.path.c_str(), &ignored), '\0');
    ASSERT_FALSE(data.empty()) << b.path;
    ASSERT_TRUE(GetFileVersionInfoA(b.path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
    EXPECT_EQ(fixed->dwFileVersionMS, b.high);
    EXPECT_EQ(fixed->dwFileVersionLS, b.low);
    EXPECT_EQ(fixed->dwProductVersionMS, b.high);
    char* text = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\080904E4\\FileVersion", reinterpret_cast<void**>(&text),
                               &size));
    EXPECT_EQ(std::string(text), b.text);
    HMODULE module = LoadLibraryExA(b.path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
    FreeLibrary(module);
  }
}

}  // namespace
