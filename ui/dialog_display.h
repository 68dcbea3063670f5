// Displaying dialogs for the script: the "Display Dialog" sequence (skip test, freeze the dialog
// shown before, prepare, show, wait for the result, store the result text, report the wizard
// direction), "Hide Dialog", and the progress refresh of the dialog on screen.
//
// Window work goes through a DialogPresenter, which a renderer implements: the Win32 windows, or
// the headless simulation that answers from its answers file. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "interp/hooks.h"
#include "interp/session.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_system.h"

namespace corvane::ui {

// The taskbar state around the engine's questions: the first pause saves PROGRESSMODE and sets
// it to "PAUSE" (nested pauses keep the first saved value); the matching restore puts the saved
// value back.
class TaskbarPause {
 public:
  explicit TaskbarPause(interp::Variables& vars) : vars_(vars) {}
  // mode: "PAUSE" for a question, "ERROR" for an error message.
  void Pause(const std::string& mode = "PAUSE");
  void Restore();

 private:
  interp::Variables& vars_;
  int depth_ = 0;
  std::string saved_;
};

// The engine's hooks of the dialog runtime for a run: the session's caption, the localisation of
// dialog texts while a language is active, the engine message set, the taskbar pause around the
// engine's questions, and what the HTML viewer's links start (through the platform's shell and
// processes). A renderer with a taskbar of its own derives from it.
class SessionDialogHooks : public DialogHooks {
 public:
  explicit SessionDialogHooks(interp::Session& session) : s_(session), pause_(session.variables) {}
  std::string Caption() override { return s_.Caption(); }
  bool LocalisationActive() override;
  std::string TranslateDialogText(const std::string& dialog_key, const std::string& control_name,
                                  const std::string& template_text) override;
  std::string Message(int line) override { return s_.Message(line); }
  SizeUnits Units() override;
  void PauseTaskbar() override { pause_.Pause(); }
  void ErrorTaskbar() override { pause_.Pause("ERROR"); }
  void RestoreTaskbar() override { pause_.Restore(); }
  void PlaySound(const std::string& path) override;
  void RunProgram(const std::string& command_line) override;
  void OpenDocument(const std::string& address) override;

 protected:
  interp::Session& s_;
  TaskbarPause pause_;
};

class DialogPresenter {
 public:
  virtual ~DialogPresenter() = default;
  // Makes the dialog's window visible at the form's Left and Top (creating the window when
  // needed) and returns its handle.
  virtual uint64_t Show(DialogRuntime& dialog) = 0;
  virtual void Hide(DialogRuntime& dialog) = 0;
  // The runtime is going away (a dialog made for one question): its window goes too.
  virtual void Forget(DialogRuntime& dialog) { (void)dialog; }
  // Waits for one window message and handles it (user input reaches the runtime as its input
  // events). False when no input can ever come, as for a headless renderer whose answers ran
  // out: the wait then fails instead of hanging.
  virtual bool HandleOneMessage() = 0;
  virtual void ProcessPendingMessages() {}
  // The dialog that input goes to (the one shown last and not hidden since), and making a dialog
  // shown before the one input goes to again (after a question on top of it went away).
  virtual DialogRuntime* Active() { return nullptr; }
  virtual void SetActive(DialogRuntime* dialog) { (void)dialog; }
  // The dialogs the script may show, in the order of its commands: a renderer may make their
  // windows ahead of time, hidden, in moments when no input waits (so that a wizard's next page
  // only has to be shown). The runtimes outlive the presenter's use of them.
  virtual void ExpectDialogs(const std::vector<DialogRuntime*>& dialogs) { (void)dialogs; }
  // As Show, but the window stays hidden: a display held back while the engine sits in the
  // notification area. Show makes it visible later.
  virtual uint64_t ShowHeldBack(DialogRuntime& dialog) { return Show(dialog); }
  // A dialog's window away from the screen, and back (shown, on top, restored from minimised,
  // the foreground window), without changing which dialog is displayed.
  virtual void HideWindowOf(DialogRuntime& dialog) { (void)dialog; }
  virtual void RestoreWindowOf(DialogRuntime& dialog) { (void)dialog; }
  // The engine's icon in the notification area.
  virtual void ShowTrayIcon(const std::string& hint) { (void)hint; }
  virtual void HideTrayIcon() {}
  virtual bool TrayIconShown() { return false; }
  // A balloon from the engine's icon: kind 1 information, 2 warning, 3 error.
  virtual void ShowBalloon(const std::string& title, const std::string& text, int kind,
                           uint32_t timeout_ms) {
    (void)title;
    (void)text;
    (void)kind;
    (void)timeout_ms;
  }
  // What the user does to the engine's windows beyond a dialog's controls, reported to the
  // display: a dialog minimised, a click on the icon in the notification area.
  std::function<void(DialogRuntime&)> on_minimised;
  std::function<void()> on_tray_click;
  // The screen's work area, for centring.
  virtual int ScreenWidth() { return 1024; }
  virtual int ScreenHeight() { return 768; }
};

class DialogDisplay : public interp::DialogHost {
 public:
  // hooks may be null: message boxes then carry the session's caption and the taskbar is left
  // alone.
  DialogDisplay(interp::Session& session, DialogSystem& dialogs, DialogPresenter& presenter,
                DialogHooks* hooks = nullptr);
  ~DialogDisplay() override;
  DialogDisplay(const DialogDisplay&) = delete;
  DialogDisplay& operator=(const DialogDisplay&) = delete;

