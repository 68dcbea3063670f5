#include "archive/entry_path.h"

#include "archive/errors.h"

namespace corvane::archive {
namespace {

[[noreturn]] void Illegal() { Fail(kErrorIllegalPath, "illegal entry path"); }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool IsDeviceName(const std::u16string& component) {
  // Windows reserves these names with any extension and trailing blanks or dots.
  std::u16string base;
  for (char16_t c : component) {
    if (c == u'.') break;
    base.push_back(Upper(c));
  }
  while (!base.empty() && base.back() == u' ') base.pop_back();
  static const char16_t* const kFixed[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$",
                                           u"CONOUT$", u"CLOCK$"};
  for (const char16_t* d : kFixed)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
    char16_t n = base[3];
    if ((n >= u'1' && n <= u'9') || n == 0xB9 || n == 0xB2 || n == 0xB3) return true;
  }
  return false;
}

}  // namespace

std::vector<std::u16string> SafeComponents(const std::u16string& name) {
  if (name.empty() || name[0] == u'/' || name[0] == u'\\') Illegal();
  std::vector<std::u16string> parts;
  std::u16string cur;
  auto finish = [&] {
    if (cur.empty() || cur == u".") {
      cur.clear();
      return;
    }
    bool only_dots_blanks = true;
    for (char16_t c : cur) only_dots_blanks = only_dots_blanks && (c == u'.' || c == u' ');
    if (only_dots_blanks || IsDeviceName(cur)) Illegal();
    parts.push_back(std::move(cur));
    cur.clear();
  };
  for (char16_t c : name) {
    if (c == u'/' || c == u'\\') {
      finish();
    } else {
      if (c < 0x20 || c == u':') Illegal();
      cur.push_back(c);
    }
  }
  finish();
  if (parts.empty()) Illegal();
  return parts;
}

bool IsLinkAttribute(uint32_t attrib) {
  if (attrib & 0x400) return true;  // reparse point
  if (attrib & 0x8000) {            // Unix mode in the high half
    uint32_t type = (attrib >> 16) & 0xF000;
    return type == 0xA000;
  }
  return false;
}

}  // namespace corvane::archive
