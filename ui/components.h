// The component table: the installer's features as the script defines them, their selection,
// sizes, visibility and choice, and the component data file that carries a selection and the
// saved variables between runs.
//
// Used on the main thread only (command handlers and dialog event handlers); it has no lock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace corvane::ui {

// The variables the component data file reads and writes, and the saved-variables list.
class ComponentVariables {
 public:
  virtual ~ComponentVariables() = default;
  virtual std::string Get(std::string_view name) = 0;
  virtual void Set(std::string_view name, std::string_view value, std::string_view source) = 0;
  // Names whose values travel in the component data file, in list order.
  virtual std::vector<std::string> SavedVariables() = 0;
  // Appends a name as it is read from a data file (a name already listed is listed twice).
  virtual void AppendSavedVariable(std::string_view name) = 0;
};

// The words of the size texts (engine messages a language file may replace).
struct SizeUnits {
  std::string bytes = "bytes";
  std::string kilobytes = "KB";
  std::string megabytes = "MB";
};

// "1,048,575 bytes", "1,024 KB", "-5 bytes"...
std::string SizeText(int64_t bytes, const SizeUnits& units = {});

// The parent of a component name: the name without its last "\" segment ("" at the top).
std::string ParentComponent(std::string_view name);

inline constexpr std::string_view kPredefinedComponent = "VORT-PREDEF-COMPONENT";

class ComponentTable {
 public:
  // --- lifecycle
  // Fills the size list from the script image's component sizes (name, size, name, size, ...).
  void SetImageSizes(const std::vector<std::string>& sizes);
  // Start of a first-time run: everything but the size list and the saved variables is emptied,
  // the predefined component is defined selected and the installed baseline is 0.
  void ResetForFirstRun();

  // --- lookups (names compare ignoring case; where a list holds a name twice the first wins)
  long Find(std::string_view name) const;  // index in Names, or -1
  bool IsKnown(std::string_view name) const { return Find(name) >= 0; }
  bool IsDeleted(std::string_view name) const;
  bool IsPresent(std::string_view name) const { return IsKnown(name) && !IsDeleted(name); }
  bool IsEffectivelyLocked(std::string_view name) const;
  bool IsEffectivelyHidden(std::string_view name) const;
  bool IsSelected(long index) const;  // state "TRUE" in any case or "-1"
  const std::string& StateAt(long index) const;
  void SetStateAt(long index, bool selected);
  std::string Description(std::string_view name) const;

  // --- the commands' operations
  void Define(const std::string& name, bool initially_selected, const std::string& description);
  void Delete(std::string_view name);
  bool GetState(std::string_view name) const;  // present and selected
  void SetState(std::string_view name, bool selected);
  void SetSpace(std::string_view name, std::string_view size_text);
  void SetChoice(std::string_view name, bool selectable);
  void SetVisibility(std::string_view name, bool visible);
  // Appends an entry to the size list (the translated name of a component keeps its size).
  void AddSize(std::string_view name, int64_t size);

  // --- sizes. A size entry that is not a number raises ScriptFailure.
  int64_t Size(std::string_view name) const;
  int64_t RequiredSpace() const;  // selected, not deleted, minus the installed baseline
  int64_t SelectedSize() const;   // the same without the baseline
  int64_t installed_baseline() const { return installed_baseline_; }
  void set_installed_baseline(int64_t v) { installed_baseline_ = v; }

  // --- interactive selection (component tree and check list of dialogs)
  // Sets a component and, with sub-components, every descendant that is not effectively locked.
  void SelectWithChildren(long index, bool selected, bool with_children);
  // Applies a check-list item: the component named by the item text and every component below
  // it take the state unless locked. Returns the check mark the item ends with.
  bool ApplyListItem(std::string_view item_text, bool checked);

  // --- the component data file
  enum class LoadKind { kSelection, kCache, kCacheWithoutSizes };
  struct FileValues {
    std::string fourth_line;                  // "" for Save Feature Selections, else short DATADIR
    std::string platform_text = "Win32";      // VORT64WOW
    std::string override_cache;               // OVERRIDECACHE
  };
  // The whole file as text.
  std::string Serialize(ComponentVariables& vars, const FileValues& values) const;
  // Reads a file's text; *platform_text receives a "VORT64WOW" value when the file has one.
  void Load(std::string_view text, LoadKind kind, ComponentVariables& vars,
            std::string* platform_text);
  // Full write; a file that cannot be written raises ScriptFailure.
  void WriteFull(platform::FileSystem& files, const std::string& path, ComponentVariables& vars,
                 const FileValues& values) const;
  // Variables-only update of an existing file (nothing when it does not exist).
  void UpdateVariables(platform::FileSystem& files, const std::string& path,
                       ComponentVariables& vars, const FileValues& values) const;
  // Reads a file when it exists; false when it does not. A read error raises ScriptFailure.
  bool LoadFile(platform::FileSystem& files, const std::string& path, LoadKind kind,
                ComponentVariables& vars, std::string* platform_text);

  // --- the lists, for dialogs and tests
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<std::string>& states() const { return states_; }
  const std::vector<std::string>& deleted() const { return deleted_; }
  const std::vector<std::string>& hidden() const { return hidden_; }
  const std::vector<std::string>& locked() const { return locked_; }
  const std::vector<std::string>& size_list() const { return sizes_; }

 private:
  std::vector<std::string> names_, states_, descriptions_, sizes_;
  std::vector<std::string> deleted_, hidden_, locked_;
  int64_t installed_baseline_ = 0;
};

}  // namespace corvane::ui
