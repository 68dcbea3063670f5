#include "archive/test_support.h"

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
    if (kind == "file" && ReadBytes(expected / fs::u8path(name)) != ReadBytes(actual / fs::u8path(name)))
      return "different bytes: " + name;
  }
  for (const auto& [name, kind] : b)
    if (a.find(name) == a.end()) return "unexpected: " + name;
  return "";
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
