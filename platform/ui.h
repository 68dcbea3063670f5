// The user interface of the engine as the platform provides it. Windows are created and used on
// the main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace corvane::platform {

// MessageBox flags and results (MB_* / ID* values of Windows).
namespace mb {
constexpr uint32_t kOk = 0x0;
constexpr uint32_t kOkCancel = 0x1;
constexpr uint32_t kAbortRetryIgnore = 0x2;
constexpr uint32_t kYesNoCancel = 0x3;
constexpr uint32_t kYesNo = 0x4;
constexpr uint32_t kRetryCancel = 0x5;
constexpr uint32_t kIconError = 0x10;
constexpr uint32_t kIconQuestion = 0x20;
constexpr uint32_t kIconWarning = 0x30;
constexpr uint32_t kIconInformation = 0x40;
constexpr uint32_t kDefButton2 = 0x100;
constexpr uint32_t kDefButton3 = 0x200;
constexpr uint32_t kTopMost = 0x40000;
constexpr uint32_t kSetForeground = 0x10000;
}  // namespace mb

namespace id {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kAbort = 3;
constexpr int kRetry = 4;
constexpr int kIgnore = 5;
constexpr int kYes = 6;
constexpr int kNo = 7;
}  // namespace id

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // Shows a modal message box and returns the id of the button chosen (id::).
  virtual int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) = 0;
  // The same, owned by a window of the engine (0: no owner); 0 when the box could not be shown.
  virtual int MessageBoxOwned(uint64_t owner, const std::string& text, const std::string& caption,
                              uint32_t flags) {
    (void)owner;
    return MessageBox(text, caption, flags);
  }
  // The folder browser with a title, owned by the engine's main window: kOk with the folder
  // chosen, kNotFound when the user cancelled. A platform without one always cancels.
  virtual Status BrowseForFolder(const std::string& title, std::string* folder) {
    (void)title;
    folder->clear();
    return Status::kNotFound;
  }
};

// Forwards every call to another UserInterface: derive from it to change one call in a test.
class UserInterfaceWrapper : public UserInterface {
 public:
  explicit UserInterfaceWrapper(UserInterface& target) : target_(target) {}
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override {
    return target_.MessageBox(text, caption, flags);
  }
  int MessageBoxOwned(uint64_t owner, const std::string& text, const std::string& caption,
                      uint32_t flags) override {
    return target_.MessageBoxOwned(owner, text, caption, flags);
  }
  Status BrowseForFolder(const std::string& title, std::string* folder) override {
    return target_.BrowseForFolder(title, folder);
  }

 protected:
  UserInterface& target_;
};

}  // namespace corvane::platform
