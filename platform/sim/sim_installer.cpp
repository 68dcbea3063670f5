#include "platform/sim/sim_installer.h"

#include <cctype>
#include <cstdio>

#include "platform/sim/sim_common.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_msi_database.h"
#include "platform/sim/sim_package.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

std::string ProductKey(const std::string& code) {
  return std::string(kSimulatedProductsKey) + "\\" + code;
}

}  // namespace

bool IsProductCode(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

SimInstaller::SimInstaller(Registry& registry, SimFileSystem& files, SystemInfo& system,
                           const MachineDescription& machine, std::filesystem::path machine_folder)
    : registry_(registry), files_(files), system_(system), machine_(machine),
      machine_folder_(std::move(machine_folder)) {}

int SimInstaller::QueryProductState(const std::string& product_code) {
  if (!IsProductCode(product_code)) return install_state::kInvalidArgument;
  RegValue state;
  if (registry_.ReadValue(RegRoot::kLocalMachine, ProductKey(product_code), "State",
                          RegView::kView64, &state) != Status::kOk ||
      state.type != RegType::kDword) {
    return install_state::kUnknown;
  }
  return static_cast<int>(static_cast<int32_t>(state.AsNumber()));
}

Status SimInstaller::GetProductInfo(const std::string& product_code, const std::string& property,
                                    std::string* value) {
  value->clear();
  if (!IsProductCode(product_code) || property.empty()) return Status::kFailed;
  if (QueryProductState(product_code) == install_state::kUnknown) return Status::kNotFound;
  RegValue data;
  if (property == "State" ||
      registry_.ReadValue(RegRoot::kLocalMachine, ProductKey(product_code), property,
                          RegView::kView64, &data) != Status::kOk) {
    return Status::kNotFound;
  }
  *value = data.type == RegType::kDword ? std::to_string(data.AsNumber()) : data.data;
  return Status::kOk;
}

Status SimInstaller::SetProduct(const std::string& product_code, int state,
                                const std::string& package_code) {
  if (!IsProductCode(product_code)) return Status::kInvalidName;
  registry_.DeleteKeyTree(RegRoot::kLocalMachine, ProductKey(product_code), RegView::kView64);
  Status s = registry_.WriteValue(RegRoot::kLocalMachine, ProductKey(product_code), "State",
                                  RegView::kView64,
                                  RegValue::Dword(static_cast<uint32_t>(state)));
  if (s != Status::kOk) return s;
  return SetProductProperty(product_code, "PackageCode", package_code);
}

Status SimInstaller::SetProductProperty(const std::string& product_code,
                                        const std::string& property, const std::string& value) {
  if (!IsProductCode(product_code) || property.empty() || property == "State") {
    return Status::kInvalidName;
  }
  return registry_.WriteValue(RegRoot::kLocalMachine, ProductKey(product_code), property,
                              RegView::kView64, RegValue::String(value));
}

Status SimInstaller::RemoveProduct(const std::string& product_code) {
  return registry_.DeleteKeyTree(RegRoot::kLocalMachine, ProductKey(product_code),
                                 RegView::kView64);
}

std::unique_ptr<InstallerDatabase> SimInstaller::OpenDatabase(const std::string& path,
                                                              bool read_only, Status* status) {
  if (!read_only) {
    uint32_t attributes = 0;
    if (files_.GetAttributes(path, &attributes) == Status::kOk &&
        (attributes & attr::kReadOnly)) {
      *status = Status::kAccessDenied;
      return nullptr;
    }
  }
  return OpenMsiDatabase(files_.HostPath(path), read_only, status);
}

Status SimInstaller::EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) {
  std::lock_guard<std::mutex> lock(mu_);
  log_ = {mode, path, attributes};
  return Status::kOk;
}

void SimInstaller::SetInternalUI(uint32_t level) {
  std::lock_guard<std::mutex> lock(mu_);
  ui_level_ = level;
}

