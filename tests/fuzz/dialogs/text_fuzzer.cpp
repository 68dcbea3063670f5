// The text form of a dialog and rule lines. A text that parses survives text -> binary -> text
// unchanged once it is in the writer's form; every line parses as a rule.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/failure.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/property_rules.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& line : ui::SplitRuleLines(text)) {
    ui::PropertyRule rule = ui::ParsePropertyRule(line);
    if (rule.source_control.size() + rule.source_property.size() + rule.compare_value.size() +
            rule.target_control.size() + rule.target_property.size() + rule.new_value.size() >
        line.size())
      std::abort();
  }
  try {
    ui::FormObject root = ui::ParseFormText(text);
    std::string canonical = ui::FormObjectToText(root);
    std::string binary = ui::WriteBinaryStream(ui::ParseFormText(canonical));
    if (ui::FormObjectToText(ui::ReadBinaryStream(binary)) != canonical) std::abort();
  } catch (const image::ScriptFailure&) {
  }
  return 0;
}
