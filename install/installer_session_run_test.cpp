// Whole Apply Changes commands on the simulated machine, with an installer that plays the part of
// a busy or cancelled installation: the results a cancel gives at each moment of the session.
// And the assembly list of the same package, given assembly tables.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "install/database_assemblies.h"
#include "install/installer_session.h"
#include "interp/session.h"
#include "interp/testing/script_harness.h"
#include "platform/sim/sim_platform.h"

namespace corvane::install {
namespace {

using platform::InstallerField;
using platform::Status;

constexpr const char* kProduct = "{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B21}";
constexpr const char* kPackage = "C:\\Setup\\setup.msi";

// The session of the running script, for the installer that plays the user's cancel.
std::atomic<interp::Session*> running{nullptr};
void RememberSession(interp::CommandContext& ctx) { running = &ctx.session(); }

// What the installer does when it is called.
enum class Play { kCancelThenSucceed, kBusyAndCancelled, kSucceed, kPatchNeedsRestart };

class PlayingInstaller : public platform::InstallerWrapper {
 public:
  PlayingInstaller(platform::Installer& target, Play play) : InstallerWrapper(target), play_(play) {}
  uint32_t InstallProduct(const std::string&, const std::string&) override {
    ++calls;
    interp::Session* s = running.load();
    if (s == nullptr) return platform::install_result::kFailure;
    auto& store = s->variables.store();
    switch (play_) {
      case Play::kCancelThenSucceed:
        // The user cancels while the installer works; the installation still ends well.
        store.Set("VORT_IsCancelled", "TRUE");
        WaitFor([&store] { return store.Get("VORT_thCancelled") == "TRUE"; });
        return platform::install_result::kSuccess;
      case Play::kBusyAndCancelled:
        if (calls == 1) store.Set("VORT_IsCancelled", "TRUE");
        return platform::install_result::kAlreadyRunning;
      case Play::kSucceed:
        return platform::install_result::kSuccess;
      case Play::kPatchNeedsRestart:
        break;
    }
    return platform::install_result::kFailure;
  }
  uint32_t ApplyPatch(const std::string& patch, const std::string& line) override {
    ++calls;
    patch_call = patch + " | " + line;
    return play_ == Play::kPatchNeedsRestart ? platform::install_result::kRebootRequired
                                             : platform::install_result::kFailure;
  }
  Status AddSource(const std::string& product, const std::string& user,
                   const std::string& source) override {
    sources.push_back(product + " | " + user + " | " + source);
    return Status::kOk;
  }
  std::atomic<int> calls{0};
  std::string patch_call;
  std::vector<std::string> sources;

 private:
  static void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  Play play_;
};

class PlayingPlatform : public platform::Platform {
 public:
  PlayingPlatform(platform::Platform& target, Play play)
      : target_(target), installer_(target.installer(), play) {}
  platform::FileSystem& files() override { return target_.files(); }
  platform::Registry& registry() override { return target_.registry(); }
  platform::SystemInfo& system() override { return target_.system(); }
  platform::UserInterface& ui() override { return target_.ui(); }
  platform::Installer& installer() override { return installer_; }
  platform::Shell& shell() override { return target_.shell(); }
  PlayingInstaller& playing() { return installer_; }

