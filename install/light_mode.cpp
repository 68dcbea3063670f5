// Run Light Mode Setup: the runnable setup made from a light-mode file, the child setup started
// through the shell and waited for with progress and cancel, and the restore afterwards.
#include "install/light_mode.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "commands/sixty_four.h"
#include "image/pe_stub.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "ui/wait_loop.h"

namespace corvane::install {

namespace {

using platform::Status;

constexpr size_t kChunk = size_t{1} << 20;
// The most of a file's start that holds its headers and section table.
constexpr size_t kHeadBytes = size_t{1} << 16;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool Exists(platform::FileSystem& files, const std::string& path) {
  uint32_t attributes = 0;
  return files.GetAttributes(path, &attributes) != Status::kNotFound;
}

// The first bytes of an open file (its headers), the position back at 0 afterwards.
bool ReadHead(platform::File& file, std::string* head, uint64_t* size) {
  if (file.Size(size) != Status::kOk) return false;
  head->assign(static_cast<size_t>(std::min<uint64_t>(*size, kHeadBytes)), '\0');
  size_t got = 0;
  if (file.Read(head->data(), head->size(), &got) != Status::kOk) return false;
  head->resize(got);
  return file.Seek(0) == Status::kOk;
}

// Copies `count` bytes (all of them when nullopt) from the position of `from` to `to`.
bool CopyBytes(platform::File& from, platform::File& to, std::optional<uint64_t> count) {
  std::vector<char> buffer(kChunk);
  uint64_t left = count.value_or(UINT64_MAX);
  while (left > 0) {
    size_t got = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    if (from.Read(buffer.data(), want, &got) != Status::kOk) return false;
    if (got == 0) return !count.has_value();  // the end: short only when a count was asked for
    if (to.Write(buffer.data(), got) != Status::kOk) return false;
    left -= got;
  }
  return true;
}

// Writes the engine's executable image and then F's content into the new file `target`.
bool WriteRunnable(platform::FileSystem& files, const std::string& engine, const std::string& file,
                   const std::string& target) {
  Status status;
  std::unique_ptr<platform::File> stub = files.Open(engine, platform::OpenMode::kRead, &status);
  if (!stub) return false;
  std::string head;
  uint64_t size = 0;
  if (!ReadHead(*stub, &head, &size)) return false;
  const std::optional<uint64_t> stub_size = image::PeStubSize(head);
  if (!stub_size || *stub_size > size) return false;
  std::unique_ptr<platform::File> content = files.Open(file, platform::OpenMode::kRead, &status);
  if (!content) return false;
  std::unique_ptr<platform::File> out = files.Open(target, platform::OpenMode::kCreateNew, &status);
  if (!out) return false;
  return CopyBytes(*stub, *out, *stub_size) && CopyBytes(*content, *out, std::nullopt) &&
         out->Flush() == Status::kOk;
}

// Whether F is a runnable setup already: an executable image with data behind it (a file left
// runnable by an earlier run that ended before its restore).
bool IsRunnableSetup(platform::FileSystem& files, const std::string& file) {
  Status status;
  std::unique_ptr<platform::File> f = files.Open(file, platform::OpenMode::kRead, &status);
  std::string head;
  uint64_t size = 0;
  if (!f || !ReadHead(*f, &head, &size)) return false;
  const std::optional<uint64_t> stub = image::PeStubSize(head);
  return stub && *stub < size;
}

}  // namespace

std::string FreeName(platform::FileSystem& files, const std::string& base) {
  if (!Exists(files, base)) return base;
  for (int n = 1; n < 1000; ++n) {
    const std::string name = base + "." + std::to_string(n);
    if (!Exists(files, name)) return name;
  }
  return "";
}

bool MakeLightModeSetup(platform::FileSystem& files, const std::string& engine,
                        const std::string& file, LightModeFiles* made) {
  made->file = file;
  if (!files.FileExists(file)) return false;
  if (IsRunnableSetup(files, file)) return true;
  const std::string temporary = FreeName(files, file + ".to");
  if (temporary.empty()) return false;
  if (!WriteRunnable(files, engine, file, temporary)) {
    files.DeleteFile(temporary);
    return false;
  }
  const std::string original = FreeName(files, file + ".nox");
  if (original.empty() || files.MoveFile(file, original, false) != Status::kOk) {
    files.DeleteFile(temporary);
    return false;
  }
  if (files.MoveFile(temporary, file, false) != Status::kOk) {
    files.MoveFile(original, file, false);
    files.DeleteFile(temporary);
    return false;
  }
  made->original = original;
  return true;
}

bool PlaceArchiveLibrary(platform::FileSystem& files, const std::string& engine_folder,
                         LightModeFiles* made) {
  const std::string source = engine_folder + "zel.lib";
  const std::string target = FolderOf(made->file) + "zel.lib";
  // F beside the engine: the engine's own library is the one the child uses.
  if (platform::SameText(files.GetFullPath(source), files.GetFullPath(target))) return true;
  if (Exists(files, target)) {
    const std::string backup = FreeName(files, target + ".nox");
    if (backup.empty() || files.MoveFile(target, backup, false) != Status::kOk) return false;
    made->library_backup = backup;
  }
  // The name was free: whatever lies there after the copy, even a part of it, is the engine's.
  made->library = target;
  files.CopyFile(source, target, true);
  return true;
}

void RestoreLightModeSetup(platform::FileSystem& files, const LightModeFiles& made) {
  if (!made.original.empty() && files.DeleteFile(made.file) == Status::kOk) {
    files.MoveFile(made.original, made.file, false);
  }
  if (!made.library.empty()) {
    const bool gone = !Exists(files, made.library) || files.DeleteFile(made.library) == Status::kOk;
    if (gone && !made.library_backup.empty()) {
      files.MoveFile(made.library_backup, made.library, false);
    }
  }
}

namespace {

using interp::CommandContext;

constexpr const char* kCancelLabel = "Cancel at Light-Mode Time";
constexpr int32_t kNotStarted = -1;
constexpr int32_t kCancelled = -314;
constexpr uint32_t kWaitStepMs = 1000;
// After a cancel the child still has the watchdog's time to end with its own code.
constexpr int kStepsAfterCancel = 5;

// Starts the child setup through the shell and waits for it (the program job of Run Program).
// After a cancel it goes on waiting until the watchdog gives it up, so that a child that ends
// meanwhile still reports its own exit code.
class LightModeJob : public ui::BackgroundJob {
 public:
  LightModeJob(platform::Platform& platform, std::string file, std::string arguments, bool wait,
               bool sixty_four)
      : platform_(platform),
        file_(std::move(file)),
        arguments_(std::move(arguments)),
        wait_(wait),
        sixty_four_(sixty_four) {}

