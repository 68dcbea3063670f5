#include "ui/control_state.h"

#include <algorithm>

#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/property_rules.h"

namespace corvane::ui {

using platform::SameText;

namespace {

struct KindRow {
  const char* class_name;
  ControlKind kind;
};

// Table order: the first row whose class matches wins, except that a bitmap button (also a
// button) binds by its own row.
constexpr KindRow kKinds[] = {
    {"TFileListBox", ControlKind::kFileList},
    {"TPTShellList", ControlKind::kShellList},
    {"TDirectoryListBox", ControlKind::kDirectoryList},
    {"TPTShellTree", ControlKind::kShellTree},
    {"TDriveComboBox", ControlKind::kDriveCombo},
    {"TPTShellCombo", ControlKind::kShellCombo},
    {"TLabel", ControlKind::kLabel},
    {"TPanel", ControlKind::kCaptioned},
    {"TGroupBox", ControlKind::kCaptioned},
    {"TTabSheet", ControlKind::kCaptioned},
    {"TStaticText", ControlKind::kStaticText},
    {"TProgressBar", ControlKind::kProgressBar},
    {"TGauge", ControlKind::kGauge},
    {"TTrackBar", ControlKind::kTrackBar},
    {"TButton", ControlKind::kButton},
    {"TRzBmpButton", ControlKind::kButton},
    {"TSpeedButton", ControlKind::kSpeedButton},
    {"TBitBtn", ControlKind::kBitButton},
    {"TImage", ControlKind::kImage},
    {"TShape", ControlKind::kShape},
    {"TMemo", ControlKind::kMemo},
    {"TRichEdit", ControlKind::kRichEdit},
    {"TRzCheckBox", ControlKind::kCheckBox},
    {"TRzRadioButton", ControlKind::kRadioButton},
    {"TListBox", ControlKind::kListBox},
    {"THTMLViewer", ControlKind::kHtmlViewer},
    {"TFlashFrame", ControlKind::kMovie},
    {"TAnimate", ControlKind::kAnimation},
    {"TTreeView", ControlKind::kTreeView},
    {"TCheckListBox", ControlKind::kCheckList},
    {"TComboBox", ControlKind::kComboBox},
    {"TEdit", ControlKind::kEdit},
    {"TMaskEdit", ControlKind::kMaskEdit},
};

// The properties kept in the live state.
enum class Field {
  kNone,
  kText,
  kItems,
  kItemIndex,
  kChecked,
  kCheckState,
  kEnabled,
  kVisible,
  kReadOnly,
  kMaxLength,
  kTabOrder,
  kPosition,
  kMinimum,
  kMaximum,
};

bool Is(std::string_view a, std::string_view b) { return SameText(a, b); }

std::optional<bool> ParseBool(std::string_view text) {
  if (SameText(text, "True")) return true;
  if (SameText(text, "False")) return false;
  return std::nullopt;
}

uint32_t Le32(std::string_view d, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(d[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(d[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(d[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d[at + 3])) << 24;
}

constexpr size_t kNodeFixed = 25;  // four indexes, data, child count, text length
constexpr int kMaxNodeDepth = 64;

class NodeReader {
 public:
  NodeReader(std::string_view d, bool wide) : d_(d), wide_(wide) {}

  bool Read(std::vector<TreeNode>* out) {
    if (d_.size() < 4) return false;
    uint32_t count = Le32(d_, 0);
    pos_ = 4;
    for (uint32_t i = 0; i < count; ++i) {
      if (!Node(-1, 0, out)) return false;
    }
    return true;
  }

 private:
  bool Node(int parent, int depth, std::vector<TreeNode>* out) {
    if (depth > kMaxNodeDepth || d_.size() - pos_ < 4) return false;
    const uint32_t size = Le32(d_, pos_);
    pos_ += 4;
    if (size < kNodeFixed || size > d_.size() - pos_) return false;
    const std::string_view r = d_.substr(pos_, size);
    const size_t length = static_cast<uint8_t>(r[24]);
    if (size != kNodeFixed + length * (wide_ ? 2 : 1)) return false;
    TreeNode node;
    node.parent = parent;
    node.image = static_cast<int32_t>(Le32(r, 0));
    if (wide_) {
      std::u16string text;
      for (size_t i = 0; i < length; ++i) {
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(r[25 + 2 * i]) |
                                             static_cast<uint8_t>(r[26 + 2 * i]) << 8));
      }
      node.text = platform::Cp1252FromUtf16(text);
    } else {
      node.text.assign(r.substr(25, length));
    }
    const uint32_t children = Le32(r, 20);
    pos_ += size;
    out->push_back(std::move(node));
    const int self = static_cast<int>(out->size()) - 1;
    for (uint32_t c = 0; c < children; ++c) {
      if (!Node(self, depth + 1, out)) return false;
    }
    return true;
  }

  std::string_view d_;
  bool wide_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<TreeNode> ReadTreeNodes(std::string_view data, bool wide) {
  std::vector<TreeNode> nodes;
  if (!NodeReader(data, wide).Read(&nodes)) nodes.clear();
  return nodes;
}

ControlKind ClassifyControl(const Component& component) {
  if (dynamic_cast<const PoolTemplate*>(&component) != nullptr) return ControlKind::kForm;
  const std::string& cls = component.control_class().name;
  for (const KindRow& row : kKinds) {
    if (SameText(cls, row.class_name)) return row.kind;
  }
  return ControlKind::kUnbound;
}

// Rule files and control texts break their lines the same way.
std::vector<std::string> SplitTextLines(std::string_view text) { return SplitRuleLines(text); }

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out.append("\r\n");
    out.append(lines[i]);
  }
  return out;
}

ControlState::ControlState(Component& component, ControlKind kind)
    : component_(&component), kind_(kind) {
  LoadFromDefinition();
}

bool ControlState::IsTextLike() const {
  switch (kind_) {
    case ControlKind::kEdit:
    case ControlKind::kMaskEdit:
    case ControlKind::kMemo:
    case ControlKind::kRichEdit:
    case ControlKind::kComboBox:
      return true;
    default:
      return false;
  }
}

void ControlState::LoadFromDefinition() {
  const Component& c = *component_;
  auto text_of = [&c](const char* p) { return c.GetText(p).value_or(std::string()); };
  auto bool_of = [&c](const char* p, bool fallback) {
    auto v = c.GetText(p);
    return v ? *v == "True" : fallback;
  };
  if (kind_ == ControlKind::kMemo || kind_ == ControlKind::kRichEdit) {
    text = JoinLines(c.Strings("Lines"));
  } else if (IsTextLike()) {
    text = text_of("Text");
  } else {
    text = text_of("Caption");
  }
  items = c.Strings("Items");
  item_selected.assign(items.size(), false);
  item_checked.assign(items.size(), false);
  item_index = c.Integer("ItemIndex", -1);
  if (item_index >= static_cast<int>(items.size())) item_index = -1;
  checked = bool_of("Checked", false);
  enabled = bool_of("Enabled", true);
  visible = bool_of("Visible", true);
  read_only = bool_of("ReadOnly", false);
  max_length = c.Integer("MaxLength", 0);
  tab_order = c.Integer("TabOrder", -1);
  if (kind_ == ControlKind::kGauge) {
    minimum = c.Integer("MinValue", 0);
    maximum = c.Integer("MaxValue", 100);
    position = c.Integer("Progress", 0);
  } else {
    minimum = c.Integer("Min", 0);
    maximum = c.Integer("Max", kind_ == ControlKind::kTrackBar ? 10 : 100);
    position = c.Integer("Position", 0);
  }
  ClampPosition();
  if (kind_ == ControlKind::kTreeView) {
    if (const FormValue* v = c.Value("Items.NodeData")) {
      nodes = ReadTreeNodes(v->text, true);
    } else if (const FormValue* v8 = c.Value("Items.Data")) {
      nodes = ReadTreeNodes(v8->text, false);
    }
  }
  // Memos show a vertical bar by their ScrollBars property; rich edits always have both.
  std::string bars = text_of("ScrollBars");
  scroll.has_vertical_bar =
      kind_ == ControlKind::kRichEdit || bars == "ssVertical" || bars == "ssBoth";
}

static Field FieldOf(ControlKind kind, std::string_view p) {
  const bool items_kind = kind == ControlKind::kListBox || kind == ControlKind::kComboBox ||
                          kind == ControlKind::kCheckList;
  const bool lines_kind = kind == ControlKind::kMemo || kind == ControlKind::kRichEdit;
  const bool text_kind = lines_kind || kind == ControlKind::kEdit ||
                         kind == ControlKind::kMaskEdit || kind == ControlKind::kComboBox;
  const bool range_kind = kind == ControlKind::kProgressBar || kind == ControlKind::kTrackBar;
  if (Is(p, "Caption") && !text_kind) return Field::kText;
  if (Is(p, "Text") && text_kind) return Field::kText;
  if ((Is(p, "Lines") || Is(p, "Lines.Strings")) && lines_kind) return Field::kText;
  if ((Is(p, "Items") || Is(p, "Items.Strings")) && items_kind) return Field::kItems;
  if (Is(p, "ItemIndex") && items_kind) return Field::kItemIndex;
  if (Is(p, "Checked")) return Field::kChecked;
  if (Is(p, "State") && kind == ControlKind::kCheckBox) return Field::kCheckState;
  if (Is(p, "Enabled")) return Field::kEnabled;
  if (Is(p, "Visible")) return Field::kVisible;
  if (Is(p, "ReadOnly")) return Field::kReadOnly;
  if (Is(p, "MaxLength")) return Field::kMaxLength;
  if (Is(p, "TabOrder")) return Field::kTabOrder;
  if (range_kind && Is(p, "Position")) return Field::kPosition;
  if (range_kind && Is(p, "Min")) return Field::kMinimum;
  if (range_kind && Is(p, "Max")) return Field::kMaximum;
  if (kind == ControlKind::kGauge && Is(p, "Progress")) return Field::kPosition;
  if (kind == ControlKind::kGauge && Is(p, "MinValue")) return Field::kMinimum;
  if (kind == ControlKind::kGauge && Is(p, "MaxValue")) return Field::kMaximum;
  return Field::kNone;
}

std::optional<std::string> ControlState::Get(std::string_view property) const {
  if (Is(property, "Name")) return name();
  const bool known = component_->HasProperty(property);
  Field f = FieldOf(kind_, property);
  if (!known) return std::nullopt;
  auto b = [](bool v) { return std::string(v ? "True" : "False"); };
  switch (f) {
    case Field::kNone:
      return component_->GetText(property);
    case Field::kText:
      return text;
    case Field::kItems:
      return JoinLines(items);
    case Field::kItemIndex:
      return std::to_string(item_index);
    case Field::kChecked:
      return b(checked);
    case Field::kCheckState:
      return std::string(checked ? "cbChecked" : "cbUnchecked");
    case Field::kEnabled:
      return b(enabled);
    case Field::kVisible:
      return b(visible);
    case Field::kReadOnly:
      return b(read_only);
    case Field::kMaxLength:
      return std::to_string(max_length);
    case Field::kTabOrder:
      return std::to_string(tab_order);
    case Field::kPosition:
      return std::to_string(position);
    case Field::kMinimum:
      return std::to_string(minimum);
    case Field::kMaximum:
      return std::to_string(maximum);
  }
  return std::nullopt;
}

bool ControlState::Set(std::string_view property, std::string_view value) {
  if (!component_->HasProperty(property)) return false;
  Field f = FieldOf(kind_, property);
  auto set_bool = [&value](bool* target) {
    auto v = ParseBool(value);
    if (!v) return false;
    *target = *v;
    return true;
  };
  auto set_int = [&value](auto* target) {
    auto v = platform::ParseDecimal32(value);
    if (!v) return false;
    *target = *v;
    return true;
  };
  switch (f) {
    case Field::kNone:
      return component_->SetText(property, value);
    case Field::kText:
      text.assign(value);
      return true;
    case Field::kItems:
      SetItems(SplitTextLines(value));
      return true;
    case Field::kItemIndex: {
      auto v = platform::ParseDecimal32(value);
      if (!v || *v < -1 || *v >= static_cast<int>(items.size())) return false;
      SelectOnly(*v);
      if (kind_ == ControlKind::kComboBox && *v >= 0) text = items[*v];
      return true;
    }
    case Field::kChecked:
      return set_bool(&checked);
    case Field::kCheckState:
      if (value == "cbChecked" || value == "cbUnchecked") {
        checked = value == "cbChecked";
        return true;
      }
      return false;
    case Field::kEnabled:
      return set_bool(&enabled);
    case Field::kVisible:
      return set_bool(&visible);
    case Field::kReadOnly:
      return set_bool(&read_only);
    case Field::kMaxLength:
      return set_int(&max_length);
    case Field::kTabOrder:
      return set_int(&tab_order);
    case Field::kPosition:
    case Field::kMinimum:
    case Field::kMaximum: {
      auto v = platform::ParseDecimal32(value);
      if (!v) return false;
      (f == Field::kPosition ? position : f == Field::kMinimum ? minimum : maximum) = *v;
      ClampPosition();
      return true;
    }
  }
  return false;
}

std::vector<int> ControlState::SelectedItems() const {
  std::vector<int> out;
  for (size_t i = 0; i < item_selected.size(); ++i) {
    if (item_selected[i]) out.push_back(static_cast<int>(i));
  }
  if (out.empty() && item_index >= 0 && item_index < static_cast<int>(items.size())) {
    out.push_back(item_index);
  }
  return out;
}

void ControlState::SelectOnly(int index) {
  item_selected.assign(items.size(), false);
  if (index >= 0 && index < static_cast<int>(items.size())) {
    item_index = index;
    item_selected[index] = true;
  } else {
    item_index = -1;
  }
}

void ControlState::SetItems(std::vector<std::string> new_items) {
  items = std::move(new_items);
  item_selected.resize(items.size(), false);
  item_checked.resize(items.size(), false);
  if (item_index >= static_cast<int>(items.size())) item_index = -1;
}

void ControlState::ClampPosition() {
  if (maximum < minimum) maximum = minimum;
  position = std::clamp(position, minimum, maximum);
}

std::string ControlState::NodePath(int node) const {
  std::string path;
  // Parents come before their children, so the walk always ends.
  for (int n = node; n >= 0 && n < static_cast<int>(nodes.size()); n = nodes[n].parent) {
    path = path.empty() ? nodes[n].text : nodes[n].text + "\\" + path;
    if (nodes[n].parent >= n) break;
  }
  return path;
}

}  // namespace corvane::ui
