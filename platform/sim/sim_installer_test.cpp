// The simulated installer service: databases of a wixl-built package, playback of installer
// calls, the simulated session installing and removing the package, and the transcript.
#include "platform/sim/sim_installer.h"

#include <gtest/gtest.h>
#include <libmsi.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/sim_common.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"

namespace corvane::platform {
namespace {

namespace fs = std::filesystem;
using Kind = InstallerField::Kind;

constexpr const char* kProduct = "{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B21}";
constexpr const char* kPackage = "C:\\Users\\User\\Downloads\\contract.msi";
constexpr const char* kInstallDir = "C:\\Program Files (x86)\\Contract Package";
constexpr const char* kSettingsKey = "Software\\Corvane Tests\\Contract Package";

std::string HostBytes(const fs::path& path) {
  std::string bytes;
  EXPECT_TRUE(sim::ReadHostFile(path, &bytes)) << path;
  return bytes;
}

std::string Payload(const char* name) { return HostBytes(fs::path(CORVANE_TEST_PAYLOAD) / name); }

struct Message {
  uint32_t type;
  std::string text;
};

class SimInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/corvane-msi-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder_ = tmpl;
    Start();
  }
  void TearDown() override {
    sim_.reset();
    fs::remove_all(folder_);
  }
  // A machine on the folder (again, after a change to machine.txt), with the package in
  // Downloads.
  void Start() {
    sim_.reset();
    SimOptions o;
    o.machine_folder = folder_.string();
    o.save_registry_on_exit = false;
    sim_ = CreateSimPlatform(o);
    bytes_ = HostBytes(CORVANE_TEST_MSI);
    ASSERT_FALSE(bytes_.empty());
    ASSERT_EQ(sim_->files().WriteFile(kPackage, bytes_), Status::kOk);
  }
  Installer& I() { return sim_->installer(); }
  sim::SimInstaller& S() { return sim_->sim_installer(); }
  FileSystem& F() { return sim_->files(); }

  std::unique_ptr<InstallerDatabase> Open(bool read_only) {
    Status status = Status::kFailed;
    auto db = I().OpenDatabase(kPackage, read_only, &status);
    EXPECT_EQ(status, Status::kOk);
    return db;
  }
  std::string Property(InstallerDatabase& db, const std::string& name) {
    std::vector<InstallerRecord> rows;
    EXPECT_EQ(db.Run("SELECT `Value` FROM `Property` WHERE `Property` = ?",
                     {InstallerField::Text(name)}, &rows),
              Status::kOk);
    return rows.empty() ? "<none>" : rows[0][0].AsText();
  }
  std::string PackageCode() {
    auto db = Open(true);
    InstallerField f;
    EXPECT_EQ(db->GetSummary(summary::kRevisionNumber, &f), Status::kOk);
    return f.text;
  }
  // Records every message; answers `answer` to messages of kind `cancel_kind`, 1 otherwise.
  void Listen(uint32_t filter = 0x7FFF, uint32_t cancel_kind = 0xFF, int answer = 2) {
    I().SetExternalUI(
        [this, cancel_kind, answer](uint32_t type, const std::string& text) {
          messages_.push_back({type, text});
          return (type >> 24) == cancel_kind ? answer : 1;
        },
        filter);
  }
  void WritePlayback(const std::string& text) {
    std::ofstream(S().PlaybackFile(), std::ios::app) << text;
  }
  std::string ReadValue(const std::string& key, const std::string& name,
                        RegView view = RegView::kView32) {
    RegValue v;
    if (sim_->registry().ReadValue(RegRoot::kLocalMachine, key, name, view, &v) != Status::kOk) {
      return "<none>";
    }
    return v.data;
  }

  fs::path folder_;
  std::unique_ptr<SimPlatform> sim_;
  std::string bytes_;
  std::vector<Message> messages_;
};

// --- databases ---

