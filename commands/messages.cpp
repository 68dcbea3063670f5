// Talking to the user outside the wizard: the engine's icon in the notification area.
#include "interp/handlers.h"
#include "interp/hooks.h"
#include "interp/session.h"

namespace corvane::commands {
namespace {

using interp::CommandContext;

// "System Tray": each parameter acts when it is exactly "TRUE" (upper case only), in order:
// 1 into the tray (icon, then the window hidden), 2 the icon alone, 3 back from the tray,
// 4 the icon removed and back from the tray. Silent runs show no icon.
void RunSystemTray(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::DialogHost* dialogs = ctx.session().dialogs;
  if (!dialogs) return;
  const bool silent = ctx.variables().silent();
  if (p.Expanded(1) == "TRUE") {
    if (!silent) dialogs->ShowTrayIcon();
    dialogs->HideWindowToTray();
  }
  if (p.Expanded(2) == "TRUE" && !silent) dialogs->ShowTrayIcon();
  if (p.Expanded(3) == "TRUE") dialogs->RestoreFromTray();
  if (p.Expanded(4) == "TRUE") {
    dialogs->HideTrayIcon();
    dialogs->RestoreFromTray();
  }
}
CORVANE_COMMAND("System Tray", RunSystemTray);

}  // namespace
}  // namespace corvane::commands
