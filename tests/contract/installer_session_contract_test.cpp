// Installer sessions: installing, removing and refusing a real package, with the messages the
// installer sends on the way, the same on the simulated machine and on Windows.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/installer.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "tests/contract/contract_env.h"
#include "tests/contract/installer_package.h"

namespace corvane::contract {
namespace {

using platform::Installer;
using platform::Status;
namespace message = platform::install_message;
namespace state = platform::install_state;

// No user interface but the source resolution dialog (INSTALLUILEVEL_NONE | SOURCERESONLY).
constexpr uint32_t kSilent = 258;
constexpr const char* kRegistryKey = "Software\\Corvane Tests\\Contract Package";
constexpr const char* kUnknownProduct = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
constexpr uint32_t kPackageOpenFailed = 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
constexpr uint32_t kFileNotFound = 2;          // ERROR_FILE_NOT_FOUND

struct Message {
  uint32_t kind;
  std::string text;
};

class InstallerSessionContract : public ContractTest {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
    if (HasFatalFailure()) return;
    std::string bytes = ContractPackageBytes();
    ASSERT_FALSE(bytes.empty()) << "cannot read " << CORVANE_CONTRACT_MSI;
    package_ = At("contract.msi");
    ASSERT_EQ(Files().WriteFile(package_, bytes), Status::kOk);
    Installer& installer = P().installer();
    installer.SetInternalUI(kSilent);
    installer.SetExternalUI({}, 0);
    // What an interrupted earlier run may have left installed.
    if (installer.QueryProductState(kContractProduct) != state::kUnknown) {
      installer.InstallProduct(package_, "REMOVE=ALL");
    }
    ASSERT_EQ(installer.QueryProductState(kContractProduct), state::kUnknown);
  }

  void TearDown() override {
    if (env_ && !package_.empty()) {
      Installer& installer = P().installer();
      installer.SetExternalUI({}, 0);
      installer.EnableLog(0, "", 0);
      if (installer.QueryProductState(kContractProduct) != state::kUnknown) {
        EXPECT_EQ(installer.InstallProduct(package_, "REMOVE=ALL"), 0u) << "removal after the case";
      }
    }
    ContractTest::TearDown();
  }

  // Lets every message through to a handler that records it and answers with answer(kind).
  void RecordMessages(std::function<int(uint32_t kind)> answer = nullptr) {
    P().installer().SetExternalUI(
        [this, answer](uint32_t type, const std::string& text) {
          uint32_t kind = type & 0xFF000000u;
          messages_.push_back({kind, text});
          return answer ? answer(kind) : 0;
        },
        MessageFilter({message::kFatalExit, message::kError, message::kWarning, message::kUser,
                       message::kInfo, message::kActionStart, message::kActionData,
                       message::kProgress, message::kCommonData}));
  }

  // Whether the Windows under test is Wine, which leaves out a few of the installer's messages.
  bool OnWine() {
    return Reg().KeyExists(platform::RegRoot::kLocalMachine, "Software\\Wine",
                           platform::RegView::kView64) == Status::kOk;
  }

  bool Saw(uint32_t kind) const {
    for (const Message& m : messages_) {
      if (m.kind == kind) return true;
    }
    return false;
  }

  // Where a 32-bit package puts ProgramFilesFolder.
  std::string InstallFolder() {
    std::string folder;
    if (Sys().Is64BitSystem() &&
        Sys().GetEnvironment("ProgramFiles(x86)", &folder) == Status::kOk && !folder.empty()) {
      if (folder.back() != '\\') folder += '\\';
    } else {
      EXPECT_EQ(P().shell().GetSpecialFolder(platform::SpecialFolder::kProgramFiles, &folder),
                Status::kOk);
    }
    return folder + "Contract Package";
  }

  std::string PackageCodeOfTheFile() {
    Status status = Status::kFailed;
    std::unique_ptr<platform::InstallerDatabase> db =
        P().installer().OpenDatabase(package_, /*read_only=*/true, &status);
    platform::InstallerField code;
    if (db) {
      EXPECT_EQ(db->GetSummary(platform::summary::kRevisionNumber, &code), Status::kOk);
    }
    return code.text;
  }

