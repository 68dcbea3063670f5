// Installations, repairs and removals of wixl-built packages by whole setups: under Wine through
// the real installer, natively on the simulated machine.
#include "tests/e2e/e2e_support.h"

namespace {

using namespace corvane::e2e;
namespace fs = std::filesystem;

// The end of a script that tells its result by its exit code: 40 complete, 41 an error with
// LASTERROR set, 43 an error without, 42 cancelled, 44 a restart.
const char* kReportResult =
    "If \"RESULT\" \"0\" \"COMPLETE\" \"FALSE\"\n"
    "  Terminate with Exit Code \"40\"\n"
    "End\n"
    "If \"RESULT\" \"0\" \"CANCEL\" \"FALSE\"\n"
    "  Terminate with Exit Code \"42\"\n"
    "End\n"
    "If \"RESULT\" \"0\" \"REBOOT\" \"FALSE\"\n"
    "  Terminate with Exit Code \"44\"\n"
    "End\n"
    "If \"LASTERROR\" \"0\" \"\" \"FALSE\"\n"
    "  Terminate with Exit Code \"43\"\n"
    "End\n"
    "Terminate with Exit Code \"41\"\n";

std::string InstallScript(const std::string& title) {
  return ".product-code \"{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}\"\n"
         ".title \"" + title + "\"\n"
         ".publisher \"Example Ltd\"\n"
         ".version \"1.0.0\"\n"
         ".revision-code \"{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A002}\"\n"
         "Define Component \"Main\" \"TRUE\" \"\"\n"
         "Set Variable \"RESULT\" \"\"\n"
         "If \"REMOVE\" \"0\" \"TRUE\" \"FALSE\"\n"
         "  Apply Changes \"Progress\" \"RESULT\" \"FALSE\" \"TRUE\"\n"
         "Else\n"
         "  Apply Changes \"Progress\" \"RESULT\" \"TRUE\" \"FALSE\"\n"
         "End\n" +
         std::string(kReportResult);
}

class ApplyChanges : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    if (IsSkipped()) return;
    dialogs_ = "Progress\n";
    revision_from_package_ = true;
  }
  void TearDown() override {
    // The Wine prefix serves every case: a product a case left installed is removed.
    if (!cache_engine_.empty() && fs::exists(HostOf(cache_engine_))) {
      fs::path log;
      runner_->RunOnMachine(cache_engine_, "/s REMOVE=TRUE MODIFY=FALSE", dir_, &log);
    }
    EndToEnd::TearDown();
  }

  fs::path HostOf(const std::string& machine_path) {
    std::string rest = machine_path.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return runner_->DriveC() / rest;
  }
  fs::path InstallFolder() { return runner_->DriveC() / "Program Files (x86)" / "Hello"; }
  // The engine cache folder of the setup (per machine), from its revision code.
  std::string CacheFolder(const fs::path& setup) {
    Shell("msiinfo suminfo " + (setup / "setup.msi").string() +
          " | sed -n 's/^Revision number (UUID): *//p' > " + (dir_ / "code.txt").string());
    std::string code = ReadFile(dir_ / "code.txt");
    while (!code.empty() && (code.back() == '\n' || code.back() == '\r')) code.pop_back();
    return "C:\\ProgramData\\" + code + "\\";
  }

  std::string cache_engine_;
};

TEST_P(ApplyChanges, AFirstInstallPlacesTheProductAndTheCachedEngineRemovesIt) {
  fs::path setup = MakeSetup("hello", InstallScript("Hello World"));
  const std::string cache = CacheFolder(setup);
  cache_engine_ = cache + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);

  EXPECT_TRUE(fs::exists(InstallFolder() / "readme.txt"));
  EXPECT_EQ(ReadFile(InstallFolder() / "greeting.txt"),
            "Hello! This file was installed by the sample setup.\n");
  EXPECT_TRUE(fs::exists(InstallFolder() / "licence.txt"));
  EXPECT_EQ(runner_->ReadRegistry("HKLM", "Software\\Example Ltd\\Hello World", "Greeting", true),
            "Hello from the sample setup");
  // The engine's own registration and cache.
  const std::string uninstall = runner_->ReadRegistry(
      "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello World",
      "UninstallString", !runner_->Engine64());
  EXPECT_NE(uninstall.find("setup.exe\" REMOVE=TRUE MODIFY=FALSE"), std::string::npos)
      << uninstall;
  for (const char* name : {"setup.exe", "setup.msi", "setup.res", "setup.dat", "setup.par"}) {
    EXPECT_TRUE(fs::exists(HostOf(cache + name))) << cache << name;
  }

  // The cached engine's maintenance run removes the product, its cache and its registration.
  ASSERT_EQ(runner_->RunOnMachine(cache_engine_, "/s REMOVE=TRUE MODIFY=FALSE", dir_, &log), 40)
      << LastLine(log);
  EXPECT_FALSE(fs::exists(InstallFolder() / "readme.txt"));
  EXPECT_FALSE(fs::exists(InstallFolder() / "greeting.txt"));
  EXPECT_EQ(runner_->ReadRegistry("HKLM", "Software\\Example Ltd\\Hello World", "Greeting", true),
            "<missing>");
  EXPECT_EQ(runner_->ReadRegistry(
                "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hello World",
                "UninstallString", !runner_->Engine64()),
            "<missing>");
  EXPECT_FALSE(fs::exists(HostOf(cache)));
}

TEST_P(ApplyChanges, ARunWhileInstalledRepairsTheProduct) {
  fs::path setup = MakeSetup("hello", InstallScript("Hello World"));
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  fs::remove(InstallFolder() / "greeting.txt");
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  // The repair puts back the file that went missing.
  EXPECT_TRUE(fs::exists(InstallFolder() / "greeting.txt"));
  if (auto* sim = dynamic_cast<SimRunner*>(runner_.get())) {
    EXPECT_NE(sim->Transcript().find("REINSTALL=ALL REINSTALLMODE=vomus ALLUSERS=1 "),
              std::string::npos);
  }
  // Without the source marker in its data folder a silent maintenance install cannot find its
  // sources: it cancels with the reason, and nothing is touched.
  fs::remove(setup / "data" / "{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}");
  fs::remove(InstallFolder() / "greeting.txt");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 42) << LastLine(log);
  EXPECT_FALSE(fs::exists(InstallFolder() / "greeting.txt"));
  EXPECT_TRUE(fs::exists(InstallFolder() / "readme.txt"));
}

TEST_P(ApplyChanges, ARefusingPackageGivesErrorWithItsTextAndTheScriptGoesOn) {
  wxs_ = kSource / "tests" / "fixtures" / "installer" / "refusing.wxs";
  fs::path setup = MakeSetup("refusing", InstallScript("Refusing Package"));
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 41) << LastLine(log);
  EXPECT_FALSE(fs::exists(runner_->DriveC() / "Program Files (x86)" / "Refusing Package"));
}

TEST_P(ApplyChanges, ATitleWithAnApostropheInstalls) {
  fs::path setup = MakeSetup("bobs", InstallScript("Bob's Tool"));
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  EXPECT_TRUE(fs::exists(InstallFolder() / "readme.txt"));
  EXPECT_NE(runner_->ReadRegistry(
                "HKLM", "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bob's Tool",
                "UninstallString", !runner_->Engine64()),
            "<missing>");
}

INSTANTIATE_TEST_SUITE_P(Runners, ApplyChanges, ::testing::Values("sim", "wine"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
