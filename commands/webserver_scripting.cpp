#include "commands/webserver_scripting.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::commands {

using platform::Status;
using platform::WebAdminObject;

namespace {

constexpr char kSiteClass[] = "IIsWebServer";
constexpr char kFolderClass[] = "IIsWebVirtualDir";

using Object = std::unique_ptr<WebAdminObject>;

std::string Flag(bool b) { return b ? "TRUE" : "FALSE"; }

// The application protection of a folder as the server numbers its isolation: low runs in the
// server's process (0), high in a process of its own (1), pooled in the shared one (2).
int32_t IsolationOf(int32_t protection) {
  switch (protection) {
    case 1:
      return 0;
    case 3:
      return 1;
    default:
      return 2;
  }
}

Object Service(platform::WebServer& server, const std::string& host) {
  return server.OpenWebService(host, nullptr);
}

Object Site(WebAdminObject& service, int32_t site) {
  if (site <= 0) return nullptr;
  return service.GetChild(kSiteClass, std::to_string(site), nullptr);
}

// The site (of_site) or the folder of it that a command names.
Object Target(platform::WebServer& server, const std::string& host, bool of_site, int32_t site,
              const std::string& folder) {
  Object service = Service(server, host);
  if (!service) return nullptr;
  Object site_object = Site(*service, site);
  if (!site_object || of_site) return site_object;
  return site_object->GetChild(kFolderClass, MetabaseFolder(folder), nullptr);
}

// The indexes of the sites the service has, in its order.
std::vector<int32_t> SiteIndexes(WebAdminObject& service) {
  std::vector<int32_t> out;
  std::vector<platform::WebAdminChild> children;
  if (service.Children(&children) != Status::kOk) return out;
  for (const platform::WebAdminChild& c : children) {
    if (!platform::SameText(c.class_name, kSiteClass)) continue;
    auto n = platform::ParseDecimal32(c.name);
    if (n && *n > 0) out.push_back(*n);
  }
  return out;
}

int32_t NextFreeSite(WebAdminObject& service) {
  std::vector<int32_t> taken = SiteIndexes(service);
  int32_t n = 1;
  while (std::find(taken.begin(), taken.end(), n) != taken.end()) ++n;
  return n;
}

// The site of an index, opened when it exists, else made (not yet committed).
Object OpenOrCreate(WebAdminObject& parent, const std::string& class_name,
                    const std::string& name) {
  Object object = parent.GetChild(class_name, name, nullptr);
  if (!object) object = parent.Create(class_name, name, nullptr);
  return object;
}

}  // namespace

std::string MetabaseFolder(const std::string& folder) {
  std::string below = folder;
  std::replace(below.begin(), below.end(), '\\', '/');
  while (!below.empty() && below.front() == '/') below.erase(0, 1);
  while (!below.empty() && below.back() == '/') below.pop_back();
  return below.empty() ? "Root" : "Root/" + below;
}

std::string SiteBinding(const std::string& ip, const std::string& port,
                        const std::string& host_header) {
  return ip + ":" + port + ":" + host_header;
}

std::string MimeMapLines(const std::string& comma_text) {
  std::string out;
  size_t at = 0;
  while (at <= comma_text.size()) {
    size_t comma = comma_text.find(',', at);
    std::string entry = comma_text.substr(at, comma == std::string::npos ? comma : comma - at);
    while (!entry.empty() && entry.front() == ' ') entry.erase(0, 1);
    while (!entry.empty() && entry.back() == ' ') entry.pop_back();
    if (!entry.empty()) out += (out.empty() ? "" : "\r\n") + entry;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return out;
}

Status ScriptingAdmin::SiteList(const std::string& host, std::string* descriptions) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  std::string out;
  bool first = true;
  for (int32_t index : SiteIndexes(*service)) {
    Object site = Site(*service, index);
    std::string comment;
    if (!site || site->Get("ServerComment", &comment) != Status::kOk) continue;
    out += (first ? "" : "\r\n") + comment;
    first = false;
  }
  *descriptions = out;
  return Status::kOk;
}

Status ScriptingAdmin::SiteIndex(const std::string& host, const std::string& description,
                                 int32_t* index) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  for (int32_t n : SiteIndexes(*service)) {
    Object site = Site(*service, n);
    std::string comment;
    if (site && site->Get("ServerComment", &comment) == Status::kOk &&
        platform::SameText(comment, description)) {
      *index = n;
      return Status::kOk;
    }
  }
  return Status::kNotFound;
}

