// A readable record of what a setup read and changed on the simulated machine: every registry
// and file call that changes something, the reads and what they found, the message boxes and
// their answers, and notes the engine adds (dialogs shown, exit code).
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvane::platform::sim {

class Transcript {
 public:
  void Add(std::string line);
  std::vector<std::string> Lines() const;
  std::string Text() const;  // one line each, LF ended

 private:
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

class RecordingFileSystem : public FileSystemWrapper {
 public:
  RecordingFileSystem(FileSystem& target, Transcript& t) : FileSystemWrapper(target), t_(t) {}
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, Status* status) override;
  Status ReadFile(const std::string& path, std::string* contents) override;
  Status WriteFile(const std::string& path, std::string_view contents) override;
  Status SetAttributes(const std::string& path, uint32_t attributes) override;
  Status CreateDirectory(const std::string& path) override;
  Status RemoveDirectory(const std::string& path) override;
  Status DeleteFile(const std::string& path) override;
  Status CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override;
  Status MoveFile(const std::string& from, const std::string& to, bool replace) override;

 private:
  Transcript& t_;
};

class RecordingRegistry : public RegistryWrapper {
 public:
  RecordingRegistry(Registry& target, Transcript& t) : RegistryWrapper(target), t_(t) {}
  Status CreateKey(RegRoot root, const std::string& key, RegView view) override;
  Status ReadValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                   RegValue* value) override;
  Status WriteValue(RegRoot root, const std::string& key, const std::string& name, RegView view,
                    const RegValue& value) override;
  Status DeleteValue(RegRoot root, const std::string& key, const std::string& name,
                     RegView view) override;
  Status DeleteKeyTree(RegRoot root, const std::string& key, RegView view) override;

 private:
  Transcript& t_;
};

class RecordingUserInterface : public UserInterface {
 public:
  RecordingUserInterface(UserInterface& target, Transcript& t) : target_(target), t_(t) {}
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  int MessageBoxOwned(uint64_t owner, const std::string& text, const std::string& caption,
                      uint32_t flags) override {
    (void)owner;  // the headless screen has one layer: a box is a box
    return MessageBox(text, caption, flags);
  }
  Status BrowseForFolder(const std::string& title, std::string* folder) override;

 private:
  UserInterface& target_;
  Transcript& t_;
};

// The headless renderer's screen in the transcript: each dialog shown with its caption,
// placement and the frame painted (every control's value and state), what later paints changed,
// hides, every input the user gave and the renderer's notes (variables an input wrote).
class RecordingWindowService : public WindowServiceWrapper {
 public:
  RecordingWindowService(WindowService& target, Transcript& t)
      : WindowServiceWrapper(target), t_(t) {}
  uint64_t MakeWindow(const std::string& name, const std::string& key,
                        const std::string& caption, const WindowRect& placement) override;
  uint64_t RecreateWindow(uint64_t window, const std::string& caption,
                          const WindowRect& placement) override;
  void HideWindow(uint64_t window) override;
  void RestoreWindow(uint64_t window) override;
  void ShowTrayIcon(const std::string& hint) override;
  void HideTrayIcon() override;
  void ShowBalloon(const std::string& title, const std::string& text, int kind,
                   uint32_t timeout_ms) override;
  void Paint(uint64_t window, const std::vector<std::string>& frame) override;
  Pumped PumpOne(uint64_t window, WindowInput* input) override;
  bool PollInput(uint64_t window, WindowInput* input) override;
  void Note(const std::string& line) override;

 private:
  struct Shown {
    std::string title;  // "Destination 2 (command 5)"
    std::string caption;
    WindowRect placement;
    std::vector<std::string> frame;
    bool painted = false;
  };
  void Input(uint64_t window, const WindowInput& input);
  Transcript& t_;
  std::map<uint64_t, Shown> shown_;
  std::map<std::string, int> displays_;
};

