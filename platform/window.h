// The window service: the windows of the engine's dialogs, their message pump and the timers
// that fire inside it. A renderer (ui/) decides what a window shows; this service only makes it
// exist on the screen, moves it, and hands the renderer one message at a time.
//
// Main thread only: windows are made, shown, pumped and timed on the thread that runs the
// interpreter, and timer callbacks run there, inside PumpOne, ProcessPending or Idle.
//
// The defaults below are a window system without windows: creating gives handle 0, input never
// comes (PumpOne reports kNoInput at once), and timers run on the host's monotonic clock. The
// simulated machine overrides all of it with its headless renderer (platform/sim/sim_windows.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvane::platform {

struct WindowRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// One input the user gave a window, as the window system reports it: a verb ("click", "type",
// "check", ...), the control it was aimed at (its Name) and the verb's arguments. `origin` says
// where it came from (an answers-file line: "answers line 12") for error messages.
struct WindowInput {
  std::string verb;
  std::string control;
  std::vector<std::string> args;
  std::string origin;
};

class WindowService {
 public:
  virtual ~WindowService() = default;

  // --- windows
  // Makes the window of a dialog (name: the form's Name) at a placement, hidden. Returns its
  // handle (never 0 for a real window; 0 when the service has no windows).
  // `key` is the engine's key of the dialog, for logs.
  virtual uint64_t MakeWindow(const std::string& name, const std::string& key,
                                const std::string& caption, const WindowRect& placement) {
    (void)name;
    (void)key;
    (void)caption;
    (void)placement;
    return 0;
  }
  // Destroys a window and makes it again with the same name and occurrence (so that a changed
  // style or placement takes effect); returns the new handle.
  virtual uint64_t RecreateWindow(uint64_t window, const std::string& caption,
                                  const WindowRect& placement) {
    (void)window;
    (void)caption;
    (void)placement;
    return 0;
  }
  virtual void ShowWindow(uint64_t window) { (void)window; }
  virtual void HideWindow(uint64_t window) { (void)window; }
  virtual void DestroyWindow(uint64_t window) { (void)window; }
  virtual void MoveWindow(uint64_t window, int left, int top) {
    (void)window;
    (void)left;
    (void)top;
  }
  virtual void SetCaption(uint64_t window, const std::string& caption) {
    (void)window;
    (void)caption;
  }
  // Brings a window back to the user: shown, on top, restored from its minimised state and made
  // the foreground window.
  virtual void RestoreWindow(uint64_t window) { ShowWindow(window); }

  // --- the engine's icon in the notification area (one per run)
  // Shows the icon with a hint (or gives the shown icon a new hint) / removes it. Removing an
  // icon that is not there does nothing.
  virtual void ShowTrayIcon(const std::string& hint) {
    (void)hint;
    tray_icon_shown_ = true;
  }
  virtual void HideTrayIcon() { tray_icon_shown_ = false; }
  bool tray_icon_shown() const { return tray_icon_shown_; }
  // A balloon from the icon (which must be shown): title, text, kind (1 information, 2 warning,
  // 3 error) and how long it stays.
  virtual void ShowBalloon(const std::string& title, const std::string& text, int kind,
                           uint32_t timeout_ms) {
    (void)title;
    (void)text;
    (void)kind;
    (void)timeout_ms;
  }
  // Called (inside PumpOne or ProcessPending) when the user clicks or double-clicks the icon.
  std::function<void()> on_tray_click;

  // What the window shows now, one line per control as the renderer drew it. A screen paints
  // it; a headless renderer records it.
  virtual void Paint(uint64_t window, const std::vector<std::string>& frame) {
    (void)window;
    (void)frame;
  }
  // The work area of the screen.
  virtual int ScreenWidth() { return 1024; }
  virtual int ScreenHeight() { return 768; }
  WindowRect Centred(int width, int height) {
    return {(ScreenWidth() - width) / 2, (ScreenHeight() - height) / 2, width, height};
  }

  // --- the message pump
  enum class Pumped {
    kTimer,    // a timer fired (its callback ran)
    kInput,    // *input holds the user's input for `window`
    kNoInput,  // no input can ever come for this window (a headless renderer whose answers ran
               // out, or a service without windows)
  };
  // Waits for one message for `window` and handles it.
  virtual Pumped PumpOne(uint64_t window, WindowInput* input);
  // Handles the messages that are waiting without waiting for more (due timers).
  virtual void ProcessPending() { RunDueTimers(); }
  // Without waiting: true with the user's input for `window` when some is waiting (a window shown
  // without a modal wait still gets clicks while the engine works).
  virtual bool PollInput(uint64_t window, WindowInput* input) {
    (void)window;
    (void)input;
    return false;
  }
  // The renderer could not use an input (it names a control the window does not have, ...).
  virtual void InputRejected(const WindowInput& input, const std::string& why) {
    (void)input;
    (void)why;
  }
  // A remark for the log of a headless renderer (what an input wrote, when a watchdog fired); a
  // screen ignores it.
  virtual void Note(const std::string& line) { (void)line; }
  // The caller waited a while and nothing happened (a wait loop whose worker is still busy):
  // time may pass. The default lets real time pass on its own; the simulation moves its clock
  // on to the next timer that is due and fires it.
  virtual void Idle() { RunDueTimers(); }

