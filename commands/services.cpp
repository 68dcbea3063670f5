// Service, scheduled-task and library-registration commands: the state of a service, the
// installer-table commands that control and install services, work items of the task scheduler,
// and the registration of type libraries, self-registering libraries and programs.
#include "commands/services.h"

#include <string>

#include "commands/programs.h"
#include "commands/sixty_four.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/processes.h"
#include "platform/registration.h"
#include "platform/text.h"

namespace corvane::commands {

bool ParseUsTime(const std::string& text, int* hour, int* minute) {
  std::string t = text;
  auto trim = [&t] {
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    while (!t.empty() && t.back() == ' ') t.pop_back();
  };
  trim();
  // An "AM" or "PM" after the time, with or without a blank.
  int half = 0;  // 0 none, 1 AM, 2 PM
  if (t.size() >= 2) {
    const std::string suffix = platform::UpperCase(t.substr(t.size() - 2));
    if (suffix == "AM" || suffix == "PM") {
      half = suffix == "AM" ? 1 : 2;
      t.erase(t.size() - 2);
      trim();
    }
  }
  int fields[3] = {0, 0, 0};
  int count = 0;
  size_t at = 0;
  while (count < 3) {
    size_t digits = 0;
    int value = 0;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9' && digits < 2) {
      value = value * 10 + (t[at] - '0');
      ++at;
      ++digits;
    }
    if (digits == 0) return false;
    fields[count++] = value;
    if (at == t.size()) break;
    if (t[at] != ':') return false;
    ++at;
  }
  if (at != t.size()) return false;
  int h = fields[0];
  if (fields[1] > 59 || fields[2] > 59) return false;
  if (half != 0) {
    if (h > 12) return false;
    if (h == 12) h = 0;
    if (half == 2) h += 12;
  } else if (h > 23) {
    return false;
  }
  *hour = h;
  *minute = fields[1];
  return true;
}

uint16_t FirstDayNamed(const std::string& text) {
  static const std::pair<const char*, uint16_t> kDays[] = {
      {"monday", platform::weekday::kMonday},       {"tuesday", platform::weekday::kTuesday},
      {"wednesday", platform::weekday::kWednesday}, {"thursday", platform::weekday::kThursday},
      {"friday", platform::weekday::kFriday},       {"saturday", platform::weekday::kSaturday},
      {"sunday", platform::weekday::kSunday}};
  for (const auto& [name, bit] : kDays) {
    if (platform::FindText(text, name) != std::string::npos) return bit;
  }
  return 0;
}

platform::TaskTrigger TriggerOf(const TaskSchedule& s, const platform::LocalTime& today) {
  platform::TaskTrigger t;
  t.begin_year = today.year;
  t.begin_month = today.month;
  t.begin_day = today.day;
  t.kind = platform::TriggerKind::kDaily;
  t.interval = 1;
  t.start_hour = today.hour;
  t.start_minute = today.minute;
  if (s.at_time == "TRUE") {
    int hour = 0, minute = 0;
    // A time that cannot be read is midnight.
    if (!ParseUsTime(s.time, &hour, &minute)) hour = minute = 0;
    t.start_hour = static_cast<uint16_t>(hour);
    t.start_minute = static_cast<uint16_t>(minute);
    const uint16_t day = FirstDayNamed(s.day);
    if (day != 0) {
      t.kind = platform::TriggerKind::kWeekly;
      t.days_of_week = day;
    }
  }
  if (s.at_logon == "TRUE") t.kind = platform::TriggerKind::kAtLogon;
  if (s.at_system_start == "TRUE") t.kind = platform::TriggerKind::kAtSystemStart;
  return t;
}

uint32_t TaskFlagsOf(const TaskSchedule& s) {
  const size_t bar = s.run_flags.find('|');
  const std::string interactive = s.run_flags.substr(0, bar);
  const std::string logged_on = bar == std::string::npos ? "" : s.run_flags.substr(bar + 1);
  uint32_t flags = 0;
  if (logged_on.empty() || interp::TextToBool(logged_on)) {
    flags = platform::task_flag::kRunOnlyIfLoggedOn;
  }
  if (interactive == "TRUE") flags |= platform::task_flag::kInteractive;
  if (s.internet == "TRUE") flags |= platform::task_flag::kRunIfConnectedToInternet;
  return flags;
}