TEST_F(SimInstallerTest, ValuesTravelVerbatimAndCommittedChangesReachTheFile) {
  const std::string tricky = "Bob's Tool'); DELETE FROM `Property` WHERE ('1' = '1";
  {
    auto db = Open(false);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
                      {InstallerField::Text("TOOLNAME"), InstallerField::Text(tricky)}, nullptr),
              Status::kOk);
    // A key that exists already is refused and keeps its row.
    EXPECT_EQ(db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
                      {InstallerField::Text("GREETING"), InstallerField::Text("other")}, nullptr),
              Status::kFailed);
    ASSERT_EQ(db->Commit(), Status::kOk);
    // The database stays usable after a commit and commits again.
    ASSERT_EQ(db->Run("UPDATE `Property` SET `Value` = ? WHERE `Property` = ?",
                      {InstallerField::Text("it's late"), InstallerField::Text("GREETING")},
                      nullptr),
              Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  auto db = Open(true);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Property(*db, "TOOLNAME"), tricky);
  EXPECT_EQ(Property(*db, "GREETING"), "it's late");
  std::vector<InstallerRecord> rows;
  ASSERT_EQ(db->Run("SELECT `Property` FROM `Property`", {}, &rows), Status::kOk);
  EXPECT_EQ(rows.size(), 9u);
  // No work file is left beside the database.
  std::vector<FileEntry> entries;
  ASSERT_EQ(F().List("C:\\Users\\User\\Downloads", "*", &entries), Status::kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "contract.msi");
}

TEST_F(SimInstallerTest, ChangesWithoutCommitAndReadOnlyChangesLeaveTheFileAsItWas) {
  {
    auto db = Open(false);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->Run("DELETE FROM `Property` WHERE `Property` = ?",
                      {InstallerField::Text("GREETING")}, nullptr),
              Status::kOk);
  }
  {
    auto db = Open(true);
    ASSERT_NE(db, nullptr);
    db->Run("DELETE FROM `Property`", {}, nullptr);
    EXPECT_EQ(db->SetSummary(summary::kAuthor, InstallerField::Text("x")), Status::kAccessDenied);
    EXPECT_EQ(db->Commit(), Status::kAccessDenied);
  }
  std::string after;
  ASSERT_EQ(F().ReadFile(kPackage, &after), Status::kOk);
  EXPECT_EQ(after, bytes_);
  std::vector<FileEntry> entries;
  ASSERT_EQ(F().List("C:\\Users\\User\\Downloads", "*", &entries), Status::kOk);
  EXPECT_EQ(entries.size(), 1u);
}

TEST_F(SimInstallerTest, StatementsThatCannotRunAreRefusedWithoutHarm) {
  auto db = Open(false);
  ASSERT_NE(db, nullptr);
  std::vector<InstallerRecord> rows = {{InstallerField::Text("kept")}};
  // A marker without a value (libmsi would read past the record), a NUL, a stream column.
  EXPECT_EQ(db->Run("SELECT `Value` FROM `Property` WHERE `Property` = ?", {}, &rows),
            Status::kFailed);
  EXPECT_EQ(db->Run(std::string("DELETE FROM `Property`\0 WHERE `Property` = 'X'", 45), {}, nullptr),
            Status::kFailed);
  EXPECT_EQ(db->Run("UPDATE `Property` SET `Value` = ? WHERE `Property` = 'GREETING'",
                    {InstallerField::Text(std::string("a\0b", 3))}, nullptr),
            Status::kFailed);
  EXPECT_EQ(db->Run("SELECT `Name`, `Data` FROM `_Streams`", {}, &rows), Status::kFailed);
  EXPECT_EQ(db->Run("SELECT `Value` FROM `NoSuchTable`", {}, &rows), Status::kFailed);
  // A quoted '?' is no marker.
  EXPECT_EQ(db->Run("SELECT `Property` FROM `Property` WHERE `Value` = 'why?'", {}, &rows),
            Status::kOk);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(Property(*db, "GREETING"), "hello");
}

