// Create Share, Delete Share and Set Access Control as scripts. The same scripts run natively on
// the simulated machine (its share table and access lists) and under Wine against the real
// network and security functions, where sharing is not offered and must fail without a word.
#include "commands/shares.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "platform/access_lists.h"
#ifndef _WIN32
#include "platform/sim/sim_platform.h"
#endif

namespace corvane::commands {
namespace {

using platform::AccessEntry;
using platform::AccessList;
using platform::SecuredKind;
using platform::SecuredObject;
using platform::Status;
using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;
namespace ace = platform::ace_flag;
namespace sid = platform::sid;

constexpr uint32_t kFileReadRun = 0x001200A9, kFileAll = 0x001F01FF;

// --- what the rights mean

TEST(AccessRights, EntriesByKindOfObject) {
  // Neither right chosen: nothing to grant.
  EXPECT_TRUE(GrantEntries(SecuredKind::kFile, false, sid::kEveryone, false, false).empty());
  // A file's entry stays on the file; a folder's and a key's pass on to what lies below.
  auto file = GrantEntries(SecuredKind::kFile, false, sid::kEveryone, true, false);
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(file[0], (AccessEntry{sid::kEveryone, kFileReadRun, 0, true}));
  auto folder = GrantEntries(SecuredKind::kFile, true, sid::kUsers, true, true);
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0].mask, kFileReadRun | kFileAll);
  EXPECT_EQ(folder[0].flags, ace::kObjectInherit | ace::kContainerInherit);
  auto key = GrantEntries(SecuredKind::kRegistryKey, true, sid::kUsers, false, true);
  ASSERT_EQ(key.size(), 1u);
  EXPECT_EQ(key[0].mask, 0x000F003Fu);
  EXPECT_EQ(key[0].flags, ace::kContainerInherit);
  // A service's rights are the service's own, never inherited.
  auto service = GrantEntries(SecuredKind::kService, true, sid::kUsers, true, false);
  ASSERT_EQ(service.size(), 1u);
  EXPECT_EQ(service[0].flags, 0);
  EXPECT_EQ(service[0].mask, RightsOfKind(SecuredKind::kService).read);
  // Managing a printer comes with managing its documents; printing alone does not.
  EXPECT_EQ(GrantEntries(SecuredKind::kPrinter, false, sid::kUsers, true, false).size(), 1u);
  auto printer = GrantEntries(SecuredKind::kPrinter, false, sid::kUsers, false, true);
  ASSERT_EQ(printer.size(), 2u);
  EXPECT_EQ(printer[1].flags, ace::kObjectInherit | ace::kInheritOnly);

  // The locked-down list: SYSTEM and Administrators full control, Users reading.
  auto locked = LockedDownList(SecuredKind::kFile, true);
  ASSERT_EQ(locked.size(), 3u);
  EXPECT_EQ(locked[0], (AccessEntry{sid::kSystem, kFileAll, 0x3, true}));
  EXPECT_EQ(locked[1], (AccessEntry{sid::kAdministrators, kFileAll, 0x3, true}));
  EXPECT_EQ(locked[2], (AccessEntry{sid::kUsers, kFileReadRun, 0x3, true}));
}

// --- the commands

// Set Access Control's parameters in order: 1 object, 2 Everyone, 3 current user, 4 Authenticated
// Users, 5 named account, 6 its name, 7 read, 8 full, 9 grant, 10 reset to inherited, 11 lock
// down, 12 file, 13 share, 14 key, 15 service, 16 printer.
std::string SetAccess(const std::string& object, const std::string& accounts,
                      const std::string& account, const std::string& rights,
                      const std::string& mode, const std::string& kind) {
  auto quoted = [](const std::string& flags) {
    std::string out;
    for (char c : flags) out += c == '1' ? " \"TRUE\"" : " \"FALSE\"";
    return out;
  };
  return "Set Access Control \"" + object + "\"" + quoted(accounts.substr(0, 4)) + " \"" + account +
         "\"" + quoted(rights) + quoted(mode) + quoted(kind) + "\n";
}

class ShareCommands : public ::testing::Test {
 public:
  ShareCommands() {
    vars_["ROOT"] = machine_.root();
    vars_["HOST"] = machine_.platform().system().ComputerName();
  }
  ~ShareCommands() override {
    for (const char* name : {"CorvaneTestShare", "CorvaneTestShare2"}) {
      machine_.platform().shares().DeleteShare("", name);
    }
  }

