#include "install/media_jobs.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "commands/deletion_guard.h"
#include "commands/sixty_four.h"
#include "platform/text.h"

namespace corvane::install {

namespace {

using platform::FileEntry;
using platform::FileSystem;
using platform::Status;
namespace attr = platform::attr;

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string WithoutBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// A relative path that stays below the folder it is joined to: no root, no drive, no "..".
bool IsContainedPath(const std::string& relative) {
  if (relative.empty() || relative[0] == '\\' || relative[0] == '/') return false;
  if (relative.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= relative.size()) {
    size_t cut = relative.find_first_of("\\/", start);
    std::string part = relative.substr(start, cut == std::string::npos ? cut : cut - start);
    std::string trimmed = part;
    while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
    if (part == ".." || (trimmed.empty() && !part.empty())) return false;
    if (cut == std::string::npos) break;
    start = cut + 1;
  }
  return true;
}

// Files below a folder, relative to it (subfolders first, then the folder's own files). Links
// are left out: nothing is reached through one.
void ListFilesBelow(FileSystem& files, const std::string& base, const std::string& relative,
                    std::vector<std::string>* out) {
  std::vector<FileEntry> entries;
  if (files.List(WithoutBackslash(base + relative), "*", &entries) != Status::kOk) return;
  std::sort(entries.begin(), entries.end(),
            [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
  for (const FileEntry& e : entries) {
    if ((e.attributes & attr::kDirectory) && !(e.attributes & attr::kReparsePoint)) {
      ListFilesBelow(files, base, relative + e.name + "\\", out);
    }
  }
  for (const FileEntry& e : entries) {
    if (!(e.attributes & (attr::kDirectory | attr::kReparsePoint)))
      out->push_back(relative + e.name);
  }
}

// Removes the folders below `folder` that are empty (deepest first), then `folder` itself when
// it is empty. Files and links are never touched.
void RemoveEmptyFolders(FileSystem& files, const std::string& folder) {
  std::vector<FileEntry> entries;
  const std::string base = WithoutBackslash(folder);
  if (files.List(base, "*", &entries) == Status::kOk) {
    for (const FileEntry& e : entries) {
      if ((e.attributes & attr::kDirectory) && !(e.attributes & attr::kReparsePoint)) {
        RemoveEmptyFolders(files, base + "\\" + e.name);
      }
    }
  }
  files.RemoveDirectory(base);
}

bool SameFile(const std::string& a, const std::string& b) { return platform::SameText(a, b); }

}  // namespace

std::string EntryProgressText(const std::string& path, int percent) {
  return FileNameOf(path) + ", " + std::to_string(percent) + "% complete";
}

int ExtractPercent(uint64_t done, uint64_t total) {
  if (total == 0) return 100;
  const uint64_t percent = (done >= total ? 100 : done * 100 / total) + 1;
  return static_cast<int>(std::min<uint64_t>(percent, 100));
}

bool MoveFolderTree(FileSystem& files, const std::string& source, const std::string& destination,
                    bool move) {
  const std::string from = WithBackslash(source), to = WithBackslash(destination);
  std::vector<std::string> list;
  ListFilesBelow(files, from, "", &list);
  for (const std::string& relative : list) {
    const std::string target = to + relative;
    const std::string folder = FolderOf(target);
    if (!folder.empty() && files.CreateDirectories(folder) != Status::kOk) return false;
    if (files.FileExists(target)) files.SetAttributes(target, attr::kNormal);
    if (move) {
      if (files.FileExists(target) && files.DeleteFile(target) != Status::kOk) return false;
      if (files.MoveFile(from + relative, target, false) != Status::kOk) return false;
    } else if (files.CopyFile(from + relative, target, false) != Status::kOk) {
      return false;
    }
  }
  // Only what was moved leaves the source: a copy keeps it whole, and a move removes the folders
  // it emptied, never a file it did not move.
  if (move) RemoveEmptyFolders(files, from);
  return true;
}

void CopyFileIfSizeDiffers(platform::Platform& platform, const std::string& from,
                           const std::string& to, bool compress) {
  const bool drive = to.size() >= 2 && to[1] == ':';
  const bool share = to.size() >= 2 && to[0] == '\\' && to[1] == '\\';
  if (!drive && !share) return;
  FileSystem& files = platform.files();
  uint64_t a = 0, b = 0;
  if (files.GetFileSize(from, &a) != Status::kOk) a = 0;
  if (files.GetFileSize(to, &b) != Status::kOk) b = 0;
  if (a == b) return;
  const std::string folder = FolderOf(to);
  if (!folder.empty()) {
    files.CreateDirectories(folder);
    platform.shell().SetCompression(folder, compress);
  }
  if (files.FileExists(to)) files.SetAttributes(to, attr::kNormal);
  files.CopyFile(from, to, false);
}

StagingFolder::StagingFolder(platform::Platform& platform) : platform_(platform) {
  temp_ = WithBackslash(platform.system().TempFolder());
  if (temp_.empty()) return;
  FileSystem& files = platform.files();
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string guid = platform.system().NewGuid();
    std::string name = "vort";
    for (char c : guid) {
      if (std::isxdigit(static_cast<unsigned char>(c)) && name.size() < 16) name += c;
    }
    if (name.size() < 16) return;  // no random name to be had
    // Made new: a folder that is there already (planted, or another run's) is never used.
    if (files.CreateDirectory(temp_ + name) == Status::kOk) {
      path_ = temp_ + name + "\\";
      // Empty before use (nothing can be in a folder just made, but nothing is assumed either).
      commands::DeleteOwnFolder(platform_, path_, temp_, true);
      return;
    }
  }
}

StagingFolder::~StagingFolder() {
  if (!path_.empty()) commands::DeleteOwnFolder(platform_, path_, temp_);
}

void DirectExtractJob::Work(ui::ProgressChannel& progress) {
  commands::WorkerFsView64 view(platform_, true);
  platform_.files().CreateDirectories(WithoutBackslash(f_.destination));
  auto report = [&](const std::string& entry, uint64_t done, uint64_t total) {
    const int percent = ExtractPercent(done, total);
    progress.Publish(EntryProgressText(entry, percent), 0, 100, percent);
    return !terminate_requested();
  };
  std::string error;
  succeeded_ = archive_->Extract(f_.archive, f_.password, f_.destination, nullptr, report,
                                 f_.answer, f_.keep_folders, &error);
  error_ = succeeded_ ? std::string() : error;
}

std::vector<Placement> ReadPlacements(const std::vector<std::string>& lines) {
  std::vector<Placement> out;
  for (size_t i = 0; i + 2 < lines.size(); i += 3) {
    out.push_back(Placement{lines[i], lines[i + 1], WithBackslash(lines[i + 2])});
  }
  return out;
}

void MediaExtractJob::Work(ui::ProgressChannel& progress) {
  FileSystem& files = platform_.files();
  StagingFolder staging(platform_);
  files.CreateDirectories(WithoutBackslash(f_.destination_root));
  if (staging.path().empty()) {
    error_ = "No staging folder could be made in the temporary folder";
    return;
  }
  auto report = [&](const std::string& entry, uint64_t done, uint64_t total) {
    const int percent = ExtractPercent(done, total);
    progress.Publish(f_.status_prefix + "\r" + EntryProgressText(entry, percent), 0, 100, percent);
    return !terminate_requested();
  };
  std::string error;
  const bool extracted = archive_->Extract(f_.archive, f_.password, staging.path(), nullptr, report,
                                           true, true, &error);
  cannot_open_ = !extracted && error == kArchiveCannotBeOpened;
  if (!extracted) {
    error_ = error;
    return;
  }
  if (!f_.copy_folder.empty()) {
    CopyFileIfSizeDiffers(platform_, f_.archive,
                          WithBackslash(f_.copy_folder) + FileNameOf(f_.archive), f_.compress);
  }
  if (!f_.keep_archive) {
    files.SetAttributes(f_.archive, attr::kNormal);
    files.DeleteFile(f_.archive);
  }
  std::string base = FileNameOf(f_.archive);
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.erase(dot);
  if (!Place(staging.path(), base)) return;
  if (!MoveFolderTree(files, staging.path() + base, f_.destination_root + base, true)) {
    error_ = "Cannot move the block's files into " + f_.destination_root + base;
    return;
  }
  succeeded_ = true;
}

// The support files of the block go to their folders of the engine cache. An entry named by
// several placements is moved once and copied from its first place for the others; a placement
// whose target is where the entry already went keeps that only copy.
bool MediaExtractJob::Place(const std::string& staging, const std::string& base) {
  FileSystem& files = platform_.files();
  std::map<std::string, std::string> placed;  // source (upper-cased) -> first target
  for (const Placement& p : f_.placements) {
    if (!platform::SameText(p.block, base)) continue;
    if (!IsContainedPath(p.entry) ||
        (!p.folder.empty() && p.folder != "\\" && !IsContainedPath(WithoutBackslash(p.folder)))) {
      error_ = "A support file placement leaves its folder: " + p.folder + p.entry;
      return false;
    }
    const std::string folder = f_.destination_root + (p.folder == "\\" ? std::string() : p.folder);
    const std::string target = folder + FileNameOf(p.entry);
    const std::string source = staging + base + "\\" + p.entry;
    const std::string key = platform::UpperCase(source);
    files.CreateDirectories(WithoutBackslash(folder));
    auto earlier = placed.find(key);
    if (earlier != placed.end() && SameFile(earlier->second, target)) continue;
    if (files.FileExists(target)) {
      files.SetAttributes(target, attr::kNormal);
      files.DeleteFile(target);
    }
    Status s;
    if (earlier != placed.end()) {
      // Moved before: copied from where it went.
      s = files.CopyFile(earlier->second, target, false);
    } else {
      s = files.MoveFile(source, target, false);
      if (s == Status::kOk) placed[key] = target;
    }
    if (s != Status::kOk) {
      error_ = "Cannot place " + p.entry + " in " + folder;
      return false;
    }
  }
  return true;
}

void MediaCopyJob::Work(ui::ProgressChannel& progress) {
  FileSystem& files = platform_.files();
  progress.Publish("$IGNORE$", 0, 100, 0);
  std::string source = WithBackslash(f_.source);
  if (!files.DirectoryExists(source + "offline") && !files.DirectoryExists(source + "mergemod")) {
    source = WithBackslash(FolderOf(WithoutBackslash(source)));
  }
  struct Item {
    std::string from, to;
  };
  std::vector<Item> items;
  for (const char* sub : {"offline", "mergemod"}) {
    std::vector<std::string> list;
    ListFilesBelow(files, source + sub + "\\", "", &list);
    const std::string to =
        std::string(sub) == "offline" ? f_.destination + "offline\\" : f_.destination;
    for (const std::string& relative : list) {
      items.push_back(Item{source + sub + "\\" + relative, to + relative});
    }
  }
  // Media below the engine's own folder may be moved; the user's own media stay where they are.
  const std::string own = platform::UpperCase(WithBackslash(f_.own_folder));
  const bool may_move =
      !f_.copy_only && !own.empty() && platform::UpperCase(source).compare(0, own.size(), own) == 0;
  const size_t n = items.size();
  for (size_t i = 0; i < n; ++i) {
    const int percent = static_cast<int>(std::min<size_t>(i * 100 / n + 1, 100));
    progress.Publish("$IGNORE$", 0, 100, percent);
    progress.Publish(EntryProgressText(items[i].from, percent), 0, 100, percent);
    if (terminate_requested()) return;
    const Item& item = items[i];
    if (!files.FileExists(item.to)) {
      const std::string folder = FolderOf(item.to);
      if (!folder.empty()) files.CreateDirectories(folder);
      bool moved = may_move && files.MoveFile(item.from, item.to, false) == Status::kOk;
      if (!moved) files.CopyFile(item.from, item.to, true);
      if (f_.compress) platform_.shell().SetCompression(item.to, true);
    }
    if (!files.FileExists(item.to)) return;
  }
  if (!f_.copy_folder.empty() && !f_.setup_file.empty()) {
    CopyFileIfSizeDiffers(platform_, f_.setup_file,
                          WithBackslash(f_.copy_folder) + FileNameOf(f_.setup_file), f_.compress);
  }
  succeeded_ = true;
}

}  // namespace corvane::install
