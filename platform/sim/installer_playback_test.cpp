#include "platform/sim/installer_playback.h"

#include <gtest/gtest.h>

namespace corvane::platform::sim {
namespace {

TEST(InstallerPlayback, TheFirstBlockIsTakenAndTheRestKeptAsWritten) {
  const std::string text =
      "# two calls\n"
      "call\n"
      "  message progress \"1: 0 2: 1000 3: 0\"\n"
      "  # a comment inside\n"
      "  message error+0x4 \"The \\\"file\\\" is\\nin use.\"\n"
      "  message 0x0B000000 \"\"\n"
      "  message terminate\n"
      "  result 3010\n"
      "  keep-going-on-cancel\n"
      "end\n"
      "\n"
      "call\n  result 1618\nend\n";
  PlaybackCall call;
  std::string rest, error;
  ASSERT_EQ(TakeFirstCall(text, &call, &rest, &error), PlaybackTake::kTaken) << error;
  ASSERT_EQ(call.messages.size(), 4u);
  EXPECT_EQ(call.messages[0].type, 0x0A000000u);
  EXPECT_EQ(call.messages[0].text, "1: 0 2: 1000 3: 0");
  EXPECT_EQ(call.messages[1].type, 0x01000004u);
  EXPECT_EQ(call.messages[1].text, "The \"file\" is\nin use.");
  EXPECT_EQ(call.messages[2].type, 0x0B000000u);
  EXPECT_EQ(call.messages[3].type, 0x0D000000u);
  EXPECT_EQ(call.messages[3].text, "");
  EXPECT_EQ(call.result, 3010u);
  EXPECT_TRUE(call.keep_going_on_cancel);
  EXPECT_EQ(rest, "# two calls\n\ncall\n  result 1618\nend\n");

  ASSERT_EQ(TakeFirstCall(rest, &call, &rest, &error), PlaybackTake::kTaken);
  EXPECT_EQ(call.result, 1618u);
  EXPECT_TRUE(call.messages.empty());
  EXPECT_FALSE(call.keep_going_on_cancel);
  EXPECT_EQ(TakeFirstCall(rest, &call, &rest, &error), PlaybackTake::kNone);
  EXPECT_EQ(TakeFirstCall("", &call, &rest, &error), PlaybackTake::kNone);
}

TEST(InstallerPlayback, AFormattedBlockReadsBackTheSame) {
  PlaybackCall call;
  call.messages = {{0x01000030, "Bob's \"tool\"\\ failed\r\n"}, {0x0A000000, "1: 2 2: 5"},
                   {0x1F000000, "odd kind"}};
  call.result = 1603;
  call.keep_going_on_cancel = true;
  PlaybackCall back;
  std::string rest, error;
  ASSERT_EQ(TakeFirstCall(FormatPlaybackCall(call), &back, &rest, &error), PlaybackTake::kTaken)
      << error << "\n" << FormatPlaybackCall(call);
  ASSERT_EQ(back.messages.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.messages[i].type, call.messages[i].type);
    EXPECT_EQ(back.messages[i].text, call.messages[i].text);
  }
  EXPECT_EQ(back.result, 1603u);
  EXPECT_TRUE(back.keep_going_on_cancel);
  EXPECT_EQ(rest, "");
}

TEST(InstallerPlayback, DamagedBlocksNameTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"result 0\n", "line 1"},
      {"call\n  result 0\n", "line 1: 'call' without 'end'"},
      {"call\n  message loud \"x\"\nend\n", "line 2: unknown message kind"},
      {"call\n  message error+0x1000000 \"x\"\nend\n", "line 2"},
      {"call\n  message error \"open\nend\n", "line 2: the message text"},
      {"call\n  message error \"x\" y\nend\n", "line 2"},
      {"call\n  message error \"bad \\q\"\nend\n", "line 2"},
      {"# c\ncall\n  result many\nend\n", "line 3: bad result"},
      {"call\n  restart\nend\n", "line 2: unknown line"},
  };
  for (const auto& [text, reason] : cases) {
    PlaybackCall call;
    std::string rest, error;
    EXPECT_EQ(TakeFirstCall(text, &call, &rest, &error), PlaybackTake::kMalformed) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << text << " -> " << error;
  }
}

}  // namespace
}  // namespace corvane::platform::sim
