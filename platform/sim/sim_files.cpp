#include "platform/sim/sim_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/sim/sim_common.h"
#include "platform/sim/sim_paths.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kStoredBits =
    attr::kReadOnly | attr::kHidden | attr::kSystem | attr::kArchive | attr::kTemporary;
constexpr uint32_t kFileDefault = attr::kArchive;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInvalidFunction = 1;

Status FromErrno(int e) {
  switch (e) {
    case ENOENT: case ENOTDIR: return Status::kNotFound;
    case EACCES: case EPERM: case EROFS: case ETXTBSY: return Status::kAccessDenied;
    case EEXIST: return Status::kAlreadyExists;
    case ENOTEMPTY: return Status::kNotEmpty;
    case ENAMETOOLONG: case EINVAL: return Status::kInvalidName;
    case ENOSPC: case EDQUOT: return Status::kDiskFull;
    default: return Status::kFailed;
  }
}

int64_t FileTimeOf(const fs::path& p) {
  std::error_code ec;
  auto t = fs::last_write_time(p, ec);
  if (ec) return 0;
  auto sys = std::chrono::file_clock::to_sys(t);
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count();
  // FILETIME counts 100-ns intervals from 1601-01-01; the Unix epoch is 11644473600 s later.
  return ticks / 100 + 116444736000000000LL;
}

// The entry of a host folder that a path component names: the entry of exactly that name, else
// one whose 1252 name equals it ignoring case, else one whose short name it is. Short names are
// generated, and a generated one always holds "~", so only such a component needs the folder's
// short names worked out.
// Whether an entry of the host is a folder, from the type its lookup gave (a link is followed,
// as is_directory does).
bool IsFolderEntry(const fs::path& path, fs::file_type type) {
  if (type == fs::file_type::symlink) {
    std::error_code ec;
    return fs::is_directory(path, ec);
  }
  return type == fs::file_type::directory;
}

bool FindChild(const fs::path& dir, const std::string& name, fs::path* found,
               fs::file_type* type = nullptr) {
  std::error_code ec;
  fs::path exact = dir / HostName(name);
  const fs::file_type exact_type = fs::symlink_status(exact, ec).type();
  if (exact_type != fs::file_type::not_found && !ec) {
    *found = exact;
    if (type) *type = exact_type;
    return true;
  }
  const bool maybe_short = name.find('~') != std::string::npos && IsShortName(name);
  std::vector<fs::path> paths;
  std::vector<std::string> names;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = NameFromHost(it->path().filename());
    if (SameText(entry, name)) {
      *found = it->path();
      if (type) *type = it->symlink_status(ec).type();
      return true;
    }
    if (maybe_short) {
      paths.push_back(it->path());
      names.push_back(std::move(entry));
    }
  }
  if (!maybe_short) return false;
  std::vector<std::string> aliases = ShortNames(names);
  for (size_t i = 0; i < aliases.size(); ++i) {
    if (SameText(aliases[i], name)) {
      *found = paths[i];
      if (type) *type = fs::symlink_status(paths[i], ec).type();
      return true;
    }
  }
  return false;
}

}  // namespace

// Open handles by file, for the sharing rules and delete-on-close.
// A read-only private mapping of a host file, unmapped with the view. A file that a view maps
// may still be rewritten on the host, which would take the pages from under the view (a shorter
// file ends the process on the next read): before that, the view takes a copy of its own.
class MappedView : public FileView {
 public:
  MappedView(void* base, size_t length, size_t skip) : base_(base), length_(length) {
    bytes_ = std::string_view(static_cast<const char*>(base) + skip, length - skip);
  }
  ~MappedView() override { ::munmap(base_, length_); }

  // Puts a private copy of the bytes in place of the file's pages, at the same address (the
  // copy replaces the mapping in one step, so a reader sees either).
  void Detach() {
    std::lock_guard<std::mutex> lock(mu_);
    if (detached_) return;
    void* copy = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
    if (copy == MAP_FAILED) return;
    std::memcpy(copy, base_, length_);
    ::mprotect(copy, length_, PROT_READ);
    if (::mremap(copy, length_, length_, MREMAP_MAYMOVE | MREMAP_FIXED, base_) == MAP_FAILED) {
      ::munmap(copy, length_);
      return;
    }
    detached_ = true;
  }

 private:
  std::mutex mu_;
  void* base_;
  size_t length_;
  bool detached_ = false;
};

class HandleTable {
 public:
  struct Handle {
    uint64_t id;
    bool read, write, share_read, share_write, delete_on_close;
  };

