// The pictures of dialog definitions: the bytes of a picture property (Picture.Data of an image,
// Glyph.Data of a glyph button, Bitmaps.Up.Data and the other states of a bitmap button) and
// picture files beside the setup, decoded into one pixel layout.
//
// A picture property as the form file stores it is a picture file with up to two prefixes: the
// name of the picture's class as a short string (one length byte, then the name: "TBitmap",
// "TJPEGImage", "TPngImage", ...), then, for most classes, the file's size as a 4-byte
// little-endian number. Glyph and bitmap-button states hold a bitmap with the size prefix alone.
// The file itself is recognised by its signature, never by the class name, so a property whose
// class and contents disagree still shows what it holds.
//
//   if (const FormValue* v = image.Value("Picture.Data"))
//     picture = DecodePictureProperty(v->text, platform.pictures());
#pragma once

#include <optional>
#include <string_view>

#include "platform/pictures.h"

namespace corvane::ui {

// The picture file inside a picture property (a view into `property`), or nullopt when no PNG,
// JPEG or bitmap file is found where the prefixes leave it (icons and metafiles among them).
std::optional<std::string_view> PictureFileOfProperty(std::string_view property);

// A PNG, JPEG or bitmap file by its signature: PNG with our own decoder, JPEG and bitmaps with
// the platform's codecs. Nullopt for anything else or anything damaged.
std::optional<platform::Picture> DecodePictureFile(std::string_view file,
                                                   platform::PictureCodecs& codecs);

// A picture property as the form file stores it.
std::optional<platform::Picture> DecodePictureProperty(std::string_view property,
                                                       platform::PictureCodecs& codecs);

}  // namespace corvane::ui
