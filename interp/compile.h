// The compile pass: validates the whole script once before it runs.
#pragma once

#include <string>
#include <string_view>

namespace corvane::interp {

class Session;

// The index reported for a script whose Ifs / Wizard Loops and Ends do not balance.
inline constexpr long kUnbalancedScriptIndex = 0x7FFFFFFC;
inline constexpr std::string_view kCompiledSuccessfully = "Script compiled successfully";

struct CompileResult {
  long index = -1;  // -1 when the script is valid, else the offending command
  std::string message;
  bool ok() const { return index == -1; }
};

// Runs every check on the session's command table, using the variable store as the set of
// declared names (it is cleared first; the caller clears it again afterwards), and rebuilds the
// executed-command list. Stops at the first error.
CompileResult CompileScript(Session& session);

// Commands whose effect the installer database carries out.
bool IsInstallerTableCommand(std::string_view name);

// A text whose part after the last backslash or colon holds none of / * ? " < > |.
bool IsLegalFileName(std::string_view text);

}  // namespace corvane::interp
