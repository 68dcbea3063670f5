#include "platform/sim/sim_libraries.h"

#include <filesystem>

namespace corvane::platform::sim {

std::unique_ptr<SharedLibrary> SimLibraryLoader::Load(const std::string& path,
                                                      std::string* error_text) {
  auto fail = [&](const std::string& why) -> std::unique_ptr<SharedLibrary> {
    if (error_text != nullptr) *error_text = "cannot load " + path + ": " + why;
    return nullptr;
  };
  if (!IsFullLibraryPath(path)) return fail("not a full path");
  if (!files_.FileExists(path)) return fail("no such file");
  const std::filesystem::path host = files_.HostPath(path);
  if (host.empty()) return fail("no such file");
  std::string why;
  std::unique_ptr<SharedLibrary> library = LoadSharedLibrary(host.string(), &why);
  // The host's reason names the host path; the machine's path is what the caller knows.
  if (!library) return fail("not a library of this machine");
  return library;
}

}  // namespace corvane::platform::sim
