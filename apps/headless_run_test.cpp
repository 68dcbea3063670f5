// Whole runs with dialogs on the simulated machine, assembled as corvane-sim assembles them:
// start-up, RunScript, DialogDisplay on the headless renderer answering from an answers file, and
// the transcript. The sample dialogs of examples/dialogs are compiled into the support folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "engine/run_script.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#include "tools/corvane-image/script_text.h"
#include "ui/dialog_display.h"
#include "ui/dialog_system.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/wait_loop.h"
#include "ui/window_presenter.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string EngineStub() {
  std::string pe(0x400, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = char(0x80), pe[0x80] = 'P', pe[0x81] = 'E';
  pe[0x86] = 1;
  pe[0x94] = char(0xF0);
  size_t entry = 0x84 + 20 + 0xF0;
  pe[entry + 17] = 0x02;
  pe[entry + 21] = 0x02;
  return pe;
}

std::string ReadHost(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// --- workers for the wait-loop cases
// A worker that never looks at the terminate request and never publishes until it is released:
// it stands for a download that hangs. Released at the end of the test, it publishes once.
struct Hang {
  std::mutex mu;
  std::condition_variable cv;
  bool release = false;
  std::atomic<bool> ended{false};
  std::atomic<bool> published_after_release{false};
};
Hang* g_hang = nullptr;

class HangingJob : public ui::BackgroundJob {
 public:
  void Work(ui::ProgressChannel& progress) override {
    Hang* h = g_hang;
    std::unique_lock<std::mutex> lock(h->mu);
    h->cv.wait(lock, [&] { return h->release; });
    lock.unlock();
    progress.Publish("late", 0, 100, 99);  // the channel is cut: this must not reach the store
    h->published_after_release = true;
    h->ended = true;
  }
};

// A worker that publishes and stops soon after the terminate request.
std::atomic<int> g_cooperative_rounds{0};
class CooperativeJob : public ui::BackgroundJob {
 public:
  void Work(ui::ProgressChannel& progress) override {
    for (int i = 0; !terminate_requested() && i < 100000; ++i) {
      progress.Publish("working", 0, 100, i % 100);
      ++g_cooperative_rounds;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
};

void RunHanging(interp::CommandContext& ctx) {
  ui::WaitOptions o;
  o.cancel_label = "Cancel at Test Time";
  ui::WaitLoop loop(o);
  loop.Run(ctx, std::make_shared<HangingJob>());
  ctx.variables().SetVariable("ABANDONED", loop.abandoned() ? "TRUE" : "FALSE", "Test");
}

void RunCooperative(interp::CommandContext& ctx) {
  ui::WaitOptions o;
  o.cancel_label = "Cancel at Test Time";
  ui::WaitLoop loop(o);
  loop.Run(ctx, std::make_shared<CooperativeJob>());
  ctx.variables().SetVariable("ABANDONED", loop.abandoned() ? "TRUE" : "FALSE", "Test");
}

CORVANE_COMMAND("Test Hanging Worker", RunHanging);
CORVANE_COMMAND("Test Cooperative Worker", RunCooperative);

class HeadlessRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-headless-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs a script (header lines added) with an answers file; returns the exit code.
  int Run(const std::string& body, const std::string& answers, const std::string& args = "") {
    platform::SimOptions options;
    options.machine_folder = (dir_ / "machine").string();
    options.module_path = "C:\\Setup\\setup.exe";
    options.save_registry_on_exit = keep_registry_;
    sim_ = platform::CreateSimPlatform(options);
    std::string error;
    if (!sim_->QueueAnswers(answers, &error)) {
      answers_error_ = error;
      return 2;
    }
    const std::string script =
        ".product-code \"{AAAA0000-0000-4000-8000-000000000001}\"\n"
        ".revision-code \"{AAAA0000-0000-4000-8000-0000000000B1}\"\n"
        ".title \"Hello\"\n" +
        body;
    tools::TextCompileResult r = tools::CompileScriptText(script, "C:\\src\\test.zel");
    EXPECT_TRUE(r.ok) << r.error;
    if (!r.ok) return -1;
    auto& f = sim_->files();
    f.CreateDirectories("C:\\Setup");
    f.WriteFile("C:\\Setup\\setup.exe", EngineStub() + r.image);
    f.WriteFile("C:\\Setup\\setup.res", "support");
    f.WriteFile("C:\\Setup\\setup.msi", "database");

    transcript_ = std::make_unique<platform::sim::Transcript>();
    recorded_ = std::make_unique<platform::sim::RecordingPlatform>(*sim_, *transcript_);
    ui::DialogSystem dialogs(recorded_->files());
    std::unique_ptr<ui::WindowPresenter> presenter;
    std::unique_ptr<ui::DialogDisplay> display;
    engine::StartupServices services;
    services.extract_archive = [&](const std::string&, const std::string& folder) {
      for (const auto& e : fs::directory_iterator(SAMPLE_DIALOGS_DIR)) {
        const std::string name = e.path().filename().string();
        const std::string text = ReadHost(e.path());
        if (name.size() > 9 && name.substr(name.size() - 8) == ".dfm.txt") {
          ui::FormObject root = ui::ParseFormText(text);
          f.WriteFile(folder + "\\" + name.substr(0, name.size() - 4),
                      ui::WithResourceHeader(platform::UpperCase(root.class_name),
                                             ui::WriteBinaryStream(root)));
        } else {
          f.WriteFile(folder + "\\" + name, text);
        }
      }
      return true;
    };
    services.prepare_dialogs = [&](const std::string& folder) { dialogs.Start(folder, nullptr); };
    services.load_dialog = [&](long index, const std::string& form_file) {
      if (form_file.find(never_loaded_) != std::string::npos) return;
      dialogs.LoadDialog(std::to_string(index), form_file);
    };
    services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
      engine::RunServices run;
      run.attach = [&](interp::Session& session) {
        presenter = std::make_unique<ui::WindowPresenter>(recorded_->windows(), session.variables);
        display = std::make_unique<ui::DialogDisplay>(session, dialogs, *presenter);
        presenter->on_timer = [&session, d = display.get()] {
          d->TimerTick(ui::IsBackgroundTaskRunning(session));
        };
        session.dialogs = display.get();
        start_folder_ = session.platform.files().GetCurrentDirectory();
        session.exit_cleanups.push_back([&] {
          // What the run left in its variables, for the checks.
          std::vector<std::string> list;
          session.variables.store().ListAll(&list);
          vars_.clear();
          for (size_t i = 0; i + 1 < list.size(); i += 2) {
            vars_[platform::UpperCase(list[i])] = list[i + 1];
          }
          current_folder_ = session.platform.files().GetCurrentDirectory();
        });
      };
      engine::RunOutcome outcome = engine::RunScript(*recorded_, state, trace, run);
      display.reset();
      presenter.reset();
      state.end_at_once = outcome.end_now;
      return outcome.exit_code;
    };
    int code = engine::RunEngine(*recorded_, services,
                                 "\"C:\\Setup\\setup.exe\"" + (args.empty() ? "" : " " + args));
    sim_->sim_windows().Finish();
    return code;
  }

  std::vector<std::string> Lines() const { return transcript_->Lines(); }
  // The transcript lines that start with a prefix.
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : Lines()) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  std::vector<std::string> ShownDialogs() const {
    std::vector<std::string> out;
    for (const std::string& l : Starting("dialog ")) {
      size_t shown = l.find(" shown: ");
      if (shown != std::string::npos) out.push_back(l.substr(7, l.find(' ', 7) - 7));
    }
    return out;
  }
  // The machine's date as a begin date of a trigger: "2025-01-31".
  std::string Today() const {
    const platform::LocalTime now = sim_->system().Now();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned{now.year}, unsigned{now.month},
                  unsigned{now.day});
    return text;
  }
  bool Has(const std::string& fragment) const {
    for (const std::string& l : Lines()) {
      if (l.find(fragment) != std::string::npos) return true;
    }
    return false;
  }
  std::string Var(const std::string& name) const {
    auto it = vars_.find(name);
    return it == vars_.end() ? "(undefined)" : it->second;
  }

  fs::path dir_;
  bool keep_registry_ = false;  // the machine's registry outlives a run (as after a restart)
  std::unique_ptr<platform::SimPlatform> sim_;
  std::unique_ptr<platform::sim::Transcript> transcript_;
  std::unique_ptr<platform::sim::RecordingPlatform> recorded_;
  std::map<std::string, std::string> vars_;
  std::string current_folder_, start_folder_;
  std::string answers_error_;
  std::string never_loaded_ = "\x01";  // a form file start-up does not load
};