TEST_F(SimInstallerTest, UpdateColumnWritesTheRowsItChangesAndRefusesKeysAndWrongKinds) {
  auto db = Open(false);
  ASSERT_NE(db, nullptr);
  std::vector<std::string> seen;
  ASSERT_EQ(db->UpdateColumn("Property", "Value",
                             [&](InstallerField& f) {
                               seen.push_back(f.text);
                               if (f.text == "hello") f = InstallerField::Text("O'Hara");
                             }),
            Status::kOk);
  EXPECT_EQ(seen.size(), 8u);
  EXPECT_EQ(Property(*db, "GREETING"), "O'Hara");
  EXPECT_EQ(Property(*db, "ProductName"), "Contract Package");
  ASSERT_EQ(db->UpdateColumn("File", "FileSize", [](InstallerField& f) { f.number += 1; }),
            Status::kOk);
  std::vector<InstallerRecord> rows;
  ASSERT_EQ(db->Run("SELECT `FileSize` FROM `File` WHERE `File` = 'two'", {}, &rows), Status::kOk);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].number, 41);
  EXPECT_EQ(db->UpdateColumn("Property", "Property",
                             [](InstallerField& f) { f.text += "X"; }),
            Status::kFailed);
  EXPECT_EQ(db->UpdateColumn("File", "FileSize",
                             [](InstallerField& f) { f = InstallerField::Text("big"); }),
            Status::kFailed);
  EXPECT_EQ(db->UpdateColumn("Nope", "Value", [](InstallerField&) {}), Status::kFailed);
  EXPECT_EQ(db->UpdateColumn("Property", "Nope", [](InstallerField&) {}), Status::kFailed);
  EXPECT_EQ(db->UpdateColumn("Property`", "Value", [](InstallerField&) {}), Status::kFailed);
}

TEST_F(SimInstallerTest, SummaryChangesReachTheFileWithCommit) {
  {
    auto db = Open(false);
    ASSERT_NE(db, nullptr);
    InstallerField f;
    ASSERT_EQ(db->GetSummary(summary::kTemplate, &f), Status::kOk);
    EXPECT_EQ(f.text, "Intel;1033");
    ASSERT_EQ(db->GetSummary(summary::kPageCount, &f), Status::kOk);
    EXPECT_EQ(f.kind, Kind::kInteger);
    EXPECT_EQ(f.number, 200);
    ASSERT_EQ(db->GetSummary(12, &f), Status::kOk);  // the creation time
    EXPECT_EQ(f.text.size(), 19u) << f.text;
    f = InstallerField::Text("left");
    EXPECT_EQ(db->GetSummary(8, &f), Status::kNotFound);
    EXPECT_TRUE(f.is_null());
    ASSERT_EQ(db->SetSummary(summary::kSubject, InstallerField::Text("Bob's Package")), Status::kOk);
    ASSERT_EQ(db->SetSummary(summary::kWordCount, InstallerField::Integer(10)), Status::kOk);
    EXPECT_EQ(db->SetSummary(summary::kWordCount, InstallerField::Text("ten")), Status::kFailed);
    EXPECT_EQ(db->SetSummary(summary::kSubject, InstallerField::Null()), Status::kFailed);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  auto db = Open(true);
  ASSERT_NE(db, nullptr);
  InstallerField f;
  ASSERT_EQ(db->GetSummary(summary::kSubject, &f), Status::kOk);
  EXPECT_EQ(f.text, "Bob's Package");
  ASSERT_EQ(db->GetSummary(summary::kWordCount, &f), Status::kOk);
  EXPECT_EQ(f.number, 10);
  EXPECT_EQ(Property(*db, "GREETING"), "hello");
}

TEST_F(SimInstallerTest, MissingReadOnlyAndForeignFilesOpenNoDatabase) {
  Status status = Status::kOk;
  EXPECT_EQ(I().OpenDatabase("C:\\missing.msi", true, &status), nullptr);
  EXPECT_EQ(status, Status::kNotFound);
  EXPECT_EQ(I().OpenDatabase("C:\\no folder\\missing.msi", false, &status), nullptr);
  EXPECT_EQ(status, Status::kNotFound);
  ASSERT_EQ(F().WriteFile("C:\\text.msi", "not a database"), Status::kOk);
  EXPECT_EQ(I().OpenDatabase("C:\\text.msi", true, &status), nullptr);
  EXPECT_EQ(status, Status::kFailed);
  ASSERT_EQ(F().SetAttributes(kPackage, attr::kReadOnly), Status::kOk);
  EXPECT_EQ(I().OpenDatabase(kPackage, false, &status), nullptr);
  EXPECT_EQ(status, Status::kAccessDenied);
  EXPECT_NE(I().OpenDatabase(kPackage, true, &status), nullptr);
}

// --- playback ---

TEST_F(SimInstallerTest, PlaybackBlocksAreTakenInOrderAndRemovedFromTheFile) {
  WritePlayback("# busy twice, then done\ncall\n  result 1618\nend\ncall\n  result 1618\nend\n");
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kAlreadyRunning);
  // Blocks appended between calls are read at the next call.
  sim::PlaybackCall done;
  done.result = install_result::kRebootRequired;
  ASSERT_EQ(sim_->QueueInstallerCall(done), Status::kOk);
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kAlreadyRunning);
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kRebootRequired);
  EXPECT_EQ(HostBytes(S().PlaybackFile()), "# busy twice, then done\n");
  // A played call changes nothing on the machine.
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kUnknown);
  // With the blocks used up the call is simulated.
  EXPECT_EQ(I().InstallProduct("C:\\missing.msi", ""), 1619u);
}

