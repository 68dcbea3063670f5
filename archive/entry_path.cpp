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
  static const char16_t* const kFixed[] = {u"CON",    u"PRN",     u"AUX",   u"NUL",
                                           u"CONIN$", u"CONOUT$", u"CLOCK$"};
  for (const char16_t* d : kFixed)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0)) {
    char16_t n = base[3];
    // COM0 to COM9 and the superscript digits one to three (1252 and Unicode agree on them).
    if ((n >= u'0' && n <= u'9') || n == 0xB9 || n == 0xB2 || n == 0xB3) return true;
  }
  return false;
}

// The simple upper-case form of the letters of the Latin, Greek and Cyrillic blocks (and the
// full-width Latin ones), as the file system's case table has them; other characters stay.
char16_t FoldCase(char16_t c) {
  if (c < 0x80) return Upper(c);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c == 0x131) return u'I';  // dotless i
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs: upper on the even code below U+0138 and from U+014A, on the odd code in between
    // and from U+0179.
    bool odd_upper = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    if (c == 0x138 || c == 0x149 || c == 0x17F) return c;
    bool lower = odd_upper ? (c % 2 == 0) : (c % 2 == 1);
    return lower ? static_cast<char16_t>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 0x25);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 0x3F);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

}  // namespace

std::u16string WindowsNameKey(const std::u16string& component) {
  size_t end = component.size();
  while (end != 0 && (component[end - 1] == u'.' || component[end - 1] == u' ')) --end;
  std::u16string key;
  key.reserve(end);
  for (size_t i = 0; i < end; ++i) key.push_back(FoldCase(component[i]));
  return key;
}

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
