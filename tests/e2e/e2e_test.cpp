// End-to-end runs of real setup files: built from script text, dialogs, a support archive made
// with 7zz and an installer database made with wixl, run by corvane-sim on a simulated machine
// and by the x86_64 corvane.exe under Wine. Both must give the same exit codes and trace logs.
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
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "platform/text.h"

#include "tests/e2e/e2e_support.h"

namespace {

using namespace corvane::e2e;
namespace fs = std::filesystem;

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
  std::vector<std::string> lines = TraceLines(log);
  // The silent run shows no box: the failure, with its source line, is in the trace log.
  auto message = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("    <Message>Runtime error in setup script:", 0) == 0;
  });
  ASSERT_NE(message, lines.end());
  EXPECT_NE(message->find("Line Number: 5  Unable to obtain command headers. Please rebuild your "
                          "project.</Message>"),
            std::string::npos)
      << *message;
  lines.erase(message);
  EXPECT_EQ(lines,
            Concat(kStartupTags,
                   {"    </CompileScript>", "    <BootStrap>", "    </BootStrap>", "    <vort>",
                    "  </RunScript>", "  <Free>", "  </Free>", "  <CachedSupportDir>",
                    "  </CachedSupportDir>", "</Corvane>"}));
}

TEST_P(EndToEnd, ALibraryRedirectionBesideTheEngineEndsTheRunWith11) {
  // "setup.exe.local" would make Windows take the engine's libraries from there.
  fs::path setup = MakeSetup("dotlocal", kGoodScript);
  const std::vector<std::string> refused = {"<Corvane>", "  <SetupSplash>", "  <CachedSupportDir>",
                                            "  </CachedSupportDir>", "</Corvane>"};
  size_t before = SupportFolders().size();
  fs::path log;
  fs::create_directories(setup / "setup.exe.local");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 11);
  EXPECT_EQ(TraceLines(log), refused);
  fs::remove(setup / "setup.exe.local");
  WriteFile(setup / "setup.exe.local", "");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 11);
  EXPECT_EQ(TraceLines(log), refused);
  EXPECT_EQ(SupportFolders().size(), before);
  fs::remove(setup / "setup.exe.local");
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 0);
}

// corvane-sim run by hand in a folder, as a setup author does: "cd setup; corvane-sim setup.exe".
int RunSimIn(const fs::path& folder, const std::string& args, std::string* output) {
  const fs::path out = folder.parent_path() / "sim-output.txt";
  int rc = Shell("cd " + folder.string() + " && " + (kNative / "apps" / "corvane-sim").string() +
                 " " + args + " > " + out.string() + " 2>&1");
  *output = ReadFile(out);
  fs::remove(out);
  return rc;
}

TEST_P(EndToEnd, CorvaneSimRunsFromInsideTheSetupFolder) {
  if (GetParam() != "sim") GTEST_SKIP() << "a corvane-sim case";
  fs::path setup = MakeSetup("inside", kGoodScript);
  std::string output;
  // The default machine folder is made in the current folder, the setup's own.
  EXPECT_EQ(RunSimIn(setup, "setup.exe /s", &output), 0) << output;
  const fs::path copy = setup / "corvane-machine" / "drive_c" / "Setup";
  EXPECT_TRUE(fs::is_regular_file(copy / "setup.exe"));
  EXPECT_TRUE(fs::is_regular_file(copy / "zel.lib"));
  EXPECT_FALSE(fs::exists(copy / "corvane-machine"));
  // Again, now that the machine holds a copy, and with the machine deeper inside the folder or
  // the folder itself: never a copy of the machine in itself.
  EXPECT_EQ(RunSimIn(setup, "setup.exe /s", &output), 0) << output;
  EXPECT_FALSE(fs::exists(copy / "corvane-machine"));
  EXPECT_EQ(RunSimIn(setup, "--machine machines/one setup.exe /s", &output), 0) << output;
  EXPECT_TRUE(fs::is_regular_file(setup / "machines/one/drive_c/Setup/setup.exe"));
  EXPECT_FALSE(fs::exists(setup / "machines/one/drive_c/Setup/machines/one"));
  EXPECT_EQ(RunSimIn(setup, "--machine . setup.exe /s", &output), 0) << output;
  EXPECT_TRUE(fs::is_regular_file(setup / "drive_c/Setup/setup.msi"));
  EXPECT_FALSE(fs::exists(setup / "drive_c/Setup/drive_c"));
  EXPECT_FALSE(fs::exists(setup / "drive_c/Setup/registry.reg"));
  // Nothing half-copied: a file that cannot be copied is named, and the machine keeps the
  // C:\Setup of the run before.
  ASSERT_EQ(Shell("mkfifo " + (setup / "pipe").string()), 0);
  EXPECT_EQ(RunSimIn(setup, "setup.exe /s", &output), 2);
  EXPECT_NE(output.find("cannot copy " + (setup / "pipe").string()), std::string::npos) << output;
  EXPECT_TRUE(fs::is_regular_file(copy / "setup.exe"));
  EXPECT_FALSE(fs::exists(copy / "pipe"));
  for (const auto& e : fs::directory_iterator(copy.parent_path())) {
    EXPECT_EQ(e.path().filename().string().rfind("Setup.", 0), std::string::npos) << e.path();
  }
}

