// The service manager, the task scheduler and library registration: the simulated machine and the
// real system answer alike.
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

class ServicesContract : public ContractTest {
 protected:
  Services& Svc() { return P().services(); }
  void SchedulerRuns() {
    const Status s = Svc().StartServiceAndWait("", "Schedule");
    ASSERT_TRUE(s == Status::kOk || s == Status::kAlreadyExists) << StatusName(s);
    uint32_t state = 0;
    ASSERT_EQ(Svc().QueryServiceState("", "Schedule", &state), Status::kOk);
    EXPECT_EQ(state, service_state::kRunning);
  }
  void TearDown() override {
    if (!task_.empty()) Svc().DeleteTask("", task_);
    ContractTest::TearDown();
  }
  std::string task_;
};

TEST_F(ServicesContract, UnknownServicesAreNotFound) {
  uint32_t state = 99;
  EXPECT_EQ(Svc().QueryServiceState("", "NoSuchSvc", &state), Status::kNotFound);
  EXPECT_EQ(state, 99u);
  EXPECT_EQ(Svc().StartServiceAndWait("", "NoSuchSvc"), Status::kNotFound);
  // Starting a service that runs is no start.
  SchedulerRuns();
  EXPECT_EQ(Svc().StartServiceAndWait("", "Schedule"), Status::kAlreadyExists);
}

// A work item keeps what it was given; saving it again replaces its settings and triggers.
TEST_F(ServicesContract, WorkItemsAreSavedReadReplacedAndDeleted) {
  SchedulerRuns();
  task_ = "CorvaneContract Task " + std::to_string(Sys().TickCount());
  ScheduledTask task;
  task.program = At("tool.exe");
  task.arguments = "/run \"quoted words\"";
  task.working_folder = scratch_;
  task.flags = task_flag::kInteractive | task_flag::kRunOnlyIfLoggedOn;
  TaskTrigger weekly;
  weekly.kind = TriggerKind::kWeekly;
  weekly.begin_year = 2025, weekly.begin_month = 1, weekly.begin_day = 31;
  weekly.start_hour = 15, weekly.start_minute = 30;
  weekly.days_of_week = weekday::kFriday | weekday::kMonday;
  TaskTrigger logon;
  logon.kind = TriggerKind::kAtLogon;
  logon.begin_year = 2025, logon.begin_month = 2, logon.begin_day = 1;
  task.triggers = {weekly, logon};
  task.set_account = true;
  task.account = "";  // the system's own account
  ASSERT_EQ(Svc().SaveTask("", task_, task), Status::kOk);

  ScheduledTask read;
  ASSERT_EQ(Svc().ReadTask("", task_, &read), Status::kOk);
  EXPECT_EQ(read.program, task.program);
  EXPECT_EQ(read.arguments, task.arguments);
  EXPECT_EQ(read.working_folder, task.working_folder);
  EXPECT_EQ(read.flags, task.flags);
  ASSERT_EQ(read.triggers.size(), 2u);
  EXPECT_EQ(read.triggers[0], weekly);
  EXPECT_EQ(read.triggers[1], logon);
  // Wine's scheduler keeps no account information; where it is kept it is the one given.
  if (read.set_account) {
    EXPECT_EQ(read.account, task.account);
  }

  task.program = At("other.exe");
  task.flags = 0;
  TaskTrigger start;
  start.kind = TriggerKind::kAtSystemStart;
  start.begin_year = 2025, start.begin_month = 3, start.begin_day = 2;
  task.triggers = {start};
  ASSERT_EQ(Svc().SaveTask("", task_, task), Status::kOk);
  ASSERT_EQ(Svc().ReadTask("", task_, &read), Status::kOk);
  EXPECT_EQ(read.program, task.program);
  EXPECT_EQ(read.flags, 0u);
  ASSERT_EQ(read.triggers.size(), 1u);
  EXPECT_EQ(read.triggers[0], start);

  EXPECT_EQ(Svc().DeleteTask("", task_), Status::kOk);
  EXPECT_EQ(Svc().ReadTask("", task_, &read), Status::kNotFound);
  EXPECT_EQ(Svc().DeleteTask("", task_), Status::kNotFound);
}

TEST_F(ServicesContract, MissingLibrariesAreNotFound) {
  int32_t result = 7;
  EXPECT_EQ(P().registration().CallRegistrationEntry(At("missing.dll"), true, &result),
            Status::kNotFound);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(P().registration().RegisterTypeLibrary(At("missing.tlb")), Status::kNotFound);
  EXPECT_EQ(P().registration().UnregisterTypeLibrary(At("missing.tlb")), Status::kNotFound);
  // A file that is no library cannot be loaded.
  ASSERT_EQ(Files().WriteFile(At("text.dll"), "just text"), Status::kOk);
  EXPECT_EQ(P().registration().CallRegistrationEntry(At("text.dll"), true, &result),
            Status::kFailed);
  ASSERT_EQ(Files().WriteFile(At("text.tlb"), "just text"), Status::kOk);
  EXPECT_EQ(P().registration().RegisterTypeLibrary(At("text.tlb")), Status::kFailed);
}

}  // namespace
}  // namespace corvane::contract
