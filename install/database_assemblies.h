// The assemblies that an installer database installs, and their removal with an assembly tool:
// the routine behind "Remove Assemblies".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/installer.h"

namespace corvane::install {

struct DatabaseAssembly {
  std::string name;
  std::string version;
};

// The assemblies of a database in the order of its MsiAssembly rows: each component's "Name" and
// "Version" rows of MsiAssemblyName. Empty when the database or a table cannot be read, and when
// the names and versions do not pair up (a component with one but not the other).
std::vector<DatabaseAssembly> ReadDatabaseAssemblies(platform::Installer& installer,
                                                     const std::string& database);

// Runs a tool with its arguments and returns its exit code.
using AssemblyToolRunner =
    std::function<uint32_t(const std::string& tool, const std::string& arguments)>;

// Runs the tool once per assembly of the database with "/u NAME,Version=VERSION"; the exit code
// of the last run, 0 when nothing ran.
uint32_t RemoveDatabaseAssemblies(platform::Installer& installer, const std::string& database,
                                  const std::string& tool, const AssemblyToolRunner& run);

}  // namespace corvane::install