namespace platform = corvane::platform;

// Everything a simulated machine holds, as "path|attributes|size" for files and folders and
// "root\key|name|type|data" for registry values (and "root\key" for keys). The setup's own
// folder, the temporary folder and the run log change with every run and are left out.
std::vector<std::string> MachineListing(const fs::path& machine) {
  platform::SimOptions options;
  options.machine_folder = machine.string();
  options.save_registry_on_exit = false;
  auto p = platform::CreateSimPlatform(options);
  std::vector<std::string> out;
  const std::vector<std::string> skipped = {"C:\\SETUP", "C:\\SETUP.NEW", "C:\\RUN.LOG",
                                            "C:\\USERS\\USER\\APPDATA\\LOCAL\\TEMP"};
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    std::vector<platform::FileEntry> entries;
    if (p->files().List(folder, "*", &entries) != platform::Status::kOk) return;
    for (const auto& e : entries) {
      const std::string path = (folder.back() == '\\' ? folder : folder + "\\") + e.name;
      std::string upper = platform::UpperCase(path);
      if (std::any_of(skipped.begin(), skipped.end(),
                      [&](const std::string& s) { return upper.rfind(s, 0) == 0; })) {
        continue;
      }
      out.push_back(path + "|" + std::to_string(e.attributes) + "|" + std::to_string(e.size));
      if (e.attributes & platform::attr::kDirectory) walk(path);
    }
  };
  walk("C:\\");
  platform::Registry& reg = p->registry();
  std::function<void(platform::RegRoot, const std::string&, const std::string&)> keys =
      [&](platform::RegRoot root, const std::string& name, const std::string& key) {
        out.push_back(name + "\\" + key);
        std::vector<std::string> values;
        reg.EnumValues(root, key, platform::RegView::kNative, &values);
        for (const auto& v : values) {
          platform::RegValue value;
          reg.ReadValue(root, key, v, platform::RegView::kNative, &value);
          out.push_back(name + "\\" + key + "|" + v + "|" +
                        std::to_string(static_cast<int>(value.type)) + "|" + value.data);
        }
        std::vector<std::string> subkeys;
        reg.EnumKeys(root, key, platform::RegView::kNative, &subkeys);
        for (const auto& k : subkeys) keys(root, name, key.empty() ? k : key + "\\" + k);
      };
  keys(platform::RegRoot::kLocalMachine, "HKLM", "SOFTWARE");
  keys(platform::RegRoot::kCurrentUser, "HKCU", "Software");
  std::sort(out.begin(), out.end());
  return out;
}

// Other products' files, folders and registrations on a machine, the way any machine has them.
void PlantOtherProducts(const fs::path& machine) {
  platform::SimOptions options;
  options.machine_folder = machine.string();
  auto p = platform::CreateSimPlatform(options);
  platform::FileSystem& files = p->files();
  for (const char* file :
       {"C:\\ProgramData\\Other Vendor\\{0E2E0000-0000-4000-8000-00000000BEEF}\\setup.dat",
        "C:\\ProgramData\\Other Vendor\\shared.txt", "C:\\ProgramData\\loose.txt",
        "C:\\Program Files\\Other\\app.exe", "C:\\Users\\User\\AppData\\Local\\Other\\a.ini",
        "C:\\Users\\User\\AppData\\Roaming\\Other\\r.txt", "C:\\Windows\\system32\\other.dll",
        "C:\\Users\\User\\Documents\\letter.txt", "C:\\keep.txt"}) {
    std::string path(file);
    files.CreateDirectories(path.substr(0, path.rfind('\\')));
    ASSERT_EQ(files.WriteFile(path, "belongs to someone else"), platform::Status::kOk) << path;
  }
  platform::Registry& reg = p->registry();
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  for (auto root : {platform::RegRoot::kLocalMachine, platform::RegRoot::kCurrentUser}) {
    for (const std::string& key :
         {uninstall + "{0E2E0000-0000-4000-8000-00000000BEEF}", uninstall + "Other Product",
          std::string("SOFTWARE\\Other Vendor\\Product"),
          std::string("SOFTWARE\\Kestrova\\Corvane\\Ident.Cache\\"
                      "{0E2E0000-0000-4000-8000-00000000BEEF}")}) {
      ASSERT_EQ(reg.WriteValue(root, key, "DisplayName", platform::RegView::kNative,
                               platform::RegValue::String("Other")),
                platform::Status::kOk);
      reg.WriteValue(root, key, "", platform::RegView::kNative,
                     platform::RegValue::String("default"));
    }
  }
}

