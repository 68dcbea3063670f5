// Fuzzes the script image loader and the lookups that run on what it loaded.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "image/failure.h"
#include "image/pe_stub.h"
#include "image/script_image.h"

using namespace corvane::image;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)PeStubSize(bytes);
  ScriptImage image;
  // Read in place, as start-up reads the mapped engine file: the lists point into the input.
  std::shared_ptr<const void> in_place(data, [](const void*) {});
  if (!ParseScriptImage(in_place, bytes, &image).ok()) return 0;
  size_t lines = 0;
  image.parameter_pool.Walk([&](std::string_view, size_t offset) {
    if (lines++ < 64) {
      for (long k = 0; k < 3; ++k) (void)image.parameter_pool.LineAfter(offset, k);
    }
  });
  if (lines != image.parameter_pool.size()) __builtin_trap();
  for (long i = 0; i < static_cast<long>(image.command_count()) && i < 256; ++i) {
    try {
      const std::string id(CommandId(image, i));
      for (long n = 0; n < 4; ++n) (void)GetCommandParameter(image, id, n);
    } catch (const ScriptFailure&) {
    }
    try {
      (void)IsCommandDisabled(image, i);
      (void)GetCommandHeader(image, i, false);
      (void)GetCommandHeader(image, i, true);
    } catch (const ScriptFailure&) {
    }
  }
  (void)ExpandCompilerVariables(image, image.title);
  (void)ExpandCompilerVariables(image, "#SINGLEINSTANCE##CACHESOURCES#");
  (void)FindComponentSize(image, image.title);
  (void)DescrambleText(FindMediaPassword(image, "offline"));
  (void)IsPluginAction(image, image.title);
  return 0;
}
