#include "interp/testing/script_harness.h"

#include "image/script_image.h"
#include "platform/text.h"
#include "platform/ui.h"
#include "tools/corvane-image/script_text.h"

namespace corvane::interp::testing {

bool ScriptRun::Has(std::string_view name) const {
  return variables.count(platform::UpperCase(name)) != 0;
}

std::string ScriptRun::Var(std::string_view name) const {
  auto it = variables.find(platform::UpperCase(name));
  return it == variables.end() ? std::string() : it->second;
}

void DefineStandardVariables(Session& s) {
  Variables& v = s.variables;
  constexpr std::string_view kInit = "Initialization";
  const std::pair<const char*, const char*> values[] = {
      {"VORT_TIMEOUT", "10"},   {"OVERRIDECACHE", ""},
      {"VORTLOGO", ""},         {"PROGRESSTEXT", ""},
      {"PROGRESSMODE", ""},     {"ABORT", "FALSE"},
      {"PROGRESS", "0"},        {"LASTERROR", ""},
      {"WIZARD", "NEXT"},       {"COMPLETE", "TRUE"},
      {"NEWLINE", "\r\n"},      {"ADVERTISE", "FALSE"},
      {"ABORTONERROR", "TRUE"}, {"ABORTEDONERROR", "FALSE"},
      {"SAVEDATA", "FALSE"},    {"LANGUAGE", ""},
      {"TARGETDIR", ""}};
  for (const auto& [name, value] : values) v.DefineVariable(name, value, kInit);
  v.DefineVariable("SILENT", BoolToText(v.silent()), kInit);
  v.DefineVariable("TITLE", s.image.title, kInit);
  v.DefineVariable("VERSION", s.image.version, kInit);
}

ScriptHarness::ScriptHarness() : handlers(GlobalHandlerTable()) {}

int ScriptHarness::DisplayDialog(CommandContext& ctx) {
  shown_dialogs_.push_back(ctx.params().Expanded(1));
  if (dialog_results.empty()) return platform::id::kYes;
  int result = dialog_results.front();
  dialog_results.pop_front();
  return result;
}

ScriptRun ScriptHarness::Run(std::string_view script_text) {
  ScriptRun run;
  image::ScriptImage image;
  if (!tools::LoadScriptText(script_text, "C:\\Src\\test.zel", &image, &run.text_error)) {
    return run;
  }

  shown_dialogs_.clear();
  progress_.clear();
  pumps_ = 0;
  platform.user_interface.shown.clear();

  platform::Platform& machine = target ? *target : static_cast<platform::Platform&>(platform);
  Session session(machine, image);
  session.dialogs = this;
  session.cache = cache;
  session.localizer = localizer;
  session.trace = [&run](std::string_view entry) { run.trace.emplace_back(entry); };
  session.variables.SetSilent(silent);
  session.variables.SetCommandLineAssignments(command_line);

  RunSteps steps;
  steps.prepare = [](Session& s) {
    DefineBackgroundVariables(s);
    return true;
  };
  steps.initialize = [this](Session& s) {
    DefineStandardVariables(s);
    for (const auto& [name, value] : predefined) {
      s.variables.DefineVariable(name, value, "Initialization");
    }
    InjectCommandLine(s);
    return true;
  };
  run.result = InterpretScript(session, steps, handlers);

  std::vector<std::string> listing;
  session.variables.store().ListAll(&listing);
  for (size_t i = 0; i + 1 < listing.size(); i += 2) {
    run.variables[platform::UpperCase(listing[i])] = listing[i + 1];
  }
  if (!target) run.messages = platform.user_interface.shown;
  run.dialogs = shown_dialogs_;
  run.progress = progress_;
  for (Executed e : session.executed) run.executed.emplace_back(ExecutedText(e));
  run.saved = session.variables.saved_variables();
  run.session_properties = session.properties.session_properties();
  run.message_pumps = pumps_;
  run.download_timeout_seconds = session.download_timeout_seconds;
  return run;
}

}  // namespace corvane::interp::testing
