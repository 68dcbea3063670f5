#include "ui/dialog_runtime.h"

#include <algorithm>
#include <limits>

#include "image/failure.h"
#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/dialog_system.h"

namespace corvane::ui {

using interp::CollapseBackslashes;
using interp::NewlinesToToken;
using interp::TokenToNewlines;
using platform::SameText;

namespace {

constexpr char kCaptionSuffix[] = " - Corvane Wizard";
constexpr char kCancelQuestion[] = "Are you sure you want to cancel?";
constexpr int kContextMenuKey = 93;
constexpr int32_t kLongText = 1048576;

// The folder part of a path, with its trailing backslash ("" when there is none).
std::string FolderPart(std::string_view path) {
  size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

bool IsButtonLike(ControlKind k) {
  switch (k) {
    case ControlKind::kLabel:
    case ControlKind::kButton:
    case ControlKind::kSpeedButton:
    case ControlKind::kBitButton:
    case ControlKind::kImage:
    case ControlKind::kShape:
      return true;
    default:
      return false;
  }
}

const char* ClickHandlerOf(ControlKind k) {
  switch (k) {
    case ControlKind::kLabel:
      return "Label1Click";
    case ControlKind::kButton:
      return "Button1Click";
    case ControlKind::kSpeedButton:
      return "SpeedButton1Click";
    case ControlKind::kBitButton:
      return "BitBtn1Click";
    case ControlKind::kImage:
      return "Image1Click";
    case ControlKind::kShape:
      return "Shape1MouseUp";
    default:
      return "";
  }
}

const char* FolderHandlerOf(ControlKind k) {
  switch (k) {
    case ControlKind::kDirectoryList:
      return "DirectoryListBox1Change";
    case ControlKind::kShellTree:
      return "PTShellTree1Change";
    case ControlKind::kShellCombo:
      return "PTShellCombo1Change";
    case ControlKind::kShellList:
      return "PTShellList1FolderChanged";
    default:
      return "";
  }
}

// The bound value as lines: line breaks, and "$NEWLINE$" tokens left where NEWLINE is not
// defined, both separate lines; empty lines are dropped.
std::vector<std::string> ValueLines(const std::string& value) {
  std::vector<std::string> lines;
  for (std::string& line : SplitTextLines(TokenToNewlines(value))) {
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

std::string EachFollowedByNewline(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& t : texts) out += t + "$NEWLINE$";
  return out;
}

// A progress number that a 32-bit control cannot show.
bool FitsControl(int64_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

std::optional<std::string> ResultCodeText(int code, const std::string& result_text) {
  switch (code) {
    case result::kNotModal:
      return "NOTMODAL";
    case result::kCancel:
      return "CANCEL";
    case result::kNext:
      return "NEXT";
    case result::kBack:
      return "BACK";
    case result::kNamed:
      return platform::UpperCase(result_text);
    default:
      return std::nullopt;
  }
}

WizardDirection DirectionOf(int code) {
  switch (code) {
    case result::kNext:
      return WizardDirection::kNext;
    case result::kBack:
      return WizardDirection::kBack;
    case result::kCancel:
      return WizardDirection::kLeave;
    default:
      return WizardDirection::kStay;
  }
}

const std::vector<ComponentMenuItem>& ComponentMenuItems() {
  static const std::vector<ComponentMenuItem> items = {
      {"Will be &installed on local hard drive", 4, true},
      {"&Entire feature will be installed on local hard drive", 5, true},
      {"Entire feature will be &unavailable", 2, true},
      {"Do Not Install Component &Only", 2, false},
      {"Do &Not Install Component or Sub Components", 3, false},
  };
  return items;
}

// ---------------------------------------------------------------------------------------------
// DialogEngine

DialogEngine::DialogEngine(interp::Variables& variables, platform::FileSystem& files,
                           platform::UserInterface& ui, DialogHooks* hooks,
                           ComponentTable* components, DialogSystem* templates)
    : variables_(variables),
      files_(files),
      ui_(ui),
      hooks_(hooks ? hooks : &default_hooks_),
      components_(components),
      templates_(templates) {}

bool DialogEngine::FolderExists(const std::string& path) {
  return !path.empty() && files_.DirectoryExists(path);
}

bool DialogEngine::FileExists(const std::string& path) {
  return !path.empty() && files_.FileExists(path);
}

void DialogEngine::TakeSnapshot() {
  std::string d;
  if (variables_.IsVariableDefined("TARGETDIR")) {
    d = variables_.ExpandPath(variables_.GetVariable("TARGETDIR"));
  }
  snapshot_ = TakeDestinationSnapshot(d, [this](const std::string& p) { return FolderExists(p); });
}

void DialogEngine::StoreTemplate(const std::string& key, const std::string& text) {
  if (templates_) {
    templates_->StoreTemplate(key, text);
  } else {
    own_templates_.emplace(platform::UpperCase(key), text);
  }
}

std::string DialogEngine::FetchTemplate(const std::string& key) const {
  if (templates_) return templates_->FetchTemplate(key);
  auto it = own_templates_.find(platform::UpperCase(key));
  return it == own_templates_.end() ? std::string() : it->second;
}

// ---------------------------------------------------------------------------------------------
// DialogRuntime: construction and lookups

DialogRuntime::DialogRuntime(DialogEngine& engine, PoolTemplate& form)
    : engine_(engine), form_(form) {
  dialog_key_ = form.GetText("Hint").value_or(std::string());
  states_.push_back(std::make_unique<ControlState>(form, ControlKind::kForm));
  for (const auto& c : form.all_components()) {
    if (c->is_form_designer()) continue;
    states_.push_back(std::make_unique<ControlState>(*c, ClassifyControl(*c)));
  }
}

ControlState* DialogRuntime::Find(std::string_view control) {
  if (control.empty()) return nullptr;
  for (auto& s : states_) {
    if (SameText(s->name(), control)) return s.get();
  }
  return nullptr;
}

const ControlState* DialogRuntime::Find(std::string_view control) const {
  return const_cast<DialogRuntime*>(this)->Find(control);
}

ControlState* DialogRuntime::Input(std::string_view control) {
  ControlState* s = Find(control);
  if (!s || s->kind() == ControlKind::kForm || !s->enabled || !s->visible) return nullptr;
  return s;
}

bool DialogRuntime::Live(const ControlState& s, std::string_view handler) const {
  return !engine_.events_suppressed() && s.Has(handler);
}

std::string DialogRuntime::BoundName(const ControlState& s) const {
  return interp::ResultVariableName(s.hint());
}

bool DialogRuntime::IsBound(const ControlState& s) const {
  std::string name = BoundName(s);
  return !name.empty() && engine_.variables().IsVariableDefined(name);
}

std::string DialogRuntime::BoundValue(const ControlState& s) const {
  interp::Variables& v = engine_.variables();
  return v.ExpandVariables(v.GetVariable(BoundName(s)));
}

void DialogRuntime::Write(const ControlState& s, std::string_view value,
                          std::string_view handler) {
  std::string name = BoundName(s);
  if (name.empty()) return;
  engine_.variables().SetVariable(platform::UpperCase(name), value, handler);
}

std::string DialogRuntime::TemplateKey(const ControlState& s) const {
  return dialog_key_ + "." + (s.kind() == ControlKind::kForm ? dialog_key_ : s.name());
}

std::string DialogRuntime::ExpandTemplate(ControlState& s, const std::string& current) {
  const std::string key = TemplateKey(s);
  engine_.StoreTemplate(key, current);
  std::string text = engine_.FetchTemplate(key);
  DialogHooks& hooks = engine_.hooks();
  if (hooks.LocalisationActive()) {
    const std::string name = s.kind() == ControlKind::kForm ? dialog_key_ : s.name();
    text = hooks.TranslateDialogText(dialog_key_, name, text);
  }
  return engine_.variables().ExpandVariables(text);
}

void DialogRuntime::ExpandCaption(ControlState& s) { s.text = ExpandTemplate(s, s.text); }

// ---------------------------------------------------------------------------------------------
// Preparation

void DialogRuntime::Prepare() {
  interp::Variables& vars = engine_.variables();
  std::string target;
  if (vars.IsVariableDefined("TARGETDIR")) target = vars.ExpandPath(vars.GetVariable("TARGETDIR"));
  target = DeepestExistingFolder(
      target, [this](const std::string& p) { return engine_.FolderExists(p); });
  {
    DialogEngine::Suppress suppress(engine_);
    tracked_memo_.clear();
    tracked_rich_edit_.clear();
    for (size_t i = 1; i < states_.size(); ++i) PrepareControl(*states_[i], target);
    ExpandCaption(form_state());
    ApplyCaptionSuffix();
    RefreshComputedTexts();
    EvaluateRules();
  }
  prepared_ = true;
  // The initial selections of trees and check lists reach their variables.
  for (auto& s : states_) {
    if (s->kind() == ControlKind::kTreeView) {
      if (s->selected_node >= 0 && Live(*s, "TreeView1Change")) TreeViewChange(*s);
    } else if (s->kind() == ControlKind::kCheckList) {
      if (Live(*s, "CheckListBox1Click")) CheckListClick(*s);
      if ((s->tag() == 1 || !s->hint().empty()) && Live(*s, "CheckListBox1ClickCheck")) {
        CheckListClickCheck(*s);
      }
    }
  }
}

void DialogRuntime::ApplyCaptionSuffix() {
  std::string& caption = form_state().text;
  if (engine_.variables().GetVariable("VORTLOGO") == "TRUE") {
    for (size_t at; (at = caption.find(kCaptionSuffix)) != std::string::npos;) {
      caption.erase(at, sizeof(kCaptionSuffix) - 1);
    }
  } else if (caption.find(kCaptionSuffix) == std::string::npos) {
    caption += kCaptionSuffix;
  }
}

void DialogRuntime::PrepareControl(ControlState& s, const std::string& target_folder) {
  interp::Variables& vars = engine_.variables();
  const bool bound = IsBound(s);
  const int32_t tag = s.tag();
  const bool target_exists = engine_.FolderExists(target_folder);
  switch (s.kind()) {
    case ControlKind::kFileList:
      s.handlers = {"FileListBox1Change"};
      if (bound) {
        std::string folder = FolderPart(BoundValue(s));
        if (engine_.FolderExists(folder)) ShowFileListFolder(s, folder);
      }
      if (tag == 1 && target_exists) ShowFileListFolder(s, target_folder);
      break;
    case ControlKind::kShellList:
      s.handlers = {"PTShellList1Change", "PTShellList1FolderChanged"};
      if (bound) {
        std::string folder = FolderPart(BoundValue(s));
        if (engine_.FolderExists(folder)) s.folder = folder;
      }
      if (tag == 1 && target_exists) s.folder = target_folder;
      break;
    case ControlKind::kDirectoryList:
    case ControlKind::kShellTree:
    case ControlKind::kShellCombo:
      s.handlers = {FolderHandlerOf(s.kind())};
      if (bound) {
        std::string value = BoundValue(s);
        if (engine_.FolderExists(value)) s.folder = value;
      }
      if (tag == 1 && target_exists) {
        // The location selector is given only the drive of the folder; it shows its root.
        s.folder = s.kind() == ControlKind::kShellCombo ? DrivePart(target_folder) : target_folder;
      }
      break;
    case ControlKind::kDriveCombo: {
      s.handlers = {"DriveComboBox1Change"};
      auto show_drive = [&](const std::string& path) {
        if (path.empty()) return;
        std::string root = std::string(1, path[0]) + ":\\";
        if (engine_.FolderExists(root)) s.folder = root;
      };
      if (bound) show_drive(BoundValue(s));
      if (tag == 1 && target_exists) show_drive(target_folder);
      break;
    }
    case ControlKind::kLabel:
      s.handlers = {"Label1Click"};
      ExpandCaption(s);
      break;
    case ControlKind::kCaptioned:
      ExpandCaption(s);
      break;
    case ControlKind::kStaticText:
      ExpandCaption(s);
      if (tag == 1) s.text = vars.GetVariable("PROGRESSTEXT");
      break;
    case ControlKind::kProgressBar:
    case ControlKind::kGauge: {
      if (tag != 1) break;
      const bool exists = vars.IsVariableDefined("PROGRESS");
      const std::string v = vars.GetVariable("PROGRESS");
      if (s.kind() == ControlKind::kProgressBar ? v.empty() : !exists) break;
      auto n = platform::ParseDecimal64(v);
      s.position = !n || *n > 100 ? 100 : *n < 0 ? 0 : *n;
      s.ClampPosition();
      break;
    }
    case ControlKind::kTrackBar:
      s.handlers = {"TrackBar1Change"};
      if (bound) {
        std::string value = BoundValue(s);
        auto n = platform::ParseDecimal32(value);
        if (!n) throw image::ScriptFailure("'" + value + "' is not a valid integer value");
        s.position = *n;
        s.ClampPosition();
      }
      break;
    case ControlKind::kButton:
    case ControlKind::kSpeedButton:
    case ControlKind::kBitButton:
      s.handlers = {ClickHandlerOf(s.kind())};
      ExpandCaption(s);
      break;
    case ControlKind::kImage:
    case ControlKind::kShape:
      s.handlers = {ClickHandlerOf(s.kind())};
      break;
    case ControlKind::kMemo:
    case ControlKind::kRichEdit:
      PrepareMemo(s);
      break;
    case ControlKind::kCheckBox:
    case ControlKind::kRadioButton:
      s.handlers = {s.kind() == ControlKind::kCheckBox ? "CheckBox1Click" : "RadioButton1Click"};
      if (bound) s.checked = interp::TextToBool(BoundValue(s));
      ExpandCaption(s);
      break;
    case ControlKind::kListBox: {
      PrepareList(s);
      s.handlers = {"ListBox1Click"};
      if (bound) {
        // The value holds one line per selected item (what the click handler writes).
        std::vector<std::string> lines = ValueLines(BoundValue(s));
        const bool multi = s.component().GetText("MultiSelect") == "True";
        for (size_t i = 0; i < s.items.size(); ++i) {
          bool match = std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return SameText(l, s.items[i]);
          });
          if (!match) continue;
          if (s.item_index < 0) s.item_index = static_cast<int>(i);
          if (!multi) break;
          s.item_selected[i] = true;
        }
        if (s.item_index >= 0) s.item_selected[s.item_index] = true;
      }
      break;
    }
    case ControlKind::kHtmlViewer:
      s.handlers = {"htmlLite1MetaRefresh", "htmlLite1HotSpotClick"};
      if (tag == 1) LoadDefaultPage(s);
      break;
    case ControlKind::kMovie:
      if (tag == 1) LoadDefaultPage(s);
      break;
    case ControlKind::kAnimation:
      s.component().SetText("Active", "True");
      break;
    case ControlKind::kTreeView:
      s.handlers = {"TreeView1Change"};
      s.read_only = true;
      for (TreeNode& n : s.nodes) n.text = vars.ExpandVariables(n.text);
      if (tag == 1) {
        s.handlers.insert({"TreeView1MouseUp", "TreeView1KeyUp"});
        BuildComponentTree(s);
      }
      break;
    case ControlKind::kCheckList:
      PrepareList(s);
      s.handlers = {"CheckListBox1Click"};
      if (bound) {
        for (const std::string& line : ValueLines(BoundValue(s))) {
          for (size_t i = 0; i < s.items.size(); ++i) {
            if (SameText(line, s.items[i])) s.item_checked[i] = true;
          }
        }
      }
      if (tag == 1) {
        s.handlers.insert("CheckListBox1ClickCheck");
        FillComponentList(s);
      } else if (!s.hint().empty()) {
        s.handlers.insert("CheckListBox1ClickCheck");
      }
      break;
    case ControlKind::kComboBox:
      PrepareList(s);
      s.handlers = {"ComboBox1Change"};
      if (!s.hint().empty()) s.handlers.insert("ComboBox1Click");
      if (bound) {
        std::string value = BoundValue(s);
        if (s.component().GetText("Style") == "csDropDownList") {
          s.text.clear();
          for (size_t i = 0; i < s.items.size(); ++i) {
            if (SameText(s.items[i], value)) {
              s.SelectOnly(static_cast<int>(i));
              s.text = s.items[i];
              break;
            }
          }
        } else {
          s.text = value;
        }
      }
      break;
    case ControlKind::kEdit:
      PrepareEdit(s, false);
      break;
    case ControlKind::kMaskEdit:
      PrepareEdit(s, true);
      break;
    case ControlKind::kForm:
    case ControlKind::kUnbound:
      break;
  }
}

void DialogRuntime::PrepareList(ControlState& s) {
  std::vector<std::string> items;
  for (std::string& item : SplitTextLines(ExpandTemplate(s, JoinLines(s.items)))) {
    if (!item.empty()) items.push_back(std::move(item));
  }
  s.items = std::move(items);
  s.item_selected.assign(s.items.size(), false);
  s.item_checked.assign(s.items.size(), false);
  s.item_index = -1;
}

void DialogRuntime::PrepareEdit(ControlState& s, bool mask) {
  interp::Variables& vars = engine_.variables();
  s.handlers = mask ? std::set<std::string>{"MaskEdit1Change", "MaskEdit1KeyUp"}
                    : std::set<std::string>{"Edit1Change"};
  const std::string key = TemplateKey(s);
  engine_.StoreTemplate(key, s.text);
  s.text = engine_.FetchTemplate(key);
  DialogHooks& hooks = engine_.hooks();
  if (hooks.LocalisationActive()) s.text = hooks.TranslateDialogText(dialog_key_, s.name(), s.text);
  if (IsBound(s)) {
    std::string value = BoundValue(s);
    s.text = mask ? value : CollapseBackslashes(value);
  }
  if (s.text.empty()) {
    static const char* const kDefaults[] = {"", "$STARTMENU$", "$TARGETDIR$", "$USERNAME$",
                                            "$USERCOMPANY$"};
    const int32_t tag = s.tag();
    if (tag >= 1 && tag <= 4) {
      s.text = mask ? vars.ExpandVariables(kDefaults[tag]) : vars.ExpandPath(kDefaults[tag]);
    }
  }
}

void DialogRuntime::PrepareMemo(ControlState& s) {
  interp::Variables& vars = engine_.variables();
  const bool rich = s.kind() == ControlKind::kRichEdit;
  const std::string key = TemplateKey(s);
  engine_.StoreTemplate(key, s.text);
  s.text = engine_.FetchTemplate(key);
  const std::string hint = s.hint();
  s.read_only = hint.empty();
  s.handlers.clear();
  if (!hint.empty()) s.handlers.insert(rich ? "RichEdit1Change" : "Memo1Change");
  const int32_t tag = s.tag();
  if ((tag == 1 || tag == 2) && s.max_length < kLongText) s.max_length = kLongText;
  if (IsBound(s)) {
    s.text = TokenToNewlines(CollapseBackslashes(BoundValue(s)));
  } else if (hint.empty()) {
    s.text = TokenToNewlines(vars.ExpandVariables(s.text));
  }
  if (tag == 1 || tag == 2) LoadDefaultPage(s);
  if (rich) s.scroll.has_vertical_bar = true;
  if (s.read_only) {
    std::string& slot = rich ? tracked_rich_edit_ : tracked_memo_;
    if (slot.empty()) {
      slot = s.name();
      if (!s.scroll.has_vertical_bar) s.max_length = kReadToEnd;
    }
  }
}

void DialogRuntime::LoadDefaultPage(ControlState& s) {
  const std::string lang = engine_.variables().GetVariable("LANGUAGE");
  const int32_t tag = s.tag();
  const std::string base = tag == 2 ? "license" : "readme";
  std::vector<std::string> names;
  std::string hint;
  switch (s.kind()) {
    case ControlKind::kMemo:
      names = {base + "." + lang + ".txt", base + ".txt"};
      hint = "Add a " + base + "." + lang + ".txt or " + base +
             ".txt file to your project as a support file/creative to display it here.";
      break;
    case ControlKind::kRichEdit:
      names = {base + "." + lang + ".rtf", base + ".rtf", base + "." + lang + ".txt",
               base + ".txt"};
      hint = "Add a " + base + "." + lang + ".rtf or " + base + ".rtf, or " + base + "." + lang +
             ".txt or " + base + ".txt file to your project as a support file/creative to "
             "display it here.";
      break;
    case ControlKind::kHtmlViewer:
      names = {"index." + lang + ".htm", "index.htm"};
      hint =
          "Add an index.htm file to your project to display it here, along with any other "
          "additional support/linked files.";
      break;
    case ControlKind::kMovie:
      names = {"movie." + lang + ".swf", "movie.swf"};
      hint = "Add a movie.swf file to your project to display it here.";
      break;
    default:
      return;
  }
  for (const std::string& name : names) {
    const std::string path = engine_.dialog_folder + name;
    if (!engine_.FileExists(path)) continue;
    s.page = path;
    const bool text_file = s.kind() == ControlKind::kMemo ||
                           (s.kind() == ControlKind::kRichEdit && name.ends_with(".txt"));
    std::string contents;
    if (text_file && engine_.files().ReadFile(path, &contents) == platform::Status::kOk) {
      s.text = contents;
    }
    return;
  }
  s.page.clear();
  s.text = hint;
}

void DialogRuntime::ShowFileListFolder(ControlState& s, const std::string& folder) {
  s.folder = folder;
  std::vector<platform::FileEntry> entries;
  std::string mask = s.component().GetText("Mask").value_or("*.*");
  std::vector<std::string> files;
  if (engine_.files().List(folder, mask.empty() ? "*.*" : mask, &entries) == platform::Status::kOk) {
    for (const auto& e : entries) {
      if ((e.attributes & platform::attr::kDirectory) == 0) files.push_back(e.name);
    }
  }
  std::sort(files.begin(), files.end(),
            [](const std::string& a, const std::string& b) { return platform::CompareText(a, b) < 0; });
  s.SetItems(std::move(files));
  s.SelectOnly(-1);
  s.file.clear();
}

void DialogRuntime::BuildComponentTree(ControlState& s) {
  s.nodes.clear();
  s.selected_node = -1;
  ComponentTable* table = engine_.components();
  if (!table) return;
  const auto& names = table->names();
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (SameText(name, kPredefinedComponent) || table->IsDeleted(name) ||
        table->IsEffectivelyHidden(name)) {
      continue;
    }
    int parent = -1;
    size_t start = 0;
    while (true) {
      size_t slash = name.find('\\', start);
      std::string segment =
          name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
      int found = -1;
      for (size_t n = 0; n < s.nodes.size(); ++n) {
        if (s.nodes[n].parent == parent && SameText(s.nodes[n].text, segment)) {
          found = static_cast<int>(n);
          break;
        }
      }
      if (found < 0) {
        s.nodes.push_back(TreeNode{segment, parent, -1, -1, false});
        found = static_cast<int>(s.nodes.size()) - 1;
      }
      parent = found;
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    s.nodes[parent].image = table->IsSelected(static_cast<long>(i)) ? 1 : 0;
    s.nodes[parent].component = static_cast<long>(i);
  }
  for (TreeNode& n : s.nodes) n.expanded = true;
  if (!s.nodes.empty()) s.selected_node = 0;
}

void DialogRuntime::FillComponentList(ControlState& s) {
  std::vector<std::string> items;
  std::vector<bool> checks;
  if (ComponentTable* table = engine_.components()) {
    const auto& names = table->names();
    const auto& hidden = table->hidden();
    for (size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      bool in_hidden = std::any_of(hidden.begin(), hidden.end(),
                                   [&](const std::string& h) { return SameText(h, name); });
      if (SameText(name, kPredefinedComponent) || table->IsDeleted(name) || in_hidden ||
          name.find('\\') != std::string::npos) {
        continue;
      }
      items.push_back(name);
      checks.push_back(table->IsSelected(static_cast<long>(i)));
    }
  }
  s.items = std::move(items);
  s.item_checked = std::move(checks);
  s.item_selected.assign(s.items.size(), false);
  s.item_index = -1;
}

// ---------------------------------------------------------------------------------------------
// Freezing and showing

void DialogRuntime::Freeze() {
  {
    DialogEngine::Suppress suppress(engine_);
    for (auto& s : states_) {
      s->handlers.clear();
      if (s->kind() == ControlKind::kTreeView) s->read_only = true;
      if (s->kind() == ControlKind::kMovie) s->page.clear();
    }
    tracked_memo_.clear();
    tracked_rich_edit_.clear();
    menu_control_.clear();
  }
  prepared_ = false;
  RefreshComputedTexts();
  EvaluateRules();
}

void DialogRuntime::Shown() { engine_.TakeSnapshot(); }

// ---------------------------------------------------------------------------------------------
// Rules, computed texts, live refresh, destination update

std::string DialogRuntime::ResolveRuleValue(const std::string& value) {
  size_t dot = value.find('.');
  if (dot == std::string::npos) return value;
  if (const ControlState* c = Find(std::string_view(value).substr(0, dot))) {
    if (auto v = c->Get(std::string_view(value).substr(dot + 1))) return *v;
  }
  return value;
}

void DialogRuntime::EvaluateRules() {
  if (evaluating_rules_) return;
  evaluating_rules_ = true;
  for (const std::string& line : form_.rules()) {
    PropertyRule rule = ParsePropertyRule(line);
    const std::string compare = ResolveRuleValue(rule.compare_value);
    std::string source;
    if (const ControlState* c = Find(rule.source_control)) {
      source = c->Get(rule.source_property).value_or(std::string());
    }
    if ((source == compare) == rule.not_equal) continue;
    if (ControlState* target = Find(rule.target_control)) {
      target->Set(rule.target_property, ResolveRuleValue(rule.new_value));
    }
  }
  evaluating_rules_ = false;
}

std::string DialogRuntime::ComputedText(int tag) {
  ComponentTable* table = engine_.components();
  if (!table) throw image::ScriptFailure("no component table");
  const SizeUnits units = engine_.hooks().Units();
  interp::Variables& vars = engine_.variables();
  auto free_space = [&]() -> int64_t {
    std::string target = vars.ExpandPath(vars.GetVariable("TARGETDIR"));
    if (target.empty()) return -1;
    std::string drive = DrivePart(target);
    uint64_t free_bytes = 0, total = 0;
    if (drive.empty() || engine_.files().GetDiskSpace(drive, &free_bytes, &total) !=
                             platform::Status::kOk) {
      throw image::ScriptFailure("no free space for " + target);
    }
    return static_cast<int64_t>(std::min<uint64_t>(free_bytes, INT64_MAX));
  };
  switch (tag) {
    case 2:
      return TokenToNewlines(table->Description(current_component_));
    case 3:
      return SizeText(table->Size(current_component_), units);
    case 4:
      return SizeText(table->RequiredSpace(), units);
    case 5:
      return SizeText(free_space(), units);
    case 6:
      return SizeText(free_space() - table->RequiredSpace(), units);
    default:
      return std::string();
  }
}

void DialogRuntime::RefreshComputedTexts() {
  for (auto& s : states_) {
    if (s->kind() != ControlKind::kStaticText) continue;
    const int32_t tag = s->tag();
    if (tag < 2 || tag > 6) continue;
    try {
      s->text = ComputedText(tag);
    } catch (const std::exception&) {
      s->text.clear();
    }
  }
}

void DialogRuntime::LiveRefresh() {
  DialogEngine::Suppress suppress(engine_);
  interp::Variables& vars = engine_.variables();
  for (auto& p : states_) {
    ControlState& s = *p;
    if (s.tag() != 100) continue;
    try {
      const std::string name = BoundName(s);
      std::string v = vars.IsVariableDefined(name) ? vars.ExpandPath(vars.GetVariable(name)) : "";
      switch (s.kind()) {
        case ControlKind::kEdit:
        case ControlKind::kMaskEdit:
          s.text = v;
          break;
        case ControlKind::kFileList:
          if (engine_.FileExists(v)) {
            if (!SameText(s.folder, FolderPart(v))) ShowFileListFolder(s, FolderPart(v));
            s.file = v;
            std::string file_name = v.substr(FolderPart(v).size());
            for (size_t i = 0; i < s.items.size(); ++i) {
              if (SameText(s.items[i], file_name)) s.SelectOnly(static_cast<int>(i));
            }
          } else if (engine_.FolderExists(v)) {
            ShowFileListFolder(s, v);
          }
          break;
        case ControlKind::kDirectoryList:
        case ControlKind::kShellTree:
        case ControlKind::kShellList:
        case ControlKind::kShellCombo:
          if (engine_.FolderExists(v)) s.folder = v;
          break;
        case ControlKind::kDriveCombo:
          if (!v.empty()) {
            std::string root = std::string(1, v[0]) + ":\\";
            if (engine_.FolderExists(root)) s.folder = root;
          }
          break;
        default:
          break;
      }
    } catch (const std::exception&) {
      // A control that cannot show its value keeps what it showed.
    }
  }
}

void DialogRuntime::UpdateDestination(const std::string& chosen) {
  const std::string destination = UpdatedDestination(engine_.snapshot(), chosen);
  for (auto& s : states_) {
    if (s->kind() != ControlKind::kEdit || s->tag() != 2) continue;
    s->text = destination;
    if (Live(*s, "Edit1Change")) EditChange(*s, false);
  }
  RefreshComputedTexts();
  EvaluateRules();
}

// ---------------------------------------------------------------------------------------------
// Handlers

void DialogRuntime::AutoAdvance(const ControlState& s) {
  if (s.max_length == 0 || s.text.size() != static_cast<size_t>(s.max_length)) return;
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

void DialogRuntime::CheckListClickCheck(ControlState& s) {
  if (s.tag() == 1) {
    if (ComponentTable* table = engine_.components()) {
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
                                        const std::string& value,
                                        const std::string& destination) {
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
          kCancelQuestion, hooks.Caption(),
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
  ComponentTable* table = engine_.components();
  if (!table || s->selected_node < 0 || s->selected_node >= static_cast<int>(s->nodes.size())) {
    return false;
  }
  long comp = s->nodes[s->selected_node].component;
  if (comp < 0 || static_cast<size_t>(comp) >= table->names().size() ||
      table->IsEffectivelyLocked(table->names()[comp])) {
    return false;
  }
  menu_control_ = s->name();
  return true;
}

bool DialogRuntime::TreeKeyUp(std::string_view control, int key_code) {
  ControlState* s = Input(control);
  if (!s || key_code != kContextMenuKey || !Live(*s, "TreeView1KeyUp")) return false;
  ComponentTable* table = engine_.components();
  if (!table || s->selected_node < 0 || s->selected_node >= static_cast<int>(s->nodes.size())) {
    return false;
  }
  long comp = s->nodes[s->selected_node].component;
  if (comp < 0 || static_cast<size_t>(comp) >= table->names().size() ||
      table->IsEffectivelyLocked(table->names()[comp])) {
    return false;
  }
  menu_control_ = s->name();
  return true;
}

void DialogRuntime::ChooseComponentMenuItem(std::string_view control, int item) {
  ControlState* s = Find(control);
  if (!s || menu_control_.empty() || !SameText(menu_control_, control)) return;
  menu_control_.clear();
  const auto& items = ComponentMenuItems();
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
  if (selection_length == 0) AutoAdvance(*s);
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

// ---------------------------------------------------------------------------------------------
// Progress

void DialogRuntime::ShowProgress(const ProgressValues& values) {
  interp::Variables& vars = engine_.variables();
  for (auto& p : states_) {
    ControlState& s = *p;
    const ControlKind k = s.kind();
    const int32_t tag = s.tag();
    if (k == ControlKind::kLabel || k == ControlKind::kButton || k == ControlKind::kBitButton) {
      s.handlers.insert(ClickHandlerOf(k));
    }
    const bool captioned = k == ControlKind::kLabel || k == ControlKind::kCaptioned ||
                           k == ControlKind::kButton || k == ControlKind::kBitButton ||
                           (k == ControlKind::kStaticText && tag != 1);
    if (captioned) {
      std::string expanded = vars.ExpandVariables(engine_.FetchTemplate(TemplateKey(s)));
      if (expanded != s.text) s.text = expanded;
    }
    if (k == ControlKind::kStaticText && tag == 1) s.text = values.text;
    if (k == ControlKind::kProgressBar && tag == 1) {
      std::string mode = vars.ExpandVariables(vars.GetVariable("PROGRESSMODE"));
      if (mode == "MARQUEE") {
        s.marquee = true;
      } else {
        s.marquee = false;
        int64_t mn = values.minimum, mx = values.maximum, pos = values.position;
        if (mx >= int64_t{2147483648}) {
          mn /= 1024;
          mx /= 1024;
          pos /= 1024;
        }
        if (FitsControl(mn) && FitsControl(mx) && FitsControl(pos)) {
          s.minimum = mn;
          s.maximum = mx;
          s.position = pos;
          s.ClampPosition();
        } else {
          s.position = s.maximum;
        }
      }
    }
    if ((k == ControlKind::kProgressBar || k == ControlKind::kGauge) && tag == 100) {
      s.minimum = 0;
      s.maximum = 100;
      auto v = platform::ParseDecimal64(vars.ExpandVariables("$" + BoundName(s) + "$"));
      if (!v || !FitsControl(*v)) {
        s.position = s.maximum;
      } else if (*v != s.position) {
        s.position = *v;
        s.ClampPosition();
      }
    }
    if (k == ControlKind::kGauge && tag == 1) {
      if (FitsControl(values.minimum) && FitsControl(values.maximum) &&
          FitsControl(values.position)) {
        s.minimum = values.minimum;
        s.maximum = values.maximum;
        s.position = values.position;
        s.ClampPosition();
      } else {
        s.position = s.maximum;
      }
    }
  }
  EvaluateRules();
}

}  // namespace corvane::ui

// ---------------------------------------------------------------------------------------------
// HTML viewer links and meta refresh

namespace corvane::ui {
namespace {

bool ContainsText(std::string_view text, std::string_view part) {
  return platform::FindText(text, part) != std::string::npos;
}

// A file link's target as a path: "file:" forms turned into a path, relative names taken
// against the page's folder.
std::string ResolveTarget(std::string target, const std::string& page_folder) {
  for (std::string_view prefix : {"file:///", "file://", "file:"}) {
    if (target.size() >= prefix.size() && SameText(target.substr(0, prefix.size()), prefix)) {
      target.erase(0, prefix.size());
      std::replace(target.begin(), target.end(), '/', '\\');
      std::replace(target.begin(), target.end(), '|', ':');
      break;
    }
  }
  const bool absolute = (target.size() >= 2 && target[1] == ':') ||
                        (!target.empty() && target[0] == '\\');
  return absolute ? target : page_folder + target;
}

std::string Extension(std::string_view path) {
  size_t dot = path.rfind('.');
  size_t slash = path.rfind('\\');
  if (dot == std::string_view::npos || (slash != std::string_view::npos && slash > dot)) return "";
  return platform::UpperCase(path.substr(dot));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The text between <title> and </title>, letter case of the tags ignored.
std::string PageTitle(const std::string& html) {
  size_t open = platform::FindText(html, "<title>");
  if (open == std::string::npos) return std::string();
  open += 7;
  size_t close = platform::FindText(html, "</title>", open);
  if (close == std::string::npos) return std::string();
  return html.substr(open, close - open);
}

}  // namespace

LinkAction ClassifyLink(std::string_view link, const std::string& page_folder) {
  LinkAction action;
  const size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon <= 1 || ContainsText(link, "FILE:")) {
    std::string u(link.substr(0, 255));
    size_t split = u.find(' ');
    if (split == std::string::npos) split = u.find('?');
    std::string target = split == std::string::npos ? u : u.substr(0, split);
    std::string parameters = split == std::string::npos ? "" : u.substr(split + 1);
    target = ResolveTarget(target, page_folder);
    const std::string ext = Extension(target);
    if (ext == ".WAV") {
      action.kind = LinkAction::kPlaySound;
      action.target = target;
    } else if (ext == ".EXE") {
      action.kind = LinkAction::kRun;
      action.target = target;
      action.parameters = parameters;
    }
    return action;
  }
  if (ContainsText(link, "MAILTO:") || ContainsText(link, "HTTP:")) {
    action.kind = LinkAction::kOpen;
    action.target.assign(link);
  }
  return action;
}

std::string MetaRefreshPath(std::string_view address) {
  std::string u(address);
  while (true) {
    size_t p = u.find('%');
    if (p == std::string::npos || p == 0 || u.size() - p - 1 < 2) break;
    int hi = HexDigit(u[p + 1]), lo = HexDigit(u[p + 2]);
    if (hi < 0 || lo < 0) break;
    u.replace(p, 3, 1, static_cast<char>(hi * 16 + lo));
  }
  if (u.find('/') != std::string::npos) {
    size_t at = platform::FindText(u, "file:///");
    size_t length = 8;
    if (at == std::string::npos) {
      at = platform::FindText(u, "file://");
      length = 7;
    }
    if (at != std::string::npos) u.erase(at, length);
    std::replace(u.begin(), u.end(), '|', ':');
    std::replace(u.begin(), u.end(), '/', '\\');
  }
  return u;
}

bool DialogRuntime::HotSpotClick(std::string_view control, std::string_view link) {
  ControlState* s = Input(control);
  if (!s || s->kind() != ControlKind::kHtmlViewer || !Live(*s, "htmlLite1HotSpotClick")) {
    return false;
  }
  std::string folder = s->page.empty() ? engine_.dialog_folder : FolderPart(s->page);
  LinkAction action = ClassifyLink(link, folder);
  DialogHooks& hooks = engine_.hooks();
  switch (action.kind) {
    case LinkAction::kFollow:
      return false;
    case LinkAction::kPlaySound:
      hooks.PlaySound(action.target);
      return true;
    case LinkAction::kRun:
      hooks.RunProgram(action.target + " " + action.parameters);
      return true;
    case LinkAction::kOpen:
      hooks.OpenDocument(action.target);
      return true;
  }
  return false;
}

void DialogRuntime::MetaRefreshRequested(std::string_view control, int64_t delay_seconds,
                                         std::string_view address) {
  ControlState* s = Find(control);
  if (!s || s->kind() != ControlKind::kHtmlViewer || !Live(*s, "htmlLite1MetaRefresh")) return;
  std::string path = MetaRefreshPath(address);
  const bool absolute = (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
  if (!absolute) path = engine_.dialog_folder + path;
  if (!engine_.FileExists(path)) return;
  pending_refresh_ = MetaRefresh{s->name(), s->page, path, std::max<int64_t>(0, delay_seconds) * 1000};
}

void DialogRuntime::MetaTimerFired() {
  if (!pending_refresh_) return;
  MetaRefresh refresh = *pending_refresh_;
  pending_refresh_.reset();
  ControlState* s = Find(refresh.viewer);
  if (!s || s->page != refresh.from) return;
  s->page = refresh.target;
  std::string html;
  if (engine_.files().ReadFile(refresh.target, &html) == platform::Status::kOk) {
    form_state().text = PageTitle(html);
  }
}

// ---------------------------------------------------------------------------------------------
// Progress apply and the dialog timer

bool ApplyProgress(DialogEngine& engine, DialogRuntime* current, const ProgressValues& values,
                   bool copy_cancel) {
  interp::Variables& vars = engine.variables();
  const bool cancelled = interp::TextToBool(vars.GetVariable("VORT_IsCancelled"));
  if (copy_cancel) vars.SetVariable("VORT_thCancelled", interp::BoolToText(cancelled), "Timer1Timer");
  if (vars.silent()) return cancelled;
  ProgressValues v = values;
  if (v.text == "$VORT$") {
    v.text = vars.GetVariable("VORT_thProgressText");
    v.position = platform::ParseDecimal64(vars.GetVariable("VORT_thProgress")).value_or(0);
    v.maximum = platform::ParseDecimal64(vars.GetVariable("VORT_thMax")).value_or(0);
    v.minimum = platform::ParseDecimal64(vars.GetVariable("VORT_thMin")).value_or(0);
  }
  if (current) {
    engine.hooks().UpdateTaskbar(vars.ExpandVariables(vars.GetVariable("PROGRESSMODE")),
                                 v.position, v.maximum);
    current->ShowProgress(v);
  }
  return cancelled;
}

void DialogTimerTick(DialogEngine& engine, DialogRuntime* current, bool background_task) {
  if (background_task) ApplyProgress(engine, current, {"$VORT$", 0, 0, 0}, true);
}

}  // namespace corvane::ui
