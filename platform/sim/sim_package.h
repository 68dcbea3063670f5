// An installer package as the simulated installer session sees it: the rows of the tables it
// acts on (Property, LaunchCondition, Directory, Component, File, Media, Registry), the
// summary's package code and platform, and the helpers of a session: the property command line,
// the simple conditions, the [PROPERTY] formatting and the directory tree.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/installer.h"
#include "platform/sim/machine.h"

namespace corvane::platform::sim {

// Installer return codes of the session beyond those the engine tells apart.
namespace session_result {
constexpr uint32_t kUnknownProduct = 1605;
constexpr uint32_t kPackageOpenFailed = 1619;
constexpr uint32_t kPackageInvalid = 1620;
constexpr uint32_t kPatchOpenFailed = 1635;
constexpr uint32_t kPatchInvalid = 1636;
constexpr uint32_t kInvalidCommandLine = 1639;
constexpr uint32_t kPatchTargetNotFound = 1642;
}  // namespace session_result

// Properties by name (names are case-sensitive, as the installer keeps them).
using PropertyMap = std::map<std::string, std::string>;

struct PackageDirectory {
  std::string parent;
  std::string default_dir;
};
struct PackageComponent {
  std::string directory;
  int32_t attributes = 0;
  bool Is64Bit() const { return (attributes & 0x100) != 0; }
};
struct PackageFile {
  std::string key;
  std::string component;
  std::string name;  // the long name
  int32_t size = 0;
  int32_t sequence = 0;
  int32_t attributes = 0;
  // Whether the file comes from a cabinet: its own compressed or uncompressed bit, else what the
  // package's word count says of all its files.
  bool Compressed(int32_t word_count) const {
    if (attributes & 0x4000) return true;   // msidbFileAttributesCompressed
    if (attributes & 0x2000) return false;  // msidbFileAttributesNoncompressed
    return (word_count & 2) != 0;
  }
};
struct PackageMedia {
  int32_t last_sequence = 0;
  std::string cabinet;  // "#stream" for an embedded cabinet
};
struct PackageRegistry {
  int32_t root = 0;  // -1 by ALLUSERS, 0 HKCR, 1 HKCU, 2 HKLM, 3 HKU
  std::string key, name, value;
  bool has_name = false, has_value = false;
  std::string component;
};
struct PackageShortcut {
  std::string directory;  // Directory_
  std::string name;       // the long form of Name
  std::string component;
  std::string target;     // a formatted text ("[INSTALLDIR]readme.txt") or a feature
  std::string description;
};
struct LaunchCondition {
  std::string condition, description;
};

class Package {
 public:
  // Reads the package at a host path: 0, or kPackageOpenFailed when it cannot be opened as a
  // database, kPackageInvalid when it has no Property table or product code.
  uint32_t Load(const std::filesystem::path& host_path);

  const PropertyMap& properties() const { return properties_; }
  const std::string& product_code() const { return product_code_; }
  const std::string& package_code() const { return package_code_; }  // summary revision
  // The platform of the summary's template ("Intel", "x64", ...).
  const std::string& platform() const { return platform_; }
  const std::vector<LaunchCondition>& conditions() const { return conditions_; }
  const std::map<std::string, PackageDirectory>& directories() const { return directories_; }
  const std::map<std::string, PackageComponent>& components() const { return components_; }
  const std::vector<PackageFile>& files() const { return files_; }
  const std::vector<PackageMedia>& media() const { return media_; }
  const std::vector<PackageRegistry>& registry() const { return registry_; }
  const std::vector<PackageShortcut>& shortcuts() const { return shortcuts_; }
  // The summary's word count: 2 compressed sources, 0 loose files beside the package.
  int32_t word_count() const { return word_count_; }
  // Where a directory's loose source files lie, relative to the package's folder ("" or
  // "Name\Sub\"): each directory's source name (the part of its DefaultDir after ':', its
  // long form), "." and the root adding nothing.
  std::string SourceFolder(const std::string& directory) const;

  // The data of an embedded stream; false when the package has none of that name.
  bool ReadStream(const std::string& name, std::string* data);

 private:
  std::unique_ptr<InstallerDatabase> db_;
  PropertyMap properties_;
  std::string product_code_, package_code_, platform_;
  int32_t word_count_ = 0;
  std::vector<LaunchCondition> conditions_;
  std::map<std::string, PackageDirectory> directories_;
  std::map<std::string, PackageComponent> components_;
  std::vector<PackageFile> files_;
  std::vector<PackageMedia> media_;
  std::vector<PackageRegistry> registry_;
  std::vector<PackageShortcut> shortcuts_;
};

// Splits a property command line: NAME=VALUE pairs separated by blanks; a value may be quoted,
// "" inside quotes standing for one quote. False for a word without "=" or an open quote.
bool ParseCommandLine(const std::string& line,
                      std::vector<std::pair<std::string, std::string>>* pairs);

// Evaluates a condition in one of the simple forms PROP, NOT PROP, PROP = "v", PROP <> "v", 1
// and 0. Any other form counts as true: the simulated session does not judge what it cannot
// read.
bool EvaluateCondition(const std::string& condition, const PropertyMap& properties);

// Replaces [NAME] by the property's value, [#file] by a file's path, [$component] by its
// directory, [\x] by x and [~] by a null character; anything else is left as written.
std::string FormatText(const std::string& text, const PropertyMap& properties,
                       const std::map<std::string, std::string>& file_paths,
                       const std::map<std::string, std::string>& component_dirs);

// The path of every directory of the package (each ending with a backslash): TARGETDIR is the
// TARGETDIR property or ROOTDRIVE (C:\), the system folders are the machine's, a directory
// whose name is set as a property is that property's value, any other is its parent's path and
// its own target name.
std::map<std::string, std::string> ResolveDirectories(const Package& package,
                                                      const PropertyMap& properties,
                                                      const MachineDescription& machine);

}  // namespace corvane::platform::sim
