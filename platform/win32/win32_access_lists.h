// Access lists through the security functions of advapi32: files, folders, services and printers
// by name, registry keys through a handle opened in the key's view, shares through the server
// functions (win32_shares.h).
#pragma once

#include "platform/access_lists.h"

namespace corvane::platform::win32 {

class Win32AccessLists : public AccessLists {
 public:
  Status AccountSid(const std::string& account, std::string* sid) override;
  Status CurrentUserSid(std::string* sid) override;
  Status ReadAccessList(const SecuredObject& object, AccessList* list) override;
  Status GrantAccess(const SecuredObject& object,
                     const std::vector<AccessEntry>& entries) override;
  Status ReplaceAccessList(const SecuredObject& object, const std::vector<AccessEntry>& entries,
                           bool protect) override;
};

}  // namespace corvane::platform::win32
