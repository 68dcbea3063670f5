// The services and the task scheduler of the simulated machine.
//
// The services table is MACHINE/services.txt, "NAME = STATE" lines in UTF-8 ("#" starts a comment
// line); a missing file gives the services a fresh Windows 10 runs:
//   Schedule = running           the task scheduler
//   msiserver = stopped          the installer service (starts on demand)
//   Spooler = running
//   EventLog = running
// STATE is stopped, starting, stopping, running, continue_pending, pause_pending, paused or a
// number, optionally followed by ", disabled" (a start fails). Names are compared without regard
// to letter case. Starting a stopped service makes it running and writes the table back. Only
// this computer is reachable: "", its own name or "\\" + its own name.
//
// The task store is the Windows task folder of the machine, C:\Windows\Tasks: one file NAME.job
// per work item, in the machine's own text form (a Windows program sees it as the scheduler's
// file, though not in its binary format):
//   [task]
//   program = C:\Tools\tool.exe
//   arguments = /quiet
//   folder = C:\Tools
//   flags = 0x2001
//   account = User               (no line: no account information)
//   password = given             (only that one was given; never the text)
//   trigger = weekly 1 0x20 15:30 2025-01-31     (kind, interval, days, start time, begin date;
//                                                 one line per trigger)
// The scheduler works only while the "Schedule" service runs.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/services.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_files.h"

namespace corvane::platform::sim {

struct SimService {
  std::string name;
  uint32_t state = service_state::kStopped;
  bool disabled = false;
};

class SimServices : public Services {
 public:
  SimServices(const std::filesystem::path& machine_folder, const MachineDescription& machine,
              SimFileSystem& files);

  Status QueryServiceState(const std::string& computer, const std::string& name,
                           uint32_t* state) override;
  Status StartServiceAndWait(const std::string& computer, const std::string& name) override;
  Status SaveTask(const std::string& computer, const std::string& name,
                  const ScheduledTask& task) override;
  Status ReadTask(const std::string& computer, const std::string& name,
                  ScheduledTask* task) override;
  Status DeleteTask(const std::string& computer, const std::string& name) override;

  // What tests change and look at: a service's state (added when missing; the table is written
  // back), the table, and the path of a work item's file.
  void SetServiceState(const std::string& name, uint32_t state, bool disabled = false);
  std::vector<SimService> Table();
  std::string TaskFile(const std::string& name) const;
  // Problems in services.txt (one line each), or empty.
  const std::string& Warnings() const { return warnings_; }

 private:
  bool Reachable(const std::string& computer) const;
  bool SchedulerRunning();                    // mu_ held
  SimService* Find(const std::string& name);  // mu_ held
  void Save();                                // mu_ held

  std::filesystem::path table_file_;
  const MachineDescription& machine_;
  SimFileSystem& files_;
  std::mutex mu_;
  std::vector<SimService> table_;
  std::string warnings_;
};

// A trigger as the task store writes it: "weekly 1 0x20 15:30 2025-01-31".
std::string TriggerText(const TaskTrigger& trigger);
// The text form of a work item and back (false, with *error, for a text that is not one).
std::string TaskText(const ScheduledTask& task);
bool ParseTaskText(const std::string& text, ScheduledTask* task, std::string* error);

}  // namespace corvane::platform::sim
