// Comma text: a list of texts on one line, as the engine hands its variables to plug-in libraries
// and to the trace log, and as plug-ins hand them back. Items are separated by commas; an item
// that holds a blank, a comma, a double quote or a control character, and an empty item, stands
// in double quotes with the double quotes inside doubled.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::install {

std::string CommaText(const std::vector<std::string>& items);

// Reads comma text back. Blanks and control characters around items are skipped, and an unquoted
// item also ends at a blank (so "a b" is two items); a quoted item runs to its closing quote
// (line breaks included) or to the end of the text; a comma at the very end adds an empty item.
std::vector<std::string> SplitCommaText(std::string_view text);

}  // namespace corvane::install
