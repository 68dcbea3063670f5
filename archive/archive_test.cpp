// Round trips against archives that 7zz made of a generated tree, and damaged archives.
#include <gtest/gtest.h>

#include "archive/errors.h"
#include "archive/extract.h"
#include "archive/test_support.h"

namespace corvane::archive {
namespace {
namespace fs = std::filesystem;
using testing::ArchivePath;
using testing::CompareTrees;
using testing::FixedPassword;
using testing::FixtureDir;
using testing::ScratchDir;

// Extracts everything; returns 0 or the failure number.
int ExtractAll(const fs::path& archive_path, const std::string& password, const fs::path& dest,
               bool strip = false) {
  try {
    FixedPassword pw(password);
    Archive archive(archive_path, pw);
    std::vector<bool> all(archive.entries().size(), true);
    ExtractOptions o;
    o.destination = dest;
    o.strip_folders = strip;
    ExtractEntries(archive, all, o);
    return 0;
  } catch (const ArchiveError& e) {
    return e.code();
  }
}

TEST(ArchiveRoundTrip, EveryFixtureExtractsToTheSourceTree) {
  auto manifest = testing::Manifest();
  ASSERT_GT(manifest.size(), 25u) << "fixtures missing in " << FixtureDir();
  for (const auto& f : manifest) {
    SCOPED_TRACE(f.archive);
    ScratchDir out("rt");
    int rc = ExtractAll(ArchivePath(f.archive), f.password, out.path());
    if (f.outcome == "unsupported") {
      EXPECT_EQ(rc, kErrorCannotOpen);
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(CompareTrees(FixtureDir() / "tree", out.path()), "");
  }
}

TEST(ArchiveRoundTrip, ListsEntriesWithWindowsSeparatorsAndTypes) {
  FixedPassword pw("");
  Archive a(ArchivePath("mx5.7z"), pw);
  std::map<std::string, const Entry*> by_path;
  for (const auto& e : a.entries()) by_path[e.path] = &e;
  ASSERT_TRUE(by_path.count("docs\\notes\\changes.txt"));
  EXPECT_EQ(by_path["docs\\notes\\changes.txt"]->size, 5000u);
  ASSERT_TRUE(by_path.count("deep\\er\\still empty"));
  EXPECT_TRUE(by_path["deep\\er\\still empty"]->is_dir);
  ASSERT_TRUE(by_path.count("empty file.txt"));
  EXPECT_FALSE(by_path["empty file.txt"]->is_dir);
  EXPECT_FALSE(by_path["empty file.txt"]->has_stream);
  // The 1252 form of a non-ASCII name.
  EXPECT_TRUE(by_path.count("docs\\Gr\xFC\xDF" "e d\xE9j\xE0 vu.txt"));
  EXPECT_TRUE(by_path["docs\\readme.txt"]->mtime_defined);
  EXPECT_EQ(pw.asked, 0);  // nothing encrypted: the password is never asked for
}

TEST(ArchivePasswords, WrongOrMissingPasswordFailsAsCannotOpen) {
  ScratchDir out("pw");
  // Encrypted names: even listing needs the password.
  EXPECT_EQ(ExtractAll(ArchivePath("password-he.7z"), "", out.path()), kErrorCannotOpen);
  EXPECT_EQ(ExtractAll(ArchivePath("password-he.7z"), "wrong", out.path()), kErrorCannotOpen);
  // Names in clear: listing works without it, extraction does not.
  FixedPassword none("");
  Archive a(ArchivePath("password.7z"), none);
  EXPECT_GT(a.entries().size(), 5u);
  EXPECT_EQ(ExtractAll(ArchivePath("password.7z"), "", out.path()), kErrorCannotOpen);
  EXPECT_EQ(ExtractAll(ArchivePath("password-deflate.7z"), "wrong", out.path()), kErrorCannotOpen);
}

TEST(ArchivePasswords, AskedOnceForHeaderAndAllFolders) {
  FixedPassword pw("Geheim 1234");
  Archive a(ArchivePath("password-he-bcj2.7z"), pw);
  std::vector<bool> all(a.entries().size(), true);
  ScratchDir out("once");
  ExtractOptions o;
  o.destination = out.path();
  ExtractEntries(a, all, o);
  EXPECT_EQ(pw.asked, 1);
}

TEST(ArchiveExtract, FilesKeepTheirModificationTimes) {
  ScratchDir out("time");
  ASSERT_EQ(ExtractAll(ArchivePath("mx1.7z"), "", out.path()), 0);
  for (const char* name : {"docs/readme.txt", "media/tone.wav", "empty file.txt"}) {
    auto source = fs::last_write_time(FixtureDir() / "tree" / name);
    auto copy = fs::last_write_time(out.path() / name);
    auto diff = source > copy ? source - copy : copy - source;
    EXPECT_LT(diff, std::chrono::seconds(2)) << name;
  }
}

TEST(ArchiveExtract, StripPutsEveryFileInTheDestination) {
  ScratchDir out("strip");
  ASSERT_EQ(ExtractAll(ArchivePath("nonsolid.7z"), "", out.path(), true), 0);
  EXPECT_TRUE(fs::is_regular_file(out.path() / "changes.txt"));
  EXPECT_TRUE(fs::is_regular_file(out.path() / "tone.wav"));
  EXPECT_TRUE(fs::is_regular_file(out.path() / "empty file.txt"));
  EXPECT_FALSE(fs::exists(out.path() / "docs"));
  EXPECT_FALSE(fs::exists(out.path() / "empty folder"));
  EXPECT_EQ(testing::ReadBytes(out.path() / "tone.wav"),
            testing::ReadBytes(FixtureDir() / "tree" / "media" / "tone.wav"));
}

TEST(ArchiveExtract, OnlySelectedEntriesAreWrittenEvenInsideASolidBlock) {
  FixedPassword pw("");
  Archive a(ArchivePath("solid.7z"), pw);
  std::vector<bool> sel(a.entries().size(), false);
  for (size_t i = 0; i < sel.size(); ++i) sel[i] = a.entries()[i].path == "media\\tone.wav";
  ScratchDir out("sel");
  ExtractOptions o;
  o.destination = out.path();
  ExtractEntries(a, sel, o);
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
  EXPECT_EQ(testing::ReadBytes(out.path() / "media" / "tone.wav"),
            testing::ReadBytes(FixtureDir() / "tree" / "media" / "tone.wav"));
}

TEST(ArchiveExtract, ProgressSeesEveryEntryAndCanStop) {
  FixedPassword pw("");
  Archive a(ArchivePath("mx1.7z"), pw);
  std::vector<bool> all(a.entries().size(), true);
  ScratchDir out("prog");
  ExtractOptions o;
  o.destination = out.path();
  uint64_t last_done = 0, total = 0;
  int calls = 0;
  o.progress = [&](const std::string&, uint64_t done, uint64_t t) {
    EXPECT_GE(done, last_done);
    last_done = done;
    total = t;
    return ++calls < 3;
  };
  try {
    ExtractEntries(a, all, o);
    FAIL() << "not stopped";
  } catch (const ArchiveError& e) {
    EXPECT_EQ(e.code(), kErrorCancelled);
  }
  EXPECT_EQ(calls, 3);
  EXPECT_GT(total, 200000u);
}

TEST(ArchiveExtract, ExistingFilesAreKeptOrOverwrittenAsAnswered) {
  ScratchDir out("answer");
  fs::create_directories(out.path() / "docs");
  testing::WriteBytes(out.path() / "docs" / "readme.txt", {'o', 'l', 'd'});
  FixedPassword pw("");
  Archive a(ArchivePath("mx3.7z"), pw);
  std::vector<bool> all(a.entries().size(), true);
  ExtractOptions o;
  o.destination = out.path();
  int asked = 0;
  o.overwrite = [&](const fs::path&, const std::string& entry) {
    EXPECT_EQ(entry, "docs\\readme.txt");
    ++asked;
    return false;
  };
  ExtractEntries(a, all, o);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(testing::ReadBytes(out.path() / "docs" / "readme.txt").size(), 3u);
  o.overwrite = [](const fs::path&, const std::string&) { return true; };
  ExtractEntries(a, all, o);
  EXPECT_EQ(CompareTrees(FixtureDir() / "tree", out.path()), "");
}

TEST(ArchiveSafety, UnsafeEntriesAreRefusedBeforeAnythingIsWritten) {
  for (const char* name : {"escape-dotdot.7z", "escape-absolute.7z", "escape-device.7z",
                           "escape-drive.7z", "escape-com0.7z", "escape-lpt0.7z",
                           "escape-com-super.7z", "escape-lpt-super.7z", "link.7z"}) {
    SCOPED_TRACE(name);
    ScratchDir out("unsafe");
    fs::path dest = out.path() / "dest";
    EXPECT_EQ(ExtractAll(ArchivePath(name), "", dest), kErrorIllegalPath);
    EXPECT_FALSE(fs::exists(dest / "docs"));
    EXPECT_FALSE(fs::exists(out.path() / "escape.txt"));
  }
}

// Every truncation point and a spread of flipped bytes must fail cleanly, or succeed with the
// exact tree (a flip in bytes the reader never needs).
TEST(ArchiveDamage, TruncatedAndFlippedArchivesFailCleanly) {
  for (const char* name : {"mx5.7z", "password-he-bcj2.7z", "deflate.7z"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> good = testing::ReadBytes(ArchivePath(name));
    ScratchDir work("damage");
    fs::path copy = work.path() / "damaged.7z";
    std::vector<size_t> cuts = {0, 10, 31, 32, 100, good.size() / 2, good.size() - 200,
                                good.size() - 40, good.size() - 1};
    for (size_t cut : cuts) {
      testing::WriteBytes(copy, std::vector<uint8_t>(good.begin(), good.begin() + cut));
      EXPECT_NE(ExtractAll(copy, "Geheim 1234", work.path() / "out"), 0) << "cut " << cut;
    }
    for (size_t i = 0; i < 24; ++i) {
      std::vector<uint8_t> bad = good;
      size_t at = (i * 7919 + 13) % bad.size();
      if (i >= 16) at = bad.size() - 1 - (i - 16) * 7;  // the header at the end
      bad[at] ^= static_cast<uint8_t>(1u << (i % 8));
      testing::WriteBytes(copy, bad);
      fs::path dest = work.path() / ("flip" + std::to_string(i));
      int rc = ExtractAll(copy, "Geheim 1234", dest);
      if (rc == 0) {
        EXPECT_EQ(CompareTrees(FixtureDir() / "tree", dest), "") << "flip at " << at;
      }
    }
  }
}

}  // namespace
}  // namespace corvane::archive
