// Plug-in actions as scripts. The same scripts run natively on the simulated machine, which loads
// the test plug-in as a shared object of the host, and under Wine, where it is a DLL with its
// export named by a .def file: the engine's side is the same code on both.
#include "install/plugins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/ui.h"

extern const unsigned char kTestPlugin[];
extern const size_t kTestPlugin_size;

namespace corvane::install {
namespace {

using commands::testing::CommandRun;
using commands::testing::CommandScript;
using commands::testing::TestMachine;

const char* const kProduct = "{0E2E0000-0000-4000-8000-0000000000AA}";

class PluginActions : public ::testing::Test {
 protected:
  // The test library at a path below ROOT.
  void Install(const std::string& relative) {
    machine_.Write(relative,
                   std::string(reinterpret_cast<const char*>(kTestPlugin), kTestPlugin_size));
  }

  CommandRun Run(const std::string& body, const std::string& header = "") {
    script_.predefined = {{"ROOT", machine_.root()},
                          {"SUPPORTDIR", machine_.root() + "\\support\\"},
                          {"DATADIR", machine_.root() + "\\data\\"}};
    for (const auto& v : extra_) script_.predefined.push_back(v);
    CommandRun run = script_.Run(".product-code \"" + std::string(kProduct) + "\"\n" +
                                 ".plugin \"Test Action\"\n" + header + body);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    return run;
  }