TEST_F(SimInstallerTest, PlayedMessagesReachTheHandlerAndACancelStopsTheCall) {
  Listen(0x7FFF, 1);  // cancels errors
  WritePlayback(
      "call\n  message progress \"1: 0 2: 1000 3: 0\"\n  message error+0x4 \"The file is in "
      "use.\"\n  message action-start \"never sent\"\n  result 0\nend\n"
      "call\n  message 0x01000000 \"again\"\n  message info \"after\"\n  result 3010\n"
      "  keep-going-on-cancel\nend\n");
  EXPECT_EQ(I().InstallProduct(kPackage, ""), install_result::kUserExit);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].type, install_message::kProgress);
  EXPECT_EQ(messages_[0].text, "1: 0 2: 1000 3: 0");
  EXPECT_EQ(messages_[1].type, install_message::kError | 0x4);
  EXPECT_EQ(messages_[1].text, "The file is in use.");
  messages_.clear();
  EXPECT_EQ(I().InstallProduct(kPackage, ""), install_result::kRebootRequired);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].text, "after");
}

TEST_F(SimInstallerTest, TheHandlersFilterKeepsMessagesFromIt) {
  Listen(0x7FFF & ~(1u << 1), 1);  // no errors wanted; an error would be cancelled
  WritePlayback("call\n  message error \"not for you\"\n  message info \"for you\"\nend\n");
  EXPECT_EQ(I().InstallProduct(kPackage, ""), install_result::kSuccess);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].text, "for you");
  I().SetExternalUI(nullptr, 0x7FFF);
  WritePlayback("call\n  message error \"nobody listens\"\n  result 1603\nend\n");
  EXPECT_EQ(I().InstallProduct(kPackage, ""), install_result::kFailure);
  EXPECT_EQ(messages_.size(), 1u);
}

TEST_F(SimInstallerTest, AMalformedPlaybackFileFailsTheCallAndStaysAsItWas) {
  const std::string text = "call\n  result 0\n  message nonsense \"x\"\nend\n";
  WritePlayback(text);
  EXPECT_EQ(I().InstallProduct(kPackage, ""), install_result::kFailure);
  EXPECT_NE(S().PlaybackError().find("line 3"), std::string::npos) << S().PlaybackError();
  EXPECT_EQ(HostBytes(S().PlaybackFile()), text);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kUnknown);
}

