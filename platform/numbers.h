// One parser per integer rule of the engine, so that no caller invents its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::platform {

// Decimal 32-bit signed integer: optional leading blanks, optional sign, digits, nothing after.
// Out of range or malformed gives nullopt.
std::optional<int32_t> ParseDecimal32(std::string_view s);

// Decimal 64-bit signed integer with the same rules.
std::optional<int64_t> ParseDecimal64(std::string_view s);

// 32-bit integer as the script language writes it: decimal, or hexadecimal introduced by "$" or
// "0x"/"0X" (hexadecimal values up to FFFFFFFF wrap into the signed range). nullopt when malformed
// or out of range.
std::optional<int32_t> ParseScriptInteger(std::string_view s);

}  // namespace corvane::platform
