// A DialogPresenter over the platform's window service: makes a window per display, paints the
// state of every control into it as text lines, and turns the window's input (verbs such as
// "click" or "type" aimed at a control's Name) into the runtime's input events. The simulated
// machine's window service answers from its answers file, which makes this the headless
// renderer; the variables an input wrote are noted for its log.
//
// Main thread only.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "interp/variables.h"
#include "platform/window.h"
#include "ui/dialog_display.h"
#include "ui/meta_refresh_timer.h"

namespace corvane::ui {

// One line per control (the form itself first is left out: its caption heads the window): name,
// class, value and state, as a headless screen shows them.
std::vector<std::string> PaintFrame(const DialogRuntime& dialog);
std::string DescribeControl(const ControlState& s);

class WindowPresenter : public DialogPresenter {
 public:
  WindowPresenter(platform::WindowService& windows, interp::Variables& variables);
  ~WindowPresenter() override;

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
  int ScreenWidth() override { return windows_.ScreenWidth(); }
  int ScreenHeight() override { return windows_.ScreenHeight(); }

  // The one-second dialog timer, started with the first window (DialogDisplay::TimerTick).
  std::function<void()> on_timer;

  // Acts on one input; false (and the window service told why) when the input cannot be used.
  bool Apply(DialogRuntime& dialog, const platform::WindowInput& input);

 private:
  void Repaint(DialogRuntime& dialog);
  // Makes or places the window of a display (hidden) and makes it the one input goes to.
  uint64_t Place(DialogRuntime& dialog);
  bool Act(DialogRuntime& dialog, const platform::WindowInput& input, std::string* why);
  // The texts of the tracked text controls are measured as they are shown (a text that fits
  // counts as read at once).
  void MeasureTexts(DialogRuntime& dialog);

  platform::WindowService& windows_;
  interp::Variables& variables_;
  std::map<const DialogRuntime*, uint64_t> handles_;
  DialogRuntime* active_ = nullptr;  // the dialog shown last and not hidden since
  std::set<const DialogRuntime*> held_back_;
  uint64_t timer_ = 0;
  MetaRefreshTimer meta_;
};

}  // namespace corvane::ui
