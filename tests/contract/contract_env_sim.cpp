// The contract environment of the native build: a fresh simulated machine in a temporary host
// folder, removed afterwards.
#include <stdlib.h>

#include <filesystem>

#include "platform/sim/sim_platform.h"
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

class SimEnv : public ContractEnv {
 public:
  SimEnv() {
    char tmpl[] = "/tmp/corvane-contract-XXXXXX";
    if (mkdtemp(tmpl)) folder_ = tmpl;
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    options.save_registry_on_exit = false;
    platform_ = platform::CreateSimPlatform(options);
  }
  ~SimEnv() override {
    platform_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  platform::Platform& platform() override { return *platform_; }
  void PrepareAnswer(const std::string&, int id) override { platform_->QueueAnswer(id); }
  bool ConfirmAnswered(const std::string& text, const std::string& caption, uint32_t flags,
                       int id) override {
    auto boxes = platform_->RecordedBoxes();
    if (boxes.empty() || platform_->PendingAnswers() != 0) return false;
    const platform::sim::RecordedBox& b = boxes.back();
    return b.text == text && b.caption == caption && b.flags == flags && b.answer == id &&
           b.from_queue;
  }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> platform_;
};

}  // namespace

std::unique_ptr<ContractEnv> CreateContractEnv() { return std::make_unique<SimEnv>(); }

}  // namespace corvane::contract
