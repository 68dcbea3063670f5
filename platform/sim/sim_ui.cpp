#include "platform/sim/sim_ui.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

constexpr int kTryAgain = 10;
constexpr int kContinue = 11;

struct ButtonText {
  int id;
  const char* name;
};
constexpr ButtonText kButtons[] = {
    {id::kOk, "OK"},         {id::kCancel, "Cancel"}, {id::kAbort, "Abort"},
    {id::kRetry, "Retry"},   {id::kIgnore, "Ignore"}, {id::kYes, "Yes"},
    {id::kNo, "No"},         {kTryAgain, "TryAgain"}, {kContinue, "Continue"},
};

}  // namespace

std::vector<int> ButtonsOf(uint32_t flags) {
  switch (flags & 0xF) {
    case mb::kOkCancel: return {id::kOk, id::kCancel};
    case mb::kAbortRetryIgnore: return {id::kAbort, id::kRetry, id::kIgnore};
    case mb::kYesNoCancel: return {id::kYes, id::kNo, id::kCancel};
    case mb::kYesNo: return {id::kYes, id::kNo};
    case mb::kRetryCancel: return {id::kRetry, id::kCancel};
    case 6: return {id::kCancel, kTryAgain, kContinue};
    default: return {id::kOk};
  }
}

int DefaultButtonOf(uint32_t flags) {
  std::vector<int> buttons = ButtonsOf(flags);
  size_t index = (flags >> 8) & 0xF;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

const char* ButtonName(int id) {
  for (const ButtonText& b : kButtons) {
    if (b.id == id) return b.name;
  }
  return "";
}

int ParseAnswer(const std::string& text) {
  std::string t = text;
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t' || t.back() == '\r')) t.pop_back();
  size_t b = t.find_first_not_of(" \t");
  t = b == std::string::npos ? std::string() : t.substr(b);
  if (t.size() > 2 && SameText(t.substr(0, 2), "ID")) t = t.substr(2);
  for (const ButtonText& button : kButtons) {
    if (SameText(t, button.name)) return button.id;
  }
  auto n = ParseDecimal32(t);
  if (n && *n >= 1 && *n <= kContinue) return *n;
  return 0;
}

std::string DescribeBox(const RecordedBox& box) {
  char flags[16];
  std::snprintf(flags, sizeof(flags), "0x%X", box.flags);
  std::string line = "message box \"" + box.caption + "\" [" + flags;
  switch (box.flags & 0xF0) {
    case mb::kIconError: line += " error"; break;
    case mb::kIconQuestion: line += " question"; break;
    case mb::kIconWarning: line += " warning"; break;
    case mb::kIconInformation: line += " information"; break;
    default: break;
  }
  const char* sep = " ";
  for (int b : ButtonsOf(box.flags)) {
    line += sep;
    line += ButtonName(b);
    sep = "/";
  }
  line += "]: \"" + box.text + "\" -> " + ButtonName(box.answer);
  if (!box.from_queue) line += " (default)";
  if (box.rejected_answer) {
    line += std::string(" (queued answer ") + ButtonName(box.rejected_answer) +
            " is not a button of this box)";
  }
  return line;
}

int SimUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                 uint32_t flags) {
  std::lock_guard<std::mutex> lock(mu_);
  RecordedBox box{text, caption, flags, DefaultButtonOf(flags), false, 0};
  std::deque<int>& queue = scoped_answers_.empty() ? answers_ : scoped_answers_;
  if (!queue.empty()) {
    int answer = queue.front();
    queue.pop_front();
    std::vector<int> buttons = ButtonsOf(flags);
    if (std::find(buttons.begin(), buttons.end(), answer) != buttons.end()) {
      box.answer = answer;
      box.from_queue = true;
    } else {
      box.rejected_answer = answer;
    }
  }
  boxes_.push_back(box);
  return box.answer;
}

void SimUserInterface::QueueAnswer(int id) {
  std::lock_guard<std::mutex> lock(mu_);
  answers_.push_back(id);
}

bool SimUserInterface::QueueAnswers(const std::string& text, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::vector<int> parsed;
  std::vector<std::string> folders;
  while (std::getline(in, line)) {
    ++number;
    size_t b = line.find_first_not_of(" \t\r");
    if (b == std::string::npos || line[b] == '#') continue;
    std::string rest = line.substr(b);
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == ' ' || rest.back() == '\t')) {
      rest.pop_back();
    }
    if (rest.size() >= 6 && SameText(rest.substr(0, 6), "folder") &&
        (rest.size() == 6 || rest[6] == ' ' || rest[6] == '\t')) {
      size_t path = rest.find_first_not_of(" \t", 6);
      folders.push_back(path == std::string::npos ? std::string() : rest.substr(path));
      continue;
    }
    int id = ParseAnswer(line);
    if (id == 0) {
      if (error) *error = "answers line " + std::to_string(number) + ": not an answer: " + line;
      return false;
    }
    parsed.push_back(id);
  }
  std::lock_guard<std::mutex> lock(mu_);
  answers_.insert(answers_.end(), parsed.begin(), parsed.end());
  folders_.insert(folders_.end(), folders.begin(), folders.end());
  return true;
}

Status SimUserInterface::BrowseForFolder(const std::string&, std::string* folder) {
  std::lock_guard<std::mutex> lock(mu_);
  folder->clear();
  std::deque<std::string>& queue = scoped_folders_.empty() ? folders_ : scoped_folders_;
  if (queue.empty()) return Status::kNotFound;
  *folder = queue.front();
  queue.pop_front();
  return folder->empty() ? Status::kNotFound : Status::kOk;
}

void SimUserInterface::QueueFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(mu_);
  folders_.push_back(folder);
}

void SimUserInterface::QueueScoped(const std::vector<int>& boxes,
                                   const std::vector<std::string>& folders) {
  std::lock_guard<std::mutex> lock(mu_);
  scoped_answers_.assign(boxes.begin(), boxes.end());
  scoped_folders_.assign(folders.begin(), folders.end());
}

void SimUserInterface::DropScoped(size_t* boxes_left, size_t* folders_left) {
  std::lock_guard<std::mutex> lock(mu_);
  *boxes_left = scoped_answers_.size();
  *folders_left = scoped_folders_.size();
  scoped_answers_.clear();
  scoped_folders_.clear();
}

size_t SimUserInterface::PendingAnswers() {
  std::lock_guard<std::mutex> lock(mu_);
  return answers_.size();
}

std::vector<RecordedBox> SimUserInterface::Boxes() {
  std::lock_guard<std::mutex> lock(mu_);
  return boxes_;
}

void SimUserInterface::ClearBoxes() {
  std::lock_guard<std::mutex> lock(mu_);
  boxes_.clear();
}

}  // namespace corvane::platform::sim
