// Network shares through the server functions of netapi32, which the engine loads at run time
// from the system folder. The share's security descriptor is reached here too, for the access
// lists of shares (win32_access_lists.cpp).
#pragma once

#include <windows.h>

#include <string>

#include "platform/shares.h"

namespace corvane::platform::win32 {

class Win32NetworkShares : public NetworkShares {
 public:
  Status AddShare(const std::string& computer, const ShareInfo& share) override;
  Status DeleteShare(const std::string& computer, const std::string& name) override;
  Status GetShare(const std::string& computer, const std::string& name,
                  ShareInfo* share) override;
};

// The security descriptor of a share (a copy the caller frees with LocalFree; null when the share
// has none, which lets everyone in), and writing one back.
Status ReadShareDescriptor(const std::string& computer, const std::string& name,
                           PSECURITY_DESCRIPTOR* descriptor);
Status WriteShareDescriptor(const std::string& computer, const std::string& name,
                            PSECURITY_DESCRIPTOR descriptor);

// "\\COMPUTER\name" split into its computer and share name; a plain name is a share of this
// computer.
void SplitShareName(const std::string& text, std::string* computer, std::string* name);

}  // namespace corvane::platform::win32
