#include "ui/picture_data.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "platform/bitmap_file.h"
#include "tests/support/picture_fixtures.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

using testing::ReadPictureFixture;

std::string Le32(uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}
std::string ShortString(const std::string& s) { return static_cast<char>(s.size()) + s; }

// Records which codec was asked, and with what.
class RecordingCodecs : public platform::PictureCodecs {
 public:
  std::optional<platform::Picture> DecodeJpeg(std::string_view b) override {
    jpeg = std::string(b);
    return platform::BlankPicture(1, 1);
  }
  std::optional<platform::Picture> DecodeBitmap(std::string_view b) override {
    bitmap = std::string(b);
    return platform::BlankPicture(2, 1);
  }
  std::string jpeg, bitmap;
};

TEST(PictureProperty, FindsTheFileAfterAClassNameAndOrASize) {
  const std::string png = ReadPictureFixture("png-rgba-8.png");
  const std::string bmp = ReadPictureFixture("bmp-24.bmp");
  struct Form {
    std::string property, file;
  } forms[] = {
      {png, png},                                                       // a bare file
      {ShortString("TPngImage") + png, png},                            // class name, then the file
      {ShortString("TBitmap") + Le32(bmp.size()) + bmp, bmp},           // class name and size
      {Le32(bmp.size()) + bmp, bmp},                                    // a glyph: size alone
      {ShortString("TBitmap") + Le32(bmp.size()) + bmp + "tail", bmp},  // the size ends it
      {ShortString("TJPEGImage") + png, png},  // contents decide, not the class name
  };
  for (const Form& f : forms) {
    auto file = PictureFileOfProperty(f.property);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(*file, f.file);
  }
  // A size past the end, an icon, a class name with no file, nothing at all.
  EXPECT_FALSE(PictureFileOfProperty(ShortString("TBitmap") + Le32(bmp.size() + 1) + bmp));
  EXPECT_FALSE(PictureFileOfProperty(ShortString("TIcon") + std::string("\0\0\1\0\1\0", 6)));
  EXPECT_FALSE(PictureFileOfProperty(ShortString("TBitmap")));
  EXPECT_FALSE(PictureFileOfProperty(""));
  EXPECT_FALSE(PictureFileOfProperty(Le32(0)));
}

TEST(PictureProperty, TheSampleDialogPictureDecodes) {
  // Picture.Data of examples/dialogs/Welcome.dfm.txt: a 2x2 24-bit bitmap without a size prefix,
  // bottom row blue-ish (0x20,0x40,0x80) then white.
  const char bytes[] =
      "\x07TBitmapBMF\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x02\0\0\0\x02\0\0\0\x01\0\x18\0\0\0\0\0"
      "\x10\0\0\0\x13\x0B\0\0\x13\x0B\0\0\0\0\0\0\0\0\0\0\x80\x40\x20\xFF\xFF\xFF\0\0\x80\x40\x20"
      "\xFF\xFF\xFF\0\0";
  const std::string property(bytes, 8 + 70);
  ASSERT_EQ(sizeof bytes, property.size() + 1);
  struct NativeBitmaps : RecordingCodecs {
    std::optional<platform::Picture> DecodeBitmap(std::string_view b) override {
      bitmap = std::string(b);
      return platform::DecodeBitmapFile(b);
    }
  } codecs;
  auto picture = DecodePictureProperty(property, codecs);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(codecs.bitmap, property.substr(8));
  ASSERT_EQ(picture->width, 2u);
  ASSERT_EQ(picture->height, 2u);
  const std::vector<uint8_t> row = {0x20, 0x40, 0x80, 255, 255, 255, 255, 255};
  EXPECT_EQ(std::vector<uint8_t>(picture->rgba.begin(), picture->rgba.begin() + 8), row);
  EXPECT_EQ(std::vector<uint8_t>(picture->rgba.begin() + 8, picture->rgba.end()), row);
}

// The first property of that name anywhere in the tree.
const FormValue* FindProperty(const FormObject& o, const std::string& name) {
  for (const FormProperty& p : o.properties) {
    if (p.name == name) return &p.value;
  }
  for (const FormObject& child : o.children) {
    if (const FormValue* v = FindProperty(child, name)) return v;
  }
  return nullptr;
}

TEST(PictureProperty, ThePictureOfALoadedSampleDialogDecodes) {
  std::ifstream in(testing::HostPath(std::string(SAMPLE_DIALOGS_DIR) + "/Welcome.dfm.txt"),
                   std::ios::binary);
  ASSERT_TRUE(in.good());
  const FormObject form = ParseFormText(
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  const FormValue* data = FindProperty(form, "Picture.Data");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->tag, ValueTag::kBinary);
  struct NativeBitmaps : RecordingCodecs {
    std::optional<platform::Picture> DecodeBitmap(std::string_view b) override {
      return platform::DecodeBitmapFile(b);
    }
  } codecs;
  auto picture = DecodePictureProperty(data->text, codecs);
  ASSERT_TRUE(picture.has_value());
  EXPECT_EQ(picture->width, 2u);
  EXPECT_EQ(picture->height, 2u);
  EXPECT_EQ(std::vector<uint8_t>(picture->At(0, 0), picture->At(0, 0) + 4),
            (std::vector<uint8_t>{0x20, 0x40, 0x80, 255}));
}

TEST(PictureProperty, EachKindGoesToItsDecoder) {
  RecordingCodecs codecs;
  const std::string jpeg = ReadPictureFixture("jpeg-colour.jpg");
  auto p = DecodePictureProperty(ShortString("TJPEGImage") + Le32(jpeg.size()) + jpeg, codecs);
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->width, 1u);
  EXPECT_EQ(codecs.jpeg, jpeg);
  EXPECT_TRUE(codecs.bitmap.empty());

  // PNG is ours on every platform: no codec is asked.
  RecordingCodecs untouched;
  auto png = DecodePictureProperty(
      ShortString("TPngImage") + ReadPictureFixture("png-palette-4.png"), untouched);
  ASSERT_TRUE(png.has_value());
  EXPECT_TRUE(testing::SameAsSource(*png, "colour"));
  EXPECT_TRUE(untouched.jpeg.empty() && untouched.bitmap.empty());
  EXPECT_FALSE(DecodePictureFile("GIF89a", untouched));
}

}  // namespace
}  // namespace corvane::ui
