// The dispatch loop, run as scripts: each test is a script and the variables, dialogs, messages
// and exit code it must end with.
#include "interp/interpreter.h"

#include <gtest/gtest.h>

#include "interp/testing/script_harness.h"
#include "platform/ui.h"

namespace corvane::interp {
namespace {

using platform::id::kCancel;
using platform::id::kNo;
using platform::id::kYes;
using testing::ScriptHarness;
using testing::ScriptRun;

ScriptRun RunOk(ScriptHarness& h, std::string_view script) {
  ScriptRun run = h.Run(script);
  EXPECT_EQ(run.text_error, "");
  EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
  EXPECT_EQ(run.result.failure, "");
  return run;
}

ScriptRun RunOk(std::string_view script) {
  ScriptHarness h;
  return RunOk(h, script);
}

// ---------------------------------------------------------------------------------------------
// Blocks

TEST(Blocks, IfElseIfElseChains) {
  // Each script records which branches ran in RAN.
  struct Case {
    const char* a;
    const char* b;
    const char* ran;
  } cases[] = {{"1", "1", "if,after"}, {"0", "1", "elseif,after"}, {"0", "0", "else,after"}};
  for (const auto& c : cases) {
    ScriptHarness h;
    std::string script = "Set Variable \"A\" \"" + std::string(c.a) + "\"\n" +
                         "Set Variable \"B\" \"" + std::string(c.b) + "\"\n" + R"(
      Set Variable "RAN" ""
      If "A" "0" "1" "FALSE"
        Set Variable "RAN" "$RAN$if,"
      Else If "B" "0" "1" "FALSE"
        Set Variable "RAN" "$RAN$elseif,"
      Else
        Set Variable "RAN" "$RAN$else,"
      End
      Set Variable "RAN" "$RAN$after"
    )";
    ScriptRun run = RunOk(h, script);
    EXPECT_EQ(run.Var("RAN"), c.ran) << c.a << c.b;
  }
}

TEST(Blocks, FalseIfWithoutElseAndNegation) {
  ScriptRun run = RunOk(R"(
    Set Variable "W" "CANCEL"
    If "W" "0" "CANCEL" "TRUE"
      Set Variable "INSIDE" "1"
    End
    If "W" "0" "NEXT" "TRUE"
      Set Variable "NEGATED" "1"
    End
  )");
  EXPECT_FALSE(run.Has("INSIDE"));
  EXPECT_EQ(run.Var("NEGATED"), "1");
}

TEST(Blocks, NestedFalseIfThenOuterElseIfDoesNotRun) {
  ScriptRun run = RunOk(R"(
    Set Variable "T" "1"
    If "T" "0" "1" "FALSE"
      If "T" "0" "2" "FALSE"
        Set Variable "INNER" "1"
      End
      Set Variable "OUTER" "1"
    Else If "T" "0" "1" "FALSE"
      Set Variable "ELSEIF" "1"
    Else
      Set Variable "ELSE" "1"
    End
    Set Variable "AFTER" "1"
  )");
  EXPECT_FALSE(run.Has("INNER"));
  EXPECT_EQ(run.Var("OUTER"), "1");
  EXPECT_FALSE(run.Has("ELSEIF"));
  EXPECT_FALSE(run.Has("ELSE"));
  EXPECT_EQ(run.Var("AFTER"), "1");
}

TEST(Blocks, NestedElseIfIsEvaluatedAfterAFalseIf) {
  // Inside a taken branch, an inner If that is false hands over to its own Else If.
  ScriptRun run = RunOk(R"(
    Set Variable "T" "1"
    If "T" "0" "1" "FALSE"
      If "T" "0" "2" "FALSE"
        Set Variable "R" "two"
      Else If "T" "0" "1" "FALSE"
        Set Variable "R" "one"
      Else
        Set Variable "R" "else"
      End
      Set Variable "OUTER" "done"
    Else
      Set Variable "OUTER" "else"
    End
  )");
  EXPECT_EQ(run.Var("R"), "one");
  EXPECT_EQ(run.Var("OUTER"), "done");
}

TEST(Blocks, DisabledAndIgnoredCommandsDoNotCountInMatching) {
  ScriptRun run = RunOk(R"(
    Set Variable "T" "1"
    If "T" "0" "0" "FALSE"
      [disabled] If "T" "0" "1" "FALSE"
      Set Variable "SKIPPED" "1"
      [disabled] End
      Ignore
    Else
      Set Variable "ELSE" "1"
      [disabled] Else
      [disabled] Set Variable "OFF" "1"
    End
    If "T" "0" "1" "FALSE"
      [disabled] If "T" "0" "0" "FALSE"
      Set Variable "TAKEN" "1"
      [disabled] End
    Else
      Set Variable "NOT" "1"
    End
  )");
  EXPECT_FALSE(run.Has("SKIPPED"));
  EXPECT_EQ(run.Var("ELSE"), "1");
  EXPECT_FALSE(run.Has("OFF"));
  EXPECT_EQ(run.Var("TAKEN"), "1");
  EXPECT_FALSE(run.Has("NOT"));
}

TEST(Blocks, InertAndUnknownCommandsDoNothing) {
  ScriptRun run = RunOk(R"(
    Comment "Set Variable"
    Code Folding Region "x"
    Ignore "A" "1"
    Set Variable "DONE" "1"
    Compiler Variable End
  )");
  EXPECT_EQ(run.Var("DONE"), "1");
  EXPECT_EQ(run.result.ending, RunEnding::kEndOfScript);
}

// A plain-name result written $NAME$ is stored under NAME, where a later If reads it.
TEST(Blocks, APlainNameResultWrittenAsAReferenceIsStoredUnderTheName) {
  ScriptHarness h;
  ScriptRun run = RunOk(h, R"(
    Evaluate Expression """a"" = ""a""" "$SAME$"
    If "SAME" "0" "TRUE" "FALSE"
      Set Variable "SEEN" "yes"
    End
  )");
  EXPECT_EQ(run.Var("SAME"), "TRUE");
  EXPECT_EQ(run.Var("SEEN"), "yes");
}

// The loop would skip past the end of the table looking for the End: the compile pass refuses it.
TEST(Blocks, AStrayElseNeverRuns) {
  ScriptHarness h;
  h.silent = true;
  ScriptRun run = h.Run("Else\nSet Variable \"A\" \"1\"\n");
  EXPECT_EQ(run.result.ending, RunEnding::kCompileFailed);
  EXPECT_EQ(run.result.compile.message, "ELSE statements must stand inside an IF block");
  EXPECT_EQ(run.exit_code(), 314);
  EXPECT_FALSE(run.Has("A"));
}

// ---------------------------------------------------------------------------------------------
// Wizard loops

constexpr const char* kThreeDialogs = R"(
  Set Variable "BEFORE" "1"
  Wizard Loop
    Display Dialog "One"
    [disabled] Display Dialog "Off"
    Comment "between"
    Display Dialog "Two"
    Ignore
    Display Dialog "Three"
  End
  Set Variable "AFTER" "1"
)";

