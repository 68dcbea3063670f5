// Service, scheduled-task and library-registration commands as scripts. The same scripts run
// natively on the simulated machine (its services table, its task store, stand-in libraries) and
// under Wine against the real service manager, task scheduler and a mingw-built library.
#include "commands/services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "platform/services.h"
#ifdef _WIN32
#include "platform/win32/service_testing.h"
#else
#include "platform/sim/sim_platform.h"
#endif

extern const unsigned char kRegisterProbeDll[];
extern const size_t kRegisterProbeDll_size;
extern const unsigned char kRegserverProbeExe[];
extern const size_t kRegserverProbeExe_size;

namespace corvane::commands {
namespace {

using platform::ScheduledTask;
using platform::Status;
using platform::TaskTrigger;
using platform::TriggerKind;
using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

// --- the pieces of Schedule Task

TEST(TaskSchedule, TimesReadAsTheUnitedStatesWriteThem) {
  struct Case {
    const char* text;
    int hour, minute;
  };
  for (const Case& c :
       {Case{"3:30 PM", 15, 30}, Case{"3:30pm", 15, 30}, Case{" 3:30:59 PM ", 15, 30},
        Case{"12:00 AM", 0, 0}, Case{"12:15 PM", 12, 15}, Case{"15:30", 15, 30}, Case{"7 am", 7, 0},
        Case{"0:05", 0, 5}}) {
    int hour = -1, minute = -1;
    EXPECT_TRUE(ParseUsTime(c.text, &hour, &minute)) << c.text;
    EXPECT_EQ(hour, c.hour) << c.text;
    EXPECT_EQ(minute, c.minute) << c.text;
  }
  for (const char* text : {"", "quarter past three", "25:00", "13:00 PM", "3:60", "3:30 XM",
                           "3:30:00:00", "3.30 PM", "-1:00"}) {
    int hour = -1, minute = -1;
    EXPECT_FALSE(ParseUsTime(text, &hour, &minute)) << text;
  }
}

TEST(TaskSchedule, TriggersDaysAndFlags) {
  // The first day in the order Monday to Sunday, wherever it stands in the text.
  EXPECT_EQ(FirstDayNamed("Friday"), platform::weekday::kFriday);
  EXPECT_EQ(FirstDayNamed("on SUNDAY or monday"), platform::weekday::kMonday);
  EXPECT_EQ(FirstDayNamed("every day"), 0);

  const platform::LocalTime today{2025, 1, 5, 31, 14, 5, 9, 0};
  TaskSchedule s;
  TaskTrigger t = TriggerOf(s, today);  // no time, no event: the new trigger, daily at 14:05
  EXPECT_EQ(t.kind, TriggerKind::kDaily);
  EXPECT_EQ(t.start_hour, 14);
  EXPECT_EQ(t.start_minute, 5);
  EXPECT_EQ(t.begin_year * 10000 + t.begin_month * 100 + t.begin_day, 20250131);
  s.at_time = "true";  // only "TRUE" exactly counts
  EXPECT_EQ(TriggerOf(s, today).start_hour, 14);

  EXPECT_EQ(TaskFlagsOf(s), platform::task_flag::kRunOnlyIfLoggedOn);  // empty: logged on only
  s.run_flags = "TRUE|FALSE";
  s.internet = "TRUE";
  EXPECT_EQ(TaskFlagsOf(s),
            platform::task_flag::kInteractive | platform::task_flag::kRunIfConnectedToInternet);
  s.run_flags = "true|-1";
  s.internet = "True";
  EXPECT_EQ(TaskFlagsOf(s), platform::task_flag::kRunOnlyIfLoggedOn);
  s.run_flags = "TRUE";  // no "|": the second part is empty and counts as true
  EXPECT_EQ(TaskFlagsOf(s),
            platform::task_flag::kInteractive | platform::task_flag::kRunOnlyIfLoggedOn);

  EXPECT_EQ(ServiceStateText(1), "STOPPED");
  EXPECT_EQ(ServiceStateText(7), "PAUSED");
  EXPECT_EQ(ServiceStateText(0), "NOTINSTALLED");
  EXPECT_EQ(ServiceStateText(8), "NOTINSTALLED");
}

// --- the commands

// Counts what the scheduler is given, and keeps the password it saw.
class SeenServices : public platform::ServicesWrapper {
 public:
  using ServicesWrapper::ServicesWrapper;
  Status SaveTask(const std::string& computer, const std::string& name,
                  const ScheduledTask& task) override {
    saved.push_back(task);
    return ServicesWrapper::SaveTask(computer, name, task);
  }
  std::vector<ScheduledTask> saved;
};

class ServiceCommands : public ::testing::Test {
 protected:
  ServiceCommands() {
    const std::string windows = machine_.platform().system().WindowsFolder();
    vars_["TASKS"] = windows + "\\Tasks";
    vars_["ROOT"] = machine_.root();
    vars_["HOST"] = machine_.platform().system().ComputerName();
  }
  ~ServiceCommands() override {
    for (const std::string& name : tasks_) services().DeleteTask("", name);
    machine_.platform().registry().DeleteKeyTree(platform::RegRoot::kCurrentUser,
                                                 "Software\\CorvaneTest\\Registration",
                                                 platform::RegView::kNative);
  }

