#include "commands/testing/command_script.h"

#include "image/script_image.h"
#include "interp/session.h"
#include "interp/testing/script_harness.h"
#include "platform/text.h"
#include "tools/corvane-image/script_text.h"

namespace corvane::commands::testing {

std::string CommandRun::Var(std::string_view name) const {
  auto it = variables.find(platform::UpperCase(name));
  return it == variables.end() ? std::string() : it->second;
}

bool CommandRun::Has(std::string_view name) const {
  return variables.count(platform::UpperCase(name)) != 0;
}

CommandScript::CommandScript(platform::Platform& platform)
    : real_(platform),
      platform_(*this, platform, ui_) {}

void CommandScript::ProcessPendingMessages() {
  ++pumps_;
  if (on_pump && session_) on_pump(*session_);
}

CommandRun CommandScript::Run(std::string_view script_text) {
  CommandRun run;
  image::ScriptImage image;
  if (!tools::LoadScriptText(script_text, "C:\\Src\\test.zel", &image, &run.text_error)) {
    return run;
  }
  ui_.boxes.clear();
  pumps_ = 0;
  interp::Session session(platform_, image);
  session_ = &session;
  session.dialogs = this;
  session.keep_alive = owner.lock();
  session.trace = [&run](std::string_view entry) { run.trace.emplace_back(entry); };
  session.variables.SetSilent(silent);
  interp::RunSteps steps;
  steps.prepare = [](interp::Session& s) {
    interp::DefineBackgroundVariables(s);
    return true;
  };
  steps.initialize = [this](interp::Session& s) {
    interp::testing::DefineStandardVariables(s);
    for (const auto& [name, value] : predefined) s.variables.DefineVariable(name, value, "Initialization");
    if (before) before(s);
    return true;
  };
  run.result = interp::InterpretScript(session, steps);
  std::vector<std::string> listing;
  session.variables.store().ListAll(&listing);
  for (size_t i = 0; i + 1 < listing.size(); i += 2) {
    run.variables[platform::UpperCase(listing[i])] = listing[i + 1];
  }
  run.boxes = ui_.boxes;
  std::vector<std::string> props = session.properties.session_properties();
  for (size_t i = 0; i + 1 < props.size(); i += 2) run.properties.push_back(props[i] + "=" + props[i + 1]);
  props = session.properties.public_session_properties();
  for (size_t i = 0; i + 1 < props.size(); i += 2) {
    run.kept_properties.push_back(props[i] + "=" + props[i + 1]);
  }
  for (interp::Executed e : session.executed) run.executed.emplace_back(interp::ExecutedText(e));
  run.pumps = pumps_;
  session_ = nullptr;
  return run;
}

}  // namespace corvane::commands::testing