TEST(WizardLoop, NextAndBackWalks) {
  struct Case {
    std::deque<int> results;
    std::vector<std::string> shown;
  } cases[] = {
      {{kYes, kYes, kNo, kYes, kYes}, {"One", "Two", "Three", "Two", "Three"}},
      {{kNo}, {"One"}},                   // Back on the first dialog leaves forward
      {{kYes, kCancel}, {"One", "Two"}},  // Cancel leaves at End
      {{kYes, kYes, kCancel}, {"One", "Two", "Three"}},
      {{kYes, kNo, kNo}, {"One", "Two", "One"}},   // Back to the start, then out
      {{kYes, 1, kYes}, {"One", "Two", "Three"}},  // other results keep the step
      {{kNo + 100, kYes, kYes}, {"One", "Two", "Three"}},
  };
  for (auto& c : cases) {
    ScriptHarness h;
    h.dialog_results = c.results;
    ScriptRun run = RunOk(h, kThreeDialogs);
    EXPECT_EQ(run.dialogs, c.shown);
    EXPECT_EQ(run.Var("AFTER"), "1");
    EXPECT_EQ(run.result.ending, RunEnding::kEndOfScript);
  }
}

TEST(WizardLoop, BackStepsKeepGoingBackAfterAnotherResult) {
  ScriptHarness h;
  // Back from Three to Two, then a result that changes nothing: the step stays -1.
  h.dialog_results = {kYes, kYes, kNo, 1, kYes, kYes, kYes};
  ScriptRun run = RunOk(h, kThreeDialogs);
  EXPECT_EQ(run.dialogs,
            (std::vector<std::string>{"One", "Two", "Three", "Two", "One", "Two", "Three"}));
}

