#include "platform/profile.h"

#include "platform/text.h"

namespace corvane::platform {

namespace {

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// The text of an INI file in the code page: a file that starts with a UTF-16 byte order mark is
// converted (an odd last byte is not a character and goes); any other file is 8-bit text already.
std::string ProfileText(std::string_view contents) {
  if (contents.size() < 2) return std::string(contents);
  const auto b0 = static_cast<unsigned char>(contents[0]);
  const auto b1 = static_cast<unsigned char>(contents[1]);
  const bool little = b0 == 0xFF && b1 == 0xFE;
  if (!little && !(b0 == 0xFE && b1 == 0xFF)) return std::string(contents);
  std::u16string wide;
  wide.reserve(contents.size() / 2);
  for (size_t i = 2; i + 1 < contents.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(contents[little ? i : i + 1]);
    const auto hi = static_cast<unsigned char>(contents[little ? i + 1 : i]);
    wide.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  return Cp1252FromUtf16(wide);
}

}  // namespace

bool IsBareProfileName(std::string_view file) {
  return file.find_first_of("\\/:") == std::string_view::npos;
}

std::string LookupProfileString(std::string_view file_bytes, std::string_view section,
                                std::string_view key, std::string_view fallback) {
  const std::string text = ProfileText(file_bytes);
  const std::string_view contents = text;
  bool in_section = false;
  bool seen_section = false;
  size_t pos = 0;
  while (pos < contents.size()) {
    size_t end = contents.find('\n', pos);
    if (end == std::string_view::npos) end = contents.size();
    std::string_view line = contents.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      // Only the first section of that name is searched.
      if (seen_section) break;
      size_t close = line.find(']');
      std::string_view name =
          Trim(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
      in_section = SameText(name, Trim(section));
      seen_section = in_section;
      continue;
    }
    if (!in_section) continue;
    size_t eq = line.find('=');
    std::string_view name = Trim(line.substr(0, eq));
    if (!SameText(name, Trim(key))) continue;
    std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::string(fallback);
}

}  // namespace corvane::platform
