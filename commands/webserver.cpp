// The web-server commands: Get IIS Site List, Get IIS Site Index, Get IIS Property, Set IIS
// Property, Create IIS Site, Create Virtual Folder, Delete IIS Site, Delete Virtual Folder,
// Control IIS Site and IIS Anonymous User.
#include "commands/webserver.h"

#include <optional>
#include <tuple>
#include <utility>

#include "commands/engine_state.h"
#include "commands/programs.h"
#include "commands/webserver_scripting.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/registry.h"

namespace corvane::commands {

using interp::CommandContext;
using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;

namespace {

// Servers of this version and later have no scripting interface of their own.
constexpr int kFirstLibraryVersion = 70;
constexpr char kError[] = "!ERROR!";

bool ReadDword(platform::Registry& reg, const std::string& name, uint32_t* out) {
  RegValue value;
  if (reg.ReadValue(RegRoot::kLocalMachine, "SOFTWARE\\Microsoft\\InetStp", name, RegView::kNative,
                    &value) != Status::kOk ||
      value.type != platform::RegType::kDword || value.data.size() < 4) {
    return false;
  }
  *out = static_cast<uint32_t>(value.AsNumber());
  return true;
}

// A path the engine may write its own file into: a full path with a drive or a server.
bool IsFullPath(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

// Writes the library from the engine's resource into the support folder, once per run.
std::string AdminLibraryPath(interp::Session& session) {
  CommandsState& state = StateOf(session);
  if (!state.admin_library_path.empty()) return state.admin_library_path;
  std::string folder = session.variables.GetVariable("SUPPORTDIR");
  if (!IsFullPath(folder)) return std::string();
  if (folder.back() != '\\') folder.push_back('\\');
  std::string bytes;
  platform::Platform& platform = session.platform;
  if (platform.system().EngineResource("DLL", &bytes) != Status::kOk || bytes.empty()) {
    return std::string();
  }
  const std::string path = folder + kAdminLibraryName;
  if (platform.files().WriteFile(path, bytes) != Status::kOk) return std::string();
  state.admin_library_path = path;
  return path;
}

std::string Host(interp::Session& session) { return session.variables.GetVariable("IISHOST"); }

// A site index, a number or a choice written by the script; nullopt when it is not an integer.
std::optional<int32_t> Integer(const interp::Params& p, long n) {
  return platform::ParseScriptInteger(p.Expanded(n));
}

// A translated parameter, expanded.
std::string Translated(CommandContext& ctx, long n) {
  return ctx.variables().ExpandVariables(ctx.Localize(static_cast<int>(n), ctx.params().Raw(n)));
}

// "N|text": the number (0 when it is none) and the text after the first "|".
std::pair<int32_t, std::string> NumberAndText(const std::string& joined) {
  const size_t bar = joined.find('|');
  const std::string number = joined.substr(0, bar);
  const std::string text = bar == std::string::npos ? std::string() : joined.substr(bar + 1);
  return {platform::ParseScriptInteger(number).value_or(0), text};
}

void RunGetSiteList(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const std::string result = ctx.params().ResultName(1);
  std::string descriptions;
  if (!admin || admin->SiteList(Host(ctx.session()), &descriptions) != Status::kOk) return;
  ctx.SetResult(result, interp::NewlinesToToken(descriptions));
}
CORVANE_COMMAND("Get IIS Site List", RunGetSiteList);

void RunGetSiteIndex(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const std::string description = Translated(ctx, 1);
  int32_t index = 0;
  if (!admin || admin->SiteIndex(Host(ctx.session()), description, &index) != Status::kOk) {
    return;
  }
  ctx.SetResult(ctx.params().ResultName(2), std::to_string(index));
}
CORVANE_COMMAND("Get IIS Site Index", RunGetSiteIndex);

// Parameters 1, 3, 4 and 5 of the property commands: site or folder, site index, folder, name.
struct PropertyTarget {
  bool of_site;
  std::optional<int32_t> site;
  std::string folder, name;
};
PropertyTarget ReadTarget(const interp::Params& p) {
  return {p.Bool(1), Integer(p, 3), p.Expanded(4), p.Expanded(5)};
}

void RunGetProperty(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  const PropertyTarget t = ReadTarget(p);
  std::string value;
  if (!admin || !t.site ||
      admin->GetProperty(Host(ctx.session()), t.of_site, *t.site, t.folder, t.name, &value) !=
          Status::kOk) {
    value = kError;
  } else {
    value = interp::NewlinesToToken(value);
  }
  ctx.SetResult(p.ResultName(6), value);
}
CORVANE_COMMAND("Get IIS Property", RunGetProperty);

void RunSetProperty(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  const PropertyTarget t = ReadTarget(p);
  if (!admin || !t.site) return;
  admin->SetProperty(Host(ctx.session()), t.of_site, *t.site, t.folder, t.name,
                     interp::TokenToNewlines(p.Expanded(6)));
}
CORVANE_COMMAND("Set IIS Property", RunSetProperty);

void RunCreateSite(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  platform::WebSiteSettings s;
  s.description = Translated(ctx, 1);
  s.index = Integer(p, 2).value_or(0);
  s.ip = p.Expanded(3);
  s.host_header = p.Expanded(4);
  s.port = p.Expanded(5);
  s.secure_port = p.Expanded(6);
  s.connection_timeout = Integer(p, 7);
  s.keep_alive = p.Bool(8);
  s.logging = p.Bool(9);
  s.enable_asp = p.Bool(10);
  s.enable_exe_files = p.Bool(11);
  s.unlimited_connections = p.Bool(12);
  s.auto_start = p.Bool(13);
  s.max_connections = Integer(p, 14);
  s.server_size = Integer(p, 15);
  int32_t index = 0;
  if (admin) admin->CreateSite(Host(ctx.session()), s, &index);
}
CORVANE_COMMAND("Create IIS Site", RunCreateSite);

// The framework folder of an ASP.NET version number.
const char* AspNetFolder(int32_t version) {
  switch (version) {
    case 1:
      return "v1.1.4322";
    case 2:
      return "v2.0.50727";
    case 3:
      return "v4.0.30319";
    default:
      return nullptr;
  }
}

void RunCreateVirtualFolder(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  platform::WebFolderSettings s;
  s.folder = Translated(ctx, 1);
  s.physical_path = p.Path(2);
  s.access_source = p.Bool(3);
  s.access_read = p.Bool(4);
  s.access_write = p.Bool(5);
  s.directory_browsing = p.Bool(6);
  s.logging = p.Bool(7);
  s.content_indexed = p.Bool(8);
  std::tie(s.protection, s.pool) = NumberAndText(p.Expanded(9));
  if (s.protection < 0 || s.protection > 3) s.protection = 0;
  std::string aspnet;
  std::tie(s.execute, aspnet) = NumberAndText(p.Expanded(10));
  s.aspnet = platform::ParseScriptInteger(aspnet).value_or(0);
  s.default_document_enabled = p.Bool(11);
  s.default_documents = Translated(ctx, 12);
  s.footer = Translated(ctx, 13);
  s.auth_anonymous = p.Bool(14);
  s.auth_ntlm = p.Bool(15);
  s.auth_basic = p.Bool(16);
  s.mime_map = p.Expanded(17);
  const std::optional<int32_t> site = Integer(p, 18);
  if (!admin || !site) return;
  s.site = *site;
  if (admin->CreateFolder(Host(ctx.session()), s) != Status::kOk) return;
  // The folder's ASP.NET version is registered by that version's own tool.
  const char* framework = AspNetFolder(s.aspnet);
  if (framework == nullptr) return;
  const std::string folder =
      ctx.platform().system().WindowsFolder() + "\\Microsoft.NET\\Framework\\" + framework;
  const std::string argument =
      "-s \"w3svc/" + std::to_string(s.site) + "/" + MetabaseFolder(s.folder) + "\"";
  RunHiddenAndWait(ctx, folder + "\\aspnet_regiis.exe", argument, folder,
                   "Cancel at Run-Program Time");
}
CORVANE_COMMAND("Create Virtual Folder", RunCreateVirtualFolder);

void RunDeleteSite(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const std::optional<int32_t> site = Integer(ctx.params(), 1);
  if (admin && site) admin->DeleteSite(Host(ctx.session()), *site);
}
CORVANE_COMMAND("Delete IIS Site", RunDeleteSite);

void RunDeleteVirtualFolder(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  const std::optional<int32_t> site = Integer(p, 1);
  if (admin && site) admin->DeleteFolder(Host(ctx.session()), *site, p.Expanded(2));
}
CORVANE_COMMAND("Delete Virtual Folder", RunDeleteVirtualFolder);

void RunControlSite(CommandContext& ctx) {
  auto admin = OpenWebAdmin(ctx.session());
  const auto& p = ctx.params();
  const std::optional<int32_t> site = Integer(p, 1), action = Integer(p, 2);
  if (!admin || !site || !action || *action < 0 || *action > 3) return;
  admin->ControlSite(Host(ctx.session()), *site, *action);
}
CORVANE_COMMAND("Control IIS Site", RunControlSite);

void RunAnonymousUser(CommandContext& ctx) {
  const std::string result = ctx.params().ResultName(1);
  ctx.DefineResult(result);
  ctx.SetResult(result, WebServerAnonymousUser(ctx.session(), /*make_site=*/true));
}
CORVANE_COMMAND("IIS Anonymous User", RunAnonymousUser);

}  // namespace

int WebServerVersion(platform::Platform& platform) {
  uint32_t major = 0, minor = 0;
  platform::Registry& reg = platform.registry();
  if (!ReadDword(reg, "MajorVersion", &major) || !ReadDword(reg, "MinorVersion", &minor)) {
    return -1;
  }
  if (major > 100000 || minor > 100000) return -1;
  return static_cast<int>(major * 10 + minor);
}

std::unique_ptr<platform::WebAdminLibrary> OpenWebAdmin(interp::Session& session) {
  platform::Platform& platform = session.platform;
  if (WebServerVersion(platform) < kFirstLibraryVersion) {
    return std::make_unique<ScriptingAdmin>(platform.web_server());
  }
  const std::string path = AdminLibraryPath(session);
  if (path.empty()) return nullptr;
  return platform.web_server().LoadAdminLibrary(path, nullptr);
}

std::string WebServerAnonymousUser(interp::Session& session, bool make_site) {
  std::string account;
  const std::string host = Host(session);
  if (!make_site && WebServerVersion(session.platform) < kFirstLibraryVersion) {
    ScriptingAdmin scripting(session.platform.web_server());
    if (scripting.ServiceAnonymousUser(host, &account) != Status::kOk) account.clear();
    return account;
  }
  auto admin = OpenWebAdmin(session);
  if (!admin || admin->AnonymousUser(host, &account) != Status::kOk) account.clear();
  return account;
}

}  // namespace corvane::commands
