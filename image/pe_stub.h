// Where the script image starts inside the engine executable.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::image {

// Size of the executable image of a PE file: the largest PointerToRawData + SizeOfRawData over
// the section table. `headers` holds at least the start of the file up to the end of the section
// table (the whole file is fine). nullopt when the bytes are not a well-formed PE header.
std::optional<uint64_t> PeStubSize(std::string_view headers);

}  // namespace corvane::image
