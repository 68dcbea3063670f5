// File and folder commands: existence tests, file versions, the recursive search on a worker
// thread, recursive deletion, and the installer-table commands that copy, delete and create.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "commands/deletion_guard.h"
#include "commands/engine_state.h"
#include "commands/file_search.h"
#include "commands/path_text.h"
#include "commands/sixty_four.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/numbers.h"
#include "platform/version_info.h"
#include "ui/wait_loop.h"

namespace corvane::commands {

namespace {

using interp::CommandContext;
using platform::FileVersion;

void RunCopyMoveLocalFiles(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, ctx.params().Path(1));
  ctx.RecordSlot(2, ctx.params().Path(3));
}
CORVANE_COMMAND("Copy/Move Local Files", RunCopyMoveLocalFiles);

void RunDeleteFiles(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, ctx.params().Path(1));
}
CORVANE_COMMAND("Delete Files", RunDeleteFiles);

void RunCreateFolder(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  ctx.RecordSlot(1, ctx.params().Path(1));
}
CORVANE_COMMAND("Create Folder", RunCreateFolder);

void RunDoesFileFolderExist(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  std::string path = p.Path(2);
  platform::FileSystem& fs = ctx.platform().files();
  bool exists = p.Bool(3) ? fs.FileExists(path) : fs.DirectoryExists(path);
  ctx.SetResult(name, exists ? "TRUE" : "FALSE");
}
CORVANE_COMMAND("Does File/Folder Exist", RunDoesFileFolderExist);

FileVersion VersionOf(CommandContext& ctx, const std::string& path) {
  FileVersion v;
  if (platform::CreateVersionReader(ctx.platform())->GetFileVersion(path, &v) !=
      platform::Status::kOk) {
    v = FileVersion{};
  }
  return v;
}

std::string VersionText(const FileVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.release) +
         "." + std::to_string(v.build);
}

void RunGetFileVersion(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  ctx.SetResult(p.ResultName(2), VersionText(VersionOf(ctx, p.Path(1))));
}
CORVANE_COMMAND("Get File Version", RunGetFileVersion);

}  // namespace

// A version text read from the left, four numbers: a part before a dot must be an integer (a
// failure of the command otherwise); the final part reads as 0 when it is not one.
FileVersion ParseVersionText(std::string text) {
  uint16_t fields[4] = {0, 0, 0, 0};
  for (uint16_t& field : fields) {
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
      std::string part = text.substr(0, dot);
      std::optional<int32_t> v = platform::ParseScriptInteger(part);
      if (!v) throw image::ScriptFailure("'" + part + "' is not a valid integer value");
      field = static_cast<uint16_t>(*v);
      text.erase(0, dot + 1);
    } else {
      field = static_cast<uint16_t>(platform::ParseScriptInteger(text).value_or(0));
      text.clear();
    }
  }
  return {fields[0], fields[1], fields[2], fields[3]};
}

namespace {

bool Newer(const FileVersion& a, const FileVersion& b) {
  const uint16_t x[4] = {a.major, a.minor, a.release, a.build};
  const uint16_t y[4] = {b.major, b.minor, b.release, b.build};
  for (int i = 0; i < 4; ++i) {
    if (x[i] != y[i]) return x[i] > y[i];
  }
  return false;
}

void RunCheckFileVersion(CommandContext& ctx) {
  FsView64 view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  FileVersion a = VersionOf(ctx, p.Path(2));
  FileVersion b = p.Bool(3) ? VersionOf(ctx, p.Path(4)) : ParseVersionText(p.Expanded(5));
  ctx.SetResult(name, Newer(a, b) ? "TRUE" : "FALSE");
}
CORVANE_COMMAND("Check File Version", RunCheckFileVersion);

}  // namespace

