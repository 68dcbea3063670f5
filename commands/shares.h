// What Set Access Control writes into an access list, by the kind of object.
//
// The two rights a script can grant: parameter 7 reading (and running, for files) and parameter 8
// full control, each in the access rights of the object's kind. An entry of a folder or a
// registry key passes on to what lies below it; a printer's full control comes as two entries,
// one for the printer and one passed on to its print jobs. The second reset (parameter 11) makes
// the list a protected one: SYSTEM and Administrators full control, Users reading.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/access_lists.h"

namespace corvane::commands {

// The access masks of the two rights.
struct KindRights {
  uint32_t read = 0;
  uint32_t full = 0;
};
KindRights RightsOfKind(platform::SecuredKind kind);

// The entries that grant an account the chosen rights (none when neither is chosen). `container`
// says whether a file-system object is a folder.
std::vector<platform::AccessEntry> GrantEntries(platform::SecuredKind kind, bool container,
                                                const std::string& sid, bool read, bool full);

// The protected list of the second reset.
std::vector<platform::AccessEntry> LockedDownList(platform::SecuredKind kind, bool container);

}  // namespace corvane::commands
