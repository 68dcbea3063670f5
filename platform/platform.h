// The bundle of platform services that the engine receives once at start-up and passes down.
#pragma once

#include <memory>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "platform/ui.h"

namespace corvane::platform {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual FileSystem& files() = 0;
  virtual Registry& registry() = 0;
  virtual SystemInfo& system() = 0;
  virtual UserInterface& ui() = 0;
};

// A Platform made of services owned elsewhere (a test puts a wrapper in front of one of them).
class PlatformRefs : public Platform {
 public:
  PlatformRefs(FileSystem& f, Registry& r, SystemInfo& s, UserInterface& u)
      : files_(f), registry_(r), system_(s), ui_(u) {}
  FileSystem& files() override { return files_; }
  Registry& registry() override { return registry_; }
  SystemInfo& system() override { return system_; }
  UserInterface& ui() override { return ui_; }

 private:
  FileSystem& files_;
  Registry& registry_;
  SystemInfo& system_;
  UserInterface& ui_;
};

}  // namespace corvane::platform
