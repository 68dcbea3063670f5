// Extracts the same archive with the archive library and with "7zz x -mmt=1", each in a child
// process of its own, and reports wall time, CPU time, peak memory and the ratios:
//   time_ratio   = our time / 7zz's time (target <= 1.25); cpu_ratio the same for CPU time,
//                  which a busy machine disturbs less
//   memory_ratio = our peak resident memory / (dictionary size + 64 MiB) (target <= 1)
// The archive (about 200 MB of text, program code, incompressible data and audio; LZMA2 -mx5)
// is made once in ARCHIVE_BENCH_DATA (or $CORVANE_BENCH_DATA) and reused.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/errors.h"
#include "archive/extract.h"

extern char** environ;

namespace {
namespace fs = std::filesystem;
using corvane::archive::Archive;

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kDictionary = 16 * kMiB;  // LZMA2 at -mx5

fs::path DataDir() {
  const char* env = std::getenv("CORVANE_BENCH_DATA");
  return fs::path(env != nullptr ? env : ARCHIVE_BENCH_DATA);
}

struct Outcome {
  double seconds = 0;
  double cpu_seconds = 0;  // user + system time of the child
  long peak_kib = 0;
  int status = -1;
};

Outcome Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  Outcome out;
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return out;
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out.peak_kib = ru.ru_maxrss;
  out.cpu_seconds = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
                    (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  posix_spawn_file_actions_destroy(&actions);
  return out;
}

// Names a Windows setup can hold: the system folders have files that differ only by letter case
// (xt_MARK.h, xt_mark.h), which the library refuses as one file named twice. The key is the
// path in lower case, trailing dots and blanks of each component dropped.
std::string WindowsKey(const fs::path& relative) {
  std::string key;
  for (const auto& part : relative) {
    std::string s = part.string();
    while (!s.empty() && (s.back() == '.' || s.back() == ' ')) s.pop_back();
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    key += "/" + s;
  }
  return key;
}

// Copies regular files from the system folders until budget bytes are taken.
void CopySome(const std::vector<fs::path>& roots, const fs::path& to, uint64_t budget,
              bool (*want)(const fs::path&)) {
  static std::map<std::string, std::string> taken_names;  // key -> the name that took it
  uint64_t taken = 0;
  std::error_code ec;
  for (const auto& root : roots) {
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator() && taken < budget; it.increment(ec)) {
      if (ec || it->is_symlink() || !it->is_regular_file()) continue;
      uint64_t size = it->file_size(ec);
      if (ec || size == 0 || size > 8 * kMiB || !want(it->path())) continue;
      fs::path relative = fs::relative(it->path(), "/", ec);
      bool clash = false;
      fs::path prefix;
      for (const auto& part : relative) {
        prefix /= part;
        auto [at, added] = taken_names.emplace(WindowsKey(prefix), prefix.string());
        clash = clash || (!added && at->second != prefix.string());
      }
      if (clash) continue;
      fs::path target = to / relative;
      fs::create_directories(target.parent_path(), ec);
      if (fs::copy_file(it->path(), target, fs::copy_options::skip_existing, ec)) taken += size;
    }
  }
}

void WriteGenerated(const fs::path& p, uint64_t size, bool audio, uint32_t seed) {
  std::ofstream out(p, std::ios::binary);
  std::vector<uint8_t> block(1 << 16);
  uint32_t x = seed;
  uint64_t n = 0;
  for (uint64_t done = 0; done < size; done += block.size()) {
    for (size_t i = 0; i < block.size(); i += 2, ++n) {
      int16_t v;
      if (audio) {
        v = static_cast<int16_t>(9000 * std::sin(n * 0.031) + 4000 * std::sin(n * 0.0071) + (x & 63));
      } else {
        v = static_cast<int16_t>(x >> 16);
      }
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      block[i] = static_cast<uint8_t>(v);
      block[i + 1] = static_cast<uint8_t>(v >> 8);
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
  }
}

fs::path Archive200() {
  fs::path dir = DataDir();
  fs::path archive = dir / "mixed-mx5.7z";
  if (fs::exists(archive)) return archive;
  fs::path tree = dir / "tree";
  fs::remove_all(tree);
  fs::create_directories(tree / "generated");
  std::fprintf(stderr, "making the benchmark archive in %s (once)\n", dir.c_str());
  CopySome({"/usr/include", "/usr/share/doc", "/usr/share/perl"}, tree, 70 * kMiB,
           [](const fs::path& p) { return p.extension() != ".gz"; });
  CopySome({"/usr/lib/x86_64-linux-gnu", "/usr/bin"}, tree, 90 * kMiB,
           [](const fs::path& p) { return p.extension() != ".a"; });
  for (int i = 0; i < 4; ++i) {
    WriteGenerated(tree / "generated" / ("noise" + std::to_string(i) + ".bin"), 5 * kMiB, false, 77 + i);
    WriteGenerated(tree / "generated" / ("tone" + std::to_string(i) + ".wav"), 5 * kMiB, true, 99 + i);
  }
  fs::path partial = dir / "partial.7z";
  fs::remove(partial);
  Outcome made = Run({"sh", "-c", "cd '" + tree.string() + "' && exec 7zz a -t7z -mx5 -m0=LZMA2 -bd '" +
                                      partial.string() + "' ."});
  if (made.status != 0) return {};
  fs::rename(partial, archive);
  return archive;
}

Outcome g_ours, g_theirs;

Outcome Best(benchmark::State& state, const std::vector<std::string>& command, const fs::path& out) {
  Outcome best;
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    Outcome o = Run(command);
    if (o.status != 0) {
      state.SkipWithError("extraction failed");
      break;
    }
    state.SetIterationTime(o.seconds);
    if (best.status != 0 || o.seconds < best.seconds) best.seconds = o.seconds;
    if (best.status != 0 || o.cpu_seconds < best.cpu_seconds) best.cpu_seconds = o.cpu_seconds;
    best.peak_kib = std::max(best.peak_kib, o.peak_kib);
    best.status = 0;
  }
  fs::remove_all(out);
  state.counters["seconds"] = best.seconds;
  state.counters["cpu_seconds"] = best.cpu_seconds;
  state.counters["peak_MiB"] = best.peak_kib / 1024.0;
  return best;
}

