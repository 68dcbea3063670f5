// Shell-level services: the special folders of the user and the machine, the administrator
// check, deletion at the next restart, folder compression and the protection of per-machine
// folders. Every call may be made from any thread.
#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

enum class SpecialFolder {
  kCommonAppData,  // CSIDL_COMMON_APPDATA: application data of all users
  kLocalAppData,   // CSIDL_LOCAL_APPDATA: the user's local (non-roaming) application data
  kAppData,        // CSIDL_APPDATA: the user's roaming application data
  kProgramFiles,   // CSIDL_PROGRAM_FILES (the process's own bitness)
  kCommonFiles,    // CSIDL_PROGRAM_FILES_COMMON
  kDesktop,        // CSIDL_DESKTOPDIRECTORY: the user's desktop folder
};

// The facts of an access list that the engine relies on for its per-machine folders.
struct AccessFacts {
  // The list takes no entries from the folder above (it is protected).
  bool protected_list = false;
  // An allowing entry for an account other than SYSTEM, Administrators and the installer
  // service grants more than reading and running (writing, adding, deleting, changing the
  // list or the owner); also true for a folder without an access list.
  bool others_may_change = false;
  // Users may read and run what is there.
  bool users_may_read = false;
};

class Shell {
 public:
  virtual ~Shell() = default;

  // The path of a special folder with a trailing backslash (SHGetFolderPath, current value), in
  // the 8-bit form that SystemInfo's paths have (short form where the code page lacks a letter).
  // kNotFound with an empty path when the system has no such folder.
  virtual Status GetSpecialFolder(SpecialFolder folder, std::string* path) = 0;

  // True when the process runs with administrator rights: on Windows Vista and later the token
  // must be elevated, before that it must hold the Administrators group. Always false on the
  // older (non-NT) platform.
  virtual bool IsAdministrator() = 0;

  // Schedules a file, or an empty folder, for deletion at the next restart (MoveFileExA with
  // MOVEFILE_DELAY_UNTIL_REBOOT). kNotFound when the path does not exist now; kAccessDenied when
  // the process may not schedule it (it needs administrator rights on Windows).
  virtual Status DeleteAtRestart(const std::string& path) = 0;

  // Switches file-system compression of a file or folder on or off (the set-compression control
  // 0x9C040 with format 2 or 0). kNotFound for a missing path; kFailed when the volume does not
  // support compression.
  virtual Status SetCompression(const std::string& path, bool compressed) = 0;

  // A folder that standard users may read but not change (the engine's per-machine folders).
  // Creates `path`, whose parent must exist, owned by the Administrators group with a protected
  // access list: SYSTEM and Administrators full control, Users read and run, inherited by all that
  // is created inside. A folder that is already there keeps its contents and gets that list when
  // its owner is trusted (IsTrustedOwner); one with another owner is left as it is, kAccessDenied.
  // kAccessDenied too without administrator rights: nothing is created then.
  virtual Status CreateProtectedFolder(const std::string& path) = 0;
  // Whether the owner of an existing file or folder is trusted: the Administrators group, SYSTEM,
  // the installer service, or the process's own user when the process has administrator rights.
  // kNotFound for a missing path.
  virtual Status IsTrustedOwner(const std::string& path, bool* trusted) = 0;
  // The access list facts of an existing file or folder. kNotFound for a missing path.
  virtual Status GetAccessFacts(const std::string& path, AccessFacts* facts) = 0;

  // A shell folder by its CSIDL number (0x05 My Documents, 0x2E Common Documents, ...), with a
  // trailing backslash, in the same 8-bit form as GetSpecialFolder. kNotFound with an empty path
  // for a folder the system does not know or has not made.
  virtual Status GetShellFolder(int csidl, std::string* path) {
    path->clear();
    return Status::kNotFound;
  }

  // Starts playing a sound file and returns without waiting for it to end (sndPlaySound with
  // SND_ASYNC). kNotFound for a missing file; kFailed where the system cannot play it.
  virtual Status PlaySoundFile(const std::string& path) {
    (void)path;
    return Status::kFailed;
  }