  // False (sharing violation) when the new handle conflicts with an open one.
  bool Add(const std::string& key, Handle h) {
    std::lock_guard<std::mutex> lock(mu_);
    for (const Handle& o : open_[key]) {
      if ((h.read && !o.share_read) || (h.write && !o.share_write) ||
          (o.read && !h.share_read) || (o.write && !h.share_write)) {
        return false;
      }
    }
    open_[key].push_back(h);
    return true;
  }
  uint64_t NextId() {
    std::lock_guard<std::mutex> lock(mu_);
    return ++next_id_;
  }
  bool IsOpen(const std::string& key) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = open_.find(key);
    return it != open_.end() && !it->second.empty();
  }
  // Any open handle on key or below it (a folder).
  bool IsOpenBelow(const std::string& key) {
    std::lock_guard<std::mutex> lock(mu_);
    std::string prefix = key + "\\";
    for (const auto& [k, v] : open_) {
      if (v.empty()) continue;
      if (k == key || k.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
  }
  void AddView(const std::string& key, const std::shared_ptr<MappedView>& view) {
    std::lock_guard<std::mutex> lock(mu_);
    auto& list = views_[key];
    list.erase(std::remove_if(list.begin(), list.end(), [](auto& w) { return w.expired(); }),
               list.end());
    list.push_back(view);
  }
  // Before a file is written: the views of it keep what they showed.
  void DetachViews(const std::string& key) {
    std::vector<std::shared_ptr<MappedView>> live;
    {
      std::lock_guard<std::mutex> lock(mu_);
      auto it = views_.find(key);
      if (it == views_.end()) return;
      for (auto& w : it->second) {
        if (auto v = w.lock()) live.push_back(std::move(v));
      }
      views_.erase(it);
    }
    for (auto& v : live) v->Detach();
  }

  // Removes the handle; true when it was the last one and a delete-on-close is pending.
  bool Remove(const std::string& key, uint64_t id) {
    std::lock_guard<std::mutex> lock(mu_);
    auto& list = open_[key];
    bool pending = false;
    for (auto it = list.begin(); it != list.end();) {
      if (it->id == id) {
        if (it->delete_on_close) pending_delete_[key] = true;
        it = list.erase(it);
      } else {
        ++it;
      }
    }
    if (list.empty()) {
      open_.erase(key);
      pending = pending_delete_.erase(key) > 0;
    }
    return pending;
  }

 private:
  std::mutex mu_;
  uint64_t next_id_ = 0;
  std::map<std::string, std::vector<Handle>> open_;
  std::map<std::string, bool> pending_delete_;
  std::map<std::string, std::vector<std::weak_ptr<MappedView>>> views_;
};

namespace {

class SimFile : public File {
 public:
  // The file keeps the handle table alive, not the file system: it may outlive both. An attribute
  // entry of a deleted temporary file is harmless, since a new file at that path replaces it.
  SimFile(int fd, std::shared_ptr<HandleTable> table, std::string key, uint64_t id, fs::path host)
      : fd_(fd), table_(std::move(table)), key_(std::move(key)), id_(id), host_(std::move(host)) {}
  ~SimFile() override {
    ::close(fd_);
    if (table_->Remove(key_, id_)) {
      std::error_code ec;
      fs::remove(host_, ec);
    }
  }

  Status Read(void* buffer, size_t n, size_t* read) override {
    *read = 0;
    char* out = static_cast<char*>(buffer);
    while (n > 0) {
      ssize_t got = ::read(fd_, out, n);
      if (got < 0) {
        if (errno == EINTR) continue;
        // A handle opened for writing only cannot read.
        return Record(errno == EBADF ? Status::kAccessDenied : FromErrno(errno));
      }
      if (got == 0) break;
      *read += static_cast<size_t>(got);
      out += got;
      n -= static_cast<size_t>(got);
    }
    return Status::kOk;
  }

  Status Write(const void* data, size_t n) override {
    const char* in = static_cast<const char*>(data);
    while (n > 0) {
      ssize_t done = ::write(fd_, in, n);
      if (done < 0) {
        if (errno == EINTR) continue;
        return Record(errno == EBADF ? Status::kAccessDenied : FromErrno(errno));
      }
      in += done;
      n -= static_cast<size_t>(done);
    }
    return Status::kOk;
  }

  Status Seek(uint64_t offset) override {
    if (offset > static_cast<uint64_t>(INT64_MAX) ||
        ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
      return Record(Status::kFailed);
    }
    return Status::kOk;
  }

  Status Size(uint64_t* size) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Record(FromErrno(errno));
    *size = static_cast<uint64_t>(st.st_size);
    return Status::kOk;
  }

  Status Flush() override { return Status::kOk; }  // writes go straight to the host file

  Status Truncate() override {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    if (at < 0 || ::ftruncate(fd_, at) != 0) return Record(FromErrno(errno));
    return Status::kOk;
  }

  std::shared_ptr<const FileView> ViewFrom(uint64_t offset, Status* status) override {
    uint64_t size = 0;
    if ((*status = Size(&size)) != Status::kOk) return nullptr;
    static const uint64_t kPage = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const uint64_t start = offset - offset % kPage;
    if (offset < size && size - start <= SIZE_MAX) {
      const size_t length = static_cast<size_t>(size - start);
      void* base =
          ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd_, static_cast<off_t>(start));
      if (base != MAP_FAILED) {
        auto view =
            std::make_shared<MappedView>(base, length, static_cast<size_t>(offset - start));
        table_->AddView(key_, view);
        return view;
      }
    }
    // Nothing to map (an empty rest), or a file that cannot be mapped: read it.
    return File::ViewFrom(offset, status);
  }

 private:
  int fd_;
  std::shared_ptr<HandleTable> table_;
  std::string key_;
  uint64_t id_;
  fs::path host_;
};

}  // namespace

namespace {

// The null device: every write succeeds and keeps nothing, every read finds the end.
class NullFile : public File {
 public:
  Status Read(void*, size_t, size_t* read) override {
    *read = 0;
    return Status::kOk;
  }
  Status Write(const void*, size_t) override { return Status::kOk; }
  Status Seek(uint64_t) override { return Status::kOk; }
  Status Size(uint64_t* size) override {
    *size = 0;
    return Status::kOk;
  }
  Status Flush() override { return Status::kOk; }
};

// What a call that wants a file or folder meets in a device.
Status DeviceRefuses() { return RecordError(Status::kFailed, kErrorInvalidParameter); }

}  // namespace

