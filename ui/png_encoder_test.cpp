#include "ui/png_encoder.h"

#include <gtest/gtest.h>

#include "ui/png_decoder.h"

namespace corvane::ui {
namespace {

TEST(PngEncoderTest, WhatItWritesOurReaderReadsBackPixelForPixel) {
  // Rows of different colours and alphas: a swapped channel, a lost row or a wrong stride shows.
  platform::Picture p = platform::BlankPicture(5, 3);
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 5; ++x) {
      uint8_t* px = p.rgba.data() + (y * 5 + x) * 4;
      px[0] = static_cast<uint8_t>(x * 50);
      px[1] = static_cast<uint8_t>(y * 100);
      px[2] = static_cast<uint8_t>(255 - x * 10 - y);
      px[3] = static_cast<uint8_t>(x == 4 ? 128 : 255);
    }
  }
  const std::string file = EncodePng(p);
  ASSERT_TRUE(IsPng(file));
  auto back = DecodePng(file);  // checks every chunk's CRC and the inflated size
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width, 5u);
  EXPECT_EQ(back->height, 3u);
  EXPECT_EQ(back->rgba, p.rgba);
}

TEST(PngEncoderTest, APictureWithoutPixelsOrWithTooFewBytesGivesNothing) {
  EXPECT_TRUE(EncodePng(platform::Picture{}).empty());
  platform::Picture short_buffer = platform::BlankPicture(4, 4);
  short_buffer.rgba.resize(10);
  EXPECT_TRUE(EncodePng(short_buffer).empty());
}

}  // namespace
}  // namespace corvane::ui
