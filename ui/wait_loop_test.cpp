// The wait loop with a cancel and the watchdog, through a test command that runs a worker which
// ignores the terminate request.
#include <gtest/gtest.h>

#include <thread>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "ui/wait_loop.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"

namespace corvane::ui {
namespace {

namespace testing = commands::testing;

using namespace std::chrono_literals;

std::atomic<bool> release_workers{false};
std::atomic<int> running_workers{0};
bool last_abandoned = false;

// Works until released (or 10 s), ignoring the terminate request; publishes an alive signal every
// 2 ms when `alive`, for `alive_for` after the start.
class StubbornJob : public BackgroundJob {
 public:
  StubbornJob(bool alive, std::chrono::milliseconds alive_for) : alive_(alive), alive_for_(alive_for) {}
  void Work(ProgressChannel& progress) override {
    ++running_workers;
    auto start = std::chrono::steady_clock::now();
    while (!release_workers && std::chrono::steady_clock::now() - start < 10s) {
      auto elapsed = std::chrono::steady_clock::now() - start;
      if (alive_) {
        if (elapsed > alive_for_) break;
        progress.Publish("$VORT$", 0, 0, 0);
      }
      std::this_thread::sleep_for(2ms);
    }
    --running_workers;
  }

 private:
  bool alive_;
  std::chrono::milliseconds alive_for_;
};

void RunTestJob(interp::CommandContext& ctx) {
  bool alive = ctx.params().Expanded(1) == "alive";
  WaitOptions options{"Cancel at Test Time"};
  options.watchdog_interval = 200ms;
  WaitLoop loop(options);
  loop.Run(ctx, std::make_shared<StubbornJob>(alive, 700ms));
  last_abandoned = loop.abandoned();
}
CORVANE_COMMAND("Wait Loop Test Job", RunTestJob);

// A worker that still publishes, with the watchdog that gives up at its first tick; or, with
// "fail", an iteration hook that throws at its third call.
int iterations = 0;
void RunFirstTickJob(interp::CommandContext& ctx) {
  WaitOptions options{"Cancel at Test Time"};
  options.watchdog_interval = 200ms;
  options.watchdog_at_first_tick = true;
  iterations = 0;
  const bool fail = ctx.params().Expanded(1) == "fail";
  options.each_iteration = [fail](ProgressChannel& progress) {
    if (fail && ++iterations == 3) throw image::ScriptFailure("progress is not a number");
    progress.Publish("from the interface", 0, 100, 7);
  };
  WaitLoop loop(options);
  loop.Run(ctx, std::make_shared<StubbornJob>(true, 5s));
  last_abandoned = loop.abandoned();
}
CORVANE_COMMAND("Wait Loop First Tick Job", RunFirstTickJob);

// Waits until released (or 10 s), ignoring the terminate request, and then goes on using the
// platform of the run that started it, as a search given up inside a slow folder listing does.
std::atomic<bool> release_lingering{false};
std::atomic<bool> lingering_done{false};
class LingeringJob : public BackgroundJob {
 public:
  LingeringJob(platform::Platform& platform, std::string folder)
      : platform_(platform), folder_(std::move(folder)) {}
  void Work(ProgressChannel&) override {
    auto start = std::chrono::steady_clock::now();
    while (!release_lingering && std::chrono::steady_clock::now() - start < 10s) {
      std::this_thread::sleep_for(1ms);
    }
    uint32_t attributes = 0;
    platform_.files().GetAttributes(folder_, &attributes);
    platform_.files().FileExists(folder_ + "\\later.txt");
    lingering_done = true;
  }

 private:
  platform::Platform& platform_;
  std::string folder_;
};

void RunLingeringJob(interp::CommandContext& ctx) {
  WaitOptions options{"Cancel at Test Time"};
  options.watchdog_interval = 200ms;
  WaitLoop loop(options);
  loop.Run(ctx, std::make_shared<LingeringJob>(ctx.platform(), ctx.params().Expanded(1)));
  last_abandoned = loop.abandoned();
}
CORVANE_COMMAND("Wait Loop Lingering Job", RunLingeringJob);

class WaitLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    release_workers = false;
    script_.on_pump = [](interp::Session& s) { s.variables.store().Set("VORT_IsCancelled", "TRUE"); };
  }
  void TearDown() override {
    release_workers = true;
    while (running_workers > 0) std::this_thread::sleep_for(1ms);
  }
  testing::TestMachine machine_;
  testing::CommandScript script_{machine_.platform()};
};

