#include "archive/deflate_decoder.h"

#include <zlib.h>

#include <climits>

#include "archive/errors.h"

namespace corvane::archive {

struct DeflateStream::State {
  z_stream z{};
};

DeflateStream::DeflateStream(std::unique_ptr<InStream> source)
    : source_(std::move(source)), state_(std::make_unique<State>()), in_(size_t{1} << 16) {
  if (inflateInit2(&state_->z, -15) != Z_OK) Fail(kErrorGeneral, "inflate init failed");
}

DeflateStream::~DeflateStream() { inflateEnd(&state_->z); }

size_t DeflateStream::Read(uint8_t* buffer, size_t n) {
  z_stream& z = state_->z;
  size_t produced = 0;
  while (produced < n && !ended_) {
    if (z.avail_in == 0) {
      size_t got = source_->Read(in_.data(), in_.size());
      if (got == 0) DataError("truncated deflate data");
      z.next_in = in_.data();
      z.avail_in = static_cast<uInt>(got);
    }
    size_t want = n - produced;
    if (want > UINT_MAX) want = UINT_MAX;
    z.next_out = buffer + produced;
    z.avail_out = static_cast<uInt>(want);
    int rc = inflate(&z, Z_NO_FLUSH);
    produced += want - z.avail_out;
    if (rc == Z_STREAM_END) {
      ended_ = true;
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      DataError("bad deflate data");
    }
  }
  return produced;
}

}  // namespace corvane::archive
