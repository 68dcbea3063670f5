// Outcome of a platform call. Platform calls never throw: they return a status, and where the
// caller needs to show or log it, the Windows error code behind it.
#pragma once

#include <cstdint>

namespace corvane::platform {

enum class Status : uint8_t {
  kOk = 0,
  kNotFound,       // the file, folder, key or value does not exist (or a parent folder is missing)
  kAccessDenied,   // exists but may not be opened or changed that way (read-only, in use, rights)
  kAlreadyExists,  // creating something that is there already
  kNotEmpty,       // removing a folder or key that still has children
  kInvalidName,    // the path or name is malformed for this system
  kDiskFull,       // no space left
  kMoreData,       // a fixed buffer was too small (only where the contract says so)
  kFailed,         // anything else
};

const char* StatusName(Status s);

// Windows error code that corresponds to a status (ERROR_FILE_NOT_FOUND for kNotFound, ...).
uint32_t StatusToWin32Error(Status s);

}  // namespace corvane::platform
