#include "ui/components.h"

#include <gtest/gtest.h>

#include <map>

#include "image/failure.h"
#include "platform/text.h"

namespace corvane::ui {
namespace {

// Variables of a run as the component table sees them.
class MapVariables : public ComponentVariables {
 public:
  std::string Get(std::string_view name) override {
    auto it = values.find(platform::UpperCase(name));
    return it == values.end() ? "" : it->second;
  }
  void Set(std::string_view name, std::string_view value, std::string_view source) override {
    values[platform::UpperCase(name)] = std::string(value);
    sources[platform::UpperCase(name)] = std::string(source);
  }
  std::vector<std::string> SavedVariables() override { return saved; }
  void AppendSavedVariable(std::string_view name) override { saved.emplace_back(name); }

  std::map<std::string, std::string> values, sources;
  std::vector<std::string> saved;
};

TEST(Components, SizeTexts) {
  EXPECT_EQ(SizeText(0), "0 bytes");
  EXPECT_EQ(SizeText(1048575), "1,048,575 bytes");
  EXPECT_EQ(SizeText(1048576), "1,024 KB");
  EXPECT_EQ(SizeText(1073741823), "1,048,575 KB");
  EXPECT_EQ(SizeText(1073741824), "1,024 MB");
  EXPECT_EQ(SizeText(-1234567), "-1,234,567 bytes");
  EXPECT_EQ(SizeText(INT64_MIN), "-9,223,372,036,854,775,808 bytes");
  EXPECT_EQ(SizeText(999), "999 bytes");
  EXPECT_EQ(SizeText(5LL << 40, {"o", "Ko", "Mo"}), "5,242,880 Mo");
}

TEST(Components, DefineDeleteAndRedefine) {
  ComponentTable t;
  t.SetImageSizes({"Main", "1000", "Docs", "6442450944"});
  t.ResetForFirstRun();
  EXPECT_TRUE(t.GetState("vort-predef-component"));
  t.Define("Main", true, "first");
  t.Define("Docs", false, "docs");
  t.SetState("main", false);  // names differing in case are one component
  t.Define("MAIN", true, "second");
  EXPECT_FALSE(t.GetState("Main"));  // the selection made in between stays
  EXPECT_EQ(t.Description("Main"), "second");
  EXPECT_EQ(t.names().size(), 3u);
  t.Delete("Main");
  t.SetState("Main", true);          // a deleted component's stored state still changes
  EXPECT_FALSE(t.GetState("Main"));  // but it reads as not selected
  EXPECT_EQ(t.states()[1], "TRUE");
  t.Define("Main", false, "back");  // defining it again restores it
  EXPECT_TRUE(t.GetState("Main"));
  EXPECT_TRUE(t.deleted().empty());
  // Unknown names change nothing.
  t.Delete("Nothing");
  t.SetState("Nothing", true);
  t.SetChoice("Nothing", false);
  EXPECT_FALSE(t.GetState("Nothing"));
  EXPECT_TRUE(t.deleted().empty());
  EXPECT_TRUE(t.locked().empty());
  // A new component without an image size gets a "0" entry.
  t.Define("Extra", true, "");
  EXPECT_EQ(t.size_list().back(), "0");
}

TEST(Components, SizesAndRequiredSpace) {
  ComponentTable t;
  t.SetImageSizes({"Main", "1000", "Docs", "6442450944", "Broken", "x"});
  t.ResetForFirstRun();
  t.Define("Main", true, "");
  t.Define("Docs", true, "");
  t.Define("Off", false, "");
  EXPECT_EQ(t.Size("docs"), 6442450944LL);
  EXPECT_EQ(t.RequiredSpace(), 6442451944LL);  // above 2^32, exact
  t.Delete("Docs");
  EXPECT_EQ(t.RequiredSpace(), 1000);
  t.SetSpace("Main", "abc");  // not a number: ignored
  t.SetSpace("Unknown", "5");  // unknown: ignored
  t.SetSpace("main", "-250");
  EXPECT_EQ(t.Size("Main"), -250);
  t.set_installed_baseline(-250);
  EXPECT_EQ(t.RequiredSpace(), 0);
  // A size entry that is not a number makes the reading command fail.
  t.Define("Broken", true, "");
  EXPECT_THROW(t.RequiredSpace(), image::ScriptFailure);
}

TEST(Components, LockedAndHiddenFollowAncestors) {
  ComponentTable t;
  t.ResetForFirstRun();
  for (const char* n : {"Program", "Program\\Help", "Program\\Help\\Pictures", "Tools"}) {
    t.Define(n, false, "");
  }
  t.SetChoice("Program\\Help", false);
  t.SetChoice("Program\\Help", false);  // listed once
  EXPECT_EQ(t.locked().size(), 1u);
  EXPECT_TRUE(t.IsEffectivelyLocked("program\\help\\pictures"));
  EXPECT_FALSE(t.IsEffectivelyLocked("Program"));
  t.SetVisibility("Program", false);
  EXPECT_TRUE(t.IsEffectivelyHidden("Program\\Help"));
  t.SetVisibility("PROGRAM", true);
  EXPECT_FALSE(t.IsEffectivelyHidden("Program\\Help"));

  // Selecting with sub-components skips the locked branch.
  t.SelectWithChildren(t.Find("Program"), true, true);
  EXPECT_TRUE(t.GetState("Program"));
  EXPECT_FALSE(t.GetState("Program\\Help"));
  EXPECT_FALSE(t.GetState("Program\\Help\\Pictures"));
  t.SetChoice("Program\\Help", true);
  t.SelectWithChildren(t.Find("Program"), true, true);
  EXPECT_TRUE(t.GetState("Program\\Help\\Pictures"));

  // A check-list item applies to its component and those below it, not to a component whose
  // name merely begins with the item's text.
  t.Define("ProgramTools", true, "");
  EXPECT_FALSE(t.ApplyListItem("program", false));
  EXPECT_FALSE(t.GetState("Program\\Help"));
  EXPECT_TRUE(t.GetState("ProgramTools"));
  t.SetChoice("Program\\Help\\Pictures", false);
  EXPECT_FALSE(t.ApplyListItem("Program", true));  // the last match is locked and stays off
  EXPECT_TRUE(t.GetState("Program\\Help"));
  EXPECT_TRUE(t.GetState("ProgramTools"));
}

TEST(Components, DataFileRoundTrip) {
  ComponentTable t;
  t.SetImageSizes({"Main", "1000"});
  t.ResetForFirstRun();
  t.Define("Main", true, "");
  t.Define("Docs", false, "");
  t.Delete("Docs");
  t.SetVisibility("Main", false);
  t.SetChoice("Main", false);
  MapVariables vars;
  vars.Set("TARGETDIR", "C:\\App", "x");
  vars.Set("ALLUSERS", "TRUE", "x");
  vars.Set("STARTMENU", "Hello", "x");
  vars.Set("NOTES", "line one\r\nline two", "x");
  vars.Set("EMPTY", "", "x");
  vars.saved = {"NOTES", "EMPTY"};
  std::string text = t.Serialize(vars, {"", "x64", "D:\\Cache\\"});
  EXPECT_NE(text.find("NOTES\r\nline one$NEWLINE$line two\r\n"), std::string::npos);
  const std::string tail = "\r\n\r\nNOTES\r\nline one$NEWLINE$line two\r\nEMPTY\r\n\r\n"
                           "VORT64WOW\r\nx64\r\nOVERRIDECACHE\r\nD:\\Cache\\\r\n";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);  // empty fourth line, then the pairs

