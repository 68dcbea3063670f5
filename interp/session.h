// The state of one run that the interpreter owns and the handlers work on, and the context a
// handler receives: the current command, its parameters in every encoding, and the loop controls
// a handler may use (end the script, set the wizard step).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "image/engine_messages.h"
#include "image/script_image.h"
#include "interp/hooks.h"
#include "interp/program.h"
#include "interp/property_lists.h"
#include "interp/variables.h"
#include "platform/platform.h"

namespace corvane::interp {

// Executed-command list values: "SKIP", "FALSE" (an installer-table command not run yet) and
// "TRUE" (run).
enum class Executed : uint8_t { kSkip, kNotRun, kRun };
inline constexpr std::string_view kExecutedSkip = "SKIP";
inline constexpr std::string_view kExecutedNotRun = "FALSE";
inline constexpr std::string_view kExecutedRun = "TRUE";
inline std::string_view ExecutedText(Executed e) {
  return e == Executed::kRun ? kExecutedRun : e == Executed::kNotRun ? kExecutedNotRun : kExecutedSkip;
}

class CommandContext;

class Session {
 public:
  Session(platform::Platform& platform, const image::ScriptImage& image,
          std::vector<const image::HashedList*> pools = {});
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  platform::Platform& platform;
  const image::ScriptImage& image;
  const Program program;
  Variables variables;
  InstallerProperties properties;
  // One value per command.
  std::vector<Executed> executed;
  int exit_code = 0;

  // Services of other subsystems (may be null: the run does without them).
  DialogHost* dialogs = nullptr;
  Localizer* localizer = nullptr;
  EngineCacheHooks* cache = nullptr;
  // Owns the platform and everything it references (may be null when the owner outlives every
  // worker): a worker that the wait loop gives up on keeps it alive until the worker ends.
  std::shared_ptr<void> keep_alive;
  // Receives the trace entries of the run (the trace log decides whether to write them).
  std::function<void(std::string_view)> trace;
  // The fetch of a web build's media block for a command whose files lie in one (set by the run
  // from install/: commands of other folders call it before they record their slots). Returns
  // true when a failure ends the script. Null: nothing is fetched.
  std::function<bool(CommandContext&)> fetch_command_media;
  // Run at the exit clean-up, last registered first (text reader, lock file, tray icon...).
  std::vector<std::function<void()>> exit_cleanups;

  // Run-wide state owned by other subsystems (the component table, the engine cache, ...), found
  // by its type. The owner attaches it before the run and keeps it alive until the run ends.
  template <typename T>
  void Attach(T* service) {
    services_[std::type_index(typeid(T))] = service;
  }
  template <typename T>
  T* Find() const {
    auto it = services_.find(std::type_index(typeid(T)));
    return it == services_.end() ? nullptr : static_cast<T*>(it->second);
  }

  // Engine state refreshed from variables before every command.
  std::string log_path;
  std::string caption_title;
  bool logo = false;
  std::string active_language;
  std::string loaded_language;
  std::string applied_cache_override;
  std::string refused_cache_override;  // refused, but kept by the command line's protection
  int download_timeout_seconds = 10;
  std::string shown_progress_text;
  int shown_progress = 0;
  // DATE and TIME are formatted again only when the clock has moved to another second.
  struct ClockCache {
    platform::LocalTime at{};
    bool valid = false;
    std::string date, time;
  } clock_cache;
  std::string engine_file_name;  // file name of the engine executable, once known
  std::string media_switch;      // the "/p=" folder of the command line (the setup sources)
  // Raised after every command that may have changed the machine (all but the interpreter's own
  // flow commands and the commands that only read the machine or work on variables), so that
  // what the refresh reads from the machine is read again; between two such commands it is
  // taken from the last reading.
  uint64_t machine_epoch = 1;
  // ENGINECACHE and UNINSTALLLINK as last worked out, and what they were worked out from.
  struct CacheFolderCache {
    uint64_t epoch = 0;  // 0: nothing worked out yet
    bool all_users = false;
    std::string override_folder, title;
    std::string uninstall_link, engine_cache;
  } cache_folder_cache;
  // What the last refresh was made from. While no variable the refresh reads or writes has
  // changed (the store counts their changes), the machine epoch and the tick count are the same
  // and the same services are attached, another refresh would change nothing and is left out.
  struct RefreshInputs {
    uint64_t variable_changes = 0;
    uint64_t epoch = 0;  // 0: no refresh yet
    uint32_t tick = 0;
    const void* cache = nullptr;
    const void* localizer = nullptr;
    bool operator==(const RefreshInputs& o) const {
      return variable_changes == o.variable_changes && epoch == o.epoch && tick == o.tick &&
             cache == o.cache && localizer == o.localizer;
    }
  } refresh_inputs;
  // The variable changes counted when ABORT was last set from VORT_IsCancelled.
  uint64_t abort_inputs = 0;
  bool abort_set = false;

