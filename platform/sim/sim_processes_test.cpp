// The simulated machine's process table: stand-in programs, virtual time while a thread waits,
// the processes of processes.txt, and what the transcript shows of a start.
#include "platform/sim/sim_processes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"

namespace corvane::platform::sim {
namespace {

namespace fs = std::filesystem;

class Machine {
 public:
  explicit Machine(const std::string& processes_txt = "") {
    static int n = 0;
    folder_ = fs::temp_directory_path() /
              ("corvane-processes-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (!processes_txt.empty()) std::ofstream(folder_ / "processes.txt") << processes_txt;
    SimOptions o;
    o.machine_folder = folder_.string();
    o.save_registry_on_exit = false;
    platform_ = CreateSimPlatform(o);
    platform_->files().CreateDirectories("C:\\Tools");
  }
  ~Machine() {
    platform_.reset();
    fs::remove_all(folder_);
  }
  SimPlatform& p() { return *platform_; }
  void Put(const std::string& path, const std::string& text) {
    ASSERT_EQ(platform_->files().WriteFile(path, text), Status::kOk);
  }

 private:
  fs::path folder_;
  std::unique_ptr<SimPlatform> platform_;
};

TEST(StandIn, HeaderAndKeys) {
  StandIn p;
  std::string error;
  EXPECT_FALSE(ParseStandIn("MZ\x90\x00", &p, &error));
  EXPECT_EQ(error, "");
  EXPECT_TRUE(ParseStandIn("[program]\nexit = -2\nrun = forever\nwindow = A | B\non_close = ignore\n",
                           &p, &error))
      << error;
  EXPECT_EQ(p.exit_code, 0xFFFFFFFEu);
  EXPECT_FALSE(p.run_ms.has_value());
  ASSERT_EQ(p.windows.size(), 1u);
  EXPECT_EQ(p.windows[0].first, "A");
  EXPECT_EQ(p.windows[0].second, "B");
  EXPECT_FALSE(p.close_ends);
  EXPECT_FALSE(ParseStandIn("[program]\nexit = lots\n", &p, &error));
  EXPECT_NE(error.find("exit"), std::string::npos);
  EXPECT_FALSE(ParseStandIn("[program]\ncolour = red\n", &p, &error));
  EXPECT_FALSE(ParseStandIn("[program]\nwindow = no bar\n", &p, &error));
}

// A file that is not a stand-in cannot be started; a missing one is not found; a program is found
// by name in the system folder with ".exe" added.
TEST(SimProcesses, FindingPrograms) {
  Machine m;
  m.Put("C:\\Tools\\readme.txt", "hello");
  m.Put("C:\\Windows\\system32\\sysprog.exe", "[program]\nexit = 5\n");
  Processes& pr = m.p().processes();
  std::unique_ptr<Process> p;
  EXPECT_EQ(pr.ShellStart("open", "C:\\Tools\\readme.txt", "", "C:\\Tools\\", 5, &p),
            Status::kFailed);
  EXPECT_EQ(pr.ShellStart("open", "C:\\Tools\\none.exe", "", "C:\\Tools\\", 5, &p),
            Status::kNotFound);
  EXPECT_EQ(pr.ShellStart("print", "C:\\Windows\\system32\\sysprog.exe", "", "", 5, &p),
            Status::kFailed);
  ASSERT_EQ(pr.PlainStart("sysprog -x", StartOptions(), &p), Status::kOk);
  ASSERT_TRUE(p);
  uint32_t code = 0;
  EXPECT_TRUE(p->Wait(0));
  EXPECT_TRUE(p->ExitCode(&code));
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(m.p().sim_processes().OpenHandles(), 1);
  p.reset();
  EXPECT_EQ(m.p().sim_processes().OpenHandles(), 0);
}

// A thread that waits for a long program lets the renderer's idle wait move the clock on to the
// program's end: a minute of virtual time passes in much less real time, and not beyond the end.
TEST(SimProcesses, WaitingLetsVirtualTimePass) {
  Machine m;
  m.Put("C:\\Tools\\long.exe", "[program]\nexit = 7\nrun = 60000\n");
  std::unique_ptr<Process> p;
  ASSERT_EQ(m.p().processes().ShellStart("open", "C:\\Tools\\long.exe", "", "C:\\Tools\\", 1, &p),
            Status::kOk);
  uint32_t code = 0;
  ASSERT_TRUE(p->ExitCode(&code));
  EXPECT_EQ(code, kStillActive);
  const uint64_t started = m.p().sim_windows().Now();
  std::atomic<bool> ended{false};
  std::thread waiter([&] {
    while (!p->Wait(1000)) {
    }
    ended = true;
  });
  auto real_start = std::chrono::steady_clock::now();
  while (!ended && std::chrono::steady_clock::now() - real_start < std::chrono::seconds(20)) {
    m.p().sim_windows().Idle();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  waiter.join();
  EXPECT_TRUE(ended);
  EXPECT_LT(std::chrono::steady_clock::now() - real_start, std::chrono::seconds(10));
  const uint64_t elapsed = m.p().sim_windows().Now() - started;
  EXPECT_GE(elapsed, 60000u);
  EXPECT_LT(elapsed, 62000u);
  ASSERT_TRUE(p->ExitCode(&code));
  EXPECT_EQ(code, 7u);
}

// processes.txt replaces the shell; a machine without a shell window has no shell level, and
// its lines' problems are reported.
TEST(SimProcesses, RunningProcessesFromTheMachineFolder) {
  Machine m("process = C:\\Apps\\service.exe\nintegrity = high\nwindow = Service | SvcWnd\n"
            "bogus line\n");
  EXPECT_NE(m.p().Warnings().find("processes.txt line 4"), std::string::npos) << m.p().Warnings();
  Processes& pr = m.p().processes();
  EXPECT_EQ(pr.ShellIntegrityLevel(), 0u);
  std::vector<std::string> running = pr.RunningExecutables();
  ASSERT_EQ(running.size(), 2u);  // the engine and the service
  EXPECT_EQ(running[1], "C:\\Apps\\service.exe");
  std::vector<TopWindow> windows = pr.TopLevelWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].class_name, "SvcWnd");
  EXPECT_NE(windows[0].process_id, pr.CurrentProcessId());
  // A machine process does not end when its window is asked to close.
  EXPECT_TRUE(pr.PostCloseRequest(windows[0].handle));
  EXPECT_EQ(pr.RunningExecutables().size(), 2u);

