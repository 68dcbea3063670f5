#include "install/engine_cache.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "image/failure.h"
#include "image/script_image.h"
#include "interp/session.h"
#include "platform/files.h"
#include "platform/sim/sim_common.h"
#include "platform/sim/sim_platform.h"
#include "platform/text.h"
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
  EngineRun(platform::Platform& p, const image::ScriptImage& image,
            const std::string& engine_folder)
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

std::string WithoutTrailing(std::string path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

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
    // A service password: the installer gets it, the cache never keeps it.
    run->session.properties.RecordSecretProperty("P0A0B0C0D_7", "secret");
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
  image::ScriptImage image_;
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


TEST_F(EngineCacheTest, WithoutAdministratorRightsTheCacheIsTheUsersLocalApplicationData) {
  StartMachine("user.admin = false\n");
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  EXPECT_EQ(run->Var("ALLUSERS"), "FALSE");
  EXPECT_EQ(run->Var("ENGINECACHE"),
            std::string("C:\\Users\\User\\AppData\\Local\\") + kRevision + "\\");
}

TEST_F(EngineCacheTest, OverrideCacheMakesEveryCachePathStartThere) {
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  // What the user chose before the override stays: it moves the cache paths only.
  run->session.variables.SetVariable("TARGETDIR", "D:\\Mine\\", "Set Variable Action");
  run->session.variables.SetVariable("ALLUSERS", "FALSE", "Set Variable Action");
  run->session.variables.SetVariable("STARTMENU", "Mine", "Set Variable Action");
  ASSERT_TRUE(run->cache->ApplyCacheOverride("C:\\Deep\\Cache"));
  EXPECT_EQ(run->Var("TARGETDIR"), "D:\\Mine\\");
  EXPECT_EQ(run->Var("ALLUSERS"), "FALSE");
  EXPECT_EQ(run->Var("STARTMENU"), "Mine");
  EXPECT_EQ(run->Var("OVERRIDECACHE"), "C:\\Deep\\Cache\\");
  const std::string cache = std::string("C:\\Deep\\Cache\\") + kRevision + "\\";
  EXPECT_EQ(run->Var("ENGINECACHE"), cache);
  EXPECT_EQ(run->Var("UNINSTALLLINK"), cache + "setup.exe");
  EXPECT_EQ(run->cache->GetCacheRoot(true), "C:\\Deep\\Cache\\");
  EXPECT_EQ(run->cache->GetCacheRoot(false), "C:\\Deep\\Cache\\");
  // The probe's folders were only a test of the place.
  EXPECT_FALSE(Exists("C:\\Deep"));

  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  EXPECT_TRUE(machine_->files().FileExists(cache + "setup.exe"));
  EXPECT_TRUE(machine_->files().FileExists(cache + "setup.dat"));
  EXPECT_FALSE(Exists(kMachineCache));
  // Registered for the user, as ALLUSERS says (the override did not reset it).
  EXPECT_EQ(ReadString(RegRoot::kCurrentUser, std::string(kIdentCacheKey) + kProduct, ""), cache);
}

TEST_F(EngineCacheTest, ProbeListsTheFoldersItCreatedOutermostFirst) {
  auto run = NewRun();
  std::vector<std::string> created;
  EXPECT_TRUE(ProbeCacheOverride(run->session, "C:\\A\\B\\C\\", &created));
  EXPECT_EQ(created, (std::vector<std::string>{"C:\\A", "C:\\A\\B", "C:\\A\\B\\C"}));
  EXPECT_TRUE(machine_->files().DirectoryExists("C:\\A\\B\\C"));

  created.clear();
  EXPECT_TRUE(ProbeCacheOverride(run->session, "C:\\A\\B", &created));
  EXPECT_TRUE(created.empty());
  EXPECT_TRUE(ProbeCacheOverride(run->session, "C:", &created));
  EXPECT_TRUE(created.empty());

  // A file in the way: the folder cannot be made.
  machine_->files().WriteFile("C:\\A\\file", "x");
  EXPECT_FALSE(ProbeCacheOverride(run->session, "C:\\A\\file\\sub", &created));
  EXPECT_TRUE(created.empty());

  try {
    ProbeCacheOverride(run->session, "", &created);
    FAIL() << "an empty folder is an error";
  } catch (const image::ScriptFailure& f) {
    EXPECT_STREQ(f.what(), "Unable to create directory");
  }
  EXPECT_THROW(ProbeCacheOverride(run->session, "nobackslash", &created), image::ScriptFailure);
}

// A folder that may not be created (no rights there).
class RefusedFolder : public platform::FileSystemWrapper {
 public:
  RefusedFolder(platform::FileSystem& target, std::string refused)
      : FileSystemWrapper(target), refused_(std::move(refused)) {}
  Status CreateDirectory(const std::string& path) override {
    if (platform::SameText(path, refused_)) return Status::kAccessDenied;
    return target_.CreateDirectory(path);
  }

 private:
  std::string refused_;
};

TEST_F(EngineCacheTest, AFailedOverrideLeavesNoFoldersBehind) {
  RefusedFolder files(machine_->files(), "C:\\New\\Refused");
  platform::PlatformRefs platform(files, machine_->registry(), machine_->system(), machine_->ui(),
                                  &machine_->installer(), &machine_->shell());
  EngineRun run(platform, image_, kDownloads);
  run.cache->BootstrapEngineCache();
  std::vector<std::string> created;
  EXPECT_FALSE(ProbeCacheOverride(run.session, "C:\\New\\Refused\\x", &created));
  EXPECT_EQ(created, std::vector<std::string>{"C:\\New"});
  machine_->files().RemoveDirectory("C:\\New");

  EXPECT_FALSE(run.cache->ApplyCacheOverride("C:\\New\\Refused\\x"));
  EXPECT_FALSE(Exists("C:\\New"));
  EXPECT_EQ(run.Var("ENGINECACHE"), kMachineCache);
}

TEST_F(EngineCacheTest, RegisteredCacheCountsOnlyWhenItsFolderIsTheRevision) {
  auto run = NewRun();
  const std::string key = std::string(kIdentCacheKey) + kProduct;
  machine_->registry().WriteValue(RegRoot::kLocalMachine, key, "", RegView::kNative,
                                  RegValue::String("C:\\Elsewhere\\{OTHER}\\"));
  EXPECT_EQ(run->cache->GetCacheRoot(true), "C:\\ProgramData\\");
  machine_->registry().WriteValue(RegRoot::kLocalMachine, key, "", RegView::kNative,
                                  RegValue::String(std::string("C:\\Elsewhere\\") + kRevision +
                                                   "\\"));
  EXPECT_EQ(run->cache->GetCacheRoot(true), "C:\\Elsewhere\\");
  // The letter case of the revision matters.
  machine_->registry().WriteValue(RegRoot::kLocalMachine, key, "", RegView::kNative,
                                  RegValue::String("C:\\Elsewhere\\" +
                                                   platform::LowerCase(kRevision) + "\\"));
  EXPECT_EQ(run->cache->GetCacheRoot(false), "C:\\Users\\User\\AppData\\Local\\");
  // The current user's key is read only when the machine's key does not exist.
  machine_->registry().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kNative);
  machine_->registry().WriteValue(RegRoot::kCurrentUser, key, "", RegView::kNative,
                                  RegValue::String(std::string("D:\\Mine\\") + kRevision));
  EXPECT_EQ(run->cache->GetCacheRoot(true), "D:\\Mine\\");
}