TEST_F(SimInstallerTest, APackageActionRecordsItsPropertiesAndReportsARestart) {
  WritePlayback("call\n  result 3010\nend\n");
  PackageAction action{kPackage, {{"REMOVE", "ALL"}, {"ALLUSERS", "1"}}, "INSTALL"};
  bool reboot = false;
  EXPECT_EQ(I().RunPackageAction(action, &reboot), install_result::kSuccess);
  EXPECT_TRUE(reboot);
  // Without a block the removal is simulated: the product is not installed.
  EXPECT_EQ(I().RunPackageAction(action, &reboot), 1605u);
  EXPECT_FALSE(reboot);
  auto actions = S().PackageActions();
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[1].properties, action.properties);
  EXPECT_EQ(actions[1].action, "INSTALL");
}

// --- the simulated session ---

TEST_F(SimInstallerTest, InstallingCopiesFilesWritesRegistryAndRegistersTheProduct) {
  Listen();
  ASSERT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL GREETING=\"hi \"\"there\"\"\""),
            install_result::kSuccess);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kDefault);
  std::string value;
  ASSERT_EQ(I().GetProductInfo(kProduct, "PackageCode", &value), Status::kOk);
  EXPECT_EQ(value, PackageCode());
  ASSERT_EQ(I().GetProductInfo(kProduct, "ProductName", &value), Status::kOk);
  EXPECT_EQ(value, "Contract Package");
  ASSERT_EQ(I().GetProductInfo(kProduct, "VersionString", &value), Status::kOk);
  EXPECT_EQ(value, "2.1.0");

  std::string one, two;
  ASSERT_EQ(F().ReadFile(std::string(kInstallDir) + "\\one.txt", &one), Status::kOk);
  ASSERT_EQ(F().ReadFile(std::string(kInstallDir) + "\\two.txt", &two), Status::kOk);
  EXPECT_EQ(one, Payload("one.txt"));
  EXPECT_EQ(two, Payload("two.txt"));
  // A 32-bit component: the 32-bit view of the registry.
  EXPECT_EQ(ReadValue(kSettingsKey, "Greeting"), "hi \"there\"");
  EXPECT_EQ(ReadValue(kSettingsKey, "Greeting", RegView::kView64), "<none>");

  // The messages: the launch conditions' start, a reset with the total, action starts, and
  // reports that add up to it.
  ASSERT_GE(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].type, install_message::kActionStart);
  EXPECT_NE(messages_[0].text.find("LaunchConditions"), std::string::npos) << messages_[0].text;
  EXPECT_EQ(messages_[1].type, install_message::kProgress);
  EXPECT_EQ(messages_[1].text.rfind("1: 0 2: 80 ", 0), 0u) << messages_[1].text;
  uint64_t reported = 0;
  int starts = 0;
  for (const Message& m : messages_) {
    if (m.type == install_message::kProgress && m.text.rfind("1: 2 2: ", 0) == 0) {
      reported += std::stoull(m.text.substr(8));
    }
    if (m.type == install_message::kActionStart) {
      ++starts;
      EXPECT_EQ(m.text.rfind("Action ", 0), 0u) << m.text;
    }
  }
  EXPECT_EQ(reported, 80u);
  EXPECT_EQ(starts, 3);
  bool copied_one = false;
  for (const Message& m : messages_) {
    copied_one = copied_one || (m.type == install_message::kActionData &&
                                m.text.find("one.txt") != std::string::npos &&
                                m.text.find(kInstallDir) != std::string::npos);
  }
  EXPECT_TRUE(copied_one);
}

