// Our own PNG reader, on zlib's inflate: every colour type and bit depth, the five row filters,
// Adam7 interlacing, palette and single-colour transparency (tRNS). Ancillary chunks are
// skipped; gamma, colour profiles and text are not applied.
//
// A file is read only when it is whole and sound: the signature, IHDR first, the CRC of every
// chunk, the IDAT chunks in one run, image data that inflates to exactly the size the header
// promises, and IEND. Anything else, and any picture larger than the platform's picture limits
// (checked before the image buffer is allocated), gives nullopt.
#pragma once

#include <optional>
#include <string_view>

#include "platform/pictures.h"

namespace corvane::ui {

// Whether the bytes begin with the PNG signature.
bool IsPng(std::string_view bytes);

std::optional<platform::Picture> DecodePng(std::string_view bytes);

}  // namespace corvane::ui
