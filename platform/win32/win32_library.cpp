// LoadLibraryEx/GetProcAddress behind platform/library.h.
#include <windows.h>

#include "platform/library.h"

namespace corvane::platform {
namespace {

class Win32Library : public SharedLibrary {
 public:
  explicit Win32Library(HMODULE module) : module_(module) {}
  ~Win32Library() override { FreeLibrary(module_); }
  void* Find(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& path, std::string* error_text) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) {
    if (error_text != nullptr)
      *error_text = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  return std::make_unique<Win32Library>(module);
}

}  // namespace corvane::platform
