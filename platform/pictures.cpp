#include "platform/pictures.h"

namespace corvane::platform {

bool PictureSizeAllowed(uint64_t width, uint64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

Picture BlankPicture(uint32_t width, uint32_t height) {
  Picture p;
  p.width = width;
  p.height = height;
  p.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
  return p;
}

std::optional<PictureSize> JpegFrameSize(std::string_view bytes) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return std::nullopt;
  size_t i = 2;
  while (i + 1 < bytes.size()) {
    if (byte(i) != 0xFF) return std::nullopt;
    uint8_t marker = byte(i + 1);
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    i += 2;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // end or scan before any frame
    if (i + 2 > bytes.size()) return std::nullopt;
    size_t length = static_cast<size_t>(byte(i)) << 8 | byte(i + 1);
    if (length < 2) return std::nullopt;
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 8 || i + 7 > bytes.size()) return std::nullopt;
      PictureSize s;
      s.height = static_cast<uint32_t>(byte(i + 3)) << 8 | byte(i + 4);
      s.width = static_cast<uint32_t>(byte(i + 5)) << 8 | byte(i + 6);
      return s;
    }
    i += length;
  }
  return std::nullopt;
}

}  // namespace corvane::platform
