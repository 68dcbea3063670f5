// The component commands: Define, Delete, Get/Set State, Get/Set Space, Set Choice, Set
// Visibility, Save and Load Feature Selections. They work on the run's component table, which
// the run attaches to its session.
#include "commands/sixty_four.h"
#include "commands/engine_state.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "ui/components.h"
#include "ui/components_session.h"

namespace corvane::ui {
namespace {

using interp::CommandContext;

ComponentTable& Table(CommandContext& ctx) { return ComponentsOf(ctx.session()); }

bool LocalizationActive(CommandContext& ctx) {
  return ctx.session().localizer != nullptr && !ctx.session().active_language.empty();
}

// A component-name parameter: translated first when a language is active, then expanded.
std::string ComponentName(CommandContext& ctx, long n) {
  return ctx.variables().ExpandVariables(ctx.Localize(1, ctx.params().Raw(n)));
}

// Stores a result unless the parameter names no variable.
void StoreResult(CommandContext& ctx, long n, const std::string& value) {
  std::string name = ctx.params().ResultName(n);
  if (!name.empty()) ctx.SetResult(name, value);
}

void DefineComponent(CommandContext& ctx) {
  auto& t = Table(ctx);
  const std::string raw_name = ctx.params().Raw(1);
  const std::string raw_description = ctx.params().Raw(3);
  std::string name, description;
  if (LocalizationActive(ctx)) {
    name = ctx.variables().ExpandVariables(ctx.Localize(1, raw_name));
    description = ctx.variables().ExpandVariables(ctx.Localize(2, raw_description));
    // The translated component keeps the size of the untranslated one.
    int64_t size = t.Size(ctx.variables().ExpandVariables(raw_name));
    if (size != 0) t.AddSize(name, size);
  } else {
    name = ctx.variables().ExpandVariables(raw_name);
    description = ctx.variables().ExpandVariables(raw_description);
  }
  t.Define(name, ctx.params().Bool(2), description);
}

void DeleteComponent(CommandContext& ctx) { Table(ctx).Delete(ComponentName(ctx, 1)); }

void GetComponentState(CommandContext& ctx) {
  StoreResult(ctx, 2, Table(ctx).GetState(ComponentName(ctx, 1)) ? "TRUE" : "FALSE");
}

void SetComponentState(CommandContext& ctx) {
  Table(ctx).SetState(ComponentName(ctx, 1), ctx.params().Bool(2));
}

void GetComponentSpace(CommandContext& ctx) {
  if (ctx.params().ResultName(2).empty()) return;
  auto& t = Table(ctx);
  std::string name = ComponentName(ctx, 1);
  int64_t size = name.empty() ? t.RequiredSpace() : t.Size(name);
  StoreResult(ctx, 2, std::to_string(size));
}

void SetComponentSpace(CommandContext& ctx) {
  Table(ctx).SetSpace(ComponentName(ctx, 1), ctx.params().Expanded(2));
}

void SetComponentChoice(CommandContext& ctx) {
  Table(ctx).SetChoice(ComponentName(ctx, 1), ctx.params().Bool(2));
}

void SetComponentVisibility(CommandContext& ctx) {
  Table(ctx).SetVisibility(ComponentName(ctx, 1), ctx.params().Bool(2));
}

// Both work in the 64-bit file-system view in 64-bit mode, as the file commands do.
void SaveFeatureSelections(CommandContext& ctx) {
  commands::FsView64 view(ctx.session());
  SessionComponentVariables vars(ctx.session());
  ComponentTable::FileValues values;
  values.platform_text = commands::StateOf(ctx.session()).platform_text;
  values.override_cache = ctx.variables().GetVariable("OVERRIDECACHE");
  Table(ctx).WriteFull(ctx.platform().files(), ctx.params().Expanded(1), vars, values);
}

void LoadFeatureSelections(CommandContext& ctx) {
  commands::FsView64 view(ctx.session());
  SessionComponentVariables vars(ctx.session());
  std::string platform_text;
  if (Table(ctx).LoadFile(ctx.platform().files(), ctx.params().Expanded(1),
                          ComponentTable::LoadKind::kSelection, vars, &platform_text) &&
      !platform_text.empty()) {
    commands::StateOf(ctx.session()).platform_text = platform_text;
  }
}

CORVANE_COMMAND("Define Component", DefineComponent);
CORVANE_COMMAND("Delete Component", DeleteComponent);
CORVANE_COMMAND("Get Component State", GetComponentState);
CORVANE_COMMAND("Set Component State", SetComponentState);
CORVANE_COMMAND("Get Component Space", GetComponentSpace);
CORVANE_COMMAND("Set Component Space", SetComponentSpace);
CORVANE_COMMAND("Set Component Choice", SetComponentChoice);
CORVANE_COMMAND("Set Component Visibility", SetComponentVisibility);
CORVANE_COMMAND("Save Feature Selections", SaveFeatureSelections);
CORVANE_COMMAND("Load Feature Selections", LoadFeatureSelections);

}  // namespace
}  // namespace corvane::ui
