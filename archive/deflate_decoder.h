// Deflate (raw, no zlib wrapper) through zlib's inflate.
#pragma once

#include <memory>
#include <vector>

#include "archive/stream.h"

namespace corvane::archive {

class DeflateStream : public InStream {
 public:
  explicit DeflateStream(std::unique_ptr<InStream> source);
  ~DeflateStream() override;
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  struct State;
  std::unique_ptr<InStream> source_;
  std::unique_ptr<State> state_;
  std::vector<uint8_t> in_;
  bool ended_ = false;
};

}  // namespace corvane::archive
