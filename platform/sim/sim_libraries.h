// Libraries of the simulated machine. A library file on a simulated drive is loaded as the
// native shared object it holds (the host file behind the machine path), so that its code really
// runs in the engine's process, as a Windows library's code runs in the engine there. A file that
// is not a shared object of the host cannot be loaded, as a file that is not a library cannot be
// on Windows.
#pragma once

#include <memory>
#include <string>

#include "platform/library.h"
#include "platform/sim/sim_files.h"

namespace corvane::platform::sim {

class SimLibraryLoader : public LibraryLoader {
 public:
  explicit SimLibraryLoader(SimFileSystem& files) : files_(files) {}
  std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error_text) override;

 private:
  SimFileSystem& files_;
};

}  // namespace corvane::platform::sim
