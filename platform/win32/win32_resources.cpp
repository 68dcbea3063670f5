// The engine's own data resources (RT_RCDATA), read from the executable's module.
#include <windows.h>

#include "platform/win32/win32_system.h"

namespace corvane::platform::win32 {

Status Win32SystemInfo::EngineResource(const std::string& name, std::string* bytes) {
  HMODULE self = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(self, name.c_str(), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (found == nullptr) return Status::kNotFound;
  HGLOBAL loaded = LoadResource(self, found);
  const DWORD size = SizeofResource(self, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return Status::kFailed;
  bytes->assign(static_cast<const char*>(data), size);
  return Status::kOk;
}

}  // namespace corvane::platform::win32
