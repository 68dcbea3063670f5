// The 7z header model and its parser. The parser checks every count against the bytes that are
// left before it allocates, so a damaged header fails with kErrorCannotOpen instead of asking
// for huge amounts of memory, and charges what it builds to the archive's memory budget.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::archive {

struct Coder {
  std::vector<uint8_t> method;   // method id bytes
  uint32_t num_in = 1;           // packed-side streams of this coder (its output is one stream)
  std::vector<uint8_t> props;
};

struct BindPair {
  uint32_t in_index;   // a coder input, counted over all coders
  uint32_t out_index;  // the coder whose output feeds it
};

struct Folder {
  std::vector<Coder> coders;
  std::vector<BindPair> binds;
  std::vector<uint32_t> packed_inputs;  // coder inputs fed by packed streams, in pack order
  std::vector<uint64_t> unpack_sizes;   // output size of each coder
  size_t first_pack = 0;                // index of its first packed stream
  bool crc_defined = false;
  uint32_t crc = 0;
  uint32_t num_substreams = 1;

  // The coder whose output is no other coder's input.
  uint32_t MainCoder() const;
  uint64_t UnpackSize() const { return unpack_sizes[MainCoder()]; }
};

struct StreamsInfo {
  uint64_t pack_pos = 0;  // from the end of the signature header
  std::vector<uint64_t> pack_sizes;
  std::vector<Folder> folders;
  // One per substream, folders in order.
  std::vector<uint64_t> sizes;
  std::vector<bool> crc_defined;
  std::vector<uint32_t> crcs;
};

struct HeaderEntry {
  std::u16string name;
  bool has_stream = true;
  bool is_dir = false;
  bool is_anti = false;
  bool attrib_defined = false;
  uint32_t attrib = 0;
  bool mtime_defined = false;
  uint64_t mtime = 0;  // FILETIME
};

struct Header {
  StreamsInfo streams;
  std::vector<HeaderEntry> entries;
};

// Property ids of the header.
namespace nid {
enum : uint8_t {
  kEnd = 0x00, kHeader = 0x01, kArchiveProperties = 0x02, kAdditionalStreamsInfo = 0x03,
  kMainStreamsInfo = 0x04, kFilesInfo = 0x05, kPackInfo = 0x06, kUnpackInfo = 0x07,
  kSubStreamsInfo = 0x08, kSize = 0x09, kCrc = 0x0A, kFolder = 0x0B, kCodersUnpackSize = 0x0C,
  kNumUnpackStream = 0x0D, kEmptyStream = 0x0E, kEmptyFile = 0x0F, kAnti = 0x10, kName = 0x11,
  kCTime = 0x12, kATime = 0x13, kMTime = 0x14, kWinAttributes = 0x15, kComment = 0x16,
  kEncodedHeader = 0x17, kStartPos = 0x18, kDummy = 0x19,
};
}

// Memory the parsed header of one archive may take: far above any real setup (a few hundred
// thousand entries), far below the address space of the 32-bit engine.
constexpr uint64_t kHeaderMemoryBudget = uint64_t{64} << 20;

// What the model of one archive's header has taken so far. Each part is charged before it is
// allocated; going over the limit fails with kErrorLimit.
class HeaderBudget {
 public:
  explicit HeaderBudget(uint64_t limit = kHeaderMemoryBudget) : limit_(limit) {}
  void Charge(uint64_t bytes);
  // n items of each bytes (no overflow).
  void Charge(uint64_t n, uint64_t each);
  uint64_t used() const { return used_; }

 private:
  uint64_t limit_;
  uint64_t used_ = 0;
};

// Parses the streams info that follows kEncodedHeader (data starts after that byte).
StreamsInfo ParseEncodedHeaderInfo(const uint8_t* data, size_t size, HeaderBudget& budget);
// Parses a plain header (data starts with kHeader).
Header ParseHeader(const uint8_t* data, size_t size, HeaderBudget& budget);
Header ParseHeader(const uint8_t* data, size_t size);  // with a budget of its own

}  // namespace corvane::archive
