#include "ui/window_presenter.h"

#include <algorithm>
#include <set>

#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/components.h"
#include "ui/text_extent.h"

namespace corvane::ui {
namespace {

constexpr size_t kShownTextLength = 60;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (n == kShownTextLength) {
      out += "...(" + std::to_string(text.size()) + " characters)";
      break;
    }
    if (text[i] == '\r') continue;
    out += text[i] == '\n' ? std::string("\\n") : std::string(1, text[i]);
    ++n;
  }
  return out + "\"";
}

bool ShowsText(ControlKind k) {
  switch (k) {
    case ControlKind::kLabel:
    case ControlKind::kCaptioned:
    case ControlKind::kStaticText:
    case ControlKind::kButton:
    case ControlKind::kSpeedButton:
    case ControlKind::kBitButton:
    case ControlKind::kMemo:
    case ControlKind::kRichEdit:
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
    case ControlKind::kComboBox:
    case ControlKind::kEdit:
    case ControlKind::kMaskEdit:
      return true;
    default:
      return false;
  }
}

// An item named by its index (from 0) or its text; -1 when there is none such.
int FindItem(const std::vector<std::string>& items, const std::string& word) {
  auto n = platform::ParseDecimal32(word);
  if (n && *n >= 0 && static_cast<size_t>(*n) < items.size()) return *n;
  for (size_t i = 0; i < items.size(); ++i) {
    if (platform::SameText(items[i], word)) return static_cast<int>(i);
  }
  return -1;
}

std::map<std::string, std::string> VariableTable(const interp::Variables& vars) {
  std::vector<std::string> list;
  vars.store().ListAll(&list);
  std::map<std::string, std::string> table;
  for (size_t i = 0; i + 1 < list.size(); i += 2) table[list[i]] = list[i + 1];
  return table;
}

// Component name -> selection state ("TRUE"/"FALSE"), empty without a component table.
std::map<std::string, std::string> ComponentStates(const ComponentTable* table) {
  std::map<std::string, std::string> states;
  if (!table) return states;
  for (size_t i = 0; i < table->names().size(); ++i) {
    states[table->names()[i]] = table->IsSelected(static_cast<long>(i)) ? "TRUE" : "FALSE";
  }
  return states;
}

}  // namespace

std::string DescribeControl(const ControlState& s) {
  std::string line = s.name() + " (" + s.component().class_name() + ")";
  // An edit with a password character shows that character, never the text.
  const std::string mask = s.Get("PasswordChar").value_or("");
  if (ShowsText(s.kind()) && !mask.empty() && mask != "#0" && !s.text.empty()) {
    line += " " + Quoted(std::string(s.text.size(), '*'));
  } else if (ShowsText(s.kind())) {
    line += " " + Quoted(s.text);
  }
  if (s.kind() == ControlKind::kCheckBox || s.kind() == ControlKind::kRadioButton) {
    line += s.checked ? " checked" : " unchecked";
  }
  if (!s.items.empty()) {
    line += " items [";
    for (size_t i = 0; i < s.items.size(); ++i) {
      if (i) line += " | ";
      if (s.kind() == ControlKind::kCheckList) {
        line += i < s.item_checked.size() && s.item_checked[i] ? "[x] " : "[ ] ";
      }
      const bool selected =
          static_cast<int>(i) == s.item_index || (i < s.item_selected.size() && s.item_selected[i]);
      line += selected ? "*" + s.items[i] : s.items[i];
    }
    line += "]";
  }
  switch (s.kind()) {
    case ControlKind::kProgressBar:
    case ControlKind::kGauge:
    case ControlKind::kTrackBar:
      line += " position " + std::to_string(s.position) + " of " + std::to_string(s.minimum) +
              ".." + std::to_string(s.maximum);
      if (s.marquee) line += " marquee";
      break;
    case ControlKind::kTreeView:
      line += " " + std::to_string(s.nodes.size()) + " nodes";
      if (s.selected_node >= 0) line += ", selected " + Quoted(s.NodePath(s.selected_node));
      break;
    default:
      break;
  }
  if (!s.folder.empty()) line += " folder " + Quoted(s.folder);
  if (!s.file.empty()) line += " file " + Quoted(s.file);
  if (!s.page.empty()) line += " page " + Quoted(s.page);
  if (!s.enabled) line += " disabled";
  if (!s.visible) line += " hidden";
  if (s.read_only) line += " read-only";
  return line;
}

