#include "platform/files.h"

namespace corvane::platform {
namespace {

// True for "C:", "C:\", "\\server\share" and "\\server\share\": a path with no folder to create.
bool IsRootPath(const std::string& path) {
  std::string p = path;
  while (!p.empty() && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.size() == 2 && p[1] == ':') return true;
  if (p.size() > 2 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/')) {
    // UNC: \\server\share is the root; count the separators after the leading pair.
    size_t seps = 0;
    for (size_t i = 2; i < p.size(); ++i) {
      if (p[i] == '\\' || p[i] == '/') ++seps;
    }
    return seps <= 1;
  }
  return p.empty();
}

}  // namespace

namespace {
class ReadView : public FileView {
 public:
  explicit ReadView(std::string bytes) : owned_(std::move(bytes)) { bytes_ = owned_; }

 private:
  std::string owned_;
};
}  // namespace

std::shared_ptr<const FileView> File::ViewFrom(uint64_t offset, Status* status) {
  uint64_t size = 0;
  if ((*status = Size(&size)) != Status::kOk) return nullptr;
  if (offset > size) {
    *status = Status::kFailed;
    return nullptr;
  }
  if ((*status = Seek(offset)) != Status::kOk) return nullptr;
  std::string bytes;
  if (size - offset > bytes.max_size()) {
    *status = Status::kFailed;
    return nullptr;
  }
  bytes.assign(static_cast<size_t>(size - offset), '\0');
  size_t got = 0, total = 0;
  while (total < bytes.size() &&
         (*status = Read(bytes.data() + total, bytes.size() - total, &got)) == Status::kOk && got) {
    total += got;
  }
  if (*status != Status::kOk) return nullptr;
  bytes.resize(total);
  return std::make_shared<ReadView>(std::move(bytes));
}

Status FileSystem::ReadFile(const std::string& path, std::string* contents) {
  Status s;
  auto f = Open(path, OpenMode::kRead, &s);
  if (!f) return s;
  uint64_t size = 0;
  if ((s = f->Size(&size)) != Status::kOk) return s;
  // Sizes are 64-bit: a file larger than this process can hold is an error, never the low part
  // of its size read as the whole file.
  if (size > contents->max_size()) return Status::kFailed;
  contents->assign(static_cast<size_t>(size), '\0');
  size_t got = 0;
  if ((s = f->Read(contents->data(), contents->size(), &got)) != Status::kOk) return s;
  contents->resize(got);
  return Status::kOk;
}

Status FileSystem::WriteFile(const std::string& path, std::string_view contents) {
  Status s;
  auto f = Open(path, OpenMode::kCreate, &s);
  if (!f) return s;
  return f->Write(contents.data(), contents.size());
}

bool FileSystem::FileExists(const std::string& path) {
  uint32_t a = attr::kInvalid;
  if (GetAttributes(path, &a) != Status::kOk || a == attr::kInvalid) return false;
  return (a & attr::kDirectory) == 0;
}

bool FileSystem::DirectoryExists(const std::string& path) {
  uint32_t a = attr::kInvalid;
  if (GetAttributes(path, &a) != Status::kOk || a == attr::kInvalid) return false;
  return (a & attr::kDirectory) != 0;
}

Status FileSystem::CreateDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.empty()) return Status::kInvalidName;
  if (IsRootPath(p)) return DirectoryExists(p + "\\") ? Status::kOk : Status::kNotFound;
  if (DirectoryExists(p)) return Status::kOk;
  if (FileExists(p)) return Status::kAlreadyExists;
  size_t cut = p.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) {
    std::string parent = p.substr(0, cut);
    if (!IsRootPath(parent)) {
      Status s = CreateDirectories(parent);
      if (s != Status::kOk) return s;
    }
  }
  Status s = CreateDirectory(p);
  // Another thread or process may have created it in between.
  if (s == Status::kAlreadyExists && DirectoryExists(p)) return Status::kOk;
  return s;
}

void DeleteTreeContents(FileSystem& files, const std::string& folder) {
  std::string base = folder;
  while (!base.empty() && base.back() == '\\') base.pop_back();
  if (base.empty()) return;  // never a drive's root by an empty name
  std::vector<FileEntry> entries;
  if (files.List(base, "*", &entries) != Status::kOk) return;
  for (const FileEntry& e : entries) {
    if (e.name == "." || e.name == "..") continue;
    const std::string path = base + "\\" + e.name;
    if (e.attributes & attr::kDirectory) {
      if (!(e.attributes & attr::kReparsePoint)) DeleteTreeContents(files, path);
      files.SetAttributes(path, attr::kDirectory);
      files.RemoveDirectory(path);
    } else {
      files.SetAttributes(path, attr::kNormal);
      files.DeleteFile(path);
    }
  }
}

void DeleteTree(FileSystem& files, const std::string& folder) {
  std::string base = folder;
  while (!base.empty() && base.back() == '\\') base.pop_back();
  if (base.empty()) return;
  uint32_t attributes = attr::kInvalid;
  if (files.GetAttributes(base, &attributes) != Status::kOk || !(attributes & attr::kDirectory)) {
    return;
  }
  if (!(attributes & attr::kReparsePoint)) DeleteTreeContents(files, base);
  files.SetAttributes(base, attr::kDirectory);
  files.RemoveDirectory(base);
}

}  // namespace corvane::platform
