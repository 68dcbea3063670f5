// Runs a script written in the text form of corvane-image through the compile pass and the
// dispatch loop on the in-memory test platform, and returns what a test checks: the variables at
// the end, the exit code, the message boxes shown, the dialogs displayed and the trace.
//
//   ScriptHarness h;
//   h.dialog_results = {id::kYes, id::kNo, id::kCancel};
//   ScriptRun run = h.Run(R"(
//     Set Variable "A" "1"
//     If "A" "0" "1" "FALSE"
//       Set Variable "B" "yes"
//     End
//   )");
//   EXPECT_EQ(run.Var("B"), "yes");
#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interp/handlers.h"
#include "interp/hooks.h"
#include "interp/interpreter.h"
#include "interp/testing/test_platform.h"

namespace corvane::interp::testing {

struct ScriptRun {
  std::string text_error;  // the script text did not compile into an image
  RunResult result;
  std::map<std::string, std::string> variables;  // upper-cased name -> value
  std::vector<ShownMessage> messages;
  std::vector<std::string> dialogs;                   // parameter 1 of each Display Dialog shown
  std::vector<std::pair<std::string, int>> progress;  // progress refreshes
  std::vector<std::string> trace;
  std::vector<std::string> executed;
  std::vector<std::string> saved;
  std::vector<std::string> session_properties;
  int message_pumps = 0;
  int download_timeout_seconds = 0;

  bool Has(std::string_view name) const;
  std::string Var(std::string_view name) const;
  int exit_code() const { return result.exit_code; }
};

class ScriptHarness : public DialogHost {
 public:
  ScriptHarness();

  TestPlatform platform;
  // Another platform to run on instead (the simulated machine); messages are then read from it.
  platform::Platform* target = nullptr;
  HandlerTable handlers;  // a copy of the global table; tests may override rows
  bool silent = false;
  std::vector<std::pair<std::string, std::string>> command_line;
  // Variables defined after the standard start values and before the command line is injected.
  std::vector<std::pair<std::string, std::string>> predefined;
  // Modal results of the dialogs, in order; Next (id::kYes) once the queue is empty.
  std::deque<int> dialog_results;
  bool dialog_showing = false;
  EngineCacheHooks* cache = nullptr;
  Localizer* localizer = nullptr;

  ScriptRun Run(std::string_view script_text);

  // DialogHost
  int DisplayDialog(CommandContext& ctx) override;
  void ProcessPendingMessages() override { ++pumps_; }
  bool IsDialogShowing() override { return dialog_showing; }
  void RefreshProgress(const std::string& text, int position) override {
    progress_.emplace_back(text, position);
  }
  void SetTaskbarError() override {}
  void RestoreTaskbar() override {}
  void CloseAll() override {}

 private:
  std::vector<std::string> shown_dialogs_;
  std::vector<std::pair<std::string, int>> progress_;
  int pumps_ = 0;
};

// The start values the harness defines for every run (a subset of the session's predefined
// variables: the ones the interpreter core reads).
void DefineStandardVariables(Session& session);

}  // namespace corvane::interp::testing
