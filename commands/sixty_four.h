// The engine's 64-bit mode: the platform text chosen by Set 64 Bit Mode, the registry view that
// registry commands use, and the switch of WOW64 file-system redirection around file commands.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/registry.h"

namespace corvane::interp {
class Session;
}

namespace corvane::commands {

// "Win32", "ia64" or "x64"; the engine is in 64-bit mode when it is not "Win32".
std::string PlatformText(interp::Session& session);
void SetPlatformText(interp::Session& session, const std::string& text);
bool Is64BitMode(interp::Session& session);
// Windows itself is 64-bit (also when the engine process is 32-bit).
bool IsWindows64(interp::Session& session);

// The view a registry command works in: the 64-bit view in 64-bit mode on 64-bit Windows, the
// 32-bit view in "Win32" mode on 64-bit Windows (also for a 64-bit engine process, which would
// otherwise see the 64-bit registry), the one registry on 32-bit Windows.
platform::RegView CommandRegistryView(interp::Session& session);
// The view between registry commands (for reads that use the engine's resting flag).
platform::RegView RestingRegistryView(interp::Session& session);

// Switches redirection off for the life of the object when the engine is in 64-bit mode on 64-bit
// Windows and restores it afterwards, also when the command fails. The engine-wide record keeps a
// nested use from switching twice.
class FsView64 {
 public:
  explicit FsView64(interp::Session& session);
  ~FsView64();
  FsView64(const FsView64&) = delete;
  FsView64& operator=(const FsView64&) = delete;

 private:
  interp::Session& session_;
  bool active_ = false;
};

// The variant for worker threads: redirection is a per-thread state, so the worker switches its
// own and keeps its own value, without the engine's record.
class WorkerFsView64 {
 public:
  WorkerFsView64(platform::Platform& platform, bool sixty_four_mode);
  ~WorkerFsView64();
  WorkerFsView64(const WorkerFsView64&) = delete;
  WorkerFsView64& operator=(const WorkerFsView64&) = delete;

 private:
  platform::FileSystem& files_;
  uint64_t value_ = 0;
  bool switched_ = false;
};

}  // namespace corvane::commands