const char* kWizard =
    "Wizard Loop\n"
    "  Display Dialog \"Welcome\" \"WIZARD\" \"TRUE\"\n"
    "  Display Dialog \"Destination\" \"WIZARD\" \"TRUE\"\n"
    "  Display Dialog \"Ready\" \"WIZARD\" \"TRUE\"\n"
    "End\n";

TEST_F(HeadlessRun, NextNextBackNextNextWalksOneTwoThreeTwoThree) {
  ASSERT_EQ(Run(kWizard,
                "dialog Welcome\nclick ButtonNext\n"
                "dialog Destination\nclick ButtonNext\n"
                "dialog Ready\nclick ButtonBack\n"
                "dialog Destination 2\nclick ButtonNext\n"
                "dialog Ready 2\nclick ButtonInstall\n"),
            0);
  EXPECT_EQ(ShownDialogs(),
            (std::vector<std::string>{"Welcome", "Destination", "Ready", "Destination", "Ready"}));
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_TRUE(sim_->sim_windows().Errors().empty());
  // Same size: the second dialog stands where the first one stood.
  EXPECT_TRUE(Has("dialog Destination 2 (key Destination.dfm) shown:"));
}

TEST_F(HeadlessRun, TheCancelQuestionAnsweredNoThenYes) {
  ASSERT_EQ(Run(kWizard, "dialog Welcome\nclick ButtonCancel\nNo\nclick ButtonCancel\nYes\n"), 0);
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 2u);
  for (const std::string& b : boxes) {
    EXPECT_NE(b.find("\"Are you sure you want to cancel?\""), std::string::npos) << b;
    EXPECT_NE(b.find("question Yes/No"), std::string::npos) << b;
  }
  EXPECT_NE(boxes[0].find("-> No"), std::string::npos);
  EXPECT_NE(boxes[1].find("-> Yes"), std::string::npos);
  EXPECT_EQ(boxes[1].find("(default)"), std::string::npos);
  // After Yes the wizard is left with CANCEL; only the welcome dialog was ever shown.
  EXPECT_EQ(Var("WIZARD"), "CANCEL");
  EXPECT_EQ(ShownDialogs(), std::vector<std::string>{"Welcome"});
}

