// The shared wait loop of commands that run background work on a worker thread: progress
// publication from the worker, the background-task flag, message pumping while waiting, the cancel
// request, the watchdog that gives up on a cancelled worker that stopped publishing, and the
// cancellation convention afterwards.
//
// The worker reaches the run only through its ProgressChannel. A worker that the watchdog gives
// up on is not killed (killing a thread can leave the variable store's lock held); its channel is
// cut instead, so it can no longer touch the run's state, and it is left to end on its own. Until
// it ends it shares the ownership of the platform (the session's keep_alive), which the job may go
// on using after the run has ended.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace corvane::interp {
class CommandContext;
class Session;
class TVariableManager;
}  // namespace corvane::interp

namespace corvane::platform {
class SystemInfo;
}

namespace corvane::ui {

// The progress delegate: callable from any thread while connected.
class ProgressChannel {
 public:
  ProgressChannel(interp::TVariableManager& store, platform::SystemInfo& system)
      : store_(&store), system_(&system) {}

  // "$VORT$" only signals that the worker is alive (the published values are kept); "$IGNORE$"
  // keeps the published text; position -1 keeps the published numbers.
  void Publish(std::string_view text, int64_t minimum, int64_t maximum, int64_t position);
  // After this, Publish does nothing.
  void Disconnect();

 private:
  std::mutex mutex_;
  interp::TVariableManager* store_;
  platform::SystemInfo* system_;
};

class BackgroundJob {
 public:
  virtual ~BackgroundJob() = default;
  // Runs on the worker thread; checks terminate_requested() often and returns soon after it.
  virtual void Work(ProgressChannel& progress) = 0;
  bool terminate_requested() const { return terminate_.load(std::memory_order_relaxed); }

 private:
  friend class WaitLoop;
  std::atomic<bool> terminate_{false};
};

struct WaitOptions {
  std::string cancel_label;  // source label of ABORTEDONERROR, e.g. "Cancel at Find-Files Time"
  std::chrono::milliseconds watchdog_interval{5000};
  // Longest wait for the worker between two message pumps.
  std::chrono::milliseconds pump_interval{20};
  // A worker that must not be given up on (it drives an installer that goes on without it) runs
  // without the watchdog.
  bool watchdog = true;
  // The cancellation convention after the work; a command that reports a cancel in its own
  // result turns it off.
  bool report_cancel = true;
  // Copies VORT_IsCancelled into VORT_thCancelled while waiting, for workers that read the
  // latter.
  bool copy_cancel_flag = false;
  // Called on the interface thread in every iteration while the work runs (a command that
  // publishes the script's progress variables for its worker). What it throws ends the wait: the
  // worker is asked to stop and waited for up to the watchdog interval (then given up), and the
  // exception goes on out of Run.
  std::function<void(ProgressChannel&)> each_iteration = nullptr;
  // The watchdog gives the worker up at its first tick, whether or not it still publishes (a
  // worker whose progress the interface thread publishes shows no life of its own).
  bool watchdog_at_first_tick = false;
};

enum class WaitOutcome {
  kFinished,      // the work ended and nobody cancelled
  kCancelled,     // cancelled; the script goes on (ABORTEDONERROR is now "TRUE")
  kScriptEnded,   // cancelled with ABORTONERROR true: the script ends after this command
};

class WaitLoop {
 public:
  explicit WaitLoop(WaitOptions options) : options_(std::move(options)) {}

  // Starts `job` on a worker thread and waits for it as described above. Returns after the work
  // ended (or was given up) and the cancellation convention ran.
  WaitOutcome Run(interp::CommandContext& ctx, std::shared_ptr<BackgroundJob> job);

  // Whether the worker was given up by the watchdog (its results may be incomplete).
  bool abandoned() const { return abandoned_; }

 private:
  WaitOptions options_;
  bool abandoned_ = false;
};

// The background-task flag of the run: set while a command waits for a worker (dialog timers
// then carry the published progress to the screen).
bool IsBackgroundTaskRunning(interp::Session& session);

// Sets the background-task flag for its life, for a command that keeps it set across several
// waits (and the questions between them). Scopes nest.
class BackgroundTaskScope {
 public:
  explicit BackgroundTaskScope(interp::Session& session);
  ~BackgroundTaskScope();
  BackgroundTaskScope(const BackgroundTaskScope&) = delete;
  BackgroundTaskScope& operator=(const BackgroundTaskScope&) = delete;

 private:
  interp::Session& session_;
};

}  // namespace corvane::ui
