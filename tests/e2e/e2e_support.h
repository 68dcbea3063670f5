// What the end-to-end suites share: the build trees, the Wine prefix and its one drive, the two
// runners (corvane-sim on a simulated machine, corvane.exe under Wine) and the fixture that
// builds setups from script text.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"

namespace corvane::e2e {

namespace fs = std::filesystem;

inline const fs::path kSource = CORVANE_SOURCE_DIR;
inline const fs::path kNative = CORVANE_NATIVE_DIR;
inline const fs::path kWin64 = CORVANE_WIN64_DIR;
inline const fs::path kWin32 = CORVANE_WIN32_DIR;
// A Wine prefix of its own: a prefix that a program without a display started keeps its
// display-less desktop for the programs after it, so the Windows suites must not share it.
inline const fs::path kPrefix = fs::path(CORVANE_NATIVE_DIR) / "e2e-wineprefix";
// What that prefix sees of this machine, as its drive W:: the build folder that holds both build
// trees. The runs' scratch folders lie inside it.
inline const fs::path kWineRoot = fs::path(CORVANE_NATIVE_DIR).parent_path();
inline const fs::path kScratch = fs::path(CORVANE_NATIVE_DIR) / "e2e-runs";

// The Windows name, in that prefix, of a path inside kWineRoot.
inline std::string WinePath(const fs::path& p) {
  const std::string root = kWineRoot.string();
  std::string text = p.string();
  if (text.compare(0, root.size(), root) != 0 ||
      (text.size() > root.size() && text[root.size()] != '/')) {
    ADD_FAILURE() << p << " lies outside " << kWineRoot << ", which is all the Wine runs see";
    return text;
  }
  std::string out = "W:" + text.substr(root.size());
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

// The environment of every program these tests run under Wine: the prefix and its one drive.
inline std::string WineEnvironment() {
  return "CORVANE_WINEPREFIX=" + kPrefix.string() + " CORVANE_WINE_ROOT=" + kWineRoot.string();
}

// Runs on a virtual screen (scripts/wine-gui-run) use a prefix of their own.
inline const fs::path kScreenPrefix = fs::path(CORVANE_NATIVE_DIR) / "e2e-gui-wineprefix";
inline std::string ScreenEnvironment() {
  return "CORVANE_WINEPREFIX=" + kScreenPrefix.string() + " CORVANE_WINE_ROOT=" +
         kWineRoot.string();
}

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

inline int Shell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A trace log (UTF-16LE) as lines.
inline std::vector<std::string> TraceLines(const fs::path& p) {
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

inline const std::vector<std::string> kStartupTags = {
    "<Corvane>",         "  <SetupSplash>",      "    <StubSize>",        "    </StubSize>",
    "    <StubData>",    "    </StubData>",      "    <GlobalLists>",     "    </GlobalLists>",
    "    <SupportDir>",  "    </SupportDir>",    "    <ExtractArchive>",  "    </ExtractArchive>",
    "    <ExtractResource>", "    </ExtractResource>", "    <ResourcePath>", "    </ResourcePath>",
    "    <Dialogs>",     "    </Dialogs>",       "  </SetupSplash>",      "  <RunScript>",
    "    <Variables>",   "    </Variables>",     "    <CompileScript>"};

inline std::string LastLine(const fs::path& log) {
  std::vector<std::string> lines = TraceLines(log);
  return lines.empty() ? std::string("(empty log)") : lines.back();
}

inline std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
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
  // Runs after this one take as TEMP a folder of this name (UTF-8) in the usual one.
  virtual void UseTempFolderNamed(const std::string& name) = 0;
  // Runs a program of the machine by its Windows path (a cached engine), with its log in the
  // host folder `work` (Wine) or on the machine (simulation); *log is the log's host path.
  virtual int RunOnMachine(const std::string& program, const std::string& args,
                           const fs::path& work, fs::path* log) = 0;
  // The host folder of the machine's drive C:.
  virtual fs::path DriveC() = 0;
  // The data of a registry value ("HKLM" or "HKCU", key, name) in the 32-bit or 64-bit view of
  // the machine, or "<missing>".
  virtual std::string ReadRegistry(const std::string& root, const std::string& key,
                                   const std::string& name, bool view32) = 0;
  // Whether the engine runs as a 64-bit process: the view in which it writes its own keys.
  virtual bool Engine64() const = 0;
};

// A word for the shell: in single quotes, a quote inside written '\''.
inline std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class SimRunner : public Runner {
 public:
  explicit SimRunner(fs::path machine) : machine_(std::move(machine)) {}
  std::string Name() const override { return "corvane-sim"; }
  int Run(const fs::path& setup_dir, const std::string& args, fs::path* log) override {
    return RunSetup((setup_dir / "setup.exe").string(), args, log);
  }
  int RunOnMachine(const std::string& program, const std::string& args, const fs::path&,
                   fs::path* log) override {
    return RunSetup("'" + program + "'", args, log);
  }
  // The answers file of the next runs (none when empty).
  fs::path answers;
  fs::path DriveC() override { return machine_ / "drive_c"; }
  bool Engine64() const override { return false; }  // a 32-bit process, as the engine ships
  std::string ReadRegistry(const std::string& root, const std::string& key,
                           const std::string& name, bool view32) override {
    platform::SimOptions options;
    options.machine_folder = machine_.string();
    options.save_registry_on_exit = false;
    auto machine = platform::CreateSimPlatform(options);
    platform::RegValue value;
    if (machine->registry().ReadValue(
            root == "HKLM" ? platform::RegRoot::kLocalMachine : platform::RegRoot::kCurrentUser,
            key, name, view32 ? platform::RegView::kView32 : platform::RegView::kView64,
            &value) != platform::Status::kOk) {
      return "<missing>";
    }
    return value.type == platform::RegType::kDword ? std::to_string(value.AsNumber())
                                                   : value.data;
  }
  // The transcript of the last run.
  std::string Transcript() { return ReadFile(machine_.parent_path() / "transcript.txt"); }

 private:
  int RunSetup(const std::string& setup, const std::string& args, fs::path* log) {
    *log = machine_ / "drive_c" / "run.log";
    fs::remove(*log);
    const fs::path transcript = machine_.parent_path() / "transcript.txt";
    fs::remove(transcript);
    Shell((kNative / "apps" / "corvane-sim").string() + " --machine " + machine_.string() +
          (answers.empty() ? std::string() : " --answers " + answers.string()) +
          " --transcript " + transcript.string() + " " + setup +
          " '/l=C:\\run.log' " + args + " >/dev/null 2>&1");
    // The last line of the transcript is "exit code N".
    std::string text = ReadFile(transcript);
    size_t at = text.rfind("exit code ");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 10));
  }

