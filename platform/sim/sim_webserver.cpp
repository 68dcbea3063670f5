#include "platform/sim/sim_webserver.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/numbers.h"
#include "platform/sim/pe_exports.h"
#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
  return CompareText(a, b) < 0;
}

namespace {

using K = WebValueKind;

// The properties the simulated server knows, with the defaults a fresh server reads.
const WebProperty kProperties[] = {
    {"ServerComment", K::kText, "", false},
    {"ServerBindings", K::kList, "", false},
    {"SecureBindings", K::kList, "", false},
    {"ServerState", K::kInteger, "4", true},
    {"ServerAutoStart", K::kBool, "TRUE", false},
    {"ServerSize", K::kInteger, "1", false},
    {"ConnectionTimeout", K::kInteger, "120", false},
    {"AllowKeepAlive", K::kBool, "TRUE", false},
    {"LogType", K::kInteger, "1", false},
    {"DontLog", K::kBool, "FALSE", false},
    {"MaxConnections", K::kInteger, "4294967295", false},
    {"AnonymousUserName", K::kText, "", false},
    {"AnonymousUserPass", K::kText, "", false},
    {"Path", K::kText, "", false},
    {"AccessRead", K::kBool, "TRUE", false},
    {"AccessWrite", K::kBool, "FALSE", false},
    {"AccessSource", K::kBool, "FALSE", false},
    {"AccessScript", K::kBool, "TRUE", false},
    {"AccessExecute", K::kBool, "FALSE", false},
    {"EnableDirBrowsing", K::kBool, "FALSE", false},
    {"ContentIndexed", K::kBool, "FALSE", false},
    {"AppIsolated", K::kInteger, "2", false},
    {"AppPoolId", K::kText, "DefaultAppPool", false},
    {"AppFriendlyName", K::kText, "Default Application", false},
    {"AppRoot", K::kText, "", false},
    {"EnableDefaultDoc", K::kBool, "TRUE", false},
    {"DefaultDoc", K::kText, "Default.htm,Default.asp,index.htm,iisstart.htm", false},
    {"EnableDocFooter", K::kBool, "FALSE", false},
    {"DefaultDocFooter", K::kText, "", false},
    {"AuthAnonymous", K::kBool, "TRUE", false},
    {"AuthNTLM", K::kBool, "TRUE", false},
    {"AuthBasic", K::kBool, "FALSE", false},
    {"MimeMap", K::kList, "", false},
    {"AppPoolIdentityType", K::kInteger, "2", false},
    {"WAMUserName", K::kText, "", false},
};

constexpr char kService[] = "IIsWebService";
constexpr char kSite[] = "IIsWebServer";
constexpr char kFolder[] = "IIsWebVirtualDir";
constexpr char kPools[] = "IIsApplicationPools";
constexpr char kPool[] = "IIsApplicationPool";
constexpr char kPoolsPath[] = "AppPools";

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t lf = text.find('\n', at);
    std::string line = text.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return out;
}

std::string JoinLines(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += "\r\n";
    out += item;
  }
  return out;
}

bool IsSiteIndex(const std::string& s) {
  auto n = ParseDecimal32(s);
  return n && *n > 0 && std::to_string(*n) == s;
}

// "a\b/" as "a/b".
std::string NormalPath(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  while (!name.empty() && name.back() == '/') name.pop_back();
  while (!name.empty() && name.front() == '/') name.erase(0, 1);
  return name;
}

std::string Join(const std::string& parent, const std::string& name) {
  return parent.empty() ? name : parent + "/" + name;
}

std::string ParentOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsBelow(const std::string& path, const std::string& ancestor) {
  return path.size() > ancestor.size() + 1 && path[ancestor.size()] == '/' &&
         SameText(path.substr(0, ancestor.size()), ancestor);
}

// Sections: the service first, then the sites by index with their folders, then the pools.
std::vector<std::string> OrderedPaths(const WebServerModel& m) {
  std::vector<std::string> paths;
  for (const auto& [path, node] : m.nodes) paths.push_back(path);
  auto rank = [](const std::string& p) -> std::pair<int, int64_t> {
    if (p.empty()) return {0, 0};
    if (SameText(p.substr(0, std::min<size_t>(p.size(), 8)), kPoolsPath)) return {3, 0};
    auto n = ParseDecimal64(p.substr(0, p.find('/')));
    return {n ? 1 : 2, n.value_or(0)};
  };
  std::stable_sort(paths.begin(), paths.end(), [&](const std::string& a, const std::string& b) {
    auto ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb;
    return CompareText(a, b) < 0;
  });
  return paths;
}

