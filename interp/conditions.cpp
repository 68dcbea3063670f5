#include "interp/conditions.h"

#include <optional>

#include "image/failure.h"
#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::interp {

std::string NotAnIntegerMessage(std::string_view text) {
  return "'" + std::string(text) + "' is not a valid integer value";
}

// ---------------------------------------------------------------------------------------------
// If / Else If

namespace {

bool SameAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

int32_t VersionPart(std::string_view part) {
  std::optional<int32_t> v = platform::ParseDecimal32(part);
  if (!v) throw image::ScriptFailure(NotAnIntegerMessage(part));
  return *v;
}

}  // namespace

Version4 ParseVersion4(std::string_view text) {
  Version4 v;
  std::string_view rest = text;
  for (int i = 0; i < 4; ++i) {
    if (rest.empty()) {
      v.part[i] = 0;
      continue;
    }
    size_t dot = rest.find('.');
    if (dot == std::string_view::npos) {
      v.part[i] = platform::ParseDecimal32(rest).value_or(0);
      rest = {};
    } else {
      v.part[i] = VersionPart(rest.substr(0, dot));
      rest.remove_prefix(dot + 1);
    }
  }
  return v;
}

bool CompareForIf(const Variables& variables, std::string_view p1, std::string_view p2,
                  std::string_view p3) {
  if (p2 == "5") return variables.IsVariableDefined(p1);

  const std::string name = ResultVariableName(p1);
  const std::string left = variables.ExpandVariables(variables.GetVariable(name));
  const std::string right = variables.ExpandVariables(p3);

  if (p2 == "6") {
    const Version4 l = ParseVersion4(left), r = ParseVersion4(right);
    for (int i = 0; i < 4; ++i) {
      if (l.part[i] != r.part[i]) return l.part[i] > r.part[i];
    }
    return false;
  }
  if (p2.size() != 1 || p2[0] < '0' || p2[0] > '4') return false;

  const std::optional<int32_t> li = platform::ParseScriptInteger(left);
  const std::optional<int32_t> ri = li ? platform::ParseScriptInteger(right) : std::nullopt;
  if (li && ri) {
    return p2[0] == '2' ? *li > *ri : *li == *ri;
  }
  switch (p2[0]) {
    case '0':
      return left == right;
    case '1':
      return !right.empty() && left.find(right) != std::string::npos;
    case '2':
      return left > right;
    case '3':
      return !right.empty() && platform::FindText(left, right) != std::string::npos;
    case '4':
      return SameAsciiCase(left, right);
  }
  return false;
}

bool IfBranchTaken(const Variables& variables, std::string_view p1, std::string_view p2,
                   std::string_view p3, std::string_view p4) {
  return CompareForIf(variables, p1, p2, p3) != TextToBool(p4);
}

// ---------------------------------------------------------------------------------------------
// Expressions

namespace {

// The parser consumes the text from the front; any problem sets `error` and unwinds.
class ExpressionParser {
 public:
  explicit ExpressionParser(std::string_view text) : text_(text) {}

  // Parses the whole text as one primary; nullopt on any error or text left over.
  std::optional<bool> ParseAll() {
    std::optional<bool> v = Primary(0);
    if (!v || pos_ != text_.size()) return std::nullopt;
    return v;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }

  std::optional<bool> Primary(int depth) {
    SkipBlanks();
    if (AtEnd()) return std::nullopt;
    if (text_[pos_] == '(') {
      if (depth >= kMaxExpressionNesting) return std::nullopt;
      ++pos_;
      std::optional<bool> v = Expression(depth + 1);
      if (!v) return std::nullopt;
      SkipBlanks();
      if (AtEnd() || text_[pos_] != ')') return std::nullopt;
      ++pos_;
      return v;
    }
    if (text_[pos_] == '"') return Comparison();
    return std::nullopt;
  }

  std::optional<bool> Expression(int depth) {
    std::optional<bool> value = Primary(depth);
    if (!value) return std::nullopt;
    while (!AtEnd()) {
      SkipBlanks();
      if (AtEnd() || text_[pos_] == ')') break;
      std::string_view word = Word();
      bool is_and = word == "and";
      if (!is_and && word != "or") return std::nullopt;
      std::optional<bool> next = Primary(depth);
      if (!next) return std::nullopt;
      value = is_and ? (*value && *next) : (*value || *next);
    }
    return value;
  }

  // The characters up to the next blank or double quote.
  std::string_view Word() {
    size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ' ' && text_[pos_] != '"') ++pos_;
    return text_.substr(start, pos_ - start);
  }

  std::optional<std::string> Quoted() {
    if (AtEnd() || text_[pos_] != '"') return std::nullopt;
    ++pos_;
    std::string out;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c != '"') {
        out.push_back(c);
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '"') {
        out.push_back('"');
        ++pos_;
        continue;
      }
      return out;
    }
    return std::nullopt;  // no closing quote
  }

  static bool IsIntegerText(std::string_view s) {
    if (s.empty()) return false;
    size_t i = 0;
    if (s.size() > 1 && (s[0] == '+' || s[0] == '-')) i = 1;
    for (; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
    }
    return true;
  }

  std::optional<bool> Comparison() {
    std::optional<std::string> left = Quoted();
    if (!left) return std::nullopt;
    SkipBlanks();
    std::string_view op = Word();
    SkipBlanks();
    std::optional<std::string> right = Quoted();
    if (!right) return std::nullopt;
    SkipBlanks();

    int cmp;
    if (IsIntegerText(*left) && IsIntegerText(*right)) {
      std::optional<int32_t> l = platform::ParseDecimal32(*left);
      if (!l) throw image::ScriptFailure(NotAnIntegerMessage(*left));
      std::optional<int32_t> r = platform::ParseDecimal32(*right);
      if (!r) throw image::ScriptFailure(NotAnIntegerMessage(*right));
      cmp = *l < *r ? -1 : (*l > *r ? 1 : 0);
    } else {
      int c = left->compare(*right);
      cmp = c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (op == "=") return cmp == 0;
    if (op == "<>") return cmp != 0;
    if (op == "<=") return cmp <= 0;
    if (op == "<") return cmp < 0;
    if (op == ">=") return cmp >= 0;
    if (op == ">") return cmp > 0;
    return std::nullopt;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::string EvaluateExpression(std::string_view expression) {
  std::string wrapped;
  wrapped.reserve(expression.size() + 2);
  wrapped.push_back('(');
  wrapped.append(expression);
  wrapped.push_back(')');
  std::optional<bool> v = ExpressionParser(wrapped).ParseAll();
  if (!v) return "ERROR";
  return *v ? "TRUE" : "FALSE";
}

bool CheckExpressionSyntax(std::string_view expression) {
  std::string text(expression);
  for (char& c : text) {
    if (c == '$') c = '"';
  }
  return EvaluateExpression(text) != "ERROR";
}

}  // namespace corvane::interp
