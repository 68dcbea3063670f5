#include "platform/sim/sim_pictures.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/picture_fixtures.h"

namespace corvane::platform::sim {
namespace {

using testing::ReadPictureFixture;
using testing::SameAsSource;

// Cases of the simulation's own decoder that the system's decoder may answer otherwise (the
// shared cases are in tests/contract/pictures_contract_test.cpp).
TEST(SimJpeg, CmykFilesAreConvertedAndDamagedOnesGiveNothing) {
  auto cmyk = DecodeJpegFile(ReadPictureFixture("jpeg-cmyk.jpg"));
  ASSERT_TRUE(cmyk.has_value());
  EXPECT_TRUE(SameAsSource(*cmyk, "colour", 24));

  // libjpeg would fill a truncated scan with grey and call it a warning; we refuse it.
  const std::string jpeg = ReadPictureFixture("jpeg-colour.jpg");
  for (size_t n = 0; n < jpeg.size(); n += 7) EXPECT_FALSE(DecodeJpegFile(jpeg.substr(0, n))) << n;
  std::string bad = jpeg;
  bad[bad.size() / 2] = static_cast<char>(0xFF);  // a marker in the middle of the scan
  bad[bad.size() / 2 + 1] = static_cast<char>(0xD9);
  EXPECT_FALSE(DecodeJpegFile(bad));
}

TEST(SimJpeg, AFrameLargerThanTheLimitsIsRefusedBeforeDecoding) {
  std::string jpeg = ReadPictureFixture("jpeg-grey.jpg");
  // The frame header: FF C0, length, precision, height, width.
  const size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  jpeg[sof + 5] = static_cast<char>(0xFF);  // height 0xFF09
  jpeg[sof + 7] = static_cast<char>(0xFF);  // width 0xFF0D
  EXPECT_FALSE(DecodeJpegFile(jpeg));
}

}  // namespace
}  // namespace corvane::platform::sim
