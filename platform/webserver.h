// The local (or a named) web server's administration, on its two paths:
//
// - the scripting interface of servers before version 7: the namespace object "IISNamespace",
//   whose GetObject("IIsWebService", host + "/w3svc") gives the web service; below it the sites
//   (class "IIsWebServer", named by their index), their virtual folders ("IIsWebVirtualDir",
//   "Root" or "Root/name") and the application pools ("IIsApplicationPools" named "AppPools",
//   holding "IIsApplicationPool" objects). Each object is a WebAdminObject.
// - the administration library of version 7 and later (ahadmin_wrapper.dll, written by the
//   engine into its support folder), loaded by its full path for each use: a WebAdminLibrary.
//
// Texts are 8-bit (the script's code page). A property reads as text: booleans "TRUE" or
// "FALSE", numbers in decimal, lists one item a line with CR LF between the items; a put is
// given the same forms. Every call may be made from any thread; nothing is cached between
// calls, so two objects of the same path see each other's committed changes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

// An argument of a method of the scripting interface (AppCreate3's mode, pool and flag).
using WebArg = std::variant<std::string, int32_t, bool>;

struct WebAdminChild {
  std::string class_name;  // "IIsWebServer"
  std::string name;        // "1"
};

class WebAdminObject {
 public:
  virtual ~WebAdminObject() = default;
  virtual std::string ClassName() = 0;
  virtual std::string Name() = 0;
  // The property's value as the object sees it (its own, inherited, or the default). kNotFound
  // for a name the server does not know.
  virtual Status Get(const std::string& property, std::string* value) = 0;
  // Sets a property of this object; nothing reaches the server before SetInfo. kInvalidName for
  // a name the server does not know, kFailed for a value it refuses.
  virtual Status Put(const std::string& property, const std::string& value) = 0;
  // Commits the puts (and a created object itself) to the server.
  virtual Status SetInfo() = 0;
  // The object of `class_name` at the path `name` below this one (GetObject); nullptr with the
  // status when there is none.
  virtual std::unique_ptr<WebAdminObject> GetChild(const std::string& class_name,
                                                   const std::string& name, Status* status) = 0;
  // A new object below this one (Create); it exists on the server after its SetInfo.
  virtual std::unique_ptr<WebAdminObject> Create(const std::string& class_name,
                                                 const std::string& name, Status* status) = 0;
  // Removes the object (with everything below it) from the server at once.
  virtual Status Delete(const std::string& class_name, const std::string& name) = 0;
  // The objects directly below this one, in the server's order.
  virtual Status Children(std::vector<WebAdminChild>* children) = 0;
  // Calls a method of the object (Start, Stop, Pause, Continue, EnableWebServiceExtension,
  // EnableExtensionFile, AppCreate3, ...); its effect is committed by the server itself.
  virtual Status Invoke(const std::string& method, const std::vector<WebArg>& args) = 0;
};

// The settings of Create IIS Site, as the administration library takes them.
struct WebSiteSettings {
  std::string description;
  int32_t index = 0;  // 0: the next free index
  std::string ip, host_header, port, secure_port;
  std::optional<int32_t> connection_timeout;
  bool keep_alive = false;
  bool logging = false;
  bool enable_asp = false;
  bool enable_exe_files = false;
  bool unlimited_connections = false;
  bool auto_start = false;
  std::optional<int32_t> max_connections;
  std::optional<int32_t> server_size;
};

// The settings of Create Virtual Folder.
struct WebFolderSettings {
  int32_t site = 0;
  std::string folder;  // below the root, "/" between names; "" for the root
  std::string physical_path;
  bool access_source = false;
  bool access_read = false;
  bool access_write = false;
  bool directory_browsing = false;
  bool logging = false;
  bool content_indexed = false;
  int32_t protection = 0;  // 0 none, 1 low, 2 pooled, 3 high
  std::string pool;
  int32_t execute = 0;  // 0 none, 1 scripts, 2 scripts and executables
  int32_t aspnet = 0;   // 0 none, 1 v1.1, 2 v2.0, 3 v4.0
  bool default_document_enabled = false;
  std::string default_documents;  // comma text
  std::string footer;
  bool auth_anonymous = false;
  bool auth_ntlm = false;
  bool auth_basic = false;
  std::string mime_map;  // comma text of extension=type entries
};

// The exports of a loaded administration library. A call whose export the library lacks gives
// kNotFound; a call the library reports as failed gives kFailed.
class WebAdminLibrary {
 public:
  virtual ~WebAdminLibrary() = default;  // unloads the library
  virtual Status SiteList(const std::string& host, std::string* descriptions) = 0;
  virtual Status SiteIndex(const std::string& host, const std::string& description,
                           int32_t* index) = 0;
  virtual Status GetProperty(const std::string& host, bool of_site, int32_t site,
                             const std::string& folder, const std::string& name,
                             std::string* value) = 0;
  virtual Status SetProperty(const std::string& host, bool of_site, int32_t site,
                             const std::string& folder, const std::string& name,
                             const std::string& value) = 0;
  virtual Status CreateSite(const std::string& host, const WebSiteSettings& settings,
                            int32_t* index) = 0;
  virtual Status CreateFolder(const std::string& host, const WebFolderSettings& settings) = 0;
  virtual Status DeleteSite(const std::string& host, int32_t site) = 0;
  virtual Status DeleteFolder(const std::string& host, int32_t site, const std::string& folder) = 0;
  virtual Status ControlSite(const std::string& host, int32_t site, int32_t action) = 0;
  virtual Status AnonymousUser(const std::string& host, std::string* account) = 0;
  virtual Status UniqueAccountId(const std::string& host, int32_t site, std::string* account) = 0;
  virtual Status SiteState(const std::string& host, int32_t site, int32_t* state) = 0;
};

class WebServer {
 public:
  virtual ~WebServer() = default;
  // The web service object of the scripting interface at `host` ("IIsWebService" at
  // host + "/w3svc"); nullptr with kNotFound when the system has no scripting interface or no
  // server answers there.
  virtual std::unique_ptr<WebAdminObject> OpenWebService(const std::string& host,
                                                         Status* status) = 0;
  // Loads the administration library at `path` (a path on the machine, used as given); nullptr
  // with the status when it is missing or not a library of this system.
  virtual std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string& path,
                                                            Status* status) = 0;
};

// A platform without a web server: nothing answers.
class NoWebServer : public WebServer {
 public:
  std::unique_ptr<WebAdminObject> OpenWebService(const std::string&, Status* status) override {
    if (status) *status = Status::kNotFound;
    return nullptr;
  }
  std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string&, Status* status) override {
    if (status) *status = Status::kNotFound;
    return nullptr;
  }
};

// Forwards every call to another WebServer: derive from it to change one call in a test.
class WebServerWrapper : public WebServer {
 public:
  explicit WebServerWrapper(WebServer& target) : target_(target) {}
  std::unique_ptr<WebAdminObject> OpenWebService(const std::string& host, Status* status) override {
    return target_.OpenWebService(host, status);
  }
  std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string& path,
                                                    Status* status) override {
    return target_.LoadAdminLibrary(path, status);
  }

 protected:
  WebServer& target_;
};

}  // namespace corvane::platform
