// progress.cpp: the copy's progress window. Between two blocks the copy
// looks at the clock; at most every 100 ms it updates the bar's position
// and, once it has run half a second, starts the window's thread, which
// shows the window and refreshes it every 100 ms. Cancel sets a flag the
// copy reads after each block. The bar is drawn here, so the launcher needs
// no library beyond the ones it imports.
#include "progress.h"

#include <windows.h>

#include <commctrl.h>

#include <atomic>

#include "tv_error.h"
#include "tv_instance.h"
#include "tv_string.h"

namespace {

constexpr char kClass[] = "TVSETUPPROGRESS";
constexpr char kBarClass[] = "TVSETUPBAR";
enum Control : int { kHeading = 1, kFile = 3, kBar = 4 };  // Cancel is IDCANCEL
constexpr int kClientWidth = 340, kClientHeight = 120, kMargin = 12;
constexpr DWORD kLookEvery = 100;  // milliseconds
constexpr int kBarRange = 1000;    // the bar's position: thousandths of the bytes

struct Texts {
  uint16_t language;
  const char* heading;
  const char* cancel;
};
// clang-format off
constexpr Texts kTexts[] = {
    {44, "Preparing the installation…", "Cancel"},
    {1, "Preparing the installation…", "Cancel"},
    {49, "Die Installation wird vorbereitet…", "Abbrechen"},
    {33, "Préparation de l'installation…", "Annuler"},
    {31, "De installatie wordt voorbereid…", "Annuleren"},
    {34, "Preparando la instalación…", "Cancelar"},
    {0, nullptr, nullptr},
};
// clang-format on

// The copying thread follows the copy and starts the window's thread; the
// two share the file name (under the lock), the bar's position and the
// two flags.
struct Progress {
  bool following = false, failed = false;
  uint64_t total = 0, done = 0;
  DWORD start = 0, lastLook = 0, delay = 0, threadId = 0;
  HANDLE thread = nullptr;
  CRITICAL_SECTION lock;
  char file[kTvPathSize] = "";
  bool newFile = false;
  std::atomic<int> position{0};
  std::atomic<bool> cancelled{false}, closing{false};
  // The window's thread's.
  HWND window = nullptr;
  HFONT font = nullptr;
  HINSTANCE module = nullptr;
  bool registered = false;
};
Progress progress;

void PaintBar(HWND bar) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(bar, &paint);
  RECT r;
  GetClientRect(bar, &r);
  FrameRect(dc, &r, GetSysColorBrush(COLOR_BTNSHADOW));
  InflateRect(&r, -1, -1);
  RECT filled = r;
  filled.right = r.left + MulDiv(r.right - r.left, static_cast<int>(GetWindowLongPtrA(bar, GWLP_USERDATA)), kBarRange);
  FillRect(dc, &filled, GetSysColorBrush(COLOR_HIGHLIGHT));
  r.left = filled.right;
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  EndPaint(bar, &paint);
}

// The bar answers the position messages of the system's progress bar.
LRESULT CALLBACK BarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == PBM_GETPOS) return GetWindowLongPtrA(bar, GWLP_USERDATA);
  if (message == PBM_SETPOS) {
    const LONG_PTR old = GetWindowLongPtrA(bar, GWLP_USERDATA);
    SetWindowLongPtrA(bar, GWLP_USERDATA, static_cast<LONG_PTR>(wParam));
    if (old != static_cast<LONG_PTR>(wParam)) InvalidateRect(bar, nullptr, FALSE);
    return old;
  }
  if (message == WM_PAINT) {
    PaintBar(bar);
    return 0;
  }
  return DefWindowProcA(bar, message, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
    progress.cancelled = true;
    return 0;
  }
  return DefDlgProcA(window, message, wParam, lParam);
}

HWND AddControl(const char* kind, const char* text, DWORD style, int id, int y, int width, int height) {
  HWND control =
      CreateWindowExA(0, kind, text, WS_CHILD | WS_VISIBLE | style, (kClientWidth - width) / 2, y, width, height,
                      progress.window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), progress.module, nullptr);
  if (control) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(progress.font), FALSE);
  return control;
}

bool Register() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = progress.module;
  windowClass.hIcon = LoadIconA(progress.module, MAKEINTRESOURCEA(101));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClass;
  if (!RegisterClassA(&windowClass)) return false;
  windowClass.lpfnWndProc = BarProc;
  windowClass.cbWndExtra = 0;
  windowClass.hIcon = nullptr;
  windowClass.lpszClassName = kBarClass;
  if (RegisterClassA(&windowClass)) return progress.registered = true;
  UnregisterClassA(kClass, progress.module);
  return false;
}

