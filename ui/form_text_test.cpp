#include "ui/form_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

#include "image/failure.h"
#include "tests/support/host_path.h"
#include "ui/control_classes.h"
#include "ui/form_model.h"
#include "ui/form_stream.h"

namespace corvane::ui {
namespace {

std::string TextFailure(std::string_view text) {
  try {
    ParseFormText(text);
  } catch (const image::ScriptFailure& e) {
    return e.what();
  }
  return "no failure";
}

// Text in the form the writer produces, one property per representation.
constexpr char kEveryForm[] =
    "object Form1: TForm1\n"
    "  PNull = Null\n"
    "  PNil = nil\n"
    "  PFalse = False\n"
    "  PTrue = True\n"
    "  PInt8 = -128\n"
    "  PInt16 = 300\n"
    "  PInt32 = -2147483648\n"
    "  PInt64 = 9223372036854775807\n"
    "  PExt = 0.1\n"
    "  PExtRaw = ~E3FFFC000000000000001\n"
    "  PSingle = 1.5S\n"
    "  PCurrency = -12.3456C\n"
    "  PDate = 45000.25D\n"
    "  PDouble = 1e+300R\n"
    "  PInf = ~R7FF0000000000000\n"
    "  PStr = 'it''s'#13#10'ok'\n"
    "  PEmpty = ''\n"
    "  PWide = 'price '#8364\n"
    "  PIdent = clBtnFace\n"
    "  PQuotedIdent = @'True'\n"
    "  PSet = [akLeft, akTop]\n"
    "  PNoSet = []\n"
    "  PBin = {\n"
    "    00FF10}\n"
    "  PList = (\n"
    "    'a'\n"
    "    1\n"
    "    (\n"
    "      2))\n"
    "  PColl = <\n"
    "    item\n"
    "      Text = 'one'\n"
    "    end\n"
    "    item [3]\n"
    "    end>\n"
    "  PNoItems = <>\n"
    "  @'with space' = 1\n"
    "  object Child: TPanel [1]\n"
    "  end\n"
    "  inherited Base: TPanel\n"
    "  end\n"
    "  inline Frame: TPanel\n"
    "    object TLabel\n"
    "    end\n"
    "  end\n"
    "end\n";

TEST(FormText, EveryRepresentationSurvivesTextToBinaryToText) {
  FormObject root = ParseFormText(kEveryForm);
  std::string binary = WriteBinaryStream(root);
  EXPECT_EQ(FormObjectToText(ReadBinaryStream(binary)), kEveryForm);
  EXPECT_EQ(NormaliseBinaryStream(binary), binary);
}

TEST(FormText, ValuesGetTheirTags) {
  FormObject root = ParseFormText(kEveryForm);
  auto value = [&](std::string_view name) -> const FormValue& {
    for (const FormProperty& p : root.properties)
      if (p.name == name) return p.value;
    static FormValue none;
    ADD_FAILURE() << name;
    return none;
  };
  EXPECT_EQ(value("PInt8").tag, ValueTag::kInt8);
  EXPECT_EQ(value("PInt16").tag, ValueTag::kInt16);
  EXPECT_EQ(value("PInt32").tag, ValueTag::kInt32);
  EXPECT_EQ(value("PInt64").tag, ValueTag::kInt64);
  EXPECT_EQ(value("PExt").tag, ValueTag::kExtended);
  EXPECT_EQ(value("PSingle").tag, ValueTag::kSingle);
  EXPECT_EQ(value("PCurrency").integer, -123456);
  EXPECT_EQ(value("PDate").tag, ValueTag::kDate);
  EXPECT_EQ(value("PDouble").tag, ValueTag::kDouble);
  EXPECT_EQ(value("PStr").text, "it's\r\nok");
  EXPECT_EQ(value("PWide").tag, ValueTag::kWString);
  EXPECT_EQ(value("PWide").wide, u"price \u20AC");
  EXPECT_EQ(value("PQuotedIdent").tag, ValueTag::kIdent);
  EXPECT_EQ(value("PQuotedIdent").text, "True");
  EXPECT_EQ(value("PBin").text, std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(value("PColl").items[1].order, 3);
  EXPECT_EQ(root.children[0].flags, object_flags::kChildPos);
  EXPECT_EQ(root.children[2].children[0].name, "");
  EXPECT_EQ(root.children[2].children[0].class_name, "TLabel");
}

TEST(FormText, StringsJoinOnlyWhenAdjacentOrWithPlus) {
  FormObject root = ParseFormText(
      "object F: TF\n  A = 'one' +\n    'two'#33\n  L = (\n    'x'\n    'y')\nend");
  EXPECT_EQ(root.properties[0].value.text, "onetwo!");
  EXPECT_EQ(root.properties[1].value.list.size(), 2u);
  // A long text becomes a long string; any character above #255 makes it wide.
  FormObject big = ParseFormText("object F: TF\n  A = '" + std::string(256, 'a') + "'\nend");
  EXPECT_EQ(big.properties[0].value.tag, ValueTag::kLString);
}

TEST(FormText, HandWrittenForms) {
  FormObject root = ParseFormText(
      "// a comment\nOBJECT F: TF\n  Hex = $FF\n  HexWide = $FFFFFFFF\n  Plus = +5\n  Currency = 5C\nEND");
  EXPECT_EQ(root.properties[0].value.integer, 255);
  EXPECT_EQ(root.properties[1].value.integer, -1);
  EXPECT_EQ(root.properties[2].value.integer, 5);
  EXPECT_EQ(root.properties[3].value.integer, 50000);
}

TEST(FormText, ExtendedAndDouble) {
  for (double d : {0.0, -0.0, 1.5, 0.1, -3.25e-300, 4.9e-324 /* smallest subnormal */, 1.7e308}) {
    uint64_t significand;
    uint16_t exponent;
    DoubleToExtended(d, &significand, &exponent);
    double back;
    ASSERT_TRUE(ExtendedToDouble(significand, exponent, &back)) << d;
    EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << d;
  }
  double out;
  EXPECT_FALSE(ExtendedToDouble(0xC000000000000001ull, 0x3FFF, &out));  // too precise
  EXPECT_FALSE(ExtendedToDouble(0x8000000000000000ull, 0x7FFF, &out));  // infinity
  EXPECT_FALSE(ExtendedToDouble(0x8000000000000000ull, 0x3FFF + 2000, &out));  // out of range
  uint64_t significand;
  uint16_t exponent;
  DoubleToExtended(1.0, &significand, &exponent);
  EXPECT_EQ(significand, 0x8000000000000000ull);
  EXPECT_EQ(exponent, 0x3FFF);
}

TEST(FormText, SyntaxErrorsNameTheLine) {
  EXPECT_EQ(TextFailure(""), "Line 1: \"object\" expected");
  EXPECT_EQ(TextFailure("object F: TF\n  A = 'open\nend"), "Line 2: unterminated string");
  EXPECT_EQ(TextFailure("object F: TF\n  A 1\nend"), "Line 2: \"=\" expected");
  EXPECT_EQ(TextFailure("object F: TF\n  A = 1\n"), "Line 3: \"end\" expected");
  EXPECT_EQ(TextFailure("object F: TF\nend\nx"), "Line 3: end of text expected");
  EXPECT_EQ(TextFailure("object F: TF\n  A = {0}\nend"), "Line 2: odd number of hexadecimal digits");
  EXPECT_EQ(TextFailure("object F: TF\n  A = 99999999999999999999\nend"),
            "Line 2: integer out of range");
  EXPECT_EQ(TextFailure("object F: TF\n  A = ~X00\nend"),
            "Line 2: floating kind E, S, D or R expected");
  EXPECT_EQ(TextFailure("object F: TF\n  A = #70000\nend"), "Line 2: character code above #65535");
  std::string deep = "object F: TF\n  A = " + std::string(500, '(') + "\nend";
  EXPECT_EQ(TextFailure(deep), "Line 2: values nested too deeply");
  std::string objects;
  for (int i = 0; i < 500; ++i) objects += "object P: TPanel\n";
  EXPECT_EQ(TextFailure(objects), "Line 98: objects nested too deeply");
}

TEST(FormText, NullIsRefusedAsAListItemAtAnyDepth) {
  // The stream ends a list with the null tag: such a list would read back shorter.
  EXPECT_EQ(TextFailure("object y n=(Null) end"), "Line 1: Null cannot be a list item");
  EXPECT_EQ(TextFailure("object F: TF\n  L = (\n    1\n    null)\nend"),
            "Line 4: Null cannot be a list item");
  EXPECT_EQ(TextFailure("object F: TF\n  L = (\n    (\n      'a'\n      Null))\nend"),
            "Line 5: Null cannot be a list item");
  // Null stays a value of its own, and of a collection item's property.
  FormObject ok = ParseFormText(
      "object F: TF\n  P = Null\n  C = <\n    item\n      Q = Null\n"
      "    end>\n  L = (\n    nil)\nend");
  ASSERT_EQ(ok.properties.size(), 3u);
  EXPECT_EQ(ok.properties[0].value.tag, ValueTag::kNull);
  EXPECT_EQ(ReadBinaryStream(WriteBinaryStream(ok)), ok);
}

// The sample dialogs of examples/dialogs (the build's copies).
std::vector<std::filesystem::path> SampleDialogs() {
  std::vector<std::filesystem::path> out;
  std::filesystem::path dir = corvane::testing::HostPath(SAMPLE_DIALOGS_DIR);
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() > 8 && name.substr(name.size() - 8) == ".dfm.txt") out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FormText, SampleDialogsRoundTrip) {
  auto samples = SampleDialogs();
  EXPECT_EQ(samples.size(), 7u);
  for (const auto& path : samples) {
    std::string text = ReadText(path);
    std::string file = WithResourceHeader("T", WriteBinaryStream(ParseFormText(text)));
    std::string stream(SkipResourceHeader(file));
    EXPECT_EQ(FormObjectToText(ReadBinaryStream(stream)), text) << path;
    EXPECT_EQ(NormaliseBinaryStream(stream), stream) << path;
  }
}

// Every property written in a sample is one its class knows and accepts (nothing is skipped),
// and the samples use every control class.
void CheckAccepted(const FormObject& obj, const Component& c, const std::string& where) {
  for (const FormProperty& p : obj.properties)
    EXPECT_NE(c.Value(p.name), nullptr) << where << ": " << obj.name << "." << p.name;
}

TEST(FormText, SampleDialogsUseEveryClassAndOnlyKnownProperties) {
  auto samples = SampleDialogs();
  std::set<std::string> used;
  for (const auto& path : samples) {
    FormObject root = ParseFormText(ReadText(path));
    PoolTemplate form;
    form.ReadRoot(root);
    CheckAccepted(root, form, path.string());
    std::function<void(const FormObject&)> walk = [&](const FormObject& o) {
      for (const FormObject& child : o.children) {
        Component* c = form.FindComponent(child.name);
        ASSERT_NE(c, nullptr) << child.name;
        CheckAccepted(child, *c, path.string());
        used.insert(c->class_name());
        walk(child);
      }
    };
    walk(root);
  }
  for (const std::string& cls : ControlClassNames()) EXPECT_TRUE(used.count(cls)) << cls;
}

}  // namespace
}  // namespace corvane::ui