// A package whose word count says its sources are loose files takes them from beside it (the
// folders named by the directories' source names), unless a file says it is compressed.
TEST_F(SimInstallerTest, LooseSourcesComeFromBesideThePackageUnlessAFileIsCompressed) {
  {
    auto db = Open(false);
    ASSERT_EQ(db->SetSummary(summary::kWordCount, InstallerField::Integer(8)), Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  Listen();
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kFailure);
  bool named = false;
  for (const Message& m : messages_) {
    named = named || (m.type == install_message::kError &&
                      m.text.find("Downloads\\Contract Package\\one.txt") != std::string::npos);
  }
  EXPECT_TRUE(named);
  EXPECT_FALSE(F().DirectoryExists(kInstallDir));

  ASSERT_EQ(F().CreateDirectory("C:\\Users\\User\\Downloads\\Contract Package"), Status::kOk);
  ASSERT_EQ(F().WriteFile("C:\\Users\\User\\Downloads\\Contract Package\\one.txt", "loose one"),
            Status::kOk);
  {
    // two.txt stays in the cabinet: its own bit says so.
    auto db = Open(false);
    ASSERT_EQ(db->Run("UPDATE `File` SET `Attributes` = 16384 WHERE `File` = 'two'", {}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  ASSERT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kSuccess);
  std::string one, two;
  ASSERT_EQ(F().ReadFile(std::string(kInstallDir) + "\\one.txt", &one), Status::kOk);
  ASSERT_EQ(F().ReadFile(std::string(kInstallDir) + "\\two.txt", &two), Status::kOk);
  EXPECT_EQ(one, "loose one");
  EXPECT_EQ(two, Payload("two.txt"));
}

TEST_F(SimInstallerTest, AFalseLaunchConditionFailsWithItsMessageAndInstallsNothing) {
  Listen();
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL BLOCKME=1"), install_result::kFailure);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].type, install_message::kActionStart);
  EXPECT_EQ(messages_[1].type, install_message::kError);
  EXPECT_EQ(messages_[1].text, "The package was told to refuse: BLOCKME is set.");
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kUnknown);
  EXPECT_FALSE(F().DirectoryExists(kInstallDir));
  // An empty value leaves the property unset.
  EXPECT_EQ(I().InstallProduct(kPackage, "BLOCKME=\"\""), install_result::kSuccess);
}

TEST_F(SimInstallerTest, RemovalTakesAwayExactlyWhatTheInstallationMade) {
  ASSERT_EQ(sim_->registry().WriteValue(RegRoot::kLocalMachine, "Software\\Corvane Tests",
                                        "Before", RegView::kView32, RegValue::String("kept")),
            Status::kOk);
  ASSERT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kSuccess);
  // The product keeps a copy of its package, which the removal takes away.
  std::string local, kept;
  ASSERT_EQ(I().GetProductInfo(kProduct, "LocalPackage", &local), Status::kOk);
  EXPECT_EQ(local.rfind("C:\\Windows\\Installer\\", 0), 0u) << local;
  ASSERT_EQ(F().ReadFile(local, &kept), Status::kOk);
  EXPECT_EQ(kept, bytes_);
  ASSERT_EQ(F().WriteFile("C:\\Program Files (x86)\\Contract Package\\mine.txt", "user"),
            Status::kOk);
  Listen(0x7FFF, 8);  // cancels at the first action start
  EXPECT_EQ(I().InstallProduct(kPackage, "REMOVE=ALL"), install_result::kUserExit);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kDefault);
  EXPECT_TRUE(F().FileExists(std::string(kInstallDir) + "\\one.txt"));

  Listen();
  EXPECT_EQ(I().InstallProduct(kPackage, "REMOVE=ALL"), install_result::kSuccess);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kUnknown);
  EXPECT_FALSE(F().FileExists(std::string(kInstallDir) + "\\one.txt"));
  EXPECT_FALSE(F().FileExists(std::string(kInstallDir) + "\\two.txt"));
  EXPECT_FALSE(F().FileExists(local));
  // The user's file keeps the folder; the key that was there before stays with its value.
  EXPECT_TRUE(F().FileExists(std::string(kInstallDir) + "\\mine.txt"));
  EXPECT_EQ(ReadValue("Software\\Corvane Tests", "Before"), "kept");
  EXPECT_EQ(sim_->registry().KeyExists(RegRoot::kLocalMachine, kSettingsKey, RegView::kView32),
            Status::kNotFound);
  EXPECT_EQ(I().InstallProduct(kPackage, "REMOVE=ALL"), 1605u);

  // A second round without the user's file leaves no folder behind.
  ASSERT_EQ(F().DeleteFile(std::string(kInstallDir) + "\\mine.txt"), Status::kOk);
  ASSERT_EQ(F().RemoveDirectory(kInstallDir), Status::kOk);
  ASSERT_EQ(I().InstallProduct(kPackage, ""), install_result::kSuccess);
  ASSERT_EQ(I().InstallProduct(kPackage, "REMOVE=ALL"), install_result::kSuccess);
  EXPECT_FALSE(F().DirectoryExists(kInstallDir));
  EXPECT_TRUE(F().DirectoryExists("C:\\Program Files (x86)"));
}

