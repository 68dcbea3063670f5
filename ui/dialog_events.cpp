// The dialog runtime's handlers and the input events that reach them.
#include <algorithm>

#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_runtime_detail.h"

namespace corvane::ui {

using interp::NewlinesToToken;
using platform::SameText;
using namespace runtime_detail;

// ---------------------------------------------------------------------------------------------
// Handlers

void DialogRuntime::AutoAdvance(const ControlState& s) {
  if (s.max_length == 0 || s.text.size() != static_cast<size_t>(s.max_length)) return;
  FocusNext(s);
}

void DialogRuntime::FocusNext(const ControlState& s) {
  for (auto& c : states_) {
    if (c->kind() == ControlKind::kForm || c->component().parent() != &form_) continue;
    if (c->tab_order == s.tab_order + 1) {
      focused_ = c->name();
      return;
    }
  }
}

void DialogRuntime::EditChange(ControlState& s, bool mask) {
  Write(s, s.text, mask ? "MaskEdit1Change" : "Edit1Change");
  RefreshComputedTexts();
  LiveRefresh();
  EvaluateRules();
  if (!mask) AutoAdvance(s);
}

void DialogRuntime::MemoChange(ControlState& s) {
  if (s.kind() == ControlKind::kRichEdit) {
    std::string lines;
    for (const std::string& line : SplitTextLines(s.text)) lines += line + "\r\n";
    Write(s, NewlinesToToken(lines), "RichEdit1Change");
  } else {
    Write(s, NewlinesToToken(s.text), "Memo1Change");
  }
  RefreshComputedTexts();
  EvaluateRules();
}

void DialogRuntime::CheckBoxClick(ControlState& s) {
  Write(s, interp::BoolToText(s.checked), "CheckBox1Click");
  EvaluateRules();
}

void DialogRuntime::RadioButtonClick(ControlState&) {
  for (auto& r : states_) {
    if (r->kind() != ControlKind::kRadioButton || r->hint().empty()) continue;
    Write(*r, interp::BoolToText(r->checked), "RadioButton1Click");
  }
  EvaluateRules();
}

void DialogRuntime::ListBoxClick(ControlState& s) {
  std::vector<std::string> texts;
  for (int i : s.SelectedItems()) texts.push_back(s.items[i]);
  Write(s, EachFollowedByNewline(texts), "ListBox1Click");
  EvaluateRules();
}

void DialogRuntime::ComboBoxChange(ControlState& s, const char* handler) {
  Write(s, s.text, handler);
  EvaluateRules();
}

void DialogRuntime::CheckListClick(ControlState& s) {
  if (s.item_index < 0 || s.item_index >= static_cast<int>(s.items.size())) return;
  if (s.tag() == 1) {
    current_component_ = s.items[s.item_index];
    RefreshComputedTexts();
  }
  EvaluateRules();
}

void DialogRuntime::CheckListClickCheck(ControlState& s, bool first_display) {
  if (s.tag() == 1) {
    // The list was just filled from the table: applying it again at the first display would
    // select every sub-component of a checked item behind the user's back.
    ComponentTable* table = first_display ? nullptr : engine_.components();
    if (table) {
      for (size_t i = 0; i < s.items.size(); ++i) {
        s.item_checked[i] = table->ApplyListItem(s.items[i], s.item_checked[i]);
      }
      // Component trees of the form show the new states.
      for (auto& t : states_) {
        if (t->kind() != ControlKind::kTreeView || t->tag() != 1) continue;
        for (TreeNode& n : t->nodes) {
          if (n.component >= 0) n.image = table->IsSelected(n.component) ? 1 : 0;
        }
      }
    }
    RefreshComputedTexts();
  } else {
    std::vector<std::string> texts;
    for (size_t i = 0; i < s.items.size(); ++i) {
      if (s.item_checked[i]) texts.push_back(s.items[i]);
    }
    Write(s, EachFollowedByNewline(texts), "CheckListBox1ClickCheck");
  }
  EvaluateRules();
}

void DialogRuntime::TreeViewChange(ControlState& s) {
  if (s.selected_node < 0 || s.selected_node >= static_cast<int>(s.nodes.size())) return;
  Write(s, s.nodes[s.selected_node].text, "TreeView1Change");
  if (s.tag() == 1) {
    current_component_ = s.NodePath(s.selected_node);
    RefreshComputedTexts();
  }
  EvaluateRules();
}

void DialogRuntime::TrackBarChange(ControlState& s) {
  Write(s, std::to_string(s.position), "TrackBar1Change");
  EvaluateRules();
}

void DialogRuntime::FolderControlChange(ControlState& s, const char* handler,
                                        const std::string& value, const std::string& destination) {
  if (!value.empty()) Write(s, value, handler);
  LiveRefresh();
  if (s.tag() == 1) UpdateDestination(destination);
  EvaluateRules();
}

void DialogRuntime::ButtonAction(ControlState& s) {
  DialogHooks& hooks = engine_.hooks();
  form_.result_code = result::kOpen;
  switch (s.tag()) {
    case 1:
      form_.result_code = result::kNext;
      break;
    case 2:
      form_.result_code = result::kBack;
      break;
    case 3: {
      hooks.PauseTaskbar();
      int answer = engine_.ui().MessageBox(
          hooks.Message(image::msg::kCancelQuestion), hooks.Caption(),
          platform::mb::kYesNo | platform::mb::kIconQuestion | platform::mb::kDefButton2);
      if (answer == platform::id::kYes) {
        engine_.variables().SetVariable("VORT_IsCancelled", "TRUE", "ShowDesign");
        s.enabled = false;
        form_.result_code = result::kCancel;
      }
      hooks.RestoreTaskbar();
      break;
    }
    case 4: {
      hooks.PauseTaskbar();
      std::string folder;
      bool chosen = engine_.ui().BrowseForFolder("", &folder) == platform::Status::kOk;
      hooks.RestoreTaskbar();
      if (chosen) UpdateDestination(folder);
      break;
    }
    case 5:
      form_.result_code = result::kNamed;
      form_.result_text = s.name();
      break;
    case 6: {
      hooks.PauseTaskbar();
      std::string folder;
      bool chosen = engine_.ui().BrowseForFolder("", &folder) == platform::Status::kOk;
      hooks.RestoreTaskbar();
      if (chosen && !folder.empty()) {
        engine_.variables().SetVariable(platform::UpperCase(s.name()),
                                        WithTrailingBackslash(folder),
                                        "SetCustomDirectoryEditText");
        RefreshComputedTexts();
        LiveRefresh();
        EvaluateRules();
      }
      break;
    }
    default:
      break;
  }
  EvaluateRules();
}

void DialogRuntime::SetNode(ControlState& tree, int node, bool selected, bool with_children) {
  ComponentTable* table = engine_.components();
  TreeNode& n = tree.nodes[node];
  if (n.component >= 0 && table) {
    table->SetStateAt(n.component, selected);
    n.image = selected ? 1 : 0;
  }
  if (!with_children) return;
  for (size_t c = 0; c < tree.nodes.size(); ++c) {
    if (tree.nodes[c].parent != node) continue;
    long comp = tree.nodes[c].component;
    bool locked = comp >= 0 && table && static_cast<size_t>(comp) < table->names().size() &&
                  table->IsEffectivelyLocked(table->names()[comp]);
    if (!locked) SetNode(tree, static_cast<int>(c), selected, true);
  }
}

// ---------------------------------------------------------------------------------------------
// Input events

void DialogRuntime::Click(std::string_view control) {
  ControlState* s = Input(control);
  if (!s) return;
  if (s->kind() == ControlKind::kCheckBox) {
    if (s->read_only) return;
    s->checked = !s->checked;
    if (Live(*s, "CheckBox1Click")) CheckBoxClick(*s);
  } else if (s->kind() == ControlKind::kRadioButton) {
    if (s->checked || s->read_only) return;
    s->checked = true;
    for (auto& r : states_) {
      if (r.get() != s && r->kind() == ControlKind::kRadioButton &&
          r->component().parent() == s->component().parent()) {
        r->checked = false;
      }
    }
    if (Live(*s, "RadioButton1Click")) RadioButtonClick(*s);
  } else if (IsButtonLike(s->kind())) {
    if (Live(*s, ClickHandlerOf(s->kind()))) ButtonAction(*s);
  }
}

void DialogRuntime::Check(std::string_view control, bool checked) {
  ControlState* s = Input(control);
  if (!s || s->checked == checked) return;
  if (s->kind() == ControlKind::kCheckBox || (s->kind() == ControlKind::kRadioButton && checked)) {
    Click(control);
  }
}

void DialogRuntime::SetText(std::string_view control, std::string_view text) {
  ControlState* s = Input(control);
  if (!s || s->read_only) return;
  std::string_view t = text;
  if (s->max_length > 0 && t.size() > static_cast<size_t>(s->max_length)) {
    t = t.substr(0, s->max_length);
  }
  if (t == s->text) return;  // a change handler runs for a change only
  switch (s->kind()) {
    case ControlKind::kEdit:
    case ControlKind::kMaskEdit: {
      const bool mask = s->kind() == ControlKind::kMaskEdit;
      s->text.assign(t);
      if (Live(*s, mask ? "MaskEdit1Change" : "Edit1Change")) EditChange(*s, mask);
      break;
    }
    case ControlKind::kMemo:
    case ControlKind::kRichEdit:
      s->text.assign(t);
      if (Live(*s, s->kind() == ControlKind::kMemo ? "Memo1Change" : "RichEdit1Change")) {
        MemoChange(*s);
      }
      break;
    case ControlKind::kComboBox:
      if (s->component().GetText("Style") == "csDropDownList") return;
      s->text.assign(t);
      s->SelectOnly(-1);
      for (size_t i = 0; i < s->items.size(); ++i) {
        if (s->items[i] == s->text) s->SelectOnly(static_cast<int>(i));
      }
      if (Live(*s, "ComboBox1Change")) ComboBoxChange(*s, "ComboBox1Change");
      break;
    default:
      break;
  }
}

void DialogRuntime::PickItem(std::string_view control, int index) {
  ControlState* s = Input(control);
  if (!s || index < -1 || index >= static_cast<int>(s->items.size())) return;
  switch (s->kind()) {
    case ControlKind::kListBox:
      s->SelectOnly(index);
      if (Live(*s, "ListBox1Click")) ListBoxClick(*s);
      break;
    case ControlKind::kComboBox:
      s->SelectOnly(index);
      s->text = index >= 0 ? s->items[index] : std::string();
      if (Live(*s, "ComboBox1Click")) ComboBoxChange(*s, "ComboBox1Click");
      if (Live(*s, "ComboBox1Change")) ComboBoxChange(*s, "ComboBox1Change");
      break;
    case ControlKind::kCheckList:
      s->SelectOnly(index);
      if (Live(*s, "CheckListBox1Click")) CheckListClick(*s);
      break;
    default:
      break;
  }
}

void DialogRuntime::PickItems(std::string_view control, const std::vector<int>& indexes) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kListBox) return;
  if (s->component().GetText("MultiSelect") != "True") {
    PickItem(control, indexes.empty() ? -1 : indexes.front());
    return;
  }
  s->item_selected.assign(s->items.size(), false);
  s->item_index = -1;
  for (int i : indexes) {
    if (i < 0 || i >= static_cast<int>(s->items.size())) continue;
    s->item_selected[i] = true;
    if (s->item_index < 0) s->item_index = i;
  }
  if (Live(*s, "ListBox1Click")) ListBoxClick(*s);
}

