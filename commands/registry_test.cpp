// Registry commands as scripts: natively on the simulated registry, under Wine on the real one.
#include <gtest/gtest.h>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"

namespace corvane::commands {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;
using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

class RegistryCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    script_.predefined = {{"KEY", machine_.reg_key()}};
  }
  void Put(const std::string& sub, const std::string& name, const RegValue& v,
           RegView view = RegView::kView32) {
    std::string key = machine_.reg_key() + (sub.empty() ? "" : "\\" + sub);
    ASSERT_EQ(reg().WriteValue(RegRoot::kCurrentUser, key, name, view, v), Status::kOk);
  }
  platform::Registry& reg() { return machine_.platform().registry(); }
  CommandRun Run(const std::string& text) {
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    return run;
  }

  TestMachine machine_;
  CommandScript script_{machine_.platform()};
};

TEST_F(RegistryCommands, ValueTypesAsText) {
  Put("", "Text", RegValue::String("hello"));
  Put("", "Expand", RegValue::ExpandString("%SystemRoot%\\x"));
  Put("", "Minus", RegValue::Dword(0xFFFFFFFF));
  Put("", "Num", RegValue::Dword(1234));
  Put("", "Bin", RegValue::Binary(std::string("\x01\xAB", 2)));
  Put("", "EmptyBin", RegValue::Binary(""));
  Put("", "Multi", RegValue{platform::RegType::kMultiString, std::string("one\0two", 7)});
  Put("", "Big", RegValue::Qword(5));
  Put("", "Code", RegValue::String("NO$KEY"));
  CommandRun run = Run(R"(
Check Registry "TEXT" "1" "$KEY$" "Text"
Check Registry "EXPAND" "1" "$KEY$" "Expand"
Check Registry "MINUS" "1" "$KEY$" "Minus"
Check Registry "NUM" "1" "$KEY$" "Num"
Check Registry "BIN" "1" "$KEY$" "Bin"
Check Registry "EMPTYBIN" "1" "$KEY$" "EmptyBin"
Check Registry "MULTI" "1" "$KEY$" "Multi"
Check Registry "BIG" "1" "$KEY$" "Big"
Read Registry "BIGREAD" "1" "$KEY$" "Big"
Check Registry "CODE" "1" "$KEY$" "Code"
Read Registry "CODEREAD" "1" "$KEY$" "Code"
Read Registry "TEXTREAD" "1" "$KEY$" "text"
)");
  EXPECT_EQ(run.Var("TEXT"), "hello");
  EXPECT_EQ(run.Var("EXPAND"), "%SystemRoot%\\x");
  EXPECT_EQ(run.Var("MINUS"), "-1");
  EXPECT_EQ(run.Var("NUM"), "1234");
  EXPECT_EQ(run.Var("BIN"), "01AB");
  EXPECT_EQ(run.Var("EMPTYBIN"), "");
  EXPECT_EQ(run.Var("MULTI"), "one$NEWLINE$two");
  EXPECT_EQ(run.Var("BIG"), "UNKNOWN$TYPE");
  EXPECT_EQ(run.Var("BIGREAD"), "");
  EXPECT_EQ(run.Var("CODE"), "NO$KEY");
  EXPECT_EQ(run.Var("CODEREAD"), "");
  EXPECT_EQ(run.Var("TEXTREAD"), "hello");
}

TEST_F(RegistryCommands, MissingKeyAndValue) {
  Put("", "Text", RegValue::String("x"));
  CommandRun run = Run(R"(
Check Registry "NOKEY" "1" "$KEY$\Missing" "Text"
Check Registry "NOVALUE" "1" "$KEY$" "Other"
Read Registry "RNOKEY" "1" "$KEY$\Missing" "Text"
Read Registry "RNOVALUE" "1" "$KEY$" "Other"
Check Registry "ODDROOT" "9" "$KEY$" "Text"
)");
  EXPECT_EQ(run.Var("NOKEY"), "NO$KEY");
  EXPECT_EQ(run.Var("NOVALUE"), "NO$VALUE");
  EXPECT_TRUE(run.Has("RNOKEY"));
  EXPECT_EQ(run.Var("RNOKEY"), "");
  EXPECT_EQ(run.Var("RNOVALUE"), "");
  EXPECT_EQ(run.Var("ODDROOT"), "x");  // roots outside 0-4 are HKEY_CURRENT_USER
}

TEST_F(RegistryCommands, RootThatIsNotANumberFailsTheRun) {
  CommandRun run = Run("Check Registry \"R\" \"HKCU\" \"$KEY$\" \"x\"\nSet Variable \"AFTER\" \"1\"\n");
  EXPECT_TRUE(run.Failed());
  EXPECT_FALSE(run.Has("AFTER"));
}

