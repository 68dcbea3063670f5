#include "ui/wait_loop.h"

#include <condition_variable>
#include <exception>
#include <map>
#include <optional>
#include <thread>

#include "interp/session.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace corvane::ui {

void ProgressChannel::Publish(std::string_view text, int64_t minimum, int64_t maximum,
                              int64_t position) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!store_) return;
  interp::TVariableManager& s = *store_;
  s.Set("VORT_LastDelegateTick", std::to_string(system_->TickCount()));
  std::string t(text);
  if (t == "$VORT$") {
    t = s.Get("VORT_thProgressText");
    position = platform::ParseDecimal64(s.Get("VORT_thProgress")).value_or(0);
    maximum = platform::ParseDecimal64(s.Get("VORT_thMax")).value_or(0);
    minimum = platform::ParseDecimal64(s.Get("VORT_thMin")).value_or(0);
  }
  if (position != -1) {
    s.Set("VORT_thMax", std::to_string(maximum));
    s.Set("VORT_thMin", std::to_string(minimum));
    s.Set("VORT_thProgress", std::to_string(position));
  }
  if (t != "$IGNORE$") s.Set("VORT_thProgressText", t);
}

void ProgressChannel::Disconnect() {
  std::lock_guard<std::mutex> lock(mutex_);
  store_ = nullptr;
  system_ = nullptr;
}

namespace {

std::mutex flags_mutex;
std::map<const interp::Session*, int>& BackgroundFlags() {
  static auto* flags = new std::map<const interp::Session*, int>();
  return *flags;
}


// What the worker and the waiting thread share.
struct Shared {
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
};

}  // namespace

BackgroundTaskScope::BackgroundTaskScope(interp::Session& session) : session_(session) {
  std::lock_guard<std::mutex> lock(flags_mutex);
  ++BackgroundFlags()[&session_];
}

BackgroundTaskScope::~BackgroundTaskScope() {
  std::lock_guard<std::mutex> lock(flags_mutex);
  auto it = BackgroundFlags().find(&session_);
  if (it != BackgroundFlags().end() && --it->second <= 0) BackgroundFlags().erase(it);
}

bool IsBackgroundTaskRunning(interp::Session& session) {
  std::lock_guard<std::mutex> lock(flags_mutex);
  return BackgroundFlags().count(&session) != 0;
}

WaitOutcome WaitLoop::Run(interp::CommandContext& ctx, std::shared_ptr<BackgroundJob> job) {
  interp::Session& session = ctx.session();
  interp::TVariableManager& store = session.variables.store();
  auto channel = std::make_shared<ProgressChannel>(store, session.platform.system());
  auto shared = std::make_shared<Shared>();
  abandoned_ = false;

  std::optional<BackgroundTaskScope> flag(std::in_place, session);
  // A worker given up on may still be inside the platform when the run ends: it shares the
  // ownership of the platform (and of what the platform references) until it returns.
  std::thread worker([job, channel, shared, keep_alive = session.keep_alive]() {
    job->Work(*channel);
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      shared->done = true;
    }
    shared->wake.notify_all();
  });

  const bool silent = session.variables.silent();
  // The watchdog is a timer of the window service, so that it fires on the clock the user
  // interface runs on (the virtual clock of the simulated machine).
  platform::WindowService& windows = session.platform.windows();
  bool watchdog_running = false, watchdog_fired = false;
  uint64_t watchdog_timer = 0;
  int64_t watchdog_ticks = 0;
  std::exception_ptr failure;
  auto stop_watchdog = [&] {
    if (watchdog_timer) windows.KillTimer(watchdog_timer);
    watchdog_timer = 0;
  };
  // One iteration: wait for the worker (the null message that wakes the loop), let time pass for
  // the timers when the worker is still busy, handle the interface's messages, then look at the
  // cancel request. The wait between the copy of the tick count and the next watchdog check is the
  // time in which a live worker shows that it still publishes.
  while (true) {
    {
      std::unique_lock<std::mutex> lock(shared->mutex);
      if (silent && !watchdog_running) {
        shared->wake.wait(lock, [&] { return shared->done; });
      } else {
        shared->wake.wait_for(lock, options_.pump_interval, [&] { return shared->done; });
      }
      if (shared->done) break;
    }
    windows.Idle();
    if (watchdog_fired) {
      watchdog_fired = false;
      std::string delegate_tick = store.Get("VORT_LastDelegateTick");
      if (!options_.watchdog_at_first_tick && store.Get("VORT_LastActiveTick") != delegate_tick) {
        store.Set("VORT_LastActiveTick", delegate_tick);
      } else {
        // The worker stopped publishing after the cancel: give it up.
        stop_watchdog();
        channel->Disconnect();
        abandoned_ = true;
        // The time on the watchdog's own schedule: its ticks since the cancel (the clock of a
        // simulated machine also runs with the host's time, which would blur the figure).
        windows.Note("worker given up by the watchdog " +
                     std::to_string(watchdog_ticks * options_.watchdog_interval.count()) +
                     " ms after the cancel");
        break;
      }
    }
    if (options_.each_iteration) {
      try {
        options_.each_iteration(*channel);
      } catch (...) {
        // The worker is asked to stop and given the watchdog's time to do so; one that is still
        // busy then is given up.
        failure = std::current_exception();
        job->terminate_.store(true, std::memory_order_relaxed);
        channel->Disconnect();
        std::unique_lock<std::mutex> lock(shared->mutex);
        abandoned_ = !shared->wake.wait_for(lock, options_.watchdog_interval,
                                            [&] { return shared->done; });
        break;
      }
    }
    if (!silent && session.dialogs) session.dialogs->ProcessPendingMessages();
    if (interp::TextToBool(store.Get("VORT_IsCancelled"))) {
      store.Set("VORT_LastActiveTick", store.Get("VORT_LastDelegateTick"));
      job->terminate_.store(true, std::memory_order_relaxed);
      if (options_.copy_cancel_flag) store.Set("VORT_thCancelled", "TRUE");
      if (options_.watchdog && !watchdog_running) {
        watchdog_running = true;
        const auto interval = static_cast<uint32_t>(options_.watchdog_interval.count());
        watchdog_timer = windows.SetTimer(interval, [&] {
          watchdog_fired = true;
          ++watchdog_ticks;
        });
      }
    }
  }
  stop_watchdog();
  if (abandoned_) {
    worker.detach();
  } else {
    worker.join();
  }
  flag.reset();
  if (failure) std::rethrow_exception(failure);

  if (!interp::TextToBool(store.Get("VORT_IsCancelled"))) return WaitOutcome::kFinished;
  if (!options_.report_cancel) return WaitOutcome::kCancelled;
  return interp::ReportCancel(ctx, options_.cancel_label) ? WaitOutcome::kScriptEnded
                                                          : WaitOutcome::kCancelled;
}

}  // namespace corvane::ui
