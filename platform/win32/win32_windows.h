// The window service of Windows: real top-level windows for the dialogs, the message pump that
// handles one message per call, timers on SetTimer and the system tick count.
//
// A window made here has the application window style (its own taskbar button), a dialog frame
// that cannot be resized, a caption and a system menu; what it shows inside is the renderer's
// business (it subclasses the window). PumpOne takes one message from the thread's queue and
// hands it to the dialog manager first (Tab, Enter, Escape, accelerators) so that keyboard
// navigation works in every dialog.
//
// Main thread only, like every window of a thread.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <map>
#include <string>

#include "platform/window.h"

namespace corvane::platform::win32 {

// The window class of every dialog window.
inline constexpr char kDialogWindowClass[] = "TPoolTemplate";
// The hidden main window of the engine, which owns the icon in the notification area, and the
// message the icon sends it.
inline constexpr char kMainWindowClass[] = "TImageListPool";
inline constexpr UINT kTrayIconMessage = WM_APP + 1;

class Win32WindowService : public WindowService {
 public:
  Win32WindowService();
  ~Win32WindowService() override;

  // placement: the outer rectangle of the window.
  uint64_t MakeWindow(const std::string& name, const std::string& key, const std::string& caption,
                      const WindowRect& placement) override;
  uint64_t RecreateWindow(uint64_t window, const std::string& caption,
                          const WindowRect& placement) override;
  void ShowWindow(uint64_t window) override;
  void HideWindow(uint64_t window) override;
  void DestroyWindow(uint64_t window) override;
  void MoveWindow(uint64_t window, int left, int top) override;
  void SetCaption(uint64_t window, const std::string& caption) override;
  void RestoreWindow(uint64_t window) override;
  // The icon belongs to the hidden main window of the engine (class "TImageListPool"), made when
  // first needed, which also receives the icon's clicks.
  void ShowTrayIcon(const std::string& hint) override;
  void HideTrayIcon() override;
  void ShowBalloon(const std::string& title, const std::string& text, int kind,
                   uint32_t timeout_ms) override;
  // The renderer has drawn into the window's controls: the window paints now.
  void Paint(uint64_t window, const std::vector<std::string>& frame) override;
  int ScreenWidth() override;
  int ScreenHeight() override;

  // One message: kTimer for a timer, kInput (with an empty verb: the window handled it itself)
  // for any other, kNoInput once the thread's queue has been told to quit.
  Pumped PumpOne(uint64_t window, WindowInput* input) override;
  void ProcessPending() override;
  void Idle() override;

  uint64_t Now() override;
  uint64_t SetTimer(uint32_t interval_ms, std::function<void()> fire) override;
  void KillTimer(uint64_t timer) override;
  uint64_t NextDue() const override;

  // Takes a message out of the queue and handles it; false when the message is WM_QUIT (which
  // stays in the queue for whoever owns the loop).
  static bool Dispatch(MSG& msg);

 private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  static LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  HWND MainWindow();
  bool NotifyIcon(DWORD action, const NOTIFYICONDATAA* balloon = nullptr);
  HWND main_window_ = nullptr;
  std::string tray_hint_;
  struct Timer {
    uint32_t interval;
    uint64_t due;
    std::function<void()> fire;
  };
  std::map<UINT_PTR, Timer> timers_;
  bool quit_ = false;
};

}  // namespace corvane::platform::win32
