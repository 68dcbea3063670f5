#include "archive/header.h"

#include "archive/errors.h"

namespace corvane::archive {
namespace {

// Most entries, folders or substreams a header may declare: a packed header can expand a few
// bytes into many megabytes, so counts are also capped outright to bound the memory they take.
constexpr size_t kMaxItems = size_t{1} << 22;

[[noreturn]] void Bad(const char* what) { Fail(kErrorCannotOpen, std::string("bad header: ") + what); }

// Bytes of the heap block behind a vector of n elements of each bytes (its allocator's overhead
// included), for the budget.
uint64_t Heap(uint64_t n, uint64_t each) { return n == 0 ? 0 : n * each + 16; }

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, HeaderBudget& budget)
      : p_(data), end_(data + size), budget_(budget) {}
  HeaderBudget& budget() { return budget_; }
  size_t left() const { return static_cast<size_t>(end_ - p_); }
  uint8_t Byte() {
    if (p_ == end_) Bad("truncated");
    return *p_++;
  }
  uint32_t UInt32() {
    if (left() < 4) Bad("truncated");
    uint32_t v = uint32_t{p_[0]} | uint32_t{p_[1]} << 8 | uint32_t{p_[2]} << 16 |
                 uint32_t{p_[3]} << 24;
    p_ += 4;
    return v;
  }
  uint64_t UInt64() {
    uint64_t lo = UInt32();
    return lo | uint64_t{UInt32()} << 32;
  }
  // The variable-length number: leading one bits of the first byte count the extra bytes.
  uint64_t Number() {
    uint8_t first = Byte();
    uint8_t mask = 0x80;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      if ((first & mask) == 0) {
        uint64_t high = first & (mask - 1u);
        return value | (high << (8 * i));
      }
      value |= uint64_t{Byte()} << (8 * i);
      mask >>= 1;
    }
    return value;
  }
  // A count of items that each take at least min_bytes more of this header.
  size_t Count(size_t min_bytes_each = 1) {
    uint64_t n = Number();
    if (min_bytes_each != 0 && n > left() / min_bytes_each) Bad("count beyond the header");
    if (n > kMaxItems) Bad("count too large");
    return static_cast<size_t>(n);
  }
  const uint8_t* Take(uint64_t n) {
    if (n > left()) Bad("truncated");
    const uint8_t* at = p_;
    p_ += n;
    return at;
  }
  void Skip(uint64_t n) { Take(n); }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
  HeaderBudget& budget_;
};

std::vector<bool> BitVector(Reader& r, size_t n) {
  if (n > r.left() * 8) Bad("truncated bit vector");
  r.budget().Charge(Heap(n / 8 + 1, 1));
  std::vector<bool> v(n);
  uint8_t byte = 0, mask = 0;
  for (size_t i = 0; i < n; ++i) {
    if (mask == 0) {
      byte = r.Byte();
      mask = 0x80;
    }
    v[i] = (byte & mask) != 0;
    mask >>= 1;
  }
  return v;
}

std::vector<bool> DefinedVector(Reader& r, size_t n) {
  if (r.Byte() != 0) {
    r.budget().Charge(Heap(n / 8 + 1, 1));
    return std::vector<bool>(n, true);
  }
  return BitVector(r, n);
}

void Digests(Reader& r, size_t n, std::vector<bool>* defined, std::vector<uint32_t>* crcs) {
  *defined = DefinedVector(r, n);
  r.budget().Charge(Heap(n, sizeof(uint32_t)));
  crcs->assign(n, 0);
  for (size_t i = 0; i < n; ++i)
    if ((*defined)[i]) (*crcs)[i] = r.UInt32();
}

void PackInfo(Reader& r, StreamsInfo* s) {
  s->pack_pos = r.Number();
  size_t n = r.Count();
  for (;;) {
    uint64_t type = r.Number();
    if (type == nid::kEnd) break;
    if (type == nid::kSize) {
      r.budget().Charge(Heap(n, sizeof(uint64_t)));
      s->pack_sizes.resize(n);
      for (auto& size : s->pack_sizes) size = r.Number();
    } else if (type == nid::kCrc) {
      std::vector<bool> defined;
      std::vector<uint32_t> crcs;
      Digests(r, n, &defined, &crcs);
    } else {
      r.Skip(r.Number());
    }
  }
  if (s->pack_sizes.size() != n) Bad("pack sizes missing");
}