// Codes that are not GUIDs, from the image or from an instance.dat beside the engine, end the
// run before anything is touched, and a good web-build run that removes its cache at the end
// touches nothing of anybody else's.
TEST_P(EndToEnd, CodesThatAreNotGuidsNeverReachAnythingOnTheMachine) {
  if (GetParam() != "sim") GTEST_SKIP() << "the listing reads the simulated machine's state";
  const fs::path machine = dir_ / "machine";
  // A web build that keeps no sources empties its cache folder at the end of every run.
  const std::string body =
      ".title \"Hostile\"\n"
      ".compiler-variable \"CACHESOURCES\" \"FALSE\"\n"
      "Define Component \"Main\" \"TRUE\" \"\"\n"
      "Set Variable \"A\" \"1\"\n";
  fs::path log;
  // A first good run makes the machine; then other products move in.
  ASSERT_EQ(runner_->Run(MakeSetup("first", body), "/s", &log), 0);
  PlantOtherProducts(machine);
  const std::vector<std::string> before = MachineListing(machine);
  ASSERT_GT(before.size(), 30u);

  struct Case {
    std::string name, script, instance;
    int exit_code;
  };
  const std::string product = ".product-code \"{0E2E0000-0000-4000-8000-0000000000C1}\"\n";
  const std::vector<Case> cases = {
      {"norevision", product + ".revision-code \"\"\n.build-mode 2\n" + body, "", 11},
      {"dotdot", product + ".revision-code \"..\"\n.build-mode 2\n" + body, "", 11},
      {"noproduct", ".product-code \"\"\n.build-mode 2\n" + body, "", 11},
      {"instance", product + ".build-mode 2\n" + body,
       "{0E2E0000-0000-4000-8000-0000000000C1}\r\n..\r\nHostile\r\n", 11},
      {"goodweb", product + ".build-mode 2\n" + body, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path setup = MakeSetup(c.name, c.script);
    if (!c.instance.empty()) WriteFile(setup / "instance.dat", c.instance);
    EXPECT_EQ(runner_->Run(setup, "/s", &log), c.exit_code);
    const std::vector<std::string> after = MachineListing(machine);
    std::vector<std::string> lost;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(),
                        std::back_inserter(lost));
    EXPECT_EQ(lost, std::vector<std::string>()) << "changed or gone after " << c.name;
  }
}

// A temporary folder whose name the code page cannot spell is reached by its short name, and a
// support archive entry named so is written under its own name: the run goes to its end.
TEST_P(EndToEnd, ATemporaryFolderOutsideTheCodePageServesTheWholeRun) {
  const std::string nihon = "\xE6\x97\xA5\xE6\x9C\xAC";
  fs::path setup = MakeSetup("nihon", kGoodScript);
  const fs::path extra = dir_ / "extra";
  WriteFile(extra / (nihon + ".txt"), "nihon\r\n");
  ASSERT_EQ(Shell("cd " + extra.string() + " && 7zz a -bso0 -bsp0 " + (setup / "setup.res").string() +
                  " " + nihon + ".txt >/dev/null"),
            0);
  runner_->UseTempFolderNamed(nihon);
  fs::path log;
  EXPECT_EQ(runner_->Run(setup, "/s", &log), 0);
  EXPECT_EQ(LastLine(log), "</Corvane>");
  EXPECT_TRUE(fs::is_directory(runner_->TempFolder())) << runner_->TempFolder();
  for (const fs::path& left : SupportFolders()) {
    ADD_FAILURE() << "left behind: " << left;
    for (const auto& e : fs::recursive_directory_iterator(left)) std::cout << e.path() << "\n";
  }
  fs::remove_all(runner_->TempFolder());
}

INSTANTIATE_TEST_SUITE_P(Runners, EndToEnd, ::testing::Values("sim", "wine"),
                         [](const auto& info) { return info.param; });

}  // namespace

