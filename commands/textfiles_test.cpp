// Text and INI file commands as scripts: natively on the simulated machine, under Wine on the
// real file system and GetPrivateProfileString.
#include <gtest/gtest.h>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace corvane::commands {
namespace {

using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

class TextFileCommands : public ::testing::Test {
 protected:
  void SetUp() override { script_.predefined = {{"ROOT", machine_.root()}}; }
  CommandRun Run(const std::string& text) {
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    EXPECT_FALSE(run.Failed()) << run.result.failure;
    return run;
  }
  TestMachine machine_;
  CommandScript script_{machine_.platform()};
};

TEST_F(TextFileCommands, ReadsLineByLineAndStartsAgain) {
  machine_.Write("three.txt", "one\r\ntwo\r\nthree\r\n");
  CommandRun run = Run(R"(
Read from Text File "$ROOT$\three.txt" "L1" "E1"
Read from Text File "$ROOT$\three.txt" "L2" "E2"
Read from Text File "$ROOT$\THREE.TXT" "L3" "E3"
Read from Text File "$ROOT$\three.txt" "L4" "E4"
)");
  EXPECT_EQ(run.Var("L1") + "," + run.Var("L2") + "," + run.Var("L3") + "," + run.Var("L4"),
            "one,two,three,one");
  EXPECT_EQ(run.Var("E1") + "," + run.Var("E2") + "," + run.Var("E3") + "," + run.Var("E4"),
            "FALSE,FALSE,TRUE,FALSE");
}

TEST_F(TextFileCommands, ReadAllAndLineEnds) {
  machine_.Write("three.txt", "one\r\ntwo\r\nthree");
  machine_.Write("mixed.txt", "a\nb\rc\r\n\r\nd");
  machine_.Write("empty.txt", "");
  CommandRun run = Run(R"(
Read from Text File "#READALL\$ROOT$\three.txt" "ALL" "EALL"
Read from Text File "$ROOT$\three.txt" "FIRST" ""
Read from Text File "#READALL\$ROOT$\three.txt" "REST" "EREST"
Read from Text File "#READALL\$ROOT$\mixed.txt" "MIXED" ""
Set Variable "EMPTYLINE" "unchanged"
Read from Text File "$ROOT$\empty.txt" "EMPTYLINE" "EEMPTY"
Set Variable "MISSINGLINE" "unchanged"
Read from Text File "$ROOT$\missing.txt" "MISSINGLINE" "EMISSING"
)");
  EXPECT_EQ(run.Var("ALL"), "one$NEWLINE$two$NEWLINE$three");
  EXPECT_EQ(run.Var("EALL"), "TRUE");
  EXPECT_EQ(run.Var("FIRST"), "one");
  EXPECT_EQ(run.Var("REST"), "two$NEWLINE$three");
  EXPECT_EQ(run.Var("EREST"), "TRUE");
  EXPECT_EQ(run.Var("MIXED"), "a$NEWLINE$b$NEWLINE$c$NEWLINE$$NEWLINE$d");
  EXPECT_EQ(run.Var("EMPTYLINE"), "unchanged");
  EXPECT_EQ(run.Var("EEMPTY"), "TRUE");
  EXPECT_EQ(run.Var("MISSINGLINE"), "unchanged");
  EXPECT_EQ(run.Var("EMISSING"), "TRUE");
}

TEST_F(TextFileCommands, ReadingAnotherFileClosesTheFirst) {
  machine_.Write("a.txt", "a1\r\na2\r\n");
  machine_.Write("b.txt", "b1\r\nb2\r\n");
  CommandRun run = Run(R"(
Read from Text File "$ROOT$\a.txt" "A1" ""
Read from Text File "$ROOT$\b.txt" "B1" ""
Read from Text File "$ROOT$\a.txt" "A2" ""
)");
  EXPECT_EQ(run.Var("A1") + run.Var("B1") + run.Var("A2"), "a1b1a1");
}

TEST_F(TextFileCommands, WriteAppendsOrInserts) {
  machine_.Write("list.txt", "middle\nlast");
  CommandRun run = Run(R"(
Write to Text File "$ROOT$\list.txt" "first" "TRUE"
Write to Text File "$ROOT$\list.txt" "end" "FALSE"
Write to Text File "$ROOT$\new.txt" "only" "TRUE"
Write to Text File "$ROOT$\lines.txt" "p$NEWLINE$q" "FALSE"
)");
  EXPECT_EQ(machine_.Read("list.txt"), "first\r\nmiddle\r\nlast\r\nend\r\n");
  EXPECT_EQ(machine_.Read("new.txt"), "only\r\n");
  // NEWLINE holds a real line break: the one list entry becomes two lines in the file.
  EXPECT_EQ(machine_.Read("lines.txt"), "p\r\nq\r\n");
}

TEST_F(TextFileCommands, WriteClearsReadOnly) {
  machine_.Write("ro.txt", "old\r\n");
  std::string path = machine_.root() + "\\ro.txt";
  ASSERT_EQ(machine_.platform().files().SetAttributes(path, platform::attr::kReadOnly),
            platform::Status::kOk);
  Run(R"(Write to Text File "$ROOT$\ro.txt" "new" "FALSE")");
  EXPECT_EQ(machine_.Read("ro.txt"), "old\r\nnew\r\n");
  uint32_t attributes = 0;
  machine_.platform().files().GetAttributes(path, &attributes);
  EXPECT_EQ(attributes & platform::attr::kReadOnly, 0u);
}

// A file whose reading fails (refused, too large for the process) would be rewritten as the new
// line alone: it is left as it is.
class UnreadableFile : public platform::FileSystemWrapper {
 public:
  UnreadableFile(platform::FileSystem& target, std::string path)
      : FileSystemWrapper(target), path_(std::move(path)) {}
  platform::Status ReadFile(const std::string& path, std::string* contents) override {
    if (platform::SameText(path, path_)) return platform::Status::kFailed;
    return target_.ReadFile(path, contents);
  }

