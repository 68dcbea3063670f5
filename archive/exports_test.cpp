// The exported operations as the engine calls them: record layout, callbacks, failure numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "archive/test_support.h"
#include "archive/zel_exports.h"


namespace corvane::archive {
namespace {
namespace fs = std::filesystem;
using testing::ArchivePath;
using testing::FixtureDir;
using testing::ScratchDir;

std::string Narrow(const fs::path& p) { return p.string(); }

int g_password_calls = 0;
int GivePassword(char* buffer) {
  ++g_password_calls;
  std::strcpy(buffer, "Geheim 1234");
  return 1;
}
int NoPassword(char*) {
  ++g_password_calls;
  return 0;
}
int g_progress_calls = 0;
int g_progress_stop_after = 1 << 30;
int Progress(const char*, uint64_t done, uint64_t total) {
  EXPECT_LE(done, total);
  return ++g_progress_calls < g_progress_stop_after;
}
int GoOn(const void*, const void*) { return 1; }
int g_answer = 4;
int g_answers = 0;
int Answer(const void*, const void*, const void*, const void*, const void*, const void*,
           const void*, const void*, const void*, const void*) {
  ++g_answers;
  return g_answer;
}

TEST(Exports, ListingHandsOutRecordsUntilClosed) {
  ZelEntryRecord* records = nullptr;
  int32_t count = -1;
  g_password_calls = 0;
  uintptr_t h = OpenListArchive(Narrow(ArchivePath("password-he.7z")).c_str(), 0, GivePassword, 0,
                                0, 0, "", &records, &count);
  ASSERT_NE(h, 0u) << GetLastArchiveError();
  EXPECT_EQ(g_password_calls, 1);
  ASSERT_GT(count, 10);
  bool seen = false;
  for (int32_t i = 0; i < count; ++i) {
    if (std::strcmp(records[i].path, "docs\\notes\\changes.txt") == 0) {
      seen = true;
      EXPECT_EQ(records[i].size, 5000u);
      EXPECT_NE(records[i].modified, 0u);
      EXPECT_EQ(records[i].flags & kZelEntryEncrypted, kZelEntryEncrypted);
    }
  }
  EXPECT_TRUE(seen);
  CloseListArchive(h);
}

TEST(Exports, ListingFailuresCarryTheirNumbers) {
  ZelEntryRecord* records = nullptr;
  int32_t count = 0;
  ScratchDir d("exp");
  EXPECT_EQ(OpenListArchive(Narrow(d.path() / "missing.7z").c_str(), 0, nullptr, 0, 0, 0, "",
                            &records, &count),
            0u);
  EXPECT_EQ(GetLastArchiveError(), 1001);
  testing::WriteBytes(d.path() / "text.7z", {'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(OpenListArchive(Narrow(d.path() / "text.7z").c_str(), 0, nullptr, 0, 0, 0, "",
                            &records, &count),
            0u);
  EXPECT_EQ(GetLastArchiveError(), 1003);
  g_password_calls = 0;
  EXPECT_EQ(OpenListArchive(Narrow(ArchivePath("password-he.7z")).c_str(), 0, NoPassword, 0, 0,
                            0, "", &records, &count),
            0u);
  EXPECT_EQ(GetLastArchiveError(), 1003);
  EXPECT_EQ(g_password_calls, 1);
  // The password argument serves when the callback has none.
  uintptr_t h = OpenListArchive(Narrow(ArchivePath("password-he.7z")).c_str(), 0, NoPassword, 0,
                                0, 0, "Geheim 1234", &records, &count);
  EXPECT_NE(h, 0u);
  CloseListArchive(h);
}

TEST(Exports, ExtractsTargetsWithCallbacksAndStrip) {
  ScratchDir d("exp");
  const char* wanted[] = {"media\\tone.wav", "docs/readme.txt"};
  ZelTargetList targets{wanted, 2};
  g_password_calls = 0;
  g_progress_calls = 0;
  g_progress_stop_after = 1 << 30;
  ASSERT_EQ(ExtractArchive(Narrow(ArchivePath("password-he-bcj2.7z")).c_str(), 1,
                           Narrow(d.path()).c_str(), &targets, 1, "", GivePassword, Progress,
                           GoOn, Answer),
            1)
      << GetLastArchiveError();
  EXPECT_EQ(g_password_calls, 1);
  EXPECT_GE(g_progress_calls, 2);
  EXPECT_EQ(testing::ReadBytes(d.path() / "tone.wav"),
            testing::ReadBytes(FixtureDir() / "tree" / "media" / "tone.wav"));
  EXPECT_TRUE(fs::is_regular_file(d.path() / "readme.txt"));
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(d.path())) n += 1 + 0 * e.is_regular_file();
  EXPECT_EQ(n, 2u);