SimFileSystem::SimFileSystem(fs::path machine_folder, const MachineDescription& machine)
    : machine_(std::move(machine_folder)), disks_(machine.disks), drives_(machine.drives),
      windows_folder_(FullPath(machine.windows_folder, "C:\\")),
      redirected_process_(machine.windows64 && !machine.process64),
      admin_(machine.admin && machine.version.platform_id == 2),
      user_(machine.user),
      handles_(std::make_shared<HandleTable>()) {
  std::error_code ec;
  for (const auto& [letter, size] : disks_) {
    fs::create_directories(machine_ / (std::string("drive_") + LowerChar1252(letter)), ec);
  }
  for (const auto& [letter, d] : drives_) {
    fs::create_directories(machine_ / (std::string("drive_") + LowerChar1252(letter)), ec);
  }
  // Attribute store: "XXXXXXXX C:\path" lines, paths in UTF-8.
  std::string text;
  if (ReadHostFile(machine_ / "attributes.txt", &text)) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      unsigned bits = 0;
      if (line.size() > 9 && std::sscanf(line.c_str(), "%8x", &bits) == 1) {
        attributes_[UpperCase(Cp1252FromUtf8(line.substr(9)))] = bits & kStoredBits;
      }
    }
  }
  current_ = FullPath(machine.current_folder, "C:\\");
  if (current_.size() > 3 && current_.back() == '\\') current_.pop_back();
  // Security store: a log of "owner<TAB>user<TAB>path", "admin<TAB>path" (the Administrators
  // group owns it again), "protect<TAB>path" and "unprotect<TAB>path" lines, paths in UTF-8.
  if (ReadHostFile(machine_ / "security.txt", &text)) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      const std::string kind = line.substr(0, tab);
      std::string rest = line.substr(tab + 1);
      if (kind == "owner") {
        const size_t second = rest.find('\t');
        if (second == std::string::npos) continue;
        owners_[UpperCase(Cp1252FromUtf8(rest.substr(second + 1)))] =
            Cp1252FromUtf8(rest.substr(0, second));
      } else if (kind == "admin") {
        owners_.erase(UpperCase(Cp1252FromUtf8(rest)));
      } else if (kind == "protect") {
        protected_.insert(UpperCase(Cp1252FromUtf8(rest)));
      } else if (kind == "unprotect") {
        protected_.erase(UpperCase(Cp1252FromUtf8(rest)));
      }
    }
  }
}

// ---------------------------------------------------------------- owners and protected folders

bool SimFileSystem::UnderProtected(const std::string& key) const {
  for (const std::string& p : protected_) {
    if (key == p || (key.size() > p.size() && key.compare(0, p.size(), p) == 0 &&
                     key[p.size()] == '\\')) {
      return true;
    }
  }
  return false;
}

bool SimFileSystem::MayChange(const std::string& key) const {
  return admin_ || protected_.empty() || !UnderProtected(key);
}

void SimFileSystem::AppendSecurity(const std::string& line) {
  std::ofstream out(machine_ / "security.txt", std::ios::binary | std::ios::app);
  out << Utf8From1252(line) << "\n";
}

void SimFileSystem::NoteCreated(const std::string& key) {
  if (!admin_) {
    auto it = owners_.find(key);
    if (it != owners_.end() && it->second == user_) return;
    owners_[key] = user_;
    AppendSecurity("owner\t" + user_ + "\t" + key);
  } else if (owners_.erase(key) > 0) {
    AppendSecurity("admin\t" + key);
  }
}

void SimFileSystem::NoteRemoved(const std::string& key) {
  if (owners_.erase(key) > 0) AppendSecurity("admin\t" + key);
  if (protected_.erase(key) > 0) AppendSecurity("unprotect\t" + key);
}

void SimFileSystem::MoveSecurity(const std::string& from_key, const std::string& to_key) {
  const std::string prefix = from_key + "\\";
  auto renamed = [&](const std::string& key) { return to_key + key.substr(from_key.size()); };
  std::map<std::string, std::string> moved_owners;
  for (auto it = owners_.begin(); it != owners_.end();) {
    if (it->first == from_key || it->first.compare(0, prefix.size(), prefix) == 0) {
      moved_owners[renamed(it->first)] = it->second;
      AppendSecurity("admin\t" + it->first);
      it = owners_.erase(it);
    } else {
      ++it;
    }
  }
  for (const auto& [key, owner] : moved_owners) {
    owners_[key] = owner;
    AppendSecurity("owner\t" + owner + "\t" + key);
  }
  std::vector<std::string> moved_protected;
  for (auto it = protected_.begin(); it != protected_.end();) {
    if (*it == from_key || it->compare(0, prefix.size(), prefix) == 0) {
      moved_protected.push_back(renamed(*it));
      AppendSecurity("unprotect\t" + *it);
      it = protected_.erase(it);
    } else {
      ++it;
    }
  }
  for (const std::string& key : moved_protected) {
    protected_.insert(key);
    AppendSecurity("protect\t" + key);
  }
}