  platform::Services& services() { return machine_.platform().services(); }

  CommandRun Run(const std::string& text) {
    script_.predefined.clear();
    for (const auto& [name, value] : vars_) script_.predefined.emplace_back(name, value);
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    EXPECT_FALSE(run.Failed()) << run.result.failure;
    return run;
  }

  // A task name of this test (deleted afterwards).
  std::string TaskName(const std::string& suffix) {
    tasks_.push_back("CorvaneTest " + suffix);
    return tasks_.back();
  }

  ScheduledTask Read(const std::string& name, Status expected = Status::kOk) {
    ScheduledTask task;
    EXPECT_EQ(services().ReadTask("", name, &task), expected) << name;
    return task;
  }

  // The scheduler's service runs (the commands start it themselves; reading needs it too).
  void SchedulerRuns() {
    const Status s = services().StartServiceAndWait("", "Schedule");
    ASSERT_TRUE(s == Status::kOk || s == Status::kAlreadyExists) << platform::StatusName(s);
  }

  TaskTrigger Today(TriggerKind kind, int hour = 0, int minute = 0, uint16_t days = 0) {
    const platform::LocalTime now = machine_.platform().system().Now();
    TaskTrigger t;
    t.kind = kind;
    t.begin_year = now.year;
    t.begin_month = now.month;
    t.begin_day = now.day;
    t.start_hour = static_cast<uint16_t>(hour);
    t.start_minute = static_cast<uint16_t>(minute);
    t.days_of_week = days;
    return t;
  }

  bool KeyExists(const std::string& key) {
    return machine_.platform().registry().KeyExists(platform::RegRoot::kCurrentUser, key,
                                                    platform::RegView::kNative) == Status::kOk;
  }

  // A library at ROOT\name whose registration makes the key named after it below
  // Software\CorvaneTest\Registration; a name with "fail" in it refuses to register.
  void Library(const std::string& name) {
    if (machine_.simulated()) {
      const bool fails = name.find("fail") != std::string::npos;
      machine_.Write(name, std::string("[library]\nregister = ") + (fails ? "0x80004005" : "0") +
                               "\nunregister = " + (fails ? "0x80004005" : "0") +
                               "\nkey = HKCU\\Software\\CorvaneTest\\Registration\\" + name + "\n");
    } else {
      machine_.Write(name, std::string(reinterpret_cast<const char*>(kRegisterProbeDll),
                                       kRegisterProbeDll_size));
    }
  }

#ifndef _WIN32
  platform::SimPlatform& sim() { return dynamic_cast<platform::SimPlatform&>(machine_.platform()); }
#endif

