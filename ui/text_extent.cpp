#include "ui/text_extent.h"

#include <algorithm>
#include <vector>

namespace corvane::ui {

namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Groups whose contents are no text of the document.
bool IsSkippedDestination(std::string_view word) {
  static const char* const kSkipped[] = {
      "fonttbl", "colortbl",  "stylesheet",        "info",      "pict",     "header", "footer",
      "object",  "listtable", "listoverridetable", "generator", "themedata"};
  for (const char* s : kSkipped) {
    if (word == s) return true;
  }
  return false;
}

}  // namespace

std::string RtfPlainText(std::string_view rtf) {
  std::string out;
  // One flag per open group: whether its text is skipped. The flags are kept only as deep as the
  // text nests; a group deeper than that inherits its parent's.
  std::vector<bool> skip = {false};
  bool group_start = false;
  for (size_t i = 0; i < rtf.size(); ++i) {
    const char c = rtf[i];
    if (c == '{') {
      skip.push_back(skip.back());
      group_start = true;
      continue;
    }
    if (c == '}') {
      if (skip.size() > 1) skip.pop_back();
      group_start = false;
      continue;
    }
    if (c == '\\' && i + 1 < rtf.size()) {
      const char n = rtf[i + 1];
      if (IsAlpha(n)) {
        size_t j = i + 1;
        while (j < rtf.size() && IsAlpha(rtf[j])) ++j;
        std::string_view word = rtf.substr(i + 1, j - i - 1);
        if (j < rtf.size() && (rtf[j] == '-' || (rtf[j] >= '0' && rtf[j] <= '9'))) {
          ++j;
          while (j < rtf.size() && rtf[j] >= '0' && rtf[j] <= '9') ++j;
        }
        if (j < rtf.size() && rtf[j] == ' ') ++j;
        i = j - 1;
        if (group_start && IsSkippedDestination(word)) skip.back() = true;
        group_start = false;
        if (skip.back()) continue;
        if (word == "par" || word == "line") out += "\r\n";
        if (word == "tab") out += '\t';
        continue;
      }
      group_start = false;
      if (n == '*') {
        // An optional destination: a reader that does not know it leaves it out.
        skip.back() = true;
        ++i;
        continue;
      }
      if (n == '\'' && i + 3 < rtf.size() && Hex(rtf[i + 2]) >= 0 && Hex(rtf[i + 3]) >= 0) {
        if (!skip.back()) out += static_cast<char>(Hex(rtf[i + 2]) * 16 + Hex(rtf[i + 3]));
        i += 3;
        continue;
      }
      if (!skip.back() && (n == '\\' || n == '{' || n == '}')) out += n;
      ++i;
      continue;
    }
    group_start = false;
    if (c == '\r' || c == '\n') continue;
    if (!skip.back()) out += c;
  }
  return out;
}

ScrollMetrics EstimateTextScroll(std::string_view text, int width, int height, int text_height) {
  text_height = std::max(1, text_height);
  // The average character of the dialog fonts is a little under half their height wide; the
  // control's border and margins take a few pixels either side.
  const int char_width = std::max(1, text_height * 5 / 13);
  const int per_line = std::max(1, (width - 8) / char_width);
  int64_t lines = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = text.size();
    const int64_t length = static_cast<int64_t>(end - at);
    lines += std::max<int64_t>(1, (length + per_line - 1) / per_line);
    if (end == text.size()) break;
    at = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    if (at == text.size()) break;
  }
  ScrollMetrics m;
  m.has_vertical_bar = true;
  m.position = 0;
  m.page = std::max(1, (height - 4) / text_height);
  m.maximum = std::max<int64_t>(0, lines - 1);
  return m;
}

}  // namespace corvane::ui
