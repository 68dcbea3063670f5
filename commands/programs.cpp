// Program and process commands: starting a program (through the shell, or plainly, under another
// account or at the desktop shell's integrity level) on a worker thread while the interface waits
// with progress and cancel; asking other programs' windows to close; testing whether a process
// runs.
#include "commands/programs.h"

#include <atomic>
#include <memory>
#include <optional>

#include "commands/sixty_four.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/processes.h"
#include "ui/wait_loop.h"

namespace corvane::commands {

std::vector<std::string> EnvironmentEntries(const std::string& text) {
  std::vector<std::string> entries;
  size_t at = 0;
  while (at <= text.size()) {
    size_t lf = text.find('\n', at);
    std::string line = text.substr(at, lf == std::string::npos ? std::string::npos : lf - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) entries.push_back(std::move(line));
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return entries;
}

int RunAsShowCommand(const std::string& number, StartKind kind) {
  std::optional<int32_t> n = platform::ParseScriptInteger(number);
  switch (n.value_or(-1)) {
    case 0:
      return platform::show::kShow;
    case 1:
      return platform::show::kHide;
    case 2:
      return platform::show::kMaximized;
    case 3:
      return platform::show::kMinimized;
    case 4:
      return platform::show::kMinNoActive;
    default:
      return kind == StartKind::kPlain ? platform::show::kHide : platform::show::kNormal;
  }
}

void WipeText(std::string* text) {
  volatile char* p = text->data();
  for (size_t i = 0; i < text->size(); ++i) p[i] = 0;
}

SecretText::SecretText(std::string text) : text_(text) { WipeText(&text); }

void SecretText::Wipe() {
  WipeText(&text_);
  text_.clear();
}

namespace {

using interp::CommandContext;
using platform::Process;
using platform::Status;

// The exit codes that the engine itself gives.
constexpr int32_t kNotStarted = -1;
constexpr int32_t kNoShellProcess = -7;
constexpr int32_t kNoShellToken = -8;
constexpr int32_t kNotDuplicated = -9;
constexpr int32_t kNotReduced = -10;
constexpr int32_t kNotCreated = -11;
constexpr int32_t kCancelled = -314;

constexpr uint32_t kWaitStepMs = 1000;

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What both start workers share: the exit code they publish and the wait for the process.
class StartJob : public ui::BackgroundJob {
 public:
  int32_t exit_code() const { return exit_code_.load(); }

 protected:
  // Waits for the process in steps (when asked to) and reads its exit code; a cancel ends the
  // wait without a code.
  void Finish(Process* process, bool wait) {
    if (!process) {
      exit_code_ = 0;  // handed to a program that was running already: nothing to wait for
      return;
    }
    if (wait) {
      while (!process->Wait(kWaitStepMs)) {
        if (terminate_requested()) return;
      }
    }
    uint32_t code = 0;
    exit_code_ = process->ExitCode(&code) ? static_cast<int32_t>(code) : kNotStarted;
  }
  std::atomic<int32_t> exit_code_{kNotStarted};
};

class RunAppJob : public StartJob {
 public:
  // The working folder is the program's own unless `folder` names another.
  RunAppJob(platform::Platform& platform, std::string program, std::string arguments, bool hide,
            bool wait, std::string folder = std::string())
      : platform_(platform),
        program_(std::move(program)),
        arguments_(std::move(arguments)),
        hide_(hide),
        wait_(wait),
        folder_(folder.empty() ? FolderOf(program_) : std::move(folder)) {}

  void Work(ui::ProgressChannel&) override {
    WorkerFsView64 view(platform_, true);
    platform::Processes& processes = platform_.processes();
    const std::string folder = folder_ + "\\";
    const int show = hide_ ? platform::show::kHide : platform::show::kShow;
    std::unique_ptr<Process> process;
    Status s = processes.ShellStart("open", program_, arguments_, folder, show, &process);
    // A file without an "open" verb of its own is tried once more with its default action.
    if (s != Status::kOk) s = processes.ShellStart("", program_, arguments_, folder, show, &process);
    if (s != Status::kOk) {
      exit_code_ = kNotStarted;
      return;
    }
    Finish(process.get(), wait_);
  }

 private:
  platform::Platform& platform_;
  const std::string program_, arguments_;
  const bool hide_, wait_;
  const std::string folder_;
};

struct RunAsFields {
  std::string program, arguments, show_mode, user, domain, environment;
  bool wait = false;
};

class RunAsJob : public StartJob {
 public:
  RunAsJob(platform::Platform& platform, RunAsFields fields, std::string password)
      : platform_(platform), f_(std::move(fields)), password_(std::move(password)) {}

  void Work(ui::ProgressChannel&) override {
    WorkerFsView64 view(platform_, true);
    const std::string command_line = "\"" + f_.program + "\" " + f_.arguments;
    platform::StartOptions options;
    options.environment = EnvironmentEntries(f_.environment);
    options.inherit_environment = options.environment.empty();
    std::unique_ptr<Process> process;
    const bool nt = platform_.system().Version().platform_id == 2;
    int32_t code = 0;
    if (f_.user == "$VORT_UAC$") {
      code = ShellTokenStart(command_line, &options, &process);
    } else if (!f_.user.empty() && nt) {
      options.show = RunAsShowCommand(f_.show_mode, StartKind::kLogon);
      Status s = platform_.processes().StartWithLogon(f_.user, f_.domain, password_.text(),
                                                      command_line, options, &process);
      code = s == Status::kOk ? 0 : s == Status::kNotFound ? kNotStarted : kNotCreated;
    } else {
      code = StartPlainly(command_line, &options, &process);
    }
    password_.Wipe();
    if (!process) {
      exit_code_ = code;
      return;
    }
    Finish(process.get(), f_.wait);
  }

 private:
  int32_t StartPlainly(const std::string& command_line, platform::StartOptions* options,
                     std::unique_ptr<Process>* process) {
    options->show = RunAsShowCommand(f_.show_mode, StartKind::kPlain);
    Status s = platform_.processes().PlainStart(command_line, *options, process);
    return s == Status::kOk ? 0 : kNotCreated;
  }

  // The shell's token only lowers an elevated engine to the level of the desktop: in every other
  // case, and where the system cannot start with a token, the start is a plain one (a program
  // that was never started is not reported as having ended with 0).
  int32_t ShellTokenStart(const std::string& command_line, platform::StartOptions* options,
                          std::unique_ptr<Process>* process) {
    platform::Processes& processes = platform_.processes();
    if (platform_.system().Version().major > 5 &&
        processes.OwnIntegrityLevel() == platform::integrity::kHigh &&
        processes.ShellIntegrityLevel() == platform::integrity::kMedium &&
        processes.EnableDebugPrivilege()) {
      options->show = RunAsShowCommand(f_.show_mode, StartKind::kShellToken);
      switch (processes.StartWithShellToken(command_line, *options, process)) {
        case platform::TokenStart::kStarted:
          return 0;
        case platform::TokenStart::kNoShellProcess:
          return kNoShellProcess;
        case platform::TokenStart::kNoShellToken:
          return kNoShellToken;
        case platform::TokenStart::kNotDuplicated:
          return kNotDuplicated;
        case platform::TokenStart::kNotReduced:
          return kNotReduced;
        case platform::TokenStart::kFailed:
          return kNotCreated;
        case platform::TokenStart::kUnavailable:
          break;
      }
    }
    return StartPlainly(command_line, options, process);
  }

  platform::Platform& platform_;
  const RunAsFields f_;
  SecretText password_;
};

// Makes a folder current for the life of the object and the remembered one current again
// afterwards; failures of either are ignored.
class CurrentFolderScope {
 public:
  CurrentFolderScope(platform::FileSystem& files, const std::string& folder) : files_(files) {
    if (folder.empty()) return;
    remembered_ = files_.GetCurrentDirectory();
    files_.SetCurrentDirectory(folder);
    active_ = true;
  }
  ~CurrentFolderScope() {
    if (active_) files_.SetCurrentDirectory(remembered_);
  }

 private:
  platform::FileSystem& files_;
  std::string remembered_;
  bool active_ = false;
};

// The wait of both start commands: the script's progress is published for the worker on every
// pass, and a cancelled worker is given up at the watchdog's first tick.
int32_t WaitForStart(CommandContext& ctx, std::shared_ptr<StartJob> job, const char* label) {
  ui::WaitOptions options{label};
  options.watchdog_at_first_tick = true;
  interp::Variables& vars = ctx.variables();
  options.each_iteration = [&vars](ui::ProgressChannel& progress) {
    const std::string text = vars.GetVariable("PROGRESS");
    std::optional<int32_t> position = platform::ParseScriptInteger(text);
    if (!position) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
    progress.Publish(vars.GetVariable("PROGRESSTEXT"), 0, 100, *position);
  };
  ui::WaitLoop loop(options);
  loop.Run(ctx, job);
  // Once a cancel has been seen the result is the cancel's, whatever the worker stores later.
  if (interp::TextToBool(vars.GetVariable("VORT_IsCancelled"))) return kCancelled;
  return job->exit_code();
}

void StoreExitCode(CommandContext& ctx, const std::string& name, int32_t code) {
  if (name.empty()) return;
  ctx.SetResult(name, std::to_string(code));
}

void RunRunProgram(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  const std::string program = p.Path(1);
  // Arguments are expanded only: a UNC path or a doubled backslash in them reaches the program
  // as written.
  const std::string arguments = p.Expanded(3);
  const std::string result = p.Name(5);
  auto job = std::make_shared<RunAppJob>(ctx.platform(), program, arguments, p.Bool(2), p.Bool(4));
  int32_t code = 0;
  {
    CurrentFolderScope folder(ctx.platform().files(), FolderOf(program));
    code = WaitForStart(ctx, job, "Cancel at Run-Program Time");
  }
  StoreExitCode(ctx, result, code);
}
CORVANE_COMMAND("Run Program", RunRunProgram);

}  // namespace

int32_t RunHiddenAndWait(interp::CommandContext& ctx, const std::string& program,
                         const std::string& arguments, const std::string& folder,
                         const char* cancel_label) {
  auto job = std::make_shared<RunAppJob>(ctx.platform(), program, arguments, /*hide=*/true,
                                         /*wait=*/true, folder);
  CurrentFolderScope current(ctx.platform().files(), folder.empty() ? FolderOf(program) : folder);
  return WaitForStart(ctx, job, cancel_label);
}

namespace {

void RunRunProgramAs(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  RunAsFields f;
  f.program = p.Path(1);
  const std::string folder = p.Path(2);
  // The account, the arguments and the environment are expanded only: a backslash in a password
  // or a UNC path in an argument is kept.
  f.arguments = p.Expanded(3);
  f.show_mode = p.Expanded(4);
  f.user = p.Expanded(5);
  std::string password = p.Expanded(6);
  f.domain = p.Expanded(7);
  const std::string result = p.Name(8);
  f.wait = p.Bool(9);
  f.environment = p.Expanded(10);
  auto job = std::make_shared<RunAsJob>(ctx.platform(), std::move(f), password);
  WipeText(&password);
  int32_t code = 0;
  {
    CurrentFolderScope current(ctx.platform().files(), folder);
    code = WaitForStart(ctx, job, "Cancel at Run-As Time");
  }
  StoreExitCode(ctx, result, code);
}
CORVANE_COMMAND("Run Program As", RunRunProgramAs);

// Asks the top-level windows whose class and title contain the parameters to close. The engine's
// own windows are never asked, and each window is asked once (up to ten windows).
void RunTerminateProgram(CommandContext& ctx) {
  const auto& p = ctx.params();
  const std::string title = p.Path(1), class_name = p.Path(2);
  if (title.empty() && class_name.empty()) return;
  platform::Processes& processes = ctx.platform().processes();
  const uint32_t own = processes.CurrentProcessId();
  int asked = 0;
  for (const platform::TopWindow& w : processes.TopLevelWindows()) {
    if (w.process_id == own) continue;
    if (w.class_name.find(class_name) == std::string::npos) continue;
    if (w.title.find(title) == std::string::npos) continue;
    processes.PostCloseRequest(w.handle);
    if (++asked == 10) break;
  }
}
CORVANE_COMMAND("Terminate Program", RunTerminateProgram);

bool SameAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

void RunCheckProcess(CommandContext& ctx) {
  const auto& p = ctx.params();
  const std::string name = p.Name(2);
  ctx.DefineResult(name);
  const std::string file = p.Expanded(1);
  bool found = false;
  for (const std::string& path : ctx.platform().processes().RunningExecutables()) {
    size_t slash = path.find_last_of("\\/");
    if (SameAscii(slash == std::string::npos ? path : path.substr(slash + 1), file)) {
      found = true;
      break;
    }
  }
  ctx.SetResult(name, found ? "TRUE" : "FALSE");
}
CORVANE_COMMAND("Check Process", RunCheckProcess);

}  // namespace

}  // namespace corvane::commands