// The value an object reads: its own, else the nearest object's above it, else the default.
Status Lookup(const WebServerModel& m, const std::string& path, const std::string& name,
              std::string* value) {
  const WebProperty* property = FindWebProperty(name);
  if (property == nullptr) return Status::kNotFound;
  std::string p = path;
  while (true) {
    auto it = m.nodes.find(p);
    if (it != m.nodes.end()) {
      auto v = it->second.properties.find(name);
      if (v != it->second.properties.end()) {
        *value = v->second;
        return Status::kOk;
      }
    }
    if (p.empty()) break;
    p = ParentOf(p);
  }
  *value = property->default_value;
  return Status::kOk;
}

Status Store(WebNode& node, const std::string& name, const std::string& value) {
  const WebProperty* property = FindWebProperty(name);
  if (property == nullptr) return Status::kInvalidName;
  if (property->read_only) return Status::kAccessDenied;
  std::string normal;
  if (!NormaliseWebValue(*property, value, &normal)) return Status::kFailed;
  node.properties[property->name] = normal;
  return Status::kOk;
}

void Remove(WebServerModel& m, const std::string& path) {
  for (auto it = m.nodes.begin(); it != m.nodes.end();) {
    if (SameText(it->first, path) || IsBelow(it->first, path)) {
      it = m.nodes.erase(it);
    } else {
      ++it;
    }
  }
}

bool AddOnce(std::vector<std::string>& list, const std::string& item) {
  for (const std::string& present : list) {
    if (SameText(present, item)) return false;
  }
  list.push_back(item);
  return true;
}

// The class an object of `name` below `parent` (of `parent_class`) may have; "" when none.
std::string ChildClass(const std::string& parent_class, const std::string& name) {
  if (SameText(parent_class, kService)) {
    if (IsSiteIndex(name)) return kSite;
    if (SameText(name, kPoolsPath)) return kPools;
    return std::string();
  }
  if (SameText(parent_class, kSite)) {
    const std::string root = name.substr(0, name.find('/'));
    return SameText(root, "Root") ? kFolder : std::string();
  }
  if (SameText(parent_class, kFolder)) return kFolder;
  if (SameText(parent_class, kPools)) return name.find('/') == std::string::npos ? kPool : "";
  return std::string();
}

int32_t NextFreeSite(const WebServerModel& m) {
  for (int32_t i = 1;; ++i) {
    if (m.nodes.find(std::to_string(i)) == m.nodes.end()) return i;
  }
}

Status SetState(WebNode& site, const std::string& method) {
  std::string& state = site.properties["ServerState"];
  if (state.empty()) state = "4";
  if (SameText(method, "Start")) {
    state = "2";
  } else if (SameText(method, "Stop")) {
    state = "4";
  } else if (SameText(method, "Pause")) {
    if (state != "2") return Status::kFailed;  // only a running site pauses
    state = "6";
  } else if (SameText(method, "Continue")) {
    if (state != "6") return Status::kFailed;
    state = "2";
  } else {
    return Status::kNotFound;
  }
  return Status::kOk;
}

// Makes `path` (a folder) an application; the pool is made when asked and missing.
Status CreateApplication(WebServerModel& m, const std::string& path, int32_t mode,
                         const std::string& pool, bool create_pool) {
  WebNode& node = m.nodes[path];
  if (!pool.empty()) {
    const std::string pool_path = Join(kPoolsPath, pool);
    if (m.nodes.find(pool_path) == m.nodes.end()) {
      if (!create_pool) return Status::kNotFound;
      m.nodes[pool_path].class_name = kPool;
    }
    node.properties["AppPoolId"] = pool;
  }
  node.properties["AppIsolated"] = std::to_string(mode);
  node.properties["AppRoot"] = "/LM/W3SVC/" + path;
  return Status::kOk;
}

