#include "ui/png_decoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace corvane::ui {
namespace {

using platform::Picture;

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr size_t kSignatureSize = 8;

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

struct Header {
  uint32_t width = 0;
  uint32_t height = 0;
  uint8_t depth = 0;
  uint8_t colour = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  bool interlaced = false;

  int Channels() const {
    switch (colour) {
      case 2:
        return 3;
      case 4:
        return 2;
      case 6:
        return 4;
      default:
        return 1;
    }
  }
  int BitsPerPixel() const { return Channels() * depth; }
  // Bytes of one row of `pixels` pixels, without its filter byte.
  uint64_t RowBytes(uint64_t pixels) const { return (pixels * BitsPerPixel() + 7) / 8; }
};

bool ValidDepth(uint8_t colour, uint8_t depth) {
  switch (colour) {
    case 0:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
      return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
      return depth == 8 || depth == 16;
    default:
      return false;
  }
}

// The seven passes of Adam7: first column, first row, column step, row step.
struct Pass {
  uint32_t x0, y0, dx, dy;
};
constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8},
                                         {4, 0, 8, 8},
                                         {0, 4, 4, 8},
                                         {2, 0, 4, 4},
                                         {0, 2, 2, 4},
                                         {1, 0, 2, 2},
                                         {0, 1, 1, 2}}};
constexpr Pass kWhole = {0, 0, 1, 1};

uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step) {
  return size > start ? (size - start + step - 1) / step : 0;
}

// The inflated image data of every pass, with its filter bytes.
uint64_t ExpectedDataSize(const Header& h) {
  if (!h.interlaced) return static_cast<uint64_t>(h.height) * (1 + h.RowBytes(h.width));
  uint64_t total = 0;
  for (const Pass& p : kAdam7) {
    const uint32_t w = PassExtent(h.width, p.x0, p.dx), rows = PassExtent(h.height, p.y0, p.dy);
    if (w != 0) total += static_cast<uint64_t>(rows) * (1 + h.RowBytes(w));
  }
  return total;
}

