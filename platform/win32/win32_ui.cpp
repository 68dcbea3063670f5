#include "platform/win32/win32_ui.h"

#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {

int Win32UserInterface::MessageBox(const std::string& text, const std::string& caption,
                                   uint32_t flags) {
  // Owned by the active window of this thread, when there is one, so that it stays modal to it.
  int r = MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), flags);
  if (r == 0) FailLast();
  return r;
}

}  // namespace corvane::platform::win32
