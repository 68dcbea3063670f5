// The output window of the LZ decoders: the last dict_size bytes stay reachable for matches, and
// the consumer reads decoded bytes out of it. The dictionary size is capped by the expected
// output; a buffer of up to 32 MiB is taken at once, a larger one starts there and doubles as
// output arrives, so a header that claims a huge dictionary costs memory only once data really
// decodes that far. It wraps to the start once it holds a whole dictionary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace corvane::archive {

class LzWindow {
 public:
  // dict_size: the largest match distance the stream may use (already capped by the expected
  // output size). Fails with kErrorLimit when that exceeds what the library allows.
  explicit LzWindow(uint64_t dict_size);

  // Forgets the history (an LZMA2 dictionary reset): later matches may not reach before it.
  void ResetHistory() { filled_ = 0; }

  // Copies decoded but unread bytes out; returns the count.
  size_t ReadOut(uint8_t* out, size_t n);
  bool has_unread() const { return read_pos_ < pos_; }

  // Readies room to decode at least one byte; returns the write limit (exclusive) for up to
  // want bytes. Only call when nothing is unread.
  size_t PrepareWrite(size_t want);

  uint8_t* buffer() { return buf_.get(); }
  size_t capacity() const { return cap_; }
  size_t dict_size() const { return dict_size_; }

  // State the decoder loads into registers and writes back.
  size_t pos_ = 0;
  uint64_t filled_ = 0;  // bytes decoded since the last history reset

 private:
  std::unique_ptr<uint8_t[]> buf_;
  size_t cap_ = 0;
  size_t dict_size_ = 0;
  size_t read_pos_ = 0;
};

// Upper bound of any one window (bytes).
uint64_t MaxWindowSize();

}  // namespace corvane::archive
