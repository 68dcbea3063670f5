#include <atomic>

#include "commands/testing/test_machine.h"
#include "platform/win32/service_testing.h"
#include "platform/win32/win32_platform.h"

namespace corvane::commands::testing {

void RemoveTree(platform::FileSystem& fs, const std::string& folder);

namespace {
std::atomic<int> counter{0};
}

TestMachine::TestMachine(const std::string&) : simulated_(false) {
  int n = ++counter;
  platform_ = platform::CreateWin32Platform();
  std::string temp = platform_->system().TempFolder();
  root_ = temp + "corvane-commands-" + std::to_string(n);
  RemoveTree(platform_->files(), root_);
  platform_->files().CreateDirectories(root_);
  reg_key_ = "Software\\CorvaneTest\\" + std::to_string(n);
  platform_->registry().DeleteKeyTree(platform::RegRoot::kCurrentUser, reg_key_,
                                      platform::RegView::kNative);
}

bool TestMachine::StopService(const std::string& name) {
  return platform::win32::StopServiceAndWait(name);
}

TestMachine::~TestMachine() {
  RemoveTree(platform_->files(), root_);
  platform_->registry().DeleteKeyTree(platform::RegRoot::kCurrentUser, reg_key_,
                                      platform::RegView::kNative);
  platform_->registry().DeleteKeyTree(platform::RegRoot::kCurrentUser, reg_key_,
                                      platform::RegView::kView32);
}

}  // namespace corvane::commands::testing
