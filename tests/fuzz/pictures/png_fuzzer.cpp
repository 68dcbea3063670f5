// Fuzzes our PNG reader, and the search for a picture file inside a picture property.
//
// Almost every mutation breaks a chunk's CRC, which the reader checks before anything else; so
// each input is also decoded once more with every CRC it has made right, to reach the code
// behind the check.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/picture_data.h"
#include "ui/png_decoder.h"

namespace {

void Check(std::string_view bytes) {
  auto picture = corvane::ui::DecodePng(bytes);
  if (picture && (!corvane::platform::PictureSizeAllowed(picture->width, picture->height) ||
                  picture->rgba.size() != size_t{picture->width} * picture->height * 4)) {
    __builtin_trap();
  }
}

std::string WithGoodCrcs(std::string png) {
  auto* p = reinterpret_cast<unsigned char*>(png.data());
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length =
        uint32_t{p[at]} << 24 | uint32_t{p[at + 1]} << 16 | uint32_t{p[at + 2]} << 8 | p[at + 3];
    if (length > png.size() - at - 12) break;
    const uint32_t crc = static_cast<uint32_t>(crc32(0, p + at + 4, length + 4));
    for (int i = 0; i < 4; ++i)
      p[at + 8 + length + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return png;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  if (corvane::ui::IsPng(bytes)) Check(WithGoodCrcs(std::string(bytes)));
  auto file = corvane::ui::PictureFileOfProperty(bytes);
  if (file) {
    if (file->data() < bytes.data() || file->data() + file->size() > bytes.data() + size) {
      __builtin_trap();
    }
    Check(*file);
  }
  return 0;
}