TEST_F(EngineCacheTest, InstallFillsTheCacheAndRegistersTheProduct) {
  Install();
  platform::FileSystem& f = machine_->files();
  const std::string c = kMachineCache;
  for (const char* name : {"setup.exe", "setup.msi", "setup.res", "zel.lib", "setup.bmp",
                           "setup.dat", "setup.par", "setup.lnk", "instance.dat"}) {
    EXPECT_TRUE(f.FileExists(c + name)) << name;
  }
  EXPECT_FALSE(f.FileExists(c + "setup.lan"));
  std::string text;
  f.ReadFile(c + "instance.dat", &text);
  EXPECT_EQ(text, std::string(kProduct) + "\r\n" + kRevision + "\r\nDemo\r\n");
  f.ReadFile(c + "setup.lnk", &text);
  EXPECT_EQ(text, "C:\\Demo.lnk|7|C:\\Demo\\demo.exe\r\n");
  f.ReadFile(c + "setup.par", &text);
  EXPECT_EQ(text, "AWRITEREG\r\nTRUE\r\n");
  uint32_t attributes = 0;
  f.GetAttributes(WithoutTrailing(c), &attributes);
  EXPECT_TRUE(attributes & platform::attr::kHidden);
  EXPECT_TRUE(machine_->sim_shell().IsCompressed(c));

  const std::string uninstall = std::string(kUninstallKey) + "Demo";
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "DisplayName"), "Demo");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "UninstallString"),
            "\"" + c + "setup.exe\" REMOVE=TRUE MODIFY=FALSE");
  // Every program path is quoted (a cache below a profile with a blank in its name).
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "ModifyPath"), "\"" + c + "setup.exe\"");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "Publisher"), "Kestrova");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "DisplayVersion"), "2.5.1");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "VersionMajor"), "2");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "VersionMinor"), "5");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, uninstall, "InstallLocation"),
            "C:\\Program Files (x86)\\Demo\\");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, std::string(kUninstallKey) + kProduct,
                       "UninstallString"),
            "\"" + c + "setup.exe\"");
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, std::string(kIdentCacheKey) + kProduct, ""), c);
  EXPECT_EQ(ReadString(RegRoot::kCurrentUser, uninstall, "DisplayName"), "<missing>");
}