  // --- timers
  // Milliseconds of the timers' clock (the system tick count on a real machine).
  virtual uint64_t Now();
  // Starts a timer that fires every interval_ms (at least 1) until killed; returns its id (never
  // 0). The callback may kill its own timer or start others.
  virtual uint64_t SetTimer(uint32_t interval_ms, std::function<void()> fire);
  virtual void KillTimer(uint64_t timer);
  // The time at which the next timer fires, or 0 when none runs.
  virtual uint64_t NextDue() const;

 protected:
  // Fires every timer whose time has come by Now(), earliest first; true when one fired.
  bool RunDueTimers();
  // Fires the earliest timer due at or before `until` (setting its next time); true when one
  // fired.
  bool FireOneDue(uint64_t until);

 private:
  struct Timer {
    uint64_t id;
    uint32_t interval;
    uint64_t due;
    std::function<void()> fire;
  };
  std::vector<Timer> timers_;
  uint64_t next_timer_id_ = 1;

 protected:
  bool tray_icon_shown_ = false;
};

// Forwards every call to another WindowService (timers included): derive from it to record or
// change one call.
class WindowServiceWrapper : public WindowService {
 public:
  explicit WindowServiceWrapper(WindowService& target) : target_(target) {}
  uint64_t MakeWindow(const std::string& name, const std::string& key, const std::string& caption,
                        const WindowRect& placement) override {
    return target_.MakeWindow(name, key, caption, placement);
  }
  uint64_t RecreateWindow(uint64_t window, const std::string& caption,
                          const WindowRect& placement) override {
    return target_.RecreateWindow(window, caption, placement);
  }
  void ShowWindow(uint64_t window) override { target_.ShowWindow(window); }
  void HideWindow(uint64_t window) override { target_.HideWindow(window); }
  void DestroyWindow(uint64_t window) override { target_.DestroyWindow(window); }
  void MoveWindow(uint64_t window, int left, int top) override {
    target_.MoveWindow(window, left, top);
  }
  void SetCaption(uint64_t window, const std::string& caption) override {
    target_.SetCaption(window, caption);
  }
  void RestoreWindow(uint64_t window) override { target_.RestoreWindow(window); }
  // The target calls this wrapper's on_tray_click (set it before the first icon is shown).
  void ShowTrayIcon(const std::string& hint) override {
    if (!target_.on_tray_click) {
      target_.on_tray_click = [this] {
        if (on_tray_click) on_tray_click();
      };
    }
    target_.ShowTrayIcon(hint);
    tray_icon_shown_ = target_.tray_icon_shown();
  }
  void HideTrayIcon() override {
    target_.HideTrayIcon();
    tray_icon_shown_ = target_.tray_icon_shown();
  }
  void ShowBalloon(const std::string& title, const std::string& text, int kind,
                   uint32_t timeout_ms) override {
    target_.ShowBalloon(title, text, kind, timeout_ms);
  }
  void Paint(uint64_t window, const std::vector<std::string>& frame) override {
    target_.Paint(window, frame);
  }
  int ScreenWidth() override { return target_.ScreenWidth(); }
  int ScreenHeight() override { return target_.ScreenHeight(); }
  Pumped PumpOne(uint64_t window, WindowInput* input) override {
    return target_.PumpOne(window, input);
  }
  void ProcessPending() override { target_.ProcessPending(); }
  bool PollInput(uint64_t window, WindowInput* input) override {
    return target_.PollInput(window, input);
  }
  void InputRejected(const WindowInput& input, const std::string& why) override {
    target_.InputRejected(input, why);
  }
  void Note(const std::string& line) override { target_.Note(line); }
  void Idle() override { target_.Idle(); }
  uint64_t Now() override { return target_.Now(); }
  uint64_t SetTimer(uint32_t interval_ms, std::function<void()> fire) override {
    return target_.SetTimer(interval_ms, std::move(fire));
  }
  void KillTimer(uint64_t timer) override { target_.KillTimer(timer); }
  uint64_t NextDue() const override { return target_.NextDue(); }

 private:
  WindowService& target_;
};

}  // namespace corvane::platform
