#include "install/http_response.h"

namespace corvane::install {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// Decimal digits only, below 2^62.
bool ParseCount(std::string_view s, int64_t* value) {
  if (s.empty() || s.size() > 18) return false;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// Where the head ends: after "\r\n\r\n" or "\n\n" (servers that end lines with a bare LF).
size_t HeadEnd(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\n') continue;
    if (i + 1 < s.size() && s[i + 1] == '\n') return i + 2;
    if (i + 2 < s.size() && s[i + 1] == '\r' && s[i + 2] == '\n') return i + 3;
  }
  return std::string_view::npos;
}

bool ParseLines(std::string_view head, HttpResponseHead* out) {
  HttpResponseHead result;
  bool first = true;
  while (!head.empty()) {
    const size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head = nl == std::string_view::npos ? std::string_view() : head.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      // "HTTP/1.x NNN reason"
      if (line.size() < 12 || line.substr(0, 7) != "HTTP/1." || line[7] < '0' || line[7] > '9' ||
          line[8] != ' ') {
        return false;
      }
      int status = 0;
      for (size_t i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9') return false;
        status = status * 10 + (line[i] - '0');
      }
      if (status < 100 || (line.size() > 12 && line[12] != ' ')) return false;
      result.status = status;
      continue;
    }
    if (line.empty()) break;
    for (unsigned char c : line) {
      if (c < 0x20 && c != '\t') return false;
    }
    if (line[0] == ' ' || line[0] == '\t') return false;  // folded lines are not accepted
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view name = line.substr(0, colon);
    if (name.find_first_of(" \t") != std::string_view::npos) return false;
    if (result.headers.size() >= ResponseHeadParser::kMaxHeaders) return false;
    result.headers.emplace_back(std::string(name), std::string(Trim(line.substr(colon + 1))));
  }
  if (first) return false;
  *out = std::move(result);
  return true;
}

}  // namespace

bool HttpResponseHead::Find(std::string_view name, std::string* value) const {
  for (const auto& [key, v] : headers) {
    if (EqualNoCase(key, name)) {
      *value = v;
      return true;
    }
  }
  return false;
}

bool HttpResponseHead::ContentLength(int64_t* length) const {
  std::string value;
  bool seen = false;
  int64_t result = -1;
  // Two different lengths make the body's length unknown.
  for (const auto& [key, v] : headers) {
    if (!EqualNoCase(key, "Content-Length")) continue;
    int64_t n = 0;
    if (!ParseCount(v, &n) || (seen && n != result)) return false;
    seen = true;
    result = n;
  }
  if (!seen) return false;
  *length = result;
  return true;
}

bool HttpResponseHead::ContentRange(int64_t* first, int64_t* last, int64_t* total) const {
  std::string value;
  if (!Find("Content-Range", &value)) return false;
  std::string_view v = value;
  if (v.size() < 6 || !EqualNoCase(v.substr(0, 6), "bytes ")) return false;
  v.remove_prefix(6);
  v = Trim(v);
  const size_t dash = v.find('-');
  const size_t slash = v.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
    return false;
  }
  int64_t a = 0, b = 0, t = -1;
  if (!ParseCount(v.substr(0, dash), &a) || !ParseCount(v.substr(dash + 1, slash - dash - 1), &b)) {
    return false;
  }
  const std::string_view total_text = v.substr(slash + 1);
  if (total_text != "*" && !ParseCount(total_text, &t)) return false;
  if (b < a || (t >= 0 && t <= b)) return false;
  *first = a;
  *last = b;
  *total = t;
  return true;
}

ResponseHeadParser::State ResponseHeadParser::Feed(std::string_view bytes, size_t* body_start) {
  if (state_ != State::kNeedMore) return state_;
  const size_t before = buffer_.size();
  // Only as much as may still belong to the head is kept.
  const size_t room = kMaxHeadBytes - before;
  buffer_.append(bytes.substr(0, room));
  // The end marker may straddle the previous chunk; search a little before the new bytes.
  const size_t from = before >= 3 ? before - 3 : 0;
  const size_t end = HeadEnd(std::string_view(buffer_).substr(from));
  if (end == std::string_view::npos) {
    if (buffer_.size() >= kMaxHeadBytes) state_ = State::kMalformed;
    return state_;
  }
  const size_t head_size = from + end;
  if (!ParseLines(std::string_view(buffer_).substr(0, head_size), &head_)) {
    state_ = State::kMalformed;
    return state_;
  }
  *body_start = head_size - before;
  buffer_.clear();
  buffer_.shrink_to_fit();
  state_ = State::kDone;
  return state_;
}

bool ParseResponseHead(std::string_view bytes, HttpResponseHead* head, size_t* body_start) {
  ResponseHeadParser parser;
  if (parser.Feed(bytes, body_start) != ResponseHeadParser::State::kDone) return false;
  *head = parser.head();
  return true;
}

}  // namespace corvane::install
