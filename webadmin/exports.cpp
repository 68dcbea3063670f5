// The exports of the administration library (see admin_api.h): the scripting interface's sites,
// folders and properties, carried out on the configuration system of version 7 and later.
//
// A property of the scripting interface lives in one place of the configuration:
//   site attributes      ServerComment (name), ServerAutoStart, ServerState (state, read only),
//                        ConnectionTimeout and MaxConnections (limits), LogType (logFile),
//                        ServerBindings and SecureBindings (the http and https bindings)
//   folder attributes    Path (the virtual folder's physicalPath), AppPoolId (its application's)
//   location sections    AccessRead/Write/Source/Script/Execute (handlers' accessPolicy),
//                        EnableDirBrowsing, DontLog, EnableDefaultDoc, DefaultDoc, AuthAnonymous,
//                        AuthNTLM, AuthBasic, AnonymousUserName, AnonymousUserPass, MimeMap,
//                        AllowKeepAlive, for the site ("Site Name") or the folder below it.
// Other names are not known here, and their calls fail.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "webadmin/admin_api.h"
#include "webadmin/config_session.h"

namespace corvane::webadmin {
namespace {

bool SameName(const char* a, const char* b) { return lstrcmpiA(a, b) == 0; }

bool TextToFlag(const std::wstring& text) {
  return lstrcmpiW(text.c_str(), L"TRUE") == 0 || text == L"-1" || text == L"1";
}

std::wstring FlagText(bool flag) { return flag ? L"TRUE" : L"FALSE"; }

// Copies a text into the caller's buffer; false when it does not fit.
bool CopyOut(const std::wstring& text, char* buffer, uint32_t size) {
  const std::string narrow = Narrow(text);
  if (buffer == nullptr || narrow.size() + 1 > size) return false;
  std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
  return true;
}

std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& separators) {
  std::vector<std::wstring> out;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find_first_of(separators, at);
    std::wstring item = text.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
    while (!item.empty() && item.front() == L' ') item.erase(0, 1);
    while (!item.empty() && item.back() == L' ') item.pop_back();
    if (!item.empty()) out.push_back(item);
    if (end == std::wstring::npos) break;
    at = end + 1;
  }
  return out;
}

