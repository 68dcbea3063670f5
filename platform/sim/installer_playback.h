// What the next installer calls of the simulated machine do, read from "installer.txt" in the
// machine folder: one block per future install call (install, patch, package action), taken in
// order and removed from the file when its call runs.
//
//   # what the next installer calls do, one block each
//   call
//     message progress "1: 0 2: 1000 3: 0"
//     message action-start "Action 12:00:00: InstallFiles. Copying new files"
//     message error+0x4 "The file is in use."
//     result 3010
//     keep-going-on-cancel
//   end
//
// A message names its kind (fatal, error, warning, user, info, files-in-use, resolve-source,
// disk-space, action-start, action-data, progress, common-data, initialize, terminate,
// show-dialog) or gives the whole type as a number, optionally followed by "+" and the
// message-box flags of the low 24 bits. Its text is quoted; \" \\ \n \r and \t are escapes.
// The result defaults to 0. keep-going-on-cancel: a handler's cancel answer does not stop the
// call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::platform::sim {

struct PlaybackMessage {
  uint32_t type = 0;
  std::string text;
};

struct PlaybackCall {
  std::vector<PlaybackMessage> messages;
  uint32_t result = 0;
  bool keep_going_on_cancel = false;
};

enum class PlaybackTake { kNone, kTaken, kMalformed };

// Takes the first block of the file's text: *call gets it and *rest the text without the block's
// lines (comments and later blocks kept as written). kNone when the text holds no block,
// kMalformed with "installer.txt line N: reason" in *error when the first block is damaged.
PlaybackTake TakeFirstCall(const std::string& text, PlaybackCall* call, std::string* rest,
                           std::string* error);

// The block as the file writes it (ends with a line feed).
std::string FormatPlaybackCall(const PlaybackCall& call);

// "error" -> 0x01000000, "error+0x30" -> 0x01000030, "0x0A000000" -> itself. False when unknown.
bool ParseMessageType(const std::string& token, uint32_t* type);

}  // namespace corvane::platform::sim
