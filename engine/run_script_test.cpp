// Whole runs on one simulated machine: start-up, the session start, the engine cache between
// runs, the command line and the single-instance lock.
#include "engine/run_script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "install/engine_cache.h"
#include "interp/handlers.h"
#include "platform/sim/sim_platform.h"
#include "tools/corvane-image/script_text.h"
#include "ui/components.h"
#include "ui/components_session.h"

namespace corvane::engine {
namespace {

namespace fs = std::filesystem;

// What the probe command saw, by variable name.
std::map<std::string, std::string> g_seen;

// "Test Probe" records the variables named by its parameters.
void Probe(interp::CommandContext& ctx) {
  for (long n = 1; n <= 8; ++n) {
    std::string name = ctx.params().Raw(n);
    if (!name.empty()) g_seen[name] = ctx.variables().GetVariable(name);
  }
}
// "Test Install" stands in for the installer session: the product becomes installed with this
// build's package code and the engine cache is filled as after a successful installation.
void InstallForTest(interp::CommandContext& ctx);

std::string EngineStub() {
  std::string pe(0x400, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = char(0x80), pe[0x80] = 'P', pe[0x81] = 'E';
  pe[0x86] = 1;
  pe[0x94] = char(0xF0);
  size_t entry = 0x84 + 20 + 0xF0;
  pe[entry + 17] = 0x02;
  pe[entry + 21] = 0x02;
  return pe;
}

platform::SimPlatform* g_sim = nullptr;

void InstallForTest(interp::CommandContext& ctx) {
  g_sim->sim_installer().SetProduct(ctx.session().image.product_code, 5,
                                    ctx.session().image.revision_code);
  ctx.session().Find<install::EngineCache>()->UpdateEngineCache(install::CacheUpdate::kInstall);
}

CORVANE_COMMAND("Test Probe", Probe);
CORVANE_COMMAND("Test Install", InstallForTest);

const char* kScript =
    ".product-code \"{AAAA0000-0000-4000-8000-000000000001}\"\n"
    ".revision-code \"{AAAA0000-0000-4000-8000-0000000000B1}\"\n"
    ".title \"Probe\"\n"
    ".component \"Docs\" 2048\n"
    ".compiler-variable \"SINGLEINSTANCE\" \"TRUE\"\n"
    "Test Probe \"MAINTENANCE\" \"NEEDSUPGRADE\" \"NEWINSTANCE\" \"TARGETDIR\" \"SILENT\"\n"
    "Define Component \"Docs\" \"TRUE\" \"\"\n"
    "Get Component State \"Docs\" \"DOCS\"\n"
    "Test Probe \"DOCS\"\n"
    "If \"MAINTENANCE\" \"0\" \"FALSE\" \"FALSE\"\n"
    "  Set Component State \"Docs\" \"FALSE\"\n"
    "  Test Install\n"
    "End\n";

class WholeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-run-" + std::string(
                ::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    platform::SimOptions options;
    options.machine_folder = dir_.string();
    options.module_path = "C:\\Setup\\setup.exe";
    options.save_registry_on_exit = false;
    sim_ = platform::CreateSimPlatform(options);
    g_sim = sim_.get();
    Write(kScript);
  }
  void TearDown() override {
    g_sim = nullptr;
    sim_.reset();
    fs::remove_all(dir_);
  }

  void Write(const std::string& script) {
    tools::TextCompileResult r = tools::CompileScriptText(script, "C:\\src\\probe.zel");
    ASSERT_TRUE(r.ok) << r.error;
    auto& f = sim_->files();
    f.CreateDirectories("C:\\Setup");
    f.WriteFile("C:\\Setup\\setup.exe", EngineStub() + r.image);
    f.WriteFile("C:\\Setup\\setup.res", "support");
    f.WriteFile("C:\\Setup\\setup.msi", "database");
  }

  int Run(const std::string& args) {
    g_seen.clear();
    StartupServices services;
    services.extract_archive = [](const std::string&, const std::string&) { return true; };
    services.run_script = [this](StartupState& state, TraceLog& trace) {
      RunOutcome outcome = RunScript(*sim_, state, trace, RunServices{});
      state.end_at_once = outcome.end_now;
      return outcome.exit_code;
    };
    return RunEngine(*sim_, services, "\"C:\\Setup\\setup.exe\" " + args);
  }

