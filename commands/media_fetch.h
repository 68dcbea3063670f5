// The fetch of a command's web media block before an installer-table command records its
// properties (the files it installs must be in the cache by then). The installation side, which
// owns the web media, provides the fetch; a build without it fetches nothing.
#pragma once

namespace corvane::interp {
class CommandContext;
}

namespace corvane::commands {

// Fetches the current command's block when media are downloaded on demand; true when a failure
// of the fetch ends the script.
using CommandMediaFetch = bool (*)(interp::CommandContext& ctx);

// Called once, at static initialisation, by the library that owns the web media.
void SetCommandMediaFetch(CommandMediaFetch fetch);

// The fetch of the current command (nothing when no fetch was provided); true when its failure
// ends the script.
bool FetchCommandMediaBlock(interp::CommandContext& ctx);

}  // namespace corvane::commands
