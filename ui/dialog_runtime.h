// The dialog runtime: a displayed dialog form with the live state of its controls, bound to script
// variables, independent of any window system.
//
// A renderer (the Win32 windows, the headless simulation) turns user input into the input events
// below and draws what the state readers return. The runtime writes bound variables, evaluates
// the property rules, refreshes computed texts and sets the dialog's result. Changes that the
// runtime makes itself (preparation, rules, live refresh, destination update) never run a
// handler on their own; a handler runs only for an input event or where the dialog logic calls
// one explicitly. Everything runs on the main thread.
//
// One DialogEngine holds what is engine-wide (the services, the events-suppressed counter, the
// destination snapshot); one DialogRuntime per form lives as long as the form.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "image/engine_messages.h"
#include "interp/variables.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "ui/components.h"
#include "ui/control_state.h"
#include "ui/dialog_paths.h"
#include "ui/form_model.h"
#include "ui/property_rules.h"

namespace corvane::ui {

class DialogSystem;

// Dialog result codes.
namespace result {
constexpr int kOpen = -1;
constexpr int kNotModal = 0;
constexpr int kCancel = 2;
constexpr int kNext = 6;
constexpr int kBack = 7;
constexpr int kNamed = 8;
}  // namespace result

enum class WizardDirection { kStay, kNext, kBack, kLeave };

// The text "Display Dialog" stores for a result code; nullopt for codes without one.
std::optional<std::string> ResultCodeText(int code, const std::string& result_text);
WizardDirection DirectionOf(int code);

// What the runtime needs of the rest of the engine besides variables, files and message boxes.
// Every call has a default that does without the service.
class DialogHooks {
 public:
  virtual ~DialogHooks() = default;
  // The engine window caption used by message boxes.
  virtual std::string Caption() { return "Corvane Wizard"; }
  // Whether localisation is active, and the dialog translation of a control (its template when
  // there is none).
  virtual bool LocalisationActive() { return false; }
  virtual std::string TranslateDialogText(const std::string& dialog_key,
                                          const std::string& control_name,
                                          const std::string& template_text) {
    (void)dialog_key;
    (void)control_name;
    return template_text;
  }
  // The taskbar in the paused state around the engine's questions, and back.
  virtual void PauseTaskbar() {}
  // The taskbar in the error state around the engine's error messages; RestoreTaskbar ends it.
  virtual void ErrorTaskbar() {}
  virtual void RestoreTaskbar() {}
  virtual SizeUnits Units() { return {}; }
  // The taskbar button shows the progress of the dialog: position of maximum, or busy when the
  // mode is "MARQUEE"; "ERROR" and "PAUSE" then colour it.
  virtual void UpdateTaskbar(const std::string& mode, int64_t position, int64_t maximum) {
    (void)mode;
    (void)position;
    (void)maximum;
  }
  // The taskbar button's overlay icon while the engine's icon is in the notification area, with
  // a description; off again.
  virtual void SetTaskbarOverlay(bool on, const std::string& description) {
    (void)on;
    (void)description;
  }
  // What links of the HTML viewer start: a sound played asynchronously, a program started with a
  // command line, a document or address opened with the default action.
  virtual void PlaySound(const std::string& path) { (void)path; }
  virtual void RunProgram(const std::string& command_line) { (void)command_line; }
  virtual void OpenDocument(const std::string& address) { (void)address; }
  // A text of the engine message set (image::msg), which a language file may have replaced.
  virtual std::string Message(int line) {
    return std::string(image::EngineMessages::BuiltIn(line));
  }
  // Whether the system has a movie player control registered already (the engine never copies
  // or registers one). Without one a movie page shows "Unable to play Flash movie".
  virtual bool CanPlayMovies() { return false; }
};

// What a link of the HTML viewer does.
struct LinkAction {
  enum Kind { kFollow, kPlaySound, kRun, kOpen } kind = kFollow;
  std::string target;      // the resolved file, or the address to open
  std::string parameters;  // for kRun: what followed the program's name
};
// Classifies a link text; relative targets resolve against page_folder.
LinkAction ClassifyLink(std::string_view link, const std::string& page_folder);
// Decodes a meta-refresh address into a file path: "%" pairs decoded once, "file:" forms turned
// into a path. nullopt for an address that decodes to a NUL.
std::optional<std::string> MetaRefreshPath(std::string_view address);
// The stage size of a movie file (width, height in pixels) from its frame rectangle, or nullopt
// when the file is no uncompressed movie ("FWS") or ends before its rectangle does.
std::optional<std::pair<int, int>> MovieStageSize(std::string_view file);

// Captions of the component state menu, in menu order; the last two are not visible.
struct ComponentMenuItem {
  std::string caption;
  int image;
  bool visible;
};
// The captions of the visible items are engine messages.
std::vector<ComponentMenuItem> ComponentMenuItems(DialogHooks& hooks);

class DialogEngine {
 public:
  DialogEngine(interp::Variables& variables, platform::FileSystem& files,
               platform::UserInterface& ui, DialogHooks* hooks = nullptr,
               ComponentTable* components = nullptr, DialogSystem* templates = nullptr);

