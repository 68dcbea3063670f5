// What the interpreter needs of subsystems that are built elsewhere: the dialog runtime, the
// localisation and the engine cache. Each is an interface that its subsystem implements; a run
// without one of them simply does without that service (no dialogs, no translations, no cache).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::interp {

class CommandContext;

// The dialog runtime as the loop and the wizard navigation see it. Main thread only.
class DialogHost {
 public:
  virtual ~DialogHost() = default;

  // Shows the dialog of the current Display Dialog command (parameters through ctx.params()).
  // Returns the modal result with which it closed: platform::id::kYes (Next), kNo (Back),
  // kCancel, any other value, or 0 when the dialog is shown without waiting.
  virtual int DisplayDialog(CommandContext& ctx) = 0;

  // Lets the user interface handle the messages that are waiting.
  virtual void ProcessPendingMessages() = 0;
  // Whether a dialog window is showing (the loop then keeps its progress display current).
  virtual bool IsDialogShowing() = 0;
  // Refreshes the progress display: text and position on a scale of 0 to 100.
  virtual void RefreshProgress(const std::string& text, int position) = 0;
  // Switches the taskbar progress to the error state / back to the state saved before.
  virtual void SetTaskbarError() = 0;
  virtual void RestoreTaskbar() = 0;
  // The taskbar progress in the paused state around a question (RestoreTaskbar ends it).
  virtual void SetTaskbarPaused() {}
  // The window that owns the engine's message boxes (0: none).
  virtual uint64_t WindowHandle() { return 0; }
  // A balloon from the engine's icon in the notification area (the icon shown with the script's
  // title as its hint), the taskbar paused until its time is up; kind 1 information, 2 warning,
  // 3 error.
  virtual void ShowBalloon(const std::string& title, const std::string& text, int kind,
                           uint32_t timeout_ms) {
    (void)title;
    (void)text;
    (void)kind;
    (void)timeout_ms;
  }
  // Exit clean-up: closes every dialog form and hides the tray icon.
  virtual void CloseAll() = 0;
  // The language dialog of the session start: shows the language names with one preselected
  // and returns the index chosen, or -1 when the user cancelled. A host without that dialog
  // keeps the preselection.
  virtual int ChooseLanguage(const std::vector<std::string>& names, int preselected) {
    (void)names;
    return preselected;
  }

  // The engine's icon in the notification area ("System Tray"): shown with the script's title as
  // its hint and the taskbar button's overlay; removed with the overlay. The window of the window
  // handle hidden into the tray; the engine back from the tray (a display held back meanwhile
  // shown, the window shown, restored and made the foreground window).
  virtual void ShowTrayIcon() {}
  virtual void HideTrayIcon() {}
  virtual void HideWindowToTray() {}
  virtual void RestoreFromTray() {}
};

// The localisation of command texts and dialog texts, and the loading of a language's
// translations.
class Localizer {
 public:
  virtual ~Localizer() = default;
  // The translation of text `slot` of the command with identifier `command_id` (or of the
  // localization key "CODEGEAR$" NAME "$CODEGEAR"), or `text`.
  virtual std::string Translate(std::string_view command_id, int slot, std::string_view text) = 0;
  // Loads the translations of a language (called when the active language changes).
  virtual void LoadLanguage(const std::string& language) = 0;
  // The translation of a dialog's control (the form's own caption: the dialog key twice), or
  // the control's text template when there is none.
  virtual std::string TranslateDialogText(const std::string& dialog_key,
                                          const std::string& control_name,
                                          const std::string& template_text) {
    (void)dialog_key;
    (void)control_name;
    return template_text;
  }
};

// The engine-cache services that the refresh before each command uses.
class EngineCacheHooks {
 public:
  virtual ~EngineCacheHooks() = default;
  // The cache root for all users or the current user, with a trailing backslash.
  virtual std::string GetCacheRoot(bool all_users) = 0;
  // Probes an override folder, re-runs the cache bootstrap and removes the folders the probe
  // created. Returns false when the folder cannot be used.
  virtual bool ApplyCacheOverride(const std::string& folder) = 0;
  // Patch builds: the uninstall command of the installed product, quotes removed.
  virtual std::string InstalledUninstallCommand(bool all_users) = 0;
};

}  // namespace corvane::interp
