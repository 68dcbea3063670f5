// Variable and string commands, run as scripts on the test machine.
#include <gtest/gtest.h>

#include <vector>

#include "commands/engine_state.h"
#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"

namespace corvane::commands {

std::optional<std::string> Calculate(CommandsState& st, const std::string& a, const std::string& b,
                                     const std::string& code);

namespace {

using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

CommandRun RunScript(const std::string& text) {
  TestMachine machine;
  CommandScript script(machine.platform());
  script.predefined = {{"ROOT", machine.root()}};
  CommandRun run = script.Run(text);
  EXPECT_EQ(run.text_error, "");
  EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
  return run;
}

TEST(ParseString, SplitsAtFirstAndLastDelimiter) {
  CommandRun run = RunScript(R"(
Parse String "a,b,c" "," "L0" "R0" "0" "FALSE" "FALSE"
Parse String "a,b,c" "," "L1" "R1" "1" "FALSE" "FALSE"
Parse String "a,b,c" ";" "L2" "R2" "0" "FALSE" "FALSE"
Parse String "a,b,c" ";" "L3" "R3" "1" "FALSE" "FALSE"
Parse String "a,b,c" "" "L4" "R4" "0" "FALSE" "FALSE"
)");
  EXPECT_EQ(run.Var("L0") + "|" + run.Var("R0"), "a|b,c");
  EXPECT_EQ(run.Var("L1") + "|" + run.Var("R1"), "a,b|c");
  EXPECT_EQ(run.Var("L2") + "|" + run.Var("R2"), "a,b,c|");
  EXPECT_EQ(run.Var("L3") + "|" + run.Var("R3"), "|a,b,c");
  EXPECT_EQ(run.Var("L4") + "|" + run.Var("R4"), "a,b,c|");
}

TEST(ParseString, CountsFromLeftAndRight) {
  CommandRun run = RunScript(R"(
Set Variable "N" "2"
Parse String "abcdef" "$N$" "A" "B" "2" "FALSE" "FALSE"
Parse String "abcdef" "2" "C" "D" "3" "FALSE" "FALSE"
Parse String "abcdef" "6" "E" "F" "3" "FALSE" "FALSE"
Parse String "abcdef" "6" "G" "H" "2" "FALSE" "FALSE"
Parse String "abcdef" "x" "I" "J" "2" "FALSE" "FALSE"
Parse String "abcdef" "2" "K" "L" "7" "FALSE" "FALSE"
Parse String "abcdef" "9" "M" "N2" "3" "FALSE" "FALSE"
Parse String "abcdef" "-1" "O" "P" "3" "FALSE" "FALSE"
Parse String "abcdef" "0" "Q" "R" "2" "FALSE" "FALSE"
)");
  EXPECT_EQ(run.Var("A") + "|" + run.Var("B"), "ab|cdef");
  EXPECT_EQ(run.Var("C") + "|" + run.Var("D"), "abcd|ef");
  EXPECT_EQ(run.Var("E") + "|" + run.Var("F"), "|");
  EXPECT_EQ(run.Var("G") + "|" + run.Var("H"), "abcdef|");
  EXPECT_EQ(run.Var("I") + "|" + run.Var("J"), "|");
  EXPECT_EQ(run.Var("K") + "|" + run.Var("L"), "|");
  EXPECT_EQ(run.Var("M") + "|" + run.Var("N2"), "|abcdef");
  EXPECT_EQ(run.Var("O") + "|" + run.Var("P"), "abcdef|");
  EXPECT_EQ(run.Var("Q") + "|" + run.Var("R"), "|abcdef");
}

TEST(ParseString, CaseInsensitiveSearchKeepsSourceCaseAndTrims) {
  CommandRun run = RunScript(R"(
Parse String "xxabcxx" "ABC" "L" "R" "0" "FALSE" "TRUE"
Parse String "xxabcxx" "ABC" "L2" "R2" "0" "FALSE" "FALSE"
Parse String "  One = Two  " "=" "K" "V" "0" "TRUE" "FALSE"
Parse String "XxAbCxX" "abc" "" "ONLYRIGHT" "0" "FALSE" "TRUE"
)");
  EXPECT_EQ(run.Var("L") + "|" + run.Var("R"), "xx|xx");
  EXPECT_EQ(run.Var("L2") + "|" + run.Var("R2"), "xxabcxx|");
  EXPECT_EQ(run.Var("K") + "|" + run.Var("V"), "One|Two");
  EXPECT_EQ(run.Var("ONLYRIGHT"), "xX");
}

TEST(ParseString, ModeThatIsNotANumberFailsTheRun) {
  CommandRun run = RunScript(R"(
Parse String "abc" "b" "L" "R" "x" "FALSE" "FALSE"
Set Variable "AFTER" "ran"
)");
  EXPECT_TRUE(run.Failed());
  EXPECT_FALSE(run.Has("AFTER"));
  // The parts were created empty before the mode was read.
  EXPECT_TRUE(run.Has("L"));
}

TEST(ReplaceString, FirstOrAllWithCaseAndNewlines) {
  CommandRun run = RunScript(R"(
Set Variable "A" "one two one two"
Replace String "A" "one" "1" "FALSE" "FALSE"
Set Variable "B" "one two ONE two"
Replace String "B" "one" "1" "TRUE" "TRUE"
Set Variable "C" "unchanged"
Replace String "C" "" "x" "FALSE" "TRUE"
Set Variable "D" "ab"
Replace String "D" "abc" "x" "FALSE" "TRUE"
Set Variable "E" "aaa"
Replace String "E" "aa" "a" "FALSE" "TRUE"
Set Variable "F" "line1$NEWLINE$line2"
Set Variable "G" "$NEWLINE$"
Replace String "F" "$G$" ", " "FALSE" "TRUE"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  EXPECT_EQ(run.Var("A"), "1 two one two");
  EXPECT_EQ(run.Var("B"), "1 two 1 two");
  EXPECT_EQ(run.Var("C"), "unchanged");
  EXPECT_EQ(run.Var("D"), "ab");
  EXPECT_EQ(run.Var("E"), "aa");  // no rescanning of replaced text
  EXPECT_EQ(run.Var("F"), "line1, line2");
}

TEST(ConvertCase, UsesTheCodePageTables) {
  CommandRun run = RunScript(
      "Set Variable \"A\" \"Stra\xDF" "e \xE9t\xE9\"\n"
      "Convert Case \"A\" \"TRUE\"\n"
      "Set Variable \"B\" \"\xC9T\xC9 ABC\"\n"
      "Convert Case \"B\" \"FALSE\"\n"
      "Set Variable \"C\" \"C:\\\\Dir\"\n"
      "Convert Case \"C\" \"TRUE\"\n");
  EXPECT_EQ(run.Var("A"), "STRA\xDF" "E \xC9T\xC9");
  EXPECT_EQ(run.Var("B"), "\xE9t\xE9 abc");
  EXPECT_EQ(run.Var("C"), "C:\\DIR");  // path-expanded before the change of case
}

// The generator sequence computed here, independently of the command, in plain 64-bit
// arithmetic reduced to 32 bits.
std::vector<long long> ExpectedSequence(long long mul, long long inc, long long seed, long long a,
                                        int n) {
  std::vector<long long> out;
  long long state = seed;
  for (int i = 0; i < n; ++i) {
    long long x = (mul * state + inc) % 4294967296LL;
    if (x < 0) x += 4294967296LL;
    if (x >= 2147483648LL) x -= 4294967296LL;  // signed 32-bit
    state = x % 32767;
    out.push_back(x % a);
  }
  return out;
}

TEST(Mathematics, AllCodesAndFailures) {
  CommandRun run = RunScript(R"(
Set Variable "SEVEN" "7"
Mathematics "$SEVEN$" "5" "0" "R0"
Mathematics "7" "10" "1" "R1"
Mathematics "-7" "6" "2" "R2"
Mathematics "-7" "2" "3" "R3"
Mathematics "-7" "2" "4" "R4"
Mathematics "12" "10" "5" "R5"
Mathematics "12" "10" "6" "R6"
Mathematics "12" "10" "7" "R7"
Mathematics "1" "62" "8" "R8"
Mathematics "-1" "60" "9" "R9"
Mathematics "0" "" "10" "R10"
Mathematics "A" "" "11" "R11"
Mathematics "65" "" "12" "R12"
Mathematics "3" "4" "13" "R13"
Mathematics "-5" "" "14" "R14"
Mathematics "7" "0" "3" "DIV0"
Mathematics "7" "0" "4" "MOD0"
Mathematics "x" "1" "0" "NOTNUM"
Mathematics "" "" "11" "EMPTY11"
Mathematics "1" "64" "8" "SHL64"
Mathematics "1" "320" "8" "SHL320"
Mathematics "1" "257" "8" "SHL257"
Mathematics "9223372036854775807" "1" "0" "WRAP"
Mathematics "-9223372036854775808" "-1" "3" "OVERFLOW"
Mathematics "1" "1" "16" "UNKNOWN"
Mathematics "1" "1" "x" "BADCODE"
Mathematics "321" "" "12" "R12WRAP"
)");
  EXPECT_FALSE(run.Failed());
  EXPECT_EQ(run.Var("R0"), "12");
  EXPECT_EQ(run.Var("R1"), "-3");
  EXPECT_EQ(run.Var("R2"), "-42");
  EXPECT_EQ(run.Var("R3"), "-3");
  EXPECT_EQ(run.Var("R4"), "-1");
  EXPECT_EQ(run.Var("R5"), "8");
  EXPECT_EQ(run.Var("R6"), "14");
  EXPECT_EQ(run.Var("R7"), "6");
  EXPECT_EQ(run.Var("R8"), "4611686018427387904");
  EXPECT_EQ(run.Var("R9"), "15");
  EXPECT_EQ(run.Var("R10"), "-1");
  EXPECT_EQ(run.Var("R11"), "65");
  EXPECT_EQ(run.Var("R12"), "A");
  EXPECT_EQ(run.Var("R13"), "7");
  EXPECT_EQ(run.Var("R14"), "-5");
  for (const char* name : {"DIV0", "MOD0", "NOTNUM", "EMPTY11", "OVERFLOW", "UNKNOWN", "BADCODE"}) {
    EXPECT_TRUE(run.Has(name)) << name;
    EXPECT_EQ(run.Var(name), "") << name;
  }
  EXPECT_EQ(run.Var("SHL64"), "0");
  EXPECT_EQ(run.Var("SHL320"), "0");  // 320 mod 256 = 64
  EXPECT_EQ(run.Var("SHL257"), "2");  // 257 mod 256 = 1
  EXPECT_EQ(run.Var("WRAP"), "-9223372036854775808");
  EXPECT_EQ(run.Var("R12WRAP"), "A");  // 321 mod 256 = 65
}

TEST(Mathematics, GeneratorSequence) {
  // Before any seeding the generator yields 0.
  CommandsState fresh;
  EXPECT_EQ(Calculate(fresh, "100", "", "15"), std::optional<std::string>("0"));

  std::string script = "Mathematics \"1103515245\" \"12345\" \"13\" \"SEEDSUM\"\n"
                       "Mathematics \"42\" \"\" \"14\" \"STATE\"\n";
  for (int i = 0; i < 12; ++i) {
    script += "Mathematics \"1000\" \"\" \"15\" \"X" + std::to_string(i) + "\"\n";
  }
  script += "Mathematics \"0\" \"\" \"15\" \"ZERO\"\n";
  script += "Mathematics \"-7\" \"\" \"15\" \"NEG\"\n";
  CommandRun run = RunScript(script);
  EXPECT_EQ(run.Var("SEEDSUM"), "1103527590");
  EXPECT_EQ(run.Var("STATE"), "42");
  std::vector<long long> expected = ExpectedSequence(1103515245, 12345, 42, 1000, 14);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(run.Var("X" + std::to_string(i)), std::to_string(expected[static_cast<size_t>(i)]))
        << "draw " << i;
  }
  // Code 15 with A = 0 stores the empty text but still advances the state.
  EXPECT_EQ(run.Var("ZERO"), "");
  long long state = 42;
  long long x = 0;
  for (int i = 0; i < 14; ++i) {
    x = (1103515245LL * state + 12345) % 4294967296LL;
    if (x < 0) x += 4294967296LL;
    if (x >= 2147483648LL) x -= 4294967296LL;
    state = x % 32767;
  }
  EXPECT_EQ(run.Var("NEG"), std::to_string(x % -7));
}

TEST(Environment, OneNameOrTheWholeBlock) {
  TestMachine machine;
  machine.platform().system().SetEnvironment("CORVANE_TEST_A", "alpha");
  CommandScript script(machine.platform());
  CommandRun run = script.Run(R"(
Get Environment "CORVANE_TEST_A" "$ONE$"
Get Environment "CORVANE_UNDEFINED_B" "NONE"
Get Environment "" "ALL"
)");
  EXPECT_EQ(run.Var("ONE"), "alpha");
  EXPECT_EQ(run.Var("NONE"), "%CORVANE_UNDEFINED_B%");
  std::string all = run.Var("ALL");
  EXPECT_NE(all.find("CORVANE_TEST_A=alpha"), std::string::npos);
  EXPECT_NE(all.find("$NEWLINE$"), std::string::npos);
  EXPECT_NE(all.substr(all.size() - 9), "$NEWLINE$");
  machine.platform().system().SetEnvironment("CORVANE_TEST_A", "", true);
}

TEST(SetEnvironment, RecordsActivationAndValue) {
  CommandRun run = RunScript(R"(
Set Variable "DIR" "C:\App\\bin"
[header 00C0FFEE] Set Environment "PATH" "$DIR$" "x"
[header 00BEEF00] Set Environment "OTHER" "plain"
)");
  EXPECT_FALSE(run.Failed()) << run.result.failure;
  std::vector<std::string> expected = {"A00C0FFEE=TRUE", "P00C0FFEE_1=C:\\App\\bin", "A00BEEF00=TRUE",
                                       "P00BEEF00_1=plain"};
  EXPECT_EQ(run.properties, expected);
  EXPECT_EQ(run.executed.at(1), "TRUE");
}

TEST(TemporaryFile, CreatesAnEmptyFileInTheTemporaryFolder) {
  TestMachine machine;
  CommandScript script(machine.platform());
  CommandRun run = script.Run("Get Temporary File \"T1\"\nGet Temporary File \"T2\"\n");
  std::string t1 = run.Var("T1"), t2 = run.Var("T2");
  std::string temp = machine.platform().system().TempFolder();
  ASSERT_EQ(t1.substr(0, temp.size() + 3), temp + "zel") << t1;
  EXPECT_EQ(t1.substr(t1.size() - 4), ".tmp");
  EXPECT_NE(t1, t2);
  uint64_t size = 1;
  EXPECT_EQ(machine.platform().files().GetFileSize(t1, &size), platform::Status::kOk);
  EXPECT_EQ(size, 0u);
  machine.platform().files().DeleteFile(t1);
  machine.platform().files().DeleteFile(t2);
}

TEST(ExtractPath, EveryMode) {
  CommandRun run = RunScript(R"(
Set Variable "F" "C:\One\Two\file.tar.gz"
Set Variable "M0" "$F$"
Extract Path "M0" "0"
Set Variable "M1" "$F$"
Extract Path "M1" "1"
Set Variable "M2" "$F$"
Extract Path "M2" "2"
Set Variable "M3" "$F$"
Extract Path "M3" "3"
Set Variable "M4" "$F$"
Extract Path "M4" "4"
Set Variable "M5" "$F$"
Extract Path "M5" "5"
Set Variable "U5" "\\server\share\dir\a.txt"
Extract Path "U5" "5"
Set Variable "U6" "\\server\share\dir"
Extract Path "U6" "6"
Set Variable "M9" "$F$"
Extract Path "M9" "9"
Set Variable "EMPTY" ""
Extract Path "EMPTY" "3"
Set Variable "ROOTFILE" "C:\a.txt"
Extract Path "ROOTFILE" "4"
)");
  EXPECT_EQ(run.Var("M0"), "file.tar.gz");
  EXPECT_EQ(run.Var("M1"), "file.tar");
  EXPECT_EQ(run.Var("M2"), "gz");
  EXPECT_EQ(run.Var("M3"), "C:\\One\\Two\\");
  EXPECT_EQ(run.Var("M4"), "C:\\One\\");
  EXPECT_EQ(run.Var("M5"), "C:\\");
  EXPECT_EQ(run.Var("U5"), "\\\\server\\share\\");
  EXPECT_EQ(run.Var("U6"), "\\server\\share\\dir");
  EXPECT_EQ(run.Var("M9"), "C:\\One\\Two\\file.tar.gz");
  EXPECT_EQ(run.Var("EMPTY"), "");
  EXPECT_EQ(run.Var("ROOTFILE"), "C:\\");
}

TEST(ExtractPath, ModeThatIsNotANumberFailsTheRun) {
  CommandRun run = RunScript("Set Variable \"P\" \"C:\\\\a\"\nExtract Path \"P\" \"two\"\n");
  EXPECT_TRUE(run.Failed());
}

TEST(ConvertPath, ShortAndLongFormsRoundTrip) {
  TestMachine machine;
  machine.Write("Long Folder Name\\Another Long File.text", "x");
  CommandScript script(machine.platform());
  script.predefined = {{"ROOT", machine.root()}};
  CommandRun run = script.Run(R"(
Set Variable "S" "$ROOT$\\long folder name\\another long file.text"
Convert Path "S" "TRUE"
Set Variable "L" "$S$"
Convert Path "L" "FALSE"
Set Variable "Q" """$ROOT$\\LONG FOLDER NAME\\"""
Convert Path "Q" "FALSE"
Set Variable "MISSING" "$ROOT$\\long folder name\\nothing here"
Convert Path "MISSING" "FALSE"
)");
  std::string s = run.Var("S");
  // Every generated component is an 8.3 name.
  size_t last = s.rfind('\\');
  std::string file = s.substr(last + 1);
  EXPECT_LE(file.size(), 12u) << s;
  EXPECT_EQ(file.find(' '), std::string::npos) << s;
  EXPECT_TRUE(run.Var("L").ends_with("\\Long Folder Name\\Another Long File.text")) << run.Var("L");
  EXPECT_TRUE(run.Var("Q").ends_with("\\Long Folder Name")) << run.Var("Q");
  // A missing file: the lookup fails and the path comes back as written.
  EXPECT_TRUE(run.Var("MISSING").ends_with("\\long folder name\\nothing here")) << run.Var("MISSING");
}

TEST(CheckDiskSpace, FreeAndTotalBytes) {
  TestMachine machine;
  CommandScript script(machine.platform());
  script.predefined = {{"ROOT", machine.root()}};
  CommandRun run = script.Run(R"(
Check Disk Space "FREE" "$ROOT$" "TRUE"
Check Disk Space "$TOTAL$" "$ROOT$" "FALSE"
Check Disk Space "NONE" "Q:\\nowhere" "TRUE"
)");
  uint64_t free_bytes = 0, total = 0;
  machine.platform().files().GetDiskSpace(machine.root(), &free_bytes, &total);
  EXPECT_EQ(run.Var("TOTAL"), std::to_string(total));
  EXPECT_GT(std::stoull(run.Var("FREE")), 0u);
  EXPECT_EQ(run.Var("NONE"), "0");
}

}  // namespace
}  // namespace corvane::commands