  interp::Variables& variables() { return variables_; }
  platform::FileSystem& files() { return files_; }
  platform::UserInterface& ui() { return ui_; }
  DialogHooks& hooks() { return *hooks_; }
  ComponentTable* components() { return components_; }
  // The support folder that default pages are read from (empty: the current folder).
  std::string dialog_folder;

  // Events suppressed: while the count is above 0 every handler of every dialog returns at once.
  bool events_suppressed() const { return suppressed_ > 0; }
  class Suppress {
   public:
    explicit Suppress(DialogEngine& e) : e_(e) { ++e_.suppressed_; }
    ~Suppress() { --e_.suppressed_; }
    Suppress(const Suppress&) = delete;
    Suppress& operator=(const Suppress&) = delete;

   private:
    DialogEngine& e_;
  };

  const DestinationSnapshot& snapshot() const { return snapshot_; }
  void TakeSnapshot();

  // Text templates (the dialog system's table when there is one).
  void StoreTemplate(const std::string& key, const std::string& text);
  std::string FetchTemplate(const std::string& key) const;

  bool FolderExists(const std::string& path);
  bool FileExists(const std::string& path);
  // From preparing a display to its snapshot (the window shown in between), each folder is
  // asked once: preparation and snapshot both walk up the destination to its deepest existing
  // folder. Any other time every question goes to the file system.
  void BeginFolderMemo() {
    folder_memo_.clear();
    memo_on_ = true;
  }
  void EndFolderMemo() {
    memo_on_ = false;
    folder_memo_.clear();
  }

 private:
  interp::Variables& variables_;
  platform::FileSystem& files_;
  platform::UserInterface& ui_;
  DialogHooks default_hooks_;
  DialogHooks* hooks_;
  ComponentTable* components_;
  DialogSystem* templates_;
  std::map<std::string, std::string> own_templates_;
  int suppressed_ = 0;
  DestinationSnapshot snapshot_;
  bool memo_on_ = false;
  std::map<std::string, bool> folder_memo_;
};

// The values a progress refresh shows.
struct ProgressValues {
  std::string text;
  int64_t minimum = 0;
  int64_t maximum = 100;
  int64_t position = 0;
};

// A meta refresh the HTML viewer asked for: after delay_ms the viewer moves from `from` to
// `target`, unless it shows another page by then.
struct MetaRefresh {
  std::string viewer;
  std::string from;
  std::string target;
  int64_t delay_ms = 0;
};

class DialogRuntime {
 public:
  DialogRuntime(DialogEngine& engine, PoolTemplate& form);
  DialogRuntime(const DialogRuntime&) = delete;
  DialogRuntime& operator=(const DialogRuntime&) = delete;

  // --- lifecycle (called by the display logic)
  // Fills every control from its variable, re-expands texts, attaches handlers, loads default
  // pages, evaluates the rules, then writes the initial selections of trees and check lists.
  // A track bar bound to a value that is not an integer raises image::ScriptFailure.
  void Prepare();
  // Detaches every handler; the form keeps its contents.
  void Freeze();
  // The dialog window is shown: takes the destination snapshot.
  void Shown();
  // The start of a modal display: the result code becomes "still open".
  void BeginModal() { form_.result_code = result::kOpen; }
  DialogEngine& engine() { return engine_; }

