// The commands of the interpreter core: Set Variable, Evaluate Expression, Terminate Install,
// Terminate with Exit Code, and Display Dialog (which hands the dialog to the dialog runtime and
// turns its modal result into the wizard step).
#include "interp/conditions.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::interp {

namespace {

constexpr std::string_view kSetVariableAction = "Set Variable Action";
constexpr std::string_view kSaveMarker = "$VORT$VORT$";

void RunSetVariable(CommandContext& ctx) {
  Session& s = ctx.session();
  Variables& v = s.variables;
  const Params& p = ctx.params();

  std::string value = v.ExpandVariables(ctx.Localize(1, p.Raw(2)));

  std::string written = p.Raw(1);
  bool saved = false;
  size_t marker = written.find(kSaveMarker);
  if (marker != std::string::npos) {
    saved = std::string_view(written).substr(marker + kSaveMarker.size()) == "TRUE";
    written.resize(marker);
  }
  const std::string name = ResultVariableName(written);

  if (!v.IsVariableDefined(name)) {
    v.DefineVariable(platform::UpperCase(name), "", kSetVariableAction);
  }
  v.SetVariable(name, value, kSetVariableAction);
  if (saved) v.AddSavedVariable(name);

  if (platform::SameText(name, "ABORT")) {
    v.SetVariable("VORT_IsCancelled", value, "Set Variable Tricke");
  } else if (platform::SameText(name, "VORT_TIMEOUT")) {
    s.download_timeout_seconds = platform::ParseScriptInteger(value).value_or(10);
  } else if (platform::SameText(name, "PROGRESS") || platform::SameText(name, "PROGRESSTEXT")) {
    if (s.dialogs) {
      int position = platform::ParseScriptInteger(v.GetVariable("PROGRESS")).value_or(0);
      s.dialogs->RefreshProgress(v.GetVariable("PROGRESSTEXT"), position);
    }
  }
}

void RunEvaluateExpression(CommandContext& ctx) {
  Variables& v = ctx.variables();
  const Params& p = ctx.params();
  const std::string result_name = p.Name(2);
  const std::string label = ctx.SourceLabel();
  if (!v.IsVariableDefined(result_name)) {
    v.DefineVariable(platform::UpperCase(result_name), "", label);
  }
  std::string expression = v.ExpandVariablesQuoted(p.Raw(1));
  v.SetVariable(result_name, EvaluateExpression(expression), label);
}

void RunTerminateInstall(CommandContext& ctx) { ctx.EndScript(); }

void RunTerminateWithExitCode(CommandContext& ctx) {
  ctx.session().exit_code = platform::ParseScriptInteger(ctx.params().Expanded(1)).value_or(0);
  ctx.EndScript();
}

void RunDisplayDialog(CommandContext& ctx) {
  DialogHost* dialogs = ctx.session().dialogs;
  if (!dialogs) return;
  ctx.ApplyModalResult(dialogs->DisplayDialog(ctx));
}

}  // namespace

CORVANE_COMMAND("Set Variable", RunSetVariable);
CORVANE_COMMAND("Evaluate Expression", RunEvaluateExpression);
CORVANE_COMMAND("Terminate Install", RunTerminateInstall);
CORVANE_COMMAND("Terminate with Exit Code", RunTerminateWithExitCode);
CORVANE_COMMAND("Display Dialog", RunDisplayDialog);

// Referenced by the interpreter so that this object is always linked with it.
extern const int kCoreCommandsLinked = 1;

}  // namespace corvane::interp
