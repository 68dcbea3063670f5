// The passes over the run's shortcuts around the installer call: the application identities,
// then pinning or unpinning each shortcut of a pin list on the taskbar and the Start menu.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace corvane::install {

struct PinRequest {
  std::string shortcut;  // the shortcut file
  std::string target;    // the file it starts
  bool taskbar = false;
  bool start_menu = false;
  bool pin = true;  // false: unpin
};

// Pins or unpins one shortcut through the shell's own verbs, found by their texts in every
// language the system has. Returns "" when done, "FILE" when neither the shortcut nor its target
// exists, "FAIL" when the shell offered no matching verb (the shortcut files in the user's
// "User Pinned" folders are then made or removed directly, and the operation is repeated for the
// target), "EXCEPT" when the shell failed.
std::string PinShortcut(platform::Platform& platform, const PinRequest& request);

// One pass: every identity (shortcut file, identity) set, then every entry of a pin list
// ("shortcut|flags|target"; flags with "7" for the taskbar and "X" for the Start menu; entries
// with empty flags are skipped) pinned or unpinned. Each result goes to `trace` (may be empty).
void RunShortcutPass(platform::Platform& platform,
                     const std::vector<std::pair<std::string, std::string>>& identities,
                     const std::vector<std::string>& pins, bool pin,
                     const std::function<void(const std::string&)>& trace);

}  // namespace corvane::install
