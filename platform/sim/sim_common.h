// Shared helpers of the simulated platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/status.h"

namespace corvane::platform::sim {

// Returns s; a failure is remembered as the last error of this thread (its Windows code).
Status Record(Status s);
// Remembers an explicit Windows error code for this thread and returns s.
Status RecordError(Status s, uint32_t windows_error);
uint32_t ThreadLastError();

// Host file names hold the UTF-8 form of the 1252 text.
std::filesystem::path HostName(const std::string& text1252);
std::string NameFromHost(const std::filesystem::path& name);

// Reads or replaces a whole host file (the replacement is written beside it and renamed over it).
bool ReadHostFile(const std::filesystem::path& path, std::string* contents);
bool WriteHostFile(const std::filesystem::path& path, const std::string& contents);

}  // namespace corvane::platform::sim