// The package's own entry goes where the installer keeps it: the 64-bit view for a package of the
// 64-bit mode, the 32-bit view otherwise (the engine here is a 32-bit process on 64-bit Windows).
TEST_F(EngineCacheTest, ThePackagesUninstallEntryIsInTheViewOfThePackagesPlatform) {
  const std::string key = std::string(kUninstallKey) + kProduct;
  auto value_in = [&](RegView view) {
    RegValue value;
    return machine_->registry().ReadValue(RegRoot::kLocalMachine, key, "UninstallString", view,
                                          &value) == Status::kOk;
  };
  for (const std::string platform_text : {"x64", "Win32"}) {
    auto run = NewRun();
    run->cache->BootstrapEngineCache();
    run->DefineLateVariables();
    run->platform_text = platform_text;  // the script's Set 64 Bit Mode
    run->table.Define("Main", true, "");
    run->cache->UpdateEngineCache(CacheUpdate::kInstall);
    const bool sixty_four = platform_text == "x64";
    EXPECT_EQ(value_in(RegView::kView64), sixty_four) << platform_text;
    EXPECT_EQ(value_in(RegView::kView32), !sixty_four) << platform_text;
    machine_->registry().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView64);
    machine_->registry().DeleteKeyTree(RegRoot::kLocalMachine, key, RegView::kView32);
  }
  // Our own entry (named by the title) stays in the engine's view either way.
  EXPECT_EQ(ReadString(RegRoot::kLocalMachine, std::string(kUninstallKey) + "Demo", "DisplayName"),
            "Demo");
}

