// The simulated machine's shares and access lists: what a fresh machine has, what is kept in the
// machine folder for the next run, who may change them, what the transcript shows; and the
// assembly tools' stand-ins, which remove assemblies from a cache folder.
#include "platform/sim/sim_shares.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/sim/sim_access_lists.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"

namespace corvane::platform::sim {
namespace {

namespace fs = std::filesystem;

class Machine {
 public:
  explicit Machine(const std::string& machine_txt = "") {
    static int n = 0;
    folder_ = fs::temp_directory_path() /
              ("corvane-shares-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (!machine_txt.empty()) std::ofstream(folder_ / "machine.txt") << machine_txt;
    Start();
    platform_->files().CreateDirectories("C:\\Data\\Sub");
  }
  ~Machine() {
    platform_.reset();
    fs::remove_all(folder_);
  }
  // The machine as the next run finds it.
  void Start() {
    platform_.reset();
    SimOptions o;
    o.machine_folder = folder_.string();
    o.save_registry_on_exit = false;
    platform_ = CreateSimPlatform(o);
  }
  SimPlatform& p() { return *platform_; }
  const fs::path& folder() const { return folder_; }

 private:
  fs::path folder_;
  std::unique_ptr<SimPlatform> platform_;
};

bool Has(const AccessList& list, const AccessEntry& entry) {
  return std::find(list.entries.begin(), list.entries.end(), entry) != list.entries.end();
}

TEST(SimShares, TableKeptInTheMachineFolder) {
  Machine m;
  NetworkShares& shares = m.p().shares();
  ShareInfo info;
  // Every Windows has its administrative shares.
  EXPECT_EQ(shares.GetShare("", "c$", &info), Status::kOk);
  EXPECT_EQ(shares.GetShare("", "ADMIN$", &info), Status::kOk);

  EXPECT_EQ(shares.AddShare("", {"Data", "C:\\Data", "Shared data", kUnlimitedUsers}), Status::kOk);
  EXPECT_EQ(shares.AddShare("", {"DATA", "C:\\Data\\Sub", "", 3}), Status::kAlreadyExists);
  EXPECT_EQ(shares.AddShare("", {"Gone", "C:\\Nowhere", "", 3}), Status::kNotFound);
  EXPECT_EQ(shares.AddShare("", {"Bad|Name", "C:\\Data", "", 3}), Status::kFailed);
  EXPECT_EQ(shares.AddShare("OTHERPC", {"Data2", "C:\\Data", "", 3}), Status::kFailed);

  m.Start();
  ASSERT_EQ(m.p().shares().GetShare("", "data", &info), Status::kOk);
  EXPECT_EQ(info.path, "C:\\Data");
  EXPECT_EQ(info.comment, "Shared data");
  EXPECT_EQ(info.max_users, kUnlimitedUsers);
  // A new share: everyone reads it.
  AccessList list;
  ASSERT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kShare, "Data"}, &list), Status::kOk);
  EXPECT_EQ(list.entries, (std::vector<AccessEntry>{{sid::kEveryone, 0x001200A9, 0, true}}));
  EXPECT_EQ(m.p().shares().DeleteShare("", "Data"), Status::kOk);
  EXPECT_EQ(m.p().shares().DeleteShare("", "Data"), Status::kNotFound);
  m.Start();
  EXPECT_EQ(m.p().shares().GetShare("", "Data", &info), Status::kNotFound);
  EXPECT_EQ(m.p().Warnings(), "");
}

TEST(SimShares, OnlyAnElevatedAdministratorChangesThem) {
  Machine m("user.admin = false\n");
  EXPECT_EQ(m.p().shares().AddShare("", {"Data", "C:\\Data", "", kUnlimitedUsers}),
            Status::kAccessDenied);
  EXPECT_EQ(m.p().access_lists().GrantAccess({SecuredKind::kFile, "C:\\Data"},
                                             {{sid::kEveryone, 0x001200A9, 0, true}}),
            Status::kAccessDenied);
  // The user's own keys are the user's to change.
  ASSERT_EQ(m.p().registry().CreateKey(RegRoot::kCurrentUser, "Software\\Mine", RegView::kNative),
            Status::kOk);
  EXPECT_EQ(m.p().access_lists().GrantAccess({SecuredKind::kRegistryKey, "HKCU\\Software\\Mine"},
                                             {{sid::kEveryone, 0x00020019, 0x2, true}}),
            Status::kOk);
}

