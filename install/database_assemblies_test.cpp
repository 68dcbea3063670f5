// The assemblies of an installer database and their removal, on a copy of the contract package
// that gets its assembly tables on the simulated machine.
#include "install/database_assemblies.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sim/sim_platform.h"

namespace corvane::install {
namespace {

using platform::InstallerField;
using platform::Status;

constexpr const char* kDatabase = "C:\\Temp\\setup.msi";

class DatabaseAssemblies : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/corvane-assemblies-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder_ = tmpl;
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    options.save_registry_on_exit = false;
    sim_ = platform::CreateSimPlatform(options);
    std::ifstream in(CORVANE_TEST_MSI, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ASSERT_FALSE(bytes.str().empty());
    sim_->files().CreateDirectory("C:\\Temp");
    ASSERT_EQ(sim_->files().WriteFile(kDatabase, bytes.str()), Status::kOk);
  }
  void TearDown() override {
    sim_.reset();
    std::filesystem::remove_all(folder_);
  }
  // Gives the database its assembly tables with these rows: (component), then (component, name,
  // value).
  void AddAssemblies(const std::vector<std::string>& components,
                     const std::vector<std::vector<std::string>>& names) {
    Status status = Status::kFailed;
    auto db = sim_->installer().OpenDatabase(kDatabase, false, &status);
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
    return RemoveDatabaseAssemblies(sim_->installer(), kDatabase, "C:\\Temp\\kgacy.exe",
                                    [runs, code](const std::string& tool, const std::string& args) {
                                      runs->push_back(tool + " " + args);
                                      return code + static_cast<uint32_t>(runs->size());
                                    });
  }

  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> sim_;
};

TEST_F(DatabaseAssemblies, EachAssemblyIsRemovedInRowOrderAndTheLastCodeIsTheResult) {
  AddAssemblies({"Core", "Bob's Part"}, {{"Core", "Name", "Example.Core"},
                                         {"Core", "Version", "1.2.0.0"},
                                         {"Core", "Culture", "neutral"},
                                         {"Bob's Part", "Name", "Example.Bob"},
                                         {"Bob's Part", "Version", "2.0.0.0"}});
  std::vector<std::string> runs;
  EXPECT_EQ(Remove(&runs, 40), 42u);
  ASSERT_EQ(runs.size(), 2u);
  // The order of the MsiAssembly rows is the database's; both assemblies run, each once.
  const std::string core = "C:\\Temp\\kgacy.exe /u Example.Core,Version=1.2.0.0";
  const std::string bob = "C:\\Temp\\kgacy.exe /u Example.Bob,Version=2.0.0.0";
  EXPECT_TRUE((runs[0] == core && runs[1] == bob) || (runs[0] == bob && runs[1] == core))
      << runs[0] << " / " << runs[1];
}

TEST_F(DatabaseAssemblies, NothingRunsWithoutTablesOrWithUnpairedNames) {
  std::vector<std::string> runs;
  EXPECT_EQ(Remove(&runs), 0u);  // the package has no assembly tables
  EXPECT_EQ(RemoveDatabaseAssemblies(sim_->installer(), "C:\\Temp\\missing.msi", "t",
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
