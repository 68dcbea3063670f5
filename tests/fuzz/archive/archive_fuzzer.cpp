// The first byte chooses what the rest is fed to:
//   0: a whole archive, opened from memory and decoded folder by folder into a counting sink
//   1: a plain header
//   2: an LZMA stream (5 property bytes first), 3: an LZMA2 stream (1 property byte first)
//   4: a whole archive, extracted into a scratch folder of the host (5: its folders dropped),
//      with the path and link rules of the extraction at work: the scratch folder holds a link
//      to a sibling folder and a read-only file, and whatever the archive says, nothing may
//      appear in the sibling, the read-only file must stay as it was, and nothing but the
//      planted link may be a link afterwards
// No password is offered, so encrypted inputs stop at the key (key derivation would dominate
// the run time). Output is capped at 64 MiB per input to keep each run short.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/errors.h"
#include "archive/extract.h"
#include "archive/header.h"
#include "archive/lzma_decoder.h"

namespace {
using namespace corvane::archive;

constexpr uint64_t kOutputCap = uint64_t{64} << 20;
struct CapReached {};

struct NoPassword : PasswordSource {
  bool Get(std::string*) override { return false; }
};

struct CountingSink : EntrySink {
  uint64_t total = 0;
  void Begin(size_t) override {}
  void Write(const uint8_t*, size_t n) override {
    total += n;
    if (total > kOutputCap) throw CapReached{};
  }
  void End(size_t) override {}
};

namespace fs = std::filesystem;

// The scratch folder of this process: out/ is the destination, with out/link pointing at
// outside/ and out/kept.txt read-only.
const fs::path& Scratch() {
  static const fs::path root = [] {
    const char* tmp = std::getenv("TMPDIR");
    fs::path r = fs::path(tmp && *tmp ? tmp : "/tmp") /
                 ("zel-extract-fuzz-" + std::to_string(::getpid()));
    fs::remove_all(r);
    fs::create_directories(r / "outside");
    return r;
  }();
  // Registered after root is made, so that it runs before root goes.
  static const bool cleanup = std::atexit([] {
    std::error_code ec;
    fs::permissions(Scratch() / "out" / "kept.txt", fs::perms::owner_write,
                    fs::perm_options::add, ec);
    fs::remove_all(Scratch(), ec);
  }) == 0;
  (void)cleanup;
  return root;
}

const char kKept[] = "kept as it was";

void PrepareScratch() {
  const fs::path out = Scratch() / "out";
  std::error_code ec;
  fs::permissions(out / "kept.txt", fs::perms::owner_write, fs::perm_options::add, ec);
  fs::remove_all(out, ec);
  fs::create_directories(out / "sub");
  fs::create_directory_symlink(Scratch() / "outside", out / "link");
  std::ofstream(out / "kept.txt") << kKept;
  fs::permissions(out / "kept.txt", fs::perms::owner_write | fs::perms::group_write |
                                        fs::perms::others_write,
                  fs::perm_options::remove);
}

// The rules that no archive may break.
void CheckScratch() {
  const fs::path out = Scratch() / "out";
  if (!fs::is_empty(Scratch() / "outside")) __builtin_trap();  // written through the link
  std::error_code ec;
  if ((fs::status(out / "kept.txt", ec).permissions() & fs::perms::owner_write) !=
      fs::perms::none) {
    __builtin_trap();  // made writable (through a link, or by an entry of that name)
  }
  for (auto it = fs::recursive_directory_iterator(out, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_symlink() && it->path() != out / "link") __builtin_trap();
  }
}

void ExtractIntoScratch(const uint8_t* data, size_t size, bool flat) {
  PrepareScratch();
  NoPassword pw;
  try {
    Archive a(data, size, pw);
    std::vector<bool> all(a.entries().size(), true);
    ExtractOptions o;
    o.destination = Scratch() / "out";
    o.strip_folders = flat;
    // The output of one input stays small: a cancel past the cap.
    o.progress = [](const std::string&, uint64_t done, uint64_t) { return done <= kOutputCap; };
    o.overwrite = [](const fs::path&, const std::string&) { return true; };
    ExtractEntries(a, all, o);
  } catch (const ArchiveError&) {
  }
  CheckScratch();
}

void Drain(InStream& s) {
  static uint8_t buf[1 << 16];
  uint64_t total = 0;
  for (size_t n; (n = s.Read(buf, sizeof buf)) != 0;) {
    total += n;
    if (total > kOutputCap) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  try {
    switch (mode % 6) {
      case 0: {
        NoPassword pw;
        Archive a(data, size, pw);
        std::vector<bool> all(a.entries().size(), true);
        CountingSink sink;
        a.Extract(all, sink);
        break;
      }
      case 1:
        ParseHeader(data, size);
        break;
      case 2:
        if (size >= 5) {
          std::vector<uint8_t> props(data, data + 5);
          LzmaStream s(std::make_unique<MemoryStream>(data + 5, size - 5), props, 1 << 20);
          Drain(s);
        }
        break;
      case 3:
        if (size >= 1) {
          std::vector<uint8_t> props(data, data + 1);
          Lzma2Stream s(std::make_unique<MemoryStream>(data + 1, size - 1), props, 1 << 20);
          Drain(s);
        }
        break;
      case 4:
      case 5:
        ExtractIntoScratch(data, size, mode % 6 == 5);
        break;
    }
  } catch (const ArchiveError&) {
  } catch (const CapReached&) {
  }
  return 0;
}
