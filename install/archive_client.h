// The engine's side of the archive library: loading zel.lib and the two routines that every
// listing and extraction goes through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/zel_api.h"
#include "platform/library.h"

namespace corvane::install {

// The library's four operations.
class ArchiveLibrary {
 public:
  // Loads the library from its full path; nullptr with *error when it cannot be loaded or lacks
  // one of the operations.
  static std::unique_ptr<ArchiveLibrary> Load(const std::string& path, std::string* error);

  ZelOpenListArchive open_list = nullptr;
  ZelCloseListArchive close_list = nullptr;
  ZelExtractArchive extract = nullptr;
  ZelGetLastArchiveError last_error = nullptr;
  // Optional (a library without it keeps its own cap): the output cap of later extractions.
  ZelSetArchiveOutputRatio set_output_ratio = nullptr;

 private:
  std::unique_ptr<platform::SharedLibrary> library_;
};

// Message for a failed listing, by the library's failure number.
std::string ListingFailureMessage(int code);
// The listing message that media extraction recognises as "unsupported or wrong password".
extern const char* const kArchiveCannotBeOpened;

// Lists the entry paths in archive order. On failure *error is the listing message (or the
// message of an exception raised inside) and false is returned.
bool ListArchiveEntries(const ArchiveLibrary& lib, const std::string& archive,
                        const std::string& password, std::vector<std::string>* entries,
                        std::string* error);

// An entry as listed: its path and its Windows attribute bits (0x10 for a folder).
struct ArchiveEntryInfo {
  std::string path;
  uint32_t attributes = 0;
};
// ListArchiveEntries with the attribute bits of every entry.
bool ListArchiveRecords(const ArchiveLibrary& lib, const std::string& archive,
                        const std::string& password, std::vector<ArchiveEntryInfo>* entries,
                        std::string* error);

// Entry path, bytes done, bytes total: false stops the extraction.
using ArchiveProgress = std::function<bool(const std::string&, uint64_t, uint64_t)>;

// Extracts targets (all entries when null: the listing, whose failure is returned as is) below
// destination. answer: existing files are overwritten. keep_folders: entries keep their folders.
// On failure *error is "#" and the library's number, or the message of an exception raised
// inside (also one thrown by the progress callback).
bool ExtractArchiveFiles(const ArchiveLibrary& lib, const std::string& archive,
                         const std::string& password, const std::string& destination,
                         const std::vector<std::string>* targets, const ArchiveProgress& progress,
                         bool answer, bool keep_folders, std::string* error);

}  // namespace corvane::install