  Machine fresh;
  EXPECT_EQ(fresh.p().processes().ShellIntegrityLevel(), integrity::kMedium);
  EXPECT_EQ(fresh.p().processes().OwnIntegrityLevel(), integrity::kHigh);
}

// The transcript shows a start's command line, show command and environment, and of a password
// only its length.
TEST(SimProcesses, TranscriptOfStarts) {
  Machine m;
  m.Put("C:\\Tools\\tool.exe", "[program]\n");
  Transcript t;
  RecordingPlatform recorded(m.p(), t);
  StartOptions o;
  o.show = 3;
  o.inherit_environment = false;
  o.environment = {"A=1", "B=2"};
  std::unique_ptr<Process> p;
  ASSERT_EQ(recorded.processes().StartWithLogon("User", "", "s3cret!", "\"C:\\Tools\\tool.exe\" x",
                                                o, &p),
            Status::kOk);
  ASSERT_EQ(recorded.processes().PlainStart("C:\\Tools\\missing.exe", StartOptions(), &p),
            Status::kFailed);
  const std::string text = t.Text();
  EXPECT_NE(text.find("program logon-start \"\"C:\\Tools\\tool.exe\" x\" user \"User\" domain \"\" "
                      "password of 7 characters show 3 environment [\"A=1\", \"B=2\"] -> started"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("program create \"C:\\Tools\\missing.exe\" show 1 environment inherited -> "
                      "failed"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
}

}  // namespace
}  // namespace corvane::platform::sim
