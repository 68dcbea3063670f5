#include "install/comma_text.h"

namespace corvane::install {

namespace {

// Blanks and control characters other than the terminating zero.
bool IsSpace(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= ' ';
}

}  // namespace

std::string CommaText(const std::vector<std::string>& items) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += ',';
    const std::string& item = items[i];
    bool quote = item.empty();
    for (char c : item) {
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    }
    if (!quote) {
      out += item;
      continue;
    }
    out += '"';
    for (char c : item) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  // The text ends at its first zero, as the C text it came from did.
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::vector<std::string> items;
  size_t p = 0;
  const size_t n = text.size();
  while (p < n && IsSpace(text[p])) ++p;
  while (p < n) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      const size_t start = p;
      while (p < n && static_cast<unsigned char>(text[p]) > ' ' && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    while (p < n && IsSpace(text[p])) ++p;
    if (p < n && text[p] == ',') {
      if (p + 1 == n) items.emplace_back();
      do {
        ++p;
      } while (p < n && IsSpace(text[p]));
    }
  }
  return items;
}

}  // namespace corvane::install
