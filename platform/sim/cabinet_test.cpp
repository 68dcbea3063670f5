#include "platform/sim/cabinet.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace corvane::platform::sim {
namespace {

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xFFFF));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

// MSZIP blocks of `data`, each deflated with the 32 KiB before it as its dictionary.
std::vector<std::string> MszipBlocks(const std::string& data) {
  std::vector<std::string> blocks;
  for (size_t start = 0; start < data.size(); start += 32768) {
    const size_t n = std::min<size_t>(32768, data.size() - start);
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    if (start > 0) {
      const size_t h = std::min<size_t>(start, 32768);
      deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(data.data() + start - h),
                           static_cast<uInt>(h));
    }
    std::string out(deflateBound(&z, static_cast<uLong>(n)) + 2, '\0');
    out[0] = 'C';
    out[1] = 'K';
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + start));
    z.avail_in = static_cast<uInt>(n);
    z.next_out = reinterpret_cast<Bytef*>(&out[2]);
    z.avail_out = static_cast<uInt>(out.size() - 2);
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    blocks.push_back(out);
  }
  return blocks;
}

struct Entry {
  std::string name;
  uint32_t offset, length;
};

// A one-folder cabinet of `folder_data` (compressed with `method`: 0 stored, 1 MSZIP).
std::string MakeCabinet(const std::string& folder_data, const std::vector<Entry>& entries,
                        uint16_t method = 1) {
  std::vector<std::string> blocks;
  std::vector<uint16_t> sizes;
  if (method == 1) {
    blocks = MszipBlocks(folder_data);
  } else {
    for (size_t s = 0; s < folder_data.size(); s += 32768) blocks.push_back(folder_data.substr(s, 32768));
  }
  for (size_t s = 0; s < folder_data.size(); s += 32768) {
    sizes.push_back(static_cast<uint16_t>(std::min<size_t>(32768, folder_data.size() - s)));
  }
  std::string files;
  for (const Entry& e : entries) {
    Put32(files, e.length);
    Put32(files, e.offset);
    Put16(files, 0);
    Put16(files, 0x5A21);
    Put16(files, 0x6000);
    Put16(files, 0x20);
    files += e.name;
    files.push_back('\0');
  }
  const uint32_t files_offset = 36 + 8;
  const uint32_t data_offset = files_offset + static_cast<uint32_t>(files.size());
  std::string data;
  for (size_t i = 0; i < blocks.size(); ++i) {
    Put32(data, 0);
    Put16(data, static_cast<uint16_t>(blocks[i].size()));
    Put16(data, sizes[i]);
    data += blocks[i];
  }
  std::string cab = "MSCF";
  Put32(cab, 0);
  Put32(cab, data_offset + static_cast<uint32_t>(data.size()));
  Put32(cab, 0);
  Put32(cab, files_offset);
  Put32(cab, 0);
  cab.push_back(3);
  cab.push_back(1);
  Put16(cab, 1);
  Put16(cab, static_cast<uint16_t>(entries.size()));
  Put16(cab, 0);
  Put16(cab, 0);
  Put16(cab, 0);
  Put32(cab, data_offset);
  Put16(cab, static_cast<uint16_t>(blocks.size()));
  Put16(cab, method);
  return cab + files + data;
}

// Text whose later blocks repeat what earlier ones hold: decoding needs the carried history.
std::string Repetitive(size_t size) {
  std::string s;
  uint32_t x = 12345;
  std::string phrase;
  for (int i = 0; i < 3000; ++i) {
    x = x * 1103515245u + 12345u;
    phrase.push_back(static_cast<char>('a' + (x >> 16) % 26));
  }
  while (s.size() < size) s += phrase;
  s.resize(size);
  return s;
}

TEST(Cabinet, MszipFoldersDecodeAcrossBlocksWithTheirHistory) {
  const std::string data = Repetitive(100000);
  CabinetFiles files;
  std::string error;
  ASSERT_TRUE(ReadCabinet(MakeCabinet(data, {{"first", 0, 70000}, {"second", 70000, 30000}}),
                          &files, &error))
      << error;
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files["first"], data.substr(0, 70000));
  EXPECT_EQ(files["second"], data.substr(70000));
}

TEST(Cabinet, StoredFoldersAndEmptyFilesDecode) {
  CabinetFiles files;
  std::string error;
  ASSERT_TRUE(ReadCabinet(MakeCabinet("hello world", {{"a", 0, 5}, {"empty", 5, 0}}, 0), &files,
                          &error))
      << error;
  EXPECT_EQ(files["a"], "hello");
  EXPECT_EQ(files["empty"], "");
}

TEST(Cabinet, DamagedOrUnsupportedCabinetsAreRefused) {
  const std::string data = Repetitive(50000);
  const std::string good = MakeCabinet(data, {{"f", 0, 50000}});
  CabinetFiles files;
  std::string error;
  EXPECT_FALSE(ReadCabinet("MSCF", &files, &error));
  EXPECT_FALSE(ReadCabinet("XXXX" + good.substr(4), &files, &error));
  // Cut short: the header's size lies beyond the data, then a block lies outside.
  EXPECT_FALSE(ReadCabinet(good.substr(0, good.size() - 10), &files, &error));
  std::string shorter = good.substr(0, good.size() - 10);
  shorter[8] = static_cast<char>(shorter.size() & 0xFF);
  shorter[9] = static_cast<char>((shorter.size() >> 8) & 0xFF);
  EXPECT_FALSE(ReadCabinet(shorter, &files, &error));
  // A file reaching past its folder's data.
  EXPECT_FALSE(ReadCabinet(MakeCabinet(data, {{"f", 40000, 20000}}), &files, &error));
  EXPECT_NE(error.find("past the end"), std::string::npos) << error;
  // A block without its signature, a damaged deflate stream.
  std::string unsigned_block = good;
  unsigned_block[good.find("CK")] = 'X';
  EXPECT_FALSE(ReadCabinet(unsigned_block, &files, &error));
  std::string garbled = good;
  for (size_t i = good.find("CK") + 2; i < good.find("CK") + 40; ++i) garbled[i] ^= 0x5A;
  EXPECT_FALSE(ReadCabinet(garbled, &files, &error));
  // LZX, and a cabinet that would decode to more than allowed.
  std::string lzx = MakeCabinet(data, {{"f", 0, 50000}});
  lzx[36 + 6] = 3;
  EXPECT_FALSE(ReadCabinet(lzx, &files, &error));
  EXPECT_NE(error.find("not supported"), std::string::npos) << error;
  EXPECT_FALSE(ReadCabinet(good, &files, &error, 40000));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
  // Many files naming the same bytes count each copy.
  std::vector<Entry> copies(20, {"", 0, 50000});
  for (size_t i = 0; i < copies.size(); ++i) copies[i].name = "copy" + std::to_string(i);
  EXPECT_FALSE(ReadCabinet(MakeCabinet(data, copies), &files, &error, 500000));
  EXPECT_TRUE(ReadCabinet(good, &files, &error)) << error;
}

}  // namespace
}  // namespace corvane::platform::sim
