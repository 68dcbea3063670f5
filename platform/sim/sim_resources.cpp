// The engine's own resources on the simulated machine: the bytes the Windows engine carries in
// its resource section, for the processor of the engine process the machine describes.
#include <cstddef>

#include "platform/sim/sim_system.h"
#include "platform/text.h"

extern const unsigned char kAdminLibraryI386[];
extern const size_t kAdminLibraryI386_size;
extern const unsigned char kAdminLibraryAMD64[];
extern const size_t kAdminLibraryAMD64_size;

namespace corvane::platform::sim {

Status SimSystemInfo::EngineResource(const std::string& name, std::string* bytes) {
  if (!SameText(name, "DLL")) return Status::kNotFound;
  if (machine_.process64) {
    bytes->assign(reinterpret_cast<const char*>(kAdminLibraryAMD64), kAdminLibraryAMD64_size);
  } else {
    bytes->assign(reinterpret_cast<const char*>(kAdminLibraryI386), kAdminLibraryI386_size);
  }
  return Status::kOk;
}

}  // namespace corvane::platform::sim
