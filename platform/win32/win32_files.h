// Files and folders through the Win32 file API.
#pragma once

#include "platform/files.h"

namespace corvane::platform::win32 {

class Win32FileSystem : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, Status* status) override;
  Status GetAttributes(const std::string& path, uint32_t* attributes) override;
  Status SetAttributes(const std::string& path, uint32_t attributes) override;
  Status GetFileSize(const std::string& path, uint64_t* size) override;
  Status GetLastWriteTime(const std::string& path, int64_t* filetime) override;
  Status CreateDirectory(const std::string& path) override;
  Status RemoveDirectory(const std::string& path) override;
  Status DeleteFile(const std::string& path) override;
  Status CopyFile(const std::string& from, const std::string& to, bool fail_if_exists) override;
  Status MoveFile(const std::string& from, const std::string& to, bool replace) override;
  Status List(const std::string& folder, const std::string& pattern,
              std::vector<FileEntry>* entries) override;
  std::string GetCurrentDirectory() override;
  Status SetCurrentDirectory(const std::string& path) override;
  std::string GetFullPath(const std::string& path) override;
  Status GetDiskSpace(const std::string& path, uint64_t* free_bytes, uint64_t* total_bytes) override;
  bool DisableRedirection(uint64_t* old_value) override;
  bool RevertRedirection(uint64_t old_value) override;
  uint32_t DriveType(const std::string& root) override;
};

}  // namespace corvane::platform::win32
