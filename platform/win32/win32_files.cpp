#include "platform/win32/win32_files.h"

#include "platform/text.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {

int64_t FileTimeValue(const FILETIME& ft) {
  return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

// A read-only view of a file mapping, unmapped with the view (the mapping object itself is
// closed at once: the view keeps it).
class MappedView : public FileView {
 public:
  MappedView(void* base, size_t skip, size_t length) : base_(base) {
    bytes_ = std::string_view(static_cast<const char*>(base) + skip, length);
  }
  ~MappedView() override { UnmapViewOfFile(base_); }

 private:
  void* base_;
};

class Win32File : public File {
 public:
  explicit Win32File(HANDLE h) : handle_(h) {}
  ~Win32File() override { CloseHandle(handle_); }

  Status Read(void* buffer, size_t n, size_t* read) override {
    *read = 0;
    char* out = static_cast<char*>(buffer);
    while (n > 0) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD got = 0;
      if (!::ReadFile(handle_, out, chunk, &got, nullptr)) return FailLast();
      if (got == 0) break;
      *read += got;
      out += got;
      n -= got;
    }
    return Status::kOk;
  }

  Status Write(const void* data, size_t n) override {
    const char* in = static_cast<const char*>(data);
    while (n > 0) {
      DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
      DWORD done = 0;
      if (!::WriteFile(handle_, in, chunk, &done, nullptr)) return FailLast();
      if (done == 0) return Fail(ERROR_DISK_FULL);
      in += done;
      n -= done;
    }
    return Status::kOk;
  }

  Status Seek(uint64_t offset) override {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, li, nullptr, FILE_BEGIN)) return FailLast();
    return Status::kOk;
  }

  Status Size(uint64_t* size) override {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(handle_, &li)) return FailLast();
    *size = static_cast<uint64_t>(li.QuadPart);
    return Status::kOk;
  }

  Status Flush() override {
    if (!FlushFileBuffers(handle_)) return FailLast();
    return Status::kOk;
  }

  Status Truncate() override {
    if (!SetEndOfFile(handle_)) return FailLast();
    return Status::kOk;
  }

  std::shared_ptr<const FileView> ViewFrom(uint64_t offset, Status* status) override {
    uint64_t size = 0;
    if ((*status = Size(&size)) != Status::kOk) return nullptr;
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const uint64_t granularity = info.dwAllocationGranularity ? info.dwAllocationGranularity : 65536;
    const uint64_t start = offset - offset % granularity;
    if (offset < size && size - start <= SIZE_MAX) {
      HANDLE mapping = CreateFileMappingA(handle_, nullptr, PAGE_READONLY, 0, 0, nullptr);
      if (mapping) {
        void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                   static_cast<DWORD>(start & 0xFFFFFFFFu),
                                   static_cast<SIZE_T>(size - start));
        CloseHandle(mapping);
        if (base) {
          return std::make_shared<MappedView>(base, static_cast<size_t>(offset - start),
                                              static_cast<size_t>(size - offset));
        }
      }
    }
    // Nothing to map (an empty rest), or a file that cannot be mapped: read it.
    return File::ViewFrom(offset, status);
  }

 private:
  HANDLE handle_;
};

std::string JoinPattern(const std::string& folder, const std::string& pattern) {
  if (folder.empty()) return pattern;
  char last = folder.back();
  if (last == '\\' || last == '/' || last == ':') return folder + pattern;
  return folder + "\\" + pattern;
}

}  // namespace

std::unique_ptr<File> Win32FileSystem::Open(const std::string& path, OpenMode mode,
                                            Status* status) {
  DWORD access = 0, share = 0, disposition = 0, flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::kRead:
      access = GENERIC_READ;
      share = FILE_SHARE_READ;
      disposition = OPEN_EXISTING;
      break;
    case OpenMode::kCreate:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::kCreateNew:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_NEW;
      break;
    case OpenMode::kAppend:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = OPEN_ALWAYS;
      break;
    case OpenMode::kReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = OPEN_EXISTING;
      break;
    case OpenMode::kExclusiveTemp:
      access = GENERIC_READ | GENERIC_WRITE | DELETE;
      share = 0;
      disposition = OPEN_ALWAYS;
      flags = FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
      break;
  }
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *status = FailLast();
    return nullptr;
  }
  if (mode == OpenMode::kAppend) {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) {
      *status = FailLast();
      CloseHandle(h);
      return nullptr;
    }
  }
  *status = Status::kOk;
  return std::make_unique<Win32File>(h);
}