  // --- input events from renderers (ignored for an unknown, disabled or hidden control)
  // A click: buttons, labels, images and shapes act by Tag; a check box toggles; a radio button
  // becomes checked (and the others of its group unchecked).
  void Click(std::string_view control);
  // Sets a check box or radio button to a state (a click when it changes).
  void Check(std::string_view control, bool checked);
  // Typed text of an edit, mask edit, memo, rich edit or editable combo box (cut to the
  // control's maximum length; the same text again changes nothing).
  void SetText(std::string_view control, std::string_view text);
  // A list box, combo box or check list item chosen (-1: none).
  void PickItem(std::string_view control, int index);
  // Several items of a list box chosen.
  void PickItems(std::string_view control, const std::vector<int>& indexes);
  // A check list item's check mark changed.
  void CheckItem(std::string_view control, int index, bool checked);
  // A tree node chosen.
  void SelectNode(std::string_view control, int node);
  // The mouse released over a tree (on_icon: the pointer is on the selected node's icon) and a
  // key released in it (93 is the context-menu key). True when the component state menu opens;
  // the renderer then shows ComponentMenuItems(engine().hooks()) and reports the choice.
  bool TreeMouseUp(std::string_view control, bool on_icon);
  bool TreeKeyUp(std::string_view control, int key_code);
  void ChooseComponentMenuItem(std::string_view control, int item);
  // A track bar moved.
  void SetPosition(std::string_view control, int64_t position);
  // A folder control (directory list, shell tree, shell combo) shows another folder; a shell
  // list opened another folder.
  void ShowFolder(std::string_view control, std::string_view folder);
  // A file list or shell list item chosen (its full path).
  void PickFile(std::string_view control, std::string_view path);
  // A drive list changed to a drive letter.
  void PickDrive(std::string_view control, char letter);
  // A key released in a mask edit with that many characters selected.
  void MaskKeyUp(std::string_view control, int selection_length);
  // A multi-line text control scrolled (by_bar_or_wheel: through its scroll bar or the mouse
  // wheel, not the keyboard), with the scroll metrics after the scroll.
  void Scrolled(std::string_view control, const ScrollMetrics& metrics, bool by_bar_or_wheel);
  // A multi-line text control shows its text and reports its scroll metrics: a tracked control
  // whose whole text is in view counts as read at once (there is nothing to scroll to).
  void ContentMeasured(std::string_view control, const ScrollMetrics& metrics);
  // The user asks to close the window (Alt+F4, the taskbar): true only while the engine has the
  // dialog hidden.
  bool RequestClose() const { return closable_; }
  void set_closable(bool closable) { closable_ = closable; }

  // The HTML viewer: a link clicked (true when the engine handled it, false when the viewer
  // follows it itself), a meta refresh announced, and the meta-refresh timer fired.
  bool HotSpotClick(std::string_view control, std::string_view link);
  // The viewer follows a link the engine did not handle: a page of the setup is shown in the
  // viewer, an address of the web or mail is opened with the system's default action (the
  // viewer shows no remote pages). A link within the page ("#name") changes nothing here.
  void FollowLink(std::string_view control, std::string_view link);
  void MetaRefreshRequested(std::string_view control, int64_t delay_seconds,
                            std::string_view address);
  void MetaTimerFired();
  const std::optional<MetaRefresh>& pending_refresh() const { return pending_refresh_; }

  // --- progress refresh of a dialog displayed while background work runs
  void ShowProgress(const ProgressValues& values);

