// Library registration on the simulated machine. Its libraries are stand-ins, text files on a
// simulated drive whose first line says what they are:
//
//   [library]                 a self-registering library
//   register = 0              what DllRegisterServer returns (an HRESULT, decimal or 0x hex);
//                             "none": the library has no such entry (default 0)
//   unregister = 0            the same for DllUnregisterServer
//   key = HKCU\Software\Example\Server
//                             a key the registration makes (its default value the library's
//                             path) and the unregistration removes; any number of lines
//
//   [typelib]                 a type library
//   guid = {6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A0AA}
//   version = 1.0             major.minor
//   lcid = 0                  locale (hexadecimal in the registry, as Windows writes it)
//   syskind = win32           or win64
//   name = Example Library    its documentation string
//   helpfile = C:\Help\example.hlp   its help file: the folder is registered as HELPDIR
//
// A registered type library is HKCR\TypeLib\GUID\VERSION (default value the name) with FLAGS,
// HELPDIR and LCID\SYSKIND (default value the file's path), as the system writes it. Registry
// changes go to the process's own view. Any other file cannot be loaded; a file that does not
// exist is not found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registration.h"
#include "platform/registry.h"
#include "platform/sim/sim_files.h"

namespace corvane::platform::sim {

struct StandInLibrary {
  std::optional<int32_t> register_result = 0;  // nullopt: no such entry
  std::optional<int32_t> unregister_result = 0;
  std::vector<std::pair<RegRoot, std::string>> keys;
};

struct StandInTypeLibrary {
  std::string guid, version = "1.0", lcid = "0", syskind = "win32", name, helpfile;
};

// The key lines of a stand-in after its header; false (with *error) for a text that is not one.
bool ParseStandInLibrary(const std::string& text, StandInLibrary* library, std::string* error);
bool ParseStandInTypeLibrary(const std::string& text, StandInTypeLibrary* library,
                             std::string* error);

class SimLibraryRegistration : public LibraryRegistration {
 public:
  SimLibraryRegistration(SimFileSystem& files, Registry& registry)
      : files_(files), registry_(registry) {}

  Status RegisterTypeLibrary(const std::string& path) override;
  Status UnregisterTypeLibrary(const std::string& path) override;
  Status CallRegistrationEntry(const std::string& path, bool register_it, int32_t* result) override;

 private:
  Status LoadTypeLibrary(const std::string& path, StandInTypeLibrary* library);

  SimFileSystem& files_;
  Registry& registry_;
};

}  // namespace corvane::platform::sim