Folder ReadFolder(Reader& r) {
  Folder f;
  size_t num_coders = r.Count(2);
  if (num_coders == 0 || num_coders > 64) Bad("coder count");
  r.budget().Charge(Heap(num_coders, sizeof(Coder)));
  f.coders.reserve(num_coders);
  uint32_t total_in = 0;
  for (size_t i = 0; i < num_coders; ++i) {
    uint8_t flags = r.Byte();
    if (flags & 0xC0) Bad("coder flags");
    Coder c;
    size_t id_size = flags & 0x0F;
    const uint8_t* id = r.Take(id_size);
    c.method.assign(id, id + id_size);
    if (flags & 0x10) {
      uint64_t in = r.Number();
      uint64_t out = r.Number();
      if (in == 0 || in > 64 || out != 1) Fail(kErrorCannotOpen, "unsupported coder layout");
      c.num_in = static_cast<uint32_t>(in);
    }
    if (flags & 0x20) {
      uint64_t size = r.Number();
      const uint8_t* props = r.Take(size);
      c.props.assign(props, props + size);
    }
    r.budget().Charge(Heap(c.method.size(), 1) + Heap(c.props.size(), 1));
    total_in += c.num_in;
    f.coders.push_back(std::move(c));
  }
  uint32_t num_out = static_cast<uint32_t>(num_coders);
  r.budget().Charge(Heap(num_out, sizeof(BindPair)) + Heap(num_out, sizeof(uint32_t)) +
                    Heap(num_out, sizeof(uint64_t)));
  for (uint32_t i = 0; i + 1 < num_out; ++i) {
    BindPair b{static_cast<uint32_t>(r.Number()), static_cast<uint32_t>(0)};
    uint64_t out = r.Number();
    if (b.in_index >= total_in || out >= num_out) Bad("bind pair");
    b.out_index = static_cast<uint32_t>(out);
    for (const auto& other : f.binds)
      if (other.in_index == b.in_index || other.out_index == b.out_index) Bad("bind pair");
    f.binds.push_back(b);
  }
  if (total_in < f.binds.size() + 1) Bad("stream counts");
  size_t num_packed = total_in - f.binds.size();
  if (num_packed == 1) {
    for (uint32_t i = 0; i < total_in; ++i) {
      bool bound = false;
      for (const auto& b : f.binds) bound = bound || b.in_index == i;
      if (!bound) {
        f.packed_inputs.push_back(i);
        break;
      }
    }
  } else {
    for (size_t i = 0; i < num_packed; ++i) {
      uint64_t idx = r.Number();
      if (idx >= total_in) Bad("packed stream index");
      for (const auto& b : f.binds)
        if (b.in_index == idx) Bad("packed stream index");
      f.packed_inputs.push_back(static_cast<uint32_t>(idx));
    }
  }
  f.MainCoder();  // validates that exactly one output is unbound
  return f;
}

void UnpackInfo(Reader& r, StreamsInfo* s) {
  if (r.Number() != nid::kFolder) Bad("folder list");
  size_t n = r.Count(3);
  if (n > kMaxItems / 4) Bad("folder count");  // a folder's model is larger than an entry's
  if (r.Byte() != 0) Fail(kErrorCannotOpen, "external folders");
  r.budget().Charge(Heap(n, sizeof(Folder)));
  s->folders.reserve(n);
  size_t pack = 0;
  for (size_t i = 0; i < n; ++i) {
    Folder f = ReadFolder(r);
    f.first_pack = pack;
    pack += f.packed_inputs.size();
    s->folders.push_back(std::move(f));
  }
  if (r.Number() != nid::kCodersUnpackSize) Bad("unpack sizes");
  for (auto& f : s->folders) {
    f.unpack_sizes.resize(f.coders.size());
    for (auto& size : f.unpack_sizes) size = r.Number();
  }
  for (;;) {
    uint64_t type = r.Number();
    if (type == nid::kEnd) break;
    if (type == nid::kCrc) {
      std::vector<bool> defined;
      std::vector<uint32_t> crcs;
      Digests(r, n, &defined, &crcs);
      for (size_t i = 0; i < n; ++i) {
        s->folders[i].crc_defined = defined[i];
        s->folders[i].crc = crcs[i];
      }
    } else {
      r.Skip(r.Number());
    }
  }
}

