#include "platform/bitmap_file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/picture_fixtures.h"

namespace corvane::platform {
namespace {

using testing::ReadPictureFixture;
using testing::SameAsSource;

uint32_t Le32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (8 * i));
}

// The same picture stored top-down: negative height, rows reversed.
std::string TopDown(const std::string& bmp) {
  auto layout = ReadBitmapLayout(bmp);
  EXPECT_TRUE(layout.has_value());
  std::string out = bmp;
  Put32(out, 22, static_cast<uint32_t>(-static_cast<int32_t>(layout->height)));
  for (uint32_t y = 0; y < layout->height; ++y) {
    out.replace(layout->bits_offset + y * layout->stride, layout->stride,
                bmp.substr(layout->bits_offset + (layout->height - 1 - y) * layout->stride,
                           layout->stride));
  }
  return out;
}

TEST(BitmapFixtures, EveryDepthDecodesToTheColoursDrawn) {
  struct Case {
    const char* file;
    const char* source;
    uint16_t bits;
    uint32_t compression;  // as the file header says
  } cases[] = {
      {"bmp-1.bmp", "bw", 1, 0},
      {"bmp-4.bmp", "colour", 4, 0},
      {"bmp-8.bmp", "many", 8, 0},
      {"bmp-rle8.bmp", "many", 8, 1},
      {"bmp-16.bmp", "colour", 16, 3},
      {"bmp-24.bmp", "colour", 24, 0},
      {"bmp-32-alpha.bmp", "alpha", 32, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string bmp = ReadPictureFixture(c.file);
    ASSERT_GT(bmp.size(), 54u);
    EXPECT_EQ(static_cast<uint8_t>(bmp[28]), c.bits);
    EXPECT_EQ(Le32(bmp, 30), c.compression);
    auto picture = DecodeBitmapFile(bmp);
    ASSERT_TRUE(picture.has_value());
    // 5-6-5 keeps only the top bits of each channel.
    EXPECT_TRUE(SameAsSource(*picture, c.source, c.bits == 16 ? 8 : 0));
  }
}

TEST(BitmapFixtures, TopDownRowsReadTheSame) {
  for (const char* f : {"bmp-1.bmp", "bmp-24.bmp", "bmp-32-alpha.bmp"}) {
    SCOPED_TRACE(f);
    auto normal = DecodeBitmapFile(ReadPictureFixture(f));
    auto flipped = DecodeBitmapFile(TopDown(ReadPictureFixture(f)));
    ASSERT_TRUE(normal && flipped);
    EXPECT_EQ(normal->rgba, flipped->rgba);
  }
}

TEST(BitmapAlpha, ThirtyTwoBitsWithAllAlphaZeroAreOpaque) {
  std::string bmp = ReadPictureFixture("bmp-32-alpha.bmp");
  auto layout = ReadBitmapLayout(bmp);
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->masks[3], 0xFF000000u);
  for (size_t i = layout->bits_offset + 3; i < bmp.size(); i += 4) bmp[i] = 0;
  auto picture = DecodeBitmapFile(bmp);
  ASSERT_TRUE(picture.has_value());
  for (size_t i = 3; i < picture->rgba.size(); i += 4) ASSERT_EQ(picture->rgba[i], 255);
}

TEST(BitmapDamage, TruncatedHugeAndInconsistentFilesGiveNothing) {
  const std::string bmp = ReadPictureFixture("bmp-4.bmp");
  ASSERT_TRUE(DecodeBitmapFile(bmp));
  for (size_t n = 0; n < bmp.size(); ++n) EXPECT_FALSE(DecodeBitmapFile(bmp.substr(0, n))) << n;
  auto with = [&](size_t at, uint32_t v) {
    std::string b = bmp;
    Put32(b, at, v);
    return b;
  };
  EXPECT_FALSE(DecodeBitmapFile(with(18, 8193)));         // width over the limit
  EXPECT_FALSE(DecodeBitmapFile(with(18, 0)));            // no width
  EXPECT_FALSE(DecodeBitmapFile(with(18, 0x80000000u)));  // negative width
  EXPECT_FALSE(DecodeBitmapFile(with(22, 0x80000000u)));  // the most negative height
  EXPECT_FALSE(DecodeBitmapFile(with(22, 9000)));         // rows the file does not hold
  EXPECT_FALSE(DecodeBitmapFile(with(10, 0x7FFFFFFF)));   // pixel data past the end
  EXPECT_FALSE(DecodeBitmapFile(with(14, 41)));           // unknown header size
  EXPECT_FALSE(DecodeBitmapFile(with(30, 7)));            // unknown compression
  std::string depth = bmp;
  depth[28] = 3;
  EXPECT_FALSE(DecodeBitmapFile(depth));
}

