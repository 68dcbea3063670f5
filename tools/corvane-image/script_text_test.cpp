#include "tools/corvane-image/script_text.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "image/script_image.h"

namespace corvane::tools {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

image::ScriptImage Load(const std::string& text) {
  TextCompileResult r = CompileScriptText(text, "C:\\src\\test.zel");
  EXPECT_TRUE(r.ok) << r.error;
  image::ScriptImage image;
  image::ImageLoadResult lr = image::ParseScriptImage(r.image, &image);
  EXPECT_TRUE(lr.ok()) << lr.message;
  return image;
}

TEST(ScriptText, EveryFixtureDecompilesToItself) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(CORVANE_IMAGE_FIXTURES)) {
    if (entry.path().extension() != ".txt") continue;
    ++count;
    std::string text = ReadFile(entry.path());
    image::ScriptImage image = Load(text);
    EXPECT_EQ(DecompileScriptImage(image), text) << entry.path();
  }
  EXPECT_GE(count, 2);
}

TEST(ScriptText, CompilesIntoTheImageItems) {
  image::ScriptImage im = Load(ReadFile(fs::path(CORVANE_IMAGE_FIXTURES) / "full.txt"));
  EXPECT_EQ(im.title, "Caf\xE9 \"Deluxe\"");
  EXPECT_EQ(im.build_mode, 2);
  EXPECT_EQ(im.code_page, 1250);
  EXPECT_TRUE(image::IsPluginAction(im, "kmsiexec"));
  EXPECT_EQ(image::FindComponentSize(im, "Docs"), 6442450944LL);
  // Passwords are stored scrambled, not in clear.
  std::string stored = image::FindMediaPassword(im, "Block1");
  EXPECT_NE(stored, "s3cr\xE9t pass");
  EXPECT_EQ(image::DescrambleText(stored), "s3cr\xE9t pass");
  EXPECT_EQ(image::ExpandCompilerVariables(im, "#SingleInstance#"), "TRUE");
  // Command 0 sets DOLLAR to "$": stored as a token, read back as "$".
  EXPECT_EQ(image::GetCommandParameter(im, image::CommandId(im, 0), 2), "$");
  EXPECT_EQ(image::GetCommandParameter(im, image::CommandId(im, 1), 2), "");
  EXPECT_EQ(image::GetCommandParameter(im, image::CommandId(im, 2), 2), "say \"hi\"");
  // The command after the blank line keeps its line number; sources switch with .source-file.
  EXPECT_EQ(im.source_locations.At(3), "C:\\Projects\\Full\\full.zel*27");
  long wr = 14, inst = 15, plugin = 16;
  EXPECT_EQ(image::CommandName(im, wr), "Write Registry");
  EXPECT_EQ(image::GetCommandHeader(im, wr, true), "0A1B2C3D");
  EXPECT_TRUE(image::IsCommandDisabled(im, inst));
  EXPECT_EQ(image::GetCommandHeader(im, inst, true), "0000ABCD");
  EXPECT_EQ(im.command_media.At(inst), "Block1\\");
  EXPECT_EQ(im.source_locations.At(plugin), "C:\\Projects\\Full\\other.zel*41");
  // Identifiers are generated, unique and in order.
  EXPECT_EQ(image::CommandId(im, 3), GeneratedCommandId(3));
  EXPECT_EQ(im.command_ids.IndexOf(GeneratedCommandId(plugin)), plugin);
}

TEST(ScriptText, DefaultsAndEmptyParameterLists) {
  image::ScriptImage im = Load("End\nSet Variable \"A\"\n  Else   \n");
  EXPECT_EQ(im.command_count(), 3u);
  EXPECT_EQ(image::CommandName(im, 2), "Else");
  EXPECT_EQ(im.code_page, 1252);
  EXPECT_FALSE(im.offer_language_dialog);
  // A command without parameters has no pool entry at all.
  EXPECT_EQ(im.parameter_pool.size(), 2u);
  EXPECT_EQ(im.source_locations.At(0), "C:\\src\\test.zel*0");
}

