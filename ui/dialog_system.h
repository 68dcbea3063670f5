// The dialog system: the registry of loaded dialog forms, keyed by the index of the "Display
// Dialog" command that shows each, and the engine-wide table of text templates.
//
// Start-up calls Start once with the support folder, then LoadDialog for every enabled
// "Display Dialog" command in command order; Stop at the end of the run releases everything.
// Everything here runs on the main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "ui/form_model.h"

namespace corvane::ui {

// Creates a dialog form from the bytes of its form file: checks the resource header ("Invalid
// stream format"), normalises the component stream through its text form, reads it into a new
// form, creates the form's timers and sets its Hint to file_name (the dialog key used by text
// templates and translations, such as "Welcome.dfm"). Failures throw image::ScriptFailure.
std::unique_ptr<PoolTemplate> CreateDialogForm(std::string_view form_file,
                                               std::string_view file_name);

// The message of a file that cannot be opened: Cannot open file "path". <system text>
std::string FileOpenErrorMessage(const std::string& path, platform::Status status);

class DialogSystem {
 public:
  // Writes a script variable: name, value, source label.
  using VariableWriter =
      std::function<void(const std::string&, const std::string&, const std::string&)>;

  explicit DialogSystem(platform::FileSystem& files);
  ~DialogSystem();
  DialogSystem(const DialogSystem&) = delete;
  DialogSystem& operator=(const DialogSystem&) = delete;

  // Prepares for the pre-load: records the support folder as the dialog folder, marks the next
  // display as the first one, creates the hidden main form and an empty registry, clears the
  // current dialog and sets VORT_IsCancelled to "FALSE" (source "ShowDesign") through
  // set_variable when one is given.
  void Start(const std::string& support_folder, const VariableWriter& set_variable);

  // Loads the dialog form of one "Display Dialog" command: key is the command's zero-based
  // index in decimal, form_path the form file (its rule file is form_path + ".zelf"). A key
  // loaded before gets a new form in place of the old one. A missing file fails with the
  // file-open message, a damaged form file with the stream's message.
  PoolTemplate& LoadDialog(const std::string& key, const std::string& form_path);

  // The same keyed by the command index itself (start-up's loader callback).
  PoolTemplate& LoadDialog(long command_index, const std::string& form_path) {
    return LoadDialog(std::to_string(command_index), form_path);
  }

  // The dialog named by parameter 1 of the command with that index, read from the dialog
  // folder (dialog folder + name + ".dfm").
  PoolTemplate& LoadCommandDialog(size_t command_index, const std::string& dialog_name);

  // The form registered under the key (letter case ignored), or nullptr.
  PoolTemplate* FindDialog(std::string_view key) const;

  // The text templates: Store keeps the first text stored for a key; Fetch returns it, or
  // empty. Keys ignore letter case.
  void StoreTemplate(const std::string& key, const std::string& text);
  std::string FetchTemplate(const std::string& key) const;

  // Destroys every form, the registry, the hidden main form and the template table.
  void Stop();

  size_t dialog_count() const { return registry_.size(); }
  // The keys of the loaded dialogs, in the order they were loaded.
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    for (const Entry& e : registry_) {
      if (e.form) out.push_back(e.key);
    }
    return out;
  }
  const std::string& dialog_folder() const { return dialog_folder_; }
  bool started() const { return main_form_created_; }
  bool first_display() const { return first_display_; }
  void set_first_display(bool first) { first_display_ = first; }
  const std::string& current_dialog() const { return current_dialog_; }
  void set_current_dialog(std::string key) { current_dialog_ = std::move(key); }

 private:
  struct Entry {
    std::string key;
    std::unique_ptr<PoolTemplate> form;
  };

  platform::FileSystem& files_;
  std::string dialog_folder_;
  bool main_form_created_ = false;
  bool first_display_ = true;
  std::string current_dialog_;
  std::vector<Entry> registry_;
  std::unordered_map<std::string, std::string, platform::CaseInsensitiveHash,
                     platform::CaseInsensitiveEqual>
      templates_;
};

}  // namespace corvane::ui
