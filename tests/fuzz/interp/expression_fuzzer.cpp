// Evaluate Expression and its compile-time syntax check on arbitrary text: the result is always
// TRUE, FALSE or ERROR, or the defined failure for integers beyond 32 bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "image/failure.h"
#include "interp/conditions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    std::string r = corvane::interp::EvaluateExpression(text);
    if (r != "TRUE" && r != "FALSE" && r != "ERROR") std::abort();
  } catch (const corvane::image::ScriptFailure&) {
  }
  try {
    bool ok = corvane::interp::CheckExpressionSyntax(text);
    // With no dollar in the text the check is the evaluation itself.
    if (text.find('$') == std::string_view::npos &&
        ok != (corvane::interp::EvaluateExpression(text) != "ERROR")) {
      std::abort();
    }
  } catch (const corvane::image::ScriptFailure&) {
  }
  return 0;
}
