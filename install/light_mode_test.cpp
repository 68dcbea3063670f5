// Run Light Mode Setup as scripts, natively on the simulated machine and under Wine. The engine's
// own file is the program of the program-command tests (a real executable image); the light-mode
// file holds a stand-in description. Under Wine the runnable file is that program, which ends
// with the code its arguments name; the simulated machine runs an executable image with a
// stand-in behind it as that stand-in. Either way the child ends with the code the test chose.
#include "install/light_mode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/files.h"
#include "platform/system.h"

extern const unsigned char kReportExe[];
extern const size_t kReportExe_size;

namespace corvane::install {
namespace {

using commands::testing::CommandRun;
using commands::testing::CommandScript;
using commands::testing::TestMachine;

// The engine runs from ROOT\engine\engine.exe.
class MovedEngine : public platform::SystemInfoWrapper {
 public:
  MovedEngine(platform::SystemInfo& target, std::string path)
      : SystemInfoWrapper(target), path_(std::move(path)) {}
  std::string ModulePath() override { return path_; }

 private:
  std::string path_;
};

// The first move of a file to a name that ends with `suffix` fails.
class FailingMoves : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  void FailOnce(std::string s) { suffix_ = std::move(s); }
  platform::Status MoveFile(const std::string& from, const std::string& to, bool replace) override {
    if (!suffix_.empty() && to.size() >= suffix_.size() &&
        to.compare(to.size() - suffix_.size(), suffix_.size(), suffix_) == 0) {
      suffix_.clear();
      return platform::Status::kAccessDenied;
    }
    return FileSystemWrapper::MoveFile(from, to, replace);
  }

 private:
  std::string suffix_;
};

const std::string kReport(reinterpret_cast<const char*>(kReportExe), kReportExe_size);

// The machine and the script, shared with the run's workers: a worker that the watchdog gives up
// on keeps them until it ends.
struct Rig {
  TestMachine machine;
  MovedEngine engine{machine.platform().system(), machine.root() + "\\engine\\engine.exe"};
  FailingMoves files{machine.platform().files()};
  CommandScript script{machine.platform()};
};

class LightMode : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_.Write("engine\\engine.exe", kReport);
    machine_.Write("engine\\zel.lib", "the engine's archive library");
    script_.system = &rig_->engine;
    script_.files = &files_;
    script_.platform_windows = true;
    script_.owner = rig_;
  }

  // A worker given up on ends soon after (its wait for the child ends at its next step): the
  // machine goes only after it.
  void TearDown() override {
    for (int i = 0; i < 200 && rig_.use_count() > 1; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(rig_.use_count(), 1);
  }

  // A light-mode file at ROOT\relative whose child ends with `code` after `ms` milliseconds.
  // Scripts pass it the arguments $ARGS$ of the last such file (under Wine: its report file, the
  // code and the time).
  std::string Child(const std::string& relative, int code, int ms) {
    const std::string text =
        "[program]\nexit = " + std::to_string(code) + "\nrun = " + std::to_string(ms) + "\n";
    machine_.Write(relative, text);
    args_ = Args("report.txt", code, ms);
    return text;
  }
  std::string Args(const std::string& report, int code, int ms) {
    return machine_.simulated() ? std::string("from the test")
                                : "\"" + machine_.root() + "\\" + report + "\" " +
                                      std::to_string(code) + " " + std::to_string(ms);
  }

  CommandRun Run(const std::string& text) {
    script_.predefined = {{"ROOT", machine_.root()}, {"ARGS", args_}};
    for (const auto& v : extra_) script_.predefined.push_back(v);
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    EXPECT_FALSE(run.Failed()) << run.result.failure;
    return run;
  }

  // The names in a folder below ROOT, sorted.
  std::vector<std::string> Names(const std::string& relative) {
    std::vector<platform::FileEntry> entries;
    machine_.platform().files().List(machine_.root() + "\\" + relative, "*", &entries);
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::shared_ptr<Rig> rig_ = std::make_shared<Rig>();
  TestMachine& machine_ = rig_->machine;
  FailingMoves& files_ = rig_->files;
  CommandScript& script_ = rig_->script;
  std::string args_;
  std::vector<std::pair<std::string, std::string>> extra_;
};

// The child runs with the archive library beside it and its code comes back; afterwards the file
// is byte for byte what it was and nothing is left beside it.
TEST_F(LightMode, ChildRunsAndTheFileComesBack) {
  const std::string original = Child("child\\child.exe", 42, 0);
  CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "TRUE"
)");
  EXPECT_EQ(run.Var("RC"), "42");
  EXPECT_EQ(machine_.Read("child\\child.exe"), original);
  EXPECT_EQ(Names("child"), std::vector<std::string>{"child.exe"});
  if (!machine_.simulated()) {
    // The child ran in its own folder.
    const std::string report = machine_.Read("report.txt");
    EXPECT_NE(report.find("cwd=" + machine_.root() + "\\child\n"), std::string::npos) << report;
  }
}

