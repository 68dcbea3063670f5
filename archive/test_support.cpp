#include "archive/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/host_path.h"

namespace corvane::archive::testing {
namespace fs = std::filesystem;

fs::path FixtureDir() {
  const char* env = std::getenv("CORVANE_ARCHIVE_FIXTURES");
  std::string dir = env != nullptr ? env : ARCHIVE_FIXTURES_DIR;
  return fs::path(corvane::testing::HostPath(dir));
}

std::vector<Fixture> Manifest() {
  std::vector<Fixture> out;
  std::ifstream in(FixtureDir() / "manifest.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Fixture f;
    std::istringstream fields(line);
    std::getline(fields, f.archive, '\t');
    std::getline(fields, f.outcome, '\t');
    std::getline(fields, f.password, '\t');
    if (!f.archive.empty()) out.push_back(f);
  }
  return out;
}

fs::path ArchivePath(const std::string& name) { return FixtureDir() / "archives" / name; }

ScratchDir::ScratchDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("zeltest-" + tag + "-" + std::to_string(std::rand()) + "-" + std::to_string(++counter));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  if (!in) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void WriteBytes(const fs::path& p, const std::vector<uint8_t>& data) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

namespace {
// Relative path (generic form) -> "dir" or "file".
std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).generic_string();
    out[rel] = e.is_directory() ? "dir" : "file";
  }
  return out;
}
}  // namespace

std::string CompareTrees(const fs::path& expected, const fs::path& actual) {
  auto a = Listing(expected);
  auto b = Listing(actual);
  for (const auto& [name, kind] : a) {
    auto it = b.find(name);
    if (it == b.end()) return "missing: " + name;
    if (it->second != kind) return "wrong kind: " + name;
    if (kind == "file" &&
        ReadBytes(expected / fs::u8path(name)) != ReadBytes(actual / fs::u8path(name)))
      return "different bytes: " + name;
  }
  for (const auto& [name, kind] : b)
    if (a.find(name) == a.end()) return "unexpected: " + name;
  return "";
}

namespace {
std::vector<uint8_t> EncodeNumber(uint64_t v) {
  int extra = 0;
  while (extra < 8 && v >= (uint64_t{1} << (7 * (extra + 1)))) ++extra;
  std::vector<uint8_t> out;
  uint8_t first = static_cast<uint8_t>(0xFF00u >> extra);
  if (extra < 8) first |= static_cast<uint8_t>(v >> (8 * extra));
  out.push_back(first);
  for (int i = 0; i < extra; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return out;
}
uint64_t Le64At(const std::vector<uint8_t>& b, size_t at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}
void PutLe(std::vector<uint8_t>* b, size_t at, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) (*b)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

bool PatchHeaderNumber(std::vector<uint8_t>* archive, uint8_t id, uint64_t old_value,
                       uint64_t new_value) {
  std::vector<uint8_t>& a = *archive;
  if (a.size() < 32) return false;
  size_t start = 32 + static_cast<size_t>(Le64At(a, 12));
  size_t size = static_cast<size_t>(Le64At(a, 20));
  if (start + size != a.size() || size == 0 || a[start] != 0x01) return false;  // plain header
  std::vector<uint8_t> needle = EncodeNumber(old_value);
  needle.insert(needle.begin(), id);
  auto at = std::search(a.begin() + static_cast<std::ptrdiff_t>(start), a.end(), needle.begin(),
                        needle.end());
  if (at == a.end()) return false;
  std::vector<uint8_t> repl = EncodeNumber(new_value);
  repl.insert(repl.begin(), id);
  size_t pos = static_cast<size_t>(at - a.begin());
  a.erase(a.begin() + static_cast<std::ptrdiff_t>(pos),
          a.begin() + static_cast<std::ptrdiff_t>(pos + needle.size()));
  a.insert(a.begin() + static_cast<std::ptrdiff_t>(pos), repl.begin(), repl.end());
  size = a.size() - start;
  PutLe(&a, 20, size, 8);
  PutLe(&a, 28, Crc32(0, a.data() + start, size), 4);
  PutLe(&a, 8, Crc32(0, a.data() + 12, 20), 4);
  return true;
}

std::vector<std::string> NamesBelow(const fs::path& root) {
  std::vector<std::string> out;
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    out.push_back(fs::relative(e.path(), root).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

bool FixedPassword::Get(std::string* utf16le) {
  ++asked;
  if (text_.empty()) return false;
  utf16le->clear();
  for (unsigned char c : text_) {  // the fixtures' passwords are ASCII
    utf16le->push_back(static_cast<char>(c));
    utf16le->push_back('\0');
  }
  return true;
}

}  // namespace corvane::archive::testing
