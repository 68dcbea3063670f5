// Files and folders of the host file system, for code that writes below a folder it was given
// (the archive library): nothing here follows a symbolic link, junction or other reparse point
// found at the path it is handed. Paths are std::filesystem paths (UTF-16 on Windows).
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

namespace corvane::platform {

enum class HostKind { kMissing, kFile, kFolder, kLink, kOther };

// What is at p itself. A symbolic link, a junction or any other reparse point is kLink, whatever
// it points to; kOther is anything else that is not a plain file or folder, or a path that cannot
// be examined.
HostKind HostKindOf(const std::filesystem::path& p);

// A file made new for writing. The object closes it when it goes away; it never deletes it.
class HostNewFile {
 public:
  // Creates p; nullptr when anything (a dangling link included) is already there, or the file
  // cannot be created.
  static std::unique_ptr<HostNewFile> Create(const std::filesystem::path& p);
  virtual ~HostNewFile() = default;
  // False when not all bytes could be written (a full disk, an I/O error).
  virtual bool Write(const void* data, size_t n) = 0;
  // Flushes and closes; false when that fails. Further writes fail.
  virtual bool Close() = 0;
};

// Moves the file from over to (a file, or nothing). A link at to is replaced, never written
// through. Where the system refuses to replace a read-only file, the mark is cleared on to first,
// and only when to is no link. False when the file could not be moved; from is then left as it
// was.
bool ReplaceHostFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace corvane::platform