  // --- state readers
  PoolTemplate& form() const { return form_; }
  const std::string& dialog_key() const { return dialog_key_; }
  ControlState* Find(std::string_view control);
  const ControlState* Find(std::string_view control) const;
  ControlState& form_state() { return *states_.front(); }
  const std::vector<std::unique_ptr<ControlState>>& controls() const { return states_; }
  const std::string& focused() const { return focused_; }
  void set_focused(std::string name) { focused_ = std::move(name); }
  const std::string& current_component() const { return current_component_; }
  // The result code and text are kept on the form.
  int result_code() const { return form_.result_code; }
  void set_result_code(int code) { form_.result_code = code; }
  const std::string& result_text() const { return form_.result_text; }
  // The tree whose component state menu is open (empty when none is).
  const std::string& menu_control() const { return menu_control_; }
  bool prepared() const { return prepared_; }

  // --- the dialog logic, for the display commands and tests
  void EvaluateRules();
  void RefreshComputedTexts();
  void LiveRefresh();
  void UpdateDestination(const std::string& chosen);

 private:
  // Handlers by their names.
  void EditChange(ControlState& s, bool mask);
  void MemoChange(ControlState& s);
  void CheckBoxClick(ControlState& s);
  void RadioButtonClick(ControlState& s);
  void ListBoxClick(ControlState& s);
  void ComboBoxChange(ControlState& s, const char* handler);
  void CheckListClick(ControlState& s);
  void CheckListClickCheck(ControlState& s, bool first_display = false);
  void TreeViewChange(ControlState& s);
  bool OpenComponentMenu(ControlState& s);
  void TrackBarChange(ControlState& s);
  void FolderControlChange(ControlState& s, const char* handler, const std::string& value,
                           const std::string& destination);
  void ButtonAction(ControlState& s);

  void PrepareControl(ControlState& s, const std::string& target_folder, bool target_exists);
  void PrepareEdit(ControlState& s, bool mask);
  void PrepareMemo(ControlState& s);
  void PrepareList(ControlState& s);
  void BuildComponentTree(ControlState& s);
  void FillComponentList(ControlState& s);
  void LoadDefaultPage(ControlState& s);
  // The viewer shows a page: its meta refresh, if it has one, is announced.
  void AnnounceMetaRefresh(ControlState& s);
  void ShowFileListFolder(ControlState& s, const std::string& folder);

  // Whether an input event may reach a handler of the control.
  ControlState* Input(std::string_view control);
  bool Live(const ControlState& s, std::string_view handler) const;
  // Hint rule: the bound variable's name (NAME for $NAME$), and whether it exists.
  std::string BoundName(const ControlState& s) const;
  bool IsBound(const ControlState& s) const;
  std::string BoundValue(const ControlState& s) const;
  void Write(const ControlState& s, std::string_view value, std::string_view handler);
  std::string TemplateKey(const ControlState& s) const;
  std::string ExpandTemplate(ControlState& s, const std::string& current);
  void ExpandCaption(ControlState& s);
  void ApplyCaptionSuffix();
  void AutoAdvance(const ControlState& s);
  void FocusNext(const ControlState& s);
  void SetNode(ControlState& tree, int node, bool selected, bool with_children);
  std::string ComputedText(int tag);
  std::string ResolveRuleValue(const std::string& value);

  DialogEngine& engine_;
  PoolTemplate& form_;
  std::string dialog_key_;
  std::vector<std::unique_ptr<ControlState>> states_;  // the form first, then its components
  std::unordered_map<const Component*, ControlState*> by_component_;
  std::string current_component_;
  std::string focused_;
  std::string tracked_memo_, tracked_rich_edit_;
  std::string menu_control_;
  std::optional<MetaRefresh> pending_refresh_;
  bool closable_ = false;
  bool prepared_ = false;
  bool evaluating_rules_ = false;
};

// Progress apply: reads VORT_IsCancelled and, with copy_cancel, mirrors it into
// VORT_thCancelled; outside a silent run, takes the published values for the text "$VORT$" and
// shows them on the current dialog (may be null) and its taskbar button. Returns whether the run
// is cancelled.
bool ApplyProgress(DialogEngine& engine, DialogRuntime* current, const ProgressValues& values,
                   bool copy_cancel);
// The one-second dialog timer: while a command waits for background work, the published
// progress reaches the screen.
void DialogTimerTick(DialogEngine& engine, DialogRuntime* current, bool background_task);

}  // namespace corvane::ui
