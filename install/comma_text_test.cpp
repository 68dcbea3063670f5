// Comma text as plug-ins receive and return the variables.
#include "install/comma_text.h"

#include <gtest/gtest.h>

namespace corvane::install {
namespace {

using Items = std::vector<std::string>;

// Every kind of value a variable holds comes back as it went out.
TEST(CommaText, RoundTripsEveryKindOfValue) {
  const Items items = {"PLAIN", "C:\\Program Files\\App",
                       "a,b",   "say \"hi\"",
                       "",      "line\r\nbreak",
                       "\ttab", "trailing ",
                       "\"",    "caf\xe9",
                       "$A$",   ""};
  const std::string text = CommaText(items);
  EXPECT_EQ(text.find('\0'), std::string::npos);
  EXPECT_EQ(SplitCommaText(text), items);
  EXPECT_EQ(CommaText({"A", "1", "B", "two words", "C", ""}), "A,1,B,\"two words\",C,\"\"");
}

// What a library may write back: blanks around items, an unquoted item ends at a blank, a comma
// at the end is one more empty item, empty items between commas, an unclosed quote runs to the
// end, and the text ends at its first zero.
TEST(CommaText, ReadsWhatLibrariesWrite) {
  EXPECT_EQ(SplitCommaText("  A , 1 ,B,  2  "), (Items{"A", "1", "B", "2"}));
  EXPECT_EQ(SplitCommaText("A,two words"), (Items{"A", "two", "words"}));
  EXPECT_EQ(SplitCommaText("A,"), (Items{"A", ""}));
  EXPECT_EQ(SplitCommaText("A,,B"), (Items{"A", "", "B"}));
  EXPECT_EQ(SplitCommaText("A,\"open"), (Items{"A", "open"}));
  EXPECT_EQ(SplitCommaText(std::string("A,1\0B,2", 7)), (Items{"A", "1"}));
  EXPECT_EQ(SplitCommaText(""), Items{});
  EXPECT_EQ(SplitCommaText("   "), Items{});
}

}  // namespace
}  // namespace corvane::install
