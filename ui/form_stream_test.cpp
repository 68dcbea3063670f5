#include "ui/form_stream.h"

#include <gtest/gtest.h>

#include "image/failure.h"
#include "ui/form_text.h"

namespace corvane::ui {
namespace {

// Builds streams byte by byte.
struct Bytes {
  std::string s;
  Bytes& b(int v) { s.push_back(static_cast<char>(v)); return *this; }
  Bytes& u16(int v) { return b(v & 0xFF).b((v >> 8) & 0xFF); }
  Bytes& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& u64(uint64_t v) { return u32(uint32_t(v)).u32(uint32_t(v >> 32)); }
  Bytes& str(std::string_view t) { b(int(t.size())); s.append(t); return *this; }
  Bytes& raw(std::string_view t) { s.append(t); return *this; }
};

std::string Failure(std::string_view stream) {
  try {
    ReadBinaryStream(stream);
  } catch (const image::ScriptFailure& e) {
    return e.what();
  }
  return "no failure";
}

// A root object "Form1: TForm1" holding one property per value tag.
std::string EveryTagStream() {
  Bytes x;
  x.raw("TPF0").str("TForm1").str("Form1");
  x.str("PNull").b(0);
  x.str("PList").b(1).b(2).b(7).b(6).str("a").b(1).b(0).b(0);  // (7 'a' ())
  x.str("PInt8").b(2).b(0x80);
  x.str("PInt16").b(3).u16(0x8000);
  x.str("PInt32").b(4).u32(0x80000000u);
  x.str("PExt").b(5).u64(0xC000000000000000ull).u16(0x3FFF);  // 1.5
  x.str("PStr").b(6).str("it's");
  x.str("PIdent").b(7).str("clBtnFace");
  x.str("PFalse").b(8);
  x.str("PTrue").b(9);
  x.str("PBin").b(10).u32(3).raw(std::string("\x00\xFF\x10", 3));
  x.str("PSet").b(11).str("akLeft").str("akTop").b(0);
  x.str("PLStr").b(12).u32(300).raw(std::string(300, 'x'));
  x.str("PNil").b(13);
  x.str("PColl").b(14).b(1).str("Caption").b(6).str("one").b(0)   // item without order
      .b(2).b(5).b(1).str("Text").b(6).str("two").b(0).b(0);        // item [5]
  x.str("PSingle").b(15).u32(0x3FC00000u);                          // 1.5
  x.str("PCurr").b(16).u64(123456);                                 // 12.3456
  x.str("PDate").b(17).u64(0x40E5F3C000000000ull);
  x.str("PWide").b(18).u32(2).u16(0x20AC).u16('A');
  x.str("PInt64").b(19).u64(0x8000000000000000ull);
  x.str("PUtf8").b(20).u32(3).raw("\xE2\x82\xAC");
  x.str("PDouble").b(21).u64(0x3FB999999999999Aull);  // 0.1
  x.b(0);  // end of properties
  x.b(0);  // no children
  return x.s;
}

TEST(FormStream, ReadsEveryValueTag) {
  FormObject root = ReadBinaryStream(EveryTagStream());
  EXPECT_EQ(root.class_name, "TForm1");
  EXPECT_EQ(root.name, "Form1");
  ASSERT_EQ(root.properties.size(), 22u);
  for (size_t i = 0; i < root.properties.size(); ++i)
    EXPECT_EQ(static_cast<size_t>(root.properties[i].value.tag), i) << root.properties[i].name;
  const auto& p = root.properties;
  ASSERT_EQ(p[1].value.list.size(), 3u);
  EXPECT_EQ(p[1].value.list[0].integer, 7);
  EXPECT_EQ(p[1].value.list[2].tag, ValueTag::kList);
  EXPECT_EQ(p[2].value.integer, -128);
  EXPECT_EQ(p[3].value.integer, -32768);
  EXPECT_EQ(p[4].value.integer, INT32_MIN);
  EXPECT_EQ(p[5].value.exponent, 0x3FFF);
  EXPECT_EQ(p[6].value.text, "it's");
  EXPECT_EQ(p[10].value.text, std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(p[11].value.members, (std::vector<std::string>{"akLeft", "akTop"}));
  EXPECT_EQ(p[12].value.text.size(), 300u);
  ASSERT_EQ(p[14].value.items.size(), 2u);
  EXPECT_EQ(p[14].value.items[0].order_tag, ValueTag::kNull);
  EXPECT_EQ(p[14].value.items[1].order, 5);
  EXPECT_EQ(p[14].value.items[1].properties[0].name, "Text");
  EXPECT_EQ(p[16].value.integer, 123456);
  EXPECT_EQ(p[18].value.wide, u"\u20ACA");
  EXPECT_EQ(p[19].value.integer, INT64_MIN);
  EXPECT_EQ(p[20].value.StringText(), "\x80");  // the euro sign in the 8-bit code page
}

TEST(FormStream, WritesWhatItReads) {
  std::string stream = EveryTagStream();
  EXPECT_EQ(WriteBinaryStream(ReadBinaryStream(stream)), stream);
}

TEST(FormStream, TextFormKeepsEveryTagThatHasOneForm) {
  FormObject root = ReadBinaryStream(EveryTagStream());
  FormObject back = ParseFormText(FormObjectToText(root));
  ASSERT_EQ(back.properties.size(), root.properties.size());
  for (size_t i = 0; i < root.properties.size(); ++i) {
    const FormValue& a = root.properties[i].value;
    const FormValue& b = back.properties[i].value;
    switch (a.tag) {
      case ValueTag::kInt16:
      case ValueTag::kInt32:
      case ValueTag::kInt64:
        EXPECT_EQ(b.integer, a.integer);  // integers take the smallest tag that holds them
        break;
      case ValueTag::kUtf8String:
        EXPECT_EQ(b.tag, ValueTag::kWString);
        EXPECT_EQ(b.wide, u"\u20AC");
        break;
      default:
        EXPECT_EQ(b, a) << root.properties[i].name;
    }
  }
}

TEST(FormStream, NormalisingRoundTripShrinksIntegersAndNarrowsTexts) {
  Bytes x;
  x.raw("TPF0").str("TForm1").str("F");
  x.str("A").b(4).u32(5);                      // 32-bit 5 -> 8-bit
  x.str("B").b(18).u32(2).u16('h').u16('i');   // wide text of Latin characters -> 8-bit
  x.str("C").b(12).u32(2).raw("ok");           // long string of 2 -> short string
  x.b(0).b(0);
  FormObject root = ReadBinaryStream(NormaliseBinaryStream(x.s));
  EXPECT_EQ(root.properties[0].value.tag, ValueTag::kInt8);
  EXPECT_EQ(root.properties[0].value.integer, 5);
  EXPECT_EQ(root.properties[1].value.tag, ValueTag::kString);
  EXPECT_EQ(root.properties[1].value.text, "hi");
  EXPECT_EQ(root.properties[2].value.tag, ValueTag::kString);
}

TEST(FormStream, ObjectPrefixFlagsAndChildren) {
  Bytes x;
  x.raw("TPF0").str("TForm1").str("F").b(0);
  x.b(0xF1).str("TPanel").str("Base").b(0).b(0);               // inherited
  x.b(0xF2).b(2).b(3).str("TLabel").str("L").b(0).b(0);        // child position 3
  x.b(0xF4).str("TPanel").str("Frame").b(0);                   // inline, with a child
  x.str("TButton").str("Inner").b(0).b(0);
  x.b(0);
  x.b(0);
  FormObject root = ReadBinaryStream(x.s);
  ASSERT_EQ(root.children.size(), 3u);
  EXPECT_EQ(root.children[0].flags, object_flags::kInherited);
  EXPECT_EQ(root.children[1].flags, object_flags::kChildPos);
  EXPECT_EQ(root.children[1].child_pos, 3);
  EXPECT_EQ(root.children[2].flags, object_flags::kInline);
  ASSERT_EQ(root.children[2].children.size(), 1u);
  EXPECT_EQ(root.children[2].children[0].name, "Inner");
  EXPECT_EQ(WriteBinaryStream(root), x.s);
  EXPECT_EQ(ParseFormText(FormObjectToText(root)), root);
}

TEST(FormStream, CollectionItemsWithoutListMarkerAreRead) {
  // An item written without the list tag in front of its properties.
  Bytes x;
  x.raw("TPF0").str("TForm1").str("F");
  x.str("Columns").b(14).str("Caption").b(6).str("c1").b(0).b(3).u16(7).str("Width").b(2).b(40).b(0).b(0);
  x.b(0).b(0);
  FormObject root = ReadBinaryStream(x.s);
  const FormValue& v = root.properties[0].value;
  ASSERT_EQ(v.items.size(), 2u);
  EXPECT_EQ(v.items[0].properties[0].value.text, "c1");
  EXPECT_EQ(v.items[1].order_tag, ValueTag::kInt16);
  EXPECT_EQ(v.items[1].order, 7);
  EXPECT_EQ(v.items[1].properties[0].value.integer, 40);
}

TEST(FormStream, ResourceHeader) {
  std::string stream = Bytes().raw("TPF0").str("TForm1").str("F").b(0).b(0).s;
  std::string file = WithResourceHeader("TFORM1", stream);
  EXPECT_EQ(file.substr(0, 3), std::string("\xFF\x0A\x00", 3));
  EXPECT_EQ(SkipResourceHeader(file), stream);

  auto failure = [](std::string f) {
    try {
      SkipResourceHeader(f);
    } catch (const image::ScriptFailure& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  std::string wrong_first = file;
  wrong_first[0] = '\xFE';
  EXPECT_EQ(failure(wrong_first), "Invalid stream format");
  std::string wrong_type = file;
  wrong_type[1] = 11;
  EXPECT_EQ(failure(wrong_type), "Invalid stream format");
  EXPECT_EQ(failure(WithResourceHeader(std::string(75, 'N'), stream).substr(0, 90)), "no failure");
  std::string long_name = std::string("\xFF\x0A\x00", 3) + std::string(76, 'N') + std::string(7, '\0');
  EXPECT_EQ(failure(long_name), "Invalid stream format");
  EXPECT_EQ(failure(""), "Stream read error");
  EXPECT_EQ(failure(file.substr(0, 12)), "Stream read error");
}

TEST(FormStream, DamagedStreamsFailWithAMessage) {
  std::string good = EveryTagStream();
  // Every truncation fails cleanly.
  for (size_t n = 0; n < good.size(); ++n) {
    std::string msg = Failure(good.substr(0, n));
    EXPECT_TRUE(msg == "Stream read error" || msg == "Invalid stream format") << n << ": " << msg;
  }
  EXPECT_EQ(Failure("TPF1" + good.substr(4)), "Invalid stream format");

  Bytes huge;  // a binary length far past the end
  huge.raw("TPF0").str("TForm1").str("F").str("Data").b(10).u32(0xFFFFFFF0u).raw("abc");
  EXPECT_EQ(Failure(huge.s), "Stream read error");
  Bytes wide;  // a wide string whose count needs more bytes than remain
  wide.raw("TPF0").str("TForm1").str("F").str("W").b(18).u32(0x7FFFFFFF).raw("ab");
  EXPECT_EQ(Failure(wide.s), "Stream read error");
  Bytes tag;  // a tag beyond the last one
  tag.raw("TPF0").str("TForm1").str("F").str("X").b(22).b(0).b(0);
  EXPECT_EQ(Failure(tag.s), "Invalid stream format");

  Bytes lists;  // lists nested far deeper than any form
  lists.raw("TPF0").str("TForm1").str("F").str("L");
  for (int i = 0; i < 100000; ++i) lists.b(1);
  EXPECT_EQ(Failure(lists.s), "Invalid stream format");
  Bytes objects;  // objects nested the same way
  objects.raw("TPF0");
  for (int i = 0; i < 100000; ++i) objects.str("TPanel").str("P").b(0);
  EXPECT_EQ(Failure(objects.s), "Invalid stream format");
}

TEST(FormStream, DeepestAcceptedNestingSurvivesTheRoundTrip) {
  // Lists nested as deep as the reader allows: the normalising round trip accepts the stream
  // and keeps it, and its text stays proportional to the stream.
  Bytes x;
  x.raw("TPF0").str("TForm1").str("F").str("L");
  int levels = kMaxFormNesting - 1;  // the property value is at depth 1, its items at 2
  for (int i = 0; i < levels; ++i) x.b(1);
  for (int i = 0; i < 1000; ++i) x.b(13);  // a thousand nils at the deepest level
  for (int i = 0; i < levels; ++i) x.b(0);
  x.b(0).b(0);
  EXPECT_EQ(NormaliseBinaryStream(x.s), x.s);
  Bytes deeper = x;
  deeper.s.insert(deeper.s.begin() + 15, '\x01');
  EXPECT_EQ(Failure(deeper.s), "Invalid stream format");
}

TEST(FormStream, WriterRefusesWhatCannotBeRead) {
  FormObject root;
  root.class_name = "TForm1";
  root.properties.push_back({"", FormValue::Integer(1)});
  EXPECT_THROW(WriteBinaryStream(root), image::ScriptFailure);
  root.properties.clear();
  root.class_name = std::string(240, 'T');  // would read back as a prefix byte
  EXPECT_THROW(WriteBinaryStream(root), image::ScriptFailure);
}

TEST(FormStream, WriterRefusesANullListItemAtAnyDepth) {
  // A null item would be read back as the end of its list.
  auto write = [](FormValue list) {
    FormObject root;
    root.class_name = "TForm1";
    root.properties.push_back({"L", std::move(list)});
    try {
      if (ReadBinaryStream(WriteBinaryStream(root)) != root) return std::string("changed");
    } catch (const image::ScriptFailure& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  FormValue list = FormValue::OfTag(ValueTag::kList);
  list.list.push_back(FormValue::Integer(1));
  list.list.push_back(FormValue::OfTag(ValueTag::kNull));
  EXPECT_EQ(write(list), "Invalid stream format");
  FormValue outer = FormValue::OfTag(ValueTag::kList);
  outer.list.push_back(list);
  EXPECT_EQ(write(outer), "Invalid stream format");
  outer.list[0].list.pop_back();  // without the null the same tree is written and read back
  EXPECT_EQ(write(outer), "no failure");
}

}  // namespace
}  // namespace corvane::ui
