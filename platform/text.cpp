#include "platform/text.h"

#include <array>
#include <cstring>

namespace corvane::platform {
namespace {

// Unicode code points of the bytes 0x80-0x9F of Windows-1252; 0 marks the five unassigned bytes.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

struct CaseTables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c) {
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
    }
    // Latin-1 letters: 0xE0-0xFE fold to 0xC0-0xDE, except the division sign 0xF7.
    for (int c = 0xE0; c <= 0xFE; ++c) {
      if (c == 0xF7) continue;
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
    }
    // The letters of the 0x80-0x9F block: S/s caron, OE/oe, Z/z caron, Y diaeresis.
    const std::pair<int, int> pairs[] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8E, 0x9E}, {0x9F, 0xFF}};
    for (auto [up, low] : pairs) {
      upper[low] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(low);
    }
  }
};

const CaseTables& Tables() {
  static const CaseTables tables;
  return tables;
}

char16_t ToUnicode(unsigned char c) {
  if (c < 0x80 || c >= 0xA0) return c;
  char16_t u = kHigh1252[c - 0x80];
  return u ? u : c;  // unassigned bytes map to the C1 control of the same value
}

int FromUnicode(char32_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<int>(u);
  for (int i = 0; i < 32; ++i) {
    if (kHigh1252[i] == u) return 0x80 + i;
  }
  if (u >= 0x80 && u < 0xA0) return static_cast<int>(u);
  return -1;
}

}  // namespace

char UpperChar1252(char c) {
  return static_cast<char>(Tables().upper[static_cast<unsigned char>(c)]);
}
char LowerChar1252(char c) {
  return static_cast<char>(Tables().lower[static_cast<unsigned char>(c)]);
}

std::string UpperCase(std::string_view s) {
  const auto& t = Tables().upper;
  std::string r(s);
  for (char& c : r) c = static_cast<char>(t[static_cast<unsigned char>(c)]);
  return r;
}

std::string LowerCase(std::string_view s) {
  const auto& t = Tables().lower;
  std::string r(s);
  for (char& c : r) c = static_cast<char>(t[static_cast<unsigned char>(c)]);
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (std::memcmp(a.data(), b.data(), a.size()) == 0) return true;
  const auto& t = Tables().upper;
  for (size_t i = 0; i < a.size(); ++i) {
    if (t[static_cast<unsigned char>(a[i])] != t[static_cast<unsigned char>(b[i])]) return false;
  }
  return true;
}

int CompareText(std::string_view a, std::string_view b) {
  const auto& t = Tables().upper;
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int x = t[static_cast<unsigned char>(a[i])], y = t[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

size_t FindText(std::string_view haystack, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= haystack.size() ? from : std::string::npos;
  if (needle.size() > haystack.size()) return std::string::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    if (SameText(haystack.substr(i, needle.size()), needle)) return i;
  }
  return std::string::npos;
}

std::u16string Utf16From1252(std::string_view s) {
  std::u16string r;
  r.reserve(s.size());
  for (char c : s) r.push_back(ToUnicode(static_cast<unsigned char>(c)));
  return r;
}

std::string Cp1252FromUtf16(std::u16string_view s) {
  std::string r;
  r.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size()) ++i;  // a pair outside the code page
    int b = (u >= 0xD800 && u <= 0xDFFF) ? -1 : FromUnicode(u);
    r.push_back(b < 0 ? '?' : static_cast<char>(b));
  }
  return r;
}

std::string Utf8From1252(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) {
    char16_t u = ToUnicode(static_cast<unsigned char>(c));
    if (u < 0x80) {
      r.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      r.push_back(static_cast<char>(0xC0 | (u >> 6)));
      r.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      r.push_back(static_cast<char>(0xE0 | (u >> 12)));
      r.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
  return r;
}

std::string Cp1252FromUtf8(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t u;
    size_t len;
    if (c < 0x80) {
      u = c, len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      u = c & 0x1F, len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      u = c & 0x0F, len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      u = c & 0x07, len = 4;
    } else {
      r.push_back('?');
      ++i;
      continue;
    }
    if (i + len > s.size()) {
      r.push_back('?');
      break;
    }
    bool bad = false;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) bad = true;
      u = (u << 6) | (cc & 0x3F);
    }
    if (bad) {
      r.push_back('?');
      ++i;
      continue;
    }
    int b = FromUnicode(u);
    r.push_back(b < 0 ? '?' : static_cast<char>(b));
    i += len;
  }
  return r;
}

size_t CaseInsensitiveHash::operator()(std::string_view s) const {
  // Eight bytes at a time: plain ASCII words are upper-cased with word arithmetic, words with a
  // byte above 0x7F go through the 1252 table. Every word is mixed with one multiplication.
  const auto& t = Tables().upper;
  uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
  size_t i = 0;
  auto mix = [&h](uint64_t w) {
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  };
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & 0x8080808080808080ull) {
      unsigned char b[8];
      std::memcpy(b, &w, 8);
      for (unsigned char& c : b) c = t[c];
      std::memcpy(&w, b, 8);
    } else {
      // Bytes from 'a' to 'z' lose their 0x20 bit: (c + 0x1F) has bit 7 set exactly when
      // c > 'a' - 1 ... combined with (c + 0x05) clear of bit 7 when c <= 'z'.
      uint64_t heptets = w & 0x7F7F7F7F7F7F7F7Full;
      uint64_t ge_a = heptets + 0x1F1F1F1F1F1F1F1Full;  // bit 7 set where c >= 'a'
      uint64_t gt_z = heptets + 0x0505050505050505ull;  // bit 7 set where c > 'z'
      uint64_t lower = ge_a & ~gt_z & 0x8080808080808080ull;
      w ^= lower >> 2;
    }
    mix(w);
  }
  uint64_t tail = 0;
  for (size_t k = 0; i < s.size(); ++i, ++k) {
    tail |= uint64_t{t[static_cast<unsigned char>(s[i])]} << (8 * k);
  }
  mix(tail);
  return static_cast<size_t>(h ^ (h >> 29));
}

bool PathHasLostCharacters(std::string_view path) {
  if (path.rfind("\\\\?\\", 0) == 0) path.remove_prefix(4);
  return path.find('?') != std::string_view::npos;
}

}  // namespace corvane::platform
