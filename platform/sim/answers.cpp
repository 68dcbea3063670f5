#include "platform/sim/answers.h"

#include <sstream>

#include "platform/numbers.h"
#include "platform/sim/sim_ui.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

struct Verb {
  const char* name;
  int min_args;  // words after the verb, the control included
  int max_args;  // -1: any number
};
constexpr Verb kVerbs[] = {
    {"click", 1, 1}, {"type", 1, -1},     {"check", 1, 1}, {"uncheck", 1, 1},
    {"pick", 2, -1}, {"checkitem", 3, 3}, {"node", 2, 2},  {"menu", 2, 2},
    {"slide", 2, 2}, {"scroll", 3, 5},    {"close", 0, 0}, {"wait", 1, 1},
    {"minimise", 0, 0}, {"tray", 0, 0}, {"link", 2, -1},
};

const Verb* FindVerb(const std::string& word) {
  for (const Verb& v : kVerbs) {
    if (SameText(word, v.name)) return &v;
  }
  return nullptr;
}

bool IsNumber(const std::string& s) {
  auto n = ParseDecimal32(s);
  return n && *n >= 0;
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line, std::vector<size_t>* starts) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    if (starts) starts->push_back(i);
    std::string word;
    if (line[i] == '"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            word += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        word += line[i++];
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    words.push_back(word);
  }
  return words;
}

bool ParseAnswers(const std::string& text, AnswersFile* out, std::string* error) {
  AnswersFile file;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  DialogAnswers* block = nullptr;
  auto fail = [&](const std::string& why) {
    if (error) *error = "answers line " + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.pop_back();
    }
    size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos || line[b] == '#') continue;
    std::vector<size_t> starts;
    std::vector<std::string> words = SplitWords(line, &starts);
    if (words.empty()) continue;
    const std::string& first = words[0];

    // Message-box and folder answers, anywhere.
    std::vector<int>* boxes = &file.boxes;
    std::vector<std::string>* folders = &file.folders;
    if (block) {
      boxes = block->steps.empty() ? &block->boxes : &block->steps.back().boxes;
      folders = block->steps.empty() ? &block->folders : &block->steps.back().folders;
    }
    if (SameText(first, "folder")) {
      size_t path = line.find_first_not_of(" \t", starts[0] + 6);
      folders->push_back(path == std::string::npos ? std::string() : line.substr(path));
      continue;
    }
    if (SameText(first, "answer")) {
      int id = words.size() == 2 ? ParseAnswer(words[1]) : 0;
      if (id == 0) return fail("not a message-box button: " + line.substr(b));
      boxes->push_back(id);
      continue;
    }
    if (words.size() == 1) {
      if (int id = ParseAnswer(first)) {
        boxes->push_back(id);
        continue;
      }
    }
    if (SameText(first, "dialog")) {
      if (words.size() < 2 || words.size() > 3) return fail("expected: dialog NAME [N]");
      if (words[1].empty()) return fail("no dialog name: " + line.substr(b));
      DialogAnswers d;
      d.dialog = words[1];
      d.line = number;
      if (words.size() == 3) {
        auto n = ParseDecimal32(words[2]);
        if (!n || *n < 1) return fail("not a display number (1, 2, ...): " + words[2]);
        d.occurrence = *n;
      }
      for (const DialogAnswers& other : file.dialogs) {
        if (SameText(other.dialog, d.dialog) && other.occurrence == d.occurrence) {
          return fail("display " + std::to_string(d.occurrence) + " of " + d.dialog +
                      " is answered already on line " + std::to_string(other.line));
        }
      }
      file.dialogs.push_back(d);
      block = &file.dialogs.back();
      continue;
    }
    if (SameText(first, "end")) {
      if (!block || words.size() != 1) return fail("\"end\" outside a dialog block");
      block = nullptr;
      continue;
    }
    const Verb* verb = FindVerb(first);
    if (!verb) return fail("not an answer: " + line.substr(b));
    if (!block) return fail(first + " outside a dialog block (start one with: dialog NAME)");
    const int args = static_cast<int>(words.size()) - 1;
    if (args < verb->min_args || (verb->max_args >= 0 && args > verb->max_args)) {
      return fail("wrong number of words for " + std::string(verb->name) + ": " + line.substr(b));
    }
    AnswerStep step;
    step.line = number;
    step.input.verb = verb->name;
    step.input.origin = "answers line " + std::to_string(number);
    const std::string v = verb->name;
    if (v == "wait") {
      if (!IsNumber(words[1])) return fail("not a number of milliseconds: " + words[1]);
      step.input.args = {words[1]};
    } else if (v == "close" || v == "minimise" || v == "tray") {
    } else {
      if (words[1].empty()) return fail("no control name: " + line.substr(b));
      step.input.control = words[1];
      if (v == "type" || v == "link") {
        // The rest of the line; one quoted word stands for its contents.
        std::string rest;
        if (args >= 2) {
          rest = line.substr(starts[2]);
          if (args == 2 && line[starts[2]] == '"') rest = words[2];
        }
        step.input.args = {rest};
      } else {
        step.input.args.assign(words.begin() + 2, words.end());
      }
      if (v == "checkitem") {
        if (!IsNumber(words[2]) && words[2].empty()) return fail("no item: " + line.substr(b));
        if (!SameText(words[3], "on") && !SameText(words[3], "off")) {
          return fail("expected on or off: " + words[3]);
        }
      } else if (v == "slide") {
        if (!ParseDecimal64(words[2])) return fail("not a position: " + words[2]);
      } else if (v == "scroll") {
        if (!SameText(words[2], "bar") && !SameText(words[2], "wheel") &&
            !SameText(words[2], "key")) {
          return fail("expected bar, wheel or key: " + words[2]);
        }
        for (size_t i = 3; i < words.size(); ++i) {
          if (!ParseDecimal64(words[i])) return fail("not a number: " + words[i]);
        }
      }
    }
    block->steps.push_back(std::move(step));
  }
  *out = std::move(file);
  return true;
}

}  // namespace corvane::platform::sim
