// The archive file on disk and the packed streams inside it. Several packed streams may be read
// in turn (a four-input branch converter pulls from all of them); each keeps its own position.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

#include "archive/stream.h"

namespace corvane::archive {

class ArchiveFile {
 public:
  // Throws kErrorNotFound when the file cannot be opened.
  explicit ArchiveFile(const std::filesystem::path& path);
  // An archive held in memory (owned by the caller, alive as long as this object).
  ArchiveFile(const uint8_t* data, size_t size) : memory_(data), size_(size) {}
  uint64_t size() const { return size_; }
  // Reads exactly n bytes at offset; throws kErrorData when the file is shorter.
  void ReadAt(uint64_t offset, uint8_t* buffer, size_t n);

 private:
  std::ifstream file_;
  const uint8_t* memory_ = nullptr;
  uint64_t size_ = 0;
};

class PackStream : public InStream {
 public:
  PackStream(ArchiveFile& file, uint64_t offset, uint64_t size);
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  ArchiveFile& file_;
  uint64_t offset_, left_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, end_ = 0;
};

}  // namespace corvane::archive