Status SimFileSystem::ProtectFolder(const std::string& path) {
  if (!admin_) return Record(Status::kAccessDenied);
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return DeviceRefuses();
  if (r.exists && !r.is_dir) return RecordError(Status::kAlreadyExists, kErrorFileExists);
  if (!r.exists) {
    std::error_code ec;
    if (!fs::create_directory(r.host, ec)) {
      return Record(ec ? FromErrno(ec.value()) : Status::kFailed);
    }
    std::lock_guard<std::mutex> lock(mu_);
    DropAttributes(r.key);
    NoteCreated(r.key);
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    auto owner = owners_.find(r.key);
    // Another user's folder is left as it is: what they put there stays theirs.
    if (owner != owners_.end() && owner->second != user_) return Record(Status::kAccessDenied);
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (protected_.insert(r.key).second) AppendSecurity("protect\t" + r.key);
  return Status::kOk;
}

Status SimFileSystem::IsTrustedOwner(const std::string& path, bool* trusted) {
  *trusted = false;
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (!r.exists || r.device != Resolved::Device::kNone) return Record(Status::kNotFound);
  std::lock_guard<std::mutex> lock(mu_);
  auto owner = owners_.find(r.key);
  *trusted = owner == owners_.end() || (admin_ && owner->second == user_);
  return Status::kOk;
}

Status SimFileSystem::GetAccessFacts(const std::string& path, AccessFacts* facts) {
  *facts = AccessFacts();
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (!r.exists || r.device != Resolved::Device::kNone) return Record(Status::kNotFound);
  std::lock_guard<std::mutex> lock(mu_);
  facts->protected_list = protected_.count(r.key) != 0;
  facts->others_may_change = !UnderProtected(r.key);
  facts->users_may_read = true;
  return Status::kOk;
}

SimFileSystem::~SimFileSystem() = default;

Status SimFileSystem::Resolve(const std::string& path, Resolved* r) {
  std::string cur;
  {
    std::lock_guard<std::mutex> lock(mu_);
    cur = current_;
  }
  std::string full = Redirect(FullPath(path, cur));
  std::vector<std::string> parts;
  char drive = 0;
  bool trailing = false;
  if (full.empty()) return RecordError(Status::kNotFound, kErrorPathNotFound);
  if (full.rfind("\\\\.\\", 0) == 0 && !DeviceName(full.substr(4)).empty()) {
    r->full = full;
    r->key = UpperCase(full);
    r->name = full.substr(4);
    r->exists = true;
    r->device = SameText(r->name, "NUL") ? Resolved::Device::kNull : Resolved::Device::kAbsent;
    return Status::kOk;
  }
  if (!SplitDrivePath(full, &drive, &parts, &trailing)) {
    return RecordError(Status::kNotFound, kErrorPathNotFound);  // no network in the simulation
  }
  for (const std::string& p : parts) {
    if (!IsValidComponent(p)) return Record(Status::kInvalidName);
  }
  fs::path host = machine_ / (std::string("drive_") + LowerChar1252(drive));
  std::error_code ec;
  if (!fs::is_directory(host, ec)) return RecordError(Status::kNotFound, kErrorPathNotFound);
  if (MediumOut(drive)) return RecordError(Status::kNotFound, kErrorNotReady);
  r->drive = drive;
  // The full path is spelt with the names the entries have (whichever form named them), so that
  // every spelling of one entry has one key.
  r->full = std::string(1, drive) + ":\\";
  if (parts.empty()) {
    r->key = r->full;
    r->host = host;
    r->exists = r->is_dir = r->is_root = true;
    return Status::kOk;
  }
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    fs::path next;
    fs::file_type next_type = fs::file_type::none;
    if (!FindChild(host, parts[i], &next, &next_type) || !IsFolderEntry(next, next_type)) {
      return RecordError(Status::kNotFound, kErrorPathNotFound);
    }
    host = next;
    r->full += NameFromHost(host.filename()) + "\\";
  }
  r->name = parts.back();
  fs::path found;
  fs::file_type found_type = fs::file_type::none;
  if (FindChild(host, parts.back(), &found, &found_type)) {
    r->host = found;
    r->exists = true;
    r->is_dir = IsFolderEntry(found, found_type);
    r->full += NameFromHost(found.filename());
    // "file.txt\" names a folder that is not there.
    if (trailing && !r->is_dir) return Record(Status::kNotFound);
  } else {
    r->host = host / HostName(parts.back());
    r->exists = false;
    r->full += parts.back();
  }
  r->key = UpperCase(r->full);
  r->trailing_separator = trailing;
  return Status::kOk;
}

std::string SimFileSystem::CurrentKey() {
  std::string cur;
  {
    std::lock_guard<std::mutex> lock(mu_);
    cur = current_;
  }
  Resolved r;
  return Resolve(cur, &r) == Status::kOk ? r.key : UpperCase(cur);
}

fs::path SimFileSystem::HostPath(const std::string& windows_path) {
  Resolved r;
  if (Resolve(windows_path, &r) != Status::kOk || r.device != Resolved::Device::kNone) {
    return fs::path();
  }
  return r.host;
}

std::string SimFileSystem::ReachFolder(const std::string& utf8_path) {
  const std::string lost = Cp1252FromUtf8(utf8_path);
  if (utf8_path.size() < 3 || utf8_path[1] != ':' || utf8_path[2] != '\\') return lost;
  fs::path host = machine_ / (std::string("drive_") + LowerChar1252(lost[0]));
  std::string out = lost.substr(0, 2);
  std::error_code ec;
  size_t pos = 3;
  while (pos <= utf8_path.size()) {
    size_t end = std::min(utf8_path.find('\\', pos), utf8_path.size());
    const std::string part = utf8_path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    const std::string part1252 = Cp1252FromUtf8(part);
    const bool spelt = Utf8From1252(part1252) == part;
    if (spelt && !IsValidComponent(part1252)) return lost;
    fs::path next;
    if (!spelt) {
      next = host / fs::path(part);  // the host keeps the name as written
    } else if (!FindChild(host, part1252, &next)) {
      next = host / HostName(part1252);
    }
    fs::create_directory(next, ec);
    if (!fs::is_directory(next, ec)) return lost;
    std::string name = NameFromHost(next.filename());
    if (!spelt) {
      // Its short name among the folder's entries, as a path part resolves it.
      std::vector<fs::path> paths;
      std::vector<std::string> names;
      for (fs::directory_iterator it(host, ec), stop; !ec && it != stop; it.increment(ec)) {
        paths.push_back(it->path());
        names.push_back(NameFromHost(it->path().filename()));
      }
      std::vector<std::string> aliases = ShortNames(names);
      name.clear();
      for (size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].filename() == next.filename()) name = aliases[i];
      }
      if (name.empty()) return lost;
    }
    out += "\\" + name;
    host = next;
  }
  if (utf8_path.back() == '\\') out += '\\';
  return out;
}

