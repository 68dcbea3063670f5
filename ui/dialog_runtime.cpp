#include "ui/dialog_runtime.h"

#include <algorithm>
#include <limits>

#include "image/failure.h"
#include "platform/numbers.h"
#include "platform/text.h"
#include "ui/dialog_runtime_detail.h"
#include "ui/dialog_system.h"

namespace corvane::ui {

using interp::CollapseBackslashes;
using interp::NewlinesToToken;
using interp::TokenToNewlines;
using platform::SameText;

using namespace runtime_detail;

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

std::vector<ComponentMenuItem> ComponentMenuItems(DialogHooks& hooks) {
  return {
      {hooks.Message(image::msg::kInstallLocal), 4, true},
      {hooks.Message(image::msg::kInstallEntireLocal), 5, true},
      {hooks.Message(image::msg::kEntireUnavailable), 2, true},
      {"Do Not Install Component &Only", 2, false},
      {"Do &Not Install Component or Sub Components", 3, false},
  };
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
  if (path.empty()) return false;
  if (!memo_on_) return files_.DirectoryExists(path);
  auto [at, added] = folder_memo_.emplace(path, false);
  if (added) at->second = files_.DirectoryExists(path);
  return at->second;
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
    by_component_[c.get()] = states_.back().get();
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
  // A control inside a disabled or hidden panel cannot be reached either.
  for (Component* p = s->component().parent(); p && p != &form_; p = p->parent()) {
    auto it = by_component_.find(p);
    if (it != by_component_.end() && (!it->second->enabled || !it->second->visible)) {
      return nullptr;
    }
  }
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

void DialogRuntime::Write(const ControlState& s, std::string_view value, std::string_view handler) {
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
  target = DeepestExistingFolder(target,
                                 [this](const std::string& p) { return engine_.FolderExists(p); });
  {
    DialogEngine::Suppress suppress(engine_);
    tracked_memo_.clear();
    tracked_rich_edit_.clear();
    // Asked once per display: the file-system views of the dialog all show the same folder.
    const bool target_exists = engine_.FolderExists(target);
    for (size_t i = 1; i < states_.size(); ++i) PrepareControl(*states_[i], target, target_exists);
    ExpandCaption(form_state());
    ApplyCaptionSuffix();
    RefreshComputedTexts();
    EvaluateRules();
  }
  prepared_ = true;
  // The viewers have loaded their pages: a page that moves on by itself says so now.
  pending_refresh_.reset();
  for (auto& s : states_) {
    if (s->kind() == ControlKind::kHtmlViewer && s->tag() == 1) AnnounceMetaRefresh(*s);
  }
  // The initial selections of trees and check lists reach their variables.
  for (auto& s : states_) {
    if (s->kind() == ControlKind::kTreeView) {
      if (s->selected_node >= 0 && Live(*s, "TreeView1Change")) TreeViewChange(*s);
    } else if (s->kind() == ControlKind::kCheckList) {
      if (Live(*s, "CheckListBox1Click")) CheckListClick(*s);
      if ((s->tag() == 1 || !s->hint().empty()) && Live(*s, "CheckListBox1ClickCheck")) {
        CheckListClickCheck(*s, true);
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

void DialogRuntime::PrepareControl(ControlState& s, const std::string& target_folder,
                                   bool target_exists) {
  interp::Variables& vars = engine_.variables();
  const bool bound = IsBound(s);
  const int32_t tag = s.tag();
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
          bool match = std::any_of(lines.begin(), lines.end(),
                                   [&](const std::string& l) { return SameText(l, s.items[i]); });
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
             ".txt or " + base +
             ".txt file to your project as a support file/creative to "
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
    if (s.kind() == ControlKind::kMovie) {
      DialogHooks& hooks = engine_.hooks();
      if (!hooks.CanPlayMovies()) {
        s.text = hooks.Message(image::msg::kUnableToPlayMovie);
      } else if (s.component().GetText("AutoSize") == "True") {
        std::string movie;
        engine_.files().ReadFile(path, &movie);
        if (auto size = MovieStageSize(movie)) {
          s.component().SetText("Width", std::to_string(size->first));
          s.component().SetText("Height", std::to_string(size->second));
        }
      }
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
  if (engine_.files().List(folder, mask.empty() ? "*.*" : mask, &entries) ==
      platform::Status::kOk) {
    for (const auto& e : entries) {
      if ((e.attributes & platform::attr::kDirectory) == 0) files.push_back(e.name);
    }
  }
  std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) {
    return platform::CompareText(a, b) < 0;
  });
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
    if (drive.empty() ||
        engine_.files().GetDiskSpace(drive, &free_bytes, &total) != platform::Status::kOk) {
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

}  // namespace corvane::ui
