#include "ui/png_encoder.h"

#include <zlib.h>

namespace corvane::ui {
namespace {

void Put32(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  Put32(out, static_cast<uint32_t>(
                 crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

std::string EncodePng(const platform::Picture& picture) {
  const uint64_t row = uint64_t{picture.width} * 4;
  if (picture.width == 0 || picture.height == 0 ||
      picture.rgba.size() != row * picture.height ||
      !platform::PictureSizeAllowed(picture.width, picture.height)) {
    return {};
  }
  // Every row starts with filter type 0 (none).
  std::string raw;
  raw.reserve((row + 1) * picture.height);
  for (uint32_t y = 0; y < picture.height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(picture.rgba.data() + y * row), row);
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_SPEED) != Z_OK) {
    return {};
  }
  packed.resize(size);

  std::string out = "\x89PNG\r\n\x1a\n";
  std::string header;
  Put32(header, picture.width);
  Put32(header, picture.height);
  header += '\x08';  // bits per sample
  header += '\x06';  // RGBA
  header += std::string(3, '\0');  // deflate, adaptive filters, no interlace
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", "");
  return out;
}

}  // namespace corvane::ui
