#include "interp/variables.h"

#include <gtest/gtest.h>

#include <thread>

namespace corvane::interp {
namespace {

TEST(VariableStore, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
  TVariableManager store;
  store.Set("title", "one");
  store.Set("TITLE", "two");
  EXPECT_EQ(store.Get("Title"), "two");
  EXPECT_EQ(store.size(), 1u);
  std::vector<std::string> listing;
  EXPECT_EQ(store.ListAll(&listing), 2u);
  EXPECT_EQ(listing[0], "title");
  // Letters of the 8-bit code page fold too: a-grave and A-grave are one name.
  store.Set("\xE0X", "1");
  EXPECT_TRUE(store.Exists("\xC0x"));
  // The empty name is never stored.
  store.Set("", "x");
  EXPECT_FALSE(store.Exists(""));
  EXPECT_EQ(store.Get(""), "");
}

TEST(VariableStore, ExpansionRules) {
  TVariableManager s;
  EXPECT_EQ(s.Expand("a$X$b"), "a$X$b");  // undefined stays
  s.Set("X", "1");
  EXPECT_EQ(s.Expand("a$X$b"), "a1b");
  // References inside inserted values are expanded in turn.
  s.Set("A", "$B$");
  s.Set("B", "x");
  EXPECT_EQ(s.Expand("$A$"), "x");
  // The dollar inserted from P opens the candidate " and " (undefined); the scan resumes at the
  // dollar that opens $X$.
  s.Set("P", "50$");
  s.Set("Y", "y");
  EXPECT_EQ(s.Expand("$P$ and $Y$"), "50$ and y");
  // $A$B$ with the first name undefined: the closing dollar opens $B$.
  TVariableManager t;
  t.Set("B", "v");
  EXPECT_EQ(t.Expand("$A$B$"), "$Av");
  // Adjacent and lone dollars stay; an empty candidate passes to the next dollar.
  EXPECT_EQ(t.Expand("$$"), "$$");
  EXPECT_EQ(t.Expand("cost: 5$"), "cost: 5$");
  EXPECT_EQ(t.Expand("$$B$"), "$v");
  // A name may be spelled in any case.
  EXPECT_EQ(t.Expand("[$b$]"), "[v]");
  // An inserted value that ends in a dollar can close a reference with text after it.
  t.Set("OPEN", "$");
  t.Set("B2", "two");
  EXPECT_EQ(t.Expand("$OPEN$B2$"), "two");
}

TEST(VariableStore, QuotedExpansionWrapsEachValue) {
  TVariableManager s;
  s.Set("A", "on");
  EXPECT_EQ(s.ExpandQuoted("$A$ = 1"), "\"on\" = 1");
  // A reference inside a value is expanded inside the value's own quotes.
  s.Set("R", "$A$!");
  EXPECT_EQ(s.ExpandQuoted("$R$"), "\"on!\"");
  EXPECT_EQ(s.ExpandQuoted("$NOPE$"), "$NOPE$");
  // Quotes inside a value are doubled: the value cannot change the expression around it.
  s.Set("Q", "x\" = \"x");
  EXPECT_EQ(s.ExpandQuoted("$Q$ = \"a\""), "\"x\"\" = \"\"x\" = \"a\"");
}

TEST(VariableStore, SelfReferenceStopsAtTheDepthLimit) {
  TVariableManager s;
  s.Set("A", "$A$");
  EXPECT_EQ(s.Expand("<$A$>"), "<$A$>");
  s.Set("L", "x$L$");
  ExpandLimits limits;
  std::string grown = s.Expand("$L$", limits);
  EXPECT_EQ(grown, std::string(static_cast<size_t>(limits.max_depth), 'x') + "$L$");
  // Mutual references end the same way.
  s.Set("M", "$N$");
  s.Set("N", "$M$");
  EXPECT_EQ(s.Expand("$M$"), "$M$");
  // A value referring to itself twice doubles at every level: the replacement budget ends it.
  s.Set("D", "$D$$D$");
  ExpandLimits small;
  small.max_replacements = 1000;
  std::string doubled = s.Expand("$D$", small);
  EXPECT_LT(doubled.size(), 10000u);
  // The size limit: no replacement makes the result longer than allowed.
  s.Set("BIG", std::string(100, 'b'));
  ExpandLimits tiny;
  tiny.max_result_bytes = 150;
  EXPECT_EQ(s.Expand("$BIG$$BIG$", tiny), std::string(100, 'b') + "$BIG$");
}

TEST(VariableStore, ConcurrentWritersAndReaders) {
  TVariableManager s;
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) s.Set("VORT_thProgress", std::to_string(i));
  });
  for (int i = 0; i < 20000; ++i) {
    std::string v = s.Expand("p=$VORT_thProgress$");
    ASSERT_EQ(v.rfind("p=", 0), 0u);
  }
  writer.join();
  EXPECT_EQ(s.Get("VORT_THPROGRESS"), "19999");
}

