// Writes a picture as a PNG file (8-bit RGBA, no interlace), for the photographs of dialogs.
#pragma once

#include <string>

#include "platform/pictures.h"

namespace corvane::ui {

// The bytes of the PNG file; empty for a picture without pixels or whose pixel buffer does not
// match its size.
std::string EncodePng(const platform::Picture& picture);

}  // namespace corvane::ui