 public:
  fs::path TempFolder() override {
    return machine_ / "drive_c" / "Users" / "User" / "AppData" / "Local" / "Temp" / temp_name_;
  }
  void UseTempFolderNamed(const std::string& name) override {
    temp_name_ = name;
    WriteFile(machine_ / "machine.txt",
              "temp_folder = C:\\Users\\User\\AppData\\Local\\Temp\\" + name + "\n");
  }

 private:
  fs::path machine_;
  std::string temp_name_;
};

class WineRunner : public Runner {
 public:
  // Put before the command (for example "WINEDLLOVERRIDES=a,b=n,b").
  std::string environment;
  // The runs show their windows on a virtual screen (with the screen prefix).
  bool on_screen = false;

  std::string Name() const override { return "wine"; }
  int Run(const fs::path& setup_dir, const std::string& args, fs::path* log) override {
    return RunProgram(WinePath(setup_dir / "setup.exe"), args, setup_dir, log);
  }
  int RunOnMachine(const std::string& program, const std::string& args, const fs::path& work,
                   fs::path* log) override {
    return RunProgram(program, args, work, log);
  }
  fs::path DriveC() override { return kPrefix / "drive_c"; }
  bool Engine64() const override { return true; }  // the x86_64 build
  std::string ReadRegistry(const std::string& root, const std::string& key,
                           const std::string& name, bool view32) override {
    // Through the registry itself (the prefix's files are written back only later).
    const fs::path out = kScratch / ("reg-" + std::to_string(getpid()) + ".txt");
    Shell(WineEnvironment() + " " + (kSource / "scripts" / "wine-run").string() +
          " reg.exe query " + ShellQuote(root + "\\" + key) + " /v " + ShellQuote(name) +
          (view32 ? " /reg:32" : " /reg:64") + " > " + out.string() + " 2>/dev/null");
    std::string text = ReadFile(out);
    fs::remove(out);
    // "    NAME    REG_SZ    DATA"
    size_t at = text.find(" REG_");
    if (at == std::string::npos) return "<missing>";
    size_t type_end = text.find_first_of(" \t", at + 1);
    size_t data = text.find_first_not_of(" \t", type_end);
    size_t end = text.find_first_of("\r\n", data);
    if (data == std::string::npos) return "";
    std::string value = text.substr(data, end == std::string::npos ? end : end - data);
    if (text.compare(at + 1, 9, "REG_DWORD") == 0) {
      value = std::to_string(std::stoul(value, nullptr, 16));
    }
    return value;
  }