void DialogRuntime::CheckItem(std::string_view control, int index, bool checked) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kCheckList || index < 0 ||
      index >= static_cast<int>(s->items.size())) {
    return;
  }
  s->item_checked[index] = checked;
  if (Live(*s, "CheckListBox1ClickCheck")) CheckListClickCheck(*s);
}

void DialogRuntime::SelectNode(std::string_view control, int node) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kTreeView || node < 0 ||
      node >= static_cast<int>(s->nodes.size())) {
    return;
  }
  s->selected_node = node;
  if (Live(*s, "TreeView1Change")) TreeViewChange(*s);
}

bool DialogRuntime::TreeMouseUp(std::string_view control, bool on_icon) {
  ControlState* s = Input(control);
  if (!s || !on_icon || !Live(*s, "TreeView1MouseUp")) return false;
  return OpenComponentMenu(*s);
}

bool DialogRuntime::TreeKeyUp(std::string_view control, int key_code) {
  ControlState* s = Input(control);
  if (!s || key_code != kContextMenuKey || !Live(*s, "TreeView1KeyUp")) return false;
  return OpenComponentMenu(*s);
}

// The state menu opens on the selected node's component unless it is locked.
bool DialogRuntime::OpenComponentMenu(ControlState& s) {
  ComponentTable* table = engine_.components();
  if (!table || s.selected_node < 0 || s.selected_node >= static_cast<int>(s.nodes.size())) {
    return false;
  }
  long comp = s.nodes[s.selected_node].component;
  if (comp < 0 || static_cast<size_t>(comp) >= table->names().size() ||
      table->IsEffectivelyLocked(table->names()[comp])) {
    return false;
  }
  menu_control_ = s.name();
  return true;
}