Status InvokeOn(WebServerModel& m, const std::string& path, const std::string& method,
                const std::vector<WebArg>& args) {
  auto it = m.nodes.find(path);
  if (it == m.nodes.end()) return Status::kNotFound;
  WebNode& node = it->second;
  auto text = [&args](size_t i) -> const std::string* {
    return i < args.size() ? std::get_if<std::string>(&args[i]) : nullptr;
  };
  auto number = [&args](size_t i) -> std::optional<int32_t> {
    if (i >= args.size()) return std::nullopt;
    if (auto* n = std::get_if<int32_t>(&args[i])) return *n;
    if (auto* b = std::get_if<bool>(&args[i])) return *b ? 1 : 0;
    return std::nullopt;
  };
  if (SameText(node.class_name, kSite)) return SetState(node, method);
  if (SameText(node.class_name, kService)) {
    const std::string* name = text(0);
    if (name == nullptr || name->empty()) return Status::kFailed;
    if (SameText(method, "EnableWebServiceExtension")) {
      AddOnce(m.extensions, *name);
    } else if (SameText(method, "EnableExtensionFile")) {
      AddOnce(m.extension_files, *name);
    } else {
      return Status::kNotFound;
    }
    return Status::kOk;
  }
  if (SameText(node.class_name, kFolder)) {
    if (SameText(method, "AppCreate3")) {
      const std::string* pool = text(1);
      auto mode = number(0), create = number(2);
      if (!mode || pool == nullptr || !create) return Status::kFailed;
      return CreateApplication(m, path, *mode, *pool, *create != 0);
    }
    if (SameText(method, "AppCreate2")) {
      auto mode = number(0);
      if (!mode) return Status::kFailed;
      return CreateApplication(m, path, *mode, std::string(), false);
    }
    if (SameText(method, "AppDelete")) {
      for (const char* p : {"AppIsolated", "AppRoot", "AppPoolId", "AppFriendlyName"}) {
        node.properties.erase(p);
      }
      return Status::kOk;
    }
    return Status::kNotFound;
  }
  return Status::kNotFound;
}

}  // namespace

const WebProperty* FindWebProperty(const std::string& name) {
  for (const WebProperty& p : kProperties) {
    if (SameText(p.name, name)) return &p;
  }
  return nullptr;
}

bool NormaliseWebValue(const WebProperty& property, const std::string& value, std::string* out) {
  switch (property.kind) {
    case K::kText:
      *out = value;
      return true;
    case K::kBool: {
      if (SameText(value, "TRUE") || value == "-1" || value == "1") {
        *out = "TRUE";
      } else if (SameText(value, "FALSE") || value == "0") {
        *out = "FALSE";
      } else {
        return false;
      }
      return true;
    }
    case K::kInteger: {
      auto n = ParseDecimal64(Trim(value));
      if (!n || *n < INT32_MIN || *n > UINT32_MAX) return false;
      *out = std::to_string(*n);
      return true;
    }
    case K::kList: {
      std::vector<std::string> items;
      for (const std::string& line : SplitLines(value)) {
        if (!line.empty()) items.push_back(line);
      }
      *out = JoinLines(items);
      return true;
    }
  }
  return false;
}

