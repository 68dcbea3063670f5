// The answers file of the simulated machine: what the user of a headless run answers.
//
// One statement a line; blank lines and lines starting with '#' are skipped; words are separated
// by blanks, a word in double quotes may hold blanks ("" inside stands for one quote).
//
//   Yes | No | OK | Cancel | ... | 6     the next message box (outside a dialog block: in order,
//   answer BUTTON                        for every box of the run)
//   folder PATH | folder                 the next folder browser (chooses PATH / cancels)
//   dialog NAME [N]                      starts the answers of the N-th display (from 1, default
//                                        1) of the dialog whose form is named NAME
//   end                                  ends the block (a new "dialog" line ends it too)
//
// Inside a dialog block, one input a line, acted on in order:
//   click CONTROL                        a click (buttons act, check boxes toggle)
//   type CONTROL TEXT                    typed text (the rest of the line; quotes keep blanks)
//   check CONTROL | uncheck CONTROL      a check box or radio button set on / off
//   pick CONTROL ITEM...                 list, combo box or check list item(s) chosen: indexes
//                                        from 0 or item texts
//   checkitem CONTROL ITEM on|off        a check list item's check mark
//   node CONTROL NODE                    a tree node selected: an index or its path (A\B)
//   menu CONTROL ITEM                    the component menu opened on the selected node, an
//                                        item chosen: an index or its caption
//   slide CONTROL POSITION               a track bar moved
//   scroll CONTROL bar|wheel|key POSITION [PAGE MAXIMUM]   a text control scrolled
//   close                                the user asks to close the window
//   wait MS                              the user waits MS milliseconds (timers fire)
// and message-box and folder answers, which belong to the input before them (the boxes it
// brings up), or to the display itself when they come first.
#pragma once

#include <string>
#include <vector>

#include "platform/window.h"

namespace corvane::platform::sim {

struct AnswerStep {
  WindowInput input;                 // verb "wait" with args {MS} for a wait
  std::vector<int> boxes;            // answers of the boxes this input brings up
  std::vector<std::string> folders;  // answers of the folder browsers it brings up
  int line = 0;
};

struct DialogAnswers {
  std::string dialog;  // the form's Name
  int occurrence = 1;
  int line = 0;
  std::vector<int> boxes;  // boxes of the display itself, before any input
  std::vector<std::string> folders;
  std::vector<AnswerStep> steps;
};

struct AnswersFile {
  std::vector<int> boxes;  // answers outside dialog blocks, in order
  std::vector<std::string> folders;
  std::vector<DialogAnswers> dialogs;
};

// False with "answers line N: ..." in *error for the first line that is not a statement.
bool ParseAnswers(const std::string& text, AnswersFile* out, std::string* error);

// The words of a line: blanks separate, double quotes group ("" is one quote). *rest_at[i] is
// where word i starts in the line (for verbs whose last argument is the rest of the line).
std::vector<std::string> SplitWords(const std::string& line, std::vector<size_t>* starts);

}  // namespace corvane::platform::sim
