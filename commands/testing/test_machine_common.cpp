#include "commands/testing/test_machine.h"

namespace corvane::commands::testing {

void TestMachine::Write(const std::string& relative, const std::string& contents) {
  std::string path = root_ + "\\" + relative;
  size_t slash = path.rfind('\\');
  platform_->files().CreateDirectories(path.substr(0, slash));
  platform_->files().WriteFile(path, contents);
}

std::string TestMachine::Read(const std::string& relative) {
  std::string contents;
  if (platform_->files().ReadFile(root_ + "\\" + relative, &contents) != platform::Status::kOk) {
    return "<missing>";
  }
  return contents;
}

bool TestMachine::Exists(const std::string& relative) {
  uint32_t a = 0;
  return platform_->files().GetAttributes(root_ + "\\" + relative, &a) == platform::Status::kOk;
}

// Removes a folder tree through the platform (used at the end of a test).
void RemoveTree(platform::FileSystem& fs, const std::string& folder) {
  std::vector<platform::FileEntry> entries;
  if (fs.List(folder, "*", &entries) == platform::Status::kOk) {
    for (const auto& e : entries) {
      std::string path = folder + "\\" + e.name;
      if (e.attributes & platform::attr::kDirectory) {
        RemoveTree(fs, path);
      } else {
        fs.SetAttributes(path, platform::attr::kNormal);
        fs.DeleteFile(path);
      }
    }
  }
  fs.RemoveDirectory(folder);
}

}  // namespace corvane::commands::testing