std::vector<std::string> PaintFrame(const DialogRuntime& dialog) {
  std::vector<std::string> frame;
  const auto& controls = dialog.controls();
  frame.reserve(controls.size());
  for (size_t i = 1; i < controls.size(); ++i) {
    if (controls[i]->kind() == ControlKind::kUnbound) continue;
    frame.push_back(DescribeControl(*controls[i]));
  }
  return frame;
}

WindowPresenter::WindowPresenter(platform::WindowService& windows, interp::Variables& variables)
    : windows_(windows),
      variables_(variables),
      meta_(windows, [this](DialogRuntime& d, const std::string& target) {
        windows_.Note("  (meta refresh to " + target + ": caption \"" + d.form_state().text +
                      "\")");
        Repaint(d);
      }) {}

WindowPresenter::~WindowPresenter() {
  if (timer_) windows_.KillTimer(timer_);
  meta_.Stop();
  for (auto& [dialog, handle] : handles_) windows_.DestroyWindow(handle);
}

uint64_t WindowPresenter::Place(DialogRuntime& dialog) {
  PoolTemplate& form = dialog.form();
  platform::WindowRect placement;
  placement.left = form.Integer("Left");
  placement.top = form.Integer("Top");
  placement.width = form.Integer("Width");
  placement.height = form.Integer("Height");
  if (placement.width == 0) placement.width = form.Integer("ClientWidth");
  if (placement.height == 0) placement.height = form.Integer("ClientHeight");
  const std::string caption = dialog.form_state().text;
  auto it = handles_.find(&dialog);
  uint64_t handle;
  if (it == handles_.end()) {
    handle =
        windows_.MakeWindow(dialog.form_state().name(), dialog.dialog_key(), caption, placement);
  } else {
    // Every display makes the window again, so that its style and placement take effect.
    handle = windows_.RecreateWindow(it->second, caption, placement);
  }
  handles_[&dialog] = handle;
  // The display is the one input goes to, whether or not its window is on the screen yet.
  active_ = &dialog;
  if (!timer_) {
    timer_ = windows_.SetTimer(1000, [this] {
      if (on_timer) on_timer();
      if (active_) Repaint(*active_);
    });
  }
  return handle;
}

uint64_t WindowPresenter::Show(DialogRuntime& dialog) {
  auto it = handles_.find(&dialog);
  // A display held back shows its window now, as it is.
  const bool held_back = it != handles_.end() && held_back_.erase(&dialog) > 0;
  const uint64_t handle = held_back ? it->second : Place(dialog);
  windows_.ShowWindow(handle);
  MeasureTexts(dialog);
  windows_.Paint(handle, PaintFrame(dialog));
  active_ = &dialog;
  meta_.Sync(dialog);
  return handle;
}

uint64_t WindowPresenter::ShowHeldBack(DialogRuntime& dialog) {
  held_back_.insert(&dialog);
  const uint64_t handle = Place(dialog);
  windows_.Note("dialog " + dialog.form_state().name() + " held back: the setup is in the tray");
  return handle;
}

void WindowPresenter::HideWindowOf(DialogRuntime& dialog) {
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) windows_.HideWindow(it->second);
}

void WindowPresenter::RestoreWindowOf(DialogRuntime& dialog) {
  auto it = handles_.find(&dialog);
  if (it != handles_.end() && !held_back_.count(&dialog)) windows_.RestoreWindow(it->second);
}

void WindowPresenter::Hide(DialogRuntime& dialog) {
  meta_.Forget(dialog);
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) {
    // The last frame the user saw (progress set since the last paint).
    windows_.Paint(it->second, PaintFrame(dialog));
    windows_.HideWindow(it->second);
  }
  if (active_ == &dialog) active_ = nullptr;
}

void WindowPresenter::Forget(DialogRuntime& dialog) {
  meta_.Forget(dialog);
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) {
    windows_.DestroyWindow(it->second);
    handles_.erase(it);
  }
  held_back_.erase(&dialog);
  if (active_ == &dialog) active_ = nullptr;
}

void WindowPresenter::SetActive(DialogRuntime* dialog) {
  active_ = dialog != nullptr && handles_.count(dialog) != 0 ? dialog : nullptr;
}