bool WebServerModel::Parse(const std::string& utf8_text, WebServerModel* model,
                           std::string* error) {
  WebServerModel m;
  const std::string text = Cp1252FromUtf8(utf8_text);
  WebNode* section = nullptr;
  bool version_given = false;
  int number = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "webserver.txt line " + std::to_string(number) + ": " + why;
    return false;
  };
  for (const std::string& raw : SplitLines(text)) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') return fail("a section ends with ]");
      const std::string head = Trim(line.substr(1, line.size() - 2));
      const size_t blank = head.find(' ');
      const std::string kind = head.substr(0, blank);
      const std::string rest = blank == std::string::npos ? "" : Trim(head.substr(blank + 1));
      std::string path, class_name;
      if (SameText(kind, "service") && rest.empty()) {
        class_name = kService;
      } else if (SameText(kind, "site") && IsSiteIndex(rest)) {
        path = rest;
        class_name = kSite;
      } else if (SameText(kind, "folder")) {
        const size_t gap = rest.find(' ');
        const std::string site = rest.substr(0, gap);
        const std::string folder =
            NormalPath(gap == std::string::npos ? "" : Trim(rest.substr(gap + 1)));
        if (!IsSiteIndex(site) || !SameText(folder.substr(0, folder.find('/')), "Root")) {
          return fail("a folder is named by its site and Root or Root/...");
        }
        path = site + "/" + folder;
        class_name = kFolder;
      } else if (SameText(kind, "pool") && !rest.empty() && rest.find('/') == std::string::npos) {
        path = Join(kPoolsPath, rest);
        class_name = kPool;
      } else {
        return fail("unknown section " + head);
      }
      section = &m.nodes[path];
      section->class_name = class_name;
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return fail("expected name = value");
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    if (section == nullptr) {
      if (SameText(key, "version")) {
        unsigned major = 0, minor = 0;
        char tail = 0;
        if (std::sscanf(value.c_str(), "%u.%u%c", &major, &minor, &tail) != 2 || major > 100 ||
            minor > 9) {
          return fail("version is MAJOR.MINOR");
        }
        m.major = major;
        m.minor = minor;
        version_given = true;
      } else if (SameText(key, "extension")) {
        AddOnce(m.extensions, value);
      } else if (SameText(key, "extension_file")) {
        AddOnce(m.extension_files, value);
      } else {
        return fail("unknown key " + key);
      }
      continue;
    }
    const WebProperty* property = FindWebProperty(key);
    const std::string name = property ? property->name : key;
    std::string& stored = section->properties[name];
    if (property && property->kind == K::kList && !stored.empty()) {
      stored += "\r\n" + value;
    } else {
      stored = value;
    }
  }
  if (!version_given) return fail("the server's version is missing");
  // Every server has its web service and its pool container.
  m.nodes[""].class_name = kService;
  m.nodes[kPoolsPath].class_name = kPools;
  *model = std::move(m);
  return true;
}

std::string WebServerModel::Text() const {
  std::string out = "version = " + std::to_string(major) + "." + std::to_string(minor) + "\n";
  for (const std::string& e : extensions) out += "extension = " + e + "\n";
  for (const std::string& e : extension_files) out += "extension_file = " + e + "\n";
  for (const std::string& path : OrderedPaths(*this)) {
    const WebNode& node = nodes.at(path);
    if (SameText(node.class_name, kPools)) continue;
    if (path.empty()) {
      out += "\n[service]\n";
    } else if (SameText(node.class_name, kSite)) {
      out += "\n[site " + path + "]\n";
    } else if (SameText(node.class_name, kFolder)) {
      const size_t slash = path.find('/');
      out += "\n[folder " + path.substr(0, slash) + " " + path.substr(slash + 1) + "]\n";
    } else {
      out += "\n[pool " + path.substr(path.find('/') + 1) + "]\n";
    }
    for (const auto& [name, value] : node.properties) {
      for (const std::string& item : SplitLines(value)) out += name + " = " + item + "\n";
    }
  }
  return Utf8From1252(out);
}

namespace {

// One object of the scripting interface. Puts are kept until SetInfo, as the interface's
// property cache keeps them; everything else goes to the server's file at once.
class SimWebObject : public WebAdminObject {
 public:
  SimWebObject(const SimWebServer& server, std::mutex& mu, std::string path, std::string class_name,
               bool created)
      : server_(server),
        mu_(mu),
        path_(std::move(path)),
        class_(std::move(class_name)),
        created_(created) {}

  std::string ClassName() override { return class_; }
  std::string Name() override {
    size_t slash = path_.rfind('/');
    if (path_.empty()) return "W3SVC";
    // A folder's name is the part below its site ("Root/shop").
    if (SameText(class_, kFolder)) return path_.substr(path_.find('/') + 1);
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
  }

  Status Get(const std::string& property, std::string* value) override {
    const WebProperty* known = FindWebProperty(property);
    if (known == nullptr) return Status::kNotFound;
    auto cached = pending_.find(known->name);
    if (cached != pending_.end()) {
      *value = cached->second;
      return Status::kOk;
    }
    WebServerModel m;
    if (!server_.Load(&m)) return Status::kNotFound;
    if (!created_ && m.nodes.find(path_) == m.nodes.end()) return Status::kNotFound;
    return Lookup(m, path_, property, value);
  }

  Status Put(const std::string& property, const std::string& value) override {
    WebNode scratch;
    Status s = Store(scratch, property, value);
    if (s != Status::kOk) return s;
    for (auto& [name, v] : scratch.properties) pending_[name] = v;
    return Status::kOk;
  }

