// dlopen/dlsym behind platform/library.h: the simulation runs the real native libraries.
#include <dlfcn.h>

#include "platform/library.h"

namespace corvane::platform {
namespace {

class HostLibrary : public SharedLibrary {
 public:
  explicit HostLibrary(void* handle) : handle_(handle) {}
  ~HostLibrary() override { dlclose(handle_); }
  void* Find(const char* name) override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& path, std::string* error_text) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error_text != nullptr) {
      const char* why = dlerror();
      *error_text = "cannot load " + path + (why != nullptr ? std::string(": ") + why : "");
    }
    return nullptr;
  }
  return std::make_unique<HostLibrary>(handle);
}

}  // namespace corvane::platform
