#include "ui/localisation.h"

#include <gtest/gtest.h>

#include "ui/translations.h"

namespace corvane::ui {
namespace {

// Four lists as the authoring tool writes them: a dialog caption and label, a command with two
// texts, a localization variable.
TranslationTables Tables() {
  return TranslationTables({"Welcome.dfm", "Welcome.dfm", "", "", ""},
                           {"Welcome.dfm", "Intro", "{C0A70000-0000-4000-8000-000000000003}",
                            "{next}", "CODEGEAR$Greeting$CODEGEAR"},
                           {"Willkommen", "Dieser Assistent", "Hallo", "Welt", "Guten Tag"},
                           {"Welcome", "This wizard", "Hello", "World", "Good day"});
}

TEST(Translations, CommandTextsByMode) {
  TranslationTables t = Tables();
  const std::string id = "{C0A70000-0000-4000-8000-000000000003}";
  // NEWONLY: only while the text is still the one that was translated.
  ASSERT_TRUE(t.TranslateCommandText("Hello", id, 1, TranslationMode::kNewOnly));
  EXPECT_EQ(*t.TranslateCommandText("Hello", id, 1, TranslationMode::kNewOnly), "Hallo");
  EXPECT_FALSE(t.TranslateCommandText("Hello again", id, 1, TranslationMode::kNewOnly));
  // Text 2 is the entry after the key's; the key compares ignoring letter case.
  EXPECT_EQ(*t.TranslateCommandText("World", platform::LowerCase(id), 2, TranslationMode::kNewOnly),
            "Welt");
  // Every text that has an entry, changed or not.
  EXPECT_EQ(*t.TranslateCommandText("Hello again", id, 1, TranslationMode::kAll), "Hallo");
  // VARSONLY: only localization variables.
  EXPECT_FALSE(t.TranslateCommandText("Hello", id, 1, TranslationMode::kVarsOnly));
  // The variable's name compares ignoring letter case; the key's markers are what they are.
  ASSERT_TRUE(t.TranslateCommandText("Good day", "CODEGEAR$GREETING$CODEGEAR", 1,
                                     TranslationMode::kVarsOnly));
  EXPECT_EQ(*t.TranslateCommandText("Good day", "CODEGEAR$GREETING$CODEGEAR", 1,
                                    TranslationMode::kVarsOnly),
            "Guten Tag");
  EXPECT_FALSE(t.TranslateCommandText("Good day", "codegear$Greeting$codegear", 1,
                                      TranslationMode::kVarsOnly));
  EXPECT_FALSE(t.TranslateCommandText("x", "{unknown}", 1, TranslationMode::kAll));
  EXPECT_FALSE(t.TranslateCommandText("x", id, 0, TranslationMode::kAll));
}

// Lists of unequal length: an index that one list lacks is no translation, never a read past
// its end.
TEST(Translations, ShortListsMeanNoTranslation) {
  TranslationTables t({"D.dfm"}, {"D.dfm", "Label", "{id}"}, {"Titel", "Text"}, {"Title"});
  EXPECT_FALSE(t.TranslateCommandText("x", "{id}", 1, TranslationMode::kAll));  // no entry 2
  EXPECT_FALSE(t.TranslateCommandText("Text", "Label", 1, TranslationMode::kNewOnly));  // no source
  EXPECT_EQ(*t.TranslateCommandText("y", "Label", 1, TranslationMode::kAll), "Text");
  EXPECT_FALSE(t.TranslateCommandText("y", "Label", 5, TranslationMode::kAll));
  ASSERT_TRUE(t.TranslateDialogText("d.DFM", "d.dfm"));
  EXPECT_EQ(*t.TranslateDialogText("d.DFM", "d.dfm"), "Titel");
  EXPECT_FALSE(t.TranslateDialogText("D.dfm", "Label")) << "no context for entry 2";
}

TEST(Translations, DialogTextsTakeTheFirstEntryOfTheirDialogAndControl) {
  TranslationTables t({"A.dfm", "B.dfm", "B.dfm"}, {"Intro", "Intro", "Intro"},
                      {"A intro", "B intro", "B again"}, {});
  EXPECT_EQ(*t.TranslateDialogText("b.dfm", "INTRO"), "B intro");
  EXPECT_FALSE(t.TranslateDialogText("C.dfm", "Intro"));
}

TEST(Translations, LineListsAndKeys) {
  EXPECT_EQ(SplitLineList("a\r\nb\nc\rd\r\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLineList("a\r\n\r\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_TRUE(SplitLineList("").empty());
  EXPECT_EQ(LocalizationKey("Greeting"), "CODEGEAR$Greeting$CODEGEAR");
  EXPECT_TRUE(IsLocalizationKey("CODEGEAR$x$CODEGEAR"));
  EXPECT_FALSE(IsLocalizationKey("CODEGEAR$x"));
}

TEST(Localisation, PreselectionPrefersTheUsersLanguageThenTheDefault) {
  const std::vector<std::string> names = {"Dutch", "English", "German"};
  EXPECT_EQ(PreselectedLanguage(names, "English", "German"), 2);
  EXPECT_EQ(PreselectedLanguage(names, "English", "French"), 1);
  EXPECT_EQ(PreselectedLanguage(names, "Klingon", "French"), 0);
  EXPECT_EQ(PreselectedLanguage(names, "English", "dutch"), 0);
}

}  // namespace
}  // namespace corvane::ui
