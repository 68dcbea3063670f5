#include "engine/startup.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/sim_platform.h"
#include "tools/corvane-image/script_text.h"

namespace corvane::engine {
namespace {

namespace fs = std::filesystem;

// A PE header whose one section ends at 0x400: the smallest engine the stub-size rule accepts.
std::string EngineStub() {
  std::string pe(0x400, '\0');
  pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = char(0x80), pe[0x80] = 'P', pe[0x81] = 'E';
  pe[0x86] = 1;           // one section
  pe[0x94] = char(0xF0);  // optional header size
  size_t entry = 0x84 + 20 + 0xF0;
  pe[entry + 17] = 0x02;  // SizeOfRawData 0x200
  pe[entry + 21] = 0x02;  // PointerToRawData 0x200
  return pe;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane-startup-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "machine.txt") << "module_path = C:\\Setup\\setup.exe\n";
    platform::SimOptions options;
    options.machine_folder = dir_.string();
    options.save_registry_on_exit = false;
    sim_ = platform::CreateSimPlatform(options);
    files().CreateDirectories("C:\\Setup");
    services_.extract_archive = [this](const std::string& archive, const std::string& folder) {
      std::string bytes;
      extracted_from_ = archive;
      if (files().ReadFile(archive, &bytes) != platform::Status::kOk || bytes != "good") {
        return false;
      }
      return files().WriteFile(folder + "welcome.dfm", "form") == platform::Status::kOk;
    };
    services_.prepare_dialogs = [this](const std::string& folder) { prepared_ = folder; };
    services_.load_dialog = [this](long index, const std::string& file) {
      dialogs_.push_back(std::to_string(index) + ":" + file);
    };
    services_.run_script = [this](StartupState& state, TraceLog& trace) {
      state_seen_ = state.support_folder;
      database_seen_ = state.database_path;
      title_seen_ = state.image.title;
      support_listing_ok_ = files().FileExists(state.support_folder + "welcome.dfm") &&
                            files().FileExists(state.database_path);
      trace.Write("    <vort>");
      return script_exit_code_;
    };
  }
  void TearDown() override {
    sim_.reset();
    fs::remove_all(dir_);
  }

  platform::FileSystem& files() { return sim_->files(); }

  void WriteSetup(const std::string& script, bool res = true, bool msi = true) {
    tools::TextCompileResult r = tools::CompileScriptText(script, "C:\\src\\setup.zel");
    ASSERT_TRUE(r.ok) << r.error;
    files().WriteFile("C:\\Setup\\setup.exe", EngineStub() + r.image);
    if (res) files().WriteFile("C:\\Setup\\setup.res", "good");
    if (msi) files().WriteFile("C:\\Setup\\setup.msi", "database");
  }

  // The trace log as 8-bit lines (it is written as UTF-16LE).
  std::vector<std::string> TraceLines(const std::string& path) {
    std::string bytes;
    if (files().ReadFile(path, &bytes) != platform::Status::kOk) return {};
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::vector<std::string> lines(1);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      EXPECT_EQ(bytes[i + 1], '\0');
      char c = bytes[i];
      if (c == '\n') {
        lines.emplace_back();
      } else if (c != '\r') {
        lines.back().push_back(c);
      }
    }
    lines.pop_back();
    return lines;
  }

  int Run(const std::string& args) {
    return RunEngine(*sim_, services_, "\"C:\\Setup\\setup.exe\" " + args);
  }

  fs::path dir_;
  std::unique_ptr<platform::SimPlatform> sim_;
  StartupServices services_;
  std::string extracted_from_, prepared_, state_seen_, database_seen_, title_seen_;
  std::vector<std::string> dialogs_;
  bool support_listing_ok_ = false;
  int script_exit_code_ = 0;
};

const char* kScript =
    ".title \"Hello\"\n"
    ".product-code \"{5E7A0000-0000-4000-8000-000000000001}\"\n"
    ".revision-code \"{5E7A0000-0000-4000-8000-000000000002}\"\n"
    "Set Variable \"A\" \"1\"\n"
    "Display Dialog \"welcome\" \"WIZARD\" \"TRUE\"\n"
    "[disabled] Display Dialog \"skipped\" \"\" \"TRUE\"\n"
    "Display Dialog \"welcome\" \"\" \"FALSE\"\n";

