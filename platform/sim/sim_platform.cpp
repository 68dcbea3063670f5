#include "platform/sim/sim_platform.h"

#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform {

namespace fs = std::filesystem;

SimPlatform::SimPlatform(const SimOptions& options)
    : machine_(options.machine_folder), options_(options) {
  std::error_code ec;
  fs::create_directories(machine_, ec);
  std::string text;
  if (sim::ReadHostFile(machine_ / "machine.txt", &text)) {
    description_ = sim::MachineDescription::Parse(text, &warnings_);
  } else {
    description_.Complete();
  }
  if (!options.module_path.empty()) description_.module_path = options.module_path;
  files_ = std::make_unique<sim::SimFileSystem>(machine_, description_);
  // Before the system service copies the facts: it reports the folders in their 8-bit forms.
  const bool moved_current = ReachFoldersOutsideTheCodePage();
  registry_ = std::make_unique<sim::SimRegistry>(description_.windows64, description_.process64);
  system_ = std::make_unique<sim::SimSystemInfo>(description_);
  files_->SetClock([system = system_.get()] { return system->Milliseconds(); });
  windows_ = std::make_unique<sim::SimWindowService>(*system_, ui_);
  processes_ = std::make_unique<sim::SimProcesses>(machine_, description_, *files_, *system_,
                                                   *windows_);
  warnings_ += processes_->Warnings();
  libraries_ = std::make_unique<sim::SimLibraryLoader>(*files_);
  if (!options.setup_runner.empty()) {
    // A child setup reads the registry from its file when it starts and writes it back when it
    // ends: the machine hands it over there.
    processes_->SetSetupRunner(
        options.setup_runner, [this] { SaveRegistry(); },
        [this] {
          std::string text;
          if (sim::ReadHostFile(machine_ / "registry.reg", &text)) {
            std::string error;
            registry_->ReplaceText(text, &error);
          }
        });
  }
  installer_ = std::make_unique<sim::SimInstaller>(*registry_, *files_, *system_, description_,
                                                    machine_);
  shell_ = std::make_unique<sim::SimShell>(machine_, description_, *files_);
  web_server_ = std::make_unique<sim::SimWebServer>(machine_, *files_, description_.process64);
  web_server_->SetComputerName(description_.computer);
  url_downloader_ = std::make_unique<sim::SimUrlDownloader>(
      description_.url_download, description_.url_download_lenient, *files_, *registry_,
      HostNetwork(),
      description_.profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCache\\IE\\");
  services_ = std::make_unique<sim::SimServices>(machine_, description_, *files_);
  warnings_ += services_->Warnings();
  shares_ = std::make_unique<sim::SimShares>(machine_, description_, *files_);
  warnings_ += shares_->Warnings();
  access_lists_ = std::make_unique<sim::SimAccessLists>(
      machine_, description_, *files_, *registry_, *shares_,
      [services = services_.get()](const std::string& name) {
        uint32_t state = 0;
        return services->QueryServiceState("", name, &state) != Status::kNotFound;
      });
  warnings_ += access_lists_->Warnings();
  registration_ = std::make_unique<sim::SimLibraryRegistration>(*files_, *registry_);
  PrepareFolders();
  if (moved_current) files_->SetCurrentDirectory(description_.current_folder);
  if (fs::exists(machine_ / "registry.reg", ec)) {
    std::string error;
    if (LoadRegistry(machine_ / "registry.reg", &error) != Status::kOk) {
      warnings_ += "registry.reg " + error + "\n";
    }
  } else {
    SeedRegistry();
  }
  if (fs::exists(machine_ / "webserver.txt", ec)) {
    sim::WebServerModel server;
    if (web_server_->Load(&server)) {
      SeedWebServerVersion(server);
    } else {
      warnings_ += web_server_->LastError() + "\n";
    }
  }
  if (!options.answers_file.empty()) {
    std::string answers, error;
    if (!sim::ReadHostFile(options.answers_file, &answers)) {
      answers_error_ = "cannot read the answers file " + options.answers_file;
    } else if (!QueueAnswers(answers, &error)) {
      answers_error_ = error;
    }
    if (!answers_error_.empty()) warnings_ += answers_error_ + "\n";
  }
}

bool SimPlatform::QueueAnswers(const std::string& text, std::string* error) {
  sim::AnswersFile file;
  if (!sim::ParseAnswers(text, &file, error)) return false;
  for (int id : file.boxes) ui_.QueueAnswer(id);
  for (const std::string& f : file.folders) ui_.QueueFolder(f);
  windows_->SetDialogAnswers(std::move(file.dialogs));
  return true;
}

SimPlatform::~SimPlatform() {
  if (options_.save_registry_on_exit) SaveRegistry();
}

// A profile or temporary folder named with letters that the code page lacks is made under its
// own name, and the machine's facts name it (and what lies below the profile) by its short form,
// as the system's 8-bit calls give it. True when the current folder moved with the profile.
bool SimPlatform::ReachFoldersOutsideTheCodePage() {
  sim::MachineDescription& m = description_;
  bool moved_current = false;
  if (PathHasLostCharacters(m.profile)) {
    const std::string lost = m.profile;
    m.profile = files_->ReachFolder(m.profile_utf8);
    for (std::string* below : {&m.temp_folder, &m.module_path, &m.current_folder}) {
      if (below->rfind(lost + "\\", 0) == 0) {
        *below = m.profile + below->substr(lost.size());
        moved_current = moved_current || below == &m.current_folder;
      }
    }
  }
  if (PathHasLostCharacters(m.temp_folder)) m.temp_folder = files_->ReachFolder(m.temp_folder_utf8);
  return moved_current;
}

void SimPlatform::PrepareFolders() {
  const sim::MachineDescription& m = description_;
  const std::string& profile = m.profile;
  std::vector<std::string> folders = {
      m.windows_folder,
      m.windows_folder + "\\system32",
      m.temp_folder,
      m.current_folder,
      profile + "\\AppData\\Local",
      profile + "\\AppData\\Roaming",
      profile + "\\Desktop",
      profile + "\\Documents",
      "C:\\ProgramData",
      "C:\\Program Files\\Common Files",
      "C:\\Users\\Public",
  };
  if (m.windows64) {
    folders.push_back(m.windows_folder + "\\SysWOW64");
    folders.push_back("C:\\Program Files (x86)\\Common Files");
  }
  // The folders are named as they really are, not as a redirected process would see them.
  uint64_t redirection = 0;
  bool switched = files_->DisableRedirection(&redirection);
  for (const std::string& f : folders) files_->CreateDirectories(f);
  if (switched) files_->RevertRedirection(redirection);
}

void SimPlatform::SeedRegistry() {
  const sim::MachineDescription& m = description_;
  Registry& r = *registry_;
  const std::string cv = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  std::vector<RegView> views = {RegView::kView64};
  if (m.windows64) views.push_back(RegView::kView32);
  for (RegView view : views) {
    bool x86 = m.windows64 && view == RegView::kView32;
    std::string pf = x86 ? "C:\\Program Files (x86)" : "C:\\Program Files";
    r.WriteValue(RegRoot::kLocalMachine, cv, "ProgramFilesDir", view, RegValue::String(pf));
    r.WriteValue(RegRoot::kLocalMachine, cv, "CommonFilesDir", view,
                 RegValue::String(pf + "\\Common Files"));
    if (m.windows64) {
      r.WriteValue(RegRoot::kLocalMachine, cv, "ProgramFilesDir (x86)", view,
                   RegValue::String("C:\\Program Files (x86)"));
      r.WriteValue(RegRoot::kLocalMachine, cv, "ProgramW6432Dir", view,
                   RegValue::String("C:\\Program Files"));
    }
    r.WriteValue(RegRoot::kLocalMachine, cv, "ProgramFilesPath", view,
                 RegValue::ExpandString("%ProgramFiles%"));
    r.CreateKey(RegRoot::kLocalMachine, cv + "\\Uninstall", view);
    r.WriteValue(RegRoot::kLocalMachine, nt, "ProductName", view,
                 RegValue::String(m.version.major >= 10 ? "Windows 10 Pro" : "Windows"));
    r.WriteValue(RegRoot::kLocalMachine, nt, "CurrentVersion", view,
                 RegValue::String(m.version.major >= 10 ? "6.3"
                                                        : std::to_string(m.version.major) + "." +
                                                              std::to_string(m.version.minor)));
    r.WriteValue(RegRoot::kLocalMachine, nt, "CurrentBuild", view,
                 RegValue::String(std::to_string(m.version.build)));
    r.WriteValue(RegRoot::kLocalMachine, nt, "CurrentBuildNumber", view,
                 RegValue::String(std::to_string(m.version.build)));
    if (m.version.major >= 10) {
      r.WriteValue(RegRoot::kLocalMachine, nt, "CurrentMajorVersionNumber", view,
                   RegValue::Dword(m.version.major));
      r.WriteValue(RegRoot::kLocalMachine, nt, "CurrentMinorVersionNumber", view,
                   RegValue::Dword(m.version.minor));
    }
    r.WriteValue(RegRoot::kLocalMachine, nt, "SystemRoot", view,
                 RegValue::String(m.windows_folder));
    const std::string& owner_key = m.version.platform_id == 2 ? nt : cv;
    r.WriteValue(RegRoot::kLocalMachine, owner_key, "RegisteredOwner", view,
                 RegValue::String(m.owner));
    r.WriteValue(RegRoot::kLocalMachine, owner_key, "RegisteredOrganization", view,
                 RegValue::String(m.organization));
    if (!m.browser_version.empty()) {
      r.WriteValue(RegRoot::kLocalMachine, "SOFTWARE\\Microsoft\\Internet Explorer", "Version",
                   view, RegValue::String(m.browser_version));
    }
  }
  const std::string env = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
  r.WriteValue(RegRoot::kLocalMachine, env, "OS", RegView::kView64, RegValue::String("Windows_NT"));
  r.WriteValue(RegRoot::kLocalMachine, env, "windir", RegView::kView64,
               RegValue::ExpandString("%SystemRoot%"));
  r.WriteValue(RegRoot::kLocalMachine, env, "TEMP", RegView::kView64,
               RegValue::ExpandString("%SystemRoot%\\TEMP"));
  r.WriteValue(RegRoot::kLocalMachine,
               "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName",
               RegView::kView64, RegValue::String(m.computer));
  r.WriteValue(RegRoot::kCurrentUser, "Environment", "TEMP", RegView::kView64,
               RegValue::ExpandString("%USERPROFILE%\\AppData\\Local\\Temp"));
  r.CreateKey(RegRoot::kCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
              RegView::kView64);
}

// The server's setup records its version and its content folder in both registry views.
void SimPlatform::SeedWebServerVersion(const sim::WebServerModel& server) {
  std::vector<RegView> views = {RegView::kView64};
  if (description_.windows64) views.push_back(RegView::kView32);
  const std::string key = "SOFTWARE\\Microsoft\\InetStp";
  for (RegView view : views) {
    registry_->WriteValue(RegRoot::kLocalMachine, key, "MajorVersion", view,
                          RegValue::Dword(server.major));
    registry_->WriteValue(RegRoot::kLocalMachine, key, "MinorVersion", view,
                          RegValue::Dword(server.minor));
    registry_->WriteValue(RegRoot::kLocalMachine, key, "PathWWWRoot", view,
                          RegValue::ExpandString("%SystemDrive%\\inetpub\\wwwroot"));
  }
}

bool SimPlatform::InstallWebServer(const std::string& text, std::string* error) {
  sim::WebServerModel server;
  if (!sim::WebServerModel::Parse(text, &server, error)) return false;
  if (!web_server_->Save(server)) {
    if (error) *error = "cannot write webserver.txt";
    return false;
  }
  SeedWebServerVersion(server);
  return true;
}

Status SimPlatform::SaveRegistry(const fs::path& file) {
  fs::path target = file.empty() ? machine_ / "registry.reg" : file;
  return sim::WriteHostFile(target, registry_->SaveText()) ? Status::kOk : Status::kFailed;
}

Status SimPlatform::LoadRegistry(const fs::path& file, std::string* error) {
  std::string text;
  if (!sim::ReadHostFile(file, &text)) {
    if (error) *error = "cannot read " + file.string();
    return Status::kFailed;
  }
  std::string message;
  if (!registry_->LoadText(text, &message)) {
    if (error) *error = message;
    return Status::kFailed;
  }
  return Status::kOk;
}

std::unique_ptr<SimPlatform> CreateSimPlatform(const SimOptions& options) {
  return std::make_unique<SimPlatform>(options);
}

}  // namespace corvane::platform
