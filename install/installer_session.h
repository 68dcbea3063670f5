// The installer session: the command line of each kind of installer call, the preparation of the
// installer database, and the session run on the installer thread while the interpreter thread
// waits (pumping messages, passing a cancel on).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/installer.h"

namespace corvane::interp {
class CommandContext;
}

namespace corvane::install {

// ---- command lines

enum class InstallerCall {
  kPatch,                 // MsiApplyPatch
  kInstallOverAdvertised, // installed, not advertising, an advertise marker in the engine cache
  kReinstall,             // installed
  kAdvertise,             // not installed, advertise only
  kInstall,               // not installed
  kRemove,                // removal on the NT family
};

struct CommandLineParts {
  bool all_users = false;                // ALLUSERS is exactly "TRUE"
  bool disable_rollback = false;         // VORT_DISABLE_ROLLBACK is exactly "TRUE"
  bool disable_restart_manager = false;  // VORT_DISABLE_VISTA_RESTART_MANAGER is exactly "TRUE"
  std::string target_folder;             // TARGETDIR
  std::string data_folder;               // short form where there is one
  std::string package_folder;            // short form where there is one
  std::string source_folder;             // patches: the setup sources
  std::string media_path;                // parent of the data folder, no drive, trailing "\"
  bool quote_data = false;               // the data folder had no short form or has a blank
  bool quote_package = false;
  bool quote_source = false;
};

// The media path of a data folder: its parent folder without the drive part, with a trailing
// backslash ("C:\A\B\data\" gives "\A\B\").
std::string MediaPathOf(const std::string& data_folder);

std::string BuildCommandLine(InstallerCall call, const CommandLineParts& parts);

// The text of a failed installer call: the system's message without trailing blanks, control
// characters and full stops.
std::string TrimErrorText(std::string text);

// ---- the session

struct SessionRecord {
  std::string package;  // full path of the database in the support folder, or of the patch
  bool patch = false;
  bool install = false;
  bool advertise = false;
  std::string target_folder;
  std::string product_code;
  std::string data_folder;    // with a trailing backslash
  std::string source_folder;  // the setup sources folder
  // out
  bool called = false;  // the installer was called (not cancelled before)
  bool reboot_needed = false;
  bool failed = false;
  std::string error_text;
  std::string last_message;
};

enum class SessionResult { kCancelled = 0, kComplete = 1, kRestart = 2, kFailed = -1 };

// Runs one installer session for the current command and waits for it: `dialog_file` (may be
// empty) is the progress dialog's definition file, whose folder becomes the current folder
// meanwhile.
SessionResult RunInstallerSession(interp::CommandContext& ctx, SessionRecord& record,
                                  const std::string& dialog_file);

// How long the installer thread waits before calling again while another installation runs
// (3141 ms; tests shorten it).
void SetInstallerBusyRetryInterval(std::chrono::milliseconds interval);

// The installer's packed form of a product code (the compressed GUID of its registry keys).
std::string PackedProductCode(const std::string& product_code);

}  // namespace corvane::install