TEST_F(StartupTest, ANormalRunTracesEveryPhaseAndRemovesTheSupportFolder) {
  WriteSetup(kScript);
  script_exit_code_ = 3010;
  // A log that cannot be created is a start-up failure like any other.
  EXPECT_EQ(Run("/s /l=C:\\Logs\\Run.LOG"), kExitStartupFailure);
  EXPECT_TRUE(dialogs_.empty());
  EXPECT_EQ(Run("/s"), 3010);
  EXPECT_EQ(title_seen_, "Hello");
  EXPECT_EQ(extracted_from_, "C:\\Setup\\setup.res");
  EXPECT_TRUE(support_listing_ok_);
  EXPECT_EQ(database_seen_, state_seen_ + "setup.msi");
  EXPECT_EQ(prepared_, state_seen_);
  // One form per enabled Display Dialog command, keyed by its index.
  ASSERT_EQ(dialogs_.size(), 2u);
  EXPECT_EQ(dialogs_[0], "1:" + state_seen_ + "welcome.dfm");
  EXPECT_EQ(dialogs_[1], "3:" + state_seen_ + "welcome.dfm");
  EXPECT_FALSE(files().DirectoryExists(state_seen_));
  EXPECT_FALSE(files().FileExists(sim_->system().TempFolder() + "zel.tmp"));
  // The log path is lower-cased; paths resolve ignoring case.
  files().CreateDirectories("C:\\LOGS");
  files().WriteFile("C:\\logs\\run.log", "an older run's log");
  EXPECT_EQ(Run("/s /l=C:\\Logs\\Run.LOG"), 3010);
  EXPECT_EQ(TraceLines("C:\\logs\\run.log"),
            (std::vector<std::string>{
                "<Corvane>", "  <SetupSplash>", "    <StubSize>", "    </StubSize>",
                "    <StubData>", "    </StubData>", "    <GlobalLists>", "    </GlobalLists>",
                "    <SupportDir>", "    </SupportDir>", "    <ExtractArchive>",
                "    </ExtractArchive>", "    <ExtractResource>", "    </ExtractResource>",
                "    <ResourcePath>", "    </ResourcePath>", "    <Dialogs>", "    </Dialogs>",
                "  </SetupSplash>", "  <RunScript>", "    <vort>", "  </RunScript>", "  <Free>",
                "  </Free>", "  <CachedSupportDir>", "  </CachedSupportDir>", "</Corvane>"}));
  EXPECT_TRUE(sim_->RecordedBoxes().empty());
}

// The engine's threads assume one processor: start-up keeps the process on the first one.
TEST_F(StartupTest, TheRunKeepsToOneProcessor) {
  WriteSetup(kScript);
  Run("/s");
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  ASSERT_EQ(sched_getaffinity(0, sizeof(allowed), &allowed), 0);
  EXPECT_EQ(CPU_COUNT(&allowed), 1);
}

TEST_F(StartupTest, StartupFailuresEndWithTheirExitCodes) {
  // No image at all: the file is exactly the executable image.
  files().WriteFile("C:\\Setup\\setup.exe", EngineStub());
  EXPECT_EQ(Run(""), kExitNoImage);
  ASSERT_EQ(sim_->RecordedBoxes().size(), 1u);
  EXPECT_EQ(sim_->RecordedBoxes()[0].text, "For internal use only");
  EXPECT_EQ(sim_->RecordedBoxes()[0].caption, "Corvane Wizard");

  WriteSetup(kScript, /*res=*/false);
  EXPECT_EQ(Run(""), kExitResourceMissing);
  EXPECT_EQ(sim_->RecordedBoxes().back().text, "Setup resource not found");

  WriteSetup(kScript);
  files().WriteFile("C:\\Setup\\setup.res", "damaged");
  EXPECT_EQ(Run(""), kExitResourceDamaged);
  EXPECT_EQ(sim_->RecordedBoxes().back().text, "Setup resource decompression failure");

  WriteSetup(kScript, true, /*msi=*/false);
  files().DeleteFile("C:\\Setup\\setup.msi");
  EXPECT_EQ(Run(""), kExitDatabaseMissing);
  EXPECT_EQ(sim_->RecordedBoxes().back().text, "Setup database not found");
  size_t boxes = sim_->RecordedBoxes().size();

  // A silent run shows nothing and ends with the same code; the log stops inside start-up.
  EXPECT_EQ(Run("-QN -l=C:\\fail.log"), kExitDatabaseMissing);
  EXPECT_EQ(sim_->RecordedBoxes().size(), boxes);
  EXPECT_EQ(TraceLines("C:\\fail.log").back(), "    <ExtractResource>");
  EXPECT_TRUE(dialogs_.empty());
}

