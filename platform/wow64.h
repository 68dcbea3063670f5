// WOW64 file-system redirection of the calling thread (Wow64DisableWow64FsRedirection /
// Wow64RevertWow64FsRedirection, looked up at run time). The state is per thread. A 64-bit process
// and a 32-bit Windows have no redirection: the calls then fail and change nothing.
#pragma once

#include <cstdint>
#include <memory>

namespace corvane::platform {

class Platform;

class FsRedirection {
 public:
  virtual ~FsRedirection() = default;
  // Whether the system offers the two calls at all.
  virtual bool Available() = 0;
  // Switches redirection off for this thread; *old receives the value to give to Revert.
  virtual bool Disable(uintptr_t* old) = 0;
  virtual bool Revert(uintptr_t old) = 0;
  // Whether redirection is off on this thread now (for tests).
  virtual bool IsOff() = 0;
};

std::unique_ptr<FsRedirection> CreateFsRedirection(Platform& platform);

}  // namespace corvane::platform
