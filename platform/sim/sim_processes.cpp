#include "platform/sim/sim_processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "image/pe_stub.h"
#include "platform/numbers.h"
#include "platform/text.h"

extern char** environ;

namespace corvane::platform::sim {

struct SimProcesses::Entry {
  uint32_t pid = 0;
  std::string path;
  StandIn program;
  uint64_t started = 0;
  uint32_t integrity = integrity::kMedium;
  std::vector<SimProgramWindow> windows;
  bool closed = false;        // ended because its last window was closed
  bool machine_process = false;  // runs from the start of the machine and never ends
  // A setup that the setup runner runs as a process of the host.
  bool host = false;
  pid_t host_pid = -1;
  bool host_ended = false;
  std::filesystem::path transcript;  // the runner's transcript: its last line has the exit code
};

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

bool SplitKey(const std::string& line, std::string* key, std::string* value) {
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = LowerCase(Trim(line.substr(0, eq)));
  *value = Trim(line.substr(eq + 1));
  return true;
}

bool ParseWindow(const std::string& value, std::pair<std::string, std::string>* w) {
  size_t bar = value.find('|');
  if (bar == std::string::npos) return false;
  *w = {Trim(value.substr(0, bar)), Trim(value.substr(bar + 1))};
  return true;
}

// One "key = value" line of a program or process block; false when the key is not one.
bool ApplyKey(const std::string& key, const std::string& value, StandIn* p, std::string* error) {
  if (key == "exit") {
    std::optional<int64_t> n = ParseDecimal64(value);
    if (!n || *n < INT32_MIN || *n > UINT32_MAX) {
      *error = "exit is not a 32-bit number: " + value;
      return false;
    }
    p->exit_code = static_cast<uint32_t>(*n);
  } else if (key == "run") {
    if (SameText(value, "forever")) {
      p->run_ms.reset();
    } else {
      std::optional<int64_t> n = ParseDecimal64(value);
      if (!n || *n < 0) {
        *error = "run is neither milliseconds nor forever: " + value;
        return false;
      }
      p->run_ms = static_cast<uint64_t>(*n);
    }
  } else if (key == "window") {
    std::pair<std::string, std::string> w;
    if (!ParseWindow(value, &w)) {
      *error = "window is not Title | Class: " + value;
      return false;
    }
    p->windows.push_back(w);
  } else if (key == "on_close") {
    if (SameText(value, "exit")) {
      p->close_ends = true;
    } else if (SameText(value, "ignore")) {
      p->close_ends = false;
    } else {
      *error = "on_close is neither exit nor ignore: " + value;
      return false;
    }
  } else {
    *error = "unknown key " + key;
    return false;
  }
  return true;
}

// The executable name part of a command line: the quoted first token, or the text up to the
// first blank.
std::string ProgramOfCommandLine(const std::string& line) {
  if (!line.empty() && line[0] == '"') {
    size_t close = line.find('"', 1);
    return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  size_t blank = line.find_first_of(" \t");
  return line.substr(0, blank);
}

bool IsAbsolute(const std::string& p) {
  return (p.size() >= 2 && p[1] == ':') || (p.size() >= 2 && p[0] == '\\' && p[1] == '\\');
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ParseStandIn(const std::string& text, StandIn* program, std::string* error) {
  error->clear();
  std::istringstream in(text);
  std::string line;
  bool header = false;
  StandIn p;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty()) continue;
    if (!header) {
      if (line != "[program]") return false;
      header = true;
      continue;
    }
    if (line[0] == '#') continue;
    std::string key, value;
    if (!SplitKey(line, &key, &value)) {
      *error = "not a key = value line: " + line;
      return false;
    }
    if (!ApplyKey(key, value, &p, error)) return false;
  }
  if (!header) return false;
  *program = p;
  return true;
}

// The handle of a started process: owns one count of the table's open handles.
class SimProcesses::Handle : public Process {
 public:
  Handle(SimProcesses& owner, std::shared_ptr<Entry> entry) : owner_(owner), entry_(std::move(entry)) {
    std::lock_guard<std::mutex> lock(owner_.mu_);
    ++owner_.open_handles_;
  }
  ~Handle() override {
    std::lock_guard<std::mutex> lock(owner_.mu_);
    --owner_.open_handles_;
  }

