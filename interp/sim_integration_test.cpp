// Scripts on the simulated machine: the engine-controlled variables come from its clock and
// locale, failures reach its message boxes, and the session property file lands in its
// temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "interp/property_lists.h"
#include "interp/testing/script_harness.h"
#include "platform/sim/sim_platform.h"

namespace corvane::interp {
namespace {

class OnSimMachine : public ::testing::Test {
 protected:
  OnSimMachine() {
    folder_ = std::filesystem::temp_directory_path() /
              ("interp-sim-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::ofstream(folder_ / "machine.txt") << "clock = 2026-03-04 05:06:07\n";
    platform::SimOptions options;
    options.machine_folder = folder_.string();
    options.save_registry_on_exit = false;
    sim_ = std::make_unique<platform::SimPlatform>(options);
  }
  ~OnSimMachine() override {
    sim_.reset();
    std::filesystem::remove_all(folder_);
  }
  std::filesystem::path folder_;
  std::unique_ptr<platform::SimPlatform> sim_;
};

TEST_F(OnSimMachine, DateTimeAndFailureMessage) {
  ASSERT_EQ(sim_->Warnings(), "");
  testing::ScriptHarness h;
  h.target = sim_.get();
  testing::ScriptRun run = h.Run(R"(
    .title "Sample"
    Set Variable "STAMP" "$DATE$ $TIME$"
    Set Variable "V" "1.x.0"
    If "V" "6" "1.0" "FALSE"
    End
  )");
  // The machine's clock starts at 05:06:07 and moves on with the run.
  const std::string stamp = run.Var("STAMP");
  EXPECT_EQ(stamp.rfind("3/4/2026 5:06:", 0), 0u) << stamp;
  EXPECT_EQ(stamp.substr(stamp.size() - 3), " AM") << stamp;
  EXPECT_EQ(run.result.ending, RunEnding::kFailure);
  std::vector<platform::sim::RecordedBox> boxes = sim_->RecordedBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Sample - Corvane Wizard");
  EXPECT_EQ(boxes[0].text,
            "Runtime error in setup script:\r\rSource File: test\rLine Number: 5\r\r"
            "'x' is not a valid integer value");
}

TEST_F(OnSimMachine, SessionPropertyFileInTheTemporaryFolder) {
  Variables vars;
  vars.SetVariable("INSTALLDIR", "C:\\\\App", "t");
  InstallerProperties props;
  props.RecordInstallerProperty("A0000000A", "TRUE");
  SessionPropertyFileInput input;
  input.temp_folder = sim_->system().TempFolder();
  input.product_code = "{11111111-2222-3333-4444-555555555555}";
  input.data_folder = "C:\\Data\\";
  input.media_path = "C:\\Media\\";
  ASSERT_EQ(WriteSessionPropertyFile(input, props, vars, sim_->files()), platform::Status::kOk);
  std::filesystem::path host = sim_->HostPath(SessionPropertyFilePath(input));
  std::ifstream in(host, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "SourceDir\r\nC:\\Data\\\r\n$ex\r\nMEDIAPACKAGEPATH\r\nC:\\Media\\\r\n$ex\r\n"
            "A0000000A\r\nTRUE\r\n$ex\r\nINSTALLDIR\r\nC:\\App\r\n$ex\r\n");
  ASSERT_EQ(DeleteSessionPropertyFile(input, sim_->files()), platform::Status::kOk);
  EXPECT_FALSE(std::filesystem::exists(host));
}

}  // namespace
}  // namespace corvane::interp
