#include "ui/win32/window_capture.h"

namespace corvane::ui::win32 {

std::optional<platform::Picture> CaptureWindow(HWND window) {
  if (!IsWindowVisible(window)) return std::nullopt;
  RECT r;
  if (!GetWindowRect(window, &r)) return std::nullopt;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (!platform::PictureSizeAllowed(static_cast<uint64_t>(w > 0 ? w : 0),
                                    static_cast<uint64_t>(h > 0 ? h : 0))) {
    return std::nullopt;
  }
  // The window's own pixels, frame and children included: what it has painted, whether or not
  // the screen has caught up with it yet.
  HDC screen = GetWindowDC(window);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::optional<platform::Picture> out;
  if (bmp && bits) {
    HGDIOBJ old = SelectObject(mem, bmp);
    if (BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY)) {
      GdiFlush();
      platform::Picture p = platform::BlankPicture(static_cast<uint32_t>(w),
                                                   static_cast<uint32_t>(h));
      const auto* src = static_cast<const uint8_t*>(bits);
      for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i) {
        p.rgba[i * 4 + 0] = src[i * 4 + 2];
        p.rgba[i * 4 + 1] = src[i * 4 + 1];
        p.rgba[i * 4 + 2] = src[i * 4 + 0];
        p.rgba[i * 4 + 3] = 255;
      }
      out = std::move(p);
    }
    SelectObject(mem, old);
  }
  if (bmp) DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(window, screen);
  return out;
}

}  // namespace corvane::ui::win32
