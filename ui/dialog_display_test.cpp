// "Display Dialog" on the dialog runtime, run by scripts on the in-memory platform; a headless
// presenter answers each modal display with the input a user would give.
#include "ui/dialog_display.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

#include "interp/testing/script_harness.h"
#include "tests/support/host_path.h"
#include "ui/form_stream.h"
#include "ui/engine_dialogs.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

using Answer = std::function<void(DialogRuntime&)>;

Answer ClickOn(std::string control) {
  return [control](DialogRuntime& d) { d.Click(control); };
}

class HeadlessPresenter : public DialogPresenter {
 public:
  std::vector<std::string> shown;  // dialog keys, in order
  std::vector<std::string> hidden;
  std::vector<std::string> positions;
  std::deque<Answer> answers;
  DialogRuntime* active = nullptr;
  uint64_t next_handle = 1000;

  uint64_t Show(DialogRuntime& d) override {
    shown.push_back(d.dialog_key());
    positions.push_back(d.form().GetText("Left").value_or("") + "," +
                        d.form().GetText("Top").value_or(""));
    active = &d;
    return ++next_handle;
  }
  void Hide(DialogRuntime& d) override { hidden.push_back(d.dialog_key()); }
  bool HandleOneMessage() override {
    if (answers.empty()) return false;
    Answer a = answers.front();
    answers.pop_front();
    a(*active);
    return true;
  }
};

class DisplayHarness : public interp::testing::ScriptHarness {
 public:
  HeadlessPresenter presenter;
  std::unique_ptr<DialogSystem> dialogs;
  std::unique_ptr<DialogDisplay> display;
  std::string last_edit;  // the Name edit's text when the last dialog was answered

  DisplayHarness() {
    AddDialog("Welcome", 400, 300,
              "  object Next: TButton\n    Tag = 1\n  end\n"
              "  object Cancel: TButton\n    Tag = 3\n  end\n"
              "  object btnCustom: TButton\n    Tag = 5\n  end\n");
    AddDialog("Details", 400, 300,
              "  object Name: TEdit\n    Hint = 'USERNAME'\n  end\n"
              "  object Next: TButton\n    Tag = 1\n  end\n"
              "  object Back: TButton\n    Tag = 2\n  end\n");
    AddDialog("Wide", 600, 300, "  object Next: TButton\n    Tag = 1\n  end\n");
  }

  void AddDialog(const std::string& name, int width, int height, const std::string& body) {
    std::string text = "object " + name + ": T" + name + "\n  Width = " + std::to_string(width) +
                       "\n  Height = " + std::to_string(height) + "\n" + body + "end\n";
    std::string file = WithResourceHeader("T" + name, WriteBinaryStream(ParseFormText(text)));
    platform.file_system.WriteFile("C:\\Support\\" + name + ".dfm", file);
    platform.file_system.WriteFile("C:\\Support\\" + name + ".dfm.zelf", "");
  }

