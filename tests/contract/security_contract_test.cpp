// The protected per-machine folder, its owner check and the access facts read back from it. Both
// test machines run the suite with administrator rights. Facts about a list written to a folder
// are checked only where the file system keeps the lists it is given.
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using namespace platform;

class SecurityContract : public ContractTest {
 protected:
  Shell& S() { return P().shell(); }
  bool Trusted(const std::string& path) {
    bool trusted = false;
    EXPECT_EQ(S().IsTrustedOwner(path, &trusted), Status::kOk) << path;
    return trusted;
  }
  // Read with every field set to the opposite of a protected folder's, so a field that the call
  // leaves alone shows.
  AccessFacts Facts(const std::string& path) {
    AccessFacts facts;
    facts.protected_list = false;
    facts.others_may_change = true;
    facts.users_may_read = false;
    EXPECT_EQ(S().GetAccessFacts(path, &facts), Status::kOk) << path;
    return facts;
  }
};

TEST_F(SecurityContract, AProtectedFolderIsMadeWithATrustedOwnerAndKeepsItsContents) {
  ASSERT_TRUE(S().IsAdministrator());
  std::string cache = At("cache");
  ASSERT_EQ(S().CreateProtectedFolder(cache), Status::kOk);
  EXPECT_TRUE(Files().DirectoryExists(cache));
  EXPECT_TRUE(Trusted(cache));
  // What this administrator process writes inside is trusted too.
  ASSERT_EQ(Files().WriteFile(cache + "\\kept.bin", "payload"), Status::kOk);
  ASSERT_EQ(Files().CreateDirectory(cache + "\\sub"), Status::kOk);
  EXPECT_TRUE(Trusted(cache + "\\kept.bin"));

  // Protecting it again (a later run) leaves everything inside as it was.
  ASSERT_EQ(S().CreateProtectedFolder(cache), Status::kOk);
  std::string back;
  ASSERT_EQ(Files().ReadFile(cache + "\\kept.bin", &back), Status::kOk);
  EXPECT_EQ(back, "payload");
  EXPECT_TRUE(Files().DirectoryExists(cache + "\\sub"));

  // An ordinary folder this process made has a trusted owner, so it may be protected as well.
  std::string plain = At("plain");
  ASSERT_EQ(Files().CreateDirectory(plain), Status::kOk);
  ASSERT_EQ(Files().WriteFile(plain + "\\old.txt", "old"), Status::kOk);
  EXPECT_TRUE(Trusted(plain));
  ASSERT_EQ(S().CreateProtectedFolder(plain), Status::kOk);
  ASSERT_EQ(Files().ReadFile(plain + "\\old.txt", &back), Status::kOk);
  EXPECT_EQ(back, "old");
}

TEST_F(SecurityContract, AProtectedFolderIsReadableByUsersAndChangeableOnlyByTheSystem) {
  if (!env_->KeepsAccessLists(scratch_)) {
    GTEST_SKIP() << "this file system keeps no access lists of its own";
  }
  std::string machine = At("machine");
  ASSERT_EQ(S().CreateProtectedFolder(machine), Status::kOk);
  AccessFacts facts = Facts(machine);
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
  // A file created inside inherits the list.
  ASSERT_EQ(Files().WriteFile(machine + "\\state.dat", "state"), Status::kOk);
  EXPECT_FALSE(Facts(machine + "\\state.dat").others_may_change);

  // A folder that was there before gets the same list.
  std::string plain = At("plain");
  ASSERT_EQ(Files().CreateDirectory(plain), Status::kOk);
  ASSERT_EQ(S().CreateProtectedFolder(plain), Status::kOk);
  facts = Facts(plain);
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
}

TEST_F(SecurityContract, AnOrdinaryFolderHasNoProtectedList) {
  ASSERT_EQ(Files().CreateDirectory(At("plain")), Status::kOk);
  AccessFacts facts;
  facts.protected_list = true;
  ASSERT_EQ(S().GetAccessFacts(At("plain"), &facts), Status::kOk);
  EXPECT_FALSE(facts.protected_list);
}

TEST_F(SecurityContract, MissingPathsAndPathsThatAreNoFolder) {
  bool trusted = true;
  AccessFacts facts;
  EXPECT_EQ(S().IsTrustedOwner(At("missing"), &trusted), Status::kNotFound);
  EXPECT_EQ(S().IsTrustedOwner(At("no\\such\\file.txt"), &trusted), Status::kNotFound);
  EXPECT_EQ(S().GetAccessFacts(At("missing"), &facts), Status::kNotFound);
  EXPECT_EQ(S().GetAccessFacts(At("no\\such\\file.txt"), &facts), Status::kNotFound);

  // The parent must exist: nothing is created along the way.
  EXPECT_NE(S().CreateProtectedFolder(At("no\\parent")), Status::kOk);
  EXPECT_FALSE(Files().DirectoryExists(At("no")));

  // A file in the folder's place stays a file, untouched.
  ASSERT_EQ(Files().WriteFile(At("taken"), "file"), Status::kOk);
  EXPECT_NE(S().CreateProtectedFolder(At("taken")), Status::kOk);
  std::string back;
  ASSERT_EQ(Files().ReadFile(At("taken"), &back), Status::kOk);
  EXPECT_EQ(back, "file");
  EXPECT_FALSE(Files().DirectoryExists(At("taken")));
}

}  // namespace
}  // namespace corvane::contract