  Status SetInfo() override {
    std::lock_guard<std::mutex> lock(mu_);
    WebServerModel m;
    if (!server_.Load(&m)) return Status::kNotFound;
    auto it = m.nodes.find(path_);
    if (created_) {
      if (it != m.nodes.end()) return Status::kAlreadyExists;
      // A folder's site (and a pool's container) must be there; a folder below one that is
      // not is still made, as the server makes keys.
      const std::string owner = path_.substr(0, path_.find('/'));
      if (path_.find('/') != std::string::npos && m.nodes.find(owner) == m.nodes.end()) {
        return Status::kNotFound;
      }
      it = m.nodes.emplace(path_, WebNode{class_, {}}).first;
    } else if (it == m.nodes.end()) {
      return Status::kNotFound;
    }
    for (auto& [name, value] : pending_) it->second.properties[name] = value;
    if (!server_.Save(m)) return Status::kFailed;
    pending_.clear();
    created_ = false;
    return Status::kOk;
  }

  std::unique_ptr<WebAdminObject> GetChild(const std::string& class_name, const std::string& name,
                                           Status* status) override {
    const std::string child = Join(path_, NormalPath(name));
    WebServerModel m;
    Status s = Status::kNotFound;
    std::unique_ptr<WebAdminObject> out;
    if (server_.Load(&m) && !created_) {
      auto it = m.nodes.find(child);
      if (it != m.nodes.end() && SameText(it->second.class_name, class_name) &&
          !NormalPath(name).empty()) {
        out = std::make_unique<SimWebObject>(server_, mu_, it->first, it->second.class_name, false);
        s = Status::kOk;
      }
    }
    if (status) *status = s;
    return out;
  }

  std::unique_ptr<WebAdminObject> Create(const std::string& class_name, const std::string& name,
                                         Status* status) override {
    const std::string relative = NormalPath(name);
    const std::string allowed = ChildClass(class_, relative);
    Status s = Status::kOk;
    WebServerModel m;
    if (created_ || !server_.Load(&m) || m.nodes.find(path_) == m.nodes.end()) {
      s = Status::kNotFound;
    } else if (relative.empty() || allowed.empty() || !SameText(allowed, class_name)) {
      s = Status::kInvalidName;
    } else if (m.nodes.find(Join(path_, relative)) != m.nodes.end()) {
      s = Status::kAlreadyExists;
    }
    if (status) *status = s;
    if (s != Status::kOk) return nullptr;
    return std::make_unique<SimWebObject>(server_, mu_, Join(path_, relative), allowed, true);
  }

  Status Delete(const std::string& class_name, const std::string& name) override {
    std::lock_guard<std::mutex> lock(mu_);
    const std::string child = Join(path_, NormalPath(name));
    WebServerModel m;
    if (created_ || NormalPath(name).empty() || !server_.Load(&m)) return Status::kNotFound;
    auto it = m.nodes.find(child);
    if (it == m.nodes.end() || !SameText(it->second.class_name, class_name)) {
      return Status::kNotFound;
    }
    Remove(m, child);
    return server_.Save(m) ? Status::kOk : Status::kFailed;
  }

  Status Children(std::vector<WebAdminChild>* children) override {
    WebServerModel m;
    if (created_ || !server_.Load(&m) || m.nodes.find(path_) == m.nodes.end()) {
      return Status::kNotFound;
    }
    children->clear();
    for (const std::string& p : OrderedPaths(m)) {
      if (p.empty() || !(path_.empty() || IsBelow(p, path_))) continue;
      const std::string rest = path_.empty() ? p : p.substr(path_.size() + 1);
      // A site's "Root" is its child; below a folder, the next level of names.
      if (rest.find('/') != std::string::npos) continue;
      children->push_back({m.nodes.at(p).class_name, rest});
    }
    return Status::kOk;
  }

  Status Invoke(const std::string& method, const std::vector<WebArg>& args) override {
    std::lock_guard<std::mutex> lock(mu_);
    WebServerModel m;
    if (created_ || !server_.Load(&m)) return Status::kNotFound;
    Status s = InvokeOn(m, path_, method, args);
    if (s != Status::kOk) return s;
    return server_.Save(m) ? Status::kOk : Status::kFailed;
  }