uint32_t SimFileSystem::AttributesOf(const Resolved& r) {
  auto it = attributes_.find(r.key);
  uint32_t bits = it != attributes_.end() ? it->second : (r.is_dir ? 0 : kFileDefault);
  if (r.is_dir) return bits | attr::kDirectory;
  return bits == 0 ? attr::kNormal : bits;
}

void SimFileSystem::StoreAttributes(const std::string& key, uint32_t bits, bool is_dir) {
  bits &= kStoredBits;
  if (bits == (is_dir ? 0 : kFileDefault)) {
    attributes_.erase(key);
  } else {
    attributes_[key] = bits;
  }
  SaveAttributes();
}

void SimFileSystem::MoveAttributes(const std::string& from_key, const std::string& to_key) {
  std::map<std::string, uint32_t> moved;
  std::string prefix = from_key + "\\";
  for (auto it = attributes_.begin(); it != attributes_.end();) {
    if (it->first == from_key) {
      moved[to_key] = it->second;
      it = attributes_.erase(it);
    } else if (it->first.compare(0, prefix.size(), prefix) == 0) {
      moved[to_key + it->first.substr(from_key.size())] = it->second;
      it = attributes_.erase(it);
    } else {
      ++it;
    }
  }
  attributes_.erase(to_key);
  for (auto& [k, v] : moved) attributes_[k] = v;
  SaveAttributes();
}

void SimFileSystem::DropAttributes(const std::string& key) {
  if (attributes_.erase(key) > 0) SaveAttributes();
}

void SimFileSystem::SaveAttributes() {
  std::string text;
  char head[16];
  for (const auto& [key, bits] : attributes_) {
    std::snprintf(head, sizeof(head), "%08X ", bits);
    text += head + Utf8From1252(key) + "\n";
  }
  WriteHostFile(machine_ / "attributes.txt", text);
}

std::unique_ptr<File> SimFileSystem::Open(const std::string& path, OpenMode mode,
                                          Status* status) {
  *status = Status::kOk;
  Resolved r;
  if ((*status = Resolve(path, &r)) != Status::kOk) return nullptr;
  if (r.device == Resolved::Device::kAbsent) {
    *status = RecordError(Status::kNotFound, kErrorFileNotFound);
    return nullptr;
  }
  if (r.device == Resolved::Device::kNull) {
    // Opened in any way but as a temporary file that goes on close; no sharing rules apply.
    if (mode == OpenMode::kExclusiveTemp) {
      *status = DeviceRefuses();
      return nullptr;
    }
    return std::make_unique<NullFile>();
  }
  HandleTable::Handle h{0, false, false, true, false, false};
  int flags = 0;
  bool must_exist = false, must_not_exist = false;
  switch (mode) {
    case OpenMode::kRead: h.read = true; flags = O_RDONLY; must_exist = true; break;
    case OpenMode::kCreate: h.write = true; flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::kCreateNew:
      h.write = true; flags = O_WRONLY | O_CREAT | O_EXCL; must_not_exist = true; break;
    case OpenMode::kAppend: h.write = true; flags = O_WRONLY | O_CREAT; break;
    case OpenMode::kReadWrite: h.read = h.write = true; flags = O_RDWR; must_exist = true; break;
    case OpenMode::kExclusiveTemp:
      h.read = h.write = true;
      h.share_read = false;
      h.delete_on_close = true;
      flags = O_RDWR | O_CREAT;
      break;
  }
  if (r.is_dir || r.is_root) {
    *status = Record(Status::kAccessDenied);
    return nullptr;
  }
  if (r.trailing_separator) {  // "name\" cannot be a file
    *status = Record(Status::kInvalidName);
    return nullptr;
  }
  if (must_exist && !r.exists) {
    *status = Record(Status::kNotFound);
    return nullptr;
  }
  if (must_not_exist && r.exists) {
    *status = RecordError(Status::kAlreadyExists, kErrorFileExists);
    return nullptr;
  }
  bool created = !r.exists;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if ((h.write || created) && !MayChange(r.key)) {
      *status = Record(Status::kAccessDenied);
      return nullptr;
    }
    if (r.exists && h.write && IsReadOnly(r)) {
      *status = Record(Status::kAccessDenied);
      return nullptr;
    }
    // CREATE_ALWAYS with normal attributes refuses to replace a hidden or system file.
    if (r.exists && mode == OpenMode::kCreate &&
        (AttributesOf(r) & (attr::kHidden | attr::kSystem)) != 0) {
      *status = Record(Status::kAccessDenied);
      return nullptr;
    }
  }
  h.id = handles_->NextId();
  if (!handles_->Add(r.key, h)) {
    *status = RecordError(Status::kAccessDenied, kErrorSharingViolation);
    return nullptr;
  }
  if (h.write) handles_->DetachViews(r.key);
  int fd = ::open(r.host.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    *status = Record(FromErrno(errno));
    handles_->Remove(r.key, h.id);
    return nullptr;
  }
  if (mode == OpenMode::kAppend) ::lseek(fd, 0, SEEK_END);
  if (created) {
    std::lock_guard<std::mutex> lock(mu_);
    if (mode == OpenMode::kExclusiveTemp) {
      StoreAttributes(r.key, attr::kArchive | attr::kTemporary, false);
    } else {
      DropAttributes(r.key);
    }
    NoteCreated(r.key);
  }
  return std::make_unique<SimFile>(fd, handles_, r.key, h.id, r.host);
}

