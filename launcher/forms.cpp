// forms.cpp: the forms library's start-up and shut-down, and its message
// box. The box is the system's message box whatever the setting
// "CommonDialogs" says: this library has no forms of its own whose looks a
// box of its own would have to match (docs/launcher.md).
#include "forms.h"

#include <windows.h>

#include <iterator>

#include "tv_instance.h"
#include "tv_string.h"
#include "tv_system.h"

namespace {

int startCount = 0;

constexpr UINT kButtons[] = {MB_OK, MB_OK, MB_OKCANCEL, MB_RETRYCANCEL, MB_YESNO, MB_YESNOCANCEL};
constexpr UINT kIcons[] = {0, MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION, MB_ICONASTERISK};

UINT SystemStyle(uint32_t style) {
  const uint32_t buttons = style & 0xF, preferred = (style >> 4) & 0xF, icon = (style >> 8) & 0xF;
  UINT flags = buttons < std::size(kButtons) ? kButtons[buttons] : MB_OK;
  if (preferred == 2) flags |= MB_DEFBUTTON2;
  if (preferred == 3) flags |= MB_DEFBUTTON3;
  if (icon < std::size(kIcons)) flags |= kIcons[icon];
  return flags;
}

int Answer(int id) {
  switch (id) {
    case IDOK: return TvFormsAnswerOk;
    case IDCANCEL: return TvFormsAnswerCancel;
    case IDYES: return TvFormsAnswerYes;
    case IDNO: return TvFormsAnswerNo;
    case IDRETRY: return TvFormsAnswerRetry;
    default: return 0;
  }
}

}  // namespace

TvStatus TvFormsStartup() {
  if (!TvKernelStarted()) return TvErrorRaise(TvErrInstance, "TVFRMLA", TvRaiseOrigin);
  if (startCount++ == 0) TvRegisterLibrary("TVFRMLA", "1.10", ":4");
  return TvOk;
}

void TvFormsShutdown(TvStatus) {
  if (startCount > 0) --startCount;
}

int TvFormsMessageBox(const char* text, const char* title, uint32_t style) {
  const UINT flags = SystemStyle(style) | MB_TASKMODAL | MB_SETFOREGROUND;
  return Answer(tvSys.messageBox(nullptr, TvStrOrEmpty(text), TvStrOrEmpty(title), flags));
}
