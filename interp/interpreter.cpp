#include "interp/interpreter.h"

#include <exception>
#include <optional>
#include <unordered_map>

#include "image/failure.h"
#include "interp/conditions.h"
#include "platform/numbers.h"
#include "platform/text.h"
#include "platform/ui.h"

namespace corvane::interp {

namespace {

// The user interface gets to process its messages every this many command positions.
constexpr long kMessagePumpInterval = 314;

class Loop : public LoopControl {
 public:
  Loop(Session& s, const HandlerTable& table) : s_(s), p_(s.program) {
    handlers_.reserve(static_cast<size_t>(p_.size()));
    keeps_machine_.reserve(static_cast<size_t>(p_.size()));
    // Looked up once for each of the few distinct names.
    struct Row {
      CommandHandler handler;
      bool keeps_machine;
    };
    std::unordered_map<std::string_view, Row> rows;
    for (long i = 0; i < p_.size(); ++i) {
      const CommandEntry& e = p_.at(i);
      if (e.plugin) {
        handlers_.push_back(table.plugin_handler());
        keeps_machine_.push_back(false);
        continue;
      }
      auto it = rows.find(e.name);
      if (it == rows.end()) {
        it = rows.emplace(e.name, Row{table.Find(e.name), KeepsTheMachine(e.name)}).first;
      }
      handlers_.push_back(it->second.handler);
      keeps_machine_.push_back(it->second.keeps_machine);
    }
  }

  // The label table: upper-cased name -> command index, disabled labels included.
  void BuildLabelTable() {
    labels_.clear();
    for (long i = 0; i < p_.size(); ++i) {
      if (p_.at(i).kind != CommandKind::kLabel) continue;
      labels_.insert_or_assign(platform::UpperCase(p_.Parameter(i, 1)), i);
    }
  }

  // Index of the command running (or about to run) for the failure message.
  long current_index() const { return counter_ - 1; }

  void EndScript() override { end_requested_ = true; }
  bool InWizardLoop() const override { return wizard_active_; }
  void ApplyModalResult(int modal_result) override {
    if (modal_result == platform::id::kCancel) {
      wizard_step_ = 0;
    } else if (modal_result == platform::id::kYes) {
      wizard_step_ = 1;
    } else if (modal_result == platform::id::kNo) {
      wizard_step_ = -1;
    }
  }

  // Runs commands until the end of the script or a handler ends it.
  void Run() {
    const long n = p_.size();
    while (true) {
      if (counter_ >= n) return;
      if (counter_ % kMessagePumpInterval == 0 && s_.dialogs) s_.dialogs->ProcessPendingMessages();
      RefreshEngineState(s_);
      if (skip_branch_) SkipToNextBranch();
      if (skip_to_end_) SkipToEnd();

      if (wizard_active_) {
        if (!NavigateWizard()) continue;
      } else {
        do {
          ++counter_;
        } while (counter_ < n && Passed(p_.at(counter_ - 1)));
      }
      if (counter_ > n) return;
      const long index = counter_ - 1;
      const CommandEntry& c = p_.at(index);
      if (c.disabled) continue;

      RefreshCancelState();
      RefreshProgressDisplay();

      if (c.plugin) {
        Dispatch(index);
        if (end_requested_) return;
        continue;
      }
      if (HandleBlockCommand(c)) continue;

      switch (c.kind) {
        case CommandKind::kIf:
        case CommandKind::kElseIf:
          EvaluateIf(index);
          break;
        case CommandKind::kWizardLoop:
          wizard_active_ = true;
          wizard_step_ = 1;
          break;
        case CommandKind::kGoToLabel:
          GoToLabel(index);
          break;
        case CommandKind::kComment:
        case CommandKind::kIgnore:
        case CommandKind::kEnd:
        case CommandKind::kLabel:
        case CommandKind::kElse:
          break;
        case CommandKind::kDisplayDialog:
        case CommandKind::kOther:
          Dispatch(index);
          break;
      }
      if (end_requested_) return;
    }
  }

 private:
  // Commands the fetch passes over: disabled ones and "Ignore".
  static bool Passed(const CommandEntry& c) { return c.disabled || c.kind == CommandKind::kIgnore; }

