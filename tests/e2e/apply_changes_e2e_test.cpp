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

// A shortcut of the package with an application identity and pins: after the installation the
// identity pass and the pin pass run over it, and the removal's pass before its installer call
// unpins what the installation pinned.
TEST_P(ApplyChanges, ShortcutsGetTheirIdentityAndPinsAndTheRemovalUnpinsThem) {
  // Where the package's shortcut lands: Wine's installer takes the user's Start menu.
  const std::string menu =
      GetParam() == "sim"
          ? "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"
          : "C:\\users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
  const std::string target = "C:\\Program Files (x86)\\Hello\\readme.txt";
  std::string script = InstallScript("Hello World");
  const std::string line = "[header 0A1B2C3D] Create Shortcut \"" + target +
                           "\" \"Hello World readme\" \"" + menu +
                           "\" \"Read me first\" \"\" \"\" \"\" \"|Example.HelloWorld\" \"|X7\"\n";
  script.insert(script.find("Set Variable \"RESULT\""), line);
  fs::path setup = MakeSetup("hello", script);
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  const fs::path link = HostOf(menu + "\\Hello World readme.lnk");
  ASSERT_TRUE(fs::exists(link)) << "the package's shortcut";
  // The installer's own log is appended to the trace file in its own encoding, so the trace's
  // entries are looked for as they are written, wherever they lie.
  auto traced = [&](const std::string& part) {
    std::string wide;
    for (char c : part) wide += std::string{c, '\0'};
    return ReadFile(log).find(wide) != std::string::npos;
  };
  EXPECT_TRUE(traced("<ShortcutIdentity>" + menu + "\\Hello World readme.lnk"));
  if (GetParam() == "sim") {
    EXPECT_TRUE(traced("<ShortcutIdentity>" + menu + "\\Hello World readme.lnk</ShortcutIdentity>"));
  }
  EXPECT_TRUE(traced("<Pin>" + menu + "\\Hello World readme.lnk"));
  const fs::path pinned_folder =
      runner_->DriveC() / (GetParam() == "sim" ? "Users/User" : "users/root") /
      "AppData/Roaming/Microsoft/Internet Explorer/Quick Launch/User Pinned";
  if (GetParam() == "sim") {
    // The simulated shell keeps what it pinned, and the identity inside the shortcut file.
    EXPECT_NE(ReadFile(link).find("identity=Example.HelloWorld"), std::string::npos);
    const std::string pinned = ReadFile(runner_->DriveC().parent_path() / "pinned.txt");
    EXPECT_NE(pinned.find("taskbar C:\\PROGRAMDATA\\MICROSOFT\\WINDOWS\\START MENU\\PROGRAMS\\HELLO "
                          "WORLD README.LNK"),
              std::string::npos)
        << pinned;
    EXPECT_NE(pinned.find("startmenu C:\\PROGRAMDATA"), std::string::npos) << pinned;
  } else if (traced("readme.lnk FAIL</Pin>")) {
    // Where the shell offers no pin verb, the pinned shortcut files are made directly.
    EXPECT_TRUE(fs::exists(pinned_folder / "TaskBar" / "Hello World readme.lnk"));
    EXPECT_TRUE(fs::exists(pinned_folder / "StartMenu" / "Hello World readme.lnk"));
  }

  ASSERT_EQ(runner_->RunOnMachine(cache_engine_, "/s REMOVE=TRUE MODIFY=FALSE", dir_, &log), 40)
      << LastLine(log);
  EXPECT_FALSE(fs::exists(link));
  if (GetParam() == "sim") {
    EXPECT_EQ(ReadFile(runner_->DriveC().parent_path() / "pinned.txt"), "");
  } else {
    EXPECT_FALSE(fs::exists(pinned_folder / "TaskBar" / "Hello World readme.lnk"));
    EXPECT_FALSE(fs::exists(pinned_folder / "StartMenu" / "Hello World readme.lnk"));
  }
  cache_engine_.clear();
}

