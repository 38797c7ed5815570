// The launcher as it ships against planted libraries, its failures with their
// one message each, the forms library's message box and the progress window.
#include "setup_fixture.h"

namespace {

using namespace tvsetup;

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
  calls.push_back(std::string("GetProcAddress ") + (module == GetModuleHandleA("kernel32.dll") ? "kernel32 " : "? ") +
                  name);
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
  ASSERT_TRUE(
      CopyFileA(tvtest::WindowsPath(LIBRARY_PROBE_UNIX_PATH).c_str(), (downloads + "\\plain.exe").c_str(), FALSE));
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
  const std::vector<Case> cases = {
      // style word: icon, default button, buttons
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
    const DWORD took = GetTickCount() - began;
    progress.Stop();
    boxes.Stop();
    // A copy done within the delay shows no window (on a loaded machine the
    // fast copy may take longer, and then shows one rightly).
    if (run.heading || took < kTvProgressDelay) {
      EXPECT_EQ(heading, run.heading ? run.heading : "");
      EXPECT_GE(shownAfter, run.heading ? kTvProgressDelay : 0u);
      EXPECT_EQ(files.size() >= 2 && bar.size() >= 2 && std::is_sorted(bar.begin(), bar.end()),
                run.heading && !run.cancel);
    }
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
