// The simulated machine: every platform service over a machine folder on the host.
//
//   MACHINE/drive_c/ ...   the files of drive C: (one folder per drive)
//   MACHINE/machine.txt    the machine description (see machine.h); defaults when missing
//   MACHINE/registry.reg   the registry, loaded at start and saved by SaveRegistry (and at the
//                          end when SimOptions::save_registry_on_exit is set)
//   MACHINE/attributes.txt file attribute bits that the host cannot keep
//   MACHINE/pending_deletions.txt  deletions scheduled for the next restart (see sim_shell.h)
//   MACHINE/installer.txt  what the next installer calls do (see installer_playback.h)
//   MACHINE/shares.txt     the network shares (see sim_shares.h)
//   MACHINE/access.txt     the access lists a setup changed, printers.txt the printers (see
//                          sim_access_lists.h)
//   MACHINE/webserver.txt  the web server, when the machine has one (see sim_webserver.h)
//   MACHINE/services.txt   the services and their states (see sim_services.h); the scheduled
//                          tasks are files of C:\Windows\Tasks
//
// A new machine gets the folders and registry keys that a fresh Windows installation has and
// that the engine reads (Windows, system, temporary and profile folders, program folders, the
// version keys).
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_access_lists.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_installer.h"
#include "platform/sim/sim_libraries.h"
#include "platform/sim/sim_pictures.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_registration.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shares.h"
#include "platform/sim/sim_services.h"
#include "platform/sim/sim_shell.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_ui.h"
#include "platform/sim/sim_webserver.h"
#include "platform/sim/sim_url_download.h"
#include "platform/sim/sim_windows.h"

namespace corvane::platform {

struct SimOptions {
  std::string machine_folder;  // host folder of the machine; created when missing
  std::string answers_file;    // host file of message-box answers (one per line), optional
  bool save_registry_on_exit = true;
  // The engine executable's path on the machine (GetModuleFileName); the description's when
  // empty.
  std::string module_path;
  // The host program that runs setup files started on the machine (corvane-sim runs them on the
  // same machine folder); empty: setups cannot be started (see sim_processes.h).
  std::string setup_runner;
};

class SimPlatform : public Platform {
 public:
  explicit SimPlatform(const SimOptions& options);
  ~SimPlatform() override;

  FileSystem& files() override { return *files_; }
  Registry& registry() override { return *registry_; }
  SystemInfo& system() override { return *system_; }
  UserInterface& ui() override { return ui_; }
  Installer& installer() override { return *installer_; }
  Shell& shell() override { return *shell_; }
  WindowService& windows() override { return *windows_; }
  // The headless renderer's screen, clock and dialog answers.
  sim::SimWindowService& sim_windows() { return *windows_; }
  PictureCodecs& pictures() override { return pictures_; }
  Processes& processes() override { return *processes_; }
  UrlDownloader& url_downloader() override { return *url_downloader_; }
  // The process table: the stand-in programs started, close requests, open handles.
  sim::SimProcesses& sim_processes() { return *processes_; }
  WebServer& web_server() override { return *web_server_; }
  sim::SimWebServer& sim_web_server() { return *web_server_; }
  // Gives the machine the web server that `text` describes (the lines of webserver.txt), with its
  // version in the registry as the server's setup leaves it. False with the reason in *error
  // when the text is not a description.
  bool InstallWebServer(const std::string& text, std::string* error = nullptr);
  // Libraries on the machine's drives: the native shared objects they hold (sim_libraries.h).
  LibraryLoader& libraries() override { return *libraries_; }
  // Network shares (shares.txt) and access lists (access.txt, printers.txt).
  NetworkShares& shares() override { return *shares_; }
  AccessLists& access_lists() override { return *access_lists_; }
  sim::SimShares& sim_shares() { return *shares_; }
  sim::SimAccessLists& sim_access_lists() { return *access_lists_; }
  Services& services() override { return *services_; }
  // The services table and the task store.
  sim::SimServices& sim_services() { return *services_; }
  LibraryRegistration& registration() override { return *registration_; }

  // Product registrations (a product made installed with a package code, ...), and what the
  // installer calls recorded.
  sim::SimInstaller& sim_installer() { return *installer_; }
  // Queues what the next install call without an earlier block does (see installer_playback.h).
  Status QueueInstallerCall(const sim::PlaybackCall& call) { return installer_->QueueCall(call); }
  // Deletions scheduled for the next restart, compression.
  sim::SimShell& sim_shell() { return *shell_; }
  // A restart of the machine: applies the deletions scheduled for it.
  size_t SimulateRestart() { return shell_->ApplyPendingDeletions(); }

  const std::filesystem::path& MachineFolder() const { return machine_; }
  const sim::MachineDescription& Machine() const { return description_; }
  // The host path that a Windows path of the machine names (see SimFileSystem::HostPath).
  std::filesystem::path HostPath(const std::string& windows_path) {
    return files_->HostPath(windows_path);
  }

  // Message boxes.
  void QueueAnswer(int id) { ui_.QueueAnswer(id); }
  // Queues the statements of an answers file (see answers.h): message-box and folder answers,
  // dialog blocks. False with "answers line N: ..." in *error, queuing nothing, when a line is
  // not a statement.
  bool QueueAnswers(const std::string& text, std::string* error);
  // The answers file of the options could not be read or parsed (empty when it could).
  const std::string& AnswersError() const { return answers_error_; }
  size_t PendingAnswers() { return ui_.PendingAnswers(); }
  std::vector<sim::RecordedBox> RecordedBoxes() { return ui_.Boxes(); }

  // Registry persistence: the default file is MACHINE/registry.reg. Loading merges the file into
  // the registry. Both give kFailed (with a message in *error for loading) when they cannot.
  Status SaveRegistry(const std::filesystem::path& file = {});
  Status LoadRegistry(const std::filesystem::path& file, std::string* error = nullptr);
  sim::SimRegistry& sim_registry() { return *registry_; }

  // Problems found in machine.txt or the answers file at start (one per line), or empty.
  const std::string& Warnings() const { return warnings_; }

 private:
  void PrepareFolders();
  bool ReachFoldersOutsideTheCodePage();
  void SeedRegistry();
  void SeedWebServerVersion(const sim::WebServerModel& server);

  std::filesystem::path machine_;
  SimOptions options_;
  std::string warnings_;
  std::string answers_error_;
  sim::MachineDescription description_;
  std::unique_ptr<sim::SimFileSystem> files_;
  std::unique_ptr<sim::SimRegistry> registry_;
  std::unique_ptr<sim::SimSystemInfo> system_;
  std::unique_ptr<sim::SimInstaller> installer_;
  std::unique_ptr<sim::SimShell> shell_;
  sim::SimPictureCodecs pictures_;
  sim::SimUserInterface ui_;
  std::unique_ptr<sim::SimWindowService> windows_;
  std::unique_ptr<sim::SimProcesses> processes_;
  std::unique_ptr<sim::SimWebServer> web_server_;
  std::unique_ptr<sim::SimLibraryLoader> libraries_;
  std::unique_ptr<sim::SimShares> shares_;
  std::unique_ptr<sim::SimAccessLists> access_lists_;
  std::unique_ptr<sim::SimUrlDownloader> url_downloader_;
  std::unique_ptr<sim::SimServices> services_;
  std::unique_ptr<sim::SimLibraryRegistration> registration_;
};

std::unique_ptr<SimPlatform> CreateSimPlatform(const SimOptions& options);

}  // namespace corvane::platform