TEST_F(HeadlessRun, WhenTheAnswersRunOutTheDefaultButtonIsTakenNeverAHang) {
  ASSERT_EQ(Run(kWizard, "dialog Destination\ntype FolderEdit D:\\Apps\n"), 0);
  EXPECT_EQ(ShownDialogs(), (std::vector<std::string>{"Welcome", "Destination", "Ready"}));
  EXPECT_EQ(Starting("dialog Welcome 1 (key Welcome.dfm): the answers ran out").size(), 1u);
  EXPECT_TRUE(Has("variable TARGETDIR = \"D:\\Apps\""));
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  // The typed text shows in the frame of the edit.
  EXPECT_TRUE(Has("  now FolderEdit (TEdit) \"D:\\Apps\""));
}

TEST_F(HeadlessRun, ADialogThatCannotBeAnsweredEndsTheRunWithAFailureNotAHang) {
  // The cancel question answered No, then nothing more: Next is disabled until the licence is
  // accepted, so Enter does nothing and the dialog can never close.
  Run("Display Dialog \"Licence\" \"R\" \"TRUE\"\n", "dialog Licence\nclick ButtonCancel\nNo\n");
  EXPECT_TRUE(Has("the answers ran out"));
  EXPECT_TRUE(Has("was never answered"));
}

