// Fuzzes the simulation's JPEG decoder: libjpeg behind our error handler and limits.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/sim/sim_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto picture = corvane::platform::sim::DecodeJpegFile(bytes);
  if (picture) {
    if (!corvane::platform::PictureSizeAllowed(picture->width, picture->height) ||
        picture->rgba.size() != size_t{picture->width} * picture->height * 4) {
      __builtin_trap();
    }
  }
  (void)corvane::platform::JpegFrameSize(bytes);
  return 0;
}
