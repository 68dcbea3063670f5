// The Windows version as the system information commands read it, and the folder numbers of
// Get Folder Location.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace corvane::interp {
class Session;
}

namespace corvane::commands {

struct SystemVersion {
  bool nt = true;  // the NT family (platform id 2)
  uint32_t major = 0;
  uint32_t minor = 0;    // 11 for Windows 98 Second Edition (4.10 with a later build)
  int service_pack = 0;  // see ServicePackNumber
  bool server = false;   // an NT product type other than workstation
};

SystemVersion ReadSystemVersion(platform::SystemInfo& system);
// The highest n from 10 down to 1 whose decimal text occurs in the service-pack text; 0 if none.
int ServicePackNumber(const std::string& text);
// "XP", "VISTA", "2008R2", "98SE", ... or "UNKNOWN".
std::string ReleaseName(const SystemVersion& version);

// The folder of a Get Folder Location number (0-28) with a trailing backslash; "" for a folder
// the machine does not have and for other numbers.
std::string FolderLocation(interp::Session& session, platform::Platform& platform, int number,
                           bool common);

}  // namespace corvane::commands
