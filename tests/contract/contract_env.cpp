#include "tests/contract/contract_env.h"

#include <atomic>

namespace corvane::contract {

using namespace platform;

namespace {

std::atomic<int> counter{0};

// Removes a folder tree through the platform (read-only entries included).
void RemoveTree(FileSystem& fs, const std::string& folder) {
  std::vector<FileEntry> entries;
  if (fs.List(folder, "*", &entries) != Status::kOk) return;
  for (const FileEntry& e : entries) {
    std::string path = folder + "\\" + e.name;
    fs.SetAttributes(path, attr::kNormal);
    if (e.attributes & attr::kDirectory) {
      RemoveTree(fs, path);
    } else {
      fs.DeleteFile(path);
    }
  }
  fs.SetAttributes(folder, attr::kNormal);
  fs.RemoveDirectory(folder);
}

}  // namespace

void ContractTest::SetUp() {
  env_ = CreateContractEnv();
  std::string unique = std::to_string(Sys().TickCount()) + "-" + std::to_string(++counter);
  scratch_ = Sys().TempFolder() + "corvane-contract-" + unique;
  ASSERT_EQ(Files().CreateDirectories(scratch_), Status::kOk) << scratch_;
  key_ = "Software\\CorvaneContract\\" + unique;
  saved_current_ = Files().GetCurrentDirectory();
}

void ContractTest::TearDown() {
  if (!env_) return;
  Files().SetCurrentDirectory(saved_current_);
  RemoveTree(Files(), scratch_);
  for (RegView view : {RegView::kView32, RegView::kView64}) {
    Reg().DeleteKeyTree(RegRoot::kCurrentUser, key_, view);
    Reg().DeleteKeyTree(RegRoot::kLocalMachine, key_, view);
  }
  std::vector<std::string> left;
  for (RegView view : {RegView::kView32, RegView::kView64}) {
    for (RegRoot root : {RegRoot::kCurrentUser, RegRoot::kLocalMachine}) {
      if (Reg().EnumKeys(root, "Software\\CorvaneContract", view, &left) == Status::kOk &&
          left.empty()) {
        Reg().DeleteKeyTree(root, "Software\\CorvaneContract", view);
      }
    }
  }
  env_.reset();
}

}  // namespace corvane::contract