namespace {

// The libraries a program's import table names, in lower case.
std::vector<std::string> ImportedLibraries(const fs::path& program) {
  const fs::path listing = fs::temp_directory_path() /
                           ("corvane-imports-" + std::to_string(getpid()) + ".txt");
  int rc = Shell(std::string(CORVANE_MINGW_OBJDUMP) + " -p " + program.string() + " > " +
                 listing.string() + " 2>&1");
  std::string text = ReadFile(listing);
  fs::remove(listing);
  EXPECT_EQ(rc, 0) << text;
  std::vector<std::string> names;
  const std::string tag = "DLL Name: ";
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1)) {
    size_t end = text.find_first_of("\r\n", at);
    std::string name = text.substr(at + tag.size(), end - at - tag.size());
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    names.push_back(name);
  }
  return names;
}

// Libraries that Windows always maps from its own copies (its known libraries), whatever lies
// beside the program.
const std::vector<std::string> kAlwaysFromTheSystem = {
    "kernel32.dll", "user32.dll", "gdi32.dll",  "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "msvcrt.dll", "ws2_32.dll", "comdlg32.dll", "shlwapi.dll", "rpcrt4.dll",
    "imm32.dll",    "psapi.dll",  "setupapi.dll"};

TEST(EngineLibraries, BothEnginesImportOnlyLibrariesThatWindowsTakesFromTheSystem) {
  int checked = 0;
  for (const fs::path& tree : {kWin64, kWin32}) {
    for (const fs::path& program : {tree / "apps" / "corvane.exe", tree / "archive" / "zel.lib"}) {
      ASSERT_TRUE(fs::exists(program)) << program << " is needed: build every configuration";
      std::vector<std::string> imports = ImportedLibraries(program);
      EXPECT_FALSE(imports.empty()) << program;
      for (const std::string& name : imports) {
        EXPECT_TRUE(std::find(kAlwaysFromTheSystem.begin(), kAlwaysFromTheSystem.end(), name) !=
                    kAlwaysFromTheSystem.end())
            << program << " imports " << name;
      }
      ++checked;
    }
  }
  EXPECT_EQ(checked, 4);
}

