#include "platform/sim/sim_services.h"

#include <cstdio>

#include "platform/numbers.h"
#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

const char* const kStateNames[] = {"stopped",          "starting",      "stopping", "running",
                                   "continue_pending", "pause_pending", "paused"};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t lf = text.find('\n', at);
    lines.push_back(text.substr(at, lf == std::string::npos ? std::string::npos : lf - at));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return lines;
}

bool ParseState(const std::string& text, uint32_t* state) {
  for (uint32_t i = 0; i < 7; ++i) {
    if (SameText(text, kStateNames[i])) {
      *state = i + 1;
      return true;
    }
  }
  std::optional<int32_t> n = ParseScriptInteger(text);
  if (!n) return false;
  *state = static_cast<uint32_t>(*n);
  return true;
}

std::string StateName(uint32_t state) {
  return state >= 1 && state <= 7 ? kStateNames[state - 1] : std::to_string(state);
}

// A work item is a file of the task folder: its name must be a file name.
bool IsTaskName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:*?\"<>|") == std::string::npos && name != "." &&
         name != "..";
}

const char* KindName(TriggerKind kind) {
  switch (kind) {
    case TriggerKind::kDaily:
      return "daily";
    case TriggerKind::kWeekly:
      return "weekly";
    case TriggerKind::kAtSystemStart:
      return "startup";
    case TriggerKind::kAtLogon:
      return "logon";
  }
  return "daily";
}

bool ParseKind(const std::string& text, TriggerKind* kind) {
  for (TriggerKind k : {TriggerKind::kDaily, TriggerKind::kWeekly, TriggerKind::kAtSystemStart,
                        TriggerKind::kAtLogon}) {
    if (text == KindName(k)) {
      *kind = k;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string TriggerText(const TaskTrigger& t) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s %u 0x%02X %02u:%02u %04u-%02u-%02u", KindName(t.kind),
                unsigned{t.interval}, unsigned{t.days_of_week}, unsigned{t.start_hour},
                unsigned{t.start_minute}, unsigned{t.begin_year}, unsigned{t.begin_month},
                unsigned{t.begin_day});
  return buffer;
}

namespace {

bool ParseTrigger(const std::string& text, TaskTrigger* t) {
  char kind[16] = {};
  unsigned interval = 0, days = 0, hour = 0, minute = 0, year = 0, month = 0, day = 0;
  if (std::sscanf(text.c_str(), "%15s %u %x %u:%u %u-%u-%u", kind, &interval, &days, &hour, &minute,
                  &year, &month, &day) != 8) {
    return false;
  }
  if (!ParseKind(kind, &t->kind) || hour > 23 || minute > 59 || month > 12 || day > 31) {
    return false;
  }
  t->interval = static_cast<uint16_t>(interval);
  t->days_of_week = static_cast<uint16_t>(days);
  t->start_hour = static_cast<uint16_t>(hour);
  t->start_minute = static_cast<uint16_t>(minute);
  t->begin_year = static_cast<uint16_t>(year);
  t->begin_month = static_cast<uint16_t>(month);
  t->begin_day = static_cast<uint16_t>(day);
  return true;
}

}  // namespace

std::string TaskText(const ScheduledTask& task) {
  char flags[16];
  std::snprintf(flags, sizeof flags, "0x%X", static_cast<unsigned>(task.flags));
  std::string text = "[task]\r\n";
  text += "program = " + task.program + "\r\n";
  text += "arguments = " + task.arguments + "\r\n";
  text += "folder = " + task.working_folder + "\r\n";
  text += std::string("flags = ") + flags + "\r\n";
  if (task.set_account) {
    text += "account = " + task.account + "\r\n";
    if (!task.password.empty()) text += "password = given\r\n";
  }
  for (const TaskTrigger& t : task.triggers) text += "trigger = " + TriggerText(t) + "\r\n";
  return text;
}

bool ParseTaskText(const std::string& text, ScheduledTask* task, std::string* error) {
  *task = ScheduledTask();
  std::vector<std::string> lines = Lines(text);
  if (lines.empty() || Trim(lines[0]) != "[task]") {
    *error = "not a work item";
    return false;
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.empty()) continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      *error = "line " + std::to_string(i + 1) + " is not key = value";
      return false;
    }
    const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (key == "program") {
      task->program = value;
    } else if (key == "arguments") {
      task->arguments = value;
    } else if (key == "folder") {
      task->working_folder = value;
    } else if (key == "flags") {
      std::optional<int32_t> n = ParseScriptInteger(value);
      if (!n) {
        *error = "flags is not a number: " + value;
        return false;
      }
      task->flags = static_cast<uint32_t>(*n);
    } else if (key == "account") {
      task->set_account = true;
      task->account = value;
    } else if (key == "password") {
      // Only that a password was given is kept; it is never read back.
    } else if (key == "trigger") {
      TaskTrigger t;
      if (!ParseTrigger(value, &t)) {
        *error = "trigger is not KIND INTERVAL DAYS HH:MM YYYY-MM-DD: " + value;
        return false;
      }
      task->triggers.push_back(t);
    } else {
      *error = "unknown key " + key;
      return false;
    }
  }
  return true;
}