  // A selection load restores states, sets and variables, and lists the saved names again.
  ComponentTable u;
  u.ResetForFirstRun();
  u.Define("main", false, "");
  u.Define("Docs", true, "");
  u.Define("Other", true, "");
  MapVariables loaded;
  loaded.saved = {"NOTES"};
  std::string platform_text;
  u.Load(text, ComponentTable::LoadKind::kSelection, loaded, &platform_text);
  EXPECT_TRUE(u.GetState("Main"));
  EXPECT_FALSE(u.GetState("Docs"));  // deleted in the file
  EXPECT_TRUE(u.GetState("Other"));  // not in the file: keeps its state
  EXPECT_EQ(u.hidden(), std::vector<std::string>{"Main"});
  EXPECT_EQ(u.locked(), std::vector<std::string>{"Main"});
  EXPECT_EQ(loaded.Get("TARGETDIR"), "C:\\App");
  EXPECT_EQ(loaded.sources["TARGETDIR"], "LoadComponents");
  EXPECT_EQ(loaded.Get("NOTES"), "line one$NEWLINE$line two");  // the value as written
  EXPECT_EQ(loaded.saved, (std::vector<std::string>{"NOTES", "NOTES", "EMPTY"}));
  EXPECT_EQ(platform_text, "x64");
  EXPECT_EQ(loaded.Get("OVERRIDECACHE"), "D:\\Cache\\");  // stored, but not a saved name

