// The pull interface every decoder stage speaks: a stage reads its inputs in blocks and hands out
// its own output in blocks. Calls are per block, never per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace corvane::archive {

class InStream {
 public:
  virtual ~InStream() = default;
  // Fills up to n bytes and returns how many; 0 only at the end of the stream. Damaged input
  // throws ArchiveError.
  virtual size_t Read(uint8_t* buffer, size_t n) = 0;
};

// Reads until n bytes are in or the stream ends; returns the count.
size_t ReadFully(InStream& in, uint8_t* buffer, size_t n);

// A stream over bytes held in memory (headers, tests).
class MemoryStream : public InStream {
 public:
  MemoryStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Buffered front of another stream for decoders that take input a byte at a time or want a
// window of contiguous bytes: Fill() tops the buffer up and keeps unconsumed bytes.
class InputBuffer {
 public:
  InputBuffer(InStream& source, size_t capacity);
  // Makes at least want bytes available after pos (fewer only at the end of the source).
  // Returns the number available.
  size_t Fill(size_t want);
  const uint8_t* data() const { return buffer_.data() + pos_; }
  size_t available() const { return end_ - pos_; }
  void Consume(size_t n) { pos_ += n; }
  bool at_end() const { return eof_ && pos_ == end_; }
  bool source_ended() const { return eof_; }

 private:
  InStream& source_;
  std::vector<uint8_t> buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

}  // namespace corvane::archive
