#include "image/script_image.h"

#include <gtest/gtest.h>

#include "image/failure.h"

namespace corvane::image {
namespace {

// Writes an image item by item, so that these tests do not depend on the authoring tools.
struct RawImage {
  std::vector<std::string> names, ids, pool, marks, plugins, passwords, media, components,
      support, headers, compiler_vars, locations;
  std::string product = "{11111111-2222-3333-4444-555555555555}", title = "Hello",
              version = "1.0.0", build_mode = "0", language_flag = "FALSE", code_page = "1252";

  void Command(const std::string& name, const std::vector<std::string>& params,
               const std::string& mark = "") {
    std::string id = "{C0A70000-0000-4000-8000-" + std::string(11, '0') +
                     std::to_string(names.size()) + "}";
    names.push_back(name);
    ids.push_back(id);
    marks.push_back(mark);
    media.push_back("");
    locations.push_back("C:\\proj\\setup.zel*" + std::to_string(names.size() + 1));
    if (!params.empty()) {
      pool.push_back(id);
      pool.insert(pool.end(), params.begin(), params.end());
    }
  }

  std::string Bytes() const {
    std::string out;
    auto line = [&](const std::string& s) { out += s + "\r\n"; };
    auto section = [&](const std::vector<std::string>& v) {
      for (const auto& s : v) line(s);
      line("$");
    };
    section(names), section(ids), section(pool), section(marks);
    line(product), line(title), section(plugins);
    for (int i = 0; i < 5; ++i) line("item " + std::to_string(8 + i));
    line(version), section(passwords), section(media), line(build_mode), section(components);
    line("{99999999-2222-3333-4444-555555555555}"), section(support), line(language_flag);
    line("English"), section(headers), section(compiler_vars), line(code_page), section(locations);
    return out;
  }

  ScriptImage Load() const {
    ScriptImage image;
    ImageLoadResult r = ParseScriptImage(Bytes(), &image);
    EXPECT_TRUE(r.ok()) << r.message;
    return image;
  }
};

TEST(ScriptImage, ReadsEveryItem) {
  RawImage raw;
  raw.Command("Set Variable", {"A", "1"});
  raw.Command("End", {}, "C");
  raw.plugins = {"kMSIExec", "MyAction"};
  raw.passwords = {"offline", ScrambleText("pw")};
  raw.components = {"Main", "1024"};
  raw.support = {"Block1", "bin\\a.exe", "bin"};
  raw.headers = {"0A1B2C3D", "0"};
  raw.compiler_vars = {"UAC", "requireAdministrator"};
  raw.build_mode = "2";
  raw.language_flag = "TRUE";
  raw.code_page = " 1250 ";
  ScriptImage im = raw.Load();
  ASSERT_EQ(im.command_count(), 2u);
  EXPECT_EQ(CommandName(im, 0), "Set Variable");
  EXPECT_FALSE(IsCommandDisabled(im, 0));
  EXPECT_TRUE(IsCommandDisabled(im, 1));
  EXPECT_EQ(im.title, "Hello");
  EXPECT_EQ(im.title_for_files, "Hello");
  EXPECT_EQ(im.publisher, "item 8");
  EXPECT_EQ(im.comments, "item 12");
  EXPECT_EQ(im.version, "1.0.0");
  EXPECT_EQ(im.build_mode, ScriptImage::kWebBuild);
  EXPECT_TRUE(im.offer_language_dialog);
  EXPECT_EQ(im.default_language, "English");
  EXPECT_EQ(im.code_page, 1250);
  EXPECT_EQ(im.support_files.size(), 3u);
  EXPECT_EQ(im.source_locations.At(1), "C:\\proj\\setup.zel*3");
  EXPECT_THROW(CommandName(im, 2), ListIndexFailure);
}

TEST(ScriptImage, LanguageFlagIsTrueOnlyForExactTrue) {
  RawImage raw;
  raw.language_flag = "true";
  EXPECT_FALSE(raw.Load().offer_language_dialog);
}

TEST(ScriptImage, ParameterLookup) {
  RawImage raw;
  raw.Command("Set Variable", {"A", "$DOLLAR$"});
  raw.Command("Set Variable", {"B", "$wild_dollar$"});
  raw.Command("Set Variable", {"C", "x$DOLLAR$", " $DOLLAR$"});
  raw.Command("Else", {});
  ScriptImage im = raw.Load();
  // Whole-line dollar tokens (any letter case) become "$"; tokens inside longer values stay.
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 0), 2), "$");
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 1), 2), "$");
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 2), 2), "x$DOLLAR$");
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 2), 3), " $DOLLAR$");
  // Number 0 is the identifier line itself; the identifier is matched ignoring case.
  std::string id(CommandId(im, 0));
  EXPECT_EQ(GetCommandParameter(im, id, 0), id);
  EXPECT_EQ(GetCommandParameter(im, "{c0a70000-0000-4000-8000-000000000000}", 1), "A");
  // A command without parameters has no pool entry: its parameters are empty.
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 3), 1), "");
  // The pool keeps no count: asking past one command's parameters reads on into the next entry,
  // and past the end of the pool is a list index failure.
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 0), 3), CommandId(im, 1));
  EXPECT_THROW(GetCommandParameter(im, CommandId(im, 2), 4), ListIndexFailure);
}

