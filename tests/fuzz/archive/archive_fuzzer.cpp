// The first byte chooses what the rest is fed to:
//   0: a whole archive, opened from memory and decoded folder by folder into a counting sink
//   1: a plain header
//   2: an LZMA stream (5 property bytes first), 3: an LZMA2 stream (1 property byte first)
// No password is offered, so encrypted inputs stop at the key (key derivation would dominate
// the run time). Output is capped at 64 MiB per input to keep each run short.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/errors.h"
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
    switch (mode % 4) {
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
    }
  } catch (const ArchiveError&) {
  } catch (const CapReached&) {
  }
  return 0;
}
