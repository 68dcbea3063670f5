#include "archive/testing/archive_writer.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "archive/archive_reader.h"
#include "archive/header.h"

namespace corvane::archive::testing {
namespace {
namespace fs = std::filesystem;

class Out {
 public:
  Bytes bytes;
  void Byte(uint8_t b) { bytes.push_back(b); }
  void Append(const Bytes& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  void UInt32(uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  void UInt64(uint64_t v) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  // The variable-length number: as many leading one bits in the first byte as extra bytes.
  void Number(uint64_t v) {
    int extra = 0;
    while (extra < 8 && v >= (uint64_t{1} << (7 * (extra + 1)))) ++extra;
    if (extra == 8) {
      Byte(0xFF);
      UInt64(v);
      return;
    }
    uint8_t high = static_cast<uint8_t>(v >> (8 * extra));
    Byte(static_cast<uint8_t>((0xFF00 >> extra) & 0xFF) | high);
    for (int i = 0; i < extra; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
  }
  // A property: its id, its size, its bytes.
  void Property(uint8_t id, const Out& body) {
    Byte(id);
    Number(body.bytes.size());
    Append(body.bytes);
  }
};

class Bits {
 public:
  void Add(bool bit) {
    if (n_ % 8 == 0) bytes_.push_back(0);
    if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (n_ % 8));
    ++n_;
  }
  void Add(bool bit, size_t times) {
    for (size_t i = 0; i < times; ++i) Add(bit);
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  size_t n_ = 0;
};

size_t SubstreamCount(const FolderSpec& f) { return f.substreams.empty() ? 1 : f.substreams.size(); }

void WriteFolder(Out& o, const FolderSpec& f) {
  o.Number(f.coders.size());
  uint32_t total_in = 0;
  for (const auto& c : f.coders) {
    bool complex = c.num_in != 1;
    o.Byte(static_cast<uint8_t>(c.method.size() | (complex ? 0x10 : 0) | (c.props.empty() ? 0 : 0x20)));
    o.Append(c.method);
    if (complex) {
      o.Number(c.num_in);
      o.Number(1);
    }
    if (!c.props.empty()) {
      o.Number(c.props.size());
      o.Append(c.props);
    }
    total_in += c.num_in;
  }
  for (const auto& [in, out] : f.binds) {
    o.Number(in);
    o.Number(out);
  }
  if (total_in - f.binds.size() > 1)
    for (uint32_t i : f.packed_inputs) o.Number(i);
}

void WriteStreams(Out& o, const ArchiveSpec& spec, uint64_t pack_pos) {
  size_t num_folders = 0, num_packs = 0;
  bool any_crc = false, all_crc = true, any_substreams = false, any_substream_crc = false;
  for (const auto& f : spec.folders) {
    num_folders += f.repeat;
    num_packs += f.repeat * f.packed.size();
    any_crc = any_crc || f.crc.has_value();
    all_crc = all_crc && f.crc.has_value();
    any_substreams = any_substreams || SubstreamCount(f) != 1;
    any_substream_crc = any_substream_crc || !f.substream_crcs.empty();
  }
  o.Byte(nid::kPackInfo);
  o.Number(pack_pos);
  o.Number(num_packs);
  o.Byte(nid::kSize);
  for (const auto& f : spec.folders)
    for (size_t r = 0; r < f.repeat; ++r)
      for (size_t p = 0; p < f.packed.size(); ++p)
        o.Number(f.announced_pack_sizes ? (*f.announced_pack_sizes)[p] : f.packed[p].size());
  o.Byte(nid::kEnd);

  o.Byte(nid::kUnpackInfo);
  o.Byte(nid::kFolder);
  o.Number(num_folders);
  o.Byte(0);  // not external
  for (const auto& f : spec.folders) {
    Out one;
    WriteFolder(one, f);
    for (size_t r = 0; r < f.repeat; ++r) o.Append(one.bytes);
  }
  o.Byte(nid::kCodersUnpackSize);
  for (const auto& f : spec.folders)
    for (size_t r = 0; r < f.repeat; ++r)
      for (uint64_t size : f.unpack_sizes) o.Number(size);
  if (any_crc) {
    o.Byte(nid::kCrc);
    o.Byte(all_crc ? 1 : 0);
    if (!all_crc) {
      Bits defined;
      for (const auto& f : spec.folders) defined.Add(f.crc.has_value(), f.repeat);
      o.Append(defined.bytes());
    }
    for (const auto& f : spec.folders)
      for (size_t r = 0; f.crc && r < f.repeat; ++r) o.UInt32(*f.crc);
  }
  o.Byte(nid::kEnd);

  if (any_substreams || any_substream_crc) {
    o.Byte(nid::kSubStreamsInfo);
    if (any_substreams) {
      o.Byte(nid::kNumUnpackStream);
      for (const auto& f : spec.folders)
        for (size_t r = 0; r < f.repeat; ++r) o.Number(f.substreams.size());
      o.Byte(nid::kSize);
      for (const auto& f : spec.folders)
        for (size_t r = 0; r < f.repeat; ++r)
          for (size_t i = 0; i + 1 < f.substreams.size(); ++i) o.Number(f.substreams[i]);
    }
    if (any_substream_crc) {
      // One digest per substream, except for a one-substream folder with its own checksum.
      o.Byte(nid::kCrc);
      o.Byte(0);
      Bits defined;
      Out crcs;
      for (const auto& f : spec.folders) {
        if (SubstreamCount(f) == 1 && f.crc) continue;
        for (size_t r = 0; r < f.repeat; ++r) {
          for (size_t i = 0; i < SubstreamCount(f); ++i) {
            defined.Add(!f.substream_crcs.empty());
            if (!f.substream_crcs.empty()) crcs.UInt32(f.substream_crcs[i]);
          }
        }
      }
      o.Append(defined.bytes());
      o.Append(crcs.bytes);
    }
    o.Byte(nid::kEnd);
  }
  o.Byte(nid::kEnd);
}

void WriteFiles(Out& o, const std::vector<EntrySpec>& entries) {
  size_t n = 0;
  bool any_empty = false, any_empty_file = false, any_attrib = false, all_attrib = true;
  for (const auto& e : entries) {
    n += e.repeat;
    any_empty = any_empty || e.kind != EntrySpec::kData;
    any_empty_file = any_empty_file || e.kind == EntrySpec::kEmptyFile;
    any_attrib = any_attrib || e.attrib.has_value();
    all_attrib = all_attrib && e.attrib.has_value();
  }
  o.Byte(nid::kFilesInfo);
  o.Number(n);
  if (any_empty) {
    Bits empty_stream;
    for (const auto& e : entries) empty_stream.Add(e.kind != EntrySpec::kData, e.repeat);
    Out body;
    body.Append(empty_stream.bytes());
    o.Property(nid::kEmptyStream, body);
  }
  if (any_empty_file) {
    Bits empty_file;
    for (const auto& e : entries)
      if (e.kind != EntrySpec::kData) empty_file.Add(e.kind == EntrySpec::kEmptyFile, e.repeat);
    Out body;
    body.Append(empty_file.bytes());
    o.Property(nid::kEmptyFile, body);
  }
  Out names;
  names.Byte(0);  // not external
  for (const auto& e : entries) {
    Out one;
    for (char16_t c : e.name) {
      one.Byte(static_cast<uint8_t>(c));
      one.Byte(static_cast<uint8_t>(c >> 8));
    }
    one.Byte(0);
    one.Byte(0);
    for (size_t r = 0; r < e.repeat; ++r) names.Append(one.bytes);
  }
  o.Property(nid::kName, names);
  if (any_attrib) {
    Out body;
    body.Byte(all_attrib ? 1 : 0);
    if (!all_attrib) {
      Bits defined;
      for (const auto& e : entries) defined.Add(e.attrib.has_value(), e.repeat);
      body.Append(defined.bytes());
    }
    body.Byte(0);  // not external
    for (const auto& e : entries)
      for (size_t r = 0; e.attrib && r < e.repeat; ++r) body.UInt32(*e.attrib);
    o.Property(nid::kWinAttributes, body);
  }
  bool any_mtime = false, all_mtime = true;
  for (const auto& e : entries) {
    any_mtime = any_mtime || e.mtime.has_value();
    all_mtime = all_mtime && e.mtime.has_value();
  }
  if (any_mtime) {
    Out body;
    body.Byte(all_mtime ? 1 : 0);
    if (!all_mtime) {
      Bits defined;
      for (const auto& e : entries) defined.Add(e.mtime.has_value(), e.repeat);
      body.Append(defined.bytes());
    }
    body.Byte(0);  // not external
    for (const auto& e : entries) {
      for (size_t r = 0; e.mtime && r < e.repeat; ++r) {
        body.UInt32(static_cast<uint32_t>(*e.mtime));
        body.UInt32(static_cast<uint32_t>(*e.mtime >> 32));
      }
    }
    o.Property(nid::kMTime, body);
  }
  o.Byte(nid::kEnd);
}

Bytes PackedData(const ArchiveSpec& spec) {
  Out data;
  for (const auto& f : spec.folders)
    for (size_t r = 0; r < f.repeat; ++r)
      for (const auto& p : f.packed) data.Append(p);
  return data.bytes;
}

Bytes HeaderAt(const ArchiveSpec& spec, uint64_t pack_pos) {
  Out o;
  o.Byte(nid::kHeader);
  if (!spec.folders.empty()) {
    o.Byte(nid::kMainStreamsInfo);
    WriteStreams(o, spec, pack_pos);
  }
  if (!spec.entries.empty()) WriteFiles(o, spec.entries);
  o.Byte(nid::kEnd);
  return o.bytes;
}

fs::path TempPath(const std::string& tag) {
  static std::atomic<int> counter{0};
  return fs::temp_directory_path() /
         ("zelwriter-" + tag + "-" + std::to_string(std::rand()) + "-" + std::to_string(++counter));
}

}  // namespace

CoderSpec CopyCoder() { return {{0x00}, {}, 1}; }
CoderSpec LzmaCoder(const Bytes& props) { return {{0x03, 0x01, 0x01}, props, 1}; }
CoderSpec AesCoder(unsigned cycles_power, const Bytes& salt, const Bytes& iv) {
  // First byte: the rounds power and the top bits of both sizes; second: the rest of the sizes.
  Bytes props;
  size_t s = salt.size(), i = iv.size();
  props.push_back(static_cast<uint8_t>((cycles_power & 0x3F) | (s > 0 ? 0x80 : 0) | (i > 0 ? 0x40 : 0)));
  if (s > 0 || i > 0)
    props.push_back(static_cast<uint8_t>(((s > 0 ? s - 1 : 0) << 4) | (i > 0 ? i - 1 : 0)));
  props.insert(props.end(), salt.begin(), salt.end());
  props.insert(props.end(), iv.begin(), iv.end());
  return {{0x06, 0xF1, 0x07, 0x01}, props, 1};
}

FolderSpec Chain(std::vector<CoderSpec> coders, Bytes packed, uint64_t unpack_size) {
  FolderSpec f;
  for (uint32_t i = 0; i + 1 < coders.size(); ++i) f.binds.push_back({i, i + 1});
  f.unpack_sizes.assign(coders.size(), unpack_size);
  f.coders = std::move(coders);
  f.packed.push_back(std::move(packed));
  return f;
}

Bytes WriteHeader(const ArchiveSpec& spec) { return HeaderAt(spec, 0); }

Bytes WriteArchive(const ArchiveSpec& spec, const HeaderPacking& packing) {
  Bytes data = PackedData(spec);
  Bytes header = HeaderAt(spec, 0);
  Bytes next = header;
  if (packing.kind != HeaderPacking::kPlain) {
    // The header goes after the data as one more packed stream; the next header only says how
    // to decode it.
    uint32_t crc = Crc32(0, header.data(), header.size());
    CoderSpec coder = CopyCoder();
    Bytes packed = header;
    if (packing.kind == HeaderPacking::kLzma) {
      LzmaData lz = Lzma7zz(header);
      coder = LzmaCoder(lz.props);
      packed = std::move(lz.data);
    }
    ArchiveSpec info;
    info.folders.push_back(
        Chain({coder}, {}, packing.announced_size ? *packing.announced_size : header.size()));
    info.folders[0].announced_pack_sizes = std::vector<uint64_t>{packed.size()};
    if (packing.crc) info.folders[0].crc = crc;
    Out o;
    o.Byte(nid::kEncodedHeader);
    WriteStreams(o, info, data.size());
    data.insert(data.end(), packed.begin(), packed.end());
    next = o.bytes;
  }
  Out a;
  a.Append({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4});  // signature, version 0.4
  Out start;
  start.UInt64(data.size());
  start.UInt64(next.size());
  start.UInt32(Crc32(0, next.data(), next.size()));
  a.UInt32(Crc32(0, start.bytes.data(), start.bytes.size()));
  a.Append(start.bytes);
  a.Append(data);
  a.Append(next);
  return a.bytes;
}

bool Have7zz() {
  static int have = -1;
  if (have < 0) {
    fs::path log = TempPath("probe");
    have = std::system(("7zz i > \"" + log.string() + "\" 2>&1").c_str()) == 0 ? 1 : 0;
    std::error_code ec;
    fs::remove(log, ec);
  }
  return have == 1;
}

LzmaData Lzma7zz(const Bytes& raw) {
  fs::path dir = TempPath("lzma");
  fs::create_directories(dir);
  {
    std::ofstream out(dir / "raw.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
  }
  // One file, LZMA alone, the header left plain so that its coder properties can be read.
  std::string cmd = "cd \"" + dir.string() +
                    "\" && 7zz a -t7z -m0=LZMA:d=1m:fb=273 -mhc=off -bso0 -bsp0 -bse0 out.7z raw.bin";
  int rc = std::system(cmd.c_str());
  Bytes archive;
  {
    std::ifstream in(dir / "out.7z", std::ios::binary);
    archive.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (rc != 0 || archive.size() < 32) throw std::runtime_error("7zz failed");
  uint64_t offset = 0, size = 0;
  for (int i = 7; i >= 0; --i) offset = (offset << 8) | archive[12 + i];
  for (int i = 7; i >= 0; --i) size = (size << 8) | archive[20 + i];
  if (32 + offset + size > archive.size()) throw std::runtime_error("7zz made a short archive");
  Header h = ParseHeader(archive.data() + 32 + offset, static_cast<size_t>(size));
  if (h.streams.folders.size() != 1 || h.streams.folders[0].coders.size() != 1)
    throw std::runtime_error("7zz made an unexpected archive");
  LzmaData out;
  out.props = h.streams.folders[0].coders[0].props;
  out.data.assign(archive.begin() + 32, archive.begin() + 32 + static_cast<long>(offset));
  return out;
}

}  // namespace corvane::archive::testing
