#include "archive/stream.h"

#include <algorithm>
#include <cstring>

namespace corvane::archive {

size_t ReadFully(InStream& in, uint8_t* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    size_t got = in.Read(buffer + done, n - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}

size_t MemoryStream::Read(uint8_t* buffer, size_t n) {
  size_t k = std::min(n, size_ - pos_);
  if (k != 0) std::memcpy(buffer, data_ + pos_, k);
  pos_ += k;
  return k;
}

InputBuffer::InputBuffer(InStream& source, size_t capacity) : source_(source), buffer_(capacity) {}

size_t InputBuffer::Fill(size_t want) {
  if (end_ - pos_ >= want || eof_) return end_ - pos_;
  if (pos_ != 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  if (want > buffer_.size()) buffer_.resize(want);
  while (end_ < want && !eof_) {
    size_t got = source_.Read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) eof_ = true;
    end_ += got;
  }
  return end_;
}

}  // namespace corvane::archive