TEST(ScriptImage, ParameterLookupTakesTheFirstPoolThatHasTheIdAndTheLastEqualLine) {
  HashedList first({"{A}", "one", "{B}", "two", "{A}", "three"});
  HashedList second({"{C}", "four"});
  EXPECT_EQ(GetCommandParameter({&first, &second}, "{a}", 1), "three");
  EXPECT_EQ(GetCommandParameter({&first, &second}, "{C}", 1), "four");
  EXPECT_EQ(GetCommandParameter({&first, &second}, "{D}", 1), "");
}

TEST(ScriptImage, HashedListFindsLastOfEqualLinesAfterChanges) {
  HashedList l({"a", "B", "A"});
  EXPECT_EQ(l.IndexOf("a"), 2);
  EXPECT_EQ(l.IndexOf("b"), 1);
  l.Set(2, "c");
  EXPECT_EQ(l.IndexOf("A"), 0);
  EXPECT_EQ(l.IndexOf("C"), 2);
  l.Add("\xE9t\xE9");
  EXPECT_EQ(l.IndexOf("\xC9T\xC9"), 3);
  HashedList copy = l;
  EXPECT_EQ(copy.IndexOf("c"), 2);
  HashedList moved = std::move(copy);
  EXPECT_EQ(moved.IndexOf("\xC9t\xE9"), 3);
}

// Lists read from an image point into its bytes and split them only when used; every way of
// reading them must see the same lines as a plain split would.
TEST(ScriptImage, ListsReadInTheirSectionMatchTheSplitLines) {
  auto bytes = std::make_shared<const std::string>("x\r\na\r\n\r\nb\nc\r\r\nlast");
  const std::string_view all(*bytes);
  const std::vector<std::string_view> expected = {"a", "", "b", "c\r", "last"};
  HashedList fresh(bytes, all, all.substr(3));
  EXPECT_EQ(fresh.size(), 5u);  // counted without splitting
  std::vector<std::string_view> walked;
  std::vector<size_t> offsets;
  fresh.Walk([&](std::string_view line, size_t offset) {
    walked.push_back(line);
    offsets.push_back(offset);
  });
  EXPECT_EQ(walked, expected);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(fresh.LineAfter(offsets[0], static_cast<long>(i)), expected[i]);
    EXPECT_EQ(fresh.LineAfter(offsets[i], 0), expected[i]);
  }
  EXPECT_EQ(fresh.LineAfter(offsets[0], 5), "");
  // Split by a lookup: the same lines and the same offsets.
  EXPECT_EQ(fresh.IndexOf("B"), 2);
  EXPECT_EQ(fresh.lines(), expected);
  std::vector<size_t> split_offsets;
  fresh.Walk([&](std::string_view, size_t offset) { split_offsets.push_back(offset); });
  EXPECT_EQ(split_offsets, offsets);
  EXPECT_TRUE(fresh.InSection());

  // A copy shares the bytes and owns what was added; both outlive the original.
  HashedList changed(bytes, all, all.substr(3));
  changed.Add("added");
  EXPECT_FALSE(changed.InSection());
  HashedList copy = changed;
  HashedList moved = std::move(changed);
  bytes.reset();
  EXPECT_EQ(copy.At(5), "added");
  EXPECT_EQ(moved.IndexOf("LAST"), 4);
  EXPECT_EQ(copy.IndexOf("ADDED"), 5);
  EXPECT_EQ(moved.size(), 6u);
}

