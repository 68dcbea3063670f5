// Shell-level services: the special folders of the user and the machine, the administrator
// check, deletion at the next restart and folder compression. Every call may be made from any
// thread.
#pragma once

#include <string>

#include "platform/status.h"

namespace corvane::platform {

enum class SpecialFolder {
  kCommonAppData,  // CSIDL_COMMON_APPDATA: application data of all users
  kLocalAppData,   // CSIDL_LOCAL_APPDATA: the user's local (non-roaming) application data
  kAppData,        // CSIDL_APPDATA: the user's roaming application data
  kProgramFiles,   // CSIDL_PROGRAM_FILES (the process's own bitness)
  kCommonFiles,    // CSIDL_PROGRAM_FILES_COMMON
  kDesktop,        // CSIDL_DESKTOPDIRECTORY: the user's desktop folder
};

class Shell {
 public:
  virtual ~Shell() = default;

  // The path of a special folder with a trailing backslash (SHGetFolderPathA, current value).
  // kNotFound with an empty path when the system has no such folder.
  virtual Status GetSpecialFolder(SpecialFolder folder, std::string* path) = 0;

  // True when the process runs with administrator rights: on Windows Vista and later the token
  // must be elevated, before that it must hold the Administrators group. Always false on the
  // older (non-NT) platform.
  virtual bool IsAdministrator() = 0;

  // Schedules a file, or an empty folder, for deletion at the next restart (MoveFileExA with
  // MOVEFILE_DELAY_UNTIL_REBOOT). kNotFound when the path does not exist now; kAccessDenied when
  // the process may not schedule it (it needs administrator rights on Windows).
  virtual Status DeleteAtRestart(const std::string& path) = 0;

  // Switches file-system compression of a file or folder on or off (the set-compression control
  // 0x9C040 with format 2 or 0). kNotFound for a missing path; kFailed when the volume does not
  // support compression.
  virtual Status SetCompression(const std::string& path, bool compressed) = 0;
};

// The shell of a platform that has none: no special folders, no rights, nothing scheduled.
class NoShell : public Shell {
 public:
  Status GetSpecialFolder(SpecialFolder, std::string* path) override {
    path->clear();
    return Status::kNotFound;
  }
  bool IsAdministrator() override { return false; }
  Status DeleteAtRestart(const std::string&) override { return Status::kFailed; }
  Status SetCompression(const std::string&, bool) override { return Status::kFailed; }
};

// Forwards every call to another Shell: derive from it to change one call in a test.
class ShellWrapper : public Shell {
 public:
  explicit ShellWrapper(Shell& target) : target_(target) {}
  Status GetSpecialFolder(SpecialFolder folder, std::string* path) override {
    return target_.GetSpecialFolder(folder, path);
  }
  bool IsAdministrator() override { return target_.IsAdministrator(); }
  Status DeleteAtRestart(const std::string& path) override {
    return target_.DeleteAtRestart(path);
  }
  Status SetCompression(const std::string& path, bool compressed) override {
    return target_.SetCompression(path, compressed);
  }

 protected:
  Shell& target_;
};

}  // namespace corvane::platform
