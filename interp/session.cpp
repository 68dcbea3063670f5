#include "interp/session.h"

#include "interp/interpreter.h"

#include "platform/ui.h"

namespace corvane::interp {

namespace {
constexpr std::string_view kEngineWindowName = "Corvane Wizard";
}

Session::Session(platform::Platform& p, const image::ScriptImage& img,
                 std::vector<const image::HashedList*> pools)
    : platform(p), image(img), program(img, std::move(pools)) {
  executed.assign(static_cast<size_t>(program.size()), Executed::kSkip);
  WatchRefreshedVariables(variables.store());
}

std::string Session::Caption() const {
  if (caption_title.empty()) return std::string(kEngineWindowName);
  if (logo) return caption_title;
  return caption_title + " - " + std::string(kEngineWindowName);
}

int Session::ShowMessage(const std::string& text, uint32_t flags) {
  if (variables.silent()) return platform::id::kOk;
  return platform.ui().MessageBox(text, Caption(), flags);
}

std::string CommandContext::SourceLabel() const { return std::string(name()) + " Action"; }

void CommandContext::DefineResult(std::string_view name) {
  Variables& v = session_.variables;
  if (!v.IsVariableDefined(name)) v.DefineVariable(platform::UpperCase(name), "", SourceLabel());
}

void CommandContext::SetResult(std::string_view name, std::string_view value) {
  DefineResult(name);
  session_.variables.SetVariable(name, value, SourceLabel());
}

void CommandContext::ActivateInstallerTableCommand() {
  std::string header = image::GetCommandHeader(session_.image, index_, true);
  if (static_cast<size_t>(index_) < session_.executed.size()) {
    session_.executed[static_cast<size_t>(index_)] = Executed::kRun;
  }
  session_.properties.RecordInstallerProperty("A" + header, "TRUE");
}

void CommandContext::RecordSlot(int slot, std::string_view value) {
  std::string header = image::GetCommandHeader(session_.image, index_, true);
  session_.properties.RecordInstallerProperty("P" + header + "_" + std::to_string(slot), value);
}

void CommandContext::RecordSecretSlot(int slot, std::string_view value) {
  std::string header = image::GetCommandHeader(session_.image, index_, true);
  session_.properties.RecordSecretProperty("P" + header + "_" + std::to_string(slot), value);
}

std::string CommandContext::Localize(int slot, std::string_view text) {
  if (session_.active_language.empty() || !session_.localizer) return std::string(text);
  return session_.localizer->Translate(id(), slot, text);
}

namespace {

bool FinishCancel(CommandContext& ctx, std::string_view source_label) {
  Variables& v = ctx.variables();
  if (TextToBool(v.GetVariable("ABORTONERROR"))) {
    ctx.EndScript();
    return true;
  }
  v.SetVariable("ABORTEDONERROR", "TRUE", source_label);
  return false;
}

void ShowCancelMessage(Session& s, const std::string& text) {
  // A silent run shows no window: the message goes to the trace log.
  if (s.variables.silent()) {
    TraceMessage(s, text);
    return;
  }
  if (s.dialogs) s.dialogs->SetTaskbarError();
  s.platform.ui().MessageBox(text, s.Caption(), platform::mb::kIconError);
  if (s.dialogs) s.dialogs->RestoreTaskbar();
}

}  // namespace

bool ReportCancel(CommandContext& ctx, std::string_view source_label) {
  if (!TextToBool(ctx.variables().GetVariable("ABORTEDONERROR"))) {
    ShowCancelMessage(ctx.session(), "Setup cancelled");
  }
  return FinishCancel(ctx, source_label);
}

bool ReportDownloadFailure(CommandContext& ctx, const std::string& message) {
  ShowCancelMessage(ctx.session(), message);
  return FinishCancel(ctx, "Weblock Abort");
}

}  // namespace corvane::interp