TEST(WizardLoop, EndOfLoopInsideAnIfDoesNotCloseTheIf) {
  ScriptHarness h;
  h.dialog_results = {kCancel};
  ScriptRun run = RunOk(h, R"(
    Set Variable "T" "1"
    If "T" "0" "1" "FALSE"
      Wizard Loop
        Display Dialog "Only"
      End
      Set Variable "IN_IF" "1"
    Else
      Set Variable "ELSE" "1"
    End
    Set Variable "AFTER" "1"
  )");
  EXPECT_EQ(run.Var("IN_IF"), "1");
  EXPECT_FALSE(run.Has("ELSE"));
  EXPECT_EQ(run.Var("AFTER"), "1");
}

TEST(WizardLoop, DialogOutsideALoopDoesNotNavigate) {
  ScriptHarness h;
  h.dialog_results = {kNo, kCancel};
  ScriptRun run = RunOk(h, R"(
    Display Dialog "Lone"
    Display Dialog "Second"
    Set Variable "AFTER" "1"
  )");
  EXPECT_EQ(run.dialogs, (std::vector<std::string>{"Lone", "Second"}));
  EXPECT_EQ(run.Var("AFTER"), "1");
}

TEST(WizardLoop, GoToLabelAfterALoop) {
  ScriptHarness h;
  h.dialog_results = {kYes, kYes, kCancel};
  ScriptRun run = RunOk(h, R"(
    Set Variable "N" ""
    Label "again"
    Set Variable "N" "$N$x"
    Wizard Loop
      Display Dialog "Page"
    End
    If "N" "0" "xx" "TRUE"
      GoTo Label "AGAIN"
    End
  )");
  EXPECT_EQ(run.Var("N"), "xx");
  EXPECT_EQ(run.dialogs, (std::vector<std::string>{"Page", "Page"}));
}

// ---------------------------------------------------------------------------------------------
// Labels

TEST(Labels, JumpOutOfABlockClearsTheBlockState) {
  ScriptRun run = RunOk(R"(
    Set Variable "S" ""
    Label "Top"
    If "S" "0" "xxx" "TRUE"
      Set Variable "S" "$S$x"
      GoTo Label "top"
    Else
      Set Variable "ELSE" "ran"
    End
    If "S" "0" "nothing" "FALSE"
      Set Variable "WRONG" "1"
    Else If "S" "0" "xxx" "FALSE"
      Set Variable "RIGHT" "1"
    End
  )");
  EXPECT_EQ(run.Var("S"), "xxx");
  EXPECT_EQ(run.Var("ELSE"), "ran");
  EXPECT_FALSE(run.Has("WRONG"));
  EXPECT_EQ(run.Var("RIGHT"), "1");
}

TEST(Labels, ForwardJumpSkipsCommandsAndDisabledLabelsAreTargets) {
  ScriptRun run = RunOk(R"(
    GoTo Label "Skip"
    Set Variable "SKIPPED" "1"
    [disabled] Label "Skip"
    Set Variable "LANDED" "1"
  )");
  EXPECT_FALSE(run.Has("SKIPPED"));
  EXPECT_EQ(run.Var("LANDED"), "1");
}

// ---------------------------------------------------------------------------------------------
// The loop's own work around each command

TEST(Loop, MessagesArePumpedEvery314Positions) {
  std::string script;
  for (int i = 0; i < 315; ++i) script += "Set Variable \"A\" \"" + std::to_string(i) + "\"\n";
  ScriptHarness h;
  ScriptRun run = RunOk(h, script);
  EXPECT_EQ(run.message_pumps, 2);  // positions 0 and 314
  EXPECT_EQ(RunOk("Comment").message_pumps, 1);
}

TEST(Loop, AbortFollowsTheCancelFlagBeforeEveryCommand) {
  ScriptRun run = RunOk(R"(
    Set Variable "VORT_IsCancelled" "TRUE"
    Set Variable "SEEN" "$ABORT$"
    Set Variable "ABORT" "FALSE"
    Set Variable "AFTER" "$VORT_IsCancelled$/$ABORT$"
  )");
  EXPECT_EQ(run.Var("SEEN"), "TRUE");
  // Setting ABORT tells background work through VORT_IsCancelled.
  EXPECT_EQ(run.Var("AFTER"), "FALSE/FALSE");
}