// Delete Files Recursive: repeated passes until a pass leaves the count of entries unchanged.
// Folders that are junctions or symbolic links are removed as links and never entered, so a link
// planted below the folder cannot make the deletion reach outside it.
void DeleteRecursive(platform::FileSystem& fs, const std::string& pattern) {
  SearchOptions options;
  options.recurse = true;
  options.include_folders = true;
  options.follow_links = false;
  std::vector<std::string> entries;
  SearchFiles(fs, pattern, options, &entries);
  size_t count = entries.size();
  for (int pass = 0; pass < 10000 && count > 0; ++pass) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      fs.SetAttributes(*it, platform::attr::kNormal);
      fs.DeleteFile(*it);
    }
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) fs.RemoveDirectory(*it);
    entries.clear();
    SearchFiles(fs, pattern, options, &entries);
    if (entries.size() == count) break;
    count = entries.size();
  }
}

namespace {

// A pattern whose folder part is empty, relative, a root or one of the system's own folders
// (what "$APPDIR$\*.*" becomes when APPDIR is empty) is refused with a trace entry, and nothing
// is deleted; so is one whose folder part names a variable that is empty ("C:\Apps\$SUB$\*.*"
// would empty C:\Apps).
void RunDeleteFilesRecursive(CommandContext& ctx) {
  FsView64 view(ctx.session());
  std::string pattern = ctx.params().Path(1);
  std::string refused = RefusedDeletionFolder(ctx.platform(), SearchFolderPart(pattern));
  if (refused.empty() &&
      HasEmptyReference(ctx.variables(), SearchFolderPart(ctx.params().Raw(1)))) {
    refused = "a variable in the folder is empty";
  }
  if (!refused.empty()) {
    ctx.session().Trace("Delete Files Recursive refused \"" + pattern + "\": " + refused);
    return;
  }
  DeleteRecursive(ctx.platform().files(), pattern);
}
CORVANE_COMMAND("Delete Files Recursive", RunDeleteFilesRecursive);

// The engine-wide position that the search reports for each folder it starts on.
std::atomic<int> folder_counter{0};

class FindAllFilesJob : public ui::BackgroundJob {
 public:
  FindAllFilesJob(platform::Platform& platform, std::string pattern, bool recurse,
                  bool include_folders, bool sixty_four)
      : platform_(platform),
        pattern_(std::move(pattern)),
        recurse_(recurse),
        include_folders_(include_folders),
        sixty_four_(sixty_four) {}

  void Work(ui::ProgressChannel& progress) override {
    WorkerFsView64 view(platform_, sixty_four_);
    SearchOptions o;
    o.recurse = recurse_;
    o.include_folders = include_folders_;
    o.on_folder = [&] {
      int n = folder_counter.load(std::memory_order_relaxed);
      n = (n + 1) % 101;
      folder_counter.store(n, std::memory_order_relaxed);
      progress.Publish("$IGNORE$", 0, 100, n);
    };
    o.on_file = [&](const std::string& path) { progress.Publish(path, 0, 0, -1); };
    std::vector<std::string> local;
    // The list is published in batches so that a search given up by the watchdog still leaves
    // what it had found.
    o.stop = [&] {
      if (local.size() >= 256) Flush(&local);
      return terminate_requested();
    };
    SearchFiles(platform_.files(), pattern_, o, &local);
    Flush(&local);
  }

  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(found_);
  }

 private:
  void Flush(std::vector<std::string>* local) {
    std::lock_guard<std::mutex> lock(mutex_);
    found_.insert(found_.end(), std::make_move_iterator(local->begin()),
                  std::make_move_iterator(local->end()));
    local->clear();
  }

  platform::Platform& platform_;
  const std::string pattern_;
  const bool recurse_, include_folders_, sixty_four_;
  std::mutex mutex_;
  std::vector<std::string> found_;
};

void RunFindAllFiles(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string result = p.ResultName(4);
  auto job = std::make_shared<FindAllFilesJob>(ctx.platform(), p.Path(1), p.Bool(2), p.Bool(3),
                                               Is64BitMode(ctx.session()));
  ui::WaitLoop loop(ui::WaitOptions{"Cancel at Find-Files Time"});
  loop.Run(ctx, job);
  ctx.SetResult(result, DelimitedText(job->Take()));
}
CORVANE_COMMAND("Find All Files", RunFindAllFiles);

}  // namespace

}  // namespace corvane::commands
