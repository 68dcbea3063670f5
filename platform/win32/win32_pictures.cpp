#include "platform/win32/win32_pictures.h"

#include <ole2.h>
#include <olectl.h>
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/bitmap_file.h"
#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {
namespace {

// IID_IPicture, spelled out so that no import library is needed for it.
constexpr IID kIidPicture = {
    0x7BF80980, 0xBF32, 0x101A, {0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

using OleLoadPictureFn = HRESULT(WINAPI*)(LPSTREAM, LONG, BOOL, REFIID, LPVOID*);
using CreateStreamOnHGlobalFn = HRESULT(WINAPI*)(HGLOBAL, BOOL, LPSTREAM*);
using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
using CoUninitializeFn = void(WINAPI*)();

// A 32-bit top-down DIB section of the picture's size in a memory DC: GDI draws into it and the
// pixels are read back from its bits.
class Canvas {
 public:
  Canvas(uint32_t width, uint32_t height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ == nullptr) return;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    if (old_ != nullptr) SelectObject(dc_, old_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ok() const { return bits_ != nullptr && old_ != nullptr; }
  HDC dc() const { return dc_; }
  // The pixels drawn, as RGBA; every pixel opaque.
  Picture Read() const {
    GdiFlush();
    Picture p = BlankPicture(width_, height_);
    const auto* in = static_cast<const uint8_t*>(bits_);
    for (size_t i = 0; i < p.rgba.size(); i += 4) {
      p.rgba[i] = in[i + 2];
      p.rgba[i + 1] = in[i + 1];
      p.rgba[i + 2] = in[i];
      p.rgba[i + 3] = 255;
    }
    return p;
  }

 private:
  uint32_t width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// COM for the calling thread while the OLE loader runs (it creates the system's image decoder
// objects). A thread that already has COM in another mode keeps it.
class ComScope {
 public:
  ComScope() {
    auto init = SystemProc<CoInitializeExFn>("ole32.dll", "CoInitializeEx");
    if (init == nullptr) return;
    const HRESULT hr = init(nullptr, COINIT_APARTMENTTHREADED);
    owned_ = hr == S_OK || hr == S_FALSE;
  }
  ~ComScope() {
    if (!owned_) return;
    if (auto done = SystemProc<CoUninitializeFn>("ole32.dll", "CoUninitialize")) done();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool owned_ = false;
};

template <typename T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

}  // namespace

std::optional<Picture> Win32PictureCodecs::DecodeJpeg(std::string_view bytes) {
  const std::optional<PictureSize> frame = JpegFrameSize(bytes);
  if (!frame || !PictureSizeAllowed(frame->width, frame->height) || bytes.size() > 0x7FFFFFFF) {
    return std::nullopt;
  }
  auto load = SystemProc<OleLoadPictureFn>("oleaut32.dll", "OleLoadPicture");
  auto create_stream = SystemProc<CreateStreamOnHGlobalFn>("ole32.dll", "CreateStreamOnHGlobal");
  if (load == nullptr || create_stream == nullptr) return std::nullopt;
  ComScope com;

  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (memory == nullptr) return std::nullopt;
  void* view = GlobalLock(memory);
  if (view == nullptr) {
    GlobalFree(memory);
    return std::nullopt;
  }
  std::memcpy(view, bytes.data(), bytes.size());
  GlobalUnlock(memory);
  Released<IStream> stream;
  if (FAILED(create_stream(memory, TRUE, &stream.p))) {  // the stream frees the memory
    GlobalFree(memory);
    return std::nullopt;
  }
  Released<IPicture> picture;
  if (FAILED(load(stream.p, static_cast<LONG>(bytes.size()), FALSE, kIidPicture,
                  reinterpret_cast<void**>(&picture.p))) ||
      picture.p == nullptr) {
    return std::nullopt;
  }
  SHORT type = PICTYPE_UNINITIALIZED;
  OLE_HANDLE handle = 0;
  if (FAILED(picture.p->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(picture.p->get_Handle(&handle))) {
    return std::nullopt;
  }
  // The loader's bitmap, copied pixel for pixel (no scaling through the picture's own extents).
  HBITMAP source = reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle));
  BITMAP info = {};
  if (GetObjectA(source, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0 ||
      static_cast<uint32_t>(info.bmWidth) != frame->width ||
      static_cast<uint32_t>(info.bmHeight) != frame->height) {
    return std::nullopt;
  }
  Canvas canvas(frame->width, frame->height);
  HDC source_dc = CreateCompatibleDC(nullptr);
  if (!canvas.ok() || source_dc == nullptr) {
    if (source_dc != nullptr) DeleteDC(source_dc);
    return std::nullopt;
  }
  HGDIOBJ old = SelectObject(source_dc, source);
  const BOOL copied = old != nullptr && BitBlt(canvas.dc(), 0, 0, info.bmWidth, info.bmHeight,
                                               source_dc, 0, 0, SRCCOPY);
  if (old != nullptr) SelectObject(source_dc, old);
  DeleteDC(source_dc);
  if (!copied) return std::nullopt;
  return canvas.Read();
}

std::optional<Picture> Win32PictureCodecs::DecodeBitmap(std::string_view bytes) {
  const std::optional<BitmapLayout> layout = ReadBitmapLayout(bytes);
  if (!layout) return std::nullopt;
  const BitmapLayout& b = *layout;

  // GDI gets a header we wrote from what we checked, not the file's own: a plain info header,
  // the three masks of 16- and 32-bit pictures, and a full colour table (entries the file lacks
  // are black, as our own reader has them).
  const bool masks = b.bit_count == 16 || b.bit_count == 32;
  const size_t colours = b.bit_count <= 8 ? size_t{1} << b.bit_count : 0;
  std::vector<uint8_t> header(sizeof(BITMAPINFOHEADER) + (masks ? 12 : 0) + colours * 4, 0);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(header.data());
  h->biSize = sizeof(BITMAPINFOHEADER);
  h->biWidth = static_cast<LONG>(b.width);
  h->biHeight = b.top_down ? -static_cast<LONG>(b.height) : static_cast<LONG>(b.height);
  h->biPlanes = 1;
  h->biBitCount = b.bit_count;
  h->biCompression = masks                                        ? BI_BITFIELDS
                     : b.compression == bitmap_compression::kRle8 ? BI_RLE8
                     : b.compression == bitmap_compression::kRle4 ? BI_RLE4
                                                                  : BI_RGB;
  h->biClrUsed = static_cast<DWORD>(colours);
  uint8_t* after = header.data() + sizeof(BITMAPINFOHEADER);
  if (masks) std::memcpy(after, b.masks.data(), 12);
  for (size_t i = 0; i < b.palette.size() && i < colours; ++i) {
    after[i * 4] = b.palette[i][2];
    after[i * 4 + 1] = b.palette[i][1];
    after[i * 4 + 2] = b.palette[i][0];
  }
  // The pixel data, with an end-of-picture mark after run-length data so that GDI stops inside
  // the buffer whatever the data says.
  std::vector<uint8_t> bits(bytes.begin() + static_cast<ptrdiff_t>(b.bits_offset),
                            bytes.begin() + static_cast<ptrdiff_t>(b.bits_offset + b.bits_size));
  if (h->biCompression == BI_RLE8 || h->biCompression == BI_RLE4) {
    bits.insert(bits.end(), {0, 0, 0, 1});
    h->biSizeImage = static_cast<DWORD>(bits.size());
  }

  Canvas canvas(b.width, b.height);
  if (!canvas.ok()) return std::nullopt;
  const int w = static_cast<int>(b.width), ht = static_cast<int>(b.height);
  if (StretchDIBits(canvas.dc(), 0, 0, w, ht, 0, 0, w, ht, bits.data(),
                    reinterpret_cast<const BITMAPINFO*>(header.data()), DIB_RGB_COLORS,
                    SRCCOPY) == 0) {
    return std::nullopt;
  }
  Picture picture = canvas.Read();
  ApplyBitmapAlpha(b, bytes, picture);
  return picture;
}

}  // namespace corvane::platform::win32
