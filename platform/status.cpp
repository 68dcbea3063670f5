#include "platform/status.h"

namespace corvane::platform {

const char* StatusName(Status s) {
  switch (s) {
    case Status::kOk: return "ok";
    case Status::kNotFound: return "not found";
    case Status::kAccessDenied: return "access denied";
    case Status::kAlreadyExists: return "already exists";
    case Status::kNotEmpty: return "not empty";
    case Status::kInvalidName: return "invalid name";
    case Status::kDiskFull: return "disk full";
    case Status::kMoreData: return "more data";
    case Status::kFailed: return "failed";
  }
  return "failed";
}

uint32_t StatusToWin32Error(Status s) {
  switch (s) {
    case Status::kOk: return 0;
    case Status::kNotFound: return 2;        // ERROR_FILE_NOT_FOUND
    case Status::kAccessDenied: return 5;    // ERROR_ACCESS_DENIED
    case Status::kAlreadyExists: return 183; // ERROR_ALREADY_EXISTS
    case Status::kNotEmpty: return 145;      // ERROR_DIR_NOT_EMPTY
    case Status::kInvalidName: return 123;   // ERROR_INVALID_NAME
    case Status::kDiskFull: return 112;      // ERROR_DISK_FULL
    case Status::kMoreData: return 234;      // ERROR_MORE_DATA
    case Status::kFailed: return 31;         // ERROR_GEN_FAILURE
  }
  return 31;
}

}  // namespace corvane::platform