TEST_F(WaitLoopTest, WatchdogGivesUpASilentWorker) {
  auto start = std::chrono::steady_clock::now();
  testing::CommandRun run = script_.Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Wait Loop Test Job "silent"
Set Variable "AFTER" "ran"
)");
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(last_abandoned);
  EXPECT_LT(took, 3s);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Setup cancelled");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(run.Var("AFTER"), "ran");
  // The abandoned worker is still running, cut off from the run.
  EXPECT_EQ(running_workers.load(), 1);
}

TEST_F(WaitLoopTest, WorkerThatStillPublishesIsWaitedFor) {
  testing::CommandRun run = script_.Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Wait Loop Test Job "alive"
)");
  EXPECT_FALSE(last_abandoned);
  EXPECT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(running_workers.load(), 0);
}

TEST_F(WaitLoopTest, FirstTickWatchdogGivesUpAWorkerThatStillPublishes) {
  testing::CommandRun run = script_.Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Wait Loop First Tick Job "alive"
)");
  EXPECT_TRUE(last_abandoned);
  EXPECT_EQ(run.Var("VORT_thProgressText"), "from the interface");
  EXPECT_EQ(run.Var("VORT_thProgress"), "7");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
}

// What the iteration hook throws stops the wait and fails the command; the worker, which ignores
// the stop request, is given up after the watchdog interval.
TEST_F(WaitLoopTest, IterationFailureEndsTheWaitAndTheRun) {
  script_.on_pump = nullptr;
  auto start = std::chrono::steady_clock::now();
  testing::CommandRun run = script_.Run(R"(
Wait Loop First Tick Job "fail"
Set Variable "AFTER" "ran"
)");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  EXPECT_TRUE(run.Failed());
  EXPECT_NE(run.result.failure.find("progress is not a number"), std::string::npos);
  EXPECT_FALSE(run.Has("AFTER"));
  EXPECT_TRUE(last_abandoned);
}

// The run ends, and its owner lets go of the machine and the platform, while a worker that the
// watchdog gave up on still runs: the worker keeps them alive until it is done with them (under
// AddressSanitizer a use after their end would stop the test).
TEST(WaitLoopOwnership, AGivenUpWorkerKeepsThePlatformUntilItEnds) {
  struct Owned {
    testing::TestMachine machine;
    testing::CommandScript script{machine.platform()};
  };
  release_lingering = false;
  lingering_done = false;
  auto owned = std::make_shared<Owned>();
  owned->script.owner = owned;
  owned->script.on_pump = [](interp::Session& s) {
    s.variables.store().Set("VORT_IsCancelled", "TRUE");
  };
  owned->script.predefined = {{"ROOT", owned->machine.root()}};
  testing::CommandRun run = owned->script.Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Wait Loop Lingering Job "$ROOT$"
Set Variable "AFTER" "ran"
)");
  EXPECT_TRUE(last_abandoned);
  EXPECT_EQ(run.Var("AFTER"), "ran");

  std::weak_ptr<Owned> watch = owned;
  owned.reset();
  EXPECT_FALSE(watch.expired()) << "the machine ended under a running worker";
  release_lingering = true;
  auto until = std::chrono::steady_clock::now() + 10s;
  while (!(lingering_done && watch.expired()) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(lingering_done);
  EXPECT_TRUE(watch.expired()) << "the worker's end let go of the machine";
}

TEST(ProgressChannel, DelegateRules) {
  testing::TestMachine machine;
  interp::TVariableManager store;
  ProgressChannel channel(store, machine.platform().system());
  channel.Publish("copying", 0, 100, 40);
  EXPECT_EQ(store.Get("VORT_thProgress"), "40");
  EXPECT_EQ(store.Get("VORT_thProgressText"), "copying");
  EXPECT_FALSE(store.Get("VORT_LastDelegateTick").empty());
  channel.Publish("C:\\file", 0, 0, -1);
  EXPECT_EQ(store.Get("VORT_thProgress"), "40");
  EXPECT_EQ(store.Get("VORT_thMax"), "100");
  EXPECT_EQ(store.Get("VORT_thProgressText"), "C:\\file");
  channel.Publish("$IGNORE$", 0, 100, 7);
  EXPECT_EQ(store.Get("VORT_thProgress"), "7");
  EXPECT_EQ(store.Get("VORT_thProgressText"), "C:\\file");
  channel.Publish("$VORT$", 5, 5, 5);
  EXPECT_EQ(store.Get("VORT_thProgress"), "7");
  EXPECT_EQ(store.Get("VORT_thMin"), "0");
  channel.Disconnect();
  channel.Publish("late", 0, 100, 99);
  EXPECT_EQ(store.Get("VORT_thProgressText"), "C:\\file");
}

}  // namespace
}  // namespace corvane::ui