// What lay beside the file before stays: an older "F.nox", a "F.to" and an archive library of
// its own are all there afterwards, unchanged, and nothing else is.
TEST_F(LightMode, LeftoversBesideTheFileAreKept) {
  const std::string original = Child("child\\child.exe", 42, 0);
  machine_.Write("child\\child.exe.nox", "an older copy");
  machine_.Write("child\\child.exe.to", "a half-written file");
  machine_.Write("child\\zel.lib", "the child's own library");
  CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "TRUE"
)");
  EXPECT_EQ(run.Var("RC"), "42");
  EXPECT_EQ(machine_.Read("child\\child.exe"), original);
  EXPECT_EQ(machine_.Read("child\\child.exe.nox"), "an older copy");
  EXPECT_EQ(machine_.Read("child\\child.exe.to"), "a half-written file");
  EXPECT_EQ(machine_.Read("child\\zel.lib"), "the child's own library");
  EXPECT_EQ(Names("child"),
            (std::vector<std::string>{"child.exe", "child.exe.nox", "child.exe.to", "zel.lib"}));
}

// A file beside the engine runs with the engine's own library, which stays; a file that is a
// runnable setup already (left by an earlier run) runs as it is and stays as it is.
TEST_F(LightMode, FilesBesideTheEngineAndRunnableFiles) {
  const std::string beside = Child("engine\\child.exe", 42, 0);
  extra_ = {{"ARGS7", Args("report7.txt", 7, 0)}};
  const std::string runnable = kReport + "[program]\nexit = 7\n";
  machine_.Write("runnable\\child.exe", runnable);
  CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\engine\child.exe" "BESIDE" "$ARGS$" "TRUE"
Run Light Mode Setup "$ROOT$\runnable\child.exe" "RUNNABLE" "$ARGS7$" "TRUE"
)");
  EXPECT_EQ(run.Var("BESIDE"), "42");
  EXPECT_EQ(machine_.Read("engine\\child.exe"), beside);
  EXPECT_EQ(machine_.Read("engine\\zel.lib"), "the engine's archive library");
  EXPECT_EQ(Names("engine"), (std::vector<std::string>{"child.exe", "engine.exe", "zel.lib"}));
  EXPECT_EQ(run.Var("RUNNABLE"), "7");
  EXPECT_EQ(machine_.Read("runnable\\child.exe"), runnable);
  EXPECT_EQ(Names("runnable"), std::vector<std::string>{"child.exe"});
}

// Nothing runs, the result is -1 and the folder is as it was, when the file is missing, the
// engine's file has no executable image, or a rename fails (the file moving aside, the runnable
// file taking its name, or the library there moving aside).
TEST_F(LightMode, FailuresLeaveEverythingAsItWas) {
  const std::string original = Child("child\\child.exe", 42, 0);
  machine_.Write("child\\zel.lib", "the child's own library");
  const std::vector<std::string> before = Names("child");
  for (const char* suffix : {"child.exe.nox", "child.exe", "zel.lib.nox"}) {
    files_.FailOnce(suffix);
    CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "TRUE"
)");
    EXPECT_EQ(run.Var("RC"), "-1") << suffix;
    EXPECT_EQ(machine_.Read("child\\child.exe"), original) << suffix;
    EXPECT_EQ(machine_.Read("child\\zel.lib"), "the child's own library") << suffix;
    EXPECT_EQ(Names("child"), before) << suffix;
  }
  files_.FailOnce("");
  machine_.Write("engine\\engine.exe", "not an executable");
  CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "$RC$" "$ARGS$" "TRUE"
Run Light Mode Setup "$ROOT$\child\missing.exe" "MISSING" "" "TRUE"
)");
  EXPECT_EQ(run.Var("RC"), "-1");
  EXPECT_EQ(run.Var("MISSING"), "-1");
  EXPECT_EQ(Names("child"), before);
}