TEST(ScriptText, ReportsTheLineOfAnError) {
  struct Case {
    const char* text;
    const char* error_start;
  } cases[] = {
      {"Set Variable \"A\" B\n", "1: parameters must be written in double quotes"},
      {"End\nSet Variable \"A\n", "2: unterminated quoted text"},
      {".title Hello\n", "1: 'Hello' must be written in double quotes"},
      {".build-mode \"2\"\n", "1: '2' is not a number"},
      {".code-page 99999999999\n", "1: the number is out of range"},
      {".nonsense \"x\"\n", "1: unknown directive .nonsense"},
      {".title \"a\" \"b\"\n", "1: unexpected text after the values"},
      {"[header 12] Install Files \"x\"\n", "1: header needs eight hexadecimal digits"},
      {"[disabled Install Files\n", "1: unknown attribute"},
      {"\"x\"\n", "1: a command needs a name"},
      {"Set Variable \"A\"\"\n", "1: unterminated quoted text"},
      {"Set Variable \"A\"\"B\" \"x\"y\n", "1: a quoted text must be followed by a blank"},
  };
  for (const Case& c : cases) {
    TextCompileResult r = CompileScriptText(c.text, "x");
    EXPECT_FALSE(r.ok) << c.text;
    EXPECT_EQ(r.error.rfind(c.error_start, 0), 0u) << c.text << " gave " << r.error;
  }
}

TEST(ScriptText, RefusesValuesTheImageCannotHold) {
  // A list value that is the terminator line itself.
  EXPECT_FALSE(CompileScriptText(".plugin \"$\"\n", "x").ok);
  EXPECT_FALSE(CompileScriptText(".compiler-variable \"A\" \"$\"\n", "x").ok);
  // A password long enough that its scrambled form would hold a line break is refused.
  std::string pw(40, '0');
  TextCompileResult r = CompileScriptText(".media-password \"b\" \"" + pw + "\"\n", "x");
  std::string stored = image::ScrambleText(pw);
  EXPECT_EQ(r.ok, stored.find_first_of("\r\n") == std::string::npos);
}

TEST(ScriptText, ToolAttachesAndDetachesAnImage) {
  fs::path dir = fs::temp_directory_path() / ("corvane-image-test-" + std::to_string(getpid()));
  fs::create_directories(dir);
  // A minimal PE file whose one section ends at 0x600.
  std::string pe(0x600, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = char(0x80), pe[0x80] = 'P', pe[0x81] = 'E';
  pe[0x86] = 1;                                  // one section
  pe[0x94] = char(0xF0);                         // optional header size
  size_t entry = 0x84 + 20 + 0xF0;
  pe[entry + 17] = 0x02;                         // SizeOfRawData 0x200
  pe[entry + 21] = 0x04;                         // PointerToRawData 0x400
  std::ofstream(dir / "engine.exe", std::ios::binary).write(pe.data(), pe.size());
  fs::copy_file(fs::path(CORVANE_IMAGE_FIXTURES) / "full.txt", dir / "full.txt");
  std::string tool = CORVANE_IMAGE_TOOL;
  auto run = [&](const std::string& args) {
    return std::system(("cd " + dir.string() + " && " + tool + " " + args).c_str());
  };
  ASSERT_EQ(run("compile full.txt image.bin"), 0);
  ASSERT_EQ(run("attach engine.exe image.bin setup.exe"), 0);
  EXPECT_EQ(ReadFile(dir / "setup.exe"), pe + ReadFile(dir / "image.bin"));
  EXPECT_NE(run("attach setup.exe image.bin twice.exe 2>/dev/null"), 0);
  ASSERT_EQ(run("detach setup.exe back.bin"), 0);
  EXPECT_EQ(ReadFile(dir / "back.bin"), ReadFile(dir / "image.bin"));
  EXPECT_NE(run("detach engine.exe none.bin 2>/dev/null"), 0);
  ASSERT_EQ(run("decompile back.bin out.txt"), 0);
  EXPECT_EQ(ReadFile(dir / "out.txt"), ReadFile(dir / "full.txt"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvane::tools
