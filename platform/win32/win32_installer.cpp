#include "platform/win32/win32_installer.h"

#include <string>

#include "platform/win32/system_library.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {

namespace {
constexpr UINT kErrorUnknownProduct = 1605;   // ERROR_UNKNOWN_PRODUCT
constexpr UINT kErrorUnknownProperty = 1608;  // ERROR_UNKNOWN_PROPERTY
}  // namespace

Win32Installer::~Win32Installer() = default;

void Win32Installer::Load() {
  std::call_once(once_, [this] {
    // Only the copy in the system folder: a bare name would let the setup's own folder (often a
    // download folder) supply the library.
    module_ = LoadSystemLibrary("msi.dll");
    if (module_ == nullptr) return;
    query_state_ = reinterpret_cast<QueryProductStateFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "MsiQueryProductStateA")));
    get_info_ = reinterpret_cast<GetProductInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "MsiGetProductInfoA")));
  });
}

bool Win32Installer::Available() {
  Load();
  return query_state_ != nullptr && get_info_ != nullptr;
}

int Win32Installer::QueryProductState(const std::string& product_code) {
  if (!Available()) return install_state::kUnknown;
  return query_state_(product_code.c_str());
}

Status Win32Installer::GetProductInfo(const std::string& product_code,
                                      const std::string& property, std::string* value) {
  value->clear();
  if (!Available()) return Fail(ERROR_MOD_NOT_FOUND);
  std::string buffer(64, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    UINT rc = get_info_(product_code.c_str(), property.c_str(), &buffer[0], &size);
    if (rc == ERROR_SUCCESS) {
      buffer.resize(size);
      *value = buffer;
      return Status::kOk;
    }
    if (rc == ERROR_MORE_DATA) {
      buffer.assign(static_cast<size_t>(size) + 1, '\0');
      continue;
    }
    if (rc == kErrorUnknownProduct || rc == kErrorUnknownProperty) {
      SetLastError(rc);
      Record(Status::kNotFound);
      return Status::kNotFound;
    }
    return Fail(rc);
  }
  return Fail(ERROR_MORE_DATA);
}

}  // namespace corvane::platform::win32
