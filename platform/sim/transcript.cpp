#include "platform/sim/transcript.h"

#include <cstdio>

#include "platform/sim/sim_ui.h"
#include "platform/text.h"

namespace corvane::platform::sim {

void Transcript::Add(std::string line) {
  std::lock_guard<std::mutex> lock(mu_);
  // A call repeated right after itself (the trace log opened for each entry) is one line.
  if (!lines_.empty() && (lines_.back() == line || lines_.back().rfind(line + " (x", 0) == 0)) {
    size_t times = 2;
    if (lines_.back() != line) times = std::stoul(lines_.back().substr(line.size() + 3)) + 1;
    lines_.back() = line + " (x" + std::to_string(times) + ")";
    return;
  }
  lines_.push_back(std::move(line));
}

std::vector<std::string> Transcript::Lines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return lines_;
}

std::string Transcript::Text() const {
  std::string out;
  for (const auto& l : Lines()) out += l + "\n";
  return out;
}

namespace {

std::string Outcome(Status s) {
  return s == Status::kOk ? std::string() : std::string(" (") + StatusName(s) + ")";
}

const char* ShortRoot(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot: return "HKCR";
    case RegRoot::kCurrentUser: return "HKCU";
    case RegRoot::kLocalMachine: return "HKLM";
    case RegRoot::kUsers: return "HKU";
    case RegRoot::kCurrentConfig: return "HKCC";
  }
  return "?";
}

std::string Key(RegRoot root, const std::string& key, RegView view) {
  std::string s = std::string(ShortRoot(root)) + "\\" + key;
  if (view == RegView::kView32) s += " (32-bit view)";
  if (view == RegView::kView64) s += " (64-bit view)";
  return s;
}

const char* OpenModeName(OpenMode m) {
  switch (m) {
    case OpenMode::kRead: return "read";
    case OpenMode::kCreate: return "create";
    case OpenMode::kCreateNew: return "create new";
    case OpenMode::kAppend: return "append";
    case OpenMode::kReadWrite: return "read/write";
    case OpenMode::kExclusiveTemp: return "lock";
  }
  return "?";
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Hex(uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", n);
  return buf;
}

// A property list as a command line writes it.
std::string PropertyLine(const std::vector<std::pair<std::string, std::string>>& properties) {
  std::string line;
  for (const auto& [name, value] : properties) {
    if (!line.empty()) line += " ";
    line += name + "=";
    if (value.empty() || value.find_first_of(" \t\"") != std::string::npos) {
      std::string quoted;
      for (char ch : value) quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
      line += Quote(quoted);
    } else {
      line += value;
    }
  }
  return line;
}

// A database whose commits are recorded.
class RecordingDatabase : public InstallerDatabase {
 public:
  RecordingDatabase(std::unique_ptr<InstallerDatabase> target, std::string path, Transcript& t)
      : target_(std::move(target)), path_(std::move(path)), t_(t) {}
  Status Run(const std::string& sql, const InstallerRecord& params,
             std::vector<InstallerRecord>* rows) override {
    return target_->Run(sql, params, rows);
  }
  Status UpdateColumn(const std::string& table, const std::string& column,
                      const std::function<void(InstallerField&)>& edit) override {
    return target_->UpdateColumn(table, column, edit);
  }
  Status GetSummary(int property, InstallerField* value) override {
    return target_->GetSummary(property, value);
  }
  Status SetSummary(int property, const InstallerField& value) override {
    return target_->SetSummary(property, value);
  }
  Status Commit() override {
    Status s = target_->Commit();
    t_.Add("installer commit " + Quote(path_) + " -> " + StatusName(s));
    return s;
  }

 private:
  std::unique_ptr<InstallerDatabase> target_;
  std::string path_;
  Transcript& t_;
};

}  // namespace

std::string DescribeRegistryValue(RegRoot root, const std::string& key, const std::string& name,
                                  RegView view) {
  return Key(root, key, view) + " [" + (name.empty() ? "(default)" : name) + "]";
}

int32_t RecordingUrlDownloader::DownloadToCacheFile(const std::string& address,
                                                    UrlDownloadCallback& callback,
                                                    std::string* cache_file) {
  const int32_t result = UrlDownloaderWrapper::DownloadToCacheFile(address, callback, cache_file);
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(result));
  t_.Add("system download " + address + " -> " + code +
         (cache_file->empty() ? std::string() : " " + *cache_file));
  return result;
}