Status ScriptingAdmin::GetProperty(const std::string& host, bool of_site, int32_t site,
                                   const std::string& folder, const std::string& name,
                                   std::string* value) {
  Object target = Target(server_, host, of_site, site, folder);
  if (!target) return Status::kNotFound;
  return target->Get(name, value);
}

Status ScriptingAdmin::SetProperty(const std::string& host, bool of_site, int32_t site,
                                   const std::string& folder, const std::string& name,
                                   const std::string& value) {
  Object target = Target(server_, host, of_site, site, folder);
  if (!target) return Status::kNotFound;
  Status s = target->Put(name, value);
  return s == Status::kOk ? target->SetInfo() : s;
}

Status ScriptingAdmin::CreateSite(const std::string& host,
                                  const platform::WebSiteSettings& settings, int32_t* index) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  const int32_t n = settings.index > 0 ? settings.index : NextFreeSite(*service);
  Object site = OpenOrCreate(*service, kSiteClass, std::to_string(n));
  if (!site) return Status::kFailed;
  // A setting the server refuses is left as it is; the others are still committed.
  site->Put("ServerComment", settings.description);
  site->Put("ServerBindings", SiteBinding(settings.ip, settings.port, settings.host_header));
  if (!settings.secure_port.empty()) {
    site->Put("SecureBindings",
              SiteBinding(settings.ip, settings.secure_port, settings.host_header));
  }
  if (settings.connection_timeout) {
    site->Put("ConnectionTimeout", std::to_string(*settings.connection_timeout));
  }
  site->Put("AllowKeepAlive", Flag(settings.keep_alive));
  if (settings.logging) {
    site->Put("LogType", "1");
    site->Put("DontLog", "FALSE");
  } else {
    site->Put("LogType", "0");
  }
  if (settings.unlimited_connections) {
    site->Put("MaxConnections", "-1");
  } else if (settings.max_connections) {
    site->Put("MaxConnections", std::to_string(*settings.max_connections));
  }
  if (settings.server_size) site->Put("ServerSize", std::to_string(*settings.server_size));
  Status s = site->SetInfo();
  if (s != Status::kOk) return s;
  if (settings.enable_asp) service->Invoke("EnableWebServiceExtension", {std::string("ASP")});
  if (settings.enable_exe_files) service->Invoke("EnableExtensionFile", {std::string("*.exe")});
  *index = n;
  return Status::kOk;
}

Status ScriptingAdmin::CreateFolder(const std::string& host, const platform::WebFolderSettings& s) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  Object site = Site(*service, s.site);
  if (!site) return Status::kNotFound;
  const std::string path = MetabaseFolder(s.folder);
  Object folder = OpenOrCreate(*site, kFolderClass, path);
  if (!folder) return Status::kFailed;
  folder->Put("Path", s.physical_path);
  folder->Put("AccessSource", Flag(s.access_source));
  folder->Put("AccessRead", Flag(s.access_read));
  folder->Put("AccessWrite", Flag(s.access_write));
  folder->Put("EnableDirBrowsing", Flag(s.directory_browsing));
  folder->Put("DontLog", Flag(!s.logging));
  folder->Put("ContentIndexed", Flag(s.content_indexed));
  folder->Put("AccessScript", Flag(s.execute >= 1));
  folder->Put("AccessExecute", Flag(s.execute >= 2));
  folder->Put("EnableDefaultDoc", Flag(s.default_document_enabled));
  if (!s.default_documents.empty()) folder->Put("DefaultDoc", s.default_documents);
  if (s.footer.empty()) {
    folder->Put("EnableDocFooter", "FALSE");
  } else {
    folder->Put("EnableDocFooter", "TRUE");
    folder->Put("DefaultDocFooter", "FILE:" + s.footer);
  }
  folder->Put("AuthAnonymous", Flag(s.auth_anonymous));
  folder->Put("AuthNTLM", Flag(s.auth_ntlm));
  folder->Put("AuthBasic", Flag(s.auth_basic));
  if (!s.mime_map.empty()) folder->Put("MimeMap", MimeMapLines(s.mime_map));
  Status committed = folder->SetInfo();
  if (committed != Status::kOk) return committed;
  if (!s.pool.empty()) {
    Object pools = service->GetChild("IIsApplicationPools", "AppPools", nullptr);
    Object pool = pools ? OpenOrCreate(*pools, "IIsApplicationPool", s.pool) : nullptr;
    if (pool) pool->SetInfo();
  }
  if (s.protection != 0) {
    Status made = folder->Invoke("AppCreate3", {IsolationOf(s.protection), s.pool, true});
    if (made != Status::kOk) return made;
    const std::string name = s.folder.empty() ? "Root" : s.folder;
    if (folder->Put("AppFriendlyName", name) == Status::kOk) folder->SetInfo();
  }
  return Status::kOk;
}