Status SimFileSystem::GetAttributes(const std::string& path, uint32_t* attributes) {
  *attributes = attr::kInvalid;
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) {
    *attributes = attr::kArchive;
    return Status::kOk;
  }
  if (!r.exists) return Record(Status::kNotFound);
  std::lock_guard<std::mutex> lock(mu_);
  *attributes = AttributesOf(r);
  std::error_code ec;
  if (fs::is_symlink(r.host, ec)) *attributes |= attr::kReparsePoint;
  return Status::kOk;
}

Status SimFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return Status::kOk;  // a device keeps no bits
  if (!r.exists) return Record(Status::kNotFound);
  std::lock_guard<std::mutex> lock(mu_);
  if (!MayChange(r.key)) return Record(Status::kAccessDenied);
  StoreAttributes(r.key, attributes, r.is_dir);
  return Status::kOk;
}

Status SimFileSystem::GetFileSize(const std::string& path, uint64_t* size) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!r.exists) return Record(Status::kNotFound);
  std::error_code ec;
  *size = r.is_dir ? 0 : static_cast<uint64_t>(fs::file_size(r.host, ec));
  if (ec) return Record(Status::kFailed);
  return Status::kOk;
}

Status SimFileSystem::GetLastWriteTime(const std::string& path, int64_t* filetime) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!r.exists) return Record(Status::kNotFound);
  *filetime = FileTimeOf(r.host);
  return Status::kOk;
}

Status SimFileSystem::CreateDirectory(const std::string& path) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  // The null device takes the request and makes nothing, as the system reports it; the others
  // refuse.
  if (r.device == Resolved::Device::kNull) return Status::kOk;
  if (r.device == Resolved::Device::kAbsent) return DeviceRefuses();
  if (r.exists) return Record(Status::kAlreadyExists);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!MayChange(r.key)) return Record(Status::kAccessDenied);
  }
  std::error_code ec;
  if (!fs::create_directory(r.host, ec)) return Record(ec ? FromErrno(ec.value()) : Status::kFailed);
  std::lock_guard<std::mutex> lock(mu_);
  DropAttributes(r.key);
  NoteCreated(r.key);
  return Status::kOk;
}

Status SimFileSystem::RemoveDirectory(const std::string& path) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!r.exists) return Record(Status::kNotFound);
  if (!r.is_dir) return RecordError(Status::kInvalidName, kErrorDirectory);
  if (r.is_root) return Record(Status::kAccessDenied);
  std::error_code ec;
  // A link goes itself, whatever the folder it points to holds.
  if (!fs::is_symlink(r.host, ec) && fs::directory_iterator(r.host, ec) != fs::directory_iterator()) {
    return Record(Status::kNotEmpty);
  }
  std::string cur_key = CurrentKey();
  std::lock_guard<std::mutex> lock(mu_);
  // The process holds its current folder open, so neither it nor a folder above it can go.
  if (cur_key == r.key || cur_key.compare(0, r.key.size() + 1, r.key + "\\") == 0) {
    return RecordError(Status::kAccessDenied, kErrorSharingViolation);
  }
  if (IsReadOnly(r) || !MayChange(r.key)) return Record(Status::kAccessDenied);
  if (!fs::remove(r.host, ec)) return Record(ec ? FromErrno(ec.value()) : Status::kFailed);
  DropAttributes(r.key);
  NoteRemoved(r.key);
  return Status::kOk;
}

Status SimFileSystem::DeleteFile(const std::string& path) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!r.exists) return Record(Status::kNotFound);
  if (r.is_dir) return Record(Status::kAccessDenied);
  if (handles_->IsOpen(r.key)) return RecordError(Status::kAccessDenied, kErrorSharingViolation);
  std::lock_guard<std::mutex> lock(mu_);
  if (IsReadOnly(r) || !MayChange(r.key)) return Record(Status::kAccessDenied);
  std::error_code ec;
  if (!fs::remove(r.host, ec)) return Record(ec ? FromErrno(ec.value()) : Status::kFailed);
  DropAttributes(r.key);
  NoteRemoved(r.key);
  return Status::kOk;
}

