// The simulated installer session: what InstallProduct and RunPackageAction do on the simulated
// machine when no playback block is queued.
#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/numbers.h"
#include "platform/sim/cabinet.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_installer.h"
#include "platform/sim/sim_package.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

using Properties = std::vector<std::pair<std::string, std::string>>;

std::string InstalledKey(const std::string& code) {
  return std::string(kSimulatedProductsKey) + "\\" + code + "\\Installed";
}

// What a session made on the machine, as the product's registration remembers it. A key is
// "<view> <root> <key>", a value "<view> <root> <name length> <name><key>".
struct Installed {
  std::vector<std::string> files, folders, keys, values;

  void Add(std::vector<std::string>& list, const std::string& entry) {
    if (std::find(list.begin(), list.end(), entry) == list.end()) list.push_back(entry);
  }
  void Merge(const Installed& other) {
    for (const auto& f : other.files) Add(files, f);
    for (const auto& f : other.folders) Add(folders, f);
    for (const auto& k : other.keys) Add(keys, k);
    for (const auto& v : other.values) Add(values, v);
  }
};

const char* const kLists[] = {"Files", "Folders", "Keys", "Values"};

std::vector<std::string>* List(Installed& i, int n) {
  std::vector<std::string>* lists[] = {&i.files, &i.folders, &i.keys, &i.values};
  return lists[n];
}

Installed LoadInstalled(Registry& registry, const std::string& code) {
  Installed out;
  for (int n = 0; n < 4; ++n) {
    RegValue v;
    if (registry.ReadValue(RegRoot::kLocalMachine, InstalledKey(code), kLists[n], RegView::kView64,
                           &v) != Status::kOk ||
        v.type != RegType::kMultiString || v.data.empty()) {
      continue;
    }
    size_t start = 0;
    while (start <= v.data.size()) {
      size_t end = std::min(v.data.find('\0', start), v.data.size());
      if (end > start) List(out, n)->push_back(v.data.substr(start, end - start));
      start = end + 1;
    }
  }
  return out;
}

void SaveInstalled(Registry& registry, const std::string& code, Installed installed) {
  for (int n = 0; n < 4; ++n) {
    std::string data;
    for (const std::string& e : *List(installed, n)) data += (data.empty() ? "" : std::string(1, '\0')) + e;
    registry.WriteValue(RegRoot::kLocalMachine, InstalledKey(code), kLists[n], RegView::kView64,
                        {RegType::kMultiString, data});
  }
}

std::string KeyEntry(RegView view, RegRoot root, const std::string& key) {
  return std::string(view == RegView::kView64 ? "64 " : "32 ") +
         std::to_string(static_cast<int>(root)) + " " + key;
}

std::string ValueEntry(RegView view, RegRoot root, const std::string& key,
                       const std::string& name) {
  return std::string(view == RegView::kView64 ? "64 " : "32 ") +
         std::to_string(static_cast<int>(root)) + " " + std::to_string(name.size()) + " " + name +
         key;
}

// Splits an entry back; false for one this code did not write.
bool ParseEntry(const std::string& entry, bool with_name, RegView* view, RegRoot* root,
                std::string* key, std::string* name) {
  if (entry.size() < 5 || entry[2] != ' ') return false;
  *view = entry.compare(0, 2, "64") == 0 ? RegView::kView64 : RegView::kView32;
  size_t space = entry.find(' ', 3);
  if (space == std::string::npos) return false;
  auto r = ParseDecimal32(entry.substr(3, space - 3));
  if (!r || *r < 0 || *r > static_cast<int>(RegRoot::kCurrentConfig)) return false;
  *root = static_cast<RegRoot>(*r);
  std::string rest = entry.substr(space + 1);
  name->clear();
  if (with_name) {
    size_t gap = rest.find(' ');
    auto n = gap == std::string::npos ? std::nullopt : ParseDecimal32(rest.substr(0, gap));
    if (!n || *n < 0 || static_cast<size_t>(*n) > rest.size() - gap - 1) return false;
    *name = rest.substr(gap + 1, *n);
    rest = rest.substr(gap + 1 + *n);
  }
  *key = rest;
  return !key->empty();
}

struct RegistryOp {
  RegRoot root = RegRoot::kLocalMachine;
  RegView view = RegView::kView32;
  std::string key, name;
  bool write_value = false;
  RegValue value;
};

