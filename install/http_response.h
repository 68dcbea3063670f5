// The head of an HTTP response (status line and header lines) as the engine's client reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::install {

struct HttpResponseHead {
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent, values trimmed

  // The value of the first header of that name (case-insensitive); false when absent.
  bool Find(std::string_view name, std::string* value) const;
  // Content-Length as a non-negative decimal below 2^62; false when absent or unreadable (then
  // the body's length is unknown).
  bool ContentLength(int64_t* length) const;
  // Content-Range "bytes FIRST-LAST/TOTAL" (TOTAL may be "*", then *total is -1); false when
  // absent or malformed, or when LAST < FIRST or TOTAL <= LAST.
  bool ContentRange(int64_t* first, int64_t* last, int64_t* total) const;
};

// Collects the head from the bytes of the stream. Bounded: a head over kMaxHeadBytes or with more
// than kMaxHeaders lines is malformed.
class ResponseHeadParser {
 public:
  static constexpr size_t kMaxHeadBytes = 64 * 1024;
  static constexpr size_t kMaxHeaders = 200;

  enum class State { kNeedMore, kDone, kMalformed };

  // Takes bytes; when the head is complete returns kDone and *body_start is the offset in this
  // chunk where the body begins. After kDone or kMalformed nothing more is taken.
  State Feed(std::string_view bytes, size_t* body_start);
  const HttpResponseHead& head() const { return head_; }

 private:
  State Parse();

  State state_ = State::kNeedMore;
  std::string buffer_;
  HttpResponseHead head_;
};

// Parses a complete head (the bytes up to and including the blank line, or a whole response);
// false when it is malformed or incomplete.
bool ParseResponseHead(std::string_view bytes, HttpResponseHead* head, size_t* body_start);

}  // namespace corvane::install
