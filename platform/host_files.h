// Files and folders of the host file system, for code that writes below a folder it was given
// (the archive library): nothing here follows a symbolic link, junction or other reparse point
// found at the path it is handed. Paths are std::filesystem paths (UTF-16 on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
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

// Gives the file or folder at p the read-only, hidden, system and archive bits of a Windows
// attribute word (the other bits are ignored). Windows keeps all four; a POSIX host has only the
// read-only mark, which becomes a file without write permission (a folder keeps its permissions,
// as Windows ignores the mark on folders too). Nothing is done through a link: false when p is
// one, is missing, or the system refuses.
bool SetHostAttributes(const std::filesystem::path& p, uint32_t windows_attributes);

// The Windows attribute word of the file or folder at p itself: what Windows keeps; on a POSIX
// host the directory bit and a read-only mark for a file without owner write permission. False
// when nothing is there.
bool GetHostAttributes(const std::filesystem::path& p, uint32_t* windows_attributes);

// The last-write time of the file or folder at p itself, as a FILETIME. False when nothing is
// there.
bool GetHostWriteTime(const std::filesystem::path& p, uint64_t* filetime);

// Sets the last-write time of the file or folder at p itself (never what a link points to) to a
// FILETIME (100 ns since 1601-01-01 UTC). False when p is a link, is missing, or the system
// refuses.
bool SetHostWriteTime(const std::filesystem::path& p, uint64_t filetime);

}  // namespace corvane::platform