// A Registry table value with its type prefix: "#x" binary, "#%" expandable, "##" a text that
// starts with "#", "#" a number, "[~]" separators of a multi-string, anything else a text.
RegValue TypedValue(const std::string& raw, const std::function<std::string(const std::string&)>& format) {
  if (raw.size() >= 2 && raw[0] == '#' && (raw[1] == 'x' || raw[1] == 'X')) {
    std::string hex = format(raw.substr(2)), bytes;
    if (hex.size() % 2) hex.insert(hex.begin(), '0');
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      auto digit = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10) & 15;
      };
      bytes.push_back(static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1])));
    }
    return RegValue::Binary(bytes);
  }
  if (raw.size() >= 2 && raw[0] == '#' && raw[1] == '%') return RegValue::ExpandString(format(raw.substr(2)));
  if (raw.size() >= 2 && raw[0] == '#' && raw[1] == '#') return RegValue::String(format(raw.substr(1)));
  if (!raw.empty() && raw[0] == '#') {
    auto n = ParseDecimal32(format(raw.substr(1)));
    if (n) return RegValue::Dword(static_cast<uint32_t>(*n));
  }
  std::string text = format(raw);
  if (raw.find("[~]") != std::string::npos) {
    while (!text.empty() && text.front() == '\0') text.erase(text.begin());
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return {RegType::kMultiString, text};
  }
  return RegValue::String(text);
}