TEST(Loop, DateAndTimeFollowTheClock) {
  static ScriptHarness* harness = nullptr;
  ScriptHarness h;
  harness = &h;
  h.handlers.Override("Tick", [](CommandContext&) { harness->platform.clock.now.second += 5; });
  ScriptRun run = RunOk(h, R"(
    Set Variable "T1" "$DATE$ $TIME$"
    Tick
    Set Variable "T2" "$TIME$"
  )");
  EXPECT_EQ(run.Var("T1"), "09/12/2026 10:20:30");
  EXPECT_EQ(run.Var("T2"), "10:20:35");
  // Formatting happens only when the second changes (twice here, date and time each).
  EXPECT_EQ(h.platform.clock.format_calls, 4);
}

TEST(Loop, ProgressIsShownWhenItChangesWhileADialogShows) {
  ScriptHarness h;
  h.dialog_showing = true;
  ScriptRun run = RunOk(h, R"(
    Comment "first"
    Set Variable "PROGRESS" "40"
    Comment "same values again"
    Set Variable "PROGRESSTEXT" "Copying"
  )");
  // Set Variable refreshes at once; the loop refreshes when the values differ from those it
  // showed last.
  std::vector<std::pair<std::string, int>> expected = {{"", 40}, {"", 40}, {"Copying", 40}};
  EXPECT_EQ(run.progress, expected);
}

TEST(Loop, ProgressThatIsNoIntegerFailsWhileADialogShows) {
  ScriptHarness h;
  h.dialog_showing = true;
  h.silent = true;
  ScriptRun run = h.Run("Set Variable \"PROGRESS\" \"half\"\nComment \"x\"\n");
  EXPECT_EQ(run.result.ending, RunEnding::kFailure);
  EXPECT_EQ(run.result.failure, "'half' is not a valid integer value");
}

TEST(Loop, PluginActionsComeBeforeTheNameTable) {
  static std::vector<std::string>* calls = nullptr;
  std::vector<std::string> seen;
  calls = &seen;
  ScriptHarness h;
  h.handlers.SetPluginHandler(
      [](CommandContext& ctx) { calls->push_back(std::string(ctx.name())); }, "test");
  ScriptRun run = RunOk(h, R"(
    .plugin "Set Variable"
    .plugin "kMSIExec"
    Set Variable "A" "1"
    kmsiexec "x"
    kMSIExec "y"
  )");
  EXPECT_FALSE(run.Has("A"));
  EXPECT_EQ(seen, (std::vector<std::string>{"Set Variable", "kmsiexec", "kMSIExec"}));
}

TEST(Loop, TraceOfACompleteRun) {
  ScriptRun run = RunOk("Comment \"x\"\n");
  EXPECT_EQ(run.trace,
            (std::vector<std::string>{"    <CompileScript>", "    </CompileScript>", "    <vort>",
                                      "    </vort>", "    <ExitScript>", "    </ExitScript>"}));
}

// ---------------------------------------------------------------------------------------------
// Set Variable and Evaluate Expression

TEST(SetVariable, NamesMarkersAndSavedList) {
  ScriptRun run = RunOk(R"(
    Set Variable "$REF$" "by reference"
    Set Variable "kept$VORT$VORT$TRUE" "saved"
    Set Variable "notkept$VORT$VORT$true" "not saved"
    Set Variable "KEPT$VORT$VORT$TRUE" "again"
    Set Variable "V" "$KEPT$ $$ $"
    Set Variable "DOLLAR" "$"
  )");
  EXPECT_EQ(run.Var("REF"), "by reference");
  EXPECT_FALSE(run.Has("$REF$"));
  EXPECT_EQ(run.Var("KEPT"), "again");
  EXPECT_EQ(run.Var("NOTKEPT"), "not saved");
  EXPECT_EQ(run.saved, (std::vector<std::string>{"kept"}));
  EXPECT_EQ(run.Var("V"), "again $$ $");
  EXPECT_EQ(run.Var("DOLLAR"), "$");
}

TEST(SetVariable, DownloadTimeoutFollowsVortTimeout) {
  EXPECT_EQ(RunOk("Set Variable \"vort_timeout\" \"30\"\n").download_timeout_seconds, 30);
  EXPECT_EQ(RunOk("Set Variable \"VORT_TIMEOUT\" \"$1E\"\n").download_timeout_seconds, 30);
  EXPECT_EQ(RunOk("Set Variable \"VORT_TIMEOUT\" \"30\"\nSet Variable \"VORT_TIMEOUT\" \"soon\"\n")
                .download_timeout_seconds,
            10);
}

