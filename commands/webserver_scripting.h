// The web-server commands' work on a server before version 7, through its scripting interface:
// the same operations as the administration library of the later servers offers, carried out on
// the web service's objects (sites "IIsWebServer" by index, their folders "IIsWebVirtualDir"
// "Root" and "Root/name", application pools below "AppPools").
#pragma once

#include <string>

#include "platform/webserver.h"

namespace corvane::commands {

class ScriptingAdmin : public platform::WebAdminLibrary {
 public:
  explicit ScriptingAdmin(platform::WebServer& server) : server_(server) {}

  platform::Status SiteList(const std::string& host, std::string* descriptions) override;
  platform::Status SiteIndex(const std::string& host, const std::string& description,
                             int32_t* index) override;
  platform::Status GetProperty(const std::string& host, bool of_site, int32_t site,
                               const std::string& folder, const std::string& name,
                               std::string* value) override;
  platform::Status SetProperty(const std::string& host, bool of_site, int32_t site,
                               const std::string& folder, const std::string& name,
                               const std::string& value) override;
  // Opens the site or makes it, puts every setting and commits them.
  platform::Status CreateSite(const std::string& host, const platform::WebSiteSettings& settings,
                              int32_t* index) override;
  platform::Status CreateFolder(const std::string& host,
                                const platform::WebFolderSettings& settings) override;
  platform::Status DeleteSite(const std::string& host, int32_t site) override;
  platform::Status DeleteFolder(const std::string& host, int32_t site,
                                const std::string& folder) override;
  // 0 start, 1 stop, 2 pause and 3 continue; a site is started before it pauses or continues.
  platform::Status ControlSite(const std::string& host, int32_t site, int32_t action) override;
  // The account as a new site sees it: a site is made at the next free index, committed, read
  // and deleted again. The site is deleted on every path once it was made, and only then.
  platform::Status AnonymousUser(const std::string& host, std::string* account) override;
  platform::Status UniqueAccountId(const std::string& host, int32_t site,
                                   std::string* account) override;
  platform::Status SiteState(const std::string& host, int32_t site, int32_t* state) override;

  // The same account read from the web service itself, whose value every new site inherits:
  // nothing is made on the server.
  platform::Status ServiceAnonymousUser(const std::string& host, std::string* account);

 private:
  platform::WebServer& server_;
};

// "Root" or "Root/" + the folder (backslashes made slashes, outer slashes dropped).
std::string MetabaseFolder(const std::string& folder);

// The bindings of a site: ip ":" port ":" host header.
std::string SiteBinding(const std::string& ip, const std::string& port,
                        const std::string& host_header);

// Comma text of extension=type entries as the lines of a MIME map ("" entries left out).
std::string MimeMapLines(const std::string& comma_text);

}  // namespace corvane::commands
