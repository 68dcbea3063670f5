#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_access_lists.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_installer.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_processes.h"
#include "platform/win32/win32_registration.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_shares.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/win32_webserver.h"
#include "platform/win32/win32_url_download.h"
#include "platform/win32/win32_windows.h"

namespace corvane::platform {
namespace {

// Libraries by their full path only: a bare or relative name would be searched for, and could
// then come from wherever the search looks first.
class Win32LibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error_text) override {
    if (!IsFullLibraryPath(path)) {
      if (error_text != nullptr) *error_text = "cannot load " + path + ": not a full path";
      return nullptr;
    }
    return LoadSharedLibrary(path, error_text);
  }
};

class Win32Platform : public Platform {
 public:
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& system() override { return system_; }
  UserInterface& ui() override { return ui_; }
  Installer& installer() override { return installer_; }
  Shell& shell() override { return shell_; }
  PictureCodecs& pictures() override { return pictures_; }
  WindowService& windows() override { return windows_; }
  Processes& processes() override { return processes_; }
  WebServer& web_server() override { return web_server_; }
  LibraryLoader& libraries() override { return libraries_; }
  NetworkShares& shares() override { return shares_; }
  AccessLists& access_lists() override { return access_lists_; }
  UrlDownloader& url_downloader() override { return url_downloader_; }
  Services& services() override { return services_; }
  LibraryRegistration& registration() override { return registration_; }

 private:
  win32::Win32FileSystem files_;
  win32::Win32Registry registry_;
  win32::Win32SystemInfo system_;
  win32::Win32UserInterface ui_;
  win32::Win32Installer installer_;
  win32::Win32Shell shell_;
  win32::Win32PictureCodecs pictures_;
  win32::Win32WindowService windows_;
  win32::Win32Processes processes_;
  win32::Win32WebServer web_server_;
  Win32LibraryLoader libraries_;
  win32::Win32NetworkShares shares_;
  win32::Win32AccessLists access_lists_;
  win32::Win32UrlDownloader url_downloader_;
  win32::Win32Services services_;
  win32::Win32LibraryRegistration registration_;
};

}  // namespace

std::unique_ptr<Platform> CreateWin32Platform() { return std::make_unique<Win32Platform>(); }

}  // namespace corvane::platform
