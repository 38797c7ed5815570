// intercept.cpp: holding back the Cancel button of one of the installer's
// windows. The library puts its own window procedure in front of the
// window's, swallows the Cancel command (WM_COMMAND from control 2 with
// notification 0) and only remembers that it came; the script polls that
// state and learns it once more when it ends the interception.
//
// The procedure runs on the thread that owns the window, the exports on the
// script's thread. The cancel flag is one aligned 32-bit word that the
// procedure only ever sets to 1 and the exports reset, so it needs no lock:
// a lost race reports a Cancel one poll later.
#include <atomic>

#include "exports.h"
#include "frame.h"
#include "intercept.h"
#include "tv_system.h"

namespace {

constexpr TvStatus kNoInterception = -8005;
constexpr WPARAM kCancelCommand = IDCANCEL;  // control 2, notification code 0

std::atomic<int32_t> cancelFlag{0};
static_assert(std::atomic<int32_t>::is_always_lock_free && sizeof(cancelFlag) == 4 &&
                  alignof(decltype(cancelFlag)) == 4,
              "the cancel flag is one aligned 32-bit word");

// The window whose procedure is replaced (none: nullptr), and the procedure
// that was in place before. Only the script's thread changes them; the
// window's thread reads the saved procedure while the window is ours.
HWND interceptedWindow = nullptr;
WNDPROC savedProcedure = nullptr;

LRESULT CALLBACK InterceptProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && wParam == kCancelCommand) {
    cancelFlag.store(1, std::memory_order_relaxed);
    return 0;
  }
  return TvWindowCallProcedure(savedProcedure, window, message, wParam, lParam);
}

// Puts the saved procedure back; the procedure it replaced.
WNDPROC Restore() { return TvWindowSetProcedure(interceptedWindow, savedProcedure); }

}  // namespace

TV_EXPORT int32_t TV_STDCALL TvIsi_StartWindowIntercept(INT_PTR window) {
  cancelFlag.store(0, std::memory_order_relaxed);
  char handle[2 * sizeof(INT_PTR) + 1];
  // "%lx": the whole handle in the 32-bit build; window handles are 32-bit
  // values in the 64-bit build too.
  TvFormat(handle, sizeof handle, "%lx", static_cast<unsigned long>(window));
  TV_FRAME(frame, handle);
  // A window still intercepted is let go first, so that the procedure saved
  // below can never be the library's own.
  if (interceptedWindow) {
    Restore();
    interceptedWindow = nullptr;
  }
  // A window that holds the library's procedure all the same (put there by
  // another party) is refused before anything is recorded: saved, that
  // procedure would pass every message on to itself.
  const WNDPROC current = TvWindowProcedure(reinterpret_cast<HWND>(window));
  if (current == InterceptProcedure) return frame.Return(TvErrFatal);
  interceptedWindow = reinterpret_cast<HWND>(window);
  savedProcedure = current;
  const WNDPROC previous = TvWindowSetProcedure(interceptedWindow, InterceptProcedure);
  return frame.Return(previous == nullptr ? TvErrFatal : TvOk);
}

TV_EXPORT int32_t TvIsi_StopWindowIntercept() {
  TV_FRAME(frame);
  if (!interceptedWindow) return frame.Return(kNoInterception);
  // Another party's procedure in front of the library's is bypassed now:
  // the window stays recorded and its Cancel state is kept.
  if (Restore() != InterceptProcedure) return frame.Return(TvErrFatal);
  interceptedWindow = nullptr;
  return frame.Return(cancelFlag.exchange(0, std::memory_order_relaxed));
}

TV_EXPORT int32_t TvIsi_GetCancelState() {
  TV_FRAME(frame);
  return frame.Return(cancelFlag.load(std::memory_order_relaxed));
}

void TvIsiEndInterception() {
  if (!interceptedWindow) return;
  // The saved procedure goes back even past another party's in front of
  // the library's (as Stop does): once unloaded, nothing may call in here.
  Restore();
  interceptedWindow = nullptr;
}
