// Files and folders of the machine the setup runs on.
//
// Paths are Windows paths in the engine's 8-bit code page: "C:\Folder\file.txt", relative paths
// are taken against the current folder of the process (the simulation keeps one too). Letter
// case of paths is not significant. Every call may be made from any thread; a File object
// belongs to the thread that uses it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

// Windows file attribute bits (FILE_ATTRIBUTE_*).
namespace attr {
constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kHidden = 0x2;
constexpr uint32_t kSystem = 0x4;
constexpr uint32_t kDirectory = 0x10;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kNormal = 0x80;
constexpr uint32_t kTemporary = 0x100;
constexpr uint32_t kReparsePoint = 0x400;
constexpr uint32_t kInvalid = 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES
}  // namespace attr

// Drive kinds (DRIVE_* of GetDriveType).
namespace drive {
constexpr uint32_t kUnknown = 0;
constexpr uint32_t kNoRootDir = 1;
constexpr uint32_t kRemovable = 2;
constexpr uint32_t kFixed = 3;
constexpr uint32_t kRemote = 4;
constexpr uint32_t kCdRom = 5;
constexpr uint32_t kRamDisk = 6;
}  // namespace drive

// One entry of a folder listing (what FindFirstFile/FindNextFile report).
struct FileEntry {
  // The entry's own name, no folder part: its short name where the code page cannot spell the
  // long one, so that joined to the folder it names the entry for every call.
  std::string name;
  uint32_t attributes = 0;  // attr:: bits
  uint64_t size = 0;       // 0 for folders
  int64_t last_write = 0;  // FILETIME: 100-ns intervals since 1601-01-01 UTC
};

// Bytes of a file seen in memory. The view stays valid while the object lives, also after the
// file that made it has been closed.
class FileView {
 public:
  virtual ~FileView() = default;
  std::string_view bytes() const { return bytes_; }

 protected:
  std::string_view bytes_;
};

// An open file. Reads and writes move one position; Close is implied by destruction.
class File {
 public:
  virtual ~File() = default;
  // The bytes from `offset` to the end of the file. A file that can map its contents into memory
  // does, so that only the pages read are loaded; otherwise the bytes are read (which moves the
  // position).
  virtual std::shared_ptr<const FileView> ViewFrom(uint64_t offset, Status* status);
  // Reads up to n bytes; *read receives the count (0 at the end of the file).
  virtual Status Read(void* buffer, size_t n, size_t* read) = 0;
  virtual Status Write(const void* data, size_t n) = 0;
  virtual Status Seek(uint64_t offset) = 0;
  virtual Status Size(uint64_t* size) = 0;
  virtual Status Flush() = 0;
  // Cuts the file at the current position (what lies after it is gone).
  virtual Status Truncate() { return Status::kFailed; }
};