void SimInstaller::SetExternalUI(InstallerMessageHandler handler, uint32_t filter) {
  std::lock_guard<std::mutex> lock(mu_);
  handler_ = std::move(handler);
  filter_ = handler_ ? filter : 0;
}

Status SimInstaller::AddSource(const std::string& product_code, const std::string& user,
                               const std::string& source) {
  if (!IsProductCode(product_code) || source.empty()) return Status::kFailed;
  if (QueryProductState(product_code) == install_state::kUnknown) return Status::kNotFound;
  std::lock_guard<std::mutex> lock(mu_);
  sources_[UpperCase(product_code)].push_back(source);
  (void)user;
  return Status::kOk;
}

InstallerLogSettings SimInstaller::LogSettings() const {
  std::lock_guard<std::mutex> lock(mu_);
  return log_;
}

uint32_t SimInstaller::InternalUILevel() const {
  std::lock_guard<std::mutex> lock(mu_);
  return ui_level_;
}

std::vector<std::string> SimInstaller::Sources(const std::string& product_code) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = sources_.find(UpperCase(product_code));
  return it == sources_.end() ? std::vector<std::string>() : it->second;
}

std::vector<PackageAction> SimInstaller::PackageActions() const {
  std::lock_guard<std::mutex> lock(mu_);
  return actions_;
}

std::string SimInstaller::PlaybackError() const {
  std::lock_guard<std::mutex> lock(mu_);
  return playback_error_;
}

Status SimInstaller::QueueCall(const PlaybackCall& call) {
  std::lock_guard<std::mutex> lock(mu_);
  std::string text;
  if (!ReadHostFile(PlaybackFile(), &text)) text.clear();
  if (!text.empty() && text.back() != '\n') text.push_back('\n');
  return WriteHostFile(PlaybackFile(), text + FormatPlaybackCall(call)) ? Status::kOk
                                                                         : Status::kFailed;
}

SimInstaller::Playback SimInstaller::TakePlayback(PlaybackCall* call) {
  std::lock_guard<std::mutex> lock(mu_);
  playback_error_.clear();
  std::string text, rest;
  if (!ReadHostFile(PlaybackFile(), &text)) return Playback::kNone;
  switch (TakeFirstCall(text, call, &rest, &playback_error_)) {
    case PlaybackTake::kNone:
      return Playback::kNone;
    case PlaybackTake::kMalformed:
      return Playback::kMalformed;
    case PlaybackTake::kTaken:
      break;
  }
  if (!WriteHostFile(PlaybackFile(), rest)) {
    playback_error_ = "installer.txt cannot be rewritten";
    return Playback::kMalformed;
  }
  return Playback::kTaken;
}

int SimInstaller::Send(uint32_t type, const std::string& text) {
  InstallerMessageHandler handler;
  InstallerLogSettings log;
  {
    std::lock_guard<std::mutex> lock(mu_);
    log = log_;
    if (handler_ && (filter_ & (1u << (type >> 24)))) handler = handler_;
  }
  if (!log.path.empty() && (log.mode & (1u << (type >> 24)))) WriteLog(log.path, text + "\r\n");
  return handler ? handler(type, text) : 0;
}

void SimInstaller::WriteLog(const std::string& path, const std::string& text) {
  Status status = Status::kFailed;
  std::unique_ptr<File> file = files_.Open(path, OpenMode::kAppend, &status);
  if (file) file->Write(text.data(), text.size());
}

void SimInstaller::StartLog() {
  InstallerLogSettings log;
  {
    std::lock_guard<std::mutex> lock(mu_);
    log = log_;
  }
  if (log.path.empty() || log.mode == 0) return;
  // Each session starts a fresh log unless the log was enabled for appending.
  if (!(log.attributes & kLogAppend)) files_.WriteFile(log.path, "");
  LocalTime t = system_.Now();
  char line[96];
  std::snprintf(line, sizeof line, "=== Logging started: %u/%u/%u  %02u:%02u:%02u ===\r\n",
                t.month % 100u, t.day % 100u, t.year % 10000u, t.hour % 100u, t.minute % 100u,
                t.second % 100u);
  WriteLog(log.path, line);
}

