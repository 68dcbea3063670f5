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

}  // namespace corvane::platform
