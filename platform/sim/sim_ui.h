// The user interface of the simulated machine: message boxes are answered from a queue of
// answers (filled from an answers file or by a test) and every box is recorded. With no answer
// queued a box takes its default button. An answer that is not one of the box's buttons is not
// used (a person could not have given it): the box takes its default button and the record says so.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace corvane::platform::sim {

struct RecordedBox {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
  int answer = 0;
  bool from_queue = false;      // the answer came from the queue (not the default button)
  int rejected_answer = 0;      // a queued answer that did not fit the box, or 0
};

// The ids of the buttons of a box with these flags, in their order on the box.
std::vector<int> ButtonsOf(uint32_t flags);
// The button chosen when the user just presses Enter.
int DefaultButtonOf(uint32_t flags);
// "OK", "Cancel", "Yes", ... for an id; "" when unknown.
const char* ButtonName(int id);
// Parses an answer as written in an answers file: a button name or an id number. 0 when unknown.
int ParseAnswer(const std::string& text);
// One line of a transcript: caption, text, flags and the answer.
std::string DescribeBox(const RecordedBox& box);

class SimUserInterface : public UserInterface {
 public:
  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
  // The folder browser takes the next folder answer; without one (or with an empty one) the user
  // cancelled.
  Status BrowseForFolder(const std::string& title, std::string* folder) override;
  void QueueFolder(const std::string& folder);

  void QueueAnswer(int id);
  // Queues the answers of a text: one per line, blank lines and lines starting with '#' skipped.
  // "folder PATH" answers the next folder browser with PATH, "folder" alone cancels it.
  // False with the bad line in *error when a line is not an answer.
  bool QueueAnswers(const std::string& text, std::string* error);
  size_t PendingAnswers();
  // Answers for the boxes and browsers that one dialog input brings up: used before the queued
  // ones. DropScoped removes what is left of them and says how many were left.
  void QueueScoped(const std::vector<int>& boxes, const std::vector<std::string>& folders);
  void DropScoped(size_t* boxes_left, size_t* folders_left);
  std::vector<RecordedBox> Boxes();
  void ClearBoxes();

 private:
  std::mutex mu_;
  std::deque<int> answers_;
  std::deque<std::string> folders_;
  std::deque<int> scoped_answers_;
  std::deque<std::string> scoped_folders_;
  std::vector<RecordedBox> boxes_;
};

}  // namespace corvane::platform::sim