TEST_F(SimInstallerTest, ACancelledInstallationLeavesNothingAndAdvertisingCopiesNothing) {
  Listen(0x7FFF, 9);  // cancels at the first action data
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL"), install_result::kUserExit);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kUnknown);
  EXPECT_FALSE(F().DirectoryExists(kInstallDir));
  Listen();
  EXPECT_EQ(I().InstallProduct(kPackage, "ADVERTISE=ALL"), install_result::kSuccess);
  EXPECT_EQ(I().QueryProductState(kProduct), install_state::kAdvertised);
  EXPECT_FALSE(F().DirectoryExists(kInstallDir));
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL ALLUSERS=1 \"broken"),
            1639u);  // an open quote
}

TEST_F(SimInstallerTest, DirectoriesFollowTheMachineAndTheCommandLine) {
  ASSERT_EQ(I().InstallProduct(kPackage, "INSTALLDIR=\"C:\\My Apps\\Contract\""),
            install_result::kSuccess);
  EXPECT_TRUE(F().FileExists("C:\\My Apps\\Contract\\one.txt"));
  ASSERT_EQ(I().InstallProduct(kPackage, "REMOVE=ALL"), install_result::kSuccess);
  EXPECT_FALSE(F().DirectoryExists("C:\\My Apps"));

  std::ofstream(folder_ / "machine.txt") << "windows.64bit = false\n";
  Start();
  ASSERT_EQ(I().InstallProduct(kPackage, ""), install_result::kSuccess);
  EXPECT_TRUE(F().FileExists("C:\\Program Files\\Contract Package\\two.txt"));
  EXPECT_EQ(ReadValue(kSettingsKey, "Greeting", RegView::kView64), "hello");
}

TEST_F(SimInstallerTest, APatchNeedsItsFileAndAnInstalledTarget) {
  EXPECT_EQ(I().ApplyPatch("C:\\missing.msp", ""), 1635u);
  EXPECT_EQ(I().ApplyPatch(kPackage, ""), 1636u);  // a package is no patch
  // A patch names its target products in its template.
  const fs::path patch = sim_->HostPath("C:\\fix.msp");
  GError* error = nullptr;
  LibmsiDatabase* db = libmsi_database_new(
      patch.c_str(), LIBMSI_DB_FLAGS_CREATE | LIBMSI_DB_FLAGS_PATCH, nullptr, &error);
  ASSERT_NE(db, nullptr);
  LibmsiSummaryInfo* si = libmsi_summary_info_new(db, 5, &error);
  ASSERT_NE(si, nullptr);
  ASSERT_TRUE(libmsi_summary_info_set_string(
      si, LIBMSI_PROPERTY_TEMPLATE, "{00000000-0000-0000-0000-000000000000};" "{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B21}", &error));
  ASSERT_TRUE(libmsi_summary_info_persist(si, &error));
  ASSERT_TRUE(libmsi_database_commit(db, &error));
  g_object_unref(si);
  g_object_unref(db);
  EXPECT_EQ(I().ApplyPatch("C:\\fix.msp", ""), 1642u);
  ASSERT_EQ(I().InstallProduct(kPackage, ""), install_result::kSuccess);
  EXPECT_EQ(I().ApplyPatch("C:\\fix.msp", ""), install_result::kSuccess);
  WritePlayback("call\n  result 1603\nend\n");
  EXPECT_EQ(I().ApplyPatch("C:\\fix.msp", ""), install_result::kFailure);
}