  void Dispatch(long index) {
    CommandHandler handler = handlers_[static_cast<size_t>(index)];
    if (!handler) return;  // a name without a handler does nothing
    CommandContext ctx(s_, *this, index);
    // Raised before the handler runs, so that a command that fails half-way counts as well.
    if (!keeps_machine_[static_cast<size_t>(index)]) ++s_.machine_epoch;
    handler(ctx);
  }

  // Commands that change nothing but variables (and read the machine at most).
  static bool KeepsTheMachine(std::string_view name) {
    static const char* const kNames[] = {
        "Set Variable",         "Evaluate Expression",    "Parse String",
        "Replace String",       "Convert Case",           "Mathematics",
        "Extract Path",         "Convert Path",           "Get Environment",
        "Read Registry",        "Check Registry",         "Does File/Folder Exist",
        "Get File Version",     "Check File Version",     "Read from Text File",
        "Get INI File Settings", "Check Disk Space"};
    for (const char* n : kNames) {
      if (name == n) return true;
    }
    return false;
  }

  // ABORT follows VORT_IsCancelled before every command; while neither (nor any other watched
  // variable) has changed since it was last set, it holds that value already.
  void RefreshCancelState() {
    Variables& v = s_.variables;
    const uint64_t changes = v.store().watched_changes();
    if (s_.abort_set && changes == s_.abort_inputs) return;
    v.SetVariable("ABORT", BoolToText(TextToBool(v.GetVariable("VORT_IsCancelled"))),
                  "Cancel State");
    s_.abort_inputs = changes;
    s_.abort_set = true;
  }

  void RefreshProgressDisplay() {
    if (!s_.dialogs || !s_.dialogs->IsDialogShowing()) return;
    std::string text = s_.variables.GetVariable("PROGRESSTEXT");
    std::string position_text = s_.variables.GetVariable("PROGRESS");
    std::optional<int32_t> position = platform::ParseScriptInteger(position_text);
    if (!position) throw image::ScriptFailure(NotAnIntegerMessage(position_text));
    if (text == s_.shown_progress_text && *position == s_.shown_progress) return;
    s_.shown_progress_text = text;
    s_.shown_progress = *position;
    s_.dialogs->RefreshProgress(text, *position);
  }

  // Returns true when the command was a block command that the loop consumed here.
  bool HandleBlockCommand(const CommandEntry& c) {
    if (end_pending_ && c.kind == CommandKind::kEnd) {
      --open_blocks_;
      end_pending_ = false;
      return true;
    }
    if (c.kind == CommandKind::kElse) {
      skip_to_end_ = true;
      return true;
    }
    if (else_if_pending_ && c.kind == CommandKind::kElseIf) {
      // The branch skip stopped here: this Else If is evaluated, even inside an outer block.
      else_if_pending_ = false;
      wizard_exit_ = false;
      return false;
    }
    if (open_blocks_ > 0 && !wizard_exit_) {
      if (c.kind == CommandKind::kElseIf) {
        skip_to_end_ = true;
        return true;
      }
      if (c.kind == CommandKind::kEnd) {
        --open_blocks_;
        return true;
      }
    }
    wizard_exit_ = false;
    return false;
  }

  void EvaluateIf(long index) {
    CommandContext ctx(s_, *this, index);
    const Params& p = ctx.params();
    std::string p1 = ctx.Localize(1, p.Raw(1));
    std::string p3 = ctx.Localize(2, p.Raw(3));
    bool taken = IfBranchTaken(s_.variables, p1, p.Raw(2), p3, p.Raw(4));
    ++open_blocks_;
    if (!taken) skip_branch_ = true;
  }

  // The scan shared by both skips: moves to the next command that ends the branch (Else, Else If
  // or End when `any_branch`, only End otherwise) at this block's level.
  const CommandEntry& ScanBlock(bool any_branch) {
    long nesting = 0;
    while (true) {
      ++counter_;
      const CommandEntry& c = p_.at(counter_ - 1);
      bool nested = false;
      if (!c.disabled) {
        if (c.kind == CommandKind::kIf || c.kind == CommandKind::kWizardLoop) {
          ++nesting;
          nested = true;
        } else if (c.kind == CommandKind::kEnd) {
          --nesting;
          nested = nesting >= 0;
        }
      }
      if (nested || nesting > 0 || c.disabled || c.kind == CommandKind::kIgnore) continue;
      if (c.kind == CommandKind::kEnd) return c;
      if (any_branch && (c.kind == CommandKind::kElse || c.kind == CommandKind::kElseIf)) return c;
    }
  }

