// Shortcuts and file types: what the commands record, and the name form of the shortcut rows.
#pragma once

#include <string>

namespace corvane::commands {

// A shortcut's name as its row wants it: the first six characters with blanks trimmed from both
// ends, "~1|", then the whole name ("My Application" -> "My App~1|My Application").
std::string ShortAndLongName(const std::string& name);

}  // namespace corvane::commands