uint8_t Paeth(uint8_t a, uint8_t b, uint8_t c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Undoes the filter of one row in place; `prior` is the unfiltered row above (zeros for the
// first row of a pass). False for an unknown filter type.
bool Unfilter(uint8_t type, uint8_t* row, const uint8_t* prior, size_t size, size_t bpp) {
  switch (type) {
    case 0:
      return true;
    case 1:
      for (size_t i = bpp; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
      return true;
    case 2:
      for (size_t i = 0; i < size; ++i) row[i] = static_cast<uint8_t>(row[i] + prior[i]);
      return true;
    case 3:
      for (size_t i = 0; i < size; ++i) {
        const unsigned left = i >= bpp ? row[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + ((left + prior[i]) >> 1));
      }
      return true;
    case 4:
      for (size_t i = 0; i < size; ++i) {
        const uint8_t left = i >= bpp ? row[i - bpp] : 0;
        const uint8_t corner = i >= bpp ? prior[i - bpp] : 0;
        row[i] = static_cast<uint8_t>(row[i] + Paeth(left, prior[i], corner));
      }
      return true;
    default:
      return false;
  }
}

struct Colours {
  std::vector<std::array<uint8_t, 4>> palette;  // RGBA, alpha from tRNS
  bool has_key = false;                         // tRNS of a grey or RGB picture
  std::array<uint16_t, 3> key{};                // the transparent sample values
};

// Converts the unfiltered rows of one pass into the picture. False when a palette index lies
// beyond the palette.
bool StorePass(const Header& h, const Colours& c, const Pass& p, uint32_t pass_width, uint32_t rows,
               const uint8_t* data, size_t row_bytes, Picture& out) {
  const unsigned max_value = (1u << h.depth) - 1;
  for (uint32_t r = 0; r < rows; ++r) {
    const uint8_t* row = data + static_cast<size_t>(r) * (row_bytes + 1) + 1;
    const uint32_t y = p.y0 + r * p.dy;
    for (uint32_t i = 0; i < pass_width; ++i) {
      const uint32_t x = p.x0 + i * p.dx;
      uint8_t* px = out.rgba.data() + (static_cast<size_t>(y) * out.width + x) * 4;
      // The raw samples of this pixel (at most four).
      std::array<uint16_t, 4> s{};
      if (h.depth < 8) {
        const size_t bit = static_cast<size_t>(i) * h.depth;
        s[0] = (row[bit / 8] >> (8 - h.depth - bit % 8)) & max_value;
      } else {
        const int channels = h.Channels();
        const size_t bytes = h.depth / 8;
        const uint8_t* q = row + static_cast<size_t>(i) * channels * bytes;
        for (int k = 0; k < channels; ++k) {
          s[k] = bytes == 2 ? static_cast<uint16_t>(q[2 * k] << 8 | q[2 * k + 1]) : q[k];
        }
      }
      // A sample at this depth as 8 bits.
      auto eight = [&](uint16_t v) -> uint8_t {
        if (h.depth == 16) return static_cast<uint8_t>(v >> 8);
        return static_cast<uint8_t>(v * 255u / max_value);
      };
      switch (h.colour) {
        case 0:
          px[0] = px[1] = px[2] = eight(s[0]);
          px[3] = c.has_key && s[0] == c.key[0] ? 0 : 255;
          break;
        case 2:
          px[0] = eight(s[0]);
          px[1] = eight(s[1]);
          px[2] = eight(s[2]);
          px[3] = c.has_key && s[0] == c.key[0] && s[1] == c.key[1] && s[2] == c.key[2] ? 0 : 255;
          break;
        case 3:
          if (s[0] >= c.palette.size()) return false;
          std::memcpy(px, c.palette[s[0]].data(), 4);
          break;
        case 4:
          px[0] = px[1] = px[2] = eight(s[0]);
          px[3] = eight(s[1]);
          break;
        default:
          px[0] = eight(s[0]);
          px[1] = eight(s[1]);
          px[2] = eight(s[2]);
          px[3] = eight(s[3]);
      }
    }
  }
  return true;
}

// Inflates the concatenated IDAT data into a buffer of exactly the expected size. The buffer
// grows with the output, so a small damaged file that declares a large picture costs little.
class ImageData {
 public:
  explicit ImageData(uint64_t expected) : expected_(expected) {
    std::memset(&z_, 0, sizeof z_);
    ok_ = inflateInit(&z_) == Z_OK;
  }
  ~ImageData() {
    if (ok_) inflateEnd(&z_);
  }
  ImageData(const ImageData&) = delete;
  ImageData& operator=(const ImageData&) = delete;

  // Feeds one IDAT chunk; false once the data is damaged.
  bool Feed(const uint8_t* in, uint32_t size) {
    if (!ok_) return false;
    if (ended_) return true;  // data after the end of the stream is ignored
    z_.next_in = const_cast<Bytef*>(in);
    z_.avail_in = size;
    while (z_.avail_in > 0) {
      if (z_.avail_out == 0 && !Grow()) return false;
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (z_.total_out > expected_) return false;
      if (rc == Z_STREAM_END) {
        ended_ = true;
        return true;
      }
      if (rc != Z_OK && !(rc == Z_BUF_ERROR && z_.avail_out == 0)) return false;
    }
    return true;
  }
  // True when the stream ended with exactly the expected bytes.
  bool Complete() const { return ok_ && ended_ && z_.total_out == expected_; }
  uint8_t* data() { return data_.data(); }

 private:
  // Makes room for more output: doubles the buffer up to the expected size and one spare byte
  // (which only excess output can fill).
  bool Grow() {
    const uint64_t limit = expected_ + 1;
    const size_t used = data_.size();
    if (used >= limit) return false;
    const uint64_t next = std::min<uint64_t>(limit, std::max<uint64_t>(65536, used * 2));
    data_.resize(static_cast<size_t>(next));
    z_.next_out = data_.data() + used;
    z_.avail_out = static_cast<uInt>(data_.size() - used);
    return true;
  }

  uint64_t expected_;
  std::vector<uint8_t> data_;
  z_stream z_;
  bool ok_ = false;
  bool ended_ = false;
};

}  // namespace

bool IsPng(std::string_view bytes) {
  return bytes.size() >= kSignatureSize && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

std::optional<Picture> DecodePng(std::string_view bytes) {
  if (!IsPng(bytes)) return std::nullopt;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const size_t size = bytes.size();
  size_t at = kSignatureSize;

  Header h;
  Colours colours;
  std::optional<ImageData> image;
  bool seen_header = false, seen_palette = false, in_idat = false, idat_done = false;

  while (true) {
    if (size - at < 12) return std::nullopt;  // no room for a whole chunk: truncated
    const uint32_t length = Be32(p + at);
    if (length > 0x7FFFFFFFu || length > size - at - 12) return std::nullopt;
    const uint8_t* type = p + at + 4;
    const uint8_t* data = p + at + 8;
    const uint32_t crc = Be32(data + length);
    if (static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), type, length + 4)) != crc) {
      return std::nullopt;
    }
    at += 12 + static_cast<size_t>(length);
    auto is = [&](const char* name) { return std::memcmp(type, name, 4) == 0; };

    if (!seen_header) {
      if (!is("IHDR") || length != 13) return std::nullopt;
      h.width = Be32(data);
      h.height = Be32(data + 4);
      h.depth = data[8];
      h.colour = data[9];
      if (!ValidDepth(h.colour, h.depth) || data[10] != 0 || data[11] != 0 || data[12] > 1) {
        return std::nullopt;
      }
      h.interlaced = data[12] == 1;
      if (!platform::PictureSizeAllowed(h.width, h.height)) return std::nullopt;
      seen_header = true;
      continue;
    }
    if (in_idat && !is("IDAT")) {
      in_idat = false;
      idat_done = true;
    }
    if (is("IHDR")) return std::nullopt;
    if (is("IEND")) break;
    if (is("PLTE")) {
      if (seen_palette || image || length == 0 || length % 3 != 0 || length / 3 > 256) {
        return std::nullopt;
      }
      seen_palette = true;
      if (h.colour != 3) continue;  // a suggested palette for a true-colour picture
      colours.palette.resize(length / 3);
      for (size_t i = 0; i < colours.palette.size(); ++i) {
        colours.palette[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2], 255};
      }
    } else if (is("tRNS")) {
      if (image) return std::nullopt;
      if (h.colour == 3) {
        if (!seen_palette || length > colours.palette.size()) return std::nullopt;
        for (uint32_t i = 0; i < length; ++i) colours.palette[i][3] = data[i];
      } else if (h.colour == 0 || h.colour == 2) {
        const uint32_t want = h.colour == 0 ? 2 : 6;
        if (length != want) return std::nullopt;
        colours.has_key = true;
        for (uint32_t i = 0; i < want / 2; ++i) {
          colours.key[i] = static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
        }
      }
      // A picture with an alpha channel ignores it.
    } else if (is("IDAT")) {
      if (idat_done) return std::nullopt;  // IDAT chunks must follow one another
      if (h.colour == 3 && !seen_palette) return std::nullopt;
      if (!image) image.emplace(ExpectedDataSize(h));
      in_idat = true;
      if (!image->Feed(data, length)) return std::nullopt;
    } else if ((type[0] & 0x20) == 0) {
      return std::nullopt;  // a critical chunk we do not know
    }
  }
  if (!image || !image->Complete()) return std::nullopt;

  // Unfilter and store each pass.
  Picture out = platform::BlankPicture(h.width, h.height);
  const size_t bpp = static_cast<size_t>(h.BitsPerPixel() + 7) / 8;
  uint8_t* cursor = image->data();
  auto passes =
      h.interlaced ? std::vector<Pass>(kAdam7.begin(), kAdam7.end()) : std::vector<Pass>{kWhole};
  std::vector<uint8_t> zeros;
  for (const Pass& pass : passes) {
    const uint32_t w = PassExtent(h.width, pass.x0, pass.dx);
    const uint32_t rows = PassExtent(h.height, pass.y0, pass.dy);
    if (w == 0 || rows == 0) continue;
    const size_t row_bytes = static_cast<size_t>(h.RowBytes(w));
    zeros.assign(row_bytes, 0);
    const uint8_t* prior = zeros.data();
    for (uint32_t r = 0; r < rows; ++r) {
      uint8_t* row = cursor + static_cast<size_t>(r) * (row_bytes + 1);
      if (!Unfilter(row[0], row + 1, prior, row_bytes, bpp)) return std::nullopt;
      prior = row + 1;
    }
    if (!StorePass(h, colours, pass, w, rows, cursor, row_bytes, out)) return std::nullopt;
    cursor += static_cast<size_t>(rows) * (row_bytes + 1);
  }
  return out;
}

}  // namespace corvane::ui
