// Fuzzes our PNG reader, and the search for a picture file inside a picture property.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ui/picture_data.h"
#include "ui/png_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto picture = corvane::ui::DecodePng(bytes);
  if (picture) {
    if (!corvane::platform::PictureSizeAllowed(picture->width, picture->height) ||
        picture->rgba.size() != size_t{picture->width} * picture->height * 4) {
      __builtin_trap();
    }
  }
  auto file = corvane::ui::PictureFileOfProperty(bytes);
  if (file) {
    if (file->data() < bytes.data() || file->data() + file->size() > bytes.data() + size) {
      __builtin_trap();
    }
    (void)corvane::ui::DecodePng(*file);
  }
  return 0;
}
