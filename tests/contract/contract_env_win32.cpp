// The contract environment of the Windows build: the real platform; message boxes are answered
// by pressing their button from a second thread.
#include "platform/win32/access_list_probe.h"
#include "platform/win32/dialog_closer.h"
#include "platform/win32/win32_platform.h"
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

class Win32Env : public ContractEnv {
 public:
  Win32Env() : platform_(platform::CreateWin32Platform()) {}
  platform::Platform& platform() override { return *platform_; }
  void PrepareAnswer(const std::string& caption, int id) override {
    closer_ = platform::win32::DialogCloser::Start(caption, id, 15000);
  }
  bool ConfirmAnswered(const std::string&, const std::string&, uint32_t, int) override {
    bool pressed = closer_ && closer_->Finish();
    closer_.reset();
    return pressed;
  }
  bool KeepsAccessLists(const std::string& folder) override {
    return platform::win32::FileSystemKeepsAccessLists(folder);
  }

 private:
  std::unique_ptr<platform::Platform> platform_;
  std::unique_ptr<platform::win32::DialogCloser> closer_;
};

}  // namespace

std::unique_ptr<ContractEnv> CreateContractEnv() { return std::make_unique<Win32Env>(); }

}  // namespace corvane::contract