TEST_F(RegistryCommands, DeleteValueAndTreeIn32BitMode) {
  Put("", "Keep", RegValue::String("k"));
  Put("", "Gone", RegValue::String("g"));
  Put("Tree\\Sub\\Deeper", "V", RegValue::String("1"));
  Put("Tree", "V", RegValue::String("1"));
  CommandRun run = Run(R"(
Delete Registry "1" "$KEY$" "Gone" "FALSE"
Delete Registry "1" "$KEY$" "NeverThere" "FALSE"
Delete Registry "1" "$KEY$\NoSuchKey" "V" "FALSE"
Delete Registry "1" "$KEY$\Tree" "" "TRUE"
Delete Registry "1" "" "" "TRUE"
Check Registry "KEEP" "1" "$KEY$" "Keep"
Check Registry "GONE" "1" "$KEY$" "Gone"
Check Registry "TREE" "1" "$KEY$\Tree" "V"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("KEEP"), "k");
  EXPECT_EQ(run.Var("GONE"), "NO$VALUE");
  EXPECT_EQ(run.Var("TREE"), "NO$KEY");
}

// A key path that an empty variable has cut short, empty names in a path and the keys the system
// shares are never deleted; the script goes on and the trace says why.
TEST_F(RegistryCommands, DeleteRegistryRefusesKeysThatAreNotTheScripts) {
  Put("Vendor", "Name", RegValue::String("vendor"));
  Put("Vendor\\Product", "", RegValue::String("default"));
  Put("Vendor\\Product", "Name", RegValue::String("product"));
  Put("Vendor\\Other\\Deep", "V", RegValue::String("other"));
  for (const char* shared : {"Uninstall", "Run", "RunOnce", "Software", "CurrentVersion"}) {
    Put(std::string("Shared\\") + shared + "\\Product", "V", RegValue::String("s"));
  }
  script_.predefined.push_back({"PRODUCT", ""});
  script_.predefined.push_back({"NOTHING", "$PRODUCT$"});
  script_.predefined.push_back({"REAL", "Other"});
  CommandRun run = Run(R"(
Delete Registry "1" "$KEY$\Vendor\$PRODUCT$" "" "TRUE"
Delete Registry "1" "$KEY$\$PRODUCT$\Vendor" "" "TRUE"
Delete Registry "1" "$KEY$\Vendor\$NOTHING$" "" "TRUE"
Delete Registry "1" "$KEY$\Vendor\$PRODUCT$" "Name" "FALSE"
Delete Registry "1" "$KEY$\Vendor\Product" "$PRODUCT$" "FALSE"
Delete Registry "1" "$KEY$\Vendor\" "" "TRUE"
Delete Registry "1" "\$KEY$\Vendor" "" "TRUE"
Delete Registry "1" "$KEY$\Shared\Uninstall" "" "TRUE"
Delete Registry "1" "$KEY$\Shared\run" "" "TRUE"
Delete Registry "1" "$KEY$\Shared\RunOnce" "" "TRUE"
Delete Registry "1" "$KEY$\Shared\Software" "" "TRUE"
Delete Registry "1" "$KEY$\Shared\CurrentVersion" "" "TRUE"
Check Registry "VENDOR" "1" "$KEY$\Vendor" "Name"
Check Registry "DEFAULT" "1" "$KEY$\Vendor\Product" ""
Check Registry "PRODUCT" "1" "$KEY$\Vendor\Product" "Name"
Delete Registry "1" "$KEY$\Vendor\Product" "" "FALSE"
Check Registry "DEFAULTGONE" "1" "$KEY$\Vendor\Product" ""
Delete Registry "1" "$KEY$\Vendor\$REAL$" "" "TRUE"
Check Registry "OTHER" "1" "$KEY$\Vendor\Other\Deep" "V"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("VENDOR"), "vendor");
  EXPECT_EQ(run.Var("DEFAULT"), "default");
  EXPECT_EQ(run.Var("PRODUCT"), "product");
  // A value name written empty is the default value, as always.
  EXPECT_EQ(run.Var("DEFAULTGONE"), "NO$VALUE");
  // A reference that is not empty still names the key to delete.
  EXPECT_EQ(run.Var("OTHER"), "NO$KEY");
  for (const char* shared : {"Uninstall", "Run", "RunOnce", "Software", "CurrentVersion"}) {
    EXPECT_EQ(reg().KeyExists(RegRoot::kCurrentUser,
                              machine_.reg_key() + "\\Shared\\" + shared + "\\Product",
                              RegView::kView32),
              Status::kOk)
        << shared;
  }
  size_t refused = 0;
  for (const std::string& entry : run.trace) {
    if (entry.rfind("Delete Registry refused", 0) == 0) ++refused;
  }
  EXPECT_EQ(refused, 12u);
}