TEST_F(EngineCacheTest, MaintenanceRunFromTheCacheLoadsWhatTheInstallationSaved) {
  Install();
  auto run = NewRun(kMachineCache);
  run->cache->BootstrapEngineCache();
  EXPECT_EQ(run->Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(run->Var("NEEDSUPGRADE"), "FALSE");
  EXPECT_EQ(run->Var("NEWINSTANCE"), "FALSE");
  EXPECT_EQ(run->Var("COLOR"), "blue");
  EXPECT_EQ(run->Var("TARGETDIR"), "C:\\Program Files (x86)\\Demo\\");
  EXPECT_TRUE(run->table.GetState("Main"));
  EXPECT_FALSE(run->table.GetState("Main\\Help"));
  // What is installed is the baseline: nothing more is required until the selection grows.
  EXPECT_EQ(run->table.installed_baseline(), 1000);
  EXPECT_EQ(run->table.RequiredSpace(), 0);
  EXPECT_EQ(run->cache->previous_pins(),
            std::vector<std::string>{"C:\\Demo.lnk|7|C:\\Demo\\demo.exe"});
  EXPECT_EQ(run->session.properties.session_properties(),
            (std::vector<std::string>{"AWRITEREG", "TRUE"}));

  // The same setup started again from its download folder may become a new instance.
  auto again = NewRun();
  again->cache->BootstrapEngineCache();
  EXPECT_EQ(again->Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(again->Var("NEWINSTANCE"), "TRUE");
}

TEST_F(EngineCacheTest, EndOfRunWithoutChangesUpdatesOnlyTheSavedVariables) {
  Install();
  auto run = NewRun(kMachineCache);
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->table.SetState("Main\\Help", true);
  run->session.variables.SetVariable("COLOR", "green", "Set Variable Action");
  run->cache->SaveRunState();

  auto next = NewRun(kMachineCache);
  next->cache->BootstrapEngineCache();
  EXPECT_EQ(next->Var("COLOR"), "green");
  EXPECT_FALSE(next->table.GetState("Main\\Help"));  // no Apply Changes: selection as installed
}

TEST_F(EngineCacheTest, NewSetupOfAnInstalledProductWithAnotherPackageNeedsAnUpgrade) {
  Install();
  image_.revision_code = "{99999999-8888-7777-6666-555555555555}";
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  EXPECT_EQ(run->Var("NEEDSUPGRADE"), "TRUE");
  EXPECT_EQ(run->Var("MAINTENANCE"), "FALSE");
  EXPECT_EQ(run->Var("NEWINSTANCE"), "TRUE");
  EXPECT_EQ(run->Var("COLOR"), "");  // old data only when the setup asks for it

  image_.compiler_variables = image::HashedList({"LOADOLDDATA", "TRUE"});
  auto loading = NewRun();
  loading->cache->BootstrapEngineCache();
  EXPECT_EQ(loading->Var("COLOR"), "blue");
  EXPECT_TRUE(loading->table.GetState("Main"));

  // The package code compares without letter case.
  machine_->sim_installer().SetProduct(kProduct, platform::install_state::kDefault,
                                       platform::LowerCase(image_.revision_code));
  auto same = NewRun();
  same->cache->BootstrapEngineCache();
  EXPECT_EQ(same->Var("NEEDSUPGRADE"), "FALSE");
  EXPECT_EQ(same->Var("MAINTENANCE"), "TRUE");
}

TEST_F(EngineCacheTest, RemovalWithSaveDataKeepsTheCacheAndDropsTheRegistration) {
  Install();
  auto run = NewRun(kMachineCache);
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->session.variables.SetVariable("SAVEDATA", "TRUE", "Set Variable Action");
  run->cache->UpdateEngineCache(CacheUpdate::kRemove);
  EXPECT_TRUE(machine_->files().FileExists(std::string(kMachineCache) + "setup.dat"));
  EXPECT_TRUE(machine_->files().FileExists(std::string(kMachineCache) + "setup.exe"));
  EXPECT_FALSE(run->cache->cache_removed());
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    EXPECT_EQ(machine_->registry().KeyExists(root, std::string(kUninstallKey) + "Demo",
                                             RegView::kNative),
              Status::kNotFound);
    EXPECT_EQ(machine_->registry().KeyExists(root, std::string(kIdentCacheKey) + kProduct,
                                             RegView::kNative),
              Status::kNotFound);
  }
}

// A link inside the cache (a junction a user or another program made) goes itself; what it
// points to stays.
TEST_F(EngineCacheTest, RemovalNeverFollowsALinkOutOfTheCache) {
  Install();
  platform::FileSystem& files = machine_->files();
  ASSERT_EQ(files.CreateDirectories("C:\\Users\\User\\Documents\\Mine"), Status::kOk);
  ASSERT_EQ(files.WriteFile("C:\\Users\\User\\Documents\\Mine\\thesis.txt", "years"),
            Status::kOk);
  // Host paths of the machine: drive_c, then the path as the machine names it.
  const std::filesystem::path drive = folder_ / "drive_c";
  std::filesystem::path cache = drive;
  for (const char* part : {"ProgramData", kRevision}) cache /= part;
  ASSERT_TRUE(std::filesystem::exists(cache)) << cache;
  std::filesystem::create_directory_symlink(drive / "Users" / "User" / "Documents" / "Mine",
                                            cache / "linked");
  uint32_t attributes = 0;
  ASSERT_EQ(files.GetAttributes(std::string(kMachineCache) + "linked", &attributes), Status::kOk);
  EXPECT_TRUE(attributes & platform::attr::kReparsePoint);
  auto run = NewRun(kDownloads);
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->cache->UpdateEngineCache(CacheUpdate::kRemove);
  EXPECT_TRUE(files.FileExists("C:\\Users\\User\\Documents\\Mine\\thesis.txt"));
  EXPECT_FALSE(std::filesystem::is_symlink(cache / "linked"));
  EXPECT_FALSE(Exists(kMachineCache));
}

// Without a title the registration's key would be the Uninstall key itself: nothing is written
// there and a removal deletes nobody's registration.
// The per-machine cache is a folder standard users may read but not change, made by
// administrators' runs only.
TEST_F(EngineCacheTest, ThePerMachineCacheIsProtectedAndOnlyAnAdministratorMakesIt) {
  // A standard user's run that asks for a per-machine installation makes no per-machine folder,
  // neither at Apply Changes nor when it saves its variables, and registers nothing.
  StartMachine("user.admin = false\n");
  {
    auto run = NewRun();
    std::vector<std::string> trace;
    run->session.trace = [&](std::string_view e) { trace.emplace_back(e); };
    run->cache->BootstrapEngineCache();
    run->DefineLateVariables();
    run->session.variables.SetVariable("ALLUSERS", "TRUE", "Set Variable Action");
    run->session.variables.DefineVariable("COLOR", "blue", "Set Variable Action");
    run->session.variables.AddSavedVariable("COLOR");
    run->table.Define("Main", true, "");
    run->cache->UpdateEngineCache(CacheUpdate::kInstall);
    run->cache->SaveRunState();
    EXPECT_FALSE(Exists(WithoutTrailing(kMachineCache)));
    EXPECT_EQ(ReadString(RegRoot::kLocalMachine, std::string(kUninstallKey) + "Demo",
                         "DisplayName"),
              "<missing>");
    EXPECT_NE(std::find(trace.begin(), trace.end(),
                        std::string("    <RefusedCacheFolder ") + kMachineCache +
                            ": per-machine, no administrator rights>"),
              trace.end());
  }
  // An administrator's installation protects it: the users may read, not change.
  StartMachine("user.admin = true\n");
  Install();
  platform::AccessFacts facts;
  ASSERT_EQ(machine_->shell().GetAccessFacts(WithoutTrailing(kMachineCache), &facts), Status::kOk);
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);
  EXPECT_TRUE(facts.users_may_read);
  StartMachine("user.admin = false\n");
  platform::FileSystem& f = machine_->files();
  EXPECT_EQ(f.WriteFile(std::string(kMachineCache) + "setup.dat", "planted"),
            Status::kAccessDenied);
  EXPECT_EQ(f.WriteFile(std::string(kMachineCache) + "version.dll", "planted"),
            Status::kAccessDenied);
  std::string text;
  EXPECT_EQ(f.ReadFile(std::string(kMachineCache) + "setup.exe", &text), Status::kOk);
}

