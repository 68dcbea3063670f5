// Libraries loaded at run time by their full path: the archive library beside the engine, and
// the libraries of the machine that the engine loads as plug-ins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// CORVANE_STDCALL, set by the build for every target that links the platform core: the calling
// convention of Windows' own entry points ("standard"), which the entry points that libraries
// export and the callbacks handed to them use. __stdcall in the Windows builds; empty natively,
// where there is one convention.

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

// The libraries of the machine: a file named by its full path there (never a bare name, which the
// system would search for) loaded into the engine's process. On Windows that is LoadSharedLibrary
// itself; the simulated machine resolves the path to its host file and loads that file as a
// native shared object, so that the library's code really runs. Any thread may call it.
class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // nullptr with *error_text set when the file cannot be loaded (also for a path that is not a
  // full path).
  virtual std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error_text) = 0;
};

// A platform that loads no library.
class NoLibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<SharedLibrary> Load(const std::string& path, std::string* error_text) override {
    if (error_text != nullptr) *error_text = "cannot load " + path + ": no libraries here";
    return nullptr;
  }
};

// True for "X:\..." and "\\server\share\...": a path that no library search applies to.
bool IsFullLibraryPath(const std::string& path);

}  // namespace corvane::platform