TEST_F(HeadlessRun, AnswersNamingWhatIsNotThereAreErrorsNamingTheLine) {
  Run(kWizard, "dialog Welcome\n\nclick NoSuchButton\n");
  ASSERT_EQ(sim_->sim_windows().Errors().size(), 1u);
  EXPECT_EQ(sim_->sim_windows().Errors()[0],
            "answers line 3: the dialog Welcome has no control NoSuchButton");

  Run(kWizard, "dialog Welcome\nclick ButtonNext\ndialog Finish\nclick ButtonFinish\n");
  ASSERT_EQ(sim_->sim_windows().Errors().size(), 1u);
  EXPECT_EQ(sim_->sim_windows().Errors()[0],
            "answers line 3: display 1 of the dialog Finish never came");

  // A message-box answer after an input that brings up no box.
  Run(kWizard, "dialog Welcome\nclick ButtonNext\nYes\n");
  ASSERT_EQ(sim_->sim_windows().Errors().size(), 1u);
  EXPECT_NE(sim_->sim_windows().Errors()[0].find("answers line 2: 1 message-box answer"),
            std::string::npos);
}

TEST_F(HeadlessRun, ASilentRunPreparesNothingKeepsTheFolderAndStoresNext) {
  ASSERT_EQ(Run(std::string(kWizard) + "Display Dialog \"Finish\" \"LAST\" \"TRUE\"\n",
                "dialog Welcome\nclick ButtonCancel\nYes\n", "/s"),
            0);
  EXPECT_TRUE(ShownDialogs().empty());
  EXPECT_TRUE(Starting("message box").empty());
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(Var("LAST"), "NEXT");
  EXPECT_EQ(current_folder_, start_folder_);
  EXPECT_FALSE(start_folder_.empty());
}

TEST_F(HeadlessRun, ProgressAbove100ShowsTheMaximum) {
  ASSERT_EQ(Run("Display Dialog \"Progress\" \"\" \"FALSE\"\n"
                "Set Variable \"PROGRESS\" \"150\"\n"
                "Display Dialog \"Finish\" \"\" \"TRUE\"\n",
                "dialog Finish\nclick ButtonFinish\n"),
            0);
  EXPECT_TRUE(Has("now Bar (TProgressBar) position 100 of 0..100")) << transcript_->Text();
}

TEST_F(HeadlessRun, AHungWorkerIsGivenUpAtTheFirstWatchdogTickFiveSecondsAfterTheCancel) {
  Hang hang;
  g_hang = &hang;
  ASSERT_EQ(Run("Set Variable \"ABORTONERROR\" \"FALSE\"\n"
                "Display Dialog \"Progress\" \"\" \"FALSE\"\n"
                "Test Hanging Worker\n"
                "Set Variable \"AFTER\" \"$ABORTEDONERROR$\"\n",
                "dialog Progress\nwait 1500\nclick ButtonCancel\nYes\n"),
            0);
  EXPECT_EQ(Var("ABANDONED"), "TRUE");
  EXPECT_EQ(Var("AFTER"), "TRUE");
  EXPECT_EQ(Starting("worker given up by the watchdog 5000 ms after the cancel").size(), 1u)
      << transcript_->Text();
  // "Setup cancelled" once, after the question.
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[1].find("\"Setup cancelled\""), std::string::npos) << boxes[1];
  EXPECT_NE(boxes[1].find("error"), std::string::npos) << boxes[1];
  // The worker was never killed: released, it ends on its own, and its late progress reaches
  // nothing (the store keeps what it had).
  {
    std::lock_guard<std::mutex> lock(hang.mu);
    hang.release = true;
  }
  hang.cv.notify_all();
  for (int i = 0; i < 500 && !hang.ended; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Its late progress went nowhere: the run's store is gone and the cut channel did not touch it.
  EXPECT_TRUE(hang.ended);
  EXPECT_TRUE(hang.published_after_release);
  g_hang = nullptr;
}

TEST_F(HeadlessRun, ACooperativeWorkerStopsOnTheCancelAndIsNotGivenUp) {
  ASSERT_EQ(Run("Set Variable \"ABORTONERROR\" \"FALSE\"\n"
                "Display Dialog \"Progress\" \"\" \"FALSE\"\n"
                "Test Cooperative Worker\n",
                "dialog Progress\nclick ButtonCancel\nYes\n"),
            0);
  EXPECT_EQ(Var("ABANDONED"), "FALSE");
  EXPECT_TRUE(Starting("worker given up").empty());
  EXPECT_EQ(Starting("message box \"Hello - Corvane Wizard\" [0x10").size(), 1u);
}

