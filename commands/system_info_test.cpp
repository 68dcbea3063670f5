// System information commands as scripts: natively on simulated machines described case by case,
// under Wine on the real system (where only the sanity cases run).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "platform/installer.h"
#ifndef _WIN32
#include "platform/sim/sim_installer.h"
#include "platform/sim/sim_platform.h"
#endif

namespace corvane::commands {
namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

// Runs a script on a machine described by `machine_text` (native only).
class Machine {
 public:
  explicit Machine(const std::string& machine_text = "") : machine_(machine_text) {}
  CommandRun Run(const std::string& text) {
    CommandScript script(machine_.platform());
    CommandRun run = script.Run(text);
    EXPECT_EQ(run.text_error, "");
    EXPECT_TRUE(run.result.compile.ok()) << run.result.compile.message;
    return run;
  }
  // The value of one setting.
  std::string Setting(int n) {
    return Run("Get System Settings \"R\" \"" + std::to_string(n) + "\"\n").Var("R");
  }
  std::string Folder(int n, bool common, bool sixty_four = false) {
    std::string text = sixty_four ? "Set 64 Bit Mode \"FALSE\" \"FALSE\" \"TRUE\"\n" : "";
    text += "Get Folder Location \"R\" \"" + std::to_string(n) + "\" \"" +
            (common ? "TRUE" : "FALSE") + "\"\n";
    return Run(text).Var("R");
  }
  void PutHklm(const std::string& key, const std::string& name, const RegValue& v,
               RegView view = RegView::kNative) {
    ASSERT_EQ(machine_.platform().registry().WriteValue(RegRoot::kLocalMachine, key, name, view, v),
              platform::Status::kOk);
  }
#ifndef _WIN32
  platform::sim::SimInstaller& installer() {
    return dynamic_cast<platform::SimPlatform&>(machine_.platform()).sim_installer();
  }
#endif
  TestMachine machine_;
};

#define NATIVE_ONLY() \
  if (!TestMachine().simulated()) GTEST_SKIP() << "needs a simulated machine"

TEST(SystemSettings, MemoryAllowsTwoMibLessThanNominal) {
  NATIVE_ONLY();
  EXPECT_EQ(Machine("memory = 32505856\n").Setting(1), "TRUE");   // 31 MiB
  EXPECT_EQ(Machine("memory = 31457280\n").Setting(1), "TRUE");   // 30 MiB exactly
  EXPECT_EQ(Machine("memory = 31457279\n").Setting(1), "FALSE");  // a byte short
  Machine two_gib("memory = 2145386496\n");                       // 2046 MiB
  EXPECT_EQ(two_gib.Setting(7), "TRUE");
  EXPECT_EQ(two_gib.Setting(6), "TRUE");
  EXPECT_EQ(Machine("memory = 2145386495\n").Setting(7), "FALSE");
}

TEST(SystemSettings, ScreenSizesInEitherOrientationAndColourDepth) {
  NATIVE_ONLY();
  Machine portrait("screen = 768x1024\nscreen.bits = 24\nscreen.dpi = -1\n");
  EXPECT_EQ(portrait.Setting(8), "TRUE");
  EXPECT_EQ(portrait.Setting(9), "TRUE");
  EXPECT_EQ(portrait.Setting(10), "FALSE");
  EXPECT_EQ(portrait.Setting(13), "TRUE");
  EXPECT_EQ(portrait.Setting(15), "TRUE");
  EXPECT_EQ(portrait.Setting(16), "FALSE");
  EXPECT_EQ(portrait.Setting(64), "-1");
  // 1920x1200 reaches 1600x1200 but not 1920x1440.
  Machine wide("screen = 1920x1200\nscreen.dpi = 144\n");
  EXPECT_EQ(wide.Setting(11), "TRUE");
  EXPECT_EQ(wide.Setting(12), "FALSE");
  EXPECT_EQ(wide.Setting(64), "144");
  EXPECT_EQ(Machine("screen = 799x600\n").Setting(8), "FALSE");
}

TEST(SystemSettings, WindowsVersionsAndFamilies) {
  NATIVE_ONLY();
  struct Case {
    const char* machine;
    std::vector<int> true_settings, false_settings;
    const char* release;
  };
  const Case cases[] = {
      {"windows.platform = 9x\nwindows.version = 4.0.950\n", {17, 19, 23}, {18, 20, 24}, "95"},
      {"windows.platform = 9x\nwindows.version = 4.10.1998\n", {20}, {21}, "98"},
      {"windows.platform = 9x\nwindows.version = 4.10.2222\n", {20, 21}, {22}, "98SE"},
      {"windows.platform = 9x\nwindows.version = 4.90.3000\n", {22}, {24}, "ME"},
      {"windows.version = 4.0.1381\n", {18, 19, 23}, {17, 24}, "NT4"},
      {"windows.version = 5.1.2600\n", {24, 25}, {26, 69}, "XP"},
      {"windows.version = 5.2.3790\n", {26}, {69, 68}, "2003"},
      {"windows.version = 6.1.7601\n", {69, 79}, {68, 76, 81}, "SEVEN"},
      {"windows.version = 10.0.19045\n", {19, 23, 69, 79}, {17}, "UNKNOWN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.machine);
    Machine m(c.machine);
    for (int n : c.true_settings) EXPECT_EQ(m.Setting(n), "TRUE") << n;
    for (int n : c.false_settings) EXPECT_EQ(m.Setting(n), "FALSE") << n;
    EXPECT_EQ(m.Setting(19), m.Setting(23));
    EXPECT_EQ(m.Run("Get OS or SP Level \"R\" \"TRUE\"\n").Var("R"), c.release);
  }
}

TEST(SystemSettings, ServerEditions) {
  NATIVE_ONLY();
  Machine vista_server("windows.version = 6.0.6001\nwindows.product_type = 3\n");
  EXPECT_EQ(vista_server.Run("Get OS or SP Level \"R\" \"TRUE\"\n").Var("R"), "VISTA");
  EXPECT_EQ(vista_server.Setting(68), "TRUE");
  EXPECT_EQ(vista_server.Setting(76), "FALSE");
  Machine sp1(
      "windows.version = 6.0.6001\nwindows.product_type = 3\n"
      "windows.service_pack = Service Pack 1\n");
  EXPECT_EQ(sp1.Run("Get OS or SP Level \"R\" \"TRUE\"\n").Var("R"), "2008");
  EXPECT_EQ(sp1.Setting(76), "TRUE");
  EXPECT_EQ(sp1.Setting(81), "FALSE");
  Machine r2("windows.version = 6.1.7600\nwindows.product_type = 2\n");
  EXPECT_EQ(r2.Run("Get OS or SP Level \"R\" \"TRUE\"\n").Var("R"), "2008R2");
  EXPECT_EQ(r2.Setting(76), "TRUE");
  EXPECT_EQ(r2.Setting(81), "TRUE");
}

TEST(SystemSettings, ServicePackNumberFromItsText) {
  NATIVE_ONLY();
  auto level = [](const std::string& text) {
    return Machine("windows.service_pack = " + text + "\n")
        .Run("Get OS or SP Level \"R\" \"FALSE\"\n")
        .Var("R");
  };
  EXPECT_EQ(level("Service Pack 2"), "2");
  EXPECT_EQ(level(""), "0");
  EXPECT_EQ(level("Service Pack 10"), "10");  // not the 1 that also occurs in it
  EXPECT_EQ(level("Beta"), "0");
  Machine sp3("windows.service_pack = Service Pack 3\n");
  EXPECT_EQ(sp3.Setting(29), "TRUE");
  EXPECT_EQ(sp3.Setting(30), "FALSE");
}

TEST(SystemSettings, GroupsAndElevation) {
  NATIVE_ONLY();
  Machine not_elevated("user.admin = false\nuser.groups = Administrators, Users\n");
  EXPECT_EQ(not_elevated.Setting(0), "TRUE");
  EXPECT_EQ(not_elevated.Setting(77), "FALSE");
  EXPECT_EQ(not_elevated.Setting(63), "ADMIN");
  Machine elevated;
  EXPECT_EQ(elevated.Setting(0), "TRUE");
  EXPECT_EQ(elevated.Setting(77), "TRUE");
  EXPECT_EQ(Machine("user.admin = false\n").Setting(63), "USER");
  EXPECT_EQ(Machine("user.admin = false\n").Setting(0), "FALSE");
  EXPECT_EQ(Machine("user.groups = Power Users, Users\n").Setting(63), "POWER");
  EXPECT_EQ(Machine("user.groups = Guests\n").Setting(63), "GUEST");
  EXPECT_EQ(Machine("user.groups =\n").Setting(63), "GUEST");
  // The older family has no groups: every user counts as an administrator.
  Machine nine_x("windows.platform = 9x\nwindows.version = 4.10.2222\nuser.admin = false\n");
  EXPECT_EQ(nine_x.Setting(0), "TRUE");
  EXPECT_EQ(nine_x.Setting(63), "ADMIN");
  EXPECT_EQ(nine_x.Setting(62), "");
}

TEST(SystemSettings, AccountMachineAndProcessorFacts) {
  NATIVE_ONLY();
  Machine m(
      "user = Ann\ncomputer = BUILD7\nuser.domain = CORP\nprocessor = ia64\n"
      "vm = vmware\nlanguage = 1031\nlanguage.name = German (Germany)\n"
      "tablet_pc = true\n");
  EXPECT_EQ(m.Setting(60), "Ann");
  EXPECT_EQ(m.Setting(61), "BUILD7");
  EXPECT_EQ(m.Setting(62), "CORP");
  EXPECT_EQ(m.Setting(75), "IA64");
  EXPECT_EQ(m.Setting(70), "TRUE");
  EXPECT_EQ(m.Setting(71), "FALSE");
  EXPECT_EQ(m.Setting(74), "FALSE");
  EXPECT_EQ(m.Setting(33), "1031");
  EXPECT_EQ(m.Setting(34), "German (Germany)");
  EXPECT_EQ(m.Setting(66), "TRUE");
  EXPECT_EQ(m.Setting(67), "FALSE");
  Machine plain("windows.64bit = false\n");
  EXPECT_EQ(plain.Setting(75), "X86");
  EXPECT_EQ(plain.Setting(65), "FALSE");
  EXPECT_EQ(plain.Setting(74), "TRUE");
  EXPECT_EQ(Machine("processor = 12\n").Setting(75), "UNKNOWN");
  EXPECT_EQ(Machine("vm = virtualpc\n").Setting(71), "TRUE");
  // A computer name longer than the 15 characters the call fills is not reported cut short.
  EXPECT_EQ(Machine("computer = ABCDEFGHIJKLMNOPQ\n").Setting(61), "");
}

TEST(SystemSettings, RegistryFacts) {
  NATIVE_ONLY();
  Machine m("owner = Ann Smith\norganization = Example Ltd\nbrowser.version = 7.0.5730.11\n");
  EXPECT_EQ(m.Setting(35), "Ann Smith");
  EXPECT_EQ(m.Setting(36), "Example Ltd");
  EXPECT_EQ(m.Setting(72), "TRUE");  // equal counts as reached
  EXPECT_EQ(m.Setting(78), "FALSE");
  EXPECT_EQ(Machine("browser.version = 7.0.5730.10\n").Setting(72), "FALSE");
  EXPECT_EQ(Machine("browser.version = 8.0.6001.18702\n").Setting(78), "TRUE");
  EXPECT_EQ(Machine("browser.version =\n").Setting(72), "FALSE");
  // A damaged version text reads as no version; the script goes on.
  Machine damaged("browser.version = x.y.z\n");
  CommandRun run = damaged.Run("Get System Settings \"R\" \"72\"\nSet Variable \"AFTER\" \"1\"\n");
  EXPECT_FALSE(run.Failed());
  EXPECT_EQ(run.Var("R"), "FALSE");
  EXPECT_EQ(run.Var("AFTER"), "1");
  // Without the browser's library in the system folder none of the file versions is reached.
  EXPECT_EQ(m.Setting(37), "FALSE");
  EXPECT_EQ(m.Setting(52), "FALSE");
}

TEST(SystemSettings, WebServerVersion) {
  NATIVE_ONLY();
  Machine m;
  EXPECT_EQ(m.Setting(58), "FALSE");  // no web server
  const std::string key = "SOFTWARE\\Microsoft\\InetStp";
  m.PutHklm(key, "MajorVersion", RegValue::Dword(7));
  EXPECT_EQ(m.Setting(58), "FALSE");  // the minor version is missing
  m.PutHklm(key, "MinorVersion", RegValue::Dword(5));
  EXPECT_EQ(m.Setting(53), "TRUE");
  EXPECT_EQ(m.Setting(73), "TRUE");
  EXPECT_EQ(m.Setting(80), "TRUE");
  m.PutHklm(key, "MinorVersion", RegValue::Dword(0));
  EXPECT_EQ(m.Setting(80), "FALSE");
}

// Setting 59 asks the server for its anonymous account as IIS Anonymous User does (the web-server
// tests cover a server that answers): a version in the registry without a server behind it, or
// files that look like the server's configuration, give nothing.
TEST(SystemSettings, WebServerAnonymousAccount) {
  NATIVE_ONLY();
  Machine m;
  EXPECT_EQ(m.Setting(59), "");  // no web server
  const std::string key = "SOFTWARE\\Microsoft\\InetStp";
  for (uint32_t major : {6u, 10u}) {
    m.PutHklm(key, "MajorVersion", RegValue::Dword(major));
    m.PutHklm(key, "MinorVersion", RegValue::Dword(0));
    platform::FileSystem& fs = m.machine_.platform().files();
    ASSERT_EQ(fs.CreateDirectories("C:\\Windows\\system32\\inetsrv"), platform::Status::kOk);
    ASSERT_EQ(fs.WriteFile("C:\\Windows\\system32\\inetsrv\\MetaBase.xml",
                           "<IIsWebService AnonymousUserName=\"FROMFILE\" />"),
              platform::Status::kOk);
    EXPECT_EQ(m.Setting(59), "") << major;
  }
}

TEST(SystemSettings, NotANumberIsAFailureAndOtherNumbersAreEmpty) {
  NATIVE_ONLY();
  Machine m;
  CommandRun run = m.Run("Get System Settings \"R\" \"abc\"\nSet Variable \"AFTER\" \"1\"\n");
  EXPECT_TRUE(run.Failed());
  EXPECT_TRUE(run.Has("R"));  // created before the number is read
  EXPECT_FALSE(run.Has("AFTER"));
  EXPECT_TRUE(m.Run("Get Folder Location \"F\" \"x\" \"FALSE\"\n").Failed());
  EXPECT_EQ(m.Setting(82), "");
  EXPECT_EQ(m.Setting(-1), "");
  EXPECT_EQ(m.Folder(29, false), "");
}

TEST(FolderLocation, SystemFolderByMode) {
  NATIVE_ONLY();
  Machine x64;
  EXPECT_EQ(x64.Folder(23, false), "C:\\Windows\\SysWOW64\\");
  EXPECT_EQ(x64.Folder(23, true, /*sixty_four=*/true), "C:\\Windows\\system32\\");
  Machine x86("windows.64bit = false\n");
  EXPECT_EQ(x86.Folder(23, false), "C:\\Windows\\system32\\");
  EXPECT_EQ(x64.Folder(25, false), "C:\\Windows\\");
}

TEST(FolderLocation, ShellAndRegistryFolders) {
  NATIVE_ONLY();
  Machine m("user = Ann\ncdrom = E\n");
  EXPECT_EQ(m.Folder(20, false), "C:\\Program Files (x86)\\");
  EXPECT_EQ(m.Folder(20, true), "C:\\Program Files (x86)\\Common Files\\");
  EXPECT_EQ(m.Folder(20, true, /*sixty_four=*/true), "C:\\Program Files\\Common Files\\");
  EXPECT_EQ(m.Folder(2, false), "C:\\Users\\Ann\\Documents\\");
  EXPECT_EQ(m.Folder(2, true), "C:\\Users\\Public\\Documents\\");
  EXPECT_EQ(m.Folder(17, true), "C:\\Users\\Public\\Desktop\\");
  EXPECT_EQ(m.Folder(19, false), "C:\\Users\\Ann\\");
  EXPECT_EQ(m.Folder(19, true), "");  // a folder the shell does not know
  EXPECT_EQ(m.Folder(10, false), "E:\\");
  EXPECT_EQ(Machine("cdrom =\n").Folder(10, false), "");
  EXPECT_EQ(m.Folder(9, false), "");  // no boot folder recorded
  m.PutHklm("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup", "BootDir",
            RegValue::String("C:\\"), RegView::kView32);
  EXPECT_EQ(m.Folder(9, false), "C:\\");
  // Quick Launch follows the user's application data folder once it is recorded.
  EXPECT_EQ(m.Folder(26, false), "");
  ASSERT_EQ(m.machine_.platform().registry().WriteValue(
                RegRoot::kCurrentUser,
                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData",
                RegView::kView32, RegValue::String("C:\\Users\\Ann\\AppData\\Roaming")),
            platform::Status::kOk);
  EXPECT_EQ(m.Folder(26, false),
            "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\");
}

TEST(FolderLocation, WebServerRoot) {
  NATIVE_ONLY();
  Machine m;
  EXPECT_EQ(m.Folder(27, false), "");
  const std::string roots = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
  m.PutHklm(roots, "/,", RegValue::String("D:\\web,,201"));
  EXPECT_EQ(m.Folder(27, false), "D:\\web\\");
  m.PutHklm(roots, "/", RegValue::String("E:\\site,,1"));
  EXPECT_EQ(m.Folder(27, false), "E:\\site\\");
  m.PutHklm("SOFTWARE\\Microsoft\\InetStp", "PathWWWRoot",
            RegValue::ExpandString("%SystemDrive%\\inetpub\\wwwroot"));
  EXPECT_EQ(m.Folder(27, false), "C:\\inetpub\\wwwroot\\");
}

#ifndef _WIN32
TEST(IsMsiSetupInstalled, OnlyAnInstalledProductCounts) {
  NATIVE_ONLY();
  Machine m;
  const std::string installed = "{11111111-2222-3333-4444-555555555555}";
  const std::string advertised = "{AAAAAAAA-2222-3333-4444-555555555555}";
  ASSERT_EQ(m.installer().SetProduct(installed, platform::install_state::kDefault, ""),
            platform::Status::kOk);
  ASSERT_EQ(m.installer().SetProduct(advertised, platform::install_state::kAdvertised, ""),
            platform::Status::kOk);
  CommandRun run = m.Run("Set Variable \"CODE\" \"" + installed + "\"\n" +
                         "Is MSI Setup Installed \"$CODE$\" \"A\"\n"
                         "Is MSI Setup Installed \"" +
                         advertised +
                         "\" \"B\"\n"
                         "Is MSI Setup Installed \"{00000000-0000-0000-0000-000000000000}\" \"C\"\n"
                         "Is MSI Setup Installed \"not a code\" \"D\"\n");
  EXPECT_EQ(run.Var("A"), "TRUE");
  EXPECT_EQ(run.Var("B"), "FALSE");
  EXPECT_EQ(run.Var("C"), "FALSE");
  EXPECT_EQ(run.Var("D"), "FALSE");
  EXPECT_FALSE(run.Has("$CODE$"));
}

#endif

// On every machine, the simulated one and the real one under Wine: the answers hang together.
TEST(SystemSettings, RealMachineAnswersAreSane) {
  Machine m;
  EXPECT_EQ(m.Setting(18), "TRUE");
  EXPECT_EQ(m.Setting(17), "FALSE");
  EXPECT_EQ(m.Setting(19), m.Setting(23));
  EXPECT_EQ(m.Setting(1), "TRUE");  // every machine this runs on has 32 MiB
  EXPECT_EQ(m.Setting(65), "TRUE");
  EXPECT_EQ(m.Setting(75), "AMD64");
  EXPECT_EQ(m.Setting(0), "TRUE");
  EXPECT_EQ(m.Setting(63), "ADMIN");
  EXPECT_EQ(m.Setting(77), "TRUE");
  EXPECT_NE(m.Setting(60), "");
  EXPECT_NE(m.Setting(61), "");
  int dpi = std::stoi(m.Setting(64));
  EXPECT_TRUE(dpi == -1 || (dpi >= 48 && dpi <= 480)) << dpi;
  std::string sp = m.Run("Get OS or SP Level \"R\" \"FALSE\"\n").Var("R");
  EXPECT_TRUE(sp.size() == 1 && sp[0] >= '0' && sp[0] <= '9') << sp;
  std::string release = m.Run("Get OS or SP Level \"R\" \"TRUE\"\n").Var("R");
  EXPECT_NE(release, "");
  std::string windows = m.Folder(25, false);
  ASSERT_GE(windows.size(), 4u);
  EXPECT_EQ(windows.back(), '\\');
  // Win32 mode on 64-bit Windows gives the 32-bit system folder, 64-bit mode the native one.
  std::string wow = m.Folder(23, false), native = m.Folder(23, false, /*sixty_four=*/true);
  EXPECT_NE(wow, native);
  EXPECT_EQ(native.substr(0, windows.size()), windows);
  EXPECT_NE(m.Folder(15, false), "");
  EXPECT_NE(m.Folder(17, false), "");
  EXPECT_NE(m.Folder(20, false, /*sixty_four=*/true), "");
  EXPECT_NE(m.Folder(20, true, /*sixty_four=*/true), "");
  EXPECT_GT(std::stoi(m.Setting(33)), 0);  // the system's winver.exe has a translation
  EXPECT_NE(m.Setting(34), "");
  // The processor probes run (on the real system they fault and are stepped over) and find
  // neither virtual machine: the machines these tests run on are neither.
  EXPECT_EQ(m.Setting(70), "FALSE");
  EXPECT_EQ(m.Setting(71), "FALSE");
  EXPECT_EQ(m.Setting(74), "TRUE");
}

}  // namespace
}  // namespace corvane::commands