// Another user, a standard one, makes the per-machine cache folder before an administrator's run
// and plants a data file in it (it could set any variable and move the cache to a folder of
// theirs): the administrator's run neither loads it nor fills, hides or removes the folder.
TEST_F(EngineCacheTest, AnAdministratorsRunNeverUsesACacheFolderAStandardUserMade) {
  // A genuine data file of this product, made by an installation, with one value changed.
  Install();
  std::string data;
  ASSERT_EQ(machine_->files().ReadFile(std::string(kMachineCache) + "setup.dat", &data),
            Status::kOk);
  const size_t blue = data.find("blue");
  ASSERT_NE(blue, std::string::npos);
  const std::string planted = data.replace(blue, 4, "red");
  platform::DeleteTree(machine_->files(), kMachineCache);
  ASSERT_FALSE(Exists(WithoutTrailing(kMachineCache)));

  StartMachine("user = Mallory\nuser.admin = false\n");
  ASSERT_EQ(machine_->files().CreateDirectory(WithoutTrailing(kMachineCache)), Status::kOk);
  ASSERT_EQ(machine_->files().WriteFile(std::string(kMachineCache) + "setup.dat", planted),
            Status::kOk);

  StartMachine("user = User\nuser.admin = true\n");
  platform::FileSystem& f = machine_->files();
  auto run = NewRun();
  std::vector<std::string> trace;
  run->session.trace = [&](std::string_view e) { trace.emplace_back(e); };
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  EXPECT_EQ(run->Var("MAINTENANCE"), "TRUE");
  EXPECT_EQ(run->Var("COLOR"), "");
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      std::string("    <UntrustedCacheFolder ") + kMachineCache + ">"),
            trace.end());
  run->session.variables.SetVariable("ALLUSERS", "TRUE", "Set Variable Action");
  run->table.Define("Main", true, "");
  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  run->cache->SaveRunState();
  EXPECT_FALSE(f.FileExists(std::string(kMachineCache) + "setup.exe"));
  std::string text;
  ASSERT_EQ(f.ReadFile(std::string(kMachineCache) + "setup.dat", &text), Status::kOk);
  EXPECT_EQ(text, planted);  // theirs, as they left it
  uint32_t attributes = 0;
  f.GetAttributes(WithoutTrailing(kMachineCache), &attributes);
  EXPECT_FALSE(attributes & platform::attr::kHidden);
  EXPECT_FALSE(machine_->sim_shell().IsCompressed(kMachineCache));
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      std::string("    <RefusedCacheFolder ") + kMachineCache +
                          ": owned by another user>"),
            trace.end());
  // A removal leaves it too.
  auto removal = NewRun();
  removal->cache->BootstrapEngineCache();
  removal->DefineLateVariables();
  removal->session.variables.SetVariable("ALLUSERS", "TRUE", "Set Variable Action");
  removal->cache->UpdateEngineCache(CacheUpdate::kRemove);
  EXPECT_TRUE(f.FileExists(std::string(kMachineCache) + "setup.dat"));
}

