// The engine's command line: silent and update switches, value switches and NAME=VALUE
// assignments.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::engine {

struct CommandLine {
  std::string tail;            // the raw command line without the program name
  bool silent = false;         // "/s", "-s", "/qn", "-qn" in any letter case
  bool update = false;         // "/update" or "/updatesetup" (or with "-"): no start-up windows
  std::string group_policy;    // "/g=" value, lower-cased
  std::string self_extractor;  // "/m=" value, lower-cased
  std::string log_path;        // "/l=" or "-l=" value, lower-cased
  std::string media_path;      // "/p=" or "-p=" value, lower-cased
  // NAME=VALUE arguments in order: the name upper-cased, the value as written.
  std::vector<std::pair<std::string, std::string>> assignments;
};

// Splits a raw command line into arguments as the Windows run-time does for a program's
// parameters: blanks separate arguments, double quotes group blanks into one and are removed.
// The first element is the program name.
std::vector<std::string> SplitCommandLine(std::string_view raw);

// The command line after the program name: when it begins with a double quote, the text after
// the closing quote and the one character following it; otherwise the text after the first blank
// (empty when there is none).
std::string CommandLineTail(std::string_view raw);

// Reads the switches and assignments of a raw command line (GetCommandLineA).
CommandLine ParseCommandLine(std::string_view raw);

}  // namespace corvane::engine
