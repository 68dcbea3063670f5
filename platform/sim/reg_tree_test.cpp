#include "platform/sim/reg_tree.h"

#include <gtest/gtest.h>

namespace corvane::platform::sim {
namespace {

const RegValue* Find(RegTree& tree, RegRoot root, const std::string& key, const std::string& name) {
  RegKeyNode* node = tree.Walk(root, SplitKeyPath(key), false);
  return node ? node->Value(name) : nullptr;
}

TEST(RegText, EveryTypeAndOddStringsSurviveARoundTrip) {
  RegTree tree;
  RegKeyNode* k = tree.Walk(RegRoot::kLocalMachine, {"SOFTWARE", "Vendor \xC9t\xE9", "App"}, true);
  const std::vector<std::pair<std::string, RegValue>> values = {
      {"", RegValue::String("default")},
      {"Quote\"And\\Back", RegValue::String("C:\\Path \"quoted\" \\\\server")},
      {"Lines", RegValue::String("one\r\ntwo\nthree")},
      {"Nul", RegValue::String(std::string("a\0b", 3))},
      {"Empty", RegValue::String("")},
      {"Accents", RegValue::String("Caf\xE9 \x80 \x9C")},
      {"Expand", RegValue::ExpandString("%SystemRoot%\\system32")},
      {"Multi", {RegType::kMultiString, std::string("one\0two\0\0four", 13)}},
      {"MultiEmpty", {RegType::kMultiString, ""}},
      {"Dword", RegValue::Dword(0xDEADBEEF)},
      {"Qword", RegValue::Qword(0x0123456789ABCDEFull)},
      {"Binary", RegValue::Binary(std::string("\x00\x01\xFF\x7F", 4))},
      {"LongBinary", RegValue::Binary(std::string(300, '\xAB'))},
      {"None", {RegType::kNone, std::string("\x01\x02", 2)}},
      {"BigEndian", {RegType::kDwordBigEndian, std::string("\x00\x00\x01\x02", 4)}},
      {"ShortDword", {RegType::kDword, std::string("\x05\x00", 2)}},
      {"Link", {RegType::kLink, std::string("L\0i\0", 4)}},
  };
  for (const auto& [name, value] : values) k->SetValue(name, value);
  tree.Walk(RegRoot::kCurrentUser, {"Software", "Empty Key"}, true);
  tree.Walk(RegRoot::kUsers, {".DEFAULT", "Software"}, true);

  std::string text = WriteRegText(tree);
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
  EXPECT_NE(text.find("\"Dword\"=dword:deadbeef"), std::string::npos);
  for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
       start = end + 2) {
    EXPECT_LE(end - start, 80u) << "lines are wrapped";
  }

  RegTree back;
  std::string error;
  ASSERT_TRUE(ReadRegText(text, &back, &error)) << error;
  for (const auto& [name, value] : values) {
    const RegValue* v = Find(back, RegRoot::kLocalMachine, "SOFTWARE\\Vendor \xC9t\xE9\\App", name);
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(static_cast<int>(v->type), static_cast<int>(value.type)) << name;
    EXPECT_EQ(v->data, value.data) << name;
  }
  // Value order is creation order, and the text round trip keeps it.
  RegKeyNode* node = back.Walk(RegRoot::kLocalMachine, {"SOFTWARE", "VENDOR \xC9T\xC9", "app"}, false);
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->values.size(), values.size());
  EXPECT_EQ(node->values[1].first, "Quote\"And\\Back");
  EXPECT_NE(back.Walk(RegRoot::kCurrentUser, {"Software", "Empty Key"}, false), nullptr);
  EXPECT_NE(back.Walk(RegRoot::kUsers, {".DEFAULT", "Software"}, false), nullptr);
  EXPECT_EQ(WriteRegText(back), text);
}

