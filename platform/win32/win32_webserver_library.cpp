// The web server's administration library (version 7 and later), loaded by its full path and
// called through the exports of webadmin/admin_api.h.
#include <windows.h>

#include <memory>
#include <string>

#include "platform/win32/win32_webserver.h"
#include "webadmin/admin_api.h"

namespace corvane::platform::win32 {
namespace {

int32_t Flag(bool b) { return b ? 1 : 0; }

class Win32WebAdminLibrary : public WebAdminLibrary {
 public:
  explicit Win32WebAdminLibrary(HMODULE module) : module_(module) {}
  ~Win32WebAdminLibrary() override { FreeLibrary(module_); }
  Win32WebAdminLibrary(const Win32WebAdminLibrary&) = delete;
  Win32WebAdminLibrary& operator=(const Win32WebAdminLibrary&) = delete;

  Status SiteList(const std::string& host, std::string* descriptions) override {
    auto fn = Find<AhwGetIISSiteList>("GetIISSiteList");
    if (!fn) return Status::kNotFound;
    std::string buffer(kAhwSiteListBufferSize, '\0');
    if (fn(host.c_str(), buffer.data(), kAhwSiteListBufferSize) == 0) return Status::kFailed;
    *descriptions = Terminated(buffer);
    return Status::kOk;
  }

  Status SiteIndex(const std::string& host, const std::string& description,
                   int32_t* index) override {
    auto fn = Find<AhwGetIISSiteIndex>("GetIISSiteIndex");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), description.c_str(), index));
  }

  Status GetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, std::string* value) override {
    auto fn = Find<AhwGetIISProperty>("GetIISProperty");
    if (!fn) return Status::kNotFound;
    std::string buffer(kAhwValueBufferSize, '\0');
    if (fn(host.c_str(), Flag(of_site), site, folder.c_str(), name.c_str(), buffer.data(),
           kAhwValueBufferSize) == 0) {
      return Status::kFailed;
    }
    *value = Terminated(buffer);
    return Status::kOk;
  }

  Status SetProperty(const std::string& host, bool of_site, int32_t site, const std::string& folder,
                     const std::string& name, const std::string& value) override {
    auto fn = Find<AhwSetIISProperty>("SetIISProperty");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), Flag(of_site), site, folder.c_str(), name.c_str(), value.c_str()));
  }

  Status CreateSite(const std::string& host, const WebSiteSettings& s, int32_t* index) override {
    auto fn = Find<AhwCreateIISSite>("CreateIISSite");
    if (!fn) return Status::kNotFound;
    AhwSiteSettings a = {};
    a.size = sizeof a;
    a.description = s.description.c_str();
    a.index = s.index;
    a.ip = s.ip.c_str();
    a.host_header = s.host_header.c_str();
    a.port = s.port.c_str();
    a.secure_port = s.secure_port.c_str();
    a.connection_timeout = s.connection_timeout.value_or(kAhwUnset);
    a.keep_alive = Flag(s.keep_alive);
    a.logging = Flag(s.logging);
    a.enable_asp = Flag(s.enable_asp);
    a.enable_exe_files = Flag(s.enable_exe_files);
    a.unlimited_connections = Flag(s.unlimited_connections);
    a.auto_start = Flag(s.auto_start);
    a.max_connections = s.max_connections.value_or(kAhwUnset);
    a.server_size = s.server_size.value_or(kAhwUnset);
    return Done(fn(host.c_str(), &a, index));
  }

  Status CreateFolder(const std::string& host, const WebFolderSettings& s) override {
    auto fn = Find<AhwCreateIISSiteFolder>("CreateIISSiteFolder");
    if (!fn) return Status::kNotFound;
    AhwFolderSettings a = {};
    a.size = sizeof a;
    a.site = s.site;
    a.folder = s.folder.c_str();
    a.physical_path = s.physical_path.c_str();
    a.access_source = Flag(s.access_source);
    a.access_read = Flag(s.access_read);
    a.access_write = Flag(s.access_write);
    a.directory_browsing = Flag(s.directory_browsing);
    a.logging = Flag(s.logging);
    a.content_indexed = Flag(s.content_indexed);
    a.protection = s.protection;
    a.pool = s.pool.c_str();
    a.execute = s.execute;
    a.aspnet = s.aspnet;
    a.default_document_enabled = Flag(s.default_document_enabled);
    a.default_documents = s.default_documents.c_str();
    a.footer = s.footer.c_str();
    a.auth_anonymous = Flag(s.auth_anonymous);
    a.auth_ntlm = Flag(s.auth_ntlm);
    a.auth_basic = Flag(s.auth_basic);
    a.mime_map = s.mime_map.c_str();
    return Done(fn(host.c_str(), &a));
  }

  Status DeleteSite(const std::string& host, int32_t site) override {
    auto fn = Find<AhwDeleteIISSite>("DeleteIISSite");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), site));
  }

  Status DeleteFolder(const std::string& host, int32_t site, const std::string& folder) override {
    auto fn = Find<AhwDeleteIISSiteFolder>("DeleteIISSiteFolder");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), site, folder.c_str()));
  }

  Status ControlSite(const std::string& host, int32_t site, int32_t action) override {
    auto fn = Find<AhwControlIISSite>("ControlIISSite");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), site, action));
  }

  Status AnonymousUser(const std::string& host, std::string* account) override {
    auto fn = Find<AhwGetIISAnonUser>("GetIISAnonUser");
    if (!fn) return Status::kNotFound;
    std::string buffer(kAhwValueBufferSize, '\0');
    if (fn(host.c_str(), buffer.data(), kAhwValueBufferSize) == 0) return Status::kFailed;
    *account = Terminated(buffer);
    return Status::kOk;
  }

  Status UniqueAccountId(const std::string& host, int32_t site, std::string* account) override {
    auto fn = Find<AhwGetIISUniqueAccountID>("GetIISUniqueAccountID");
    if (!fn) return Status::kNotFound;
    std::string buffer(kAhwValueBufferSize, '\0');
    if (fn(host.c_str(), site, buffer.data(), kAhwValueBufferSize) == 0) return Status::kFailed;
    *account = Terminated(buffer);
    return Status::kOk;
  }

  Status SiteState(const std::string& host, int32_t site, int32_t* state) override {
    auto fn = Find<AhwGetIISSiteState>("GetIISSiteState");
    if (!fn) return Status::kNotFound;
    return Done(fn(host.c_str(), site, state));
  }

 private:
  template <typename Fn>
  Fn Find(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  static Status Done(int32_t result) { return result != 0 ? Status::kOk : Status::kFailed; }
  // The text up to the terminator (the whole buffer when the library wrote none).
  static std::string Terminated(const std::string& buffer) {
    return buffer.substr(0, buffer.find('\0'));
  }

  HMODULE module_;
};

}  // namespace

std::unique_ptr<WebAdminLibrary> Win32WebServer::LoadAdminLibrary(const std::string& path,
                                                                  Status* status) {
  // A missing file is told apart from one that does not load: the loader reports both (and a
  // missing dependency) as a module not found.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    if (status) *status = Status::kNotFound;
    return nullptr;
  }
  // By its full path only; its own dependencies are the system's libraries.
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    if (status) *status = Status::kFailed;
    return nullptr;
  }
  if (status) *status = Status::kOk;
  return std::make_unique<Win32WebAdminLibrary>(module);
}

}  // namespace corvane::platform::win32