 private:
  platform::Platform& target_;
  PlayingInstaller installer_;
};

class SessionRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/corvane-session-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder_ = tmpl;
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    options.save_registry_on_exit = false;
    sim_ = platform::CreateSimPlatform(options);
    std::ifstream in(CORVANE_TEST_MSI, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    auto& f = sim_->files();
    f.CreateDirectory("C:\\Setup");
    f.CreateDirectory("C:\\Setup\\data");
    ASSERT_EQ(f.WriteFile("C:\\Setup\\setup.msi", bytes.str()), Status::kOk);
    ASSERT_EQ(f.WriteFile(std::string("C:\\Setup\\data\\") + kProduct, ""), Status::kOk);
    SetInstallerBusyRetryInterval(std::chrono::milliseconds(5));
  }
  void TearDown() override {
    SetInstallerBusyRetryInterval(std::chrono::milliseconds(3141));
    running = nullptr;
    sim_.reset();
    std::filesystem::remove_all(folder_);
  }
  interp::testing::ScriptRun Run(PlayingPlatform& p, const std::string& before = "",
                                 const char* choices = "\"TRUE\" \"FALSE\"") {
    interp::testing::ScriptHarness h;
    h.target = &p;
    h.silent = false;  // a silent run has no one to press cancel: its wait looks at nothing else
    h.handlers.Override("Remember Session", RememberSession);
    h.predefined = {{"MSIFILE", "C:\\Setup\\setup.msi"}, {"DATADIR", "C:\\Setup\\data\\"},
                    {"TARGETDIR", "C:\\Program Files\\Contract\\"}, {"ALLUSERS", "TRUE"},
                    {"MAINTENANCE", "FALSE"}, {"SUPPORTDIR", "C:\\Setup\\"}};
    return h.Run(std::string(".product-code \"") + kProduct +
                 "\"\n.title \"Contract\"\n"
                 "Remember Session\n" + before +
                 "Apply Changes \"\" \"RESULT\" " + choices + "\n");
  }