  TestMachine machine_;
  CommandScript script_{machine_.platform()};
  std::vector<std::pair<std::string, std::string>> extra_;
};

// A library of the support archive changes, adds and deletes variables; it gets the parameter
// text as written, every variable (values with commas, quotes, blanks and line breaks come back
// whole), and one context cell that lives for the whole run.
TEST_F(PluginActions, ResultReplacesTheVariables) {
  Install("support\\test_plugin.dll");
  CommandRun run = Run(R"(
Set Variable "CHANGE" "old"
Set Variable "GONE" "here"
Set Variable "TRICKY" "a, ""b"" c$NEWLINE$d"
Test Action "set CHANGE=new;set ADDED=$TRICKY$;delete GONE;params PARAMS;context" "kSub\test_plugin.dll"
Test Action "context" "test_plugin.dll"
Set Variable "AFTER" "ran"
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("CHANGE"), "new");
  EXPECT_EQ(run.Var("ADDED"), "$TRICKY$");
  EXPECT_FALSE(run.Has("GONE"));
  EXPECT_EQ(run.Var("PARAMS"),
            "set CHANGE=new;set ADDED=$TRICKY$;delete GONE;params PARAMS;context");
  EXPECT_EQ(run.Var("TRICKY"), "a, \"b\" c\r\nd");
  EXPECT_EQ(run.Var("NEWLINE"), "\r\n");
  EXPECT_EQ(run.Var("CONTEXT"), "2");
  EXPECT_EQ(run.Var("AFTER"), "ran");
  EXPECT_TRUE(run.boxes.empty());
}

// A library with nothing to return (-1), a file that is no library and a library of the data
// folder's block: the variables stay exactly as they were where there is no result.
TEST_F(PluginActions, NothingToReturnKeepsEveryVariable) {
  Install("support\\test_plugin.dll");
  Install("data\\Block1\\sub\\test_plugin.dll");
  machine_.Write("support\\broken.dll", "this is not a library");
  CommandRun run = Run(R"(
Set Variable "A" "before"
Set Variable "ABORTONERROR" "TRUE"
Test Action "set A=changed;delete ABORTONERROR;none" "test_plugin.dll"
Test Action "set A=changed" "broken.dll"
[media "Block1\"] Test Action "set FROM=data" "sub\test_plugin.dll"
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("A"), "before");
  EXPECT_EQ(run.Var("ABORTONERROR"), "TRUE");
  EXPECT_EQ(run.Var("FROM"), "data");
  EXPECT_TRUE(run.boxes.empty());
}

// Progress reaches the progress variables on a scale of 1 to 100 while the library runs, and the
// callback answers 1 until the user cancels; then it answers 0. The library's result (made before
// the cancel took effect) replaces the store but does not undo the cancel. With ABORTONERROR the
// script ends there.
TEST_F(PluginActions, ProgressAndCancel) {
  Install("support\\test_plugin.dll");
  std::string seen;
  script_.on_pump = [&seen](interp::Session& s) {
    interp::TVariableManager& store = s.variables.store();
    if (store.Get("VORT_thProgressText") != "waiting" || !seen.empty()) return;
    seen = store.Get("VORT_thMin") + ".." + store.Get("VORT_thMax");
    store.Set("VORT_IsCancelled", "TRUE");
  };
  CommandRun run = Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Test Action "progress" "test_plugin.dll"
Test Action "wait;set DONE=yes" "test_plugin.dll"
Set Variable "AFTER" "ran"
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("ANSWERS"), "1,1,1");
  EXPECT_EQ(seen, "1..100");
  EXPECT_EQ(run.Var("STOPPED"), "TRUE");
  EXPECT_EQ(run.Var("DONE"), "yes");
  EXPECT_EQ(run.Var("ABORTEDONERROR"), "TRUE");
  EXPECT_EQ(run.Var("VORT_IsCancelled"), "TRUE");
  EXPECT_EQ(run.Var("ABORT"), "TRUE");
  EXPECT_EQ(run.Var("AFTER"), "ran");
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Setup cancelled");

  seen.clear();
  CommandRun ended = Run(R"(
Test Action "wait;set DONE=yes" "test_plugin.dll"
Set Variable "AFTER" "ran"
)");
  EXPECT_FALSE(ended.Failed()) << ended.result.failure;
  EXPECT_EQ(seen, "1..100");
  EXPECT_FALSE(ended.Has("AFTER"));
  EXPECT_FALSE(ended.Has("DONE"));
}

// A missing library: the message, and the script goes on. A library path that climbs out of its
// folder counts as missing, even where a library lies at the place it names.
TEST_F(PluginActions, MissingLibraryIsReportedAndSkipped) {
  Install("outside.dll");
  CommandRun run = Run(R"(
Test Action "set A=1" "nowhere.dll"
[media "Block1\"] Test Action "set B=1" "..\..\outside.dll"
Set Variable "AFTER" "ran"
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_FALSE(run.Has("A"));
  EXPECT_FALSE(run.Has("B"));
  EXPECT_EQ(run.Var("AFTER"), "ran");
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].text,
            "Unable to load plug-in library. Please rebuild your project and make sure all "
            "required plug-ins are installed.\r\rAction skipped");
  EXPECT_EQ(run.boxes[0].flags & platform::mb::kIconError, platform::mb::kIconError);
  EXPECT_EQ(run.boxes[1].text, kPluginMissingText);
}

// A second call that fails keeps the variables as they are now (not as an earlier action left
// them), and is a general failure when ABORTONERROR is set. The result ends at the length the
// library announced, whatever it wrote after it.
TEST_F(PluginActions, FailedOrOverlongResults) {
  Install("support\\test_plugin.dll");
  CommandRun run = Run(R"(
Set Variable "ABORTONERROR" "FALSE"
Test Action "set A=1" "test_plugin.dll"
Set Variable "B" "2"
Test Action "set A=3;fail2" "test_plugin.dll"
Test Action "set LAST=abc;noterm" "test_plugin.dll"
Test Action "set CUT=abcdefgh;shorter" "test_plugin.dll"
)");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("A"), "1");
  EXPECT_EQ(run.Var("B"), "2");
  EXPECT_EQ(run.Var("LAST"), "abc");
  EXPECT_EQ(run.Var("CUT"), "abcd");

  CommandRun failed = Run("Test Action \"set A=3;fail2\" \"test_plugin.dll\"\n");
  EXPECT_TRUE(failed.Failed());
  EXPECT_EQ(failed.result.failure, "General setup failure");
}

// A web build fetches the action's media block before it looks for the library in the data
// folder; a fetch that ends the script runs no action.
TEST_F(PluginActions, WebBuildFetchesTheBlockFirst) {
  std::vector<std::string> fetched;
  script_.before = [this, &fetched](interp::Session& s) {
    s.fetch_command_media = [this, &fetched](interp::CommandContext& ctx) {
      fetched.push_back(std::string(ctx.session().image.command_media.At(ctx.index())));
      if (fetched.size() == 1) {
        Install("data\\Block1\\test_plugin.dll");
        return false;
      }
      ctx.EndScript();
      return true;
    };
  };
  CommandRun run = Run(R"(
[media "Block1\"] Test Action "set FIRST=yes" "test_plugin.dll"
[media "Block2\"] Test Action "set SECOND=yes" "test_plugin.dll"
Set Variable "AFTER" "ran"
)",
                       ".build-mode 2\n");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(fetched, (std::vector<std::string>{"Block1\\", "Block2\\"}));
  EXPECT_EQ(run.Var("FIRST"), "yes");
  EXPECT_FALSE(run.Has("SECOND"));
  EXPECT_FALSE(run.Has("AFTER"));
  EXPECT_TRUE(run.boxes.empty());
}

// A patch build finds a library that its data folder lacks with the setup sources (here the "/p="
// folder), which become the data folder; without sources and with ABORTONERROR it fails.
TEST_F(PluginActions, PatchBuildLooksInTheSetupSources) {
  Install("sources\\Block1\\test_plugin.dll");
  machine_.Write(std::string("sources\\") + kProduct, "");
  const std::string sources = machine_.root() + "\\sources";
  script_.before = [sources](interp::Session& s) { s.media_switch = sources; };
  CommandRun run = Run("[media \"Block1\\\"] Test Action \"set FOUND=yes\" \"test_plugin.dll\"\n",
                       ".build-mode 3\n");
  ASSERT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("FOUND"), "yes");
  EXPECT_EQ(run.Var("DATADIR"), sources + "\\");

  script_.before = nullptr;
  CommandRun failed =
      Run("[media \"Block1\\\"] Test Action \"set FOUND=yes\" \"test_plugin.dll\"\n",
          ".build-mode 3\n");
  EXPECT_TRUE(failed.Failed());
  EXPECT_EQ(failed.result.failure,
            "Original setup sources required to complete operation, sources not found");
}

}  // namespace
}  // namespace corvane::install
