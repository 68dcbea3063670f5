// The Windows Installer service through msi.dll, loaded at first use from the system folder.
#pragma once

#include "platform/win32/win32_common.h"

#include <mutex>

#include "platform/installer.h"

namespace corvane::platform::win32 {

class Win32Installer : public Installer {
 public:
  Win32Installer() = default;
  ~Win32Installer() override;
  Win32Installer(const Win32Installer&) = delete;
  Win32Installer& operator=(const Win32Installer&) = delete;

  bool Available() override;
  int QueryProductState(const std::string& product_code) override;
  Status GetProductInfo(const std::string& product_code, const std::string& property,
                        std::string* value) override;

 private:
  using QueryProductStateFn = int(WINAPI*)(const char*);
  using GetProductInfoFn = UINT(WINAPI*)(const char*, const char*, char*, DWORD*);
  void Load();

  std::once_flag once_;
  HMODULE module_ = nullptr;
  QueryProductStateFn query_state_ = nullptr;
  GetProductInfoFn get_info_ = nullptr;
};

}  // namespace corvane::platform::win32
