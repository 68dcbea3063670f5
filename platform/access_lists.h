// Access lists: the discretionary access list of the objects a setup secures (files and folders,
// network shares, registry keys, services, printers) and the accounts they name.
//
// Accounts travel as security identifiers in their text form ("S-1-1-0"). Rights are the access
// masks of the object's kind (file rights for files and shares, key rights for keys, ...), and an
// entry's flags are the entry's inheritance flags. Every call may be made from any thread; a file
// name is reached in the file-system view of the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/status.h"

namespace corvane::platform {

enum class SecuredKind : uint8_t { kFile, kShare, kRegistryKey, kService, kPrinter };

struct SecuredObject {
  SecuredKind kind = SecuredKind::kFile;
  // A file or folder: its full path. A share: its name on this computer, or "\\COMPUTER\name".
  // A registry key: the root's name and the key's path ("HKLM\SOFTWARE\Vendor", long root names
  // as well). A service or a printer: its name.
  std::string name;
  RegView view = RegView::kNative;  // registry keys: the view the key is reached in
};

// Entry flags (the ACE flags of Windows).
namespace ace_flag {
constexpr uint8_t kObjectInherit = 0x1;     // passed on to the files of a folder
constexpr uint8_t kContainerInherit = 0x2;  // passed on to subfolders and subkeys
constexpr uint8_t kNoPropagate = 0x4;       // passed on one level only
constexpr uint8_t kInheritOnly = 0x8;       // only passed on, not for the object itself
constexpr uint8_t kInherited = 0x10;        // came from the parent
constexpr uint8_t kInheritance = 0xF;       // the flags that say how an entry is passed on
}  // namespace ace_flag

// Well-known accounts.
namespace sid {
constexpr const char* kEveryone = "S-1-1-0";
constexpr const char* kCreatorOwner = "S-1-3-0";
constexpr const char* kAuthenticatedUsers = "S-1-5-11";
constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kUsers = "S-1-5-32-545";
}  // namespace sid

struct AccessEntry {
  std::string sid;
  uint32_t mask = 0;
  uint8_t flags = 0;
  bool allow = true;  // false: a denying entry

  bool operator==(const AccessEntry& o) const {
    return sid == o.sid && mask == o.mask && flags == o.flags && allow == o.allow;
  }
};

struct AccessList {
  // The object inherits nothing from its parent.
  bool protected_list = false;
  // In list order; the entries that came from the parent carry ace_flag::kInherited. An object
  // without a list (everyone may do everything) reads as one entry: everyone, every right.
  std::vector<AccessEntry> entries;
};

class AccessLists {
 public:
  virtual ~AccessLists() = default;

  // The identifier of an account by its name ("Everyone", "Users", "COMPUTER\name", a user's
  // name). kNotFound for an account the computer does not know.
  virtual Status AccountSid(const std::string& account, std::string* sid) = 0;
  // The identifier of the account the engine runs as.
  virtual Status CurrentUserSid(std::string* sid) = 0;

  // The object's access list. kNotFound when the object does not exist; kAccessDenied when it
  // may not be read; kFailed when the system keeps no list for objects of that kind.
  virtual Status ReadAccessList(const SecuredObject& object, AccessList* list) = 0;
  // Grants rights and writes the list back: each entry's rights join an allowing entry of the
  // same account with the same inheritance flags that the object holds itself, or become a new
  // entry; the rest of the list, denying entries included, is kept. Inheritable entries pass on
  // to what lies below, as the system passes them. Statuses as for ReadAccessList.
  virtual Status GrantAccess(const SecuredObject& object,
                             const std::vector<AccessEntry>& entries) = 0;
  // Replaces the object's own entries with `entries` (denying ones first). With `protect` the
  // object no longer inherits; without it the parent's inheritable entries follow the object's
  // own (an object without a parent: none). Statuses as for ReadAccessList.
  virtual Status ReplaceAccessList(const SecuredObject& object,
                                   const std::vector<AccessEntry>& entries, bool protect) = 0;
};

// A platform without access lists: no account is known and no object has a list.
class NoAccessLists : public AccessLists {
 public:
  Status AccountSid(const std::string&, std::string*) override { return Status::kNotFound; }
  Status CurrentUserSid(std::string*) override { return Status::kFailed; }
  Status ReadAccessList(const SecuredObject&, AccessList*) override { return Status::kFailed; }
  Status GrantAccess(const SecuredObject&, const std::vector<AccessEntry>&) override {
    return Status::kFailed;
  }
  Status ReplaceAccessList(const SecuredObject&, const std::vector<AccessEntry>&, bool) override {
    return Status::kFailed;
  }
};

// Forwards every call to another AccessLists: derive from it to change one call in a test.
class AccessListsWrapper : public AccessLists {
 public:
  explicit AccessListsWrapper(AccessLists& target) : target_(target) {}
  Status AccountSid(const std::string& account, std::string* sid) override {
    return target_.AccountSid(account, sid);
  }
  Status CurrentUserSid(std::string* sid) override { return target_.CurrentUserSid(sid); }
  Status ReadAccessList(const SecuredObject& object, AccessList* list) override {
    return target_.ReadAccessList(object, list);
  }
  Status GrantAccess(const SecuredObject& object,
                     const std::vector<AccessEntry>& entries) override {
    return target_.GrantAccess(object, entries);
  }
  Status ReplaceAccessList(const SecuredObject& object, const std::vector<AccessEntry>& entries,
                           bool protect) override {
    return target_.ReplaceAccessList(object, entries, protect);
  }

 protected:
  AccessLists& target_;
};

// "file", "share", "key", "service" or "printer".
const char* SecuredKindName(SecuredKind kind);

}  // namespace corvane::platform