TEST(SetVariable, SilentRunKeepsCommandLineValues) {
  for (bool silent : {true, false}) {
    ScriptHarness h;
    h.silent = silent;
    h.command_line = {{"INSTALLDIR", "C:\\X"}, {"Fresh", "new"}};
    ScriptRun run = RunOk(h, R"(
      Set Variable "SEEN" "$INSTALLDIR$"
      Set Variable "InstallDir" "D:\Other"
      Set Variable "FRESH" "changed"
    )");
    EXPECT_EQ(run.Var("SEEN"), "C:\\X");
    EXPECT_EQ(run.Var("INSTALLDIR"), silent ? "C:\\X" : "D:\\Other") << silent;
    EXPECT_EQ(run.Var("FRESH"), silent ? "new" : "changed") << silent;
  }
}

TEST(SetVariable, SilentFlagFollowsTheVariable) {
  ScriptHarness h;
  h.command_line = {{"KEEP", "cmd"}};
  ScriptRun run = RunOk(h, R"(
    Set Variable "KEEP" "visible run"
    Set Variable "SILENT" "true"
    Set Variable "KEEP" "silent run"
  )");
  EXPECT_EQ(run.Var("KEEP"), "visible run");
}

TEST(EvaluateExpression, StoresTrueFalseOrError) {
  ScriptRun run = RunOk(R"S(
    Set Variable "A" "on"
    Set Variable "N" "10"
    Evaluate Expression "$A$ = ""on"" and ($N$ > ""9"")" "r1"
    Evaluate Expression "$A$ = ""off"" or $N$ < ""9""" "R2"
    Evaluate Expression "$UNDEFINED$ = ""x""" "R3"
    Set Variable "NAME" "John ""JJ"" Smith"
    Evaluate Expression "$NAME$ = ""John """"JJ"""" Smith""" "R4"
    Set Variable "KEY" "x"" = ""x"
    Evaluate Expression "$KEY$ = ""secret""" "R5"
    Set Variable "NESTED" "$A$-$N$"
    Evaluate Expression "$NESTED$ = ""on-10""" "R6"
  )S");
  EXPECT_EQ(run.Var("R1"), "TRUE");
  EXPECT_EQ(run.Var("R2"), "FALSE");
  EXPECT_EQ(run.Var("R3"), "ERROR");
  // Values are compared as they are, quotes and references inside them included.
  EXPECT_EQ(run.Var("R4"), "TRUE");
  EXPECT_EQ(run.Var("R5"), "FALSE");
  EXPECT_EQ(run.Var("R6"), "TRUE");
}

// ---------------------------------------------------------------------------------------------
// Ending a script, failures and exit codes

TEST(Ending, TerminateWithExitCode) {
  struct Case {
    const char* code;
    int exit_code;
  } cases[] = {{"3010", 3010}, {"x", 0}, {"$10", 16},       {"0x20", 32},
               {"-5", -5},     {"", 0},  {"99999999999", 0}};
  for (const auto& c : cases) {
    ScriptHarness h;
    h.predefined = {{"CODE", c.code}};
    ScriptRun run = RunOk(h, R"(
      Terminate with Exit Code "$CODE$"
      Set Variable "AFTER" "1"
    )");
    EXPECT_EQ(run.exit_code(), c.exit_code) << c.code;
    EXPECT_FALSE(run.Has("AFTER"));
    EXPECT_EQ(run.result.ending, RunEnding::kEndOfScript);
    EXPECT_EQ(run.trace.back(), "    </ExitScript>");
  }
}

TEST(Ending, TerminateInstallKeepsTheExitCode) {
  ScriptRun run = RunOk(R"(
    If "TITLE" "5" "" "FALSE"
      Terminate Install
    End
    Set Variable "AFTER" "1"
  )");
  EXPECT_EQ(run.exit_code(), 0);
  EXPECT_FALSE(run.Has("AFTER"));
}

TEST(Failures, MessageNamesTheSourceFileAndLine) {
  ScriptHarness h;
  h.predefined = {{"TITLE", "My App"}};
  ScriptRun run = h.Run(
      ".source-file \"C:\\Projects\\Hello\\hello.v2.zel\"\n"
      "Set Variable \"V\" \"1.x.3\"\n"
      "If \"V\" \"6\" \"1.0\" \"FALSE\"\n"
      "End\n"
      "Set Variable \"AFTER\" \"1\"\n");
  EXPECT_EQ(run.result.ending, RunEnding::kFailure);
  EXPECT_FALSE(run.Has("AFTER"));
  EXPECT_EQ(run.exit_code(), 0);
  ASSERT_EQ(run.messages.size(), 1u);
  // The If stands on line 2 of the text (counted from 0): the message shows 3.
  EXPECT_EQ(run.messages[0].text,
            "Runtime error in setup script:\r\rSource File: hello.v2\rLine Number: 3\r\r"
            "'x' is not a valid integer value");
  EXPECT_EQ(run.messages[0].caption, "My App - Corvane Wizard");
  EXPECT_EQ(run.messages[0].flags, platform::mb::kIconError);
  // The failure path writes no closing tag of the run.
  EXPECT_EQ(run.trace.back(), "    <vort>");
}