Status SimFileSystem::CopyFile(const std::string& from, const std::string& to,
                               bool fail_if_exists) {
  Resolved src, dst;
  Status s = Resolve(from, &src);
  if (s != Status::kOk) return s;
  if (src.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!src.exists) return Record(Status::kNotFound);
  if (src.is_dir) return Record(Status::kAccessDenied);
  if ((s = Resolve(to, &dst)) != Status::kOk) return s;
  // A copy to the null device reads nothing and keeps nothing.
  if (dst.device == Resolved::Device::kNull) return Status::kOk;
  if (dst.device == Resolved::Device::kAbsent) {
    return RecordError(Status::kNotFound, kErrorFileNotFound);
  }
  if (dst.key == src.key) return RecordError(Status::kAccessDenied, kErrorSharingViolation);
  if (dst.exists) {
    if (fail_if_exists) return RecordError(Status::kAlreadyExists, kErrorFileExists);
    if (dst.is_dir) return Record(Status::kAccessDenied);
    std::lock_guard<std::mutex> lock(mu_);
    // CopyFile will not replace a read-only or hidden file.
    if (AttributesOf(dst) & (attr::kReadOnly | attr::kHidden)) return Record(Status::kAccessDenied);
  }
  if (handles_->IsOpen(dst.key)) return RecordError(Status::kAccessDenied, kErrorSharingViolation);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!MayChange(dst.key)) return Record(Status::kAccessDenied);
  }
  handles_->DetachViews(dst.key);
  std::error_code ec;
  fs::copy_file(src.host, dst.host, fs::copy_options::overwrite_existing, ec);
  if (ec) return Record(FromErrno(ec.value()));
  // The copy keeps the last-write time of its source.
  auto when = fs::last_write_time(src.host, ec);
  if (!ec) fs::last_write_time(dst.host, when, ec);
  std::lock_guard<std::mutex> lock(mu_);
  // The copy carries the attributes of its source.
  uint32_t bits = AttributesOf(src);
  StoreAttributes(dst.key, bits == attr::kNormal ? 0 : bits, false);
  if (!dst.exists) NoteCreated(dst.key);
  return Status::kOk;
}

Status SimFileSystem::MoveFile(const std::string& from, const std::string& to, bool replace) {
  Resolved src, dst;
  Status s = Resolve(from, &src);
  if (s != Status::kOk) return s;
  if (src.device != Resolved::Device::kNone) return DeviceRefuses();
  if (!src.exists) return Record(Status::kNotFound);
  if (src.is_root) return Record(Status::kAccessDenied);
  if ((s = Resolve(to, &dst)) != Status::kOk) return s;
  if (dst.device != Resolved::Device::kNone) return DeviceRefuses();
  if (handles_->IsOpenBelow(src.key)) {
    return RecordError(Status::kAccessDenied, kErrorSharingViolation);
  }
  std::error_code ec;
  if (dst.key == src.key) {
    // Only the letter case changes: rename the entry in place.
    fs::path target = src.host.parent_path() / HostName(dst.name);
    if (target == src.host) return Status::kOk;
    fs::path step = src.host;
    step += ".case";
    fs::rename(src.host, step, ec);
    if (!ec) fs::rename(step, target, ec);
    return ec ? Record(FromErrno(ec.value())) : Status::kOk;
  }
  if (src.is_dir && dst.key.compare(0, src.key.size() + 1, src.key + "\\") == 0) {
    return RecordError(Status::kFailed, kErrorSharingViolation);  // into its own subtree
  }
  if (dst.exists) {
    if (!replace) return Record(Status::kAlreadyExists);
    // Replacing works for a file by a file only.
    if (dst.is_dir || src.is_dir) return Record(Status::kAccessDenied);
    if (handles_->IsOpen(dst.key)) {
      return RecordError(Status::kAccessDenied, kErrorSharingViolation);
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (IsReadOnly(dst)) return Record(Status::kAccessDenied);
  }
  std::string cur_key = src.is_dir ? CurrentKey() : std::string();
  std::lock_guard<std::mutex> lock(mu_);
  if (!MayChange(src.key) || !MayChange(dst.key)) return Record(Status::kAccessDenied);
  if (src.is_dir) {
    // The process's current folder, or a folder above it, is held open.
    if (cur_key == src.key || cur_key.compare(0, src.key.size() + 1, src.key + "\\") == 0) {
      return RecordError(Status::kAccessDenied, kErrorSharingViolation);
    }
  }
  fs::rename(src.host, dst.host, ec);
  if (ec) return Record(FromErrno(ec.value()));
  MoveAttributes(src.key, dst.key);
  if (dst.exists) NoteRemoved(dst.key);
  MoveSecurity(src.key, dst.key);
  return Status::kOk;
}

Status SimFileSystem::List(const std::string& folder, const std::string& pattern,
                           std::vector<FileEntry>* entries) {
  entries->clear();
  if (pattern.find_first_of("\\/") != std::string::npos) {
    return RecordError(Status::kInvalidName, kErrorInvalidName);
  }
  Resolved r;
  Status s = Resolve(folder.empty() ? std::string(".") : folder, &r);
  if (s != Status::kOk) return s;
  if (!r.exists || r.device != Resolved::Device::kNone) {
    return RecordError(Status::kNotFound, kErrorPathNotFound);
  }
  if (!r.is_dir) return RecordError(Status::kInvalidName, kErrorDirectory);
  std::error_code ec;
  std::vector<fs::directory_entry> found;
  std::vector<std::string> names;
  for (fs::directory_iterator it(r.host, ec), end; !ec && it != end; it.increment(ec)) {
    found.push_back(*it);
    names.push_back(NameFromHost(it->path().filename()));
  }
  // An entry matches by its long name or by its short name; the short names are worked out only
  // when a long name that has one fails to match.
  std::vector<std::string> aliases;
  std::lock_guard<std::mutex> lock(mu_);
  for (size_t i = 0; i < found.size(); ++i) {
    const std::string& name = names[i];
    if (!MatchesPattern(name, pattern)) {
      if (IsShortName(name)) continue;
      if (aliases.empty()) aliases = ShortNames(names);
      if (!MatchesPattern(aliases[i], pattern)) continue;
    }
    const fs::directory_entry& entry = found[i];
    Resolved child;
    child.full = r.full + (r.is_root ? "" : "\\") + name;
    child.key = UpperCase(child.full);
    child.host = entry.path();
    child.exists = true;
    child.is_dir = entry.is_directory(ec);
    FileEntry e;
    e.name = name;
    // A name with letters the code page lacks is reported by its short name, which opens it.
    if (PathHasLostCharacters(name)) {
      if (aliases.empty()) aliases = ShortNames(names);
      e.name = aliases[i];
    }
    e.attributes = AttributesOf(child);
    // A host symbolic link stands for a junction or link of the machine.
    if (entry.is_symlink(ec)) e.attributes |= attr::kReparsePoint;
    e.size = child.is_dir ? 0 : static_cast<uint64_t>(entry.file_size(ec));
    e.last_write = FileTimeOf(child.host);
    entries->push_back(std::move(e));
  }
  // NTFS lists a folder in the order of its upper-cased names.
  std::sort(entries->begin(), entries->end(), [](const FileEntry& a, const FileEntry& b) {
    return UpperCase(a.name) < UpperCase(b.name);
  });
  return Status::kOk;
}

std::string SimFileSystem::GetCurrentDirectory() {
  std::lock_guard<std::mutex> lock(mu_);
  return current_;
}

Status SimFileSystem::SetCurrentDirectory(const std::string& path) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (!r.exists) return Record(Status::kNotFound);
  if (!r.is_dir) return RecordError(Status::kInvalidName, kErrorDirectory);  // a device too
  std::lock_guard<std::mutex> lock(mu_);
  // The folder as named: a redirected System32 stays System32 here and is redirected on use.
  current_ = FullPath(path, current_);
  if (current_.size() > 3 && current_.back() == '\\') current_.pop_back();
  return Status::kOk;
}

