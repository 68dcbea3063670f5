#include <algorithm>

#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using RegistryContract = ContractTest;

TEST_F(RegistryContract, EveryValueTypeRoundTrips) {
  const std::vector<std::pair<std::string, RegValue>> values = {
      {"Text", RegValue::String("C:\\Program Files\\App \"x\"")},
      {"Accented", RegValue::String("Caf\xE9 \xC0 la cr\xE8me")},
      {"Empty", RegValue::String("")},
      {"Expand", RegValue::ExpandString("%SystemRoot%\\system32")},
      {"Multi", {RegType::kMultiString, std::string("first\0second\0third", 18)}},
      {"Dword", RegValue::Dword(0x80000001u)},
      {"Qword", RegValue::Qword(0xFEDCBA9876543210ull)},
      {"Binary", RegValue::Binary(std::string("\x00\x01\x02\xFF", 4))},
      {"NoBytes", RegValue::Binary("")},
  };
  for (const auto& [name, value] : values) {
    ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, name, RegView::kNative, value),
              Status::kOk)
        << name;
  }
  for (const auto& [name, value] : values) {
    RegValue back;
    ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, name, RegView::kNative, &back),
              Status::kOk)
        << name;
    EXPECT_EQ(back.type, value.type) << name;
    EXPECT_EQ(back.data, value.data) << name;
  }
  RegValue v;
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "dword", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.AsNumber(), 0x80000001u);
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "QWORD", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.AsNumber(), 0xFEDCBA9876543210ull);
  // Terminating nulls written with a text are not part of it.
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, "Nulls", RegView::kNative,
                             RegValue::String(std::string("abc\0\0", 5))),
            Status::kOk);
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "Nulls", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "abc");
  // Writing again replaces the value and its type.
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, "Dword", RegView::kNative,
                             RegValue::String("now text")),
            Status::kOk);
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "Dword", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.type, RegType::kString);
  EXPECT_EQ(v.data, "now text");
}

TEST_F(RegistryContract, DefaultValue) {
  RegValue v;
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_, RegView::kNative), Status::kOk);
  EXPECT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "", RegView::kNative, &v),
            Status::kNotFound);  // a new key has no default value
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, "", RegView::kNative,
                             RegValue::String("the default")),
            Status::kOk);
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "", RegView::kNative, &v), Status::kOk);
  EXPECT_EQ(v.data, "the default");
  std::vector<std::string> names;
  ASSERT_EQ(Reg().EnumValues(RegRoot::kCurrentUser, key_, RegView::kNative, &names), Status::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{""}));
  ASSERT_EQ(Reg().DeleteValue(RegRoot::kCurrentUser, key_, "", RegView::kNative), Status::kOk);
  EXPECT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "", RegView::kNative, &v),
            Status::kNotFound);
}

TEST_F(RegistryContract, EnumerationAndLetterCase) {
  for (const char* sub : {"Charlie", "alpha", "Bravo"}) {
    ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_ + "\\" + sub, RegView::kNative),
              Status::kOk);
  }
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_ + "\\ALPHA", RegView::kNative),
            Status::kOk);  // the same key
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_ + "\\Bravo\\Deep\\Deeper",
                            RegView::kNative),
            Status::kOk);
  std::vector<std::string> names;
  ASSERT_EQ(Reg().EnumKeys(RegRoot::kCurrentUser, key_, RegView::kNative, &names), Status::kOk);
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Bravo", "Charlie"}));
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, key_ + "\\bravo\\DEEP", RegView::kNative),
            Status::kOk);

  for (const char* value : {"zeta", "Eta", "theta"}) {
    ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, value, RegView::kNative,
                               RegValue::Dword(1)),
              Status::kOk);
  }
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, "ZETA", RegView::kNative,
                             RegValue::Dword(2)),
            Status::kOk);
  ASSERT_EQ(Reg().EnumValues(RegRoot::kCurrentUser, key_, RegView::kNative, &names), Status::kOk);
  ASSERT_EQ(names.size(), 3u);
  RegValue v;
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "Zeta", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.AsNumber(), 2u);
}

TEST_F(RegistryContract, DeleteTree) {
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_ + "\\A\\B", "v", RegView::kNative,
                             RegValue::String("x")),
            Status::kOk);
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_ + "\\A", "w", RegView::kNative,
                             RegValue::String("y")),
            Status::kOk);
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_ + "\\Keep", RegView::kNative),
            Status::kOk);
  ASSERT_EQ(Reg().DeleteKeyTree(RegRoot::kCurrentUser, key_ + "\\a", RegView::kNative),
            Status::kOk);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, key_ + "\\A", RegView::kNative),
            Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, key_ + "\\A\\B", RegView::kNative),
            Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, key_ + "\\Keep", RegView::kNative),
            Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(RegRoot::kCurrentUser, key_ + "\\A", RegView::kNative),
            Status::kNotFound);
}

