// The passes over a run's shortcuts on the simulated machine: pins through the shell's verbs on
// the systems that have them, the "User Pinned" files where the shell offers no verb, identities
// only for shortcut files that exist.
#include "install/shortcut_pins.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/sim_platform.h"

namespace corvane::install {
namespace {

namespace fs = std::filesystem;
using platform::Status;

class ShortcutPins : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(dir_); }
  // A machine of a Windows version with the program and its shortcut installed.
  platform::SimPlatform& Machine(const std::string& version) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    std::ofstream(dir_ / "machine.txt") << "windows.version = " << version << "\n";
    platform::SimOptions options;
    options.machine_folder = dir_.string();
    options.save_registry_on_exit = false;
    sim_ = platform::CreateSimPlatform(options);
    auto& f = sim_->files();
    f.CreateDirectories("C:\\Program Files\\Hello");
    f.WriteFile(kTarget, "[program]\r\n");
    f.CreateDirectories("C:\\Menu");
    f.WriteFile(kShortcut, "[shortcut]\r\ntarget=C:\\Program Files\\Hello\\hello.exe\r\n");
    return *sim_;
  }
  std::vector<std::string> Places(const std::string& path) {
    return sim_->sim_shell().PinnedPlaces(path);
  }
  static constexpr const char* kTarget = "C:\\Program Files\\Hello\\hello.exe";
  static constexpr const char* kShortcut = "C:\\Menu\\Hello.lnk";
  const std::string kUserPinned =
      "C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch\\User "
      "Pinned\\";
  fs::path dir_ = fs::temp_directory_path() / ("corvane-pins-" + std::to_string(getpid()));
  std::unique_ptr<platform::SimPlatform> sim_;
};

TEST_F(ShortcutPins, FlagsChooseThePlacesAndTheSystemDecidesWhichItHas) {
  platform::SimPlatform& p = Machine("10.0.19045");
  std::vector<std::string> trace;
  RunShortcutPass(p, {}, {std::string(kShortcut) + "|X7|" + kTarget}, true,
                  [&](const std::string& e) { trace.push_back(e); });
  EXPECT_EQ(Places(kShortcut), (std::vector<std::string>{"taskbar", "startmenu"}));
  EXPECT_EQ(trace, (std::vector<std::string>{"<Pin>C:\\Menu\\Hello.lnk</Pin>"}));
  // Unpinned again by the next run's pass before its installer call.
  RunShortcutPass(p, {}, {std::string(kShortcut) + "|X7|" + kTarget}, false, nullptr);
  EXPECT_TRUE(Places(kShortcut).empty());

  // Windows Vista has no taskbar pins: "7" asks for nothing there, "X" for the Start menu.
  Machine("6.0.6002");
  PinRequest r{kShortcut, kTarget, true, false, true};
  EXPECT_EQ(PinShortcut(*sim_, r), "");
  EXPECT_TRUE(Places(kShortcut).empty());
  r.start_menu = true;
  EXPECT_EQ(PinShortcut(*sim_, r), "");
  EXPECT_EQ(Places(kShortcut), (std::vector<std::string>{"startmenu"}));
  // Empty flags and entries without two bars are skipped.
  Machine("10.0.19045");
  RunShortcutPass(*sim_, {}, {std::string(kShortcut) + "||" + kTarget, "C:\\Menu\\Hello.lnk|7"},
                  true, nullptr);
  EXPECT_TRUE(Places(kShortcut).empty());
}

TEST_F(ShortcutPins, MissingFilesAndShortcutsTheShellCannotPin) {
  platform::SimPlatform& p = Machine("10.0.19045");
  EXPECT_EQ(PinShortcut(p, {"C:\\Menu\\None.lnk", "C:\\None\\none.exe", true, true, true}), "FILE");
  // A shortcut the shell offers no pin verb for (a document): its copy goes into the user's
  // pinned folders, and is taken out again by an unpin; nothing else there is touched.
  p.files().WriteFile("C:\\Menu\\Readme.txt", "read me");
  auto& f = p.files();
  f.CreateDirectories(kUserPinned + "TaskBar");
  f.WriteFile(kUserPinned + "TaskBar\\Other.lnk", "the user's own pin");
  PinRequest r{"C:\\Menu\\Readme.txt", kTarget, true, true, true};
  EXPECT_EQ(PinShortcut(p, r), "FAIL");
  EXPECT_TRUE(f.FileExists(kUserPinned + "TaskBar\\Readme.txt"));
  EXPECT_TRUE(f.FileExists(kUserPinned + "StartMenu\\Readme.txt"));
  // The pin is tried once more for the target itself, which the shell can pin.
  EXPECT_EQ(Places(kTarget), (std::vector<std::string>{"taskbar", "startmenu"}));
  r.pin = false;
  EXPECT_EQ(PinShortcut(p, r), "FAIL");
  EXPECT_FALSE(f.FileExists(kUserPinned + "TaskBar\\Readme.txt"));
  EXPECT_FALSE(f.FileExists(kUserPinned + "StartMenu\\Readme.txt"));
  EXPECT_TRUE(f.FileExists(kUserPinned + "TaskBar\\Other.lnk"));
  EXPECT_TRUE(Places(kTarget).empty());
}

TEST_F(ShortcutPins, IdentitiesGoIntoShortcutsThatExist) {
  platform::SimPlatform& p = Machine("10.0.19045");
  std::vector<std::string> trace;
  RunShortcutPass(p, {{kShortcut, "Example.Hello"}, {"C:\\Menu\\Gone.lnk", "Example.Gone"}}, {},
                  true, [&](const std::string& e) { trace.push_back(e); });
  std::string text;
  ASSERT_EQ(p.files().ReadFile(kShortcut, &text), Status::kOk);
  EXPECT_NE(text.find("identity=Example.Hello"), std::string::npos) << text;
  EXPECT_NE(text.find("target=C:\\Program Files\\Hello\\hello.exe"), std::string::npos);
  EXPECT_EQ(trace, (std::vector<std::string>{"<ShortcutIdentity>C:\\Menu\\Hello.lnk</ShortcutIdentity>"}));
  EXPECT_FALSE(p.files().FileExists("C:\\Menu\\Gone.lnk"));
  // Set again, the identity is replaced, not repeated.
  RunShortcutPass(p, {{kShortcut, "Example.Other"}}, {}, true, nullptr);
  ASSERT_EQ(p.files().ReadFile(kShortcut, &text), Status::kOk);
  EXPECT_EQ(text.find("Example.Hello"), std::string::npos);
  EXPECT_NE(text.find("identity=Example.Other"), std::string::npos);
}

}  // namespace
}  // namespace corvane::install
