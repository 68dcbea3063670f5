#include "platform/sim/sim_registry.h"

#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorBadPathname = 161;
constexpr const char* kWowNode = "Wow6432Node";

// Keys below HKLM\SOFTWARE that both views share.
const std::vector<std::vector<std::string>>& SharedKeys() {
  static const std::vector<std::vector<std::string>> keys = {
      {"Clients"},
      {"Policies"},
      {"RegisteredApplications"},
      {"Microsoft", "Ole"},
      {"Microsoft", "RPC"},
      {"Microsoft", "EventSystem"},
      {"Microsoft", "Windows NT", "CurrentVersion", "Fonts"},
      {"Microsoft", "Windows NT", "CurrentVersion", "FontSubstitutes"},
      {"Microsoft", "Windows NT", "CurrentVersion", "ProfileList"},
      {"Microsoft", "Windows NT", "CurrentVersion", "Time Zones"},
  };
  return keys;
}

// Subkeys of HKLM\SOFTWARE\Classes that the 32-bit view redirects.
bool IsRedirectedClass(const std::string& name) {
  for (const char* n : {"CLSID", "DirectShow", "Interface", "Media Type", "MediaFoundation"}) {
    if (SameText(name, n)) return true;
  }
  return false;
}

// True when components (below SOFTWARE) start with one of the shared keys.
bool IsShared(const std::vector<std::string>& c) {
  for (const auto& shared : SharedKeys()) {
    if (c.size() < shared.size() + 1) continue;
    bool match = true;
    for (size_t i = 0; i < shared.size() && match; ++i) match = SameText(c[i + 1], shared[i]);
    if (match) return true;
  }
  return false;
}

// The system reads doubled and trailing backslashes in a key path as one (SplitKeyPath drops the
// empty components), but refuses a path that starts with one with ERROR_BAD_PATHNAME. Opening a
// key below HKEY_CLASSES_ROOT is the one exception: it skips a single leading backslash.
bool Refused(RegRoot root, std::string* key, bool open) {
  if (open && root == RegRoot::kClassesRoot && !key->empty() && (*key)[0] == '\\') key->erase(0, 1);
  return !key->empty() && (*key)[0] == '\\';
}

}  // namespace

void SimRegistry::MapKey(RegRoot root, const std::string& key, RegView view, RegRoot* real_root,
                         std::vector<std::string>* c) const {
  *c = SplitKeyPath(key);
  *real_root = root;
  if (root == RegRoot::kClassesRoot) {
    *real_root = RegRoot::kLocalMachine;
    c->insert(c->begin(), {"SOFTWARE", "Classes"});
  }
  bool view32 = view == RegView::kView32 || (view == RegView::kNative && !process64_);
  if (!windows64_ || !view32 || *real_root != RegRoot::kLocalMachine) return;
  if (c->empty() || !SameText((*c)[0], "SOFTWARE")) return;
  if (c->size() >= 2 && SameText((*c)[1], kWowNode)) return;  // named explicitly
  if (c->size() >= 2 && SameText((*c)[1], "Classes")) {
    if (c->size() >= 3 && IsRedirectedClass((*c)[2])) c->insert(c->begin() + 1, kWowNode);
    return;
  }
  if (IsShared(*c)) return;
  c->insert(c->begin() + 1, kWowNode);
}

