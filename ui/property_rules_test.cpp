#include "ui/property_rules.h"

#include <gtest/gtest.h>

namespace corvane::ui {
namespace {

TEST(PropertyRules, AWellFormedRule) {
  PropertyRule r = ParsePropertyRule("IF (CheckBox1.Checked = True)  THEN  Button1.Enabled := True;");
  EXPECT_EQ(r.source_control, "CheckBox1");
  EXPECT_EQ(r.source_property, "Checked");
  EXPECT_FALSE(r.not_equal);
  EXPECT_EQ(r.compare_value, "True");
  EXPECT_EQ(r.target_control, "Button1");
  EXPECT_EQ(r.target_property, "Enabled");
  EXPECT_EQ(r.new_value, "True");
}

TEST(PropertyRules, NotEqualWinsWhereverItIs) {
  // " <> " anywhere in the line makes it the operator, even after an " = ".
  PropertyRule r = ParsePropertyRule("IF (Edit1.Text = a <> b)  THEN  Label1.Caption := x = y;");
  EXPECT_TRUE(r.not_equal);
  EXPECT_EQ(r.source_property, "Text = a");
  EXPECT_EQ(r.compare_value, "b");
  EXPECT_EQ(r.new_value, "x = y");
  // Even when it only appears in the new value.
  PropertyRule late = ParsePropertyRule("IF (A.B = 1)  THEN  C.D := <> ;");
  EXPECT_TRUE(late.not_equal);
  EXPECT_EQ(late.source_property, "B = 1)  THEN  C.D :=");
  EXPECT_EQ(late.compare_value, "");
}

TEST(PropertyRules, TheFirstThenSeparatorEndsTheCompareValue) {
  PropertyRule r = ParsePropertyRule(
      "IF (Memo1.Text = a)  THEN  b)  THEN  Button1.Enabled := False;");
  EXPECT_EQ(r.compare_value, "a");
  EXPECT_EQ(r.target_control, "b)  THEN  Button1");
  EXPECT_EQ(r.target_property, "Enabled");
  // A single blank around THEN is not the separator.
  PropertyRule one = ParsePropertyRule("IF (A.B = 1) THEN C.D := 2;");
  EXPECT_EQ(one.compare_value, "");
  EXPECT_EQ(one.target_control, "1) THEN C");
}

TEST(PropertyRules, NothingIsTrimmed) {
  PropertyRule r = ParsePropertyRule("IF ( Edit1 .Text =  x )  THEN   B.Caption :=  v ;");
  EXPECT_EQ(r.source_control, " Edit1 ");
  EXPECT_EQ(r.source_property, "Text");
  EXPECT_EQ(r.compare_value, " x ");
  EXPECT_EQ(r.target_control, " B");
  EXPECT_EQ(r.new_value, " v ");
  // The first four characters go whatever they are.
  EXPECT_EQ(ParsePropertyRule("XXXXA.B = 1)  THEN  C.D := 2;").source_control, "A");
  EXPECT_EQ(ParsePropertyRule("IF (A.B = 1)  THEN  C.D := 2;").source_control, "A");
  PropertyRule short_prefix = ParsePropertyRule("IF(A.B = 1)  THEN  C.D := 2;");
  EXPECT_EQ(short_prefix.source_control, "");  // "IF(A" went, the rest starts at the dot
  EXPECT_EQ(short_prefix.source_property, "B");
}

TEST(PropertyRules, EmptyAndBrokenLines) {
  PropertyRule empty = ParsePropertyRule("");
  EXPECT_EQ(empty.source_control, "");
  EXPECT_FALSE(empty.not_equal);
  EXPECT_EQ(empty.new_value, "");
  EXPECT_EQ(ParsePropertyRule("IF").source_control, "");
  // A missing separator leaves its part empty and the rest in place for the next part.
  PropertyRule r = ParsePropertyRule("IF (NoDot = 1)  THEN  C.D := 2;");
  EXPECT_EQ(r.source_control, "NoDot = 1)  THEN  C");
  EXPECT_EQ(r.source_property, "");
  EXPECT_EQ(r.compare_value, "");
  EXPECT_EQ(r.target_control, "");
  EXPECT_EQ(r.target_property, "D");
  EXPECT_EQ(r.new_value, "2");
  PropertyRule no_semicolon = ParsePropertyRule("IF (A.B = 1)  THEN  C.D := 2");
  EXPECT_EQ(no_semicolon.target_property, "D");
  EXPECT_EQ(no_semicolon.new_value, "");
}

TEST(PropertyRules, RuleFileLines) {
  EXPECT_TRUE(SplitRuleLines("").empty());
  EXPECT_EQ(SplitRuleLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitRuleLines("a\r\n"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitRuleLines("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitRuleLines("\n"), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace corvane::ui
