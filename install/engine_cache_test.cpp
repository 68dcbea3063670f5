#include "install/engine_cache.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "engine/failure.h"
#include "engine/script_image.h"
#include "interp/session.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_platform.h"
#include "ui/components.h"

namespace corvane::install {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;

constexpr const char* kProduct = "{11111111-2222-3333-4444-555555555555}";
constexpr const char* kRevision = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";
constexpr const char* kDownloads = "C:\\Users\\User\\Downloads\\";
constexpr const char* kMachineCache = "C:\\ProgramData\\{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}\\";

// One run of the engine on a simulated machine that outlives the runs.
struct EngineRun {
  EngineRun(platform::Platform& p, const engine::ScriptImage& image, const std::string& engine_folder)
      : session(p, image) {
    EngineCacheInputs in;
    in.engine_folder = engine_folder;
    in.engine_file = "setup.exe";
    in.setup_base = "setup";
    in.data_folder = engine_folder;
    in.support_folder = "C:\\Users\\User\\AppData\\Local\\Temp\\zel1\\";
    in.get_platform_text = [this] { return platform_text; };
    in.set_platform_text = [this](const std::string& t) { platform_text = t; };
    interp::Variables& v = session.variables;
    v.DefineVariable("TARGETDIR", "", "Pre-Initialization");
    v.DefineVariable("STARTMENU", image.title, "Pre-Initialization");
    v.DefineVariable("ALLUSERS", "FALSE", "Pre-Initialization");
    v.DefineVariable("VORT_COMPRESS_INSTALLER_CACHE", "TRUE", "Initialization");
    v.DefineVariable("OVERRIDECACHE", "", "Initialization");
    v.DefineVariable("SAVEDATA", "FALSE", "Initialization");
    cache = std::make_unique<EngineCache>(session, table, in);
  }
  // The variables session initialisation defines after the bootstrap.
  void DefineLateVariables() {
    session.variables.DefineVariable("TITLE", session.image.title, "Initialization");
  }
  std::string Var(const char* name) { return session.variables.GetVariable(name); }

  interp::Session session;
  ui::ComponentTable table;
  std::string platform_text = "Win32";
  std::unique_ptr<EngineCache> cache;
};

class EngineCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/corvane-cache-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder_ = tmpl;
    StartMachine();
    image_.product_code = kProduct;
    image_.revision_code = kRevision;
    image_.title = "Demo";
    image_.publisher = "Kestrova";
    image_.version = "2.5.1";
    image_.components = {"Main", "1000", "Main\\Help", "200"};
  }
  void TearDown() override {
    machine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  // A start of the machine (again after a restart); the registry persists between starts.
  void StartMachine(const std::string& description = "") {
    machine_.reset();
    if (!description.empty()) {
      platform::sim::WriteHostFile(folder_ / "machine.txt", description);
    }
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    machine_ = platform::CreateSimPlatform(options);
    platform::FileSystem& f = machine_->files();
    for (const char* name : {"setup.exe", "setup.msi", "setup.res", "zel.lib", "setup.bmp"}) {
      if (!f.FileExists(std::string(kDownloads) + name)) {
        f.WriteFile(std::string(kDownloads) + name, std::string("content of ") + name);
      }
    }
  }
  std::unique_ptr<EngineRun> NewRun(const std::string& engine_folder = kDownloads) {
    auto run = std::make_unique<EngineRun>(*machine_, image_, engine_folder);
    run->table.SetImageSizes(image_.components);
    return run;
  }
  // A first installation by this setup: bootstrap, a selection, Apply Changes.
  void Install() {
    auto run = NewRun();
    run->cache->BootstrapEngineCache();
    run->DefineLateVariables();
    run->table.Define("Main", true, "");
    run->table.Define("Main\\Help", false, "");
    run->session.variables.DefineVariable("COLOR", "blue", "Set Variable Action");
    run->session.variables.AddSavedVariable("COLOR");
    run->session.properties.RecordInstallerProperty("AWRITEREG", "TRUE");
    run->cache->run_pins().push_back("C:\\Demo.lnk|7|C:\\Demo\\demo.exe");
    run->cache->UpdateEngineCache(CacheUpdate::kInstall);
    run->cache->SaveRunState();
    machine_->sim_installer().SetProduct(kProduct, platform::install_state::kDefault, kRevision);
  }
  std::string ReadString(RegRoot root, const std::string& key, const std::string& name) {
    RegValue value;
    if (machine_->registry().ReadValue(root, key, name, RegView::kNative, &value) != Status::kOk) {
      return "<missing>";
    }
    return value.type == platform::RegType::kDword ? std::to_string(value.AsNumber())
                                                   : value.data;
  }
  bool Exists(const std::string& path) {
    uint32_t attributes = 0;
    return machine_->files().GetAttributes(path, &attributes) == Status::kOk;
  }

  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> machine_;
  engine::ScriptImage image_;
};

TEST_F(EngineCacheTest, FirstRunOfAnAdministratorUsesTheCommonApplicationData) {
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  EXPECT_EQ(run->Var("PRODUCTCODE"), kProduct);
  EXPECT_EQ(run->Var("REVISIONCODE"), kRevision);
  EXPECT_EQ(run->Var("ENGINECACHE"), kMachineCache);
  EXPECT_EQ(run->Var("UNINSTALLLINK"), std::string(kMachineCache) + "setup.exe");
  EXPECT_EQ(run->Var("MAINTENANCE"), "FALSE");
  EXPECT_EQ(run->Var("NEEDSUPGRADE"), "FALSE");
  EXPECT_EQ(run->Var("NEWINSTANCE"), "FALSE");
  EXPECT_EQ(run->Var("TARGETDIR"), "C:\\Program Files (x86)\\Demo\\");
  EXPECT_EQ(run->Var("STARTMENU"), "Demo");
  EXPECT_EQ(run->Var("ALLUSERS"), "TRUE");
  EXPECT_EQ(run->Var("DATADIR"), kDownloads);
  ASSERT_EQ(run->table.names().size(), 1u);
  EXPECT_EQ(run->table.names()[0], ui::kPredefinedComponent);
}

}  // namespace
}  // namespace corvane::install
