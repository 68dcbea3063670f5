#include "platform/sim/sim_windows.h"

#include "platform/text.h"

namespace corvane::platform::sim {

void SimWindowService::SetDialogAnswers(std::vector<DialogAnswers> dialogs) {
  dialogs_ = std::move(dialogs);
  used_.assign(dialogs_.size(), false);
  for (auto& [handle, w] : windows_) w.answers = nullptr;
}

uint64_t SimWindowService::MakeWindow(const std::string& name, const std::string& key,
                                        const std::string& caption, const WindowRect& placement) {
  Settle();
  SimWindow w;
  w.name = name;
  w.key = key;
  w.occurrence = ++displays_[UpperCase(name)];
  w.caption = caption;
  w.placement = placement;
  for (size_t i = 0; i < dialogs_.size(); ++i) {
    if (SameText(dialogs_[i].dialog, name) && dialogs_[i].occurrence == w.occurrence) {
      w.answers = &dialogs_[i];
      used_[i] = true;
      // Answers that come before the first input are for boxes of the display itself.
      if (!dialogs_[i].boxes.empty() || !dialogs_[i].folders.empty()) {
        ui_.QueueScoped(dialogs_[i].boxes, dialogs_[i].folders);
        scoped_origin_ = "answers line " + std::to_string(dialogs_[i].line);
      }
    }
  }
  next_handle_ += 4;
  windows_[next_handle_] = std::move(w);
  return next_handle_;
}

uint64_t SimWindowService::RecreateWindow(uint64_t window, const std::string& caption,
                                          const WindowRect& placement) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return 0;
  const std::string name = it->second.name, key = it->second.key;
  const bool visible = it->second.visible;
  DestroyWindow(window);
  uint64_t handle = MakeWindow(name, key, caption, placement);
  windows_[handle].visible = visible;
  return handle;
}

void SimWindowService::ShowWindow(uint64_t window) {
  auto it = windows_.find(window);
  if (it != windows_.end() && !it->second.destroyed) it->second.visible = true;
}

void SimWindowService::HideWindow(uint64_t window) {
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second.visible = false;
}

void SimWindowService::DestroyWindow(uint64_t window) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  it->second.visible = false;
  it->second.destroyed = true;
}

void SimWindowService::MoveWindow(uint64_t window, int left, int top) {
  auto it = windows_.find(window);
  if (it == windows_.end()) return;
  it->second.placement.left = left;
  it->second.placement.top = top;
}

void SimWindowService::SetCaption(uint64_t window, const std::string& caption) {
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second.caption = caption;
}

void SimWindowService::Paint(uint64_t window, const std::vector<std::string>& frame) {
  auto it = windows_.find(window);
  if (it != windows_.end()) it->second.frame = frame;
}

const SimWindow* SimWindowService::Find(uint64_t window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : &it->second;
}

void SimWindowService::Settle() {
  if (scoped_origin_.empty()) return;
  size_t boxes = 0, folders = 0;
  ui_.DropScoped(&boxes, &folders);
  if (boxes) {
    errors_.push_back(scoped_origin_ + ": " + std::to_string(boxes) +
                      " message-box answer(s) that no message box asked for");
  }
  if (folders) {
    errors_.push_back(scoped_origin_ + ": " + std::to_string(folders) +
                      " folder answer(s) that no folder browser asked for");
  }
  scoped_origin_.clear();
}

bool SimWindowService::NextInput(SimWindow& w, WindowInput* input, bool modal) {
  Settle();
  if (w.destroyed) return false;
  while (w.answers && w.next_step < w.answers->steps.size()) {
    const AnswerStep& step = w.answers->steps[w.next_step++];
    if (step.input.verb == "wait") {
      Advance(static_cast<uint64_t>(std::stoull(step.input.args[0])));
      continue;
    }
    *input = step.input;
    if (!step.boxes.empty() || !step.folders.empty()) {
      ui_.QueueScoped(step.boxes, step.folders);
      scoped_origin_ = step.input.origin;
    }
    return true;
  }
  if (!modal || w.defaulted) return false;
  // The answers ran out: the user presses Enter, once.
  w.defaulted = true;
  *input = WindowInput{
      "default", "", {}, "no answers left for " + w.name + " " + std::to_string(w.occurrence)};
  return true;
}

WindowService::Pumped SimWindowService::PumpOne(uint64_t window, WindowInput* input) {
  if (RunDueTimers()) return Pumped::kTimer;
  auto it = windows_.find(window);
  if (it == windows_.end()) return Pumped::kNoInput;
  return NextInput(it->second, input, true) ? Pumped::kInput : Pumped::kNoInput;
}

void SimWindowService::ProcessPending() { RunDueTimers(); }

bool SimWindowService::PollInput(uint64_t window, WindowInput* input) {
  auto it = windows_.find(window);
  if (it == windows_.end() || !it->second.visible) return false;
  return NextInput(it->second, input, false);
}

void SimWindowService::Idle() {
  if (RunDueTimers()) return;
  uint64_t due = NextDue();
  const uint64_t wakeup = clock_.NextWakeup();
  if (wakeup != 0 && (due == 0 || wakeup < due)) due = wakeup;
  if (due == 0) return;
  const uint64_t now = Now();
  if (due > now) clock_.AdvanceClock(due - now);
  RunDueTimers();
}

void SimWindowService::Advance(uint64_t ms) {
  const uint64_t until = Now() + ms;
  while (true) {
    RunDueTimers();
    const uint64_t due = NextDue();
    const uint64_t now = Now();
    if (due == 0 || due > until) {
      if (until > now) clock_.AdvanceClock(until - now);
      RunDueTimers();
      return;
    }
    if (due > now) clock_.AdvanceClock(due - now);
  }
}

std::vector<uint64_t> SimWindowService::Handles() const {
  std::vector<uint64_t> handles;
  for (const auto& [handle, w] : windows_) {
    if (!w.destroyed) handles.push_back(handle);
  }
  return handles;
}

void SimWindowService::InputRejected(const WindowInput& input, const std::string& why) {
  errors_.push_back(input.origin + ": " + why);
}

void SimWindowService::Finish() {
  Settle();
  // After an error the run ended early: the displays it did not reach say nothing new.
  if (!errors_.empty()) used_.assign(dialogs_.size(), true);
  for (size_t i = 0; i < dialogs_.size(); ++i) {
    if (used_[i]) continue;
    errors_.push_back("answers line " + std::to_string(dialogs_[i].line) + ": display " +
                      std::to_string(dialogs_[i].occurrence) + " of the dialog " +
                      dialogs_[i].dialog + " never came");
  }
  used_.assign(dialogs_.size(), true);
}

}  // namespace corvane::platform::sim
