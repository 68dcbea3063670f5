// The window service of the simulated machine: the headless renderer's screen. Windows exist as
// records (name, display number, caption, placement, visibility, the last frame painted), the
// screen is a fixed 1024 x 768, the clock is the machine's tick count moved on by virtual time,
// and the user is the answers file: each window made for the N-th display of a dialog gets the
// inputs of that display's answers block, one per message.
//
// Time: a wait of the answers file lets its milliseconds pass at once, firing the timers that
// come due on the way; an idle wait of the engine (a worker that is still busy) skips to the next
// timer, or to the earliest time that a thread of the machine waits for (a program's end, see
// SimSystemInfo::AddWakeup). A watchdog that is 5000 ms away therefore fires after exactly 5000 ms of virtual time.
//
// When a window's answers run out the user presses Enter once (input verb "default"); after that
// no input can come (PumpOne reports kNoInput and the engine gives up on the dialog instead of
// hanging). Main thread only, except the clock.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sim/answers.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_ui.h"
#include "platform/window.h"

namespace corvane::platform::sim {

struct SimWindow {
  std::string name;
  std::string key;
  int occurrence = 0;  // which display of this name the window was made for, from 1
  std::string caption;
  WindowRect placement;
  bool visible = false;
  bool destroyed = false;
  std::vector<std::string> frame;
  // The answers of this display, and how far the user got.
  const DialogAnswers* answers = nullptr;
  size_t next_step = 0;
  bool defaulted = false;
};

class SimWindowService : public WindowService {
 public:
  SimWindowService(SimSystemInfo& clock, SimUserInterface& ui) : clock_(clock), ui_(ui) {}

  // The dialog blocks of an answers file (replacing earlier ones).
  void SetDialogAnswers(std::vector<DialogAnswers> dialogs);

  uint64_t MakeWindow(const std::string& name, const std::string& key, const std::string& caption,
                        const WindowRect& placement) override;
  uint64_t RecreateWindow(uint64_t window, const std::string& caption,
                          const WindowRect& placement) override;
  void ShowWindow(uint64_t window) override;
  void HideWindow(uint64_t window) override;
  void DestroyWindow(uint64_t window) override;
  void MoveWindow(uint64_t window, int left, int top) override;
  void SetCaption(uint64_t window, const std::string& caption) override;
  void Paint(uint64_t window, const std::vector<std::string>& frame) override;

  Pumped PumpOne(uint64_t window, WindowInput* input) override;
  void ProcessPending() override;
  bool PollInput(uint64_t window, WindowInput* input) override;
  void Idle() override;
  void InputRejected(const WindowInput& input, const std::string& why) override;
  uint64_t Now() override { return clock_.Milliseconds(); }

  // Lets ms of virtual time pass, firing every timer that comes due on the way at its time.
  void Advance(uint64_t ms);

  const SimWindow* Find(uint64_t window) const;
  // The windows that exist (made and not destroyed), oldest first.
  std::vector<uint64_t> Handles() const;
  // Problems with the answers: inputs the renderer could not use, answers no box asked for,
  // displays answered that never came (after Finish). "answers line N: ..." each.
  std::vector<std::string> Errors() const { return errors_; }
  // Called at the end of the run: every answers block whose display never came is an error.
  void Finish();

 private:
  // Answers scoped to the last input that no box or browser took are errors.
  void Settle();
  bool NextInput(SimWindow& w, WindowInput* input, bool modal);

  SimSystemInfo& clock_;
  SimUserInterface& ui_;
  std::vector<DialogAnswers> dialogs_;
  std::vector<bool> used_;
  std::map<uint64_t, SimWindow> windows_;
  std::map<std::string, int> displays_;  // upper-cased name -> windows made for it
  uint64_t next_handle_ = 0x10010;
  std::string scoped_origin_;  // the input whose box answers are queued
  std::vector<std::string> errors_;
};

}  // namespace corvane::platform::sim
