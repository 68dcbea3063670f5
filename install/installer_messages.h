// The handler of installer messages during an installer session: errors, warnings and questions
// become message boxes, the installer's progress protocol keeps a position and a total, and
// after every message the action text and the progress go to the progress callback, whose
// refusal is how a user's cancel reaches the installer.
//
// Pure code: the boxes, the taskbar and the progress callback are supplied by the caller. The
// handler runs on the thread that made the installer call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::install {

// The handler state; only the installer's own reset messages clear it.
struct ProgressState {
  std::string action_text;
  int64_t position = 0;
  int64_t minimum = 0;
  int64_t total = 0;
  int32_t step = 0;
  int32_t direction = 1;
};

// The numbered fields of a progress message ("1: 0 2: 1000 3: 0 "): up to four, in text order.
struct ProgressFields {
  int count = 0;
  uint64_t value[4] = {0, 0, 0, 0};
};
ProgressFields ParseProgressFields(std::string_view text);

// Applies one progress message to the state. A text without a readable field changes nothing.
void ApplyProgressMessage(ProgressState& state, std::string_view text);

// The action text of an action-start message: the text after its first full stop and the
// character that follows it (the whole text when it has no full stop).
std::string ActionStartText(std::string_view text);

enum class TaskbarState { kNormal, kError, kPaused };

struct MessageHandlerHooks {
  bool silent = false;
  std::string caption;  // the caption of the boxes (TITLE)
  // The texts that open the boxes ("Fatal Error", "Error", "Warning", "Out of Disk Space"),
  // through the engine's message table; null: the texts themselves.
  std::function<std::string(std::string_view)> translate;
  // Shows a box owned by the session's owner window and returns the button chosen. `extended`
  // asks for the language-neutral form (MessageBoxEx, language 0).
  std::function<int(const std::string& text, const std::string& caption, uint32_t style,
                    bool extended)>
      show_box;
  // The taskbar progress state while a box is up (null: no taskbar).
  std::function<void(TaskbarState)> set_taskbar;
  // Receives action text, minimum, total and position after every message; false cancels.
  std::function<bool(const std::string&, int64_t, int64_t, int64_t)> progress;
};

class InstallerMessageHandler {
 public:
  explicit InstallerMessageHandler(MessageHandlerHooks hooks) : hooks_(std::move(hooks)) {}

  // The answer the installer expects for a message of `type` (kind in the high byte, box style
  // flags in the low 24 bits): a box result, 1, 0 to leave it to the installer, 2 to cancel.
  // Never throws.
  int Handle(uint32_t type, const std::string& text);

  const ProgressState& state() const { return state_; }
  ProgressState& state() { return state_; }
  // The text of the last fatal-exit or error message.
  const std::string& last_message() const { return last_message_; }
  MessageHandlerHooks& hooks() { return hooks_; }

 private:
  int Box(const std::string& prefix, const std::string& text, uint32_t style, uint32_t icon,
          bool extended, TaskbarState taskbar, bool change_taskbar);

  MessageHandlerHooks hooks_;
  ProgressState state_;
  std::string last_message_;
};

}  // namespace corvane::install
