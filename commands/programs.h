// The pieces of the program commands that are worth testing on their own: the environment block
// of Run Program As, its show commands, and the password copy that is wiped after the start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::interp {
class CommandContext;
}

namespace corvane::commands {

// Starts a program hidden through the shell and waits for it as Run Program does (on a worker,
// publishing the script's progress, cancelled by the user with `cancel_label`), its working
// folder `folder` (the program's own when empty). Its exit code; -1 when it could not be
// started, -314 when the user cancelled.
int32_t RunHiddenAndWait(interp::CommandContext& ctx, const std::string& program,
                         const std::string& arguments, const std::string& folder,
                         const char* cancel_label);

// The NAME=value lines of an environment text (split at line breaks, CR LF or LF); empty lines
// are left out, so that one cannot end the block early.
std::vector<std::string> EnvironmentEntries(const std::string& text);

enum class StartKind { kPlain, kLogon, kShellToken };
// The STARTUPINFO show command of a Run Program As show-mode number (not a number: as "other").
int RunAsShowCommand(const std::string& number, StartKind kind);

// A text whose bytes are overwritten with zeros when it is wiped or goes.
class SecretText {
 public:
  // Copies the text and wipes the given one.
  explicit SecretText(std::string text);
  ~SecretText() { Wipe(); }
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  const std::string& text() const { return text_; }
  // Zeros every byte in place (the buffer is kept, so nothing of it is left in freed memory),
  // then empties the text.
  void Wipe();

 private:
  std::string text_;
};
// Zeros the bytes of a string in place, where the compiler cannot leave the stores out.
void WipeText(std::string* text);

}  // namespace corvane::commands
