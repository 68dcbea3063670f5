// The web-server commands in a real setup: on a simulated machine with a version 10 server, the
// engine writes the administration library it carries into its support folder, loads it from
// there for each command and removes it with the folder; under Wine, which has no web server,
// the commands fail quietly and the script goes on. Both engines carry the library of their own
// processor as their resource "DLL".
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_support.h"

namespace corvane::e2e {
namespace {

const char* kWebScript =
    ".title \"Web\"\n"
    "Set Variable \"LIST\" \"none\"\n"
    "Set Variable \"INDEX\" \"none\"\n"
    "Get IIS Property \"TRUE\" \"\" \"1\" \"\" \"ServerComment\" \"PROPERTY\"\n"
    "Create IIS Site \"Shop\" \"\" \"\" \"shop.example\" \"8080\" \"\" \"\" \"TRUE\" \"TRUE\" "
    "\"FALSE\" \"FALSE\" \"FALSE\" \"FALSE\" \"\" \"\"\n"
    "Get IIS Site Index \"Shop\" \"INDEX\"\n"
    "IIS Anonymous User \"ANON\"\n"
    "Get System Settings \"S59\" \"59\"\n"
    "Write to Text File \"C:\\web-e2e.txt\" \"$PROPERTY$|$INDEX$|$ANON$|$S59$\" \"FALSE\"\n";

class WebServer : public EndToEnd {};

TEST_P(WebServer, CommandsReachTheServerOrFailQuietly) {
  const bool sim = GetParam() == "sim";
  if (sim) {
    WriteFile(dir_ / "machine" / "webserver.txt",
              "version = 10.0\n[service]\nAnonymousUserName = IUSR\n"
              "[site 1]\nServerComment = Default Web Site\n");
  }
  const fs::path out = runner_->DriveC() / "web-e2e.txt";
  fs::remove(out);
  fs::path setup = MakeSetup("web", kWebScript);
  const size_t before = SupportFolders().size();
  fs::path log;
  ASSERT_EQ(runner_->Run(setup, "/s", &log), 0) << LastLine(log);
  EXPECT_EQ(LastLine(log), "</Corvane>");
  std::string text = ReadFile(out);
  fs::remove(out);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  EXPECT_EQ(SupportFolders().size(), before) << "the support folder goes, library and all";
  if (!sim) {
    EXPECT_EQ(text, "!ERROR!|none||");
    return;
  }
  EXPECT_EQ(text, "Default Web Site|2|IUSR|IUSR");
  const std::string transcript = static_cast<SimRunner&>(*runner_).Transcript();
  const size_t load = transcript.find("web admin library load \"");
  ASSERT_NE(load, std::string::npos) << transcript;
  const std::string line = transcript.substr(load, transcript.find('\n', load) - load);
  EXPECT_NE(line.find("\\ahadmin_wrapper.dll\" -> ok"), std::string::npos) << line;
  EXPECT_NE(transcript.find("web admin library CreateIISSite localhost \"Shop\" index 0 bindings "
                            "\":8080:shop.example\" -> ok 2"),
            std::string::npos)
      << transcript;
}

INSTANTIATE_TEST_SUITE_P(Runners, WebServer, ::testing::Values("sim", "wine"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// The resource "DLL" of each engine is the library built for its processor, byte for byte.
TEST(EngineResources, BothEnginesCarryTheAdministrationLibraryOfTheirProcessor) {
  for (const fs::path& tree : {kWin64, kWin32}) {
    const fs::path engine = tree / "apps" / "corvane.exe";
    const fs::path library = tree / "webadmin" / "ahadmin_wrapper.dll";
    ASSERT_TRUE(fs::exists(engine)) << engine << " is needed: build every configuration";
    ASSERT_TRUE(fs::exists(library)) << library;
    const fs::path listing = kScratch / ("corvane-resources-" + std::to_string(getpid()) + ".txt");
    fs::create_directories(kScratch);
    ASSERT_EQ(Shell(std::string(CORVANE_MINGW_OBJDUMP) + " -p " + engine.string() + " > " +
                    listing.string() + " 2>&1"),
              0);
    const std::string text = ReadFile(listing);
    fs::remove(listing);
    const size_t type = text.find("Entry: ID: 0x00000a");  // RT_RCDATA
    ASSERT_NE(type, std::string::npos) << engine;
    EXPECT_NE(text.find("]: DLL, Value:", type), std::string::npos) << engine;
    const std::string bytes = ReadFile(library);
    ASSERT_GT(bytes.size(), 1024u);
    EXPECT_NE(ReadFile(engine).find(bytes), std::string::npos) << engine;
  }
}

}  // namespace
}  // namespace corvane::e2e