 private:
  const SimWebServer& server_;
  std::mutex& mu_;
  const std::string path_;
  const std::string class_;
  bool created_;
  std::map<std::string, std::string, NoCaseLess> pending_;
};

std::string FolderPath(int32_t site, const std::string& folder) {
  const std::string below = NormalPath(folder);
  return std::to_string(site) + "/Root" + (below.empty() ? "" : "/" + below);
}

// The administration library as the simulated machine runs it: the exports the file has, each
// doing its work on the server's objects (version 7 and later only).
class SimWebAdminLibrary : public WebAdminLibrary {
 public:
  SimWebAdminLibrary(const SimWebServer& server, std::mutex& mu, std::vector<std::string> exports)
      : server_(server), mu_(mu), exports_(std::move(exports)) {}

  Status SiteList(const std::string& host, std::string* descriptions) override {
    return Read("GetIISSiteList", host, [&](const WebServerModel& m) {
      std::vector<std::string> names;
      for (const std::string& p : OrderedPaths(m)) {
        if (!SameText(m.nodes.at(p).class_name, kSite)) continue;
        std::string comment;
        Lookup(m, p, "ServerComment", &comment);
        names.push_back(comment);
      }
      std::string text = JoinLines(names);
      // The engine's buffer holds 102,400 bytes with the terminator.
      if (text.size() + 1 > 102400) return Status::kFailed;
      *descriptions = std::move(text);
      return Status::kOk;
    });
  }

  Status SiteIndex(const std::string& host, const std::string& description,
                   int32_t* index) override {
    return Read("GetIISSiteIndex", host, [&](const WebServerModel& m) {
      for (const std::string& p : OrderedPaths(m)) {
        if (!SameText(m.nodes.at(p).class_name, kSite)) continue;
        std::string comment;
        Lookup(m, p, "ServerComment", &comment);
        if (SameText(comment, description)) {
          *index = *ParseDecimal32(p);
          return Status::kOk;
        }
      }
      return Status::kFailed;
    });
  }

  Status GetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, std::string* value) override {
    return Read("GetIISProperty", host, [&](const WebServerModel& m) {
      const std::string path = of_site ? std::to_string(site) : FolderPath(site, folder);
      if (m.nodes.find(path) == m.nodes.end()) return Status::kFailed;
      return Lookup(m, path, name, value) == Status::kOk ? Status::kOk : Status::kFailed;
    });
  }

