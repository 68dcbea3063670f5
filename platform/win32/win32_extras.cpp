// The extra file services on Windows: GetPrivateProfileStringA, the version resource calls,
// GetShortPathNameA, and GetTempFileNameA.
#include <windows.h>

#include <vector>

#include "platform/path_forms.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/version_info.h"
#include "platform/win32/system_library.h"

namespace corvane::platform {

namespace {

Status StatusOfLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_RESOURCE_DATA_NOT_FOUND:
    case ERROR_RESOURCE_TYPE_NOT_FOUND:
    case ERROR_RESOURCE_NAME_NOT_FOUND:
    case ERROR_RESOURCE_LANG_NOT_FOUND:
      return Status::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return Status::kAccessDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Status::kAlreadyExists;
    default:
      return Status::kFailed;
  }
}

class Win32ProfileReader : public ProfileReader {
 public:
  std::string GetString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& fallback,
                        size_t buffer_size) override {
    if (buffer_size == 0) return std::string();
    std::vector<char> buffer(buffer_size, '\0');
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                       static_cast<DWORD>(buffer_size), file.c_str());
    return std::string(buffer.data(), n);
  }
};

// The version resource calls of version.dll, which is loaded from the system folder at first use.
struct VersionApi {
  using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  SizeFn size = win32::SystemProc<SizeFn>("version.dll", "GetFileVersionInfoSizeA");
  InfoFn info = win32::SystemProc<InfoFn>("version.dll", "GetFileVersionInfoA");
  QueryFn query = win32::SystemProc<QueryFn>("version.dll", "VerQueryValueA");
  bool ok() const { return size && info && query; }
};

const VersionApi& Version() {
  static const VersionApi api;
  return api;
}

class Win32VersionReader : public VersionReader {
 public:
  Status GetFileVersion(const std::string& path, FileVersion* version) override {
    *version = FileVersion{};
    const VersionApi& api = Version();
    if (!api.ok()) return Status::kNotFound;
    DWORD handle = 0;
    DWORD size = api.size(path.c_str(), &handle);
    if (size == 0)
      return StatusOfLastError() == Status::kAccessDenied ? Status::kAccessDenied
                                                          : Status::kNotFound;
    std::vector<char> data(size);
    if (!api.info(path.c_str(), 0, size, data.data())) return Status::kNotFound;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    if (!api.query(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len) || !fixed ||
        len < sizeof(VS_FIXEDFILEINFO)) {
      return Status::kNotFound;
    }
    version->major = HIWORD(fixed->dwFileVersionMS);
    version->minor = LOWORD(fixed->dwFileVersionMS);
    version->release = HIWORD(fixed->dwFileVersionLS);
    version->build = LOWORD(fixed->dwFileVersionLS);
    return Status::kOk;
  }
};

class Win32PathForms : public PathForms {
 public:
  Status GetShortPath(const std::string& path, std::string* short_path) override {
    short_path->clear();
    char buffer[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buffer, MAX_PATH);
    if (n == 0) return StatusOfLastError();
    if (n >= MAX_PATH) return Status::kMoreData;
    short_path->assign(buffer, n);
    return Status::kOk;
  }
  Status FindFirstName(const std::string& path, std::string* name) override {
    name->clear();
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return Status::kNotFound;
    FindClose(h);
    *name = data.cFileName;
    return Status::kOk;
  }
  Status CreateTempFile(const std::string& folder, const std::string& prefix,
                        std::string* path) override {
    path->clear();
    char buffer[MAX_PATH];
    if (GetTempFileNameA(folder.c_str(), prefix.c_str(), 0, buffer) == 0) return StatusOfLastError();
    *path = buffer;
    return Status::kOk;
  }
};

}  // namespace

std::unique_ptr<ProfileReader> CreateProfileReader(Platform&) {
  return std::make_unique<Win32ProfileReader>();
}
std::unique_ptr<VersionReader> CreateVersionReader(Platform&) {
  return std::make_unique<Win32VersionReader>();
}
std::unique_ptr<PathForms> CreatePathForms(Platform&) { return std::make_unique<Win32PathForms>(); }

}  // namespace corvane::platform
