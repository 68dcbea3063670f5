#include "ui/components.h"

#include <algorithm>

#include "image/failure.h"
#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::ui {

using platform::SameText;

namespace {

constexpr std::string_view kLoadSource = "LoadComponents";

long IndexIn(const std::vector<std::string>& list, std::string_view name) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (SameText(list[i], name)) return static_cast<long>(i);
  }
  return -1;
}

bool Contains(const std::vector<std::string>& list, std::string_view name) {
  return IndexIn(list, name) >= 0;
}

void RemoveFirst(std::vector<std::string>* list, std::string_view name) {
  long i = IndexIn(*list, name);
  if (i >= 0) list->erase(list->begin() + i);
}

// The name or one of its ancestors is in the set.
bool InSetWithAncestors(const std::vector<std::string>& set, std::string_view name) {
  std::string n(name);
  while (!n.empty()) {
    if (Contains(set, n)) return true;
    n = ParentComponent(n);
  }
  return false;
}

bool IsFile(platform::FileSystem& files, const std::string& path) {
  uint32_t attributes = 0;
  return files.GetAttributes(path, &attributes) == platform::Status::kOk &&
         (attributes & platform::attr::kDirectory) == 0;
}

bool IsTrueState(std::string_view state) { return SameText(state, "TRUE") || state == "-1"; }

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
  }
  return lines;
}

// Every line break of a value (CR LF, a lone LF, a lone CR) becomes a reference to NEWLINE:
// the file holds one value a line, and a break left in a value would shift every later pair.
std::string NewlinesToToken(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\r' || c == '\n') {
      out.append("$NEWLINE$");
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string SizeText(int64_t v, const SizeUnits& units) {
  const std::string* unit = &units.bytes;
  int64_t n = v;
  if (v >= 1073741824) {
    unit = &units.megabytes;
    n = v / 1048576;
  } else if (v >= 1048576) {
    unit = &units.kilobytes;
    n = v / 1024;
  }
  // The magnitude as unsigned, so that the most negative value has one too.
  uint64_t magnitude = n < 0 ? uint64_t{0} - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  std::string digits = std::to_string(magnitude);
  std::string grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back(',');
    grouped.push_back(digits[i]);
  }
  return (n < 0 ? "-" : "") + grouped + " " + *unit;
}

std::string ParentComponent(std::string_view name) {
  size_t slash = name.rfind('\\');
  if (slash == std::string_view::npos) return std::string();
  return std::string(name.substr(0, slash));
}

// ---------------------------------------------------------------------------------------------

void ComponentTable::SetImageSizes(const std::vector<std::string>& sizes) { sizes_ = sizes; }

void ComponentTable::ResetForFirstRun() {
  names_.clear();
  states_.clear();
  descriptions_.clear();
  deleted_.clear();
  hidden_.clear();
  locked_.clear();
  installed_baseline_ = 0;
  Define(std::string(kPredefinedComponent), true, "");
}

long ComponentTable::Find(std::string_view name) const { return IndexIn(names_, name); }
bool ComponentTable::IsDeleted(std::string_view name) const { return Contains(deleted_, name); }
bool ComponentTable::IsEffectivelyLocked(std::string_view name) const {
  return InSetWithAncestors(locked_, name);
}
bool ComponentTable::IsEffectivelyHidden(std::string_view name) const {
  return InSetWithAncestors(hidden_, name);
}

bool ComponentTable::IsSelected(long index) const {
  return index >= 0 && static_cast<size_t>(index) < states_.size() && IsTrueState(states_[index]);
}

const std::string& ComponentTable::StateAt(long index) const {
  if (index < 0 || static_cast<size_t>(index) >= states_.size()) {
    throw image::ListIndexFailure(index);
  }
  return states_[index];
}

void ComponentTable::SetStateAt(long index, bool selected) {
  if (index < 0) return;
  if (static_cast<size_t>(index) >= states_.size()) states_.resize(index + 1);
  states_[index] = selected ? "TRUE" : "FALSE";
}

std::string ComponentTable::Description(std::string_view name) const {
  long i = Find(name);
  if (i < 0 || static_cast<size_t>(i) >= descriptions_.size()) return std::string();
  return descriptions_[i];
}

void ComponentTable::Define(const std::string& name, bool initially_selected,
                            const std::string& description) {
  long i = Find(name);
  if (i < 0) {
    names_.push_back(name);
    i = static_cast<long>(names_.size()) - 1;
    if (descriptions_.size() <= static_cast<size_t>(i)) descriptions_.resize(i + 1);
    descriptions_[i] = description;
    if (!Contains(sizes_, name)) sizes_.insert(sizes_.end(), {name, "0"});
    // States stays parallel to Names even after a cache load that brought fewer states.
    if (states_.size() < static_cast<size_t>(i)) states_.resize(i);
    if (states_.size() == static_cast<size_t>(i)) {
      states_.push_back(initially_selected ? "TRUE" : "FALSE");
    } else {
      states_[i] = initially_selected ? "TRUE" : "FALSE";
    }
    return;
  }
  RemoveFirst(&deleted_, name);  // a deleted component comes back
  if (descriptions_.size() <= static_cast<size_t>(i)) descriptions_.resize(i + 1);
  descriptions_[i] = description;
  if (!Contains(sizes_, name)) sizes_.insert(sizes_.end(), {name, "0"});
  if (states_.size() <= static_cast<size_t>(i)) states_.resize(i + 1);
  if (states_[i].empty()) states_[i] = initially_selected ? "TRUE" : "FALSE";
}

