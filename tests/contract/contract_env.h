// The contract suite runs the same cases against the platform of each build: the simulated
// machine natively, the real Windows implementation under Wine. Each build supplies one
// ContractEnv (contract_env_sim.cpp or contract_env_win32.cpp).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace corvane::contract {

class ContractEnv {
 public:
  virtual ~ContractEnv() = default;
  virtual platform::Platform& platform() = 0;
  // Arranges for the next message box with this caption to be answered with button id: the
  // simulation queues the answer, the real platform presses the button from a second thread.
  virtual void PrepareAnswer(const std::string& caption, int id) = 0;
  // After the box returned: true when the answer arranged was the one given (the simulation also
  // checks that the box was recorded with this text, caption and flags).
  virtual bool ConfirmAnswered(const std::string& text, const std::string& caption,
                               uint32_t flags, int id) = 0;
  // Whether the file system keeps the access lists written to it, found by writing a protected
  // list to a probe folder inside `folder` and reading it back. A system that derives every list
  // from something else (Wine from the Unix mode bits) keeps none.
  virtual bool KeepsAccessLists(const std::string& /*folder*/) { return true; }
};

// A fresh environment (for the simulation a fresh machine folder).
std::unique_ptr<ContractEnv> CreateContractEnv();

// Base of every case: a platform, a scratch folder below the temporary folder, and a scratch key
// name; both are removed afterwards.
class ContractTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::Platform& P() { return env_->platform(); }
  platform::FileSystem& Files() { return env_->platform().files(); }
  platform::Registry& Reg() { return env_->platform().registry(); }
  platform::SystemInfo& Sys() { return env_->platform().system(); }
  // A path inside the scratch folder.
  std::string At(const std::string& relative) const { return scratch_ + "\\" + relative; }

  std::unique_ptr<ContractEnv> env_;
  std::string scratch_;  // no trailing backslash
  std::string key_;      // "Software\CorvaneContract\<unique>"
  std::string saved_current_;
};

}  // namespace corvane::contract
