// Shell services of the real system: SHGetFolderPathA, the token checks, MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT and FSCTL_SET_COMPRESSION.
#pragma once

#include "platform/shell.h"

namespace corvane::platform::win32 {

class Win32Shell : public Shell {
 public:
  Status GetSpecialFolder(SpecialFolder folder, std::string* path) override;
  bool IsAdministrator() override;
  Status DeleteAtRestart(const std::string& path) override;
  Status SetCompression(const std::string& path, bool compressed) override;
};

}  // namespace corvane::platform::win32
