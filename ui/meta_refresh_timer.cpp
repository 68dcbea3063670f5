#include "ui/meta_refresh_timer.h"

#include <algorithm>

namespace corvane::ui {

void MetaRefreshTimer::Stop() {
  if (timer_) windows_.KillTimer(timer_);
  timer_ = 0;
  dialog_ = nullptr;
}

void MetaRefreshTimer::Sync(DialogRuntime& dialog) {
  if (!dialog.pending_refresh()) {
    if (dialog_ == &dialog) Stop();
    return;
  }
  if (timer_ && dialog_ == &dialog) return;
  Stop();
  // A day at most: a delay beyond it is no refresh a user waits for.
  const int64_t delay = std::clamp<int64_t>(dialog.pending_refresh()->delay_ms, 1, 86400000);
  dialog_ = &dialog;
  timer_ = windows_.SetTimer(static_cast<uint32_t>(delay), [this] {
    DialogRuntime* d = dialog_;
    Stop();  // fires once
    if (!d || !d->pending_refresh()) return;
    const std::string target = d->pending_refresh()->target;
    d->MetaTimerFired();
    if (fired_) fired_(*d, target);
    Sync(*d);  // the new page may move on in its turn
  });
}

}  // namespace corvane::ui