SimServices::SimServices(const std::filesystem::path& machine_folder,
                         const MachineDescription& machine, SimFileSystem& files)
    : table_file_(machine_folder / "services.txt"), machine_(machine), files_(files) {
  std::string text;
  if (!ReadHostFile(table_file_, &text)) {
    table_ = {{"Schedule", service_state::kRunning, false},
              {"msiserver", service_state::kStopped, false},
              {"Spooler", service_state::kRunning, false},
              {"EventLog", service_state::kRunning, false}};
    return;
  }
  std::vector<std::string> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    SimService service;
    std::string state = eq == std::string::npos ? "" : Trim(line.substr(eq + 1));
    size_t comma = state.find(',');
    if (comma != std::string::npos) {
      const std::string extra = Trim(state.substr(comma + 1));
      state = Trim(state.substr(0, comma));
      service.disabled = SameText(extra, "disabled");
      if (!service.disabled) state.clear();  // reported below
    }
    if (eq != std::string::npos) service.name = Cp1252FromUtf8(Trim(line.substr(0, eq)));
    if (service.name.empty() || !ParseState(state, &service.state)) {
      warnings_ +=
          "services.txt line " + std::to_string(i + 1) + ": not NAME = STATE: " + line + "\n";
      continue;
    }
    table_.push_back(service);
  }
}

bool SimServices::Reachable(const std::string& computer) const {
  return computer.empty() || SameText(computer, machine_.computer) ||
         SameText(computer, "\\\\" + machine_.computer);
}

SimService* SimServices::Find(const std::string& name) {
  for (SimService& s : table_) {
    if (SameText(s.name, name)) return &s;
  }
  return nullptr;
}

void SimServices::Save() {
  std::string text = "# NAME = STATE[, disabled]\n";
  for (const SimService& s : table_) {
    text +=
        Utf8From1252(s.name) + " = " + StateName(s.state) + (s.disabled ? ", disabled" : "") + "\n";
  }
  WriteHostFile(table_file_, text);
}

Status SimServices::QueryServiceState(const std::string& computer, const std::string& name,
                                      uint32_t* state) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, 1722);  // RPC server unavailable
  std::lock_guard<std::mutex> lock(mu_);
  const SimService* s = Find(name);
  if (s == nullptr) return RecordError(Status::kNotFound, 1060);  // service does not exist
  *state = s->state;
  return Status::kOk;
}

Status SimServices::StartServiceAndWait(const std::string& computer, const std::string& name) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, 1722);
  std::lock_guard<std::mutex> lock(mu_);
  SimService* s = Find(name);
  if (s == nullptr) return RecordError(Status::kNotFound, 1060);
  if (s->state != service_state::kStopped) {
    return RecordError(Status::kAlreadyExists, 1056);  // an instance is running already
  }
  if (s->disabled) return RecordError(Status::kFailed, 1058);  // the service is disabled
  s->state = service_state::kRunning;
  Save();
  return Status::kOk;
}

void SimServices::SetServiceState(const std::string& name, uint32_t state, bool disabled) {
  std::lock_guard<std::mutex> lock(mu_);
  SimService* s = Find(name);
  if (s == nullptr) {
    table_.push_back({name, state, disabled});
  } else {
    s->state = state;
    s->disabled = disabled;
  }
  Save();
}

std::vector<SimService> SimServices::Table() {
  std::lock_guard<std::mutex> lock(mu_);
  return table_;
}

bool SimServices::SchedulerRunning() {
  const SimService* s = Find("Schedule");
  return s != nullptr && s->state == service_state::kRunning;
}

std::string SimServices::TaskFile(const std::string& name) const {
  return machine_.windows_folder + "\\Tasks\\" + name + ".job";
}

Status SimServices::SaveTask(const std::string& computer, const std::string& name,
                             const ScheduledTask& task) {
  if (!Reachable(computer) || !IsTaskName(name)) return RecordError(Status::kFailed, 1722);
  std::lock_guard<std::mutex> lock(mu_);
  if (!SchedulerRunning()) return RecordError(Status::kFailed, 1722);
  files_.CreateDirectories(machine_.windows_folder + "\\Tasks");
  return Record(files_.WriteFile(TaskFile(name), TaskText(task)) == Status::kOk ? Status::kOk
                                                                                : Status::kFailed);
}

Status SimServices::ReadTask(const std::string& computer, const std::string& name,
                             ScheduledTask* task) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, 1722);
  if (!IsTaskName(name)) return RecordError(Status::kNotFound, 2);
  std::lock_guard<std::mutex> lock(mu_);
  if (!SchedulerRunning()) return RecordError(Status::kFailed, 1722);
  std::string text, error;
  Status s = files_.ReadFile(TaskFile(name), &text);
  if (s != Status::kOk) return Record(s == Status::kNotFound ? s : Status::kFailed);
  return Record(ParseTaskText(text, task, &error) ? Status::kOk : Status::kFailed);
}

Status SimServices::DeleteTask(const std::string& computer, const std::string& name) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, 1722);
  if (!IsTaskName(name)) return RecordError(Status::kNotFound, 2);
  std::lock_guard<std::mutex> lock(mu_);
  if (!SchedulerRunning()) return RecordError(Status::kFailed, 1722);
  Status s = files_.DeleteFile(TaskFile(name));
  return Record(s == Status::kOk || s == Status::kNotFound ? s : Status::kFailed);
}

}  // namespace corvane::platform::sim
