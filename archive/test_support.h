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

// Rewrites the first number of a plain (unpacked) header that follows the property byte id and
// equals old_value, as new_value (its encoded length may change), and repairs the start header's
// size and CRCs. False when the archive has no plain header or no such number.
bool PatchHeaderNumber(std::vector<uint8_t>* archive, uint8_t id, uint64_t old_value,
                       uint64_t new_value);

// The names of the files and folders below root (generic form), for "nothing was written" checks.
std::vector<std::string> NamesBelow(const std::filesystem::path& root);

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