void DialogRuntime::ChooseComponentMenuItem(std::string_view control, int item) {
  ControlState* s = Find(control);
  if (!s || menu_control_.empty() || !SameText(menu_control_, control)) return;
  menu_control_.clear();
  const auto items = ComponentMenuItems(engine_.hooks());
  if (item < 0 || item >= static_cast<int>(items.size()) || !items[item].visible) return;
  const int node = s->selected_node;
  if (node < 0 || node >= static_cast<int>(s->nodes.size())) return;
  const bool select = item <= 1;
  const bool with_children = item == 1 || item == 2 || item == 4;
  SetNode(*s, node, select, with_children);
  if (select) {
    for (int a = s->nodes[node].parent; a >= 0; a = s->nodes[a].parent) SetNode(*s, a, true, false);
  }
  RefreshComputedTexts();
  EvaluateRules();
}

void DialogRuntime::SetPosition(std::string_view control, int64_t position) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kTrackBar) return;
  const int64_t before = s->position;
  s->position = position;
  s->ClampPosition();
  if (s->position != before && Live(*s, "TrackBar1Change")) TrackBarChange(*s);
}

void DialogRuntime::ShowFolder(std::string_view control, std::string_view folder) {
  ControlState* s = Input(control);
  if (!s) return;
  const std::string f(folder);
  switch (s->kind()) {
    case ControlKind::kDirectoryList:
    case ControlKind::kShellTree:
    case ControlKind::kShellCombo:
      s->folder = f;
      if (Live(*s, FolderHandlerOf(s->kind()))) {
        FolderControlChange(*s, FolderHandlerOf(s->kind()), f, f);
      }
      break;
    case ControlKind::kShellList:
      s->folder = f;
      if (!f.empty() && Live(*s, "PTShellList1FolderChanged")) {
        FolderControlChange(*s, "PTShellList1FolderChanged", f, f);
      }
      break;
    case ControlKind::kFileList:
      ShowFileListFolder(*s, f);
      break;
    default:
      break;
  }
}

