#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

using UiContract = ContractTest;

TEST_F(UiContract, MessageBoxReturnsTheButtonPressed) {
  const std::string caption = "Corvane Contract Question";
  const uint32_t flags = mb::kYesNo | mb::kIconQuestion;
  env_->PrepareAnswer(caption, id::kNo);
  int answer = P().ui().MessageBox("Remove the old version?", caption, flags);
  EXPECT_EQ(answer, id::kNo);
  EXPECT_TRUE(env_->ConfirmAnswered("Remove the old version?", caption, flags, id::kNo));
}

TEST_F(UiContract, OkBox) {
  const std::string caption = "Corvane Contract Notice";
  env_->PrepareAnswer(caption, id::kOk);
  EXPECT_EQ(P().ui().MessageBox("Done.", caption, mb::kOk | mb::kIconInformation), id::kOk);
  EXPECT_TRUE(env_->ConfirmAnswered("Done.", caption, mb::kOk | mb::kIconInformation, id::kOk));
}

// The user closes the folder browser without choosing: no folder. (The simulated machine
// cancels when no folder answer is queued.)
TEST_F(UiContract, ACancelledFolderBrowserGivesNoFolder) {
#ifdef _WIN32
  constexpr bool kWindows = true;
#else
  constexpr bool kWindows = false;
#endif
  if (kWindows) env_->PrepareAnswer("Browse for Folder", id::kCancel);
  std::string folder = "left over";
  EXPECT_EQ(P().ui().BrowseForFolder("Please locate your original setup sources", &folder),
            Status::kNotFound);
  EXPECT_EQ(folder, "");
  if (kWindows) {
    EXPECT_TRUE(env_->ConfirmAnswered("", "Browse for Folder", 0, id::kCancel));
  }
}

}  // namespace
}  // namespace corvane::contract