  // The engine message set of the run: start-up's (with the language file it read), replaced by
  // the shared language file of a language the run switches to. Points at the built-in texts
  // until the owner of the run gives it its set.
  image::EngineMessages builtin_messages;
  image::EngineMessages* messages = &builtin_messages;
  const std::string& Message(int line) const { return messages->Text(line); }

  // Engine window caption: "Corvane Wizard", TITLE - "Corvane Wizard", or the title alone with
  // the logo flag set.
  std::string Caption() const;
  void Trace(std::string_view entry) const {
    if (trace) trace(entry);
  }
  // Shows a message box unless the run is silent; returns the button id (id::kOk when silent).
  int ShowMessage(const std::string& text, uint32_t flags);

 private:
  std::unordered_map<std::type_index, void*> services_;
};

// Loop controls that a handler may use.
class LoopControl {
 public:
  virtual ~LoopControl() = default;
  // Ends the script after the current command (end of script: exit clean-up, then return).
  virtual void EndScript() = 0;
  // Sets the wizard step from the modal result of a dialog: cancel 0, Next +1, Back -1.
  virtual void ApplyModalResult(int modal_result) = 0;
  // Whether the current command runs inside a wizard loop (a dialog there always waits).
  virtual bool InWizardLoop() const { return false; }
};

// Reads the parameters of the current command in the encodings every handler shares.
class Params {
 public:
  Params(Session& session, long index) : session_(session), index_(index) {}

  // As stored in the pool ("" for a parameter the command does not have).
  std::string Raw(long n) const { return session_.program.Parameter(index_, n); }
  // Variable references expanded.
  std::string Expanded(long n) const { return session_.variables.ExpandVariables(Raw(n)); }
  // Expanded, doubled backslashes collapsed (a leading UNC pair kept).
  std::string Path(long n) const { return session_.variables.ExpandPath(Raw(n)); }
  // Expanded and read as a boolean ("TRUE" in any case, or "-1").
  bool Bool(long n) const { return TextToBool(Expanded(n)); }
  // A result variable written NAME or $NAME$: the name.
  std::string ResultName(long n) const { return ResultVariableName(Raw(n)); }
  // A plain variable name: written NAME or $NAME$, the name NAME (the compile pass declares
  // both spellings, and a later If NAME must read what the command stored).
  std::string Name(long n) const { return ResultVariableName(Raw(n)); }

 private:
  Session& session_;
  long index_;
};

class CommandContext {
 public:
  CommandContext(Session& session, LoopControl& loop, long index)
      : session_(session), loop_(loop), index_(index), params_(session, index) {}

  Session& session() { return session_; }
  Variables& variables() { return session_.variables; }
  platform::Platform& platform() { return session_.platform; }
  const Params& params() const { return params_; }
  long index() const { return index_; }
  const CommandEntry& command() const { return session_.program.at(index_); }
  std::string_view name() const { return command().name; }
  std::string_view id() const { return command().id; }
  // The command name followed by " Action".
  std::string SourceLabel() const;

  // Defines a result variable upper-cased and empty when it is undefined.
  void DefineResult(std::string_view name);
  // DefineResult, then SetVariable with the command's source label.
  void SetResult(std::string_view name, std::string_view value);

  // Installer-table commands: marks the command as run and records its activation property
  // "A" + header = "TRUE" (a missing header raises ScriptFailure).
  void ActivateInstallerTableCommand();
  // Records the value property "P" + header + "_" + slot.
  void RecordSlot(int slot, std::string_view value);
  // The same for a password: recorded as a secret property (see InstallerProperties).
  void RecordSecretSlot(int slot, std::string_view value);

  // Passes a text through the localisation hook when a language is active.
  std::string Localize(int slot, std::string_view text);

  void EndScript() { loop_.EndScript(); }
  void ApplyModalResult(int modal_result) { loop_.ApplyModalResult(modal_result); }
  bool InWizardLoop() const { return loop_.InWizardLoop(); }

 private:
  Session& session_;
  LoopControl& loop_;
  long index_;
  Params params_;
};

// The cancellation convention of commands that wait for background work, applied when
// VORT_IsCancelled reads true after the work ended. Shows "Setup cancelled" unless ABORTEDONERROR
// is already true; with ABORTONERROR true ends the script and returns true; otherwise sets
// ABORTEDONERROR to "TRUE" with `source_label` and returns false.
bool ReportCancel(CommandContext& ctx, std::string_view source_label);

// The same convention for a failed web media download: the failure's message is shown whatever
// ABORTEDONERROR holds, and the source label is "Weblock Abort".
bool ReportDownloadFailure(CommandContext& ctx, const std::string& message);

}  // namespace corvane::interp
