// The network shares of the simulated machine: MACHINE/shares.txt, one block per share in UTF-8
// ("#" starts a comment line):
//   [Data]                       the share's name
//   path = C:\Data               the shared folder (none for the inter-process share IPC$)
//   comment = Shared data
//   users = unlimited            or the most users at a time
//   allow S-1-1-0 0x001200A9     the share's access list, one entry a line ("allow" or "deny",
//                                the account's identifier, the rights); no line: everyone reads,
//                                "access = empty": nobody may use the share
// A missing file gives the shares every Windows has: C$ (the drive), ADMIN$ (the Windows folder)
// and IPC$. Names are compared without regard to letter case. Only this computer is reachable
// ("", its own name or "\\" + its own name), and only an elevated administrator changes shares.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/access_lists.h"
#include "platform/shares.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_files.h"

namespace corvane::platform::sim {

struct SimShare {
  ShareInfo info;
  std::optional<std::vector<AccessEntry>> access;  // none set: everyone reads
};

class SimShares : public NetworkShares {
 public:
  SimShares(const std::filesystem::path& machine_folder, const MachineDescription& machine,
            SimFileSystem& files);

  Status AddShare(const std::string& computer, const ShareInfo& share) override;
  Status DeleteShare(const std::string& computer, const std::string& name) override;
  Status GetShare(const std::string& computer, const std::string& name,
                  ShareInfo* share) override;

  // The access list of a share ("\\COMPUTER\name" or a name), for the access lists of the
  // machine; the list that a new share gets when none was set.
  Status ShareAccess(const std::string& share, std::vector<AccessEntry>* entries);
  Status SetShareAccess(const std::string& share, const std::vector<AccessEntry>& entries);
  static std::vector<AccessEntry> DefaultAccess();

  std::vector<SimShare> Table();
  // Problems in shares.txt (one line each), or empty.
  const std::string& Warnings() const { return warnings_; }

 private:
  bool Reachable(const std::string& computer) const;
  bool MayChange() const;
  SimShare* Find(const std::string& name);  // mu_ held
  void Save();                              // mu_ held

  std::filesystem::path table_file_;
  const MachineDescription& machine_;
  SimFileSystem& files_;
  std::mutex mu_;
  std::vector<SimShare> table_;
  std::string warnings_;
};

// An access entry as the machine's files write it: "allow S-1-1-0 0x001200A9 OI CI"; and back
// (false for a line that is not one).
std::string AccessEntryText(const AccessEntry& entry);
bool ParseAccessEntry(const std::string& text, AccessEntry* entry);

}  // namespace corvane::platform::sim
