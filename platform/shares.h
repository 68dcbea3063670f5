// Network shares of a computer: creating a disk share of a folder, reading one and deleting it.
//
// Computer names: "" is this computer; another is given as "NAME" or "\\NAME". Share names are
// compared without regard to letter case. Every call may be made from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace corvane::platform {

// A share's users without limit (SHI_USES_UNLIMITED).
constexpr int32_t kUnlimitedUsers = -1;

struct ShareInfo {
  std::string name;
  std::string path;  // the shared folder
  std::string comment;
  int32_t max_users = kUnlimitedUsers;
};

class NetworkShares {
 public:
  virtual ~NetworkShares() = default;

  // Shares a folder as a disk share, readable by everyone. kAlreadyExists when the computer has a
  // share of that name; kNotFound when the folder does not exist; kAccessDenied without the
  // rights to share; kFailed for anything else (the computer cannot be reached, the system
  // shares nothing, the name is not a share name).
  virtual Status AddShare(const std::string& computer, const ShareInfo& share) = 0;
  // Stops sharing. kNotFound when there is no such share; kAccessDenied, kFailed as above.
  virtual Status DeleteShare(const std::string& computer, const std::string& name) = 0;
  // A share as the computer keeps it. kNotFound when there is no such share.
  virtual Status GetShare(const std::string& computer, const std::string& name,
                          ShareInfo* share) = 0;
};

// A platform without shares: nothing can be shared.
class NoNetworkShares : public NetworkShares {
 public:
  Status AddShare(const std::string&, const ShareInfo&) override { return Status::kFailed; }
  Status DeleteShare(const std::string&, const std::string&) override { return Status::kNotFound; }
  Status GetShare(const std::string&, const std::string&, ShareInfo*) override {
    return Status::kNotFound;
  }
};

// Forwards every call to another NetworkShares: derive from it to change one call in a test.
class NetworkSharesWrapper : public NetworkShares {
 public:
  explicit NetworkSharesWrapper(NetworkShares& target) : target_(target) {}
  Status AddShare(const std::string& computer, const ShareInfo& share) override {
    return target_.AddShare(computer, share);
  }
  Status DeleteShare(const std::string& computer, const std::string& name) override {
    return target_.DeleteShare(computer, name);
  }
  Status GetShare(const std::string& computer, const std::string& name,
                  ShareInfo* share) override {
    return target_.GetShare(computer, name, share);
  }

 protected:
  NetworkShares& target_;
};

}  // namespace corvane::platform
