// 8-bit text helpers of the engine. Script-visible text is held in the Windows-1252 code page;
// case-insensitive comparisons fold with that code page's tables, never with the C locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::platform {

// Upper- and lower-case mapping of one Windows-1252 character (as CharUpperA/CharLowerA do on a
// Western system: letters with diacritics fold, the German sharp s and y-diaeresis have no upper
// single-character form in the table and stay as they are).
char UpperChar1252(char c);
char LowerChar1252(char c);

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Case-insensitive equality and ordering under the 1252 folding.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// Finds needle in haystack ignoring case; returns std::string::npos when absent.
size_t FindText(std::string_view haystack, std::string_view needle, size_t from = 0);

// Conversions between the 8-bit code page and Unicode. Characters that the code page cannot
// represent become '?'.
std::u16string Utf16From1252(std::string_view s);
std::string Cp1252FromUtf16(std::u16string_view s);
std::string Utf8From1252(std::string_view s);
std::string Cp1252FromUtf8(std::string_view s);

// True when a path that the system gave has '?' for characters the code page lacks ('?' is in
// no file name; the "\\?\" prefix does not count).
bool PathHasLostCharacters(std::string_view path);

// Hash of the upper-cased text: equal under SameText implies equal hash.
struct CaseInsensitiveHash {
  size_t operator()(std::string_view s) const;
};
struct CaseInsensitiveEqual {
  bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); }
};

}  // namespace corvane::platform
