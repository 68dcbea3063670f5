// Checks made before a command deletes at once what a script names: a folder searched and emptied
// recursively, a registry key taken with its subkeys. A script path built from a variable that is
// empty at run time names something far larger than its author meant ("$APPDIR$\*.*" becomes the
// root of the drive, "...\Uninstall\$CODE$" the whole Uninstall key); these are refused.
#pragma once

#include <string>
#include <string_view>

#include "interp/variables.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace corvane::commands {

// Why the folder part of a recursive deletion pattern may not be searched, or the empty text when
// it may: it is empty or relative, a drive or share root, one of the system's own folders (the
// Windows and system folders, the program folders, ProgramData, the Users folder and each profile
// in it, the special folders of the user) or a folder that holds one of them. "/" counts as "\",
// doubled backslashes as one, "." and ".." are resolved; letter case does not matter.
std::string RefusedDeletionFolder(platform::Platform& platform, std::string_view folder);

// The engine's one routine for deleting a folder it made itself (a staging folder, a block's
// folder in the engine cache): `folder` must lie strictly below `owner`, the folder it was made
// in, and pass RefusedDeletionFolder. Links are removed, never followed. With contents_only the
// folder is emptied (three passes, as files a scanner held may go on the second) and kept.
// Returns false, deleting nothing, when the folder is refused; a folder that is not there is
// nothing to delete (true).
bool DeleteOwnFolder(platform::Platform& platform, const std::string& folder,
                     const std::string& owner, bool contents_only = false);

// True when `raw` (a parameter as written) holds a $NAME$ reference to a defined variable that
// expands to the empty text.
bool HasEmptyReference(const interp::Variables& variables, std::string_view raw);

// Why a key path (after expansion) may not be used to delete: an empty component (a leading,
// trailing or doubled backslash) or, when `whole_key`, a key shared by the system and other
// products (a root, a key right below a root other than HKEY_CLASSES_ROOT, a key whose last name
// is one of the well-known shared keys such as Software, Microsoft, Uninstall or Run). Empty
// when the path may be used.
std::string RefusedRegistryKey(platform::RegRoot root, std::string_view key, bool whole_key);

}  // namespace corvane::commands
