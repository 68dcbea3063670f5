// The facts read from access lists written in their SDDL form (runs under Wine: the lists live in
// memory only, so no file system has to keep them).
#include "platform/win32/access_facts.h"

#include <gtest/gtest.h>

#include <string>

// after windows.h
#include <sddl.h>

namespace corvane::platform::win32 {
namespace {

constexpr char kInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

AccessFacts FactsOf(const std::string& sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  AccessFacts facts;
  EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                   &sd, nullptr))
      << sddl;
  if (sd == nullptr) return facts;
  EXPECT_EQ(AccessFactsOfDescriptor(sd, &facts), Status::kOk) << sddl;
  LocalFree(sd);
  return facts;
}

bool OthersMayChange(const std::string& dacl) { return FactsOf(dacl).others_may_change; }
bool UsersMayRead(const std::string& dacl) { return FactsOf(dacl).users_may_read; }

TEST(AccessFacts, TheProtectedFolderList) {
  AccessFacts facts = FactsOf("O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)");
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
  // The same entries taken from the folder above.
  facts = FactsOf("D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;0x1200a9;;;BU)");
  EXPECT_FALSE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
}

TEST(AccessFacts, NoListLetsEveryoneDoEverythingAnEmptyOneNobody) {
  // Built by hand: SDDL's NO_ACCESS_CONTROL does not give a NULL list everywhere.
  SECURITY_DESCRIPTOR null_list;
  ASSERT_TRUE(InitializeSecurityDescriptor(&null_list, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&null_list, TRUE, nullptr, FALSE));
  AccessFacts facts;
  ASSERT_EQ(AccessFactsOfDescriptor(&null_list, &facts), Status::kOk);
  EXPECT_TRUE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
  facts = FactsOf("O:BA");  // no list at all
  EXPECT_TRUE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
  facts = FactsOf("D:P");
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_FALSE(facts.users_may_read);
}

TEST(AccessFacts, ChangingIsAnyRightBeyondReadingAndRunning) {
  EXPECT_FALSE(OthersMayChange("D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + std::string(kInstaller) +
                               ")(A;;FRFX;;;BU)(A;;FRFX;;;WD)"));
  const char* changes[] = {
      "D:(A;;FW;;;BU)",                    // writing
      "D:(A;OICI;0x1200ab;;;BU)",          // read and run plus adding a file
      "D:(A;;0x1200a9;;;BU)(A;;SD;;;AU)",  // deleting
      "D:(A;;WD;;;S-1-5-21-1-2-3-1001)",   // changing the list
      "D:(A;;WO;;;S-1-5-21-1-2-3-1001)",   // taking the owner
      "D:(A;;GW;;;BU)",                    // generic writing, mapped to the file rights
      "D:(A;;GA;;;WD)",                    // generic all
      "D:(A;OICIIO;FA;;;CO)",              // passed on to what is created inside only
      "D:(A;;FA;;;S-1-5-32-545-1)",        // close to an account of the system, but not one
  };
  for (const char* dacl : changes) EXPECT_TRUE(OthersMayChange(dacl)) << dacl;
  // Generic reading and running is no more than reading and running; denying changes nothing.
  EXPECT_FALSE(OthersMayChange("D:(A;;GRGX;;;BU)"));
  EXPECT_FALSE(OthersMayChange("D:(D;;FA;;;BU)(A;;FA;;;BA)"));
}

TEST(AccessFacts, UsersMayReadWhenEveryUserGroupHoldsReadingAndRunning) {
  EXPECT_TRUE(UsersMayRead("D:(A;;0x1200a9;;;BU)"));
  EXPECT_TRUE(UsersMayRead("D:(A;;FRFX;;;WD)"));
  EXPECT_TRUE(UsersMayRead("D:(A;;GRGX;;;AU)"));
  EXPECT_TRUE(UsersMayRead("D:(A;;FA;;;BU)"));
  EXPECT_FALSE(UsersMayRead("D:(A;;FR;;;BU)"));                     // reading without running
  EXPECT_FALSE(UsersMayRead("D:(A;;FA;;;BA)(A;;FA;;;SY)"));         // only the system's accounts
  EXPECT_FALSE(UsersMayRead("D:(A;;FRFX;;;S-1-5-21-1-2-3-1001)"));  // one user is not every user
  EXPECT_FALSE(UsersMayRead("D:(A;OICIIO;FRFX;;;BU)"));             // only for what is inside
  EXPECT_FALSE(UsersMayRead("D:(D;;FR;;;WD)(A;;FRFX;;;BU)"));       // reading denied
}

}  // namespace
}  // namespace corvane::platform::win32