  // One of the sample dialogs of examples/dialogs, as its form file and rule file.
  void AddSample(const std::string& name) {
    auto read = [](const std::string& file) {
      std::ifstream in(corvane::testing::HostPath(std::string(SAMPLE_DIALOGS_DIR) + "/" + file),
                       std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      return s.str();
    };
    FormObject root = ParseFormText(read(name + ".dfm.txt"));
    platform.file_system.WriteFile("C:\\Support\\" + name + ".dfm",
                                   WithResourceHeader(root.class_name, WriteBinaryStream(root)));
    platform.file_system.WriteFile("C:\\Support\\" + name + ".dfm.zelf", read(name + ".dfm.zelf"));
  }

  int DisplayDialog(interp::CommandContext& ctx) override {
    if (!display) {
      dialogs = std::make_unique<DialogSystem>(ctx.session().platform.files());
      dialogs->Start("C:\\Support\\", nullptr);
      display = std::make_unique<DialogDisplay>(ctx.session(), *dialogs, presenter);
    }
    // Start-up pre-loads the form of every enabled Display Dialog; here each is loaded when its
    // command first runs.
    if (!dialogs->FindDialog(std::to_string(ctx.index()))) {
      dialogs->LoadCommandDialog(static_cast<size_t>(ctx.index()), ctx.params().Raw(1));
    }
    return display->DisplayDialog(ctx);
  }

  interp::testing::ScriptRun RunScript(std::string_view script) {
    interp::testing::ScriptRun run = Run(script);
    display.reset();  // the session it worked for has ended
    dialogs.reset();
    return run;
  }
};

TEST(DialogDisplay, WizardMovesByTheButtonsAndKeepsTypedValuesInVariables) {
  DisplayHarness h;
  h.presenter.answers = {
      ClickOn("Next"),
      [](DialogRuntime& d) { d.SetText("Name", "Ann"); },
      ClickOn("Back"),
      ClickOn("Next"),
      [&h](DialogRuntime& d) {
        h.last_edit = d.Find("Name")->text;
        d.Click("Next");
      },
  };
  interp::testing::ScriptRun run = h.RunScript(R"(
    Wizard Loop
      Display Dialog "Welcome" "WIZARD" "FALSE"
      Display Dialog "Details" "$WIZARD$" "FALSE"
    End
    Set Variable "AFTER" "1"
  )");
  EXPECT_EQ(h.presenter.shown,
            (std::vector<std::string>{"Welcome.dfm", "Details.dfm", "Welcome.dfm", "Details.dfm"}));
  EXPECT_EQ(h.last_edit, "Ann");  // prepared again from the variable the edit wrote
  EXPECT_EQ(run.Var("USERNAME"), "Ann");
  EXPECT_EQ(run.Var("WIZARD"), "NEXT");
  EXPECT_FALSE(run.Has("$WIZARD$"));
  EXPECT_EQ(run.Var("AFTER"), "1");
  EXPECT_EQ(run.Var("WINDOWHANDLE"), "");  // a wizard leaves it as the show set it
}

TEST(DialogDisplay, SampleWizardFromWelcomeToReady) {
  DisplayHarness h;
  for (const char* name : {"Welcome", "Licence", "Destination", "Ready"}) h.AddSample(name);
  std::string shown_again;
  h.presenter.answers = {
      ClickOn("ButtonNext"),   // Welcome
      ClickOn("ButtonNext"),   // Licence: not accepted yet, the button is disabled
      ClickOn("RadioAccept"),  //
      ClickOn("ButtonNext"),   //
      [](DialogRuntime& d) { d.SetText("FolderEdit", "D:\\\\Apps"); },  // Destination
      ClickOn("ButtonNext"),                                            //
      [](DialogRuntime& d) { d.PickItem("InstallType", 2); },           // Ready
      ClickOn("ButtonBack"),                                            //
      [&shown_again](DialogRuntime& d) {
        shown_again = d.Find("FolderEdit")->text;
        d.Click("ButtonNext");
      },
      ClickOn("ButtonInstall"),
  };
  interp::testing::ScriptRun run = h.RunScript(R"(
    Set Variable "TARGETDIR" "C:\Program Files\Maker"
    Wizard Loop
      Display Dialog "Welcome" "WIZARD" "TRUE"
      Display Dialog "Licence" "WIZARD" "TRUE"
      Display Dialog "Destination" "WIZARD" "TRUE"
      Display Dialog "Ready" "WIZARD" "TRUE"
    End
  )");
  EXPECT_EQ(h.presenter.shown,
            (std::vector<std::string>{"Welcome.dfm", "Licence.dfm", "Destination.dfm", "Ready.dfm",
                                      "Destination.dfm", "Ready.dfm"}));
  EXPECT_TRUE(h.presenter.answers.empty());
  EXPECT_EQ(run.Var("LICENCEACCEPTED"), "TRUE");
  EXPECT_EQ(run.Var("TARGETDIR"), "D:\\\\Apps");  // as typed; shown collapsed
  EXPECT_EQ(shown_again, "D:\\Apps");
  EXPECT_EQ(run.Var("INSTALLTYPE"), "Custom");
  EXPECT_EQ(run.Var("WIZARD"), "NEXT");
}

TEST(DialogDisplay, ConfirmedCancelLeavesTheWizard) {
  DisplayHarness h;
  h.platform.user_interface.answers = {platform::id::kYes};
  h.presenter.answers = {ClickOn("Cancel")};
  interp::testing::ScriptRun run = h.RunScript(R"(
    Wizard Loop
      Display Dialog "Welcome" "WIZARD" "TRUE"
      Display Dialog "Details" "WIZARD" "TRUE"
    End
  )");
  EXPECT_EQ(h.presenter.shown, (std::vector<std::string>{"Welcome.dfm"}));
  EXPECT_EQ(run.Var("WIZARD"), "CANCEL");
  EXPECT_EQ(run.Var("VORT_ISCANCELLED"), "TRUE");
  ASSERT_FALSE(run.messages.empty());
  EXPECT_EQ(run.messages[0].text, "Are you sure you want to cancel?");
}

TEST(DialogDisplay, ACancelIsSeenUntilTheNextDisplay) {
  DisplayHarness h;
  h.platform.user_interface.answers = {platform::id::kYes};
  h.presenter.answers = {ClickOn("Cancel"), ClickOn("Next")};
  interp::testing::ScriptRun run = h.RunScript(R"(
    Display Dialog "Welcome" "RES" "TRUE"
    Set Variable "SEEN" "$VORT_IsCancelled$"
    Display Dialog "Details" "RES" "TRUE"
    Set Variable "AFTER" "$VORT_IsCancelled$"
  )");
  EXPECT_EQ(run.Var("SEEN"), "TRUE");
  EXPECT_EQ(run.Var("AFTER"), "FALSE");
  EXPECT_EQ(run.Var("RES"), "NEXT");
}

TEST(DialogDisplay, SkipNamedResultAndNotModal) {
  DisplayHarness h;
  h.presenter.answers = {ClickOn("btnCustom")};
  interp::testing::ScriptRun run = h.RunScript(R"(
    Set Variable "SKIP" "TRUE"
    Set Variable "RES" "untouched"
    Display Dialog "Details" "RES" "TRUE" "$SKIP$" "" "-1"
    Display Dialog "Welcome" "CHOICE" "TRUE" "SKIP" "" "FALSE"
    Display Dialog "Details" "PAGE" "FALSE"
  )");
  EXPECT_EQ(run.Var("RES"), "untouched");
  EXPECT_EQ(run.Var("CHOICE"), "BTNCUSTOM");
  EXPECT_EQ(run.Var("PAGE"), "NOTMODAL");
  EXPECT_EQ(run.Var("WINDOWHANDLE"), "1002");
  EXPECT_EQ(h.presenter.shown, (std::vector<std::string>{"Welcome.dfm", "Details.dfm"}));
}

TEST(DialogDisplay, SameSizeKeepsThePlaceAnotherSizeIsCentred) {
  DisplayHarness h;
  h.presenter.answers = {ClickOn("Next"), ClickOn("Next"), ClickOn("Next")};
  interp::testing::ScriptRun run = h.RunScript(R"(
    Display Dialog "Welcome" "" "TRUE"
    Display Dialog "Details" "" "TRUE"
    Display Dialog "Wide" "" "TRUE"
  )");
  EXPECT_EQ(h.presenter.positions, (std::vector<std::string>{"312,234", "312,234", "212,234"}));
  EXPECT_EQ(run.Var("WINDOWHANDLE"), "0");
}

TEST(DialogDisplay, AModalDialogThatIsNeverAnsweredFailsInsteadOfHanging) {
  DisplayHarness h;
  interp::testing::ScriptRun run = h.RunScript(R"(
    Display Dialog "Welcome" "RES" "TRUE"
    Set Variable "AFTER" "1"
  )");
  EXPECT_FALSE(run.Has("AFTER"));
  ASSERT_FALSE(run.messages.empty());
  EXPECT_NE(run.messages.back().text.find("never answered"), std::string::npos);
}

DisplayHarness* hiding_harness = nullptr;
void RunHideDialog(interp::CommandContext&) {
  if (hiding_harness->display) hiding_harness->display->HideDialog();
}

TEST(DialogDisplay, HideDialogHidesOnlyADialogStillOnScreenForProgress) {
  DisplayHarness h;
  hiding_harness = &h;
  h.handlers.Override("Hide Dialog", &RunHideDialog);
  h.presenter.answers = {ClickOn("Next")};
  interp::testing::ScriptRun run = h.RunScript(R"(
    Display Dialog "Welcome" "" "TRUE"
    Hide Dialog
    Set Variable "AFTER_MODAL" "$WINDOWHANDLE$"
    Display Dialog "Details" "" "FALSE"
    Set Variable "WHILE_SHOWN" "$WINDOWHANDLE$"
    Hide Dialog
  )");
  hiding_harness = nullptr;
  // The waited-for dialog stays until the next display hides it; the one shown without waiting
  // goes with Hide Dialog.
  EXPECT_EQ(h.presenter.hidden, (std::vector<std::string>{"Welcome.dfm", "Details.dfm"}));
  EXPECT_EQ(run.Var("AFTER_MODAL"), "0");
  EXPECT_EQ(run.Var("WHILE_SHOWN"), "1002");
  EXPECT_EQ(run.Var("WINDOWHANDLE"), "0");
}

TEST(DialogDisplay, QuestionsPauseTheTaskbarAndRestoreItsMode) {
  interp::Variables vars;
  vars.SetVariable("PROGRESSMODE", "MARQUEE", "Test");
  TaskbarPause pause(vars);
  pause.Pause();
  EXPECT_EQ(vars.GetVariable("PROGRESSMODE"), "PAUSE");
  pause.Pause();  // a question while one is open
  pause.Restore();
  EXPECT_EQ(vars.GetVariable("PROGRESSMODE"), "PAUSE");
  pause.Restore();
  EXPECT_EQ(vars.GetVariable("PROGRESSMODE"), "MARQUEE");
  pause.Restore();  // unbalanced: nothing to put back
  EXPECT_EQ(vars.GetVariable("PROGRESSMODE"), "MARQUEE");
}

TEST(DialogDisplay, SilentRunsStoreNextWithoutShowing) {
  DisplayHarness h;
  h.silent = true;
  interp::testing::ScriptRun run = h.RunScript(R"(
    Display Dialog "Welcome" "RES" "TRUE"
  )");
  EXPECT_TRUE(h.presenter.shown.empty());
  EXPECT_EQ(run.Var("RES"), "NEXT");
}

// The engine's own questions are forms like the script's: every property they set is one their
// controls have (a misspelt one would be skipped silently), and their texts are the engine's.
// With CORVANE_ENGINE_DIALOGS_DIR set, their text forms are written there (for photographs).
TEST(DialogDisplay, TheEngineQuestionsAreWholeForms) {
  const char* out = std::getenv("CORVANE_ENGINE_DIALOGS_DIR");
  for (const char* name : {"zelProxyEx", "zelProxy", "zelExtract"}) {
    SCOPED_TRACE(name);
    const std::string text = EngineDialogText(name);
    ASSERT_FALSE(text.empty());
    std::unique_ptr<PoolTemplate> form = CreateDialogForm(
        WithResourceHeader(name, WriteBinaryStream(ParseFormText(text))), std::string(name) + ".dfm");
    EXPECT_TRUE(form->skipped_properties().empty()) << form->skipped_properties().front();
    if (out) std::ofstream(std::string(out) + "/" + name + ".dfm.txt") << text;
  }
  EXPECT_NE(EngineDialogText("zelProxy").find("' Proxy Information (optional) '"),
            std::string::npos);
  EXPECT_NE(EngineDialogText("zelExtract").find("'Try to &extract the existing download data "
                                                "again.'"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane::ui