 private:
  int RunProgram(const std::string& program, const std::string& args, const fs::path& work,
                 fs::path* log) {
    *log = work / "run.log";
    fs::remove(*log);
    std::string windows_log = WinePath(*log);
    // cmd.exe reports the whole exit code (a process exit status here keeps its low byte only).
    // Nothing on this command line may be quoted: Wine passes the quotes on escaped.
    const std::string& setup = program;
    const fs::path report = work / "exit.txt";
    fs::remove(report);
    Shell(environment + " " + (on_screen ? ScreenEnvironment() : WineEnvironment()) + " " +
          (kSource / "scripts" / (on_screen ? "wine-gui-run" : "wine-run")).string() +
          " cmd.exe /c '" + before_ + setup + " /l=" +
          windows_log + " " + args + " & echo %ERRORLEVEL%' > " + report.string() +
          " 2>/dev/null");
    std::string text = ReadFile(report);
    size_t digit = text.find_first_of("-0123456789");
    return digit == std::string::npos ? -1 : std::stoi(text.substr(digit));
  }

 public:
  fs::path TempFolder() override {
    return kPrefix / "drive_c" / "users" / "root" / "Temp" / temp_name_;
  }
  void UseTempFolderNamed(const std::string& name) override {
    temp_name_ = name;
    const std::string temp = "C:\\users\\root\\Temp\\" + name;
    before_ = "set TEMP=" + temp + "& set TMP=" + temp + "& ";
  }

 private:
  std::string temp_name_, before_;
};

class EndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    engine_ = kWin64 / "apps" / "corvane.exe";
    zel_ = kWin64 / "archive" / "zel.lib";
    if (!fs::exists(engine_) || !fs::exists(zel_)) {
      GTEST_SKIP() << "the x86_64 Windows build is needed (" << engine_ << ")";
    }
    // The case's name ends in "/sim" or "/wine": one folder per case, none left behind.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    dir_ = kScratch / ("corvane-e2e-" + std::to_string(getpid()) + "-" + name);
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
  // A script that names no product or revision code gets the codes of these tests' product.
  fs::path MakeSetup(const std::string& name, const std::string& script) {
    fs::path example = dir_ / ("example-" + name);
    std::string text = script;
    if (text.find(".revision-code") == std::string::npos) {
      text = ".revision-code \"{0E2E0000-0000-4000-8000-000000000001}\"\n" + text;
    }
    if (text.find(".product-code") == std::string::npos) {
      text = ".product-code \"{0E2E0000-0000-4000-8000-000000000000}\"\n" + text;
    }
    WriteFile(example / "setup.txt", text);
    WriteFile(example / "dialogs.txt", dialogs_);
    const fs::path wxs = wxs_.empty() ? kSource / "examples" / "hello" / "hello.wxs" : wxs_;
    fs::copy_file(wxs, example / "setup.wxs");
    fs::copy(wxs.parent_path() / "payload", example / "payload", fs::copy_options::recursive);
    fs::path out = dir_ / name;
    int rc = Shell((kSource / "scripts" / "make-setup").string() + " " + example.string() + " " +
                   out.string() + " " + engine_.string() + " " + zel_.string() + " " +
                   kNative.string() + (revision_from_package_ ? " --revision-from-package" : "") +
                   " >/dev/null");
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
  // How MakeSetup builds: the package's .wxs (its payload folder beside it; default the sample
  // product), the dialogs of the support archive, and whether the revision code becomes the
  // package code of the database built.
  fs::path wxs_;
  std::string dialogs_ = "Welcome\nFinish\n";
  bool revision_from_package_ = false;
};

}  // namespace corvane::e2e
