// Installer databases of the simulated machine, opened and edited through libmsi. Texts cross
// over in UTF-8 and come back in the engine's code page; values always travel as bound record
// fields. A database opened for writing keeps its changes in a ".tmp" file beside it until
// Commit renames that over the database; one closed without Commit leaves the file as it was.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/installer.h"

namespace corvane::platform::sim {

// Opens the database at a host path. Null with *status kNotFound when there is no such file,
// kFailed when it is no installer database (with `patch`: no patch package; a patch is always
// opened read-only).
std::unique_ptr<InstallerDatabase> OpenMsiDatabase(const std::filesystem::path& host_path,
                                                   bool read_only, Status* status,
                                                   bool patch = false);

// Run on a database that OpenMsiDatabase opened, with the data of stream columns given as texts.
Status RunReadingStreams(InstallerDatabase& db, const std::string& sql,
                         const InstallerRecord& params, std::vector<InstallerRecord>* rows);

// The number of '?' markers of a statement, those inside quoted texts and names not counted.
size_t CountMarkers(const std::string& sql);

}  // namespace corvane::platform::sim
