// Writes selected entries of an archive below a destination folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace corvane::archive {

struct ExtractOptions {
  std::filesystem::path destination;
  bool strip_folders = false;  // every file lands directly in the destination
  // Entry path (8-bit), bytes done and total of all selected entries; false stops with
  // kErrorCancelled. Called as each entry starts and at least every few megabytes.
  std::function<bool(const std::string&, uint64_t, uint64_t)> progress;
  // Asked before an entry is written; false stops with kErrorCancelled.
  std::function<bool(const std::string&)> go_on;
  // Asked when the target file exists: true overwrites it, false keeps it and skips the entry.
  std::function<bool(const std::filesystem::path&, const std::string&)> overwrite;
};

// Checks every selected entry's path first (kErrorIllegalPath for a link or a name that could
// leave the destination, before anything is written), then creates folders and empty files and
// decodes the data. Throws ArchiveError.
void ExtractEntries(Archive& archive, const std::vector<bool>& selected, const ExtractOptions& o);

}  // namespace corvane::archive
