// RunScript: the run of the script between start-up and clean-up. Starts the session (the
// predefined variables, the single-instance lock, the activation of installer-table commands,
// the command-line injection), runs the interpreter and saves the run's state afterwards.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/startup.h"
#include "engine/trace_log.h"
#include "interp/hooks.h"
#include "interp/interpreter.h"
#include "platform/platform.h"

namespace corvane::engine {

// Services of other subsystems that the run uses; each may be absent.
struct RunServices {
  interp::DialogHost* dialogs = nullptr;
  interp::Localizer* localizer = nullptr;
  // Owns the platform and what it references (the session's keep_alive).
  std::shared_ptr<void> keep_alive;
  // Called with the session before the run starts (to attach run-wide state to it).
  std::function<void(interp::Session&)> attach;
};

struct RunOutcome {
  int exit_code = 0;
  interp::RunEnding ending = interp::RunEnding::kEndOfScript;
  // The compile pass rejected the script: the process ends at once (exit code 314), the trace
  // log ending at "    <CompileScript>".
  bool end_now = false;
};

RunOutcome RunScript(platform::Platform& platform, StartupState& state, TraceLog& trace,
                     const RunServices& services);

// Defines the predefined variables of every run, in their order (source "Initialization").
void DefinePredefinedVariables(interp::Session& session, const StartupState& state);

}  // namespace corvane::engine