// One line per installer call with its exact arguments and outcome ("installer install
// "C:\setup.msi" "ADDLOCAL=ALL" -> 0"); of an opened database only the commit is recorded.
class RecordingInstaller : public InstallerWrapper {
 public:
  RecordingInstaller(Installer& target, Transcript& t) : InstallerWrapper(target), t_(t) {}
  int QueryProductState(const std::string& code) override;
  Status GetProductInfo(const std::string& code, const std::string& property,
                        std::string* value) override;
  std::unique_ptr<InstallerDatabase> OpenDatabase(const std::string& path, bool read_only,
                                                  Status* status) override;
  Status EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) override;
  void SetInternalUI(uint32_t level) override;
  void SetExternalUI(InstallerMessageHandler handler, uint32_t filter) override;
  Status AddSource(const std::string& code, const std::string& user,
                   const std::string& source) override;
  uint32_t InstallProduct(const std::string& package, const std::string& line) override;
  uint32_t ApplyPatch(const std::string& patch, const std::string& line) override;
  uint32_t RunPackageAction(const PackageAction& action, bool* reboot) override;

 private:
  Transcript& t_;
};

// Program starts with their command lines, folders, show commands, environments and accounts
// (a password only by its length), close requests and process lookups.
class RecordingProcesses : public ProcessesWrapper {
 public:
  RecordingProcesses(Processes& target, Transcript& t) : ProcessesWrapper(target), t_(t) {}
  Status ShellStart(const std::string& verb, const std::string& file, const std::string& arguments,
                    const std::string& folder, int show,
                    std::unique_ptr<Process>* process) override;
  Status PlainStart(const std::string& command_line, const StartOptions& options,
                       std::unique_ptr<Process>* process) override;
  Status StartWithLogon(const std::string& user, const std::string& domain,
                        const std::string& password, const std::string& command_line,
                        const StartOptions& options, std::unique_ptr<Process>* process) override;
  TokenStart StartWithShellToken(const std::string& command_line, const StartOptions& options,
                                 std::unique_ptr<Process>* process) override;
  bool PostCloseRequest(uint64_t window) override;
  std::vector<std::string> RunningExecutables() override;

 private:
  Transcript& t_;
};

// Service queries and starts, the work items saved, read and deleted (the password of a task
// only by its length), and library registrations with what their entries returned.
class RecordingServices : public ServicesWrapper {
 public:
  RecordingServices(Services& target, Transcript& t) : ServicesWrapper(target), t_(t) {}
  Status QueryServiceState(const std::string& computer, const std::string& name,
                           uint32_t* state) override;
  Status StartServiceAndWait(const std::string& computer, const std::string& name) override;
  Status SaveTask(const std::string& computer, const std::string& name,
                  const ScheduledTask& task) override;
  Status DeleteTask(const std::string& computer, const std::string& name) override;

 private:
  Transcript& t_;
};

class RecordingRegistration : public LibraryRegistrationWrapper {
 public:
  RecordingRegistration(LibraryRegistration& target, Transcript& t)
      : LibraryRegistrationWrapper(target), t_(t) {}
  Status RegisterTypeLibrary(const std::string& path) override;
  Status UnregisterTypeLibrary(const std::string& path) override;
  Status CallRegistrationEntry(const std::string& path, bool register_it,
                               int32_t* result) override;

 private:
  Transcript& t_;
};

// The system's URL downloader, each download noted with its result.
class RecordingUrlDownloader : public UrlDownloaderWrapper {
 public:
  RecordingUrlDownloader(UrlDownloader& target, Transcript& t)
      : UrlDownloaderWrapper(target), t_(t) {}
  int32_t DownloadToCacheFile(const std::string& address, UrlDownloadCallback& callback,
                              std::string* cache_file) override;

 private:
  Transcript& t_;
};

// The shell's restarts, shortcut identities, shell verbs and the sounds played, in the
// transcript.
class RecordingShell : public ShellWrapper {
 public:
  RecordingShell(Shell& target, Transcript& t) : ShellWrapper(target), t_(t) {}
  Status RestartComputer(std::string* why) override;
  Status SetShortcutIdentity(const std::string& shortcut, const std::string& identity) override;
  Status InvokeShellVerb(const std::string& path, const std::string& verb) override;
  Status PlaySoundFile(const std::string& path) override;

 private:
  Transcript& t_;
};