// The notification area: a dialog minimised while the engine's icon shows goes into the tray; a
// display that comes meanwhile is held back until the user clicks the icon; a close request
// brings the engine back as well; the icon goes at the end of the run.
TEST_F(HeadlessRun, MinimisingIntoTheTrayHoldsBackTheNextDisplayUntilTheIconIsClicked) {
  ASSERT_EQ(Run("System Tray \"\" \"TRUE\" \"\" \"\"\n"
                "Display Dialog \"Welcome\" \"FIRST\" \"TRUE\"\n"
                "Display Dialog \"Finish\" \"SECOND\" \"TRUE\"\n",
                "dialog Welcome\nminimise\nclick ButtonNext\n"
                "dialog Finish\ntray\nminimise\nclose\nclick ButtonFinish\n"),
            0)
      << transcript_->Text();
  EXPECT_TRUE(sim_->sim_windows().Errors().empty());
  const std::vector<std::string> lines = Lines();
  auto at = [&](const std::string& fragment) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  };
  auto last = [&](const std::string& fragment) {
    for (size_t i = lines.size(); i-- > 0;) {
      if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
  };
  EXPECT_EQ(Starting("tray icon shown: \"Hello\"").size(), 1u);
  // Welcome: minimised, its window hidden; the click still answers it (its display goes on).
  const int hidden = at("dialog Welcome 1 (key Welcome.dfm) hidden");
  ASSERT_GE(hidden, 0) << transcript_->Text();
  EXPECT_GT(hidden, at("dialog Welcome 1 (key Welcome.dfm) input: minimise"));
  EXPECT_EQ(Var("FIRST"), "NEXT");
  // Finish comes while in the tray: held back, not shown until the icon is clicked.
  const int held = at("dialog Finish held back: the setup is in the tray");
  const int shown = at("dialog Finish 1 (key Finish.dfm) shown");
  ASSERT_GE(held, 0);
  EXPECT_GT(shown, held);
  EXPECT_GT(shown, at("dialog Finish 1 (key Finish.dfm) input: tray"));
  // Minimised again, then a close request: refused, and the engine comes back from the tray.
  EXPECT_GT(last("dialog Finish 1 (key Finish.dfm) restored"),
            at("dialog Finish 1 (key Finish.dfm) input: close"));
  EXPECT_EQ(Var("SECOND"), "NEXT");
  // The end of the run removes the icon.
  EXPECT_GT(at("tray icon removed"), shown);
}

// "System Tray" acts on a parameter only when it is exactly "TRUE"; silent runs show no icon.
TEST_F(HeadlessRun, SystemTrayTakesOnlyAnUpperCaseTrueAndShowsNoIconInSilentRuns) {
  ASSERT_EQ(Run("System Tray \"true\" \"True\" \"\" \"\"\n", ""), 0);
  EXPECT_TRUE(Starting("tray icon").empty()) << transcript_->Text();
  ASSERT_EQ(Run("System Tray \"TRUE\" \"TRUE\" \"\" \"\"\n", "", "/s"), 0);
  EXPECT_TRUE(Starting("tray icon").empty()) << transcript_->Text();
  // Parameter 4 removes the icon that 2 showed; the end of the run has nothing left to remove.
  ASSERT_EQ(Run("System Tray \"\" \"TRUE\" \"\" \"\"\n"
                "System Tray \"\" \"\" \"\" \"TRUE\"\n",
                ""),
            0);
  EXPECT_EQ(Starting("tray icon shown").size(), 1u);
  EXPECT_EQ(Starting("tray icon removed").size(), 1u) << transcript_->Text();
  // A tray click without an icon is an answer that cannot be given.
  Run("Display Dialog \"Welcome\" \"\" \"TRUE\"\n", "dialog Welcome\ntray\n");
  ASSERT_EQ(sim_->sim_windows().Errors().size(), 1u);
  EXPECT_EQ(sim_->sim_windows().Errors()[0],
            "answers line 2: there is no icon in the notification area");
}

