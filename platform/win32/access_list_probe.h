// Test support: whether the file system keeps the access lists written to it. Wine derives every
// list from the Unix mode bits and keeps none, so facts about a list written there cannot be read
// back. Written and read with the plain by-name calls, apart from the shell's own code.
#pragma once

#include <string>

namespace corvane::platform::win32 {

// Writes a protected list to a new probe folder inside `folder`, reads it back and removes the
// probe again. False when the list came back unprotected or the probe could not be made.
bool FileSystemKeepsAccessLists(const std::string& folder);

}  // namespace corvane::platform::win32
