// The LZMA symbol decoder shared by the LZMA and LZMA2 coders: probability models, the match
// state and the range decoder. It decodes straight into an LzWindow and stops at an output
// limit or an input limit; a match cut by the output limit is finished on the next call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lz_window.h"

namespace corvane::archive {

class LzmaCore {
 public:
  // Bytes one symbol can consume at most; callers keep this many readable (real or zero padding)
  // beyond the input limit they pass.
  static constexpr size_t kInputMargin = 64;

  // lc <= 8, lp <= 4, pb <= 4 (checked by the callers that parse properties).
  void SetProperties(unsigned lc, unsigned lp, unsigned pb);
  // Fresh probabilities, state and repeat distances.
  void ResetState();
  // Starts the range decoder on 5 bytes of input. Throws on a bad first byte.
  void StartRange(const uint8_t* in);

  // Decodes until the window position reaches limit, the input passes in_limit (checked before
  // each symbol) or the end marker. Returns the advanced input pointer. Throws on damaged data.
  const uint8_t* Decode(LzWindow& w, size_t limit, const uint8_t* in, const uint8_t* in_limit);

  bool saw_end_marker() const { return end_marker_; }
  bool match_pending() const { return pending_len_ != 0; }

 private:
  unsigned lc_ = 3, lp_ = 0, pb_ = 2;
  std::vector<uint16_t> probs_;
  uint32_t range_ = 0, code_ = 0;
  uint32_t state_ = 0;
  uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
  uint32_t pending_len_ = 0;
  bool end_marker_ = false;
};

}  // namespace corvane::archive
