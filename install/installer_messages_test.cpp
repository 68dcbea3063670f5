#include "install/installer_messages.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/installer.h"
#include "platform/ui.h"

namespace corvane::install {
namespace {

namespace msg = platform::install_message;

struct Box {
  std::string text, caption;
  uint32_t style;
  bool extended;
};

class MessageHandlerTest : public ::testing::Test {
 protected:
  InstallerMessageHandler Make(bool silent = false) {
    MessageHandlerHooks hooks;
    hooks.silent = silent;
    hooks.caption = "Bob's Tool";
    hooks.show_box = [this](const std::string& text, const std::string& caption, uint32_t style,
                            bool extended) {
      boxes.push_back({text, caption, style, extended});
      return answer;
    };
    hooks.set_taskbar = [this](TaskbarState s) { taskbar.push_back(s); };
    hooks.progress = [this](const std::string& text, int64_t min, int64_t total, int64_t pos) {
      published.push_back(text + "|" + std::to_string(min) + "|" + std::to_string(total) + "|" +
                          std::to_string(pos));
      return go_on;
    };
    return InstallerMessageHandler(std::move(hooks));
  }

  std::vector<Box> boxes;
  std::vector<TaskbarState> taskbar;
  std::vector<std::string> published;
  int answer = platform::id::kRetry;
  bool go_on = true;
};

TEST(ProgressFieldsTest, FieldsAreReadInTextOrderUntilTheFirstMalformedOne) {
  ProgressFields f = ParseProgressFields("1: 0 2: 1000 3: 0 4: 1 ");
  ASSERT_EQ(f.count, 4);
  EXPECT_EQ(f.value[1], 1000u);
  EXPECT_EQ(f.value[3], 1u);
  // Numbered by order, not by the digit written.
  f = ParseProgressFields("3: 7 1: 9");
  ASSERT_EQ(f.count, 2);
  EXPECT_EQ(f.value[0], 7u);
  EXPECT_EQ(f.value[1], 9u);
  EXPECT_EQ(ParseProgressFields("1: 2 x: 5").count, 1);
  EXPECT_EQ(ParseProgressFields("1: -5").count, 0);
  EXPECT_EQ(ParseProgressFields("5: 1").count, 0);
  EXPECT_EQ(ParseProgressFields("1:2").count, 0);
  EXPECT_EQ(ParseProgressFields("").count, 0);
  EXPECT_EQ(ParseProgressFields("1: ").count, 0);
  EXPECT_EQ(ParseProgressFields("1: 1 2: 2 3: 3 4: 4 1: 5").count, 4);
  EXPECT_EQ(ParseProgressFields("2: 18446744073709551615").value[0], UINT64_MAX);
}

TEST(ProgressProtocolTest, ResetReportsAdditionsAndDirection) {
  ProgressState s;
  ApplyProgressMessage(s, "1: 0 2: 1000 3: 0");
  ApplyProgressMessage(s, "1: 2 2: 250");
  EXPECT_EQ(s.position, 250);
  EXPECT_EQ(s.total, 1000);
  ApplyProgressMessage(s, "1: 3 2: 500");
  EXPECT_EQ(s.total, 1500);

  // Backwards: reports move the position down.
  ApplyProgressMessage(s, "1: 0 2: 0 3: 1");
  EXPECT_EQ(s.total, 1500);  // a zero total keeps the total
  EXPECT_EQ(s.position, 0);
  EXPECT_EQ(s.direction, -1);
  ApplyProgressMessage(s, "1: 2 2: 40");
  EXPECT_EQ(s.position, -40);
  // A direction field other than 0 or 1 keeps the direction.
  ApplyProgressMessage(s, "1: 0 2: 10 3: 7");
  EXPECT_EQ(s.direction, -1);

  // A total written as a negative 64-bit number is made positive.
  ApplyProgressMessage(s, "1: 0 2: 18446744073709551516 3: 0");
  EXPECT_EQ(s.total, 100);
}

TEST(ProgressProtocolTest, ActionInfoSetsTheStepOfActionData) {
  ProgressState s;
  ApplyProgressMessage(s, "1: 1 2: 30 3: 1");
  EXPECT_EQ(s.step, 30);
  ApplyProgressMessage(s, "1: 1 2: 30 3: 0");
  EXPECT_EQ(s.step, 0);
  ApplyProgressMessage(s, "1: 1 2: 4294967297 3: 1");  // the low 32 bits
  EXPECT_EQ(s.step, 1);
}

TEST(ProgressProtocolTest, ATextWithoutFieldsIsNoReset) {
  ProgressState s;
  ApplyProgressMessage(s, "1: 0 2: 1000 3: 0");
  ApplyProgressMessage(s, "1: 2 2: 300");
  ApplyProgressMessage(s, "");
  ApplyProgressMessage(s, "garbage");
  EXPECT_EQ(s.position, 300);
  EXPECT_EQ(s.total, 1000);
}

TEST(ActionStartTest, OnlyTheDescriptionIsShown) {
  EXPECT_EQ(ActionStartText("12:01:02 InstallFiles. Copying new files"), "Copying new files");
  EXPECT_EQ(ActionStartText("No full stop here"), "No full stop here");
  EXPECT_EQ(ActionStartText("Ends with a stop."), "");
  EXPECT_EQ(ActionStartText("A.B"), "");
}

TEST_F(MessageHandlerTest, BoxesCarryPrefixCaptionAndTheKindsIcon) {
  InstallerMessageHandler h = Make();
  // The message asks for a warning icon and retry/cancel buttons: the icon gives way.
  EXPECT_EQ(h.Handle(msg::kError | 0x35, "Disk is locked"), platform::id::kRetry);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Error\r\rDisk is locked");
  EXPECT_EQ(boxes[0].caption, "Bob's Tool");
  EXPECT_EQ(boxes[0].style, 0x15u);
  EXPECT_TRUE(boxes[0].extended);
  EXPECT_TRUE(taskbar.empty());  // errors leave the taskbar alone
  EXPECT_EQ(h.last_message(), "Disk is locked");

  h.Handle(msg::kFatalExit, "It broke");
  EXPECT_EQ(boxes[1].text, "Fatal Error\r\rIt broke");
  EXPECT_EQ(boxes[1].style, platform::mb::kIconError);
  EXPECT_FALSE(boxes[1].extended);
  EXPECT_EQ(h.last_message(), "It broke");
  ASSERT_EQ(taskbar.size(), 2u);
  EXPECT_EQ(taskbar[0], TaskbarState::kError);
  EXPECT_EQ(taskbar[1], TaskbarState::kNormal);

  h.Handle(msg::kWarning | 0x4, "Careful");
  EXPECT_EQ(boxes[2].style, 0x34u);
  EXPECT_EQ(taskbar[2], TaskbarState::kPaused);
  h.Handle(msg::kUser | 0x4, "Continue?");
  EXPECT_EQ(boxes[3].text, "Continue?");
  EXPECT_EQ(boxes[3].style, 0x24u);
  h.Handle(msg::kOutOfDiskSpace, "C: is full");
  EXPECT_EQ(boxes[4].text, "Out of Disk Space\r\rC: is full");
  EXPECT_EQ(h.last_message(), "It broke");  // warnings and questions do not replace it
}

TEST_F(MessageHandlerTest, SilentRunsShowNothingAndAnswerTheSilentValues) {
  InstallerMessageHandler h = Make(/*silent=*/true);
  EXPECT_EQ(h.Handle(msg::kFatalExit, "fatal"), 0);
  EXPECT_EQ(h.Handle(msg::kError, "error"), 1);
  EXPECT_EQ(h.Handle(msg::kWarning, "w"), 1);
  EXPECT_EQ(h.Handle(msg::kUser, "u"), 1);
  EXPECT_EQ(h.Handle(msg::kOutOfDiskSpace, "d"), 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(taskbar.empty());
  EXPECT_EQ(h.last_message(), "error");
}

TEST_F(MessageHandlerTest, OtherKindsAndTheirAnswers) {
  InstallerMessageHandler h = Make();
  EXPECT_EQ(h.Handle(msg::kInfo, "info"), 1);
  EXPECT_EQ(h.Handle(msg::kResolveSource, ""), 0);
  EXPECT_EQ(h.Handle(msg::kCommonData, "1: 0"), 1);
  EXPECT_EQ(h.Handle(msg::kInitialize, ""), 1);
  EXPECT_EQ(h.Handle(msg::kTerminate, ""), 1);
  EXPECT_EQ(h.Handle(msg::kShowDialog, ""), 1);
  EXPECT_EQ(h.Handle(0x19000000u, "files in use"), 0);
  EXPECT_EQ(h.Handle(0x7F000000u, "?"), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(published.size(), 8u);  // every message publishes
}

TEST_F(MessageHandlerTest, ActionMessagesDriveTheTextAndPosition) {
  InstallerMessageHandler h = Make();
  h.Handle(msg::kProgress, "1: 0 2: 100 3: 0");
  h.Handle(msg::kProgress, "1: 1 2: 10 3: 1");
  h.Handle(msg::kActionStart, "10:00:00 InstallFiles. Copying new files");
  h.Handle(msg::kActionData, "File: one.txt");
  h.Handle(msg::kActionData, "File: two.txt");
  EXPECT_EQ(published.back(), "File: two.txt|0|100|20");
  EXPECT_EQ(published[2], "Copying new files|0|100|0");
  // The text stays until the next action message, even across a reset.
  h.Handle(msg::kProgress, "1: 0 2: 50 3: 0");
  EXPECT_EQ(published.back(), "File: two.txt|0|50|0");
}

TEST_F(MessageHandlerTest, ACancelAnswersTheNextMessageWithCancel) {
  InstallerMessageHandler h = Make();
  EXPECT_EQ(h.Handle(msg::kInfo, "a"), 1);
  go_on = false;
  EXPECT_EQ(h.Handle(msg::kInfo, "b"), platform::id::kCancel);
  EXPECT_EQ(h.Handle(msg::kResolveSource, ""), platform::id::kCancel);
  answer = platform::id::kIgnore;
  EXPECT_EQ(h.Handle(msg::kError, "e"), platform::id::kCancel);
}

}  // namespace
}  // namespace corvane::install