  // Gives the database its assembly tables with these rows: (component), then (component, name,
  // value).
  void AddAssemblies(const std::vector<std::string>& components,
                     const std::vector<std::vector<std::string>>& names) {
    Status status = Status::kFailed;
    auto db = sim_->installer().OpenDatabase(kPackage, false, &status);
    ASSERT_TRUE(db);
    ASSERT_EQ(db->Run("CREATE TABLE `MsiAssembly` (`Component_` CHAR(72) NOT NULL, "
                      "`Feature_` CHAR(38) NOT NULL, `File_Manifest` CHAR(72), "
                      "`File_Application` CHAR(72), `Attributes` SHORT PRIMARY KEY `Component_`)",
                      {}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Run("CREATE TABLE `MsiAssemblyName` (`Component_` CHAR(72) NOT NULL, "
                      "`Name` CHAR(255) NOT NULL, `Value` CHAR(255) NOT NULL "
                      "PRIMARY KEY `Component_`, `Name`)",
                      {}, nullptr),
              Status::kOk);
    for (const std::string& c : components) {
      ASSERT_EQ(db->Run("INSERT INTO `MsiAssembly` (`Component_`, `Feature_`) VALUES (?, ?)",
                        {InstallerField::Text(c), InstallerField::Text("Main")}, nullptr),
                Status::kOk);
    }
    for (const auto& n : names) {
      ASSERT_EQ(db->Run("INSERT INTO `MsiAssemblyName` (`Component_`, `Name`, `Value`) "
                        "VALUES (?, ?, ?)",
                        {InstallerField::Text(n[0]), InstallerField::Text(n[1]),
                         InstallerField::Text(n[2])},
                        nullptr),
                Status::kOk);
    }
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  uint32_t Remove(std::vector<std::string>* runs, uint32_t code = 0) {
    return RemoveDatabaseAssemblies(sim_->installer(), kPackage, "C:\\Setup\\kgacy.exe",
                                    [runs, code](const std::string& tool, const std::string& args) {
                                      runs->push_back(tool + " " + args);
                                      return code + static_cast<uint32_t>(runs->size());
                                    });
  }

  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> sim_;
};

TEST_F(SessionRun, ACancelledSessionWhoseInstallationSucceededIsComplete) {
  PlayingPlatform p(*sim_, Play::kCancelThenSucceed);
  interp::testing::ScriptRun run = Run(p);
  EXPECT_EQ(run.result.failure, "");
  EXPECT_EQ(p.playing().calls.load(), 1);
  EXPECT_EQ(run.Var("RESULT"), "COMPLETE");
  EXPECT_EQ(run.Var("LASTERROR"), "");
}

TEST_F(SessionRun, ACancelDuringTheBusyWaitEndsAsCancelWithTheInstallersReason) {
  PlayingPlatform p(*sim_, Play::kBusyAndCancelled);
  interp::testing::ScriptRun run = Run(p);
  EXPECT_EQ(run.Var("RESULT"), "CANCEL");
  EXPECT_NE(run.Var("LASTERROR").find("Another installation is already in progress"),
            std::string::npos)
      << run.Var("LASTERROR");
  // Asked again until the cancel reached the session, then no more.
  EXPECT_GE(p.playing().calls.load(), 1);
  EXPECT_LT(p.playing().calls.load(), 1000);
}

// A cancel that comes before the installer is called is a cancel, never a completed session: the
// product was not installed.
TEST_F(SessionRun, ACancelBeforeTheCallIsACancel) {
  PlayingPlatform p(*sim_, Play::kSucceed);
  interp::testing::ScriptRun run = Run(p, "Set Variable \"ABORT\" \"TRUE\"\n");
  EXPECT_EQ(p.playing().calls.load(), 0);
  EXPECT_EQ(run.Var("RESULT"), "CANCEL");
  EXPECT_EQ(run.Var("LASTERROR"), "User cancelled installation") << run.Var("LASTERROR");
  EXPECT_EQ(sim_->installer().QueryProductState(kProduct), platform::install_state::kUnknown);
}

// A service password reaches the installer's database, named there among the properties that
// the installer hides in its log (which is the trace log); the session report leaves it out.
TEST_F(SessionRun, AServicePasswordIsHiddenFromTheLogs) {
  PlayingPlatform p(*sim_, Play::kSucceed);
  const std::string script =
      "Set Variable \"LOGGED\" \"C:\\Setup\\run.log\"\n"
      "[header 0E0F0A0B] Install Service \"x\" \"Svc\" \"x\" \"Display\" \"\" \"\" \"x\" \"x\" "
      "\"\" \"\" \"x\" \"x\" \".\\svc\" \"Pa55-word\" \"\"\n";
  interp::testing::ScriptRun run = Run(p, script);
  EXPECT_EQ(run.Var("RESULT"), "COMPLETE");
  bool reported = false;
  for (const std::string& entry : run.trace) {
    EXPECT_EQ(entry.find("Pa55-word"), std::string::npos) << entry;
    reported = reported || entry == "*** Properties ***";
  }
  EXPECT_TRUE(reported);

  Status status = Status::kFailed;
  auto db = sim_->installer().OpenDatabase(kPackage, true, &status);
  ASSERT_TRUE(db);
  auto value = [&db](const std::string& name) {
    std::vector<platform::InstallerRecord> rows;
    db->Run("SELECT `Value` FROM `Property` WHERE `Property` = ?", {InstallerField::Text(name)},
            &rows);
    return rows.empty() || rows[0].empty() ? std::string("<none>") : rows[0][0].AsText();
  };
  EXPECT_EQ(value("P0E0F0A0B_7"), "Pa55-word");
  EXPECT_EQ(value("MsiHiddenProperties"), "P0E0F0A0B_7");
}

// Before a removal the package and data folders become sources of the product, in the keys the
// installer made for it; keys it did not make are not made.
TEST_F(SessionRun, ARemovalRegistersItsSourcesOnlyInKeysThatExist) {
  using platform::RegRoot;
  using platform::RegValue;
  using platform::RegView;
  auto& reg = sim_->registry();
  const std::string packed = PackedProductCode(kProduct);
  ASSERT_EQ(packed.size(), 32u);
  const std::string list = "Installer\\Products\\" + packed + "\\SourceList";
  ASSERT_EQ(reg.CreateKey(RegRoot::kClassesRoot, list + "\\Net", RegView::kNative), Status::kOk);
  ASSERT_EQ(reg.CreateKey(RegRoot::kClassesRoot, list + "\\Media", RegView::kNative), Status::kOk);
  reg.WriteValue(RegRoot::kClassesRoot, list, "LastUsedSource", RegView::kNative,
                 RegValue::ExpandString("n;1;C:\\Old\\"));
  reg.WriteValue(RegRoot::kClassesRoot, list + "\\Net", "1", RegView::kNative,
                 RegValue::ExpandString("C:\\Old\\"));
  reg.WriteValue(RegRoot::kClassesRoot, list + "\\Media", "MediaPackage", RegView::kNative,
                 RegValue::ExpandString("\\"));

  PlayingPlatform p(*sim_, Play::kSucceed);
  interp::testing::ScriptRun run = Run(p, "", "\"FALSE\" \"TRUE\"");
  EXPECT_EQ(run.Var("RESULT"), "COMPLETE");
  RegValue v;
  ASSERT_EQ(reg.ReadValue(RegRoot::kClassesRoot, list, "LastUsedSource", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "n;1;C:\\Setup\\");
  ASSERT_EQ(reg.ReadValue(RegRoot::kClassesRoot, list + "\\Net", "2", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "C:\\Setup\\");
  ASSERT_EQ(reg.ReadValue(RegRoot::kClassesRoot, list + "\\Net", "3", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "C:\\Setup\\data\\");
  ASSERT_EQ(reg.ReadValue(RegRoot::kClassesRoot, list + "\\Net", "1", RegView::kNative, &v),
            Status::kOk);
  EXPECT_EQ(v.data, "C:\\Old\\");
  // The per-user key was never there, and is not now.
  EXPECT_EQ(reg.KeyExists(RegRoot::kCurrentUser,
                          "SOFTWARE\\Microsoft\\Installer\\Products\\" + packed,
                          RegView::kNative),
            Status::kNotFound);
}

// A patch: the patch beside the database, its own command line, the source folder added for the
// machine and for the user, and a restart it asks for reaching the script.
TEST_F(SessionRun, APatchIsAppliedWithItsCommandLineAndItsSources) {
  ASSERT_EQ(sim_->files().WriteFile("C:\\Setup\\setup.msp", "patch"), Status::kOk);
  PlayingPlatform p(*sim_, Play::kPatchNeedsRestart);
  interp::testing::ScriptHarness h;
  h.target = &p;
  h.silent = true;
  h.predefined = {{"MSIFILE", kPackage}, {"DATADIR", "C:\\Setup\\data\\"},
                  {"TARGETDIR", "C:\\Program Files\\Contract\\"}, {"ALLUSERS", "TRUE"},
                  {"SUPPORTDIR", "C:\\Setup\\"}};
  interp::testing::ScriptRun run = h.Run(std::string(".product-code \"") + kProduct +
                                         "\"\n.title \"Contract\"\n"
                                         "Apply Patch \"RESULT\"\n");
  EXPECT_EQ(run.result.failure, "");
  EXPECT_EQ(run.Var("RESULT"), "REBOOT");
  EXPECT_EQ(run.Var("REBOOTCOMPUTER"), "TRUE");
  EXPECT_EQ(p.playing().calls.load(), 1);  // a patch is not asked again
  EXPECT_EQ(p.playing().patch_call,
            "C:\\Setup\\setup.msp | ADDLOCAL=ALL ALLUSERS=1 SRCDIR=C:\\Setup\\data\\ "
            "SRCDIREX=C:\\Setup\\data\\ ");
  ASSERT_EQ(p.playing().sources.size(), 2u);
  EXPECT_EQ(p.playing().sources[0], std::string(kProduct) + " |  | C:\\Setup\\data\\");
  EXPECT_NE(p.playing().sources[1].find("User | C:\\Setup\\data\\"), std::string::npos)
      << p.playing().sources[1];
}

// The assemblies of the package, for the assembly tools of "Remove Assemblies".
TEST_F(SessionRun, EachAssemblyIsRemovedInRowOrderAndTheLastCodeIsTheResult) {
  AddAssemblies({"Core", "Bob's Part"}, {{"Core", "Name", "Example.Core"},
                                         {"Core", "Version", "1.2.0.0"},
                                         {"Core", "Culture", "neutral"},
                                         {"Bob's Part", "Name", "Example.Bob"},
                                         {"Bob's Part", "Version", "2.0.0.0"}});
  std::vector<std::string> runs;
  EXPECT_EQ(Remove(&runs, 40), 42u);
  ASSERT_EQ(runs.size(), 2u);
  // The order of the MsiAssembly rows is the database's; both assemblies run, each once.
  const std::string core = "C:\\Setup\\kgacy.exe /u Example.Core,Version=1.2.0.0";
  const std::string bob = "C:\\Setup\\kgacy.exe /u Example.Bob,Version=2.0.0.0";
  EXPECT_TRUE((runs[0] == core && runs[1] == bob) || (runs[0] == bob && runs[1] == core))
      << runs[0] << " / " << runs[1];
}

TEST_F(SessionRun, NothingRunsWithoutTablesOrWithUnpairedNames) {
  std::vector<std::string> runs;
  EXPECT_EQ(Remove(&runs), 0u);  // the package has no assembly tables
  EXPECT_EQ(RemoveDatabaseAssemblies(sim_->installer(), "C:\\Setup\\missing.msi", "t",
                                     [&runs](const std::string&, const std::string&) {
                                       runs.push_back("ran");
                                       return 5u;
                                     }),
            0u);
  AddAssemblies({"Core", "Other"}, {{"Core", "Name", "Example.Core"},
                                    {"Core", "Version", "1.2.0.0"},
                                    {"Other", "Name", "Example.Other"}});
  EXPECT_EQ(Remove(&runs), 0u);  // a name without its version: the lists do not pair up
  EXPECT_TRUE(runs.empty());
}

}  // namespace
}  // namespace corvane::install

namespace corvane::install {
namespace {

// With a language selected, the shortcut and file-type texts of the run go into the database's
// rows before the installer call: as record fields, so that an apostrophe is stored as it is.
TEST_F(SessionRun, TheSelectedLanguagesShortcutAndFileTypeTextsReachTheDatabase) {
  {
    Status status = Status::kFailed;
    auto db = sim_->installer().OpenDatabase(kPackage, false, &status);
    ASSERT_TRUE(db);
    ASSERT_EQ(db->Run("INSERT INTO `Shortcut` (`Shortcut`, `Directory_`, `Name`, `Component_`, "
                      "`Target`) VALUES ('Tools', 'P0A1B2C3D_1', 'Tools', 'Main', 'Main')",
                      {}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Run("CREATE TABLE `ProgId` (`ProgId` CHAR(255) NOT NULL, `ProgId_Parent` "
                      "CHAR(255), `Class_` CHAR(38), `Description` CHAR(255), `Icon_` CHAR(72), "
                      "`IconIndex` SHORT PRIMARY KEY `ProgId`)",
                      {}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Run("INSERT INTO `ProgId` (`ProgId`, `Description`) VALUES ('Hello.Doc', 'Doc')",
                      {}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  PlayingPlatform p(*sim_, Play::kSucceed);
  interp::testing::ScriptRun run =
      Run(p,
          "Set Variable \"LANGUAGE\" \"German\"\n"
          "[header 0A1B2C3D] Create Shortcut \"C:\\\\Tools\\\\tools.exe\" \"Dad's Tools\" "
          "\"C:\\\\Menu\" \"It's a tool' OR '1'='1\" \"\" \"\" \"\" \"\" \"\"\n"
          "[header 0A1B2C3E] Advertised File Type \"Hello.Doc\" \"x\" \"Dad's document\"\n");
  EXPECT_EQ(run.result.failure, "");
  EXPECT_EQ(run.Var("RESULT"), "COMPLETE");
  Status status = Status::kFailed;
  auto db = sim_->installer().OpenDatabase(kPackage, true, &status);
  ASSERT_TRUE(db);
  std::vector<platform::InstallerRecord> rows;
  ASSERT_EQ(db->Run("SELECT `Name`, `Description` FROM `Shortcut` WHERE `Shortcut` = 'Tools'", {},
                    &rows),
            Status::kOk);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].AsText(), "Dad's~1|Dad's Tools");
  EXPECT_EQ(rows[0][1].AsText(), "It's a tool' OR '1'='1");
  rows.clear();
  ASSERT_EQ(db->Run("SELECT `ProgId`, `Description` FROM `ProgId`", {}, &rows), Status::kOk);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].AsText(), "Hello.Doc");
  EXPECT_EQ(rows[0][1].AsText(), "Dad's document");
}

}  // namespace
}  // namespace corvane::install