// Without waiting the code is the running child's (259) and nothing it needs is taken away while
// it may still be starting; a child that has ended by the end of the run is cleaned up after.
TEST_F(LightMode, WithoutWaitingTheChildKeepsItsFiles) {
  const std::string original = Child("child\\child.exe", 42, 3000);
  CommandRun run = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "FALSE"
)");
  EXPECT_EQ(run.Var("RC"), "259");
  EXPECT_EQ(machine_.Read("child\\child.exe.nox"), original);
  EXPECT_EQ(machine_.Read("child\\child.exe").compare(0, 2, "MZ"), 0);
  EXPECT_EQ(machine_.Read("child\\zel.lib"), "the engine's archive library");

  // A short child, and a program waited for after it: by the end of the run the child has ended.
  const std::string other = Child("other\\child.exe", 42, 0);
  const std::string pause = machine_.simulated() ? "[program]\nrun = 500\n" : kReport;
  machine_.Write("pause.exe", pause);
  extra_ = {{"PAUSE_ARGS", machine_.simulated() ? "" : Args("pause.txt", 0, 500)}};
  CommandRun later = Run(R"(
Run Light Mode Setup "$ROOT$\other\child.exe" "RC" "$ARGS$" "FALSE"
Run Program "$ROOT$\pause.exe" "TRUE" "$PAUSE_ARGS$" "TRUE" "PAUSED"
)");
  EXPECT_EQ(later.Var("PAUSED"), "0");
  EXPECT_EQ(machine_.Read("other\\child.exe"), other);
  EXPECT_EQ(Names("other"), std::vector<std::string>{"child.exe"});

  // The first child still runs from its file under Wine: the test waits for its end.
  if (!machine_.simulated()) {
    platform::FileSystem& files = machine_.platform().files();
    const std::string runnable = machine_.root() + "\\child\\child.exe";
    for (int i = 0; i < 100 && files.DeleteFile(runnable) != platform::Status::kOk; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

// The script's progress is shown while the child runs. A cancel then: a child that ends before the watchdog's tick gives its own code,
// ABORTEDONERROR is set and the files come back. With ABORTONERROR the script ends before the
// clean-up: the runnable file, the original and the library copy stay.
TEST_F(LightMode, CancelWhileTheChildRuns) {
  const std::string original = Child("child\\child.exe", 42, 1500);
  int pumps = 0;
  script_.on_pump = [&pumps](interp::Session& s) {
    interp::TVariableManager& store = s.variables.store();
    if (++pumps == 1) {
      store.Set("PROGRESS", "37");
      store.Set("PROGRESSTEXT", "Child at work");
    }
    if (pumps == 3) store.Set("VORT_IsCancelled", "TRUE");
  };
  CommandRun run = Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "TRUE"
Set Variable "AFTER" "ran"
)");
  EXPECT_EQ(run.Var("RC"), "42");
  // The script's progress variables were shown on a scale of 0 to 100 while the child ran.
  EXPECT_EQ(run.Var("VORT_thProgress"), "37");
  EXPECT_EQ(run.Var("VORT_thMin"), "0");
  EXPECT_EQ(run.Var("VORT_thProgressText"), "Child at work");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(run.Var("AFTER"), "ran");
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Setup cancelled");
  EXPECT_EQ(machine_.Read("child\\child.exe"), original);
  EXPECT_EQ(Names("child"), std::vector<std::string>{"child.exe"});

  pumps = 0;
  CommandRun ended = Run(R"(
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "$ARGS$" "TRUE"
Set Variable "AFTER" "ran"
)");
  EXPECT_FALSE(ended.Has("AFTER"));
  EXPECT_FALSE(ended.Has("RC"));
  EXPECT_EQ(machine_.Read("child\\child.exe.nox"), original);
  EXPECT_EQ(machine_.Read("child\\zel.lib"), "the engine's archive library");
}

#ifndef _WIN32
// A child that never ends is given up at the watchdog's first tick, with -314.
TEST_F(LightMode, ChildThatNeverEndsIsGivenUpOnCancel) {
  machine_.Write("child\\child.exe", "[program]\nrun = forever\n");
  script_.on_pump = [](interp::Session& s) { s.variables.store().Set("VORT_IsCancelled", "TRUE"); };
  CommandRun run = Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Run Light Mode Setup "$ROOT$\child\child.exe" "RC" "" "TRUE"
)");
  EXPECT_EQ(run.Var("RC"), "-314");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
}
#endif

}  // namespace
}  // namespace corvane::install
