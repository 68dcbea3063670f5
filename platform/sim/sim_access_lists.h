// The access lists of the simulated machine and the accounts they name.
//
// MACHINE/access.txt holds the lists that a setup changed, one block per object in UTF-8 ("#"
// starts a comment line):
//   [file C:\DATA]               kind and name: file (a full path), key (the key where the
//                                registry keeps it, "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432NODE\X"),
//                                service or printer, all upper case
//   protected = yes              the object inherits nothing (default no)
//   allow S-1-1-0 0x001F01FF OI CI     the object's own entries, in list order
// Every other object has the list of a fresh Windows: a drive's root folder, a registry root and
// a service or printer their kind's default list, a folder that the shell protected (see
// SimFileSystem::ProtectFolder) the protected list, anything else no entries of its own. What an
// object inherits is worked out from its parents whenever it is read, as the system passes on
// inheritable entries. Shares keep their lists with the shares (sim_shares.h).
//
// Printers are listed in MACHINE/printers.txt, one name a line; without the file the machine has
// the two printers of a fresh Windows. Services are those the machine's service table knows.
//
// Accounts: the well-known ones (Everyone, SYSTEM, Administrators, Users, Authenticated Users,
// ... also with their "NT AUTHORITY\" and "BUILTIN\" prefixes) and the machine's user, whose
// identifier is kUserSid. Only an elevated administrator changes a list, except those of the
// user's own registry keys and of the files below the user's profile.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/access_lists.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_shares.h"

namespace corvane::platform::sim {

class SimAccessLists : public AccessLists {
 public:
  // `service_exists` tells whether the machine has a service of a name.
  SimAccessLists(const std::filesystem::path& machine_folder, const MachineDescription& machine,
                 SimFileSystem& files, SimRegistry& registry, SimShares& shares,
                 std::function<bool(const std::string&)> service_exists);

  Status AccountSid(const std::string& account, std::string* sid) override;
  Status CurrentUserSid(std::string* sid) override;
  Status ReadAccessList(const SecuredObject& object, AccessList* list) override;
  Status GrantAccess(const SecuredObject& object,
                     const std::vector<AccessEntry>& entries) override;
  Status ReplaceAccessList(const SecuredObject& object, const std::vector<AccessEntry>& entries,
                           bool protect) override;

  static constexpr const char* kUserSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
  // The name of a well-known account or of the machine's user ("" for another identifier).
  std::string AccountName(const std::string& sid) const;
  // Problems in access.txt or printers.txt (one line each), or empty.
  const std::string& Warnings() const { return warnings_; }

 private:
  struct Own {
    bool protected_list = false;
    std::vector<AccessEntry> entries;
  };
  // Where an object stands: its record key, whether it holds others (a folder, a key), where its
  // parent is and the list it has while no record was written for it.
  struct Located {
    SecuredKind kind = SecuredKind::kFile;
    std::string key;
    bool container = false;
    bool has_parent = false;
    std::string path;  // files: the full path
    RegRoot root = RegRoot::kLocalMachine;  // keys: where the registry keeps them
    std::vector<std::string> components;
    Own initial;
  };
  Status Locate(const SecuredObject& object, Located* at);
  Status LocateFile(const std::string& path, Located* at);
  void LocateRegistryKey(RegRoot root, const std::vector<std::string>& components, Located* at);
  Status ParentOf(const Located& at, Located* parent);
  AccessList Effective(const Located& at);  // mu_ held
  Own OwnEntries(const Located& at);        // mu_ held
  bool MayChange(const SecuredObject& object);
  void Save();  // mu_ held

  std::filesystem::path table_file_;
  const MachineDescription& machine_;
  SimFileSystem& files_;
  SimRegistry& registry_;
  SimShares& shares_;
  std::function<bool(const std::string&)> service_exists_;
  std::vector<std::string> printers_;
  std::mutex mu_;
  std::map<std::string, Own> records_;  // by key, in file order of keys
  std::string warnings_;
};

// The entries that an object inherits from its parent's list (container: a folder or a key).
std::vector<AccessEntry> InheritedEntries(const std::vector<AccessEntry>& parent, bool container);

}  // namespace corvane::platform::sim
