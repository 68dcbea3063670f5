// The engine's own resources on the simulated machine: the bytes the Windows engine carries in
// its resource section. The web server's administration library comes for the processor of the
// engine process the machine describes. The assembly tools are the machine's stand-ins for the
// programs the Windows engine carries (see sim_processes.h, assembly_cache): kgacy.exe works on
// the cache of the newer frameworks, kgac.exe on the older one; their configuration files are the
// Windows engine's own.
#include <cstddef>

#include "platform/sim/sim_system.h"
#include "platform/text.h"

extern const unsigned char kKgacyConfig[];
extern const size_t kKgacyConfig_size;
extern const unsigned char kKgacConfig[];
extern const size_t kKgacConfig_size;
extern const unsigned char kAdminLibraryI386[];
extern const size_t kAdminLibraryI386_size;
extern const unsigned char kAdminLibraryAMD64[];
extern const size_t kAdminLibraryAMD64_size;

namespace corvane::platform::sim {

Status SimSystemInfo::EngineResource(const std::string& name, std::string* bytes) {
  if (SameText(name, "DLL")) {
    if (machine_.process64) {
      bytes->assign(reinterpret_cast<const char*>(kAdminLibraryAMD64), kAdminLibraryAMD64_size);
    } else {
      bytes->assign(reinterpret_cast<const char*>(kAdminLibraryI386), kAdminLibraryI386_size);
    }
  } else if (SameText(name, "KGACY")) {
    *bytes = "[program]\r\nassembly_cache = Microsoft.NET\\assembly\r\n";
  } else if (SameText(name, "KGAC")) {
    *bytes = "[program]\r\nassembly_cache = assembly\r\n";
  } else if (SameText(name, "KGACEY")) {
    bytes->assign(reinterpret_cast<const char*>(kKgacyConfig), kKgacyConfig_size);
  } else if (SameText(name, "KGACEX")) {
    bytes->assign(reinterpret_cast<const char*>(kKgacConfig), kKgacConfig_size);
  } else {
    return Status::kNotFound;
  }
  return Status::kOk;
}

}  // namespace corvane::platform::sim
