// The pieces of the service and task commands that are worth testing on their own: the time of
// day a task starts at, the day a text names, the trigger and the flags of Schedule Task, and the
// text of a service state.
#pragma once

#include <cstdint>
#include <string>

#include "platform/services.h"
#include "platform/system.h"

namespace corvane::commands {

// A time of day written as United States English writes it ("3:30 PM", "3:30:15 pm", "15:30",
// "12 AM"): *hour and *minute, or false for a text that is no time.
bool ParseUsTime(const std::string& text, int* hour, int* minute);

// The weekday bit of the first day name found in the text, ignoring letter case, looked for in
// the order Monday to Sunday; 0 when it names none ("every day").
uint16_t FirstDayNamed(const std::string& text);

// Schedule Task's parameters 3 to 9, after expansion.
struct TaskSchedule {
  std::string at_system_start;  // 3: "TRUE"
  std::string at_logon;         // 4: "TRUE"
  std::string at_time;          // 5: "TRUE": at a time of day
  std::string day;              // 6: a day name, or anything else for every day
  std::string time;             // 7: the time of day
  std::string internet;         // 8: "TRUE": only when connected to the internet
  std::string run_flags;        // 9: "interactive|only if logged on"
};

// The one trigger of a task, beginning `today`. A trigger that runs at no time of day, at no
// event, is the scheduler's new trigger: daily at the time it was made.
platform::TaskTrigger TriggerOf(const TaskSchedule& schedule, const platform::LocalTime& today);
// The work item's flags.
uint32_t TaskFlagsOf(const TaskSchedule& schedule);

// "STOPPED" ... "PAUSED", or "NOTINSTALLED" for any other state.
std::string ServiceStateText(uint32_t state);

// Whether an account name names the system's own account ("SYSTEM", "NT AUTHORITY\SYSTEM",
// "LocalSystem"), which the scheduler is given as the empty name.
bool NamesSystemAccount(const std::string& account);

}  // namespace corvane::commands
