#include "interp/conditions.h"

#include <gtest/gtest.h>

#include "image/failure.h"

namespace corvane::interp {
namespace {

class IfComparison : public ::testing::Test {
 protected:
  // Compares variable L (holding `left`) with `right` under operator `op`.
  bool Cmp(const std::string& left, const char* op, const std::string& right) {
    v.SetVariable("L", left, "test");
    return CompareForIf(v, "L", op, right);
  }
  Variables v;
};

TEST_F(IfComparison, OperatorCodesOnTexts) {
  EXPECT_TRUE(Cmp("CANCEL", "0", "CANCEL"));
  EXPECT_FALSE(Cmp("Yes", "0", "YES"));
  EXPECT_TRUE(Cmp("x15", "1", "5"));
  EXPECT_FALSE(Cmp("abc", "1", "B"));
  EXPECT_FALSE(Cmp("abc", "1", ""));  // the empty text is never contained
  EXPECT_TRUE(Cmp("b", "2", "abc"));
  EXPECT_FALSE(Cmp("abc", "2", "abc"));
  EXPECT_TRUE(Cmp("\xE9", "2", "z"));  // byte order: 0xE9 sorts after 'z'
  EXPECT_TRUE(Cmp("abc", "3", "B"));
  EXPECT_TRUE(Cmp("\xC9T\xC9", "3", "\xE9t"));  // letters of the code page fold too
  EXPECT_FALSE(Cmp("abc", "3", ""));
  EXPECT_TRUE(Cmp("Yes", "4", "YES"));
  EXPECT_FALSE(Cmp("\xE9", "4", "\xC9"));  // only A-Z ignore case here
  for (const char* op : {"7", "", "x", "00", "-1"}) EXPECT_FALSE(Cmp("a", op, "a")) << op;
}

TEST_F(IfComparison, OperatorCodesOnIntegers) {
  EXPECT_TRUE(Cmp("10", "2", "9"));
  EXPECT_FALSE(Cmp("15", "1", "5"));  // integers compare for equality under "1"
  EXPECT_TRUE(Cmp("15", "1", "15"));
  EXPECT_TRUE(Cmp("$1F", "0", "31"));
  EXPECT_TRUE(Cmp("0x10", "3", " 16"));
  EXPECT_TRUE(Cmp("-5", "4", "-5"));
  EXPECT_TRUE(Cmp("-1", "2", "-2"));
  // Out of 32-bit range is a text, compared in byte order.
  EXPECT_TRUE(Cmp("9999999999", "2", "10000000000"));
}

TEST_F(IfComparison, SidesAreExpandedAndNegationApplies) {
  v.SetVariable("WIZARD", "CANCEL", "t");
  EXPECT_TRUE(IfBranchTaken(v, "WIZARD", "0", "CANCEL", "FALSE"));
  EXPECT_FALSE(IfBranchTaken(v, "WIZARD", "0", "CANCEL", "TRUE"));
  EXPECT_TRUE(IfBranchTaken(v, "$WIZARD$", "0", "NEXT", "true"));
  // The left value is expanded once more, the right side once.
  v.SetVariable("INNER", "deep", "t");
  v.SetVariable("REF", "$INNER$", "t");
  EXPECT_TRUE(CompareForIf(v, "REF", "0", "$INNER$"));
  // An undefined variable reads as the empty text.
  EXPECT_TRUE(CompareForIf(v, "NOPE", "0", ""));
}

TEST_F(IfComparison, DefinedTestUsesTheNameAsWritten) {
  v.SetVariable("TARGETDIR", "", "t");
  EXPECT_TRUE(CompareForIf(v, "TARGETDIR", "5", "ignored"));
  EXPECT_TRUE(CompareForIf(v, "targetdir", "5", ""));
  EXPECT_FALSE(CompareForIf(v, "$TARGETDIR$", "5", ""));
}

TEST_F(IfComparison, Versions) {
  EXPECT_TRUE(Cmp("1.2.10", "6", "1.2.9"));
  EXPECT_FALSE(Cmp("1.2", "6", "1.2.0.0"));
  EXPECT_FALSE(Cmp("2.0", "6", "2.0"));
  EXPECT_TRUE(Cmp("2", "6", "1.99.99.99"));
  EXPECT_TRUE(Cmp("1.0.0.1.7", "6", "1.0.0.0"));  // a fifth part is never read
  EXPECT_FALSE(Cmp("1.0.x", "6", "1.0"));         // a last part that is no integer gives 0
  EXPECT_THROW(Cmp("1.x.0", "6", "1"), image::ScriptFailure);
  EXPECT_THROW(Cmp("1..0", "6", "1"), image::ScriptFailure);
  EXPECT_THROW(Cmp("1.0", "6", "a.1"), image::ScriptFailure);
}

struct ExpressionCase {
  const char* text;
  const char* result;
};

TEST(Expressions, Evaluation) {
  const ExpressionCase cases[] = {
      {R"("a" = "a" and ("b" < "c" or "x" = "y"))", "TRUE"},
      {R"("1" = "01")", "TRUE"},
      {R"("a" = "A")", "FALSE"},
      {R"("10" > "9")", "TRUE"},    // numbers
      {R"("10" > "9x")", "FALSE"},  // texts
      {R"("-5" < "+3")", "TRUE"},
      {R"("-" < "+")", "FALSE"},    // a sign alone is a text: '-' sorts after '+'
      {R"("ab" < "abc")", "TRUE"},  // a proper prefix sorts first
      {R"("" = "")", "TRUE"},
      {R"("a" <> "b")", "TRUE"},
      {R"("b" <= "b")", "TRUE"},
      {R"("c" >= "d")", "FALSE"},
      {R"("say ""hi""" = "say ""hi""")", "TRUE"},
      {R"("a"="a")", "TRUE"},
      {R"(  ( ( "a" = "a" ) )  )", "TRUE"},
      {R"("a" = "b" or "a" = "a" and "b" = "c")", "FALSE"},  // left to right, no precedence
      {R"("a" = "a" or "x" = "y" and "c" = "c")", "TRUE"},
      // errors
      {R"("a" = "a" AND "b" = "b")", "ERROR"},
      {R"(("a" = "a")", "ERROR"},
      {R"("a" = "a"))", "ERROR"},
      {R"("a" =)", "ERROR"},
      {R"("a" = "a" and)", "ERROR"},
      {R"("a" == "a")", "ERROR"},
      {R"("a" = "a)", "ERROR"},
      {R"($X$ = "a")", "ERROR"},
      {R"("a" = "a" "b")", "ERROR"},
      {R"("a" = "a" and("b" = "b"))", "ERROR"},
      {"", "ERROR"},
      {"()", "ERROR"},
      {R"("a")", "ERROR"},
  };
  for (const auto& c : cases) EXPECT_EQ(EvaluateExpression(c.text), c.result) << c.text;
}

TEST(Expressions, IntegerOverflowIsAFailure) {
  EXPECT_THROW(EvaluateExpression(R"("4294967296" = "1")"), image::ScriptFailure);
  EXPECT_THROW(EvaluateExpression(R"("1" < "-2147483649")"), image::ScriptFailure);
  EXPECT_EQ(EvaluateExpression(R"("-2147483648" < "2147483647")"), "TRUE");
  // Only when both sides are integers is either converted.
  EXPECT_EQ(EvaluateExpression(R"("4294967296" = "x")"), "FALSE");
}

TEST(Expressions, DeepNestingIsAnErrorNotACrash) {
  std::string deep(100000, '(');
  EXPECT_EQ(EvaluateExpression(deep + "\"a\" = \"a\"" + std::string(100000, ')')), "ERROR");
  std::string ok(50, '(');
  EXPECT_EQ(EvaluateExpression(ok + "\"a\" = \"a\"" + std::string(50, ')')), "TRUE");
}

TEST(Expressions, SyntaxCheckReadsReferencesAsQuotedNames) {
  EXPECT_TRUE(CheckExpressionSyntax(R"($A$ = "x" and ($B$ <> $C$))"));
  EXPECT_FALSE(CheckExpressionSyntax(R"("$A$" = "x")"));
  EXPECT_FALSE(CheckExpressionSyntax(R"($A$ = "x" AND $B$ = "y")"));
  EXPECT_FALSE(CheckExpressionSyntax(R"($A$ = )"));
}

}  // namespace
}  // namespace corvane::interp
