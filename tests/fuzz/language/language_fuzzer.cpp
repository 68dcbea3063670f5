// Fuzzes what the localisation reads from a setup's files: the language file loader (the engine
// message set from blocks and their names) and the translation tables (four line lists cut out
// of the input), whose lookups must never read past a list however unequal the lists are.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/engine_messages.h"
#include "ui/text_extent.h"
#include "ui/translations.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  image::EngineMessages messages;
  image::LoadLanguageFile(text, "German", &messages);
  for (int line = 0; line <= image::msg::kCount + 1; ++line) (void)messages.Text(line);
  for (int reserved = image::msg::kReservedFirst; reserved <= image::msg::kReservedLast;
       ++reserved) {
    if (!messages.Text(reserved).empty()) __builtin_trap();
  }

  // The input cut at its first three form feeds into the four lists.
  std::vector<std::string_view> parts;
  size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    size_t cut = text.find('\f', at);
    if (cut == std::string_view::npos) break;
    parts.push_back(text.substr(at, cut - at));
    at = cut + 1;
  }
  parts.push_back(text.substr(at));
  parts.resize(4);
  ui::TranslationTables tables(ui::SplitLineList(parts[0]), ui::SplitLineList(parts[1]),
                               ui::SplitLineList(parts[2]), ui::SplitLineList(parts[3]));
  const std::vector<std::string> keys = ui::SplitLineList(parts[1]);
  for (size_t i = 0; i < keys.size() && i < 64; ++i) {
    for (int n = 0; n < 4; ++n) {
      for (auto mode : {ui::TranslationMode::kNewOnly, ui::TranslationMode::kVarsOnly,
                        ui::TranslationMode::kAll}) {
        (void)tables.TranslateCommandText(keys[i], keys[i], n, mode);
      }
    }
    (void)tables.TranslateDialogText(keys[i], keys[i]);
  }
  (void)ui::RtfPlainText(text);
  return 0;
}
