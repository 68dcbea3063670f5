#include "archive/lz_window.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/errors.h"

namespace corvane::archive {
namespace {
// Dictionaries up to this size are taken at once (the usual packer settings stay below it);
// beyond it the buffer grows with the data.
constexpr size_t kInitialSize = size_t{32} << 20;
constexpr size_t kSlack = 16;
}  // namespace

uint64_t MaxWindowSize() {
  return sizeof(void*) >= 8 ? (uint64_t{1536} << 20) : (uint64_t{768} << 20);
}

LzWindow::LzWindow(uint64_t dict_size) {
  if (dict_size == 0) dict_size = 1;
  if (dict_size > MaxWindowSize()) Fail(kErrorLimit, "dictionary too large");
  dict_size_ = static_cast<size_t>(dict_size);
  cap_ = std::min(dict_size_, kInitialSize);
  buf_.reset(new (std::nothrow) uint8_t[cap_ + kSlack]);
  if (!buf_) Fail(kErrorLimit, "out of memory for the dictionary");
}

size_t LzWindow::ReadOut(uint8_t* out, size_t n) {
  size_t k = std::min(n, pos_ - read_pos_);
  std::memcpy(out, buf_.get() + read_pos_, k);
  read_pos_ += k;
  return k;
}

size_t LzWindow::PrepareWrite(size_t want) {
  if (pos_ == dict_size_) {
    pos_ = 0;  // the whole dictionary is held: wrap
    read_pos_ = 0;
  } else if (pos_ == cap_) {
    size_t grown = std::min(dict_size_, cap_ * 2);
    std::unique_ptr<uint8_t[]> bigger(new (std::nothrow) uint8_t[grown + kSlack]);
    if (!bigger) Fail(kErrorLimit, "out of memory for the dictionary");
    std::memcpy(bigger.get(), buf_.get(), cap_);
    buf_ = std::move(bigger);
    cap_ = grown;
  }
  return pos_ + std::min(want, cap_ - pos_);
}

}  // namespace corvane::archive