void DialogRuntime::PickFile(std::string_view control, std::string_view path) {
  ControlState* s = Input(control);
  if (!s || path.empty()) return;
  const std::string p(path);
  if (s->kind() == ControlKind::kFileList) {
    s->file = p;
    if (Live(*s, "FileListBox1Change")) {
      FolderControlChange(*s, "FileListBox1Change", p, FolderPart(p));
    }
  } else if (s->kind() == ControlKind::kShellList) {
    if (!Live(*s, "PTShellList1Change")) return;
    if (engine_.FolderExists(p)) {
      FolderControlChange(*s, "PTShellList1Change", "", p);
    } else {
      s->file = p;
      FolderControlChange(*s, "PTShellList1Change", p, FolderPart(p));
    }
  }
}

void DialogRuntime::PickDrive(std::string_view control, char letter) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kDriveCombo) return;
  const std::string root = std::string(1, letter) + ":\\";
  s->folder = root;
  if (Live(*s, "DriveComboBox1Change")) {
    FolderControlChange(*s, "DriveComboBox1Change", root, root);
  }
}

void DialogRuntime::MaskKeyUp(std::string_view control, int selection_length) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kMaskEdit || !Live(*s, "MaskEdit1KeyUp")) return;
  if (selection_length == 0) FocusNext(*s);
}

void DialogRuntime::Scrolled(std::string_view control, const ScrollMetrics& metrics,
                             bool by_bar_or_wheel) {
  ControlState* s = Find(control);
  if (!s || (s->kind() != ControlKind::kMemo && s->kind() != ControlKind::kRichEdit)) return;
  s->scroll.position = metrics.position;
  s->scroll.page = metrics.page;
  s->scroll.maximum = metrics.maximum;
  const std::string& slot = s->kind() == ControlKind::kMemo ? tracked_memo_ : tracked_rich_edit_;
  if (!by_bar_or_wheel || slot.empty() || !SameText(slot, s->name()) ||
      s->max_length == kReadToEnd) {
    return;
  }
  const int64_t distance = metrics.maximum - metrics.position;
  if (distance < 0 || distance <= metrics.page) {
    s->max_length = kReadToEnd;
    EvaluateRules();
  }
}

}  // namespace corvane::ui