TEST(VariableStore, CountsChangesOfWatchedNamesOnly) {
  TVariableManager store;
  store.Watch("TITLE");
  uint64_t before = store.watched_changes();
  store.Set("OTHER", "1");
  store.Set("OTHER", "2");
  EXPECT_EQ(store.watched_changes(), before);
  store.Set("title", "A");  // defined: counted, whatever the spelling
  EXPECT_GT(store.watched_changes(), before);
  before = store.watched_changes();
  store.Set("Title", "A");  // the same value: nothing changed
  EXPECT_EQ(store.watched_changes(), before);
  store.Set("TITLE", "B");
  EXPECT_GT(store.watched_changes(), before);
  before = store.watched_changes();
  store.Clear();  // the watch survives a clear, which counts as a change
  EXPECT_GT(store.watched_changes(), before);
  before = store.watched_changes();
  store.Set("TITLE", "C");
  EXPECT_GT(store.watched_changes(), before);
  // Watching a name that is defined already counts from then on.
  store.Set("LATER", "x");
  store.Watch("later");
  before = store.watched_changes();
  store.Set("LATER", "y");
  EXPECT_GT(store.watched_changes(), before);
}

TEST(EngineVariables, SilentRunProtectsCommandLineNames) {
  Variables v;
  v.SetCommandLineAssignments({{"INSTALLDIR", "C:\\X"}});
  v.DefineVariable("INSTALLDIR", "C:\\X", kInjectOverrideCommandLine);
  v.SetSilent(true);
  v.SetVariable("installdir", "D:\\Other", "Set Variable Action");
  EXPECT_EQ(v.GetVariable("INSTALLDIR"), "C:\\X");
  v.SetVariable("installdir", "E:\\Y", kInjectOverrideCommandLine);
  EXPECT_EQ(v.GetVariable("INSTALLDIR"), "E:\\Y");
  // Values are not names: a variable named like a value stays writable.
  v.SetVariable("C:\\X", "1", "Set Variable Action");
  EXPECT_EQ(v.GetVariable("C:\\X"), "1");
  // A visible run protects nothing.
  v.SetSilent(false);
  v.SetVariable("INSTALLDIR", "D:\\Other", "Set Variable Action");
  EXPECT_EQ(v.GetVariable("INSTALLDIR"), "D:\\Other");
}

TEST(EngineVariables, SilentAssignmentDefinesUpperCasedNames) {
  Variables v;
  v.SetSilent(true);
  v.SetVariable("lower", "1", "x");
  std::vector<std::string> listing;
  v.store().ListAll(&listing);
  ASSERT_EQ(listing.size(), 2u);
  EXPECT_EQ(listing[0], "LOWER");
}

TEST(EngineVariables, SavedListHasNoDuplicates) {
  Variables v;
  v.AddSavedVariable("Name");
  v.AddSavedVariable("NAME");
  v.AddSavedVariable("Other");
  EXPECT_EQ(v.saved_variables(), (std::vector<std::string>{"Name", "Other"}));
}

TEST(Encodings, PathExpansion) {
  Variables v;
  v.SetVariable("SHARE", "\\\\server\\share\\", "x");
  EXPECT_EQ(v.ExpandPath("\\\\server\\share\\\\dir"), "\\\\server\\share\\dir");
  EXPECT_EQ(v.ExpandPath("$SHARE$\\sub"), "\\\\server\\share\\sub");
  EXPECT_EQ(v.ExpandPath("C:\\\\a\\\\\\b"), "C:\\a\\\\b");
  EXPECT_EQ(CollapseBackslashes("\\\\"), "\\\\");
  EXPECT_EQ(CollapseBackslashes("\\"), "\\");
}

TEST(Encodings, BooleansReferencesAndNewlines) {
  for (const char* t : {"true", "True", "TRUE", "-1"}) EXPECT_TRUE(TextToBool(t)) << t;
  for (const char* f : {"1", "yes", "", " TRUE", "-1 "}) EXPECT_FALSE(TextToBool(f)) << f;
  EXPECT_STREQ(BoolToText(true), "TRUE");

  EXPECT_EQ(UnwrapVariableReference("$NAME$"), "NAME");
  EXPECT_EQ(UnwrapVariableReference("NAME"), "");
  EXPECT_EQ(UnwrapVariableReference("$A$B$"), "");
  EXPECT_EQ(UnwrapVariableReference("$NAME"), "");
  EXPECT_EQ(UnwrapVariableReference("$$"), "");
  EXPECT_EQ(ResultVariableName("$R$"), "R");
  EXPECT_EQ(ResultVariableName("R"), "R");

  EXPECT_EQ(NewlinesToToken("a\r\nb\nc\r"), "a$NEWLINE$b\nc\r");
  EXPECT_EQ(TokenToNewlines("a$newline$b$NEWLINE$"), "a\r\nb\r\n");
  EXPECT_EQ(TokenToNewlines(NewlinesToToken("x\r\n\r\ny")), "x\r\n\r\ny");
}

}  // namespace
}  // namespace corvane::interp
