// The one exception type of the engine. A failure that "ends the run" or "is a failure of the
// command" is thrown as ScriptFailure with its message text; only the interpreter's general
// failure path and the start-up routine catch it.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane::image {

class ScriptFailure : public std::runtime_error {
 public:
  explicit ScriptFailure(const std::string& message) : std::runtime_error(message) {}
};

// Reading past the end of a list of the script image (a parameter number beyond the end of the
// pool, a command index beyond the end of a command-indexed section).
class ListIndexFailure : public ScriptFailure {
 public:
  explicit ListIndexFailure(long long index)
      : ScriptFailure("List index out of bounds (" + std::to_string(index) + ")") {}
};

}  // namespace corvane::image
