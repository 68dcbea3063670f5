// Reading INI files (GetPrivateProfileString).
//
// A file name without a folder is looked up in the Windows folder, as the system does. Section and
// key names are compared ignoring letter case; the value is the text after the first "=" of the
// first matching key in the first matching section, blanks removed at both ends and one pair of
// enclosing double or single quotes removed. Calls may be made from any thread.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace corvane::platform {

class Platform;

class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  // The value, truncated to buffer_size - 1 characters; `fallback` when the file, the section or
  // the key is missing.
  virtual std::string GetString(const std::string& file, const std::string& section,
                                const std::string& key, const std::string& fallback,
                                size_t buffer_size) = 0;
};

// The reader of this build (GetPrivateProfileStringA, or the simulation's over FileSystem).
std::unique_ptr<ProfileReader> CreateProfileReader(Platform& platform);

// The lookup itself over the bytes of an INI file, as the simulation does it. A file that starts
// with a UTF-16 byte order mark (little- or big-endian) is read as UTF-16 text and the value comes
// back in the code page; any other file is taken as 8-bit text.
std::string LookupProfileString(std::string_view file_bytes, std::string_view section,
                                std::string_view key, std::string_view fallback);

// Whether a profile file name has no folder part (it then lives in the Windows folder).
bool IsBareProfileName(std::string_view file);

}  // namespace corvane::platform