  void SkipToNextBranch() {
    const CommandEntry& c = ScanBlock(true);
    skip_branch_ = false;
    if (c.kind == CommandKind::kElse) return;  // the else branch runs
    if (c.kind == CommandKind::kElseIf) {
      if (skip_to_end_) return;
      --counter_;
      --open_blocks_;  // its evaluation opens the block again
      else_if_pending_ = true;
      return;
    }
    --counter_;
    end_pending_ = true;
  }

  void SkipToEnd() {
    ScanBlock(false);
    skip_to_end_ = false;
    --counter_;
    end_pending_ = true;
  }

  // Moves forward to the first End that is neither disabled nor "Ignore" and leaves the wizard
  // loop there: that End is fetched next, with the wizard-exit flag set.
  void LeaveWizardAtEnd() {
    while (true) {
      ++counter_;
      const CommandEntry& c = p_.at(counter_ - 1);
      if (c.kind == CommandKind::kEnd && !c.disabled) break;
    }
    LeaveWizard();
  }
  void LeaveWizard() {
    wizard_active_ = false;
    wizard_exit_ = true;
    --counter_;
  }

  // Fetch inside a wizard loop. Returns true when a Display Dialog is to run now; false when the
  // loop was left (the next cycle fetches its End).
  bool NavigateWizard() {
    if (wizard_step_ == 0) {
      LeaveWizardAtEnd();
      return false;
    }
    while (true) {
      counter_ += wizard_step_;
      const CommandEntry& c = p_.at(counter_ - 1);
      if (Passed(c)) continue;
      if (c.kind == CommandKind::kEnd) {
        LeaveWizard();
        return false;
      }
      if (c.kind == CommandKind::kWizardLoop) {
        LeaveWizardAtEnd();
        return false;
      }
      if (c.kind == CommandKind::kDisplayDialog) return true;
    }
  }

  void GoToLabel(long index) {
    std::string p1 = p_.Parameter(index, 1);
    auto it = labels_.find(platform::UpperCase(p1));
    if (it == labels_.end()) throw image::ScriptFailure("LABEL undefined: " + p1);
    counter_ = it->second;
    open_blocks_ = 0;
    skip_branch_ = skip_to_end_ = end_pending_ = else_if_pending_ = false;
    wizard_active_ = wizard_exit_ = false;
  }

  Session& s_;
  const Program& p_;
  std::vector<CommandHandler> handlers_;
  std::vector<bool> keeps_machine_;  // by command index: see KeepsTheMachine
  std::unordered_map<std::string, long> labels_;

