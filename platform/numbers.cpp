#include "platform/numbers.h"

#include <limits>

namespace corvane::platform {
namespace {

// Digits of a decimal number with optional leading blanks and sign, as a 64-bit magnitude check.
template <typename T>
std::optional<T> ParseDecimal(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  using U = std::make_unsigned_t<T>;
  const U limit = negative ? U(std::numeric_limits<T>::max()) + 1 : U(std::numeric_limits<T>::max());
  U value = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    U d = static_cast<U>(c - '0');
    if (value > (limit - d) / 10) return std::nullopt;
    value = value * 10 + d;
  }
  if (negative) return static_cast<T>(U(0) - value);
  return static_cast<T>(value);
}

}  // namespace

std::optional<int32_t> ParseDecimal32(std::string_view s) { return ParseDecimal<int32_t>(s); }
std::optional<int64_t> ParseDecimal64(std::string_view s) { return ParseDecimal<int64_t>(s); }

std::optional<int32_t> ParseScriptInteger(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  std::string_view rest = s.substr(i);
  bool negative = false;
  std::string_view body = rest;
  if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }
  size_t prefix = 0;
  if (!body.empty() && body[0] == '$') {
    prefix = 1;
  } else if (body.size() >= 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
    prefix = 2;
  }
  if (prefix == 0) return ParseDecimal32(rest);
  body.remove_prefix(prefix);
  if (body.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : body) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  uint32_t u = static_cast<uint32_t>(value);
  if (negative) u = 0u - u;
  return static_cast<int32_t>(u);
}

}  // namespace corvane::platform