INSTANTIATE_TEST_SUITE_P(Runners, ApplyChanges, ::testing::Values("sim", "wine"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// What only the simulated machine can stage: installer results played back instead of a real
// session, and a look at the database that the session prepared.
class SimulatedApplyChanges : public ApplyChanges {
 protected:
  SimRunner& Sim() { return *static_cast<SimRunner*>(runner_.get()); }
  // Queues installer calls: each result answers one call, in order.
  void PlayBack(std::initializer_list<int> results) {
    std::string text;
    for (int r : results) text += "call\n  result " + std::to_string(r) + "\nend\n";
    WriteFile(runner_->DriveC().parent_path() / "installer.txt", text);
  }
  size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  std::string Export(const fs::path& msi, const std::string& table) {
    const fs::path out = dir_ / (table + ".txt");
    Shell("msiinfo export '" + msi.string() + "' " + table + " > '" + out.string() + "'");
    return ReadFile(out);
  }
};

// Restarts and failures reach the script: REBOOT with REBOOTCOMPUTER for 3010, ERROR with the
// system's text for 1603, and a busy installer (1618) is asked again until it answers.
TEST_P(SimulatedApplyChanges, InstallerResultsReachTheScript) {
  const std::string checks =
      "If \"REBOOTCOMPUTER\" \"0\" \"TRUE\" \"FALSE\"\n"
      "  Terminate with Exit Code \"45\"\n"
      "End\n"
      "If \"LASTERROR\" \"0\" \"Fatal error during installation\" \"FALSE\"\n"
      "  Terminate with Exit Code \"46\"\n"
      "End\n";
  std::string script = InstallScript("Hello World");
  script.insert(script.find("If \"RESULT\""), checks);
  fs::path setup = MakeSetup("hello", script);
  fs::path log;

  PlayBack({3010});
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 45) << LastLine(log);
  PlayBack({1603});
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 46) << LastLine(log);
  PlayBack({1618, 0});
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  const std::string transcript = Sim().Transcript();
  EXPECT_EQ(Count(transcript, "\ninstaller install "), 2u) << transcript;
  EXPECT_NE(transcript.find("-> 1618"), std::string::npos);
}

// The session hands the installer its database prepared (the platform of the engine, sources
// as loose long-name files) and the script's variables in the session property file, which is
// gone when the session ends.
TEST_P(SimulatedApplyChanges, TheSessionPreparesItsDatabaseAndItsPropertyFile) {
  fs::path setup = MakeSetup("hello", InstallScript("Hello World"));
  const std::string cache = CacheFolder(setup);
  cache_engine_ = cache + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  // The installer keeps the package it installed in the Installer folder of Windows.
  fs::path kept;
  for (const auto& entry : fs::directory_iterator(runner_->DriveC() / "Windows" / "Installer")) {
    if (entry.path().extension() == ".msi") kept = entry.path();
  }
  ASSERT_FALSE(kept.empty());
  Shell("msiinfo suminfo '" + kept.string() + "' > '" + (dir_ / "suminfo.txt").string() + "'");
  const std::string summary = ReadFile(dir_ / "suminfo.txt");
  EXPECT_NE(summary.find("Template: Intel;1033"), std::string::npos) << summary;
  EXPECT_NE(summary.find("Source: 8"), std::string::npos) << summary;

  const std::string transcript = Sim().Transcript();
  const std::string file = "Temp\\{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}";
  const size_t install = transcript.find("\ninstaller install ");
  const size_t deleted = transcript.find("file delete C:\\Users\\User\\AppData\\Local\\" + file);
  ASSERT_NE(install, std::string::npos);
  EXPECT_NE(transcript.rfind(file, install), std::string::npos) << "written before the call";
  EXPECT_NE(deleted, std::string::npos) << transcript;
  EXPECT_GT(deleted, install);
  EXPECT_FALSE(fs::exists(runner_->DriveC() / "Users" / "User" / "AppData" / "Local" / "Temp" /
                          "{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}"));
}

// A second copy of an installed product: Transform Instance gives the run new codes, and its
// database gets new component identifiers, so the two instances share no component.
TEST_P(SimulatedApplyChanges, ANewInstanceHasNewCodesAndComponents) {
  fs::path setup = MakeSetup("hello", InstallScript("Hello World"));
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);

  std::string script = InstallScript("Hello World");
  script.insert(script.find("Set Variable \"RESULT\""), "Transform Instance\n");
  fs::path second = MakeSetup("second", script);
  ASSERT_EQ(runner_->Run(second, "/s", &log), 40) << LastLine(log);

  fs::path instance;
  for (const auto& entry : fs::directory_iterator(runner_->DriveC() / "ProgramData")) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 38 && name[0] == '{' && fs::exists(entry.path() / "setup.msi") &&
        "C:\\ProgramData\\" + name + "\\" != CacheFolder(setup)) {
      instance = entry.path();
    }
  }
  ASSERT_FALSE(instance.empty()) << "no cache folder of the new instance";
  const std::string original = Export(second / "setup.msi", "Component");
  const std::string renewed = Export(instance / "setup.msi", "Component");
  for (const char* guid : {"6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A010",
                           "6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A011"}) {
    EXPECT_NE(original.find(guid), std::string::npos) << original;
    EXPECT_EQ(renewed.find(guid), std::string::npos) << renewed;
  }
  const std::string properties = Export(instance / "setup.msi", "Property");
  EXPECT_EQ(properties.find("{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}"), std::string::npos)
      << properties;
  const std::string transcript = Sim().Transcript();
  EXPECT_NE(transcript.find("\ninstaller install "), std::string::npos) << transcript;
}

