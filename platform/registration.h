// Registration of COM libraries: type libraries (registered and unregistered from the file's own
// identity) and self-registering libraries (their DllRegisterServer / DllUnregisterServer
// called once). Self-registering programs are started through the process service.
//
// Each call loads what it needs for its own duration and frees it afterwards; COM is set up for
// the calling thread while it runs. Main thread only (a registration entry may show windows).
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace corvane::platform {

class LibraryRegistration {
 public:
  virtual ~LibraryRegistration() = default;

  // Loads a type library file and registers it, with the folder of the library's own help file
  // as its help folder. kNotFound for a missing file; kFailed when the file is no type library
  // or the registration fails.
  virtual Status RegisterTypeLibrary(const std::string& path) = 0;
  // Loads a type library file and removes the registration of its identity (GUID, version,
  // locale, system kind). kNotFound for a missing file, kFailed otherwise (also where the system
  // cannot unregister type libraries).
  virtual Status UnregisterTypeLibrary(const std::string& path) = 0;

  // Loads a library by its full path (its own dependencies found beside it), calls its
  // "DllRegisterServer" (register) or "DllUnregisterServer" once and frees it again; *result is
  // what the entry returned (an HRESULT, 0 for success). kNotFound for a missing file or a library
  // without that entry; kFailed when the file cannot be loaded.
  virtual Status CallRegistrationEntry(const std::string& path, bool register_it,
                                       int32_t* result) = 0;
};

// A platform that registers nothing.
class NoLibraryRegistration : public LibraryRegistration {
 public:
  Status RegisterTypeLibrary(const std::string&) override { return Status::kFailed; }
  Status UnregisterTypeLibrary(const std::string&) override { return Status::kFailed; }
  Status CallRegistrationEntry(const std::string&, bool, int32_t*) override {
    return Status::kFailed;
  }
};

// Forwards every call to another LibraryRegistration: derive from it to change one call.
class LibraryRegistrationWrapper : public LibraryRegistration {
 public:
  explicit LibraryRegistrationWrapper(LibraryRegistration& target) : target_(target) {}
  Status RegisterTypeLibrary(const std::string& path) override {
    return target_.RegisterTypeLibrary(path);
  }
  Status UnregisterTypeLibrary(const std::string& path) override {
    return target_.UnregisterTypeLibrary(path);
  }
  Status CallRegistrationEntry(const std::string& path, bool register_it,
                               int32_t* result) override {
    return target_.CallRegistrationEntry(path, register_it, result);
  }

 protected:
  LibraryRegistration& target_;
};

}  // namespace corvane::platform