TEST(Failures, SilentRunShowsNothingAndKeepsTheExitCode) {
  ScriptHarness h;
  h.silent = true;
  ScriptRun run = h.Run("Set Variable \"V\" \"a.b\"\nIf \"V\" \"6\" \"1\" \"FALSE\"\nEnd\n");
  EXPECT_EQ(run.result.ending, RunEnding::kFailure);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(run.exit_code(), 0);
  // The trace log carries what failed and where, on one line.
  ASSERT_FALSE(run.trace.empty());
  EXPECT_NE(std::find_if(run.trace.begin(), run.trace.end(),
                         [](const std::string& line) {
                           return line.rfind("    <Message>Runtime error in setup script:", 0) == 0 &&
                                  line.find("Line Number: 2") != std::string::npos &&
                                  line.find('\r') == std::string::npos;
                         }),
            run.trace.end());
}

TEST(Failures, MessageText) {
  EXPECT_EQ(FailureMessageText("Err:", "C:\\a\\b.c.zel*40", "m"),
            "Err:\r\rSource File: b.c\rLine Number: 41\r\rm");
  EXPECT_EQ(FailureMessageText("Err:", "no star", "m"),
            "Err:\r\rSource File: \rLine Number: 1\r\rm");
  EXPECT_EQ(FailureMessageText("Err:", "x.zel*abc", "m"),
            "Err:\r\rSource File: x\rLine Number: 1\r\rm");
  EXPECT_EQ(FailureMessageText("Err:", "", "m"), "Err:\r\rSource File: \rLine Number: 1\r\rm");
}

// Handlers that use the cancellation convention and the installer-table helpers.
void CancelHandler(CommandContext& ctx) {
  if (TextToBool(ctx.variables().GetVariable("VORT_IsCancelled"))) {
    ReportCancel(ctx, "Cancel at Run-Program Time");
  }
}

TEST(Failures, CancelEndsTheScriptOrIsShownOnce) {
  for (bool abort_on_error : {true, false}) {
    ScriptHarness h;
    h.handlers.Override("Run Program", CancelHandler);
    h.predefined = {{"ABORTONERROR", abort_on_error ? "TRUE" : "FALSE"},
                    {"VORT_IsCancelled", "TRUE"}};
    ScriptRun run = RunOk(h, R"(
      Run Program "a.exe"
      Run Program "b.exe"
      Set Variable "AFTER" "1"
    )");
    ASSERT_EQ(run.messages.size(), 1u) << abort_on_error;
    EXPECT_EQ(run.messages[0].text, "Setup cancelled");
    EXPECT_EQ(run.Has("AFTER"), !abort_on_error);
    EXPECT_EQ(run.Var("ABORTEDONERROR"), abort_on_error ? "FALSE" : "TRUE");
  }
}

void DownloadFailureHandler(CommandContext& ctx) {
  ReportDownloadFailure(ctx, "Download of " + ctx.params().Expanded(1) + " failed");
}

TEST(Failures, DownloadFailuresAreShownEveryTimeAndTracedInSilentRuns) {
  for (bool silent : {false, true}) {
    ScriptHarness h;
    h.handlers.Override("Web Media Block", DownloadFailureHandler);
    h.silent = silent;
    h.predefined = {{"ABORTONERROR", "FALSE"}};
    ScriptRun run = RunOk(h, R"(
      Web Media Block "one" "http://a"
      Web Media Block "two" "http://b"
      Set Variable "AFTER" "1"
    )");
    const auto traced = std::count_if(run.trace.begin(), run.trace.end(), [](const auto& line) {
      return line.rfind("    <Message>Download of ", 0) == 0;
    });
    if (silent) {
      // A silent run shows no window: both messages are in the trace log.
      EXPECT_TRUE(run.messages.empty());
      EXPECT_EQ(traced, 2);
    } else {
      ASSERT_EQ(run.messages.size(), 2u);
      EXPECT_EQ(run.messages[1].text, "Download of two failed");
      EXPECT_EQ(traced, 0);
    }
    EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
    EXPECT_EQ(run.Var("AFTER"), "1");
  }
}

