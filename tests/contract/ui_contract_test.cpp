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

}  // namespace
}  // namespace corvane::contract
