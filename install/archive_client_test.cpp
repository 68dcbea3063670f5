// ListArchiveEntries and ExtractArchiveFiles against the real archive library, loaded by path.
#include "install/archive_client.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "archive/test_support.h"
#include "tests/support/host_path.h"

namespace corvane::install {
namespace {
namespace fs = std::filesystem;
using archive::testing::ArchivePath;
using archive::testing::CompareTrees;
using archive::testing::FixtureDir;
using archive::testing::ScratchDir;

// A path of the build machine as this process sees it.
std::string Local(const std::string& p) { return corvane::testing::HostPath(p); }
std::string Text(const fs::path& p) { return p.string(); }

class ArchiveClient : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    lib_ = ArchiveLibrary::Load(Local(ZEL_LIBRARY_PATH), &error).release();
    ASSERT_NE(lib_, nullptr) << error;
  }
  static void TearDownTestSuite() {
    delete lib_;
    lib_ = nullptr;
  }
  static ArchiveLibrary* lib_;
};
ArchiveLibrary* ArchiveClient::lib_ = nullptr;

TEST(ArchiveLibraryLoad, MissingLibraryIsReported) {
  std::string error;
  EXPECT_EQ(ArchiveLibrary::Load(Local(std::string(ARCHIVE_FIXTURES_DIR) + "/zel.lib"), &error),
            nullptr);
  EXPECT_NE(error, "");
}

TEST(ArchiveLibraryLoad, LibraryWithAnAppendedLanguageFileStillLoads) {
  // The shipped library may carry a language file appended to it.
  ScratchDir d("lib");
  fs::path copy = d.path() / "zel.lib";
  auto bytes = archive::testing::ReadBytes(Local(ZEL_LIBRARY_PATH));
  ASSERT_FALSE(bytes.empty());
  std::string language = "[Language]\r\nName=Deutsch\r\n";
  bytes.insert(bytes.end(), language.begin(), language.end());
  archive::testing::WriteBytes(copy, bytes);
  std::string error;
  auto lib = ArchiveLibrary::Load(Text(copy), &error);
  ASSERT_NE(lib, nullptr) << error;
  std::vector<std::string> entries;
  EXPECT_TRUE(ListArchiveEntries(*lib, Text(ArchivePath("mx1.7z")), "", &entries, &error));
  EXPECT_FALSE(entries.empty());
}

TEST_F(ArchiveClient, ListsEntryPathsInArchiveOrder) {
  std::vector<std::string> entries = {"stale"};
  std::string error;
  ASSERT_TRUE(ListArchiveEntries(*lib_, Text(ArchivePath("lzma2-nonsolid.7z")), "", &entries,
                                 &error))
      << error;
  size_t in_tree = 0;
  for (const auto& e : fs::recursive_directory_iterator(FixtureDir() / "tree")) in_tree += 1 + 0 * e.is_directory();
  EXPECT_EQ(entries.size(), in_tree);
  EXPECT_EQ(std::count(entries.begin(), entries.end(), "stale"), 0);
  auto at = [&](const std::string& p) { return std::find(entries.begin(), entries.end(), p); };
  ASSERT_NE(at("docs\\notes\\changes.txt"), entries.end());
  ASSERT_NE(at("docs\\notes"), entries.end());
  ASSERT_NE(at("empty folder"), entries.end());
}

TEST_F(ArchiveClient, ListingFailuresUseTheEngineMessages) {
  std::vector<std::string> entries;
  std::string error;
  ScratchDir d("client");
  EXPECT_FALSE(ListArchiveEntries(*lib_, Text(d.path() / "none.7z"), "", &entries, &error));
  EXPECT_EQ(error, "The archive file was not found");
  archive::testing::WriteBytes(d.path() / "junk.7z", std::vector<uint8_t>(100, 'x'));
  EXPECT_FALSE(ListArchiveEntries(*lib_, Text(d.path() / "junk.7z"), "", &entries, &error));
  EXPECT_EQ(error, kArchiveCannotBeOpened);
  EXPECT_FALSE(ListArchiveEntries(*lib_, Text(ArchivePath("password-he.7z")), "nope", &entries,
                                  &error));
  EXPECT_EQ(error, kArchiveCannotBeOpened);
  EXPECT_EQ(ListingFailureMessage(1002), "Illegal path used in a wildcard expression");
  EXPECT_EQ(ListingFailureMessage(1004), "General failure opening archive");
}

TEST_F(ArchiveClient, ExtractsEverythingWithFoldersKept) {
  for (const char* name : {"mx7.7z", "password-he-bcj2.7z", "arm64.7z", "deflate.7z"}) {
    SCOPED_TRACE(name);
    ScratchDir d("client");
    std::string error;
    ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath(name)), "Geheim 1234",
                                    Text(d.path()), nullptr, nullptr, true, true, &error))
        << error;
    EXPECT_EQ(CompareTrees(FixtureDir() / "tree", d.path()), "");
  }
}

