// error_window.cpp: the error log window of windowed programs: the
// message with OK and, for an error with a history, Details>>, which
// unfolds the error chain newest first and a check box for every recorded
// error. It runs its own message loop; the system's default dialog
// procedure does what the window does not do itself.
#include <windows.h>

#include <cstring>

#include "tv_context.h"
#include "tv_error.h"
#include "tv_history.h"
#include "tv_instance.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

constexpr char kClass[] = "TVERRORLOG";
enum Control : int { kIcon = 1, kText = 2, kOk = 3, kDetails = 4, kList = 5, kShowAll = 6 };
constexpr int kWidth = 300, kHeight = 128, kUnfoldedHeight = 268;
constexpr int kButtonWidth = 75, kButtonHeight = 26, kButtonTop = 60;

struct ErrorWindow {
  HWND window = nullptr;
  HFONT font = nullptr;
  bool done = false;
};

// The kernel string of index, "" when there is none.
const char* KernelText(int index) {
  const char* text = TvMsgText(tvContext.kernelStrings, index);
  return text ? text : "";
}

HWND AddControl(ErrorWindow& w, DWORD exStyle, const char* kind, const char* text, DWORD style, int id, int x, int y,
                int width, int height) {
  HWND control =
      CreateWindowExA(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, w.window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                      reinterpret_cast<HINSTANCE>(tvSys.getWindowLongPtr(w.window, GWLP_HINSTANCE)), nullptr);
  if (control) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(w.font), FALSE);
  return control;
}

SIZE TextExtent(HWND window, HFONT font, const char* text, bool lines) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  RECT r{0, 0, 0, 0};
  SIZE size{0, 0};
  if (lines) {
    DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_NOPREFIX);
    size = {r.right - r.left, r.bottom - r.top};
  } else {
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
  }
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

int HistoryCount() {
  int count = 0;
  while (TvErrorHistoryLine(true, count)) ++count;
  return count;
}

// Lists the latest error chain, or every entry, newest first; true when
// the list shows every entry of the history.
bool FillList(ErrorWindow& w, bool all) {
  HWND list = GetDlgItem(w.window, kList);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  int shown = 0;
  LONG widest = 0;
  for (const char* line; (line = TvErrorHistoryLine(all, shown)) != nullptr; ++shown) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    const SIZE size = TextExtent(list, w.font, line, false);
    if (size.cx > widest) widest = size.cx;
  }
  SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
  if (shown > 0) SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(shown - 1), 0);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  return shown == HistoryCount();
}

void Unfold(ErrorWindow& w) {
  RECT r;
  GetWindowRect(w.window, &r);
  SetWindowPos(w.window, nullptr, 0, 0, r.right - r.left, kUnfoldedHeight, SWP_NOMOVE | SWP_NOZORDER);
  RECT client;
  GetClientRect(w.window, &client);
  AddControl(w, WS_EX_CLIENTEDGE, "LISTBOX", "", WS_BORDER | WS_HSCROLL | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, kList, 10,
             108, client.right - 20, 100);
  HWND showAll = AddControl(w, 0, "BUTTON", KernelText(3), WS_TABSTOP | BS_AUTOCHECKBOX, kShowAll, 10, 216, 200, 18);
  if (FillList(w, false)) EnableWindow(showAll, FALSE);
  HWND ok = GetDlgItem(w.window, kOk);
  SetFocus(ok);
  SendMessageA(w.window, DM_SETDEFID, kOk, 0);
  SendMessageA(ok, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EnableWindow(GetDlgItem(w.window, kDetails), FALSE);
}

LRESULT CALLBACK ErrorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* w = reinterpret_cast<ErrorWindow*>(tvSys.getWindowLongPtr(window, DWLP_USER));
  // The loop waits for posted messages: one wakes it once the window is done.
  const auto finish = [window, w] {
    w->done = true;
    PostMessageA(window, WM_NULL, 0, 0);
    return 0;
  };
  if (w) {
    if (message == WM_CLOSE) return finish();
    if (message == WM_COMMAND) {
      const int id = LOWORD(wParam);
      // Enter answers the default button, Escape IDCANCEL without a control.
      if (id == kOk || (id == IDCANCEL && lParam == 0)) return finish();
      if (id == kDetails && IsWindowEnabled(GetDlgItem(window, kDetails))) {
        Unfold(*w);
        return 0;
      }
      if (id == kShowAll && HIWORD(wParam) == BN_CLICKED) {
        FillList(*w, SendDlgItemMessageA(window, kShowAll, BM_GETCHECK, 0, 0) == BST_CHECKED);
        return 0;
      }
    }
  }
  return DefDlgProcA(window, message, wParam, lParam);
}

