// The installer and shell services: what the engine cache relies on, the same on the simulated
// machine and on Windows.
#include "platform/installer.h"
#include "platform/shell.h"
#include "tests/contract/contract_env.h"

namespace corvane::contract {
namespace {

using platform::Status;

// A product code that no test machine has installed.
constexpr const char* kUnknownProduct = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

class InstallerContract : public ContractTest {};

TEST_F(InstallerContract, AnUnknownProductIsUnknownAndHasNoPackageCode) {
  platform::Installer& installer = P().installer();
  ASSERT_TRUE(installer.Available());
  EXPECT_EQ(installer.QueryProductState(kUnknownProduct), platform::install_state::kUnknown);
  std::string value = "left over";
  EXPECT_EQ(installer.GetProductInfo(kUnknownProduct, "PackageCode", &value), Status::kNotFound);
  EXPECT_EQ(value, "");
}

TEST_F(InstallerContract, AProductCodeThatIsNoGuidIsAnInvalidArgument) {
  platform::Installer& installer = P().installer();
  EXPECT_EQ(installer.QueryProductState("not-a-guid"), platform::install_state::kInvalidArgument);
  EXPECT_EQ(installer.QueryProductState("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F}"),
            platform::install_state::kInvalidArgument);
  std::string value;
  EXPECT_NE(installer.GetProductInfo("not-a-guid", "PackageCode", &value), Status::kOk);
  EXPECT_EQ(value, "");
}

TEST_F(InstallerContract, SpecialFoldersExistAndEndWithABackslash) {
  using platform::SpecialFolder;
  for (SpecialFolder folder :
       {SpecialFolder::kCommonAppData, SpecialFolder::kLocalAppData, SpecialFolder::kAppData,
        SpecialFolder::kProgramFiles, SpecialFolder::kCommonFiles, SpecialFolder::kDesktop}) {
    std::string path;
    ASSERT_EQ(P().shell().GetSpecialFolder(folder, &path), Status::kOk)
        << static_cast<int>(folder);
    ASSERT_GE(path.size(), 4u);
    EXPECT_EQ(path.back(), '\\') << path;
    EXPECT_EQ(path[1], ':') << path;
    EXPECT_TRUE(Files().DirectoryExists(path.substr(0, path.size() - 1))) << path;
  }
  std::string common, local;
  P().shell().GetSpecialFolder(SpecialFolder::kCommonAppData, &common);
  P().shell().GetSpecialFolder(SpecialFolder::kLocalAppData, &local);
  EXPECT_NE(common, local);
}

TEST_F(InstallerContract, TheTestProcessRunsWithAdministratorRights) {
  // Both test machines run their processes elevated; the engine then caches for all users.
  EXPECT_TRUE(P().shell().IsAdministrator());
}

TEST_F(InstallerContract, DeletionAtRestartLeavesTheFileUntilThen) {
  platform::Shell& shell = P().shell();
  EXPECT_EQ(shell.DeleteAtRestart(At("missing.txt")), Status::kNotFound);
  ASSERT_EQ(Files().WriteFile(At("later.txt"), "x"), Status::kOk);
  EXPECT_EQ(shell.DeleteAtRestart(At("later.txt")), Status::kOk);
  EXPECT_TRUE(Files().FileExists(At("later.txt")));
}

TEST_F(InstallerContract, CompressionOfAMissingPathIsNotFound) {
  EXPECT_EQ(P().shell().SetCompression(At("missing"), true), Status::kNotFound);
  EXPECT_EQ(P().shell().SetCompression(At("missing"), false), Status::kNotFound);
}

}  // namespace
}  // namespace corvane::contract
