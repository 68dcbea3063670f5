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

}  // namespace corvane::platform::win32