  long counter_ = 0;
  long open_blocks_ = 0;
  bool skip_branch_ = false;
  bool skip_to_end_ = false;
  bool end_pending_ = false;
  bool else_if_pending_ = false;
  bool wizard_active_ = false;
  int wizard_step_ = 0;
  bool wizard_exit_ = false;
  bool end_requested_ = false;
};

// File part of a source location: the file name without folder and extension.
std::string LocationFile(std::string_view location) {
  size_t star = location.find('*');
  if (star == std::string_view::npos) return std::string();
  std::string_view path = location.substr(0, star);
  size_t cut = path.find_last_of("\\:");
  std::string_view file = cut == std::string_view::npos ? path : path.substr(cut + 1);
  size_t dot = file.rfind('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  return std::string(file);
}

long long LocationLine(std::string_view location) {
  size_t star = location.find('*');
  if (star == std::string_view::npos) return 0;
  return platform::ParseDecimal32(location.substr(star + 1)).value_or(0);
}

void ReportFailure(Session& s, long index, const std::string& message) {
  std::string text = FailureMessageText(s.Message(image::msg::kScriptRuntimeError),
                                        s.program.SourceLocation(index), message);
  if (s.variables.silent()) {
    // No window in a silent run: the trace log tells what failed, and where.
    TraceMessage(s, text);
    return;
  }
  if (s.dialogs) s.dialogs->SetTaskbarError();
  s.platform.ui().MessageBox(text, s.Caption(), platform::mb::kIconError);
}

}  // namespace

void TraceMessage(Session& s, std::string_view text) {
  // One entry of one line: the message's line breaks become spaces.
  std::string line = "    <Message>";
  for (char c : text) line.push_back(c == '\r' || c == '\n' ? ' ' : c);
  line += "</Message>";
  s.Trace(line);
}

// Defined beside the core commands: referring to it links their handler rows in.
extern const int kCoreCommandsLinked;

std::string FailureMessageText(std::string_view runtime_error_text, std::string_view location,
                               std::string_view message) {
  std::string text(runtime_error_text);
  text += "\r\rSource File: ";
  text += LocationFile(location);
  text += "\rLine Number: ";
  text += std::to_string(LocationLine(location) + 1);
  text += "\r\r";
  text += message;
  return text;
}

void DefineBackgroundVariables(Session& s) {
  TVariableManager& store = s.variables.store();
  const std::string tick = std::to_string(s.platform.system().TickCount());
  store.Set("VORT_thProgress", "0");
  store.Set("VORT_thMax", "100");
  store.Set("VORT_thMin", "0");
  store.Set("VORT_thProgressText", "");
  store.Set("VORT_thFinished", "FALSE");
  store.Set("VORT_thCancelled", "FALSE");
  store.Set("VORT_IsCancelled", "FALSE");
  store.Set("VORT_LastDelegateTick", tick);
  store.Set("VORT_LastActiveTick", tick);
}

void InjectCommandLine(Session& s) {
  Variables& v = s.variables;
  for (const auto& [name, value] : v.command_line_assignments()) {
    if (v.IsVariableDefined(name)) {
      v.SetVariable(name, value, kInjectOverrideCommandLine);
    } else {
      v.DefineVariable(name, value, kInjectOverrideCommandLine);
    }
  }
}

void RunExitCleanup(Session& s) {
  std::vector<std::function<void()>> cleanups;
  cleanups.swap(s.exit_cleanups);
  for (auto it = cleanups.rbegin(); it != cleanups.rend(); ++it) (*it)();
  if (s.dialogs) s.dialogs->CloseAll();
}

bool EngineMediumRemoved(Session& s) {
  std::string folder = s.variables.GetVariable("EXEDIR");
  std::string root;
  if (folder.size() >= 2 && folder[1] == ':') {
    root = folder.substr(0, 2) + "\\";
  } else if (folder.size() > 2 && folder[0] == '\\' && folder[1] == '\\') {
    // A share: its server and share name.
    size_t server = folder.find('\\', 2);
    size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
    root = share == std::string::npos ? folder + "\\" : folder.substr(0, share + 1);
  } else {
    return false;
  }
  platform::FileSystem& files = s.platform.files();
  if (files.DriveType(root) == platform::drive::kFixed) return false;
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return !files.DirectoryExists(folder);
}

RunResult InterpretScript(Session& s, const RunSteps& steps, const HandlerTable& handlers) {
  RunResult result;
  if (kCoreCommandsLinked != 1) return result;
  s.Trace("    <CompileScript>");
  result.compile = CompileScript(s);
  if (!result.compile.ok()) {
    result.ending = RunEnding::kCompileFailed;
    result.exit_code = kCompileFailedExitCode;
    return result;
  }
  s.Trace("    </CompileScript>");
  s.variables.ClearVariables();

  if (steps.prepare && !steps.prepare(s)) {
    result.ending = RunEnding::kNotRun;
    result.exit_code = s.exit_code;
    return result;
  }

  Loop loop(s, handlers);
  loop.BuildLabelTable();
  s.Trace("    <vort>");
  try {
    if (steps.initialize && !steps.initialize(s)) {
      RunExitCleanup(s);
      result.ending = RunEnding::kEndOfScript;
      result.exit_code = s.exit_code;
      return result;
    }
    loop.Run();
  } catch (const std::exception& failure) {
    // The general failure path. A failure while reporting reaches the caller.
    ReportFailure(s, loop.current_index(), failure.what());
    RunExitCleanup(s);
    result.ending = RunEnding::kFailure;
    result.failure = failure.what();
    result.exit_code = s.exit_code;
    return result;
  }
  s.Trace("    </vort>");
  s.Trace("    <ExitScript>");
  RunExitCleanup(s);
  s.Trace("    </ExitScript>");
  result.ending = EngineMediumRemoved(s) ? RunEnding::kMediumRemoved : RunEnding::kEndOfScript;
  result.exit_code = s.exit_code;
  return result;
}

}  // namespace corvane::interp
