// Writes selected entries of an archive below a destination folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace corvane::archive {

// The most an extraction decodes, as a multiple of the archive's size, unless told otherwise:
// far above what real data reaches (long runs of zeros pack to about 7000 to 1), far below what
// chained coders or a lying header can announce.
constexpr uint64_t kDefaultOutputRatio = 10000;
// Whatever the ratio, an archive may always decode this much.
constexpr uint64_t kOutputFloor = uint64_t{1} << 20;

struct ExtractOptions {
  std::filesystem::path destination;
  bool strip_folders = false;  // every file lands directly in the destination
  // The bytes the call may decode (the selected entries and what precedes them in their solid
  // blocks), as a multiple of the archive's size; 0 lifts the cap.
  uint64_t max_output_ratio = kDefaultOutputRatio;
  // Entry path (8-bit), bytes done and total of all selected entries; false stops with
  // kErrorCancelled. Called as each entry starts and at least every few megabytes.
  std::function<bool(const std::string&, uint64_t, uint64_t)> progress;
  // Asked before an entry is written; false stops with kErrorCancelled.
  std::function<bool(const std::string&)> go_on;
  // Asked when the target file exists: true overwrites it, false keeps it and skips the entry.
  std::function<bool(const std::filesystem::path&, const std::string&)> overwrite;
};

// Before anything is written: checks every selected entry's path (kErrorIllegalPath for a link
// entry, a name that could leave the destination, or two entries that Windows would take for the
// same file: the same name up to letter case and trailing dots and blanks), refuses a link met
// in the part of the tree that already exists (kErrorIllegalPath), and compares the announced
// sizes with the ratio cap (kErrorLimit) and the destination drive's free space (kErrorWrite).
// Then creates folders and files one component at a time, refusing any link found below the
// destination, and decodes the data. Each file is written under a fresh name in its folder and
// renamed over its target only once its data and CRC are checked: on any failure the file in
// progress is removed and an existing target is left as it was. Throws ArchiveError.
void ExtractEntries(Archive& archive, const std::vector<bool>& selected, const ExtractOptions& o);

}  // namespace corvane::archive