std::wstring JoinText(const std::vector<std::wstring>& items, const std::wstring& separator) {
  std::wstring out;
  for (const std::wstring& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// The configuration's location of a site or of a folder below it.
std::wstring Location(const SiteRef& site, const std::wstring& url_path) {
  return url_path == L"/" ? site.name : site.name + url_path;
}

// "00:02:00" as seconds, and back.
bool SecondsOf(const std::wstring& span, uint32_t* seconds) {
  unsigned h = 0, m = 0, s = 0;
  if (swscanf(span.c_str(), L"%u:%u:%u", &h, &m, &s) != 3) return false;
  *seconds = h * 3600 + m * 60 + s;
  return true;
}
std::wstring SpanOf(uint32_t seconds) {
  wchar_t text[32];
  swprintf(text, 32, L"%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

// The handlers' access policy flags of a property name ("AccessRead" -> "Read").
const wchar_t* AccessFlag(const char* name) {
  static const struct {
    const char* name;
    const wchar_t* flag;
  } kFlags[] = {{"AccessRead", L"Read"},
                {"AccessWrite", L"Write"},
                {"AccessSource", L"Source"},
                {"AccessScript", L"Script"},
                {"AccessExecute", L"Execute"}};
  for (const auto& f : kFlags) {
    if (SameName(name, f.name)) return f.flag;
  }
  return nullptr;
}

// A section attribute of the location: the property names kept as one attribute of a section.
struct SectionAttribute {
  const char* name;
  const wchar_t* section;
  const wchar_t* attribute;
  bool flag;
  bool inverted;
};
const SectionAttribute kSectionAttributes[] = {
    {"EnableDirBrowsing", L"system.webServer/directoryBrowse", L"enabled", true, false},
    {"DontLog", L"system.webServer/httpLogging", L"dontLog", true, false},
    {"EnableDefaultDoc", L"system.webServer/defaultDocument", L"enabled", true, false},
    {"AuthAnonymous", L"system.webServer/security/authentication/anonymousAuthentication",
     L"enabled", true, false},
    {"AuthNTLM", L"system.webServer/security/authentication/windowsAuthentication", L"enabled",
     true, false},
    {"AuthBasic", L"system.webServer/security/authentication/basicAuthentication", L"enabled", true,
     false},
    {"AnonymousUserName", L"system.webServer/security/authentication/anonymousAuthentication",
     L"userName", false, false},
    {"AnonymousUserPass", L"system.webServer/security/authentication/anonymousAuthentication",
     L"password", false, false},
    {"AllowKeepAlive", L"system.webServer/httpProtocol", L"allowKeepAlive", true, false},
};

const SectionAttribute* FindSectionAttribute(const char* name) {
  for (const SectionAttribute& a : kSectionAttributes) {
    if (SameName(name, a.name)) return &a;
  }
  return nullptr;
}

// The bindings of one protocol as "ip:port:host" lines.
bool ReadBindings(IAppHostElement* site, const wchar_t* protocol, std::wstring* lines) {
  Ref<IAppHostElement> bindings;
  Ref<IAppHostElementCollection> items;
  DWORD count = 0;
  if (!Child(site, L"bindings", &bindings) || !Items(bindings.get(), &items) ||
      FAILED(items->get_Count(&count))) {
    return false;
  }
  std::vector<std::wstring> out;
  for (DWORD i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_UI4;
    index.ulVal = i;
    Ref<IAppHostElement> binding;
    std::wstring kind, information;
    if (FAILED(items->get_Item(index, binding.out())) || !binding) continue;
    if (ReadText(binding.get(), L"protocol", &kind) && lstrcmpiW(kind.c_str(), protocol) == 0 &&
        ReadText(binding.get(), L"bindingInformation", &information)) {
      out.push_back(information);
    }
  }
  *lines = JoinText(out, L"\r\n");
  return true;
}

// Replaces the bindings of one protocol by `lines` ("ip:port:host" each).
bool WriteBindings(IAppHostElement* site, const wchar_t* protocol, const std::wstring& lines) {
  Ref<IAppHostElement> bindings;
  Ref<IAppHostElementCollection> items;
  if (!Child(site, L"bindings", &bindings) || !Items(bindings.get(), &items)) return false;
  while (true) {
    Ref<IAppHostElement> old;
    DWORD position = 0;
    if (!FindItem(items.get(), L"protocol", protocol, &old, &position)) break;
    if (!DeleteItem(items.get(), position)) return false;
  }
  for (const std::wstring& information : SplitText(lines, L"\r\n")) {
    Ref<IAppHostElement> binding;
    if (!NewItem(items.get(), L"binding", &binding) ||
        !WriteText(binding.get(), L"protocol", protocol) ||
        !WriteText(binding.get(), L"bindingInformation", information) ||
        !AddItem(items.get(), binding.get())) {
      return false;
    }
  }
  return true;
}

// The access policy of a location as its flags.
bool ReadPolicy(ConfigSession& config, const std::wstring& location, std::wstring* policy) {
  Ref<IAppHostElement> handlers;
  return config.Section(L"system.webServer/handlers", location, &handlers) &&
         ReadText(handlers.get(), L"accessPolicy", policy);
}

bool WritePolicyFlag(ConfigSession& config, const std::wstring& location, const wchar_t* flag,
                     bool on) {
  Ref<IAppHostElement> handlers;
  std::wstring policy;
  if (!config.Section(L"system.webServer/handlers", location, &handlers) ||
      !ReadText(handlers.get(), L"accessPolicy", &policy)) {
    return false;
  }
  std::vector<std::wstring> flags;
  for (const std::wstring& f : SplitText(policy, L",")) {
    if (lstrcmpiW(f.c_str(), flag) != 0 && lstrcmpiW(f.c_str(), L"None") != 0) flags.push_back(f);
  }
  if (on) flags.push_back(flag);
  return WriteText(handlers.get(), L"accessPolicy",
                   flags.empty() ? L"None" : JoinText(flags, L","));
}

// The default documents of a location, comma text.
bool ReadDocuments(ConfigSession& config, const std::wstring& location, std::wstring* documents) {
  Ref<IAppHostElement> section, files;
  Ref<IAppHostElementCollection> items;
  DWORD count = 0;
  if (!config.Section(L"system.webServer/defaultDocument", location, &section) ||
      !Child(section.get(), L"files", &files) || !Items(files.get(), &items) ||
      FAILED(items->get_Count(&count))) {
    return false;
  }
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_UI4;
    index.ulVal = i;
    Ref<IAppHostElement> file;
    std::wstring value;
    if (SUCCEEDED(items->get_Item(index, file.out())) && file &&
        ReadText(file.get(), L"value", &value)) {
      names.push_back(value);
    }
  }
  *documents = JoinText(names, L",");
  return true;
}

bool WriteDocuments(ConfigSession& config, const std::wstring& location,
                    const std::wstring& documents) {
  Ref<IAppHostElement> section, files;
  Ref<IAppHostElementCollection> items;
  if (!config.Section(L"system.webServer/defaultDocument", location, &section) ||
      !Child(section.get(), L"files", &files) || !Items(files.get(), &items) ||
      FAILED(items->Clear())) {
    return false;
  }
  for (const std::wstring& name : SplitText(documents, L",")) {
    Ref<IAppHostElement> file;
    if (!NewItem(items.get(), L"add", &file) || !WriteText(file.get(), L"value", name) ||
        !AddItem(items.get(), file.get())) {
      return false;
    }
  }
  return true;
}

// The MIME map of a location as "extension=type" lines.
bool ReadMimeMap(ConfigSession& config, const std::wstring& location, std::wstring* lines) {
  Ref<IAppHostElement> section;
  Ref<IAppHostElementCollection> items;
  DWORD count = 0;
  if (!config.Section(L"system.webServer/staticContent", location, &section) ||
      !Items(section.get(), &items) || FAILED(items->get_Count(&count))) {
    return false;
  }
  std::vector<std::wstring> entries;
  for (DWORD i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_UI4;
    index.ulVal = i;
    Ref<IAppHostElement> entry;
    std::wstring extension, type;
    if (SUCCEEDED(items->get_Item(index, entry.out())) && entry &&
        ReadText(entry.get(), L"fileExtension", &extension) &&
        ReadText(entry.get(), L"mimeType", &type)) {
      entries.push_back(extension + L"=" + type);
    }
  }
  *lines = JoinText(entries, L"\r\n");
  return true;
}

// Adds (or changes) the entries of "extension=type" items.
bool WriteMimeMap(ConfigSession& config, const std::wstring& location,
                  const std::vector<std::wstring>& entries) {
  Ref<IAppHostElement> section;
  Ref<IAppHostElementCollection> items;
  if (!config.Section(L"system.webServer/staticContent", location, &section) ||
      !Items(section.get(), &items)) {
    return false;
  }
  for (const std::wstring& entry : entries) {
    const size_t eq = entry.find(L'=');
    if (eq == std::wstring::npos || eq == 0) return false;
    const std::wstring extension = entry.substr(0, eq), type = entry.substr(eq + 1);
    Ref<IAppHostElement> item;
    if (FindItem(items.get(), L"fileExtension", extension, &item)) {
      if (!WriteText(item.get(), L"mimeType", type)) return false;
      continue;
    }
    if (!NewItem(items.get(), L"mimeMap", &item) ||
        !WriteText(item.get(), L"fileExtension", extension) ||
        !WriteText(item.get(), L"mimeType", type) || !AddItem(items.get(), item.get())) {
      return false;
    }
  }
  return true;
}

// Reads (value != nullptr) or writes (`text`) a property of a site or folder.
bool Property(ConfigSession& config, bool of_site, int32_t site_index, const char* folder,
              const char* name, std::wstring* value, const std::wstring& text) {
  Ref<IAppHostElement> site;
  SiteRef ref;
  if (site_index <= 0 || !config.FindSite(static_cast<uint32_t>(site_index), &site, &ref)) {
    return false;
  }
  const bool read = value != nullptr;
  const std::wstring url_path = of_site ? L"/" : UrlPath(folder);
  const std::wstring location = Location(ref, url_path);
  if (of_site) {
    if (SameName(name, "ServerComment")) {
      return read ? ReadText(site.get(), L"name", value) : WriteText(site.get(), L"name", text);
    }
    if (SameName(name, "ServerAutoStart")) {
      if (!read) return WriteFlag(site.get(), L"serverAutoStart", TextToFlag(text));
      std::wstring flag;
      if (!ReadText(site.get(), L"serverAutoStart", &flag)) return false;
      *value = FlagText(TextToFlag(flag));
      return true;
    }
    if (SameName(name, "ServerState")) {
      uint32_t state = 0;
      if (!read || !ReadNumber(site.get(), L"state", &state)) return false;
      *value = std::to_wstring(state <= 3 ? state + 1 : 0);
      return true;
    }
    if (SameName(name, "ServerBindings") || SameName(name, "SecureBindings")) {
      const wchar_t* protocol = SameName(name, "ServerBindings") ? L"http" : L"https";
      return read ? ReadBindings(site.get(), protocol, value)
                  : WriteBindings(site.get(), protocol, text);
    }
    if (SameName(name, "ConnectionTimeout") || SameName(name, "MaxConnections")) {
      Ref<IAppHostElement> limits;
      if (!Child(site.get(), L"limits", &limits)) return false;
      if (SameName(name, "MaxConnections")) {
        uint32_t n = 0;
        if (read) {
          if (!ReadNumber(limits.get(), L"maxConnections", &n)) return false;
          *value = std::to_wstring(n);
          return true;
        }
        return WriteNumber(limits.get(), L"maxConnections",
                           static_cast<uint32_t>(_wtoi64(text.c_str())));
      }
      uint32_t seconds = 0;
      std::wstring span;
      if (read) {
        if (!ReadText(limits.get(), L"connectionTimeout", &span) || !SecondsOf(span, &seconds)) {
          return false;
        }
        *value = std::to_wstring(seconds);
        return true;
      }
      return WriteText(limits.get(), L"connectionTimeout",
                       SpanOf(static_cast<uint32_t>(_wtoi(text.c_str()))));
    }
    if (SameName(name, "LogType")) {
      Ref<IAppHostElement> log;
      std::wstring enabled;
      if (!Child(site.get(), L"logFile", &log)) return false;
      if (!read) return WriteFlag(log.get(), L"enabled", _wtoi(text.c_str()) != 0);
      if (!ReadText(log.get(), L"enabled", &enabled)) return false;
      *value = TextToFlag(enabled) ? L"1" : L"0";
      return true;
    }
  } else {
    Ref<IAppHostElement> folder_element;
    if (!config.FindFolder(site.get(), url_path, &folder_element)) return false;
    if (SameName(name, "Path")) {
      return read ? ReadText(folder_element.get(), L"physicalPath", value)
                  : WriteText(folder_element.get(), L"physicalPath", text);
    }
    if (SameName(name, "AppPoolId")) {
      Ref<IAppHostElement> application;
      std::wstring application_path;
      if (!config.FindApplication(site.get(), url_path, &application, &application_path)) {
        return false;
      }
      return read ? ReadText(application.get(), L"applicationPool", value)
                  : WriteText(application.get(), L"applicationPool", text);
    }
  }
  if (const wchar_t* flag = AccessFlag(name)) {
    if (!read) return WritePolicyFlag(config, location, flag, TextToFlag(text));
    std::wstring policy;
    if (!ReadPolicy(config, location, &policy)) return false;
    bool on = false;
    for (const std::wstring& f : SplitText(policy, L","))
      on = on || lstrcmpiW(f.c_str(), flag) == 0;
    *value = FlagText(on);
    return true;
  }
  if (SameName(name, "DefaultDoc")) {
    return read ? ReadDocuments(config, location, value) : WriteDocuments(config, location, text);
  }
  if (SameName(name, "MimeMap")) {
    return read ? ReadMimeMap(config, location, value)
                : WriteMimeMap(config, location, SplitText(text, L"\r\n"));
  }
  if (const SectionAttribute* a = FindSectionAttribute(name)) {
    Ref<IAppHostElement> section;
    if (!config.Section(a->section, location, &section)) return false;
    if (!read) {
      return a->flag ? WriteFlag(section.get(), a->attribute, TextToFlag(text) != a->inverted)
                     : WriteText(section.get(), a->attribute, text);
    }
    if (!ReadText(section.get(), a->attribute, value)) return false;
    if (a->flag) *value = FlagText(TextToFlag(*value) != a->inverted);
    return true;
  }
  return false;
}

bool EnsureRootApplication(ConfigSession& config, IAppHostElement* site,
                           Ref<IAppHostElement>* application) {
  Ref<IAppHostElementCollection> applications;
  if (!Items(site, &applications)) return false;
  if (FindItem(applications.get(), L"path", L"/", application)) return true;
  return NewItem(applications.get(), L"application", application) &&
         WriteText(application->get(), L"path", L"/") &&
         AddItem(applications.get(), application->get());
}

// The virtual folder "/" of an application, made when missing.
bool EnsureFolder(IAppHostElement* application, const std::wstring& relative,
                  Ref<IAppHostElement>* folder) {
  Ref<IAppHostElementCollection> folders;
  if (!Items(application, &folders)) return false;
  if (FindItem(folders.get(), L"path", relative, folder)) return true;
  return NewItem(folders.get(), L"virtualDirectory", folder) &&
         WriteText(folder->get(), L"path", relative) && AddItem(folders.get(), folder->get());
}

const wchar_t* RuntimeVersion(int32_t aspnet) {
  switch (aspnet) {
    case 1:
      return L"v1.1";
    case 2:
      return L"v2.0";
    case 3:
      return L"v4.0";
    default:
      return nullptr;
  }
}

bool ApplyFolder(ConfigSession& config, const AhwFolderSettings& s) {
  Ref<IAppHostElement> site;
  SiteRef ref;
  if (s.site <= 0 || !config.FindSite(static_cast<uint32_t>(s.site), &site, &ref)) return false;
  const std::wstring url_path = UrlPath(s.folder);
  Ref<IAppHostElement> root;
  if (!EnsureRootApplication(config, site.get(), &root)) return false;
  Ref<IAppHostElement> application, folder;
  std::wstring pool = Wide(s.pool);
  if (url_path == L"/") {
    if (!EnsureFolder(root.get(), L"/", &folder)) return false;
    if (s.protection != 0 && !pool.empty() && !WriteText(root.get(), L"applicationPool", pool)) {
      return false;
    }
  } else if (s.protection != 0) {
    // An application of its own, in the pool named (made when missing).
    Ref<IAppHostElementCollection> applications;
    if (!Items(site.get(), &applications)) return false;
    if (!FindItem(applications.get(), L"path", url_path, &application)) {
      if (!NewItem(applications.get(), L"application", &application) ||
          !WriteText(application.get(), L"path", url_path) ||
          !AddItem(applications.get(), application.get())) {
        return false;
      }
    }
    if (!pool.empty() && !WriteText(application.get(), L"applicationPool", pool)) return false;
    if (!EnsureFolder(application.get(), L"/", &folder)) return false;
  } else {
    std::wstring application_path;
    if (!config.FindApplication(site.get(), url_path, &application, &application_path)) {
      return false;
    }
    const std::wstring relative =
        application_path == L"/" ? url_path : url_path.substr(application_path.size());
    if (!EnsureFolder(application.get(), relative.empty() ? L"/" : relative, &folder)) {
      return false;
    }
  }
  if (!WriteText(folder.get(), L"physicalPath", Wide(s.physical_path))) return false;
  if (!pool.empty()) {
    Ref<IAppHostElement> pool_element;
    if (!config.Pool(pool, true, &pool_element)) return false;
    if (const wchar_t* version = RuntimeVersion(s.aspnet)) {
      WriteText(pool_element.get(), L"managedRuntimeVersion", version);
    }
  }
  const std::wstring location = Location(ref, url_path);
  const struct {
    const wchar_t* flag;
    bool on;
  } access[] = {{L"Read", s.access_read != 0},
                {L"Write", s.access_write != 0},
                {L"Source", s.access_source != 0},
                {L"Script", s.execute >= 1},
                {L"Execute", s.execute >= 2}};
  for (const auto& a : access) {
    if (!WritePolicyFlag(config, location, a.flag, a.on)) return false;
  }
  const struct {
    const char* name;
    bool on;
  } flags[] = {{"EnableDirBrowsing", s.directory_browsing != 0},
               {"DontLog", s.logging == 0},
               {"EnableDefaultDoc", s.default_document_enabled != 0},
               {"AuthAnonymous", s.auth_anonymous != 0},
               {"AuthNTLM", s.auth_ntlm != 0},
               {"AuthBasic", s.auth_basic != 0}};
  for (const auto& f : flags) {
    if (!Property(config, false, s.site, s.folder, f.name, nullptr, FlagText(f.on))) return false;
  }
  const std::wstring documents = Wide(s.default_documents);
  if (!documents.empty() && !WriteDocuments(config, location, documents)) return false;
  const std::wstring mime = Wide(s.mime_map);
  if (!mime.empty() && !WriteMimeMap(config, location, SplitText(mime, L","))) return false;
  return true;
}

bool ApplySite(ConfigSession& config, const AhwSiteSettings& s, int32_t* index) {
  Ref<IAppHostElementCollection> sites;
  if (!config.Sites(&sites)) return false;
  uint32_t id = s.index > 0 ? static_cast<uint32_t>(s.index) : 0;
  if (id == 0) {
    id = 1;
    for (bool taken = true; taken;) {
      taken = false;
      for (const SiteRef& r : config.SiteList()) taken = taken || r.id == id;
      if (taken) ++id;
    }
  }
  Ref<IAppHostElement> site;
  const bool existing = FindItem(sites.get(), L"id", std::to_wstring(id), &site);
  if (!existing && (!NewItem(sites.get(), L"site", &site) || !WriteNumber(site.get(), L"id", id))) {
    return false;
  }
  const std::wstring description = Wide(s.description);
  if (!WriteText(site.get(), L"name", description) ||
      !WriteFlag(site.get(), L"serverAutoStart", s.auto_start != 0)) {
    return false;
  }
  const std::wstring binding = Wide(s.ip) + L":" + Wide(s.port) + L":" + Wide(s.host_header);
  if (!WriteBindings(site.get(), L"http", binding)) return false;
  if (s.secure_port && *s.secure_port &&
      !WriteBindings(site.get(), L"https",
                     Wide(s.ip) + L":" + Wide(s.secure_port) + L":" + Wide(s.host_header))) {
    return false;
  }
  Ref<IAppHostElement> limits, log;
  if (!Child(site.get(), L"limits", &limits) || !Child(site.get(), L"logFile", &log)) return false;
  if (s.connection_timeout != kAhwUnset && s.connection_timeout >= 0 &&
      !WriteText(limits.get(), L"connectionTimeout",
                 SpanOf(static_cast<uint32_t>(s.connection_timeout)))) {
    return false;
  }
  if (s.unlimited_connections) {
    if (!WriteNumber(limits.get(), L"maxConnections", 0xFFFFFFFFu)) return false;
  } else if (s.max_connections != kAhwUnset &&
             !WriteNumber(limits.get(), L"maxConnections",
                          static_cast<uint32_t>(s.max_connections))) {
    return false;
  }
  if (!WriteFlag(log.get(), L"enabled", s.logging != 0)) return false;
  if (!existing && !AddItem(sites.get(), site.get())) return false;
  Ref<IAppHostElement> protocol;
  if (config.Section(L"system.webServer/httpProtocol", description, &protocol)) {
    WriteFlag(protocol.get(), L"allowKeepAlive", s.keep_alive != 0);
  }
  if (s.enable_asp || s.enable_exe_files) {
    // The server's list of allowed extensions and programs.
    Ref<IAppHostElement> restriction;
    Ref<IAppHostElementCollection> entries;
    if (config.Section(L"system.webServer/security/isapiCgiRestriction", L"", &restriction)) {
      if (s.enable_exe_files) WriteFlag(restriction.get(), L"notListedCgisAllowed", true);
      if (s.enable_asp && Items(restriction.get(), &entries)) {
        const std::wstring asp = L"%windir%\\system32\\inetsrv\\asp.dll";
        Ref<IAppHostElement> entry;
        if (FindItem(entries.get(), L"path", asp, &entry)) {
          WriteFlag(entry.get(), L"allowed", true);
        } else if (NewItem(entries.get(), L"add", &entry) && WriteText(entry.get(), L"path", asp)) {
          WriteFlag(entry.get(), L"allowed", true);
          WriteText(entry.get(), L"groupId", L"ASP");
          AddItem(entries.get(), entry.get());
        }
      }
    }
  }
  *index = static_cast<int32_t>(id);
  return true;
}

}  // namespace
}  // namespace corvane::webadmin

using namespace corvane::webadmin;  // NOLINT: the exports below are the library's surface

extern "C" {

int32_t GetIISSiteList(const char* host, char* buffer, uint32_t size) {
  ConfigSession config;
  if (!config.Open(host)) return 0;
  std::wstring lines;
  for (const corvane::webadmin::SiteRef& site : config.SiteList()) {
    if (!lines.empty()) lines += L"\r\n";
    lines += site.name;
  }
  return corvane::webadmin::CopyOut(lines, buffer, size) ? 1 : 0;
}

int32_t GetIISSiteIndex(const char* host, const char* description, int32_t* index) {
  ConfigSession config;
  if (index == nullptr || !config.Open(host)) return 0;
  const std::wstring wanted = corvane::webadmin::Wide(description);
  for (const corvane::webadmin::SiteRef& site : config.SiteList()) {
    if (lstrcmpiW(site.name.c_str(), wanted.c_str()) == 0) {
      *index = static_cast<int32_t>(site.id);
      return 1;
    }
  }
  return 0;
}

int32_t GetIISProperty(const char* host, int32_t of_site, int32_t site, const char* folder,
                       const char* name, char* buffer, uint32_t size) {
  ConfigSession config;
  std::wstring value;
  if (name == nullptr || !config.Open(host) ||
      !corvane::webadmin::Property(config, of_site != 0, site, folder, name, &value,
                                   std::wstring())) {
    return 0;
  }
  return corvane::webadmin::CopyOut(value, buffer, size) ? 1 : 0;
}

int32_t SetIISProperty(const char* host, int32_t of_site, int32_t site, const char* folder,
                       const char* name, const char* value) {
  ConfigSession config;
  if (name == nullptr || !config.Open(host) ||
      !corvane::webadmin::Property(config, of_site != 0, site, folder, name, nullptr,
                                   corvane::webadmin::Wide(value))) {
    return 0;
  }
  return config.Commit() ? 1 : 0;
}

int32_t CreateIISSite(const char* host, const AhwSiteSettings* settings, int32_t* index) {
  ConfigSession config;
  if (settings == nullptr || index == nullptr || settings->size < sizeof(AhwSiteSettings) ||
      !config.Open(host)) {
    return 0;
  }
  int32_t made = 0;
  if (!corvane::webadmin::ApplySite(config, *settings, &made) || !config.Commit()) return 0;
  *index = made;
  return 1;
}

int32_t CreateIISSiteFolder(const char* host, const AhwFolderSettings* settings) {
  ConfigSession config;
  if (settings == nullptr || settings->size < sizeof(AhwFolderSettings) || !config.Open(host)) {
    return 0;
  }
  return corvane::webadmin::ApplyFolder(config, *settings) && config.Commit() ? 1 : 0;
}

int32_t DeleteIISSite(const char* host, int32_t site) {
  ConfigSession config;
  Ref<IAppHostElementCollection> sites;
  Ref<corvane::webadmin::IAppHostElement> element;
  DWORD position = 0;
  if (site <= 0 || !config.Open(host) || !config.Sites(&sites) ||
      !config.FindSite(static_cast<uint32_t>(site), &element, nullptr, &position)) {
    return 0;
  }
  return corvane::webadmin::DeleteItem(sites.get(), position) && config.Commit() ? 1 : 0;
}

int32_t DeleteIISSiteFolder(const char* host, int32_t site, const char* folder) {
  ConfigSession config;
  Ref<corvane::webadmin::IAppHostElement> element, application;
  if (site <= 0 || !config.Open(host) || !config.FindSite(static_cast<uint32_t>(site), &element)) {
    return 0;
  }
  const std::wstring url_path = corvane::webadmin::UrlPath(folder);
  std::wstring application_path;
  if (!config.FindApplication(element.get(), url_path, &application, &application_path)) {
    return 0;
  }
  // A folder that is an application goes with its application; another one from the
  // application that serves it.
  Ref<IAppHostElementCollection> items;
  DWORD position = 0;
  if (application_path == url_path) {
    Ref<corvane::webadmin::IAppHostElement> found;
    if (!corvane::webadmin::Items(element.get(), &items) ||
        !corvane::webadmin::FindItem(items.get(), L"path", url_path, &found, &position)) {
      return 0;
    }
  } else {
    const std::wstring relative =
        application_path == L"/" ? url_path : url_path.substr(application_path.size());
    Ref<corvane::webadmin::IAppHostElement> found;
    if (!corvane::webadmin::Items(application.get(), &items) ||
        !corvane::webadmin::FindItem(items.get(), L"path", relative, &found, &position)) {
      return 0;
    }
  }
  return corvane::webadmin::DeleteItem(items.get(), position) && config.Commit() ? 1 : 0;
}

int32_t ControlIISSite(const char* host, int32_t site, int32_t action) {
  ConfigSession config;
  Ref<corvane::webadmin::IAppHostElement> element;
  if (site <= 0 || action < kAhwStart || action > kAhwContinue || !config.Open(host) ||
      !config.FindSite(static_cast<uint32_t>(site), &element)) {
    return 0;
  }
  // The server's sites cannot pause: pausing or continuing one keeps it running.
  return corvane::webadmin::RunMethod(element.get(), action == kAhwStop ? L"Stop" : L"Start") ? 1
                                                                                              : 0;
}

int32_t GetIISAnonUser(const char* host, char* buffer, uint32_t size) {
  ConfigSession config;
  Ref<corvane::webadmin::IAppHostElement> section;
  std::wstring user;
  if (!config.Open(host) ||
      !config.Section(L"system.webServer/security/authentication/anonymousAuthentication", L"",
                      &section) ||
      !corvane::webadmin::ReadText(section.get(), L"userName", &user)) {
    return 0;
  }
  return corvane::webadmin::CopyOut(user, buffer, size) ? 1 : 0;
}

int32_t GetIISUniqueAccountID(const char* host, int32_t site, char* buffer, uint32_t size) {
  ConfigSession config;
  Ref<corvane::webadmin::IAppHostElement> element, application, pool, model;
  std::wstring application_path, pool_name, identity;
  if (site <= 0 || !config.Open(host) || !config.FindSite(static_cast<uint32_t>(site), &element) ||
      !config.FindApplication(element.get(), L"/", &application, &application_path) ||
      !corvane::webadmin::ReadText(application.get(), L"applicationPool", &pool_name)) {
    return 0;
  }
  if (pool_name.empty()) {
    Ref<corvane::webadmin::IAppHostElement> sites;
    Ref<corvane::webadmin::IAppHostElement> defaults;
    if (!config.Section(L"system.applicationHost/sites", L"", &sites) ||
        !corvane::webadmin::Child(sites.get(), L"applicationDefaults", &defaults) ||
        !corvane::webadmin::ReadText(defaults.get(), L"applicationPool", &pool_name)) {
      return 0;
    }
  }
  if (!config.Pool(pool_name, false, &pool) ||
      !corvane::webadmin::Child(pool.get(), L"processModel", &model) ||
      !corvane::webadmin::ReadText(model.get(), L"identityType", &identity)) {
    return 0;
  }
  std::wstring account;
  if (lstrcmpiW(identity.c_str(), L"SpecificUser") == 0) {
    if (!corvane::webadmin::ReadText(model.get(), L"userName", &account)) return 0;
  } else if (lstrcmpiW(identity.c_str(), L"LocalSystem") == 0) {
    account = L"NT AUTHORITY\\SYSTEM";
  } else if (lstrcmpiW(identity.c_str(), L"LocalService") == 0) {
    account = L"NT AUTHORITY\\LOCAL SERVICE";
  } else if (lstrcmpiW(identity.c_str(), L"NetworkService") == 0) {
    account = L"NT AUTHORITY\\NETWORK SERVICE";
  } else {
    account = L"IIS APPPOOL\\" + pool_name;
  }
  return corvane::webadmin::CopyOut(account, buffer, size) ? 1 : 0;
}

int32_t GetIISSiteState(const char* host, int32_t site, int32_t* state) {
  ConfigSession config;
  Ref<corvane::webadmin::IAppHostElement> element;
  uint32_t value = 0;
  if (state == nullptr || site <= 0 || !config.Open(host) ||
      !config.FindSite(static_cast<uint32_t>(site), &element) ||
      !corvane::webadmin::ReadNumber(element.get(), L"state", &value)) {
    return 0;
  }
  // The configuration numbers the states from 0 (starting); the scripting interface from 1.
  *state = value <= 3 ? static_cast<int32_t>(value) + 1 : 0;
  return 1;
}

}  // extern "C"
