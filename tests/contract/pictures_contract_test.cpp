// The picture codecs: the same JPEG and bitmap files give the same pixels on both platforms.
#include <string>

#include "tests/contract/contract_env.h"
#include "tests/support/picture_fixtures.h"

namespace corvane::contract {
namespace {

using testing::ReadPictureFixture;
using testing::SameAsSource;

class PicturesContract : public ContractTest {
 protected:
  platform::PictureCodecs& Codecs() { return P().pictures(); }
};

TEST_F(PicturesContract, JpegFilesDecodeCloseToTheColoursDrawn) {
  // Quality 100 without chroma subsampling: each channel within a few steps of the source.
  for (auto [file, source] :
       {std::pair{"jpeg-colour.jpg", "colour"}, std::pair{"jpeg-progressive.jpg", "colour"},
        std::pair{"jpeg-grey.jpg", "grey"}}) {
    SCOPED_TRACE(file);
    auto picture = Codecs().DecodeJpeg(ReadPictureFixture(file));
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(SameAsSource(*picture, source, 12));
  }
}

TEST_F(PicturesContract, BitmapsOfEveryDepthDecodeToTheColoursDrawn) {
  for (auto [file, source, tolerance] :
       {std::tuple{"bmp-1.bmp", "bw", 0}, std::tuple{"bmp-4.bmp", "colour", 0},
        std::tuple{"bmp-8.bmp", "many", 0}, std::tuple{"bmp-rle8.bmp", "many", 0},
        std::tuple{"bmp-16.bmp", "colour", 8}, std::tuple{"bmp-24.bmp", "colour", 0},
        std::tuple{"bmp-32-alpha.bmp", "alpha", 0}}) {
    SCOPED_TRACE(file);
    auto picture = Codecs().DecodeBitmap(ReadPictureFixture(file));
    ASSERT_TRUE(picture.has_value());
    EXPECT_TRUE(SameAsSource(*picture, source, tolerance));
  }
}

TEST_F(PicturesContract, DamagedFilesGiveNothing) {
  const std::string jpeg = ReadPictureFixture("jpeg-colour.jpg");
  const std::string bmp = ReadPictureFixture("bmp-24.bmp");
  EXPECT_FALSE(Codecs().DecodeJpeg(jpeg.substr(0, 100)));  // ends inside the headers
  EXPECT_FALSE(Codecs().DecodeJpeg("\xFF\xD8\xFF\xE0garbage"));
  EXPECT_FALSE(Codecs().DecodeJpeg(""));
  EXPECT_FALSE(Codecs().DecodeBitmap(bmp.substr(0, bmp.size() - 1)));  // a row short
  EXPECT_FALSE(Codecs().DecodeBitmap(bmp.substr(0, 30)));
  std::string huge = bmp;
  huge[19] = 0x7F;  // width 0x7F0D
  EXPECT_FALSE(Codecs().DecodeBitmap(huge));
  EXPECT_FALSE(Codecs().DecodeBitmap(jpeg));
}

}  // namespace
}  // namespace corvane::contract
