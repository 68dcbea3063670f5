#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {
thread_local uint32_t last_error = 0;
}

Status StatusFromError(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return Status::kOk;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NO_MORE_FILES:
    case ERROR_ENVVAR_NOT_FOUND:
    case ERROR_UNKNOWN_PRODUCT:
    case ERROR_UNKNOWN_PROPERTY:
      return Status::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
      return Status::kAccessDenied;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return Status::kAlreadyExists;
    case ERROR_DIR_NOT_EMPTY:
      return Status::kNotEmpty;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
      return Status::kInvalidName;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Status::kDiskFull;
    case ERROR_MORE_DATA:
      return Status::kMoreData;
    default:
      return Status::kFailed;
  }
}

Status Fail(DWORD error) {
  // A failed call that left no error code still failed.
  if (error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
  last_error = error;
  return StatusFromError(error);
}

Status FailLast() { return Fail(GetLastError()); }

Status Record(Status s) {
  if (s != Status::kOk) last_error = StatusToWin32Error(s);
  return s;
}

uint32_t ThreadLastError() { return last_error; }

namespace {

// The code page form of a wide text; false when a character has none (best-fit look-alikes
// count as none: they would name another file).
bool ToCodePage(const std::wstring& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const bool utf8 = GetACP() == CP_UTF8;  // every character has a form; the flags are refused
  BOOL lost = FALSE;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(text.size());
  int n = WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0, nullptr,
                              utf8 ? nullptr : &lost);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, flags, text.data(), size, out->data(), n, nullptr,
                      utf8 ? nullptr : &lost);
  return !lost;
}

}  // namespace

std::string NarrowPath(const std::wstring& path) {
  std::string narrow;
  if (ToCodePage(path, &narrow)) return narrow;
  DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (n != 0) {
    std::wstring short_path(n, L'\0');
    DWORD got = GetShortPathNameW(path.c_str(), short_path.data(), n);
    if (got != 0 && got < n) {
      short_path.resize(got);
      std::string short_narrow;
      if (ToCodePage(short_path, &short_narrow)) return short_narrow;
    }
  }
  return narrow;
}

}  // namespace corvane::platform::win32
