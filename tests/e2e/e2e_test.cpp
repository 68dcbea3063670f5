// End-to-end runs of real setup files: built from script text, dialogs, a support archive made
// with 7zz and an installer database made with wixl, run by corvane-sim on a simulated machine
// and by the x86_64 corvane.exe under Wine. Both must give the same exit codes and trace logs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kSource = CORVANE_SOURCE_DIR;
const fs::path kNative = CORVANE_NATIVE_DIR;
const fs::path kWin64 = CORVANE_WIN64_DIR;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A trace log (UTF-16LE) as lines.
std::vector<std::string> TraceLines(const fs::path& p) {
  std::string bytes = ReadFile(p);
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char c = bytes[i];
    if (bytes[i + 1] != '\0') c = '?';
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line.push_back(c);
    }
  }
  return lines;
}

const std::vector<std::string> kStartupTags = {
    "<Corvane>",         "  <SetupSplash>",      "    <StubSize>",        "    </StubSize>",
    "    <StubData>",    "    </StubData>",      "    <GlobalLists>",     "    </GlobalLists>",
    "    <SupportDir>",  "    </SupportDir>",    "    <ExtractArchive>",  "    </ExtractArchive>",
    "    <ExtractResource>", "    </ExtractResource>", "    <ResourcePath>", "    </ResourcePath>",
    "    <Dialogs>",     "    </Dialogs>",       "  </SetupSplash>",      "  <RunScript>",
    "    <Variables>",   "    </Variables>",     "    <CompileScript>"};

std::string LastLine(const fs::path& log) {
  std::vector<std::string> lines = TraceLines(log);
  return lines.empty() ? std::string("(empty log)") : lines.back();
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// How a setup is run: by corvane-sim on a simulated machine, or by corvane.exe under Wine.
class Runner {
 public:
  virtual ~Runner() = default;
  virtual std::string Name() const = 0;
  // Runs setup.exe of a host folder with arguments; the log argument is added by the runner and
  // the log's host path returned in *log.
  virtual int Run(const fs::path& setup_dir, const std::string& args, fs::path* log) = 0;
  // The host folder that is the engine's temporary folder.
  virtual fs::path TempFolder() = 0;
};

class SimRunner : public Runner {
 public:
  explicit SimRunner(fs::path machine) : machine_(std::move(machine)) {}
  std::string Name() const override { return "corvane-sim"; }
  int Run(const fs::path& setup_dir, const std::string& args, fs::path* log) override {
    *log = machine_ / "drive_c" / "run.log";
    fs::remove(*log);
    const fs::path transcript = machine_.parent_path() / "transcript.txt";
    fs::remove(transcript);
    Shell((kNative / "apps" / "corvane-sim").string() + " --machine " + machine_.string() +
          " --transcript " + transcript.string() + " " + (setup_dir / "setup.exe").string() +
          " '/l=C:\\run.log' " + args + " >/dev/null 2>&1");
    // The last line of the transcript is "exit code N".
    std::string text = ReadFile(transcript);
    size_t at = text.rfind("exit code ");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 10));
  }
  fs::path TempFolder() override {
    return machine_ / "drive_c" / "Users" / "User" / "AppData" / "Local" / "Temp";
  }

 private:
  fs::path machine_;
};

class WineRunner : public Runner {
 public:
  std::string Name() const override { return "wine"; }
  int Run(const fs::path& setup_dir, const std::string& args, fs::path* log) override {
    *log = setup_dir / "run.log";
    fs::remove(*log);
    std::string windows_log = "Z:" + log->string();
    for (char& c : windows_log) {
      if (c == '/') c = '\\';
    }
    // cmd.exe reports the whole exit code (a process exit status here keeps its low byte only).
    // Nothing on this command line may be quoted: Wine passes the quotes on escaped.
    std::string setup = "Z:" + (setup_dir / "setup.exe").string();
    for (char& c : setup) {
      if (c == '/') c = '\\';
    }
    const fs::path report = setup_dir / "exit.txt";
    fs::remove(report);
    Shell("CORVANE_WINEPREFIX=" + (kWin64 / "wineprefix").string() + " " +
          (kSource / "scripts" / "wine-run").string() + " cmd.exe /c '" + setup + " /l=" +
          windows_log + " " + args + " & echo %ERRORLEVEL%' > " + report.string() +
          " 2>/dev/null");
    std::string text = ReadFile(report);
    size_t digit = text.find_first_of("-0123456789");
    return digit == std::string::npos ? -1 : std::stoi(text.substr(digit));
  }
  fs::path TempFolder() override {
    return kWin64 / "wineprefix" / "drive_c" / "users" / "root" / "Temp";
  }
};

class EndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    engine_ = kWin64 / "apps" / "corvane.exe";
    zel_ = kWin64 / "archive" / "zel.lib";
    if (!fs::exists(engine_) || !fs::exists(zel_)) {
      GTEST_SKIP() << "the x86_64 Windows build is needed (" << engine_ << ")";
    }
    dir_ = fs::temp_directory_path() /
           ("corvane-e2e-" + std::to_string(getpid()) + "-" + GetParam() + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    if (GetParam() == "sim") {
      runner_ = std::make_unique<SimRunner>(dir_ / "machine");
    } else {
      runner_ = std::make_unique<WineRunner>();
    }
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  // Builds a setup from script text (dialogs Welcome and Finish in its archive) into a folder.
  fs::path MakeSetup(const std::string& name, const std::string& script) {
    fs::path example = dir_ / ("example-" + name);
    WriteFile(example / "setup.txt", script);
    WriteFile(example / "dialogs.txt", "Welcome\nFinish\n");
    fs::create_directories(example / "payload");
    fs::copy_file(kSource / "examples" / "hello" / "hello.wxs", example / "setup.wxs");
    fs::copy_file(kSource / "examples" / "hello" / "payload" / "readme.txt",
                  example / "payload" / "readme.txt");
    fs::path out = dir_ / name;
    int rc = Shell((kSource / "scripts" / "make-setup").string() + " " + example.string() + " " +
                   out.string() + " " + engine_.string() + " " + zel_.string() + " " +
                   kNative.string() + " >/dev/null");
    EXPECT_EQ(rc, 0) << "make-setup failed for " << name;
    return out;
  }

  std::vector<fs::path> SupportFolders() {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(runner_->TempFolder(), ec)) {
      std::string n = e.path().filename().string();
      if (e.is_directory() && n.size() > 3 && n.compare(0, 3, "zel") == 0) found.push_back(e.path());
    }
    return found;
  }

  fs::path dir_, engine_, zel_;
  std::unique_ptr<Runner> runner_;
};

const char* kGoodScript =
    ".title \"E2E\"\n"
    ".revision-code \"{0E2E0000-0000-4000-8000-000000000001}\"\n"
    ".compiler-variable \"SINGLEINSTANCE\" \"TRUE\"\n"
    "Define Component \"Main\" \"TRUE\" \"\"\n"
    "Set Variable \"A\" \"1\"\n"
    "Wizard Loop\n"
    "  Display Dialog \"Welcome\" \"WIZARD\" \"TRUE\"\n"
    "End\n"
    "Display Dialog \"Finish\" \"\" \"TRUE\"\n";

TEST_P(EndToEnd, ANormalSilentRunTracesEveryPhaseAndLeavesNothingBehind) {
  fs::path setup = MakeSetup("good", kGoodScript);
  size_t before = SupportFolders().size();
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 0);
  EXPECT_EQ(TraceLines(log),
            Concat(kStartupTags,
                   {"    </CompileScript>", "    <BootStrap>", "    </BootStrap>", "    <vort>",
                    "    </vort>", "    <ExitScript>", "    </ExitScript>", "  </RunScript>",
                    "  <Free>", "  </Free>", "  <CachedSupportDir>", "  </CachedSupportDir>",
                    "</Corvane>"}));
  EXPECT_EQ(SupportFolders().size(), before);
  // The log is UTF-16LE without a byte order mark.
  std::string bytes = ReadFile(log);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("<\0C\0", 4));
}

TEST_P(EndToEnd, StartupFailuresEndWithTheirExitCodes) {
  fs::path setup = MakeSetup("failures", kGoodScript);
  fs::path log;
  // The support archive missing, then damaged, then the installer database missing.
  fs::rename(setup / "setup.res", setup / "setup.res.keep");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 14);
  EXPECT_EQ(LastLine(log), "    <ExtractArchive>");
  WriteFile(setup / "setup.res", "7z\xBC\xAF\x27\x1C damaged beyond repair");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 15);
  EXPECT_EQ(LastLine(log), "    <ExtractArchive>");
  fs::rename(setup / "setup.res.keep", setup / "setup.res");
  fs::rename(setup / "setup.msi", setup / "setup.msi.keep");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 16);
  EXPECT_EQ(LastLine(log), "    <ExtractResource>");
  // The engine with no image at all.
  fs::copy_file(engine_, setup / "setup.exe", fs::copy_options::overwrite_existing);
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 13);
  EXPECT_EQ(LastLine(log), "    <StubSize>");
}

TEST_P(EndToEnd, ARejectedScriptExits314) {
  fs::path setup = MakeSetup("unbalanced", ".title \"Bad\"\nIf \"A\" \"0\" \"1\" \"FALSE\"\n");
  size_t before = SupportFolders().size();
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 314);
  EXPECT_EQ(TraceLines(log), kStartupTags);
  EXPECT_EQ(SupportFolders().size(), before);
}

TEST_P(EndToEnd, AFailingCommandEndsThroughTheFailurePath) {
  // Write Registry is an installer-table command: without a command header it fails.
  fs::path setup = MakeSetup("failing", ".title \"Fails\"\n"
                                        "Set Variable \"A\" \"1\"\n"
                                        "Write Registry \"HKEY_CURRENT_USER\" \"Software\\X\" \"V\" \"1\"\n"
                                        "Set Variable \"B\" \"never\"\n");
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 0);
  EXPECT_EQ(TraceLines(log),
            Concat(kStartupTags,
                   {"    </CompileScript>", "    <BootStrap>", "    </BootStrap>", "    <vort>",
                    "  </RunScript>", "  <Free>", "  </Free>", "  <CachedSupportDir>",
                    "  </CachedSupportDir>", "</Corvane>"}));
}

INSTANTIATE_TEST_SUITE_P(Runners, EndToEnd, ::testing::Values("sim", "wine"),
                         [](const auto& info) { return info.param; });

}  // namespace
