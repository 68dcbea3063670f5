#include "install/database_assemblies.h"

namespace corvane::install {

using platform::InstallerField;
using platform::InstallerRecord;
using platform::Status;

std::vector<DatabaseAssembly> ReadDatabaseAssemblies(platform::Installer& installer,
                                                     const std::string& database) {
  Status status = Status::kFailed;
  std::unique_ptr<platform::InstallerDatabase> db =
      installer.OpenDatabase(database, /*read_only=*/true, &status);
  if (!db) return {};
  std::vector<InstallerRecord> rows;
  if (db->Run("SELECT * FROM `MsiAssembly`", {}, &rows) != Status::kOk) return {};
  std::vector<std::string> names, versions;
  for (const InstallerRecord& row : rows) {
    if (row.empty()) continue;
    // The component travels as a record field: a key with an apostrophe is looked up as it is.
    const InstallerField component = InstallerField::Text(row[0].AsText());
    for (auto [kind, list] : {std::pair<const char*, std::vector<std::string>*>{"Name", &names},
                              {"Version", &versions}}) {
      std::vector<InstallerRecord> values;
      if (db->Run("SELECT `Value` FROM `MsiAssemblyName` WHERE `Component_` = ? AND `Name` = ?",
                  {component, InstallerField::Text(kind)}, &values) != Status::kOk) {
        return {};
      }
      for (const InstallerRecord& v : values) {
        if (!v.empty()) list->push_back(v[0].AsText());
      }
    }
  }
  if (names.empty() || names.size() != versions.size()) return {};
  std::vector<DatabaseAssembly> out;
  for (size_t i = 0; i < names.size(); ++i) out.push_back({names[i], versions[i]});
  return out;
}

uint32_t RemoveDatabaseAssemblies(platform::Installer& installer, const std::string& database,
                                  const std::string& tool, const AssemblyToolRunner& run) {
  uint32_t result = 0;
  for (const DatabaseAssembly& a : ReadDatabaseAssemblies(installer, database)) {
    result = run(tool, "/u " + a.name + ",Version=" + a.version);
  }
  return result;
}

}  // namespace corvane::install