uint32_t SimInstaller::Play(const PlaybackCall& call) {
  for (const PlaybackMessage& m : call.messages) {
    if (Cancelled(Send(m.type, m.text)) && !call.keep_going_on_cancel) {
      return install_result::kUserExit;
    }
  }
  return call.result;
}

std::string SimInstaller::ActionStart(const std::string& action, const std::string& description) {
  LocalTime t = system_.Now();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u", t.hour % 100u, t.minute % 100u,
                t.second % 100u);
  return std::string("Action ") + stamp + ": " + action + ". " + description;
}

uint32_t SimInstaller::InstallProduct(const std::string& package,
                                      const std::string& command_line) {
  StartLog();
  PlaybackCall call;
  switch (TakePlayback(&call)) {
    case Playback::kTaken:
      return Play(call);
    case Playback::kMalformed:
      return install_result::kFailure;
    case Playback::kNone:
      break;
  }
  std::vector<std::pair<std::string, std::string>> properties;
  if (!ParseCommandLine(command_line, &properties)) return session_result::kInvalidCommandLine;
  return RunSession(package, properties);
}

uint32_t SimInstaller::ApplyPatch(const std::string& patch, const std::string& command_line) {
  StartLog();
  std::error_code ec;
  const std::filesystem::path host = files_.HostPath(patch);
  if (host.empty() || !std::filesystem::is_regular_file(host, ec)) {
    return session_result::kPatchOpenFailed;
  }
  Status status;
  auto db = OpenMsiDatabase(host, true, &status, true);
  InstallerField targets;
  if (!db || db->GetSummary(summary::kTemplate, &targets) != Status::kOk) {
    return session_result::kPatchInvalid;
  }
  // A patch names the products it applies to in its template, separated by semicolons.
  bool target_installed = false;
  size_t start = 0;
  while (start <= targets.text.size()) {
    size_t end = std::min(targets.text.find(';', start), targets.text.size());
    if (QueryProductState(targets.text.substr(start, end - start)) == install_state::kDefault) {
      target_installed = true;
    }
    start = end + 1;
  }
  if (!target_installed) return session_result::kPatchTargetNotFound;
  std::vector<std::pair<std::string, std::string>> properties;
  if (!ParseCommandLine(command_line, &properties)) return session_result::kInvalidCommandLine;
  PlaybackCall call;
  switch (TakePlayback(&call)) {
    case Playback::kTaken:
      return Play(call);
    case Playback::kMalformed:
      return install_result::kFailure;
    case Playback::kNone:
      return install_result::kSuccess;
  }
  return install_result::kSuccess;
}

uint32_t SimInstaller::RunPackageAction(const PackageAction& action, bool* reboot) {
  *reboot = false;
  StartLog();
  {
    std::lock_guard<std::mutex> lock(mu_);
    actions_.push_back(action);
  }
  PlaybackCall call;
  switch (TakePlayback(&call)) {
    case Playback::kTaken: {
      uint32_t result = Play(call);
      // The action itself succeeds; the restart it asks for is a mode of the session.
      if (result == install_result::kRebootRequired || result == install_result::kRebootInitiated) {
        *reboot = true;
        return install_result::kSuccess;
      }
      return result;
    }
    case Playback::kMalformed:
      return install_result::kFailure;
    case Playback::kNone:
      break;
  }
  // Only the installation's top action runs a session; any other action has nothing to do here.
  if (!SameText(action.action, "INSTALL")) return install_result::kSuccess;
  return RunSession(action.package, action.properties);
}

}  // namespace corvane::platform::sim