  Status SetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, const std::string& value) override {
    return Change("SetIISProperty", host, [&](WebServerModel& m) {
      const std::string path = of_site ? std::to_string(site) : FolderPath(site, folder);
      auto it = m.nodes.find(path);
      if (it == m.nodes.end()) return Status::kFailed;
      return Store(it->second, name, value) == Status::kOk ? Status::kOk : Status::kFailed;
    });
  }

  Status CreateSite(const std::string& host, const WebSiteSettings& s, int32_t* index) override {
    return Change("CreateIISSite", host, [&](WebServerModel& m) {
      const int32_t n = s.index > 0 ? s.index : NextFreeSite(m);
      const std::string path = std::to_string(n);
      auto it = m.nodes.find(path);
      if (it == m.nodes.end()) {
        it = m.nodes.emplace(path, WebNode{kSite, {}}).first;
      } else if (!SameText(it->second.class_name, kSite)) {
        return Status::kFailed;
      }
      auto& p = it->second.properties;
      p["ServerComment"] = s.description;
      p["ServerBindings"] = s.ip + ":" + s.port + ":" + s.host_header;
      if (!s.secure_port.empty()) {
        p["SecureBindings"] = s.ip + ":" + s.secure_port + ":" + s.host_header;
      }
      if (s.connection_timeout) p["ConnectionTimeout"] = std::to_string(*s.connection_timeout);
      p["AllowKeepAlive"] = s.keep_alive ? "TRUE" : "FALSE";
      p["LogType"] = s.logging ? "1" : "0";
      if (s.logging) p["DontLog"] = "FALSE";
      if (s.unlimited_connections) {
        p["MaxConnections"] = "-1";
      } else if (s.max_connections) {
        p["MaxConnections"] = std::to_string(*s.max_connections);
      }
      if (s.server_size) p["ServerSize"] = std::to_string(*s.server_size);
      p["ServerAutoStart"] = s.auto_start ? "TRUE" : "FALSE";
      // Version 7 starts a site that starts with the server as soon as it is made.
      p["ServerState"] = s.auto_start ? "2" : p.count("ServerState") ? p["ServerState"] : "4";
      if (s.enable_asp) AddOnce(m.extensions, "ASP");
      if (s.enable_exe_files) AddOnce(m.extension_files, "*.exe");
      *index = n;
      return Status::kOk;
    });
  }

  Status CreateFolder(const std::string& host, const WebFolderSettings& s) override {
    return Change("CreateIISSiteFolder", host, [&](WebServerModel& m) {
      if (m.nodes.find(std::to_string(s.site)) == m.nodes.end()) return Status::kFailed;
      const std::string path = FolderPath(s.site, s.folder);
      WebNode& node = m.nodes[path];
      node.class_name = kFolder;
      auto& p = node.properties;
      auto flag = [](bool b) { return std::string(b ? "TRUE" : "FALSE"); };
      p["Path"] = s.physical_path;
      p["AccessSource"] = flag(s.access_source);
      p["AccessRead"] = flag(s.access_read);
      p["AccessWrite"] = flag(s.access_write);
      p["EnableDirBrowsing"] = flag(s.directory_browsing);
      p["DontLog"] = flag(!s.logging);
      p["ContentIndexed"] = flag(s.content_indexed);
      p["AccessScript"] = flag(s.execute >= 1);
      p["AccessExecute"] = flag(s.execute >= 2);
      p["EnableDefaultDoc"] = flag(s.default_document_enabled);
      if (!s.default_documents.empty()) p["DefaultDoc"] = s.default_documents;
      p["EnableDocFooter"] = flag(!s.footer.empty());
      if (!s.footer.empty()) p["DefaultDocFooter"] = "FILE:" + s.footer;
      p["AuthAnonymous"] = flag(s.auth_anonymous);
      p["AuthNTLM"] = flag(s.auth_ntlm);
      p["AuthBasic"] = flag(s.auth_basic);
      if (!s.mime_map.empty()) {
        std::vector<std::string> entries;
        size_t at = 0;
        while (at <= s.mime_map.size()) {
          size_t comma = s.mime_map.find(',', at);
          std::string entry = Trim(s.mime_map.substr(at, comma - at));
          if (!entry.empty()) entries.push_back(entry);
          if (comma == std::string::npos) break;
          at = comma + 1;
        }
        p["MimeMap"] = JoinLines(entries);
      }
      if (s.protection != 0) {
        // Version 7 runs every application in a pool: the one named, made when missing.
        const std::string pool = s.pool.empty() ? "DefaultAppPool" : s.pool;
        static const int32_t kModes[] = {0, 0, 2, 1};
        Status made =
            CreateApplication(m, path, kModes[std::clamp(s.protection, 0, 3)], pool, true);
        if (made != Status::kOk) return Status::kFailed;
        m.nodes[path].properties["AppFriendlyName"] = s.folder.empty() ? "Root" : s.folder;
      }
      return Status::kOk;
    });
  }

  Status DeleteSite(const std::string& host, int32_t site) override {
    return Change("DeleteIISSite", host, [&](WebServerModel& m) {
      const std::string path = std::to_string(site);
      auto it = m.nodes.find(path);
      if (it == m.nodes.end() || !SameText(it->second.class_name, kSite)) return Status::kFailed;
      Remove(m, path);
      return Status::kOk;
    });
  }

  Status DeleteFolder(const std::string& host, int32_t site, const std::string& folder) override {
    return Change("DeleteIISSiteFolder", host, [&](WebServerModel& m) {
      const std::string path = FolderPath(site, folder);
      if (m.nodes.find(path) == m.nodes.end()) return Status::kFailed;
      Remove(m, path);
      return Status::kOk;
    });
  }

  Status ControlSite(const std::string& host, int32_t site, int32_t action) override {
    return Change("ControlIISSite", host, [&](WebServerModel& m) {
      auto it = m.nodes.find(std::to_string(site));
      if (it == m.nodes.end() || !SameText(it->second.class_name, kSite)) return Status::kFailed;
      // Version 7 sites cannot pause: pausing or continuing one leaves it running.
      static const char* const kMethods[] = {"Start", "Stop", "Start", "Start"};
      if (action < 0 || action > 3) return Status::kFailed;
      return SetState(it->second, kMethods[action]);
    });
  }

  Status AnonymousUser(const std::string& host, std::string* account) override {
    return Read("GetIISAnonUser", host, [&](const WebServerModel& m) {
      return Lookup(m, "", "AnonymousUserName", account);
    });
  }

  Status UniqueAccountId(const std::string& host, int32_t site, std::string* account) override {
    return Read("GetIISUniqueAccountID", host, [&](const WebServerModel& m) {
      const std::string root = FolderPath(site, "");
      if (m.nodes.find(std::to_string(site)) == m.nodes.end()) return Status::kFailed;
      std::string pool;
      Lookup(m, root, "AppPoolId", &pool);
      *account = "IIS APPPOOL\\" + pool;
      return Status::kOk;
    });
  }

  Status SiteState(const std::string& host, int32_t site, int32_t* state) override {
    return Read("GetIISSiteState", host, [&](const WebServerModel& m) {
      const std::string path = std::to_string(site);
      if (m.nodes.find(path) == m.nodes.end()) return Status::kFailed;
      std::string value;
      Lookup(m, path, "ServerState", &value);
      *state = ParseDecimal32(value).value_or(0);
      return Status::kOk;
    });
  }

 private:
  bool Exports(const char* name) const {
    return std::find(exports_.begin(), exports_.end(), name) != exports_.end();
  }
  // The server the library reaches at `host`: version 7 or later, on this machine.
  bool Reach(const std::string& host, WebServerModel* m) const {
    return server_.IsLocal(host) && server_.Load(m) && m->version() >= 70;
  }
  Status Read(const char* export_name, const std::string& host,
              const std::function<Status(const WebServerModel&)>& work) {
    if (!Exports(export_name)) return Status::kNotFound;
    WebServerModel m;
    if (!Reach(host, &m)) return Status::kFailed;
    return work(m);
  }
  Status Change(const char* export_name, const std::string& host,
                const std::function<Status(WebServerModel&)>& work) {
    if (!Exports(export_name)) return Status::kNotFound;
    std::lock_guard<std::mutex> lock(mu_);
    WebServerModel m;
    if (!Reach(host, &m)) return Status::kFailed;
    Status s = work(m);
    if (s != Status::kOk) return s;
    return server_.Save(m) ? Status::kOk : Status::kFailed;
  }

  const SimWebServer& server_;
  std::mutex& mu_;
  const std::vector<std::string> exports_;
};

