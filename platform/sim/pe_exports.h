// What the simulated machine's loader checks of a library file before it "loads" it: that the
// bytes are a Windows library (a portable executable image marked as a DLL), for which processor
// it is built, and the names its export directory lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform::sim {

struct PeLibrary {
  uint16_t machine = 0;  // IMAGE_FILE_MACHINE_I386 (0x14C) or _AMD64 (0x8664)
  bool is_dll = false;
  std::vector<std::string> exports;  // the export names, in the directory's (sorted) order
};

constexpr uint16_t kPeMachineI386 = 0x14C;
constexpr uint16_t kPeMachineAmd64 = 0x8664;

// Reads the headers and the export names of an image held in memory. False with the reason in
// *error when the bytes are not such an image or a table points outside them.
bool ReadPeLibrary(std::string_view image, PeLibrary* library, std::string* error);

}  // namespace corvane::platform::sim
