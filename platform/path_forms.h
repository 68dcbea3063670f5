// Short (8.3) path forms and temporary file names.
#pragma once

#include <memory>
#include <string>

#include "platform/status.h"

namespace corvane::platform {

class Platform;

class PathForms {
 public:
  virtual ~PathForms() = default;
  // The short form of an existing path (GetShortPathName); kNotFound when it does not exist.
  // Components that have no short name keep their long name.
  virtual Status GetShortPath(const std::string& path, std::string* short_path) = 0;
  // The name, as the file system spells it, of the first entry that a FindFirstFile of `path`
  // finds: the last component matches long names and short names alike. kNotFound when nothing
  // matches.
  virtual Status FindFirstName(const std::string& path, std::string* name) = 0;
  // Creates a new empty file named prefix (first 3 characters) + hexadecimal number + ".tmp" in
  // `folder` and gives its full path (GetTempFileName with unique number 0).
  virtual Status CreateTempFile(const std::string& folder, const std::string& prefix,
                                std::string* path) = 0;
};

std::unique_ptr<PathForms> CreatePathForms(Platform& platform);

}  // namespace corvane::platform
