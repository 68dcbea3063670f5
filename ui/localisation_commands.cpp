// "Localization Variable": a variable whose value is translated through its own key,
// "CODEGEAR$" NAME "$CODEGEAR", so that a script can carry texts of its own in every language.
#include "interp/handlers.h"
#include "interp/session.h"
#include "ui/translations.h"

namespace corvane::ui {
namespace {

void LocalizationVariable(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  const std::string name = ctx.params().Name(1);
  if (name.empty()) return;
  ctx.DefineResult(name);
  std::string value = ctx.params().Raw(2);
  if (!s.active_language.empty() && s.localizer) {
    value = s.localizer->Translate(LocalizationKey(name), 1, value);
  }
  ctx.SetResult(name, ctx.variables().ExpandVariables(value));
}

CORVANE_COMMAND("Localization Variable", LocalizationVariable);

}  // namespace
}  // namespace corvane::ui
