// The meta-refresh timer of the dialog on screen, for both renderers: armed with the delay of the
// refresh the dialog's viewer announced, stopped when the dialog goes or the refresh is dropped;
// when it fires the dialog moves its viewer on (DialogRuntime::MetaTimerFired) and the renderer
// redraws. Main thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/window.h"
#include "ui/dialog_runtime.h"

namespace corvane::ui {

class MetaRefreshTimer {
 public:
  // Called after a refresh: the dialog and the page it moved to.
  using Fired = std::function<void(DialogRuntime& dialog, const std::string& target)>;

  MetaRefreshTimer(platform::WindowService& windows, Fired fired)
      : windows_(windows), fired_(std::move(fired)) {}
  ~MetaRefreshTimer() { Stop(); }
  MetaRefreshTimer(const MetaRefreshTimer&) = delete;
  MetaRefreshTimer& operator=(const MetaRefreshTimer&) = delete;

  // Follows the dialog's pending refresh: arms the timer for it, keeps a timer already armed for
  // it, or stops the timer when the dialog has none.
  void Sync(DialogRuntime& dialog);
  // The dialog is hidden or goes away: its timer stops.
  void Forget(const DialogRuntime& dialog) {
    if (dialog_ == &dialog) Stop();
  }
  void Stop();

 private:
  platform::WindowService& windows_;
  Fired fired_;
  uint64_t timer_ = 0;
  DialogRuntime* dialog_ = nullptr;
};

}  // namespace corvane::ui