  std::string package_;
  std::vector<Message> messages_;
};

TEST_F(InstallerSessionContract, AProductIsInstalledAndRemovedWithMessagesOnTheWay) {
  Installer& installer = P().installer();
  const std::string log = At("install.log");
  ASSERT_EQ(installer.EnableLog(MessageFilter({message::kError, message::kWarning, message::kInfo,
                                               message::kActionStart}),
                                log, 0),
            Status::kOk);
  RecordMessages();

  ASSERT_EQ(installer.InstallProduct(package_, "ADDLOCAL=ALL REBOOT=R"), 0u);
  EXPECT_TRUE(Saw(message::kActionStart));
  EXPECT_TRUE(Saw(message::kProgress));
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kDefault);
  std::string registered;
  ASSERT_EQ(installer.GetProductInfo(kContractProduct, "PackageCode", &registered), Status::kOk);
  const std::string package_code = PackageCodeOfTheFile();
  EXPECT_EQ(package_code.size(), 38u);
  EXPECT_EQ(Upper(registered), Upper(package_code));
  EXPECT_EQ(installer.AddSource(kContractProduct, "", scratch_ + "\\"), Status::kOk);

  installer.EnableLog(0, "", 0);
  uint64_t log_size = 0;
  EXPECT_EQ(Files().GetFileSize(log, &log_size), Status::kOk);
  EXPECT_GT(log_size, 0u);

  messages_.clear();
  ASSERT_EQ(installer.InstallProduct(package_, "REMOVE=ALL"), 0u);
  EXPECT_TRUE(Saw(message::kActionStart));
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kUnknown);
  EXPECT_EQ(installer.GetProductInfo(kContractProduct, "PackageCode", &registered),
            Status::kNotFound);
}

// What the package puts on the machine, and takes away again.
TEST_F(InstallerSessionContract, AnInstalledProductHasItsFilesAndItsRegistryValue) {
  Installer& installer = P().installer();
  // A handler that was removed again hears nothing.
  int calls = 0;
  installer.SetExternalUI(
      [&calls](uint32_t, const std::string&) {
        ++calls;
        return 0;
      },
      MessageFilter({message::kActionStart, message::kProgress}));
  installer.SetExternalUI({}, 0);

  ASSERT_EQ(installer.InstallProduct(package_, "ADDLOCAL=ALL REBOOT=R GREETING=bonjour"), 0u);
  EXPECT_EQ(calls, 0);
  const std::string folder = InstallFolder();
  std::string text;
  EXPECT_EQ(Files().ReadFile(folder + "\\one.txt", &text), Status::kOk) << folder;
  EXPECT_EQ(text, "the first file of the contract package\n");
  EXPECT_TRUE(Files().FileExists(folder + "\\two.txt"));
  platform::RegValue value;
  ASSERT_EQ(Reg().ReadValue(platform::RegRoot::kLocalMachine, kRegistryKey, "Greeting",
                            platform::RegView::kView32, &value),
            Status::kOk);
  EXPECT_EQ(value.type, platform::RegType::kString);
  EXPECT_EQ(value.data, "bonjour");

  ASSERT_EQ(installer.InstallProduct(package_, "REMOVE=ALL"), 0u);
  EXPECT_FALSE(Files().FileExists(folder + "\\one.txt"));
  EXPECT_FALSE(Files().DirectoryExists(folder));
  EXPECT_EQ(Reg().ReadValue(platform::RegRoot::kLocalMachine, kRegistryKey, "Greeting",
                            platform::RegView::kView32, &value),
            Status::kNotFound);
}

TEST_F(InstallerSessionContract, AFailedLaunchConditionEndsTheInstall) {
  Installer& installer = P().installer();
  RecordMessages();
  EXPECT_EQ(installer.InstallProduct(package_, "BLOCKME=1 ADDLOCAL=ALL"),
            platform::install_result::kFailure);
  EXPECT_TRUE(Saw(message::kActionStart));  // the installer ran, and stopped on its own
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kUnknown);
  EXPECT_FALSE(Files().FileExists(InstallFolder() + "\\one.txt"));
}

