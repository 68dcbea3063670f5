#include "ui/png_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/support/picture_fixtures.h"

namespace corvane::ui {
namespace {

using testing::ReadPictureFixture;
using testing::SameAsSource;

struct Chunk {
  std::string type;
  std::string data;
};

uint32_t Be32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[at])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(s[at + 2])) << 8 |
         static_cast<uint8_t>(s[at + 3]);
}
std::string PutBe32(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

std::vector<Chunk> Chunks(const std::string& png) {
  std::vector<Chunk> out;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = Be32(png, at);
    out.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
    at += 12 + length;
  }
  return out;
}

// A PNG file of these chunks, each with its correct CRC.
std::string Build(const std::vector<Chunk>& chunks) {
  std::string out = "\x89PNG\r\n\x1a\n";
  for (const Chunk& c : chunks) {
    const std::string body = c.type + c.data;
    out += PutBe32(static_cast<uint32_t>(c.data.size())) + body;
    out += PutBe32(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  }
  return out;
}

size_t IndexOf(const std::vector<Chunk>& chunks, const std::string& type) {
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type == type) return i;
  }
  return chunks.size();
}

std::string Compress(const std::string& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  out.resize(size);
  return out;
}

std::string Header(uint32_t w, uint32_t h, uint8_t depth, uint8_t colour, uint8_t interlace = 0) {
  return PutBe32(w) + PutBe32(h) +
         std::string{static_cast<char>(depth), static_cast<char>(colour), 0, 0,
                     static_cast<char>(interlace)};
}

// A 2x2 8-bit RGBA picture whose rows use the given filter bytes over zero-filtered data.
std::string TinyRgba(const std::string& rows) {
  return Build({{"IHDR", Header(2, 2, 8, 6)}, {"IDAT", Compress(rows)}, {"IEND", ""}});
}

struct Case {
  const char* file;
  const char* source;
  uint8_t depth, colour, interlace;
};