// A maintenance install whose data folder lost its marker asks for the sources until a folder
// (or its data folder) holds the marker, then installs from there.
TEST_P(SimulatedApplyChanges, TheUserLocatesTheSetupSources) {
  fs::path setup = MakeSetup("hello", InstallScript("Hello World"));
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 40) << LastLine(log);
  fs::remove(setup / "data" / "{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}");
  fs::create_directories(runner_->DriveC() / "Media" / "data");
  WriteFile(runner_->DriveC() / "Media" / "data" / "{6F1A0C52-8E3B-4C11-9A5D-2B7E41D0A001}", "");
  Sim().answers = dir_ / "answers.txt";
  WriteFile(Sim().answers, "folder C:\\Windows\nfolder C:\\Media\n");
  ASSERT_EQ(runner_->Run(setup, "", &log), 40) << LastLine(log);
  const std::string transcript = Sim().Transcript();
  const std::string title = "\"Please locate your original setup sources to continue operation\"";
  EXPECT_NE(transcript.find("folder browser " + title + " -> \"C:\\Windows\""), std::string::npos)
      << transcript;
  EXPECT_NE(transcript.find("folder browser " + title + " -> \"C:\\Media\""), std::string::npos);
  EXPECT_NE(transcript.find("SRCDIR=C:\\Media\\data\\"), std::string::npos) << transcript;

  // Cancelled: the run cancels with the reason.
  WriteFile(Sim().answers, "folder\n");
  EXPECT_EQ(runner_->Run(setup, "", &log), 42) << LastLine(log);
  Sim().answers.clear();
}

// The sample setup's wizard, walked from its answers file: the typed folder survives Back, the
// unchecked component is shown as a selection change, and what reached Apply Changes is what the
// wizard chose (the script writes it to the file HELLO_CHOICES names).
TEST_P(SimulatedApplyChanges, TheSampleWizardWalkReachesApplyChangesWithTheChoices) {
  const fs::path hello = kSource / "examples" / "hello";
  dialogs_ = ReadFile(hello / "dialogs.txt");
  fs::path setup = MakeSetup("hello", ReadFile(hello / "hello.txt"));
  cache_engine_ = CacheFolder(setup) + "setup.exe";
  WriteFile(runner_->DriveC().parent_path() / "machine.txt",
            "env.HELLO_CHOICES = C:\\choices.txt\n");
  Sim().answers = hello / "answers.txt";
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "", &log), 0) << LastLine(log);
  Sim().answers.clear();

  const std::string transcript = Sim().Transcript();
  EXPECT_EQ(transcript.find("answers error"), std::string::npos) << transcript;
  for (const char* shown : {"Welcome 1", "Licence 1", "Destination 1", "Components 1",
                            "Destination 2", "Components 2", "Ready 1", "Progress 1",
                            "Finish 1"}) {
    EXPECT_NE(transcript.find(std::string("dialog ") + shown + " (key "), std::string::npos)
        << shown;
  }
  const size_t second = transcript.find("dialog Destination 2 (key Destination.dfm) shown");
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(transcript.find("\"D:\\Apps\"", second), std::string::npos)
      << "the typed folder is shown again after Back";
  EXPECT_EQ(Count(transcript, "  component Extras = \"FALSE\""), 1u) << transcript;
  EXPECT_EQ(transcript.find("  component Main = "), std::string::npos);
  EXPECT_NE(transcript.find("ARPINSTALLLOCATION=\"D:\\Apps\""), std::string::npos);
  EXPECT_EQ(ReadFile(runner_->DriveC() / "choices.txt"),
            "TARGETDIR=D:\\Apps\r\nMAIN_SELECTED=TRUE\r\nEXTRAS_SELECTED=FALSE\r\n");
}

INSTANTIATE_TEST_SUITE_P(Runners, SimulatedApplyChanges, ::testing::Values("sim"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
