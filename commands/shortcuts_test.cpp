// The shortcut and file-type commands: the properties they record for the installer database
// and what they leave for Apply Changes (texts, identities, pins).
#include "commands/shortcuts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "commands/engine_state.h"
#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "interp/session.h"

namespace corvane::commands {
namespace {

using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

TEST(ShortcutNames, SixCharactersTrimmedThenTheWholeName) {
  EXPECT_EQ(ShortAndLongName("My Application"), "My App~1|My Application");
  EXPECT_EQ(ShortAndLongName("Hello World"), "Hello~1|Hello World");
  EXPECT_EQ(ShortAndLongName("Abc"), "Abc~1|Abc");
  EXPECT_EQ(ShortAndLongName("  Tool  box"), "Tool~1|  Tool  box");
}

// Runs a script on a machine of a Windows version and keeps what the commands left.
struct Shortcuts {
  explicit Shortcuts(const std::string& version) : machine("windows.version = " + version + "\n") {}
  CommandRun Run(const std::string& text) {
    CommandScript script(machine.platform());
    script.predefined = {{"APP", "C:\\Program Files\\App"}};
    script.before = [this](interp::Session& s) {
      CommandsState& state = StateOf(s);  // kept until after the clean-up below
      s.exit_cleanups.push_back([this, &state] {
        kept.shortcut_texts = state.shortcut_texts;
        kept.file_types = state.file_types;
        kept.shortcut_identities = state.shortcut_identities;
        kept.shortcut_pins = state.shortcut_pins;
      });
    };
    return script.Run(text);
  }
  TestMachine machine;
  CommandsState kept;
};

TEST(ShortcutCommands, RecordSlotsTextsIdentitiesAndPins) {
  Shortcuts s("10.0.19045");
  CommandRun run = s.Run(
      "[header 0A1B2C3D] Create Shortcut \"$APP$\\\\app.exe\" \"My Application\" "
      "\"$APP$\\\\Menu\" \"Starts $TITLE$\" \"-x\" \"$APP$\" \"\" \"ignored|Example.App\" "
      "\"ignored|X7\"\n"
      "[header 0A1B2C3E] Advertised Shortcut \"$APP$\\\\tool.exe\" \"Tool\" \"$APP$\" \"\" \"\" "
      "\"\" \"\" \"\" \"no pin\"\n");
  ASSERT_FALSE(run.Failed());
  for (const char* p : {"A0A1B2C3D=TRUE", "P0A1B2C3D_1=C:\\Program Files\\App\\Menu",
                        "P0A1B2C3D_2=C:\\Program Files\\App\\app.exe", "P0A1B2C3D_3=-x",
                        "P0A1B2C3D_4=C:\\Program Files\\App", "A0A1B2C3E=TRUE",
                        "P0A1B2C3E_3=", "P0A1B2C3E_4="}) {
    EXPECT_NE(std::find(run.properties.begin(), run.properties.end(), p), run.properties.end())
        << p;
  }
  ASSERT_EQ(s.kept.shortcut_texts.size(), 2u);
  EXPECT_EQ(s.kept.shortcut_texts[0].property, "P0A1B2C3D_1");
  EXPECT_EQ(s.kept.shortcut_texts[0].name, "My App~1|My Application");
  EXPECT_EQ(s.kept.shortcut_texts[1].name, "Tool~1|Tool");
  const std::string link = "C:\\Program Files\\App\\Menu\\My Application.lnk";
  ASSERT_EQ(s.kept.shortcut_identities.size(), 1u);
  EXPECT_EQ(s.kept.shortcut_identities[0].first, link);
  EXPECT_EQ(s.kept.shortcut_identities[0].second, "Example.App");
  // Parameter 9 without a "|" records no pin.
  EXPECT_EQ(s.kept.shortcut_pins,
            (std::vector<std::string>{link + "|X7|C:\\Program Files\\App\\app.exe"}));
}

TEST(ShortcutCommands, IdentitiesOnlyFromWindows7On) {
  Shortcuts s("6.0.6002");
  if (!s.machine.simulated()) GTEST_SKIP() << "the Windows version of a simulated machine";
  CommandRun run = s.Run(
      "[header 0A1B2C3D] Create Shortcut \"C:\\\\a.exe\" \"A\" \"C:\\\\M\" \"\" \"\" \"\" \"\" "
      "\"|Example.A\" \"|7\"\n");
  ASSERT_FALSE(run.Failed());
  EXPECT_TRUE(s.kept.shortcut_identities.empty());
  EXPECT_EQ(s.kept.shortcut_pins.size(), 1u) << "pins are recorded; the pass decides";
}

TEST(FileTypeCommands, SlotsAndTheAdvertisedTexts) {
  Shortcuts s("10.0.19045");
  CommandRun run = s.Run(
      "[header 0B000001] Create File Type \"Hello.Doc\" \"$APP$\\\\hello.exe\" \"Hello's document\" "
      "\".hel\" \"%1\"\n"
      "[header 0B000002] Advertised File Type \"Hello.$TITLE$\" \"x\" \"Document of $TITLE$\"\n");
  ASSERT_FALSE(run.Failed());
  for (const char* p : {"A0B000001=TRUE", "P0B000001_1=Hello.Doc",
                        "P0B000001_2=C:\\Program Files\\App\\hello.exe",
                        "P0B000001_3=Hello's document", "P0B000001_4=.hel", "P0B000001_5=%1",
                        "A0B000002=TRUE"}) {
    EXPECT_NE(std::find(run.properties.begin(), run.properties.end(), p), run.properties.end())
        << p;
  }
  ASSERT_EQ(s.kept.file_types.size(), 1u);
  EXPECT_EQ(s.kept.file_types[0].prog_id, "Hello.$TITLE$");
  EXPECT_EQ(s.kept.file_types[0].new_prog_id.rfind("Hello.", 0), 0u);
  EXPECT_EQ(s.kept.file_types[0].description.rfind("Document of ", 0), 0u);
  // No value slots for the advertised file type.
  for (const std::string& p : run.properties) EXPECT_NE(p.rfind("P0B000002_", 0), 0u) << p;
}

}  // namespace
}  // namespace corvane::commands
