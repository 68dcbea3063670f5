// The cabinet files that installer packages carry their payload in: one cabinet held in memory,
// its folders stored or MSZIP-compressed ("CK" and a raw deflate stream per block of at most
// 32 KiB, the history carried from one block to the next). Spanned cabinets and the other
// compression methods are refused.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace corvane::platform::sim {

// The files of a cabinet by their names, decoded.
using CabinetFiles = std::map<std::string, std::string>;

// Decodes every file of `cabinet`. False with a reason in *error when the cabinet is damaged,
// uses a method this reader does not know, or would decode to more than `limit` bytes in all.
bool ReadCabinet(std::string_view cabinet, CabinetFiles* files, std::string* error,
                 uint64_t limit = 512ull << 20);

}  // namespace corvane::platform::sim
