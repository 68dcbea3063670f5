// Windows path rules as the simulated machine applies them: full-path resolution, the wildcard
// matching of folder listings and the short names of a folder's entries. Pure text functions, no
// file system access.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform::sim {

// Full path of path against the current folder (a full path such as "C:\Work"), as
// GetFullPathName computes it: "/" counts as "\", repeated separators collapse, "." and ".."
// components are resolved (".." never climbs above the root), a path that does not end in a
// separator loses its trailing dots and blanks, a trailing separator is kept. "\x" is taken on
// the current drive, "D:x" relative to the current folder when it is on D: and to D:\ otherwise.
// UNC paths keep their "\\server\share" root. A path whose last component names a device
// (DeviceName) is that device's own path, "\\.\NUL" spelt as written. Empty for an empty path.
std::string FullPath(std::string_view path, std::string_view current);

// The device that a path's last component names: NUL, CON, PRN, AUX, COM1-COM9 or LPT1-LPT9 in
// any letter case, with any extension, blanks before the extension or the end, and colons after
// the name ignored ("nul", "Nul.tar.gz", "nul .txt", "nul:"). The device name as written ("Nul"),
// empty when the component names no device.
std::string DeviceName(std::string_view component);

// A full drive path split into its drive letter (upper case) and its components.
// False for anything that is not "X:\..." (UNC paths included).
bool SplitDrivePath(std::string_view full, char* drive, std::vector<std::string>* components,
                    bool* trailing_separator = nullptr);

// True when name may be one component of a path (no control characters, none of <>:"/\|?*, not
// empty).
bool IsValidComponent(std::string_view name);

// FindFirstFile wildcard matching, letter case ignored under the 1252 folding: "*" any run of
// characters, "?" one character (or none at the end of the name or before a dot), "*.*" every
// name, a pattern ending in "." names without an extension.
bool MatchesPattern(std::string_view name, std::string_view pattern);

// True when name is a valid 8.3 name, letter case ignored: such a name is its own short name.
bool IsShortName(std::string_view name);

// The short names of the entries of one folder, in the order given: a valid 8.3 name is its
// own; any other gets "BASE~N.EXT" (upper case, characters that a short name cannot hold as "_"),
// numbered from 1 among the names of the same basis in the folder's listing order (by upper-cased
// name), passing over a number whose name another entry holds. No two entries share one.
std::vector<std::string> ShortNames(const std::vector<std::string>& names);

}  // namespace corvane::platform::sim