// A zel.tmp in TEMP that the run did not make (another user's, with its rights) is removed and
// the copy made new; one that cannot be removed is never written into.
TEST_F(StartupTest, TheImageCopyIsAlwaysAFileOfItsOwn) {
  WriteSetup(kScript);
  const std::string copy = sim_->system().TempFolder() + "zel.tmp";
  ASSERT_EQ(files().WriteFile(copy, "planted by someone else"), platform::Status::kOk);
  files().SetAttributes(copy, platform::attr::kReadOnly);
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_EQ(title_seen_, "Hello");
  EXPECT_FALSE(files().FileExists(copy));
  // Held open by someone: it cannot go, and the run ends at start-up instead of sharing it.
  ASSERT_EQ(files().WriteFile(copy, "held"), platform::Status::kOk);
  platform::Status status;
  auto held = files().Open(copy, platform::OpenMode::kRead, &status);
  ASSERT_TRUE(held);
  title_seen_.clear();
  EXPECT_EQ(Run("/s"), kExitStartupFailure);
  EXPECT_EQ(title_seen_, "");
  held.reset();
  std::string text;
  ASSERT_EQ(files().ReadFile(copy, &text), platform::Status::kOk);
  EXPECT_EQ(text, "held");
}

TEST_F(StartupTest, ADamagedImageEndsThroughTheStartupFailurePath) {
  std::string image = "Set Variable\r\n$\r\n";  // ends in the middle of the second item
  files().WriteFile("C:\\Setup\\setup.exe", EngineStub() + image);
  files().WriteFile("C:\\Setup\\setup.res", "good");
  files().WriteFile("C:\\Setup\\setup.msi", "database");
  EXPECT_EQ(Run("/l=C:\\damaged.log"), kExitStartupFailure);
  ASSERT_EQ(sim_->RecordedBoxes().size(), 1u);
  EXPECT_EQ(sim_->RecordedBoxes()[0].text.rfind("Runtime error in install: ", 0), 0u);
  std::vector<std::string> log = TraceLines("C:\\damaged.log");
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "  <CachedSupportDir>");
  EXPECT_EQ(log.back(), "</Corvane>");
}

