#include "platform/sim/sim_shell.h"

#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path.push_back('\\');
  return path;
}

std::string WithoutBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

Status SimShell::GetSpecialFolder(SpecialFolder folder, std::string* path) {
  const std::string& profile = machine_.profile;
  const std::string program_files = machine_.windows64 && !machine_.process64
                                        ? "C:\\Program Files (x86)"
                                        : "C:\\Program Files";
  switch (folder) {
    case SpecialFolder::kCommonAppData: *path = "C:\\ProgramData"; break;
    case SpecialFolder::kLocalAppData: *path = profile + "\\AppData\\Local"; break;
    case SpecialFolder::kAppData: *path = profile + "\\AppData\\Roaming"; break;
    case SpecialFolder::kProgramFiles: *path = program_files; break;
    case SpecialFolder::kCommonFiles: *path = program_files + "\\Common Files"; break;
    case SpecialFolder::kDesktop: *path = profile + "\\Desktop"; break;
    default: path->clear(); return Status::kNotFound;
  }
  *path = WithBackslash(*path);
  return Status::kOk;
}

bool SimShell::IsAdministrator() { return machine_.admin && machine_.version.platform_id == 2; }

Status SimShell::DeleteAtRestart(const std::string& path) {
  std::string full = WithoutBackslash(files_.GetFullPath(path));
  uint32_t attributes = 0;
  Status s = files_.GetAttributes(full, &attributes);
  if (s != Status::kOk) return s;
  if (!IsAdministrator()) return Status::kAccessDenied;
  std::lock_guard<std::mutex> lock(mu_);
  std::string list;
  ReadHostFile(PendingFile(), &list);
  list += full + "\n";
  return WriteHostFile(PendingFile(), list) ? Status::kOk : Status::kFailed;
}

std::vector<std::string> SimShell::PendingDeletions() {
  std::lock_guard<std::mutex> lock(mu_);
  std::string list;
  std::vector<std::string> out;
  if (!ReadHostFile(PendingFile(), &list)) return out;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) out.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

size_t SimShell::ApplyPendingDeletions() {
  size_t deleted = 0;
  for (const std::string& path : PendingDeletions()) {
    uint32_t attributes = 0;
    if (files_.GetAttributes(path, &attributes) != Status::kOk) continue;
    Status s = (attributes & attr::kDirectory) ? files_.RemoveDirectory(path)
                                               : files_.DeleteFile(path);
    if (s == Status::kOk) ++deleted;
  }
  std::lock_guard<std::mutex> lock(mu_);
  std::error_code ec;
  std::filesystem::remove(PendingFile(), ec);
  return deleted;
}

Status SimShell::SetCompression(const std::string& path, bool compressed) {
  std::string full = WithoutBackslash(files_.GetFullPath(path));
  uint32_t attributes = 0;
  Status s = files_.GetAttributes(full, &attributes);
  if (s != Status::kOk) return s;
  std::lock_guard<std::mutex> lock(mu_);
  if (compressed) {
    compressed_.insert(UpperCase(full));
  } else {
    compressed_.erase(UpperCase(full));
  }
  return Status::kOk;
}

bool SimShell::IsCompressed(const std::string& path) {
  std::string full = UpperCase(WithoutBackslash(files_.GetFullPath(path)));
  std::lock_guard<std::mutex> lock(mu_);
  return compressed_.count(full) != 0;
}

}  // namespace corvane::platform::sim
