#include "platform/profile.h"

#include <gtest/gtest.h>

namespace corvane::platform {
namespace {

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes;
  for (char16_t c : text) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    bytes.push_back(big_endian ? hi : lo);
    bytes.push_back(big_endian ? lo : hi);
  }
  return bytes;
}

// The byte order follows the mark; without one, the bytes are 8-bit text even where they would
// make sense as UTF-16.
TEST(Profile, Utf16FilesFollowTheirByteOrderMark) {
  const std::u16string text = u"\xFEFF[S]\r\nK=\u00E9\u20AC\u03A9\r\n";
  EXPECT_EQ(LookupProfileString(Utf16(text, false), "S", "K", "-"), "\xE9\x80?");
  EXPECT_EQ(LookupProfileString(Utf16(text, true), "s", "k", "-"), "\xE9\x80?");
  EXPECT_EQ(LookupProfileString(Utf16(text, false) + "x", "S", "K", "-"), "\xE9\x80?");
  EXPECT_EQ(LookupProfileString(Utf16(text.substr(1), false), "S", "K", "-"), "-");
  EXPECT_EQ(LookupProfileString("\xFF\xFE", "S", "K", "-"), "-");
  EXPECT_EQ(LookupProfileString("[S]\r\nK=\xFF\xFE\r\n", "S", "K", "-"), "\xFF\xFE");
}

}  // namespace
}  // namespace corvane::platform
