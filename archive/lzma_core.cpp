// The hot path of extraction. Everything the inner loop touches lives in locals (range, code,
// input pointer, window pointer and position, state and distances) and is written back once per
// call; bits are decoded by macros so the compiler keeps them in registers.
#include "archive/lzma_core.h"

#include <cstring>

#include "archive/errors.h"

namespace corvane::archive {
namespace {

constexpr uint32_t kTop = 1u << 24;
constexpr unsigned kModelBits = 11;
constexpr uint32_t kModelTotal = 1u << kModelBits;
constexpr unsigned kMoveBits = 5;
constexpr unsigned kStates = 12;
constexpr unsigned kPosStatesMax = 16;

// Offsets of each model inside the one probability array.
constexpr size_t kIsMatch = 0;
constexpr size_t kIsRep = kIsMatch + kStates * kPosStatesMax;
constexpr size_t kIsRepG0 = kIsRep + kStates;
constexpr size_t kIsRepG1 = kIsRepG0 + kStates;
constexpr size_t kIsRepG2 = kIsRepG1 + kStates;
constexpr size_t kIsRep0Long = kIsRepG2 + kStates;
constexpr size_t kPosSlot = kIsRep0Long + kStates * kPosStatesMax;
constexpr size_t kSpecPos = kPosSlot + 4 * 64;
constexpr size_t kAlign = kSpecPos + 115;
// Length coder: choice, choice2, low[16][8], mid[16][8], high[256].
constexpr size_t kLenChoice = 0;
constexpr size_t kLenChoice2 = 1;
constexpr size_t kLenLow = 2;
constexpr size_t kLenMid = kLenLow + kPosStatesMax * 8;
constexpr size_t kLenHigh = kLenMid + kPosStatesMax * 8;
constexpr size_t kLenSize = kLenHigh + 256;
constexpr size_t kLenCoder = kAlign + 16;
constexpr size_t kRepLenCoder = kLenCoder + kLenSize;
constexpr size_t kLiteral = kRepLenCoder + kLenSize;

// Copies n bytes from src to dst = src + dist, front to back, so bytes written early feed a
// short-distance match again. Fixed-size eight-byte moves compile to one load and one store; a
// library call costs more than the short matches that dominate.
inline void CopyMatch(uint8_t* dst, const uint8_t* src, size_t n, size_t dist) {
  if (dist == 1) {
    std::memset(dst, src[0], n);
    return;
  }
  if (dist >= 8) {
    for (; n >= 8; n -= 8, dst += 8, src += 8) {
      uint64_t v;
      std::memcpy(&v, src, 8);
      std::memcpy(dst, &v, 8);
    }
  }
  for (; n != 0; --n) *dst++ = *src++;
}

// Copies n bytes from a source that lies after the destination (the oldest part of a wrapped
// window): front to back is always safe there.
inline void CopyAhead(uint8_t* dst, const uint8_t* src, size_t n) {
  for (; n >= 8; n -= 8, dst += 8, src += 8) {
    uint64_t v;
    std::memcpy(&v, src, 8);
    std::memcpy(dst, &v, 8);
  }
  for (; n != 0; --n) *dst++ = *src++;
}

}  // namespace

#define RC_NORMALIZE                  \
  if (range < kTop) {                 \
    range <<= 8;                      \
    code = (code << 8) | *in++;       \
  }

#define RC_IF_BIT0(p)                          \
  RC_NORMALIZE;                                \
  ttt = *(p);                                  \
  bound = (range >> kModelBits) * ttt;         \
  if (code < bound)

#define RC_UPDATE0(p)  \
  range = bound;       \
  *(p) = static_cast<uint16_t>(ttt + ((kModelTotal - ttt) >> kMoveBits))

#define RC_UPDATE1(p)  \
  range -= bound;      \
  code -= bound;       \
  *(p) = static_cast<uint16_t>(ttt - (ttt >> kMoveBits))

// m = (m << 1) | bit
#define RC_TREE_STEP(probs, m)          \
  {                                     \
    RC_IF_BIT0((probs) + (m)) {         \
      RC_UPDATE0((probs) + (m));        \
      m += m;                           \
    } else {                            \
      RC_UPDATE1((probs) + (m));        \
      m += m + 1;                       \
    }                                   \
  }

void LzmaCore::SetProperties(unsigned lc, unsigned lp, unsigned pb) {
  lc_ = lc;
  lp_ = lp;
  pb_ = pb;
  probs_.assign(kLiteral + (size_t{0x300} << (lc + lp)), static_cast<uint16_t>(kModelTotal / 2));
}

void LzmaCore::ResetState() {
  std::fill(probs_.begin(), probs_.end(), static_cast<uint16_t>(kModelTotal / 2));
  state_ = 0;
  rep0_ = rep1_ = rep2_ = rep3_ = 0;
  pending_len_ = 0;
  end_marker_ = false;
}

void LzmaCore::StartRange(const uint8_t* in) {
  if (in[0] != 0) DataError("bad range coder start");
  code_ = (uint32_t{in[1]} << 24) | (uint32_t{in[2]} << 16) | (uint32_t{in[3]} << 8) | in[4];
  range_ = 0xFFFFFFFFu;
  if (code_ == range_) DataError("bad range coder start");
}

const uint8_t* LzmaCore::Decode(LzWindow& w, size_t limit, const uint8_t* in,
                                const uint8_t* in_limit) {
  uint8_t* const buf = w.buffer();
  const size_t dict_size = w.dict_size();
  const size_t cap = w.capacity();
  size_t pos = w.pos_;
  // Bytes reachable as history: grows with output up to the dictionary size.
  uint64_t filled = w.filled_;

  // Finish a match that the previous call cut at its limit.
  if (pending_len_ != 0) {
    size_t dist = size_t{rep0_} + 1;
    while (pending_len_ != 0 && pos < limit) {
      size_t src = pos >= dist ? pos - dist : pos - dist + cap;
      buf[pos++] = buf[src];
      --pending_len_;
      ++filled;
    }
  }

  uint32_t range = range_, code = code_;
  uint32_t state = state_;
  uint32_t rep0 = rep0_;
  uint16_t* const probs = probs_.data();
  const uint32_t pb_mask = (1u << pb_) - 1;
  const uint32_t lp_mask = (1u << lp_) - 1;
  const unsigned lc = lc_;
  // Low bits of the total output position (for the position-dependent contexts). The window
  // wraps at the dictionary size, which need not be a power of two, so count separately.
  // pos only grows inside this call (the window wraps between calls), so the history size and
  // the total position follow from pos by a fixed offset instead of being counted per byte.
  const uint64_t history_bias = filled - pos;  // history = pos + history_bias (mod 2^64)
  const uint32_t tpos_bias = static_cast<uint32_t>(history_bias);
  // With no history the first literal's previous byte counts as 0.
  if (filled == 0) buf[pos != 0 ? pos - 1 : cap - 1] = 0;
  uint32_t ttt, bound;

  while (pos < limit && in < in_limit) {
    const uint32_t tpos = static_cast<uint32_t>(pos) + tpos_bias;
    const uint32_t pos_state = tpos & pb_mask;
    uint16_t* p = probs + kIsMatch + (state << 4) + pos_state;
    RC_IF_BIT0(p) {
      RC_UPDATE0(p);
      // Literal.
      uint32_t prev = buf[pos != 0 ? pos - 1 : cap - 1];
      uint16_t* lit =
          probs + kLiteral + 0x300 * (((tpos & lp_mask) << lc) + (prev >> (8 - lc)));
      uint32_t sym = 1;
      if (state < 7) {
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        RC_TREE_STEP(lit, sym);
        state = state < 4 ? 0 : state - 3;
      } else {
        size_t dist = size_t{rep0} + 1;
        uint32_t match = buf[pos >= dist ? pos - dist : pos - dist + cap];
        uint32_t offs = 0x100;
        do {
          match <<= 1;
          uint32_t mbit = match & offs;
          uint16_t* q = lit + offs + mbit + sym;
          RC_IF_BIT0(q) {
            RC_UPDATE0(q);
            sym += sym;
            offs &= ~mbit;
          } else {
            RC_UPDATE1(q);
            sym += sym + 1;
            offs &= mbit;
          }
        } while (sym < 0x100);
        state = state < 10 ? state - 3 : state - 6;
      }
      buf[pos++] = static_cast<uint8_t>(sym);
      continue;
    }
    RC_UPDATE1(p);

    uint32_t len;
    uint16_t* len_probs;
    p = probs + kIsRep + state;
    RC_IF_BIT0(p) {
      // A match with a new distance.
      RC_UPDATE0(p);
      state = state < 7 ? 0 : 3;  // becomes 7 or 10 below
      len_probs = probs + kLenCoder;
    } else {
      RC_UPDATE1(p);
      if (pos + history_bias == 0) DataError("repeat before any data");
      p = probs + kIsRepG0 + state;
      RC_IF_BIT0(p) {
        RC_UPDATE0(p);
        p = probs + kIsRep0Long + (state << 4) + pos_state;
        RC_IF_BIT0(p) {
          RC_UPDATE0(p);
          // Short repeat: one byte at distance rep0.
          state = state < 7 ? 9 : 11;
          size_t dist = size_t{rep0} + 1;
          buf[pos] = buf[pos >= dist ? pos - dist : pos - dist + cap];
          ++pos;
          continue;
        }
        RC_UPDATE1(p);
      } else {
        RC_UPDATE1(p);
        uint32_t dist;
        p = probs + kIsRepG1 + state;
        RC_IF_BIT0(p) {
          RC_UPDATE0(p);
          dist = rep1_;
        } else {
          RC_UPDATE1(p);
          p = probs + kIsRepG2 + state;
          RC_IF_BIT0(p) {
            RC_UPDATE0(p);
            dist = rep2_;
          } else {
            RC_UPDATE1(p);
            dist = rep3_;
            rep3_ = rep2_;
          }
          rep2_ = rep1_;
        }
        rep1_ = rep0;
        rep0 = dist;
      }
      state = state < 7 ? 8 : 11;
      len_probs = probs + kRepLenCoder;
    }

    // Length.
    {
      uint16_t* lp = len_probs + kLenChoice;
      RC_IF_BIT0(lp) {
        RC_UPDATE0(lp);
        uint16_t* t = len_probs + kLenLow + pos_state * 8;
        uint32_t m = 1;
        RC_TREE_STEP(t, m);
        RC_TREE_STEP(t, m);
        RC_TREE_STEP(t, m);
        len = m - 8;
      } else {
        RC_UPDATE1(lp);
        lp = len_probs + kLenChoice2;
        RC_IF_BIT0(lp) {
          RC_UPDATE0(lp);
          uint16_t* t = len_probs + kLenMid + pos_state * 8;
          uint32_t m = 1;
          RC_TREE_STEP(t, m);
          RC_TREE_STEP(t, m);
          RC_TREE_STEP(t, m);
          len = m - 8 + 8;
        } else {
          RC_UPDATE1(lp);
          uint16_t* t = len_probs + kLenHigh;
          uint32_t m = 1;
          for (int i = 0; i < 8; ++i) RC_TREE_STEP(t, m);
          len = m - 256 + 16;
        }
      }
    }

    if (state < 4) {
      // New distance: slot, then the middle bits through models or direct bits, then align.
      state += 7;
      rep3_ = rep2_;
      rep2_ = rep1_;
      rep1_ = rep0;
      uint16_t* t = probs + kPosSlot + (len < 3 ? len : 3) * 64;
      uint32_t slot = 1;
      RC_TREE_STEP(t, slot);
      RC_TREE_STEP(t, slot);
      RC_TREE_STEP(t, slot);
      RC_TREE_STEP(t, slot);
      RC_TREE_STEP(t, slot);
      RC_TREE_STEP(t, slot);
      slot -= 64;
      uint32_t dist;
      if (slot < 4) {
        dist = slot;
      } else {
        unsigned direct = (slot >> 1) - 1;
        dist = (2 | (slot & 1)) << direct;
        if (slot < 14) {
          uint16_t* sp = probs + kSpecPos + dist - slot;
          uint32_t m = 1;
          for (unsigned i = 0; i < direct; ++i) {
            RC_IF_BIT0(sp + m) {
              RC_UPDATE0(sp + m);
              m += m;
            } else {
              RC_UPDATE1(sp + m);
              m += m + 1;
              dist |= 1u << i;
            }
          }
        } else {
          direct -= 4;
          uint32_t bits = 0;
          do {
            RC_NORMALIZE;
            range >>= 1;
            uint32_t t2 = (code - range) >> 31;  // 1 when code < range
            code -= range & (t2 - 1);
            bits = (bits << 1) | (1 - t2);
          } while (--direct != 0);
          dist += bits << 4;
          uint16_t* al = probs + kAlign;
          uint32_t m = 1;
          for (unsigned i = 0; i < 4; ++i) {
            RC_IF_BIT0(al + m) {
              RC_UPDATE0(al + m);
              m += m;
            } else {
              RC_UPDATE1(al + m);
              m += m + 1;
              dist |= 1u << i;
            }
          }
          if (dist == 0xFFFFFFFFu) {
            end_marker_ = true;
            break;
          }
        }
      }
      rep0 = dist;
    }

    // Copy the match.
    len += 2;
    size_t dist = size_t{rep0} + 1;
    if (dist > pos + history_bias || dist > dict_size) DataError("match distance beyond the data");
    size_t room = limit - pos;
    size_t n = len <= room ? len : room;
    pending_len_ = static_cast<uint32_t>(len - n);
    if (pos >= dist) {
      CopyMatch(buf + pos, buf + pos - dist, n, dist);
      pos += n;
    } else {
      // The source starts before the window's wrap point: copy up to the end of the buffer,
      // then continue from its start.
      size_t src = pos - dist + cap;
      size_t first = cap - src < n ? cap - src : n;
      CopyAhead(buf + pos, buf + src, first);
      pos += first;
      if (n > first) {
        CopyMatch(buf + pos, buf, n - first, dist);
        pos += n - first;
      }
    }
  }

  range_ = range;
  code_ = code;
  state_ = state;
  rep0_ = rep0;
  w.pos_ = pos;
  w.filled_ = pos + history_bias;
  return in;
}

}  // namespace corvane::archive
