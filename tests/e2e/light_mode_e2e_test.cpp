// Run Light Mode Setup end to end: a setup runs a light-mode file (a script image alone, with its
// support archive and installer database beside it) as a setup of its own, made runnable from the
// running engine's executable image, with the archive library copied beside it. The child is a
// real engine run: by corvane-sim on the same simulated machine, by corvane.exe under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/e2e_support.h"

namespace {

using namespace corvane::e2e;
namespace fs = std::filesystem;

class LightModeSetup : public EndToEnd {
 protected:
  // The light-mode file light\light.exe inside the parent setup's folder, made from a setup built
  // from `child_script`; returns the file's bytes.
  std::string MakeLightFile(const fs::path& parent, const std::string& child_script) {
    const fs::path child = MakeSetup("child", child_script);
    const fs::path light = parent / "light";
    fs::create_directories(light);
    EXPECT_EQ(Shell((kNative / "tools" / "corvane-image" / "corvane-image").string() + " detach " +
                    (child / "setup.exe").string() + " " + (light / "light.exe").string()),
              0);
    fs::copy_file(child / "setup.res", light / "light.res");
    fs::copy_file(child / "setup.msi", light / "light.msi");
    return ReadFile(light / "light.exe");
  }

  // The light-mode file's folder where the run sees it (the simulated machine runs a copy of the
  // setup folder), and its Windows path.
  fs::path LightFolder(const fs::path& parent) {
    return GetParam() == "sim" ? runner_->DriveC() / "Setup" / "light" : parent / "light";
  }
  std::string LightPath(const fs::path& parent) {
    return GetParam() == "sim" ? "C:\\Setup\\light\\light.exe"
                               : WinePath(parent / "light" / "light.exe");
  }

  // NAME=VALUE on the runner's command line (corvane-sim's goes through the shell).
  std::string Assign(const std::string& name, const std::string& value) {
    return GetParam() == "sim" ? ShellQuote(name + "=" + value) : name + "=" + value;
  }

  static std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// The child's exit code comes back; afterwards the file is byte for byte what it was and neither
// the original's copy nor the runnable file's parts nor the archive library is left beside it.
TEST_P(LightModeSetup, AChildThatExits42Gives42AndTheFileComesBack) {
  const fs::path parent = MakeSetup("parent",
                                    "Run Light Mode Setup \"$LIGHT$\" \"RC\" \"/s\" \"TRUE\"\n"
                                    "Terminate with Exit Code \"$RC$\"\n");
  const std::string original = MakeLightFile(parent, "Terminate with Exit Code \"42\"\n");
  ASSERT_FALSE(original.empty());
  ASSERT_NE(original.compare(0, 2, "MZ"), 0);
  fs::path log;
  EXPECT_EQ(runner_->Run(parent, "/s " + Assign("LIGHT", LightPath(parent)), &log), 42);
  const fs::path folder = LightFolder(parent);
  EXPECT_EQ(ReadFile(folder / "light.exe"), original);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"light.exe", "light.msi", "light.res"}));
}

// Without waiting the code is the running child's (259; the parent ends with 1259, as an exit code
// of 259 reads as a process still running); the child still runs from its files,
// which the parent leaves to it, and its own run completes.
TEST_P(LightModeSetup, WithoutWaitingTheCodeIs259AndTheChildCompletes) {
  const fs::path parent =
      MakeSetup("parent",
                "Run Light Mode Setup \"$LIGHT$\" \"RC\" \"/s /l=$CHILDLOG$\" \"FALSE\"\n"
                "Terminate with Exit Code \"1$RC$\"\n");
  const std::string original = MakeLightFile(parent, "Set Variable \"A\" \"1\"\n");
  const fs::path child_log =
      GetParam() == "sim" ? runner_->DriveC() / "child.log" : parent / "child.log";
  const std::string child_log_path = GetParam() == "sim" ? "C:\\child.log" : WinePath(child_log);
  fs::path log;
  EXPECT_EQ(runner_->Run(parent,
                         "/s " + Assign("LIGHT", LightPath(parent)) + " " +
                             Assign("CHILDLOG", child_log_path),
                         &log),
            1259);
  // The child's trace log ends with the end of its run (a minute at most).
  for (int i = 0; i < 600 && LastLine(child_log) != "</Corvane>"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(LastLine(child_log), "</Corvane>");
  // The original content is either back or still waiting beside the file, never lost.
  const fs::path folder = LightFolder(parent);
  const std::string now = ReadFile(folder / "light.exe");
  if (now != original) {
    EXPECT_EQ(ReadFile(folder / "light.exe.nox"), original);
    EXPECT_EQ(now.compare(0, 2, "MZ"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Runners, LightModeSetup, ::testing::Values("sim", "wine"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
