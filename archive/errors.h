// Failure numbers of the archive library and the exception that carries one inside it. The
// numbers are what GetLastArchiveError reports after a failed exported call; the engine maps
// 1001 to 1003 to its own messages and shows any other as "#" followed by the number.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane::archive {

enum ErrorCode : int {
  kErrorNone = 0,
  kErrorNotFound = 1001,      // the archive file does not exist or cannot be opened for reading
  kErrorIllegalPath = 1002,   // a target path, an entry path that would leave the destination or
                              // name the same file as another, or a link met below it
  kErrorCannotOpen = 1003,    // not a 7z archive, unsupported method, or wrong/missing password
  kErrorData = 1004,          // damaged data: a decoder failed or a checksum does not match
  kErrorWrite = 1005,         // a file or folder could not be created or written, or the drive
                              // has less free space than the entries announce
  kErrorCancelled = 1006,     // the progress callback asked to stop
  kErrorLimit = 1007,         // the archive needs more memory than the library allows, or
                              // announces more output than its size allows
  kErrorTargetMissing = 1008, // an entry of the target list is not in the archive
  kErrorGeneral = 1009,       // anything else (bad arguments, out of memory)
};

class ArchiveError : public std::runtime_error {
 public:
  ArchiveError(ErrorCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
};

[[noreturn]] inline void Fail(ErrorCode code, const std::string& what) {
  throw ArchiveError(code, what);
}
[[noreturn]] inline void DataError(const std::string& what) { Fail(kErrorData, what); }

}  // namespace corvane::archive
