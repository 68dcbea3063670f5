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

}  // namespace

bool IsBareProfileName(std::string_view file) {
  return file.find_first_of("\\/:") == std::string_view::npos;
}

std::string LookupProfileString(std::string_view contents, std::string_view section,
                                std::string_view key, std::string_view fallback) {
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
