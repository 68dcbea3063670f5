#include "platform/bitmap_file.h"

#include <bit>
#include <cstring>

namespace corvane::platform {
namespace {

uint16_t U16(std::string_view s, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8);
}
uint32_t U32(std::string_view s, size_t at) {
  return static_cast<uint32_t>(U16(s, at)) | static_cast<uint32_t>(U16(s, at + 2)) << 16;
}

constexpr size_t kFileHeader = 14;

// One channel of a 16- or 32-bit pixel, widened to 8 bits by repeating its bits (so that a full
// field is 255).
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = std::countr_zero(mask);
  uint32_t field = mask >> shift;
  int length = std::bit_width(field);
  uint32_t value = (pixel & mask) >> shift;
  if (length > 8) {
    value >>= length - 8;
    length = 8;
  }
  uint32_t out = 0;
  int fill = 8;
  while (fill > 0) {
    if (fill >= length) {
      out |= value << (fill - length);
      fill -= length;
    } else {
      out |= value >> (length - fill);
      fill = 0;
    }
  }
  return static_cast<uint8_t>(out);
}

uint32_t PixelWord(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
  return v;
}

void PutIndex(const BitmapLayout& layout, Picture& out, uint32_t x, uint32_t y, uint32_t index) {
  uint8_t* px = out.rgba.data() + (static_cast<size_t>(y) * out.width + x) * 4;
  if (index < layout.palette.size()) {
    const auto& c = layout.palette[index];
    px[0] = c[0];
    px[1] = c[1];
    px[2] = c[2];
  } else {
    px[0] = px[1] = px[2] = 0;
  }
  px[3] = 255;
}