  // Restarts the computer: the shutdown privilege enabled in the process token (a failure to
  // enable it is no failure here), then ExitWindowsEx(EWX_REBOOT). kOk when the system took the
  // request (the process then ends with the session); otherwise kFailed, and *why says what
  // refused. A platform without one refuses.
  virtual Status RestartComputer(std::string* why) {
    *why = "this platform cannot restart";
    return Status::kFailed;
  }

  // --- shortcuts on the taskbar and the Start menu (main thread; COM is initialised inside)
  // Sets the application identity of a shortcut file (its property store's application-identity
  // property) and saves the file in place. kNotFound for a missing file; kFailed when the
  // system cannot set it.
  virtual Status SetShortcutIdentity(const std::string& shortcut, const std::string& identity) {
    (void)shortcut;
    (void)identity;
    return Status::kFailed;
  }
  // The names of the verbs the shell offers for a file (its folder item's verbs, as the user
  // sees them in its menu, "&" included). kNotFound for a missing file.
  virtual Status ShellVerbs(const std::string& path, std::vector<std::string>* verbs) {
    (void)path;
    verbs->clear();
    return Status::kFailed;
  }
  // Invokes the verb of that name on the file.
  virtual Status InvokeShellVerb(const std::string& path, const std::string& verb) {
    (void)path;
    (void)verb;
    return Status::kFailed;
  }
  // A text of the shell's own resources by number (5386 pin to taskbar, 5387 unpin from
  // taskbar, 5381 pin to Start menu, 5382 unpin from Start menu) in every language the system
  // has (the shell library's own and those of its language resource files).
  virtual std::vector<std::string> ShellTexts(int id) {
    (void)id;
    return {};
  }
};

// The shell of a platform that has none: no special folders, no rights, nothing scheduled.
class NoShell : public Shell {
 public:
  Status GetSpecialFolder(SpecialFolder, std::string* path) override {
    path->clear();
    return Status::kNotFound;
  }
  bool IsAdministrator() override { return false; }
  Status DeleteAtRestart(const std::string&) override { return Status::kFailed; }
  Status SetCompression(const std::string&, bool) override { return Status::kFailed; }
  Status CreateProtectedFolder(const std::string&) override { return Status::kAccessDenied; }
  Status IsTrustedOwner(const std::string&, bool* trusted) override {
    *trusted = false;
    return Status::kFailed;
  }
  Status GetAccessFacts(const std::string&, AccessFacts* facts) override {
    *facts = AccessFacts();
    return Status::kFailed;
  }
};

// Forwards every call to another Shell: derive from it to change one call in a test.
class ShellWrapper : public Shell {
 public:
  explicit ShellWrapper(Shell& target) : target_(target) {}
  Status GetSpecialFolder(SpecialFolder folder, std::string* path) override {
    return target_.GetSpecialFolder(folder, path);
  }
  bool IsAdministrator() override { return target_.IsAdministrator(); }
  Status DeleteAtRestart(const std::string& path) override {
    return target_.DeleteAtRestart(path);
  }
  Status SetCompression(const std::string& path, bool compressed) override {
    return target_.SetCompression(path, compressed);
  }
  Status CreateProtectedFolder(const std::string& path) override {
    return target_.CreateProtectedFolder(path);
  }
  Status IsTrustedOwner(const std::string& path, bool* trusted) override {
    return target_.IsTrustedOwner(path, trusted);
  }
  Status GetAccessFacts(const std::string& path, AccessFacts* facts) override {
    return target_.GetAccessFacts(path, facts);
  }
  Status GetShellFolder(int csidl, std::string* path) override {
    return target_.GetShellFolder(csidl, path);
  }
  Status PlaySoundFile(const std::string& path) override { return target_.PlaySoundFile(path); }
  Status RestartComputer(std::string* why) override { return target_.RestartComputer(why); }
  Status SetShortcutIdentity(const std::string& shortcut, const std::string& identity) override {
    return target_.SetShortcutIdentity(shortcut, identity);
  }
  Status ShellVerbs(const std::string& path, std::vector<std::string>* verbs) override {
    return target_.ShellVerbs(path, verbs);
  }
  Status InvokeShellVerb(const std::string& path, const std::string& verb) override {
    return target_.InvokeShellVerb(path, verb);
  }
  std::vector<std::string> ShellTexts(int id) override { return target_.ShellTexts(id); }

 protected:
  Shell& target_;
};

}  // namespace corvane::platform