TEST_F(ArchiveClient, KeepFoldersFalseFlattensAndTargetsLimit) {
  ScratchDir d("client");
  std::string error;
  std::vector<std::string> targets = {"docs\\notes\\changes.txt", "media\\tone.wav"};
  ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath("solid.7z")), "", Text(d.path()),
                                  &targets, nullptr, true, false, &error))
      << error;
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(d.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"changes.txt", "tone.wav"}));
}

TEST_F(ArchiveClient, ProgressReportsAndStops) {
  ScratchDir d("client");
  std::string error;
  uint64_t last_total = 0;
  int calls = 0;
  ArchiveProgress count = [&](const std::string& entry, uint64_t done, uint64_t total) {
    EXPECT_LE(done, total);
    last_total = total;
    ++calls;
    return true;
  };
  ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath("mx5.7z")), "", Text(d.path()), nullptr,
                                  count, true, true, &error));
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(FixtureDir() / "tree")) files += e.is_regular_file();
  EXPECT_GE(calls, files);  // at least once per file
  EXPECT_GT(last_total, 200000u);

  ArchiveProgress stop = [](const std::string&, uint64_t, uint64_t) { return false; };
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath("mx5.7z")), "", Text(d.path()),
                                   nullptr, stop, true, true, &error));
  EXPECT_EQ(error, "#1006");

  ArchiveProgress boom = [](const std::string&, uint64_t, uint64_t) -> bool {
    throw std::runtime_error("progress exploded");
  };
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath("mx5.7z")), "", Text(d.path()),
                                   nullptr, boom, true, true, &error));
  EXPECT_EQ(error, "progress exploded");
}

TEST_F(ArchiveClient, AnswerFlagDecidesAboutExistingFiles) {
  ScratchDir d("client");
  std::string error;
  fs::create_directories(d.path() / "docs");
  archive::testing::WriteBytes(d.path() / "docs" / "readme.txt", {'m', 'i', 'n', 'e'});
  ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath("mx2.7z")), "", Text(d.path()), nullptr,
                                  nullptr, false, true, &error));
  EXPECT_EQ(archive::testing::ReadBytes(d.path() / "docs" / "readme.txt").size(), 4u);
  ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath("mx2.7z")), "", Text(d.path()), nullptr,
                                  nullptr, true, true, &error));
  EXPECT_EQ(CompareTrees(FixtureDir() / "tree", d.path()), "");
}

TEST_F(ArchiveClient, ExtractionFailuresAreNumbered) {
  ScratchDir d("client");
  std::string error;
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath("ppmd.7z")), "", Text(d.path()),
                                   nullptr, nullptr, true, true, &error));
  EXPECT_EQ(error, "#1003");
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath("password.7z")), "", Text(d.path()),
                                   nullptr, nullptr, true, true, &error));
  EXPECT_EQ(error, "#1003");
  fs::path dest = d.path() / "dest";
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath("escape-dotdot.7z")), "", Text(dest),
                                   nullptr, nullptr, true, true, &error));
  EXPECT_EQ(error, "#1002");
  EXPECT_FALSE(fs::exists(d.path() / "escape.txt"));
  // A listing failure comes back as the listing message.
  EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(d.path() / "none.7z"), "", Text(d.path()), nullptr,
                                   nullptr, true, true, &error));
  EXPECT_EQ(error, "The archive file was not found");
}

TEST_F(ArchiveClient, OutputCapIsSetForTheLibraryAndJudgedBeforeWriting) {
  ASSERT_NE(lib_->set_output_ratio, nullptr);
  ScratchDir d("client");
  std::string error;
  fs::path dest = d.path() / "dest";
  lib_->set_output_ratio(1000);  // a long run of zeros packs to about 6000 to 1
  bool ok = ExtractArchiveFiles(*lib_, Text(ArchivePath("zeros.7z")), "", Text(dest), nullptr,
                                nullptr, true, true, &error);
  lib_->set_output_ratio(kZelDefaultOutputRatio);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "#1007");
  EXPECT_FALSE(fs::exists(dest));
  ASSERT_TRUE(ExtractArchiveFiles(*lib_, Text(ArchivePath("zeros.7z")), "", Text(dest), nullptr,
                                  nullptr, true, true, &error))
      << error;
  EXPECT_EQ(fs::file_size(dest / "zeros.bin"), uint64_t{8} << 20);
}

TEST_F(ArchiveClient, EntriesNamingTheSameWindowsFileAreRefused) {
  for (const char* name : {"same-case.7z", "same-dots.7z", "same-blanks.7z"}) {
    SCOPED_TRACE(name);
    ScratchDir d("client");
    std::string error;
    EXPECT_FALSE(ExtractArchiveFiles(*lib_, Text(ArchivePath(name)), "", Text(d.path() / "dest"),
                                     nullptr, nullptr, true, true, &error));
    EXPECT_EQ(error, "#1002");
    EXPECT_FALSE(fs::exists(d.path() / "dest"));
  }
}

}  // namespace
}  // namespace corvane::install
