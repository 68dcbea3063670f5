#include "ui/picture_data.h"

#include <cstdint>

#include "ui/png_decoder.h"

namespace corvane::ui {
namespace {

bool IsJpeg(std::string_view b) {
  return b.size() >= 3 && static_cast<uint8_t>(b[0]) == 0xFF &&
         static_cast<uint8_t>(b[1]) == 0xD8 && static_cast<uint8_t>(b[2]) == 0xFF;
}
bool IsBitmap(std::string_view b) { return b.size() >= 2 && b[0] == 'B' && b[1] == 'M'; }
bool IsPictureFile(std::string_view b) { return IsPng(b) || IsJpeg(b) || IsBitmap(b); }

// The file after an optional 4-byte size: the size must fit in what follows and the file must
// begin with a signature; the file then ends where the size says.
std::optional<std::string_view> AfterSize(std::string_view b) {
  if (IsPictureFile(b)) return b;
  if (b.size() < 4) return std::nullopt;
  const uint32_t size = static_cast<uint32_t>(static_cast<uint8_t>(b[0])) |
                        static_cast<uint32_t>(static_cast<uint8_t>(b[1])) << 8 |
                        static_cast<uint32_t>(static_cast<uint8_t>(b[2])) << 16 |
                        static_cast<uint32_t>(static_cast<uint8_t>(b[3])) << 24;
  std::string_view rest = b.substr(4);
  if (size > rest.size()) return std::nullopt;
  rest = rest.substr(0, size);
  if (!IsPictureFile(rest)) return std::nullopt;
  return rest;
}

// Whether the bytes begin with a short string naming a class ("T" and identifier characters).
size_t ClassNameLength(std::string_view b) {
  if (b.empty()) return 0;
  const size_t n = static_cast<uint8_t>(b[0]);
  if (n < 2 || n > 63 || b.size() < n + 1 || b[1] != 'T') return 0;
  for (size_t i = 1; i <= n; ++i) {
    const char c = b[i];
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= '0' && c <= '9') && c != '_') return 0;
  }
  return n + 1;
}

}  // namespace

std::optional<std::string_view> PictureFileOfProperty(std::string_view property) {
  if (IsPictureFile(property)) return property;
  if (size_t name = ClassNameLength(property)) {
    if (auto file = AfterSize(property.substr(name))) return file;
  }
  return AfterSize(property);
}

std::optional<platform::Picture> DecodePictureFile(std::string_view file,
                                                   platform::PictureCodecs& codecs) {
  if (IsPng(file)) return DecodePng(file);
  if (IsJpeg(file)) return codecs.DecodeJpeg(file);
  if (IsBitmap(file)) return codecs.DecodeBitmap(file);
  return std::nullopt;
}

std::optional<platform::Picture> DecodePictureProperty(std::string_view property,
                                                       platform::PictureCodecs& codecs) {
  std::optional<std::string_view> file = PictureFileOfProperty(property);
  if (!file) return std::nullopt;
  return DecodePictureFile(*file, codecs);
}

}  // namespace corvane::ui
