// Variable expansion on arbitrary variables and text. The input is lines: NAME=VALUE lines
// define variables until a line "--"; the rest is the text to expand. Expansion must end, and
// its result must stay within the limits however the values refer to each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "interp/variables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::interp;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  Variables v;
  size_t pos = 0;
  while (pos < in.size()) {
    size_t eol = in.find('\n', pos);
    std::string_view line = in.substr(pos, eol == std::string_view::npos ? in.npos : eol - pos);
    if (line == "--" || eol == std::string_view::npos) break;
    size_t eq = line.find('=');
    if (eq != std::string_view::npos) v.SetVariable(line.substr(0, eq), line.substr(eq + 1), "f");
    pos = eol + 1;
  }
  std::string_view text = pos < in.size() ? in.substr(pos) : in;

  // Smaller budgets than the engine's, so that a run stays fast; the rules are the same.
  ExpandLimits limits;
  limits.max_replacements = 4000;
  limits.max_result_bytes = size_t{1} << 20;
  std::string plain = v.store().Expand(text, limits);
  std::string quoted = v.store().ExpandQuoted(text, limits);
  const size_t bound = limits.max_result_bytes;
  if (plain.size() > bound || quoted.size() > bound) std::abort();
  // Path expansion is the plain expansion with doubled backslashes collapsed.
  if (CollapseBackslashes(plain).size() > plain.size() + 1) std::abort();
  // Without any defined name the text comes back unchanged.
  if (v.store().size() == 0 && plain != text) std::abort();
  return 0;
}
