// The component commands run as scripts, on the simulated machine natively and on the real
// file system under Wine.
#include <gtest/gtest.h>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "ui/components.h"

namespace corvane::ui {
namespace {

using commands::testing::CommandRun;
using commands::testing::CommandScript;
using commands::testing::TestMachine;

struct ComponentRun {
  CommandRun run;
  ComponentTable table;
};

class ComponentCommands : public ::testing::Test {
 protected:
  CommandRun Run(const std::string& script) {
    CommandScript s(machine_.platform());
    s.predefined = {{"ROOT", machine_.root()}, {"TARGETDIR", "C:\\Program Files\\Hello"},
                    {"ALLUSERS", "TRUE"}, {"STARTMENU", "Hello"}};
    s.before = [this](interp::Session& session) {
      table_.SetImageSizes(session.image.components);
      table_.ResetForFirstRun();
      session.Attach<ComponentTable>(&table_);
    };
    return s.Run(script);
  }

  TestMachine machine_;
  ComponentTable table_;
};

TEST_F(ComponentCommands, DefineQueryAndChange) {
  CommandRun r = Run(R"(.component "Main" 6442450944
.component "Docs" 1000
Define Component "Main" "TRUE" "Program files"
Define Component "Docs" "-1" "Manuals"
Define Component "Extras" "FALSE" ""
Set Component State "main" "FALSE"
Define Component "MAIN" "TRUE" "Redefined"
Get Component State "Main" "MAIN_STATE"
Get Component State "Unknown" "$UNKNOWN_STATE$"
Get Component Space "Main" "MAIN_SIZE"
Get Component Space "" "REQUIRED"
Delete Component "Docs"
Get Component State "Docs" "DOCS_STATE"
Get Component Space "" "REQUIRED_AFTER"
Set Component Space "Extras" "12345678901"
Set Component Space "Extras" "not a number"
Set Component State "Extras" "TRUE"
Get Component Space "" "REQUIRED_EXTRAS"
Get Component Space "Nothing" "NOTHING_SIZE"
Get Component Space "Main" ""
Set Component Choice "Extras" "FALSE"
Set Component Visibility "Docs" "FALSE"
)");
  ASSERT_FALSE(r.Failed()) << r.result.failure;
  EXPECT_EQ(r.Var("MAIN_STATE"), "FALSE");  // redefining keeps the selection made in between
  EXPECT_EQ(table_.Description("Main"), "Redefined");
  EXPECT_EQ(r.Var("UNKNOWN_STATE"), "FALSE");
  EXPECT_EQ(r.Var("MAIN_SIZE"), "6442450944");
  EXPECT_EQ(r.Var("REQUIRED"), "1000");  // Docs only; the predefined component has no size
  EXPECT_EQ(r.Var("DOCS_STATE"), "FALSE");
  EXPECT_EQ(r.Var("REQUIRED_AFTER"), "0");
  EXPECT_EQ(r.Var("REQUIRED_EXTRAS"), "12345678901");
  EXPECT_EQ(r.Var("NOTHING_SIZE"), "0");
  EXPECT_TRUE(table_.IsEffectivelyLocked("extras"));
  EXPECT_TRUE(table_.IsEffectivelyHidden("DOCS"));
}

TEST_F(ComponentCommands, SaveAndLoadFeatureSelections) {
  CommandRun r = Run(R"(Define Component "Main" "TRUE" ""
Define Component "Docs" "FALSE" ""
Set Variable "NOTES$VORT$VORT$TRUE" "two$NEWLINE$lines"
Save Feature Selections "$ROOT$\sel.dat"
Set Component State "Main" "FALSE"
Set Component State "Docs" "TRUE"
Set Variable "TARGETDIR" "D:\Elsewhere"
Load Feature Selections "$ROOT$\sel.dat"
Load Feature Selections "$ROOT$\missing.dat"
Get Component State "Main" "MAIN"
Get Component State "Docs" "DOCS"
)");
  ASSERT_FALSE(r.Failed()) << r.result.failure;
  EXPECT_EQ(r.Var("MAIN"), "TRUE");
  EXPECT_EQ(r.Var("DOCS"), "FALSE");
  EXPECT_EQ(r.Var("TARGETDIR"), "C:\\Program Files\\Hello");
  // The value with line breaks travels as tokens and comes back as written.
  std::string file = machine_.Read("sel.dat");
  EXPECT_NE(file.find("NOTES\r\ntwo$NEWLINE$lines\r\n"), std::string::npos);
  EXPECT_NE(file.find("VORT64WOW\r\nWin32\r\n"), std::string::npos);
}

// In 64-bit mode the selections are saved in the 64-bit file-system view, where the file
// commands see them, and the view is restored after Load even when the file brings back 32-bit
// mode.
TEST_F(ComponentCommands, FeatureSelectionsUseThe64BitViewInSixtyFourBitMode) {
  platform::SystemInfo& sys = machine_.platform().system();
  if (!sys.Is64BitSystem() || sys.Is64BitProcess()) GTEST_SKIP() << "no file-system redirection";
  platform::FileSystem& fs = machine_.platform().files();
  const std::string sel = sys.WindowsFolder() + "\\System32\\corvane-sel.dat";
  const std::string probe = sys.WindowsFolder() + "\\System32\\corvane-view.txt";
  ASSERT_EQ(fs.WriteFile(probe, "32"), platform::Status::kOk);  // redirected: the 32-bit copy
  CommandRun run = Run(R"(
Define Component "Main" "TRUE" ""
Set 64 Bit Mode "FALSE" "FALSE" "TRUE"
Save Feature Selections ")" + sel + R"("
Write to Text File ")" + sel + R"(.txt" "beside" "FALSE"
Set 64 Bit Mode "TRUE" "FALSE" "TRUE"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  uint64_t old = 0;
  ASSERT_TRUE(fs.DisableRedirection(&old));
  EXPECT_TRUE(fs.FileExists(sel));           // in the real System32
  EXPECT_TRUE(fs.FileExists(sel + ".txt"));  // where Write to Text File wrote
  // Make the saved file bring back 32-bit mode, then load it in 64-bit mode.
  std::string text;
  ASSERT_EQ(fs.ReadFile(sel, &text), platform::Status::kOk);
  const size_t at = text.find("VORT64WOW\r\n");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, text.find("\r\n", at + 11) - at, "VORT64WOW\r\nWin32");
  ASSERT_EQ(fs.WriteFile(sel, text), platform::Status::kOk);
  ASSERT_TRUE(fs.RevertRedirection(old));
  EXPECT_FALSE(fs.FileExists(sel));  // not in SysWOW64
  run = Run(R"(
Set 64 Bit Mode "FALSE" "FALSE" "TRUE"
Load Feature Selections ")" + sel + R"("
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  std::string seen;
  ASSERT_EQ(fs.ReadFile(probe, &seen), platform::Status::kOk);
  EXPECT_EQ(seen, "32");  // the view is the redirected one again
  fs.DeleteFile(probe);
  fs.DisableRedirection(&old);
  fs.DeleteFile(sel);
  fs.DeleteFile(sel + ".txt");
  fs.RevertRedirection(old);
}

TEST_F(ComponentCommands, AnUnwritableFileFailsTheCommand) {
  CommandRun r = Run(R"(Define Component "Main" "TRUE" ""
Save Feature Selections "$ROOT$\no such folder\sel.dat"
Set Variable "AFTER" "ran"
)");
  EXPECT_TRUE(r.Failed());
  EXPECT_FALSE(r.Has("AFTER"));
}

}  // namespace
}  // namespace corvane::ui