  CommandRun Run(const std::string& text) {
    script_.predefined.clear();
    for (const auto& [name, value] : vars_) script_.predefined.emplace_back(name, value);
    CommandRun run = script_.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    // Neither sharing nor access control ever fails the script.
    EXPECT_FALSE(run.Failed()) << run.result.failure;
    return run;
  }

  AccessList Read(SecuredKind kind, const std::string& name, Status expected = Status::kOk) {
    AccessList list;
    EXPECT_EQ(machine_.platform().access_lists().ReadAccessList(SecuredObject{kind, name}, &list),
              expected)
        << name;
    return list;
  }

  static const AccessEntry* Own(const AccessList& list, const std::string& sid) {
    for (const AccessEntry& e : list.entries) {
      if (e.sid == sid && (e.flags & ace::kInherited) == 0) return &e;
    }
    return nullptr;
  }

#ifndef _WIN32
  platform::SimPlatform& sim() { return dynamic_cast<platform::SimPlatform&>(machine_.platform()); }
#endif

  TestMachine machine_;
  CommandScript script_{machine_.platform()};
  std::map<std::string, std::string> vars_;
};

// Grants Everyone reading of an object, then locks its list down and resets it to what it
// inherits, reading the list back from the system each time. `object` is the object as the script
// names it, `name` as the access lists name it, `kind` the five kind flags.
void ShareCommandsGrantLockReset(ShareCommands& t, const std::string& object, SecuredKind kind_of,
                                 const std::string& name, const std::string& kind,
                                 bool write_kept) {
  const KindRights rights = RightsOfKind(kind_of);
  CommandRun run = t.Run(SetAccess(object, "1000", "", "10", "100", kind));
  for (const std::string& line : run.trace) EXPECT_EQ(line.find("failed"), std::string::npos);
  AccessList granted = t.Read(kind_of, name);
  const AccessEntry* everyone = ShareCommands::Own(granted, sid::kEveryone);
  ASSERT_NE(everyone, nullptr);
  EXPECT_TRUE(everyone->allow);
  EXPECT_EQ(everyone->mask & rights.read, rights.read);
  EXPECT_NE(everyone->mask, rights.full);  // reading only
  if (!write_kept) return;

  t.Run(SetAccess(object, "0000", "", "00", "001", kind));
  AccessList locked = t.Read(kind_of, name);
  // Wine keeps a key's entries but not the mark that it inherits nothing.
  if (t.machine_.simulated()) {
    EXPECT_TRUE(locked.protected_list);
  }
  EXPECT_EQ(ShareCommands::Own(locked, sid::kEveryone), nullptr);
  ASSERT_NE(ShareCommands::Own(locked, sid::kSystem), nullptr);
  EXPECT_EQ(ShareCommands::Own(locked, sid::kSystem)->mask, rights.full);
  ASSERT_NE(ShareCommands::Own(locked, sid::kUsers), nullptr);
  EXPECT_EQ(ShareCommands::Own(locked, sid::kUsers)->mask, rights.read);
  for (const AccessEntry& e : locked.entries) EXPECT_EQ(e.flags & ace::kInherited, 0) << e.sid;

  // The reset both sets 10 and 11: 10 wins.
  t.Run(SetAccess(object, "0000", "", "00", "011", kind));
  AccessList reset = t.Read(kind_of, name);
  const bool inherits = std::any_of(reset.entries.begin(), reset.entries.end(),
                                    [](const AccessEntry& e) { return e.flags & ace::kInherited; });
  if (inherits || t.machine_.simulated()) {
    EXPECT_TRUE(inherits);
    EXPECT_FALSE(reset.protected_list);
    for (const AccessEntry& e : reset.entries) EXPECT_NE(e.flags & ace::kInherited, 0) << e.sid;
  } else {
    // Nothing would be inherited: the list is kept rather than leaving an object nobody may open.
    EXPECT_EQ(reset.entries, locked.entries);
  }
}

// A file's list read back through GetNamedSecurityInfo under Wine. Wine makes up a file's list
// from the host's file modes and keeps no list that is written, so there only the grant is read
// back; the simulated machine keeps the lists and shows the lock-down and the reset too.
TEST_F(ShareCommands, FileAccessGrantedLockedAndReset) {
  machine_.Write("acl.txt", "secured");
  ShareCommandsGrantLockReset(*this, "$ROOT$\\acl.txt", SecuredKind::kFile,
                              machine_.root() + "\\acl.txt", "10000", machine_.simulated());
}