TEST(RegText, ReadsEditorExportsWithContinuationsDeletionsAndClassesRoot) {
  const std::string text =
      "Windows Registry Editor Version 5.00\n"
      "\n"
      "; a comment\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n"
      "\"Path\"=hex(2):25,00,50,00,41,00,\\\n"
      "  54,00,48,00,25,00,00,00\n"
      "\"Gone\"=\"x\"\n"
      "\"Gone\"=-\n"
      "@=dword:0000000A\n"
      "\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Old]\n"
      "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Old]\n"
      "[HKEY_CLASSES_ROOT\\.xyz]\n"
      "@=\"xyzfile\"\n";
  RegTree tree;
  std::string error;
  ASSERT_TRUE(ReadRegText(text, &tree, &error)) << error;
  const RegValue* path = Find(tree, RegRoot::kLocalMachine, "SOFTWARE\\A", "path");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(path->type, RegType::kExpandString);
  EXPECT_EQ(path->data, "%PATH%");
  EXPECT_EQ(Find(tree, RegRoot::kLocalMachine, "SOFTWARE\\A", "Gone"), nullptr);
  ASSERT_NE(Find(tree, RegRoot::kLocalMachine, "SOFTWARE\\A", ""), nullptr);
  EXPECT_EQ(Find(tree, RegRoot::kLocalMachine, "SOFTWARE\\A", "")->AsNumber(), 10u);
  EXPECT_EQ(tree.Walk(RegRoot::kLocalMachine, {"SOFTWARE", "A", "Old"}, false), nullptr);
  const RegValue* cls = Find(tree, RegRoot::kLocalMachine, "SOFTWARE\\Classes\\.xyz", "");
  ASSERT_NE(cls, nullptr);
  EXPECT_EQ(cls->data, "xyzfile");
}

TEST(RegText, ReadsUtf16AndAnsiFiles) {
  std::string utf8 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n"
                     "\"N\"=\"Caf\xC3\xA9\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (unsigned char c : std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\K]\r\n"
                                     "\"N\"=\"Caf")) {
    utf16.push_back(static_cast<char>(c));
    utf16.push_back('\0');
  }
  utf16 += std::string("\xE9\0\"\0\r\0\n\0", 8);
  std::string ansi = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\K]\r\n\"N\"=\"Caf\xE9\"\r\n"
                     "\"E\"=hex(2):41,42,00\r\n";
  for (const std::string& text : {utf8, utf16, ansi}) {
    RegTree tree;
    std::string error;
    ASSERT_TRUE(ReadRegText(text, &tree, &error)) << error;
    const RegValue* v = Find(tree, RegRoot::kCurrentUser, "K", "N");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data, "Caf\xE9");
  }
  RegTree tree;
  ASSERT_TRUE(ReadRegText(ansi, &tree, nullptr));
  EXPECT_EQ(Find(tree, RegRoot::kCurrentUser, "K", "E")->data, "AB");  // ANSI bytes in REGEDIT4
}

TEST(RegText, RejectsMalformedTextNamingTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "empty"},
      {"not a registry file\n", "line 1"},
      {"Windows Registry Editor Version 5.00\n\"v\"=\"x\"\n", "line 2"},
      {"Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\X]\n", "line 2"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=dword:123456789\n", "line 3"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=hex:1g\n", "line 3"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=hex:01,\\\n", "line 3"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v=\"x\"\n", "line 3"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=\"open\n", "line 3"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\X]\n\"v\"=what\n", "line 3"},
  };
  for (const auto& [text, where] : cases) {
    RegTree tree;
    std::string error;
    EXPECT_FALSE(ReadRegText(text, &tree, &error)) << text;
    EXPECT_NE(error.find(where), std::string::npos) << text << " -> " << error;
  }
}

TEST(RegTree, KeysAreCaseInsensitiveAndEnumerateInUpperCaseOrder) {
  RegTree tree;
  tree.Walk(RegRoot::kCurrentUser, {"beta"}, true);
  tree.Walk(RegRoot::kCurrentUser, {"Alpha"}, true);
  tree.Walk(RegRoot::kCurrentUser, {"_under"}, true);
  EXPECT_EQ(tree.Walk(RegRoot::kCurrentUser, {"BETA"}, false)->name, "beta");
  std::vector<std::string> order;
  for (const auto& [k, child] : tree.current_user.children) order.push_back(child->name);
  EXPECT_EQ(order, (std::vector<std::string>{"Alpha", "beta", "_under"}));
  EXPECT_TRUE(tree.Remove(RegRoot::kCurrentUser, {"ALPHA"}));
  EXPECT_FALSE(tree.Remove(RegRoot::kCurrentUser, {"ALPHA"}));
  EXPECT_EQ(SplitKeyPath("\\a\\\\b\\"), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace corvane::platform::sim