std::string Folder(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string FileName(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Turns the process's file system redirection off for the session, as the installer service
// runs natively.
class NoRedirection {
 public:
  explicit NoRedirection(FileSystem& files) : files_(files) {
    switched_ = files_.DisableRedirection(&old_);
  }
  ~NoRedirection() {
    if (switched_) files_.RevertRedirection(old_);
  }

 private:
  FileSystem& files_;
  uint64_t old_ = 0;
  bool switched_ = false;
};

// Takes away what a session made: values, then the keys it made (deepest first) that are empty
// now, files, then the folders it made (deepest first) that are empty now.
void Undo(Registry& registry, FileSystem& files, const Installed& installed) {
  RegView view;
  RegRoot root;
  std::string key, name;
  for (const std::string& v : installed.values) {
    if (ParseEntry(v, true, &view, &root, &key, &name)) registry.DeleteValue(root, key, name, view);
  }
  for (auto it = installed.keys.rbegin(); it != installed.keys.rend(); ++it) {
    if (!ParseEntry(*it, false, &view, &root, &key, &name)) continue;
    std::vector<std::string> subkeys, values;
    if (registry.EnumKeys(root, key, view, &subkeys) == Status::kOk &&
        registry.EnumValues(root, key, view, &values) == Status::kOk && subkeys.empty() &&
        values.empty()) {
      registry.DeleteKeyTree(root, key, view);
    }
  }
  for (const std::string& f : installed.files) {
    if (files.DeleteFile(f) == Status::kAccessDenied) {
      files.SetAttributes(f, attr::kNormal);
      files.DeleteFile(f);
    }
  }
  for (auto it = installed.folders.rbegin(); it != installed.folders.rend(); ++it) {
    files.RemoveDirectory(*it);
  }
}

// Makes a folder and its missing parents, noting those it made.
Status MakeFolders(FileSystem& files, const std::string& folder, Installed* made) {
  std::string p = folder;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  std::vector<std::string> missing;  // innermost first
  while (p.size() > 3 && !files.DirectoryExists(p)) {
    missing.push_back(p);
    const size_t cut = p.find_last_of('\\');
    if (cut == std::string::npos || cut < 2) break;
    p = p.substr(0, cut);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    Status s = files.CreateDirectory(*it);
    if (s == Status::kOk) {
      made->Add(made->folders, *it);
    } else if (!files.DirectoryExists(*it)) {
      return s;
    }
  }
  return Status::kOk;
}

}  // namespace

uint32_t SimInstaller::RunSession(const std::string& package_path, const Properties& properties) {
  std::error_code ec;
  const std::filesystem::path host = files_.HostPath(package_path);
  if (host.empty() || !std::filesystem::is_regular_file(host, ec)) {
    return session_result::kPackageOpenFailed;
  }
  Package package;
  if (uint32_t r = package.Load(host)) return r;
  const std::string& code = package.product_code();
  if (!IsProductCode(code)) return session_result::kPackageInvalid;
  PropertyMap props = package.properties();
  for (const auto& [name, value] : properties) props[name] = value;
  const int state = QueryProductState(code);
  const bool known = state != install_state::kUnknown;
  if (known) props["Installed"] = "1";
  const std::string remove = props["REMOVE"];
  if (SameText(remove, "ALL") && !known) return session_result::kUnknownProduct;
  if (!package.conditions().empty() &&
      Cancelled(Send(install_message::kActionStart,
                     ActionStart("LaunchConditions", "Evaluating launch conditions")))) {
    return install_result::kUserExit;
  }
  for (const LaunchCondition& c : package.conditions()) {
    if (!EvaluateCondition(c.condition, props)) {
      Send(install_message::kError, FormatText(c.description, props, {}, {}));
      return install_result::kFailure;
    }
  }
  if (SameText(remove, "ALL")) return Remove(code);
  // Removing some features only: the simulation keeps the product as it is.
  if (!remove.empty() && known) return install_result::kSuccess;
  if (!props["ADVERTISE"].empty()) {
    if (Cancelled(Send(install_message::kProgress, "1: 0 2: 1 3: 0 4: 0 ")) ||
        Cancelled(Send(install_message::kActionStart,
                       ActionStart("PublishProduct", "Publishing product information")))) {
      return install_result::kUserExit;
    }
    if (state != install_state::kDefault) Register(package, props, package_path, install_state::kAdvertised);
    return install_result::kSuccess;
  }
  return Install(package, props, package_path);
}

uint32_t SimInstaller::Install(Package& package, const PropertyMap& given,
                               const std::string& package_path) {
  // The plan: every directory's path, every file's target, every registry row's value.
  PropertyMap props = given;
  const std::map<std::string, std::string> dirs = ResolveDirectories(package, props, machine_);
  for (const auto& [id, path] : dirs) {
    if (props[id].empty()) props[id] = path;
  }
  std::map<std::string, std::string> component_dirs, file_paths;
  for (const auto& [id, component] : package.components()) {
    auto d = dirs.find(component.directory);
    component_dirs[id] = d == dirs.end() ? std::string("C:\\") : d->second;
  }
  for (const PackageFile& f : package.files()) file_paths[f.key] = component_dirs[f.component] + f.name;
  auto format = [&](const std::string& text) {
    return FormatText(text, props, file_paths, component_dirs);
  };
  std::vector<RegistryOp> registry_ops;
  for (const PackageRegistry& row : package.registry()) {
    RegistryOp op;
    const int root = row.root == -1 ? (props["ALLUSERS"].empty() ? 1 : 2) : row.root;
    static const RegRoot kRoots[] = {RegRoot::kClassesRoot, RegRoot::kCurrentUser,
                                     RegRoot::kLocalMachine, RegRoot::kUsers};
    if (root < 0 || root > 3) continue;
    op.root = kRoots[root];
    auto component = package.components().find(row.component);
    const bool wide = component != package.components().end() && component->second.Is64Bit();
    op.view = machine_.windows64 && wide ? RegView::kView64 : RegView::kView32;
    op.key = format(row.key);
    op.name = row.has_name ? format(row.name) : std::string();
    if (op.key.empty()) continue;
    if (!row.has_value) {
      if (op.name == "-") continue;  // a key the removal deletes: nothing to write
      op.write_value = row.has_name && op.name != "+" && op.name != "*";
      op.value = RegValue::String("");
    } else {
      op.write_value = true;
      op.value = TypedValue(row.value, format);
    }
    registry_ops.push_back(std::move(op));
  }

  // The messages: a reset, then each action with its data and progress.
  uint64_t total = registry_ops.size();
  for (const PackageFile& f : package.files()) total += static_cast<uint64_t>(std::max(0, f.size));
  if (Cancelled(Send(install_message::kProgress, "1: 0 2: " + std::to_string(total) + " 3: 0 4: 0 "))) {
    return install_result::kUserExit;
  }
  if (!package.files().empty() &&
      Cancelled(Send(install_message::kActionStart, ActionStart("InstallFiles", "Copying new files")))) {
    return install_result::kUserExit;
  }
  for (const PackageFile& f : package.files()) {
    const std::string& path = file_paths[f.key];
    if (Cancelled(Send(install_message::kActionData, "File: " + f.name + ",  Directory: " +
                                                         Folder(path) + ",  Size: " +
                                                         std::to_string(f.size))) ||
        Cancelled(Send(install_message::kProgress,
                       "1: 2 2: " + std::to_string(std::max(0, f.size)) + " "))) {
      return install_result::kUserExit;
    }
  }
  if (!registry_ops.empty() &&
      Cancelled(Send(install_message::kActionStart,
                     ActionStart("WriteRegistryValues", "Writing system registry values")))) {
    return install_result::kUserExit;
  }
  for (const RegistryOp& op : registry_ops) {
    std::string shown = op.value.type == RegType::kDword ? "#" + std::to_string(op.value.AsNumber())
                                                         : op.value.data;
    if (Cancelled(Send(install_message::kActionData, std::string("Key: ") + RegRootName(op.root) +
                                                         "\\" + op.key + ", Name: " + op.name +
                                                         ", Value: " + shown)) ||
        Cancelled(Send(install_message::kProgress, "1: 2 2: 1 "))) {
      return install_result::kUserExit;
    }
  }

  // The effect. A failure takes back what this session made and ends it with 1603.
  NoRedirection native(files_);
  Installed made;
  auto fail = [&](const std::string& message) {
    Send(install_message::kError, message);
    Undo(registry_, files_, made);
    return install_result::kFailure;
  };
  std::map<std::string, CabinetFiles> cabinets;
  const std::string package_folder = Folder(files_.GetFullPath(package_path));
  for (const PackageFile& f : package.files()) {
    const std::string& path = file_paths[f.key];
    if (!f.Compressed(package.word_count())) {
      // A loose source file beside the package.
      auto component = package.components().find(f.component);
      const std::string source =
          package_folder +
          (component == package.components().end()
               ? std::string()
               : package.SourceFolder(component->second.directory)) +
          f.name;
      std::string data;
      if (!ReadHostFile(files_.HostPath(source), &data)) {
        return fail("Error 1311. Source file not found: " + source + ".");
      }
      if (MakeFolders(files_, Folder(path), &made) != Status::kOk ||
          files_.WriteFile(path, data) != Status::kOk) {
        return fail("Error 1310. Error writing to file: " + path + ".");
      }
      made.Add(made.files, path);
      continue;
    }
    const PackageMedia* media = nullptr;
    for (const PackageMedia& m : package.media()) {
      if (m.last_sequence >= f.sequence) {
        media = &m;
        break;
      }
    }
    if (!media || media->cabinet.empty()) {
      return fail("Error 1311. Source file not found: " + f.name + ".");
    }
    auto cab = cabinets.find(media->cabinet);
    if (cab == cabinets.end()) {
      std::string data, error;
      bool read = media->cabinet[0] == '#'
                      ? package.ReadStream(media->cabinet.substr(1), &data)
                      : ReadHostFile(files_.HostPath(Folder(files_.GetFullPath(package_path)) +
                                                     media->cabinet),
                                     &data);
      CabinetFiles decoded;
      if (!read) return fail("Error 1311. Source file not found: " + media->cabinet + ".");
      if (!ReadCabinet(data, &decoded, &error)) {
        return fail("Error 1335. The cabinet file '" + media->cabinet +
                    "' required for this installation is corrupt and cannot be used (" + error +
                    ").");
      }
      cab = cabinets.emplace(media->cabinet, std::move(decoded)).first;
    }
    auto data = cab->second.find(f.key);
    if (data == cab->second.end()) {
      return fail("Error 1334. The file '" + f.key + "' cannot be installed because the file "
                  "cannot be found in cabinet file '" + media->cabinet + "'.");
    }
    if (MakeFolders(files_, Folder(path), &made) != Status::kOk ||
        files_.WriteFile(path, data->second) != Status::kOk) {
      return fail("Error 1310. Error writing to file: " + path + ".");
    }
    made.Add(made.files, path);
  }
  for (const RegistryOp& op : registry_ops) {
    std::string prefix;
    size_t pos = 0;
    while (pos <= op.key.size()) {
      size_t end = std::min(op.key.find('\\', pos), op.key.size());
      prefix = op.key.substr(0, end);
      pos = end + 1;
      if (registry_.KeyExists(op.root, prefix, op.view) != Status::kOk) {
        if (registry_.CreateKey(op.root, prefix, op.view) != Status::kOk) {
          return fail("Error 1402. Could not open key: " + std::string(RegRootName(op.root)) +
                      "\\" + prefix + ".");
        }
        made.Add(made.keys, KeyEntry(op.view, op.root, prefix));
      }
    }
    if (op.write_value) {
      if (registry_.WriteValue(op.root, op.key, op.name, op.view, op.value) != Status::kOk) {
        return fail("Error 1406. Could not write value " + op.name + " to key " +
                    RegRootName(op.root) + "\\" + op.key + ".");
      }
      made.Add(made.values, ValueEntry(op.view, op.root, op.key, op.name));
    }
  }
  // Shortcuts: a shortcut file of the simulated machine names its target (a target that is a
  // feature, an advertised shortcut, starts the feature's key file: it names the feature).
  for (const PackageShortcut& sc : package.shortcuts()) {
    auto d = dirs.find(sc.directory);
    if (d == dirs.end() || sc.name.empty()) continue;
    const std::string path = d->second + sc.name + ".lnk";
    const std::string target = sc.target.find('[') == std::string::npos ? sc.target
                                                                          : format(sc.target);
    std::string text = "[shortcut]\r\ntarget=" + target + "\r\n";
    if (!sc.description.empty()) text += "description=" + sc.description + "\r\n";
    if (MakeFolders(files_, Folder(path), &made) != Status::kOk ||
        files_.WriteFile(path, text) != Status::kOk) {
      return fail("Error 1310. Error writing to file: " + path + ".");
    }
    made.Add(made.files, path);
  }
  Installed all = LoadInstalled(registry_, package.product_code());
  all.Merge(made);
  Register(package, props, package_path, install_state::kDefault);
  SaveInstalled(registry_, package.product_code(), all);
  return install_result::kSuccess;
}

uint32_t SimInstaller::Remove(const std::string& code) {
  const Installed installed = LoadInstalled(registry_, code);
  const uint64_t total = installed.files.size() + installed.values.size();
  if (Cancelled(Send(install_message::kProgress, "1: 0 2: " + std::to_string(total) + " 3: 0 4: 0 "))) {
    return install_result::kUserExit;
  }
  if (!installed.files.empty() &&
      Cancelled(Send(install_message::kActionStart, ActionStart("RemoveFiles", "Removing files")))) {
    return install_result::kUserExit;
  }
  for (const std::string& f : installed.files) {
    if (Cancelled(Send(install_message::kActionData,
                       "File: " + FileName(f) + ", Directory: " + Folder(f))) ||
        Cancelled(Send(install_message::kProgress, "1: 2 2: 1 "))) {
      return install_result::kUserExit;
    }
  }
  if (!installed.values.empty() &&
      Cancelled(Send(install_message::kActionStart,
                     ActionStart("RemoveRegistryValues", "Removing system registry values")))) {
    return install_result::kUserExit;
  }
  for (const std::string& v : installed.values) {
    RegView view;
    RegRoot root;
    std::string key, name;
    if (!ParseEntry(v, true, &view, &root, &key, &name)) continue;
    if (Cancelled(Send(install_message::kActionData,
                       std::string("Key: ") + RegRootName(root) + "\\" + key + ", Name: " + name)) ||
        Cancelled(Send(install_message::kProgress, "1: 2 2: 1 "))) {
      return install_result::kUserExit;
    }
  }
  NoRedirection native(files_);
  Undo(registry_, files_, installed);
  std::string local;
  if (GetProductInfo(code, "LocalPackage", &local) == Status::kOk && !local.empty()) {
    files_.DeleteFile(local);
  }
  RemoveProduct(code);
  return install_result::kSuccess;
}

void SimInstaller::Register(Package& package, const PropertyMap& props,
                            const std::string& package_path, int state) {
  const std::string& code = package.product_code();
  auto property = [&](const char* name) {
    auto it = props.find(name);
    return it == props.end() ? std::string() : it->second;
  };
  registry_.WriteValue(RegRoot::kLocalMachine, std::string(kSimulatedProductsKey) + "\\" + code,
                       "State", RegView::kView64, RegValue::Dword(static_cast<uint32_t>(state)));
  SetProductProperty(code, "PackageCode", package.package_code());
  SetProductProperty(code, "ProductName", property("ProductName"));
  SetProductProperty(code, "VersionString", property("ProductVersion"));
  SetProductProperty(code, "Publisher", property("Manufacturer"));
  SetProductProperty(code, "Language", property("ProductLanguage"));
  SetProductProperty(code, "PackageName", FileName(package_path));
  SetProductProperty(code, "InstallSource", Folder(files_.GetFullPath(package_path)));
  // As the installer does, the product keeps a copy of its package, as it was installed, in the
  // Installer folder of Windows, under a name of its own.
  std::string local;
  if (GetProductInfo(code, "LocalPackage", &local) != Status::kOk || local.empty()) {
    std::string folder = machine_.windows_folder;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    folder += "Installer";
    if (!files_.DirectoryExists(folder)) files_.CreateDirectory(folder);
    std::string guid = system_.NewGuid();
    guid.erase(std::remove(guid.begin(), guid.end(), '-'), guid.end());
    local = folder + "\\" + guid.substr(1, 7) + ".msi";
  }
  if (files_.CopyFile(package_path, local, false) == Status::kOk) {
    SetProductProperty(code, "LocalPackage", local);
  }
}

}  // namespace corvane::platform::sim
