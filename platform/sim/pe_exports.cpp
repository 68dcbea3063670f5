#include "platform/sim/pe_exports.h"

#include <cstring>

namespace corvane::platform::sim {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U16(uint64_t at, uint16_t* v) const { return Read(at, v, 2); }
  bool U32(uint64_t at, uint32_t* v) const { return Read(at, v, 4); }
  // A zero-terminated name starting at `at` (at most 4096 bytes).
  bool Name(uint64_t at, std::string* out) const {
    if (at >= bytes_.size()) return false;
    const size_t limit = std::min<size_t>(bytes_.size() - at, 4096);
    const void* end = std::memchr(bytes_.data() + at, 0, limit);
    if (end == nullptr) return false;
    out->assign(bytes_.data() + at, static_cast<const char*>(end) - (bytes_.data() + at));
    return true;
  }

 private:
  bool Read(uint64_t at, void* v, size_t n) const {
    if (at > bytes_.size() || bytes_.size() - at < n) return false;
    uint8_t b[4] = {};
    std::memcpy(b, bytes_.data() + at, n);
    uint32_t value = 0;
    for (size_t i = n; i-- > 0;) value = (value << 8) | b[i];  // little-endian on every host
    if (n == 2) {
      uint16_t v16 = static_cast<uint16_t>(value);
      std::memcpy(v, &v16, 2);
    } else {
      std::memcpy(v, &value, 4);
    }
    return true;
  }
  std::string_view bytes_;
};

struct Section {
  uint32_t virtual_address, virtual_size, raw_offset, raw_size;
};

}  // namespace

bool ReadPeLibrary(std::string_view image, PeLibrary* library, std::string* error) {
  Reader r(image);
  auto fail = [error](const char* why) {
    if (error) *error = why;
    return false;
  };
  uint16_t mz = 0;
  uint32_t pe_at = 0, signature = 0;
  if (!r.U16(0, &mz) || mz != 0x5A4D || !r.U32(0x3C, &pe_at)) return fail("not an executable");
  if (!r.U32(pe_at, &signature) || signature != 0x00004550) return fail("no PE header");
  const uint64_t file_header = uint64_t{pe_at} + 4;
  uint16_t machine = 0, sections = 0, optional_size = 0, characteristics = 0;
  if (!r.U16(file_header, &machine) || !r.U16(file_header + 2, &sections) ||
      !r.U16(file_header + 16, &optional_size) || !r.U16(file_header + 18, &characteristics)) {
    return fail("truncated file header");
  }
  const uint64_t optional = file_header + 20;
  uint16_t magic = 0;
  if (!r.U16(optional, &magic)) return fail("truncated optional header");
  uint64_t directories = 0;
  if (magic == 0x10B) {
    directories = optional + 96;  // PE32
  } else if (magic == 0x20B) {
    directories = optional + 112;  // PE32+
  } else {
    return fail("unknown optional header");
  }
  uint32_t directory_count = 0;
  if (!r.U32(directories - 4, &directory_count)) return fail("truncated optional header");
  PeLibrary out;
  out.machine = machine;
  out.is_dll = (characteristics & 0x2000) != 0;
  std::vector<Section> table;
  const uint64_t section_at = optional + optional_size;
  for (uint16_t i = 0; i < sections; ++i) {
    Section s{};
    const uint64_t at = section_at + uint64_t{i} * 40;
    if (!r.U32(at + 8, &s.virtual_size) || !r.U32(at + 12, &s.virtual_address) ||
        !r.U32(at + 16, &s.raw_size) || !r.U32(at + 20, &s.raw_offset)) {
      return fail("truncated section table");
    }
    table.push_back(s);
  }
  // A relative virtual address as an offset in the file.
  auto offset_of = [&table](uint32_t rva, uint64_t* offset) {
    for (const Section& s : table) {
      const uint32_t span = std::max(s.virtual_size, s.raw_size);
      if (rva >= s.virtual_address && rva - s.virtual_address < span) {
        *offset = uint64_t{s.raw_offset} + (rva - s.virtual_address);
        return true;
      }
    }
    return false;
  };
  uint32_t export_rva = 0, export_size = 0;
  if (directory_count > 0 &&
      (!r.U32(directories, &export_rva) || !r.U32(directories + 4, &export_size))) {
    return fail("truncated data directories");
  }
  if (directory_count > 0 && export_rva != 0 && export_size != 0) {
    uint64_t dir = 0;
    uint32_t name_count = 0, names_rva = 0;
    if (!offset_of(export_rva, &dir) || !r.U32(dir + 24, &name_count) ||
        !r.U32(dir + 32, &names_rva)) {
      return fail("export directory outside the image");
    }
    if (name_count > 65536) return fail("too many export names");
    uint64_t names = 0;
    if (name_count > 0 && !offset_of(names_rva, &names)) return fail("export names outside");
    for (uint32_t i = 0; i < name_count; ++i) {
      uint32_t name_rva = 0;
      uint64_t name_at = 0;
      std::string name;
      if (!r.U32(names + uint64_t{i} * 4, &name_rva) || !offset_of(name_rva, &name_at) ||
          !r.Name(name_at, &name)) {
        return fail("export name outside the image");
      }
      out.exports.push_back(std::move(name));
    }
  }
  *library = std::move(out);
  return true;
}

}  // namespace corvane::platform::sim