// A folder that the system can give neither in full nor in a short form (its '?' stand for
// letters the code page lacks) ends the run through the start-up failure path, saying why,
// before anything is written there.
TEST_F(StartupTest, AFolderTheCodePageCannotSpellEndsWithAClearMessage) {
  WriteSetup(kScript);
  struct Lost : platform::SystemInfoWrapper {
    using SystemInfoWrapper::SystemInfoWrapper;
    std::string TempFolder() override { return temp.empty() ? target_.TempFolder() : temp; }
    std::string ModulePath() override { return module.empty() ? target_.ModulePath() : module; }
    std::string temp, module;
  } system(sim_->system());
  platform::PlatformRefs lost(sim_->files(), sim_->registry(), system, sim_->ui(),
                              &sim_->installer(), &sim_->shell());
  files().CreateDirectories("C:\\Users\\User\\AppData\\Local\\Temp\\__~1");
  system.temp = "C:\\Users\\User\\AppData\\Local\\Temp\\??\\";
  EXPECT_EQ(RunEngine(lost, services_, "setup.exe /l=C:\\lost.log"), kExitStartupFailure);
  ASSERT_EQ(sim_->RecordedBoxes().size(), 1u);
  const std::string text = sim_->RecordedBoxes()[0].text;
  EXPECT_NE(text.find("The temporary folder \"" + system.temp + "\" holds characters"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Set TEMP"), std::string::npos) << text;
  EXPECT_EQ(TraceLines("C:\\lost.log").back(), "</Corvane>");
  EXPECT_TRUE(title_seen_.empty());

  system.temp.clear();
  system.module = "C:\\??\\setup.exe";
  EXPECT_EQ(RunEngine(lost, services_, "setup.exe /s"), kExitStartupFailure);
  EXPECT_EQ(sim_->RecordedBoxes().size(), 1u);  // silent
  EXPECT_EQ(RunEngine(lost, services_, "setup.exe"), kExitStartupFailure);
  ASSERT_EQ(sim_->RecordedBoxes().size(), 2u);
  EXPECT_NE(sim_->RecordedBoxes()[1].text.find("The setup's folder \"C:\\??\\\" holds"),
            std::string::npos)
      << sim_->RecordedBoxes()[1].text;
  EXPECT_TRUE(title_seen_.empty());
  // The same setup runs where the folders can be named.
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_EQ(title_seen_, "Hello");
}

// The language file behind the archive library replaces the texts of start-up's own messages
// (the block of the user's language, English on this machine) and is kept for the run.
TEST_F(StartupTest, TheLanguageFileBehindTheArchiveLibraryIsReadAndKept) {
  WriteSetup(kScript);
  std::string first, english;
  for (int n = 1; n <= image::msg::kCount; ++n) {
    first += "first " + std::to_string(n) + "\r\n";
    english += "english " + std::to_string(n) + "\r\n";
  }
  const std::string language_file = first + "English\r\n" + english;
  files().WriteFile("C:\\Setup\\zel.lib", EngineStub() + language_file);
  std::string kept, cancel_question;
  services_.run_script = [&](StartupState& state, TraceLog&) {
    kept = state.language_overlay;
    cancel_question = state.messages.Text(image::msg::kCancelQuestion);
    return 0;
  };
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_EQ(kept, language_file);
  EXPECT_EQ(cancel_question, "english 40");
  EXPECT_FALSE(files().FileExists(sim_->system().TempFolder() + "lang.loc"));

  // Start-up's own messages and caption are the file's.
  files().DeleteFile("C:\\Setup\\setup.res");
  EXPECT_EQ(Run(""), kExitResourceMissing);
  ASSERT_FALSE(sim_->RecordedBoxes().empty());
  EXPECT_EQ(sim_->RecordedBoxes().back().text, "english 2");
  EXPECT_EQ(sim_->RecordedBoxes().back().caption, "english 23");
}

TEST_F(StartupTest, TheSupportFolderIsOneThisRunCreated) {
  WriteSetup(kScript);
  std::string temp = sim_->system().TempFolder();
  files().CreateDirectories(temp + "zel1");
  files().CreateDirectories(temp + "zel2");
  files().WriteFile(temp + "zel3", "a file in the way");
  EXPECT_EQ(Run("/s"), 0);
  EXPECT_EQ(state_seen_, temp + "zel4\\");
  // What was there before is untouched.
  EXPECT_TRUE(files().DirectoryExists(temp + "zel1"));
  EXPECT_TRUE(files().FileExists(temp + "zel3"));
}

// An elevated run's support folder lets standard users read it but not change it (its TEMP may
// be one they can write to); a standard user's run makes an ordinary folder.
TEST_F(StartupTest, AnElevatedRunProtectsItsSupportFolder) {
  WriteSetup(kScript);
  platform::AccessFacts facts;
  platform::Status got = platform::Status::kFailed;
  services_.run_script = [&](StartupState& state, TraceLog&) {
    got = sim_->shell().GetAccessFacts(state.support_folder, &facts);
    return 0;
  };
  ASSERT_EQ(Run("/s"), 0);
  ASSERT_EQ(got, platform::Status::kOk);
  EXPECT_TRUE(facts.protected_list);
  EXPECT_FALSE(facts.others_may_change);

  sim_.reset();
  std::ofstream(dir_ / "machine.txt")
      << "module_path = C:\\Setup\\setup.exe\nuser.admin = false\n";
  platform::SimOptions options;
  options.machine_folder = dir_.string();
  options.save_registry_on_exit = false;
  sim_ = platform::CreateSimPlatform(options);
  got = platform::Status::kFailed;
  ASSERT_EQ(Run("/s"), 0);
  ASSERT_EQ(got, platform::Status::kOk);
  EXPECT_FALSE(facts.protected_list);
  EXPECT_TRUE(facts.others_may_change);
}

TEST(StartupWindowPlacement, FollowsTheSplashAndStaysOnScreen) {
  using platform::PlaceProgressWindow;
  using platform::WindowPlacement;
  WindowPlacement p = PlaceProgressWindow(true, 100, 100, 300, 200, 400, 150, 1024, 768);
  EXPECT_EQ(p.left, 100 + 150 + 50);
  EXPECT_EQ(p.top, 100 + 200 + 25);
  // A splash wider than the screen pulls the window back to the right edge.
  p = PlaceProgressWindow(true, -200, 0, 1600, 900, 400, 150, 1024, 768);
  EXPECT_EQ(p.left, 1024 - 400 - 25);
  EXPECT_EQ(p.top, 768 - 150 - 45);
  p = PlaceProgressWindow(false, 0, 0, 0, 0, 400, 150, 1024, 768);
  EXPECT_EQ(p.left, 312);
  EXPECT_EQ(p.top, 309);
}

}  // namespace
}  // namespace corvane::engine
