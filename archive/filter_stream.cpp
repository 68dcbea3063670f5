#include "archive/filter_stream.h"

#include <cstring>

#include "archive/errors.h"

namespace corvane::archive {
namespace {
constexpr size_t kBlock = size_t{1} << 18;
}

FilterStream::FilterStream(std::unique_ptr<InStream> source)
    : source_(std::move(source)), buf_(kBlock) {}

size_t FilterStream::Read(uint8_t* buffer, size_t n) {
  while (out_pos_ == done_) {
    std::memmove(buf_.data(), buf_.data() + done_, end_ - done_);
    end_ -= done_;
    out_pos_ = done_ = 0;
    if (eof_ && end_ == 0) return 0;
    while (!eof_ && end_ < buf_.size()) {
      size_t got = source_->Read(buf_.data() + end_, buf_.size() - end_);
      if (got == 0) eof_ = true;
      end_ += got;
    }
    done_ = Process(buf_.data(), end_);
    if (eof_) done_ = end_;  // trailing bytes that cannot hold an instruction pass as they are
  }
  size_t k = std::min(n, done_ - out_pos_);
  std::memcpy(buffer, buf_.data() + out_pos_, k);
  out_pos_ += k;
  return k;
}

size_t X86Filter::Process(uint8_t* data, size_t size) {
  static const bool kAllowed[8] = {true, true, true, false, true, false, false, false};
  static const uint32_t kBitNumber[8] = {0, 1, 2, 2, 3, 3, 3, 3};
  auto ms_byte = [](uint8_t b) { return b == 0 || b == 0xFF; };
  if (size < 5) return 0;
  uint32_t prev_mask = prev_mask_;
  uint32_t prev_pos = prev_pos_;
  if (pos_ - prev_pos > 5) prev_pos = pos_ - 5;
  const size_t limit = size - 5;
  size_t i = 0;
  while (i <= limit) {
    uint8_t b = data[i];
    if (b != 0xE8 && b != 0xE9) {
      ++i;
      continue;
    }
    const uint32_t here = pos_ + static_cast<uint32_t>(i);
    const uint32_t offset = here - prev_pos;
    prev_pos = here;
    if (offset > 5) {
      prev_mask = 0;
    } else {
      for (uint32_t k = 0; k < offset; ++k) prev_mask = (prev_mask & 0x77) << 1;
    }
    b = data[i + 4];
    if (ms_byte(b) && kAllowed[(prev_mask >> 1) & 7] && (prev_mask >> 1) < 0x10) {
      uint32_t src = uint32_t{b} << 24 | uint32_t{data[i + 3]} << 16 |
                     uint32_t{data[i + 2]} << 8 | data[i + 1];
      uint32_t dest;
      for (;;) {
        dest = src - (here + 5);
        if (prev_mask == 0) break;
        const uint32_t idx = kBitNumber[prev_mask >> 1];
        b = static_cast<uint8_t>(dest >> (24 - idx * 8));
        if (!ms_byte(b)) break;
        src = dest ^ ((1u << (32 - idx * 8)) - 1);
      }
      data[i + 4] = static_cast<uint8_t>(~(((dest >> 24) & 1) - 1));
      data[i + 3] = static_cast<uint8_t>(dest >> 16);
      data[i + 2] = static_cast<uint8_t>(dest >> 8);
      data[i + 1] = static_cast<uint8_t>(dest);
      i += 5;
      prev_mask = 0;
    } else {
      ++i;
      prev_mask |= 1;
      if (ms_byte(b)) prev_mask |= 0x10;
    }
  }
  prev_mask_ = prev_mask;
  prev_pos_ = prev_pos;
  pos_ += static_cast<uint32_t>(i);
  return i;
}

Arm64Filter::Arm64Filter(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props)
    : FilterStream(std::move(source)) {
  if (props.size() == 4) {
    pos_ = uint32_t{props[0]} | uint32_t{props[1]} << 8 | uint32_t{props[2]} << 16 |
           uint32_t{props[3]} << 24;
    if (pos_ & 3) Fail(kErrorCannotOpen, "bad ARM64 properties");
  } else if (!props.empty()) {
    Fail(kErrorCannotOpen, "bad ARM64 properties");
  }
}

size_t Arm64Filter::Process(uint8_t* data, size_t size) {
  size &= ~size_t{3};
  for (size_t i = 0; i < size; i += 4) {
    uint32_t v = uint32_t{data[i]} | uint32_t{data[i + 1]} << 8 | uint32_t{data[i + 2]} << 16 |
                 uint32_t{data[i + 3]} << 24;
    const uint32_t pc = pos_ + static_cast<uint32_t>(i);
    if ((v >> 26) == 0x25) {  // BL: 26-bit word offset
      v = 0x94000000u | ((v - (pc >> 2)) & 0x03FFFFFFu);
    } else if ((v & 0x9F000000u) == 0x90000000u) {  // ADRP: 21-bit page offset
      uint32_t src = ((v >> 29) & 3) | ((v >> 3) & 0x001FFFFCu);
      // Only targets within +-512 MiB were converted by the packer.
      if ((src + 0x00020000u) & 0x001C0000u) continue;
      uint32_t dest = src - (pc >> 12);
      v &= 0x9000001Fu;
      v |= (dest & 3) << 29;
      v |= (dest & 0x0003FFFCu) << 3;
      v |= (0u - (dest & 0x00020000u)) & 0x00E00000u;
    } else {
      continue;
    }
    data[i] = static_cast<uint8_t>(v);
    data[i + 1] = static_cast<uint8_t>(v >> 8);
    data[i + 2] = static_cast<uint8_t>(v >> 16);
    data[i + 3] = static_cast<uint8_t>(v >> 24);
  }
  pos_ += static_cast<uint32_t>(size);
  return size;
}

DeltaFilter::DeltaFilter(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props)
    : FilterStream(std::move(source)) {
  if (props.size() != 1) Fail(kErrorCannotOpen, "bad delta properties");
  distance_ = props[0] + 1u;
}

size_t DeltaFilter::Process(uint8_t* data, size_t size) {
  // history_ is a ring of the last 256 output bytes; index_ points at the next slot.
  for (size_t i = 0; i < size; ++i) {
    uint8_t v = static_cast<uint8_t>(data[i] + history_[static_cast<uint8_t>(index_ - distance_)]);
    data[i] = v;
    history_[index_++] = v;
  }
  return size;
}

}  // namespace corvane::archive
