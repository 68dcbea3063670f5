#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using FilesContract = ContractTest;

std::vector<std::string> SortedNames(const std::vector<FileEntry>& entries) {
  std::vector<std::string> names;
  for (const FileEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FilesContract, CreateReadWriteAppend) {
  std::string path = At("data.bin");
  std::string content("line one\r\n\0\xFF", 12);
  ASSERT_EQ(Files().WriteFile(path, content), Status::kOk);
  std::string back;
  ASSERT_EQ(Files().ReadFile(path, &back), Status::kOk);
  EXPECT_EQ(back, content);

  Status s;
  {
    auto f = Files().Open(path, OpenMode::kAppend, &s);
    ASSERT_EQ(s, Status::kOk);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Write("tail", 4), Status::kOk);
  }
  ASSERT_EQ(Files().ReadFile(path, &back), Status::kOk);
  EXPECT_EQ(back, content + "tail");
  uint64_t size = 0;
  ASSERT_EQ(Files().GetFileSize(path, &size), Status::kOk);
  EXPECT_EQ(size, content.size() + 4);

  {
    auto f = Files().Open(path, OpenMode::kReadWrite, &s);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Seek(5), Status::kOk);
    ASSERT_EQ(f->Write("ONE", 3), Status::kOk);
    ASSERT_EQ(f->Seek(0), Status::kOk);
    char buf[8];
    size_t got = 0;
    ASSERT_EQ(f->Read(buf, 8, &got), Status::kOk);
    EXPECT_EQ(std::string(buf, got), "line ONE");
    ASSERT_EQ(f->Seek(100), Status::kOk);
    ASSERT_EQ(f->Read(buf, 8, &got), Status::kOk);
    EXPECT_EQ(got, 0u);  // past the end
    ASSERT_EQ(f->Flush(), Status::kOk);
  }

  // kCreate truncates, kCreateNew refuses an existing file, kRead needs one.
  {
    auto f = Files().Open(path, OpenMode::kCreate, &s);
    ASSERT_TRUE(f);
    uint64_t n = 99;
    ASSERT_EQ(f->Size(&n), Status::kOk);
    EXPECT_EQ(n, 0u);
  }
  EXPECT_EQ(Files().Open(path, OpenMode::kCreateNew, &s), nullptr);
  EXPECT_EQ(s, Status::kAlreadyExists);
  EXPECT_EQ(Files().Open(At("missing.txt"), OpenMode::kRead, &s), nullptr);
  EXPECT_EQ(s, Status::kNotFound);
  EXPECT_EQ(Files().Open(At("no\\such\\folder.txt"), OpenMode::kCreate, &s), nullptr);
  EXPECT_EQ(s, Status::kNotFound);
  EXPECT_EQ(Files().ReadFile(At("missing.txt"), &back), Status::kNotFound);
  // kAppend creates a missing file.
  {
    auto f = Files().Open(At("new.log"), OpenMode::kAppend, &s);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Write("x", 1), Status::kOk);
  }
  EXPECT_TRUE(Files().FileExists(At("new.log")));
}

