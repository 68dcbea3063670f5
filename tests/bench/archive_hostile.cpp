// Hostile archives against the exported operations, called the way the engine's client calls
// them (list, then hand every listed path back as the target list). scripts/measure-archive runs
// each case in a process of its own under /usr/bin/time for its peak memory.
//   archive_hostile make KIND FILE   writes one of the archives below (its size on stdout)
//   archive_hostile run FILE [--cancel-after-ms N]
//                                    lists and extracts FILE into a fresh scratch folder; prints
//                                    the outcome, the seconds and the key derivations
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/aes_decoder.h"
#include "archive/test_support.h"
#include "archive/testing/archive_writer.h"
#include "archive/zel_exports.h"


namespace {
namespace fs = std::filesystem;
using namespace corvane::archive::testing;
using Clock = std::chrono::steady_clock;

// Encrypted folders without checksums, sixteen bytes each, all with one key (salt_each: a salt
// of their own).
ArchiveSpec AesFolders(size_t n, unsigned power, bool salt_each) {
  ArchiveSpec spec;
  for (size_t i = 0; i < n; ++i) {
    Bytes salt = salt_each ? Bytes{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)} : Bytes{};
    auto aes = AesCoder(power, salt, Bytes(16, static_cast<uint8_t>(i)));
    spec.folders.push_back(Chain({CopyCoder(), aes}, Bytes(16, 0x5A), 16));
    std::string name = "f" + std::to_string(i);
    spec.entries.push_back({std::u16string(name.begin(), name.end())});
  }
  return spec;
}

bool Make(const std::string& kind, const fs::path& file) {
  ArchiveSpec spec;
  HeaderPacking packing;
  if (kind == "same-name-200k") {  // 200,000 empty files all named "a"
    spec.entries.push_back({u"a", EntrySpec::kEmptyFile, 200000});
    packing = HeaderPacking(HeaderPacking::kLzma);
  } else if (kind == "folders-500k-64") {  // 500,000 folders of 64 coders (empty method ids)
    FolderSpec f = Chain(std::vector<CoderSpec>(64, CoderSpec{}), {}, 0);
    f.repeat = 500000;
    spec.folders.push_back(f);
    spec.entries.push_back({u"f", EntrySpec::kData, 500000});
    packing = HeaderPacking(HeaderPacking::kLzma);
  } else if (kind == "entries-4.2m") {  // 4.19 million empty files
    spec.entries.push_back({u"a", EntrySpec::kEmptyFile, 4190000});
    packing = HeaderPacking(HeaderPacking::kLzma);
  } else if (kind == "aes-300") {  // 300 encrypted folders, one key of 2^19 rounds
    spec = AesFolders(300, 19, false);
  } else if (kind == "aes-salts-300") {  // the same, each with a salt of its own
    spec = AesFolders(300, 19, true);
  } else if (kind == "aes-long") {  // one key of 2^24 rounds (cancelled while derived)
    spec = AesFolders(1, 24, false);
  } else if (kind == "bomb-1g") {  // 1 GiB of zeros through three chained LZMA coders
    const LzmaData once = Lzma7zz(Bytes(size_t{1} << 30, 0));
    const LzmaData twice = Lzma7zz(once.data);
    const LzmaData thrice = Lzma7zz(twice.data);
    FolderSpec f = Chain({LzmaCoder(once.props), LzmaCoder(twice.props), LzmaCoder(thrice.props)},
                         thrice.data, 0);
    f.unpack_sizes = {uint64_t{1} << 30, once.data.size(), twice.data.size()};
    spec.folders.push_back(f);
    spec.entries.push_back({u"bomb.bin"});
  } else {
    std::fprintf(stderr, "unknown kind %s\n", kind.c_str());
    return false;
  }
  Bytes data = WriteArchive(spec, packing);
  WriteBytes(file, data);
  std::printf("%zu\n", data.size());
  return true;
}

Clock::time_point g_start;
long g_cancel_after_ms = -1;
long g_progress_calls = 0;
int Progress(const char*, uint64_t, uint64_t) {
  ++g_progress_calls;
  if (g_cancel_after_ms < 0) return 1;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_start).count();
  return ms >= g_cancel_after_ms ? 0 : 1;
}
int Password(char* buffer) {
  std::strcpy(buffer, "a password of some length");
  return 1;
}

int Run(const fs::path& file) {
  ScratchDir dest("hostile");
  g_start = Clock::now();
  uint64_t derivations = corvane::archive::AesKeyDerivations();
  std::string outcome;
  ZelEntryRecord* records = nullptr;
  int32_t count = 0;
  uintptr_t h = OpenListArchive(file.string().c_str(), 0, Password, 0, 0, 0, "", &records, &count);
  if (h == 0) {
    outcome = "listing failed with " + std::to_string(GetLastArchiveError());
  } else {
    std::vector<std::string> paths;
    for (int32_t i = 0; i < count; ++i) paths.push_back(records[i].path);
    CloseListArchive(h);
    std::vector<const char*> list;
    for (const auto& p : paths) list.push_back(p.c_str());
    ZelTargetList targets{list.data(), static_cast<uint32_t>(list.size())};
    int ok = ExtractArchive(file.string().c_str(), 1, dest.path().string().c_str(), &targets, 0, "",
                            Password, Progress, nullptr, nullptr);
    outcome = std::to_string(count) + " entries listed, extraction " +
              (ok ? std::string("succeeded") : "failed with " + std::to_string(GetLastArchiveError()));
  }
  double seconds = std::chrono::duration<double>(Clock::now() - g_start).count();
  std::printf("%s; %.3f s; %llu key derivations; %ld progress calls\n", outcome.c_str(), seconds,
              static_cast<unsigned long long>(corvane::archive::AesKeyDerivations() - derivations),
              g_progress_calls);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "make") return Make(argv[2], argv[3]) ? 0 : 1;
  if (argc >= 3 && std::string(argv[1]) == "run") {
    if (argc == 5 && std::string(argv[3]) == "--cancel-after-ms") g_cancel_after_ms = std::atol(argv[4]);
    return Run(argv[2]);
  }
  std::fprintf(stderr, "usage: archive_hostile make KIND FILE | run FILE [--cancel-after-ms N]\n");
  return 2;
}
