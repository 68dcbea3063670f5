// The bundle of platform services that the engine receives once at start-up and passes down.
#pragma once

#include <memory>
#include <string>

#include "platform/access_lists.h"
#include "platform/files.h"
#include "platform/installer.h"
#include "platform/library.h"
#include "platform/network.h"
#include "platform/pictures.h"
#include "platform/processes.h"
#include "platform/registration.h"
#include "platform/registry.h"
#include "platform/shares.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/ui.h"
#include "platform/webserver.h"
#include "platform/url_download.h"
#include "platform/window.h"

namespace corvane::platform {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual FileSystem& files() = 0;
  virtual Registry& registry() = 0;
  virtual SystemInfo& system() = 0;
  virtual UserInterface& ui() = 0;
  // The installer service and the shell. A platform that does not override them has neither:
  // nothing is installed there and no special folder is known.
  virtual Installer& installer() { return no_installer_; }
  virtual Shell& shell() { return no_shell_; }
  // The windows of the dialogs, their message pump and timers. A platform that does not
  // override it has no windows (see WindowService's defaults).
  virtual WindowService& windows() { return no_windows_; }
  // The JPEG and bitmap decoders. A platform that does not override them decodes neither.
  virtual PictureCodecs& pictures() { return no_pictures_; }
  // Outgoing connections. Both builds use the host's sockets (the simulated machine shares the
  // host's network); a test may put a NetworkWrapper in front.
  virtual Network& network() { return HostNetwork(); }
  // Other programs' processes and windows. A platform that does not override it starts nothing.
  virtual Processes& processes() { return no_processes_; }
  // The web server's administration. A platform that does not override it has no web server.
  virtual WebServer& web_server() { return no_web_server_; }
  // Libraries of the machine loaded into the engine's process (plug-ins). A platform that does
  // not override it loads none.
  virtual LibraryLoader& libraries() { return no_libraries_; }
  // Network shares and the access lists of secured objects. A platform that does not override
  // them shares nothing and has no lists.
  virtual NetworkShares& shares() { return no_shares_; }
  virtual AccessLists& access_lists() { return no_access_lists_; }
  // The system's URL downloader. A platform that does not override it has none.
  virtual UrlDownloader& url_downloader() { return no_url_downloader_; }
  // The service manager and the task scheduler. A platform that does not override it has no
  // services and schedules nothing.
  virtual Services& services() { return no_services_; }
  // Registration of type libraries and self-registering libraries. A platform that does not
  // override it registers nothing.
  virtual LibraryRegistration& registration() { return no_registration_; }

 private:
  NoInstaller no_installer_;
  NoShell no_shell_;
  WindowService no_windows_;
  NoPictureCodecs no_pictures_;
  NoProcesses no_processes_;
  NoWebServer no_web_server_;
  NoLibraryLoader no_libraries_;
  NoNetworkShares no_shares_;
  NoAccessLists no_access_lists_;
  NoUrlDownloader no_url_downloader_;
  NoServices no_services_;
  NoLibraryRegistration no_registration_;
};

// A Platform made of services owned elsewhere (a test puts a wrapper in front of one of them).
class PlatformRefs : public Platform {
 public:
  PlatformRefs(FileSystem& f, Registry& r, SystemInfo& s, UserInterface& u,
               Installer* installer = nullptr, Shell* shell = nullptr,
               PictureCodecs* pictures = nullptr)
      : files_(f),
        registry_(r),
        system_(s),
        ui_(u),
        installer_(installer),
        shell_(shell),
        pictures_(pictures) {}
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& system() override { return system_; }
  UserInterface& ui() override { return ui_; }
  Installer& installer() override { return installer_ ? *installer_ : Platform::installer(); }
  Shell& shell() override { return shell_ ? *shell_ : Platform::shell(); }
  PictureCodecs& pictures() override { return pictures_ ? *pictures_ : Platform::pictures(); }

 private:
  FileSystem& files_;
  Registry& registry_;
  SystemInfo& system_;
  UserInterface& ui_;
  Installer* installer_;
  Shell* shell_;
  PictureCodecs* pictures_;
};

}  // namespace corvane::platform