void WindowPresenter::Repaint(DialogRuntime& dialog) {
  auto it = handles_.find(&dialog);
  if (it != handles_.end()) windows_.Paint(it->second, PaintFrame(dialog));
}

void WindowPresenter::MeasureTexts(DialogRuntime& dialog) {
  const int text_height = dialog.form().Integer("TextHeight", 13);
  for (const auto& c : dialog.controls()) {
    ControlState& s = *c;
    if ((s.kind() != ControlKind::kMemo && s.kind() != ControlKind::kRichEdit) || !s.visible ||
        !s.read_only || s.max_length == kReadToEnd) {
      continue;
    }
    std::string shown = s.text;
    if (s.kind() == ControlKind::kRichEdit) {
      if (!s.page.empty() && platform::LowerCase(s.page).ends_with(".rtf")) {
        dialog.engine().files().ReadFile(s.page, &shown);
      }
      if (shown.rfind("{\\rtf", 0) == 0) shown = RtfPlainText(shown);
    }
    const Component& k = s.component();
    const ScrollMetrics m =
        EstimateTextScroll(shown, k.Integer("Width"), k.Integer("Height"), text_height);
    dialog.ContentMeasured(s.name(), m);
    if (s.max_length == kReadToEnd) {
      windows_.Note("  (" + s.name() + " shows its whole text: read)");
    }
  }
}

bool WindowPresenter::HandleOneMessage() {
  if (!active_) return false;
  platform::WindowInput input;
  switch (windows_.PumpOne(handles_[active_], &input)) {
    case platform::WindowService::Pumped::kTimer:
      return true;
    case platform::WindowService::Pumped::kInput:
      return Apply(*active_, input);
    case platform::WindowService::Pumped::kNoInput:
      return false;
  }
  return false;
}

void WindowPresenter::ProcessPendingMessages() {
  windows_.ProcessPending();
  if (!active_) return;
  platform::WindowInput input;
  if (windows_.PollInput(handles_[active_], &input)) Apply(*active_, input);
}

bool WindowPresenter::Apply(DialogRuntime& dialog, const platform::WindowInput& input) {
  const auto before = VariableTable(variables_);
  const auto components_before = ComponentStates(dialog.engine().components());
  std::string why;
  const bool ok = Act(dialog, input, &why);
  if (!ok) {
    windows_.InputRejected(input, why);
    return false;
  }
  if (!why.empty()) windows_.Note("  (" + why + ")");
  meta_.Sync(dialog);
  for (const auto& [name, value] : VariableTable(variables_)) {
    auto old = before.find(name);
    if (old == before.end() || old->second != value) {
      windows_.Note("  variable " + name + " = \"" + value + "\"");
    }
  }
  // A tree or check list changes the selection, not a variable: its changes are shown too.
  for (const auto& [name, state] : ComponentStates(dialog.engine().components())) {
    auto old = components_before.find(name);
    if (old == components_before.end() || old->second != state) {
      windows_.Note("  component " + name + " = \"" + state + "\"");
    }
  }
  Repaint(dialog);
  return true;
}

