// Installer property lists: the properties that installer-table commands record for the next
// installer run, the reserved installer property names, and the session property file.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/status.h"

namespace corvane::interp {

class Variables;

class InstallerProperties {
 public:
  // Appends name and value (line breaks carried as "$NEWLINE$") to both lists.
  void RecordInstallerProperty(std::string_view name, std::string_view value);

  // Pairs waiting for the installer database's Property table; taking them empties the list.
  std::vector<std::pair<std::string, std::string>> TakeDatabaseProperties();
  std::vector<std::pair<std::string, std::string>> database_properties() const;
  void ClearDatabaseProperties();

  // Alternating names and values, kept for the whole run (saved with the engine cache).
  std::vector<std::string> session_properties() const;
  void SetSessionProperties(std::vector<std::string> lines);
  void ClearSessionProperties();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> database_;
  std::vector<std::string> session_;
};

// The installer property names that script variables never override (207 entries, a few twice).
extern const char* const kReservedPropertyNames[207];
bool IsReservedPropertyName(std::string_view name);

enum class SessionKind { kInstall, kRemove, kPatch };

struct SessionPropertyFileInput {
  SessionKind kind = SessionKind::kInstall;
  std::string temp_folder;   // the user's temporary folder, with a trailing backslash
  std::string product_code;  // the file name ("{...}")
  std::string data_folder;
  std::string source_folder;
  std::string media_path;
};

// The path of the session property file.
std::string SessionPropertyFilePath(const SessionPropertyFileInput& input);

// The contents of the session property file: records of name, value and "$ex", CR LF lines.
std::string BuildSessionPropertyFile(const SessionPropertyFileInput& input,
                                     const InstallerProperties& properties,
                                     const Variables& variables, platform::FileSystem& files);

// Writes / deletes the file in the temporary folder.
platform::Status WriteSessionPropertyFile(const SessionPropertyFileInput& input,
                                          const InstallerProperties& properties,
                                          const Variables& variables, platform::FileSystem& files);
platform::Status DeleteSessionPropertyFile(const SessionPropertyFileInput& input,
                                           platform::FileSystem& files);

}  // namespace corvane::interp
