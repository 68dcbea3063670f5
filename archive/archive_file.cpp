#include "archive/archive_file.h"

#include <algorithm>
#include <cstring>

#include "archive/errors.h"

namespace corvane::archive {
namespace {
constexpr size_t kSmallReadBuffer = size_t{1} << 16;
}

ArchiveFile::ArchiveFile(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) Fail(kErrorNotFound, "archive not found");
  file_.open(path, std::ios::binary);
  if (!file_) Fail(kErrorNotFound, "archive cannot be opened");
  file_.seekg(0, std::ios::end);
  size_ = static_cast<uint64_t>(file_.tellg());
}

void ArchiveFile::ReadAt(uint64_t offset, uint8_t* buffer, size_t n) {
  if (offset > size_ || n > size_ - offset) DataError("archive truncated");
  if (memory_ != nullptr) {
    std::memcpy(buffer, memory_ + offset, n);
    return;
  }
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(n));
  if (static_cast<size_t>(file_.gcount()) != n) DataError("archive read failed");
}

PackStream::PackStream(ArchiveFile& file, uint64_t offset, uint64_t size)
    : file_(file), offset_(offset), left_(size) {}

size_t PackStream::Read(uint8_t* buffer, size_t n) {
  if (pos_ == end_) {
    if (left_ == 0) return 0;
    if (n >= kSmallReadBuffer) {  // large reads go straight to the caller
      size_t k = static_cast<size_t>(std::min<uint64_t>(n, left_));
      file_.ReadAt(offset_, buffer, k);
      offset_ += k;
      left_ -= k;
      return k;
    }
    if (buf_.empty()) buf_.resize(kSmallReadBuffer);
    size_t k = static_cast<size_t>(std::min<uint64_t>(buf_.size(), left_));
    file_.ReadAt(offset_, buf_.data(), k);
    offset_ += k;
    left_ -= k;
    pos_ = 0;
    end_ = k;
  }
  size_t k = std::min(n, end_ - pos_);
  std::memcpy(buffer, buf_.data() + pos_, k);
  pos_ += k;
  return k;
}

}  // namespace corvane::archive
