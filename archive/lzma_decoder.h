// The LZMA and LZMA2 coders as streams over their packed input.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/lz_window.h"
#include "archive/lzma_core.h"
#include "archive/stream.h"

namespace corvane::archive {

// LZMA with its 5-byte properties (lc/lp/pb byte, 32-bit dictionary size) and a known output size.
class LzmaStream : public InStream {
 public:
  LzmaStream(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props, uint64_t out_size);
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  void Refill();

  std::unique_ptr<InStream> source_;
  LzmaCore core_;
  std::unique_ptr<LzWindow> window_;
  uint64_t remaining_;
  std::vector<uint8_t> in_;
  size_t in_pos_ = 0, in_end_ = 0;
  bool eof_ = false;
};

// LZMA2: chunks of stored or LZMA data with resets, one dictionary-size byte of properties.
class Lzma2Stream : public InStream {
 public:
  Lzma2Stream(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props, uint64_t out_size);
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  bool NextChunk();

  std::unique_ptr<InStream> source_;
  LzmaCore core_;
  std::unique_ptr<LzWindow> window_;
  std::vector<uint8_t> chunk_;     // packed bytes of the current LZMA chunk plus zero padding
  size_t chunk_pos_ = 0, chunk_end_ = 0;
  uint32_t chunk_left_ = 0;        // output bytes still to come from the current chunk
  bool chunk_is_lzma_ = false;
  bool need_dict_reset_ = true, need_props_ = true, need_state_reset_ = false;
  bool ended_ = false;
};

// Dictionary size coded in the LZMA2 property byte.
uint64_t Lzma2DictionarySize(uint8_t prop);

}  // namespace corvane::archive