void WriteRegistryHandler(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, ctx.params().Expanded(1));
}

TEST(InstallerTable, HandlersActivateTheirCommand) {
  ScriptHarness h;
  h.handlers.Override("Write Registry", WriteRegistryHandler);
  ScriptRun run = RunOk(h, R"(
    Set Variable "LINES" "a$NEWLINE$b"
    [header 0A1B2C3D] Write Registry "$LINES$"
    [header 0A1B2C3E] Write Registry "never"
    Terminate Install
    [header 0A1B2C3F] Write Registry "never"
  )");
  EXPECT_EQ(run.executed[1], "TRUE");
  EXPECT_EQ(run.executed[2], "TRUE");
  EXPECT_EQ(run.executed[4], "FALSE");
  EXPECT_EQ(run.session_properties,
            (std::vector<std::string>{"A0A1B2C3D", "TRUE", "P0A1B2C3D_1", "a$NEWLINE$b",
                                      "A0A1B2C3E", "TRUE", "P0A1B2C3E_1", "never"}));
}

TEST(InstallerTable, MissingHeaderIsAFailure) {
  ScriptHarness h;
  h.silent = true;
  h.handlers.Override("Write Registry", WriteRegistryHandler);
  ScriptRun run = h.Run("Write Registry \"x\"\n");
  EXPECT_EQ(run.result.failure, "Unable to obtain command headers. Please rebuild your project.");
}

// ---------------------------------------------------------------------------------------------
// Services of other subsystems behind the refresh

class RecordingLocalizer : public Localizer {
 public:
  std::string Translate(std::string_view id, int slot, std::string_view text) override {
    return "[" + std::to_string(slot) + ":" + std::string(text) + "]";
  }
  void LoadLanguage(const std::string& language) override { loaded.push_back(language); }
  std::vector<std::string> loaded;
};

TEST(Refresh, ActiveLanguageTranslatesAndLoadsOnChange) {
  RecordingLocalizer localizer;
  ScriptHarness h;
  h.localizer = &localizer;
  h.predefined = {{"[1:X]", "[2:x]"}};
  ScriptRun run = RunOk(h, R"(
    Set Variable "X" "declared"
    Set Variable "BEFORE" "plain"
    Set Variable "LANGUAGE" "German"
    Set Variable "AFTER" "text"
    If "X" "0" "x" "FALSE"
      Set Variable "MATCHED" "1"
    End
    Comment ""
  )");
  EXPECT_EQ(run.Var("BEFORE"), "plain");
  EXPECT_EQ(run.Var("AFTER"), "[1:text]");
  // Loaded once, when the language changed, however many commands follow.
  EXPECT_EQ(localizer.loaded, (std::vector<std::string>{"German"}));
  // If passes p1 (slot 1) and p3 (slot 2) through the translation: variable [1:X] holds [2:x].
  EXPECT_EQ(run.Var("MATCHED"), "[1:1]");
}

class FakeCache : public EngineCacheHooks {
 public:
  std::string GetCacheRoot(bool all_users) override {
    ++root_reads;
    if (!moved_root.empty()) return moved_root;
    return all_users ? "C:\\ProgramData\\Cache\\" : "C:\\Users\\me\\Cache\\";
  }
  int root_reads = 0;
  std::string moved_root;  // what the machine says after a command changed it
  bool ApplyCacheOverride(const std::string& folder) override {
    probed.push_back(folder);
    return folder.rfind("D:", 0) == 0;
  }
  std::string InstalledUninstallCommand(bool) override { return ""; }
  std::vector<std::string> probed;
};

TEST(Refresh, CacheOverrideAndCacheFolders) {
  FakeCache cache;
  ScriptHarness h;
  h.cache = &cache;
  ScriptRun run = RunOk(h, R"(
    .revision-code "{REV}"
    Set Variable "OVERRIDECACHE" "D:\Cache"
    Set Variable "GOOD" "$OVERRIDECACHE$"
    Set Variable "OVERRIDECACHE" "Q:\Bad"
    Set Variable "BAD" "[$OVERRIDECACHE$]"
    Set Variable "ALLUSERS" "TRUE"
    Set Variable "LINK" "$UNINSTALLLINK$|$ENGINECACHE$"
  )");
  EXPECT_EQ(run.Var("GOOD"), "D:\\Cache\\");
  EXPECT_EQ(run.Var("BAD"), "[]");
  EXPECT_EQ(cache.probed, (std::vector<std::string>{"D:\\Cache\\", "Q:\\Bad\\"}));
  EXPECT_EQ(run.Var("LINK"),
            "C:\\ProgramData\\Cache\\{REV}\\setup.exe|C:\\ProgramData\\Cache\\{REV}\\");
}

