#include "install/installer_messages.h"

#include <limits>

#include "platform/installer.h"
#include "platform/ui.h"

namespace corvane::install {

namespace msg = platform::install_message;

ProgressFields ParseProgressFields(std::string_view text) {
  ProgressFields fields;
  size_t i = 0;
  while (fields.count < 4) {
    // A field: a digit 1 to 4, ':', ' ', at least one decimal digit, then one separator.
    if (i + 2 >= text.size() || text[i] < '1' || text[i] > '4' || text[i + 1] != ':' ||
        text[i + 2] != ' ') {
      break;
    }
    size_t d = i + 3;
    if (d >= text.size() || text[d] < '0' || text[d] > '9') break;
    uint64_t value = 0;
    for (; d < text.size() && text[d] >= '0' && text[d] <= '9'; ++d) {
      uint64_t digit = static_cast<uint64_t>(text[d] - '0');
      // Wraps as an unsigned 64-bit number does; a value that long is not a real progress.
      value = value * 10 + digit;
    }
    fields.value[fields.count++] = value;
    i = d < text.size() ? d + 1 : d;
  }
  return fields;
}

void ApplyProgressMessage(ProgressState& state, std::string_view text) {
  ProgressFields f = ParseProgressFields(text);
  // Nothing readable (an empty text, or a text in another form): not a reset.
  if (f.count == 0) return;
  const int64_t f2 = static_cast<int64_t>(f.value[1]);
  switch (f.value[0]) {
    case 0:  // reset
      state.minimum = 0;
      if (f2 != 0) state.total = f2;
      if (state.total < 0 && state.total != std::numeric_limits<int64_t>::min()) {
        state.total = -state.total;
      }
      state.position = 0;
      state.step = 0;
      if (f.value[2] == 0) state.direction = 1;
      if (f.value[2] == 1) state.direction = -1;
      break;
    case 1:  // action info
      if (f.value[2] == 0) state.step = 0;
      if (f.value[2] == 1) state.step = static_cast<int32_t>(static_cast<uint32_t>(f.value[1]));
      break;
    case 2:  // progress report
      state.position += state.direction * f2;
      break;
    case 3:  // progress addition
      state.total += f2 >= 0 ? f2 : -f2;
      break;
    default:
      break;
  }
}

std::string ActionStartText(std::string_view text) {
  size_t stop = text.find('.');
  if (stop == std::string_view::npos) return std::string(text);
  size_t from = stop + 2;
  return from >= text.size() ? std::string() : std::string(text.substr(from));
}

int InstallerMessageHandler::Box(const std::string& prefix, const std::string& text,
                                 uint32_t style, uint32_t icon, bool extended,
                                 TaskbarState taskbar, bool change_taskbar) {
  std::string shown = text;
  if (!prefix.empty()) {
    shown = (hooks_.translate ? hooks_.translate(prefix) : prefix) + "\r\r" + text;
  }
  // The message's own icon bits give way to the kind's icon: or-ing both would make another
  // icon (error | warning is the warning's bits).
  const uint32_t flags = (style & 0x00FFFFFFu & ~0xF0u) | icon;
  if (change_taskbar && hooks_.set_taskbar) hooks_.set_taskbar(taskbar);
  int answer = hooks_.show_box ? hooks_.show_box(shown, hooks_.caption, flags, extended)
                               : platform::id::kOk;
  if (change_taskbar && hooks_.set_taskbar) hooks_.set_taskbar(TaskbarState::kNormal);
  return answer;
}

int InstallerMessageHandler::Handle(uint32_t type, const std::string& text) {
  const uint32_t kind = type & 0xFF000000u;
  const uint32_t style = type & 0x00FFFFFFu;
  int answer = 0;
  switch (kind) {
    case msg::kFatalExit:
      last_message_ = text;
      answer = hooks_.silent ? 0
                             : Box("Fatal Error", text, style, platform::mb::kIconError, false,
                                   TaskbarState::kError, true);
      break;
    case msg::kError:
      last_message_ = text;
      answer = hooks_.silent ? 1
                             : Box("Error", text, style, platform::mb::kIconError, true,
                                   TaskbarState::kNormal, false);
      break;
    case msg::kWarning:
      answer = hooks_.silent ? 1
                             : Box("Warning", text, style, platform::mb::kIconWarning, false,
                                   TaskbarState::kPaused, true);
      break;
    case msg::kUser:
      answer = hooks_.silent ? 1
                             : Box("", text, style, platform::mb::kIconQuestion, false,
                                   TaskbarState::kPaused, true);
      break;
    case msg::kInfo:
      answer = 1;
      break;
    case msg::kResolveSource:
      answer = 0;
      break;
    case msg::kOutOfDiskSpace:
      answer = hooks_.silent ? 1
                             : Box("Out of Disk Space", text, style, platform::mb::kIconError,
                                   false, TaskbarState::kError, true);
      break;
    case msg::kActionStart:
      state_.action_text = ActionStartText(text);
      answer = 1;
      break;
    case msg::kActionData:
      state_.action_text = text;
      state_.position += state_.step;
      answer = 1;
      break;
    case msg::kProgress:
      ApplyProgressMessage(state_, text);
      answer = 1;
      break;
    case msg::kCommonData:
    case msg::kInitialize:
    case msg::kTerminate:
    case msg::kShowDialog:
      answer = 1;
      break;
    default:
      answer = 0;
      break;
  }
  if (hooks_.progress &&
      !hooks_.progress(state_.action_text, state_.minimum, state_.total, state_.position)) {
    return platform::id::kCancel;
  }
  return answer;
}

}  // namespace corvane::install
