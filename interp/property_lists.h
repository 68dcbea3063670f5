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
  // The same for a value that must not outlive the run's installer sessions (a password): it
  // reaches the installer as every other property does, but the engine cache never keeps it, the
  // trace log never shows it, the installer is told to hide it in its log, and the session
  // property file gets it as recorded (a backslash in it is never collapsed).
  void RecordSecretProperty(std::string_view name, std::string_view value);
  bool IsSecret(std::string_view name) const;
  // The names recorded as secret, in order.
  std::vector<std::string> secret_names() const;

  // Pairs waiting for the installer database's Property table; taking them empties the list.
  std::vector<std::pair<std::string, std::string>> TakeDatabaseProperties();
  std::vector<std::pair<std::string, std::string>> database_properties() const;
  void ClearDatabaseProperties();

  // Alternating names and values, kept for the whole run.
  std::vector<std::string> session_properties() const;
  // The same without the secret properties: what the engine cache saves and the trace log shows.
  std::vector<std::string> public_session_properties() const;
  void SetSessionProperties(std::vector<std::string> lines);
  void ClearSessionProperties();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> database_;
  std::vector<std::string> session_;
  std::vector<std::string> secret_names_;
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
