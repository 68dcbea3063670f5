#include "image/pe_stub.h"

#include <algorithm>

namespace corvane::image {
namespace {

bool Read16(std::string_view b, uint64_t off, uint16_t* v) {
  if (off + 2 > b.size()) return false;
  *v = static_cast<uint16_t>(static_cast<unsigned char>(b[off]) |
                             static_cast<unsigned char>(b[off + 1]) << 8);
  return true;
}

bool Read32(std::string_view b, uint64_t off, uint32_t* v) {
  if (off + 4 > b.size()) return false;
  uint32_t r = 0;
  for (int i = 3; i >= 0; --i) r = (r << 8) | static_cast<unsigned char>(b[off + i]);
  *v = r;
  return true;
}

}  // namespace

std::optional<uint64_t> PeStubSize(std::string_view b) {
  uint16_t mz;
  uint32_t pe_offset, signature;
  if (!Read16(b, 0, &mz) || mz != 0x5A4D) return std::nullopt;  // "MZ"
  if (!Read32(b, 0x3C, &pe_offset)) return std::nullopt;
  if (!Read32(b, pe_offset, &signature) || signature != 0x00004550) return std::nullopt;  // "PE\0\0"
  const uint64_t coff = uint64_t{pe_offset} + 4;
  uint16_t sections, optional_size;
  if (!Read16(b, coff + 2, &sections) || !Read16(b, coff + 16, &optional_size)) {
    return std::nullopt;
  }
  const uint64_t table = coff + 20 + optional_size;
  uint64_t end = 0;
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t raw_size, raw_pointer;
    const uint64_t entry = table + uint64_t{i} * 40;
    if (!Read32(b, entry + 16, &raw_size) || !Read32(b, entry + 20, &raw_pointer)) {
      return std::nullopt;
    }
    end = std::max(end, uint64_t{raw_pointer} + raw_size);
  }
  if (sections == 0) return std::nullopt;
  return end;
}

}  // namespace corvane::image