void SubStreamsInfo(Reader& r, StreamsInfo* s) {
  uint64_t type = r.Number();
  if (type == nid::kNumUnpackStream) {
    for (auto& f : s->folders) f.num_substreams = static_cast<uint32_t>(r.Count(0));
    type = r.Number();
  }
  size_t total = 0;
  for (const auto& f : s->folders) {
    // Every substream after a folder's first needs its own size number.
    if (f.num_substreams > 1 + r.left()) Bad("substream count");
    total += f.num_substreams;
    if (total > kMaxItems) Bad("substream count");
  }
  // Sizes, checksums and their defined flags, one each per substream.
  r.budget().Charge(Heap(total, sizeof(uint64_t)) + Heap(total, sizeof(uint32_t)) +
                    Heap(total / 8 + 1, 1));
  s->sizes.reserve(total);
  bool have_sizes = type == nid::kSize;
  for (const auto& f : s->folders) {
    if (f.num_substreams == 0) continue;
    uint64_t sum = 0;
    for (uint32_t i = 1; i < f.num_substreams; ++i) {
      if (!have_sizes) Bad("substream sizes missing");
      uint64_t size = r.Number();
      sum += size;
      if (sum < size || sum > f.UnpackSize()) Bad("substream sizes");
      s->sizes.push_back(size);
    }
    if (sum > f.UnpackSize()) Bad("substream sizes");
    s->sizes.push_back(f.UnpackSize() - sum);
  }
  if (have_sizes) type = r.Number();
  // Checksums: one per substream, except a folder with one substream and its own checksum.
  s->crc_defined.assign(total, false);
  s->crcs.assign(total, 0);
  size_t k = 0;
  for (const auto& f : s->folders) {
    if (f.num_substreams == 1 && f.crc_defined) {
      s->crc_defined[k] = true;
      s->crcs[k] = f.crc;
    }
    k += f.num_substreams;
  }
  for (;;) {
    if (type == nid::kEnd) break;
    if (type == nid::kCrc) {
      size_t need = 0;
      for (const auto& f : s->folders)
        if (!(f.num_substreams == 1 && f.crc_defined)) need += f.num_substreams;
      std::vector<bool> defined;
      std::vector<uint32_t> crcs;
      Digests(r, need, &defined, &crcs);
      size_t j = 0;
      k = 0;
      for (const auto& f : s->folders) {
        if (f.num_substreams == 1 && f.crc_defined) {
          ++k;
          continue;
        }
        for (uint32_t i = 0; i < f.num_substreams; ++i, ++k, ++j) {
          s->crc_defined[k] = defined[j];
          s->crcs[k] = crcs[j];
        }
      }
    } else {
      r.Skip(r.Number());
    }
    type = r.Number();
  }
}

StreamsInfo ReadStreamsInfo(Reader& r) {
  StreamsInfo s;
  uint64_t type = r.Number();
  if (type == nid::kPackInfo) {
    PackInfo(r, &s);
    type = r.Number();
  }
  if (type == nid::kUnpackInfo) {
    UnpackInfo(r, &s);
    type = r.Number();
  }
  bool have_sub = false;
  if (type == nid::kSubStreamsInfo) {
    SubStreamsInfo(r, &s);
    have_sub = true;
    type = r.Number();
  }
  if (type != nid::kEnd) Bad("streams info");
  if (!have_sub) {
    r.budget().Charge(Heap(s.folders.size(), sizeof(uint64_t)) +
                      Heap(s.folders.size(), sizeof(uint32_t)) + Heap(s.folders.size() / 8 + 1, 1));
    for (const auto& f : s.folders) {
      s.sizes.push_back(f.UnpackSize());
      s.crc_defined.push_back(f.crc_defined);
      s.crcs.push_back(f.crc);
    }
  }
  size_t packs = 0;
  for (const auto& f : s.folders) packs += f.packed_inputs.size();
  if (packs != s.pack_sizes.size()) Bad("pack stream count");
  return s;
}

void ReadTimes(Reader& r, size_t n, std::vector<HeaderEntry>* entries) {
  std::vector<bool> defined = DefinedVector(r, n);
  if (r.Byte() != 0) Fail(kErrorCannotOpen, "external times");
  for (size_t i = 0; i < n; ++i) {
    if (!defined[i]) continue;
    (*entries)[i].mtime = r.UInt64();
    (*entries)[i].mtime_defined = true;
  }
}

