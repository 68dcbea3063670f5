// Extraction under hostile archives and destinations: output budgets, files replaced only once
// checked, links planted below the destination, entries that Windows takes for the same file.
#include "archive/extract.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "archive/errors.h"
#include "archive/test_support.h"
#include "archive/testing/archive_writer.h"
#include "platform/host_files.h"

namespace corvane::archive {
namespace {
namespace fs = std::filesystem;
using testing::ArchivePath;
using testing::FixedPassword;
using testing::FixtureDir;
using testing::NamesBelow;
using testing::ReadBytes;
using testing::ScratchDir;
using testing::WriteBytes;

// Extracts the entries for which pick says yes (all by default); 0 or the failure number.
int Extract(const fs::path& archive_path, const fs::path& dest, ExtractOptions o = {},
            const std::function<bool(const Entry&)>& pick = nullptr) {
  try {
    FixedPassword pw("");
    Archive archive(archive_path, pw);
    std::vector<bool> sel(archive.entries().size(), true);
    if (pick)
      for (size_t i = 0; i < sel.size(); ++i) sel[i] = pick(archive.entries()[i]);
    o.destination = dest;
    ExtractEntries(archive, sel, o);
    return 0;
  } catch (const ArchiveError& e) {
    return e.code();
  }
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Where the first occurrence of text lies in the archive's bytes (stored data is verbatim).
size_t Find(const std::vector<uint8_t>& bytes, const std::string& text) {
  auto it = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
  return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}

constexpr uint64_t kFirstSize = 6292;  // first.txt of stored-one.7z: "first line 1\r\n" ... 400

TEST(ExtractBudget, OutputBeyondTheRatioCapIsRefusedBeforeAnythingIsWritten) {
  ScratchDir work("ratio");
  uint64_t archive_size = fs::file_size(ArchivePath("zeros.7z"));
  ASSERT_GT(archive_size * 1000, kOutputFloor);  // the cap below is not the floor
  ExtractOptions low;
  low.max_output_ratio = 1000;
  EXPECT_EQ(Extract(ArchivePath("zeros.7z"), work.path() / "low", low), kErrorLimit);
  EXPECT_FALSE(fs::exists(work.path() / "low"));
  // The default cap takes a long run of zeros.
  ASSERT_EQ(Extract(ArchivePath("zeros.7z"), work.path() / "default"), 0);
  EXPECT_EQ(fs::file_size(work.path() / "default" / "zeros.bin"), uint64_t{8} << 20);
}

TEST(ExtractBudget, AnnouncedSizesAreJudgedBeforeWriting) {
  ScratchDir work("announce");
  std::vector<uint8_t> bytes = ReadBytes(ArchivePath("stored-one.7z"));
  ASSERT_TRUE(testing::PatchHeaderNumber(&bytes, 0x0C, kFirstSize, uint64_t{1} << 50));
  fs::path lying = work.path() / "lying.7z";
  WriteBytes(lying, bytes);
  // A petabyte out of a few hundred bytes: beyond the ratio, and beyond any drive's free space.
  EXPECT_EQ(Extract(lying, work.path() / "out"), kErrorLimit);
  ExtractOptions no_cap;
  no_cap.max_output_ratio = 0;
  EXPECT_EQ(Extract(lying, work.path() / "out", no_cap), kErrorWrite);
  EXPECT_FALSE(fs::exists(work.path() / "out"));
}

TEST(ExtractBudget, AnEntryShortOfItsAnnouncedSizeLeavesNoFileBehind) {
  ScratchDir work("short");
  std::vector<uint8_t> bytes = ReadBytes(ArchivePath("stored-one.7z"));
  ASSERT_TRUE(testing::PatchHeaderNumber(&bytes, 0x0C, kFirstSize, kFirstSize + 3000));
  WriteBytes(work.path() / "short.7z", bytes);
  fs::path out = work.path() / "out";
  EXPECT_EQ(Extract(work.path() / "short.7z", out), kErrorData);
  EXPECT_EQ(NamesBelow(out), std::vector<std::string>{});
}

TEST(ExtractReplace, ABadCrcLeavesTheExistingFileAsItWas) {
  ScratchDir work("crc");
  std::vector<uint8_t> bytes = ReadBytes(ArchivePath("stored.7z"));
  size_t at = Find(bytes, "first line 200\r\n");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 6] ^= 0x20;  // "first Line 200"
  WriteBytes(work.path() / "flipped.7z", bytes);
  fs::path out = work.path() / "out";
  fs::create_directories(out);
  WriteBytes(out / "first.txt", Bytes("the old first\n"));
  ExtractOptions o;
  int asked = 0;
  o.overwrite = [&](const fs::path&, const std::string&) { return ++asked, true; };
  EXPECT_EQ(Extract(work.path() / "flipped.7z", out, o), kErrorData);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(ReadBytes(out / "first.txt"), Bytes("the old first\n"));
  EXPECT_EQ(NamesBelow(out), std::vector<std::string>{"first.txt"});  // no temporary left
  // Without an old file, nothing stays under the real name either.
  fs::path fresh = work.path() / "fresh";
  EXPECT_EQ(Extract(work.path() / "flipped.7z", fresh), kErrorData);
  EXPECT_EQ(NamesBelow(fresh), std::vector<std::string>{});
}

TEST(ExtractReplace, ACheckedFileReplacesTheOldOneEvenWhenReadOnly) {
  ScratchDir work("replace");
  fs::path out = work.path() / "out";
  fs::create_directories(out);
  WriteBytes(out / "first.txt", Bytes("old"));
  fs::permissions(out / "first.txt",
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  ASSERT_EQ(Extract(ArchivePath("stored.7z"), out), 0);
  EXPECT_EQ(ReadBytes(out / "first.txt").size(), kFirstSize);
  EXPECT_EQ(NamesBelow(out), (std::vector<std::string>{"first.txt", "second.txt"}));
}

// A destination with a link planted in it (plant_links.pl, run by ctest before the suite).
fs::path Planted(const std::string& name) {
  fs::path dir = FixtureDir() / "planted" / name;
  EXPECT_TRUE(fs::is_directory(dir / "out")) << dir << ": run the suite through ctest";
  return dir;
}

TEST(ExtractLinks, AFolderLinkBelowTheDestinationIsNeverFollowed) {
  for (const char* name : {"folder", "deeper"}) {
    SCOPED_TRACE(name);
    fs::path dir = Planted(name);
    EXPECT_EQ(Extract(ArchivePath("planted.7z"), dir / "out"), kErrorIllegalPath);
    EXPECT_EQ(NamesBelow(dir / "outside"), std::vector<std::string>{});
    // Also when the entry alone is asked for and the link is all there is of its folder.
    EXPECT_EQ(Extract(ArchivePath("planted.7z"), dir / "out", {},
                      [](const Entry& e) {
                        return e.path.find("evil.txt") != std::string::npos ||
                               e.path.find("c.txt") != std::string::npos;
                      }),
              kErrorIllegalPath);
    EXPECT_EQ(NamesBelow(dir / "outside"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(dir / "out" / "x.txt"));  // refused before anything was written
  }
}

TEST(ExtractLinks, AFileLinkNeverLendsItsTargetToTheExtraction) {
  fs::path dir = Planted("file");
  fs::path locked = dir / "outside" / "locked.txt";
  bool link_visible = platform::HostKindOf(dir / "out" / "x.txt") == platform::HostKind::kLink;
  int rc = Extract(ArchivePath("planted.7z"), dir / "out", {},
                   [](const Entry& e) { return e.path == "x.txt"; });
  if (link_visible) {
    EXPECT_EQ(rc, kErrorIllegalPath);
  } else {
    // A system that shows the link as a plain file: the link itself is replaced.
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(platform::HostKindOf(dir / "out" / "x.txt"), platform::HostKind::kFile);
  }
  EXPECT_EQ(ReadBytes(locked), Bytes("keep me\n"));
  EXPECT_EQ(fs::status(locked).permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST(ExtractNames, EntriesWindowsTakesForTheSameFileAreRefused) {
  for (const char* name : {"same-case.7z", "same-dots.7z", "same-blanks.7z", "same-folder.7z"}) {
    SCOPED_TRACE(name);
    ScratchDir work("same");
    EXPECT_EQ(Extract(ArchivePath(name), work.path() / "out"), kErrorIllegalPath);
    EXPECT_FALSE(fs::exists(work.path() / "out"));
    // One of them alone is fine.
    bool first = true;
    EXPECT_EQ(Extract(ArchivePath(name), work.path() / "one", {},
                      [&](const Entry& e) {
                        if (e.is_dir) return false;
                        bool take = first;
                        first = false;
                        return take;
                      }),
              0);
  }
}

TEST(ExtractNames, AFolderNamedBySeveralEntriesIsNoCollision) {
  ScratchDir work("merge");
  // mx1.7z lists "docs" as an entry and as the folder of others: not a collision.
  ASSERT_EQ(Extract(ArchivePath("mx1.7z"), work.path() / "tree"), 0);
  // Stripped folders: the folder entries drop out, the files keep distinct names.
  ExtractOptions strip;
  strip.strip_folders = true;
  EXPECT_EQ(Extract(ArchivePath("planted.7z"), work.path() / "strip", strip), 0);
  EXPECT_EQ(NamesBelow(work.path() / "strip"),
            (std::vector<std::string>{"c.txt", "evil.txt", "x.txt"}));
}

// An archive whose entries carry marks and times: a hidden folder written into after it was made,
// a read-only, hidden, system file inside it, an archive-marked file and a read-only empty file.
constexpr uint64_t kFolderTime = 132224078450000000ull;  // 2020-01-02 03:04:05 UTC
constexpr uint64_t kFileTime = 131000000000000000ull;
std::vector<uint8_t> MarkedArchive() {
  const std::string a = "kept read-only\n", b = "plain\n";
  testing::FolderSpec f = testing::Chain({testing::CopyCoder()}, Bytes(a + b), a.size() + b.size());
  f.substreams = {a.size(), b.size()};
  f.substream_crcs = {Crc32(0, reinterpret_cast<const uint8_t*>(a.data()), a.size()),
                      Crc32(0, reinterpret_cast<const uint8_t*>(b.data()), b.size())};
  testing::ArchiveSpec spec;
  spec.folders.push_back(f);
  testing::EntrySpec folder(u"docs", testing::EntrySpec::kFolder);
  folder.attrib = 0x10 | 0x2;
  folder.mtime = kFolderTime;
  testing::EntrySpec empty(u"empty.txt", testing::EntrySpec::kEmptyFile);
  empty.attrib = 0x1;
  testing::EntrySpec marked(u"docs/a.txt");
  marked.attrib = 0x1 | 0x2 | 0x4 | 0x20;
  marked.mtime = kFileTime;
  testing::EntrySpec plain(u"b.txt");
  plain.attrib = 0x20;
  spec.entries = {folder, empty, marked, plain};
  return testing::WriteArchive(spec);
}

uint32_t Marks(const fs::path& p) {
  uint32_t a = 0;
  EXPECT_TRUE(platform::GetHostAttributes(p, &a)) << p;
  return a & (0x1 | 0x2 | 0x4 | 0x10);
}

uint64_t FileTimeOf(const fs::path& p) {
  uint64_t t = 0;
  EXPECT_TRUE(platform::GetHostWriteTime(p, &t)) << p;
  return t;
}

TEST(ExtractMarks, FilesAndFoldersKeepTheArchivesMarksAndTimes) {
  ScratchDir work("marks");
  const fs::path archive = work.path() / "marked.7z";
  WriteBytes(archive, MarkedArchive());
  const fs::path out = work.path() / "out";
  ASSERT_EQ(Extract(archive, out), 0);
  EXPECT_EQ(ReadBytes(out / "docs" / "a.txt"), Bytes("kept read-only\n"));
  // The folder got its time after a.txt was written into it.
  EXPECT_EQ(FileTimeOf(out / "docs"), kFolderTime);
  EXPECT_EQ(FileTimeOf(out / "docs" / "a.txt"), kFileTime);
  // Windows keeps every mark; a POSIX host keeps read-only as a file without write permission.
  uint32_t native = 0;
  ASSERT_TRUE(platform::GetHostAttributes(out / "b.txt", &native));
  const bool windows = (native & 0x20) != 0;
  EXPECT_EQ(Marks(out / "docs" / "a.txt"), windows ? 0x1u | 0x2 | 0x4 : 0x1u);
  EXPECT_EQ(Marks(out / "docs"), windows ? 0x10u | 0x2 : 0x10u);
  EXPECT_EQ(Marks(out / "empty.txt"), 0x1u);
  EXPECT_EQ(Marks(out / "b.txt"), 0u);
  // A second extraction replaces the read-only files it made and leaves no temporary behind.
  ASSERT_EQ(Extract(archive, out), 0);
  EXPECT_EQ(NamesBelow(out),
            (std::vector<std::string>{"b.txt", "docs", "docs/a.txt", "empty.txt"}));
  EXPECT_EQ(Marks(out / "docs" / "a.txt") & 0x1, 0x1u);
  // Stripped folders: the files keep their marks, no folder entry is made.
  ExtractOptions strip;
  strip.strip_folders = true;
  ASSERT_EQ(Extract(archive, work.path() / "flat", strip), 0);
  EXPECT_EQ(Marks(work.path() / "flat" / "a.txt") & 0x1, 0x1u);
  EXPECT_FALSE(fs::exists(work.path() / "flat" / "docs"));
  // The scratch folder goes: clear the marks that would keep it.
  for (const fs::path& p : {out / "docs" / "a.txt", out / "empty.txt", work.path() / "flat" / "a.txt",
                            work.path() / "flat" / "empty.txt", out / "docs"}) {
    platform::SetHostAttributes(p, 0);
  }
}

}  // namespace
}  // namespace corvane::archive
