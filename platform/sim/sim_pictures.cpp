#include "platform/sim/sim_pictures.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "platform/bitmap_file.h"

namespace corvane::platform::sim {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return. Ours jumps back to
// the one setjmp in RunDecoder. That frame, and every libjpeg frame the jump leaves, holds only
// plain C data, so no destructor is skipped; the pixel vector lives in the caller and is only
// resized, by a call that cannot throw through libjpeg.
struct ErrorHandler {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

// A progressive file may hold many scans, each a pass over the whole picture; more than this
// many is treated as damaged rather than decoded for minutes.
constexpr int kMaxScans = 256;
// Memory libjpeg may use for its own buffers (a progressive picture keeps all its coefficients).
constexpr long kMaxDecoderMemory = 256L << 20;

[[noreturn]] void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorHandler*>(info->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}  // no text on standard error; warnings are counted
void OnProgress(j_common_ptr info) {
  auto* d = reinterpret_cast<j_decompress_ptr>(info);
  if (d->input_scan_number > kMaxScans) OnError(info);
}

bool Allocate(std::vector<uint8_t>* pixels, size_t size) noexcept {
  try {
    pixels->assign(size, 0);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

uint8_t Mul255(unsigned a, unsigned b) { return static_cast<uint8_t>((a * b + 127) / 255); }

// The decoding proper, on a decompressor already created; any libjpeg error jumps out of it.
// True only for a picture read without errors or warnings.
bool Decode(jpeg_decompress_struct* info, std::vector<uint8_t>* pixels, uint32_t* width,
            uint32_t* height) {
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK ||
      !PictureSizeAllowed(info->image_width, info->image_height)) {
    return false;
  }
  const bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  // Adobe writes CMYK inverted (255 is no ink); others write it as it is.
  const bool inverted = cmyk && info->saw_Adobe_marker;
  info->out_color_space = cmyk                                      ? JCS_CMYK
                          : info->jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE
                                                                    : JCS_RGB;
  if (!jpeg_start_decompress(info) ||
      !Allocate(pixels, static_cast<size_t>(info->output_width) * info->output_height * 4)) {
    return false;
  }
  const int components = info->output_components;
  JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                              info->output_width * components, 1);
  *width = info->output_width;
  *height = info->output_height;
  while (info->output_scanline < info->output_height) {
    const JDIMENSION y = info->output_scanline;
    if (jpeg_read_scanlines(info, row, 1) != 1) return false;
    uint8_t* out = pixels->data() + static_cast<size_t>(y) * info->output_width * 4;
    const JSAMPLE* in = row[0];
    for (JDIMENSION x = 0; x < info->output_width; ++x, out += 4, in += components) {
      if (components == 1) {
        out[0] = out[1] = out[2] = in[0];
      } else if (cmyk) {
        for (int c = 0; c < 3; ++c) {
          out[c] = inverted ? Mul255(in[c], in[3]) : Mul255(255 - in[c], 255 - in[3]);
        }
      } else {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
      out[3] = 255;
    }
  }
  jpeg_finish_decompress(info);
  return info->err->num_warnings == 0;
}

// Sets up the decompressor and the jump target. Nothing here is changed between setjmp and a
// jump back except what libjpeg itself holds in `info`, which only jpeg_destroy reads.
bool RunDecoder(const uint8_t* data, size_t size, std::vector<uint8_t>* pixels, uint32_t* width,
                uint32_t* height) {
  jpeg_decompress_struct info;
  ErrorHandler errors;
  jpeg_progress_mgr progress;
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnError;
  errors.manager.output_message = OnMessage;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  info.mem->max_memory_to_use = kMaxDecoderMemory;
  progress.progress_monitor = OnProgress;
  info.progress = &progress;
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  const bool ok = Decode(&info, pixels, width, height);
  jpeg_destroy_decompress(&info);
  return ok;
}

}  // namespace

std::optional<Picture> DecodeJpegFile(std::string_view bytes) {
  if (bytes.size() < 4) return std::nullopt;
  Picture out;
  if (!RunDecoder(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &out.rgba,
                  &out.width, &out.height)) {
    return std::nullopt;
  }
  return out;
}

std::optional<Picture> SimPictureCodecs::DecodeJpeg(std::string_view bytes) {
  return DecodeJpegFile(bytes);
}

std::optional<Picture> SimPictureCodecs::DecodeBitmap(std::string_view bytes) {
  return DecodeBitmapFile(bytes);
}

}  // namespace corvane::platform::sim
