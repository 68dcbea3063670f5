// Libraries loaded at run time by their full path (the archive library beside the engine).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvane::platform {

class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;  // unloads the library
  // Address of an exported symbol; nullptr when the library does not export it.
  virtual void* Find(const char* name) = 0;
};

// Loads the library at path, which is used as given and never searched for (LoadLibraryEx with
// the altered search path, so its own dependencies resolve beside it). Returns nullptr and sets
// *error_text to the system's reason when it cannot be loaded. The simulated platform loads a
// host shared object, so there path is a path of the host. Any thread may call it.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& path, std::string* error_text);

}  // namespace corvane::platform