  // Extracting again asks about each existing file; answer 1 keeps it.
  testing::WriteBytes(d.path() / "readme.txt", {'k'});
  g_answer = 1;
  g_answers = 0;
  ASSERT_EQ(ExtractArchive(Narrow(ArchivePath("password-he-bcj2.7z")).c_str(), 1,
                           Narrow(d.path()).c_str(), &targets, 1, "Geheim 1234", nullptr, nullptr,
                           nullptr, Answer),
            1);
  EXPECT_EQ(g_answers, 2);
  EXPECT_EQ(testing::ReadBytes(d.path() / "readme.txt").size(), 1u);
  g_answer = 4;
}

TEST(Exports, ExtractionFailuresCarryTheirNumbers) {
  ScratchDir d("exp");
  std::string dest = Narrow(d.path());
  const char* wild[] = {"docs\\*.txt"};
  ZelTargetList wildcard{wild, 1};
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("mx1.7z")).c_str(), 1, dest.c_str(), &wildcard, 0,
                           "", nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastArchiveError(), 1002);
  const char* absent[] = {"nothing.txt"};
  ZelTargetList missing{absent, 1};
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("mx1.7z")).c_str(), 1, dest.c_str(), &missing, 0,
                           "", nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastArchiveError(), 1008);
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("ppmd.7z")).c_str(), 1, dest.c_str(), nullptr, 0,
                           "", nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastArchiveError(), 1003);
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("escape-dotdot.7z")).c_str(), 1, dest.c_str(),
                           nullptr, 0, "", nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastArchiveError(), 1002);
  g_progress_calls = 0;
  g_progress_stop_after = 2;
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("mx9.7z")).c_str(), 1, dest.c_str(), nullptr, 0, "",
                           nullptr, Progress, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastArchiveError(), 1006);
  EXPECT_EQ(g_progress_calls, 2);
  g_progress_stop_after = 1 << 30;
  // A success clears the number.
  EXPECT_EQ(ExtractArchive(Narrow(ArchivePath("mx1.7z")).c_str(), 1, dest.c_str(), nullptr, 0,
                           "", nullptr, nullptr, nullptr, nullptr),
            1);
  EXPECT_EQ(GetLastArchiveError(), 0);
}

// Names the code page cannot spell list with '?' and still extract under their stored names,
// when the listing is handed back as the target list as the engine does.
TEST(Exports, NamesOutsideTheCodePageExtractUnderTheirStoredNames) {
  const std::string archive = Narrow(ArchivePath("wide-names.7z"));
  ZelEntryRecord* records = nullptr;
  int32_t count = 0;
  uintptr_t h = OpenListArchive(archive.c_str(), 0, nullptr, 0, 0, 0, "", &records, &count);
  ASSERT_NE(h, 0u) << GetLastArchiveError();
  std::vector<std::string> listed;
  for (int32_t i = 0; i < count; ++i) listed.push_back(records[i].path);
  CloseListArchive(h);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "??.txt"), 2) << ::testing::PrintToString(listed);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "??\\a.txt"), 1);

  ScratchDir d("wide");
  std::vector<const char*> all;
  for (const auto& p : listed) all.push_back(p.c_str());
  ZelTargetList everything{all.data(), static_cast<uint32_t>(all.size())};
  ASSERT_EQ(ExtractArchive(archive.c_str(), 1, Narrow(d.path()).c_str(), &everything, 0, "",
                           nullptr, nullptr, nullptr, nullptr),
            1)
      << GetLastArchiveError();
  auto text = [](const fs::path& p) {
    std::vector<uint8_t> b = testing::ReadBytes(p);
    return std::string(b.begin(), b.end());
  };
  EXPECT_EQ(text(d.path() / "readme.txt"), "plain\r\n");
  EXPECT_EQ(text(d.path() / fs::path(u8"\u65E5\u672C.txt")), "nihon\r\n");
  EXPECT_EQ(text(d.path() / fs::path(u8"\u4E2D\u56FD.txt")), "zhongguo\r\n");
  EXPECT_EQ(text(d.path() / fs::path(u8"\u65E5\u672C") / "a.txt"), "inside\r\n");

  // One listed name selects every entry listed so; a name with '?' that is not listed is still
  // a wildcard, and refused.
  ScratchDir flat("wide");
  const char* both[] = {"??.txt", "?\?/a.txt"};
  ZelTargetList two{both, 2};
  ASSERT_EQ(ExtractArchive(archive.c_str(), 1, Narrow(flat.path()).c_str(), &two, 1, "", nullptr,
                           nullptr, nullptr, nullptr),
            1)
      << GetLastArchiveError();
  EXPECT_TRUE(fs::is_regular_file(flat.path() / fs::path(u8"\u65E5\u672C.txt")));
  EXPECT_TRUE(fs::is_regular_file(flat.path() / fs::path(u8"\u4E2D\u56FD.txt")));
  EXPECT_EQ(text(flat.path() / "a.txt"), "inside\r\n");
  EXPECT_FALSE(fs::exists(flat.path() / "readme.txt"));
  for (const char* wild : {"?eadme.txt", "*.txt", "???.txt"}) {
    const char* one[] = {wild};
    ZelTargetList list{one, 1};
    EXPECT_EQ(ExtractArchive(archive.c_str(), 1, Narrow(flat.path()).c_str(), &list, 1, "",
                             nullptr, nullptr, nullptr, nullptr),
              0)
        << wild;
    EXPECT_EQ(GetLastArchiveError(), 1002) << wild;
  }
}

}  // namespace
}  // namespace corvane::archive