// Creates the window and its controls; false when it cannot be shown.
bool Create(ErrorWindow& w, HINSTANCE module, const char* text, bool details) {
  w.window = CreateWindowExA(WS_EX_DLGMODALFRAME, kClass, tvInstance.title, WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0,
                             kWidth, kHeight, nullptr, nullptr, module, nullptr);
  if (!w.window) return false;
  tvSys.setWindowLongPtr(w.window, DWLP_USER, reinterpret_cast<LONG_PTR>(&w));
  w.font = static_cast<HFONT>(TvDialogFont(w.window));
  if (!w.font) return false;

  const SIZE extent = TextExtent(w.window, w.font, text, true);
  const int width = extent.cx + 80 > kWidth ? extent.cx + 80 : kWidth;
  SetWindowPos(w.window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, width, kHeight, SWP_NOZORDER);

  HWND icon = AddControl(w, 0, "STATIC", "", SS_ICON, kIcon, 10, 10, 32, 32);
  SendMessageA(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_EXCLAMATION)), 0);
  const int textX = (width - extent.cx) / 2 > 56 ? (width - extent.cx) / 2 : 56;
  AddControl(w, 0, "STATIC", text, SS_LEFT | SS_NOPREFIX, kText, textX, 26 - extent.cy / 2, extent.cx, extent.cy);
  AddControl(w, 0, "BUTTON", KernelText(1), WS_TABSTOP | BS_DEFPUSHBUTTON, kOk,
             details ? width / 2 - 83 : width / 2 - 37, kButtonTop, kButtonWidth, kButtonHeight);
  if (details)
    AddControl(w, 0, "BUTTON", KernelText(2), WS_TABSTOP | BS_PUSHBUTTON, kDetails, width / 2 + 8, kButtonTop,
               kButtonWidth, kButtonHeight);
  SendMessageA(w.window, DM_SETDEFID, kOk, 0);
  return true;
}

}  // namespace

int TvErrorWindowShow(const char* text, bool isError) {
  if (!tvContext.kernelStrings) return 0;
  text = TvStrOrEmpty(text);
  HINSTANCE module = tvInstance.module ? static_cast<HINSTANCE>(tvInstance.module) : GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = ErrorWindowProc;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(101));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClass;
  if (!RegisterClassA(&windowClass)) return 0;

  ErrorWindow w;
  const bool details = isError && TvErrorHistoryLine(true, 0) != nullptr;
  int shown = 0;
  if (Create(w, module, text, details)) {
    ShowWindow(w.window, SW_SHOW);
    SetFocus(GetDlgItem(w.window, kOk));
    MSG message;
    while (!w.done) {
      const BOOL got = GetMessageA(&message, nullptr, 0, 0);
      if (got <= 0) {
        if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // the program's loop must see it too
        break;
      }
      if (IsDialogMessageA(w.window, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    shown = 1;
  }
  if (w.window) DestroyWindow(w.window);
  if (w.font) DeleteObject(w.font);
  UnregisterClassA(kClass, module);
  return shown;
}

void* TvDialogFont(void* window) {
  HWND handle = static_cast<HWND>(window);
  HDC dc = GetDC(handle);
  const int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(handle, dc);
  return CreateFontA(-(8 * pixelsPerInch / 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                     "Ms Sans Serif");
}
