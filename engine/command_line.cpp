#include "engine/command_line.h"

#include "platform/text.h"

namespace corvane::engine {

std::vector<std::string> SplitCommandLine(std::string_view raw) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < raw.size() && static_cast<unsigned char>(raw[i]) <= ' ') ++i;
    if (i >= raw.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < raw.size() && (quoted || static_cast<unsigned char>(raw[i]) > ' ')) {
      if (raw[i] == '"') {
        quoted = !quoted;
      } else {
        arg.push_back(raw[i]);
      }
      ++i;
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::string CommandLineTail(std::string_view raw) {
  if (!raw.empty() && raw[0] == '"') {
    size_t close = raw.find('"', 1);
    if (close == std::string_view::npos) return std::string();
    size_t start = close + 2;  // the closing quote and the character after it
    return start >= raw.size() ? std::string() : std::string(raw.substr(start));
  }
  size_t blank = raw.find(' ');
  if (blank == std::string_view::npos) return std::string();
  return std::string(raw.substr(blank + 1));
}

namespace {

bool IsSwitch(const std::string& arg, std::string_view name) {
  return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
         platform::SameText(std::string_view(arg).substr(1), name);
}

// The first argument whose lower-cased text contains one of the markers gives the value: that
// lower-cased argument without its first three characters, whatever they are.
std::string ValueSwitch(const std::vector<std::string>& args,
                        std::initializer_list<std::string_view> markers) {
  for (const std::string& arg : args) {
    std::string lower = platform::LowerCase(arg);
    for (std::string_view m : markers) {
      if (lower.find(m) != std::string::npos) return lower.size() > 3 ? lower.substr(3) : "";
    }
  }
  return std::string();
}

}  // namespace

CommandLine ParseCommandLine(std::string_view raw) {
  CommandLine cl;
  std::vector<std::string> args = SplitCommandLine(raw);
  if (!args.empty()) args.erase(args.begin());  // the program name
  cl.tail = CommandLineTail(raw);
  for (const std::string& a : args) {
    if (IsSwitch(a, "s") || IsSwitch(a, "qn")) cl.silent = true;
    if (IsSwitch(a, "update") || IsSwitch(a, "updatesetup")) cl.update = true;
  }
  cl.group_policy = ValueSwitch(args, {"/g="});
  cl.self_extractor = ValueSwitch(args, {"/m="});
  cl.log_path = ValueSwitch(args, {"/l=", "-l="});
  cl.media_path = ValueSwitch(args, {"/p=", "-p="});
  for (const std::string& a : args) {
    if (a.empty() || a[0] == '/' || a[0] == '-') continue;
    size_t eq = a.find('=');
    if (eq == std::string::npos) continue;
    cl.assignments.emplace_back(platform::UpperCase(a.substr(0, eq)), a.substr(eq + 1));
  }
  return cl;
}

}  // namespace corvane::engine
