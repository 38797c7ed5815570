// Holding back Cancel, through the library as it ships, on a real window
// owned by a second thread that pumps its messages while this thread calls
// the exports as a script would. The cases without a window run on both
// builds; those with one only where programs can make windows.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "exports.h"
#include "test_support.h"

namespace {

// The installer's window: its own procedure notes every command it sees.
class InstallerWindow {
 public:
  InstallerWindow() {
    std::promise<HWND> made;
    thread_ = std::thread([this, &made] {
      WNDCLASSA kind{};
      kind.lpfnWndProc = Procedure;
      kind.hInstance = GetModuleHandleA(nullptr);
      kind.lpszClassName = "TvInstallerWindow";
      RegisterClassA(&kind);
      HWND window = CreateWindowA(kind.lpszClassName, "Setup", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  kind.hInstance, nullptr);
      for (int id : {IDOK, IDCANCEL})
        buttons_.push_back(CreateWindowA("BUTTON", id == IDOK ? "OK" : "Cancel", WS_CHILD | WS_VISIBLE, 10 + 100 * id,
                                         10, 80, 24, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                         kind.hInstance, nullptr));
      made.set_value(window);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    });
    window_ = made.get_future().get();
  }
  ~InstallerWindow() {
    SendMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND Handle() const { return window_; }
  void Click(int id) const { SendMessageA(buttons_[id == IDOK ? 0 : 1], BM_CLICK, 0, 0); }
  LONG_PTR ProcedureSlot() const { return GetWindowLongPtrA(window_, GWLP_WNDPROC); }
  static inline std::vector<WPARAM> commands;  // what reached the window's own procedure

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) commands.push_back(wParam);
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
  }
  HWND window_ = nullptr;
  std::vector<HWND> buttons_;
  std::thread thread_;
};

LRESULT CALLBACK AnotherParty(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

class Intercept : public tvtest::LibraryTest {
 protected:
  void SetUp() override {
    Begin();
    InstallerWindow::commands.clear();
  }
  TV_BIND(start, TvIsi_StartWindowIntercept);
  TV_BIND(stop, TvIsi_StopWindowIntercept);
  TV_BIND(state, TvIsi_GetCancelState);
};

using InterceptWithoutWindow = Intercept;

TEST_F(Intercept, CancelIsHeldBackUntilTheScriptEndsTheInterception) {
  InstallerWindow window;
  const LONG_PTR own = window.ProcedureSlot();
  const auto handle = reinterpret_cast<INT_PTR>(window.Handle());
  Log();
  EXPECT_EQ(start(handle), 0);
  EXPECT_EQ(stop(), 0);  // no click
  EXPECT_EQ(start(handle), 0);
  window.Click(IDCANCEL);
  window.Click(IDCANCEL);
  EXPECT_TRUE(IsWindow(window.Handle()));
  EXPECT_TRUE(InstallerWindow::commands.empty());
  EXPECT_EQ(state(), 1);
  EXPECT_EQ(state(), 1);
  EXPECT_EQ(stop(), 1);
  EXPECT_EQ(state(), 0);
  EXPECT_EQ(stop(), -8005);
  EXPECT_EQ(window.ProcedureSlot(), own);
  char hex[32];
  snprintf(hex, sizeof hex, "%lx", static_cast<unsigned long>(handle));
  const std::string started = "> TvIsi_StartWindowIntercept (" + std::string(hex) +
                              ")\r\n< TvIsi_StartWindowIntercept = 0\r\n> TvIsi_StopWindowIntercept\r\n";
  EXPECT_EQ(Log(), started + "< TvIsi_StopWindowIntercept = 0\r\n" + started +
                       "< TvIsi_StopWindowIntercept = 1\r\n> TvIsi_StopWindowIntercept\r\n"
                       "< TvIsi_StopWindowIntercept = -8005\r\n");
  // Once the interception has ended, Cancel reaches the window again.
  window.Click(IDCANCEL);
  EXPECT_EQ(InstallerWindow::commands, std::vector<WPARAM>{IDCANCEL});
  // The library unloaded while the window is intercepted (the script ended
  // without a Stop): the window has its own procedure back.
  ASSERT_EQ(start(handle), 0);
  Stop();
  lib->Unload();
  EXPECT_EQ(window.ProcedureSlot(), own);
  SetWindowLongPtrA(window.Handle(), GWLP_WNDPROC, own);  // whatever a faulty unload left there
  window.Click(IDCANCEL);
  EXPECT_EQ(InstallerWindow::commands, (std::vector<WPARAM>{IDCANCEL, IDCANCEL}));
}

TEST_F(Intercept, EveryOtherMessageReachesTheWindow) {
  InstallerWindow window;
  const auto handle = reinterpret_cast<INT_PTR>(window.Handle());
  ASSERT_EQ(start(handle), 0);
  window.Click(IDOK);
  SendMessageA(window.Handle(), WM_COMMAND, IDOK, 0);
  SendMessageA(window.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_DOUBLECLICKED), 0);
  EXPECT_EQ(InstallerWindow::commands, (std::vector<WPARAM>{IDOK, IDOK, MAKEWPARAM(IDCANCEL, BN_DOUBLECLICKED)}));
  EXPECT_EQ(state(), 0);
  // A second start on the window while it is intercepted, after a Cancel:
  // the state starts again from 0, and the procedure the library saves is
  // still the window's own, so messages still get through and Cancel is
  // still held back.
  window.Click(IDCANCEL);
  EXPECT_EQ(state(), 1);
  EXPECT_EQ(start(handle), 0);
  EXPECT_EQ(state(), 0);
  window.Click(IDOK);
  window.Click(IDCANCEL);
  EXPECT_EQ(InstallerWindow::commands.size(), 4u);
  EXPECT_EQ(stop(), 1);
}

