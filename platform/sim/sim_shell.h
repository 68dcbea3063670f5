// The shell services of the simulated machine: special folders laid out from the machine
// description, the administrator flag of the description ("user.admin"), deletions at restart
// kept in MACHINE/pending_deletions.txt (one Windows path a line, in scheduling order) until a
// simulated restart applies them, and compression remembered per path for the life of the object
// (the simulated file system keeps no compressed attribute).
#pragma once

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"
#include "platform/sim/sim_files.h"

namespace corvane::platform::sim {

class SimShell : public Shell {
 public:
  SimShell(const std::filesystem::path& machine_folder, const MachineDescription& machine,
           SimFileSystem& files)
      : machine_folder_(machine_folder), machine_(machine), files_(files) {}

  Status GetSpecialFolder(SpecialFolder folder, std::string* path) override;
  bool IsAdministrator() override;
  Status DeleteAtRestart(const std::string& path) override;
  Status SetCompression(const std::string& path, bool compressed) override;
  Status CreateProtectedFolder(const std::string& path) override {
    return files_.ProtectFolder(path);
  }
  Status IsTrustedOwner(const std::string& path, bool* trusted) override {
    return files_.IsTrustedOwner(path, trusted);
  }
  Status GetAccessFacts(const std::string& path, AccessFacts* facts) override {
    return files_.GetAccessFacts(path, facts);
  }

  // The shell folders of a Windows 10 profile laid out from the description; the older folders
  // that Windows 10 no longer makes (the CD burning area, the OEM links) are unknown.
  Status GetShellFolder(int csidl, std::string* path) override;
  // The machine has no loudspeaker: a sound file that exists counts as played, and is listed.
  Status PlaySoundFile(const std::string& path) override;
  std::vector<std::string> PlayedSounds();

  // The restart is recorded, not made: the run goes on to its end as after ExitWindowsEx, and
  // restart_requests() counts them. The machine description can refuse it
  // (restart.refused = true).
  Status RestartComputer(std::string* why) override;
  int restart_requests() const { return restart_requests_; }

  // Shortcuts: a shortcut file of this machine is a text ("[shortcut]", "target=...", and the
  // "identity=..." this sets). The shell offers "&Open" for every file and, for shortcuts and
  // programs, the pin verbs of the places it has (the taskbar on 6.1 and later, the Start menu on
  // 5.1 and later), pin or unpin as the file stands; the pinned files are kept in the machine
  // folder's pinned.txt ("taskbar PATH", "startmenu PATH").
  Status SetShortcutIdentity(const std::string& shortcut, const std::string& identity) override;
  Status ShellVerbs(const std::string& path, std::vector<std::string>* verbs) override;
  Status InvokeShellVerb(const std::string& path, const std::string& verb) override;
  std::vector<std::string> ShellTexts(int id) override;
  // The pinned places of a file: "taskbar", "startmenu" (in that order).
  std::vector<std::string> PinnedPlaces(const std::string& path);

  // The deletions scheduled and not yet applied, in order.
  std::vector<std::string> PendingDeletions();
  // A restart: deletes the scheduled files and (empty) folders in order, forgets the list.
  // Returns the number of entries that were deleted.
  size_t ApplyPendingDeletions();
  bool IsCompressed(const std::string& path);

 private:
  std::filesystem::path PendingFile() const { return machine_folder_ / "pending_deletions.txt"; }
  std::filesystem::path PinnedFile() const { return machine_folder_ / "pinned.txt"; }
  std::vector<std::string> PinnedLines();
  void SavePinnedLines(const std::vector<std::string>& lines);

  std::filesystem::path machine_folder_;
  const MachineDescription& machine_;
  SimFileSystem& files_;
  int restart_requests_ = 0;
  std::mutex mu_;
  std::set<std::string> compressed_;  // upper-cased full paths
  std::vector<std::string> sounds_;
};

}  // namespace corvane::platform::sim