enum class OpenMode : uint8_t {
  kRead,          // existing file, read only, shared for reading
  kCreate,        // create or truncate, write
  kCreateNew,     // create, fail with kAlreadyExists if it exists
  kAppend,        // open or create, write at the end
  kReadWrite,     // existing file, read and write
  kExclusiveTemp, // create or open, no sharing; the file is deleted when the last handle closes
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode, Status* status) = 0;

  // Whole-file helpers, built on Open by default: read the whole file; create or truncate and
  // write.
  virtual Status ReadFile(const std::string& path, std::string* contents);
  virtual Status WriteFile(const std::string& path, std::string_view contents);

  // Attributes of a file or folder; attr::kInvalid with kNotFound when it does not exist.
  virtual Status GetAttributes(const std::string& path, uint32_t* attributes) = 0;
  virtual Status SetAttributes(const std::string& path, uint32_t attributes) = 0;
  virtual Status GetFileSize(const std::string& path, uint64_t* size) = 0;
  virtual Status GetLastWriteTime(const std::string& path, int64_t* filetime) = 0;

  // Creates one folder (its parent must exist).
  virtual Status CreateDirectory(const std::string& path) = 0;
  // Removes one empty folder.
  virtual Status RemoveDirectory(const std::string& path) = 0;
  virtual Status DeleteFile(const std::string& path) = 0;
  virtual Status CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) = 0;
  // Renames or moves a file or folder; replace allows overwriting an existing file.
  virtual Status MoveFile(const std::string& from, const std::string& to, bool replace) = 0;

  // Lists the entries of a folder that match a pattern ("*", "*.txt", "a?c.*": the wildcard rules
  // of FindFirstFile). "." and ".." are never reported. Order is the system's order; callers that
  // need an order sort. No match in an existing folder is kOk with no entries; a missing folder
  // is kNotFound. A pattern holding "\" or "/" is kInvalidName: it would list another folder
  // than `folder`, and the names reported could not be joined to it.
  virtual Status List(const std::string& folder, const std::string& pattern,
                      std::vector<FileEntry>* entries) = 0;

  // Current folder of the process (no trailing backslash except for a drive root).
  virtual std::string GetCurrentDirectory() = 0;
  virtual Status SetCurrentDirectory(const std::string& path) = 0;

  // Full path of a possibly relative path, with "." and ".." resolved (GetFullPathName).
  virtual std::string GetFullPath(const std::string& path) = 0;

  // Free and total bytes of the volume holding path.
  virtual Status GetDiskSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total_bytes) = 0;

  // The 64-bit file-system view (Wow64DisableWow64FsRedirection / Wow64RevertWow64FsRedirection).
  // On 64-bit Windows a 32-bit process that names %windir%\System32 reaches %windir%\SysWOW64
  // (a few subfolders excepted, and %windir%\Sysnative names the real System32) until the calling
  // thread switches redirection off. The state belongs to the calling thread. DisableRedirection
  // gives the value to hand back to RevertRedirection; both return false (with the last error set)
  // where the system refuses, as it does for a process that is not redirected.
  virtual bool DisableRedirection(uint64_t* old_value) = 0;
  virtual bool RevertRedirection(uint64_t old_value) = 0;

  // The kind of drive a root ("D:\") names (GetDriveType): drive:: values. A file system that
  // does not override it has fixed disks only.
  virtual uint32_t DriveType(const std::string& root) {
    (void)root;
    return drive::kFixed;
  }

  // Convenience built on the calls above.
  bool FileExists(const std::string& path);       // exists and is not a folder
  bool DirectoryExists(const std::string& path);  // exists and is a folder
  // Creates a folder and every missing parent (ForceDirectories). kOk when it exists already.
  Status CreateDirectories(const std::string& path);
};

// Removes everything below a folder: files lose their attributes and go, subfolders are emptied
// and removed. A link (junction or symbolic link) is removed itself and never followed, so
// nothing outside the folder can be reached through one. Failures leave what could not go.
void DeleteTreeContents(FileSystem& files, const std::string& folder);
// The same, and then the folder itself.
void DeleteTree(FileSystem& files, const std::string& folder);

// Forwards every call to another FileSystem: derive from it to change one call in a test.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, Status* status) override {
    return target_.Open(path, mode, status);
  }
  Status ReadFile(const std::string& path, std::string* contents) override {
    return target_.ReadFile(path, contents);
  }
  Status WriteFile(const std::string& path, std::string_view contents) override {
    return target_.WriteFile(path, contents);
  }
  Status GetAttributes(const std::string& path, uint32_t* attributes) override {
    return target_.GetAttributes(path, attributes);
  }
  Status SetAttributes(const std::string& path, uint32_t attributes) override {
    return target_.SetAttributes(path, attributes);
  }
  Status GetFileSize(const std::string& path, uint64_t* size) override {
    return target_.GetFileSize(path, size);
  }
  Status GetLastWriteTime(const std::string& path, int64_t* filetime) override {
    return target_.GetLastWriteTime(path, filetime);
  }
  Status CreateDirectory(const std::string& path) override { return target_.CreateDirectory(path); }
  Status RemoveDirectory(const std::string& path) override { return target_.RemoveDirectory(path); }
  Status DeleteFile(const std::string& path) override { return target_.DeleteFile(path); }
  Status CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override {
    return target_.CopyFile(from, to, fail_if_exists);
  }
  Status MoveFile(const std::string& from, const std::string& to, bool replace) override {
    return target_.MoveFile(from, to, replace);
  }
  Status List(const std::string& folder, const std::string& pattern,
              std::vector<FileEntry>* entries) override {
    return target_.List(folder, pattern, entries);
  }
  std::string GetCurrentDirectory() override { return target_.GetCurrentDirectory(); }
  Status SetCurrentDirectory(const std::string& path) override {
    return target_.SetCurrentDirectory(path);
  }
  std::string GetFullPath(const std::string& path) override { return target_.GetFullPath(path); }
  Status GetDiskSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total_bytes) override {
    return target_.GetDiskSpace(path, free_bytes, total_bytes);
  }
  bool DisableRedirection(uint64_t* old_value) override {
    return target_.DisableRedirection(old_value);
  }
  bool RevertRedirection(uint64_t old_value) override {
    return target_.RevertRedirection(old_value);
  }
  uint32_t DriveType(const std::string& root) override { return target_.DriveType(root); }

 protected:
  FileSystem& target_;
};

}  // namespace corvane::platform