  // A cache load appends the sections to the table's own lists.
  ComponentTable c;
  MapVariables cache_vars;
  c.Load(text, ComponentTable::LoadKind::kCache, cache_vars, nullptr);
  EXPECT_EQ(c.names(), t.names());
  EXPECT_EQ(c.states(), t.states());
  EXPECT_EQ(c.size_list(), t.size_list());
  ComponentTable n;
  n.Load(text, ComponentTable::LoadKind::kCacheWithoutSizes, cache_vars, nullptr);
  EXPECT_TRUE(n.size_list().empty());
  EXPECT_EQ(n.deleted(), std::vector<std::string>{"Docs"});
}

// Any line break in a saved value would shift every pair after it: all of them are written as
// references to NEWLINE, and a file whose pairs do not pair up is refused as a whole.
TEST(Components, LineBreaksInValuesNeverShiftThePairs) {
  ComponentTable t;
  t.ResetForFirstRun();
  t.Define("Main", true, "");
  MapVariables vars;
  vars.Set("TARGETDIR", "C:\\A\nB", "x");
  vars.Set("LF", "a\nb", "x");
  vars.Set("CR", "c\rd\r\n", "x");
  vars.Set("KEEP", "kept", "x");
  vars.saved = {"LF", "CR", "KEEP"};
  std::string text = t.Serialize(vars, {"", "x64", ""});
  EXPECT_NE(text.find("\r\nLF\r\na$NEWLINE$b\r\nCR\r\nc$NEWLINE$d$NEWLINE$\r\nKEEP\r\nkept\r\n"),
            std::string::npos)
      << text;
  ComponentTable u;
  u.ResetForFirstRun();
  MapVariables loaded;
  std::string platform_text;
  u.Load(text, ComponentTable::LoadKind::kSelection, loaded, &platform_text);
  EXPECT_EQ(loaded.Get("TARGETDIR"), "C:\\A$NEWLINE$B");
  EXPECT_EQ(loaded.Get("KEEP"), "kept");
  EXPECT_EQ(platform_text, "x64");

  // A value broken by hand into two lines: nothing of the file is applied.
  std::string damaged = text;
  damaged.replace(damaged.find("a$NEWLINE$b"), 11, "a\r\nb");
  ComponentTable d;
  d.ResetForFirstRun();
  d.Define("Main", false, "");
  MapVariables none;
  std::string no_platform = "untouched";
  d.Load(damaged, ComponentTable::LoadKind::kSelection, none, &no_platform);
  EXPECT_FALSE(d.GetState("Main"));
  EXPECT_TRUE(none.values.empty());
  EXPECT_EQ(no_platform, "untouched");
}

TEST(Components, ShortFilesApplyWhatTheyHave) {
  ComponentTable t;
  t.ResetForFirstRun();
  t.Define("A", false, "");
  t.SetChoice("A", false);
  MapVariables vars;
  // Two sections only: states apply, the missing sets become empty, no variable is set.
  t.Load("A\r\n$\r\nTRUE\r\n$\r\n", ComponentTable::LoadKind::kSelection, vars, nullptr);
  EXPECT_TRUE(t.GetState("A"));
  EXPECT_TRUE(t.locked().empty());
  EXPECT_TRUE(vars.values.empty());
  // Cut short after the sections: only the variables present are set.
  t.Load("$\n$\n$\n$\n$\n$\nC:\\T\n", ComponentTable::LoadKind::kSelection, vars, nullptr);
  EXPECT_EQ(vars.Get("TARGETDIR"), "C:\\T");
  EXPECT_EQ(vars.values.count("ALLUSERS"), 0u);
}

}  // namespace
}  // namespace corvane::ui