TEST_F(Intercept, AnotherPartysProceduresAreBypassedOrRefused) {
  InstallerWindow window, other;
  const LONG_PTR own = window.ProcedureSlot(), otherOwn = other.ProcedureSlot();
  ASSERT_EQ(start(reinterpret_cast<INT_PTR>(window.Handle())), 0);
  // Another party copies the library's procedure into a second window: a
  // start there is refused before anything is recorded (saved, the
  // procedure would pass every message on to itself), and the first
  // window has been let go.
  const LONG_PTR library = window.ProcedureSlot();
  SetWindowLongPtrA(other.Handle(), GWLP_WNDPROC, library);
  EXPECT_EQ(start(reinterpret_cast<INT_PTR>(other.Handle())), -1000);
  EXPECT_EQ(window.ProcedureSlot(), own);
  EXPECT_EQ(stop(), -8005);
  EXPECT_EQ(other.ProcedureSlot(), library);
  SetWindowLongPtrA(other.Handle(), GWLP_WNDPROC, otherOwn);

  // Another party in front of the library's procedure is bypassed.
  ASSERT_EQ(start(reinterpret_cast<INT_PTR>(window.Handle())), 0);
  window.Click(IDCANCEL);
  SetWindowLongPtrA(window.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnotherParty));
  EXPECT_EQ(stop(), -1000);
  EXPECT_EQ(window.ProcedureSlot(), own);  // the saved procedure is back all the same
  EXPECT_EQ(state(), 1);                   // and the Cancel state kept
  EXPECT_EQ(stop(), -1000);                // the window stays recorded
}

TEST_F(InterceptWithoutWindow, NothingInterceptedOrNoWindowGiveTheirStatus) {
  Log();
  EXPECT_EQ(stop(), -8005);
  EXPECT_EQ(state(), 0);
  EXPECT_EQ(start(0x1234), -1000);
  EXPECT_EQ(stop(), -1000);  // still recorded: the procedure is tried again
  EXPECT_EQ(state(), 0);
  EXPECT_EQ(Log(),
            "> TvIsi_StopWindowIntercept\r\n< TvIsi_StopWindowIntercept = -8005\r\n"
            "> TvIsi_StartWindowIntercept (1234)\r\n< TvIsi_StartWindowIntercept = -1000\r\n"
            "> TvIsi_StopWindowIntercept\r\n< TvIsi_StopWindowIntercept = -1000\r\n");
}

}  // namespace
