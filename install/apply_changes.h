// The setup-sources routine that Apply Changes, Apply Patch and plug-in actions share,
// and the mapping of a session's outcome to the script's variables.
#pragma once

#include <string>

#include "install/installer_session.h"

namespace corvane::interp {
class CommandContext;
class Session;
}  // namespace corvane::interp

namespace corvane::install {

struct SourceResolution {
  bool install = false;        // in: the session installs (a maintenance install asks for media)
  bool ok = true;              // false: the sources could not be found, the result is "CANCEL"
  std::string data_folder;     // with a trailing backslash
  std::string source_folder;
};

// The folder of the product's registered uninstall program (the folder it was installed from), or
// "" when none is registered.
std::string InstalledSourceFolder(interp::Session& s);

// Finds the setup sources: the folder the product was installed from or the "/p=" folder, the
// marker file named like the product code, and where a run needs missing sources, the folder
// browser. When none is found, LASTERROR and the result variable ("CANCEL") are set.
SourceResolution ResolveSetupSources(interp::CommandContext& ctx, bool patch,
                                     const std::string& result_variable, const std::string& label,
                                     bool install);

// LASTERROR (when there is an error text), the result variable, and REBOOTCOMPUTER for a
// restart.
void SetSessionResult(interp::CommandContext& ctx, const std::string& result_variable,
                      const std::string& label, SessionResult result,
                      const std::string& error_text);

}  // namespace corvane::install
