#include "engine/command_line.h"

#include <gtest/gtest.h>

namespace corvane::engine {
namespace {

TEST(CommandLine, SilentAndUpdateSwitches) {
  EXPECT_TRUE(ParseCommandLine("setup.exe /S").silent);
  EXPECT_TRUE(ParseCommandLine("setup.exe -s").silent);
  EXPECT_TRUE(ParseCommandLine("setup.exe -QN").silent);
  EXPECT_FALSE(ParseCommandLine("setup.exe /silent").silent);
  EXPECT_FALSE(ParseCommandLine("setup.exe s").silent);
  EXPECT_TRUE(ParseCommandLine("setup.exe /UpdateSetup").update);
  EXPECT_TRUE(ParseCommandLine("setup.exe -update").update);
  EXPECT_FALSE(ParseCommandLine("setup.exe /updates").update);
}

TEST(CommandLine, ValueSwitchesDropThreeCharactersAndLowerCase) {
  CommandLine cl = ParseCommandLine("setup.exe x/l=C:\\Log.txt /L=D:\\second.txt");
  // The marker may stand anywhere; the first argument that holds it wins, and its first three
  // characters go whatever they are ("x/l" here).
  EXPECT_EQ(cl.log_path, "=c:\\log.txt");
  cl = ParseCommandLine("setup.exe \"-l=C:\\My Logs\\Run.LOG\" /p=E:\\Media /G=\\\\srv\\GPO /m=X.exe");
  EXPECT_EQ(cl.log_path, "c:\\my logs\\run.log");
  EXPECT_EQ(cl.media_path, "e:\\media");
  EXPECT_EQ(cl.group_policy, "\\\\srv\\gpo");
  EXPECT_EQ(cl.self_extractor, "x.exe");
  EXPECT_EQ(ParseCommandLine("setup.exe").log_path, "");
}

TEST(CommandLine, Assignments) {
  CommandLine cl = ParseCommandLine("setup.exe targetdir=C:\\Mixed\\Case a=b=c /x=1 -y=2 \"Q=with blank\"");
  ASSERT_EQ(cl.assignments.size(), 3u);
  EXPECT_EQ(cl.assignments[0], std::make_pair(std::string("TARGETDIR"), std::string("C:\\Mixed\\Case")));
  EXPECT_EQ(cl.assignments[1], std::make_pair(std::string("A"), std::string("b=c")));
  EXPECT_EQ(cl.assignments[2], std::make_pair(std::string("Q"), std::string("with blank")));
}

TEST(CommandLine, TailAfterTheProgramName) {
  EXPECT_EQ(CommandLineTail("\"C:\\Program Files\\setup.exe\" /s X=1"), "/s X=1");
  EXPECT_EQ(CommandLineTail("\"C:\\setup.exe\""), "");
  EXPECT_EQ(CommandLineTail("\"C:\\setup.exe\"/s"), "s");  // the character after the quote goes
  EXPECT_EQ(CommandLineTail("setup.exe /s"), "/s");
  EXPECT_EQ(CommandLineTail("setup.exe"), "");
  EXPECT_EQ(CommandLineTail("\"unterminated"), "");
  EXPECT_EQ(ParseCommandLine("setup.exe  /s").tail, " /s");
}

TEST(CommandLine, SplitsLikeTheRuntime) {
  auto args = SplitCommandLine("  \"C:\\a b\\setup.exe\"  one \"two three\" fo\"u r\"  ");
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0], "C:\\a b\\setup.exe");
  EXPECT_EQ(args[2], "two three");
  EXPECT_EQ(args[3], "fou r");
}

}  // namespace
}  // namespace corvane::engine
