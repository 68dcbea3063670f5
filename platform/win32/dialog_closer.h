// Test support: answers a message box that another thread of this process shows, by finding its
// window by caption and pressing one of its buttons. Used by the contract tests under Wine.
#pragma once

#include <memory>
#include <string>

namespace corvane::platform::win32 {

class DialogCloser {
 public:
  // Starts a thread that waits up to timeout_ms for a dialog window with this caption and
  // presses the button with the given id (IDOK, IDYES, ...).
  static std::unique_ptr<DialogCloser> Start(const std::string& caption, int button_id,
                                             unsigned timeout_ms);
  virtual ~DialogCloser() = default;
  // Waits for the thread; true when the window was found and the button pressed.
  virtual bool Finish() = 0;
};

}  // namespace corvane::platform::win32
