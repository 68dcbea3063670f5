#include "platform/sim/cabinet.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace corvane::platform::sim {
namespace {

constexpr uint16_t kPreviousCabinet = 0x0001;
constexpr uint16_t kNextCabinet = 0x0002;
constexpr uint16_t kReservePresent = 0x0004;
constexpr size_t kBlockLimit = 32768;  // the largest block an MSZIP folder holds
constexpr size_t kHistory = 32768;     // the deflate window carried between blocks

// Little-endian fields of a byte range, every read checked against its end.
class Reader {
 public:
  Reader(std::string_view data, size_t pos) : data_(data), pos_(pos) {}
  bool U8(uint8_t* v) { return Take(1, v); }
  bool U16(uint16_t* v) { return Take(2, v); }
  bool U32(uint32_t* v) { return Take(4, v); }
  bool Skip(size_t n) {
    if (pos_ > data_.size() || data_.size() - pos_ < n) return false;
    pos_ += n;
    return true;
  }
  bool Bytes(size_t n, std::string_view* out) {
    if (pos_ > data_.size() || data_.size() - pos_ < n) return false;
    *out = data_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  // A null-terminated name of at most 255 characters.
  bool Name(std::string* out) {
    if (pos_ >= data_.size()) return false;
    size_t end = data_.find('\0', pos_);
    if (end == std::string_view::npos || end - pos_ > 255) return false;
    out->assign(data_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }

 private:
  template <typename T>
  bool Take(size_t n, T* v) {
    if (pos_ > data_.size() || data_.size() - pos_ < n) return false;
    uint32_t x = 0;
    for (size_t i = 0; i < n; ++i) x |= static_cast<uint32_t>(static_cast<uint8_t>(data_[pos_ + i])) << (8 * i);
    *v = static_cast<T>(x);
    pos_ += n;
    return true;
  }
  std::string_view data_;
  size_t pos_;
};

struct Folder {
  uint32_t first_block = 0;
  uint16_t blocks = 0;
  uint16_t method = 0;
};

// Frees the inflater however the decoding ends.
class Inflater {
 public:
  Inflater() { ok_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&z_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Inflates one MSZIP block (without its "CK") into out[start, start + size), with the last
  // 32 KiB before `start` as the history.
  bool Block(std::string_view in, std::string* out, size_t start, size_t size) {
    if (!ok_ || inflateReset(&z_) != Z_OK) return false;
    if (start > 0) {
      size_t n = std::min(start, kHistory);
      if (inflateSetDictionary(&z_, reinterpret_cast<const Bytef*>(out->data() + start - n),
                               static_cast<uInt>(n)) != Z_OK) {
        return false;
      }
    }
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
    z_.next_out = reinterpret_cast<Bytef*>(out->data() + start);
    z_.avail_out = static_cast<uInt>(size);
    int r = inflate(&z_, Z_FINISH);
    // A block that fills its output exactly may end before the stream's final code is read.
    return z_.avail_out == 0 && (r == Z_STREAM_END || r == Z_BUF_ERROR || r == Z_OK);
  }

 private:
  z_stream z_{};
  bool ok_ = false;
};

bool DecodeFolder(std::string_view cab, const Folder& folder, uint8_t block_reserve,
                  uint64_t budget, std::string* out, std::string* error) {
  const unsigned method = folder.method & 0x000F;
  if (method != 0 && method != 1) {
    *error = "compression method " + std::to_string(method) + " is not supported";
    return false;
  }
  Inflater inflater;
  Reader r(cab, folder.first_block);
  out->clear();
  for (unsigned b = 0; b < folder.blocks; ++b) {
    uint32_t checksum;
    uint16_t packed, unpacked;
    std::string_view data;
    if (!r.U32(&checksum) || !r.U16(&packed) || !r.U16(&unpacked) || !r.Skip(block_reserve) ||
        !r.Bytes(packed, &data)) {
      *error = "data block " + std::to_string(b) + " lies outside the cabinet";
      return false;
    }
    if (unpacked > kBlockLimit || out->size() + unpacked > budget) {
      *error = unpacked > kBlockLimit ? "data block larger than 32 KiB" : "cabinet too large";
      return false;
    }
    const size_t start = out->size();
    if (method == 0) {
      if (packed != unpacked) {
        *error = "stored block with two sizes";
        return false;
      }
      out->append(data);
      continue;
    }
    if (data.size() < 2 || data[0] != 'C' || data[1] != 'K') {
      *error = "data block " + std::to_string(b) + " without its CK signature";
      return false;
    }
    out->resize(start + unpacked);
    if (unpacked > 0 && !inflater.Block(data.substr(2), out, start, unpacked)) {
      *error = "data block " + std::to_string(b) + " does not inflate";
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadCabinet(std::string_view cab, CabinetFiles* files, std::string* error, uint64_t limit) {
  files->clear();
  Reader r(cab, 0);
  std::string_view signature;
  uint32_t reserved, size, files_offset;
  uint8_t minor, major;
  uint16_t folder_count, file_count, flags, set_id, index;
  if (!r.Bytes(4, &signature) || signature != "MSCF" || !r.U32(&reserved) || !r.U32(&size) ||
      !r.U32(&reserved) || !r.U32(&files_offset) || !r.U32(&reserved) || !r.U8(&minor) ||
      !r.U8(&major) || !r.U16(&folder_count) || !r.U16(&file_count) || !r.U16(&flags) ||
      !r.U16(&set_id) || !r.U16(&index)) {
    *error = "not a cabinet";
    return false;
  }
  if (major != 1) {
    *error = "cabinet version " + std::to_string(major) + " is not supported";
    return false;
  }
  if (flags & (kPreviousCabinet | kNextCabinet)) {
    *error = "cabinets spanning several files are not supported";
    return false;
  }
  // The cabinet may be followed by other bytes; it ends where its header says.
  if (size < 36 || size > cab.size()) {
    *error = "cabinet size beyond its data";
    return false;
  }
  cab = cab.substr(0, size);
  r = Reader(cab, 36);
  uint16_t header_reserve = 0;
  uint8_t folder_reserve = 0, block_reserve = 0;
  if (flags & kReservePresent) {
    if (!r.U16(&header_reserve) || !r.U8(&folder_reserve) || !r.U8(&block_reserve) ||
        !r.Skip(header_reserve)) {
      *error = "damaged cabinet header";
      return false;
    }
  }
  std::vector<Folder> folders(folder_count);
  for (Folder& f : folders) {
    if (!r.U32(&f.first_block) || !r.U16(&f.blocks) || !r.U16(&f.method) ||
        !r.Skip(folder_reserve)) {
      *error = "damaged folder list";
      return false;
    }
  }
  std::vector<std::string> decoded(folder_count);
  std::vector<bool> done(folder_count, false);
  uint64_t budget = limit;
  uint64_t file_bytes = 0;  // files may share bytes of a folder: their copies count too
  Reader list(cab, files_offset);
  for (unsigned i = 0; i < file_count; ++i) {
    uint32_t length, offset;
    uint16_t folder, date, time, attributes;
    std::string name;
    if (!list.U32(&length) || !list.U32(&offset) || !list.U16(&folder) || !list.U16(&date) ||
        !list.U16(&time) || !list.U16(&attributes) || !list.Name(&name)) {
      *error = "damaged file list";
      return false;
    }
    if (folder >= folder_count) {
      *error = "file " + name + " lies in no folder of this cabinet";
      return false;
    }
    if (!done[folder]) {
      if (!DecodeFolder(cab, folders[folder], block_reserve, budget, &decoded[folder], error)) {
        return false;
      }
      budget -= decoded[folder].size();
      done[folder] = true;
    }
    const std::string& data = decoded[folder];
    if (offset > data.size() || data.size() - offset < length) {
      *error = "file " + name + " reaches past the end of its folder";
      return false;
    }
    file_bytes += length;
    if (file_bytes > limit) {
      *error = "cabinet too large";
      return false;
    }
    files->emplace(name, data.substr(offset, length));
  }
  return true;
}

}  // namespace corvane::platform::sim
