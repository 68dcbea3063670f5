// Helpers shared by the archive tests: where the 7zz-made fixtures are, scratch folders, and a
// byte-for-byte comparison of two folder trees.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace corvane::archive::testing {

struct Fixture {
  std::string archive;   // file name inside archives/
  std::string outcome;   // "ok" or "unsupported"
  std::string password;  // 8-bit, empty for none
};

// The fixture folder (tree/, archives/, manifest.txt), as a path this process can open.
std::filesystem::path FixtureDir();
std::vector<Fixture> Manifest();
std::filesystem::path ArchivePath(const std::string& name);

// A fresh empty folder, removed when the object goes away.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag);
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Empty when both trees hold the same folders and files with the same bytes; otherwise a
// description of the first difference.
std::string CompareTrees(const std::filesystem::path& expected, const std::filesystem::path& actual);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& data);

// A password source with a fixed answer that counts how often it is asked.
class FixedPassword : public PasswordSource {
 public:
  explicit FixedPassword(std::string text) : text_(std::move(text)) {}
  bool Get(std::string* utf16le) override;
  int asked = 0;

 private:
  std::string text_;
};

}  // namespace corvane::archive::testing
