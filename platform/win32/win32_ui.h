// The user interface through user32.
#pragma once

#include "platform/ui.h"

namespace corvane::platform::win32 {

class Win32UserInterface : public UserInterface {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
};

}  // namespace corvane::platform::win32