// Keys right below a root are whole hives or the system's own branches. (On the simulated
// registry only: under Wine a fault here would wipe the test prefix's user hive.)
TEST_F(RegistryCommands, DeleteRegistryRefusesTheTopOfAHive) {
  if (!machine_.simulated()) GTEST_SKIP() << "would reach the real hive";
  Put("", "Mine", RegValue::String("m"));
  ASSERT_EQ(reg().CreateKey(RegRoot::kLocalMachine,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{A}",
                            RegView::kView32),
            Status::kOk);
  script_.predefined.push_back({"OLDCODE", ""});
  script_.predefined.push_back({"X", ""});
  CommandRun run = Run(R"(
Delete Registry "1" "Software" "" "TRUE"
Delete Registry "1" "Software\$X$" "" "TRUE"
Delete Registry "2" "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\$OLDCODE$" "" "TRUE"
Delete Registry "2" "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall" "" "TRUE"
Delete Registry "3" ".DEFAULT" "" "TRUE"
Delete Registry "1" "\\" "" "TRUE"
Check Registry "MINE" "1" "$KEY$" "Mine"
)");
  EXPECT_EQ(run.Var("MINE"), "m");
  EXPECT_EQ(reg().KeyExists(RegRoot::kLocalMachine,
                            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{A}",
                            RegView::kView32),
            Status::kOk);
  size_t refused = 0;
  for (const std::string& entry : run.trace) {
    if (entry.rfind("Delete Registry refused", 0) == 0) ++refused;
  }
  EXPECT_EQ(refused, 6u);
}

TEST_F(RegistryCommands, DeleteKeyIn64BitModeTakesOnlyALeafKey) {
  if (!machine_.platform().system().Is64BitSystem()) GTEST_SKIP() << "32-bit Windows";
  Put("Tree\\Sub", "V", RegValue::String("1"), RegView::kView64);
  Put("Leaf", "V", RegValue::String("1"), RegView::kView64);
  CommandRun run = Run(R"(
Set 64 Bit Mode "FALSE" "FALSE" "TRUE"
Delete Registry "1" "$KEY$\Tree" "" "TRUE"
Delete Registry "1" "$KEY$\Leaf" "" "TRUE"
Check Registry "TREE" "1" "$KEY$\Tree\Sub" "V"
Check Registry "LEAF" "1" "$KEY$\Leaf" "V"
)");
  EXPECT_EQ(run.Var("TREE"), "1");
  EXPECT_EQ(run.Var("LEAF"), "NO$KEY");
}

TEST_F(RegistryCommands, ViewFollowsThePlatformText) {
  if (!machine_.platform().system().Is64BitSystem()) GTEST_SKIP() << "32-bit Windows";
  // HKLM\SOFTWARE has separate 32-bit and 64-bit views on 64-bit Windows.
  std::string key = "SOFTWARE\\CorvaneViewTest";
  reg().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView64);
  reg().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView32);
  ASSERT_EQ(reg().WriteValue(RegRoot::kLocalMachine, key, "Side", RegView::kView64,
                             RegValue::String("64")), Status::kOk);
  ASSERT_EQ(reg().WriteValue(RegRoot::kLocalMachine, key, "Side", RegView::kView32,
                             RegValue::String("32")), Status::kOk);
  script_.predefined.push_back({"HKLMKEY", key});
  CommandRun run = Run(R"(
Check Registry "START" "2" "$HKLMKEY$" "Side"
Set 64 Bit Mode "FALSE" "FALSE" "TRUE"
Check Registry "X64" "2" "$HKLMKEY$" "Side"
Set 64 Bit Mode "FALSE" "FALSE" "FALSE"
Check Registry "UNCHANGED" "2" "$HKLMKEY$" "Side"
Set 64 Bit Mode "FALSE" "TRUE" "FALSE"
Check Registry "IA64" "2" "$HKLMKEY$" "Side"
Set 64 Bit Mode "TRUE" "TRUE" "FALSE"
Check Registry "LATER" "2" "$HKLMKEY$" "Side"
Set 64 Bit Mode "TRUE" "FALSE" "FALSE"
Check Registry "BACK" "2" "$HKLMKEY$" "Side"
)");
  reg().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView64);
  reg().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView32);
  EXPECT_EQ(run.Var("START"), "32");
  EXPECT_EQ(run.Var("X64"), "64");
  EXPECT_EQ(run.Var("UNCHANGED"), "64");
  EXPECT_EQ(run.Var("IA64"), "64");
  EXPECT_EQ(run.Var("LATER"), "64");  // the later boolean wins
  EXPECT_EQ(run.Var("BACK"), "32");
}

TEST_F(RegistryCommands, WriteRegistryRecordsOnlyParametersWithReferences) {
  CommandRun run = Run(R"(
Set Variable "DIR" "C:\Apps\\Tool"
[header 0000AB12] Write Registry "2" "Software\X" "$KEY$\Sub" "Name" "$DIR$"
)");
  std::vector<std::string> expected = {"A0000AB12=TRUE", "P0000AB12_1=" + machine_.reg_key() + "\\Sub",
                                       "P0000AB12_3=C:\\Apps\\Tool"};
  EXPECT_EQ(run.properties, expected);
  EXPECT_EQ(run.executed.at(1), "TRUE");
}

}  // namespace
}  // namespace corvane::commands
