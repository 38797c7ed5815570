// progress.cpp: the copy's progress window. The copy looks at it at most
// every 100 ms between two blocks, to show the window once the copy has run
// half a second, move its bar and file name, and hear Cancel; the rest of
// the time the copy runs at its own speed. The bar is drawn here, so the
// launcher needs no library beyond the ones it imports.
#include "progress.h"

#include <windows.h>

#include <commctrl.h>

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

struct Progress {
  bool following = false, failed = false, cancelled = false, registered = false, newFile = false;
  uint64_t total = 0, done = 0;
  DWORD start = 0, lastLook = 0, delay = 0;
  char file[kTvPathSize] = "";
  HWND window = nullptr;
  HFONT font = nullptr;
  HINSTANCE module = nullptr;
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
  HDC dc = GetDC(progress.window);
  const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(progress.window, dc);
  progress.font =
      CreateFontA(-(8 * pixelsPerInch / 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Ms Sans Serif");
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

// Shows the file and the bar as they are now and lets the window answer.
void Refresh() {
  if (progress.newFile) SetDlgItemTextA(progress.window, kFile, progress.file);
  progress.newFile = false;
  const uint64_t done = progress.done < progress.total ? progress.done : progress.total;
  const WPARAM position = progress.total ? static_cast<WPARAM>(done * kBarRange / progress.total) : 0;
  SendDlgItemMessageA(progress.window, kBar, PBM_SETPOS, position, 0);
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {  // the program is asked to end: so is the copy
      PostQuitMessage(static_cast<int>(message.wParam));
      progress.cancelled = true;
      break;
    }
    if (IsDialogMessageA(progress.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Look(DWORD now) {
  progress.lastLook = now;
  if (!progress.window && !progress.failed && now - progress.start >= progress.delay) progress.failed = !Open();
  if (progress.window) Refresh();
}

}  // namespace

void TvProgressBegin(uint64_t total, uint32_t delay) {
  TvProgressEnd();
  progress.following = true;
  progress.total = total;
  progress.delay = delay;
  progress.start = GetTickCount();
  progress.lastLook = progress.start - kLookEvery;
}

void TvProgressFile(const char* name) {
  if (!progress.following) return;
  TvStrCopy(progress.file, TvStrOrEmpty(name), sizeof progress.file);
  progress.newFile = true;
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
  if (progress.window) DestroyWindow(progress.window);
  if (progress.font) DeleteObject(progress.font);
  if (progress.registered) {
    UnregisterClassA(kClass, progress.module);
    UnregisterClassA(kBarClass, progress.module);
  }
  progress = Progress{};
}
