#include "image/engine_messages.h"

#include <gtest/gtest.h>

#include "image/language_names.h"

namespace corvane::image {
namespace {

// A block of 115 lines, each "<prefix> N" (the reserved lines too: they are read and ignored).
std::string Block(const std::string& prefix, int lines = msg::kCount) {
  std::string out;
  for (int n = 1; n <= lines; ++n) out += prefix + " " + std::to_string(n) + "\r\n";
  return out;
}

TEST(EngineMessages, BuiltInTextsStandAtTheirLines) {
  EngineMessages m;
  EXPECT_EQ(m.Text(msg::kResourceNotFound), "Setup resource not found");
  EXPECT_EQ(m.Text(msg::kScriptRuntimeError), "Runtime error in setup script:");
  EXPECT_EQ(m.Text(msg::kWizardCaption), "Corvane Wizard");
  EXPECT_EQ(m.Text(msg::kOk), "&OK");
  EXPECT_EQ(m.Text(msg::kCancel), "&Cancel");
  EXPECT_EQ(m.Text(msg::kCancelQuestion), "Are you sure you want to cancel?");
  EXPECT_EQ(m.Text(54), "");
  EXPECT_EQ(m.Text(55), "Locating resource");
  EXPECT_EQ(m.Text(msg::kDownloadStatusLast), "Accept ranges");
  EXPECT_EQ(m.Text(msg::kSelectLanguageCaption), "Select Setup Language");
  EXPECT_EQ(m.Text(msg::kSelectLanguageText),
            "Please select the language to use during the installation:");
  EXPECT_EQ(m.Text(msg::kUnableToPlayMovie), "Unable to play Flash movie");
  EXPECT_EQ(m.Text(msg::kEntireUnavailable), "Entire feature will be &unavailable");
  for (int reserved = msg::kReservedFirst; reserved <= msg::kReservedLast; ++reserved) {
    EXPECT_EQ(m.Text(reserved), "") << reserved;
  }
  EXPECT_EQ(m.Text(0), "");
  EXPECT_EQ(m.Text(116), "");
}

TEST(EngineMessages, FileWithoutNamesReplacesTheSetWithItsFirstBlock) {
  EngineMessages m;
  LoadLanguageFile(Block("first"), "German", &m);
  EXPECT_EQ(m.Text(1), "first 1");
  EXPECT_EQ(m.Text(msg::kCancelQuestion), "first 40");
  EXPECT_EQ(m.Text(msg::kEntireUnavailable), "first 115");
  EXPECT_EQ(m.Text(95), "") << "reserved lines are read and ignored";
}

TEST(EngineMessages, NamedBlockOfTheUserLanguageReplacesTheFirst) {
  EngineMessages m;
  LoadLanguageFile(Block("first") + "French\n" + Block("french") + "GERMAN\n" + Block("german") +
                       "Italian\n" + Block("italian"),
                   "German", &m);
  EXPECT_EQ(m.Text(msg::kCancelQuestion), "german 40") << "names compare ignoring letter case";
  EXPECT_EQ(m.Text(msg::kEntireUnavailable), "german 115");
}

// Without a block for the user's language the file's first block stays in force, not whichever
// block happens to come last.
TEST(EngineMessages, NoMatchingNameKeepsTheFirstBlock) {
  EngineMessages m;
  LoadLanguageFile(Block("first") + "French\n" + Block("french") + "Italian\n" + Block("italian"),
                   "German", &m);
  EXPECT_EQ(m.Text(msg::kCancelQuestion), "first 40");
}

TEST(EngineMessages, ShortBlocksLeaveTheTextsTheyDoNotReach) {
  EngineMessages m;
  LoadLanguageFile(Block("first", 30), "German", &m);
  EXPECT_EQ(m.Text(30), "first 30");
  EXPECT_EQ(m.Text(msg::kCancelQuestion), "Are you sure you want to cancel?");

  EngineMessages n;
  LoadLanguageFile(Block("first") + "German\n" + Block("german", 10), "German", &n);
  EXPECT_EQ(n.Text(10), "german 10");
  EXPECT_EQ(n.Text(11), "first 11");

  EngineMessages empty;
  LoadLanguageFile("", "German", &empty);
  EXPECT_EQ(empty.Text(msg::kOk), "&OK");
}

TEST(EngineMessages, LinesEndAtCrLfLfOrCr) {
  std::string text;
  for (int n = 1; n <= msg::kCount; ++n) {
    text += "t" + std::to_string(n) + (n % 3 == 0 ? "\r\n" : n % 3 == 1 ? "\n" : "\r");
  }
  EngineMessages m;
  LoadLanguageFile(text, "", &m);
  EXPECT_EQ(m.Text(1), "t1");
  EXPECT_EQ(m.Text(2), "t2");
  EXPECT_EQ(m.Text(3), "t3");
  EXPECT_EQ(m.Text(115), "t115");
  // An empty line is a text of its own (line 54 of the built-in set is one).
  EngineMessages e;
  LoadLanguageFile("one\r\n\r\nthree\r\n", "", &e);
  EXPECT_EQ(e.Text(2), "");
  EXPECT_EQ(e.Text(3), "three");
}

// A system whose locale facts a test chooses.
class Locale : public platform::SystemInfo {
 public:
  uint32_t user = 0, user_default = 0;
  uint32_t TickCount() override { return 0; }
  platform::LocalTime Now() override { return {}; }
  std::string TempFolder() override { return "C:\\Temp\\"; }
  std::string WindowsFolder() override { return "C:\\Windows"; }
  std::string SystemFolder() override { return "C:\\Windows\\system32"; }
  std::string ModulePath() override { return "C:\\setup.exe"; }
  platform::OsVersion Version() override { return {}; }
  bool Is64BitSystem() override { return false; }
  bool Is64BitProcess() override { return false; }
  bool RestrictToFirstProcessor() override { return true; }
  std::string ShortDateFormat() override { return ""; }
  std::string TimeFormat() override { return ""; }
  std::string FormatDate(const platform::LocalTime&, const std::string&) override { return ""; }
  std::string FormatTime(const platform::LocalTime&, const std::string&) override { return ""; }
  platform::Status GetEnvironment(const std::string&, std::string*) override {
    return platform::Status::kNotFound;
  }
  platform::Status SetEnvironment(const std::string&, const std::string&, bool) override {
    return platform::Status::kOk;
  }
  std::string ExpandEnvironment(const std::string& t) override { return t; }
  std::vector<std::pair<std::string, std::string>> EnvironmentBlock() override { return {}; }
  std::string ComputerName() override { return "PC"; }
  std::string UserName() override { return "User"; }
  uint32_t LastError() override { return 0; }
  std::string ErrorMessage(uint32_t) override { return ""; }
  std::string NewGuid() override { return ""; }
  uint32_t UserLocaleLanguage() override { return user; }
  uint32_t UserLocaleDefaultLanguage() override { return user_default; }
  std::string LocaleEnglishLanguage(uint32_t locale) override {
    switch (locale & 0x3FF) {
      case 0x07:
        return "German";
      case 0x09:
        return "English";
      case 0x0C:
        return "French";
      case 0x16:
        return "Portuguese";
      case 0x02:
        return "Bulgarian";
      default:
        return "";
    }
  }
};

TEST(LanguageNames, TableNamesAndTheSystemsEnglishNamesForOthers) {
  Locale sys;
  EXPECT_EQ(LanguageNameOfId(sys, 1031), "German");
  EXPECT_EQ(LanguageNameOfId(sys, 2070), "Portugese (Portugal)");
  EXPECT_EQ(LanguageNameOfId(sys, 2055), "German");   // Swiss German, through its English name
  EXPECT_EQ(LanguageNameOfId(sys, 3084), "French");   // French (Canada)
  EXPECT_EQ(LanguageNameOfId(sys, 2057), "English");  // English (United Kingdom)
  EXPECT_EQ(LanguageNameOfId(sys, 1026), "English");  // Bulgarian: not in the table
  EXPECT_EQ(LanguageNameOfId(sys, 2068), "English");  // a name the system does not know
  EXPECT_EQ(LanguageNameOfId(sys, 0), "English");

  EXPECT_EQ(LanguageIdOfName("german"), "1031");
  EXPECT_EQ(LanguageIdOfName("Chinese (PRC)"), "2052");
  EXPECT_EQ(LanguageIdOfName("Klingon"), "1033");
  EXPECT_EQ(LanguageIdOfName(""), "1033");

  sys.user = 2055;
  sys.user_default = 1036;
  EXPECT_EQ(UserLanguageName(sys), "German");
  EXPECT_EQ(UserDefaultLanguageName(sys), "French");
}

}  // namespace
}  // namespace corvane::image