  // interp::DialogHost
  int DisplayDialog(interp::CommandContext& ctx) override;
  void ProcessPendingMessages() override { presenter_.ProcessPendingMessages(); }
  bool IsDialogShowing() override { return shown_ != nullptr; }
  void RefreshProgress(const std::string& text, int position) override;
  void SetTaskbarError() override;
  void SetTaskbarPaused() override;
  void RestoreTaskbar() override;
  uint64_t WindowHandle() override { return window_handle_; }
  void ShowBalloon(const std::string& title, const std::string& text, int kind,
                   uint32_t timeout_ms) override;
  void CloseAll() override;
  // The language dialog (TSetLanguage), built in code and shown through the presenter.
  int ChooseLanguage(const std::vector<std::string>& names, int preselected) override;

  // "Hide Dialog".
  void HideDialog();

  // The notification area ("System Tray", and the user's own minimising):
  // the icon with the script's title as its hint, and the taskbar button's overlay; hidden again.
  void ShowTrayIcon() override;
  void HideTrayIcon() override;
  // The window of the window handle hidden, and the engine marked as sitting in the tray.
  void HideWindowToTray() override;
  // The engine back from the tray: a display held back meanwhile is shown, and the window of the
  // window handle is shown, on top, restored and made the foreground window.
  void RestoreFromTray() override;
  // The user minimised a dialog: with the icon in the notification area, the dialog on screen
  // goes into the tray as well. A click on the icon brings it back (RestoreFromTray).
  void Minimised(DialogRuntime& dialog);
  bool in_tray() const { return in_tray_; }
  // The dialog timer of the dialog on screen.
  void TimerTick(bool background_task);

  // Shows one of the engine's own questions (a form the engine made, not the script) modally on
  // top of whatever is shown, centred on the screen, until a button decides; the dialog shown
  // before takes the input again afterwards. With auto_close_ms, a timer of that interval calls
  // on_timeout once, which must decide. Returns the result code. A dialog whose input runs out
  // without a decision ends the run ("was never answered").
  int ShowEngineDialog(DialogRuntime& dialog, uint32_t auto_close_ms,
                       const std::function<void(DialogRuntime&)>& on_timeout);
  // The runtime of one of the engine's own forms, made from its text form on first use and kept
  // for the run (a renderer keeps the windows of a dialog by its runtime).
  DialogRuntime& EngineForm(const std::string& name, const std::string& form_text);

  // The runtime of a loaded dialog (made when first needed); nullptr for an unknown key.
  DialogRuntime* Runtime(const std::string& key);
  DialogRuntime* current() { return current_key_.empty() ? nullptr : Runtime(current_key_); }
  DialogEngine& engine() { return *engine_; }
  uint64_t window_handle() const { return window_handle_; }

 private:
  int Show(const std::string& key, DialogRuntime& dialog, bool wait);
  void MakeVisible(DialogRuntime& dialog);
  void Position(DialogRuntime& dialog);

  interp::Session& session_;
  DialogSystem& dialogs_;
  DialogPresenter& presenter_;
  std::unique_ptr<SessionDialogHooks> own_hooks_;
  std::unique_ptr<DialogEngine> engine_;
  std::map<std::string, std::unique_ptr<DialogRuntime>> runtimes_;
  struct EngineFormEntry {
    std::unique_ptr<PoolTemplate> form;
    std::unique_ptr<DialogRuntime> runtime;
  };
  std::map<std::string, EngineFormEntry> engine_forms_;

  std::string current_key_;  // the dialog progress is shown on
  std::string last_key_;     // the dialog displayed last
  std::string freeze_key_;   // the dialog to freeze before the next display
  std::string last_text_;    // the result text stored last
  DialogRuntime* shown_ = nullptr;
  uint64_t window_handle_ = 0;
  bool recentre_ = true;
  bool expected_ = false;  // the presenter has been told which dialogs may come
  bool in_tray_ = false;   // minimised into the notification area
  bool overlay_ = false;   // the taskbar button carries the overlay icon
  uint64_t balloon_timer_ = 0;  // restores the taskbar when a balloon's time is up
  DialogRuntime* pending_ = nullptr;  // a display held back while in the tray
  DialogHooks* hooks_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace corvane::ui
