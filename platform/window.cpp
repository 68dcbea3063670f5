#include "platform/window.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvane::platform {

uint64_t WindowService::Now() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

uint64_t WindowService::SetTimer(uint32_t interval_ms, std::function<void()> fire) {
  const uint32_t interval = std::max<uint32_t>(interval_ms, 1);
  const uint64_t id = next_timer_id_++;
  timers_.push_back({id, interval, Now() + interval, std::move(fire)});
  return id;
}

void WindowService::KillTimer(uint64_t timer) {
  timers_.erase(
      std::remove_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == timer; }),
      timers_.end());
}

uint64_t WindowService::NextDue() const {
  uint64_t due = 0;
  for (const Timer& t : timers_) {
    if (due == 0 || t.due < due) due = t.due;
  }
  return due;
}

bool WindowService::FireOneDue(uint64_t until) {
  // Earliest first; among timers due at the same time, the one started first.
  const Timer* best = nullptr;
  for (const Timer& t : timers_) {
    if (t.due <= until && (!best || t.due < best->due)) best = &t;
  }
  if (!best) return false;
  const uint64_t id = best->id;
  // The next time counts from when this one was due, so that a late pump does not make the timer
  // drift; a callback that kills the timer removes it before it runs again.
  auto it =
      std::find_if(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.id == id; });
  const uint64_t now = Now();
  it->due += it->interval;
  if (it->due <= now) it->due = now + it->interval;
  std::function<void()> fire = it->fire;  // the callback may change the list
  fire();
  return true;
}

bool WindowService::RunDueTimers() {
  bool fired = false;
  // Bounded: a timer that is always due again cannot keep the pump here for ever.
  for (size_t i = 0; i < timers_.size() + 1 && FireOneDue(Now()); ++i) fired = true;
  return fired;
}

WindowService::Pumped WindowService::PumpOne(uint64_t window, WindowInput* input) {
  (void)window;
  (void)input;
  if (RunDueTimers()) return Pumped::kTimer;
  // Without windows only a timer can ever come: wait for the next one.
  const uint64_t due = NextDue();
  if (due == 0) return Pumped::kNoInput;
  const uint64_t now = Now();
  if (due > now) std::this_thread::sleep_for(std::chrono::milliseconds(due - now));
  RunDueTimers();
  return Pumped::kTimer;
}

}  // namespace corvane::platform
