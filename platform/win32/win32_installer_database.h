// An installer database opened through msi.dll (MsiOpenDatabaseA and the view, record and
// summary information calls).
#pragma once

#include <memory>
#include <string>

#include "platform/installer.h"

namespace corvane::platform::win32 {

// Opens the database at path read-only or in direct mode. Null with *status kNotFound when the
// file is missing, kFailed when it is no database or cannot be opened. The caller has checked
// that msi.dll has every database call (MsiApi::HasDatabaseCalls).
std::unique_ptr<InstallerDatabase> OpenWin32Database(const std::string& path, bool read_only,
                                                     Status* status);

}  // namespace corvane::platform::win32
