// A small 7z writer for tests: it writes what a test describes, byte for byte, including archives
// no packer would make (thousands of entries with one name, folders of 64 coders, headers that
// decode to far more than their size, encrypted folders without checksums, sizes that lie).
// It checks nothing: a description that makes no sense gives an archive that makes no sense.
//
// Entry points:
//   ArchiveSpec        what goes into the archive: folders (each with its coders, packed bytes,
//                      announced sizes, optional checksum, substreams) and entries, both as runs
//                      (repeat) so that a million items cost one description.
//   WriteArchive       the archive bytes, with the header stored plainly or as an encoded header
//                      (HeaderPacking: copy coder or LZMA, announced size and checksum settable).
//   WriteHeader        the plain header alone (kHeader ... kEnd), for a test that needs its size.
//   Lzma7zz            a raw LZMA stream and its coder properties for some bytes, made by the
//                      installed 7zz (Have7zz says whether it can run here: not under Wine).
//   CopyCoder, LzmaCoder, AesCoder, Chain
//                      coder and folder building blocks with the method ids of the format.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane::archive::testing {

using Bytes = std::vector<uint8_t>;

struct CoderSpec {
  Bytes method;        // method id bytes (may be empty)
  Bytes props;         // written only when not empty
  uint32_t num_in = 1; // packed-side streams; more than one writes the complex-coder form
};

CoderSpec CopyCoder();
CoderSpec LzmaCoder(const Bytes& props);
// AES-256 with 2^cycles_power key rounds, the salt and an IV (16 bytes at most each).
CoderSpec AesCoder(unsigned cycles_power, const Bytes& salt, const Bytes& iv);

struct FolderSpec {
  std::vector<CoderSpec> coders;
  // (coder input, coder output) pairs; see Chain for the common case.
  std::vector<std::pair<uint32_t, uint32_t>> binds;
  // Coder inputs fed by packed streams; written only when there is more than one.
  std::vector<uint32_t> packed_inputs;
  // The bytes of each packed stream, and the sizes the header announces for them (default: the
  // real sizes).
  std::vector<Bytes> packed;
  std::optional<std::vector<uint64_t>> announced_pack_sizes;
  std::vector<uint64_t> unpack_sizes;  // one per coder, as announced
  std::optional<uint32_t> crc;         // the folder's checksum
  // Sizes of its substreams (the last is implied by the format and not written); empty: one.
  std::vector<uint64_t> substreams;
  std::vector<uint32_t> substream_crcs;  // all defined when not empty
  size_t repeat = 1;                     // written this many times, packed bytes included
};

// A folder of the given coders in a chain: the output of coder i+1 feeds coder i, the last
// coder reads the one packed stream. Every coder announces unpack_size.
FolderSpec Chain(std::vector<CoderSpec> coders, Bytes packed, uint64_t unpack_size);

struct EntrySpec {
  enum Kind { kData, kEmptyFile, kFolder };
  EntrySpec(std::u16string name_, Kind kind_ = kData, size_t repeat_ = 1)
      : name(std::move(name_)), kind(kind_), repeat(repeat_) {}
  std::u16string name;
  Kind kind = kData;  // kData entries take the substreams in order
  std::optional<uint32_t> attrib;
  std::optional<uint64_t> mtime;  // FILETIME
  size_t repeat = 1;
};

struct ArchiveSpec {
  std::vector<FolderSpec> folders;
  std::vector<EntrySpec> entries;
};

struct HeaderPacking {
  enum Kind { kPlain, kCopy, kLzma };
  HeaderPacking(Kind kind_ = kPlain, std::optional<uint64_t> announced_size_ = {}, bool crc_ = true)
      : kind(kind_), announced_size(announced_size_), crc(crc_) {}
  Kind kind = kPlain;
  std::optional<uint64_t> announced_size;  // the decoded size the encoded header claims
  bool crc = true;                          // the decoded header's checksum is stored
};

Bytes WriteHeader(const ArchiveSpec& spec);
Bytes WriteArchive(const ArchiveSpec& spec, const HeaderPacking& packing = {});

struct LzmaData {
  Bytes props;  // five bytes: the literal/position settings and the dictionary size
  Bytes data;   // the raw stream, without end marker
};
bool Have7zz();
// Throws std::runtime_error when 7zz fails.
LzmaData Lzma7zz(const Bytes& raw);

}  // namespace corvane::archive::testing