std::string DescribeRegValue(const RegValue& v) {
  switch (v.type) {
    case RegType::kString:
    case RegType::kExpandString:
    case RegType::kLink:
      return "\"" + v.data + "\"";
    case RegType::kMultiString: {
      std::string s;
      size_t start = 0;
      while (start <= v.data.size()) {
        size_t end = v.data.find('\0', start);
        if (end == std::string::npos) end = v.data.size();
        s += (s.empty() ? "" : ", ") + ("\"" + v.data.substr(start, end - start) + "\"");
        start = end + 1;
      }
      return "[" + s + "]";
    }
    case RegType::kDword:
    case RegType::kQword:
      return std::to_string(v.AsNumber());
    default: {
      std::string s = "hex:";
      char buf[4];
      for (unsigned char c : v.data) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        s += buf;
      }
      return s;
    }
  }
}

std::unique_ptr<File> RecordingFileSystem::Open(const std::string& path, OpenMode mode,
                                                Status* status) {
  auto f = target_.Open(path, mode, status);
  t_.Add(std::string("file open ") + OpenModeName(mode) + " " + path + Outcome(*status));
  return f;
}

Status RecordingFileSystem::ReadFile(const std::string& path, std::string* contents) {
  Status s = target_.ReadFile(path, contents);
  t_.Add("file read " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::WriteFile(const std::string& path, std::string_view contents) {
  Status s = target_.WriteFile(path, contents);
  t_.Add("file write " + path + " (" + std::to_string(contents.size()) + " bytes)" + Outcome(s));
  return s;
}

Status RecordingFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Status s = target_.SetAttributes(path, attributes);
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", attributes);
  t_.Add("file attributes " + path + " " + buf + Outcome(s));
  return s;
}

Status RecordingFileSystem::CreateDirectory(const std::string& path) {
  Status s = target_.CreateDirectory(path);
  t_.Add("folder create " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::RemoveDirectory(const std::string& path) {
  Status s = target_.RemoveDirectory(path);
  t_.Add("folder remove " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::DeleteFile(const std::string& path) {
  Status s = target_.DeleteFile(path);
  t_.Add("file delete " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::CopyFile(const std::string& from, const std::string& to,
                                     bool fail_if_exists) {
  Status s = target_.CopyFile(from, to, fail_if_exists);
  t_.Add("file copy " + from + " -> " + to + Outcome(s));
  return s;
}

Status RecordingFileSystem::MoveFile(const std::string& from, const std::string& to,
                                     bool replace) {
  Status s = target_.MoveFile(from, to, replace);
  t_.Add("file move " + from + " -> " + to + Outcome(s));
  return s;
}

Status RecordingRegistry::CreateKey(RegRoot root, const std::string& key, RegView view) {
  Status s = target_.CreateKey(root, key, view);
  t_.Add("registry create " + Key(root, key, view) + Outcome(s));
  return s;
}

Status RecordingRegistry::ReadValue(RegRoot root, const std::string& key, const std::string& name,
                                    RegView view, RegValue* value) {
  Status s = target_.ReadValue(root, key, name, view, value);
  t_.Add("registry read " + DescribeRegistryValue(root, key, name, view) +
         (s == Status::kOk ? " = " + DescribeRegValue(*value) : Outcome(s)));
  return s;
}

Status RecordingRegistry::WriteValue(RegRoot root, const std::string& key, const std::string& name,
                                     RegView view, const RegValue& value) {
  Status s = target_.WriteValue(root, key, name, view, value);
  t_.Add("registry write " + DescribeRegistryValue(root, key, name, view) + " = " +
         DescribeRegValue(value) + Outcome(s));
  return s;
}

Status RecordingRegistry::DeleteValue(RegRoot root, const std::string& key,
                                      const std::string& name, RegView view) {
  Status s = target_.DeleteValue(root, key, name, view);
  t_.Add("registry delete " + DescribeRegistryValue(root, key, name, view) + Outcome(s));
  return s;
}

Status RecordingRegistry::DeleteKeyTree(RegRoot root, const std::string& key, RegView view) {
  Status s = target_.DeleteKeyTree(root, key, view);
  t_.Add("registry delete key " + Key(root, key, view) + Outcome(s));
  return s;
}

int RecordingUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                       uint32_t flags) {
  int answer = target_.MessageBox(text, caption, flags);
  RecordedBox box{text, caption, flags, answer, false, 0};
  // The simulated machine knows whether the answer came from the answers or was the default.
  if (auto* sim = dynamic_cast<SimUserInterface*>(&target_)) {
    std::vector<RecordedBox> boxes = sim->Boxes();
    if (!boxes.empty()) box = boxes.back();
  }
  t_.Add(DescribeBox(box));
  return answer;
}

Status RecordingUserInterface::BrowseForFolder(const std::string& title, std::string* folder) {
  Status s = target_.BrowseForFolder(title, folder);
  t_.Add("folder browser \"" + title + "\" -> " +
         (s == Status::kOk ? "\"" + *folder + "\"" : std::string("cancelled")));
  return s;
}

Status RecordingShell::RestartComputer(std::string* why) {
  Status s = ShellWrapper::RestartComputer(why);
  t_.Add(s == Status::kOk ? std::string("restart requested (EWX_REBOOT)")
                          : "restart refused: " + *why);
  return s;
}

Status RecordingShell::SetShortcutIdentity(const std::string& shortcut,
                                           const std::string& identity) {
  Status s = ShellWrapper::SetShortcutIdentity(shortcut, identity);
  t_.Add("shortcut identity " + shortcut + " = \"" + identity + "\"" +
         (s == Status::kOk ? "" : " (not set)"));
  return s;
}

Status RecordingShell::InvokeShellVerb(const std::string& path, const std::string& verb) {
  Status s = ShellWrapper::InvokeShellVerb(path, verb);
  t_.Add("shell verb \"" + verb + "\" on " + path + (s == Status::kOk ? "" : " (failed)"));
  return s;
}

int RecordingInstaller::QueryProductState(const std::string& code) {
  int state = target_.QueryProductState(code);
  t_.Add("installer product-state " + code + " -> " + std::to_string(state));
  return state;
}

Status RecordingInstaller::GetProductInfo(const std::string& code, const std::string& property,
                                          std::string* value) {
  Status s = target_.GetProductInfo(code, property, value);
  t_.Add("installer product-info " + code + " " + property + " -> " +
         (s == Status::kOk ? Quote(*value) : std::string(StatusName(s))));
  return s;
}

std::unique_ptr<InstallerDatabase> RecordingInstaller::OpenDatabase(const std::string& path,
                                                                    bool read_only,
                                                                    Status* status) {
  auto db = target_.OpenDatabase(path, read_only, status);
  t_.Add("installer open-database " + Quote(path) + (read_only ? " read-only" : " direct") +
         " -> " + StatusName(*status));
  if (!db) return db;
  return std::make_unique<RecordingDatabase>(std::move(db), path, t_);
}

Status RecordingInstaller::EnableLog(uint32_t mode, const std::string& path,
                                     uint32_t attributes) {
  Status s = target_.EnableLog(mode, path, attributes);
  t_.Add("installer enable-log " + Hex(mode) + " " + Quote(path) + " " + Hex(attributes) +
         " -> " + StatusName(s));
  return s;
}

void RecordingInstaller::SetInternalUI(uint32_t level) {
  target_.SetInternalUI(level);
  t_.Add("installer internal-ui " + Hex(level));
}

void RecordingInstaller::SetExternalUI(InstallerMessageHandler handler, uint32_t filter) {
  const bool set = static_cast<bool>(handler);
  target_.SetExternalUI(std::move(handler), filter);
  t_.Add("installer external-ui " + (set ? Hex(filter) : std::string("none")));
}

Status RecordingInstaller::AddSource(const std::string& code, const std::string& user,
                                     const std::string& source) {
  Status s = target_.AddSource(code, user, source);
  t_.Add("installer add-source " + code + " " + Quote(user) + " " + Quote(source) + " -> " +
         StatusName(s));
  return s;
}

uint32_t RecordingInstaller::InstallProduct(const std::string& package, const std::string& line) {
  uint32_t r = target_.InstallProduct(package, line);
  t_.Add("installer install " + Quote(package) + " " + Quote(line) + " -> " + std::to_string(r));
  return r;
}

uint32_t RecordingInstaller::ApplyPatch(const std::string& patch, const std::string& line) {
  uint32_t r = target_.ApplyPatch(patch, line);
  t_.Add("installer apply-patch " + Quote(patch) + " " + Quote(line) + " -> " +
         std::to_string(r));
  return r;
}

uint32_t RecordingInstaller::RunPackageAction(const PackageAction& action, bool* reboot) {
  uint32_t r = target_.RunPackageAction(action, reboot);
  t_.Add("installer package-action " + Quote(action.package) + " " + action.action + " " +
         Quote(PropertyLine(action.properties)) + " -> " + std::to_string(r) +
         (*reboot ? " (restart)" : ""));
  return r;
}

namespace {

std::string Placement(const WindowRect& p) {
  return std::to_string(p.left) + "," + std::to_string(p.top) + " " + std::to_string(p.width) +
         "x" + std::to_string(p.height);
}

std::string DescribeInput(const WindowInput& input) {
  std::string line = input.verb;
  if (!input.control.empty()) line += " " + input.control;
  for (const std::string& a : input.args) line += " \"" + a + "\"";
  return line;
}

}  // namespace

uint64_t RecordingWindowService::MakeWindow(const std::string& name, const std::string& key,
                                              const std::string& caption,
                                              const WindowRect& placement) {
  uint64_t handle = WindowServiceWrapper::MakeWindow(name, key, caption, placement);
  const int n = ++displays_[platform::UpperCase(name)];
  shown_[handle] = {name + " " + std::to_string(n) + " (key " + key + ")", caption, placement,
                    {}, false};
  return handle;
}

uint64_t RecordingWindowService::RecreateWindow(uint64_t window, const std::string& caption,
                                                const WindowRect& placement) {
  uint64_t handle = WindowServiceWrapper::RecreateWindow(window, caption, placement);
  auto it = shown_.find(window);
  if (it != shown_.end()) {
    std::string name = it->second.title.substr(0, it->second.title.find(' '));
    std::string key = it->second.title.substr(it->second.title.find("(key ") + 5);
    key.pop_back();
    const int n = ++displays_[platform::UpperCase(name)];
    shown_[handle] = {name + " " + std::to_string(n) + " (key " + key + ")", caption,
                      placement, {}, false};
    shown_.erase(window);
  }
  return handle;
}

void RecordingWindowService::HideWindow(uint64_t window) {
  WindowServiceWrapper::HideWindow(window);
  auto it = shown_.find(window);
  if (it != shown_.end() && it->second.painted) t_.Add("dialog " + it->second.title + " hidden");
}

void RecordingWindowService::RestoreWindow(uint64_t window) {
  WindowServiceWrapper::RestoreWindow(window);
  auto it = shown_.find(window);
  if (it != shown_.end() && it->second.painted) t_.Add("dialog " + it->second.title + " restored");
}

void RecordingWindowService::ShowTrayIcon(const std::string& hint) {
  const bool before = tray_icon_shown();
  WindowServiceWrapper::ShowTrayIcon(hint);
  t_.Add(std::string(before ? "tray icon hint" : "tray icon shown") + ": \"" + hint + "\"");
}

void RecordingWindowService::ShowBalloon(const std::string& title, const std::string& text,
                                         int kind, uint32_t timeout_ms) {
  WindowServiceWrapper::ShowBalloon(title, text, kind, timeout_ms);
  const char* kinds[] = {"information", "information", "warning", "error"};
  t_.Add("balloon \"" + title + "\": \"" + text + "\" (" + kinds[kind >= 1 && kind <= 3 ? kind : 0] +
         ", " + std::to_string(timeout_ms) + " ms)");
}

void RecordingWindowService::HideTrayIcon() {
  const bool before = tray_icon_shown();
  WindowServiceWrapper::HideTrayIcon();
  if (before) t_.Add("tray icon removed");
}

void RecordingWindowService::Paint(uint64_t window, const std::vector<std::string>& frame) {
  WindowServiceWrapper::Paint(window, frame);
  auto it = shown_.find(window);
  if (it == shown_.end()) return;
  Shown& s = it->second;
  if (!s.painted) {
    t_.Add("dialog " + s.title + " shown: \"" + s.caption + "\" at " + Placement(s.placement));
    for (const std::string& line : frame) t_.Add("  " + line);
  } else {
    // What changed since the last paint, control by control.
    for (size_t i = 0; i < frame.size(); ++i) {
      if (i >= s.frame.size() || s.frame[i] != frame[i]) t_.Add("  now " + frame[i]);
    }
  }
  s.frame = frame;
  s.painted = true;
}

void RecordingWindowService::Input(uint64_t window, const WindowInput& input) {
  auto it = shown_.find(window);
  const std::string title = it == shown_.end() ? std::to_string(window) : it->second.title;
  if (input.verb == "default") {
    t_.Add("dialog " + title + ": the answers ran out, Enter takes the default button");
  } else {
    t_.Add("dialog " + title + " input: " + DescribeInput(input) + " (" + input.origin + ")");
  }
}

WindowService::Pumped RecordingWindowService::PumpOne(uint64_t window, WindowInput* input) {
  Pumped p = WindowServiceWrapper::PumpOne(window, input);
  if (p == Pumped::kInput) Input(window, *input);
  return p;
}

bool RecordingWindowService::PollInput(uint64_t window, WindowInput* input) {
  bool got = WindowServiceWrapper::PollInput(window, input);
  if (got) Input(window, *input);
  return got;
}

void RecordingWindowService::Note(const std::string& line) {
  WindowServiceWrapper::Note(line);
  t_.Add(line);
}

namespace {

std::string DescribeStart(const StartOptions& o) {
  std::string out = " show " + std::to_string(o.show) + " environment ";
  if (o.inherit_environment) return out + "inherited";
  out += "[";
  for (size_t i = 0; i < o.environment.size(); ++i) out += (i ? ", " : "") + Quote(o.environment[i]);
  return out + "]";
}

const char* Outcome(Status s, const std::unique_ptr<Process>& p) {
  if (s != Status::kOk) return StatusName(s);
  return p ? "started" : "no process";
}

const char* TokenOutcome(TokenStart t) {
  switch (t) {
    case TokenStart::kStarted:
      return "started";
    case TokenStart::kUnavailable:
      return "unavailable";
    case TokenStart::kNoShellProcess:
      return "no shell process";
    case TokenStart::kNoShellToken:
      return "no shell token";
    case TokenStart::kNotDuplicated:
      return "not duplicated";
    case TokenStart::kNotReduced:
      return "not reduced";
    case TokenStart::kFailed:
      return "failed";
  }
  return "?";
}

}  // namespace

std::unique_ptr<SharedLibrary> RecordingLibraryLoader::Load(const std::string& path,
                                                            std::string* error_text) {
  std::string why;
  std::unique_ptr<SharedLibrary> library = target_.Load(path, &why);
  t_.Add("library load " + Quote(path) + (library ? std::string() : " (failed: " + why + ")"));
  if (error_text != nullptr) *error_text = why;
  return library;
}

Status RecordingShell::PlaySoundFile(const std::string& path) {
  Status s = target_.PlaySoundFile(path);
  t_.Add("sound " + Quote(path) + " -> " + StatusName(s));
  return s;
}

Status RecordingProcesses::ShellStart(const std::string& verb, const std::string& file,
                                      const std::string& arguments, const std::string& folder,
                                      int show, std::unique_ptr<Process>* process) {
  Status s = target_.ShellStart(verb, file, arguments, folder, show, process);
  t_.Add("program shell-start " + Quote(verb) + " " + Quote(file) + " arguments " +
         Quote(arguments) + " folder " + Quote(folder) + " show " + std::to_string(show) +
         " -> " + Outcome(s, *process));
  return s;
}

Status RecordingProcesses::PlainStart(const std::string& command_line,
                                         const StartOptions& options,
                                         std::unique_ptr<Process>* process) {
  Status s = target_.PlainStart(command_line, options, process);
  t_.Add("program create " + Quote(command_line) + DescribeStart(options) + " -> " +
         Outcome(s, *process));
  return s;
}

Status RecordingProcesses::StartWithLogon(const std::string& user, const std::string& domain,
                                          const std::string& password,
                                          const std::string& command_line,
                                          const StartOptions& options,
                                          std::unique_ptr<Process>* process) {
  Status s = target_.StartWithLogon(user, domain, password, command_line, options, process);
  t_.Add("program logon-start " + Quote(command_line) + " user " + Quote(user) + " domain " +
         Quote(domain) + " password of " + std::to_string(password.size()) + " characters" +
         DescribeStart(options) + " -> " + Outcome(s, *process));
  return s;
}

TokenStart RecordingProcesses::StartWithShellToken(const std::string& command_line,
                                                   const StartOptions& options,
                                                   std::unique_ptr<Process>* process) {
  TokenStart t = target_.StartWithShellToken(command_line, options, process);
  t_.Add("program shell-token-start " + Quote(command_line) + DescribeStart(options) + " -> " +
         TokenOutcome(t));
  return t;
}

bool RecordingProcesses::PostCloseRequest(uint64_t window) {
  std::string name = Hex(static_cast<uint32_t>(window));
  for (const TopWindow& w : target_.TopLevelWindows()) {
    if (w.handle == window) name = Quote(w.title) + " class " + Quote(w.class_name);
  }
  bool posted = target_.PostCloseRequest(window);
  t_.Add("window close-request " + name + (posted ? "" : " -> gone"));
  return posted;
}

std::vector<std::string> RecordingProcesses::RunningExecutables() {
  std::vector<std::string> running = target_.RunningExecutables();
  t_.Add("processes snapshot -> " + std::to_string(running.size()) + " running");
  return running;
}

}  // namespace corvane::platform::sim