std::mutex& ServerMutex() {
  static std::mutex mu;
  return mu;
}

}  // namespace

SimWebServer::SimWebServer(std::filesystem::path machine_folder, FileSystem& files, bool process64)
    : file_(std::move(machine_folder) / "webserver.txt"), files_(files), process64_(process64) {}

bool SimWebServer::Load(WebServerModel* model) const {
  std::string text;
  error_.clear();
  if (!ReadHostFile(file_, &text)) return false;
  return WebServerModel::Parse(text, model, &error_);
}

bool SimWebServer::Save(const WebServerModel& model) const {
  return WriteHostFile(file_, model.Text());
}

bool SimWebServer::IsLocal(const std::string& host) const {
  return host.empty() || host == "." || SameText(host, "localhost") || host == "127.0.0.1" ||
         (!computer_.empty() && SameText(host, computer_));
}

std::unique_ptr<WebAdminObject> SimWebServer::OpenWebService(const std::string& host,
                                                             Status* status) {
  WebServerModel m;
  // The scripting interface belongs to the servers before version 7.
  if (!IsLocal(host) || !Load(&m) || m.version() >= 70) {
    if (status) *status = Status::kNotFound;
    return nullptr;
  }
  if (status) *status = Status::kOk;
  return std::make_unique<SimWebObject>(*this, ServerMutex(), std::string(), kService, false);
}

std::unique_ptr<WebAdminLibrary> SimWebServer::LoadAdminLibrary(const std::string& path,
                                                                Status* status) {
  std::string bytes;
  Status s = files_.ReadFile(path, &bytes);
  PeLibrary library;
  if (s == Status::kOk) {
    const uint16_t own = process64_ ? kPeMachineAmd64 : kPeMachineI386;
    // A file that is no library, or one for the other processor, does not load.
    if (!ReadPeLibrary(bytes, &library, nullptr) || !library.is_dll || library.machine != own) {
      s = Status::kFailed;
    }
  }
  if (status) *status = s;
  if (s != Status::kOk) return nullptr;
  return std::make_unique<SimWebAdminLibrary>(*this, ServerMutex(), std::move(library.exports));
}

}  // namespace corvane::platform::sim
