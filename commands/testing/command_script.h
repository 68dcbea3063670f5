// Runs a script written in the text form of corvane-image on a given platform (the simulated
// machine natively, the real Windows API under Wine) and returns what the command tests check.
// Message boxes are recorded and answered with OK, so no window ever waits for a user.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/hooks.h"
#include "interp/interpreter.h"
#include "platform/platform.h"

namespace corvane::commands::testing {

struct Box {
  std::string text;
  uint32_t flags = 0;
};

struct CommandRun {
  std::string text_error;
  interp::RunResult result;
  std::map<std::string, std::string> variables;  // upper-cased name -> value
  std::vector<Box> boxes;
  std::vector<std::string> properties;  // recorded installer properties, NAME=VALUE
  std::vector<std::string> kept_properties;  // those the engine cache keeps (no secrets)
  std::vector<std::string> executed;
  std::vector<std::string> trace;  // the trace entries of the run
  int pumps = 0;

  std::string Var(std::string_view name) const;
  bool Has(std::string_view name) const;
  bool Failed() const { return result.ending == interp::RunEnding::kFailure; }
};

class RecordingUi : public platform::UserInterface {
 public:
  std::vector<Box> boxes;
  int MessageBox(const std::string& text, const std::string&, uint32_t flags) override {
    boxes.push_back({text, flags});
    return 1;
  }
};

class CommandScript : public interp::DialogHost {
 public:
  explicit CommandScript(platform::Platform& platform);

  bool silent = false;
  // Variables defined before the script runs (after the standard start values).
  std::vector<std::pair<std::string, std::string>> predefined;
  // Called before the script runs, with the session (to set engine state such as the 64-bit mode).
  std::function<void(interp::Session&)> before;
  // The owner of this script and of the platform it runs on, when they are shared: the session's
  // keep_alive (a worker given up on keeps them until it ends).
  std::weak_ptr<void> owner;
  // Called on every message pump of the wait loops (a test cancels from here).
  std::function<void(interp::Session&)> on_pump;
  // The run uses the platform's window service (its timers and clock: the virtual clock of the
  // simulated machine) instead of a window system without windows on the host's clock.
  bool platform_windows = false;
  // Another process service than the platform's (a test double in front of it).
  platform::Processes* processes = nullptr;
  // Another registry or web server than the platform's (test doubles in front of them).
  platform::Registry* registry = nullptr;
  platform::WebServer* web_server = nullptr;
  // Other system facts than the platform's (a test double that moves the engine's own file).
  platform::SystemInfo* system = nullptr;
  // Another file service than the platform's (a test double that fails one call).
  platform::FileSystem* files = nullptr;
  // Another service manager and task scheduler than the platform's.
  platform::Services* services = nullptr;

  CommandRun Run(std::string_view script_text);

  // DialogHost
  int DisplayDialog(interp::CommandContext&) override { return 6; }
  void ProcessPendingMessages() override;
  bool IsDialogShowing() override { return false; }
  void RefreshProgress(const std::string&, int) override {}
  void SetTaskbarError() override {}
  void RestoreTaskbar() override {}
  void CloseAll() override {}

 private:
  platform::Platform& real_;
  // The services of the platform under test, with the recorded message boxes.
  class ScriptPlatform : public platform::PlatformRefs {
   public:
    ScriptPlatform(CommandScript& owner, platform::Platform& p, platform::UserInterface& ui)
        : PlatformRefs(p.files(), p.registry(), p.system(), ui, &p.installer(), &p.shell()),
          owner_(owner),
          real_(p) {}
    platform::WindowService& windows() override {
      return owner_.platform_windows ? real_.windows() : PlatformRefs::windows();
    }
    platform::Processes& processes() override {
      return owner_.processes ? *owner_.processes : real_.processes();
    }
    platform::Registry& registry() override {
      return owner_.registry ? *owner_.registry : PlatformRefs::registry();
    }
    platform::WebServer& web_server() override {
      return owner_.web_server ? *owner_.web_server : real_.web_server();
    }
    platform::FileSystem& files() override {
      return owner_.files ? *owner_.files : PlatformRefs::files();
    }
    platform::SystemInfo& system() override {
      return owner_.system ? *owner_.system : PlatformRefs::system();
    }
    platform::LibraryLoader& libraries() override { return real_.libraries(); }
    platform::NetworkShares& shares() override { return real_.shares(); }
    platform::AccessLists& access_lists() override { return real_.access_lists(); }
    platform::Services& services() override {
      return owner_.services ? *owner_.services : real_.services();
    }
    platform::LibraryRegistration& registration() override { return real_.registration(); }

   private:
    CommandScript& owner_;
    platform::Platform& real_;
  };

  RecordingUi ui_;
  ScriptPlatform platform_;
  interp::Session* session_ = nullptr;
  int pumps_ = 0;
};

}  // namespace corvane::commands::testing
