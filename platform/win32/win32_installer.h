// The Windows Installer service through msi.dll, loaded at first use from the system folder.
#pragma once

#include "platform/installer.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {

class Win32Installer : public Installer {
 public:
  Win32Installer() = default;
  // Removes the message handler this installer registered: the registration is the process's,
  // and must not outlive the handler.
  ~Win32Installer() override;
  Win32Installer(const Win32Installer&) = delete;
  Win32Installer& operator=(const Win32Installer&) = delete;

  bool Available() override;
  int QueryProductState(const std::string& product_code) override;
  Status GetProductInfo(const std::string& product_code, const std::string& property,
                        std::string* value) override;
  std::unique_ptr<InstallerDatabase> OpenDatabase(const std::string& path, bool read_only,
                                                  Status* status) override;
  Status EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) override;
  void SetInternalUI(uint32_t level) override;
  // The installer keeps one handler for the whole process: the last one set wins, whichever
  // Win32Installer set it.
  void SetExternalUI(InstallerMessageHandler handler, uint32_t filter) override;
  Status AddSource(const std::string& product_code, const std::string& user,
                   const std::string& source) override;
  uint32_t InstallProduct(const std::string& package, const std::string& command_line) override;
  uint32_t ApplyPatch(const std::string& patch, const std::string& command_line) override;
  uint32_t RunPackageAction(const PackageAction& action, bool* reboot) override;
};

}  // namespace corvane::platform::win32