// Both engines carry the process manifest (resource type 24, id 1): run as the invoker, never
// taken for an installer by name nor virtualised, on every supported system up to Windows 10/11.
TEST(EngineManifest, BothEnginesRunAsInvokerAndNameTheSystemsTheySupport) {
  for (const fs::path& tree : {kWin64, kWin32}) {
    const fs::path program = tree / "apps" / "corvane.exe";
    ASSERT_TRUE(fs::exists(program)) << program << " is needed: build every configuration";
    const fs::path listing = fs::temp_directory_path() /
                             ("corvane-resources-" + std::to_string(getpid()) + ".txt");
    ASSERT_EQ(Shell(std::string(CORVANE_MINGW_OBJDUMP) + " -p " + program.string() + " > " +
                    listing.string() + " 2>&1"),
              0);
    std::string text = ReadFile(listing);
    fs::remove(listing);
    const size_t type = text.find("Entry: ID: 0x000018");
    ASSERT_NE(type, std::string::npos) << program << " has no manifest resource";
    EXPECT_NE(text.find("Entry: ID: 0x000001", type), std::string::npos) << program;
    // The manifest's text is stored as it is.
    const std::string bytes = ReadFile(program);
    EXPECT_NE(bytes.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
              std::string::npos)
        << program;
    EXPECT_NE(bytes.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos) << program;
    EXPECT_NE(bytes.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"), std::string::npos) << program;
  }
}

// Runs a Windows program under Wine on a virtual screen, with the screen prefix, quietly.
int WineRun(const std::string& environment, const fs::path& program, const std::string& args) {
  return Shell(environment + " " + ScreenEnvironment() + " " +
               (kSource / "scripts" / "wine-gui-run").string() + " " + program.string() + " " + args +
               " >/dev/null 2>&1");
}

// The names of the planted copies that announced a load, and clears the announcements.
std::vector<std::string> TakeLoaded(const fs::path& dir, const std::vector<std::string>& names) {
  std::vector<std::string> loaded;
  for (const std::string& name : names) {
    if (fs::remove(dir / (name + ".dll.loaded"))) loaded.push_back(name);
  }
  return loaded;
}

TEST(EngineLibraries, LibrariesPlantedBesideTheSetupAreNeverLoaded) {
  const fs::path engine = kWin64 / "apps" / "corvane.exe";
  const fs::path planted = kWin64 / "tests" / "planted_library.dll";
  const fs::path baseline = kWin64 / "tests" / "planted_baseline.exe";
  ASSERT_TRUE(fs::exists(engine) && fs::exists(planted) && fs::exists(baseline))
      << "the x86_64 Windows build is needed";
  const fs::path dir =
      kScratch / ("corvane-e2e-planted-" + std::to_string(getpid()));
  fs::remove_all(dir);
  // The run reads a file version (version.dll), shows its start-up windows (comctl32.dll) and
  // asks the installer about its product (msi.dll); the version goes to a file beside the setup.
  std::string result = WinePath(dir / "setup" / "version.txt");
  fs::path example = dir / "example";
  WriteFile(example / "setup.txt",
            ".title \"Planted\"\n"
            ".product-code \"{0E2E0000-0000-4000-8000-0000000000AA}\"\n"
            ".revision-code \"{0E2E0000-0000-4000-8000-0000000000AB}\"\n"
            "Get File Version \"C:\\windows\\system32\\kernel32.dll\" \"V\"\n"
            "Write to Text File \"" + result + "\" \"$V$\" \"TRUE\"\n");
  WriteFile(example / "dialogs.txt", "Welcome\n");
  fs::copy_file(kSource / "examples" / "hello" / "hello.wxs", example / "setup.wxs");
  fs::copy(kSource / "examples" / "hello" / "payload", example / "payload",
           fs::copy_options::recursive);
  const fs::path setup = dir / "setup";
  ASSERT_EQ(Shell((kSource / "scripts" / "make-setup").string() + " " + example.string() + " " +
                  setup.string() + " " + engine.string() + " " +
                  (kWin64 / "archive" / "zel.lib").string() + " " + kNative.string() +
                  " >/dev/null"),
            0);
  const std::vector<std::string> names = {
      "version", "comctl32", "msi",     "uxtheme",  "dwmapi",  "cryptbase", "userenv", "profapi",
      "winmm",   "urlmon",   "wininet", "riched20", "propsys", "secur32",   "sspicli", "netapi32",
      "mpr",     "iphlpapi", "dbghelp", "winhttp",  "msimg32", "oleacc",    "wtsapi32", "cabinet"};
  std::string overrides;
  for (const std::string& name : names) {
    fs::copy_file(planted, setup / (name + ".dll"));
    overrides += (overrides.empty() ? "" : ",") + name;
  }
  // Windows' own order: a library in the program's folder before the system's.
  const std::string environment = "WINEDLLOVERRIDES=" + overrides + "=n,b";

  // What the system's own libraries load before any code of a program runs, for a program that
  // imports what the engine imports (under Wine, its gdi32 and user32 import version.dll and so
  // take it from the program's folder). The engine cannot choose those; it must add none.
  fs::copy_file(baseline, setup / "baseline.exe");
  const std::vector<std::string> engine_imports = ImportedLibraries(engine);
  for (const std::string& name : engine_imports) {
    std::vector<std::string> of_baseline = ImportedLibraries(baseline);
    EXPECT_TRUE(std::find(of_baseline.begin(), of_baseline.end(), name) != of_baseline.end())
        << "the baseline program must import " << name << " as the engine does";
  }
  WineRun(environment, setup / "baseline.exe", "");
  const std::vector<std::string> before_any_code = TakeLoaded(setup, names);
  // The planted copies do announce a load when a program asks for them by name.
  WineRun(environment, setup / "baseline.exe", "cabinet.dll");
  std::vector<std::string> asked = TakeLoaded(setup, names);
  EXPECT_TRUE(std::find(asked.begin(), asked.end(), "cabinet") != asked.end());

  // On a screen: the windows of a run that shows them load libraries of their own (the theme
  // library of the window code).
  WineRunner runner;
  runner.environment = environment;
  runner.on_screen = true;
  fs::path log;
  EXPECT_EQ(runner.Run(setup, "", &log), 0);
  EXPECT_EQ(LastLine(log), "</Corvane>");
  // The engine's own calls reach the system's version.dll, whatever else was loaded.
  std::string version = ReadFile(setup / "version.txt");
  EXPECT_FALSE(version.empty());
  EXPECT_NE(version.rfind("0.0.0.0", 0), 0u) << "version.dll gave no version";
  for (const std::string& name : TakeLoaded(setup, names)) {
    EXPECT_TRUE(std::find(before_any_code.begin(), before_any_code.end(), name) !=
                before_any_code.end())
        << "the engine loaded the planted " << name << ".dll";
  }
  if (!before_any_code.empty()) {
    std::string list;
    for (const std::string& name : before_any_code) list += " " + name;
    std::cout << "loaded by the system's own libraries before any program code:" << list << "\n";
  }
  fs::remove_all(dir);
}

}  // namespace
