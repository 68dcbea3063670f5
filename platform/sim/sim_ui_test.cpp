#include "platform/sim/sim_ui.h"

#include <gtest/gtest.h>

namespace corvane::platform::sim {
namespace {

TEST(SimUi, DefaultButtonQueueAndRecord) {
  SimUserInterface ui;
  // No answer queued: the default button, chosen by the MB_DEFBUTTONn bits.
  EXPECT_EQ(ui.MessageBox("t", "c", mb::kYesNo), id::kYes);
  EXPECT_EQ(ui.MessageBox("t", "c", mb::kYesNo | mb::kDefButton2), id::kNo);
  EXPECT_EQ(ui.MessageBox("t", "c", mb::kYesNoCancel | mb::kDefButton3), id::kCancel);
  EXPECT_EQ(ui.MessageBox("t", "c", mb::kOk | mb::kDefButton3), id::kOk);  // beyond the buttons

  std::string error;
  ASSERT_TRUE(ui.QueueAnswers("# answers\nNo\n\nIDRETRY\n7\n", &error)) << error;
  EXPECT_EQ(ui.PendingAnswers(), 3u);
  EXPECT_EQ(ui.MessageBox("Continue?", "Setup", mb::kYesNo | mb::kIconQuestion), id::kNo);
  // Retry is no button of an OK box: the box takes its default and the record tells.
  EXPECT_EQ(ui.MessageBox("Done", "Setup", mb::kOk), id::kOk);
  EXPECT_EQ(ui.MessageBox("Again?", "Setup", mb::kYesNo), id::kNo);
  EXPECT_EQ(ui.PendingAnswers(), 0u);

  auto boxes = ui.Boxes();
  ASSERT_EQ(boxes.size(), 7u);
  EXPECT_EQ(boxes[4].text, "Continue?");
  EXPECT_EQ(boxes[4].flags, mb::kYesNo | mb::kIconQuestion);
  EXPECT_TRUE(boxes[4].from_queue);
  EXPECT_FALSE(boxes[0].from_queue);
  EXPECT_EQ(boxes[5].rejected_answer, id::kRetry);
  EXPECT_EQ(DescribeBox(boxes[4]), "message box \"Setup\" [0x24 question Yes/No]: \"Continue?\" -> No");
  EXPECT_NE(DescribeBox(boxes[5]).find("not a button"), std::string::npos);

  EXPECT_FALSE(ui.QueueAnswers("Yes\nMaybe\n", &error));
  EXPECT_NE(error.find("line 2"), std::string::npos);
  EXPECT_EQ(ui.PendingAnswers(), 0u);  // a bad file queues nothing
}

TEST(SimUi, FolderAnswersAnswerTheFolderBrowserInOrder) {
  SimUserInterface ui;
  std::string folder = "left over";
  EXPECT_EQ(ui.BrowseForFolder("Where?", &folder), Status::kNotFound);  // none queued: cancel
  EXPECT_EQ(folder, "");
  std::string error;
  ASSERT_TRUE(ui.QueueAnswers("folder C:\\Media Files \nYes\nfolder\nFOLDER D:\\\n", &error))
      << error;
  EXPECT_EQ(ui.PendingAnswers(), 1u);  // the folder answers are not box answers
  EXPECT_EQ(ui.BrowseForFolder("Where?", &folder), Status::kOk);
  EXPECT_EQ(folder, "C:\\Media Files");
  EXPECT_EQ(ui.BrowseForFolder("Where?", &folder), Status::kNotFound);
  EXPECT_EQ(ui.BrowseForFolder("Where?", &folder), Status::kOk);
  EXPECT_EQ(folder, "D:\\");
  EXPECT_EQ(ui.MessageBox("t", "c", mb::kYesNo | mb::kDefButton2), id::kYes);
  // "folders" is no folder answer.
  EXPECT_FALSE(ui.QueueAnswers("folders C:\\x\n", &error));
}

}  // namespace
}  // namespace corvane::platform::sim
