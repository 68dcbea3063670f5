// Talking to the user outside the wizard, and ending a run with a restart: message boxes,
// balloons and the engine's icon in the notification area, Reboot Computer and Reboot and Resume.
#include <string>

#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/hooks.h"
#include "interp/session.h"
#include "platform/numbers.h"
#include "platform/registry.h"
#include "platform/ui.h"

namespace corvane::commands {
namespace {

using interp::CommandContext;

int Integer(const std::string& text) {
  auto v = platform::ParseScriptInteger(text);
  if (!v) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
  return *v;
}

// Icon numbers 0 to 3: information, question, warning, error; any other: no icon.
uint32_t IconFlag(int icon) {
  switch (icon) {
    case 0: return platform::mb::kIconInformation;
    case 1: return platform::mb::kIconQuestion;
    case 2: return platform::mb::kIconWarning;
    case 3: return platform::mb::kIconError;
    default: return 0;
  }
}

// Button numbers 0 to 5; any other number gives the OK button alone.
uint32_t ButtonFlags(int buttons) {
  switch (buttons) {
    case 0: return platform::mb::kAbortRetryIgnore;
    case 2: return platform::mb::kOkCancel;
    case 3: return platform::mb::kRetryCancel;
    case 4: return platform::mb::kYesNo;
    case 5: return platform::mb::kYesNoCancel;
    default: return platform::mb::kOk;
  }
}

// The answer stored for a button; a result outside the seven buttons stores nothing.
std::string AnswerText(int id) {
  static const char* const kAnswers[] = {"", "OK", "CANCEL", "ABORT", "RETRY", "IGNORE", "YES",
                                         "NO"};
  return id >= 1 && id <= 7 ? kAnswers[id] : "";
}

void RunMessageBox(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Variables& vars = ctx.variables();
  const std::string caption = vars.ExpandVariables(ctx.Localize(1, p.Raw(1)));
  const std::string text = vars.ExpandVariables(ctx.Localize(2, p.Raw(2)));
  const int icon = Integer(p.Expanded(3));
  const uint32_t flags = IconFlag(icon) | ButtonFlags(Integer(p.Expanded(4)));
  if (vars.silent()) return;
  interp::DialogHost* dialogs = ctx.session().dialogs;
  if (dialogs) (icon == 3 ? dialogs->SetTaskbarError() : dialogs->SetTaskbarPaused());
  platform::UserInterface& ui = ctx.session().platform.ui();
  const uint64_t owner = dialogs ? dialogs->WindowHandle() : 0;
  int answer = ui.MessageBoxOwned(owner, text, caption, flags);
  // A box that could not be shown with its owner is shown without one.
  if (answer == 0 && owner != 0) answer = ui.MessageBoxOwned(0, text, caption, flags);
  if (dialogs) dialogs->RestoreTaskbar();
  if (!p.Raw(5).empty()) ctx.SetResult(p.ResultName(5), AnswerText(answer));
}
CORVANE_COMMAND("MessageBox", RunMessageBox);

// "MessageBalloon": title, text, icon (0 information, 1 warning, 2 error) and a time-out in
// seconds, held between 10 and 30 (a time-out that is no number counts as 10).
void RunMessageBalloon(CommandContext& ctx) {
  const auto& p = ctx.params();
  interp::Variables& vars = ctx.variables();
  const std::string title = vars.ExpandVariables(ctx.Localize(1, p.Raw(1)));
  const std::string text = vars.ExpandVariables(ctx.Localize(2, p.Raw(2)));
  const int icon = Integer(p.Expanded(3));
  int seconds = platform::ParseScriptInteger(p.Expanded(4)).value_or(10);
  if (seconds < 10) seconds = 10;
  if (seconds > 30) seconds = 30;
  if (vars.silent()) return;
  interp::DialogHost* dialogs = ctx.session().dialogs;
  if (!dialogs) return;
  // Balloon kinds: 1 information, 2 warning, 3 error; another icon number shows information.
  const int kind = icon == 1 ? 2 : icon == 2 ? 3 : 1;
  dialogs->ShowBalloon(title, text, kind, static_cast<uint32_t>(seconds) * 1000u);
}
CORVANE_COMMAND("MessageBalloon", RunMessageBalloon);

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

// The restart, and the end of the script whatever the system answered; a refusal is written to
// the trace log so that a restart that never came can be explained.
void Restart(CommandContext& ctx) {
  std::string why;
  if (ctx.session().platform.shell().RestartComputer(&why) != platform::Status::kOk) {
    ctx.session().Trace("<RestartFailed>" + why + "</RestartFailed>");
  }
  ctx.EndScript();
}

void RunRebootComputer(CommandContext& ctx) { Restart(ctx); }
CORVANE_COMMAND("Reboot Computer", RunRebootComputer);

// "Reboot and Resume": the setup runs once more after the next logon, from a RunOnce entry named
// by the product code's first eight digits (start-up removes it again). The program's path is
// quoted, so that a path with blanks starts that program and no other.
void RunRebootAndResume(CommandContext& ctx) {
  interp::Variables& vars = ctx.variables();
  const bool all_users = interp::TextToBool(vars.GetVariable("ALLUSERS"));
  std::string program = vars.GetVariable("SFXFILE").empty()
                            ? ctx.session().platform.system().ModulePath()
                            : vars.GetVariable("SFXPATH") + vars.GetVariable("SFXFILE");
  std::string command = "\"" + program + "\"";
  const std::string arguments = vars.GetVariable("CMDLINE");
  if (!arguments.empty()) command += " " + arguments;
  const std::string& code = ctx.session().image.product_code;
  const std::string name = code.size() >= 9 ? code.substr(1, 8) : code;
  const platform::RegRoot root =
      all_users ? platform::RegRoot::kLocalMachine : platform::RegRoot::kCurrentUser;
  const platform::Status s = ctx.session().platform.registry().WriteValue(
      root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\", name,
      platform::RegView::kNative, platform::RegValue::String(command));
  if (s != platform::Status::kOk) {
    ctx.session().Trace("<RunOnceFailed>" + name + "</RunOnceFailed>");
  }
  Restart(ctx);
}
CORVANE_COMMAND("Reboot and Resume", RunRebootAndResume);

}  // namespace
}  // namespace corvane::commands
