// Fuzz target for the response head parser of the HTTP client: the input is fed whole and in
// pieces (sizes from its first byte); both must agree, a finished head must hold a status from
// 100 and at most the bound of header lines, and the body offset must lie inside the input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "install/http_response.h"

using corvane::install::HttpResponseHead;
using corvane::install::ResponseHeadParser;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 17;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

  HttpResponseHead whole;
  size_t whole_body = 0;
  const bool ok = corvane::install::ParseResponseHead(input, &whole, &whole_body);

  ResponseHeadParser parser;
  ResponseHeadParser::State state = ResponseHeadParser::State::kNeedMore;
  size_t consumed = 0;
  size_t body = 0;
  while (consumed < input.size() && state == ResponseHeadParser::State::kNeedMore) {
    const std::string_view chunk = input.substr(consumed, piece);
    size_t at = 0;
    state = parser.Feed(chunk, &at);
    if (state == ResponseHeadParser::State::kDone) {
      if (at > chunk.size()) std::abort();
      body = consumed + at;
    }
    consumed += chunk.size();
  }
  if (ok != (state == ResponseHeadParser::State::kDone)) std::abort();
  if (!ok) return 0;
  if (body != whole_body || whole_body > input.size()) std::abort();
  const HttpResponseHead& h = parser.head();
  if (h.status < 100 || h.status > 999 || h.headers.size() > ResponseHeadParser::kMaxHeaders) {
    std::abort();
  }
  if (h.headers.size() != whole.headers.size()) std::abort();
  int64_t length = 0;
  if (h.ContentLength(&length) && length < 0) std::abort();
  int64_t first = 0, last = 0, total = 0;
  if (h.ContentRange(&first, &last, &total) && (last < first || (total >= 0 && total <= last))) {
    std::abort();
  }
  return 0;
}
