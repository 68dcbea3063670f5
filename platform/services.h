// Services and scheduled tasks: the state of a service as the service control manager reports
// it, starting a service, and the work items of the task scheduler (Task Scheduler 1.0: one
// program with its arguments, working folder, flags, account and triggers, saved under a name).
//
// Computer names: "" is this computer; another is given as "NAME" or "\\NAME". Every call may be
// made from any thread; a call that needs COM sets it up for its own duration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

// The current states of a service (SERVICE_STATUS.dwCurrentState).
namespace service_state {
constexpr uint32_t kStopped = 1;
constexpr uint32_t kStartPending = 2;
constexpr uint32_t kStopPending = 3;
constexpr uint32_t kRunning = 4;
constexpr uint32_t kContinuePending = 5;
constexpr uint32_t kPausePending = 6;
constexpr uint32_t kPaused = 7;
}  // namespace service_state

// Flags of a work item (the scheduler's own values).
namespace task_flag {
constexpr uint32_t kInteractive = 0x1;
constexpr uint32_t kRunIfConnectedToInternet = 0x400;
constexpr uint32_t kRunOnlyIfLoggedOn = 0x2000;
}  // namespace task_flag

// Trigger types (TASK_TRIGGER_TYPE) that the engine uses.
enum class TriggerKind : uint8_t {
  kDaily = 1,
  kWeekly = 2,
  kAtSystemStart = 6,
  kAtLogon = 7,
};

// Day bits of a weekly trigger.
namespace weekday {
constexpr uint16_t kSunday = 0x1;
constexpr uint16_t kMonday = 0x2;
constexpr uint16_t kTuesday = 0x4;
constexpr uint16_t kWednesday = 0x8;
constexpr uint16_t kThursday = 0x10;
constexpr uint16_t kFriday = 0x20;
constexpr uint16_t kSaturday = 0x40;
}  // namespace weekday

struct TaskTrigger {
  TriggerKind kind = TriggerKind::kDaily;
  uint16_t begin_year = 0, begin_month = 0, begin_day = 0;
  uint16_t start_hour = 0, start_minute = 0;
  uint16_t interval = 1;      // days of a daily trigger, weeks of a weekly one
  uint16_t days_of_week = 0;  // weekly triggers: weekday bits

  bool operator==(const TaskTrigger& o) const {
    // The time fields and the interval mean nothing to the event triggers.
    const bool timed = kind == TriggerKind::kDaily || kind == TriggerKind::kWeekly;
    return kind == o.kind && begin_year == o.begin_year && begin_month == o.begin_month &&
           begin_day == o.begin_day &&
           (!timed || (start_hour == o.start_hour && start_minute == o.start_minute &&
                       interval == o.interval)) &&
           (kind != TriggerKind::kWeekly || days_of_week == o.days_of_week);
  }
};

struct ScheduledTask {
  std::string program;    // the application
  std::string arguments;  // its parameters
  std::string working_folder;
  uint32_t flags = 0;
  std::vector<TaskTrigger> triggers;
  // The account the task runs as ("" is the system's own account), set only when
  // `set_account` is true (the older platform family has no accounts). The password is only
  // read (empty: none is passed); it is never stored in clear nor read back.
  bool set_account = false;
  std::string account;
  std::string password;
};

class Services {
 public:
  virtual ~Services() = default;

  // The current state of a service (service_state). kNotFound when the computer has no service
  // of that name; kAccessDenied or kFailed when the service manager cannot be reached or the
  // service cannot be queried.
  virtual Status QueryServiceState(const std::string& computer, const std::string& name,
                                   uint32_t* state) = 0;
  // Starts a service and waits, for a bounded time, until it has left the start-pending state.
  // kOk when it runs now; kAlreadyExists when it was running (or starting) already; kNotFound
  // for a service that does not exist; kAccessDenied, or kFailed for one that is disabled or
  // does not come up.
  virtual Status StartServiceAndWait(const std::string& computer, const std::string& name) = 0;

  // Creates the work item `name`, or opens the one of that name, and gives it the program,
  // arguments, working folder, flags, exactly the triggers listed (the old ones removed) and,
  // when asked, the account; then saves it. Any failure of the scheduler gives kFailed (the
  // scheduler is not running, the computer cannot be reached, the name is not a file name).
  virtual Status SaveTask(const std::string& computer, const std::string& name,
                          const ScheduledTask& task) = 0;
  // The work item as saved (the password is never given back; `set_account` says whether the
  // item has account information). kNotFound for a name that is not there.
  virtual Status ReadTask(const std::string& computer, const std::string& name,
                          ScheduledTask* task) = 0;
  // Deletes a work item. kNotFound for a name that is not there.
  virtual Status DeleteTask(const std::string& computer, const std::string& name) = 0;
};

// A platform without service manager or scheduler: no service exists, nothing is scheduled.
class NoServices : public Services {
 public:
  Status QueryServiceState(const std::string&, const std::string&, uint32_t*) override {
    return Status::kFailed;
  }
  Status StartServiceAndWait(const std::string&, const std::string&) override {
    return Status::kFailed;
  }
  Status SaveTask(const std::string&, const std::string&, const ScheduledTask&) override {
    return Status::kFailed;
  }
  Status ReadTask(const std::string&, const std::string&, ScheduledTask*) override {
    return Status::kNotFound;
  }
  Status DeleteTask(const std::string&, const std::string&) override { return Status::kNotFound; }
};

// Forwards every call to another Services: derive from it to change one call in a test.
class ServicesWrapper : public Services {
 public:
  explicit ServicesWrapper(Services& target) : target_(target) {}
  Status QueryServiceState(const std::string& computer, const std::string& name,
                           uint32_t* state) override {
    return target_.QueryServiceState(computer, name, state);
  }
  Status StartServiceAndWait(const std::string& computer, const std::string& name) override {
    return target_.StartServiceAndWait(computer, name);
  }
  Status SaveTask(const std::string& computer, const std::string& name,
                  const ScheduledTask& task) override {
    return target_.SaveTask(computer, name, task);
  }
  Status ReadTask(const std::string& computer, const std::string& name,
                  ScheduledTask* task) override {
    return target_.ReadTask(computer, name, task);
  }
  Status DeleteTask(const std::string& computer, const std::string& name) override {
    return target_.DeleteTask(computer, name);
  }

 protected:
  Services& target_;
};

}  // namespace corvane::platform