// A registry key's list, which Wine keeps: granted, locked down and reset on both machines.
TEST_F(ShareCommands, KeyAccessGrantedLockedAndReset) {
  ASSERT_EQ(machine_.platform().registry().CreateKey(platform::RegRoot::kCurrentUser,
                                                     machine_.reg_key() + "\\Acl",
                                                     platform::RegView::kNative),
            Status::kOk);
  vars_["KEY"] = "HKCU\\" + machine_.reg_key() + "\\Acl";
  ShareCommandsGrantLockReset(*this, "$KEY$", SecuredKind::kRegistryKey,
                              "HKEY_CURRENT_USER\\" + machine_.reg_key() + "\\Acl", "00100", true);
}

// The accounts: the current user, Authenticated Users, an account by name; an account the system
// does not know is left out and the others still get their rights. No kind of object, or a
// missing object, changes nothing.
TEST_F(ShareCommands, AccountsAndObjectsThatAreNotThere) {
  ASSERT_EQ(machine_.platform().registry().CreateKey(platform::RegRoot::kCurrentUser,
                                                     machine_.reg_key() + "\\Accounts",
                                                     platform::RegView::kNative),
            Status::kOk);
  vars_["KEY"] = "HKCU\\" + machine_.reg_key() + "\\Accounts";
  const std::string key = "HKEY_CURRENT_USER\\" + machine_.reg_key() + "\\Accounts";
  std::string current;
  ASSERT_EQ(machine_.platform().access_lists().CurrentUserSid(&current), Status::kOk);
  CommandRun run = Run(SetAccess("$KEY$", "0111", "No Such Account 7", "01", "100", "00100") +
                       SetAccess("$KEY$", "1000", "", "01", "100", "00000") +
                       SetAccess("$ROOT$\\missing.txt", "1000", "", "01", "100", "10000"));
  AccessList list = Read(SecuredKind::kRegistryKey, key);
  ASSERT_NE(Own(list, current), nullptr);
  EXPECT_EQ(Own(list, current)->mask, 0x000F003Fu);
  ASSERT_NE(Own(list, sid::kAuthenticatedUsers), nullptr);
  EXPECT_EQ(Own(list, sid::kEveryone), nullptr);  // the second line chose no kind of object
  EXPECT_TRUE(std::any_of(run.trace.begin(), run.trace.end(), [](const std::string& line) {
    return line.find("No Such Account 7") != std::string::npos;
  }));
  Read(SecuredKind::kFile, machine_.root() + "\\missing.txt", Status::kNotFound);

  // Parameter 5 not ticked: the account of 6 gets nothing.
  Run(SetAccess("$KEY$", "0000", "Users", "01", "100", "00100"));
  EXPECT_EQ(Read(SecuredKind::kRegistryKey, key).entries, list.entries);
}

// Create Share and Delete Share: on the simulated machine the share is made with its comment and
// no limit of users, and deleted; on Wine, which offers no sharing, the command fails without a
// word. A share whose folder does not exist, or that exists already, is left as it was.
TEST_F(ShareCommands, CreateAndDeleteShare) {
  machine_.Write("shared\\readme.txt", "shared");
  Run(R"(
Create Share "$ROOT$\shared|" "CorvaneTestShare" "Shared by a test"
Create Share "$ROOT$\nowhere" "CorvaneTestShare2" ""
Create Share "$ROOT$|$HOST$" "CorvaneTestShare" "A second one"
)");
  platform::NetworkShares& shares = machine_.platform().shares();
  platform::ShareInfo info;
  EXPECT_EQ(shares.GetShare("", "CorvaneTestShare2", &info), Status::kNotFound);
  if (!machine_.simulated()) {
    EXPECT_EQ(shares.GetShare("", "CorvaneTestShare", &info), Status::kNotFound);
    Run("Delete Share \"CorvaneTestShare|\"\n");
    return;
  }
  ASSERT_EQ(shares.GetShare("", "corvanetestshare", &info), Status::kOk);
  EXPECT_EQ(info.path, machine_.root() + "\\shared");
  EXPECT_EQ(info.comment, "Shared by a test");  // the second create changed nothing
  EXPECT_EQ(info.max_users, platform::kUnlimitedUsers);

  // Deleting on another computer reaches nothing; on this one by its name it deletes.
  Run("Delete Share \"CorvaneTestShare|ELSEWHERE\"\n");
  EXPECT_EQ(shares.GetShare("", "CorvaneTestShare", &info), Status::kOk);
  Run("Delete Share \"CorvaneTestShare|$HOST$\"\nDelete Share \"CorvaneTestShare\"\n");
  EXPECT_EQ(shares.GetShare("", "CorvaneTestShare", &info), Status::kNotFound);
}