// Creates and shows the window; false when it cannot be shown.
bool Open() {
  progress.module = tvInstance.module ? static_cast<HINSTANCE>(tvInstance.module) : GetModuleHandleA(nullptr);
  if (!Register()) return false;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
  const int width = r.right - r.left, height = r.bottom - r.top;
  progress.window = CreateWindowExA(
      WS_EX_DLGMODALFRAME, kClass, tvInstance.title, style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, progress.module, nullptr);
  if (!progress.window) return false;
  progress.font = static_cast<HFONT>(TvDialogFont(progress.window));
  const Texts* texts = TvLanguageSelect(kTexts, 0);
  const int line = kClientWidth - 2 * kMargin;
  AddControl("STATIC", texts->heading, SS_LEFT | SS_NOPREFIX, kHeading, kMargin, line, 16);
  AddControl("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kFile, 34, line, 16);
  AddControl(kBarClass, "", 0, kBar, 56, line, 18);
  AddControl("BUTTON", texts->cancel, WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL, 84, 75, 26);
  ShowWindow(progress.window, SW_SHOW);
  UpdateWindow(progress.window);
  return true;
}

// Shows the file and the bar as they are now.
void Refresh() {
  char file[kTvPathSize] = "";
  EnterCriticalSection(&progress.lock);
  const bool newFile = progress.newFile;
  if (newFile) TvStrCopy(file, progress.file, sizeof file);
  progress.newFile = false;
  LeaveCriticalSection(&progress.lock);
  if (newFile) SetDlgItemTextA(progress.window, kFile, file);
  SendDlgItemMessageA(progress.window, kBar, PBM_SETPOS, static_cast<WPARAM>(progress.position.load()), 0);
}

// The window's own thread, so that the window answers the user even while
// the copying thread waits on a long read from a slow medium.
DWORD WINAPI WindowThread(void*) {
  if (Open()) {
    while (!progress.closing) {
      Refresh();
      MsgWaitForMultipleObjects(0, nullptr, FALSE, kLookEvery, QS_ALLINPUT);
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageA(progress.window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
  if (progress.window) DestroyWindow(progress.window);
  if (progress.font) DeleteObject(progress.font);
  if (progress.registered) {
    UnregisterClassA(kClass, progress.module);
    UnregisterClassA(kBarClass, progress.module);
  }
  return 0;
}

void Look(DWORD now) {
  progress.lastLook = now;
  const uint64_t done = progress.done < progress.total ? progress.done : progress.total;
  progress.position = progress.total ? static_cast<int>(done * kBarRange / progress.total) : 0;
  if (progress.thread || progress.failed || now - progress.start < progress.delay) return;
  progress.thread = CreateThread(nullptr, 0, WindowThread, nullptr, 0, &progress.threadId);
  progress.failed = !progress.thread;
}

}  // namespace

void TvProgressBegin(uint64_t total, uint32_t delay) {
  TvProgressEnd();
  InitializeCriticalSection(&progress.lock);
  progress.following = true;
  progress.total = total;
  progress.delay = delay;
  progress.start = GetTickCount();
  progress.lastLook = progress.start - kLookEvery;
}

void TvProgressFile(const char* name) {
  if (!progress.following) return;
  EnterCriticalSection(&progress.lock);
  TvStrCopy(progress.file, TvStrOrEmpty(name), sizeof progress.file);
  progress.newFile = true;
  LeaveCriticalSection(&progress.lock);
  TvProgressStep(0);
}

bool TvProgressStep(uint32_t count) {
  if (!progress.following) return true;
  progress.done += count;
  const DWORD now = GetTickCount();
  if (now - progress.lastLook >= kLookEvery) Look(now);
  return !progress.cancelled;
}

void TvProgressEnd() {
  if (!progress.following) return;
  if (progress.thread) {
    progress.closing = true;
    PostThreadMessageA(progress.threadId, WM_NULL, 0, 0);  // a window that waits hears it at once
    WaitForSingleObject(progress.thread, INFINITE);
    CloseHandle(progress.thread);
  }
  DeleteCriticalSection(&progress.lock);
  progress.following = progress.failed = progress.newFile = progress.registered = false;
  progress.total = progress.done = 0;
  progress.thread = nullptr;
  progress.window = nullptr;
  progress.font = nullptr;
  progress.position = 0;
  progress.cancelled = progress.closing = false;
}
