#include "commands/sixty_four.h"

#include "commands/engine_state.h"
#include "interp/session.h"

namespace corvane::commands {

std::string PlatformText(interp::Session& s) { return StateOf(s).platform_text; }
void SetPlatformText(interp::Session& s, const std::string& text) { StateOf(s).platform_text = text; }
bool Is64BitMode(interp::Session& s) { return StateOf(s).platform_text != "Win32"; }
bool IsWindows64(interp::Session& s) { return s.platform.system().Is64BitSystem(); }

platform::RegView CommandRegistryView(interp::Session& s) {
  if (!IsWindows64(s)) return platform::RegView::kNative;
  return Is64BitMode(s) ? platform::RegView::kView64 : platform::RegView::kView32;
}

platform::RegView RestingRegistryView(interp::Session& s) {
  return IsWindows64(s) ? platform::RegView::kView32 : platform::RegView::kNative;
}

FsView64::FsView64(interp::Session& session) : session_(session) {
  if (!IsWindows64(session_) || !Is64BitMode(session_)) return;
  CommandsState& st = StateOf(session_);
  if (st.redirection_value != 0 || st.redirection_switched_off) return;
  if (session_.platform.files().DisableRedirection(&st.redirection_value)) {
    st.redirection_switched_off = true;
    active_ = true;
  }
}

FsView64::~FsView64() {
  if (!active_) return;
  CommandsState& st = StateOf(session_);
  // Restored whatever the command did to the mode meanwhile (Load Feature Selections may bring
  // back a saved "Win32"): this object switched it off.
  if (!st.redirection_switched_off) return;
  if (session_.platform.files().RevertRedirection(st.redirection_value)) {
    st.redirection_switched_off = false;
    // The stored value goes back to zero as well, so that the next command can switch again.
    st.redirection_value = 0;
  }
}

WorkerFsView64::WorkerFsView64(platform::Platform& platform, bool sixty_four_mode)
    : files_(platform.files()) {
  if (!sixty_four_mode || !platform.system().Is64BitSystem()) return;
  switched_ = files_.DisableRedirection(&value_);
}

WorkerFsView64::~WorkerFsView64() {
  if (switched_) files_.RevertRedirection(value_);
}

}  // namespace corvane::commands
