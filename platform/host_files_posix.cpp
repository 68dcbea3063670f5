// The host file system of a POSIX build: lstat, O_EXCL | O_NOFOLLOW and rename(2), which
// replaces a link rather than its target and needs no write permission on the file replaced.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/host_files.h"

namespace corvane::platform {
namespace {

class PosixNewFile : public HostNewFile {
 public:
  explicit PosixNewFile(int fd) : fd_(fd) {}
  ~PosixNewFile() override { Close(); }

  bool Write(const void* data, size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n != 0) {
      if (fd_ < 0) return false;
      ssize_t k = ::write(fd_, p, n);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }

  bool Close() override {
    if (fd_ < 0) return false;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

 private:
  int fd_;
};

}  // namespace

HostKind HostKindOf(const std::filesystem::path& p) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT ? HostKind::kMissing : HostKind::kOther;
  if (S_ISLNK(st.st_mode)) return HostKind::kLink;
  if (S_ISDIR(st.st_mode)) return HostKind::kFolder;
  if (S_ISREG(st.st_mode)) return HostKind::kFile;
  return HostKind::kOther;
}

std::unique_ptr<HostNewFile> HostNewFile::Create(const std::filesystem::path& p) {
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  return std::make_unique<PosixNewFile>(fd);
}

bool ReplaceHostFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SetHostAttributes(const std::filesystem::path& p, uint32_t windows_attributes) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode);
  const mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;
  mode_t mode = st.st_mode & 07777;
  // Read-only takes every write permission away; without it the owner may write again.
  mode = (windows_attributes & 0x1) ? (mode & ~write_bits) : (mode | S_IWUSR);
  if (mode == (st.st_mode & 07777)) return true;
  // The mode is set on what lstat saw: fchmodat with AT_SYMLINK_NOFOLLOW refuses links, and the
  // check above refused them already.
  return ::fchmodat(AT_FDCWD, p.c_str(), mode, 0) == 0;
}

bool GetHostAttributes(const std::filesystem::path& p, uint32_t* windows_attributes) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return false;
  uint32_t bits = 0;
  if (S_ISDIR(st.st_mode)) bits |= 0x10;
  if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)) bits |= 0x1;
  if (S_ISLNK(st.st_mode)) bits |= 0x400;
  *windows_attributes = bits == 0 ? 0x80 : bits;
  return true;
}

bool GetHostWriteTime(const std::filesystem::path& p, uint64_t* filetime) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return false;
  constexpr int64_t kEpochDelta = 116444736000000000LL;
  *filetime = static_cast<uint64_t>(static_cast<int64_t>(st.st_mtim.tv_sec) * 10000000 +
                                    st.st_mtim.tv_nsec / 100 + kEpochDelta);
  return true;
}

bool SetHostWriteTime(const std::filesystem::path& p, uint64_t filetime) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  // FILETIME counts 100 ns from 1601-01-01; the Unix epoch is 11644473600 s later.
  constexpr int64_t kEpochDelta = 116444736000000000LL;
  const int64_t ticks = static_cast<int64_t>(filetime) - kEpochDelta;
  int64_t seconds = ticks / 10000000;
  int64_t rest = ticks % 10000000;
  if (rest < 0) {
    rest += 10000000;
    --seconds;
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays
  times[1].tv_sec = static_cast<time_t>(seconds);
  times[1].tv_nsec = static_cast<long>(rest * 100);
  return ::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace corvane::platform
