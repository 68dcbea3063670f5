// The compile pass, through whole scripts: each case is a script and the index and message the
// pass reports for it.
#include "interp/compile.h"

#include <gtest/gtest.h>

#include "image/failure.h"
#include "interp/testing/script_harness.h"

namespace corvane::interp {
namespace {

using testing::ScriptHarness;
using testing::ScriptRun;

struct CompileCase {
  const char* what;
  const char* script;
  long index;
  const char* message;
};

void ExpectCompile(const CompileCase& c) {
  ScriptHarness h;
  ScriptRun run = h.Run(c.script);
  ASSERT_EQ(run.text_error, "") << c.what;
  EXPECT_EQ(run.result.compile.index, c.index) << c.what;
  EXPECT_EQ(run.result.compile.message, c.message) << c.what;
  if (c.index == -1) {
    EXPECT_NE(run.result.ending, RunEnding::kCompileFailed) << c.what;
  } else {
    EXPECT_EQ(run.result.ending, RunEnding::kCompileFailed) << c.what;
    EXPECT_EQ(run.exit_code(), 314) << c.what;
    // The run ends right after the compile pass: nothing ran, nothing was shown.
    EXPECT_TRUE(run.messages.empty()) << c.what;
    ASSERT_FALSE(run.trace.empty());
    EXPECT_EQ(run.trace.back(), "    <CompileScript>") << c.what;
  }
}

TEST(CompilePass, BlockStructure) {
  const CompileCase cases[] = {
      {"balanced", "If \"TITLE\" \"0\" \"x\" \"FALSE\"\nEnd\n", -1, "Script compiled successfully"},
      {"missing End", "If \"TITLE\" \"0\" \"x\" \"FALSE\"\nWizard Loop\nEnd\n", 0x7FFFFFFC,
       "Insufficient END statements"},
      {"extra End", "End\n", 0x7FFFFFFC, "Too many END statements"},
      {"disabled End does not count", "If \"TITLE\" \"0\" \"x\" \"FALSE\"\n[disabled] End\nEnd\n",
       -1, "Script compiled successfully"},
      {"disabled If does not count", "[disabled] If \"TITLE\" \"0\" \"x\" \"FALSE\"\nEnd\n",
       0x7FFFFFFC, "Too many END statements"},
      {"label inside If",
       "Set Variable \"A\" \"1\"\nIf \"A\" \"0\" \"1\" \"FALSE\"\nLabel \"L\"\nEnd\n", 2,
       "LABEL statements cannot be nested inside loops/conditionals"},
      {"disabled label inside If is not checked for nesting",
       "If \"TITLE\" \"0\" \"x\" \"FALSE\"\n[disabled] Label \"L\"\nEnd\n", -1,
       "Script compiled successfully"},
      // Balanced counts in the wrong order: the first End that closes nothing, or an Else
      // outside any If (a Wizard Loop is no If), is the error.
      {"End before its If", "Set Variable \"A\" \"1\"\nEnd\nIf \"A\" \"0\" \"1\" \"FALSE\"\n", 1,
       "Too many END statements"},
      {"Else outside any If", "Else\nIf \"TITLE\" \"0\" \"x\" \"FALSE\"\nEnd\n", 0,
       "ELSE statements must stand inside an IF block"},
      {"Else If in a Wizard Loop", "Wizard Loop\nElse If \"TITLE\" \"0\" \"x\" \"FALSE\"\nEnd\n", 1,
       "ELSE statements must stand inside an IF block"},
      {"disabled stray Else does not count", "[disabled] Else\n", -1,
       "Script compiled successfully"},
      // The nesting error is found before the balance error.
      {"label after an unclosed If", "If \"TITLE\" \"0\" \"x\" \"FALSE\"\nLabel \"L\"\n", 1,
       "LABEL statements cannot be nested inside loops/conditionals"},
  };
  for (const auto& c : cases) ExpectCompile(c);
}

TEST(CompilePass, Labels) {
  const CompileCase cases[] = {
      {"redefined, one disabled", "Label \"Start\"\n[disabled] Label \"START\"\n", 1,
       "LABEL re-defined: START"},
      {"undefined", "GoTo Label \"Nowhere\"\n", 0, "LABEL undefined: Nowhere"},
      {"forward jump, any case", "GoTo Label \"later\"\nLabel \"LATER\"\n", -1,
       "Script compiled successfully"},
      {"jump to a disabled label", "GoTo Label \"L\"\n[disabled] Label \"L\"\n", -1,
       "Script compiled successfully"},
      {"disabled GoTo is not checked", "[disabled] GoTo Label \"Nowhere\"\n", -1,
       "Script compiled successfully"},
  };
  for (const auto& c : cases) ExpectCompile(c);
}

TEST(CompilePass, DeclaredNames) {
  const CompileCase cases[] = {
      {"predeclared names", "If \"TARGETDIR\" \"0\" \"$SUPPORTDIR$\" \"FALSE\"\nEnd\n", -1,
       "Script compiled successfully"},
      {"undefined If variable", "If \"NOPE\" \"0\" \"x\" \"FALSE\"\nEnd\n", 0,
       "Variable not defined: NOPE"},
      {"undefined right side reported before the left",
       "If \"NOPE\" \"0\" \"$ALSO$\" \"FALSE\"\nEnd\n", 0, "Variable not defined: $ALSO$"},
      {"right side that is not a single reference is not checked",
       "If \"TITLE\" \"0\" \"a$ALSO$\" \"FALSE\"\nEnd\n", -1, "Script compiled successfully"},
      {"defined test needs no declaration", "If \"NOPE\" \"5\" \"$ALSO$\" \"FALSE\"\nEnd\n", -1,
       "Script compiled successfully"},
      {"If needs a variable", "If \"\" \"5\" \"\" \"FALSE\"\nEnd\n", 0, "Variable required"},
      {"Else If is checked like If",
       "If \"TITLE\" \"0\" \"x\" \"FALSE\"\nElse If \"NOPE\" \"0\" \"x\" \"FALSE\"\nEnd\n", 1,
       "Variable not defined: NOPE"},
      {"declaration only counts from its command on",
       "If \"LATE\" \"0\" \"x\" \"FALSE\"\nEnd\nSet Variable \"LATE\" \"1\"\n", 0,
       "Variable not defined: LATE"},
      {"saved variables are declared up front",
       "If \"LATE\" \"0\" \"x\" \"FALSE\"\nEnd\nSet Variable \"LATE$VORT$VORT$TRUE\" \"1\"\n", -1,
       "Script compiled successfully"},
      {"a marker not followed by TRUE declares later",
       "If \"LATE\" \"0\" \"x\" \"FALSE\"\nEnd\nSet Variable \"LATE$VORT$VORT$FALSE\" \"1\"\n", 0,
       "Variable not defined: LATE"},
      {"result variables declare, in both spellings",
       "Read Registry \"$R1$\" \"HKLM\"\nIf \"R1\" \"0\" \"$R1$\" \"FALSE\"\nEnd\n"
       "Set Variable \"$R2$\" \"x\"\nIf \"$R2$\" \"0\" \"x\" \"FALSE\"\nEnd\n",
       -1, "Script compiled successfully"},
      {"disabled commands declare nothing",
       "[disabled] Set Variable \"X\" \"1\"\nIf \"X\" \"0\" \"1\" \"FALSE\"\nEnd\n", 1,
       "Variable not defined: X"},
      {"plain-name commands need the variable",
       "Set Variable \"P\" \"c:\\\\a\"\nConvert Path \"P\" \"FALSE\"\nExtract Path \"Q\" \"1\"\n",
       2, "Variable not defined: Q"},
      {"plain-name commands take the name as written",
       "Set Variable \"P\" \"x\"\nConvert Case \"$P$\" \"TRUE\"\n", 1, "Variable not defined: $P$"},
      {"Display Dialog p4 must be defined",
       "Display Dialog \"Welcome\" \"RES\" \"\" \"$RES$\"\n"
       "Display Dialog \"Next\" \"\" \"\" \"MISSING\"\n",
       1, "Variable not defined: MISSING"},
  };
  for (const auto& c : cases) ExpectCompile(c);
}

TEST(CompilePass, CommandChecks) {
  const CompileCase cases[] = {
      {"web block with a bad name", "Web Media Block \"a<b\" \"http://x\"\n", 0,
       "Web Media Block name must be a legal file name"},
      {"web block name may hold a folder", "Web Media Block \"c:\\a/b\\ok\" \"http://x\"\n", -1,
       "Script compiled successfully"},
      {"web block without URL (the second message wins)", "Web Media Block \"a|b\" \"\"\n", 0,
       "Web Media Block must have at least one download URL"},
      {"empty web block name needs no URL", "Web Media Block \"\" \"\"\n", -1,
       "Script compiled successfully"},
      {"Is MSI Setup Installed", "Is MSI Setup Installed \"{X}\" \"\"\n", 0, "Variable required"},
      {"Find All Files", "Find All Files \"c:\\\" \"*\" \"TRUE\" \"\"\n", 0, "Variable required"},
      {"Check Disk Space", "Check Disk Space \"\" \"C:\"\n", 0, "Variable required"},
      {"Delete Files without mode", "Delete Files \"x\" \"y\" \"FALSE\" \"no\"\n", 0,
       "At least one delete mode must be selected"},
      {"Delete Files with -1", "[header 00000001] Delete Files \"x\" \"y\" \"FALSE\" \"-1\"\n", -1,
       "Script compiled successfully"},
      {"Install Files without target",
       "Set Variable \"A\" \"1\"\nInstall Files \"src\" \"*\" \"\"\n", 1,
       "A target folder must be specified for files that are being installed.\r"
       "The value $TARGETDIR$ represents the destination folder chosen by the user."},
      {"Display Dialog without name", "Display Dialog \"\"\n", 0, "Dialog name not specified"},
      {"Evaluate Expression syntax", "Evaluate Expression \"$A$ = \" \"R\"\n", 0,
       "Syntax error in expression. Please review the help topic \"Evaluate Expression\" for the "
       "correct syntax."},
      {"Evaluate Expression declares its result",
       "Evaluate Expression \"$A$ = \"\"x\"\"\" \"RES\"\nIf \"RES\" \"0\" \"TRUE\" "
       "\"FALSE\"\nEnd\n",
       -1, "Script compiled successfully"},
      {"wizard loop holds dialogs only",
       "Wizard Loop\nDisplay Dialog \"A\"\nComment \"c\"\nIgnore\n[disabled] Set Variable \"X\" "
       "\"1\"\n"
       "Set Variable \"Y\" \"1\"\nEnd\n",
       5, "Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"},
      {"unknown names pass", "Code Folding Region \"x\"\nCompiler Variable End\n", -1,
       "Script compiled successfully"},
  };
  for (const auto& c : cases) ExpectCompile(c);
}

TEST(CompilePass, ExecutedCommandList) {
  ScriptHarness h;
  ScriptRun run = h.Run(
      "Set Variable \"A\" \"1\"\n"
      "[header 0A1B2C3D] Write Registry \"HKLM\" \"Software\\X\" \"V\" \"1\"\n"
      "[disabled header 0A1B2C3E] Write Registry \"HKLM\" \"Software\\X\" \"V\" \"1\"\n"
      "[header 0A1B2C3F] Create Folder \"C:\\X\"\n");
  EXPECT_EQ(run.executed, (std::vector<std::string>{"SKIP", "FALSE", "SKIP", "FALSE"}));
}

TEST(CompilePass, IntegerOverflowInAnExpressionReachesTheCaller) {
  // The syntax check evaluates; digits beyond 32 bits are a failure outside the run's own
  // failure reporting (the start-up routine reports it).
  ScriptHarness h;
  EXPECT_THROW(h.Run("Evaluate Expression \"\"\"99999999999\"\" = \"\"1\"\"\" \"R\"\n"),
               image::ScriptFailure);
}

TEST(CompilePass, LegalFileNames) {
  EXPECT_TRUE(IsLegalFileName("block1"));
  EXPECT_TRUE(IsLegalFileName(""));
  EXPECT_TRUE(IsLegalFileName("a/b\\c"));
  EXPECT_TRUE(IsLegalFileName("x*:c"));
  for (const char* bad : {"a*", "a?", "a\"", "a<", "a>", "a|", "c:\\d\\e/f"}) {
    EXPECT_FALSE(IsLegalFileName(bad)) << bad;
  }
}

}  // namespace
}  // namespace corvane::interp