void FilesInfo(Reader& r, Header* h) {
  size_t n = r.Count(0);
  if (n > r.left() * 8 + h->streams.sizes.size() || n > kMaxItems) Bad("file count");
  r.budget().Charge(Heap(n, sizeof(HeaderEntry)));
  h->entries.resize(n);
  std::vector<bool> empty_stream(n, false), empty_file, anti;
  size_t num_empty = 0;
  for (;;) {
    uint64_t type = r.Number();
    if (type == nid::kEnd) break;
    uint64_t size = r.Number();
    Reader p(r.Take(size), static_cast<size_t>(size), r.budget());
    switch (type) {
      case nid::kEmptyStream:
        empty_stream = BitVector(p, n);
        num_empty = 0;
        for (bool b : empty_stream) num_empty += b;
        empty_file.assign(num_empty, false);
        anti.assign(num_empty, false);
        break;
      case nid::kEmptyFile:
        empty_file = BitVector(p, num_empty);
        break;
      case nid::kAnti:
        anti = BitVector(p, num_empty);
        break;
      case nid::kName: {
        if (p.Byte() != 0) Fail(kErrorCannotOpen, "external names");
        for (auto& e : h->entries) {
          e.name.clear();
          for (;;) {
            uint16_t c = p.Byte();
            c = static_cast<uint16_t>(c | (p.Byte() << 8));
            if (c == 0) break;
            e.name.push_back(static_cast<char16_t>(c));
          }
          if (e.name.size() > 7) r.budget().Charge(Heap(e.name.size() + 1, sizeof(char16_t)));
        }
        break;
      }
      case nid::kMTime:
        ReadTimes(p, n, &h->entries);
        break;
      case nid::kWinAttributes: {
        std::vector<bool> defined = DefinedVector(p, n);
        if (p.Byte() != 0) Fail(kErrorCannotOpen, "external attributes");
        for (size_t i = 0; i < n; ++i) {
          if (!defined[i]) continue;
          h->entries[i].attrib = p.UInt32();
          h->entries[i].attrib_defined = true;
        }
        break;
      }
      default:  // creation and access times, start positions, padding: not used
        break;
    }
  }
  size_t e = 0, streams = 0;
  for (size_t i = 0; i < n; ++i) {
    HeaderEntry& entry = h->entries[i];
    if (empty_stream[i]) {
      entry.has_stream = false;
      bool is_file = !empty_file.empty() && empty_file[e];
      entry.is_anti = !anti.empty() && anti[e];
      entry.is_dir = !is_file;
      ++e;
    } else {
      ++streams;
    }
    if (entry.attrib_defined && (entry.attrib & 0x10)) entry.is_dir = true;
  }
  if (streams != h->streams.sizes.size()) Bad("file and stream counts differ");
}

}  // namespace

uint32_t Folder::MainCoder() const {
  uint32_t found = 0, count = 0;
  for (uint32_t i = 0; i < coders.size(); ++i) {
    bool bound = false;
    for (const auto& b : binds) bound = bound || b.out_index == i;
    if (!bound) found = i, ++count;
  }
  if (count != 1) Bad("folder outputs");
  return found;
}

void HeaderBudget::Charge(uint64_t bytes) {
  if (bytes > limit_ - used_) Fail(kErrorLimit, "the archive's header needs too much memory");
  used_ += bytes;
}

void HeaderBudget::Charge(uint64_t n, uint64_t each) {
  if (each != 0 && n > (limit_ - used_) / each)
    Fail(kErrorLimit, "the archive's header needs too much memory");
  Charge(n * each);
}

StreamsInfo ParseEncodedHeaderInfo(const uint8_t* data, size_t size, HeaderBudget& budget) {
  Reader r(data, size, budget);
  return ReadStreamsInfo(r);
}

Header ParseHeader(const uint8_t* data, size_t size) {
  HeaderBudget budget;
  return ParseHeader(data, size, budget);
}

Header ParseHeader(const uint8_t* data, size_t size, HeaderBudget& budget) {
  Reader r(data, size, budget);
  Header h;
  if (r.Number() != nid::kHeader) Bad("no header");
  uint64_t type = r.Number();
  if (type == nid::kArchiveProperties) {
    for (;;) {
      uint64_t prop = r.Number();
      if (prop == 0) break;
      r.Skip(r.Number());
    }
    type = r.Number();
  }
  if (type == nid::kAdditionalStreamsInfo) Fail(kErrorCannotOpen, "additional streams");
  if (type == nid::kMainStreamsInfo) {
    h.streams = ReadStreamsInfo(r);
    type = r.Number();
  }
  if (type == nid::kFilesInfo) {
    FilesInfo(r, &h);
    type = r.Number();
  } else if (!h.streams.sizes.empty()) {
    Bad("streams without files");
  }
  if (type != nid::kEnd) Bad("header end");
  return h;
}

}  // namespace corvane::archive
