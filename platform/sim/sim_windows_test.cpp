// The answers file's statements and the headless screen: windows by display, inputs one message
// at a time, the virtual clock and its timers.
#include "platform/sim/sim_windows.h"

#include <gtest/gtest.h>

#include "platform/sim/answers.h"

namespace corvane::platform::sim {
namespace {

TEST(Answers, BlocksHoldInputsAndTheBoxAnswersOfEachInput) {
  AnswersFile f;
  std::string error;
  ASSERT_TRUE(
      ParseAnswers("Yes\n"
                   "folder C:\\Old Files\n"
                   "dialog Destination 2\n"
                   "No\n"
                   "type FolderEdit   D:\\My Apps  \n"
                   "type Name \"  padded \"\n"
                   "click ButtonCancel\n"
                   "answer No\n"
                   "folder\n"
                   "end\n"
                   "Retry\n",
                   &f, &error))
      << error;
  EXPECT_EQ(f.boxes, (std::vector<int>{6, 4}));
  EXPECT_EQ(f.folders, std::vector<std::string>{"C:\\Old Files"});
  ASSERT_EQ(f.dialogs.size(), 1u);
  const DialogAnswers& d = f.dialogs[0];
  EXPECT_EQ(d.dialog, "Destination");
  EXPECT_EQ(d.occurrence, 2);
  EXPECT_EQ(d.boxes, std::vector<int>{7});  // before any input: boxes of the display itself
  ASSERT_EQ(d.steps.size(), 3u);
  EXPECT_EQ(d.steps[0].input.args, std::vector<std::string>{"D:\\My Apps"});
  EXPECT_EQ(d.steps[1].input.args, std::vector<std::string>{"  padded "});
  EXPECT_EQ(d.steps[2].input.control, "ButtonCancel");
  EXPECT_EQ(d.steps[2].boxes, std::vector<int>{7});
  EXPECT_EQ(d.steps[2].folders, std::vector<std::string>{""});
  EXPECT_EQ(d.steps[2].input.origin, "answers line 7");
}

TEST(Answers, MalformedLinesAreRefusedWithTheirNumber) {
  const std::pair<const char*, const char*> cases[] = {
      {"Yes\nMaybe\n", "answers line 2: not an answer: Maybe"},
      {"click Next\n", "answers line 1: click outside a dialog block"},
      {"dialog\n", "answers line 1: expected: dialog NAME [N]"},
      {"dialog A 0\n", "answers line 1: not a display number"},
      {"dialog A\ncheckitem L 0 maybe\n", "answers line 2: expected on or off"},
      {"dialog A\nscroll M sideways 3\n", "answers line 2: expected bar, wheel or key"},
      {"dialog A\nslide T far\n", "answers line 2: not a position"},
      {"dialog A\nwait -5\n", "answers line 2: not a number of milliseconds"},
      {"dialog A\nanswer Perhaps\n", "answers line 2: not a message-box button"},
      {"end\n", "answers line 1: \"end\" outside a dialog block"},
      {"dialog \"\"\n", "answers line 1: no dialog name"},
      {"dialog A\nclick \"\"\n", "answers line 2: no control name"},
      {"dialog A\n\ndialog a 1\n", "answers line 3: display 1 of a is answered already on line 1"},
  };
  for (const auto& [text, expected] : cases) {
    AnswersFile f;
    std::string error;
    EXPECT_FALSE(ParseAnswers(text, &f, &error)) << text;
    EXPECT_EQ(error.rfind(expected, 0), 0u) << text << " gave " << error;
  }
}

TEST(Answers, WordsSplitAtBlanksAndQuotesGroup) {
  EXPECT_EQ(SplitWords("pick  List \"two words\" \"say \"\"hi\"\"\"", nullptr),
            (std::vector<std::string>{"pick", "List", "two words", "say \"hi\""}));
  EXPECT_EQ(SplitWords("\"unterminated", nullptr), std::vector<std::string>{"unterminated"});
}

class Screen : public ::testing::Test {
 protected:
  Screen() : clock_(Machine()), windows_(clock_, ui_) {}
  static MachineDescription Machine() {
    MachineDescription m;
    m.Complete();
    return m;
  }
  void Answer(const std::string& text) {
    AnswersFile f;
    std::string error;
    ASSERT_TRUE(ParseAnswers(text, &f, &error)) << error;
    windows_.SetDialogAnswers(f.dialogs);
  }
  SimSystemInfo clock_;
  SimUserInterface ui_;
  SimWindowService windows_;
};

TEST_F(Screen, EachDisplayOfANameGetsItsOwnBlockAndThenEnterOnce) {
  Answer("dialog Page 2\nclick B\n");
  WindowInput in;
  uint64_t first = windows_.MakeWindow("Page", "1", "P", {0, 0, 100, 50});
  // No block for the first display: Enter once, then nothing can come.
  ASSERT_EQ(windows_.PumpOne(first, &in), WindowService::Pumped::kInput);
  EXPECT_EQ(in.verb, "default");
  EXPECT_EQ(windows_.PumpOne(first, &in), WindowService::Pumped::kNoInput);
  uint64_t second = windows_.RecreateWindow(first, "P", {0, 0, 100, 50});
  EXPECT_NE(second, first);
  EXPECT_TRUE(windows_.Find(first)->destroyed);
  EXPECT_EQ(windows_.Find(second)->occurrence, 2);
  ASSERT_EQ(windows_.PumpOne(second, &in), WindowService::Pumped::kInput);
  EXPECT_EQ(in.verb, "click");
  EXPECT_EQ(in.control, "B");
  // A window shown without a modal wait takes its inputs but never presses Enter by itself.
  uint64_t other = windows_.MakeWindow("Other", "2", "O", {0, 0, 10, 10});
  windows_.ShowWindow(other);
  EXPECT_FALSE(windows_.PollInput(other, &in));
  windows_.Finish();
  EXPECT_TRUE(windows_.Errors().empty());
}

TEST_F(Screen, UnaskedAnswersAreErrorsAndAfterOneTheDisplaysNotReachedSayNothing) {
  Answer("dialog Page\nclick B\nYes\ndialog Never 3\n");
  uint64_t w = windows_.MakeWindow("Page", "1", "P", {});
  WindowInput in;
  ASSERT_EQ(windows_.PumpOne(w, &in), WindowService::Pumped::kInput);
  // Nothing asked the box question the answer was for: the next message says so.
  windows_.PumpOne(w, &in);
  windows_.Finish();
  ASSERT_EQ(windows_.Errors().size(), 1u);
  EXPECT_EQ(windows_.Errors()[0],
            "answers line 2: 1 message-box answer(s) that no message box asked for");
  // The unused answer is not left for a later box.
  EXPECT_EQ(ui_.MessageBox("Later?", "S", mb::kYesNo | mb::kDefButton2), id::kNo);
}

TEST_F(Screen, AWaitFiresTheTimersDueOnTheWayAtTheirTimes) {
  std::vector<uint64_t> fired;
  const uint64_t start = windows_.Now();
  windows_.SetTimer(1000, [&] { fired.push_back(windows_.Now() - start); });
  Answer("dialog Page\nwait 3500\nclick B\n");
  uint64_t w = windows_.MakeWindow("Page", "1", "P", {});
  WindowInput in;
  ASSERT_EQ(windows_.PumpOne(w, &in), WindowService::Pumped::kInput);
  EXPECT_EQ(in.verb, "click");
  ASSERT_EQ(fired.size(), 3u);
  // Real time also passes while the test runs: a few milliseconds at most.
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_GE(fired[i], 1000 * (i + 1));
    EXPECT_LT(fired[i], 1000 * (i + 1) + 200);
  }
  EXPECT_GE(windows_.Now() - start, 3500u);
  EXPECT_GE(clock_.TickCount() - static_cast<uint32_t>(start), 3500u);
}

TEST_F(Screen, IdleSkipsToTheNextTimerAndAKilledTimerNeverFires) {
  int a = 0, b = 0;
  const uint64_t start = windows_.Now();
  uint64_t ta = windows_.SetTimer(5000, [&] { ++a; });
  uint64_t tb = windows_.SetTimer(7000, [&] { ++b; });
  windows_.Idle();
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 0);
  const uint64_t at = windows_.Now() - start;
  EXPECT_GE(at, 5000u);
  EXPECT_LT(at, 5200u);
  windows_.KillTimer(tb);
  windows_.Idle();  // only ta is left: it fires again 5000 ms after it was due
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 0);
  windows_.KillTimer(ta);
  const uint64_t before = windows_.Now();
  windows_.Idle();  // nothing left: time does not jump
  EXPECT_LT(windows_.Now() - before, 200u);
  EXPECT_EQ(windows_.NextDue(), 0u);
}

}  // namespace
}  // namespace corvane::platform::sim
