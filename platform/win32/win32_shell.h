// Shell services of the real system: SHGetFolderPathA, the token checks, MoveFileExA with
// MOVEFILE_DELAY_UNTIL_REBOOT and FSCTL_SET_COMPRESSION (win32_shell.cpp); the protected
// per-machine folder, its owner and its access list through advapi32 (win32_shell_access.cpp).
#pragma once

#include <string>
#include <vector>

#include "platform/shell.h"

namespace corvane::platform::win32 {

class Win32Shell : public Shell {
 public:
  Status GetSpecialFolder(SpecialFolder folder, std::string* path) override;
  bool IsAdministrator() override;
  Status DeleteAtRestart(const std::string& path) override;
  Status SetCompression(const std::string& path, bool compressed) override;
  Status CreateProtectedFolder(const std::string& path) override;
  Status IsTrustedOwner(const std::string& path, bool* trusted) override;
  Status GetAccessFacts(const std::string& path, AccessFacts* facts) override;
  Status GetShellFolder(int csidl, std::string* path) override;
  Status PlaySoundFile(const std::string& path) override;
  Status RestartComputer(std::string* why) override;
  // Shortcuts on the taskbar and the Start menu (win32_shell_links.cpp).
  Status SetShortcutIdentity(const std::string& shortcut, const std::string& identity) override;
  Status ShellVerbs(const std::string& path, std::vector<std::string>* verbs) override;
  Status InvokeShellVerb(const std::string& path, const std::string& verb) override;
  std::vector<std::string> ShellTexts(int id) override;
};

}  // namespace corvane::platform::win32