TEST(ScriptImage, ParsedImagesKeepTheirBytesAndUnusedSectionsStayWhole) {
  RawImage raw;
  raw.Command("Set Variable", {"A", "$DOLLAR$"});
  raw.Command("Set Variable", {"B", "2"});
  ScriptImage im;
  {
    const std::string text = raw.Bytes();  // gone before the image is read
    ASSERT_TRUE(ParseScriptImage(text, &im).ok());
  }
  EXPECT_EQ(im.command_count(), 2u);
  EXPECT_EQ(CommandName(im, 1), "Set Variable");
  EXPECT_EQ(im.source_locations.At(1), "C:\\proj\\setup.zel*3");
  // A replaced dollar token makes the pool a list of its own lines.
  EXPECT_FALSE(im.parameter_pool.InSection());
  EXPECT_EQ(im.parameter_pool.At(2), "$");
  EXPECT_TRUE(im.command_names.InSection());
}

TEST(ScriptImage, CompilerVariables) {
  RawImage raw;
  raw.compiler_vars = {"A", "#B#", "B", "x", "TITLE", "first", "title", "second",
                       "SELF", "#SELF#", "P", "#Q#y", "Q", "#P#y"};
  ScriptImage im = raw.Load();
  EXPECT_EQ(ExpandCompilerVariables(im, "#SINGLEINSTANCE#"), "#SINGLEINSTANCE#");
  EXPECT_EQ(ExpandCompilerVariables(im, "no placeholders"), "no placeholders");
  // A placeholder whose value is another placeholder expands in a second pass.
  EXPECT_EQ(ExpandCompilerVariables(im, "[#a#]"), "[x]");
  // Two pairs with one name are both applied, the earlier first.
  EXPECT_EQ(ExpandCompilerVariables(im, "#Title#"), "first");
  // A variable whose value is its own placeholder stops after one pass.
  EXPECT_EQ(ExpandCompilerVariables(im, "#SELF#"), "#SELF#");
  // Two placeholders that keep feeding each other stop at the pass limit instead of hanging.
  std::string grown = ExpandCompilerVariables(im, "#P#");
  EXPECT_NE(grown.find('#'), std::string::npos);
  EXPECT_LT(grown.size(), 1000u);
}

TEST(ScriptImage, CommandHeaders) {
  RawImage raw;
  raw.Command("Install Files", {"x"});
  raw.Command("Write Registry", {"y"});
  raw.headers = {"0A1B2C3D", "0", "DEADBEEF", "1", "0BADF00D", "1"};
  ScriptImage im = raw.Load();
  EXPECT_EQ(GetCommandHeader(im, 0, true), "0A1B2C3D");
  EXPECT_EQ(GetCommandHeader(im, 1, true), "0BADF00D");  // the last pair for an index wins
  EXPECT_EQ(GetCommandHeader(im, 7, false), "");
  try {
    GetCommandHeader(im, 7, true);
    FAIL() << "a missing header must raise";
  } catch (const ScriptFailure& f) {
    EXPECT_STREQ(f.what(), "Unable to obtain command headers. Please rebuild your project.");
  }
}

