#include "ui/property_rules.h"

namespace corvane::ui {
namespace {

// The text before the first occurrence of a separator, removing both from rest; when the
// separator is absent the part is empty and rest stays as it is.
std::string TakeBefore(std::string_view* rest, std::string_view separator) {
  size_t at = rest->find(separator);
  if (at == std::string_view::npos) return std::string();
  std::string part(rest->substr(0, at));
  rest->remove_prefix(at + separator.size());
  return part;
}

}  // namespace

PropertyRule ParsePropertyRule(std::string_view line) {
  PropertyRule rule;
  std::string_view rest = line.substr(line.size() < 4 ? line.size() : 4);
  rule.not_equal = rest.find(" <> ") != std::string_view::npos;
  std::string_view op = rule.not_equal ? " <> " : " = ";
  rule.source_control = TakeBefore(&rest, ".");
  rule.source_property = TakeBefore(&rest, op);
  rule.compare_value = TakeBefore(&rest, ")  THEN  ");
  rule.target_control = TakeBefore(&rest, ".");
  rule.target_property = TakeBefore(&rest, " := ");
  rule.new_value = TakeBefore(&rest, ";");
  return rule;
}

std::vector<std::string> SplitRuleLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(i));
      break;
    }
    lines.emplace_back(text.substr(i, end - i));
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    i = end + 1;
  }
  return lines;
}

}  // namespace corvane::ui
