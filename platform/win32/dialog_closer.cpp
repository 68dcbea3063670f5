#include "platform/win32/dialog_closer.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace corvane::platform::win32 {
namespace {

class ThreadCloser : public DialogCloser {
 public:
  ThreadCloser(std::string caption, int id, unsigned timeout_ms)
      : thread_([this, caption, id, timeout_ms] { Run(caption, id, timeout_ms); }) {}
  ~ThreadCloser() override {
    if (thread_.joinable()) thread_.join();
  }
  bool Finish() override {
    if (thread_.joinable()) thread_.join();
    return pressed_;
  }

 private:
  void Run(const std::string& caption, int id, unsigned timeout_ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
      HWND box = FindWindowA("#32770", caption.c_str());
      if (box && IsWindowVisible(box)) {
        HWND button = GetDlgItem(box, id);
        if (button) {
          PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
          pressed_ = true;
          return;
        }
      }
      Sleep(20);
    }
  }

  std::atomic<bool> pressed_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<DialogCloser> DialogCloser::Start(const std::string& caption, int button_id,
                                                  unsigned timeout_ms) {
  return std::make_unique<ThreadCloser>(caption, button_id, timeout_ms);
}

}  // namespace corvane::platform::win32