#ifndef _WIN32
// The other kinds of object on the simulated machine: a folder's entry passes on to its files, a
// key's to its subkeys, a share, a service and a printer get theirs; the lock-down of a share and
// the reset of a service (which inherits from nothing) leave no object nobody may use.
TEST_F(ShareCommands, FoldersKeysSharesServicesAndPrinters) {
  machine_.Write("tree\\inner\\file.txt", "x");
  vars_["KEY"] = "HKCU\\" + machine_.reg_key();
  ASSERT_EQ(machine_.platform().registry().CreateKey(platform::RegRoot::kCurrentUser,
                                                     machine_.reg_key() + "\\Sub",
                                                     platform::RegView::kNative),
            Status::kOk);
  Run(R"(
Create Share "$ROOT$\tree" "CorvaneTestShare" ""
)" + SetAccess("$ROOT$\\tree", "1000", "", "10", "100", "10000") +
      SetAccess("$KEY$", "0001", "Users", "01", "100", "00100") +
      SetAccess("CorvaneTestShare", "0001", "Authenticated Users", "01", "100", "01000") +
      SetAccess("Spooler", "0001", "Users", "10", "100", "00010") +
      SetAccess("Spooler", "0000", "", "00", "010", "00010") +
      SetAccess("NoSuchPrinter", "1000", "", "01", "100", "00001"));

  AccessList file = Read(SecuredKind::kFile, machine_.root() + "\\tree\\inner\\file.txt");
  EXPECT_TRUE(std::any_of(file.entries.begin(), file.entries.end(), [](const AccessEntry& e) {
    return e.sid == sid::kEveryone && e.mask == kFileReadRun && (e.flags & ace::kInherited);
  }));
  AccessList sub =
      Read(SecuredKind::kRegistryKey, "HKEY_CURRENT_USER\\" + machine_.reg_key() + "\\Sub");
  EXPECT_TRUE(std::any_of(sub.entries.begin(), sub.entries.end(), [](const AccessEntry& e) {
    return e.sid == sid::kUsers && e.mask == 0x000F003F && (e.flags & ace::kInherited);
  }));
  AccessList share = Read(SecuredKind::kShare, "CorvaneTestShare");
  ASSERT_NE(Own(share, sid::kAuthenticatedUsers), nullptr);
  EXPECT_EQ(Own(share, sid::kAuthenticatedUsers)->mask, kFileAll);
  ASSERT_NE(Own(share, sid::kEveryone), nullptr);  // the new share's own reading entry stays
  AccessList service = Read(SecuredKind::kService, "spooler");
  ASSERT_NE(Own(service, sid::kUsers), nullptr);  // the reset to inherited left it alone
  EXPECT_EQ(Own(service, sid::kUsers)->mask, RightsOfKind(SecuredKind::kService).read);

  // A printer's full control with the documents' entry; the lock-down of a share.
  Run(SetAccess("Microsoft Print to PDF", "0001", "Users", "01", "100", "00001"));
  AccessList printer = Read(SecuredKind::kPrinter, "Microsoft Print to PDF");
  EXPECT_EQ(std::count_if(printer.entries.begin(), printer.entries.end(),
                          [](const AccessEntry& e) { return e.sid == sid::kUsers; }),
            2);
  Run(SetAccess("CorvaneTestShare", "0000", "", "00", "001", "01000"));
  share = Read(SecuredKind::kShare, "CorvaneTestShare");
  EXPECT_EQ(Own(share, sid::kEveryone), nullptr);
  ASSERT_NE(Own(share, sid::kAdministrators), nullptr);
  EXPECT_EQ(Own(share, sid::kAdministrators)->mask, kFileAll);
}
#endif

}  // namespace
}  // namespace corvane::commands
