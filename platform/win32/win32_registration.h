// Library registration through the system: type libraries with oleaut32's loader and registrar
// (looked up at run time), self-registering libraries through their own entries.
#pragma once

#include "platform/registration.h"

namespace corvane::platform::win32 {

class Win32LibraryRegistration : public LibraryRegistration {
 public:
  Status RegisterTypeLibrary(const std::string& path) override;
  Status UnregisterTypeLibrary(const std::string& path) override;
  Status CallRegistrationEntry(const std::string& path, bool register_it, int32_t* result) override;
};

}  // namespace corvane::platform::win32
