// Decoder stages on hand-made input: stored LZMA2 chunks, the delta filter, claimed sizes that
// must not turn into allocations, and the header parser's limits.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "archive/filter_stream.h"
#include "archive/header.h"
#include "archive/lzma_decoder.h"

namespace corvane::archive {
namespace {

std::vector<uint8_t> ReadAll(InStream& s) {
  std::vector<uint8_t> out;
  uint8_t buf[777];
  for (size_t n; (n = s.Read(buf, sizeof buf)) != 0;) out.insert(out.end(), buf, buf + n);
  return out;
}

std::unique_ptr<InStream> Memory(const std::vector<uint8_t>& bytes) {
  // Keeps its own copy alive with the stream.
  struct Owned : InStream {
    explicit Owned(std::vector<uint8_t> b) : bytes(std::move(b)), s(bytes.data(), bytes.size()) {}
    size_t Read(uint8_t* buffer, size_t n) override { return s.Read(buffer, n); }
    std::vector<uint8_t> bytes;
    MemoryStream s;
  };
  return std::make_unique<Owned>(bytes);
}

int Code(const std::function<void()>& f) {
  try {
    f();
    return 0;
  } catch (const ArchiveError& e) {
    return e.code();
  }
}

TEST(Lzma2, StoredChunksRebuildTheDataAcrossWindowWraps) {
  // Two stored chunks: the first resets the dictionary, the second continues it.
  std::vector<uint8_t> data(70000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  std::vector<uint8_t> packed;
  size_t at = 0;
  while (at < data.size()) {
    size_t n = std::min<size_t>(40000, data.size() - at);
    packed.push_back(at == 0 ? 1 : 2);
    packed.push_back(static_cast<uint8_t>((n - 1) >> 8));
    packed.push_back(static_cast<uint8_t>(n - 1));
    packed.insert(packed.end(), data.begin() + at, data.begin() + at + n);
    at += n;
  }
  packed.push_back(0);
  Lzma2Stream s(Memory(packed), {0}, data.size());  // 4 KiB dictionary: wraps many times
  EXPECT_EQ(ReadAll(s), data);
}

TEST(Lzma2, DataWithoutADictionaryResetIsRefused) {
  Lzma2Stream s(Memory({2, 0, 0, 'x', 0}), {0}, 1);
  EXPECT_EQ(Code([&] { ReadAll(s); }), kErrorData);
}

TEST(Lzma, HugeClaimedSizesOverGarbageFailWithoutBigAllocations) {
  // A 4 GiB dictionary and a terabyte of output claimed for a few bytes of noise: the window
  // starts small and only grows with decoded data, so this fails fast.
  std::vector<uint8_t> noise(4096);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 131 + 7);
  noise[0] = 0;
  EXPECT_NE(Code([&] {
              LzmaStream s(Memory(noise), {0x5D, 0xFF, 0xFF, 0xFF, 0xFF}, uint64_t{1} << 40);
              ReadAll(s);
            }),
            0);
  EXPECT_NE(Code([&] {
              Lzma2Stream s(Memory(noise), {40}, uint64_t{1} << 40);
              ReadAll(s);
            }),
            0);
  EXPECT_EQ(Code([] { Lzma2DictionarySize(41); }), kErrorCannotOpen);
  EXPECT_EQ(Code([] { LzmaStream s(Memory({0, 0, 0, 0, 0}), {0xE1, 0, 0, 1, 0}, 10); }),
            kErrorCannotOpen);  // lc/lp/pb byte out of range
}

TEST(Lzma, TruncatedInputIsAnError) {
  EXPECT_EQ(Code([] {
              LzmaStream s(Memory({0, 1, 2}), {0x5D, 0, 0, 1, 0}, 100);
              ReadAll(s);
            }),
            kErrorData);
}

TEST(Delta, AddsTheByteDistanceBack) {
  std::vector<uint8_t> in = {1, 2, 3, 4, 1, 1, 1, 1, 0xFF, 0, 0, 0};
  DeltaFilter d(Memory(in), {3});  // distance 4
  EXPECT_EQ(ReadAll(d), (std::vector<uint8_t>{1, 2, 3, 4, 2, 3, 4, 5, 1, 3, 4, 5}));
}

TEST(Arm64, BranchTargetsBecomeRelativeAgain) {
  // A BL at offset 8 whose absolute word target 0x10 becomes relative +0x10 - 8/4 words.
  std::vector<uint8_t> in = {0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0, 0, 0x94};
  Arm64Filter f(Memory(in), {});
  auto out = ReadAll(f);
  EXPECT_EQ(out[8], 0x0E);
  EXPECT_EQ(out[11], 0x94);
}

TEST(Header, CountsBeyondTheHeaderAreRefusedBeforeAllocating) {
  // kHeader, kMainStreamsInfo, kPackInfo, pos 0, count 2^40 (9-byte number).
  std::vector<uint8_t> h = {nid::kHeader, nid::kMainStreamsInfo, nid::kPackInfo, 0,
                            0xFF, 0, 0, 0, 0, 0, 1, 0, 0};
  EXPECT_EQ(Code([&] { ParseHeader(h.data(), h.size()); }), kErrorCannotOpen);
  // A files info claiming a billion files in a few bytes.
  std::vector<uint8_t> f = {nid::kHeader, nid::kFilesInfo, 0xE0 | 0x1F, 0xFF, 0xFF, 0xFF, 0};
  EXPECT_EQ(Code([&] { ParseHeader(f.data(), f.size()); }), kErrorCannotOpen);
  // A folder whose bind pair points at itself has no main output.
  std::vector<uint8_t> loop = {nid::kHeader, nid::kMainStreamsInfo, nid::kUnpackInfo,
                               nid::kFolder, 1, 0, 1, 0x00, nid::kCodersUnpackSize, 1, 0, 0};
  EXPECT_EQ(Code([&] { ParseHeader(loop.data(), loop.size()); }), kErrorCannotOpen);
}

}  // namespace
}  // namespace corvane::archive