TEST_F(SimInstallerTest, SettingsCallsAreRecorded) {
  EXPECT_EQ(I().EnableLog(0x2FFF, "C:\\install.log", 1), Status::kOk);
  I().SetInternalUI(2);
  EXPECT_EQ(S().LogSettings().path, "C:\\install.log");
  EXPECT_EQ(S().LogSettings().mode, 0x2FFFu);
  EXPECT_EQ(S().InternalUILevel(), 2u);
  EXPECT_EQ(I().AddSource(kProduct, "", "C:\\media\\"), Status::kNotFound);
  ASSERT_EQ(S().SetProduct(kProduct, install_state::kDefault, "{X}"), Status::kOk);
  EXPECT_EQ(I().AddSource(kProduct, "", "C:\\media\\"), Status::kOk);
  EXPECT_EQ(S().Sources(kProduct), std::vector<std::string>{"C:\\media\\"});
  EXPECT_EQ(I().AddSource("not-a-code", "", "C:\\media\\"), Status::kFailed);
}

TEST_F(SimInstallerTest, TheLogHoldsTheKindsItsModeNamesAndStartsAfreshUnlessAppending) {
  const uint32_t starts_only = 1u << (install_message::kActionStart >> 24);
  ASSERT_EQ(I().EnableLog(starts_only, "C:\\install.log", 0), Status::kOk);
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL BLOCKME=1"), install_result::kFailure);
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL BLOCKME=1"), install_result::kFailure);
  std::string log;
  ASSERT_EQ(F().ReadFile("C:\\install.log", &log), Status::kOk);
  EXPECT_EQ(log.find("=== Logging started"), 0u) << log;
  EXPECT_NE(log.find("LaunchConditions"), std::string::npos) << log;
  EXPECT_EQ(log.find("BLOCKME is set"), std::string::npos) << log;  // an error: not in the mode
  EXPECT_EQ(log.find("=== Logging started", 1), std::string::npos) << log;  // the second replaced it

  ASSERT_EQ(I().EnableLog(starts_only, "C:\\install.log", 1), Status::kOk);
  EXPECT_EQ(I().InstallProduct(kPackage, "ADDLOCAL=ALL BLOCKME=1"), install_result::kFailure);
  ASSERT_EQ(F().ReadFile("C:\\install.log", &log), Status::kOk);
  EXPECT_NE(log.find("=== Logging started", 1), std::string::npos) << log;
}

TEST_F(SimInstallerTest, TheTranscriptHasALinePerInstallerCall) {
  sim::Transcript t;
  sim::RecordingPlatform recorded(*sim_, t);
  Installer& installer = recorded.installer();
  installer.SetExternalUI([](uint32_t, const std::string&) { return 1; }, 0x7FDF);
  Status status;
  auto db = installer.OpenDatabase(kPackage, false, &status);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->Commit(), Status::kOk);
  db.reset();
  EXPECT_EQ(installer.InstallProduct(kPackage, "ADDLOCAL=ALL ALLUSERS=1"), 0u);
  EXPECT_EQ(installer.QueryProductState(kProduct), install_state::kDefault);
  bool reboot = true;
  installer.RunPackageAction({kPackage, {{"REMOVE", "ALL"}, {"NAME", "a b"}}, "INSTALL"}, &reboot);
  const std::vector<std::string> lines = t.Lines();
  const std::vector<std::string> expected = {
      "installer external-ui 0x7FDF",
      std::string("installer open-database \"") + kPackage + "\" direct -> ok",
      std::string("installer commit \"") + kPackage + "\" -> ok",
      std::string("installer install \"") + kPackage + "\" \"ADDLOCAL=ALL ALLUSERS=1\" -> 0",
      std::string("installer product-state ") + kProduct + " -> 5",
      std::string("installer package-action \"") + kPackage +
          "\" INSTALL \"REMOVE=ALL NAME=\"a b\"\" -> 0",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace corvane::platform