// MessageBox: silent runs show nothing and leave the answer variable alone (an existing one keeps
// its value, a missing one is not made); icon 3 with buttons 4 is an error box with Yes and No.
TEST_F(HeadlessRun, MessageBoxAnswersAndSilence) {
  const std::string script =
      "Set Variable \"KEPT\" \"before\"\n"
      "MessageBox \"Caption $TITLE$\" \"Delete $TITLE$?\" \"3\" \"4\" \"KEPT\"\n"
      "MessageBox \"Caption\" \"Again?\" \"3\" \"4\" \"second\"\n";
  ASSERT_EQ(Run(script, "", "/s"), 0);
  EXPECT_EQ(Var("KEPT"), "before");
  EXPECT_EQ(Var("SECOND"), "(undefined)");
  EXPECT_TRUE(Starting("message box").empty());

  ASSERT_EQ(Run(script, "Yes\nNo\n"), 0);
  EXPECT_EQ(Var("KEPT"), "YES");
  EXPECT_EQ(Var("SECOND"), "NO") << "a missing answer variable is made, upper-cased";
  std::vector<std::string> boxes = Starting("message box");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find("\"Caption Hello\""), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("\"Delete Hello?\""), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("error"), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[0].find("Yes/No"), std::string::npos) << boxes[0];
  // An icon number that is no number is a failure of the command.
  Run("MessageBox \"C\" \"T\" \"x\" \"1\" \"\"\nSet Variable \"AFTER\" \"ran\"\n", "OK\n");
  EXPECT_TRUE(Has("Runtime error in setup script:")) << transcript_->Text();
  EXPECT_EQ(Var("AFTER"), "(undefined)");
}

// MessageBalloon: the time-out is held between 10 and 30 seconds (no number: 10); the taskbar is
// paused until the balloon's time is up.
TEST_F(HeadlessRun, BalloonTimeOutsAndTheTaskbarAfterThem) {
  ASSERT_EQ(Run("MessageBalloon \"Note\" \"Five $TITLE$\" \"0\" \"5\"\n"
                "MessageBalloon \"Note\" \"Sixty\" \"1\" \"60\"\n"
                "MessageBalloon \"Note\" \"Letters\" \"2\" \"x\"\n",
                ""),
            0);
  std::vector<std::string> balloons = Starting("balloon ");
  ASSERT_EQ(balloons.size(), 3u) << transcript_->Text();
  EXPECT_EQ(balloons[0], "balloon \"Note\": \"Five Hello\" (information, 10000 ms)");
  EXPECT_EQ(balloons[1], "balloon \"Note\": \"Sixty\" (warning, 30000 ms)");
  EXPECT_EQ(balloons[2], "balloon \"Note\": \"Letters\" (error, 10000 ms)");
  EXPECT_EQ(Starting("tray icon shown: \"Hello\"").size(), 1u);

  ASSERT_EQ(Run("Set Variable \"PROGRESSMODE\" \"MARQUEE\"\n"
                "MessageBalloon \"Note\" \"Text\" \"0\" \"10\"\n"
                "Set Variable \"DURING\" \"$PROGRESSMODE$\"\n"
                "Display Dialog \"Welcome\" \"\" \"TRUE\"\n"
                "Set Variable \"AFTER\" \"$PROGRESSMODE$\"\n",
                "dialog Welcome\nwait 10000\nclick ButtonNext\n"),
            0);
  EXPECT_EQ(Var("DURING"), "PAUSE");
  EXPECT_EQ(Var("AFTER"), "MARQUEE");
  // Silent runs show no balloon.
  ASSERT_EQ(Run("MessageBalloon \"Note\" \"Text\" \"0\" \"10\"\n", "", "/s"), 0);
  EXPECT_TRUE(Starting("balloon ").empty());
}