Status SimRegistry::KeyExists(RegRoot root, const std::string& key, RegView view) {
  std::string path = key;
  if (Refused(root, &path, true)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  std::lock_guard<std::mutex> lock(mu_);
  return tree_.Walk(real, c, false) ? Status::kOk : Record(Status::kNotFound);
}

Status SimRegistry::CreateKey(RegRoot root, const std::string& key, RegView view) {
  std::string path = key;
  if (Refused(root, &path, false)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  for (const std::string& part : c) {
    if (part.size() > 255) return Record(Status::kInvalidName);
  }
  std::lock_guard<std::mutex> lock(mu_);
  tree_.Walk(real, c, true);
  return Status::kOk;
}

Status SimRegistry::ReadValue(RegRoot root, const std::string& key, const std::string& name,
                              RegView view, RegValue* value) {
  std::string path = key;
  if (Refused(root, &path, true)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  std::lock_guard<std::mutex> lock(mu_);
  RegKeyNode* node = tree_.Walk(real, c, false);
  if (!node) return Record(Status::kNotFound);
  const RegValue* v = node->Value(name);
  if (!v) return Record(Status::kNotFound);
  *value = *v;
  return Status::kOk;
}

Status SimRegistry::WriteValue(RegRoot root, const std::string& key, const std::string& name,
                               RegView view, const RegValue& value) {
  std::string path = key;
  if (Refused(root, &path, false)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  for (const std::string& part : c) {
    if (part.size() > 255) return Record(Status::kInvalidName);
  }
  if (name.size() > 16383) return Record(Status::kInvalidName);
  RegValue stored = value;
  if (value.type == RegType::kString || value.type == RegType::kExpandString ||
      value.type == RegType::kMultiString) {
    // Terminating nulls are not part of the text: a read gives the text without them.
    while (!stored.data.empty() && stored.data.back() == '\0') stored.data.pop_back();
  }
  std::lock_guard<std::mutex> lock(mu_);
  RegKeyNode* node = tree_.Walk(real, c, true);
  if (!node) return Record(Status::kFailed);
  node->SetValue(name, stored);
  return Status::kOk;
}

Status SimRegistry::DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                                RegView view) {
  std::string path = key;
  if (Refused(root, &path, true)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  std::lock_guard<std::mutex> lock(mu_);
  RegKeyNode* node = tree_.Walk(real, c, false);
  if (!node || !node->RemoveValue(name)) return Record(Status::kNotFound);
  return Status::kOk;
}

Status SimRegistry::DeleteKeyTree(RegRoot root, const std::string& key, RegView view) {
  std::string path = key;
  if (Refused(root, &path, false)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  if (SplitKeyPath(path).empty()) {
    return RecordError(Status::kAccessDenied, kErrorInvalidParameter);  // a root cannot go
  }
  std::lock_guard<std::mutex> lock(mu_);
  return tree_.Remove(real, c) ? Status::kOk : Record(Status::kNotFound);
}

Status SimRegistry::EnumKeys(RegRoot root, const std::string& key, RegView view,
                             std::vector<std::string>* names) {
  names->clear();
  std::string path = key;
  if (Refused(root, &path, true)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  std::lock_guard<std::mutex> lock(mu_);
  RegKeyNode* node = tree_.Walk(real, c, false);
  if (!node) return Record(Status::kNotFound);
  for (const auto& [upper, child] : node->children) names->push_back(child->name);
  return Status::kOk;
}

Status SimRegistry::EnumValues(RegRoot root, const std::string& key, RegView view,
                               std::vector<std::string>* names) {
  names->clear();
  std::string path = key;
  if (Refused(root, &path, true)) return RecordError(Status::kInvalidName, kErrorBadPathname);
  RegRoot real;
  std::vector<std::string> c;
  MapKey(root, path, view, &real, &c);
  std::lock_guard<std::mutex> lock(mu_);
  RegKeyNode* node = tree_.Walk(real, c, false);
  if (!node) return Record(Status::kNotFound);
  for (const auto& [name, value] : node->values) names->push_back(name);
  return Status::kOk;
}

std::string SimRegistry::SaveText() {
  std::lock_guard<std::mutex> lock(mu_);
  return WriteRegText(tree_);
}

bool SimRegistry::LoadText(std::string_view text, std::string* error) {
  std::lock_guard<std::mutex> lock(mu_);
  return ReadRegText(text, &tree_, error);
}

bool SimRegistry::ReplaceText(std::string_view text, std::string* error) {
  RegTree tree;
  if (!ReadRegText(text, &tree, error)) return false;
  std::lock_guard<std::mutex> lock(mu_);
  tree_ = std::move(tree);
  return true;
}

void SimRegistry::Clear() {
  std::lock_guard<std::mutex> lock(mu_);
  for (RegKeyNode* n : {&tree_.local_machine, &tree_.current_user, &tree_.users,
                        &tree_.current_config}) {
    n->children.clear();
    n->values.clear();
  }
}

}  // namespace corvane::platform::sim