TEST_F(RegistryContract, MissingKeysAndValuesAreNotFound) {
  RegValue v;
  std::vector<std::string> names;
  std::string missing = key_ + "\\Missing";
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, missing, RegView::kNative), Status::kNotFound);
  EXPECT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, missing, "v", RegView::kNative, &v),
            Status::kNotFound);
  EXPECT_EQ(Reg().EnumKeys(RegRoot::kCurrentUser, missing, RegView::kNative, &names),
            Status::kNotFound);
  EXPECT_EQ(Reg().EnumValues(RegRoot::kCurrentUser, missing, RegView::kNative, &names),
            Status::kNotFound);
  EXPECT_EQ(Reg().DeleteValue(RegRoot::kCurrentUser, missing, "v", RegView::kNative),
            Status::kNotFound);
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_, RegView::kNative), Status::kOk);
  EXPECT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "none", RegView::kNative, &v),
            Status::kNotFound);
  EXPECT_EQ(Reg().DeleteValue(RegRoot::kCurrentUser, key_, "none", RegView::kNative),
            Status::kNotFound);
  EXPECT_EQ(P().system().LastError(), 2u);  // ERROR_FILE_NOT_FOUND
}

TEST_F(RegistryContract, SoftwareViewsAreSeparateOn64BitWindows) {
  if (!Sys().Is64BitSystem()) GTEST_SKIP() << "one registry view on 32-bit Windows";
  const RegRoot lm = RegRoot::kLocalMachine;
  ASSERT_EQ(Reg().WriteValue(lm, key_, "Only64", RegView::kView64, RegValue::String("64")),
            Status::kOk);
  RegValue v;
  EXPECT_EQ(Reg().ReadValue(lm, key_, "Only64", RegView::kView32, &v), Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(lm, key_, RegView::kView32), Status::kNotFound);

  ASSERT_EQ(Reg().WriteValue(lm, key_, "Only32", RegView::kView32, RegValue::String("32")),
            Status::kOk);
  EXPECT_EQ(Reg().ReadValue(lm, key_, "Only32", RegView::kView64, &v), Status::kNotFound);
  ASSERT_EQ(Reg().ReadValue(lm, key_, "Only64", RegView::kView64, &v), Status::kOk);
  EXPECT_EQ(v.data, "64");
  ASSERT_EQ(Reg().ReadValue(lm, key_, "Only32", RegView::kView32, &v), Status::kOk);
  EXPECT_EQ(v.data, "32");
  // The 64-bit view sees the 32-bit keys below Wow6432Node.
  std::string wow = "Software\\Wow6432Node\\" + key_.substr(std::string("Software\\").size());
  ASSERT_EQ(Reg().ReadValue(lm, wow, "Only32", RegView::kView64, &v), Status::kOk);
  EXPECT_EQ(v.data, "32");
  // A process's own view is the view of its bitness.
  RegView own = Sys().Is64BitProcess() ? RegView::kView64 : RegView::kView32;
  std::string own_name = Sys().Is64BitProcess() ? "Only64" : "Only32";
  EXPECT_EQ(Reg().ReadValue(lm, key_, own_name, RegView::kNative, &v), Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(lm, key_, own), Status::kOk);

  // HKCU\Software is one key in both views.
  ASSERT_EQ(Reg().WriteValue(RegRoot::kCurrentUser, key_, "Shared", RegView::kView64,
                             RegValue::Dword(7)),
            Status::kOk);
  ASSERT_EQ(Reg().ReadValue(RegRoot::kCurrentUser, key_, "Shared", RegView::kView32, &v),
            Status::kOk);
  EXPECT_EQ(v.AsNumber(), 7u);
}

TEST_F(RegistryContract, ClassesRootAndSharedKeys) {
  // HKEY_CLASSES_ROOT writes land in HKLM\\Software\\Classes.
  const std::string ext = ".corvanecontract" + key_.substr(key_.rfind('\\') + 1);
  ASSERT_EQ(Reg().WriteValue(RegRoot::kClassesRoot, ext, "", RegView::kNative,
                             RegValue::String("corvanefile")),
            Status::kOk);
  RegValue v;
  EXPECT_EQ(Reg().ReadValue(RegRoot::kLocalMachine, "Software\\Classes\\" + ext, "",
                            RegView::kView64, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "corvanefile");
  EXPECT_EQ(Reg().DeleteKeyTree(RegRoot::kClassesRoot, ext, RegView::kNative), Status::kOk);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kLocalMachine, "Software\\Classes\\" + ext,
                            RegView::kView64),
            Status::kNotFound);

  if (Sys().Is64BitSystem()) {
    // Policies are one key for both views; Wow6432Node shows in the 64-bit view only.
    const std::string policy = "Software\\Policies\\" + key_.substr(key_.rfind('\\') + 1);
    ASSERT_EQ(Reg().WriteValue(RegRoot::kLocalMachine, policy, "v", RegView::kView64,
                               RegValue::Dword(5)),
              Status::kOk);
    EXPECT_EQ(Reg().ReadValue(RegRoot::kLocalMachine, policy, "v", RegView::kView32, &v),
              Status::kOk);
    EXPECT_EQ(Reg().DeleteKeyTree(RegRoot::kLocalMachine, policy, RegView::kView32), Status::kOk);
    std::vector<std::string> names;
    ASSERT_EQ(Reg().EnumKeys(RegRoot::kLocalMachine, "Software", RegView::kView64, &names),
              Status::kOk);
    EXPECT_NE(std::find(names.begin(), names.end(), "Wow6432Node"), names.end());
    ASSERT_EQ(Reg().EnumKeys(RegRoot::kLocalMachine, "Software", RegView::kView32, &names),
              Status::kOk);
    EXPECT_EQ(std::find(names.begin(), names.end(), "Wow6432Node"), names.end());
  }
  // A root cannot be deleted; empty components of a path are ignored.
  EXPECT_EQ(Reg().DeleteKeyTree(RegRoot::kCurrentUser, "", RegView::kNative),
            Status::kAccessDenied);
  ASSERT_EQ(Reg().CreateKey(RegRoot::kCurrentUser, key_ + "\\\\x", RegView::kNative),
            Status::kOk);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kCurrentUser, key_ + "\\x", RegView::kNative), Status::kOk);
}