TEST_F(FilesContract, DeleteCopyMove) {
  ASSERT_EQ(Files().WriteFile(At("a.txt"), "alpha"), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("b.txt"), "beta"), Status::kOk);

  EXPECT_EQ(Files().CopyFile(At("a.txt"), At("b.txt"), true), Status::kAlreadyExists);
  ASSERT_EQ(Files().CopyFile(At("a.txt"), At("b.txt"), false), Status::kOk);
  std::string back;
  ASSERT_EQ(Files().ReadFile(At("b.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "alpha");
  EXPECT_EQ(Files().CopyFile(At("nothing.txt"), At("c.txt"), false), Status::kNotFound);

  ASSERT_EQ(Files().WriteFile(At("c.txt"), "gamma"), Status::kOk);
  EXPECT_EQ(Files().MoveFile(At("c.txt"), At("a.txt"), false), Status::kAlreadyExists);
  ASSERT_EQ(Files().MoveFile(At("c.txt"), At("a.txt"), true), Status::kOk);
  ASSERT_EQ(Files().ReadFile(At("a.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "gamma");
  EXPECT_FALSE(Files().FileExists(At("c.txt")));

  // A folder moves with its contents.
  ASSERT_EQ(Files().CreateDirectory(At("dir")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("dir\\inner.txt"), "in"), Status::kOk);
  ASSERT_EQ(Files().MoveFile(At("dir"), At("moved"), false), Status::kOk);
  EXPECT_FALSE(Files().DirectoryExists(At("dir")));
  ASSERT_EQ(Files().ReadFile(At("moved\\inner.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "in");
  EXPECT_EQ(Files().MoveFile(At("gone"), At("x"), false), Status::kNotFound);

  ASSERT_EQ(Files().DeleteFile(At("a.txt")), Status::kOk);
  EXPECT_FALSE(Files().FileExists(At("a.txt")));
  EXPECT_EQ(Files().DeleteFile(At("a.txt")), Status::kNotFound);
  EXPECT_EQ(Files().DeleteFile(At("moved")), Status::kAccessDenied);  // a folder
}

TEST_F(FilesContract, ListingWithWildcards) {
  for (const char* name : {"one.txt", "Two.TXT", "three.log", "four.txt.bak", "noext"}) {
    ASSERT_EQ(Files().WriteFile(At(name), name), Status::kOk);
  }
  ASSERT_EQ(Files().CreateDirectory(At("sub")), Status::kOk);
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(scratch_, "*.txt", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Two.TXT", "one.txt"}));
  for (const FileEntry& e : entries) {
    EXPECT_EQ(e.size, e.name.size());
    EXPECT_EQ(e.attributes & attr::kDirectory, 0u);
    EXPECT_GT(e.last_write, 0);
  }

  ASSERT_EQ(Files().List(scratch_, "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Two.TXT", "four.txt.bak", "noext",
                                                            "one.txt", "sub", "three.log"}));
  auto sub = std::find_if(entries.begin(), entries.end(),
                          [](const FileEntry& e) { return e.name == "sub"; });
  ASSERT_NE(sub, entries.end());
  EXPECT_NE(sub->attributes & attr::kDirectory, 0u);

  ASSERT_EQ(Files().List(scratch_, "t??.*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"Two.TXT"}));
  ASSERT_EQ(Files().List(scratch_, "*ext", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"noext"}));
  ASSERT_EQ(Files().List(scratch_ + "\\", "THREE.LOG", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"three.log"}));
  ASSERT_EQ(Files().List(scratch_, "*.none", &entries), Status::kOk);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(Files().List(At("missing"), "*", &entries), Status::kNotFound);
}

// "/" is a separator in a folder path, as "\\" is; a listing pattern holding either is refused,
// so that the names listed always belong to the folder named.
TEST_F(FilesContract, ForwardSlashesInPathsAndPatterns) {
  ASSERT_EQ(Files().WriteFile(At("outside.txt"), "o"), Status::kOk);
  ASSERT_EQ(Files().CreateDirectory(At("cache")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("cache\\inside.txt"), "i"), Status::kOk);
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(scratch_ + "\\/cache/", "*.*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"inside.txt"}));
  ASSERT_EQ(Files().List(scratch_ + "/cache", "*", &entries), Status::kOk);
  EXPECT_EQ(SortedNames(entries), (std::vector<std::string>{"inside.txt"}));
  EXPECT_TRUE(Files().FileExists(scratch_ + "\\/cache/inside.txt"));
  EXPECT_TRUE(Files().DirectoryExists(scratch_ + "/cache/"));

  EXPECT_EQ(Files().List(scratch_ + "\\", "/cache/*.*", &entries), Status::kInvalidName);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(Files().List(scratch_, "cache\\*.*", &entries), Status::kInvalidName);
  EXPECT_EQ(Files().List(scratch_, "cache/inside.txt", &entries), Status::kInvalidName);

  EXPECT_EQ(Files().DeleteFile(scratch_ + "/cache/inside.txt"), Status::kOk);
  EXPECT_FALSE(Files().FileExists(At("cache\\inside.txt")));
  EXPECT_TRUE(Files().FileExists(At("outside.txt")));
}

TEST_F(FilesContract, Folders) {
  EXPECT_EQ(Files().CreateDirectory(At("x\\y")), Status::kNotFound);  // parent missing
  ASSERT_EQ(Files().CreateDirectories(At("x\\y\\z")), Status::kOk);
  EXPECT_TRUE(Files().DirectoryExists(At("x\\y\\z")));
  EXPECT_EQ(Files().CreateDirectories(At("x\\y\\z\\")), Status::kOk);  // exists already
  EXPECT_EQ(Files().CreateDirectory(At("x\\y")), Status::kAlreadyExists);
  ASSERT_EQ(Files().WriteFile(At("x\\y\\z\\f.txt"), "f"), Status::kOk);
  EXPECT_EQ(Files().CreateDirectories(At("x\\y\\z\\f.txt")), Status::kAlreadyExists);
  EXPECT_FALSE(Files().DirectoryExists(At("x\\y\\z\\f.txt")));
  EXPECT_TRUE(Files().FileExists(At("x\\y\\z\\f.txt")));
  EXPECT_FALSE(Files().FileExists(At("x\\y")));

  EXPECT_EQ(Files().RemoveDirectory(At("x\\y\\z")), Status::kNotEmpty);
  EXPECT_EQ(Files().RemoveDirectory(At("x")), Status::kNotEmpty);
  ASSERT_EQ(Files().DeleteFile(At("x\\y\\z\\f.txt")), Status::kOk);
  ASSERT_EQ(Files().RemoveDirectory(At("x\\y\\z")), Status::kOk);
  EXPECT_FALSE(Files().DirectoryExists(At("x\\y\\z")));
  EXPECT_EQ(Files().RemoveDirectory(At("x\\y\\z")), Status::kNotFound);
}

TEST_F(FilesContract, Attributes) {
  std::string path = At("attr.txt");
  ASSERT_EQ(Files().WriteFile(path, "a"), Status::kOk);
  uint32_t a = 0;
  ASSERT_EQ(Files().GetAttributes(path, &a), Status::kOk);
  EXPECT_EQ(a & (attr::kReadOnly | attr::kHidden | attr::kDirectory), 0u);

  ASSERT_EQ(Files().SetAttributes(path, attr::kReadOnly | attr::kHidden), Status::kOk);
  ASSERT_EQ(Files().GetAttributes(path, &a), Status::kOk);
  EXPECT_EQ(a & (attr::kReadOnly | attr::kHidden), attr::kReadOnly | attr::kHidden);
  // A read-only file may be read but not deleted. (That it cannot be opened for writing either
  // is checked by the simulation's own tests: Wine running as root lets such a write through.)
  EXPECT_EQ(Files().DeleteFile(path), Status::kAccessDenied);
  std::string back;
  ASSERT_EQ(Files().ReadFile(path, &back), Status::kOk);
  EXPECT_EQ(back, "a");

  ASSERT_EQ(Files().SetAttributes(path, attr::kNormal), Status::kOk);
  ASSERT_EQ(Files().GetAttributes(path, &a), Status::kOk);
  EXPECT_EQ(a & (attr::kReadOnly | attr::kHidden), 0u);
  // A hidden file may be opened to write. (That creating over it is refused is checked by the
  // simulation's own tests: Wine does not refuse.)
  ASSERT_EQ(Files().SetAttributes(path, attr::kHidden), Status::kOk);
  {
    Status s2;
    auto f = Files().Open(path, OpenMode::kAppend, &s2);
    EXPECT_TRUE(f);
    EXPECT_EQ(s2, Status::kOk);
  }
  ASSERT_EQ(Files().SetAttributes(path, attr::kNormal), Status::kOk);
  EXPECT_EQ(Files().DeleteFile(path), Status::kOk);

  // Attributes travel with a file that is copied or whose folder is moved.
  ASSERT_EQ(Files().CreateDirectory(At("folder")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("folder\\h.txt"), "h"), Status::kOk);
  ASSERT_EQ(Files().SetAttributes(At("folder\\h.txt"), attr::kHidden), Status::kOk);
  ASSERT_EQ(Files().CopyFile(At("folder\\h.txt"), At("copy.txt"), true), Status::kOk);
  ASSERT_EQ(Files().GetAttributes(At("copy.txt"), &a), Status::kOk);
  EXPECT_NE(a & attr::kHidden, 0u);
  ASSERT_EQ(Files().MoveFile(At("folder"), At("moved"), false), Status::kOk);
  ASSERT_EQ(Files().GetAttributes(At("moved\\h.txt"), &a), Status::kOk);
  EXPECT_NE(a & attr::kHidden, 0u);
  ASSERT_EQ(Files().WriteFile(At("folder\\h.txt"), "new"), Status::kNotFound);

  ASSERT_EQ(Files().GetAttributes(scratch_, &a), Status::kOk);
  EXPECT_NE(a & attr::kDirectory, 0u);
  EXPECT_EQ(Files().GetAttributes(At("none"), &a), Status::kNotFound);
  EXPECT_EQ(a, attr::kInvalid);
  EXPECT_EQ(Files().SetAttributes(At("none"), attr::kNormal), Status::kNotFound);
}

TEST_F(FilesContract, PathsIgnoreLetterCase) {
  ASSERT_EQ(Files().CreateDirectory(At("MixedCase")), Status::kOk);
  ASSERT_EQ(Files().WriteFile(At("MixedCase\\File.TXT"), "content"), Status::kOk);
  std::string back;
  ASSERT_EQ(Files().ReadFile(At("mixedcase\\FILE.txt"), &back), Status::kOk);
  EXPECT_EQ(back, "content");
  EXPECT_TRUE(Files().FileExists(At("MIXEDCASE\\file.txt")));
  // Writing through another spelling replaces the same file and keeps its stored name.
  ASSERT_EQ(Files().WriteFile(At("MIXEDCASE\\FILE.TXT"), "new"), Status::kOk);
  std::vector<FileEntry> entries;
  ASSERT_EQ(Files().List(At("mixedCASE"), "*.txt", &entries), Status::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "File.TXT");
  EXPECT_EQ(entries[0].size, 3u);
  EXPECT_EQ(Files().CreateDirectory(At("MIXEDCASE")), Status::kAlreadyExists);
  // A rename to another spelling of the same name is no clash.
  EXPECT_EQ(Files().MoveFile(At("mixedcase\\file.txt"), At("MixedCase\\FILE.txt"), false),
            Status::kOk);
  EXPECT_TRUE(Files().FileExists(At("MixedCase\\File.TXT")));
}

TEST_F(FilesContract, FullPathAndCurrentFolder) {
  ASSERT_EQ(Files().CreateDirectory(At("cur")), Status::kOk);
  ASSERT_EQ(Files().SetCurrentDirectory(At("cur")), Status::kOk);
  EXPECT_EQ(Files().GetCurrentDirectory(), At("cur"));
  EXPECT_EQ(Files().GetFullPath("file.txt"), At("cur\\file.txt"));
  EXPECT_EQ(Files().GetFullPath("..\\other\\.\\x.txt"), At("other\\x.txt"));
  EXPECT_EQ(Files().GetFullPath(At("a\\b\\..\\..\\c")), At("c"));
  EXPECT_EQ(Files().GetFullPath("C:\\one\\two\\..\\three\\"), "C:\\one\\three\\");
  EXPECT_EQ(Files().GetFullPath("C:\\..\\.."), "C:\\");
  EXPECT_EQ(Files().GetFullPath("C:/one//two"), "C:\\one\\two");
  std::string drive = scratch_.substr(0, 2);
  EXPECT_EQ(Files().GetFullPath("\\rooted"), drive + "\\rooted");

  // Relative paths are taken against the current folder.
  ASSERT_EQ(Files().WriteFile("rel.txt", "r"), Status::kOk);
  EXPECT_TRUE(Files().FileExists(At("cur\\rel.txt")));
  ASSERT_EQ(Files().SetCurrentDirectory(".."), Status::kOk);
  EXPECT_EQ(Files().GetCurrentDirectory(), scratch_);
  EXPECT_TRUE(Files().FileExists("cur\\rel.txt"));
  EXPECT_EQ(Files().SetCurrentDirectory(At("nowhere")), Status::kNotFound);
  EXPECT_EQ(Files().GetCurrentDirectory(), scratch_);
}

TEST_F(FilesContract, SharingAndExclusiveTemporaryFiles) {
  std::string lock = At("lock.tmp");
  Status s;
  {
    auto f = Files().Open(lock, OpenMode::kExclusiveTemp, &s);
    ASSERT_TRUE(f);
    ASSERT_EQ(f->Write("held", 4), Status::kOk);
    EXPECT_TRUE(Files().FileExists(lock));
    EXPECT_EQ(Files().Open(lock, OpenMode::kRead, &s), nullptr);
    EXPECT_EQ(s, Status::kAccessDenied);
    EXPECT_EQ(Files().Open(lock, OpenMode::kExclusiveTemp, &s), nullptr);
    EXPECT_EQ(s, Status::kAccessDenied);
  }
  EXPECT_FALSE(Files().FileExists(lock));  // gone with its last handle

  std::string path = At("shared.txt");
  auto writer = Files().Open(path, OpenMode::kCreate, &s);
  ASSERT_TRUE(writer);
  // A reader shares reading only, so it cannot join a writer; nor can a second writer.
  EXPECT_EQ(Files().Open(path, OpenMode::kRead, &s), nullptr);
  EXPECT_EQ(s, Status::kAccessDenied);
  EXPECT_EQ(Files().Open(path, OpenMode::kAppend, &s), nullptr);
  EXPECT_EQ(s, Status::kAccessDenied);
  EXPECT_EQ(Files().DeleteFile(path), Status::kAccessDenied);
  writer.reset();
  // Readers share with each other, and keep writers out.
  auto reader1 = Files().Open(path, OpenMode::kRead, &s);
  auto reader2 = Files().Open(path, OpenMode::kRead, &s);
  EXPECT_TRUE(reader1 && reader2);
  EXPECT_EQ(Files().Open(path, OpenMode::kReadWrite, &s), nullptr);
  EXPECT_EQ(s, Status::kAccessDenied);
  reader1.reset();
  reader2.reset();
  EXPECT_EQ(Files().DeleteFile(path), Status::kOk);
}

TEST_F(FilesContract, RedirectionSwitchPairsUp) {
  // Only a 32-bit process on 64-bit Windows has a redirected view to switch off.
  bool redirected = Sys().Is64BitSystem() && !Sys().Is64BitProcess();
  uint64_t old = 0;
  EXPECT_EQ(Files().DisableRedirection(&old), redirected);
  if (!redirected) {
    EXPECT_EQ(Sys().LastError(), 1u);  // ERROR_INVALID_FUNCTION
  }
  EXPECT_EQ(Files().RevertRedirection(old), redirected);
  // The system folder is there whichever view the thread has.
  EXPECT_TRUE(Files().DirectoryExists(Sys().SystemFolder()));
}

TEST_F(FilesContract, DiskSpaceSizesAndTimes) {
  uint64_t free_bytes = 0, total = 0;
  ASSERT_EQ(Files().GetDiskSpace(scratch_, &free_bytes, &total), Status::kOk);
  EXPECT_GT(total, 0u);
  EXPECT_LE(free_bytes, total);
  EXPECT_EQ(Files().GetDiskSpace(At("missing\\x"), &free_bytes, &total), Status::kNotFound);

  ASSERT_EQ(Files().WriteFile(At("t.txt"), std::string(1000, 'x')), Status::kOk);
  uint64_t size = 0;
  ASSERT_EQ(Files().GetFileSize(At("t.txt"), &size), Status::kOk);
  EXPECT_EQ(size, 1000u);
  int64_t ft = 0;
  ASSERT_EQ(Files().GetLastWriteTime(At("t.txt"), &ft), Status::kOk);
  EXPECT_GT(ft, 132223104000000000LL);  // after 2020-01-01
  // A copy keeps the time of its source.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  ASSERT_EQ(Files().CopyFile(At("t.txt"), At("copy.txt"), true), Status::kOk);
  int64_t copied = 0;
  ASSERT_EQ(Files().GetLastWriteTime(At("copy.txt"), &copied), Status::kOk);
  EXPECT_EQ(copied / 10000000, ft / 10000000);
  ASSERT_EQ(Files().WriteFile(At("later.txt"), "x"), Status::kOk);
  int64_t later = 0;
  ASSERT_EQ(Files().GetLastWriteTime(At("later.txt"), &later), Status::kOk);
  EXPECT_GE(later - ft, 10000000LL);  // a new file is a second younger
  EXPECT_EQ(Files().GetLastWriteTime(At("none"), &ft), Status::kNotFound);
  EXPECT_EQ(Files().GetFileSize(At("none"), &size), Status::kNotFound);
}

TEST_F(FilesContract, WrongKindsOfEntryAndBadNames) {
  ASSERT_EQ(Files().WriteFile(At("f.txt"), "x"), Status::kOk);
  ASSERT_EQ(Files().CreateDirectories(At("d\\e")), Status::kOk);
  Status s;
  EXPECT_EQ(Files().Open(At("d"), OpenMode::kRead, &s), nullptr);
  EXPECT_EQ(s, Status::kAccessDenied);
  EXPECT_EQ(Files().RemoveDirectory(At("f.txt")), Status::kInvalidName);  // not a folder
  EXPECT_EQ(Files().SetCurrentDirectory(At("f.txt")), Status::kInvalidName);
  EXPECT_EQ(Files().CreateDirectory(At("f.txt")), Status::kAlreadyExists);
  std::vector<FileEntry> entries;
  EXPECT_EQ(Files().List(At("f.txt"), "*", &entries), Status::kInvalidName);
  uint32_t a = 0;
  EXPECT_EQ(Files().GetAttributes(At("f.txt\\"), &a), Status::kNotFound);
  EXPECT_EQ(Files().WriteFile(At("a<b"), "x"), Status::kInvalidName);
  EXPECT_EQ(Files().WriteFile(At("new\\"), "x"), Status::kInvalidName);
  uint64_t free_bytes = 0, total = 0;
  EXPECT_EQ(Files().GetDiskSpace(At("f.txt"), &free_bytes, &total), Status::kInvalidName);
  EXPECT_EQ(Files().CreateDirectory(At("a|b")), Status::kInvalidName);
  EXPECT_EQ(Files().DeleteFile(At("no\\x")), Status::kNotFound);
  EXPECT_EQ(Files().CopyFile(At("f.txt"), At("no\\x"), false), Status::kNotFound);
  EXPECT_EQ(Files().CopyFile(At("f.txt"), At("F.TXT"), false), Status::kAccessDenied);  // itself

  // Moves that cannot be: into the folder's own subtree, over a folder.
  EXPECT_EQ(Files().MoveFile(At("d"), At("d\\e\\x"), false), Status::kFailed);
  EXPECT_EQ(Files().MoveFile(At("f.txt"), At("d"), true), Status::kAccessDenied);
  ASSERT_EQ(Files().CreateDirectory(At("d2")), Status::kOk);
  EXPECT_EQ(Files().MoveFile(At("d2"), At("d"), true), Status::kAccessDenied);
  EXPECT_EQ(Files().MoveFile(At("d2"), At("d"), false), Status::kAlreadyExists);
  EXPECT_EQ(Files().RemoveDirectory(At("d\\e\\")), Status::kOk);  // a trailing separator is fine

  EXPECT_EQ(Files().GetFullPath("C:\\a\\b. ."), "C:\\a\\b");
  EXPECT_EQ(Files().GetFullPath(At("x\\..\\..\\y")),
            scratch_.substr(0, scratch_.rfind('\\')) + "\\y");
}

// The machine under test has no drive onto the host's own root folder (Wine's default Z:), so a
// fault of a deleting command under test can never reach the files of the machine running it.
TEST_F(FilesContract, NoDriveReachesTheHostsRootFolder) {
  uint32_t a = 0;
  EXPECT_NE(Files().GetAttributes("Z:\\", &a), Status::kOk);
  std::vector<FileEntry> entries;
  EXPECT_NE(Files().List("Z:\\", "*", &entries), Status::kOk);
  EXPECT_TRUE(entries.empty());
  std::string text;
  EXPECT_NE(Files().ReadFile("Z:\\etc\\passwd", &text), Status::kOk);
  EXPECT_NE(Files().WriteFile("Z:\\corvane-contract.txt", "x"), Status::kOk);
  // The drive holding this test's own folder is still there.
  EXPECT_EQ(Files().GetAttributes(scratch_.substr(0, 3), &a), Status::kOk);
}

}  // namespace
}  // namespace corvane::contract
