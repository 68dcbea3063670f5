#include "commands/media_fetch.h"

namespace corvane::commands {

namespace {
CommandMediaFetch& Fetch() {
  static CommandMediaFetch fetch = nullptr;
  return fetch;
}
}  // namespace

void SetCommandMediaFetch(CommandMediaFetch fetch) { Fetch() = fetch; }

bool FetchCommandMediaBlock(interp::CommandContext& ctx) {
  return Fetch() != nullptr && Fetch()(ctx);
}

}  // namespace corvane::commands
