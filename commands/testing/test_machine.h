// The machine a command test runs on: natively a fresh simulated machine in a temporary host
// folder, under Wine the real Windows API with a scratch folder and a scratch registry key that
// are removed afterwards. Scripts find them in the variables ROOT (a folder path without trailing
// backslash) and REGKEY (a key path under HKEY_CURRENT_USER).
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace corvane::commands::testing {

class TestMachine {
 public:
  TestMachine() : TestMachine(std::string()) {}
  // Natively a simulated machine described by `machine_text` (the lines of machine.txt); under
  // Wine the text is ignored and the real machine answers.
  explicit TestMachine(const std::string& machine_text);
  ~TestMachine();

  platform::Platform& platform() { return *platform_; }
  const std::string& root() const { return root_; }      // "C:\...\corvane-test-N"
  const std::string& reg_key() const { return reg_key_; }  // "Software\CorvaneTest\N"
  bool simulated() const { return simulated_; }

  // Creates a file (folders included) with the given bytes; path relative to root().
  void Write(const std::string& relative, const std::string& contents);
  std::string Read(const std::string& relative);
  bool Exists(const std::string& relative);

  // Stops a service of the machine and waits until it has stopped (the simulation sets its
  // state); false when it could not be stopped.
  bool StopService(const std::string& name);

 private:
  std::unique_ptr<platform::Platform> platform_;
  std::string root_, reg_key_, host_folder_;
  bool simulated_ = false;
};

}  // namespace corvane::commands::testing