// Acts on an input. False with the reason when the input names what the dialog does not have;
// true with a remark in *why when the dialog ignored it (a disabled or hidden control).
bool WindowPresenter::Act(DialogRuntime& dialog, const platform::WindowInput& input,
                          std::string* why) {
  const std::string& verb = input.verb;
  const std::string dialog_name = dialog.form_state().name();
  if (verb == "default") {
    // Enter: the default button, when one can take it.
    for (const auto& c : dialog.controls()) {
      if (platform::SameText(c->Get("Default").value_or(""), "True") && c->enabled && c->visible) {
        dialog.Click(c->name());
        return true;
      }
    }
    *why = "no default button to take";
    return true;
  }
  if (verb == "close") {
    if (!dialog.RequestClose()) {
      *why = "the dialog cannot be closed";
      // Refused while the engine's icon is in the notification area: back from the tray.
      if (windows_.tray_icon_shown() && on_tray_click) on_tray_click();
    }
    return true;
  }
  if (verb == "minimise") {
    if (on_minimised) on_minimised(dialog);
    return true;
  }
  if (verb == "tray") {
    if (!windows_.tray_icon_shown()) {
      *why = "there is no icon in the notification area";
      return false;
    }
    if (on_tray_click) on_tray_click();
    return true;
  }
  ControlState* s = dialog.Find(input.control);
  if (!s) {
    *why = "the dialog " + dialog_name + " has no control " + input.control;
    return false;
  }
  if (!s->enabled || !s->visible) *why = "ignored: " + s->name() + " is disabled or hidden";
  const std::vector<std::string>& a = input.args;
  if (verb == "click") {
    dialog.Click(s->name());
  } else if (verb == "type") {
    dialog.SetText(s->name(), a.empty() ? std::string() : a[0]);
  } else if (verb == "check" || verb == "uncheck") {
    dialog.Check(s->name(), verb == "check");
  } else if (verb == "pick") {
    std::vector<int> indexes;
    for (const std::string& word : a) {
      int index = FindItem(s->items, word);
      if (index < 0) {
        *why = s->name() + " has no item " + word;
        return false;
      }
      indexes.push_back(index);
    }
    if (indexes.size() == 1) {
      dialog.PickItem(s->name(), indexes[0]);
    } else {
      dialog.PickItems(s->name(), indexes);
    }
  } else if (verb == "checkitem") {
    int index = FindItem(s->items, a[0]);
    if (index < 0) {
      *why = s->name() + " has no item " + a[0];
      return false;
    }
    dialog.CheckItem(s->name(), index, platform::SameText(a[1], "on"));
  } else if (verb == "node") {
    int node = -1;
    auto n = platform::ParseDecimal32(a[0]);
    if (n && *n >= 0 && static_cast<size_t>(*n) < s->nodes.size()) node = *n;
    for (size_t i = 0; node < 0 && i < s->nodes.size(); ++i) {
      if (platform::SameText(s->NodePath(static_cast<int>(i)), a[0])) node = static_cast<int>(i);
    }
    if (node < 0) {
      *why = s->name() + " has no node " + a[0];
      return false;
    }
    dialog.SelectNode(s->name(), node);
  } else if (verb == "menu") {
    // The context-menu key opens the component menu on the selected node.
    if (!dialog.TreeKeyUp(s->name(), 93)) {
      if (!why->empty()) return true;  // ignored: disabled or hidden
      *why = "the component menu of " + s->name() + " did not open";
      return false;
    }
    const auto menu = ComponentMenuItems(dialog.engine().hooks());
    int item = -1;
    auto n = platform::ParseDecimal32(a[0]);
    if (n && *n >= 0 && static_cast<size_t>(*n) < menu.size() && menu[*n].visible) item = *n;
    for (size_t i = 0; item < 0 && i < menu.size(); ++i) {
      if (menu[i].visible && platform::SameText(menu[i].caption, a[0])) {
        item = static_cast<int>(i);
      }
    }
    if (item < 0) {
      *why = "the component menu has no item " + a[0];
      return false;
    }
    dialog.ChooseComponentMenuItem(s->name(), item);
  } else if (verb == "slide") {
    dialog.SetPosition(s->name(), platform::ParseDecimal64(a[0]).value_or(0));
  } else if (verb == "link") {
    const std::string link = a.empty() ? std::string() : a[0];
    if (s->kind() != ControlKind::kHtmlViewer) {
      *why = s->name() + " is no page viewer";
      return false;
    }
    if (dialog.HotSpotClick(s->name(), link)) {
      if (why->empty()) *why = "the engine handled the link";
    } else {
      const std::string before = s->page;
      dialog.FollowLink(s->name(), link);
      if (why->empty()) {
        *why = s->page != before ? "the viewer shows " + s->page : "the viewer followed the link";
      }
    }
  } else if (verb == "scroll") {
    ScrollMetrics m;
    m.has_vertical_bar = true;
    m.position = platform::ParseDecimal64(a[1]).value_or(0);
    m.page = a.size() > 2 ? platform::ParseDecimal64(a[2]).value_or(0) : 0;
    m.maximum = a.size() > 3 ? platform::ParseDecimal64(a[3]).value_or(0) : m.position + m.page;
    dialog.Scrolled(s->name(), m, !platform::SameText(a[0], "key"));
  } else {
    *why = "not an input: " + verb;
    return false;
  }
  return true;
}

}  // namespace corvane::ui