// How the system reads the backslashes of a key path: doubled and trailing ones count as one, a
// leading one is a bad path name for every call (only an open below HKEY_CLASSES_ROOT skips it),
// so nothing is read, created or deleted through it.
TEST_F(RegistryContract, BackslashesInKeyPaths) {
  const RegRoot cu = RegRoot::kCurrentUser;
  const RegView v = RegView::kNative;
  ASSERT_EQ(Reg().WriteValue(cu, key_ + "\\A\\B", "V", v, RegValue::String("b")), Status::kOk);
  ASSERT_EQ(Reg().CreateKey(cu, key_ + "\\A\\C", v), Status::kOk);
  RegValue value;
  for (const std::string& same : {key_ + "\\A\\B\\", key_ + "\\\\A\\B", key_ + "\\A\\\\\\B\\\\"}) {
    EXPECT_EQ(Reg().KeyExists(cu, same, v), Status::kOk) << same;
    EXPECT_EQ(Reg().ReadValue(cu, same, "V", v, &value), Status::kOk) << same;
  }

  const std::string leading = "\\" + key_ + "\\A";
  EXPECT_EQ(Reg().KeyExists(cu, leading, v), Status::kInvalidName);
  EXPECT_EQ(Reg().ReadValue(cu, leading + "\\B", "V", v, &value), Status::kInvalidName);
  std::vector<std::string> names;
  EXPECT_EQ(Reg().EnumKeys(cu, leading, v, &names), Status::kInvalidName);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(Reg().EnumValues(cu, leading + "\\B", v, &names), Status::kInvalidName);
  EXPECT_EQ(Reg().CreateKey(cu, leading + "\\New", v), Status::kInvalidName);
  EXPECT_EQ(Reg().WriteValue(cu, leading + "\\New", "V", v, RegValue::String("x")),
            Status::kInvalidName);
  EXPECT_EQ(Reg().DeleteValue(cu, leading + "\\B", "V", v), Status::kInvalidName);
  EXPECT_EQ(Reg().DeleteKeyTree(cu, leading, v), Status::kInvalidName);
  EXPECT_EQ(Reg().DeleteKeyTree(cu, "\\", v), Status::kInvalidName);
  EXPECT_EQ(Reg().KeyExists(cu, "\\\\Software", v), Status::kInvalidName);
  ASSERT_EQ(Reg().ReadValue(cu, key_ + "\\A\\B", "V", v, &value), Status::kOk);
  EXPECT_EQ(Reg().KeyExists(cu, key_ + "\\A\\New", v), Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(RegRoot::kLocalMachine, "\\Software", v), Status::kInvalidName);
  const RegRoot cr = RegRoot::kClassesRoot;
  const std::string cls = "CorvaneContractClass";
  EXPECT_EQ(Reg().CreateKey(cr, "\\" + cls, v), Status::kInvalidName);
  EXPECT_EQ(Reg().KeyExists(cr, cls, v), Status::kNotFound);
  ASSERT_EQ(Reg().CreateKey(cr, cls + "\\Sub", v), Status::kOk);
  EXPECT_EQ(Reg().KeyExists(cr, "\\" + cls + "\\Sub", v), Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(cr, "\\" + cls, v), Status::kInvalidName);
  EXPECT_EQ(Reg().KeyExists(cr, cls + "\\Sub", v), Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(cr, cls, v), Status::kOk);

  // A key tree given with a trailing backslash goes whole, and only it.
  ASSERT_EQ(Reg().WriteValue(cu, key_ + "\\A\\C\\D", "V", v, RegValue::String("d")),
            Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(cu, key_ + "\\A\\C\\", v), Status::kOk);
  EXPECT_EQ(Reg().KeyExists(cu, key_ + "\\A\\C", v), Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(cu, key_ + "\\A\\B", v), Status::kOk);
  EXPECT_EQ(Reg().DeleteKeyTree(cu, key_ + "\\\\A\\B", v), Status::kOk);
  EXPECT_EQ(Reg().KeyExists(cu, key_ + "\\A\\B", v), Status::kNotFound);
  EXPECT_EQ(Reg().KeyExists(cu, key_ + "\\A", v), Status::kOk);
}

}  // namespace
}  // namespace corvane::contract
