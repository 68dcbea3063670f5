// Conditions: the comparison of If / Else If and the expression language of Evaluate Expression.
#pragma once

#include <string>
#include <string_view>

#include "interp/variables.h"

namespace corvane::interp {

// The comparison of an If or Else If command (p1 variable, p2 operator code "0"-"6", p3 text),
// before the negation of p4 is applied. A version part that is not an integer raises
// ScriptFailure.
bool CompareForIf(const Variables& variables, std::string_view p1, std::string_view p2,
                  std::string_view p3);

// Whether the branch of an If / Else If is taken: the comparison differs from the negation (p4).
bool IfBranchTaken(const Variables& variables, std::string_view p1, std::string_view p2,
                   std::string_view p3, std::string_view p4);

// Evaluates a boolean expression over quoted texts: "TRUE", "FALSE" or "ERROR". Two operands
// that are both integers but do not fit into 32 bits raise ScriptFailure. Parentheses nested
// deeper than kMaxExpressionNesting give "ERROR".
std::string EvaluateExpression(std::string_view expression);
inline constexpr int kMaxExpressionNesting = 256;

// Syntax check of an unexpanded expression: every "$" is read as a double quote, so that a
// reference stands as the quoted text of its name. True unless the evaluation gives "ERROR".
bool CheckExpressionSyntax(std::string_view expression);

// The four numbers of a version text for operator "6" (missing parts are 0). A part before a dot
// that is not an integer raises ScriptFailure.
struct Version4 {
  int32_t part[4] = {0, 0, 0, 0};
};
Version4 ParseVersion4(std::string_view text);

// The message of a text that should have been an integer.
std::string NotAnIntegerMessage(std::string_view text);

}  // namespace corvane::interp