TEST_F(InstallerSessionContract, TheTextOfAFailedLaunchConditionReachesTheHandler) {
  // Wine shows the text in a message box of its own when it has a user interface, and sends it
  // to no handler.
  if (OnWine()) GTEST_SKIP() << "Wine sends launch condition texts to no handler";
  Installer& installer = P().installer();
  RecordMessages();
  ASSERT_EQ(installer.InstallProduct(package_, "BLOCKME=1 ADDLOCAL=ALL"),
            platform::install_result::kFailure);
  bool told = false;
  for (const Message& m : messages_) {
    if ((m.kind == message::kError || m.kind == message::kFatalExit) &&
        m.text.find("The package was told to refuse: BLOCKME is set.") != std::string::npos) {
      told = true;
    }
  }
  EXPECT_TRUE(told);
}

TEST_F(InstallerSessionContract, CancellingAtTheFirstProgressMessageInstallsNothing) {
  Installer& installer = P().installer();
  // Like a user interface whose cancel button was pressed: from the first progress message on,
  // every answer is cancel. Windows stops at that message, Wine at the next action.
  int cancels = 0;
  bool cancelled = false;
  RecordMessages([&](uint32_t kind) {
    if (kind == message::kProgress) cancelled = true;
    if (!cancelled) return 0;
    ++cancels;
    return 2;  // IDCANCEL
  });
  EXPECT_EQ(installer.InstallProduct(package_, "ADDLOCAL=ALL REBOOT=R"),
            platform::install_result::kUserExit);
  EXPECT_GE(cancels, 1);
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kUnknown);
  EXPECT_FALSE(Files().FileExists(InstallFolder() + "\\one.txt"));
}

TEST_F(InstallerSessionContract, APackageActionInstallsAndRemovesWithItsProperties) {
  Installer& installer = P().installer();
  bool reboot = true;
  ASSERT_EQ(installer.RunPackageAction(
                {package_, {{"ADDLOCAL", "ALL"}, {"GREETING", "hi"}, {"REBOOT", "R"}}, "INSTALL"},
                &reboot),
            0u);
  EXPECT_FALSE(reboot);
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kDefault);
  platform::RegValue value;
  EXPECT_EQ(Reg().ReadValue(platform::RegRoot::kLocalMachine, kRegistryKey, "Greeting",
                            platform::RegView::kView32, &value),
            Status::kOk);
  EXPECT_EQ(value.data, "hi");

  reboot = true;
  ASSERT_EQ(installer.RunPackageAction({package_, {{"REMOVE", "ALL"}}, "INSTALL"}, &reboot), 0u);
  EXPECT_FALSE(reboot);
  EXPECT_EQ(installer.QueryProductState(kContractProduct), state::kUnknown);
}

TEST_F(InstallerSessionContract, CallsOnAMissingPackageOrProductFail) {
  Installer& installer = P().installer();
  // Windows answers that the package cannot be opened, Wine that the file is not found.
  uint32_t rc = installer.InstallProduct(At("missing.msi"), "ADDLOCAL=ALL");
  EXPECT_TRUE(rc == kPackageOpenFailed || rc == kFileNotFound) << rc;
  bool reboot = true;
  rc = installer.RunPackageAction({At("missing.msi"), {}, "INSTALL"}, &reboot);
  EXPECT_TRUE(rc == kPackageOpenFailed || rc == kFileNotFound) << rc;
  EXPECT_FALSE(reboot);
  // Windows answers 1635 (the patch cannot be opened), Wine 1627: a failure either way.
  EXPECT_NE(installer.ApplyPatch(At("missing.msp"), ""), 0u);
  EXPECT_EQ(installer.AddSource(kUnknownProduct, "", scratch_ + "\\"), Status::kNotFound);
}

}  // namespace
}  // namespace corvane::contract