TEST(PngFixtures, EveryColourTypeDepthAndInterlaceDecodesToTheColoursDrawn) {
  const Case cases[] = {
      {"png-grey-1.png", "bw", 1, 0, 0},
      {"png-grey-2.png", "grey", 2, 0, 0},
      {"png-grey-4.png", "grey", 4, 0, 0},
      {"png-grey-8.png", "grey", 8, 0, 0},
      {"png-grey-16.png", "grey", 16, 0, 0},
      {"png-rgb-8.png", "colour", 8, 2, 0},
      {"png-rgb-16.png", "colour", 16, 2, 0},
      {"png-palette-1.png", "bw", 1, 3, 0},
      {"png-palette-2.png", "grey", 2, 3, 0},
      {"png-palette-4.png", "colour", 4, 3, 0},
      {"png-palette-8.png", "colour", 8, 3, 0},
      {"png-grey-alpha-8.png", "greyalpha", 8, 4, 0},
      {"png-grey-alpha-16.png", "greyalpha", 16, 4, 0},
      {"png-rgba-8.png", "alpha", 8, 6, 0},
      {"png-rgba-16.png", "alpha", 16, 6, 0},
      {"png-rgba-interlaced-8.png", "alpha", 8, 6, 1},
      {"png-rgb-interlaced-16.png", "colour", 16, 2, 1},
      {"png-grey-interlaced-2.png", "grey", 2, 0, 1},
      {"png-palette-interlaced-4.png", "colour", 4, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string png = ReadPictureFixture(c.file);
    ASSERT_GT(png.size(), 33u);
    // The fixture is what its name says (the converter may choose otherwise when not forced).
    EXPECT_EQ(static_cast<uint8_t>(png[24]), c.depth);
    EXPECT_EQ(static_cast<uint8_t>(png[25]), c.colour);
    EXPECT_EQ(static_cast<uint8_t>(png[28]), c.interlace);
    auto picture = DecodePng(png);
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(SameAsSource(*picture, c.source));
  }
}

TEST(PngFixtures, EachOfTheFiveRowFiltersDecodes) {
  for (int f = 0; f <= 4; ++f) {
    const std::string name = "png-rgba-filter-" + std::to_string(f) + ".png";
    SCOPED_TRACE(name);
    auto picture = DecodePng(ReadPictureFixture(name));
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(SameAsSource(*picture, "alpha"));
  }
}

TEST(PngFilters, EachFilterUndoneAgainstLeftAboveAndCorner) {
  // Row 0: filter 0, pixels (10,20,30,40) (50,60,70,80). Row 1 holds deltas under each filter
  // such that it decodes to (11,22,33,44) (55,66,77,88) in every case.
  const std::string row0 = std::string("\x00", 1) + "\x0A\x14\x1E\x28\x32\x3C\x46\x50";
  const uint8_t want[8] = {11, 22, 33, 44, 55, 66, 77, 88};
  const uint8_t above[8] = {10, 20, 30, 40, 50, 60, 70, 80};
  for (int f = 0; f <= 4; ++f) {
    SCOPED_TRACE(f);
    std::string row1(1, static_cast<char>(f));
    for (int i = 0; i < 8; ++i) {
      const int left = i >= 4 ? want[i - 4] : 0;
      const int up = above[i];
      const int corner = i >= 4 ? above[i - 4] : 0;
      int predictor = 0;
      if (f == 1) predictor = left;
      if (f == 2) predictor = up;
      if (f == 3) predictor = (left + up) / 2;
      if (f == 4) {
        const int p = left + up - corner;
        const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - corner);
        predictor = pa <= pb && pa <= pc ? left : pb <= pc ? up : corner;
      }
      row1 += static_cast<char>((want[i] - predictor) & 0xFF);
    }
    auto picture = DecodePng(TinyRgba(row0 + row1));
    ASSERT_TRUE(picture.has_value());
    EXPECT_EQ(std::vector<uint8_t>(picture->rgba.begin() + 8, picture->rgba.end()),
              std::vector<uint8_t>(want, want + 8));
  }
  // Filter type 5 does not exist.
  EXPECT_FALSE(DecodePng(TinyRgba(row0 + std::string("\x05", 1) + std::string(8, '\0'))));
}

TEST(PngTransparency, AKeyColourOfAGreyOrRgbPictureIsTransparent) {
  // Grey 2 bits: level 1 (85) becomes transparent.
  auto grey = Chunks(ReadPictureFixture("png-grey-2.png"));
  grey.insert(grey.begin() + IndexOf(grey, "IDAT"), Chunk{"tRNS", std::string("\x00\x01", 2)});
  auto picture = DecodePng(Build(grey));
  ASSERT_TRUE(picture.has_value());
  const std::string source = ReadPictureFixture("grey.rgba");
  for (size_t i = 0; i < source.size(); i += 4) {
    const bool keyed = static_cast<uint8_t>(source[i]) == 85;
    EXPECT_EQ(picture->rgba[i + 3], keyed ? 0 : 255) << i / 4;
  }
  // RGB 16 bits: the key compares all 16 bits of each sample; red (255,0,0) as 0xFFFF,0,0.
  auto rgb = Chunks(ReadPictureFixture("png-rgb-16.png"));
  rgb.insert(rgb.begin() + IndexOf(rgb, "IDAT"),
             Chunk{"tRNS", std::string("\xFF\xFF\x00\x00\x00\x00", 6)});
  picture = DecodePng(Build(rgb));
  ASSERT_TRUE(picture.has_value());
  const std::string colour = ReadPictureFixture("colour.rgba");
  int transparent = 0;
  for (size_t i = 0; i < colour.size(); i += 4) {
    const bool red = colour.compare(i, 3, "\xFF\x00\x00", 3) == 0;
    EXPECT_EQ(picture->rgba[i + 3], red ? 0 : 255) << i / 4;
    transparent += red;
  }
  EXPECT_GT(transparent, 0);
  // A key of the wrong length is damage.
  rgb[IndexOf(rgb, "tRNS")].data = "\x00\x01";
  EXPECT_FALSE(DecodePng(Build(rgb)));
}

