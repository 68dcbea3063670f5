// The picture codecs of Windows: JPEG through the OLE picture loader (oleaut32.dll, loaded from
// the system folder), bitmaps through GDI. Both files are checked by our own code first (the
// JPEG frame size, the bitmap headers: bitmap_file.h), so the system only ever sees a picture
// within the limits and a bitmap whose data covers what its header promises.
#pragma once

#include "platform/pictures.h"

namespace corvane::platform::win32 {

class Win32PictureCodecs : public PictureCodecs {
 public:
  std::optional<Picture> DecodeJpeg(std::string_view bytes) override;
  std::optional<Picture> DecodeBitmap(std::string_view bytes) override;
};

}  // namespace corvane::platform::win32