TEST_F(EngineCacheTest, NoRegistrationWithoutATitle) {
  const std::string other = std::string(kUninstallKey) + "{0E2E0000-0000-4000-8000-00000000BEEF}";
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    ASSERT_EQ(machine_->registry().WriteValue(root, other, "DisplayName", RegView::kNative,
                                              RegValue::String("Other")),
              Status::kOk);
  }
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->session.variables.SetVariable("TITLE", "", "Set Variable Action");
  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  RegValue value;
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    EXPECT_NE(machine_->registry().ReadValue(root, kUninstallKey, "DisplayName", RegView::kNative,
                                             &value),
              Status::kOk);
  }
  run->cache->UpdateEngineCache(CacheUpdate::kRemove);
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    EXPECT_EQ(machine_->registry().KeyExists(root, other, RegView::kNative), Status::kOk);
  }
}

// The running engine's image cannot be deleted.
class LockedEngineFiles : public platform::FileSystemWrapper {
 public:
  LockedEngineFiles(platform::FileSystem& target, std::string locked)
      : FileSystemWrapper(target), locked_(std::move(locked)) {}
  Status DeleteFile(const std::string& path) override {
    if (platform::SameText(path, locked_)) return Status::kAccessDenied;
    return target_.DeleteFile(path);
  }

 private:
  std::string locked_;
};

TEST_F(EngineCacheTest, RemovalFromTheRunningCacheMovesItAsideUntilTheRestart) {
  Install();
  const std::string c = kMachineCache;
  LockedEngineFiles files(machine_->files(), c + "setup.exe");
  platform::PlatformRefs platform(files, machine_->registry(), machine_->system(), machine_->ui(),
                                  &machine_->installer(), &machine_->shell());
  EngineRun run(platform, image_, c);
  run.cache->BootstrapEngineCache();
  run.DefineLateVariables();
  run.cache->UpdateEngineCache(CacheUpdate::kRemove);
  run.cache->SaveRunState();
  EXPECT_TRUE(run.cache->cache_removed());
  EXPECT_FALSE(Exists(c));
  EXPECT_TRUE(machine_->files().FileExists("C:\\ProgramData\\~0\\setup.exe"));
  EXPECT_FALSE(machine_->files().FileExists("C:\\ProgramData\\~0\\setup.dat"));
  EXPECT_EQ(machine_->sim_shell().PendingDeletions(),
            (std::vector<std::string>{"C:\\ProgramData\\~0\\setup.exe", "C:\\ProgramData\\~0"}));
  EXPECT_EQ(machine_->registry().KeyExists(RegRoot::kLocalMachine,
                                           std::string(kUninstallKey) + "Demo", RegView::kNative),
            Status::kNotFound);

  StartMachine();
  EXPECT_EQ(machine_->SimulateRestart(), 2u);
  EXPECT_FALSE(Exists("C:\\ProgramData\\~0"));
  EXPECT_TRUE(machine_->sim_shell().PendingDeletions().empty());
}

