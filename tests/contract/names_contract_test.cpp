// How paths name entries beyond their long names: short (8.3) names in every part of a path and
// in listing patterns, and the reserved device names.
#include <algorithm>

#include "platform/path_forms.h"
#include "platform/text.h"
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using NamesContract = ContractTest;

std::vector<std::string> SortedNames(const std::vector<FileEntry>& entries) {
  std::vector<std::string> names;
  for (const FileEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

std::string LastPart(const std::string& path) { return path.substr(path.rfind('\\') + 1); }
std::string Parent(const std::string& path) { return path.substr(0, path.rfind('\\')); }

// The short form that the system hands out reaches the long entry in every operation, the
// folder part and the file part alike. The systems form short names differently, so the test
// only ever uses the form it was given.
TEST_F(NamesContract, ShortNamesResolveInEveryOperation) {
  const std::string folder = At("Long Folder Name");
  ASSERT_EQ(Files().CreateDirectory(folder), Status::kOk);
  ASSERT_EQ(Files().WriteFile(folder + "\\Another Long File.text", "abc"), Status::kOk);
  ASSERT_EQ(Files().WriteFile(folder + "\\second long name.txt", "second"), Status::kOk);
  auto forms = CreatePathForms(P());
  std::string file_short, second_short;
  ASSERT_EQ(forms->GetShortPath(folder + "\\Another Long File.text", &file_short), Status::kOk);
  ASSERT_EQ(forms->GetShortPath(folder + "\\second long name.txt", &second_short), Status::kOk);
  const std::string folder_short = Parent(file_short);
  ASSERT_NE(LastPart(folder_short), "Long Folder Name") << file_short;
  ASSERT_NE(LastPart(file_short), "Another Long File.text") << file_short;
  ASSERT_NE(LastPart(file_short), LastPart(second_short));

  // Reading and asking through the short form.
  std::string back;
  ASSERT_EQ(Files().ReadFile(file_short, &back), Status::kOk);
  EXPECT_EQ(back, "abc");
  EXPECT_TRUE(Files().FileExists(file_short));
  EXPECT_TRUE(Files().DirectoryExists(folder_short));
  EXPECT_TRUE(Files().DirectoryExists(folder_short + "\\"));
  uint64_t size = 0;
  ASSERT_EQ(Files().GetFileSize(file_short, &size), Status::kOk);
  EXPECT_EQ(size, 3u);
  int64_t when = 0;
  EXPECT_EQ(Files().GetLastWriteTime(file_short, &when), Status::kOk);
  // The folder listed by its short path reports the long names.
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(folder_short, "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries),
            (std::vector<std::string>{"Another Long File.text", "second long name.txt"}));

  // Writing through the short form changes the long entry and makes no second one.
  Status s;
  {
    auto f = Files().Open(file_short, OpenMode::kAppend, &s);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Write("d", 1), Status::kOk);
    // The same file, whichever name opens it: a second writer is turned away.
    EXPECT_EQ(Files().Open(folder + "\\another long file.text", OpenMode::kAppend, &s), nullptr);
    EXPECT_EQ(s, Status::kAccessDenied);
  }
  ASSERT_EQ(Files().ReadFile(folder + "\\Another Long File.text", &back), Status::kOk);
  EXPECT_EQ(back, "abcd");
  ASSERT_EQ(Files().WriteFile(file_short, "new"), Status::kOk);
  ASSERT_EQ(Files().WriteFile(folder_short + "\\added.txt", "added"), Status::kOk);
  ASSERT_EQ(Files().List(folder, "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Another Long File.text", "added.txt",
                                                            "second long name.txt"}));
  ASSERT_EQ(Files().ReadFile(folder + "\\Another Long File.text", &back), Status::kOk);
  EXPECT_EQ(back, "new");

  // Attributes set through one form are seen through the other.
  ASSERT_EQ(Files().SetAttributes(file_short, attr::kHidden), Status::kOk);
  uint32_t a = 0;
  ASSERT_EQ(Files().GetAttributes(folder + "\\Another Long File.text", &a), Status::kOk);
  EXPECT_NE(a & attr::kHidden, 0u);
  ASSERT_EQ(Files().SetAttributes(folder + "\\Another Long File.text", attr::kNormal), Status::kOk);

  // Copy, move and delete by the short form.
  ASSERT_EQ(Files().CopyFile(file_short, At("copy.txt"), true), Status::kOk);
  ASSERT_EQ(Files().ReadFile(At("copy.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "new");
  ASSERT_EQ(Files().MoveFile(second_short, At("moved.txt"), false), Status::kOk);
  EXPECT_FALSE(Files().FileExists(folder + "\\second long name.txt"));
  ASSERT_EQ(Files().ReadFile(At("moved.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "second");
  ASSERT_EQ(Files().DeleteFile(file_short), Status::kOk);
  EXPECT_FALSE(Files().FileExists(folder + "\\Another Long File.text"));
  ASSERT_EQ(Files().DeleteFile(folder_short + "\\added.txt"), Status::kOk);
  ASSERT_EQ(Files().RemoveDirectory(folder_short), Status::kOk);
  EXPECT_FALSE(Files().DirectoryExists(folder));
  EXPECT_FALSE(Files().DirectoryExists(folder_short));
}

TEST_F(NamesContract, WhichNamesHaveAShortForm) {
  auto forms = CreatePathForms(P());
  std::string short_path;
  // A name that fits 8.3 keeps its form and its letter case: it has no other name.
  for (const char* name : {"lower.txt", "Mixed.Txt", "UPPER.TXT", "noext"}) {
    ASSERT_EQ(Files().WriteFile(At(name), name), Status::kOk);
    ASSERT_EQ(forms->GetShortPath(At(name), &short_path), Status::kOk);
    EXPECT_EQ(LastPart(short_path), name) << short_path;
  }
  // Other names get a short form of 8.3 upper-case characters.
  for (const char* name : {"a b.txt", "abcdefghi", "page.html", "two.dots.txt", ".profile"}) {
    ASSERT_EQ(Files().WriteFile(At(name), name), Status::kOk);
    ASSERT_EQ(forms->GetShortPath(At(name), &short_path), Status::kOk);
    std::string part = LastPart(short_path);
    size_t dot = part.find('.');
    EXPECT_LE(dot == std::string::npos ? part.size() : dot, 8u) << short_path;
    if (dot != std::string::npos) {
      EXPECT_LE(part.size() - dot - 1, 3u) << short_path;
    }
    EXPECT_EQ(part.find_first_of(" abcdefghijklmnopqrstuvwxyz"), std::string::npos) << short_path;
    std::string back;
    ASSERT_EQ(Files().ReadFile(short_path, &back), Status::kOk);
    EXPECT_EQ(back, name);
  }
  // A short form that names nothing is not found, in the file part or the folder part.
  std::string back;
  EXPECT_EQ(Files().ReadFile(At("NOSUCH~1.TXT"), &back), Status::kNotFound);
  EXPECT_EQ(Files().WriteFile(At("NOSUCH~1\\x.txt"), "x"), Status::kNotFound);
}

// A listing pattern matches an entry by its long name or by its short name, as the system's own
// wildcard search does: "*.htm" finds "page.html", whose short name ends in ".HTM".
TEST_F(NamesContract, WildcardsMatchShortNamesToo) {
  for (const char* name : {"page.html", "notes.txt1", "plain.txt", "Long Name.text", "readme"}) {
    ASSERT_EQ(Files().WriteFile(At(name), name), Status::kOk);
  }
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(scratch_, "*.htm", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"page.html"}));
  ASSERT_EQ(Files().List(scratch_, "*.txt", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"notes.txt1", "plain.txt"}));
  ASSERT_EQ(Files().List(scratch_, "*.TEX", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Long Name.text"}));
  // Only the names that have a short form of their own hold a "~".
  ASSERT_EQ(Files().List(scratch_, "*~*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries),
            (std::vector<std::string>{"Long Name.text", "notes.txt1", "page.html"}));
  // A short name is matched whole, never as a cut long name.
  ASSERT_EQ(Files().List(scratch_, "page.htm", &entries), Status::kOk);
  EXPECT_TRUE(entries.empty()) << entries.front().name;
  ASSERT_EQ(Files().List(scratch_, "*.tx", &entries), Status::kOk);
  EXPECT_TRUE(entries.empty()) << entries.front().name;

  // The short name itself, in any letter case, finds its entry (and the lookup of a name does).
  auto forms = CreatePathForms(P());
  std::string short_path;
  ASSERT_EQ(forms->GetShortPath(At("Long Name.text"), &short_path), Status::kOk);
  for (const std::string& pattern : {LastPart(short_path), LowerCase(LastPart(short_path))}) {
    ASSERT_EQ(Files().List(scratch_, pattern, &entries), Status::kOk);
    EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Long Name.text"})) << pattern;
  }
  std::string name;
  ASSERT_EQ(forms->FindFirstName(At("*.htm"), &name), Status::kOk);
  EXPECT_EQ(name, "page.html");
  ASSERT_EQ(forms->FindFirstName(scratch_ + "\\" + LastPart(short_path), &name), Status::kOk);
  EXPECT_EQ(name, "Long Name.text");
}

// NUL, CON, PRN, AUX, COM1-COM9 and LPT1-LPT9 name devices, in any folder, in any letter case,
// with any extension and with blanks or dots after the name: these are the rules of the classic
// systems, which recent Windows releases narrow for the names other than NUL. Only NUL is used
// here for data: the others would reach the console, ports and printers of the machine.
TEST_F(NamesContract, DeviceNames) {
  ASSERT_EQ(Files().CreateDirectory(At("dir")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("src.txt"), "source"), Status::kOk);
  for (const char* name : {"nul", "NUL", "nul.txt", "Nul.tar.gz", "nul ", "nul. .", "nul .log",
                           "dir\\nul"}) {
    SCOPED_TRACE(name);
    const std::string path = At(name);
    // The full path of a device is the device's own.
    std::string device = name;
    device = device.substr(device.rfind('\\') == std::string::npos ? 0 : device.rfind('\\') + 1);
    device = device.substr(0, 3);
    EXPECT_EQ(Files().GetFullPath(path), "\\\\.\\" + device);
    // Writing succeeds and keeps nothing; reading gives nothing.
    EXPECT_EQ(Files().WriteFile(path, "data"), Status::kOk);
    std::string back = "left over";
    EXPECT_EQ(Files().ReadFile(path, &back), Status::kOk);
    EXPECT_EQ(back, "");
    Status s;
    {
      auto f = Files().Open(path, OpenMode::kCreateNew, &s);  // the device is there, not a file
      ASSERT_TRUE(f);
      EXPECT_EQ(s, Status::kOk);
      uint64_t n = 7;
      EXPECT_EQ(f->Write("abc", 3), Status::kOk);
      EXPECT_EQ(f->Size(&n), Status::kOk);
      EXPECT_EQ(n, 0u);
      auto again = Files().Open(path, OpenMode::kAppend, &s);  // no sharing rules for a device
      EXPECT_TRUE(again);
    }
    // It exists, as a file that has no size and cannot be deleted.
    uint32_t a = 0;
    EXPECT_EQ(Files().GetAttributes(path, &a), Status::kOk);
    EXPECT_EQ(a & attr::kDirectory, 0u);
    EXPECT_TRUE(Files().FileExists(path));
    EXPECT_FALSE(Files().DirectoryExists(path));
    uint64_t size = 0;
    EXPECT_NE(Files().GetFileSize(path, &size), Status::kOk);
    EXPECT_NE(Files().DeleteFile(path), Status::kOk);
    // A copy to the device succeeds, a move there fails and keeps its source.
    EXPECT_EQ(Files().CopyFile(At("src.txt"), path, false), Status::kOk);
    EXPECT_EQ(Files().CopyFile(At("src.txt"), path, true), Status::kOk);
    EXPECT_NE(Files().MoveFile(At("src.txt"), path, true), Status::kOk);
    EXPECT_TRUE(Files().FileExists(At("src.txt")));
    // It is no folder: nothing can be listed in it or made there.
    std::vector<FileEntry> entries;
    EXPECT_EQ(Files().List(path, "*", &entries), Status::kNotFound);
    Files().CreateDirectory(path);  // reported differently by the systems; nothing is made
    EXPECT_FALSE(Files().DirectoryExists(path));
    EXPECT_EQ(Files().WriteFile(path + "\\x.txt", "x"), Status::kNotFound);
  }
  // Colons after the name are dropped, as the old "NUL:" spelling wants.
  EXPECT_EQ(Files().GetFullPath(At("nul:")), "\\\\.\\nul");
  EXPECT_EQ(Files().WriteFile(At("nul:"), "data"), Status::kOk);
  // None of the other device names makes a folder either.
  for (const char* name : {"con", "CON.txt", "prn", "aux", "com1", "Lpt9.dat", "dir\\com5"}) {
    EXPECT_NE(Files().CreateDirectory(At(name)), Status::kOk) << name;
    EXPECT_FALSE(Files().DirectoryExists(At(name))) << name;
    uint32_t a = 0;
    EXPECT_EQ(Files().GetAttributes(At(name), &a), Status::kOk) << name;
  }
  // Nothing of all that shows in a listing.
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(scratch_, "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"dir", "src.txt"}));
  ASSERT_EQ(Files().List(At("dir"), "*", &entries), Status::kOk);
  EXPECT_TRUE(entries.empty());

  // Names that only look like devices are ordinary files; so is a device name as a folder part.
  for (const char* name : {"com10", "nulx", "xnul", "con_", "nul-x.txt", "lpt"}) {
    ASSERT_EQ(Files().WriteFile(At(name), name), Status::kOk) << name;
    EXPECT_EQ(Files().GetFullPath(At(name)), At(name));
  }
  ASSERT_EQ(Files().List(scratch_, "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"com10", "con_", "dir", "lpt",
                                                            "nul-x.txt", "nulx", "src.txt",
                                                            "xnul"}));
  EXPECT_EQ(Files().WriteFile(At("nul\\inner.txt"), "x"), Status::kNotFound);
}

}  // namespace
}  // namespace corvane::contract