std::string ServiceStateText(uint32_t state) {
  static const char* const kTexts[] = {"STOPPED",          "STARTING",      "STOPPING", "RUNNING",
                                       "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
  return state >= 1 && state <= 7 ? kTexts[state - 1] : "NOTINSTALLED";
}

bool NamesSystemAccount(const std::string& account) {
  return platform::SameText(account, "SYSTEM") ||
         platform::SameText(account, "NT AUTHORITY\\SYSTEM") ||
         platform::SameText(account, "LocalSystem");
}

namespace {

using interp::CommandContext;
using platform::Status;

constexpr const char* kSchedulerService = "Schedule";

bool IsNt(CommandContext& ctx) { return ctx.platform().system().Version().platform_id == 2; }

// A parameter translated for the current language, then expanded (and path-expanded).
std::string Translated(CommandContext& ctx, int n) {
  return ctx.variables().ExpandVariables(ctx.Localize(n, ctx.params().Raw(n)));
}
std::string TranslatedPath(CommandContext& ctx, int n) {
  return ctx.variables().ExpandPath(ctx.Localize(n, ctx.params().Raw(n)));
}

void RunCheckService(CommandContext& ctx) {
  const auto& p = ctx.params();
  const std::string name = p.Name(3);
  ctx.DefineResult(name);
  uint32_t state = 0;
  const Status s =
      ctx.platform().services().QueryServiceState(p.Expanded(2), p.Expanded(1), &state);
  ctx.SetResult(name, s == Status::kOk ? ServiceStateText(state) : "NOTINSTALLED");
}
CORVANE_COMMAND("Check Service", RunCheckService);

void RunControlService(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, TranslatedPath(ctx, 1));
  ctx.RecordSlot(2, ctx.params().Path(2));
}
CORVANE_COMMAND("Control Service", RunControlService);

void RunInstallService(CommandContext& ctx) {
  const auto& p = ctx.params();
  ctx.ActivateInstallerTableCommand();
  // A web build fetches the service's media block first (a failure is reported; the command
  // goes on).
  if (ctx.session().fetch_command_media) ctx.session().fetch_command_media(ctx);
  ctx.RecordSlot(1, p.Path(2));
  ctx.RecordSlot(2, TranslatedPath(ctx, 4));
  ctx.RecordSlot(3, TranslatedPath(ctx, 5));
  ctx.RecordSlot(4, TranslatedPath(ctx, 9));
  // Dependencies are separated by "~", which the installer reads as its null separator.
  std::string dependencies = TranslatedPath(ctx, 10);
  for (size_t at = dependencies.find('~'); at != std::string::npos;
       at = dependencies.find('~', at + 6)) {
    dependencies.replace(at, 1, "$NULL$");
  }
  ctx.RecordSlot(5, dependencies);
  ctx.RecordSlot(6, p.Path(13));
  // The service account's password is expanded only (a backslash in it is a character of the
  // password), and it is a secret: the cache and the trace log never keep it.
  std::string password = p.Expanded(14);
  ctx.RecordSecretSlot(7, password);
  WipeText(&password);
  ctx.RecordSlot(8, p.Path(15));
  ctx.RecordSlot(9, TranslatedPath(ctx, 6));
}
CORVANE_COMMAND("Install Service", RunInstallService);

// The older platform family's scheduler agent: its window, or its program on the search path
// started now.
bool SchedulerAgentRuns(CommandContext& ctx) {
  platform::Processes& processes = ctx.platform().processes();
  for (const platform::TopWindow& w : processes.TopLevelWindows()) {
    if (w.class_name == "SAGEWINDOWCLASS" && w.title == "SYSTEM AGENT COM WINDOW") return true;
  }
  platform::SystemInfo& system = ctx.platform().system();
  std::vector<std::string> folders = {system.SystemFolder(), system.WindowsFolder()};
  std::string path;
  if (system.GetEnvironment("PATH", &path) == Status::kOk) {
    for (size_t at = 0; at <= path.size();) {
      size_t semicolon = path.find(';', at);
      std::string folder = path.substr(at, semicolon - at);
      if (!folder.empty()) folders.push_back(folder);
      if (semicolon == std::string::npos) break;
      at = semicolon + 1;
    }
  }
  for (std::string folder : folders) {
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const std::string program = folder + "\\mstask.exe";
    if (!ctx.platform().files().FileExists(program)) continue;
    std::unique_ptr<platform::Process> process;
    return processes.PlainStart("\"" + program + "\"", platform::StartOptions(), &process) ==
           Status::kOk;
  }
  return false;
}

// The scheduler works only while its service runs: it is started when it does not.
bool SchedulerAvailable(CommandContext& ctx) {
  if (!IsNt(ctx)) return SchedulerAgentRuns(ctx);
  platform::Services& services = ctx.platform().services();
  uint32_t state = 0;
  if (services.QueryServiceState("", kSchedulerService, &state) == Status::kOk &&
      state == platform::service_state::kRunning) {
    return true;
  }
  const Status s = services.StartServiceAndWait("", kSchedulerService);
  return s == Status::kOk || s == Status::kAlreadyExists;
}

void RunScheduleTask(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  interp::Session& session = ctx.session();
  const auto& p = ctx.params();
  const std::string name = Translated(ctx, 1);
  const std::string computer = p.Path(2);
  TaskSchedule schedule{p.Path(3), p.Path(4), p.Path(5), p.Path(6),
                        p.Path(7), p.Path(8), p.Path(9)};
  platform::ScheduledTask task;
  task.program = p.Path(10);
  task.working_folder = p.Path(11);
  task.arguments = p.Path(12);
  task.flags = TaskFlagsOf(schedule);
  if (IsNt(ctx)) {
    // The scheduler runs a task without an account as the system's own account: a task gets
    // those rights only when the script names that account.
    const std::string account = p.Path(13);
    if (account.empty()) {
      session.Trace("Schedule Task refused \"" + name +
                    "\": no account is named, and the task would run as the system's account");
      return;
    }
    task.set_account = true;
    task.account = NamesSystemAccount(account) ? "" : account;
    // The password is expanded only: a backslash in it is a character of the password.
    task.password = p.Expanded(14);
  }
  if (!SchedulerAvailable(ctx)) {
    WipeText(&task.password);
    session.Trace("Schedule Task \"" + name + "\": the task scheduler is not available");
    return;
  }
  task.triggers = {TriggerOf(schedule, ctx.platform().system().Now())};
  const Status s = ctx.platform().services().SaveTask(computer, name, task);
  WipeText(&task.password);
  if (s != Status::kOk) {
    session.Trace("Schedule Task \"" + name + "\" not saved (" + platform::StatusName(s) + ")");
  }
}
CORVANE_COMMAND("Schedule Task", RunScheduleTask);

void RunDeleteScheduledTask(CommandContext& ctx) {
  const std::string name = Translated(ctx, 1);
  const std::string computer = ctx.params().Path(2);
  if (!SchedulerAvailable(ctx)) return;
  // A task that is not there is no failure.
  ctx.platform().services().DeleteTask(computer, name);
}
CORVANE_COMMAND("Delete Scheduled Task", RunDeleteScheduledTask);

// The folder of a path; a drive's root keeps its backslash ("C:" alone names the drive's
// current folder).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

std::string ExtensionOf(const std::string& path) {
  size_t dot = path.find_last_of(".\\");
  return dot == std::string::npos || path[dot] != '.' ? std::string()
                                                      : platform::UpperCase(path.substr(dot));
}

bool Register(CommandContext& ctx, const std::string& path, bool register_it) {
  platform::LibraryRegistration& registration = ctx.platform().registration();
  const std::string extension = ExtensionOf(path);
  if (extension == ".TLB") {
    return (register_it ? registration.RegisterTypeLibrary(path)
                        : registration.UnregisterTypeLibrary(path)) == Status::kOk;
  }
  if (extension == ".EXE") {
    // The program's path is quoted, so that a path with blanks starts that program and no
    // other; it gets none of the engine's handles. Nothing waits for it.
    const std::string command_line =
        "\"" + path + "\" " + (register_it ? "/regserver" : "/unregserver");
    std::unique_ptr<platform::Process> process;
    return ctx.platform().processes().PlainStart(command_line, platform::StartOptions(),
                                                 &process) == Status::kOk;
  }
  int32_t result = -1;
  return registration.CallRegistrationEntry(path, register_it, &result) == Status::kOk &&
         result == 0;
}

void RunRegisterLibrary(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  const std::string path = p.Path(1);
  const bool register_it = p.Bool(2);
  const std::string result = p.Name(3);
  platform::FileSystem& files = ctx.platform().files();
  // The library's folder is current while it registers (it may name files beside it).
  const std::string remembered = files.GetCurrentDirectory();
  const std::string folder = FolderOf(path);
  if (!folder.empty()) files.SetCurrentDirectory(folder);
  const bool ok = Register(ctx, path, register_it);
  if (!folder.empty()) files.SetCurrentDirectory(remembered);
  if (!result.empty()) ctx.SetResult(result, ok ? "TRUE" : "FALSE");
}
CORVANE_COMMAND("Register Library", RunRegisterLibrary);

}  // namespace

}  // namespace corvane::commands
