// Archives an attacker controls, made by the test writer: many entries of one name, headers
// that decode to far more than their archive or build a model beyond the memory budget, and
// encrypted folders without checksums that demand key after key.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/aes_decoder.h"
#include "archive/errors.h"
#include "archive/extract.h"
#include "archive/test_support.h"
#include "archive/testing/archive_writer.h"
#include "archive/zel_exports.h"


namespace corvane::archive {
namespace {
namespace fs = std::filesystem;
using testing::ArchiveSpec;
using testing::Bytes;
using testing::EntrySpec;
using testing::FixedPassword;
using testing::HeaderPacking;
using testing::ScratchDir;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// One copy folder holding the given files' data, plus the given entries before them.
ArchiveSpec CopyArchive(const std::vector<std::pair<std::u16string, std::string>>& files,
                        std::vector<EntrySpec> entries = {}) {
  ArchiveSpec spec;
  std::string all;
  testing::FolderSpec f = testing::Chain({testing::CopyCoder()}, {}, 0);
  for (const auto& [name, data] : files) {
    all += data;
    f.substreams.push_back(data.size());
    f.substream_crcs.push_back(Crc32(0, reinterpret_cast<const uint8_t*>(data.data()), data.size()));
    entries.push_back({name, EntrySpec::kData});
  }
  f.packed[0] = Text(all);
  f.unpack_sizes = {all.size()};
  if (!files.empty()) spec.folders.push_back(f);
  spec.entries = std::move(entries);
  return spec;
}

// Extracts the selected entries of an in-memory archive; 0 or the failure number.
int Extract(const Bytes& data, const std::vector<bool>& selected, const ExtractOptions& o,
            const std::string& password = "") {
  try {
    FixedPassword pw(password);
    Archive a(data.data(), data.size(), pw);
    ExtractEntries(a, selected, o);
    return 0;
  } catch (const ArchiveError& e) {
    return e.code();
  }
}

int OpenError(const Bytes& data) {
  try {
    FixedPassword pw("");
    Archive a(data.data(), data.size(), pw);
    return 0;
  } catch (const ArchiveError& e) {
    return e.code();
  }
}

TEST(ArchiveWriter, WrittenArchivesReadBackWithEveryHeaderPacking) {
  ArchiveSpec spec = CopyArchive({{u"docs/a.txt", "hello"}, {u"b.txt", "world!"}},
                                 {{u"docs", EntrySpec::kFolder}, {u"empty", EntrySpec::kEmptyFile}});
  std::vector<HeaderPacking::Kind> kinds = {HeaderPacking::kPlain, HeaderPacking::kCopy};
  if (testing::Have7zz()) kinds.push_back(HeaderPacking::kLzma);
  for (auto kind : kinds) {
    SCOPED_TRACE(kind);
    Bytes data = testing::WriteArchive(spec, HeaderPacking(kind));
    ScratchDir out("writer");
    ExtractOptions o;
    o.destination = out.path();
    ASSERT_EQ(Extract(data, std::vector<bool>(4, true), o), 0);
    EXPECT_EQ(testing::ReadBytes(out.path() / "docs" / "a.txt"), Text("hello"));
    EXPECT_EQ(testing::ReadBytes(out.path() / "b.txt"), Text("world!"));
    EXPECT_TRUE(fs::is_regular_file(out.path() / "empty"));
  }
}

// The client's way: list, then hand every listed path back as the target list.
int g_progress_calls = 0;
int g_cancel_at = 0;  // 0: never
std::string g_first_path;
int Progress(const char* path, uint64_t, uint64_t) {
  if (g_progress_calls++ == 0) g_first_path = path;
  return g_progress_calls == g_cancel_at ? 0 : 1;
}

int ExtractAsTheClientDoes(const fs::path& archive, const fs::path& dest) {
  ZelEntryRecord* records = nullptr;
  int32_t count = 0;
  uintptr_t h = OpenListArchive(archive.string().c_str(), 0, nullptr, 0, 0, 0, "", &records, &count);
  if (h == 0) return -GetLastArchiveError();
  std::vector<std::string> paths;
  for (int32_t i = 0; i < count; ++i) paths.push_back(records[i].path);
  CloseListArchive(h);
  std::vector<const char*> list;
  for (const auto& p : paths) list.push_back(p.c_str());
  ZelTargetList targets{list.data(), static_cast<uint32_t>(list.size())};
  g_progress_calls = 0;
  g_first_path.clear();
  return ExtractArchive(archive.string().c_str(), 1, dest.string().c_str(), &targets, 0, "", nullptr,
                        Progress, nullptr, nullptr);
}

TEST(HostileTargets, ThousandsOfEntriesOfOneNameAreMatchedOnceAndCancellable) {
  ScratchDir d("targets");
  fs::path archive = d.path() / "same-name.7z";
  testing::WriteBytes(archive, testing::WriteArchive(CopyArchive(
                                   {{u"b", "hello"}}, {{u"a", EntrySpec::kFolder, 200000}})));
  // Cancelled while the targets are matched: nothing is made, not even the destination.
  g_cancel_at = 1;
  EXPECT_EQ(ExtractAsTheClientDoes(archive, d.path() / "out"), 0);
  EXPECT_EQ(GetLastArchiveError(), kErrorCancelled);
  EXPECT_EQ(g_first_path, "a");
  EXPECT_FALSE(fs::exists(d.path() / "out"));

  g_cancel_at = 0;
  ASSERT_EQ(ExtractAsTheClientDoes(archive, d.path() / "out"), 1) << GetLastArchiveError();
  EXPECT_TRUE(fs::is_directory(d.path() / "out" / "a"));
  EXPECT_EQ(testing::ReadBytes(d.path() / "out" / "b"), Text("hello"));
}

TEST(HostileTargets, FoldersAndSkippedDataReportProgress) {
  std::vector<std::string> paths;
  int cancel_at = 1;
  ExtractOptions o;
  o.progress = [&](const std::string& path, uint64_t, uint64_t) {
    paths.push_back(path);
    return static_cast<int>(paths.size()) != cancel_at;
  };
  {  // Folder entries alone: each one reports as it starts.
    ScratchDir out("folders");
    o.destination = out.path();
    Bytes data = testing::WriteArchive(CopyArchive({}, {{u"f", EntrySpec::kFolder, 1000}}));
    EXPECT_EQ(Extract(data, std::vector<bool>(1000, true), o), kErrorCancelled);
    EXPECT_FALSE(fs::exists(out.path() / "f"));
  }
  {  // Decoding an unselected entry ahead of the wanted one reports with the skipped entry.
    ScratchDir out("skip");
    o.destination = out.path();
    paths.clear();
    Bytes data = testing::WriteArchive(
        CopyArchive({{u"skip.bin", std::string(8 << 20, 'x')}, {u"want.txt", "wanted"}}));
    EXPECT_EQ(Extract(data, {false, true}, o), kErrorCancelled);
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths[0], "skip.bin");
    EXPECT_FALSE(fs::exists(out.path() / "want.txt"));
  }
}

TEST(HostileHeader, DecodedSizeIsTiedToTheArchiveSize) {
  EXPECT_EQ(DecodedHeaderCap(0), uint64_t{8} << 20);
  EXPECT_EQ(DecodedHeaderCap(uint64_t{1} << 30), uint64_t{128} << 20);
  // A copied header announcing 100 MB from an archive of a few hundred bytes: refused before
  // anything is decoded.
  ArchiveSpec small = CopyArchive({{u"a", "x"}});
  HeaderPacking lie(HeaderPacking::kCopy, uint64_t{100} << 20, false);
  EXPECT_EQ(OpenError(testing::WriteArchive(small, lie)), kErrorLimit);
  // One announcing less than it holds stops there and finds the header cut short.
  HeaderPacking short_claim(HeaderPacking::kCopy, 10, false);
  EXPECT_EQ(OpenError(testing::WriteArchive(small, short_claim)), kErrorCannotOpen);
}

TEST(HostileHeader, MillionsOfEntriesInAFewKilobytesFailAsLimit) {
  if (!testing::Have7zz()) GTEST_SKIP() << "7zz cannot run here";
  // Just under the entry count cap: a 17 MB header packed into a few kilobytes.
  ArchiveSpec spec;
  spec.entries.push_back({u"a", EntrySpec::kEmptyFile, 4190000});
  Bytes data = testing::WriteArchive(spec, HeaderPacking(HeaderPacking::kLzma));
  EXPECT_LT(data.size(), 8000u);
  EXPECT_EQ(OpenError(data), kErrorLimit);
}

TEST(HostileHeader, ModelsBeyondTheBudgetFailAsLimit) {
  {  // 30,000 folders of 64 coders: a 7.6 MB header, 135 MB of model.
    ArchiveSpec spec;
    std::vector<testing::CoderSpec> coders(64, testing::CoderSpec{});  // empty method ids
    testing::FolderSpec f = testing::Chain(coders, {}, 0);
    f.repeat = 30000;
    spec.folders.push_back(f);
    spec.entries.push_back({u"f", EntrySpec::kData, 30000});
    EXPECT_EQ(OpenError(testing::WriteArchive(spec)), kErrorLimit);
  }
  {  // 400,000 empty files.
    ArchiveSpec spec;
    spec.entries.push_back({u"a", EntrySpec::kEmptyFile, 400000});
    EXPECT_EQ(OpenError(testing::WriteArchive(spec)), kErrorLimit);
  }
  {  // The model of a real-sized archive stays far inside the budget.
    FixedPassword pw("");
    Archive a(testing::ArchivePath("mx5.7z"), pw);
    EXPECT_GT(a.header_memory(), 0u);
    EXPECT_LT(a.header_memory(), kHeaderMemoryBudget / 100);
  }
}

// Encrypted folders without checksums, each of sixteen bytes.
ArchiveSpec AesFolders(size_t n, unsigned power, bool salt_each) {
  ArchiveSpec spec;
  for (size_t i = 0; i < n; ++i) {
    Bytes salt = salt_each ? Bytes{static_cast<uint8_t>(i), 1, 2, 3} : Bytes{};
    auto aes = testing::AesCoder(power, salt, Bytes(16, static_cast<uint8_t>(i)));
    spec.folders.push_back(testing::Chain({testing::CopyCoder(), aes}, Bytes(16, 0x5A), 16));
    spec.entries.push_back({u"f" + std::u16string(1, static_cast<char16_t>('A' + i % 26)) +
                                std::u16string(1, static_cast<char16_t>('a' + i / 26)),
                            EntrySpec::kData});
  }
  return spec;
}

TEST(HostileKeys, OneKeyForManyFoldersIsDerivedOnce) {
  ScratchDir out("keys");
  ExtractOptions o;
  o.destination = out.path();
  uint64_t before = AesKeyDerivations();
  EXPECT_EQ(Extract(testing::WriteArchive(AesFolders(300, 19, false)), std::vector<bool>(300, true),
                    o, "pw"),
            0);
  EXPECT_EQ(AesKeyDerivations() - before, 1u);
  // A salt of its own in each folder: more rounds than one call may spend are refused before
  // the first derivation.
  before = AesKeyDerivations();
  EXPECT_EQ(Extract(testing::WriteArchive(AesFolders(9, 24, true)), std::vector<bool>(9, true), o,
                    "pw"),
            kErrorLimit);
  EXPECT_EQ(AesKeyDerivations() - before, 0u);
}

TEST(HostileKeys, ALongDerivationReportsProgressAndStopsOnCancel) {
  ScratchDir out("keys");
  ExtractOptions o;
  o.destination = out.path();
  std::vector<std::string> paths;
  o.progress = [&](const std::string& path, uint64_t, uint64_t) {
    paths.push_back(path);
    return false;
  };
  uint64_t before = AesKeyDerivations();
  EXPECT_EQ(Extract(testing::WriteArchive(AesFolders(1, 24, false)), {true}, o, "a long password"),
            kErrorCancelled);
  EXPECT_EQ(AesKeyDerivations() - before, 0u);  // stopped inside the derivation
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(paths[0], "fAa");
}

}  // namespace
}  // namespace corvane::archive