  fs::path dir_;
  std::unique_ptr<platform::SimPlatform> sim_;
};

TEST_F(WholeRun, AnInstalledProductMakesTheNextRunAMaintenanceRun) {
  ASSERT_EQ(Run("/s"), 0);
  EXPECT_EQ(g_seen["MAINTENANCE"], "FALSE");
  EXPECT_EQ(g_seen["NEEDSUPGRADE"], "FALSE");
  EXPECT_EQ(g_seen["SILENT"], "TRUE");
  EXPECT_EQ(g_seen["DOCS"], "TRUE");
  // The second run finds the product installed: a maintenance run that loads the selection the
  // cache saved after the installation (Docs was deselected before it).
  ASSERT_EQ(Run("/s"), 0);
  EXPECT_EQ(g_seen["MAINTENANCE"], "TRUE");
  EXPECT_EQ(g_seen["NEEDSUPGRADE"], "FALSE");
  EXPECT_EQ(g_seen["NEWINSTANCE"], "TRUE");  // this engine does not run from the cache
  EXPECT_EQ(g_seen["DOCS"], "FALSE");
  // A product installed with another package code asks for an upgrade instead.
  sim_->sim_installer().SetProduct("{AAAA0000-0000-4000-8000-000000000001}", 5,
                                   "{BBBB0000-0000-4000-8000-000000000002}");
  ASSERT_EQ(Run("/s"), 0);
  EXPECT_EQ(g_seen["MAINTENANCE"], "FALSE");
  EXPECT_EQ(g_seen["NEEDSUPGRADE"], "TRUE");
  EXPECT_EQ(g_seen["NEWINSTANCE"], "TRUE");
}

TEST_F(WholeRun, TheCommandLineBeatsTheBootstrap) {
  ASSERT_EQ(Run("/s"), 0);  // a first run: the bootstrap's default folder
  EXPECT_NE(g_seen["TARGETDIR"].find("\\Probe\\"), std::string::npos) << g_seen["TARGETDIR"];
  // A maintenance run: the bootstrap loads the installed folder, the command line beats it.
  ASSERT_EQ(Run("/s TARGETDIR=D:\\App"), 0);
  EXPECT_EQ(g_seen["MAINTENANCE"], "TRUE");
  EXPECT_EQ(g_seen["TARGETDIR"], "D:\\App");
}

TEST_F(WholeRun, TheSavedStateKeepsThe64BitPlatform) {
  Write(".product-code \"{AAAA0000-0000-4000-8000-000000000001}\"\n"
        ".revision-code \"{AAAA0000-0000-4000-8000-0000000000B1}\"\n"
        "Set Variable \"KEEP$VORT$VORT$TRUE\" \"kept\"\n"
        "Test Install\n"
        "Set 64 Bit Mode \"\" \"\" \"TRUE\"\n"
        "Test Probe \"ENGINECACHE\"\n");
  // The installation writes the data file in full; the end of the run writes it again, after
  // the exit clean-up, with the platform the script switched to since.
  ASSERT_EQ(Run("/s"), 0);
  std::string saved;
  ASSERT_EQ(sim_->files().ReadFile(g_seen["ENGINECACHE"] + "setup.dat", &saved),
            platform::Status::kOk);
  EXPECT_NE(saved.find("KEEP\r\nkept\r\n"), std::string::npos);
  EXPECT_NE(saved.find("VORT64WOW\r\nx64\r\n"), std::string::npos) << saved;
}

TEST_F(WholeRun, ASecondInstanceReturnsAtOnce) {
  // The lock file of a running instance of this setup: held open, without sharing.
  const std::string lock = sim_->system().TempFolder() + "{AAAA0000-0000-4000-8000-0000000000B1}.zel";
  platform::Status status;
  auto held = sim_->files().Open(lock, platform::OpenMode::kExclusiveTemp, &status);
  ASSERT_TRUE(held);
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_TRUE(g_seen.empty());  // no command ran
  held.reset();
  EXPECT_FALSE(sim_->files().FileExists(lock));
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_FALSE(g_seen.empty());
  // The run held the lock while it ran and let it go at the end.
  EXPECT_FALSE(sim_->files().FileExists(lock));
}

// A lock file that nobody holds is what a run that ended abnormally left behind: it never
// blocks the runs after it. One that cannot be made is a start-up failure.
TEST_F(WholeRun, AStaleLockIsTakenOverAndAnUnusableOneEndsTheRun) {
  const std::string lock = sim_->system().TempFolder() + "{AAAA0000-0000-4000-8000-0000000000B1}.zel";
  ASSERT_EQ(sim_->files().WriteFile(lock, ""), platform::Status::kOk);
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_FALSE(g_seen.empty());
  EXPECT_FALSE(sim_->files().FileExists(lock));
  g_seen.clear();
  ASSERT_EQ(sim_->files().CreateDirectory(lock), platform::Status::kOk);
  EXPECT_EQ(Run("/s"), kExitStartupFailure);
  EXPECT_TRUE(g_seen.empty());
  EXPECT_TRUE(sim_->files().DirectoryExists(lock));  // not ours to remove
}

}  // namespace
}  // namespace corvane::engine