// Reboot and Resume: a RunOnce entry named by the product code's first eight digits, under the
// machine's key for an installation for all users and the user's otherwise, with the program's
// path quoted; then the restart, and the script ends there.
TEST_F(HeadlessRun, RebootAndResumeWritesItsRunOnceEntryAndEndsTheScript) {
  for (const bool all_users : {true, false}) {
    ASSERT_EQ(Run(std::string("Set Variable \"ALLUSERS\" \"") + (all_users ? "TRUE" : "FALSE") +
                      "\"\nReboot and Resume\nSet Variable \"AFTER\" \"ran\"\n",
                  "", "MODE=quiet"),
              0);
    EXPECT_EQ(Var("AFTER"), "(undefined)") << "the script ends with the restart";
    EXPECT_EQ(Starting("restart requested").size(), 1u);
    const std::string run_once = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";
    platform::RegValue value;
    for (const auto root : {platform::RegRoot::kLocalMachine, platform::RegRoot::kCurrentUser}) {
      const bool here = (root == platform::RegRoot::kLocalMachine) == all_users;
      EXPECT_EQ(sim_->registry().ReadValue(root, run_once, "AAAA0000", platform::RegView::kNative,
                                           &value) == platform::Status::kOk,
                here);
      if (here) {
        EXPECT_EQ(value.data, "\"C:\\Setup\\setup.exe\" MODE=quiet");
      }
    }
  }
  // After the restart the setup starts from the entry, and its start removes it from both keys,
  // so that it does not run a third time.
  keep_registry_ = true;
  ASSERT_EQ(Run("Set Variable \"ALLUSERS\" \"TRUE\"\nReboot and Resume\n", ""), 0);
  const std::string run_once = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";
  sim_.reset();  // the registry is saved as the machine goes down
  platform::RegValue value;
  {
    platform::SimOptions options;
    options.machine_folder = (dir_ / "machine").string();
    options.save_registry_on_exit = false;
    auto after_restart = platform::CreateSimPlatform(options);
    ASSERT_EQ(after_restart->registry().ReadValue(platform::RegRoot::kLocalMachine, run_once,
                                                  "AAAA0000", platform::RegView::kNative, &value),
              platform::Status::kOk)
        << "the entry survives the restart";
  }
  ASSERT_EQ(Run("Set Variable \"AFTER\" \"ran\"\n", ""), 0);
  EXPECT_EQ(Var("AFTER"), "ran");
  for (const auto root : {platform::RegRoot::kLocalMachine, platform::RegRoot::kCurrentUser}) {
    EXPECT_NE(sim_->registry().ReadValue(root, run_once, "AAAA0000", platform::RegView::kNative,
                                         &value),
              platform::Status::kOk);
  }
}

// A restart the system refuses is written to the trace log; the script ends all the same.
TEST_F(HeadlessRun, ARefusedRestartIsTracedAndTheScriptEnds) {
  fs::create_directories(dir_ / "machine");
  std::ofstream(dir_ / "machine" / "machine.txt") << "restart.refused = true\n";
  ASSERT_EQ(Run("Reboot Computer\nSet Variable \"AFTER\" \"ran\"\n", "", "/l=C:\\run.log"), 0);
  EXPECT_EQ(Var("AFTER"), "(undefined)");
  EXPECT_EQ(Starting("restart refused").size(), 1u);
  std::string log;
  ASSERT_EQ(sim_->files().ReadFile("C:\\run.log", &log), platform::Status::kOk);
  std::string text;
  for (size_t i = 0; i < log.size(); i += 2) text += log[i];  // the log is UTF-16
  EXPECT_NE(text.find("<RestartFailed>"), std::string::npos) << text;
}