std::string SimFileSystem::GetFullPath(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  return FullPath(path, current_);
}

Status SimFileSystem::GetDiskSpace(const std::string& path, uint64_t* free_bytes,
                                   uint64_t* total_bytes) {
  Resolved r;
  Status s = Resolve(path, &r);
  if (s != Status::kOk) return s;
  if (r.device != Resolved::Device::kNone) return RecordError(Status::kFailed, kErrorInvalidFunction);
  if (!r.exists) return Record(Status::kNotFound);
  if (!r.is_dir) return RecordError(Status::kInvalidName, kErrorDirectory);  // wants a folder
  auto it = disks_.find(r.drive);
  DiskSize d = it != disks_.end() ? it->second : DiskSize();
  *free_bytes = d.free;
  *total_bytes = d.total;
  return Status::kOk;
}

namespace {

// File systems whose redirection the current thread switched off.
thread_local std::vector<const void*> redirection_off;

// True when path is folder or lies below it; *rest receives what follows the folder.
bool Below(const std::string& path, const std::string& folder, std::string* rest) {
  if (path.size() < folder.size() || !SameText(std::string_view(path).substr(0, folder.size()), folder)) {
    return false;
  }
  if (path.size() == folder.size()) {
    rest->clear();
    return true;
  }
  if (path[folder.size()] != '\\') return false;
  *rest = path.substr(folder.size());
  return true;
}

}  // namespace

bool SimFileSystem::RedirectionOff() const {
  return std::find(redirection_off.begin(), redirection_off.end(), this) != redirection_off.end();
}

std::string SimFileSystem::Redirect(const std::string& full) const {
  if (!redirected_process_ || RedirectionOff()) return full;
  std::string rest;
  if (Below(full, windows_folder_ + "\\Sysnative", &rest)) {
    return windows_folder_ + "\\System32" + rest;
  }
  if (!Below(full, windows_folder_ + "\\System32", &rest)) return full;
  // These folders are the same for both kinds of process.
  for (const char* shared : {"\\catroot", "\\catroot2", "\\DriverStore", "\\drivers\\etc",
                             "\\LogFiles", "\\spool"}) {
    std::string below;
    if (Below(rest, shared, &below)) return full;
  }
  return windows_folder_ + "\\SysWOW64" + rest;
}

bool SimFileSystem::DisableRedirection(uint64_t* old_value) {
  if (!redirected_process_) {
    RecordError(Status::kFailed, kErrorInvalidFunction);
    return false;
  }
  *old_value = RedirectionOff() ? 1 : 0;
  if (!RedirectionOff()) redirection_off.push_back(this);
  return true;
}

bool SimFileSystem::RevertRedirection(uint64_t old_value) {
  if (!redirected_process_) {
    RecordError(Status::kFailed, kErrorInvalidFunction);
    return false;
  }
  auto it = std::find(redirection_off.begin(), redirection_off.end(), this);
  if (it != redirection_off.end()) redirection_off.erase(it);
  if (old_value != 0) redirection_off.push_back(this);
  return true;
}

void SimFileSystem::SetClock(std::function<uint64_t()> milliseconds) {
  std::lock_guard<std::mutex> lock(mu_);
  clock_ = std::move(milliseconds);
  clock_start_ = clock_ ? clock_() : 0;
}

bool SimFileSystem::MediumOut(char drive) {
  auto it = drives_.find(UpperChar1252(drive));
  if (it == drives_.end() || !it->second.eject_after_ms) return false;
  std::function<uint64_t()> clock;
  uint64_t start = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    clock = clock_;
    start = clock_start_;
  }
  return clock && clock() - start >= *it->second.eject_after_ms;
}

uint32_t SimFileSystem::DriveType(const std::string& root) {
  if (root.size() < 2 || root[1] != ':') return drive::kNoRootDir;
  const char letter = UpperChar1252(root[0]);
  std::error_code ec;
  if (!fs::is_directory(machine_ / (std::string("drive_") + LowerChar1252(letter)), ec)) {
    return drive::kNoRootDir;
  }
  auto it = drives_.find(letter);
  return it == drives_.end() ? drive::kFixed : it->second.type;
}

}  // namespace corvane::platform::sim
