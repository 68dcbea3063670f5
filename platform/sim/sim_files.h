// Files and folders of the simulated machine. Drive X: is the host folder MACHINE/drive_x; each
// Windows path is resolved component by component, letter case ignored under the 1252 folding,
// and a new name is stored as the UTF-8 form of its 1252 text. The read-only, hidden, system,
// archive and temporary bits live in MACHINE/attributes.txt, since the host keeps no such bits.
// Open files follow the Windows sharing rules (a file open for writing cannot be opened again for
// writing, nor deleted or moved while open; a no-sharing open excludes every other).
//
// Owners and protected folders live in MACHINE/security.txt: an entry that a standard user's run
// made is owned by that user, every other by the Administrators group. A protected folder
// (ProtectFolder) and everything below it can be changed by administrator runs only, as its
// access list allows on the system.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"

namespace corvane::platform::sim {

class HandleTable;

class SimFileSystem : public FileSystem {
 public:
  SimFileSystem(std::filesystem::path machine_folder, const MachineDescription& machine);
  ~SimFileSystem() override;

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, Status* status) override;
  Status GetAttributes(const std::string& path, uint32_t* attributes) override;
  Status SetAttributes(const std::string& path, uint32_t attributes) override;
  Status GetFileSize(const std::string& path, uint64_t* size) override;
  Status GetLastWriteTime(const std::string& path, int64_t* filetime) override;
  Status CreateDirectory(const std::string& path) override;
  Status RemoveDirectory(const std::string& path) override;
  Status DeleteFile(const std::string& path) override;
  Status CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override;
  Status MoveFile(const std::string& from, const std::string& to, bool replace) override;
  Status List(const std::string& folder, const std::string& pattern,
              std::vector<FileEntry>* entries) override;
  std::string GetCurrentDirectory() override;
  Status SetCurrentDirectory(const std::string& path) override;
  std::string GetFullPath(const std::string& path) override;
  Status GetDiskSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total_bytes) override;
  bool DisableRedirection(uint64_t* old_value) override;
  bool RevertRedirection(uint64_t old_value) override;
  // The kinds the machine description gives its drives (fixed for the others); a drive that is
  // not there has no root directory.
  uint32_t DriveType(const std::string& root) override;

  // The machine's clock in milliseconds, for the media the description takes out of their drives
  // after a while (counted from this call).
  void SetClock(std::function<uint64_t()> milliseconds);
  // Whether the medium of a drive has been taken out.
  bool MediumOut(char drive);

  // The host path that a Windows path names (an existing entry in its stored letter case, or the
  // name a new entry would get); empty when the path cannot be resolved (missing parent folder,
  // unknown drive, malformed name).
  std::filesystem::path HostPath(const std::string& windows_path);

  // Makes the folders of a full path written in UTF-8 (names that the code page may not spell)
  // and gives the path in the 8-bit form the system's calls give for it: each name that the code
  // page spells as it is, any other by its short name. A path that cannot be made comes back
  // with '?' for the letters the code page lacks.
  std::string ReachFolder(const std::string& utf8_path);

  // The shell's protected folders and owners (see platform/shell.h); the run's rights are the
  // machine description's.
  Status ProtectFolder(const std::string& path);
  Status IsTrustedOwner(const std::string& path, bool* trusted);
  Status GetAccessFacts(const std::string& path, AccessFacts* facts);

 private:
  struct Resolved {
    std::string full;            // full Windows path in the entries' own names (the last one as
                                 // written when it does not exist), no trailing separator
                                 // except a root
    std::string key;             // its upper-case form: the key of the attribute store
    std::filesystem::path host;  // host path of the entry (or of the entry to create)
    std::string name;            // the last component as the caller wrote it
    bool trailing_separator = false;
    bool exists = false;
    bool is_dir = false;
    bool is_root = false;
    char drive = 0;
    // A device name ("C:\\any\\nul.txt" is \\.\\NUL): the null device, or one of the console,
    // ports and printers, which the simulated machine does not have.
    enum class Device : uint8_t { kNone, kNull, kAbsent } device = Device::kNone;
  };
  // kOk when the parent folder exists (the entry itself may not), or when the path names a
  // device; kNotFound for a missing drive or parent, kInvalidName for a malformed name.
  Status Resolve(const std::string& path, Resolved* r);
  // The key of the current folder, whichever spelling set it (mu_ not held).
  std::string CurrentKey();
  uint32_t AttributesOf(const Resolved& r);  // mu_ held
  void StoreAttributes(const std::string& key, uint32_t bits, bool is_dir);  // mu_ held
  void MoveAttributes(const std::string& from_key, const std::string& to_key);  // mu_ held
  void DropAttributes(const std::string& key);  // mu_ held
  void SaveAttributes();  // mu_ held
  bool IsReadOnly(const Resolved& r) { return (AttributesOf(r) & attr::kReadOnly) != 0; }
  // Whether this run may change the entry (nothing below a protected folder for a standard
  // user's run); mu_ held.
  bool MayChange(const std::string& key) const;
  bool UnderProtected(const std::string& key) const;  // mu_ held
  // A new entry gets the run's user as its owner (none recorded for an administrator run); a
  // removed one loses its records. mu_ held.
  void NoteCreated(const std::string& key);
  void NoteRemoved(const std::string& key);
  void MoveSecurity(const std::string& from_key, const std::string& to_key);  // mu_ held
  void AppendSecurity(const std::string& line);  // mu_ held
  // The path a 32-bit process reaches on 64-bit Windows while its thread's redirection is on.
  std::string Redirect(const std::string& full) const;
  bool RedirectionOff() const;

  std::filesystem::path machine_;
  std::map<char, DiskSize> disks_;
  std::map<char, MachineDescription::Drive> drives_;
  std::function<uint64_t()> clock_;
  uint64_t clock_start_ = 0;
  std::string windows_folder_;
  bool redirected_process_;  // a 32-bit process on 64-bit Windows
  std::mutex mu_;
  std::string current_;
  std::map<std::string, uint32_t> attributes_;  // by upper-case full path
  const bool admin_;       // the run has administrator rights
  const std::string user_;
  std::map<std::string, std::string> owners_;  // user-owned entries by key: the user's name
  std::set<std::string> protected_;            // keys of protected folders
  std::shared_ptr<HandleTable> handles_;
};

}  // namespace corvane::platform::sim
