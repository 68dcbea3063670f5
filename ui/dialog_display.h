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
  void Pause();
  void Restore();

 private:
  interp::Variables& vars_;
  int depth_ = 0;
  std::string saved_;
};

class DialogPresenter {
 public:
  virtual ~DialogPresenter() = default;
  // Makes the dialog's window visible at the form's Left and Top (creating the window when
  // needed) and returns its handle.
  virtual uint64_t Show(DialogRuntime& dialog) = 0;
  virtual void Hide(DialogRuntime& dialog) = 0;
  // Waits for one window message and handles it (user input reaches the runtime as its input
  // events). False when no input can ever come, as for a headless renderer whose answers ran
  // out: the wait then fails instead of hanging.
  virtual bool HandleOneMessage() = 0;
  virtual void ProcessPendingMessages() {}
  // The dialog that input goes to (the one shown last and not hidden since), and making a dialog
  // shown before the one input goes to again (after a question on top of it went away).
  virtual DialogRuntime* Active() { return nullptr; }
  virtual void SetActive(DialogRuntime* dialog) { (void)dialog; }
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

  // interp::DialogHost
  int DisplayDialog(interp::CommandContext& ctx) override;
  void ProcessPendingMessages() override { presenter_.ProcessPendingMessages(); }
  bool IsDialogShowing() override { return shown_ != nullptr; }
  void RefreshProgress(const std::string& text, int position) override;
  void SetTaskbarError() override {}
  void RestoreTaskbar() override {}
  void CloseAll() override;

  // "Hide Dialog".
  void HideDialog();
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
  class SessionHooks;
  int Show(const std::string& key, DialogRuntime& dialog, bool wait);
  void MakeVisible(DialogRuntime& dialog);
  void Position(DialogRuntime& dialog);

  interp::Session& session_;
  DialogSystem& dialogs_;
  DialogPresenter& presenter_;
  std::unique_ptr<SessionHooks> own_hooks_;
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
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

}  // namespace corvane::ui