// A silent run's command line protects OVERRIDECACHE: a folder that cannot be used stays in the
// variable, but is probed once, not before every command.
TEST(Refresh, AProtectedOverrideThatCannotBeUsedIsProbedOnce) {
  FakeCache cache;
  ScriptHarness h;
  h.cache = &cache;
  h.silent = true;
  h.command_line = {{"OVERRIDECACHE", "Q:\\Bad"}};
  h.predefined = {{"OVERRIDECACHE", "Q:\\Bad"}};
  ScriptRun run = RunOk(h, R"(
    Set Variable "A" "1"
    Set Variable "B" "2"
    Set Variable "C" "3"
  )");
  EXPECT_EQ(cache.probed, (std::vector<std::string>{"Q:\\Bad\\"}));
  EXPECT_EQ(run.Var("OVERRIDECACHE"), "Q:\\Bad");
}

FakeCache* touched_cache = nullptr;

TEST(Refresh, TheCacheFolderIsReadAgainOnlyAfterACommandThatMayChangeTheMachine) {
  FakeCache cache;
  touched_cache = &cache;
  ScriptHarness h;
  h.cache = &cache;
  // "Touch" stands for any command that may change the machine (a registry or file command, a
  // program): after it, the cache root the registry names may be another.
  h.handlers.Override("Touch",
                      [](CommandContext&) { touched_cache->moved_root = "E:\\Moved\\"; });
  ScriptRun run = RunOk(h, R"(
    .revision-code "{REV}"
    Set Variable "A" "1"
    If "A" "0" "1" "FALSE"
      Set Variable "B" "$ENGINECACHE$"
    End
    Label "L"
    Set Variable "READS" "x"
    Touch
    Set Variable "AFTER" "$ENGINECACHE$"
    Set Variable "ALLUSERS" "TRUE"
    Set Variable "ALL" "$ENGINECACHE$"
  )");
  EXPECT_EQ(run.Var("B"), "C:\\Users\\me\\Cache\\{REV}\\");
  EXPECT_EQ(run.Var("AFTER"), "E:\\Moved\\{REV}\\");
  EXPECT_EQ(run.Var("ALL"), "E:\\Moved\\{REV}\\");
  // Once for the first command, once after Touch, once when ALLUSERS changed: never for the
  // variable and flow commands between.
  EXPECT_EQ(cache.root_reads, 3);
}

// The refresh is left out while nothing it reads has changed; what the script sees must be the
// same as when it ran before every command.
TEST(Refresh, RefreshedVariablesAreRestoredBeforeEveryCommand) {
  FakeCache cache;
  ScriptHarness h;
  h.cache = &cache;
  h.handlers.Override("Cancel From Worker", [](CommandContext& ctx) {
    // What a worker thread does: the store directly, no refresh in between.
    ctx.variables().store().Set("VORT_IsCancelled", "TRUE");
  });
  ScriptRun run = RunOk(h, R"(
    .revision-code "{REV}"
    Set Variable "ENGINECACHE" "mine"
    Set Variable "SEEN_CACHE" "$ENGINECACHE$"
    Set Variable "DATE" "never"
    Set Variable "DATE_CHANGED" "[$DATE$]"
    Set Variable "ABORT_BEFORE" "$ABORT$"
    Cancel From Worker
    Set Variable "ABORT_AFTER" "$ABORT$"
    Set Variable "ABORT" "FALSE"
    Set Variable "ABORT_CLEARED" "$ABORT$|$VORT_IsCancelled$"
  )");
  EXPECT_EQ(run.Var("SEEN_CACHE"), "C:\\Users\\me\\Cache\\{REV}\\");
  EXPECT_NE(run.Var("DATE_CHANGED"), "[never]");
  EXPECT_NE(run.Var("DATE_CHANGED"), "[]");
  EXPECT_EQ(run.Var("ABORT_BEFORE"), "FALSE");
  EXPECT_EQ(run.Var("ABORT_AFTER"), "TRUE");
  EXPECT_EQ(run.Var("ABORT_CLEARED"), "FALSE|FALSE");
}

}  // namespace
}  // namespace corvane::interp