TEST(BitmapDamage, MasksAreReadOnlyFromInsideTheirHeader) {
  // A 52-byte header holds three masks; alpha bit fields there must not read a fourth past it.
  std::string b = "BM" + std::string(12, '\0');
  std::string info(52, '\0');
  Put32(info, 0, 52);
  Put32(info, 4, 1);
  Put32(info, 8, 1);
  info[12] = 1;
  info[14] = 32;
  Put32(info, 16, bitmap_compression::kAlphaBitFields);
  Put32(info, 40, 0xFF0000);
  Put32(info, 44, 0xFF00);
  Put32(info, 48, 0xFF);
  b += info;
  Put32(b, 10, static_cast<uint32_t>(b.size()));
  const std::string file = b + std::string("\x30\x20\x10\x80", 4);
  auto layout = ReadBitmapLayout(file);
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->masks[3], 0u);
  auto p = DecodeBitmapFile(file);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->rgba, (std::vector<uint8_t>{0x10, 0x20, 0x30, 255}));
}

TEST(BitmapRle, RunsAbsoluteBlocksDeltasAndDamage) {
  // A 4x3 8-bit bitmap with a two-colour table, run-length encoded.
  auto make = [](const std::string& rle) {
    std::string b = "BM" + std::string(12, '\0');
    std::string info(40, '\0');
    Put32(info, 0, 40);
    Put32(info, 4, 4);
    Put32(info, 8, 3);
    info[12] = 1;
    info[14] = 8;
    Put32(info, 16, 1);
    Put32(info, 32, 2);
    b += info + std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8);  // red, blue
    Put32(b, 10, static_cast<uint32_t>(b.size()));
    return b + rle;
  };
  // Bottom row: run of 2 red, absolute block (1, 0, 1) padded, end of line; then a delta of two
  // right and one up, so the middle row is skipped, one blue, end of line, end of picture.
  auto p =
      DecodeBitmapFile(make(std::string("\x02\x00\x00\x03\x01\x00\x01\x00\x00\x00"
                                        "\x00\x02\x02\x01\x01\x01\x00\x00\x00\x01",
                                        20)));
  ASSERT_TRUE(p.has_value());
  auto px = [&](uint32_t x, uint32_t y) {
    const uint8_t* q = p->At(x, y);
    return std::vector<uint8_t>(q, q + 4);
  };
  const std::vector<uint8_t> red = {255, 0, 0, 255}, blue = {0, 0, 255, 255},
                             black = {0, 0, 0, 255};
  EXPECT_EQ(px(0, 2), red);
  EXPECT_EQ(px(1, 2), red);
  EXPECT_EQ(px(2, 2), blue);
  EXPECT_EQ(px(3, 2), red);
  for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(px(x, 1), black) << x;  // skipped by the delta
  EXPECT_EQ(px(2, 0), blue);
  EXPECT_EQ(px(0, 0), black);
  // An absolute block that runs past the data.
  EXPECT_FALSE(DecodeBitmapFile(make(std::string("\x00\x05\x01\x01", 4))));
}

TEST(JpegFrame, SizeComesFromTheFirstFrameHeader) {
  auto size = JpegFrameSize(ReadPictureFixture("jpeg-progressive.jpg"));
  ASSERT_TRUE(size.has_value());
  EXPECT_EQ(size->width, 13u);
  EXPECT_EQ(size->height, 9u);
  EXPECT_FALSE(JpegFrameSize("\xFF\xD8\xFF\xDA\x00\x02"));  // a scan before any frame
  EXPECT_FALSE(JpegFrameSize("BM"));
  const std::string jpeg = ReadPictureFixture("jpeg-colour.jpg");
  for (size_t n = 0; n < 30; ++n) EXPECT_FALSE(JpegFrameSize(jpeg.substr(0, n))) << n;
}

}  // namespace
}  // namespace corvane::platform
