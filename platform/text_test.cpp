#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/numbers.h"

namespace corvane::platform {
namespace {

TEST(Text, FoldsWith1252Tables) {
  EXPECT_EQ(UpperCase("abc\xE9\xFF\x9A"), "ABC\xC9\x9F\x8A");
  EXPECT_EQ(LowerCase("ABC\xC9\x8C"), "abc\xE9\x9C");
  // The division and multiplication signs and the sharp s are not letters with a pair.
  EXPECT_EQ(UpperCase("\xF7\xDF"), "\xF7\xDF");
  EXPECT_TRUE(SameText("Caf\xE9", "CAF\xC9"));
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_EQ(FindText("Hello World", "WORLD"), 6u);
  EXPECT_EQ(FindText("Hello", "x"), std::string::npos);
  CaseInsensitiveHash h;
  EXPECT_EQ(h("\xE9t\xE9"), h("\xC9T\xC9"));
  // Long texts are hashed a word at a time: ASCII words and words with 1252 letters alike.
  EXPECT_EQ(h("{c0a70000-abcd-4000-8000-0000000000ff}"), h("{C0A70000-ABCD-4000-8000-0000000000FF}"));
  EXPECT_EQ(h("abcdefg\xE9hijklmnop@[`{"), h("ABCDEFG\xC9HIJKLMNOP@[`{"));
  EXPECT_NE(h("abcdefgh@"), h("abcdefgh`"));  // '@' and '`' are not a case pair
  EXPECT_NE(h("abcdefgh[xyz"), h("abcdefgh{xyz"));
}

TEST(Text, ConvertsBetweenCodePages) {
  const std::string s = "A\x80\xE9\x9F";
  EXPECT_EQ(Utf8From1252(s), "A\xE2\x82\xAC\xC3\xA9\xC5\xB8");
  EXPECT_EQ(Cp1252FromUtf8(Utf8From1252(s)), s);
  EXPECT_EQ(Cp1252FromUtf16(Utf16From1252(s)), s);
  EXPECT_EQ(Cp1252FromUtf8("\xE4\xB8\xAD"), "?");   // a character outside the code page
  EXPECT_EQ(Cp1252FromUtf8("\xC3"), "?");           // cut in the middle of a sequence
}

TEST(Numbers, FollowTheScriptRules) {
  EXPECT_EQ(ParseDecimal32("  -42"), -42);
  EXPECT_EQ(ParseDecimal32("2147483647"), 2147483647);
  EXPECT_EQ(ParseDecimal32("-2147483648"), INT32_MIN);
  EXPECT_FALSE(ParseDecimal32("2147483648"));
  EXPECT_FALSE(ParseDecimal32("12a"));
  EXPECT_FALSE(ParseDecimal32(""));
  EXPECT_FALSE(ParseDecimal32("-"));
  EXPECT_EQ(ParseDecimal64("9223372036854775807"), INT64_MAX);
  EXPECT_FALSE(ParseDecimal64("9223372036854775808"));
  EXPECT_EQ(ParseScriptInteger("$FF"), 255);
  EXPECT_EQ(ParseScriptInteger("0x10"), 16);
  EXPECT_EQ(ParseScriptInteger("$FFFFFFFF"), -1);
  EXPECT_FALSE(ParseScriptInteger("$100000000"));
  EXPECT_FALSE(ParseScriptInteger("0x"));
  EXPECT_EQ(ParseScriptInteger("-$10"), -16);
}

}  // namespace
}  // namespace corvane::platform