TEST(PngTransparency, PaletteEntriesTakeTheirAlphaFromTrns) {
  auto chunks = Chunks(ReadPictureFixture("png-palette-8.png"));
  const std::string palette = chunks[IndexOf(chunks, "PLTE")].data;
  const size_t entries = palette.size() / 3;
  ASSERT_GE(entries, 16u);
  // Alpha 17 * i for the first entries; the entries after the tRNS data stay opaque.
  std::string alpha;
  for (size_t i = 0; i + 2 < entries; ++i) alpha += static_cast<char>(17 * i);
  chunks.insert(chunks.begin() + IndexOf(chunks, "IDAT"), Chunk{"tRNS", alpha});
  auto picture = DecodePng(Build(chunks));
  ASSERT_TRUE(picture.has_value());
  for (size_t i = 0; i < picture->rgba.size(); i += 4) {
    size_t index = 0;
    while (index < entries &&
           palette.compare(index * 3, 3, reinterpret_cast<const char*>(&picture->rgba[i]), 3) !=
               0) {
      ++index;
    }
    ASSERT_LT(index, entries) << "a colour not in the palette";
    EXPECT_EQ(picture->rgba[i + 3], index < alpha.size() ? 17 * index : 255);
  }
  // More alpha values than palette entries is damage.
  chunks[IndexOf(chunks, "tRNS")].data = std::string(entries + 1, '\x80');
  EXPECT_FALSE(DecodePng(Build(chunks)));
}

TEST(PngChunks, SplitDataAndAncillaryChunksAreReadCriticalUnknownOnesAreNot) {
  auto chunks = Chunks(ReadPictureFixture("png-rgba-interlaced-8.png"));
  // Image data split into one-byte IDAT chunks, with an unknown ancillary chunk before them.
  const size_t idat = IndexOf(chunks, "IDAT");
  std::string data;
  while (idat < chunks.size() && chunks[idat].type == "IDAT") {
    data += chunks[idat].data;
    chunks.erase(chunks.begin() + idat);
  }
  std::vector<Chunk> split;
  for (char c : data) split.push_back({"IDAT", std::string(1, c)});
  chunks.insert(chunks.begin() + idat, split.begin(), split.end());
  chunks.insert(chunks.begin() + idat, Chunk{"zzZz", "anything"});
  auto picture = DecodePng(Build(chunks));
  ASSERT_TRUE(picture.has_value());
  EXPECT_TRUE(SameAsSource(*picture, "alpha"));

  auto critical = chunks;
  critical.insert(critical.begin() + idat, Chunk{"ZZZZ", "must be understood"});
  EXPECT_FALSE(DecodePng(Build(critical)));
  // IDAT chunks interrupted by another chunk.
  auto broken = chunks;
  broken.insert(broken.begin() + idat + 3, Chunk{"tEXt", "a\0b"});
  EXPECT_FALSE(DecodePng(Build(broken)));
}

TEST(PngDamage, TruncatedFilesGiveNothingAtEveryLength) {
  const std::string png = ReadPictureFixture("png-palette-interlaced-4.png");
  ASSERT_TRUE(DecodePng(png).has_value());
  for (size_t n = 0; n < png.size(); ++n) {
    EXPECT_FALSE(DecodePng(png.substr(0, n))) << n;
  }
}

TEST(PngDamage, EveryFlippedBitIsCaughtByTheCrcOrTheStructure) {
  const std::string png = ReadPictureFixture("png-rgb-8.png");
  for (size_t i = 0; i < png.size(); ++i) {
    std::string bad = png;
    bad[i] = static_cast<char>(bad[i] ^ 0x10);
    EXPECT_FALSE(DecodePng(bad)) << i;
  }
}

