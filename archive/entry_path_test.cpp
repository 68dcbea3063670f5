#include "archive/entry_path.h"

#include <gtest/gtest.h>

#include "archive/errors.h"

namespace corvane::archive {
namespace {

bool Refused(const std::u16string& name) {
  try {
    SafeComponents(name);
    return false;
  } catch (const ArchiveError& e) {
    return e.code() == kErrorIllegalPath;
  }
}

TEST(EntryPath, NamesThatCouldLeaveTheDestinationAreRefused) {
  for (const char16_t* bad :
       {u"", u"/etc/passwd", u"\\Windows\\x.dll", u"\\\\server\\share\\x", u"C:\\x.txt", u"C:x.txt",
        u"..", u"../x", u"a\\..\\..\\x", u"a/../b", u"a/. ./b", u"a/.. /b", u"file.txt:stream",
        u"a/b\x01", u"/", u"./"}) {
    EXPECT_TRUE(Refused(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
}

TEST(EntryPath, DeviceNamesAreRefusedInAnyComponent) {
  for (const char16_t* bad :
       {u"CON", u"con.txt", u"a/NUL", u"Aux.log", u"x/prn/y.txt", u"COM1", u"lpt9.dat", u"CON .txt",
        u"CONIN$", u"COM\u00B9", u"COM0", u"lpt0.txt", u"a/Com0 .log", u"LPT0", u"com\u00B2.txt",
        u"LPT\u00B3", u"lpt\u00B9.x"}) {
    EXPECT_TRUE(Refused(bad));
  }
}

TEST(EntryPath, OrdinaryNamesSplitIntoComponents) {
  EXPECT_EQ(SafeComponents(u"a/b\\c.txt"), (std::vector<std::u16string>{u"a", u"b", u"c.txt"}));
  EXPECT_EQ(SafeComponents(u"./a//b"), (std::vector<std::u16string>{u"a", u"b"}));
  for (const char16_t* ok :
       {u"CONSOLE.txt", u"COM10", u"LPT", u"COM00", u"LPT\u00B4", u"COM\u2074", u"my con.txt",
        u"...a", u"a..b", u"Gr\u00FC\u00DFe d\u00E9j\u00E0.txt", u"x/.hidden"}) {
    EXPECT_FALSE(Refused(ok));
  }
}

TEST(EntryPath, NamesWindowsTakesForTheSameFileShareAKey) {
  EXPECT_EQ(WindowsNameKey(u"Readme.TXT"), WindowsNameKey(u"readme.txt"));
  EXPECT_EQ(WindowsNameKey(u"x."), WindowsNameKey(u"x"));
  EXPECT_EQ(WindowsNameKey(u"x . . "), WindowsNameKey(u"X"));
  EXPECT_EQ(WindowsNameKey(u"\u00E9t\u00E9"), WindowsNameKey(u"\u00C9T\u00C9"));  // Latin-1
  EXPECT_EQ(WindowsNameKey(u"\u0142\u00FF"), WindowsNameKey(u"\u0141\u0178"));    // Ł, Ÿ
  EXPECT_EQ(WindowsNameKey(u"\u0436\u0451"), WindowsNameKey(u"\u0416\u0401"));    // Cyrillic
  EXPECT_EQ(WindowsNameKey(u"\u03AC\u03C2"), WindowsNameKey(u"\u0386\u03A3"));    // Greek
  // Leading blanks and inner dots are kept; different letters stay different.
  EXPECT_NE(WindowsNameKey(u" x"), WindowsNameKey(u"x"));
  EXPECT_NE(WindowsNameKey(u"x.y"), WindowsNameKey(u"xy"));
  EXPECT_NE(WindowsNameKey(u"\u00DF"), WindowsNameKey(u"SS"));
  EXPECT_NE(WindowsNameKey(u"\u0131"), WindowsNameKey(u"\u0130"));  // dotless i, dotted I
  EXPECT_NE(WindowsNameKey(u"\u0138"), WindowsNameKey(u"\u0137"));
}

TEST(EntryPath, LinksAreRecognisedByAttribute) {
  EXPECT_TRUE(IsLinkAttribute(0x400));                      // reparse point
  EXPECT_TRUE(IsLinkAttribute(0x8000 | (0xA1FFu << 16)));   // Unix symlink mode
  EXPECT_FALSE(IsLinkAttribute(0x8000 | (0x81A4u << 16)));  // regular file 0644
  EXPECT_FALSE(IsLinkAttribute(0x20));
  EXPECT_FALSE(IsLinkAttribute(0x10 | 0x8000 | (0x41EDu << 16)));  // folder 0755
}

}  // namespace
}  // namespace corvane::archive