std::string g_self;

void BM_ExtractArchiveLibrary(benchmark::State& state) {
  fs::path archive = Archive200();
  if (archive.empty()) return state.SkipWithError("cannot make the archive");
  g_ours = Best(state, {g_self, "--extract", archive.string(), (DataDir() / "out-ours").string()},
                DataDir() / "out-ours");
  state.counters["memory_ratio"] =
      g_ours.peak_kib * 1024.0 / static_cast<double>(kDictionary + 64 * kMiB);
}

void BM_Extract7zz(benchmark::State& state) {
  fs::path archive = Archive200();
  if (archive.empty()) return state.SkipWithError("cannot make the archive");
  fs::path out = DataDir() / "out-7zz";
  g_theirs = Best(state, {"7zz", "x", "-mmt=1", "-y", "-bd", "-o" + out.string(), archive.string()}, out);
  if (g_ours.seconds > 0) {
    state.counters["time_ratio"] = g_ours.seconds / g_theirs.seconds;
    state.counters["cpu_ratio"] = g_ours.cpu_seconds / g_theirs.cpu_seconds;
  }
}

// Decoding alone (CRC checked, nothing written) against "7zz t": the decoder without the disk.
Outcome g_decode_ours, g_decode_theirs;

void BM_DecodeArchiveLibrary(benchmark::State& state) {
  fs::path archive = Archive200();
  if (archive.empty()) return state.SkipWithError("cannot make the archive");
  g_decode_ours = Best(state, {g_self, "--decode", archive.string(), "-"}, DataDir() / "out-ours");
}

void BM_Test7zz(benchmark::State& state) {
  fs::path archive = Archive200();
  if (archive.empty()) return state.SkipWithError("cannot make the archive");
  g_decode_theirs = Best(state, {"7zz", "t", "-mmt=1", "-bd", archive.string()}, DataDir() / "out-7zz");
  if (g_decode_ours.seconds > 0) {
    state.counters["time_ratio"] = g_decode_ours.seconds / g_decode_theirs.seconds;
    state.counters["cpu_ratio"] = g_decode_ours.cpu_seconds / g_decode_theirs.cpu_seconds;
  }
}

BENCHMARK(BM_DecodeArchiveLibrary)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Test7zz)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractArchiveLibrary)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Extract7zz)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

struct NullSink : corvane::archive::EntrySink {
  void Begin(size_t) override {}
  void Write(const uint8_t*, size_t) override {}
  void End(size_t) override {}
};

// The child side: extracts everything (or only decodes it), exits 0 on success.
int ExtractOnly(const char* archive_path, const char* dest, bool decode_only) {
  struct NoPassword : corvane::archive::PasswordSource {
    bool Get(std::string*) override { return false; }
  } none;
  try {
    Archive a(archive_path, none);
    std::vector<bool> all(a.entries().size(), true);
    if (decode_only) {
      NullSink sink;
      a.Extract(all, sink);
      return 0;
    }
    corvane::archive::ExtractOptions o;
    o.destination = dest;
    corvane::archive::ExtractEntries(a, all, o);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "extraction failed: %s\n", e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--extract") return ExtractOnly(argv[2], argv[3], false);
  if (argc == 4 && std::string(argv[1]) == "--decode") return ExtractOnly(argv[2], argv[3], true);
  g_self = fs::canonical("/proc/self/exe").string();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (g_ours.seconds > 0 && g_theirs.seconds > 0) {
    std::printf("time ratio (ours / 7zz -mmt=1): wall %.3f (%.3f s / %.3f s), cpu %.3f (%.3f s / %.3f s)\n",
                g_ours.seconds / g_theirs.seconds, g_ours.seconds, g_theirs.seconds,
                g_ours.cpu_seconds / g_theirs.cpu_seconds, g_ours.cpu_seconds, g_theirs.cpu_seconds);
    std::printf("memory ratio (peak / (16 MiB dictionary + 64 MiB)): %.3f  (peak %.1f MiB)\n",
                g_ours.peak_kib * 1024.0 / static_cast<double>(kDictionary + 64 * kMiB),
                g_ours.peak_kib / 1024.0);
  }
  if (g_decode_ours.seconds > 0 && g_decode_theirs.seconds > 0) {
    std::printf("decode only (ours / 7zz t -mmt=1): wall %.3f (%.3f s / %.3f s), cpu %.3f\n",
                g_decode_ours.seconds / g_decode_theirs.seconds, g_decode_ours.seconds,
                g_decode_theirs.seconds, g_decode_ours.cpu_seconds / g_decode_theirs.cpu_seconds);
  }
  benchmark::Shutdown();
  return 0;
}
