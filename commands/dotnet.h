// The .NET commands' pieces worth testing on their own: the strong name of an assembly in the
// global assembly cache, and the framework tools the commands fall back through.
#pragma once

#include <string>
#include <vector>

namespace corvane::commands {

// A strong name written instead of a path: "Name, Version=1.2.3.4, Culture=neutral,
// PublicKeyToken=ab12" (no folder part, a comma, Version= and PublicKeyToken= entries).
struct StrongName {
  std::string name;     // before the first comma
  std::string version;  // after "Version=" up to the next comma
  std::string token;    // after "PublicKeyToken=" up to the next comma
};
// False for a text that is not a strong name (a path, or a name without both entries).
bool ParseStrongName(const std::string& text, StrongName* name);
// "Name\1.2.3.4__ab12\Name.dll": where the assembly lies in a cache folder.
std::string CachedAssemblyPath(const StrongName& name);
// The cache folders below the Windows folder's "assembly\" in the order they are searched.
extern const char* const kAssemblyCacheFolders[4];

// The three frameworks, newest first, and a tool's path below the Windows folder.
extern const char* const kFrameworkVersions[3];
std::string FrameworkTool(const std::string& windows_folder, const char* version,
                          const char* tool);

}  // namespace corvane::commands
