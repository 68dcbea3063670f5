// The picture codecs of the simulation: libjpeg for JPEG files, our own bitmap reader
// (bitmap_file.h) for bitmaps.
#pragma once

#include <optional>
#include <string_view>

#include "platform/pictures.h"

namespace corvane::platform::sim {

// A JPEG file decoded by libjpeg: grey, YCbCr, RGB and CMYK (Adobe's inverted form when the file
// carries its marker), baseline, progressive and arithmetic coded. A file that libjpeg reports
// damaged, even where it could fill in the rest (a truncated scan), gives nullopt, as does one
// larger than the picture limits or with an unreasonable number of scans.
std::optional<Picture> DecodeJpegFile(std::string_view bytes);

class SimPictureCodecs : public PictureCodecs {
 public:
  std::optional<Picture> DecodeJpeg(std::string_view bytes) override;
  std::optional<Picture> DecodeBitmap(std::string_view bytes) override;
};

}  // namespace corvane::platform::sim
