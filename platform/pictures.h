// Decoded pictures and the picture decoders that belong to the platform.
//
// Dialog pictures come as PNG, JPEG or bitmap files. PNG is decoded by our own code on every
// platform (ui/png_decoder.h). JPEG and bitmap files go through this service: on Windows the
// system's own decoders (the OLE picture loader for JPEG, GDI for bitmaps), in the simulation
// libjpeg and the bitmap reader of bitmap_file.h. Both return the same Picture, so everything
// above the platform draws from one pixel layout.
//
// Contract of every decoder here: it never throws, never aborts the process, and never allocates
// for a size it has not checked against the limits below; damaged, truncated or unsupported
// input, or a picture larger than the limits, gives nullopt. Any thread may call it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace corvane::platform {

// A decoded picture: rows from the top, 4 bytes per pixel in the order red, green, blue, alpha
// (straight, not premultiplied; 255 is opaque).
struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4 bytes

  // The four bytes of pixel (x, y); x < width, y < height.
  const uint8_t* At(uint32_t x, uint32_t y) const {
    return rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
  }
};

// The largest picture a decoder accepts: each side at most kMaxPictureSide pixels and at most
// kMaxPicturePixels pixels in all (64 MiB of RGBA). Dialog pictures are a few hundred pixels.
constexpr uint32_t kMaxPictureSide = 8192;
constexpr uint64_t kMaxPicturePixels = uint64_t{16} << 20;

// Whether a picture of this size may be decoded: both sides at least 1 and within the limits.
bool PictureSizeAllowed(uint64_t width, uint64_t height);

// A picture of this size with every pixel transparent black; the size must be allowed.
Picture BlankPicture(uint32_t width, uint32_t height);

// The frame size a JPEG file declares (its first start-of-frame marker), or nullopt when the
// bytes do not begin with a JPEG start-of-image marker or no frame header is found in them.
struct PictureSize {
  uint32_t width = 0;
  uint32_t height = 0;
};
std::optional<PictureSize> JpegFrameSize(std::string_view bytes);

class PictureCodecs {
 public:
  virtual ~PictureCodecs() = default;
  // A JPEG file (starting with FF D8).
  virtual std::optional<Picture> DecodeJpeg(std::string_view bytes) = 0;
  // A bitmap file (starting with "BM"): 1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up or
  // top-down, uncompressed, bit fields or run-length encoded. Bitmaps are opaque, except a 32-bit
  // one whose fourth bytes are not all zero: those bytes are its alpha.
  virtual std::optional<Picture> DecodeBitmap(std::string_view bytes) = 0;
};

// The codecs of a platform that decodes no JPEG or bitmap file.
class NoPictureCodecs : public PictureCodecs {
 public:
  std::optional<Picture> DecodeJpeg(std::string_view) override { return std::nullopt; }
  std::optional<Picture> DecodeBitmap(std::string_view) override { return std::nullopt; }
};

// Forwards every call; a test overrides the one it changes.
class PictureCodecsWrapper : public PictureCodecs {
 public:
  explicit PictureCodecsWrapper(PictureCodecs& target) : target_(target) {}
  std::optional<Picture> DecodeJpeg(std::string_view bytes) override {
    return target_.DecodeJpeg(bytes);
  }
  std::optional<Picture> DecodeBitmap(std::string_view bytes) override {
    return target_.DecodeBitmap(bytes);
  }

 private:
  PictureCodecs& target_;
};

}  // namespace corvane::platform
