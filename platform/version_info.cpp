#include "platform/version_info.h"

#include <vector>

namespace corvane::platform {

namespace {

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kRtVersion = 16;

// Little-endian reads that fail instead of reading past the end.
struct Reader {
  std::string_view b;
  bool U16(size_t off, uint16_t* v) const {
    if (off > b.size() || b.size() - off < 2) return false;
    *v = static_cast<uint16_t>(static_cast<uint8_t>(b[off]) | static_cast<uint8_t>(b[off + 1]) << 8);
    return true;
  }
  bool U32(size_t off, uint32_t* v) const {
    if (off > b.size() || b.size() - off < 4) return false;
    uint32_t r = 0;
    for (int i = 3; i >= 0; --i) r = r << 8 | static_cast<uint8_t>(b[off + static_cast<size_t>(i)]);
    *v = r;
    return true;
  }
};

struct Section {
  uint32_t va, vsize, raw_size, raw_off;
};

// The first entry of a resource directory, or the entry with the given id; the value is the raw
// entry word (high bit set for a subdirectory).
bool DirectoryEntry(const Reader& r, size_t dir, bool by_id, uint32_t id, uint32_t* value) {
  uint16_t named = 0, ids = 0;
  if (!r.U16(dir + 12, &named) || !r.U16(dir + 14, &ids)) return false;
  uint32_t count = uint32_t{named} + ids;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t name = 0, off = 0;
    if (!r.U32(dir + 16 + size_t{i} * 8, &name) || !r.U32(dir + 20 + size_t{i} * 8, &off)) return false;
    if (!by_id || ((name & 0x80000000u) == 0 && name == id)) {
      *value = off;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParsePeFileVersion(std::string_view image, FileVersion* version) {
  Reader r{image};
  uint16_t mz = 0;
  uint32_t pe = 0, sig = 0;
  if (!r.U16(0, &mz) || mz != 0x5A4D || !r.U32(0x3C, &pe) || !r.U32(pe, &sig) || sig != 0x4550) {
    return false;
  }
  size_t coff = size_t{pe} + 4;
  uint16_t nsections = 0, opt_size = 0, magic = 0;
  if (!r.U16(coff + 2, &nsections) || !r.U16(coff + 16, &opt_size)) return false;
  size_t opt = coff + 20;
  if (!r.U16(opt, &magic)) return false;
  size_t dirs = magic == 0x20B ? opt + 112 : magic == 0x10B ? opt + 96 : 0;
  if (dirs == 0) return false;
  uint32_t ndirs = 0, res_rva = 0;
  if (!r.U32(dirs - 4, &ndirs) || ndirs < 3 || !r.U32(dirs + 16, &res_rva) || res_rva == 0) {
    return false;
  }
  std::vector<Section> sections;
  size_t table = opt + opt_size;
  for (uint16_t i = 0; i < nsections; ++i) {
    Section s{};
    size_t e = table + size_t{i} * 40;
    if (!r.U32(e + 8, &s.vsize) || !r.U32(e + 12, &s.va) || !r.U32(e + 16, &s.raw_size) ||
        !r.U32(e + 20, &s.raw_off)) {
      return false;
    }
    sections.push_back(s);
  }
  auto to_offset = [&](uint32_t rva, size_t* off) {
    for (const Section& s : sections) {
      uint32_t span = s.vsize > s.raw_size ? s.vsize : s.raw_size;
      if (rva >= s.va && rva - s.va < span && rva - s.va < s.raw_size) {
        *off = size_t{s.raw_off} + (rva - s.va);
        return *off < image.size();
      }
    }
    return false;
  };
  size_t root = 0;
  if (!to_offset(res_rva, &root)) return false;
  // Type RT_VERSION, then the first name, then the first language: three levels.
  uint32_t e = 0;
  if (!DirectoryEntry(r, root, true, kRtVersion, &e) || !(e & 0x80000000u)) return false;
  if (!DirectoryEntry(r, root + (e & 0x7FFFFFFFu), false, 0, &e) || !(e & 0x80000000u)) return false;
  if (!DirectoryEntry(r, root + (e & 0x7FFFFFFFu), false, 0, &e) || (e & 0x80000000u)) return false;
  uint32_t data_rva = 0, data_size = 0;
  if (!r.U32(root + e, &data_rva) || !r.U32(root + e + 4, &data_size)) return false;
  size_t data = 0;
  if (!to_offset(data_rva, &data)) return false;
  std::string_view block = image.substr(data, data_size);
  // VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO" in UTF-16 with its
  // null, padding to a 32-bit boundary, then VS_FIXEDFILEINFO.
  Reader vr{block};
  uint16_t value_len = 0;
  if (!vr.U16(2, &value_len) || value_len < 52) return false;
  size_t fixed = (6 + 16 * 2 + 3) & ~size_t{3};
  uint32_t fsig = 0, ms = 0, ls = 0;
  if (!vr.U32(fixed, &fsig) || fsig != kFixedSignature || !vr.U32(fixed + 8, &ms) ||
      !vr.U32(fixed + 12, &ls)) {
    return false;
  }
  version->major = static_cast<uint16_t>(ms >> 16);
  version->minor = static_cast<uint16_t>(ms & 0xFFFF);
  version->release = static_cast<uint16_t>(ls >> 16);
  version->build = static_cast<uint16_t>(ls & 0xFFFF);
  return true;
}

}  // namespace corvane::platform
