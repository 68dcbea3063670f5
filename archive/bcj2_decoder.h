// The four-stream x86 branch converter: the main stream carries code with CALL and JMP targets
// taken out, two streams carry those targets (big-endian, absolute), and a range-coded stream
// says which opcodes were converted.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/stream.h"

namespace corvane::archive {

class Bcj2Stream : public InStream {
 public:
  // inputs: main, call, jump, range coder (in this order).
  Bcj2Stream(std::vector<std::unique_ptr<InStream>> inputs, uint64_t out_size);
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  uint32_t ReadTarget(InputBuffer& from);
  unsigned DecodeBit(uint16_t* prob);

  std::vector<std::unique_ptr<InStream>> inputs_;
  InputBuffer main_, call_, jump_, rc_;
  uint64_t out_size_;
  uint64_t out_pos_ = 0;
  uint16_t probs_[2 + 256];
  uint32_t range_ = 0xFFFFFFFFu, code_ = 0;
  uint8_t prev_ = 0;
  uint8_t pending_[4] = {};
  unsigned pending_pos_ = 4;  // pending_[pending_pos_..3] still to hand out
};

}  // namespace corvane::archive