// Services, tasks and registrations in the transcript; a task's password is in neither the
// transcript nor the trace log, which holds the refusal of a task without an account.
TEST_F(HeadlessRun, TasksAndRegistrationsInTheTranscriptWithoutPasswords) {
  fs::create_directories(dir_ / "machine" / "drive_c" / "Setup");
  std::ofstream(dir_ / "machine" / "drive_c" / "Setup" / "probe.dll")
      << "[library]\nregister = 0x80004005\n";
  ASSERT_EQ(Run("Check Service \"Schedule\" \"\" \"STATE\"\n"
                "Schedule Task \"Nightly\" \"\" \"FALSE\" \"FALSE\" \"TRUE\" \"every day\" "
                "\"2:00 AM\" \"FALSE\" \"\" \"C:\\Setup\\setup.exe\" \"\" \"/update\" \"User\" "
                "\"Sw0rdfish\"\n"
                "Schedule Task \"Unnamed\" \"\" \"FALSE\" \"FALSE\" \"TRUE\" \"every day\" "
                "\"2:00 AM\" \"FALSE\" \"\" \"C:\\Setup\\setup.exe\" \"\" \"\" \"\" \"Sw0rdfish\"\n"
                "Register Library \"C:\\Setup\\probe.dll\" \"TRUE\" \"REGISTERED\"\n",
                "", "/l=C:\\run.log"),
            0);
  EXPECT_EQ(Var("STATE"), "RUNNING");
  EXPECT_EQ(Var("REGISTERED"), "FALSE");
  EXPECT_EQ(Starting("service query \"Schedule\" -> state 4").size(), 2u) << transcript_->Text();
  const std::vector<std::string> saved = Starting("task save ");
  ASSERT_EQ(saved.size(), 1u) << transcript_->Text();
  EXPECT_EQ(saved[0],
            "task save \"Nightly\" program \"C:\\Setup\\setup.exe\" arguments \"/update\" folder "
            "\"\" flags 0x2000 account \"User\" password of 9 characters trigger daily 1 0x00 "
            "02:00 " +
                Today() + " -> ok");
  EXPECT_EQ(Starting("library DllRegisterServer \"C:\\Setup\\probe.dll\" -> 0x80004005").size(), 1u)
      << transcript_->Text();
  EXPECT_FALSE(Has("Sw0rdfish"));
  std::string log;
  ASSERT_EQ(sim_->files().ReadFile("C:\\run.log", &log), platform::Status::kOk);
  std::string text;
  for (size_t i = 0; i < log.size(); i += 2) text += log[i];  // the log is UTF-16
  EXPECT_EQ(text.find("Sw0rdfish"), std::string::npos) << text;
  EXPECT_NE(text.find("Schedule Task refused \"Unnamed\""), std::string::npos) << text;
}

TEST_F(HeadlessRun, ADisplayWhoseFormWasNeverLoadedDoesNothingAndKeepsTheDirection) {
  never_loaded_ = "NoSuchForm";
  ASSERT_EQ(Run("Wizard Loop\n"
                "  Display Dialog \"Welcome\" \"WIZARD\" \"TRUE\"\n"
                "  Display Dialog \"NoSuchForm\" \"OTHER\" \"TRUE\"\n"
                "  Display Dialog \"Ready\" \"WIZARD\" \"TRUE\"\n"
                "End\n",
                "dialog Welcome\nclick ButtonNext\ndialog Ready\nclick ButtonInstall\n"),
            0)
      << transcript_->Text();
  EXPECT_EQ(ShownDialogs(), (std::vector<std::string>{"Welcome", "Ready"}));
  EXPECT_EQ(Var("WIZARD"), "NEXT");
  EXPECT_EQ(Var("OTHER"), "(undefined)");
}

TEST_F(HeadlessRun, MalformedAnswersAreRefusedWithTheLine) {
  EXPECT_EQ(Run(kWizard, "dialog Welcome\nclick\n"), 2);
  EXPECT_EQ(answers_error_, "answers line 2: wrong number of words for click: click");
  EXPECT_EQ(Run(kWizard, "click ButtonNext\n"), 2);
  EXPECT_NE(answers_error_.find("answers line 1: click outside a dialog block"), std::string::npos);
  EXPECT_EQ(Run(kWizard, "dialog Welcome 0\n"), 2);
  EXPECT_EQ(Run(kWizard, "dialog Welcome\nend\ndialog Welcome 1\n"), 2);
  EXPECT_NE(answers_error_.find("answered already on line 1"), std::string::npos);
  EXPECT_EQ(Run(kWizard, "dialog Welcome\nwait soon\n"), 2);
  EXPECT_EQ(Run(kWizard, "Maybe\n"), 2);
}

}  // namespace
}  // namespace corvane
