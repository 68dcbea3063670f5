// Shortcuts and file types. The rows are compiled into the installer database; the commands
// switch them on, supply their run-time values, and leave what Apply Changes needs: the texts
// that carry the selected language into the database, the application identities and the pins.
#include "commands/shortcuts.h"

#include "commands/engine_state.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/text.h"

namespace corvane::commands {

std::string ShortAndLongName(const std::string& name) {
  std::string short_part = name.substr(0, 6);
  const size_t first = short_part.find_first_not_of(' ');
  const size_t last = short_part.find_last_not_of(' ');
  short_part = first == std::string::npos ? std::string()
                                          : short_part.substr(first, last - first + 1);
  return short_part + "~1|" + name;
}

namespace {

using interp::CommandContext;

// The part after the first "|" of a text ("" when there is none).
std::string AfterBar(const std::string& text) {
  const size_t bar = text.find('|');
  return bar == std::string::npos ? std::string() : text.substr(bar + 1);
}

std::string Translated(CommandContext& ctx, int slot) {
  return ctx.variables().ExpandVariables(ctx.Localize(slot, ctx.params().Raw(slot)));
}

// "Create Shortcut" and "Advertised Shortcut": 1 target, 2 name, 3 folder, 4 description, 5 and
// 6 further values, 8 "...|identity", 9 "...|pin flags".
void RunShortcut(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Session& s = ctx.session();
  CommandsState& state = StateOf(s);
  const std::string name = Translated(ctx, 2);
  const std::string description = Translated(ctx, 4);
  const std::string target = p.Path(1);
  const std::string folder = p.Path(3);
  const std::string link = s.variables.ExpandPath(folder + "\\" + name + ".lnk");
  const std::string identity = AfterBar(p.Expanded(8));
  const platform::OsVersion v = s.platform.system().Version();
  if (!identity.empty() && (v.major > 6 || (v.major == 6 && v.minor >= 1))) {
    state.shortcut_identities.emplace_back(link, identity);
  }
  const std::string flags = AfterBar(p.Expanded(9));
  if (!flags.empty()) state.shortcut_pins.push_back(link + "|" + flags + "|" + target);
  const std::string header = image::GetCommandHeader(s.image, ctx.index(), true);
  state.shortcut_texts.push_back({"P" + header + "_1", ShortAndLongName(name), description});
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, folder);
  ctx.RecordSlot(2, target);
  ctx.RecordSlot(3, p.Path(5));
  ctx.RecordSlot(4, p.Path(6));
}
CORVANE_COMMAND("Create Shortcut", RunShortcut);
CORVANE_COMMAND("Advertised Shortcut", RunShortcut);

// "Create File Type": value slots 1 to 5 from parameters 1 to 5 (1 and 3 translated).
void RunCreateFileType(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Variables& vars = ctx.variables();
  ctx.ActivateInstallerTableCommand();
  for (int slot = 1; slot <= 5; ++slot) {
    const std::string value = slot == 1 || slot == 3 ? vars.ExpandPath(Translated(ctx, slot))
                                                     : p.Path(slot);
    ctx.RecordSlot(slot, value);
  }
}
CORVANE_COMMAND("Create File Type", RunCreateFileType);

// "Advertised File Type": the ProgId as written, translated, and its translated description.
void RunAdvertisedFileType(CommandContext& ctx) {
  StateOf(ctx.session()).file_types.push_back(
      {ctx.params().Raw(1), Translated(ctx, 1), Translated(ctx, 3)});
  ctx.ActivateInstallerTableCommand();
}
CORVANE_COMMAND("Advertised File Type", RunAdvertisedFileType);

}  // namespace
}  // namespace corvane::commands
