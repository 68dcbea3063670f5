// The interpreter entry: compile pass, label table, the dispatch loop with its block structure,
// wizard navigation and labels, the general failure path and the end of script.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "interp/compile.h"
#include "interp/handlers.h"
#include "interp/session.h"

namespace corvane::interp {

// The steps of a run that other subsystems own (session start, engine cache, languages).
struct RunSteps {
  // After the compile pass and the clearing of the store, before "    <vort>": reserved
  // variables, pre-initialisation, cache bootstrap. A failure here reaches the caller (start-up).
  // Returning false ends the run without running the script (no installer database, another
  // instance running, language dialog cancelled).
  std::function<bool(Session&)> prepare;
  // After "    <vort>": predefined variables, activation of installer-table commands, language,
  // command-line injection. A failure here is reported by the general failure path. Returning
  // false (the user cancelled the language dialog) runs the exit clean-up and ends the run
  // without running any command.
  std::function<bool(Session&)> initialize;
};

enum class RunEnding {
  kEndOfScript,    // the last command ran, or Terminate / a cancel ended the script
  kFailure,        // the general failure path reported a failure
  kCompileFailed,  // the compile pass rejected the script (exit code 314, no clean-up)
  kNotRun,         // a preparation step decided that the script does not run
  // The script ended, and the engine's folder lay on a drive that is not a fixed disk and is
  // gone: its medium was taken out. The run saves its state and ends at once.
  kMediumRemoved,
};

inline constexpr int kCompileFailedExitCode = 314;

struct RunResult {
  RunEnding ending = RunEnding::kEndOfScript;
  int exit_code = 0;
  CompileResult compile;
  std::string failure;  // the failure's own message, for kFailure
};

// Runs a script: compile pass, preparation, label table, initialisation and the dispatch loop.
// Exceptions from the compile pass and from `prepare` propagate (start-up failure path).
RunResult InterpretScript(Session& session, const RunSteps& steps = {},
                          const HandlerTable& handlers = GlobalHandlerTable());

// The text of the general failure message for a command's source location ("path*line").
std::string FailureMessageText(std::string_view runtime_error_text, std::string_view location,
                               std::string_view message);

// The reserved variables for background work, set before the cache bootstrap.
void DefineBackgroundVariables(Session& session);

// Keeps engine state and the engine-controlled variables in step before each command: log path,
// silent flag, caption, logo flag, cache override, DATE and TIME, the active language, LANGUAGE,
// UNINSTALLLINK and ENGINECACHE.
void RefreshEngineState(Session& session);
// Writes a message that a silent run does not show into the trace log, as one entry.
void TraceMessage(Session& session, std::string_view text);
// Lets the store count changes of the variables that the refresh and the cancel state read and
// write, so that a refresh can tell when it has nothing to do.
void WatchRefreshedVariables(TVariableManager& store);

// Injects the NAME=VALUE assignments of the command line (set with the source label that
// bypasses the protection of silent runs).
void InjectCommandLine(Session& session);

// Exit clean-up of the script: registered clean-ups (last first) and the dialogs.
void RunExitCleanup(Session& session);

// True when the engine's folder (EXEDIR) lies on a drive that is not a fixed disk and no longer
// exists.
bool EngineMediumRemoved(Session& session);

}  // namespace corvane::interp