void ComponentTable::Delete(std::string_view name) {
  if (IsKnown(name) && !IsDeleted(name)) deleted_.emplace_back(name);
}

bool ComponentTable::GetState(std::string_view name) const {
  return IsPresent(name) && IsSelected(Find(name));
}

void ComponentTable::SetState(std::string_view name, bool selected) {
  long i = Find(name);
  if (i >= 0) SetStateAt(i, selected);
}

void ComponentTable::SetSpace(std::string_view name, std::string_view size_text) {
  auto size = platform::ParseDecimal64(size_text);
  if (!size || !IsKnown(name)) return;
  long i = IndexIn(sizes_, name);
  if (i >= 0 && static_cast<size_t>(i) + 1 < sizes_.size()) {
    sizes_[i + 1] = std::to_string(*size);
  } else {
    sizes_.insert(sizes_.end(), {std::string(name), std::to_string(*size)});
  }
}

void ComponentTable::SetChoice(std::string_view name, bool selectable) {
  if (selectable) {
    RemoveFirst(&locked_, name);
  } else if (IsKnown(name) && !Contains(locked_, name)) {
    locked_.emplace_back(name);
  }
}

void ComponentTable::SetVisibility(std::string_view name, bool visible) {
  if (visible) {
    RemoveFirst(&hidden_, name);
  } else if (IsKnown(name) && !Contains(hidden_, name)) {
    hidden_.emplace_back(name);
  }
}

void ComponentTable::AddSize(std::string_view name, int64_t size) {
  sizes_.insert(sizes_.end(), {std::string(name), std::to_string(size)});
}

int64_t ComponentTable::Size(std::string_view name) const {
  long i = IndexIn(sizes_, name);
  if (i < 0 || static_cast<size_t>(i) + 1 >= sizes_.size()) return 0;
  const std::string& text = sizes_[i + 1];
  auto size = platform::ParseDecimal64(text);
  if (!size) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
  return *size;
}

int64_t ComponentTable::SelectedSize() const {
  int64_t sum = 0;
  for (size_t i = 0; i < names_.size(); ++i) {
    if (IsSelected(static_cast<long>(i)) && !IsDeleted(names_[i])) sum += Size(names_[i]);
  }
  return sum;
}

int64_t ComponentTable::RequiredSpace() const { return SelectedSize() - installed_baseline_; }

void ComponentTable::SelectWithChildren(long index, bool selected, bool with_children) {
  if (index < 0 || static_cast<size_t>(index) >= names_.size()) return;
  SetStateAt(index, selected);
  if (!with_children) return;
  const std::string parent = names_[index];
  for (size_t i = 0; i < names_.size(); ++i) {
    if (SameText(ParentComponent(names_[i]), parent) && !IsEffectivelyLocked(names_[i])) {
      SelectWithChildren(static_cast<long>(i), selected, true);
    }
  }
}

bool ComponentTable::ApplyListItem(std::string_view item_text, bool checked) {
  const std::string prefix = platform::UpperCase(item_text);
  bool mark = checked;
  for (size_t i = 0; i < names_.size(); ++i) {
    // The item's component and the components below it; a name that only begins with the
    // item's text ("MainTools" for "Main") is another component.
    const std::string name = platform::UpperCase(names_[i]);
    if (name.rfind(prefix, 0) != 0) continue;
    if (name.size() > prefix.size() && name[prefix.size()] != '\\') continue;
    if (!IsEffectivelyLocked(names_[i])) SetStateAt(static_cast<long>(i), checked);
    mark = states_[i] == "TRUE";
  }
  return mark;
}

// ---------------------------------------------------------------------------------------------
// The component data file

std::string ComponentTable::Serialize(ComponentVariables& vars, const FileValues& values) const {
  std::string out;
  auto line = [&out](std::string_view s) {
    out.append(s);
    out.append("\r\n");
  };
  for (const auto* list : {&names_, &states_, &deleted_, &hidden_, &locked_, &sizes_}) {
    for (const std::string& s : *list) line(s);
    line("$");
  }
  line(NewlinesToToken(vars.Get("TARGETDIR")));
  line(NewlinesToToken(vars.Get("ALLUSERS")));
  line(NewlinesToToken(vars.Get("STARTMENU")));
  line(NewlinesToToken(values.fourth_line));
  for (const std::string& name : vars.SavedVariables()) {
    line(NewlinesToToken(name));
    line(NewlinesToToken(vars.Get(name)));
  }
  line("VORT64WOW");
  line(NewlinesToToken(values.platform_text));
  line("OVERRIDECACHE");
  line(NewlinesToToken(values.override_cache));
  return out;
}