TEST(ScriptImage, ComponentSizesAndPasswords) {
  RawImage raw;
  raw.components = {"Main", "1024", "Docs", "6442450944", "1024", "5"};
  raw.passwords = {"offline", ScrambleText("fallback"), "Block1", ScrambleText("s3cr\xE9t")};
  ScriptImage im = raw.Load();
  EXPECT_EQ(FindComponentSize(im, "main"), 1024);
  EXPECT_EQ(FindComponentSize(im, "DOCS"), 6442450944LL);  // above 2^32
  EXPECT_EQ(FindComponentSize(im, "Missing"), 0);
  // Every line is compared, sizes included: "1024" first matches Main's size line.
  EXPECT_EQ(FindComponentSize(im, "1024"), 0);  // the line after it is "Docs", not a number
  EXPECT_EQ(DescrambleText(FindMediaPassword(im, "block1")), "s3cr\xE9t");
  EXPECT_EQ(DescrambleText(FindMediaPassword(im, "OFFLINE")), "fallback");
  // Names are looked up at even positions only.
  EXPECT_EQ(FindMediaPassword(im, ScrambleText("fallback")), "");
  EXPECT_EQ(FindMediaPassword(im, "Block2"), "");
}

TEST(ScriptImage, DescramblingFollowsTheStoredForm) {
  // "A" is 0x41: digits "1" (low) then "4" (high), each XOR-ed with its position.
  std::string stored = {static_cast<char>('1' ^ 0), static_cast<char>('4' ^ 1)};
  EXPECT_EQ(ScrambleText("A"), stored);
  EXPECT_EQ(DescrambleText(stored), "A");
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string twice = all + all;  // positions past 255 wrap in the XOR
  EXPECT_EQ(DescrambleText(ScrambleText(twice)), twice);
  EXPECT_EQ(DescrambleText(""), "");
  EXPECT_EQ(DescrambleText(stored + "x"), "A");  // an odd last character is ignored
}

TEST(ScriptImage, PluginActionTest) {
  RawImage raw;
  raw.plugins = {"kMSIExec", "Unzip Files"};
  ScriptImage im = raw.Load();
  EXPECT_TRUE(IsPluginAction(im, "KMSIEXEC"));
  EXPECT_TRUE(IsPluginAction(im, "unzip files"));
  EXPECT_FALSE(IsPluginAction(im, "Unzip"));
}

TEST(ScriptImage, DamagedImagesAreUnusable) {
  RawImage raw;
  raw.Command("Set Variable", {"A", "1"});
  const std::string good = raw.Bytes();
  ScriptImage im;
  EXPECT_EQ(ParseScriptImage("", &im).status, ImageStatus::kNoImage);
  // Every truncation point gives a clean failure, never a partial image.
  for (size_t n = 1; n < good.size() - 4; n += 3) {
    ImageLoadResult r = ParseScriptImage(good.substr(0, n), &im);
    ASSERT_FALSE(r.ok()) << "cut at " << n;
    EXPECT_EQ(im.command_count(), 0u);
  }
  RawImage bad_mode = raw;
  bad_mode.build_mode = "two";
  EXPECT_EQ(ParseScriptImage(bad_mode.Bytes(), &im).status, ImageStatus::kReadFailure);
  RawImage bad_cp = raw;
  bad_cp.code_page = "";
  EXPECT_EQ(ParseScriptImage(bad_cp.Bytes(), &im).status, ImageStatus::kReadFailure);
  // Text after the last item is ignored; bare LF line breaks are read too.
  EXPECT_TRUE(ParseScriptImage(good + "trailing\r\n", &im).ok());
  std::string lf = good;
  for (size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
  ASSERT_TRUE(ParseScriptImage(lf, &im).ok());
  EXPECT_EQ(GetCommandParameter(im, CommandId(im, 0), 2), "1");
}

}  // namespace
}  // namespace corvane::image
