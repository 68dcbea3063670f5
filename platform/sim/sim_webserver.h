// The web server of the simulated machine, kept in the text file "webserver.txt" of the machine
// folder (no file: the machine has no web server). The file is read at every call and written
// after every change, so a run and the tests that look at the machine afterwards see one server.
//
// The file holds "key = value" lines in UTF-8; "#" starts a comment line. Keys before the first
// section describe the server:
//   version = 6.0            MajorVersion.MinorVersion; the machine's registry is given the same
//                            under HKLM\SOFTWARE\Microsoft\InetStp when the machine starts
//   extension = ASP          an enabled web service extension (one line each)
//   extension_file = *.exe   an enabled extension file (one line each)
// then one section per object of the server, each with its properties ("Name = value"; a list
// property has one line per item):
//   [service]                the web service (IIsWebService): AnonymousUserName = IUSR_WEB
//   [site 1]                 a site by its index (IIsWebServer): ServerComment, ServerBindings,
//                            ServerState (2 started, 4 stopped, 6 paused), ...
//   [folder 1 Root]          a virtual folder of site 1 (IIsWebVirtualDir): "Root" or
//                            "Root/name/..."; Path, AccessRead, AppPoolId, ...
//   [pool DefaultAppPool]    an application pool (IIsApplicationPool)
//
// Servers before version 7 answer the scripting interface; version 7 and later answer the
// administration library, which the simulated loader accepts when the file at the given path is
// a library for the engine process's processor that exports the function called. Both paths work
// on the same objects with the scripting interface's property names: a property read that the
// object does not set is inherited from the objects above it (folder, site, service), else it
// has the server's default; a name the server does not know cannot be read or set.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/webserver.h"

namespace corvane::platform::sim {

// Case-insensitive ordering for property names and paths.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct WebNode {
  std::string class_name;
  std::map<std::string, std::string, NoCaseLess> properties;  // lists: items joined by CR LF
};

// The whole server as the file describes it. Paths of the objects are relative to the web
// service: "" the service, "1" a site, "1/Root/shop" a folder, "AppPools/Name" a pool.
struct WebServerModel {
  uint32_t major = 0, minor = 0;
  std::vector<std::string> extensions, extension_files;
  std::map<std::string, WebNode, NoCaseLess> nodes;

  int version() const { return static_cast<int>(major * 10 + minor); }
  // False with "line N: ..." in *error when a line is malformed.
  static bool Parse(const std::string& utf8_text, WebServerModel* model, std::string* error);
  std::string Text() const;
};

// The definition of a property the server knows: how its value reads and is checked.
enum class WebValueKind { kText, kBool, kInteger, kList };
struct WebProperty {
  const char* name;
  WebValueKind kind;
  const char* default_value;
  bool read_only;
};
// nullptr for a name the server does not know.
const WebProperty* FindWebProperty(const std::string& name);
// The stored form of a value put: booleans "TRUE"/"FALSE", integers in decimal, lists with CR LF
// between their items. False when the value does not suit the kind.
bool NormaliseWebValue(const WebProperty& property, const std::string& value, std::string* out);

class SimWebServer : public WebServer {
 public:
  // `files` reads the library files on the machine; `process64` says which processor the engine
  // process is built for.
  SimWebServer(std::filesystem::path machine_folder, FileSystem& files, bool process64);

  std::unique_ptr<WebAdminObject> OpenWebService(const std::string& host, Status* status) override;
  std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string& path,
                                                    Status* status) override;

  // The server as the file has it now; false when the machine has none (or the file is bad).
  bool Load(WebServerModel* model) const;
  bool Save(const WebServerModel& model) const;
  // Whether `host` names this machine ("localhost", "127.0.0.1", ".", "" or its computer name).
  bool IsLocal(const std::string& host) const;
  void SetComputerName(const std::string& name) { computer_ = name; }
  // Problems of the file found by the last Load.
  const std::string& LastError() const { return error_; }

 private:
  std::filesystem::path file_;
  FileSystem& files_;
  bool process64_;
  std::string computer_;
  mutable std::string error_;
};

}  // namespace corvane::platform::sim
