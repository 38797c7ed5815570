// The error log window of windowed programs, read and worked from a second
// thread the way a user sees it, and its fall-back to the system's message
// box. With TV_ERROR_WINDOW_SHOT set, the unfolded window is saved there as
// a bitmap (scripts/screenshot.sh makes docs/error-window.png from it).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kernel_fixture.h"

namespace {

enum : int { kIcon = 1, kText = 2, kOk = 3, kDetails = 4, kList = 5, kShowAll = 6 };

// A control's place in the window's client area: x, y, width, height
// (nothing when there is no such control).
std::vector<LONG> Place(HWND window, int id) {
  RECT r{};
  HWND control = GetDlgItem(window, id);
  if (!control) return {};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

SIZE WindowSize(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

std::vector<std::string> ListLines(HWND window) {
  std::vector<std::string> lines;
  HWND list = GetDlgItem(window, kList);
  const int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char line[512] = "";
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
    lines.push_back(line);
  }
  return lines;
}

void SaveBitmap(HWND window, const char* path) {
  RECT r;
  GetWindowRect(window, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const int stride = (width * 3 + 3) & ~3;
  std::string pixels(static_cast<size_t>(stride) * height, '\0');
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                        sizeof(BITMAPFILEHEADER) + sizeof info};
  tvtest::WriteFile(path, std::string(reinterpret_cast<char*>(&file), sizeof file) +
                              std::string(reinterpret_cast<char*>(&info), sizeof info) + pixels);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

class ErrorWindow : public tvtest::KernelTest {
 protected:
  ErrorWindow() {
    EXPECT_EQ(StartLogging("LogErrors=N\n"), 0);
    TvSetUserInterfaceMode(TvUiWindowed);
  }
  ~ErrorWindow() override { TvSetUserInterfaceMode(TvUiNoWindows); }
  // Reports title and code while work, on a second thread, looks at the
  // window and clicks its buttons; then presses OK.
  void Report(const char* title, TvStatus code, const std::function<void(HWND)>& work) {
    std::atomic<bool> found{false};
    std::thread user([&] {
      HWND window = nullptr;
      for (int i = 0; i < 500 && !window; ++i) {
        Sleep(20);
        window = FindWindowA("TVERRORLOG", "TESTMOD 1.0");
        if (window && !IsWindowVisible(window)) window = nullptr;  // shown once it is complete
      }
      if (!window) return;
      found = true;
      work(window);
      Click(window, kOk);
    });
    TvErrorReport(title, code);
    user.join();
    EXPECT_TRUE(found) << "no error window";
  }
  // A click on a control as its window hears of it; a check box changes
  // its state first.
  static void Click(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (id == kShowAll)
      SendMessageA(control, BM_SETCHECK,
                   SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  }
};

TEST_F(ErrorWindow, DetailsUnfoldTheErrorChainNewestFirst) {
  TvErrorRaise(-1012, "old.dat", TvRaiseOrigin);  // an older chain
  TvErrorRaise(-1010, "a.ini", TvRaiseOrigin);
  TvErrorRaise(-1031, nullptr, 0);
  Report("Title", -1031, [](HWND window) {
    EXPECT_EQ(WindowSize(window).cx * 1000 + WindowSize(window).cy, 300128);
    char text[200] = "";
    GetDlgItemTextA(window, kText, text, sizeof text);
    EXPECT_STREQ(text, "Title -- Could not locate ini file");
    const std::vector<LONG> t = Place(window, kText);
    EXPECT_EQ(t, (std::vector<LONG>{std::max((300 - t[2]) / 2, 56L), 26 - t[3] / 2, t[2], t[3]}));
    EXPECT_EQ(Place(window, kIcon), (std::vector<LONG>{10, 10, 32, 32}));
    EXPECT_EQ(Place(window, kOk), (std::vector<LONG>{150 - 83, 60, 75, 26}));
    EXPECT_EQ(Place(window, kDetails), (std::vector<LONG>{158, 60, 75, 26}));
    Click(window, kDetails);
    EXPECT_EQ(WindowSize(window).cy, 268);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kDetails)));
    EXPECT_EQ(Place(window, kShowAll), (std::vector<LONG>{10, 216, 200, 18}));
    const std::vector<std::string> chain = {">> Could not locate ini file", "> File not found (a.ini)"};
    EXPECT_EQ(ListLines(window), chain);
    Click(window, kShowAll);
    std::vector<std::string> all = chain;
    all.push_back("> File read failure (old.dat)");
    EXPECT_EQ(ListLines(window), all);
    if (const char* shot = getenv("TV_ERROR_WINDOW_SHOT")) SaveBitmap(window, shot);
    Click(window, kShowAll);
    EXPECT_EQ(ListLines(window), chain);
  });
  EXPECT_EQ(Logged(), "TESTMOD: Title -- >> Could not locate ini file\r\n> File not found (a.ini)\r\n");
}

// An error with an empty history, then a note with a chain recorded: OK
// alone, wider for a long text.
TEST_F(ErrorWindow, OkAloneWithoutAChainAndWiderForLongTexts) {
  const std::string wide(120, 'W');
  for (const auto& [title, code] : {std::pair{wide.c_str(), -1010}, std::pair{"Note", 0}}) {
    Report(title, code, [&](HWND window) {
      const int width = WindowSize(window).cx;
      EXPECT_EQ(width, std::max(300L, Place(window, kText)[2] + 80));
      EXPECT_EQ(width > 300, code != 0) << width;
      EXPECT_EQ(Place(window, kOk)[0], width / 2 - 37);
      EXPECT_TRUE(Place(window, kDetails).empty());
    });
    TvErrorRaise(-1010, "a.ini", TvRaiseOrigin);
  }
}

TEST_F(ErrorWindow, OneChainLeavesTheCheckBoxDisabled) {
  TvErrorRaise(-1010, "a.ini", TvRaiseOrigin);
  Report("Title", -1010, [](HWND window) {
    Click(window, kDetails);
    EXPECT_EQ(ListLines(window), std::vector<std::string>{"> File not found (a.ini)"});
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, kShowAll)));
  });
}

// Without a started kernel there are no kernel strings for the window: the
// report falls back to the system's message box.
std::vector<std::string> boxes;
int WINAPI RecordBox(HWND, LPCSTR text, LPCSTR, UINT style) {
  boxes.push_back(std::string(text) + "|" + std::to_string(style));
  return IDOK;
}

TEST_F(ErrorWindow, WithoutKernelStringsTheSystemBoxIsShown) {
  while (TvKernelStarted()) TvKernelShutdown(0);
  tvSys.messageBox = RecordBox;
  EXPECT_EQ(TvErrorWindowShow("text", true), 0);
  TvErrorReport("Title", 0);
  EXPECT_EQ(boxes, std::vector<std::string>{"Title|" + std::to_string(MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL)});
}

}  // namespace