  TestMachine machine_;
  CommandScript script_{machine_.platform()};
  std::map<std::string, std::string> vars_;
  std::vector<std::string> tasks_;
};

// A service that does not exist, and a computer that cannot be reached, are "NOTINSTALLED"; the
// scheduler's service is there.
TEST_F(ServiceCommands, CheckServiceStates) {
  CommandRun run = Run(R"(
Check Service "NoSuchSvc" "" "MISSING"
Check Service "Schedule" "" "$SCHED$"
If "SCHED" "=" "NOTINSTALLED"
  Set Variable "SEEN" "no scheduler"
End
)");
  EXPECT_EQ(run.Var("MISSING"), "NOTINSTALLED");
  EXPECT_NE(run.Var("SCHED"), "NOTINSTALLED");
  EXPECT_NE(run.Var("SCHED"), "");
  EXPECT_FALSE(run.Has("SEEN"));
#ifndef _WIN32
  // The states of the table, and another computer.
  sim().sim_services().SetServiceState("Paused One", platform::service_state::kPaused);
  sim().sim_services().SetServiceState("Odd", 9);
  run = Run(R"(
Check Service "paused one" "" "PAUSED"
Check Service "Odd" "" "ODD"
Check Service "msiserver" "" "STOPPED"
Check Service "Schedule" "\\ELSEWHERE" "REMOTE"
Check Service "Schedule" "\\$HOST$" "OWN"
)");
  EXPECT_EQ(run.Var("PAUSED"), "PAUSED");
  EXPECT_EQ(run.Var("ODD"), "NOTINSTALLED");
  EXPECT_EQ(run.Var("STOPPED"), "STOPPED");
  EXPECT_EQ(run.Var("REMOTE"), "NOTINSTALLED");
  EXPECT_EQ(run.Var("OWN"), "RUNNING");
#endif
}

// A stopped scheduler is started by Schedule Task; the work item is a file of the task folder,
// and Delete Scheduled Task removes it.
TEST_F(ServiceCommands, ScheduleTaskStartsTheSchedulerAndDeleteRemovesTheFile) {
  ASSERT_TRUE(machine_.StopService("Schedule"));
  vars_["NAME"] = TaskName("Weekly");
  CommandRun run = Run(R"(
Check Service "Schedule" "" "BEFORE"
Schedule Task "$NAME$" "" "FALSE" "FALSE" "TRUE" "Friday" "3:30 PM" "FALSE" "" "$ROOT$\tool.exe" "$ROOT$" "/quiet now" "SYSTEM" ""
Check Service "Schedule" "" "AFTER"
Does File/Folder Exist "SAVED" "$TASKS$\$NAME$.job" "TRUE"
Delete Scheduled Task "$NAME$" ""
Does File/Folder Exist "LEFT" "$TASKS$\$NAME$.job" "TRUE"
Delete Scheduled Task "$NAME$" ""
)");
  EXPECT_EQ(run.Var("BEFORE"), "STOPPED");
  EXPECT_EQ(run.Var("AFTER"), "RUNNING");
  EXPECT_EQ(run.Var("SAVED"), "TRUE");
  EXPECT_EQ(run.Var("LEFT"), "FALSE");  // and deleting it again is no failure
}

// The triggers: weekly on the day named at the time given (midnight for a time that cannot be
// read), daily for "every day", at logon, and at system start when both events are asked for;
// each begins today.
TEST_F(ServiceCommands, ScheduleTaskTriggers) {
  for (const char* n : {"W", "M", "D", "L", "S"}) vars_[n] = TaskName(std::string("Trigger ") + n);
  Run(R"(
Schedule Task "$W$" "" "FALSE" "FALSE" "TRUE" "Friday" "3:30 PM" "FALSE" "" "$ROOT$\tool.exe" "$ROOT$\work" "/a b" "SYSTEM" ""
Schedule Task "$M$" "" "FALSE" "FALSE" "TRUE" "every FRIDAY" "quarter past three" "FALSE" "" "$ROOT$\tool.exe" "" "" "SYSTEM" ""
Schedule Task "$D$" "" "FALSE" "FALSE" "TRUE" "every day" "7:05 AM" "FALSE" "" "$ROOT$\tool.exe" "" "" "SYSTEM" ""
Schedule Task "$L$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "SYSTEM" ""
Schedule Task "$S$" "" "TRUE" "TRUE" "TRUE" "Monday" "9:00 AM" "FALSE" "" "$ROOT$\tool.exe" "" "" "SYSTEM" ""
)");
  ScheduledTask w = Read(vars_["W"]);
  EXPECT_EQ(w.program, machine_.root() + "\\tool.exe");
  EXPECT_EQ(w.arguments, "/a b");
  EXPECT_EQ(w.working_folder, machine_.root() + "\\work");
  ASSERT_EQ(w.triggers.size(), 1u);
  EXPECT_EQ(w.triggers[0], Today(TriggerKind::kWeekly, 15, 30, platform::weekday::kFriday));
  EXPECT_EQ(w.triggers[0].interval, 1);

  ScheduledTask m = Read(vars_["M"]);
  ASSERT_EQ(m.triggers.size(), 1u);
  EXPECT_EQ(m.triggers[0], Today(TriggerKind::kWeekly, 0, 0, platform::weekday::kFriday));

  ScheduledTask d = Read(vars_["D"]);
  ASSERT_EQ(d.triggers.size(), 1u);
  EXPECT_EQ(d.triggers[0], Today(TriggerKind::kDaily, 7, 5));

  ScheduledTask l = Read(vars_["L"]);
  ASSERT_EQ(l.triggers.size(), 1u);
  EXPECT_EQ(l.triggers[0], Today(TriggerKind::kAtLogon));

  ScheduledTask s = Read(vars_["S"]);
  ASSERT_EQ(s.triggers.size(), 1u);
  EXPECT_EQ(s.triggers[0], Today(TriggerKind::kAtSystemStart));
}

// Parameter 9 empty runs the task only while the user is logged on; "TRUE|FALSE" makes it
// interactive at any time, and parameter 8 adds the internet condition. A task that exists is
// replaced: its settings and its one trigger are the new ones.
TEST_F(ServiceCommands, ScheduleTaskFlagsAndReplacement) {
  vars_["A"] = TaskName("Flags A");
  vars_["B"] = TaskName("Flags B");
  Run(R"(
Schedule Task "$A$" "" "FALSE" "FALSE" "TRUE" "every day" "1:00 AM" "FALSE" "" "$ROOT$\one.exe" "" "" "SYSTEM" ""
Schedule Task "$B$" "" "FALSE" "FALSE" "TRUE" "every day" "1:00 AM" "TRUE" "TRUE|FALSE" "$ROOT$\one.exe" "" "" "SYSTEM" ""
Schedule Task "$A$" "" "FALSE" "FALSE" "TRUE" "Monday" "10:45 PM" "FALSE" "true|TRUE" "$ROOT$\two.exe" "$ROOT$" "-x" "SYSTEM" ""
)");
  EXPECT_EQ(Read(vars_["B"]).flags,
            platform::task_flag::kInteractive | platform::task_flag::kRunIfConnectedToInternet);
  ScheduledTask a = Read(vars_["A"]);
  EXPECT_EQ(a.flags, platform::task_flag::kRunOnlyIfLoggedOn);
  EXPECT_EQ(a.program, machine_.root() + "\\two.exe");
  EXPECT_EQ(a.arguments, "-x");
  ASSERT_EQ(a.triggers.size(), 1u);
  EXPECT_EQ(a.triggers[0], Today(TriggerKind::kWeekly, 22, 45, platform::weekday::kMonday));
}

// Without an account the scheduler would run the task as the system's own account: the task is
// refused, with a trace entry, and its password is in no entry. The account is path-expanded,
// the password only expanded; "SYSTEM" is given to the scheduler as its own empty name.
TEST_F(ServiceCommands, ScheduleTaskAccountsAndPasswords) {
  SchedulerRuns();
  SeenServices seen(services());
  script_.services = &seen;
  vars_["N"] = TaskName("Account");
  vars_["PW"] = "se\\\\cret";
  CommandRun run = Run(R"(
Schedule Task "$N$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "" "$PW$"
)");
  EXPECT_TRUE(seen.saved.empty());
  Read(vars_["N"], Status::kNotFound);
  bool refused = false;
  for (const std::string& entry : run.trace) {
    EXPECT_EQ(entry.find("se\\"), std::string::npos) << entry;
    refused = refused || entry.find("Schedule Task refused \"" + vars_["N"] + "\"") == 0;
  }
  EXPECT_TRUE(refused);

  run = Run(R"(
Schedule Task "$N$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "$HOST$\\tasks" "$PW$"
Schedule Task "$N$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "nt authority\system" ""
)");
  ASSERT_EQ(seen.saved.size(), 2u);
  EXPECT_TRUE(seen.saved[0].set_account);
  EXPECT_EQ(seen.saved[0].account, vars_["HOST"] + "\\tasks");
  EXPECT_EQ(seen.saved[0].password, "se\\\\cret");
  EXPECT_EQ(seen.saved[1].account, "");
  EXPECT_EQ(seen.saved[1].password, "");
  for (const std::string& entry : run.trace) EXPECT_EQ(entry.find("se\\"), std::string::npos);
}

#ifndef _WIN32
// A scheduler that cannot be started leaves the commands without doing anything; the simulated
// task store holds the account and whether a password was given, never the password.
TEST_F(ServiceCommands, UnavailableSchedulerAndTheTaskStore) {
  vars_["N"] = "Store";
  CommandRun run = Run(R"(
Schedule Task "$N$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "User" "hidden words"
)");
  std::string text;
  ASSERT_EQ(machine_.platform().files().ReadFile(vars_["TASKS"] + "\\Store.job", &text),
            Status::kOk);
  EXPECT_NE(text.find("account = User\r\npassword = given\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("hidden"), std::string::npos);

  sim().sim_services().SetServiceState("Schedule", platform::service_state::kStopped, true);
  vars_["N"] = "Never";
  run = Run(R"(
Schedule Task "$N$" "" "FALSE" "TRUE" "FALSE" "" "" "FALSE" "" "$ROOT$\tool.exe" "" "" "User" ""
Delete Scheduled Task "Store" ""
)");
  EXPECT_FALSE(machine_.platform().files().FileExists(vars_["TASKS"] + "\\Never.job"));
  EXPECT_TRUE(machine_.platform().files().FileExists(vars_["TASKS"] + "\\Store.job"));
  EXPECT_NE(std::find(run.trace.begin(), run.trace.end(),
                      "Schedule Task \"Never\": the task scheduler is not available"),
            run.trace.end());
}

// On the older platform family there are no accounts: the task is saved without one.
TEST(ServiceCommandsOlderFamily, TasksHaveNoAccount) {
  TestMachine machine("windows.platform = 9x\nwindows.version = 4.10.2222\n");
  CommandScript script(machine.platform());
  // The scheduler agent's window is not there; its program is found in the system folder.
  machine.platform().files().WriteFile(machine.platform().system().SystemFolder() + "\\mstask.exe",
                                       "[program]\nrun = forever\n");
  CommandRun run = script.Run(R"(
Schedule Task "Old" "" "TRUE" "FALSE" "FALSE" "" "" "FALSE" "" "C:\tool.exe" "" "" "" ""
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  auto& sim = dynamic_cast<platform::SimPlatform&>(machine.platform());
  auto starts = sim.sim_processes().Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].path, machine.platform().system().SystemFolder() + "\\mstask.exe");
  ScheduledTask task;
  ASSERT_EQ(machine.platform().services().ReadTask("", "Old", &task), Status::kOk);
  EXPECT_FALSE(task.set_account);
}
#endif

// Control Service and Install Service record their slots; the service password is expanded
// only and recorded as a secret, which the engine cache does not keep. Dependencies separated
// by "~" reach the installer with its null separator.
TEST_F(ServiceCommands, InstallerTableCommandsRecordTheirSlots) {
  vars_["SVC"] = "Corvane Helper";
  CommandRun run = Run(R"(
[header 0A0B0C0D] Control Service "$SVC$" "$ROOT$\\bin"
[header 0E0F0A0B] Install Service "x" "$SVC$" "x" "Display" "Described" "Sixth" "x" "x" "Group" "RpcSs~LanmanServer~" "x" "x" ".\\svc" "pa\\ss$SVC$" "-run \\x"
)");
  const std::string root = machine_.root();
  const std::vector<std::string> expected = {"A0A0B0C0D=TRUE",
                                             "P0A0B0C0D_1=Corvane Helper",
                                             "P0A0B0C0D_2=" + root + "\\bin",
                                             "A0E0F0A0B=TRUE",
                                             "P0E0F0A0B_1=Corvane Helper",
                                             "P0E0F0A0B_2=Display",
                                             "P0E0F0A0B_3=Described",
                                             "P0E0F0A0B_4=Group",
                                             "P0E0F0A0B_5=RpcSs$NULL$LanmanServer$NULL$",
                                             "P0E0F0A0B_6=.\\svc",
                                             "P0E0F0A0B_7=pa\\\\ssCorvane Helper",
                                             "P0E0F0A0B_8=-run \\x",
                                             "P0E0F0A0B_9=Sixth"};
  EXPECT_EQ(run.properties, expected);
  std::vector<std::string> kept = expected;
  kept.erase(kept.begin() + 10);
  EXPECT_EQ(run.kept_properties, kept);
  EXPECT_EQ(run.executed, (std::vector<std::string>{"TRUE", "TRUE"}));
}

// DllRegisterServer and DllUnregisterServer of a library; one that fails, a missing library and a
// missing type library give "FALSE". The current folder is the old one afterwards.
TEST_F(ServiceCommands, RegisterLibraryCallsTheLibrarysEntries) {
  Library("probe.dll");
  Library("probe-fail.dll");
  const std::string before = machine_.platform().files().GetCurrentDirectory();
  CommandRun run = Run(R"(
Register Library "$ROOT$\probe.dll" "TRUE" "REG"
Register Library "$ROOT$\probe-fail.dll" "TRUE" "FAILED"
Register Library "$ROOT$\missing.dll" "TRUE" "MISSING"
Register Library "$ROOT$\missing.tlb" "TRUE" "NOTLB"
Register Library "$ROOT$\missing.tlb" "FALSE" "NOTLB2"
Register Library "$ROOT$\probe-fail.dll" "TRUE" ""
)");
  EXPECT_EQ(run.Var("REG"), "TRUE");
  EXPECT_EQ(run.Var("FAILED"), "FALSE");
  EXPECT_EQ(run.Var("MISSING"), "FALSE");
  EXPECT_EQ(run.Var("NOTLB"), "FALSE");
  EXPECT_EQ(run.Var("NOTLB2"), "FALSE");
  EXPECT_TRUE(KeyExists("Software\\CorvaneTest\\Registration\\probe.dll"));
  EXPECT_FALSE(KeyExists("Software\\CorvaneTest\\Registration\\probe-fail.dll"));
  EXPECT_EQ(machine_.platform().files().GetCurrentDirectory(), before);

  run = Run(R"(
Register Library "$ROOT$\probe.dll" "FALSE" "UNREG"
)");
  EXPECT_EQ(run.Var("UNREG"), "TRUE");
  EXPECT_FALSE(KeyExists("Software\\CorvaneTest\\Registration\\probe.dll"));
}

// A self-registering program is started with its path quoted (a folder with blanks must not
// start another program named by the path's first words) and without the engine's handles;
// nothing waits for it.
TEST_F(ServiceCommands, RegisterLibraryStartsAProgramQuotedWithoutHandles) {
  machine_.platform().files().CreateDirectories(machine_.root() + "\\My Tools");
  const std::string program = machine_.root() + "\\My Tools\\server.exe";
  if (machine_.simulated()) {
    machine_.Write("My Tools\\server.exe", "[program]\nrun = 100\n");
    machine_.Write("My.exe", "[program]\n");
  } else {
    const std::string bytes(reinterpret_cast<const char*>(kRegserverProbeExe),
                            kRegserverProbeExe_size);
    machine_.Write("My Tools\\server.exe", bytes);
    machine_.Write("My.exe", bytes);
  }
#ifdef _WIN32
  const std::string report = machine_.root() + "\\report.txt";
  platform::SystemInfo& system = machine_.platform().system();
  system.SetEnvironment("CORVANE_PROBE_REPORT", report);
  system.SetEnvironment("CORVANE_PROBE_HANDLE",
                        std::to_string(platform::win32::InheritableHandle()));
#endif
  CommandRun run = Run(R"(
Register Library "$ROOT$\My Tools\server.exe" "TRUE" "REG"
Register Library "$ROOT$\My Tools\missing.exe" "TRUE" "MISSING"
)");
  EXPECT_EQ(run.Var("REG"), "TRUE");
  EXPECT_EQ(run.Var("MISSING"), "FALSE");
#ifndef _WIN32
  auto starts = sim().sim_processes().Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].kind, "create");
  EXPECT_EQ(starts[0].path, program);
  EXPECT_EQ(starts[0].command_line, "\"" + program + "\" /regserver");
  EXPECT_EQ(starts[0].folder, machine_.root() + "\\My Tools");
#else
  // The program was not waited for: its report comes when it comes.
  std::string text;
  for (int i = 0; i < 300 && !machine_.Exists("report.txt"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  text = machine_.Read("report.txt");
  EXPECT_EQ(text, "line=\"" + program + "\" /regserver\ninherited=no\n");
  system.SetEnvironment("CORVANE_PROBE_REPORT", "", true);
  system.SetEnvironment("CORVANE_PROBE_HANDLE", "", true);
#endif
}

#ifndef _WIN32
// A type library registers under HKCR\TypeLib with its help folder and goes again with its last
// version; a library without an unregistration entry cannot be unregistered.
TEST_F(ServiceCommands, TypeLibrariesOnTheSimulatedMachine) {
  machine_.Write("types.tlb",
                 "[typelib]\nguid = {6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A0AA}\nversion = 1.2\n"
                 "name = Example Types\nhelpfile = C:\\Help\\types.hlp\n");
  machine_.Write("once.dll", "[library]\nregister = 0\nunregister = none\n");
  CommandRun run = Run(R"(
Register Library "$ROOT$\types.tlb" "TRUE" "REG"
Register Library "$ROOT$\once.dll" "FALSE" "NOENTRY"
)");
  EXPECT_EQ(run.Var("REG"), "TRUE");
  EXPECT_EQ(run.Var("NOENTRY"), "FALSE");
  platform::Registry& r = machine_.platform().registry();
  const std::string key = "TypeLib\\{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A0AA}";
  platform::RegValue v;
  ASSERT_EQ(r.ReadValue(platform::RegRoot::kClassesRoot, key + "\\1.2", "",
                        platform::RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "Example Types");
  ASSERT_EQ(r.ReadValue(platform::RegRoot::kClassesRoot, key + "\\1.2\\HELPDIR", "",
                        platform::RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "C:\\Help");
  ASSERT_EQ(r.ReadValue(platform::RegRoot::kClassesRoot, key + "\\1.2\\0\\win32", "",
                        platform::RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, machine_.root() + "\\types.tlb");

  run = Run(R"(
Register Library "$ROOT$\types.tlb" "FALSE" "UNREG"
Register Library "$ROOT$\types.tlb" "FALSE" "AGAIN"
)");
  EXPECT_EQ(run.Var("UNREG"), "TRUE");
  EXPECT_EQ(run.Var("AGAIN"), "FALSE");  // nothing left to remove
  EXPECT_EQ(r.KeyExists(platform::RegRoot::kClassesRoot, key, platform::RegView::kNative),
            Status::kNotFound);
}
#endif

}  // namespace
}  // namespace corvane::commands