// The web server's administration in the transcript (transcript_webserver.cpp): every object
// opened, read, changed, made, deleted or called through the scripting interface, and every load
// and call of the administration library with its outcome. Line breaks of values show as "\n".
class RecordingWebServer : public WebServerWrapper {
 public:
  RecordingWebServer(WebServer& target, Transcript& t) : WebServerWrapper(target), t_(t) {}
  std::unique_ptr<WebAdminObject> OpenWebService(const std::string& host, Status* status) override;
  std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string& path,
                                                    Status* status) override;

 private:
  Transcript& t_;
};

// Libraries loaded into the engine, with the outcome.
class RecordingLibraryLoader : public LibraryLoader {
 public:
  RecordingLibraryLoader(LibraryLoader& target, Transcript& t) : target_(target), t_(t) {}
  std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error_text) override;

 private:
  LibraryLoader& target_;
  Transcript& t_;
};

// Shares made and deleted, and the access lists changed (accounts by identifier and name).
class RecordingShares : public NetworkSharesWrapper {
 public:
  RecordingShares(NetworkShares& target, Transcript& t) : NetworkSharesWrapper(target), t_(t) {}
  Status AddShare(const std::string& computer, const ShareInfo& share) override;
  Status DeleteShare(const std::string& computer, const std::string& name) override;

 private:
  Transcript& t_;
};

class RecordingAccessLists : public AccessListsWrapper {
 public:
  RecordingAccessLists(AccessLists& target, Transcript& t) : AccessListsWrapper(target), t_(t) {}
  Status GrantAccess(const SecuredObject& object,
                     const std::vector<AccessEntry>& entries) override;
  Status ReplaceAccessList(const SecuredObject& object, const std::vector<AccessEntry>& entries,
                           bool protect) override;

 private:
  std::string Entries(const std::vector<AccessEntry>& entries);
  Transcript& t_;
};

// A platform whose files, registry, message boxes, installer calls, program starts, restarts and
// sounds are recorded in a transcript.
class RecordingPlatform : public Platform {
 public:
  RecordingPlatform(Platform& target, Transcript& t)
      : target_(target), files_(target.files(), t), registry_(target.registry(), t),
        ui_(target.ui(), t), installer_(target.installer(), t), windows_(target.windows(), t),
        processes_(target.processes(), t), shell_(target.shell(), t),
        web_server_(target.web_server(), t), libraries_(target.libraries(), t),
        shares_(target.shares(), t), access_lists_(target.access_lists(), t),
        services_(target.services(), t), registration_(target.registration(), t),
        url_downloader_(target.url_downloader(), t) {}
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& system() override { return target_.system(); }
  UserInterface& ui() override { return ui_; }
  Installer& installer() override { return installer_; }
  Shell& shell() override { return shell_; }
  WindowService& windows() override { return windows_; }
  Processes& processes() override { return processes_; }
  WebServer& web_server() override { return web_server_; }
  LibraryLoader& libraries() override { return libraries_; }
  NetworkShares& shares() override { return shares_; }
  AccessLists& access_lists() override { return access_lists_; }
  UrlDownloader& url_downloader() override { return url_downloader_; }
  Services& services() override { return services_; }
  LibraryRegistration& registration() override { return registration_; }
  PictureCodecs& pictures() override { return target_.pictures(); }

 private:
  Platform& target_;
  RecordingFileSystem files_;
  RecordingRegistry registry_;
  RecordingUserInterface ui_;
  RecordingInstaller installer_;
  RecordingWindowService windows_;
  RecordingProcesses processes_;
  RecordingShell shell_;
  RecordingWebServer web_server_;
  RecordingLibraryLoader libraries_;
  RecordingShares shares_;
  RecordingAccessLists access_lists_;
  RecordingServices services_;
  RecordingRegistration registration_;
  RecordingUrlDownloader url_downloader_;
};

// "HKLM\Software\Key [Name]" with the view when it is not the native one.
std::string DescribeRegistryValue(RegRoot root, const std::string& key, const std::string& name,
                                  RegView view);
// A value as a transcript shows it: strings quoted, numbers in decimal, binary in hex.
std::string DescribeRegValue(const RegValue& value);

}  // namespace corvane::platform::sim