// Run-length encoded data, 8 or 4 bits per index, rows from the bottom. Returns false when the
// data is damaged (a run or an absolute block past the data); coordinates past the picture are
// clipped, as the system's decoder does.
bool DecodeRle(const BitmapLayout& layout, std::string_view file, Picture& out) {
  const auto* data = reinterpret_cast<const uint8_t*>(file.data()) + layout.bits_offset;
  const size_t size = layout.bits_size;
  const bool four = layout.compression == bitmap_compression::kRle4;
  uint64_t x = 0, row = 0;  // row counts from the bottom
  auto put = [&](uint32_t index) {
    if (x < layout.width && row < layout.height) {
      PutIndex(layout, out, static_cast<uint32_t>(x),
               layout.height - 1 - static_cast<uint32_t>(row), index);
    }
    ++x;
  };
  size_t i = 0;
  while (i + 1 < size) {
    uint8_t count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {
      for (uint32_t k = 0; k < count; ++k) {
        put(four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++row;
    } else if (value == 1) {  // end of picture
      return true;
    } else if (value == 2) {  // delta
      if (i + 1 >= size) return false;
      x += data[i];
      row += data[i + 1];
      i += 2;
    } else {  // absolute block of `value` indexes, padded to a 16-bit boundary
      size_t bytes = four ? (value + 1u) / 2 : value;
      if (i + bytes > size) return false;
      for (uint32_t k = 0; k < value; ++k) {
        put(four ? ((k & 1) ? data[i + k / 2] & 0x0F : data[i + k / 2] >> 4) : data[i + k]);
      }
      i += (bytes + 1) & ~size_t{1};
    }
    if (row > layout.height) return true;  // everything after this is off the picture
  }
  // Data that ends without an end-of-picture mark keeps what it drew.
  return true;
}

}  // namespace

std::optional<BitmapLayout> ReadBitmapLayout(std::string_view file) {
  using namespace bitmap_compression;
  if (file.size() < kFileHeader + 12 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const uint32_t off_bits = U32(file, 10);
  const uint32_t header = U32(file, kFileHeader);
  if (header != 12 && header != 40 && header != 52 && header != 56 && header != 108 &&
      header != 124) {
    return std::nullopt;
  }
  if (file.size() < kFileHeader + header) return std::nullopt;
  BitmapLayout b;
  int64_t width, height;
  uint16_t planes;
  uint32_t compression = kRgb, colours_used = 0;
  const size_t h = kFileHeader;
  if (header == 12) {
    width = U16(file, h + 4);
    height = U16(file, h + 6);
    planes = U16(file, h + 8);
    b.bit_count = U16(file, h + 10);
  } else {
    width = static_cast<int32_t>(U32(file, h + 4));
    height = static_cast<int32_t>(U32(file, h + 8));
    planes = U16(file, h + 12);
    b.bit_count = U16(file, h + 14);
    compression = U32(file, h + 16);
    colours_used = U32(file, h + 32);
  }
  if (planes != 1 || width <= 0 || height == 0) return std::nullopt;
  b.top_down = height < 0;
  if (height < 0) height = -height;
  if (!PictureSizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    return std::nullopt;
  }
  b.width = static_cast<uint32_t>(width);
  b.height = static_cast<uint32_t>(height);

  size_t after_header = h + header;  // where bit fields (40-byte header) or the colour table start
  switch (b.bit_count) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (compression == kRle8 && b.bit_count == 8) break;
      if (compression == kRle4 && b.bit_count == 4) break;
      if (compression != kRgb) return std::nullopt;
      break;
    case 16:
    case 32:
      if (compression == kRgb) {
        b.masks = b.bit_count == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                    : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
      } else if (compression == kBitFields || compression == kAlphaBitFields) {
        int given = compression == kAlphaBitFields ? 4 : 3;
        size_t at = h + 40;
        if (header == 40) {
          if (file.size() < after_header + 4 * given) return std::nullopt;
          after_header += 4 * given;
        } else {
          // Masks inside a larger header: three in 52 bytes, four from 56 bytes on.
          given = header >= 56 ? 4 : 3;
        }
        for (int i = 0; i < given; ++i) b.masks[i] = U32(file, at + 4 * i);
        if (b.bit_count == 16) {
          for (uint32_t& m : b.masks) m &= 0xFFFF;
        }
      } else {
        return std::nullopt;
      }
      compression = kRgb;
      break;
    default:
      return std::nullopt;
  }
  if ((compression == kRle4 || compression == kRle8) && b.top_down) return std::nullopt;
  b.compression = compression;

  if (b.bit_count <= 8) {
    const uint32_t most = 1u << b.bit_count;
    uint32_t entries = colours_used == 0 || colours_used > most ? most : colours_used;
    const size_t entry = header == 12 ? 3 : 4;
    if (after_header + entries * entry > file.size()) return std::nullopt;
    b.palette.resize(entries);
    for (uint32_t i = 0; i < entries; ++i) {
      const char* e = file.data() + after_header + i * entry;
      b.palette[i] = {static_cast<uint8_t>(e[2]), static_cast<uint8_t>(e[1]),
                      static_cast<uint8_t>(e[0])};
    }
  }

  if (off_bits < kFileHeader + header || off_bits >= file.size()) return std::nullopt;
  b.bits_offset = off_bits;
  const size_t available = file.size() - off_bits;
  const uint64_t stride = (static_cast<uint64_t>(b.width) * b.bit_count + 31) / 32 * 4;
  b.stride = static_cast<size_t>(stride);
  if (compression == kRgb) {
    const uint64_t needed = stride * b.height;
    if (needed > available) return std::nullopt;
    b.bits_size = static_cast<size_t>(needed);
  } else {
    const uint32_t image_size = header == 12 ? 0 : U32(file, h + 20);
    b.bits_size = image_size != 0 && image_size < available ? image_size : available;
  }
  return b;
}

std::optional<Picture> DecodeBitmapFile(std::string_view file) {
  std::optional<BitmapLayout> layout = ReadBitmapLayout(file);
  if (!layout) return std::nullopt;
  const BitmapLayout& b = *layout;
  Picture out = BlankPicture(b.width, b.height);
  if (b.compression != bitmap_compression::kRgb) {
    for (size_t i = 3; i < out.rgba.size(); i += 4) out.rgba[i] = 255;
    if (!DecodeRle(b, file, out)) return std::nullopt;
    return out;
  }
  const auto* bits = reinterpret_cast<const uint8_t*>(file.data()) + b.bits_offset;
  for (uint32_t y = 0; y < b.height; ++y) {
    const uint8_t* row = bits + b.stride * (b.top_down ? y : b.height - 1 - y);
    uint8_t* px = out.rgba.data() + static_cast<size_t>(y) * b.width * 4;
    for (uint32_t x = 0; x < b.width; ++x, px += 4) {
      switch (b.bit_count) {
        case 1:
        case 4:
        case 8: {
          const uint32_t per_byte = 8 / b.bit_count;
          const uint8_t byte = row[x / per_byte];
          const uint32_t shift = 8 - b.bit_count * (x % per_byte + 1);
          PutIndex(b, out, x, y, (byte >> shift) & ((1u << b.bit_count) - 1));
          break;
        }
        case 24:
          px[0] = row[x * 3 + 2];
          px[1] = row[x * 3 + 1];
          px[2] = row[x * 3];
          px[3] = 255;
          break;
        default: {
          const int bytes = b.bit_count / 8;
          const uint32_t v = PixelWord(row + static_cast<size_t>(x) * bytes, bytes);
          px[0] = Channel(v, b.masks[0]);
          px[1] = Channel(v, b.masks[1]);
          px[2] = Channel(v, b.masks[2]);
          px[3] = 255;
        }
      }
    }
  }
  ApplyBitmapAlpha(b, file, out);
  return out;
}

void ApplyBitmapAlpha(const BitmapLayout& b, std::string_view file, Picture& picture) {
  const bool has_alpha = (b.bit_count == 16 || b.bit_count == 32) &&
                         b.compression == bitmap_compression::kRgb && b.masks[3] != 0;
  const auto* bits = reinterpret_cast<const uint8_t*>(file.data()) + b.bits_offset;
  const int bytes = b.bit_count / 8;
  bool any = false;
  if (has_alpha) {
    for (uint32_t y = 0; y < b.height && !any; ++y) {
      const uint8_t* row = bits + b.stride * y;
      for (uint32_t x = 0; x < b.width; ++x) {
        if ((PixelWord(row + static_cast<size_t>(x) * bytes, bytes) & b.masks[3]) != 0) {
          any = true;
          break;
        }
      }
    }
  }
  if (!any) {
    for (size_t i = 3; i < picture.rgba.size(); i += 4) picture.rgba[i] = 255;
    return;
  }
  for (uint32_t y = 0; y < b.height; ++y) {
    const uint8_t* row = bits + b.stride * (b.top_down ? y : b.height - 1 - y);
    uint8_t* px = picture.rgba.data() + static_cast<size_t>(y) * b.width * 4;
    for (uint32_t x = 0; x < b.width; ++x, px += 4) {
      px[3] = Channel(PixelWord(row + static_cast<size_t>(x) * bytes, bytes), b.masks[3]);
    }
  }
}

}  // namespace corvane::platform
