// The live state of the controls of a displayed dialog, independent of any window system: what a
// renderer draws and what property rules read and assign. Each control of a form gets one
// ControlState, made from its definition when the dialog runtime first sees the form and kept for
// the rest of the run (a form keeps its contents between displays).
//
// The state holds the properties that change while a dialog is used: texts, item lists and their
// selection and check marks, check states, positions and ranges, enabled, visible and read-only
// flags, maximum lengths, tab order, tree nodes, shown folders and scroll metrics. Every other
// property is read and written through the form model. Setting state here never runs an event
// handler; only the runtime's input events do.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_model.h"

namespace corvane::ui {

// What the engine binds a control as. Classes are tested in this order of preference; a TBitBtn
// is also a TButton but binds as a bitmap button.
enum class ControlKind : uint8_t {
  kForm,
  kFileList,
  kShellList,
  kDirectoryList,
  kShellTree,
  kDriveCombo,
  kShellCombo,
  kLabel,
  kCaptioned,  // TPanel, TGroupBox, TTabSheet
  kStaticText,
  kProgressBar,
  kGauge,
  kTrackBar,
  kButton,  // TButton, TRzBmpButton
  kSpeedButton,
  kBitButton,
  kImage,
  kShape,
  kMemo,
  kRichEdit,
  kCheckBox,
  kRadioButton,
  kListBox,
  kHtmlViewer,
  kMovie,
  kAnimation,
  kTreeView,
  kCheckList,
  kComboBox,
  kEdit,
  kMaskEdit,
  kUnbound,  // TBevel, TPageControl, TUpDown, TFilterComboBox, TRzFormShape, TVistaGlass, others
};

ControlKind ClassifyControl(const Component& component);

// One node of a tree view. Nodes are kept in creation order; parent is an index into the same
// list (-1 at the top).
struct TreeNode {
  std::string text;
  int parent = -1;
  int image = -1;
  long component = -1;  // the component table index the node stands for, or -1
  bool expanded = false;
};

// Vertical scroll metrics of a multi-line text control (what the renderer last reported).
struct ScrollMetrics {
  bool has_vertical_bar = false;
  int64_t position = 0;
  int64_t page = 0;
  int64_t maximum = 0;
};

inline constexpr int32_t kReadToEnd = 2147483647;

class ControlState {
 public:
  ControlState(Component& component, ControlKind kind);

  Component& component() const { return *component_; }
  ControlKind kind() const { return kind_; }
  const std::string& name() const { return component_->name(); }
  int32_t tag() const { return component_->Integer("Tag"); }
  std::string hint() const { return component_->GetText("Hint").value_or(std::string()); }

  // The caption or text (multi-line controls: the lines joined by CR LF).
  std::string text;
  std::vector<std::string> items;
  int item_index = -1;
  std::vector<bool> item_selected;  // list boxes with several selected items
  std::vector<bool> item_checked;   // check lists
  bool checked = false;
  int64_t position = 0;
  int64_t minimum = 0;
  int64_t maximum = 100;
  bool enabled = true;
  bool visible = true;
  bool read_only = false;
  int32_t max_length = 0;
  int32_t tab_order = -1;
  bool marquee = false;
  std::vector<TreeNode> nodes;
  int selected_node = -1;
  std::string folder;  // the folder a folder control or file list shows
  std::string file;    // the file a file list or shell list has selected
  ScrollMetrics scroll;
  // The page file a content control shows (default pages), empty when it shows its text.
  std::string page;

  // Event handlers attached by the preparation ("Edit1Change", ...); freezing detaches them.
  std::set<std::string> handlers;
  bool Has(std::string_view handler) const { return handlers.count(std::string(handler)) > 0; }

  // Property access by name, letter case ignored, as rules use it: integers in decimal,
  // booleans "True"/"False", enumerations as identifiers, texts as themselves, lists as lines
  // joined by CR LF. nullopt when the control has no such property; Set returns false when the
  // control has no such property or the text is not a value of its kind.
  std::optional<std::string> Get(std::string_view property) const;
  bool Set(std::string_view property, std::string_view value);

  // Items selected: the item index, or every marked item for several selected items.
  std::vector<int> SelectedItems() const;
  void SelectOnly(int index);
  // Sets items, keeping selection and check marks only where they still fit.
  void SetItems(std::vector<std::string> new_items);
  // Clamps the position into the range (progress bars, gauges, track bars).
  void ClampPosition();
  // The text of a node and its ancestors joined by "\", root first.
  std::string NodePath(int node) const;

 private:
  void LoadFromDefinition();
  bool IsTextLike() const;

  Component* component_;
  ControlKind kind_;
};

// The nodes a tree view's definition holds: "Items.Data" (8-bit texts) or "Items.NodeData"
// (UTF-16 texts), each a node count followed by the nodes depth first, every node a record
// length, four image indexes, a data word, its child count and its text. A damaged or truncated
// list gives no nodes at all.
std::vector<TreeNode> ReadTreeNodes(std::string_view data, bool wide);

// Splits a text into lines at CR LF, LF or CR; a final line break does not start another line.
std::vector<std::string> SplitTextLines(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace corvane::ui
