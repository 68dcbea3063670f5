// The host file system of the Windows build: attributes read without following reparse points,
// CREATE_NEW files, MoveFileExW replacing the target entry itself.
#include "platform/host_files.h"

#include <windows.h>

namespace corvane::platform {
namespace {

class Win32NewFile : public HostNewFile {
 public:
  explicit Win32NewFile(HANDLE h) : h_(h) {}
  ~Win32NewFile() override { Close(); }

  bool Write(const void* data, size_t n) override {
    const char* p = static_cast<const char*>(data);
    while (n != 0) {
      if (h_ == INVALID_HANDLE_VALUE) return false;
      DWORD chunk = n > (DWORD{1} << 30) ? (DWORD{1} << 30) : static_cast<DWORD>(n);
      DWORD written = 0;
      if (!WriteFile(h_, p, chunk, &written, nullptr) || written == 0) return false;
      p += written;
      n -= written;
    }
    return true;
  }

  bool Close() override {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    BOOL ok = CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok != 0;
  }

 private:
  HANDLE h_;
};

}  // namespace

HostKind HostKindOf(const std::filesystem::path& p) {
  DWORD a = GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? HostKind::kMissing
                                                                  : HostKind::kOther;
  }
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return HostKind::kLink;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return HostKind::kFolder;
  if (a & FILE_ATTRIBUTE_DEVICE) return HostKind::kOther;
  return HostKind::kFile;
}

std::unique_ptr<HostNewFile> HostNewFile::Create(const std::filesystem::path& p) {
  HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32NewFile>(h);
}

bool ReplaceHostFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (GetLastError() != ERROR_ACCESS_DENIED) return false;
  // A read-only file is not replaced: clear the mark, but never on a reparse point (the call
  // would reach what it points to).
  DWORD a = GetFileAttributesW(to.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT) ||
      (a & FILE_ATTRIBUTE_DIRECTORY) || !(a & FILE_ATTRIBUTE_READONLY)) {
    return false;
  }
  if (!SetFileAttributesW(to.c_str(), a & ~DWORD{FILE_ATTRIBUTE_READONLY})) return false;
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  SetFileAttributesW(to.c_str(), a);
  return false;
}

bool SetHostAttributes(const std::filesystem::path& p, uint32_t windows_attributes) {
  DWORD a = GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  DWORD bits = windows_attributes & kKept;
  if (a & FILE_ATTRIBUTE_DIRECTORY) {
    bits |= FILE_ATTRIBUTE_DIRECTORY;
  } else if (bits == 0) {
    bits = FILE_ATTRIBUTE_NORMAL;
  }
  return SetFileAttributesW(p.c_str(), bits) != 0;
}

bool GetHostAttributes(const std::filesystem::path& p, uint32_t* windows_attributes) {
  DWORD a = GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return false;
  *windows_attributes = a;
  return true;
}

bool GetHostWriteTime(const std::filesystem::path& p, uint64_t* filetime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &data)) return false;
  *filetime = (uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) |
              data.ftLastWriteTime.dwLowDateTime;
  return true;
}

bool SetHostWriteTime(const std::filesystem::path& p, uint64_t filetime) {
  // Opened as the entry itself (a reparse point is opened, not followed, and then refused).
  HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  bool ok = GetFileInformationByHandle(h, &info) &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  if (ok) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(filetime);
    t.dwHighDateTime = static_cast<DWORD>(filetime >> 32);
    ok = SetFileTime(h, nullptr, nullptr, &t) != 0;
  }
  CloseHandle(h);
  return ok;
}

}  // namespace corvane::platform
