// The web-server commands: sites, virtual folders, their properties and states, and the
// anonymous account, on the server that the variable IISHOST names. A server before version 7 is
// administered through its scripting interface (webserver_scripting.h), a later one through the
// administration library that the engine carries (written once per run into the support folder
// and loaded by that path for each command). Failures are not reported: Get IIS Property stores
// "!ERROR!", IIS Anonymous User the empty text, the other commands store and change nothing.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace corvane::interp {
class Session;
}

namespace corvane::commands {

// MajorVersion * 10 + MinorVersion of the installed web server (HKLM\SOFTWARE\Microsoft\InetStp
// in the engine process's own view); -1 when there is none.
int WebServerVersion(platform::Platform& platform);

// The file name of the administration library in the support folder.
inline constexpr char kAdminLibraryName[] = "ahadmin_wrapper.dll";

// The administration of the server IISHOST names, on the path its version takes; nullptr when
// the path cannot be taken (the library cannot be written or loaded).
std::unique_ptr<platform::WebAdminLibrary> OpenWebAdmin(interp::Session& session);

// The anonymous account of that server as IIS Anonymous User gives it ("" on any failure). For a
// system setting (`make_site` false) a server before version 7 is asked for the web service's
// own account, which every new site inherits, instead of making a temporary site.
std::string WebServerAnonymousUser(interp::Session& session, bool make_site);

}  // namespace corvane::commands
