// The engine's main program: reads the script image out of the engine executable, prepares the
// support folder and the dialogs, runs the script and cleans up, with the exit codes of start-up.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/command_line.h"
#include "engine/trace_log.h"
#include "image/engine_messages.h"
#include "image/script_image.h"
#include "platform/platform.h"
#include "platform/startup_ui.h"

namespace corvane::engine {

// Exit codes of the engine.
inline constexpr int kExitNoImage = 13;
inline constexpr int kExitResourceMissing = 14;
inline constexpr int kExitResourceDamaged = 15;
inline constexpr int kExitDatabaseMissing = 16;
inline constexpr int kExitStartupFailure = 11;

// What start-up has worked out, read by the rest of the run.
struct StartupState {
  std::string engine_path;       // full path of the engine executable
  std::string engine_folder;     // with a trailing backslash
  std::string engine_base_name;  // file name without its extension
  std::string temp_folder;       // with a trailing backslash
  std::string support_archive;   // engine folder + base name + ".res"
  std::string support_folder;    // temp folder + "zelN\"
  std::string data_folder;       // engine folder + "data\"
  std::string database_path;     // support folder + base name + ".msi"
  CommandLine command_line;
  image::ScriptImage image;
  std::vector<const image::HashedList*> pools;  // the parameter pool as the only member
  // The language file appended to the archive library, as read at start-up (empty when none);
  // kept for the localisation of the run.
  std::string language_overlay;
  // The engine message set of the run: the built-in texts, replaced by that language file. The
  // texts of start-up's own messages and windows come from it ("For internal use only" is
  // fixed); the run's session takes it over.
  image::EngineMessages messages;
  bool update_run = false;               // "update" or "updatesetup": no start-up windows
  // Set by the script run when the process must end at once, without the clean-up entries of
  // the trace log (the compile pass rejected the script).
  bool end_at_once = false;
  // Set by the script run when the engine's folder lay on a removable medium that was taken out
  // before the end: the run ends at once after the clean-up, without returning into the engine.
  bool medium_removed = false;
};

// The services of other subsystems that start-up calls.
struct StartupServices {
  // Extracts the whole support archive into a folder; false when it cannot.
  std::function<bool(const std::string& archive, const std::string& folder)> extract_archive;
  // The dialog loader: prepared once with the support folder, then called per enabled Display
  // Dialog command with its index and form file.
  std::function<void(const std::string& support_folder)> prepare_dialogs;
  std::function<void(long command_index, const std::string& form_file)> load_dialog;
  // Runs the script (the interpreter and the engine-cache work after it); returns the exit code.
  std::function<int(StartupState& state, TraceLog& trace)> run_script;
  // Ends the process at once with an exit code (the engine's executable may be gone with its
  // medium); null: start-up returns the code as usual.
  std::function<void(int exit_code)> end_process;
  // Start-up windows; null where there is no screen (the simulation).
  platform::StartupWindows* windows = nullptr;
};

// Runs the engine for a raw command line (GetCommandLineA). Returns the process exit code.
int RunEngine(platform::Platform& platform, StartupServices& services,
              const std::string& raw_command_line);

// Deletes a folder's contents three times over (clearing attributes first) and then the folder.
void RemoveSupportFolder(platform::FileSystem& files, const std::string& folder);

}  // namespace corvane::engine
