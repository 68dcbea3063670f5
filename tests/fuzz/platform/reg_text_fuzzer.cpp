// Fuzz target for the .reg text reader: any input either fails cleanly or loads a tree whose
// written form reads back to the same written form.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/reg_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::platform::sim;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  RegTree tree;
  std::string error;
  if (!ReadRegText(text, &tree, &error)) return 0;
  std::string written = WriteRegText(tree);
  RegTree again;
  if (!ReadRegText(written, &again, &error)) std::abort();
  if (WriteRegText(again) != written) std::abort();
  return 0;
}
