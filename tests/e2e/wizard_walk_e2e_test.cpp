// The sample wizard walked by a user under Wine: corvane.exe on a virtual screen, driven from
// outside by window messages (tests/support/window_driver.c), and the choices it reached compared
// with those of the headless walk of the same wizard on the simulation.
#include "tests/e2e/e2e_support.h"

namespace {

using namespace corvane::e2e;
namespace fs = std::filesystem;


// What examples/hello/answers.txt does headless, done with the windows: Enter on the welcome
// page, Next refused until the licence is accepted, a folder typed, Back to see it again, the
// cancel question answered No, the extras unchecked in the check list, the launch box cleared.
const char* kSteps =
    "dialog \"Welcome to Hello World\"\n"
    "key RETURN\n"
    "dialog \"Licence Agreement\"\n"
    "click \"Next >\"\n"
    "click \"I accept the terms of the licence agreement\"\n"
    "click \"Next >\"\n"
    "dialog \"Destination Folder\"\n"
    "type Edit 0 D:\\Apps\n"
    "click \"Next >\"\n"
    "dialog \"Components\"\n"
    "click \"< Back\"\n"
    "dialog \"Destination Folder\"\n"
    "expect Edit 0 D:\\Apps\n"
    "click \"Next >\"\n"
    "dialog \"Components\"\n"
    "click Cancel\n"
    "box \"Are you sure you want to cancel?\" No\n"
    "checkitem ListBox 0 1\n"
    "click \"Next >\"\n"
    "dialog \"Ready to Install\"\n"
    "click Install\n"
    "dialog \"Completed\"\n"
    "click \"Launch Hello World now\"\n"
    "click Finish\n"
    "exit 0\n";

class WizardWalk : public EndToEnd {
 protected:
  void TearDown() override {
    // The product the walk installed is removed again by its cached engine, silently.
    if (!cache_engine_.empty()) {
      Shell(GuiEnvironment() + " " + (kSource / "scripts" / "wine-run").string() + " cmd.exe /c '" +
            cache_engine_ + " /s REMOVE=TRUE MODIFY=FALSE' >/dev/null 2>&1");
    }
    EndToEnd::TearDown();
  }
  static std::string GuiEnvironment() { return ScreenEnvironment(); }
  std::string cache_engine_;
};

TEST_P(WizardWalk, ClicksAndKeysUnderWineReachTheChoicesOfTheHeadlessWalk) {
  const fs::path driver = kWin64 / "tests" / "window_driver.exe";
  ASSERT_TRUE(fs::exists(driver)) << "the x86_64 Windows build is needed";
  const fs::path hello = kSource / "examples" / "hello";
  dialogs_ = ReadFile(hello / "dialogs.txt");
  const fs::path setup = MakeSetup("hello", ReadFile(hello / "hello.txt"));

  // The headless walk of the answers file, on the simulation.
  SimRunner sim(dir_ / "machine");
  WriteFile(dir_ / "machine" / "machine.txt", "env.HELLO_CHOICES = C:\\choices.txt\n");
  sim.answers = hello / "answers.txt";
  fs::path log;
  ASSERT_EQ(sim.Run(setup, "", &log), 0) << sim.Transcript();
  const std::string headless = ReadFile(sim.DriveC() / "choices.txt");
  ASSERT_EQ(headless, "TARGETDIR=D:\\Apps\r\nMAIN_SELECTED=TRUE\r\nEXTRAS_SELECTED=FALSE\r\n");

  // The same walk with the windows, by a user.
  const fs::path steps = dir_ / "steps.txt";
  WriteFile(steps, kSteps);
  const fs::path choices = dir_ / "choices.txt";
  const fs::path run_log = dir_ / "walk.log";
  const fs::path output = dir_ / "driver.txt";
  cache_engine_ = "C:\\ProgramData\\{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A002}\\setup.exe";
  const int rc = Shell("HELLO_CHOICES='" + WinePath(choices) + "' " + GuiEnvironment() + " " +
                       (kSource / "scripts" / "wine-gui-run").string() + " " + driver.string() +
                       " '" + WinePath(steps) + "' '" + WinePath(setup / "setup.exe") + "' '/l=" +
                       WinePath(run_log) + "' > " + output.string() + " 2>&1");
  const std::string said = ReadFile(output);
  EXPECT_EQ(rc, 0) << said << "\nlast log line: " << LastLine(run_log);
  EXPECT_NE(said.find("driver: 25 steps"), std::string::npos) << said;
  EXPECT_EQ(LastLine(run_log), "</Corvane>");
  EXPECT_EQ(ReadFile(choices), headless);
  // The installer ran with the chosen folder and placed the product.
  EXPECT_TRUE(fs::exists(kScreenPrefix / "drive_c" / "Program Files (x86)" / "Hello" / "readme.txt"));
}

// A script's own message boxes under Wine, found by their caption, read and answered by a user:
// the answers reach the script's variables.
TEST_P(WizardWalk, MessageBoxesAreAnsweredByTheUser) {
  const fs::path driver = kWin64 / "tests" / "window_driver.exe";
  ASSERT_TRUE(fs::exists(driver)) << "the x86_64 Windows build is needed";
  const fs::path answers = dir_ / "answers.txt";
  dialogs_ = "Welcome\n";
  const fs::path setup = MakeSetup(
      "boxes", ".title \"Hello World\"\n"
               "MessageBox \"$TITLE$ Setup\" \"Remove the old $TITLE$?\" \"3\" \"4\" \"FIRST\"\n"
               "MessageBox \"$TITLE$ Setup\" \"Keep the settings?\" \"1\" \"5\" \"SECOND\"\n"
               "Write to Text File \"" + WinePath(answers) + "\" \"$FIRST$ $SECOND$\" \"FALSE\"\n");
  const fs::path steps = dir_ / "steps.txt";
  WriteFile(steps,
            "messagebox \"Hello World Setup\" \"Remove the old Hello World?\" Yes\n"
            "messagebox \"Hello World Setup\" \"Keep the settings?\" No\n"
            "exit 0\n");
  const fs::path output = dir_ / "driver.txt";
  const int rc = Shell(GuiEnvironment() + " " + (kSource / "scripts" / "wine-gui-run").string() +
                       " " + driver.string() + " '" + WinePath(steps) + "' '" +
                       WinePath(setup / "setup.exe") + "' > " + output.string() + " 2>&1");
  EXPECT_EQ(rc, 0) << ReadFile(output);
  EXPECT_EQ(ReadFile(answers), "YES NO\r\n");
}

INSTANTIATE_TEST_SUITE_P(Runners, WizardWalk, ::testing::Values("wine"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