void ComponentTable::Load(std::string_view text, LoadKind kind, ComponentVariables& vars,
                          std::string* platform_text) {
  std::vector<std::string> lines = SplitLines(text);
  std::vector<std::string> sections[6];
  size_t pos = 0;
  int section = 0;
  for (; pos < lines.size() && section < 6; ++pos) {
    if (lines[pos] == "$") {
      ++section;
    } else {
      sections[section].push_back(lines[pos]);
    }
  }
  // Behind the three fixed values and the fourth line the file holds name and value pairs: an
  // odd count means a value that was split or cut, and every pair after it would be read
  // shifted. Such a file is refused as a whole, before anything of it is applied.
  if (section == 6 && lines.size() >= pos + 4 && (lines.size() - pos - 4) % 2 != 0) return;

  if (kind == LoadKind::kSelection) {
    const auto& loaded_names = sections[0];
    const auto& loaded_states = sections[1];
    for (size_t k = 0; k < loaded_names.size() && k < loaded_states.size(); ++k) {
      for (size_t i = 0; i < names_.size(); ++i) {
        if (!SameText(names_[i], loaded_names[k])) continue;
        if (states_.size() <= i) states_.resize(i + 1);
        states_[i] = loaded_states[k];
      }
    }
    deleted_ = sections[2];
    hidden_ = sections[3];
    locked_ = sections[4];
  } else {
    std::vector<std::string>* targets[6] = {&names_, &states_, &deleted_,
                                            &hidden_, &locked_, &sizes_};
    int count = kind == LoadKind::kCache ? 6 : 5;
    for (int s = 0; s < count; ++s) {
      targets[s]->insert(targets[s]->end(), sections[s].begin(), sections[s].end());
    }
  }
  if (section < 6) return;

  const char* const fixed[] = {"TARGETDIR", "ALLUSERS", "STARTMENU"};
  for (const char* name : fixed) {
    if (pos >= lines.size()) return;
    vars.Set(name, lines[pos++], kLoadSource);
  }
  if (pos >= lines.size()) return;
  ++pos;  // the fourth line (empty, or the short data folder of the cache)
  bool after_platform = false;
  for (; pos + 1 < lines.size(); pos += 2) {
    const std::string& name = lines[pos];
    const std::string& value = lines[pos + 1];
    if (name == "VORT64WOW") {
      if (platform_text) *platform_text = value;
      after_platform = true;
      continue;
    }
    if (!after_platform) vars.AppendSavedVariable(name);
    after_platform = false;
    vars.Set(name, value, kLoadSource);
  }
}

void ComponentTable::WriteFull(platform::FileSystem& files, const std::string& path,
                               ComponentVariables& vars, const FileValues& values) const {
  platform::Status s = files.WriteFile(path, Serialize(vars, values));
  if (s != platform::Status::kOk) {
    throw image::ScriptFailure("Cannot create file \"" + path + "\". " + platform::StatusName(s));
  }
}

void ComponentTable::UpdateVariables(platform::FileSystem& files, const std::string& path,
                                     ComponentVariables& vars, const FileValues& values) const {
  if (!IsFile(files, path)) return;
  std::string old_text;
  platform::Status s = files.ReadFile(path, &old_text);
  if (s != platform::Status::kOk) {
    throw image::ScriptFailure("Cannot open file \"" + path + "\". " + platform::StatusName(s));
  }
  std::vector<std::string> lines = SplitLines(old_text);
  std::string out;
  auto line = [&out](std::string_view l) {
    out.append(l);
    out.append("\r\n");
  };
  size_t pos = 0;
  for (int dollars = 0; pos < lines.size() && dollars < 6; ++pos) {
    if (lines[pos] == "$") ++dollars;
    line(lines[pos]);
  }
  for (int k = 0; k < 4 && pos < lines.size(); ++k) line(lines[pos++]);
  for (const std::string& name : vars.SavedVariables()) {
    line(name);
    line(NewlinesToToken(vars.Get(name)));
  }
  line("VORT64WOW");
  line(values.platform_text);
  line("OVERRIDECACHE");
  line(values.override_cache);

  const std::string fresh = path + ".dat";
  s = files.WriteFile(fresh, out);
  if (s == platform::Status::kOk) s = files.DeleteFile(path);
  if (s == platform::Status::kOk) s = files.MoveFile(fresh, path, true);
  if (s != platform::Status::kOk) {
    throw image::ScriptFailure("Cannot write file \"" + path + "\". " + platform::StatusName(s));
  }
}

bool ComponentTable::LoadFile(platform::FileSystem& files, const std::string& path, LoadKind kind,
                              ComponentVariables& vars, std::string* platform_text) {
  if (!IsFile(files, path)) return false;
  std::string text;
  platform::Status s = files.ReadFile(path, &text);
  if (s != platform::Status::kOk) {
    throw image::ScriptFailure("Cannot open file \"" + path + "\". " + platform::StatusName(s));
  }
  Load(text, kind, vars, platform_text);
  return true;
}

}  // namespace corvane::ui
