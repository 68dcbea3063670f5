#include "platform/win32/access_list_probe.h"

#include <vector>

#include "platform/win32/win32_common.h"
// after windows.h
#include <sddl.h>

namespace corvane::platform::win32 {

bool FileSystemKeepsAccessLists(const std::string& folder) {
  std::string probe = folder + "\\access-list-probe";
  if (!CreateDirectoryA(probe.c_str(), nullptr)) return false;
  bool kept = false;
  PSECURITY_DESCRIPTOR written = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                           SDDL_REVISION_1, &written, nullptr)) {
    if (SetFileSecurityA(probe.c_str(), DACL_SECURITY_INFORMATION, written)) {
      DWORD size = 0;
      GetFileSecurityA(probe.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
      // DWORD64 elements keep the descriptor aligned.
      std::vector<DWORD64> back(size / sizeof(DWORD64) + 1);
      SECURITY_DESCRIPTOR_CONTROL control = 0;
      DWORD revision = 0;
      kept = size > 0 &&
             GetFileSecurityA(probe.c_str(), DACL_SECURITY_INFORMATION, back.data(),
                              static_cast<DWORD>(back.size() * sizeof(DWORD64)), &size) &&
             GetSecurityDescriptorControl(back.data(), &control, &revision) &&
             (control & SE_DACL_PROTECTED) != 0;
    }
    LocalFree(written);
  }
  RemoveDirectoryA(probe.c_str());
  return kept;
}

}  // namespace corvane::platform::win32
