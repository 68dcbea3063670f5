// Fuzzes our bitmap reader: the header checks that both platforms rely on, and the decoder.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bitmap_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto layout = corvane::platform::ReadBitmapLayout(bytes);
  if (layout && layout->bits_offset + layout->bits_size > size) __builtin_trap();
  auto picture = corvane::platform::DecodeBitmapFile(bytes);
  if (picture && picture->rgba.size() != size_t{picture->width} * picture->height * 4) {
    __builtin_trap();
  }
  return 0;
}