// Inheritance as the system passes it on, kept in access.txt for the next run: a folder's
// inheritable entry reaches its subfolders, a protected list stops it, and a file's own entries
// come before the inherited ones.
TEST(SimAccessLists, InheritanceAndTheNextRun) {
  Machine m;
  AccessLists& lists = m.p().access_lists();
  const AccessEntry everyone{sid::kEveryone, 0x001200A9, 0x3, true};
  ASSERT_EQ(lists.GrantAccess({SecuredKind::kFile, "C:\\Data"}, {everyone}), Status::kOk);
  // A second grant of the same account and flags joins the first entry.
  ASSERT_EQ(lists.GrantAccess({SecuredKind::kFile, "C:\\Data"},
                              {{sid::kEveryone, 0x00000002, 0x3, true}}),
            Status::kOk);
  m.Start();
  AccessList data, sub;
  ASSERT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kFile, "c:\\data\\"}, &data),
            Status::kOk);
  EXPECT_TRUE(Has(data, {sid::kEveryone, 0x001200AB, 0x3, true}));
  EXPECT_EQ(std::count_if(data.entries.begin(), data.entries.end(),
                          [](const AccessEntry& e) { return e.sid == sid::kEveryone; }),
            1);
  ASSERT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kFile, "C:\\Data\\Sub"}, &sub),
            Status::kOk);
  EXPECT_TRUE(Has(sub, {sid::kEveryone, 0x001200AB, 0x3 | ace_flag::kInherited, true}));

  ASSERT_EQ(m.p().access_lists().ReplaceAccessList(
                {SecuredKind::kFile, "C:\\Data\\Sub"},
                {{sid::kUsers, 0x001200A9, 0x3, true}, {"S-1-5-32-546", 0x1, 0, false}}, true),
            Status::kOk);
  ASSERT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kFile, "C:\\Data\\Sub"}, &sub),
            Status::kOk);
  EXPECT_TRUE(sub.protected_list);
  ASSERT_EQ(sub.entries.size(), 2u);
  EXPECT_FALSE(sub.entries[0].allow);  // denying entries first
  EXPECT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kService, "NoSuchService"}, &sub),
            Status::kNotFound);
  EXPECT_EQ(m.p().access_lists().ReadAccessList({SecuredKind::kPrinter, "No Printer"}, &sub),
            Status::kNotFound);
  EXPECT_EQ(m.p().Warnings(), "");
}

TEST(SimAccessLists, AccountsAndTheTranscript) {
  Machine m;
  Transcript t;
  RecordingPlatform recorded(m.p(), t);
  std::string sid_text;
  ASSERT_EQ(recorded.access_lists().AccountSid("BUILTIN\\Users", &sid_text), Status::kOk);
  EXPECT_EQ(sid_text, sid::kUsers);
  ASSERT_EQ(recorded.access_lists().AccountSid("everyone", &sid_text), Status::kOk);
  EXPECT_EQ(sid_text, sid::kEveryone);
  EXPECT_EQ(recorded.access_lists().AccountSid("Nobody", &sid_text), Status::kNotFound);

  recorded.shares().AddShare("", {"Data", "C:\\Data", "Shared", kUnlimitedUsers});
  recorded.access_lists().GrantAccess({SecuredKind::kFile, "C:\\Data"},
                                      {{sid::kEveryone, 0x001F01FF, 0x3, true}});
  recorded.shares().DeleteShare("", "Nothing");
  EXPECT_EQ(t.Lines(), (std::vector<std::string>{
                           "share add \"Data\" = C:\\Data \"Shared\" (unlimited users)",
                           "access grant file C:\\Data: allow S-1-1-0 (Everyone) 0x001F01FF OI CI",
                           "share delete \"Nothing\" (not found)"}));
}

// The assembly tools' stand-ins remove the named version of an assembly from their cache and end
// with 0; 1 when the cache holds none; 4 without "/u NAME".
TEST(SimAssemblyTools, RemoveFromTheirCache) {
  Machine m;
  FileSystem& files = m.p().files();
  const std::string cache = "C:\\Windows\\Microsoft.NET\\assembly\\GAC_MSIL\\Foo\\";
  files.CreateDirectories(cache + "v4.0_1.2.3.4__ab12");
  files.CreateDirectories(cache + "v4.0_2.0.0.0__ab12");
  files.CreateDirectories("C:\\Tools");
  ASSERT_EQ(files.WriteFile("C:\\Tools\\kgacy.exe",
                            "[program]\nassembly_cache = Microsoft.NET\\assembly\n"),
            Status::kOk);
  auto run = [&](const std::string& arguments) {
    std::unique_ptr<Process> process;
    EXPECT_EQ(m.p().processes().ShellStart("open", "C:\\Tools\\kgacy.exe", arguments, "C:\\Tools\\",
                                           0, &process),
              Status::kOk);
    uint32_t code = 99;
    if (process) {
      process->Wait(60000);
      process->ExitCode(&code);
    }
    return code;
  };
  EXPECT_EQ(run("/u Foo,Version=1.2.3.4"), 0u);
  EXPECT_FALSE(files.DirectoryExists(cache + "v4.0_1.2.3.4__ab12"));
  EXPECT_TRUE(files.DirectoryExists(cache + "v4.0_2.0.0.0__ab12"));
  EXPECT_EQ(run("/u Foo,Version=1.2.3.4"), 1u);
  EXPECT_EQ(run("/u ..\\Foo"), 4u);
  EXPECT_EQ(run("Foo"), 4u);
  EXPECT_EQ(run("/u \"Foo\""), 0u);  // every version
  EXPECT_FALSE(files.DirectoryExists(cache));
}

}  // namespace
}  // namespace corvane::platform::sim