Status ScriptingAdmin::DeleteSite(const std::string& host, int32_t site) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  if (site <= 0) return Status::kInvalidName;
  return service->Delete(kSiteClass, std::to_string(site));
}

Status ScriptingAdmin::DeleteFolder(const std::string& host, int32_t site,
                                    const std::string& folder) {
  Object service = Service(server_, host);
  Object site_object = service ? Site(*service, site) : nullptr;
  if (!site_object) return Status::kNotFound;
  return site_object->Delete(kFolderClass, MetabaseFolder(folder));
}

Status ScriptingAdmin::ControlSite(const std::string& host, int32_t site, int32_t action) {
  Object target = Target(server_, host, true, site, std::string());
  if (!target) return Status::kNotFound;
  switch (action) {
    case 0:
      return target->Invoke("Start", {});
    case 1:
      return target->Invoke("Stop", {});
    case 2:
    case 3:
      // A site pauses or continues only while it runs.
      target->Invoke("Start", {});
      return target->Invoke(action == 2 ? "Pause" : "Continue", {});
    default:
      return Status::kInvalidName;
  }
}

Status ScriptingAdmin::AnonymousUser(const std::string& host, std::string* account) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  const std::string name = std::to_string(NextFreeSite(*service));
  Status s = Status::kOk;
  Object site = service->Create(kSiteClass, name, &s);
  if (!site) return s;
  // Only a site this call made is deleted: when the commit fails, the index may be another's.
  s = site->SetInfo();
  if (s != Status::kOk) return s;
  s = site->Get("AnonymousUserName", account);
  site.reset();
  service->Delete(kSiteClass, name);
  return s;
}

Status ScriptingAdmin::ServiceAnonymousUser(const std::string& host, std::string* account) {
  Object service = Service(server_, host);
  if (!service) return Status::kNotFound;
  return service->Get("AnonymousUserName", account);
}

Status ScriptingAdmin::UniqueAccountId(const std::string& host, int32_t site,
                                       std::string* account) {
  Object root = Target(server_, host, false, site, std::string());
  Object service = Service(server_, host);
  std::string pool_name;
  if (!root || !service || root->Get("AppPoolId", &pool_name) != Status::kOk) {
    return Status::kNotFound;
  }
  Object pools = service->GetChild("IIsApplicationPools", "AppPools", nullptr);
  Object pool = pools ? pools->GetChild("IIsApplicationPool", pool_name, nullptr) : nullptr;
  std::string identity;
  if (!pool || pool->Get("AppPoolIdentityType", &identity) != Status::kOk) {
    return Status::kNotFound;
  }
  switch (platform::ParseDecimal32(identity).value_or(-1)) {
    case 0:
      *account = "NT AUTHORITY\\SYSTEM";
      return Status::kOk;
    case 1:
      *account = "NT AUTHORITY\\LOCAL SERVICE";
      return Status::kOk;
    case 2:
      *account = "NT AUTHORITY\\NETWORK SERVICE";
      return Status::kOk;
    default:
      return pool->Get("WAMUserName", account);
  }
}

Status ScriptingAdmin::SiteState(const std::string& host, int32_t site, int32_t* state) {
  Object target = Target(server_, host, true, site, std::string());
  std::string value;
  if (!target || target->Get("ServerState", &value) != Status::kOk) return Status::kNotFound;
  auto n = platform::ParseDecimal32(value);
  if (!n) return Status::kFailed;
  *state = *n;
  return Status::kOk;
}

}  // namespace corvane::commands
