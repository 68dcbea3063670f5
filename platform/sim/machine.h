// The description of a simulated machine: the facts that the system service reports, read from
// the text file "machine.txt" of the machine folder. Every key is optional; a missing file or key
// gives the default (Windows 10 x64, a 32-bit engine process, an English locale).
//
// The file holds "key = value" lines in UTF-8; "#" starts a comment line. Keys:
//   windows.version = 10.0.19045       windows.product_type = 1    windows.service_pack =
//   windows.64bit = true               process.64bit = false
//   computer = WORKSTATION             user = User (may hold letters outside the code page)
//   user.admin = true                  (the engine runs elevated with administrator rights)
//   windows_folder = C:\Windows
//   temp_folder = C:\Users\User\AppData\Local\Temp\ (a trailing backslash is added when missing;
//                 may hold letters outside the code page)
//   module_path = C:\Users\User\Downloads\setup.exe
//   current_folder = C:\Users\User\Downloads
//   locale.short_date = M/d/yyyy       locale.time = h:mm:ss tt
//   locale.language = 1033             (the user locale's language identifier, decimal;
//                                       2055 is Swiss German)
//   locale.default_language = 1033     (its default language identifier; default the
//                                       locale's language)
//   uptime_ms = 3600000                clock = 2025-01-31 14:05:09 (fixed; default host time)
//   disk.C.total = 274877906944        disk.C.free = 107374182400
//   env.NAME = value                   (adds or replaces a variable of the initial block;
//                                       an empty value removes it)
//   windows.platform = nt              (or 9x: the older family, platform id 1)
//   user.groups = Administrators, Users (built-in groups of the token, also Guests and
//                                       Power Users; default Administrators and Users with
//                                       user.admin, Users without)
//   user.elevated = true               (the token is elevated; default user.admin)
//   user.domain = WORKSTATION          (domain of the account; default the computer name)
//   memory = 8589934592                (bytes of physical memory)
//   screen = 1920x1080                 screen.bits = 32    screen.dpi = 96 (-1: no display)
//   tablet_pc = false                  media_center = false
//   processor = amd64                  (native architecture x86, ia64, amd64 or a number;
//                                       default amd64 on 64-bit Windows, else x86)
//   vm = none                          (or vmware, virtualpc: what a processor probe finds)
//   language = 1033                    language.name = English (United States)
//   cdrom = D                          (first CD-ROM drive letter; empty for none)
//   owner = User                       organization =   (registered owner and organization;
//                                       default owner the user name)
//   browser.version = 11.0.19041.1     (the browser version in the registry; empty: none)
//   drive.D = removable                (the kind of drive D: is: fixed, removable, cdrom, remote
//                                       or ramdisk; a drive the file does not name is fixed)
//   drive.D.eject_after_ms = 5000      (the medium of D: is taken out once the machine's clock
//                                       has run that long since the run started: its files
//                                       are gone, the drive reports "not ready")
//   url_download = true                (the system's URL downloader is there; false: its
//                                       library is missing; lenient: it reports success for
//                                       an error page, a cut body and a server that closes
//                                       without answering, as some systems' downloaders do)
//   restart.refused = false            (a restart request fails, as for a process that may not
//                                       shut the system down)
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace corvane::platform::sim {

struct DiskSize {
  uint64_t total = 256ull << 30;
  uint64_t free = 100ull << 30;
};

struct MachineDescription {
  OsVersion version{10, 0, 19045, 2, 1, 0, 0, ""};
  bool windows64 = true;
  bool process64 = false;
  std::string computer = "WORKSTATION";
  std::string user = "User";
  bool admin = true;
  std::string windows_folder = "C:\\Windows";
  std::string temp_folder;     // default <profile>\AppData\Local\Temp\ (trailing "\")
  std::string profile;         // default C:\Users\<user>
  // The user name, the temporary folder and the profile as written (UTF-8). Where the code page
  // lacks one of their letters the 8-bit fields above hold '?' for it, as an 8-bit call on the
  // system would; the platform then names those folders by their short forms.
  std::string user_utf8, temp_folder_utf8, profile_utf8;
  std::string module_path;     // default C:\Users\<user>\Downloads\setup.exe
  std::string current_folder;  // default C:\Users\<user>\Downloads
  std::string short_date = "M/d/yyyy";
  std::string time_format = "h:mm:ss tt";
  uint32_t user_language = 1033;
  std::optional<uint32_t> user_default_language;
  uint64_t uptime_ms = 3600000;
  std::optional<LocalTime> clock;
  std::map<char, DiskSize> disks;  // by upper-case drive letter; C: always present
  // Overrides of the initial environment; an empty value removes the variable.
  std::vector<std::pair<std::string, std::string>> env;
  // Account, display, processor and language facts (Complete fills the token's groups, the
  // elevation, the domain and the architecture from the facts above unless the file gave them).
  MachineFacts facts = DefaultFacts();
  std::optional<bool> groups_given, elevated_given, domain_given, architecture_given;
  std::string owner;  // default the user name
  std::string organization;
  std::string browser_version = "11.0.19041.1";
  struct Drive {
    uint32_t type = 3;  // DRIVE_FIXED
    std::optional<uint64_t> eject_after_ms;
  };
  std::map<char, Drive> drives;  // by upper-case letter; the drives the file names
  bool url_download = true;
  bool url_download_lenient = false;
  bool restart_refused = false;

  // The display, memory and language of a machine whose file says nothing about them.
  static MachineFacts DefaultFacts();

  // Texts are 1252; the file is UTF-8. Unknown keys and malformed lines are reported in *error
  // (one line each) and skipped.
  static MachineDescription Parse(const std::string& utf8_text, std::string* error);
  // Fills the defaults that depend on other facts (user folders, drive C:).
  void Complete();
  // The initial environment block of a process on this machine, sorted as Windows keeps it.
  std::vector<std::pair<std::string, std::string>> InitialEnvironment() const;
};

}  // namespace corvane::platform::sim
