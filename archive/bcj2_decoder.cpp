#include "archive/bcj2_decoder.h"

#include "archive/errors.h"

namespace corvane::archive {
namespace {
constexpr size_t kBuffer = size_t{1} << 16;

bool IsJump(uint8_t prev, uint8_t b) {
  return (b & 0xFE) == 0xE8 || (prev == 0x0F && (b & 0xF0) == 0x80);
}
}  // namespace

Bcj2Stream::Bcj2Stream(std::vector<std::unique_ptr<InStream>> inputs, uint64_t out_size)
    : inputs_(std::move(inputs)),
      main_(*inputs_.at(0), kBuffer),
      call_(*inputs_.at(1), kBuffer),
      jump_(*inputs_.at(2), kBuffer),
      rc_(*inputs_.at(3), kBuffer),
      out_size_(out_size) {
  for (auto& p : probs_) p = 1024;
  if (rc_.Fill(5) < 5) DataError("truncated branch stream");
  const uint8_t* d = rc_.data();
  for (int i = 0; i < 5; ++i) code_ = (code_ << 8) | d[i];
  rc_.Consume(5);
}

unsigned Bcj2Stream::DecodeBit(uint16_t* prob) {
  uint32_t bound = (range_ >> 11) * *prob;
  unsigned bit;
  if (code_ < bound) {
    range_ = bound;
    *prob = static_cast<uint16_t>(*prob + ((2048 - *prob) >> 5));
    bit = 0;
  } else {
    range_ -= bound;
    code_ -= bound;
    *prob = static_cast<uint16_t>(*prob - (*prob >> 5));
    bit = 1;
  }
  if (range_ < (1u << 24)) {
    if (rc_.Fill(1) < 1) DataError("truncated branch stream");
    range_ <<= 8;
    code_ = (code_ << 8) | rc_.data()[0];
    rc_.Consume(1);
  }
  return bit;
}

uint32_t Bcj2Stream::ReadTarget(InputBuffer& from) {
  if (from.Fill(4) < 4) DataError("truncated branch stream");
  const uint8_t* d = from.data();
  uint32_t v = uint32_t{d[0]} << 24 | uint32_t{d[1]} << 16 | uint32_t{d[2]} << 8 | d[3];
  from.Consume(4);
  return v;
}

size_t Bcj2Stream::Read(uint8_t* buffer, size_t n) {
  size_t produced = 0;
  while (produced < n) {
    if (pending_pos_ < 4) {
      buffer[produced++] = pending_[pending_pos_++];
      continue;
    }
    if (out_pos_ >= out_size_) break;
    if (main_.available() == 0 && main_.Fill(kBuffer) == 0) break;
    // Plain bytes up to and including the next branch opcode.
    const uint8_t* d = main_.data();
    size_t avail = main_.available();
    uint64_t left = out_size_ - out_pos_;
    size_t limit = avail < n - produced ? avail : n - produced;
    if (left < limit) limit = static_cast<size_t>(left);
    size_t i = 0;
    uint8_t prev = prev_;
    bool jump = false;
    while (i < limit) {
      uint8_t b = d[i];
      buffer[produced + i] = b;
      ++i;
      if (IsJump(prev, b)) {
        jump = true;
        break;
      }
      prev = b;
    }
    produced += i;
    out_pos_ += i;
    main_.Consume(i);
    if (!jump) {
      prev_ = prev;
      continue;
    }
    uint8_t b = buffer[produced - 1];
    if (out_pos_ == out_size_) break;  // an opcode at the very end carries no target
    uint16_t* prob = b == 0xE8 ? probs_ + prev : (b == 0xE9 ? probs_ + 256 : probs_ + 257);
    if (DecodeBit(prob) == 0) {
      prev_ = b;
      continue;
    }
    uint32_t src = ReadTarget(b == 0xE8 ? call_ : jump_);
    uint32_t dest = src - static_cast<uint32_t>(out_pos_ + 4);
    pending_[0] = static_cast<uint8_t>(dest);
    pending_[1] = static_cast<uint8_t>(dest >> 8);
    pending_[2] = static_cast<uint8_t>(dest >> 16);
    pending_[3] = static_cast<uint8_t>(dest >> 24);
    pending_pos_ = 0;
    prev_ = pending_[3];
    out_pos_ += 4;
  }
  return produced;
}

}  // namespace corvane::archive
