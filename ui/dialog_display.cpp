#include "ui/dialog_display.h"

#include "image/failure.h"
#include "interp/variables.h"
#include "platform/text.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/language_dialog.h"

namespace corvane::ui {

void TaskbarPause::Pause(const std::string& mode) {
  if (depth_++ == 0) saved_ = vars_.GetVariable("PROGRESSMODE");
  vars_.SetVariable("PROGRESSMODE", mode, "ShowDesign");
}

void TaskbarPause::Restore() {
  if (depth_ == 0) return;
  if (--depth_ == 0) vars_.SetVariable("PROGRESSMODE", saved_, "ShowDesign");
}

bool SessionDialogHooks::LocalisationActive() {
  return s_.localizer != nullptr && !s_.active_language.empty();
}

std::string SessionDialogHooks::TranslateDialogText(const std::string& dialog_key,
                                                    const std::string& control_name,
                                                    const std::string& template_text) {
  if (!s_.localizer) return template_text;
  return s_.localizer->TranslateDialogText(dialog_key, control_name, template_text);
}

SizeUnits SessionDialogHooks::Units() {
  return {s_.Message(image::msg::kBytes), s_.Message(image::msg::kKilobytes),
          s_.Message(image::msg::kMegabytes)};
}

void SessionDialogHooks::PlaySound(const std::string& path) {
  s_.platform.shell().PlaySoundFile(path);
}

void SessionDialogHooks::RunProgram(const std::string& command_line) {
  platform::StartOptions options;
  options.show = platform::show::kShow;
  std::unique_ptr<platform::Process> process;
  s_.platform.processes().PlainStart(command_line, options, &process);
}

void SessionDialogHooks::OpenDocument(const std::string& address) {
  std::unique_ptr<platform::Process> process;
  s_.platform.processes().ShellStart("", address, "", "", platform::show::kNormal, &process);
}

DialogDisplay::DialogDisplay(interp::Session& session, DialogSystem& dialogs,
                             DialogPresenter& presenter, DialogHooks* hooks)
    : session_(session), dialogs_(dialogs), presenter_(presenter) {
  if (!hooks) {
    own_hooks_ = std::make_unique<SessionDialogHooks>(session);
    hooks = own_hooks_.get();
  }
  ComponentTable* table = session.Find<ComponentTable>();
  if (!table) {
    // A table for the rest of the run, which the run's component commands find too; the
    // session's exit clean-up keeps the only reference.
    auto owned = std::make_shared<ComponentTable>();
    owned->SetImageSizes(session.image.components);
    table = owned.get();
    session.Attach<ComponentTable>(table);
    session.exit_cleanups.push_back([owned] {});
  }
  hooks_ = hooks;
  engine_ = std::make_unique<DialogEngine>(session.variables, session.platform.files(),
                                           session.platform.ui(), hooks, table, &dialogs);
  presenter_.on_minimised = [this](DialogRuntime& dialog) { Minimised(dialog); };
  presenter_.on_tray_click = [this] { RestoreFromTray(); };
}

DialogDisplay::~DialogDisplay() = default;

DialogRuntime& DialogDisplay::EngineForm(const std::string& name, const std::string& form_text) {
  EngineFormEntry& e = engine_forms_[name];
  if (!e.runtime) {
    e.form = CreateDialogForm(
        WithResourceHeader(platform::UpperCase(name), WriteBinaryStream(ParseFormText(form_text))),
        name + ".dfm");
    e.runtime = std::make_unique<DialogRuntime>(*engine_, *e.form);
  }
  return *e.runtime;
}

DialogRuntime* DialogDisplay::Runtime(const std::string& key) {
  PoolTemplate* form = dialogs_.FindDialog(key);
  if (!form) return nullptr;
  auto& slot = runtimes_[platform::UpperCase(key)];
  // A key loaded again has a new form: its runtime starts afresh.
  if (!slot || &slot->form() != form) slot = std::make_unique<DialogRuntime>(*engine_, *form);
  return slot.get();
}

int DialogDisplay::DisplayDialog(interp::CommandContext& ctx) {
  interp::Variables& vars = session_.variables;
  const interp::Params& p = ctx.params();
  const std::string key = std::to_string(ctx.index());

  if (!p.Raw(4).empty()) {
    const std::string skip = interp::ResultVariableName(p.Raw(4));
    if (interp::TextToBool(vars.GetVariable(skip)) == p.Bool(6)) return result::kOpen;
  }
  // A command whose form start-up never loaded finds nothing to display: nothing changes, and a
  // wizard loop keeps its direction.
  DialogRuntime* dialog = Runtime(key);
  if (!dialog) return result::kOpen;
  last_key_ = key;
  if (!freeze_key_.empty()) {
    if (DialogRuntime* before = Runtime(freeze_key_)) before->Freeze();
    freeze_key_.clear();
  }
  engine_->dialog_folder = dialogs_.dialog_folder();

  const bool in_wizard = ctx.InWizardLoop();
  const bool wait = in_wizard || p.Bool(3);
  int code = result::kNext;
  if (vars.silent()) {
    vars.SetVariable("VORT_IsCancelled", "FALSE", "ShowDesign");
  } else {
    if (!expected_) {
      expected_ = true;
      std::vector<DialogRuntime*> all;
      for (const std::string& k : dialogs_.keys()) {
        if (DialogRuntime* d = Runtime(k)) all.push_back(d);
      }
      presenter_.ExpectDialogs(all);
    }
    engine_->BeginFolderMemo();
    dialog->Prepare();
    code = Show(key, *dialog, wait);
    engine_->EndFolderMemo();
    if (in_wizard) {
      freeze_key_ = key;
    } else if (wait) {
      window_handle_ = 0;
      vars.SetVariable("WINDOWHANDLE", "0", "Display Dialog");
      freeze_key_ = key;
    } else {
      vars.SetVariable("WINDOWHANDLE", std::to_string(window_handle_), "Display Dialog");
      code = result::kNotModal;
    }
  }

  if (!p.Raw(2).empty()) {
    std::optional<std::string> text = ResultCodeText(code, dialog->result_text());
    if (text) last_text_ = *text;
    ctx.SetResult(p.ResultName(2), last_text_);
  }
  return code;
}

void DialogDisplay::Position(DialogRuntime& dialog) {
  PoolTemplate& form = dialog.form();
  int w = form.Integer("Width");
  int h = form.Integer("Height");
  if (w == 0) w = form.Integer("ClientWidth");
  if (h == 0) h = form.Integer("ClientHeight");
  if (!recentre_ && (w != width_ || h != height_)) recentre_ = true;
  if (recentre_) {
    form.SetText("Left", std::to_string((presenter_.ScreenWidth() - w) / 2));
    form.SetText("Top", std::to_string((presenter_.ScreenHeight() - h) / 2));
    width_ = w;
    height_ = h;
  } else {
    form.SetText("Left", std::to_string(left_));
    form.SetText("Top", std::to_string(top_));
  }
  recentre_ = false;
}

void DialogDisplay::MakeVisible(DialogRuntime& dialog) {
  dialog.set_closable(false);
  if (in_tray_) {
    // Held back until the user takes the engine out of the tray.
    pending_ = &dialog;
    presenter_.ShowHeldBack(dialog);
  } else {
    if (pending_ == &dialog) pending_ = nullptr;
    window_handle_ = presenter_.Show(dialog);
  }
  dialog.Shown();
  engine_->EndFolderMemo();
  if (shown_ && shown_ != &dialog) {
    shown_->set_closable(true);
    presenter_.Hide(*shown_);
  }
  shown_ = &dialog;
}

int DialogDisplay::Show(const std::string& key, DialogRuntime& dialog, bool wait) {
  interp::Variables& vars = session_.variables;
  platform::FileSystem& files = session_.platform.files();
  vars.SetVariable("VORT_IsCancelled", "FALSE", "ShowDesign");
  const std::string saved_folder = files.GetCurrentDirectory();
  if (!dialogs_.dialog_folder().empty()) files.SetCurrentDirectory(dialogs_.dialog_folder());
  current_key_ = key;
  Position(dialog);
  vars.SetVariable("VORT_IsCancelled", "FALSE", "ShowDesign");
  int code = result::kNotModal;
  if (wait) {
    dialog.BeginModal();
    MakeVisible(dialog);
    while (dialog.result_code() == result::kOpen) {
      if (!presenter_.HandleOneMessage()) {
        current_key_.clear();
        files.SetCurrentDirectory(saved_folder);
        throw image::ScriptFailure("The dialog " + dialog.dialog_key() + " was never answered");
      }
    }
    code = dialog.result_code();
    current_key_.clear();
  } else {
    MakeVisible(dialog);
  }
  left_ = dialog.form().Integer("Left");
  top_ = dialog.form().Integer("Top");
  if (files.DirectoryExists(saved_folder)) files.SetCurrentDirectory(saved_folder);
  return code;
}

int DialogDisplay::ShowEngineDialog(DialogRuntime& dialog, uint32_t auto_close_ms,
                                    const std::function<void(DialogRuntime&)>& on_timeout) {
  PoolTemplate& form = dialog.form();
  int w = form.Integer("Width"), h = form.Integer("Height");
  if (w == 0) w = form.Integer("ClientWidth");
  if (h == 0) h = form.Integer("ClientHeight");
  form.SetText("Left", std::to_string((presenter_.ScreenWidth() - w) / 2));
  form.SetText("Top", std::to_string((presenter_.ScreenHeight() - h) / 2));
  DialogRuntime* before = presenter_.Active();
  dialog.set_closable(false);
  dialog.BeginModal();
  presenter_.Show(dialog);
  dialog.Shown();
  platform::WindowService& windows = session_.platform.windows();
  uint64_t timer = 0;
  if (auto_close_ms != 0) {
    // The timer decides at once, inside the message it fires in: whatever input comes after it
    // finds the dialog decided.
    timer = windows.SetTimer(auto_close_ms, [&] {
      windows.KillTimer(timer);
      timer = 0;
      if (dialog.result_code() != result::kOpen) return;
      windows.Note("  (no answer in " + std::to_string(auto_close_ms) + " ms: the dialog decides)");
      if (on_timeout) on_timeout(dialog);
    });
  }
  bool answered = true;
  while (dialog.result_code() == result::kOpen) {
    if (!presenter_.HandleOneMessage()) {
      answered = false;
      break;
    }
  }
  if (timer != 0) windows.KillTimer(timer);
  dialog.set_closable(true);
  presenter_.Hide(dialog);
  presenter_.SetActive(before);
  if (!answered) {
    throw image::ScriptFailure("The dialog " + dialog.form_state().name() + " was never answered");
  }
  return dialog.result_code();
}

void DialogDisplay::HideDialog() {
  interp::Variables& vars = session_.variables;
  if (DialogRuntime* d = current()) {
    d->set_closable(true);
    presenter_.Hide(*d);
    if (shown_ == d) shown_ = nullptr;
    current_key_.clear();
    left_ = d->form().Integer("Left");
    top_ = d->form().Integer("Top");
  }
  freeze_key_ = last_key_;
  window_handle_ = 0;
  vars.SetVariable("WINDOWHANDLE", "0", "Hide Dialog");
}

void DialogDisplay::RefreshProgress(const std::string& text, int position) {
  ApplyProgress(*engine_, current(), {text, 0, 100, position}, false);
}

void DialogDisplay::TimerTick(bool background_task) {
  DialogTimerTick(*engine_, current(), background_task);
}

int DialogDisplay::ChooseLanguage(const std::vector<std::string>& names, int preselected) {
  std::unique_ptr<PoolTemplate> form =
      MakeLanguageDialog(names, engine_->hooks(), session_.platform.system().Version());
  DialogRuntime dialog(*engine_, *form);
  dialog.Prepare();
  // The dialog's own caption: no wizard suffix.
  dialog.form_state().text = engine_->hooks().Message(image::msg::kSelectLanguageCaption);
  ControlState* list = dialog.Find("LanguageList");
  if (list && preselected >= 0 && static_cast<size_t>(preselected) < list->items.size()) {
    list->SelectOnly(preselected);
    list->text = list->items[preselected];
  }
  dialog.set_focused("LanguageList");
  PoolTemplate& f = dialog.form();
  const int w = f.Integer("ClientWidth"), h = f.Integer("ClientHeight");
  f.SetText("Left", std::to_string((presenter_.ScreenWidth() - w) / 2));
  f.SetText("Top", std::to_string((presenter_.ScreenHeight() - h) / 2));
  dialog.BeginModal();
  presenter_.Show(dialog);
  while (dialog.result_code() == result::kOpen) {
    if (!presenter_.HandleOneMessage()) {
      presenter_.Hide(dialog);
      throw image::ScriptFailure("The dialog " + std::string(kLanguageDialogName) +
                                 " was never answered");
    }
  }
  presenter_.Hide(dialog);
  presenter_.Forget(dialog);
  if (dialog.result_code() != result::kNext || !list) return -1;
  return list->item_index;
}

void DialogDisplay::SetTaskbarError() {
  if (hooks_) hooks_->ErrorTaskbar();
}

void DialogDisplay::SetTaskbarPaused() {
  if (hooks_) hooks_->PauseTaskbar();
}

void DialogDisplay::RestoreTaskbar() {
  if (hooks_) hooks_->RestoreTaskbar();
}

void DialogDisplay::ShowBalloon(const std::string& title, const std::string& text, int kind,
                                uint32_t timeout_ms) {
  presenter_.ShowTrayIcon(session_.variables.GetVariable("TITLE"));
  platform::WindowService& windows = session_.platform.windows();
  if (balloon_timer_) {
    // A balloon on a balloon: the taskbar stays paused until the last one's time is up.
    windows.KillTimer(balloon_timer_);
  } else {
    SetTaskbarPaused();
  }
  balloon_timer_ = windows.SetTimer(timeout_ms, [this, &windows] {
    windows.KillTimer(balloon_timer_);
    balloon_timer_ = 0;
    RestoreTaskbar();
  });
  presenter_.ShowBalloon(title, text, kind, timeout_ms);
}

void DialogDisplay::ShowTrayIcon() {
  presenter_.ShowTrayIcon(session_.variables.GetVariable("TITLE"));
  if (hooks_) hooks_->SetTaskbarOverlay(true, session_.variables.GetVariable("TITLE"));
  overlay_ = true;
}

void DialogDisplay::HideTrayIcon() {
  presenter_.HideTrayIcon();
  if (overlay_ && hooks_) hooks_->SetTaskbarOverlay(false, "");
  overlay_ = false;
}

void DialogDisplay::HideWindowToTray() {
  if (window_handle_ && shown_) presenter_.HideWindowOf(*shown_);
  in_tray_ = true;
}

void DialogDisplay::RestoreFromTray() {
  in_tray_ = false;
  if (DialogRuntime* held = pending_) {
    pending_ = nullptr;
    window_handle_ = presenter_.Show(*held);
  }
  if (shown_) presenter_.RestoreWindowOf(*shown_);
}

void DialogDisplay::Minimised(DialogRuntime& dialog) {
  (void)dialog;
  if (!presenter_.TrayIconShown()) return;
  if (shown_) presenter_.HideWindowOf(*shown_);
  in_tray_ = true;
}

void DialogDisplay::CloseAll() {
  if (balloon_timer_) {
    session_.platform.windows().KillTimer(balloon_timer_);
    balloon_timer_ = 0;
    RestoreTaskbar();
  }
  HideTrayIcon();
  in_tray_ = false;
  pending_ = nullptr;
  if (shown_) {
    shown_->set_closable(true);
    presenter_.Hide(*shown_);
    shown_ = nullptr;
  }
  current_key_.clear();
  window_handle_ = 0;
}

}  // namespace corvane::ui
