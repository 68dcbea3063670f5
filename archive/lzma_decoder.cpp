#include "archive/lzma_decoder.h"

#include <algorithm>
#include <cstring>

#include "archive/errors.h"

namespace corvane::archive {
namespace {
constexpr size_t kInputBlock = size_t{1} << 18;
// Output decoded per call before the consumer copies it out: big enough to amortise the call,
// small enough to stay in cache.
constexpr size_t kRun = size_t{1} << 18;
constexpr size_t kMargin = LzmaCore::kInputMargin;
}  // namespace

LzmaStream::LzmaStream(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props,
                       uint64_t out_size)
    : source_(std::move(source)), remaining_(out_size), in_(kInputBlock + kMargin) {
  if (props.size() < 5) Fail(kErrorCannotOpen, "bad LZMA properties");
  unsigned d = props[0];
  if (d >= 9 * 5 * 5) Fail(kErrorCannotOpen, "bad LZMA properties");
  unsigned lc = d % 9;
  d /= 9;
  unsigned lp = d % 5, pb = d / 5;
  uint64_t dict = uint64_t{props[1]} | uint64_t{props[2]} << 8 | uint64_t{props[3]} << 16 |
                  uint64_t{props[4]} << 24;
  dict = std::max<uint64_t>(dict, 4096);
  window_ = std::make_unique<LzWindow>(std::min(dict, std::max<uint64_t>(out_size, 1)));
  core_.SetProperties(lc, lp, pb);
  core_.ResetState();
  if (remaining_ != 0) {
    Refill();
    if (in_end_ - in_pos_ < 5) DataError("truncated LZMA data");
    core_.StartRange(in_.data() + in_pos_);
    in_pos_ += 5;
  }
}

void LzmaStream::Refill() {
  if (eof_) return;
  std::memmove(in_.data(), in_.data() + in_pos_, in_end_ - in_pos_);
  in_end_ -= in_pos_;
  in_pos_ = 0;
  while (in_end_ < kInputBlock) {
    size_t got = source_->Read(in_.data() + in_end_, kInputBlock - in_end_);
    if (got == 0) {
      eof_ = true;
      std::memset(in_.data() + in_end_, 0, kMargin);
      break;
    }
    in_end_ += got;
  }
}

size_t LzmaStream::Read(uint8_t* buffer, size_t n) {
  size_t produced = 0;
  while (produced < n) {
    if (window_->has_unread()) {
      produced += window_->ReadOut(buffer + produced, n - produced);
      continue;
    }
    if (remaining_ == 0) break;
    if (!eof_ && in_end_ - in_pos_ <= kMargin) Refill();
    const uint8_t* in = in_.data() + in_pos_;
    // At the end of the input the last symbols may need no further byte: decode while the
    // input has not run past its end (the zero padding catches a symbol that reads beyond).
    const uint8_t* in_limit = in_.data() + (eof_ ? in_end_ + 1 : in_end_ - kMargin);
    if (in >= in_limit) DataError("truncated LZMA data");
    size_t start = window_->pos_;
    size_t limit = window_->PrepareWrite(static_cast<size_t>(std::min<uint64_t>(remaining_, kRun)));
    start = window_->pos_;
    const uint8_t* after = core_.Decode(*window_, limit, in, in_limit);
    in_pos_ = static_cast<size_t>(after - in_.data());
    if (in_pos_ > in_end_) DataError("truncated LZMA data");
    remaining_ -= window_->pos_ - start;
    if (core_.saw_end_marker() && remaining_ != 0) DataError("LZMA data ends early");
  }
  return produced;
}

uint64_t Lzma2DictionarySize(uint8_t prop) {
  if (prop > 40) Fail(kErrorCannotOpen, "bad LZMA2 properties");
  if (prop == 40) return 0xFFFFFFFFu;
  return uint64_t{2u | (prop & 1u)} << (prop / 2 + 11);
}

Lzma2Stream::Lzma2Stream(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props,
                         uint64_t out_size)
    : source_(std::move(source)), chunk_((size_t{1} << 16) + kMargin) {
  if (props.size() < 1) Fail(kErrorCannotOpen, "bad LZMA2 properties");
  uint64_t dict = Lzma2DictionarySize(props[0]);
  window_ = std::make_unique<LzWindow>(std::min(std::max<uint64_t>(dict, 4096),
                                                std::max<uint64_t>(out_size, 1)));
}

bool Lzma2Stream::NextChunk() {
  uint8_t head[6];
  if (ReadFully(*source_, head, 1) != 1) DataError("truncated LZMA2 data");
  uint8_t control = head[0];
  if (control == 0) return false;
  if (control == 1 || control == 2) {
    if (ReadFully(*source_, head + 1, 2) != 2) DataError("truncated LZMA2 data");
    if (control == 1) {
      window_->ResetHistory();
      need_dict_reset_ = false;
      need_state_reset_ = true;
    } else if (need_dict_reset_) {
      DataError("LZMA2 data without a dictionary reset");
    }
    chunk_is_lzma_ = false;
    chunk_left_ = ((uint32_t{head[1]} << 8) | head[2]) + 1;
    return true;
  }
  if (control < 0x80) DataError("bad LZMA2 control byte");
  if (ReadFully(*source_, head + 1, 4) != 4) DataError("truncated LZMA2 data");
  unsigned mode = (control >> 5) & 3;
  chunk_left_ = (((uint32_t{control} & 0x1F) << 16) | (uint32_t{head[1]} << 8) | head[2]) + 1;
  uint32_t packed = ((uint32_t{head[3]} << 8) | head[4]) + 1;
  if (mode == 3) {
    window_->ResetHistory();
    need_dict_reset_ = false;
  } else if (need_dict_reset_) {
    DataError("LZMA2 data without a dictionary reset");
  }
  if (mode >= 2) {
    uint8_t prop;
    if (ReadFully(*source_, &prop, 1) != 1) DataError("truncated LZMA2 data");
    if (prop >= 9 * 5 * 5) DataError("bad LZMA2 chunk properties");
    unsigned lc = prop % 9, lp = (prop / 9) % 5, pb = prop / 45;
    if (lc + lp > 4) DataError("bad LZMA2 chunk properties");
    core_.SetProperties(lc, lp, pb);
    need_props_ = false;
  } else if (need_props_) {
    DataError("LZMA2 chunk without properties");
  }
  if (mode >= 1) {
    core_.ResetState();
    need_state_reset_ = false;
  } else if (need_state_reset_) {
    DataError("LZMA2 chunk without a state reset");
  }
  if (packed < 5 || ReadFully(*source_, chunk_.data(), packed) != packed)
    DataError("truncated LZMA2 data");
  std::memset(chunk_.data() + packed, 0, kMargin);
  core_.StartRange(chunk_.data());
  chunk_pos_ = 5;
  chunk_end_ = packed;
  chunk_is_lzma_ = true;
  return true;
}

size_t Lzma2Stream::Read(uint8_t* buffer, size_t n) {
  size_t produced = 0;
  while (produced < n) {
    if (window_->has_unread()) {
      produced += window_->ReadOut(buffer + produced, n - produced);
      continue;
    }
    if (chunk_left_ == 0) {
      if (ended_ || !NextChunk()) {
        ended_ = true;
        break;
      }
    }
    size_t limit = window_->PrepareWrite(chunk_left_);
    size_t start = window_->pos_;
    if (chunk_is_lzma_) {
      const uint8_t* in = chunk_.data() + chunk_pos_;
      const uint8_t* end = chunk_.data() + chunk_end_;
      if (in > end) DataError("LZMA2 chunk ends early");
      const uint8_t* after = core_.Decode(*window_, limit, in, end + 1);
      chunk_pos_ = static_cast<size_t>(after - chunk_.data());
      if (chunk_pos_ > chunk_end_ || core_.saw_end_marker()) DataError("bad LZMA2 chunk");
    } else {
      size_t want = limit - start;
      size_t got = ReadFully(*source_, window_->buffer() + start, want);
      if (got != want) DataError("truncated LZMA2 data");
      window_->pos_ += got;
      window_->filled_ += got;
    }
    chunk_left_ -= static_cast<uint32_t>(window_->pos_ - start);
    if (chunk_left_ == 0 && chunk_is_lzma_ && core_.match_pending()) DataError("bad LZMA2 chunk");
  }
  return produced;
}

}  // namespace corvane::archive
