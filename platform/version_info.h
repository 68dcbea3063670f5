// File version resources (GetFileVersionInfo / VerQueryValue of the block "\").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace corvane::platform {

class Platform;

// The file version of the fixed version block: major = high word of the most significant double
// word, minor = its low word, release = high word of the least significant one, build = its low
// word.
struct FileVersion {
  uint16_t major = 0, minor = 0, release = 0, build = 0;
  bool operator==(const FileVersion&) const = default;
};

class VersionReader {
 public:
  virtual ~VersionReader() = default;
  // kNotFound when the file does not exist or has no version resource.
  virtual Status GetFileVersion(const std::string& path, FileVersion* version) = 0;
};

std::unique_ptr<VersionReader> CreateVersionReader(Platform& platform);

// Finds the fixed version block in the bytes of a PE image (an executable or library): resource
// directory, RT_VERSION, first name, first language, VS_VERSIONINFO. False when there is none or
// the image is damaged; never reads outside `image`.
bool ParsePeFileVersion(std::string_view image, FileVersion* version);

}  // namespace corvane::platform