TEST(PngDamage, HugeOrZeroSizesAreRefusedBeforeAnyAllocation) {
  auto chunks = Chunks(ReadPictureFixture("png-rgba-8.png"));
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{0, 9},
                      {13, 0},
                      {8193, 1},
                      {1, 8193},
                      {8192, 8192},
                      {0x7FFFFFFF, 0x7FFFFFFF},
                      {0xFFFFFFFF, 1}}) {
    auto big = chunks;
    big[0].data.replace(0, 8, PutBe32(w) + PutBe32(h));
    EXPECT_FALSE(DecodePng(Build(big))) << w << "x" << h;
  }
  // The largest allowed picture decodes (a single row of the widest size).
  std::string row(1 + 8192, '\0');
  auto wide =
      DecodePng(Build({{"IHDR", Header(8192, 1, 8, 0)}, {"IDAT", Compress(row)}, {"IEND", ""}}));
  ASSERT_TRUE(wide.has_value());
  EXPECT_EQ(wide->width, 8192u);
}

TEST(PngDamage, ImageDataOfTheWrongSizeOrBadZlibGivesNothing) {
  const std::string rows =
      std::string("\x00", 1) + std::string(8, 'a') + std::string("\x00", 1) + std::string(8, 'b');
  ASSERT_TRUE(DecodePng(TinyRgba(rows)).has_value());
  EXPECT_FALSE(DecodePng(TinyRgba(rows.substr(0, rows.size() - 1))));  // one byte short
  EXPECT_FALSE(DecodePng(TinyRgba(rows + "x")));                       // one byte too many
  std::string z = Compress(rows);
  z[2] = static_cast<char>(z[2] ^ 0xFF);  // the deflate data
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(2, 2, 8, 6)}, {"IDAT", z}, {"IEND", ""}})));
  z = Compress(rows);
  z[z.size() - 1] = static_cast<char>(z[z.size() - 1] ^ 1);  // the Adler-32 check
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(2, 2, 8, 6)}, {"IDAT", z}, {"IEND", ""}})));
  // No IEND, no IDAT.
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(2, 2, 8, 6)}, {"IDAT", Compress(rows)}})));
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(2, 2, 8, 6)}, {"IEND", ""}})));
}

TEST(PngDamage, HeaderAndPaletteRulesAreEnforced) {
  const std::string one_row = Compress(std::string("\x00\x00", 2));
  auto palette = [&](const std::string& plte, uint8_t index) {
    return Build({{"IHDR", Header(1, 1, 8, 3)},
                  {"PLTE", plte},
                  {"IDAT", Compress(std::string(1, '\0') + static_cast<char>(index))},
                  {"IEND", ""}});
  };
  auto ok = DecodePng(palette("\x01\x02\x03\x04\x05\x06", 1));
  ASSERT_TRUE(ok.has_value());
  EXPECT_EQ(ok->rgba, (std::vector<uint8_t>{4, 5, 6, 255}));
  EXPECT_FALSE(DecodePng(palette("\x01\x02\x03\x04\x05\x06", 2)));  // index past the palette
  EXPECT_FALSE(DecodePng(palette("\x01\x02\x03\x04", 0)));          // not whole entries
  // A palette picture without PLTE; an impossible depth; IHDR not first.
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(1, 1, 8, 3)}, {"IDAT", one_row}, {"IEND", ""}})));
  EXPECT_FALSE(DecodePng(Build({{"IHDR", Header(1, 1, 4, 2)}, {"IDAT", one_row}, {"IEND", ""}})));
  EXPECT_FALSE(DecodePng(
      Build({{"tEXt", "a"}, {"IHDR", Header(1, 1, 8, 0)}, {"IDAT", one_row}, {"IEND", ""}})));
  // A grey 8-bit 1x1 picture decodes; the same with an unknown compression method does not.
  EXPECT_TRUE(DecodePng(Build({{"IHDR", Header(1, 1, 8, 0)}, {"IDAT", one_row}, {"IEND", ""}})));
  std::string ihdr = Header(1, 1, 8, 0);
  ihdr[10] = 1;
  EXPECT_FALSE(DecodePng(Build({{"IHDR", ihdr}, {"IDAT", one_row}, {"IEND", ""}})));
}

}  // namespace
}  // namespace corvane::ui