TEST_F(EngineCacheTest, AdvertiseKeepsAMarkerFolderThatAnInstallationRemoves) {
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->cache->UpdateEngineCache(CacheUpdate::kAdvertise);
  EXPECT_TRUE(machine_->files().DirectoryExists(std::string(kMachineCache) + "__ad"));
  EXPECT_TRUE(machine_->files().FileExists(std::string(kMachineCache) + "instance.dat"));
  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  EXPECT_FALSE(Exists(std::string(kMachineCache) + "__ad"));
}

TEST_F(EngineCacheTest, WebBuildWithoutCachedSourcesKeepsOnlyTheOfflineFolder) {
  image_.build_mode = image::ScriptImage::kWebBuild;
  image_.compiler_variables = image::HashedList({"CACHESOURCES", "false"});
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  EXPECT_EQ(run->Var("DATADIR"), kMachineCache);
  EXPECT_EQ(run->cache->offline_source(), std::string(kDownloads) + "data\\");
  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  platform::FileSystem& f = machine_->files();
  const std::string c = kMachineCache;
  EXPECT_TRUE(f.FileExists(c + kProduct));  // the source marker
  f.CreateDirectories(c + "Block1");
  f.WriteFile(c + "Block1\\data.7z", "x");
  f.CreateDirectories(c + "OFFLINE");
  f.WriteFile(c + "OFFLINE\\a.cab", "x");
  run->cache->SaveRunState();
  EXPECT_FALSE(Exists(c + "Block1"));
  EXPECT_TRUE(f.FileExists(c + "OFFLINE\\a.cab"));
  EXPECT_TRUE(f.FileExists(c + "setup.exe"));
}

TEST_F(EngineCacheTest, PatchBuildSavesIntoTheInstalledRevisionsFolder) {
  image_.build_mode = image::ScriptImage::kPatchBuild;
  const std::string old_cache = "C:\\ProgramData\\{0000000A-0000-4000-8000-0000000000AA}\\";
  machine_->registry().WriteValue(
      RegRoot::kCurrentUser, std::string(kUninstallKey) + "Demo", "UninstallString",
      RegView::kNative, RegValue::String("\"" + old_cache + "setup.exe\" REMOVE=TRUE MODIFY=FALSE"));
  auto run = NewRun();
  run->cache->BootstrapEngineCache();
  run->DefineLateVariables();
  run->session.variables.SetVariable("ALLUSERS", "FALSE", "Set Variable Action");
  EXPECT_EQ(run->cache->InstalledUninstallCommand(false),
            old_cache + "setup.exe REMOVE=TRUE MODIFY=FALSE");
  EXPECT_EQ(run->cache->InstalledUninstallCommand(true), "");
  EXPECT_EQ(run->cache->CacheFolderName(), "{0000000A-0000-4000-8000-0000000000AA}");
  run->session.variables.DefineVariable("COLOR", "red", "Set Variable Action");
  run->session.variables.AddSavedVariable("COLOR");
  run->cache->UpdateEngineCache(CacheUpdate::kInstall);
  run->cache->SaveRunState();
  EXPECT_TRUE(machine_->files().FileExists("C:\\Users\\User\\AppData\\Local\\{0000000A-0000-4000-8000-0000000000AA}\\setup.dat"));
  EXPECT_FALSE(Exists(std::string("C:\\Users\\User\\AppData\\Local\\") + kRevision));
}

}  // namespace
}  // namespace corvane::install
