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
       {u"", u"/etc/passwd", u"\\Windows\\x.dll", u"\\\\server\\share\\x", u"C:\\x.txt",
        u"C:x.txt", u"..", u"../x", u"a\\..\\..\\x", u"a/../b", u"a/. ./b", u"a/.. /b",
        u"file.txt:stream", u"a/b\x01", u"/", u"./"}) {
    EXPECT_TRUE(Refused(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  }
}

TEST(EntryPath, DeviceNamesAreRefusedInAnyComponent) {
  for (const char16_t* bad : {u"CON", u"con.txt", u"a/NUL", u"Aux.log", u"x/prn/y.txt",
                              u"COM1", u"lpt9.dat", u"CON .txt", u"CONIN$", u"COM\u00B9"}) {
    EXPECT_TRUE(Refused(bad));
  }
}

TEST(EntryPath, OrdinaryNamesSplitIntoComponents) {
  EXPECT_EQ(SafeComponents(u"a/b\\c.txt"), (std::vector<std::u16string>{u"a", u"b", u"c.txt"}));
  EXPECT_EQ(SafeComponents(u"./a//b"), (std::vector<std::u16string>{u"a", u"b"}));
  for (const char16_t* ok : {u"CONSOLE.txt", u"COM10", u"LPT", u"my con.txt", u"...a", u"a..b",
                             u"Gr\u00FC\u00DFe d\u00E9j\u00E0.txt", u"x/.hidden"}) {
    EXPECT_FALSE(Refused(ok));
  }
}

TEST(EntryPath, LinksAreRecognisedByAttribute) {
  EXPECT_TRUE(IsLinkAttribute(0x400));                       // reparse point
  EXPECT_TRUE(IsLinkAttribute(0x8000 | (0xA1FFu << 16)));    // Unix symlink mode
  EXPECT_FALSE(IsLinkAttribute(0x8000 | (0x81A4u << 16)));   // regular file 0644
  EXPECT_FALSE(IsLinkAttribute(0x20));
  EXPECT_FALSE(IsLinkAttribute(0x10 | 0x8000 | (0x41EDu << 16)));  // folder 0755
}

}  // namespace
}  // namespace corvane::archive
