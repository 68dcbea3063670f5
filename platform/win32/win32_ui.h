// The user interface through user32.
#pragma once

#include "platform/ui.h"

namespace corvane::platform::win32 {

class Win32UserInterface : public UserInterface {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  int MessageBoxOwned(uint64_t owner, const std::string& text, const std::string& caption,
                      uint32_t flags) override;
  // The shell's folder browser (shell32, loaded from the system folder), folders of the file
  // system only.
  Status BrowseForFolder(const std::string& title, std::string* folder) override;
};

}  // namespace corvane::platform::win32
