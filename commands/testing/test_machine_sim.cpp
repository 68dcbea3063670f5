#include <atomic>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "commands/testing/test_machine.h"
#include "platform/sim/sim_platform.h"

namespace corvane::commands::testing {

namespace {
std::atomic<int> counter{0};
}

TestMachine::TestMachine(const std::string& machine_text) : simulated_(true) {
  int n = ++counter;
  host_folder_ = (std::filesystem::temp_directory_path() /
                  ("corvane-commands-" + std::to_string(::getpid()) + "-" + std::to_string(n)))
                     .string();
  std::filesystem::remove_all(host_folder_);
  if (!machine_text.empty()) {
    std::filesystem::create_directories(host_folder_);
    std::ofstream(std::filesystem::path(host_folder_) / "machine.txt", std::ios::binary)
        << machine_text;
  }
  platform::SimOptions options;
  options.machine_folder = host_folder_;
  options.save_registry_on_exit = false;
  platform_ = platform::CreateSimPlatform(options);
  root_ = "C:\\CorvaneTest";
  reg_key_ = "Software\\CorvaneTest\\" + std::to_string(n);
  platform_->files().CreateDirectories(root_);
}

bool TestMachine::StopService(const std::string& name) {
  auto& sim = dynamic_cast<platform::SimPlatform&>(*platform_);
  sim.sim_services().SetServiceState(name, platform::service_state::kStopped);
  return true;
}

TestMachine::~TestMachine() {
  platform_.reset();
  std::error_code ec;
  std::filesystem::remove_all(host_folder_, ec);
}

}  // namespace corvane::commands::testing
