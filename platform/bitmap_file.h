// Bitmap files ("BM"): the reader of their headers, which both platforms use to check a file
// before anything is decoded or handed to the system, and the pixel decoder of the simulation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/pictures.h"

namespace corvane::platform {

// Compression values of a bitmap header.
namespace bitmap_compression {
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
}  // namespace bitmap_compression

// What the headers of a bitmap file say, after checking that it holds everything they promise:
// the colour table lies inside the file, an uncompressed picture has all its rows, the size is
// within the picture limits. Bit fields are normalised: `masks` holds the red, green, blue and
// alpha masks of every 16- and 32-bit picture (the 5-5-5 and 8-8-8 defaults when the file gives
// none); an alpha mask of 0 means no alpha.
struct BitmapLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool top_down = false;
  uint16_t bit_count = 0;    // 1, 4, 8, 16, 24 or 32
  uint32_t compression = 0;  // kRgb, kRle8 (8 bits) or kRle4 (4 bits); bit fields become kRgb
  std::array<uint32_t, 4> masks{};
  std::vector<std::array<uint8_t, 3>> palette;  // red, green, blue; bit counts up to 8 only
  size_t bits_offset = 0;                       // where the pixel data starts in the file
  size_t bits_size = 0;  // the bytes from there that belong to it (all rows, or the RLE data)
  size_t stride = 0;     // bytes per row of uncompressed data
};

std::optional<BitmapLayout> ReadBitmapLayout(std::string_view file);

// The whole picture, decoded by our own code. Palette indexes beyond the colour table are black;
// pixels that a run-length encoded picture skips are opaque black.
std::optional<Picture> DecodeBitmapFile(std::string_view file);

// The alpha bytes of a 32-bit picture as the alpha rule of PictureCodecs::DecodeBitmap gives
// them, for a picture whose colours another decoder produced: sets every pixel's alpha.
void ApplyBitmapAlpha(const BitmapLayout& layout, std::string_view file, Picture& picture);

}  // namespace corvane::platform
