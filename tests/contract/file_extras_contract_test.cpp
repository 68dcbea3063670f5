// The extra file services against both implementations: INI lookups, short names and the
// lookup of a short name, temporary files.
#include <memory>

#include "platform/path_forms.h"
#include "platform/profile.h"
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using ProfileContract = ContractTest;
using PathFormsContract = ContractTest;

TEST_F(ProfileContract, LookupRules) {
  std::string ini = At("app.ini");
  ASSERT_EQ(Files().WriteFile(ini,
                              "[General]\r\n"
                              "Name = Corvane Tool \r\n"
                              "Quoted=\"  spaced  \"\r\n"
                              "Single='x'\r\n"
                              "Eq=a=b\r\n"
                              "Dup=first\r\n"
                              "Dup=second\r\n"
                              "Long=abcdefgh\r\n"
                              "[Other]\r\n"
                              "name=other\r\n"),
            Status::kOk);
  auto r = CreateProfileReader(P());
  EXPECT_EQ(r->GetString(ini, "general", "NAME", "", 100), "Corvane Tool");
  EXPECT_EQ(r->GetString(ini, "General", "Quoted", "", 100), "  spaced  ");
  EXPECT_EQ(r->GetString(ini, "General", "Single", "", 100), "x");
  EXPECT_EQ(r->GetString(ini, "General", "Eq", "", 100), "a=b");
  EXPECT_EQ(r->GetString(ini, "General", "Dup", "", 100), "first");
  EXPECT_EQ(r->GetString(ini, "Other", "name", "", 100), "other");
  EXPECT_EQ(r->GetString(ini, "General", "Long", "", 5), "abcd");
  EXPECT_EQ(r->GetString(ini, "General", "Missing", "dflt", 100), "dflt");
  EXPECT_EQ(r->GetString(ini, "Missing", "Name", "dflt", 100), "dflt");
  EXPECT_EQ(r->GetString(At("none.ini"), "General", "Name", "dflt", 100), "dflt");
}

// A file saved as UTF-16LE with its byte order mark is read as text, and what it holds comes back
// in the engine's code page.
TEST_F(ProfileContract, Utf16FileWithByteOrderMark) {
  std::u16string text =
      u"\xFEFF; saved as Unicode\r\n"
      u"[General]\r\n"
      u"Name = Caf\u00E9 \u20AC \r\n"
      u"Quoted=\"\u00C4pfel\"\r\n"
      u"\u00C4rger=umlaut key\r\n"
      u"[Zw\u00F6lf]\r\n"
      u"Key=twelve";  // the last line has no line break
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  std::string ini = At("unicode.ini");
  ASSERT_EQ(Files().WriteFile(ini, bytes), Status::kOk);
  auto r = CreateProfileReader(P());
  EXPECT_EQ(r->GetString(ini, "General", "Name", "", 100), "Caf\xE9 \x80");
  EXPECT_EQ(r->GetString(ini, "general", "QUOTED", "", 100), "\xC4pfel");
  EXPECT_EQ(r->GetString(ini, "General", "\xC4rger", "", 100), "umlaut key");
  EXPECT_EQ(r->GetString(ini, "Zw\xF6lf", "Key", "", 100), "twelve");
  EXPECT_EQ(r->GetString(ini, "General", "Name", "", 4), "Caf");  // counted in characters
  EXPECT_EQ(r->GetString(ini, "General", "Missing", "dflt", 100), "dflt");
  // A mark and nothing else is an empty file.
  ASSERT_EQ(Files().WriteFile(ini, std::string("\xFF\xFE", 2)), Status::kOk);
  EXPECT_EQ(r->GetString(ini, "General", "Name", "dflt", 100), "dflt");
}

TEST_F(ProfileContract, BareNameIsInTheWindowsFolder) {
  std::string path = Sys().WindowsFolder() + "\\corvane-contract.ini";
  ASSERT_EQ(Files().WriteFile(path, "[S]\r\nK=v\r\n"), Status::kOk);
  auto r = CreateProfileReader(P());
  std::string value = r->GetString("corvane-contract.ini", "S", "K", "", 100);
  Files().DeleteFile(path);
  EXPECT_EQ(value, "v");
}

TEST_F(PathFormsContract, ShortNamesAndTheirLookup) {
  ASSERT_EQ(Files().CreateDirectories(At("Long Folder Name")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("Long Folder Name\\Another Long File.text"), "x"), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("SHORT.TXT"), "x"), Status::kOk);
  auto forms = CreatePathForms(P());
  std::string short_path;
  ASSERT_EQ(forms->GetShortPath(At("Long Folder Name\\Another Long File.text"), &short_path),
            Status::kOk);
  std::string file = short_path.substr(short_path.rfind('\\') + 1);
  EXPECT_LE(file.size(), 12u) << short_path;
  EXPECT_EQ(file.find(' '), std::string::npos) << short_path;
  // The short name finds the long one.
  std::string name;
  ASSERT_EQ(forms->FindFirstName(short_path, &name), Status::kOk);
  EXPECT_EQ(name, "Another Long File.text");
  ASSERT_EQ(forms->FindFirstName(At("long folder name"), &name), Status::kOk);
  EXPECT_EQ(name, "Long Folder Name");
  // A name that is a short name already stays as it is.
  ASSERT_EQ(forms->GetShortPath(At("SHORT.TXT"), &short_path), Status::kOk);
  EXPECT_TRUE(short_path.ends_with("\\SHORT.TXT")) << short_path;
  EXPECT_EQ(forms->GetShortPath(At("missing file.txt"), &short_path), Status::kNotFound);
  EXPECT_EQ(forms->FindFirstName(At("missing*.txt"), &name), Status::kNotFound);
}

TEST_F(PathFormsContract, TemporaryFiles) {
  auto forms = CreatePathForms(P());
  std::string a, b;
  ASSERT_EQ(forms->CreateTempFile(scratch_, "zelong", &a), Status::kOk);
  ASSERT_EQ(forms->CreateTempFile(scratch_ + "\\", "zel", &b), Status::kOk);
  EXPECT_NE(a, b);
  for (const std::string& path : {a, b}) {
    EXPECT_EQ(path.rfind(scratch_ + "\\zel", 0), 0u) << path;
    EXPECT_TRUE(path.ends_with(".tmp")) << path;
    uint64_t size = 1;
    EXPECT_EQ(Files().GetFileSize(path, &size), Status::kOk);
    EXPECT_EQ(size, 0u);
  }
  std::string none;
  EXPECT_NE(forms->CreateTempFile(At("no such folder"), "zel", &none), Status::kOk);
}

}  // namespace
}  // namespace corvane::contract
