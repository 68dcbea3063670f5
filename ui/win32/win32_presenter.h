// The dialogs on the screen of Windows: a DialogPresenter that makes one real top-level window per
// dialog (through the platform's window service) and one child window per control, redraws them
// from the runtime's state after every input and timer, and turns what the user does into the
// runtime's input events.
//
//   platform::win32::Win32WindowService windows;
//   ui::win32::Win32Presenter presenter(windows, platform.pictures());
//   ui::DialogDisplay display(session, dialogs, presenter);
//
// Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "platform/pictures.h"
#include "platform/window.h"
#include "ui/dialog_display.h"
#include "ui/meta_refresh_timer.h"

namespace corvane::ui::win32 {

class DialogWindow;

class Win32Presenter : public DialogPresenter {
 public:
  Win32Presenter(platform::WindowService& windows, platform::PictureCodecs& codecs);
  ~Win32Presenter() override;

  uint64_t Show(DialogRuntime& dialog) override;
  uint64_t ShowHeldBack(DialogRuntime& dialog) override;
  void Hide(DialogRuntime& dialog) override;
  void Forget(DialogRuntime& dialog) override;
  void HideWindowOf(DialogRuntime& dialog) override;
  void RestoreWindowOf(DialogRuntime& dialog) override;
  void ShowTrayIcon(const std::string& hint) override { windows_.ShowTrayIcon(hint); }
  void HideTrayIcon() override { windows_.HideTrayIcon(); }
  bool TrayIconShown() override { return windows_.tray_icon_shown(); }
  void ShowBalloon(const std::string& title, const std::string& text, int kind,
                   uint32_t timeout_ms) override {
    windows_.ShowBalloon(title, text, kind, timeout_ms);
  }
  bool HandleOneMessage() override;
  void ProcessPendingMessages() override;
  DialogRuntime* Active() override { return active_; }
  void SetActive(DialogRuntime* dialog) override;
  void ExpectDialogs(const std::vector<DialogRuntime*>& dialogs) override;
  int ScreenWidth() override { return windows_.ScreenWidth(); }
  int ScreenHeight() override { return windows_.ScreenHeight(); }

  // The one-second dialog timer, started with the first window (DialogDisplay::TimerTick).
  std::function<void()> on_timer;

  // The window of a dialog shown before (nullptr when it never was), and the dialog on screen.
  HWND WindowOf(const DialogRuntime& dialog) const;
  DialogWindow* DialogWindowOf(const DialogRuntime& dialog) const;
  DialogRuntime* active() const { return active_; }
  // How long the last Show took, from the call until the window was on screen and painted.
  double last_show_ms() const { return last_show_ms_; }
  // Makes the window of the next expected dialog that has none yet, hidden; false when every
  // expected dialog has its window. HandleOneMessage calls it while no message waits.
  bool MakeExpectedWindow();

 private:
  void Resync();
  platform::WindowRect Placement(DialogRuntime& dialog);
  // Makes or places the dialog's window (hidden, unless it is on the screen already) and draws
  // the dialog's state into it.
  uint64_t Place(DialogRuntime& dialog);
  DialogWindow& Make(DialogRuntime& dialog, const platform::WindowRect& placement);

  platform::WindowService& windows_;
  platform::PictureCodecs& codecs_;
  std::map<const DialogRuntime*, std::unique_ptr<DialogWindow>> dialogs_;
  std::map<const DialogRuntime*, uint64_t> handles_;
  DialogRuntime* active_ = nullptr;
  std::vector<DialogRuntime*> expected_;
  std::set<const DialogRuntime*> held_back_;
  size_t next_expected_ = 0;
  uint64_t timer_ = 0;
  double last_show_ms_ = 0;
  MetaRefreshTimer meta_;
};

// The taskbar button of a window: progress, busy, paused and error states (ITaskbarList3, made
// once when first needed; nothing happens where the system has none).
class Taskbar {
 public:
  Taskbar() = default;
  ~Taskbar();
  Taskbar(const Taskbar&) = delete;
  Taskbar& operator=(const Taskbar&) = delete;
  // mode: the value of PROGRESSMODE ("MARQUEE", "ERROR", "PAUSE", anything else: normal).
  void Update(HWND window, const std::string& mode, int64_t position, int64_t maximum);
  // The overlay icon of the button (the engine's icon) with a description, or none.
  void Overlay(HWND window, bool on, const std::string& description);
  bool available();

 private:
  void* list_ = nullptr;  // ITaskbarList3
  bool tried_ = false;
};

// The engine's hooks of the dialog runtime on Windows: the session's (SessionDialogHooks), and
// the taskbar button of the dialog on screen following progress and the engine's questions.
class Win32DialogHooks : public SessionDialogHooks {
 public:
  Win32DialogHooks(interp::Session& session, Win32Presenter& presenter);
  void PauseTaskbar() override;
  void ErrorTaskbar() override;
  void RestoreTaskbar() override;
  void UpdateTaskbar(const std::string& mode, int64_t position, int64_t maximum) override;
  void SetTaskbarOverlay(bool on, const std::string& description) override;

 private:
  void Apply();
  Win32Presenter& presenter_;
  Taskbar taskbar_;
  int64_t position_ = 0, maximum_ = 100;
};

}  // namespace corvane::ui::win32
