#include "interp/handlers.h"

#include <gtest/gtest.h>

#include <set>

#include "image/failure.h"
#include "interp/program.h"
#include "interp/testing/script_harness.h"

namespace corvane::interp {
namespace {

TEST(CommandTable, TheIndexHasNoDuplicateNames) {
  std::set<std::string> names;
  for (const char* name : kCommandIndex) {
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(names.insert(name).second) << name;
  }
  EXPECT_EQ(names.size(), 103u);
}

// Every name of the command index that this build links has exactly one handler: either the loop
// handles it itself, or exactly one row of the table does. Names whose handlers are not linked
// into this build are listed, not failed.
TEST(CommandTable, EveryIndexedNameHasExactlyOneHandler) {
  const HandlerTable& table = GlobalHandlerTable();
  EXPECT_TRUE(table.duplicates().empty()) << ::testing::PrintToString(table.duplicates());
  std::vector<std::string> without;
  for (const char* name : kCommandIndex) {
    CommandKind kind = KindOfName(name);
    const bool loop_handles = kind != CommandKind::kOther && kind != CommandKind::kDisplayDialog;
    CommandHandler handler = table.Find(name);
    if (loop_handles) {
      EXPECT_EQ(handler, nullptr) << name << " is handled by the loop and must have no row";
    } else if (!handler) {
      without.push_back(name);
    }
  }
  // Every row belongs to an indexed name.
  std::set<std::string> indexed(std::begin(kCommandIndex), std::end(kCommandIndex));
  for (const std::string& name : table.names()) EXPECT_TRUE(indexed.count(name)) << name;
  // The interpreter core's own rows are always there.
  for (const char* core : {"Set Variable", "Evaluate Expression", "Terminate Install",
                           "Terminate with Exit Code", "Display Dialog"}) {
    EXPECT_NE(table.Find(core), nullptr) << core;
  }
  std::string listing;
  for (const auto& n : without) listing += "\n  " + n;
  std::printf("%zu of %zu indexed names have no handler linked in this build:%s\n", without.size(),
              std::size(kCommandIndex), listing.c_str());
}

void First(CommandContext&) {}
void Second(CommandContext&) {}

TEST(CommandTable, SecondRowForANameIsReported) {
  HandlerTable table;
  table.Add("Run Program", First, "programs.cpp");
  table.Add("Run Program", Second, "other.cpp");
  EXPECT_EQ(table.Find("Run Program"), &First);
  EXPECT_EQ(table.Find("run program"), nullptr);  // names are exact
  ASSERT_EQ(table.duplicates().size(), 1u);
  EXPECT_EQ(table.duplicates()[0], "Run Program (other.cpp, first in programs.cpp)");
  table.SetPluginHandler(First, "plugins.cpp");
  table.SetPluginHandler(Second, "again.cpp");
  EXPECT_EQ(table.plugin_handler(), &First);
  EXPECT_EQ(table.duplicates().size(), 2u);
}

// The parameter accessor: each encoding read through a handler.
struct Seen {
  std::string raw, expanded, path, result, name, past_end, id;
  bool flag = false;
};
Seen* g_seen = nullptr;

void ReadParams(CommandContext& ctx) {
  const Params& p = ctx.params();
  g_seen->raw = p.Raw(1);
  g_seen->expanded = p.Expanded(1);
  g_seen->path = p.Path(2);
  g_seen->flag = p.Bool(3);
  g_seen->result = p.ResultName(4);
  g_seen->name = p.Name(4);
  g_seen->past_end = p.Raw(5);
  g_seen->id = p.Raw(0);
}

TEST(Parameters, EveryEncodingThroughOneAccessor) {
  Seen seen;
  g_seen = &seen;
  testing::ScriptHarness h;
  h.handlers.Override("Probe", ReadParams);
  testing::ScriptRun run = h.Run(R"(
    Set Variable "DIR" "\\server\share\"
    Set Variable "YES" "true"
    Probe "a$DIR$b" "$DIR$\sub" "$YES$" "$OUT$"
    Set Variable "NEXT" "x"
  )");
  ASSERT_EQ(run.text_error, "");
  EXPECT_EQ(seen.raw, "a$DIR$b");
  EXPECT_EQ(seen.expanded, "a\\\\server\\share\\b");
  // Three backslashes in a row: the first pair becomes one, the third stays.
  EXPECT_EQ(seen.path, "\\\\server\\share\\sub");
  EXPECT_TRUE(seen.flag);
  EXPECT_EQ(seen.result, "OUT");
  EXPECT_EQ(seen.name, "OUT");  // a plain name written as a reference names the variable
  // A parameter the command does not have is empty, not the next command's identifier.
  EXPECT_EQ(seen.past_end, "");
  EXPECT_EQ(seen.id.front(), '{');
}

TEST(Parameters, CommandsWithoutParametersAndTheLastCommand) {
  image::ScriptImage image;
  image.command_names = image::HashedList({"End", "Set Variable"});
  image.command_ids = image::HashedList({"{1}", "{2}"});
  image.disabled_marks = image::HashedList({"", "C"});
  image.parameter_pool = image::HashedList({"{2}", "NAME", "value"});
  Program program(image);
  EXPECT_EQ(program.Parameter(0, 1), "");
  EXPECT_EQ(program.Parameter(1, 0), "{2}");
  EXPECT_EQ(program.Parameter(1, 2), "value");
  EXPECT_EQ(program.Parameter(1, 3), "");  // past the end of the pool: empty
  EXPECT_TRUE(program.at(1).disabled);
  EXPECT_EQ(program.at(0).kind, CommandKind::kEnd);
  EXPECT_THROW(program.at(2), image::ListIndexFailure);
}

// Where parameters start: the last pool line equal to the identifier (ignoring case), in the
// first pool that has one; they run to the next line where any command's parameters start. The
// same whether the lists are read in the image's bytes or hold lines of their own.
TEST(Parameters, StartAtTheLastEqualLineOfTheFirstPoolThatHasIt) {
  const std::vector<std::string> names = {"Set Variable", "Set Variable", "Comment",
                                          "Set Variable", "Set Variable"};
  const std::vector<std::string> ids = {"{A}", "{B}", "{C}", "{a}", "{D}"};
  const std::vector<std::string> marks(5, "");
  // Out of command order, with a repeated identifier and an unused first entry for {B}.
  const std::vector<std::string> pool = {"{B}", "b1", "{A}", "a1", "a2", "{b}", "b2", "{C}"};
  const std::vector<std::string> second = {"{D}", "d1", "{A}", "never"};
  auto in_bytes = [](const std::vector<std::string>& lines) {
    auto text = std::make_shared<std::string>();
    for (const auto& l : lines) *text += l + "\r\n";
    return image::HashedList(text, *text, *text);
  };
  for (bool section : {false, true}) {
    SCOPED_TRACE(section ? "read in place" : "own lines");
    image::ScriptImage image;
    image.command_names = section ? in_bytes(names) : image::HashedList(names);
    image.command_ids = section ? in_bytes(ids) : image::HashedList(ids);
    image.disabled_marks = section ? in_bytes(marks) : image::HashedList(marks);
    image::HashedList first = section ? in_bytes(pool) : image::HashedList(pool);
    image::HashedList other = section ? in_bytes(second) : image::HashedList(second);
    Program program(image, {&first, &other});
    EXPECT_EQ(program.Parameter(0, 0), "{A}");
    EXPECT_EQ(program.Parameter(0, 1), "a1");
    EXPECT_EQ(program.Parameter(0, 2), "a2");
    EXPECT_EQ(program.Parameter(0, 3), "");  // the next start ends them
    EXPECT_EQ(program.Parameter(1, 0), "{b}");
    EXPECT_EQ(program.Parameter(1, 1), "b2");
    EXPECT_EQ(program.Parameter(1, 2), "");
    EXPECT_EQ(program.Parameter(2, 0), "{C}");
    EXPECT_EQ(program.Parameter(2, 1), "");  // the last line of the pool
    EXPECT_EQ(program.Parameter(3, 1), "a1");
    EXPECT_EQ(program.Parameter(4, 1), "d1");
    // Only the starts of commands found in that pool end a command's parameters there.
    EXPECT_EQ(program.Parameter(4, 2), "{A}");
    EXPECT_EQ(program.Parameter(4, 3), "never");
    EXPECT_EQ(program.Parameter(0, -1), "");
  }
  // A list of identifiers shorter than the names is the failure of the first command it lacks.
  image::ScriptImage short_ids;
  short_ids.command_names = image::HashedList(names);
  short_ids.command_ids = image::HashedList({"{A}", "{B}"});
  short_ids.disabled_marks = image::HashedList(marks);
  try {
    Program program(short_ids);
    ADD_FAILURE() << "no failure";
  } catch (const image::ListIndexFailure& failure) {
    EXPECT_STREQ(failure.what(), "List index out of bounds (2)");
  }
}

}  // namespace
}  // namespace corvane::interp