Status Win32FileSystem::GetAttributes(const std::string& path, uint32_t* attributes) {
  DWORD a = GetFileAttributesA(path.c_str());
  *attributes = a;
  if (a == INVALID_FILE_ATTRIBUTES) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  if (!SetFileAttributesA(path.c_str(), attributes)) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::GetFileSize(const std::string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FailLast();
  *size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
              ? 0
              : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return Status::kOk;
}

Status Win32FileSystem::GetLastWriteTime(const std::string& path, int64_t* filetime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return FailLast();
  *filetime = FileTimeValue(data.ftLastWriteTime);
  return Status::kOk;
}

Status Win32FileSystem::CreateDirectory(const std::string& path) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::RemoveDirectory(const std::string& path) {
  if (!RemoveDirectoryA(path.c_str())) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::DeleteFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::CopyFile(const std::string& from, const std::string& to,
                                 bool fail_if_exists) {
  if (!CopyFileA(from.c_str(), to.c_str(), fail_if_exists ? TRUE : FALSE)) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::MoveFile(const std::string& from, const std::string& to, bool replace) {
  DWORD flags = MOVEFILE_COPY_ALLOWED | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExA(from.c_str(), to.c_str(), flags)) return FailLast();
  return Status::kOk;
}

Status Win32FileSystem::List(const std::string& folder, const std::string& pattern,
                             std::vector<FileEntry>* entries) {
  entries->clear();
  if (pattern.find_first_of("\\/") != std::string::npos) return Fail(ERROR_INVALID_NAME);
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(JoinPattern(folder, pattern).c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    // No match in an existing folder is an empty listing, not a failure.
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return Status::kOk;
    return Fail(e);
  }
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    FileEntry entry;
    entry.name = name;
    // '?' stands for a letter the code page lacks: such a name opens nothing, its short one does.
    if (PathHasLostCharacters(name) && data.cAlternateFileName[0] != '\0') {
      entry.name = data.cAlternateFileName;
    }
    entry.attributes = data.dwFileAttributes;
    entry.size = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.last_write = FileTimeValue(data.ftLastWriteTime);
    entries->push_back(std::move(entry));
  } while (FindNextFileA(h, &data));
  DWORD e = GetLastError();
  FindClose(h);
  if (e != ERROR_NO_MORE_FILES) return Fail(e);
  return Status::kOk;
}

std::string Win32FileSystem::GetCurrentDirectory() {
  DWORD n = GetCurrentDirectoryA(0, nullptr);
  if (n == 0) return std::string();
  std::string buf(n, '\0');
  n = GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
  buf.resize(n < buf.size() ? n : buf.size());
  return buf;
}

Status Win32FileSystem::SetCurrentDirectory(const std::string& path) {
  if (!SetCurrentDirectoryA(path.c_str())) return FailLast();
  return Status::kOk;
}

std::string Win32FileSystem::GetFullPath(const std::string& path) {
  DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return std::string();
  std::string buf(n, '\0');
  n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buf.size()), buf.data(), nullptr);
  buf.resize(n < buf.size() ? n : buf.size());
  return buf;
}

Status Win32FileSystem::GetDiskSpace(const std::string& path, uint64_t* free_bytes,
                                     uint64_t* total_bytes) {
  ULARGE_INTEGER avail, total, free;
  if (!GetDiskFreeSpaceExA(path.c_str(), &avail, &total, &free)) return FailLast();
  *free_bytes = avail.QuadPart;
  *total_bytes = total.QuadPart;
  return Status::kOk;
}

// Both calls are looked up at run time: Windows without WOW64 does not have them.
bool Win32FileSystem::DisableRedirection(uint64_t* old_value) {
  using Fn = BOOL(WINAPI*)(PVOID*);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto fn = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                         GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")))
                   : nullptr;
  if (!fn) {
    Fail(ERROR_PROC_NOT_FOUND);
    return false;
  }
  PVOID old = nullptr;
  if (!fn(&old)) {
    FailLast();
    return false;
  }
  *old_value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(old));
  return true;
}

bool Win32FileSystem::RevertRedirection(uint64_t old_value) {
  using Fn = BOOL(WINAPI*)(PVOID);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto fn = kernel ? reinterpret_cast<Fn>(reinterpret_cast<void*>(
                         GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")))
                   : nullptr;
  if (!fn) {
    Fail(ERROR_PROC_NOT_FOUND);
    return false;
  }
  if (!fn(reinterpret_cast<PVOID>(static_cast<uintptr_t>(old_value)))) {
    FailLast();
    return false;
  }
  return true;
}

uint32_t Win32FileSystem::DriveType(const std::string& root) {
  return GetDriveTypeA(root.c_str());
}

}  // namespace corvane::platform::win32