 private:
  std::string path_;
};

TEST_F(TextFileCommands, AFileThatCannotBeReadIsNeverRewritten) {
  machine_.Write("big.txt", "precious\r\n");
  platform::Platform& p = machine_.platform();
  UnreadableFile files(p.files(), machine_.root() + "\\big.txt");
  platform::PlatformRefs refs(files, p.registry(), p.system(), p.ui(), &p.installer(),
                              &p.shell());
  CommandScript script(refs);
  script.predefined = {{"ROOT", machine_.root()}};
  CommandRun run = script.Run(R"(
Write to Text File "$ROOT$\big.txt" "new" "FALSE"
Write to Text File "$ROOT$\fresh.txt" "new" "FALSE"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(machine_.Read("big.txt"), "precious\r\n");
  EXPECT_EQ(machine_.Read("fresh.txt"), "new\r\n");  // a file that does not exist is made
}

TEST_F(TextFileCommands, WritingTheFileBeingReadEndsTheReading) {
  machine_.Write("rw.txt", "one\r\ntwo\r\nthree\r\n");
  CommandRun run = Run(R"(
Read from Text File "$ROOT$\rw.txt" "L1" "E1"
Write to Text File "$ROOT$\rw.txt" "four" "FALSE"
Set Variable "L2" "unchanged"
Read from Text File "$ROOT$\rw.txt" "L2" "E2"
Read from Text File "$ROOT$\rw.txt" "L3" "E3"
)");
  EXPECT_EQ(run.Var("L1"), "one");
  EXPECT_EQ(run.Var("L2"), "unchanged");
  EXPECT_EQ(run.Var("E2"), "TRUE");
  EXPECT_EQ(run.Var("L3"), "one");
  EXPECT_EQ(run.Var("E3"), "FALSE");
  EXPECT_EQ(machine_.Read("rw.txt"), "one\r\ntwo\r\nthree\r\nfour\r\n");
}

TEST_F(TextFileCommands, IniValues) {
  machine_.Write("app.ini",
                 "[General]\r\n"
                 "Name = Corvane Tool \r\n"
                 "Quoted=\"  spaced  \"\r\n"
                 "Single='x'\r\n"
                 "Eq=a=b\r\n"
                 "Dup=first\r\n"
                 "Dup=second\r\n"
                 "  [ Other ]\r\n"
                 "name=other\r\n");
  CommandRun run = Run(R"(
Get INI File Settings "NAME" "$ROOT$\app.ini" "general" "NAME"
Get INI File Settings "QUOTED" "$ROOT$\app.ini" "General" "Quoted"
Get INI File Settings "SINGLE" "$ROOT$\app.ini" "General" "Single"
Get INI File Settings "EQ" "$ROOT$\app.ini" "General" "Eq"
Get INI File Settings "DUP" "$ROOT$\app.ini" "General" "Dup"
Get INI File Settings "OTHER" "$ROOT$\app.ini" "Other" "name"
Get INI File Settings "NOKEY" "$ROOT$\app.ini" "General" "Missing"
Get INI File Settings "NOSECTION" "$ROOT$\app.ini" "Missing" "Name"
Get INI File Settings "NOFILE" "$ROOT$\missing.ini" "General" "Name"
Get INI File Settings "EMPTYKEY" "$ROOT$\app.ini" "General" ""
)");
  EXPECT_EQ(run.Var("NAME"), "Corvane Tool");
  EXPECT_EQ(run.Var("QUOTED"), "  spaced  ");
  EXPECT_EQ(run.Var("SINGLE"), "x");
  EXPECT_EQ(run.Var("EQ"), "a=b");
  EXPECT_EQ(run.Var("DUP"), "first");
  EXPECT_EQ(run.Var("OTHER"), "other");
  for (const char* n : {"NOKEY", "NOSECTION", "NOFILE", "EMPTYKEY"}) {
    EXPECT_TRUE(run.Has(n)) << n;
    EXPECT_EQ(run.Var(n), "") << n;
  }
}

TEST_F(TextFileCommands, IniFileWithoutFolderIsInTheWindowsFolder) {
  platform::FileSystem& fs = machine_.platform().files();
  std::string path = machine_.platform().system().WindowsFolder() + "\\corvane-commands-test.ini";
  ASSERT_EQ(fs.WriteFile(path, "[S]\r\nK=windows folder\r\n"), platform::Status::kOk);
  CommandRun run = Run(R"(Get INI File Settings "V" "corvane-commands-test.ini" "S" "K")");
  fs.DeleteFile(path);
  EXPECT_EQ(run.Var("V"), "windows folder");
}

TEST_F(TextFileCommands, SixtyFourBitModeReadsTheRealSystemFolder) {
  platform::SystemInfo& sys = machine_.platform().system();
  if (!sys.Is64BitSystem() || sys.Is64BitProcess()) GTEST_SKIP() << "no file-system redirection";
  platform::FileSystem& fs = machine_.platform().files();
  std::string probe = sys.WindowsFolder() + "\\System32\\corvane-probe.txt";
  ASSERT_EQ(fs.WriteFile(probe, "32\r\n"), platform::Status::kOk);  // redirected to SysWOW64
  uint64_t old = 0;
  ASSERT_TRUE(fs.DisableRedirection(&old));
  ASSERT_EQ(fs.WriteFile(probe, "64\r\n"), platform::Status::kOk);
  ASSERT_TRUE(fs.RevertRedirection(old));
  script_.predefined.push_back({"PROBE", probe});
  CommandRun run = Run(R"(
Read from Text File "$PROBE$" "WIN32" ""
Set 64 Bit Mode "FALSE" "FALSE" "TRUE"
Read from Text File "$PROBE$" "X64" ""
Get INI File Settings "UNUSED" "$PROBE$" "S" "K"
)");
  EXPECT_EQ(run.Var("WIN32"), "32");
  EXPECT_EQ(run.Var("X64"), "64");
  // The view is restored after each command.
  std::string after;
  fs.ReadFile(probe, &after);
  EXPECT_EQ(after, "32\r\n");
  fs.DeleteFile(probe);
  fs.DisableRedirection(&old);
  fs.DeleteFile(probe);
  fs.RevertRedirection(old);
}

TEST_F(TextFileCommands, EditIniFileRecordsFourSlots) {
  CommandRun run = Run(R"(
[header 00001A2B] Edit INI File "$ROOT$\\a.ini" "x" "y" "Section" "Key" "$ROOT$"
)");
  std::vector<std::string> expected = {"A00001A2B=TRUE", "P00001A2B_1=" + machine_.root() + "\\a.ini",
                                       "P00001A2B_2=Section", "P00001A2B_3=Key",
                                       "P00001A2B_4=" + machine_.root()};
  EXPECT_EQ(run.properties, expected);
}

}  // namespace
}  // namespace corvane::commands
