#include "platform/sim/sim_paths.h"

#include <gtest/gtest.h>

namespace corvane::platform::sim {
namespace {

TEST(SimPaths, FullPathResolvesDotsSeparatorsAndRelativePaths) {
  const std::string cur = "C:\\Work\\Sub";
  EXPECT_EQ(FullPath("C:\\a\\b\\..\\c", cur), "C:\\a\\c");
  EXPECT_EQ(FullPath("C:\\a\\.\\b\\.", cur), "C:\\a\\b");
  EXPECT_EQ(FullPath("c:/a//b", cur), "C:\\a\\b");
  EXPECT_EQ(FullPath("C:\\..\\..\\x", cur), "C:\\x");  // never above the root
  EXPECT_EQ(FullPath("file.txt", cur), "C:\\Work\\Sub\\file.txt");
  EXPECT_EQ(FullPath("..\\other", cur), "C:\\Work\\other");
  EXPECT_EQ(FullPath("..\\..\\..\\..", cur), "C:\\");
  EXPECT_EQ(FullPath(".", cur), "C:\\Work\\Sub");
  EXPECT_EQ(FullPath("\\root.txt", cur), "C:\\root.txt");
  EXPECT_EQ(FullPath("C:", cur), "C:\\Work\\Sub");      // drive-relative, current drive
  EXPECT_EQ(FullPath("C:x", cur), "C:\\Work\\Sub\\x");
  EXPECT_EQ(FullPath("D:x", cur), "D:\\x");             // another drive: its root
  EXPECT_EQ(FullPath("", cur), "");
}

TEST(SimPaths, FullPathKeepsTrailingSeparatorAndDropsTrailingDots) {
  const std::string cur = "C:\\Work";
  EXPECT_EQ(FullPath("C:\\a\\b\\", cur), "C:\\a\\b\\");
  EXPECT_EQ(FullPath("C:\\", cur), "C:\\");
  EXPECT_EQ(FullPath("C:\\a\\name. . ", cur), "C:\\a\\name");
  EXPECT_EQ(FullPath("C:\\a.b\\c", cur), "C:\\a.b\\c");  // dots inside names stay
  EXPECT_EQ(FullPath("\\\\?\\C:\\a\\..\\b", cur), "C:\\b");
  EXPECT_EQ(FullPath("\\\\server\\share\\a\\..\\b", cur), "\\\\server\\share\\b");
  EXPECT_EQ(FullPath("\\\\server\\share\\..\\..", cur), "\\\\server\\share");
}

TEST(SimPaths, SplitsDrivePathsOnly) {
  char drive = 0;
  std::vector<std::string> parts;
  bool trailing = false;
  ASSERT_TRUE(SplitDrivePath("d:\\One\\Two\\", &drive, &parts, &trailing));
  EXPECT_EQ(drive, 'D');
  EXPECT_EQ(parts, (std::vector<std::string>{"One", "Two"}));
  EXPECT_TRUE(trailing);
  ASSERT_TRUE(SplitDrivePath("C:\\", &drive, &parts));
  EXPECT_TRUE(parts.empty());
  EXPECT_FALSE(SplitDrivePath("\\\\server\\share", &drive, &parts));
  EXPECT_FALSE(SplitDrivePath("relative", &drive, &parts));
}

TEST(SimPaths, ComponentValidity) {
  EXPECT_TRUE(IsValidComponent("Caf\xE9 (1).txt"));
  for (const char* bad : {"", "a<b", "a>b", "a:b", "a\"b", "a|b", "a?b", "a*b", "a\tb"}) {
    EXPECT_FALSE(IsValidComponent(bad)) << bad;
  }
}

TEST(SimPaths, WildcardsFollowFindFirstFileRules) {
  EXPECT_TRUE(MatchesPattern("readme", "*.*"));
  EXPECT_TRUE(MatchesPattern("Report.TXT", "*.txt"));
  EXPECT_FALSE(MatchesPattern("report.txt.bak", "*.txt"));
  EXPECT_TRUE(MatchesPattern("abc.dat", "a?c.*"));
  EXPECT_FALSE(MatchesPattern("ac.dat", "a?c.*"));
  EXPECT_FALSE(MatchesPattern("abxd", "a?d"));              // "?" is one character mid-name
  EXPECT_TRUE(MatchesPattern("a.txt", "a??.txt"));           // ... but none before the dot
  EXPECT_TRUE(MatchesPattern("ab", "ab??"));                 // ... but not at the end
  EXPECT_TRUE(MatchesPattern("noext", "*."));
  EXPECT_FALSE(MatchesPattern("has.ext", "*."));
  EXPECT_TRUE(MatchesPattern("\xC9T\xC9.LOG", "\xE9t\xE9*"));  // 1252 folding
  EXPECT_TRUE(MatchesPattern("x", "*"));
  EXPECT_FALSE(MatchesPattern("abc", "abd"));
  EXPECT_TRUE(MatchesPattern("a*b", "a*b"));
}

TEST(SimPaths, DeviceNamesAndTheirFullPaths) {
  EXPECT_EQ(DeviceName("Nul.tar.gz"), "Nul");
  EXPECT_EQ(DeviceName("com9 .x"), "com9");
  EXPECT_EQ(DeviceName("LPT1::"), "LPT1");
  for (const char* plain : {"com0", "com10", "nulx", "con_", "lpt", "", "."}) {
    EXPECT_EQ(DeviceName(plain), "") << plain;
  }
  EXPECT_EQ(FullPath("aux.log", "C:\\Work"), "\\\\.\\aux");
  EXPECT_EQ(FullPath("D:prn", "C:\\Work"), "\\\\.\\prn");
  EXPECT_EQ(FullPath("\\\\.\\NUL", "C:\\Work"), "\\\\.\\NUL");
  // Only the last component can be one, and a prefixed path names a file of that name.
  EXPECT_EQ(FullPath("C:\\nul\\x.txt", "C:\\Work"), "C:\\nul\\x.txt");
  EXPECT_EQ(FullPath("C:\\x\\con\\", "C:\\Work"), "C:\\x\\con\\");
  EXPECT_EQ(FullPath("\\\\?\\C:\\x\\nul", "C:\\Work"), "C:\\x\\nul");
  EXPECT_EQ(FullPath("\\\\server\\share\\nul", "C:\\Work"), "\\\\server\\share\\nul");
}

TEST(SimPaths, ShortNamesAreUniqueInTheirFolder) {
  // Names that fit 8.3 in any letter case are their own short names.
  EXPECT_TRUE(IsShortName("readme.txt"));
  EXPECT_TRUE(IsShortName("Windows"));
  EXPECT_FALSE(IsShortName("a b.txt"));
  EXPECT_FALSE(IsShortName("page.html"));
  EXPECT_FALSE(IsShortName("two.dots.x"));
  // Numbered in listing order among one basis, passing over a number that a name holds already.
  EXPECT_EQ(ShortNames({"Long File B.txt", "LONGFI~1.TXT", "Long File A.txt", "page.html",
                        "Mixed.Txt", "a+b.c d"}),
            (std::vector<std::string>{"LONGFI~3.TXT", "LONGFI~1.TXT", "LONGFI~2.TXT",
                                      "PAGE~1.HTM", "Mixed.Txt", "A_B~1.CD"}));
  // From the tenth on, the number takes characters from the base.
  std::vector<std::string> many;
  for (int i = 0; i < 11; ++i) many.push_back("Program Files " + std::to_string(100 + i));
  std::vector<std::string> aliases = ShortNames(many);
  EXPECT_EQ(aliases[8], "PROGRA~9");
  EXPECT_EQ(aliases[9], "PROGR~10");
  EXPECT_EQ(aliases[10], "PROGR~11");
}

}  // namespace
}  // namespace corvane::platform::sim