  void Work(ui::ProgressChannel&) override {
    commands::WorkerFsView64 view(platform_, sixty_four_);
    platform::Processes& processes = platform_.processes();
    std::unique_ptr<platform::Process> started;
    const std::string folder = FolderOf(file_);
    Status s =
        processes.ShellStart("open", file_, arguments_, folder, platform::show::kShow, &started);
    // A file without an "open" verb of its own is tried once more with its default action.
    if (s != Status::kOk) {
      s = processes.ShellStart("", file_, arguments_, folder, platform::show::kShow, &started);
    }
    if (s != Status::kOk) {
      exit_code_ = kNotStarted;
      return;
    }
    std::shared_ptr<platform::Process> process(std::move(started));
    {
      std::lock_guard<std::mutex> lock(mu_);
      process_ = process;
    }
    if (!process) {
      exit_code_ = 0;  // handed to a program that was running already
      return;
    }
    if (wait_) {
      int after_cancel = 0;
      while (!process->Wait(kWaitStepMs)) {
        if (terminate_requested() && ++after_cancel > kStepsAfterCancel) return;
      }
    }
    uint32_t code = 0;
    exit_code_ = process->ExitCode(&code) ? static_cast<int32_t>(code) : kNotStarted;
    ended_ = wait_;
  }

  int32_t exit_code() const { return exit_code_.load(); }
  // Whether the job waited the child to its end.
  bool ended() const { return ended_.load(); }
  // The child's process (null when none was started).
  std::shared_ptr<platform::Process> process() {
    std::lock_guard<std::mutex> lock(mu_);
    return process_;
  }

 private:
  platform::Platform& platform_;
  const std::string file_, arguments_;
  const bool wait_, sixty_four_;
  std::atomic<int32_t> exit_code_{kNotStarted};
  std::atomic<bool> ended_{false};
  std::mutex mu_;
  std::shared_ptr<platform::Process> process_;
};

// The restore, in the 64-bit file view the command used.
void Restore(interp::Session& s, const LightModeFiles& made) {
  commands::FsView64 view(s);
  RestoreLightModeSetup(s.platform.files(), made);
}

void StoreExitCode(CommandContext& ctx, const std::string& name, int32_t code) {
  if (name.empty()) return;
  ctx.SetResult(name, std::to_string(code));
}

void RunLightModeSetup(CommandContext& ctx) {
  interp::Session& s = ctx.session();
  commands::FsView64 view(s);
  const interp::Params& p = ctx.params();
  const std::string file = p.Path(1);
  const std::string result = p.Name(2);
  const std::string arguments = p.Path(3);
  const bool wait = p.Bool(4);
  platform::FileSystem& files = s.platform.files();

  const std::string engine = s.platform.system().ModulePath();
  auto made = std::make_shared<LightModeFiles>();
  if (!MakeLightModeSetup(files, engine, file, made.get()) ||
      !PlaceArchiveLibrary(files, FolderOf(engine), made.get())) {
    RestoreLightModeSetup(files, *made);
    StoreExitCode(ctx, result, kNotStarted);
    return;
  }

  auto job =
      std::make_shared<LightModeJob>(s.platform, file, arguments, wait, commands::Is64BitMode(s));
  ui::WaitOptions options{kCancelLabel};
  options.watchdog_at_first_tick = true;
  interp::Variables& vars = s.variables;
  options.each_iteration = [&vars](ui::ProgressChannel& progress) {
    // A PROGRESS that is no integer keeps the position shown; the text is shown all the same.
    const std::optional<int32_t> position =
        platform::ParseScriptInteger(vars.GetVariable("PROGRESS"));
    progress.Publish(vars.GetVariable("PROGRESSTEXT"), 0, 100, position.value_or(-1));
  };
  ui::WaitLoop loop(options);
  const ui::WaitOutcome outcome = loop.Run(ctx, job);
  // The script ends: the child may still run from F, which stays as it is with what lies beside.
  if (outcome == ui::WaitOutcome::kScriptEnded) return;

  int32_t code = job->exit_code();
  if (outcome == ui::WaitOutcome::kCancelled && !(job->ended() && !loop.abandoned())) {
    code = kCancelled;
  }

  // A child that may still run (or still be starting) needs F and the library: they are put back
  // once it has ended, at the latest when the run ends.
  std::shared_ptr<platform::Process> child = job->process();
  if (child && !child->Wait(0)) {
    interp::Session* session = &s;
    s.exit_cleanups.push_back([session, made, child] {
      if (child->Wait(0)) Restore(*session, *made);
    });
  } else {
    RestoreLightModeSetup(files, *made);
  }
  StoreExitCode(ctx, result, code);
}
CORVANE_COMMAND("Run Light Mode Setup", RunLightModeSetup);

}  // namespace

}  // namespace corvane::install
