// Branch converters and the delta filter: stages that rewrite their input in place, block by
// block, keeping a few unfinished bytes for the next block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "archive/stream.h"

namespace corvane::archive {

class FilterStream : public InStream {
 public:
  explicit FilterStream(std::unique_ptr<InStream> source);
  size_t Read(uint8_t* buffer, size_t n) override;

 protected:
  // Converts the front of data; returns how many bytes are final. Bytes after that are offered
  // again, followed by more input, on the next call (at the end of input they pass unchanged).
  virtual size_t Process(uint8_t* data, size_t size) = 0;

 private:
  std::unique_ptr<InStream> source_;
  std::vector<uint8_t> buf_;
  size_t out_pos_ = 0, done_ = 0, end_ = 0;
  bool eof_ = false;
};

// x86 CALL/JMP converter (relative 32-bit targets made absolute by the packer).
class X86Filter : public FilterStream {
 public:
  using FilterStream::FilterStream;

 protected:
  size_t Process(uint8_t* data, size_t size) override;

 private:
  uint32_t pos_ = 0;  // stream position of data[0]
  uint32_t prev_mask_ = 0;
  uint32_t prev_pos_ = static_cast<uint32_t>(-5);
};

// ARM64 BL and ADRP converter; props may hold a 32-bit start offset.
class Arm64Filter : public FilterStream {
 public:
  Arm64Filter(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props);

 protected:
  size_t Process(uint8_t* data, size_t size) override;

 private:
  uint32_t pos_ = 0;
};

// Byte-wise delta with a distance of 1 to 256 (props: distance - 1).
class DeltaFilter : public FilterStream {
 public:
  DeltaFilter(std::unique_ptr<InStream> source, const std::vector<uint8_t>& props);

 protected:
  size_t Process(uint8_t* data, size_t size) override;

 private:
  unsigned distance_;
  uint8_t history_[256] = {};
  uint8_t index_ = 0;
};

}  // namespace corvane::archive