  bool Wait(uint32_t timeout_ms) override {
    if (entry_->host) {
      // A process of the host runs on the host's clock.
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
      while (true) {
        {
          std::lock_guard<std::mutex> lock(owner_.mu_);
          if (owner_.Ended(*entry_, 0)) return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    const uint64_t until = owner_.system_.Milliseconds() + timeout_ms;
    std::optional<uint64_t> end;
    {
      std::lock_guard<std::mutex> lock(owner_.mu_);
      if (owner_.Ended(*entry_, owner_.system_.Milliseconds())) return true;
      if (entry_->program.run_ms) end = entry_->started + *entry_->program.run_ms;
    }
    const uint64_t wake = end && *end < until ? *end : until;
    const uint64_t id = owner_.system_.AddWakeup(wake);
    bool ended = false;
    while (true) {
      const uint64_t now = owner_.system_.Milliseconds();
      {
        std::lock_guard<std::mutex> lock(owner_.mu_);
        ended = owner_.Ended(*entry_, now);
      }
      if (ended || now >= until) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    owner_.system_.RemoveWakeup(id);
    return ended;
  }

  bool ExitCode(uint32_t* code) override {
    std::lock_guard<std::mutex> lock(owner_.mu_);
    *code = owner_.Ended(*entry_, owner_.system_.Milliseconds()) ? entry_->program.exit_code
                                                                 : kStillActive;
    return true;
  }

 private:
  SimProcesses& owner_;
  std::shared_ptr<Entry> entry_;
};

SimProcesses::SimProcesses(const std::filesystem::path& machine_folder,
                           const MachineDescription& machine, SimFileSystem& files,
                           SimSystemInfo& system, SimWindowService& windows)
    : machine_(machine),
      files_(files),
      system_(system),
      windows_(windows),
      machine_folder_(std::filesystem::absolute(machine_folder)) {
  auto engine = std::make_shared<Entry>();
  engine->pid = kEngineProcessId;
  engine->path = machine.module_path;
  engine->machine_process = true;
  engine->integrity = machine.facts.elevated ? integrity::kHigh : integrity::kMedium;
  table_.push_back(engine);
  LoadRunning(machine_folder / "processes.txt");
}

// Setups still running as processes of the host are waited for (a minute at most), so that no
// child goes on changing the machine after its owner has gone.
SimProcesses::~SimProcesses() {
  std::lock_guard<std::mutex> lock(mu_);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  for (const auto& e : table_) {
    if (!e->host) continue;
    while (!Ended(*e, 0)) {
      if (std::chrono::steady_clock::now() >= deadline) {
        kill(e->host_pid, SIGKILL);
        waitpid(e->host_pid, nullptr, 0);
        e->host_ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
}

void SimProcesses::SetSetupRunner(std::filesystem::path runner, std::function<void()> before_start,
                                  std::function<void()> after_end) {
  std::lock_guard<std::mutex> lock(mu_);
  runner_ = std::move(runner);
  before_start_ = std::move(before_start);
  after_end_ = std::move(after_end);
}

namespace {

// The words of a command line's arguments: split at blanks outside double quotes, the quotes
// removed.
std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

// The arguments of a command line whose first word is the program.
std::string ArgumentsOfCommandLine(const std::string& line) {
  size_t at = 0;
  if (!line.empty() && line[0] == '"') {
    const size_t close = line.find('"', 1);
    at = close == std::string::npos ? line.size() : close + 1;
  } else {
    at = line.find_first_of(" \t");
    if (at == std::string::npos) at = line.size();
  }
  return line.substr(at);
}

}  // namespace

bool SimProcesses::StartSetup(Entry& e, const std::string& arguments) {
  if (before_start_) before_start_();
  static std::atomic<int> counter{0};
  e.transcript = machine_folder_ / ("child-" + std::to_string(getpid()) + "-" +
                                    std::to_string(++counter) + ".txt");
  std::error_code ec;
  std::filesystem::remove(e.transcript, ec);
  std::vector<std::string> words = {runner_.string(), "--machine", machine_folder_.string(),
                                    "--transcript", e.transcript.string(), e.path};
  for (std::string& w : SplitArguments(arguments)) words.push_back(std::move(w));
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, runner_.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  e.host = true;
  e.host_pid = pid;
  return true;
}

void SimProcesses::LoadRunning(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text;
  if (in) {
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
  } else {
    text = "process = " + machine_.windows_folder +
           "\\explorer.exe\nwindow = Program Manager | Progman\nintegrity = medium\n";
  }
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  std::shared_ptr<Entry> current;
  uint32_t pid = 500;
  while (std::getline(lines, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    std::string key, value, error;
    if (!SplitKey(line, &key, &value)) {
      warnings_ += "processes.txt line " + std::to_string(number) + ": not a key = value line\n";
      continue;
    }
    if (key == "process") {
      current = std::make_shared<Entry>();
      current->pid = pid;
      pid += 4;
      current->path = value;
      current->machine_process = true;
      current->program.run_ms.reset();
      table_.push_back(current);
      continue;
    }
    if (!current) {
      warnings_ += "processes.txt line " + std::to_string(number) + ": " + key +
                   " before the first process\n";
      continue;
    }
    if (key == "integrity") {
      if (SameText(value, "low")) {
        current->integrity = 0x1000;
      } else if (SameText(value, "medium")) {
        current->integrity = integrity::kMedium;
      } else if (SameText(value, "high")) {
        current->integrity = integrity::kHigh;
      } else if (std::optional<int32_t> n = ParseScriptInteger(value)) {
        current->integrity = static_cast<uint32_t>(*n);
      } else {
        warnings_ += "processes.txt line " + std::to_string(number) + ": integrity " + value + "\n";
      }
      continue;
    }
    if (!ApplyKey(key, value, &current->program, &error)) {
      warnings_ += "processes.txt line " + std::to_string(number) + ": " + error + "\n";
      continue;
    }
    if (key == "window") {
      const auto& w = current->program.windows.back();
      current->windows.push_back({next_window_, w.first, w.second, false});
      next_window_ += 2;
    }
  }
}

bool SimProcesses::Ended(Entry& e, uint64_t now) {
  if (e.host) {
    if (e.host_ended) return true;
    int status = 0;
    if (waitpid(e.host_pid, &status, WNOHANG) != e.host_pid) return false;
    e.host_ended = true;
    // The runner's transcript ends with the setup's whole exit code; its process status keeps
    // only the low byte.
    std::ifstream in(e.transcript, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = text.rfind("exit code ");
    std::optional<int64_t> code;
    if (at != std::string::npos) {
      const size_t end = text.find('\n', at);
      code = ParseDecimal64(text.substr(at + 10, end == std::string::npos ? end : end - at - 10));
    }
    if (code) {
      e.program.exit_code = static_cast<uint32_t>(*code);
    } else {
      e.program.exit_code = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                              : 128u + static_cast<uint32_t>(WTERMSIG(status));
    }
    if (after_end_) after_end_();
    return true;
  }
  if (e.closed) return true;
  if (e.machine_process || !e.program.run_ms) return false;
  return now >= e.started + *e.program.run_ms;
}

Status SimProcesses::FindProgram(const std::string& name, const std::string& folder,
                                 std::string* path, std::shared_ptr<Entry>* program) {
  std::vector<std::string> candidates;
  auto add = [&](const std::string& base) {
    candidates.push_back(base);
    if (FileNameOf(base).find('.') == std::string::npos) candidates.push_back(base + ".exe");
  };
  if (name.empty()) return Status::kNotFound;
  if (IsAbsolute(name)) {
    add(name);
  } else {
    // The search order of a start: the given folder, the current folder, the system folder, the
    // Windows folder.
    std::vector<std::string> folders;
    if (!folder.empty()) folders.push_back(folder);
    folders.push_back(files_.GetCurrentDirectory());
    folders.push_back(system_.SystemFolder());
    folders.push_back(system_.WindowsFolder());
    for (std::string f : folders) {
      if (!f.empty() && f.back() == '\\') f.pop_back();
      add(f + "\\" + name);
    }
  }
  for (const std::string& candidate : candidates) {
    if (!files_.FileExists(candidate)) continue;
    std::string text;
    if (files_.ReadFile(candidate, &text) != Status::kOk) return Status::kAccessDenied;
    auto e = std::make_shared<Entry>();
    std::string error;
    if (!ParseStandIn(text, &e->program, &error)) {
      // An executable image with something behind it: a stand-in there says what it does;
      // anything else makes it a setup for the runner.
      const std::optional<uint64_t> stub = image::PeStubSize(text);
      if (!stub || *stub >= text.size()) return Status::kFailed;
      if (!ParseStandIn(text.substr(*stub), &e->program, &error)) {
        if (!error.empty() || runner_.empty()) return Status::kFailed;
        e->host = true;
      }
    }
    e->path = candidate;
    *path = candidate;
    *program = e;
    return Status::kOk;
  }
  return Status::kNotFound;
}

Status SimProcesses::Launch(SimStart start, const std::string& program_name,
                            const std::string& search_folder, uint32_t integrity,
                            std::unique_ptr<Process>* process) {
  process->reset();
  std::string path;
  std::shared_ptr<Entry> entry;
  Status found = FindProgram(program_name, search_folder, &path, &entry);
  if (found != Status::kOk) return found;
  if (entry->host) {
    entry->host = false;  // set again once the host has started it
    const std::string arguments =
        start.kind == "shell" ? start.command_line : ArgumentsOfCommandLine(start.command_line);
    if (!StartSetup(*entry, arguments)) return Status::kFailed;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    entry->pid = next_pid_;
    next_pid_ += 4;
    entry->started = system_.Milliseconds();
    entry->integrity = integrity;
    for (const auto& [title, class_name] : entry->program.windows) {
      entry->windows.push_back({next_window_, title, class_name, false});
      next_window_ += 2;
    }
    table_.push_back(entry);
    start.path = path;
    start.process_id = entry->pid;
    starts_.push_back(std::move(start));
  }
  *process = std::make_unique<Handle>(*this, entry);  // takes mu_ itself
  return Status::kOk;
}

Status SimProcesses::ShellStart(const std::string& verb, const std::string& file,
                                const std::string& arguments, const std::string& folder, int show,
                                std::unique_ptr<Process>* process) {
  SimStart s;
  s.kind = "shell";
  s.verb = verb;
  s.command_line = arguments;
  s.folder = folder;
  s.show = show;
  for (const auto& [name, value] : system_.EnvironmentBlock()) s.environment.push_back(name + "=" + value);
  // A verb other than the two a program has is not registered for it.
  if (!verb.empty() && !SameText(verb, "open") && !SameText(verb, "runas")) {
    process->reset();
    return Status::kFailed;
  }
  const uint32_t own = machine_.facts.elevated ? integrity::kHigh : integrity::kMedium;
  return Launch(std::move(s), file, FolderOf(file).empty() ? folder : std::string(), own, process);
}

Status SimProcesses::PlainStart(const std::string& command_line, const StartOptions& options,
                                   std::unique_ptr<Process>* process) {
  SimStart s;
  s.kind = "create";
  s.command_line = command_line;
  s.folder = files_.GetCurrentDirectory();
  s.show = options.show;
  s.inherited_environment = options.inherit_environment;
  if (options.inherit_environment) {
    for (const auto& [name, value] : system_.EnvironmentBlock()) s.environment.push_back(name + "=" + value);
  } else {
    s.environment = options.environment;
  }
  const uint32_t own = machine_.facts.elevated ? integrity::kHigh : integrity::kMedium;
  return Launch(std::move(s), ProgramOfCommandLine(command_line), std::string(), own, process) ==
                 Status::kOk
             ? Status::kOk
             : Status::kFailed;
}

Status SimProcesses::StartWithLogon(const std::string& user, const std::string& domain,
                                    const std::string& password, const std::string& command_line,
                                    const StartOptions& options,
                                    std::unique_ptr<Process>* process) {
  process->reset();
  // The machine knows one account: the user the engine runs as, with an empty password unless
  // the description names one.
  if (!SameText(user, machine_.user) || (!domain.empty() && !SameText(domain, machine_.computer) &&
                                         !SameText(domain, machine_.facts.account_domain))) {
    return Status::kFailed;
  }
  SimStart s;
  s.kind = "logon";
  s.command_line = command_line;
  s.folder = files_.GetCurrentDirectory();
  s.show = options.show;
  s.inherited_environment = options.inherit_environment;
  if (options.inherit_environment) {
    for (const auto& [name, value] : system_.EnvironmentBlock()) s.environment.push_back(name + "=" + value);
  } else {
    s.environment = options.environment;
  }
  s.user = user;
  s.domain = domain;
  s.password_length = password.size();
  return Launch(std::move(s), ProgramOfCommandLine(command_line), std::string(),
                integrity::kMedium, process) == Status::kOk
             ? Status::kOk
             : Status::kFailed;
}

uint32_t SimProcesses::OwnIntegrityLevel() {
  return machine_.facts.elevated ? integrity::kHigh : integrity::kMedium;
}

uint32_t SimProcesses::ShellIntegrityLevel() {
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t now = system_.Milliseconds();
  for (const auto& e : table_) {
    if (Ended(*e, now)) continue;
    for (const SimProgramWindow& w : e->windows) {
      if (!w.closed && w.class_name == "Progman") return e->integrity;
    }
  }
  return 0;
}

// Only an administrator's token holds the debug privilege.
bool SimProcesses::EnableDebugPrivilege() { return machine_.facts.in_administrators; }

TokenStart SimProcesses::StartWithShellToken(const std::string& command_line,
                                             const StartOptions& options,
                                             std::unique_ptr<Process>* process) {
  process->reset();
  bool shell = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    const uint64_t now = system_.Milliseconds();
    for (const auto& e : table_) {
      if (Ended(*e, now)) continue;
      for (const SimProgramWindow& w : e->windows) shell = shell || (!w.closed && w.class_name == "Progman");
    }
  }
  if (!shell) return TokenStart::kNoShellProcess;
  SimStart s;
  s.kind = "shell-token";
  s.command_line = command_line;
  s.folder = files_.GetCurrentDirectory();
  s.show = options.show;
  s.inherited_environment = options.inherit_environment;
  if (options.inherit_environment) {
    for (const auto& [name, value] : system_.EnvironmentBlock()) s.environment.push_back(name + "=" + value);
  } else {
    s.environment = options.environment;
  }
  return Launch(std::move(s), ProgramOfCommandLine(command_line), std::string(),
                integrity::kMedium, process) == Status::kOk
             ? TokenStart::kStarted
             : TokenStart::kFailed;
}

std::vector<TopWindow> SimProcesses::TopLevelWindows() {
  std::vector<TopWindow> out;
  // The newest windows are on top: programs started later, then the engine's dialogs.
  for (uint64_t handle : windows_.Handles()) {
    const SimWindow* w = windows_.Find(handle);
    if (w) out.push_back({handle, w->caption, "T" + w->name, kEngineProcessId});
  }
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t now = system_.Milliseconds();
  for (auto it = table_.rbegin(); it != table_.rend(); ++it) {
    if (Ended(**it, now)) continue;
    for (const SimProgramWindow& w : (*it)->windows) {
      if (!w.closed) out.push_back({w.handle, w.title, w.class_name, (*it)->pid});
    }
  }
  return out;
}

bool SimProcesses::PostCloseRequest(uint64_t window) {
  if (const SimWindow* w = windows_.Find(window)) {
    if (w->destroyed) return false;
    std::lock_guard<std::mutex> lock(mu_);
    close_requests_.push_back(w->caption + " | T" + w->name);
    return true;
  }
  std::lock_guard<std::mutex> lock(mu_);
  const uint64_t now = system_.Milliseconds();
  for (const auto& e : table_) {
    if (Ended(*e, now)) continue;
    for (SimProgramWindow& w : e->windows) {
      if (w.handle != window || w.closed) continue;
      close_requests_.push_back(w.title + " | " + w.class_name);
      if (!e->program.close_ends) return true;
      w.closed = true;
      bool any_open = false;
      for (const SimProgramWindow& other : e->windows) any_open = any_open || !other.closed;
      if (!any_open && !e->machine_process) e->closed = true;
      return true;
    }
  }
  return false;
}

std::vector<std::string> SimProcesses::RunningExecutables() {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> out;
  const uint64_t now = system_.Milliseconds();
  for (const auto& e : table_) {
    if (!Ended(*e, now)) out.push_back(e->path);
  }
  return out;
}

std::vector<SimStart> SimProcesses::Starts() {
  std::lock_guard<std::mutex> lock(mu_);
  return starts_;
}

std::vector<std::string> SimProcesses::CloseRequests() {
  std::lock_guard<std::mutex> lock(mu_);
  return close_requests_;
}

int SimProcesses::OpenHandles() {
  std::lock_guard<std::mutex> lock(mu_);
  return open_handles_;
}

}  // namespace corvane::platform::sim
