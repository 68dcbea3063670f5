// Property rules: one line of a dialog's rule file, such as
//   IF (CheckBox1.Checked = True)  THEN  Button1.Enabled := True;
// The line is taken apart strictly by position and separators, without trimming anything.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::ui {

struct PropertyRule {
  std::string source_control;
  std::string source_property;
  bool not_equal = false;  // operator " <> "; otherwise " = "
  std::string compare_value;
  std::string target_control;
  std::string target_property;
  std::string new_value;
};

// Parses one rule line:
//   1. the first four characters are skipped, whatever they are;
//   2. the operator is " <> " when the rest contains it anywhere, else " = ";
//   3. the source control is the text before the first "."; it and the "." are removed;
//   4. the source property is the text before the first operator; it and the operator go;
//   5. the compare value is the text before the first ")  THEN  "; it and the separator go;
//   6. the target control is the text before the next ".", the target property the text before
//      the next " := ", the new value the text before the next ";".
// A separator that is missing gives an empty part and removes nothing.
PropertyRule ParsePropertyRule(std::string_view line);

// Splits the text of a rule file into lines at CR LF, LF or CR; a final line break does not
// start another line.
std::vector<std::string> SplitRuleLines(std::string_view text);

}  // namespace corvane::ui
