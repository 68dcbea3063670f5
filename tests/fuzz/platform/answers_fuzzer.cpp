// Fuzz target for the answers file of the simulated machine: any input is either refused with
// "answers line N: ..." naming a line of the input, or gives statements that each name a line of
// the input, a known verb with its words, and a display number from 1.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/answers.h"

namespace {

const char* const kVerbs[] = {"click", "type", "check", "uncheck", "pick", "checkitem",
                              "node",  "menu", "slide", "scroll",  "close"};

bool Known(const std::string& verb) {
  return std::find(std::begin(kVerbs), std::end(kVerbs), verb) != std::end(kVerbs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::platform::sim;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  AnswersFile file;
  std::string error;
  if (!ParseAnswers(text, &file, &error)) {
    if (error.rfind("answers line ", 0) != 0) std::abort();
    const int line = std::atoi(error.c_str() + 13);
    if (line < 1 || line > lines) std::abort();
    return 0;
  }
  for (int id : file.boxes) {
    if (id < 1 || id > 11) std::abort();
  }
  for (const DialogAnswers& d : file.dialogs) {
    if (d.occurrence < 1 || d.line < 1 || d.line > lines || d.dialog.empty()) std::abort();
    for (const AnswerStep& s : d.steps) {
      if (s.line < d.line || s.line > lines) std::abort();
      if (s.input.verb == "wait") {
        if (s.input.args.size() != 1) std::abort();
      } else if (!Known(s.input.verb)) {
        std::abort();
      } else if (s.input.verb != "close" && s.input.control.empty() && s.input.verb != "type") {
        std::abort();
      }
    }
  }
  // The same text parses the same way again.
  AnswersFile again;
  if (!ParseAnswers(text, &again, &error) || again.dialogs.size() != file.dialogs.size()) {
    std::abort();
  }
  return 0;
}
