#include "interp/compile.h"

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "interp/conditions.h"
#include "interp/session.h"
#include "platform/text.h"

namespace corvane::interp {

namespace {

constexpr std::string_view kCompilation = "Compilation";
constexpr std::string_view kVariableRequired = "Variable required";
constexpr std::string_view kNotDefined = "Variable not defined: ";
constexpr std::string_view kSaveMarker = "$VORT$VORT$";

// Names declared before the checks, all empty (VORT_TIMEOUT and GPOPATH come first, "FALSE").
// clang-format off
constexpr std::string_view kDeclaredEmpty[] = {
    "VORT_COMPRESSCACHE", "VORT_DISABLEROLLBACK", "VORT_DISABLEVISTARESTARTMANAGER", "IISHOST",
    "OVERRIDECACHE", "VORTLOGO", "TIME", "DATE", "NEWINSTANCE", "SELECTED", "WINDOWHANDLE",
    "EXEDIR", "EXEFILE", "UNINSTALLLINK", "ENGINECACHE", "COPYWEBLOCK", "ABORT", "SILENT",
    "LOGGED", "CMDLINE", "REBOOTNOW", "SFXPATH", "SFXFILE", "LASTERROR", "PROGRESSMODE",
    "PROGRESSTEXT", "PROGRESS", "LICENSE", "USERNAME", "USERCOMPANY", "REBOOTCOMPUTER", "RUNAPP",
    "WIZARD", "VERSION", "TARGETDIR", "STARTMENU", "ADVERTISE", "ALLUSERS", "COMPLETE", "MINIMUM",
    "PERSONALIZED", "MODIFY", "REPAIR", "REMOVE", "DATADIR", "PRODUCTCODE", "REVISIONCODE",
    "ROOTDIR", "MAINTENANCE", "NEWLINE", "NEEDSUPGRADE", "TITLE", "COMPANY", "TEMPDIR",
    "SUPPORTDIR", "MSIFILE", "LANGUAGE", "ABORTONERROR", "ABORTEDONERROR", "SAVEDATA"};
// clang-format on

// clang-format off
constexpr std::string_view kInstallerTableCommands[] = {
    "Delete Files",    "Copy/Move Local Files", "Create Folder",        "Create Shortcut",
    "Advertised Shortcut", "Edit INI File",     "Install Files",        "Install Assembly",
    "Set Environment", "Install Service",       "Install ODBC Driver",  "Create ODBC DSN",
    "Control Service", "Write Registry",        "Create File Type",     "Advertised File Type"};
// clang-format on

struct CompileError {
  std::string message;
};

class Checker {
 public:
  Checker(Session& s, const std::unordered_set<std::string>& labels)
      : s_(s), v_(s.variables), labels_(&labels) {}

  std::string P(long n) const { return s_.program.Parameter(index_, n); }

  // Declares a name as the handlers will use it: written NAME or $NAME$, both forms count.
  void Declare(std::string_view text) {
    if (text.empty()) return;
    v_.DefineVariable(platform::UpperCase(text), "", kCompilation);
    std::string unwrapped = UnwrapVariableReference(text);
    if (!unwrapped.empty()) v_.DefineVariable(platform::UpperCase(unwrapped), "", kCompilation);
  }
  void DeclareParam(long n) { Declare(P(n)); }
  void DeclareParamIfSet(long n) {
    std::string p = P(n);
    if (!p.empty()) Declare(p);
  }
  [[noreturn]] void Fail(std::string message) { throw CompileError{std::move(message)}; }
  void Require(long n, std::string_view message) {
    if (P(n).empty()) Fail(std::string(message));
  }
  bool NamesDefined(std::string_view text) const {
    return v_.IsVariableDefined(ResultVariableName(text));
  }

  void Check(long index, const CommandEntry& e) {
    index_ = index;
    const std::string_view name = e.name;
    auto it = Table().find(name);
    if (it != Table().end()) it->second(*this);
  }

 private:
  using Rule = std::function<void(Checker&)>;
  static const std::unordered_map<std::string_view, Rule>& Table();

  Session& s_;
  Variables& v_;
  const std::unordered_set<std::string>* labels_;
  long index_ = 0;
};

const std::unordered_map<std::string_view, Checker::Rule>& Checker::Table() {
  static const auto* table = [] {
    auto* t = new std::unordered_map<std::string_view, Rule>();
    auto declare = [](long n) { return [n](Checker& c) { c.DeclareParam(n); }; };
    auto declare_if_set = [](long n) { return [n](Checker& c) { c.DeclareParamIfSet(n); }; };
    auto& m = *t;

    m["Web Media Block"] = [](Checker& c) {
      std::string p1 = c.P(1);
      std::string message;
      if (!IsLegalFileName(p1)) message = "Web Media Block name must be a legal file name";
      if (!p1.empty() && c.P(2).empty()) {
        message = "Web Media Block must have at least one download URL";
      }
      if (!message.empty()) c.Fail(message);
    };
    for (const char* n : {"Get Folder Location", "Get INI File Settings", "Check File Version",
                          "Get System Settings", "Get OS or SP Level", "Read Registry",
                          "Check Registry", "Does File/Folder Exist", "Localization Variable",
                          "Get Temporary File", "Get IIS Property", "Get IIS Site List"}) {
      m[n] = declare(1);
    }
    m["Mathematics"] = declare(4);
    m["Is MSI Setup Installed"] = [](Checker& c) {
      c.Require(2, kVariableRequired);
      c.DeclareParam(2);
    };
    m["Extract 7Zip Archive"] = declare(3);
    for (const char* n :
         {"Run Light Mode Setup", "Get File Version", "Get Environment", "Get IIS Site Index"}) {
      m[n] = declare(2);
    }
    m["Read from Text File"] = [](Checker& c) {
      c.DeclareParam(2);
      c.DeclareParam(3);
    };
    m["Parse String"] = [](Checker& c) {
      c.DeclareParam(3);
      c.DeclareParam(4);
    };
    m["Delete Files"] = [](Checker& c) {
      if (!TextToBool(c.P(3)) && !TextToBool(c.P(4))) {
        c.Fail("At least one delete mode must be selected");
      }
    };
    m["Install Files"] = [](Checker& c) {
      c.Require(3,
                "A target folder must be specified for files that are being installed.\r"
                "The value $TARGETDIR$ represents the destination folder chosen by the user.");
    };
    for (const char* n : {"Convert Path", "Convert Case", "Extract Path", "Replace String"}) {
      m[n] = [](Checker& c) {
        std::string p1 = c.P(1);
        if (!c.v_.IsVariableDefined(p1)) c.Fail(std::string(kNotDefined) + p1);
      };
    }
    m["Evaluate Expression"] = [](Checker& c) {
      c.DeclareParam(2);
      if (!CheckExpressionSyntax(c.P(1))) {
        c.Fail(
            "Syntax error in expression. Please review the help topic \"Evaluate Expression\" "
            "for the correct syntax.");
      }
    };
    // Run Program's exit-code variable is parameter 5 (parameter 4 is its wait flag).
    m["Run Program"] = declare_if_set(5);
    m["Run Program As"] = declare_if_set(8);
    m["Set Variable"] = [](Checker& c) {
      std::string p1 = c.P(1);
      size_t marker = p1.find(kSaveMarker);
      if (marker != std::string::npos) p1.resize(marker);
      c.Declare(p1);
    };
    m["GoTo Label"] = [](Checker& c) {
      std::string p1 = c.P(1);
      if (!c.labels_->count(platform::UpperCase(p1))) c.Fail("LABEL undefined: " + p1);
    };
    m["Find All Files"] = [](Checker& c) {
      c.Require(4, kVariableRequired);
      c.DeclareParam(4);
    };
    m["Check Disk Space"] = [](Checker& c) {
      c.Require(1, kVariableRequired);
      c.DeclareParam(1);
    };
    auto if_rule = [](Checker& c) {
      std::string p1 = c.P(1);
      if (p1.empty()) c.Fail(std::string(kVariableRequired));
      if (c.P(2) == "5") return;
      std::string p3 = c.P(3);
      std::string p3_name = UnwrapVariableReference(p3);
      if (!p3_name.empty() && !c.v_.IsVariableDefined(p3_name)) {
        c.Fail(std::string(kNotDefined) + p3);
      }
      if (!c.NamesDefined(p1)) c.Fail(std::string(kNotDefined) + p1);
    };
    m["If"] = if_rule;
    m["Else If"] = if_rule;
    m["MessageBox"] = declare_if_set(5);
    m["Check Service"] = declare_if_set(3);
    m["Register Library"] = declare_if_set(3);
    for (const char* n :
         {"Check Process", "Apply Changes", "Get Component State", "Get Component Space"}) {
      m[n] = declare_if_set(2);
    }
    m["Apply Patch"] = declare_if_set(1);
    m["IIS Anonymous User"] = declare_if_set(1);
    m["Display Dialog"] = [](Checker& c) {
      c.Require(1, "Dialog name not specified");
      c.DeclareParamIfSet(2);
      std::string p4 = c.P(4);
      if (!p4.empty() && !c.NamesDefined(p4)) c.Fail(std::string(kNotDefined) + p4);
    };
    return t;
  }();
  return *table;
}

}  // namespace

CompileResult CompileScript(Session& s) {
  const Program& program = s.program;
  Variables& v = s.variables;
  const long n = program.size();
  std::unordered_set<std::string> labels;
  long at = 0;
  try {
    // 1. A fresh store holding the names every script may use.
    s.executed.clear();
    v.ClearVariables();
    v.DefineVariable("VORT_TIMEOUT", "FALSE", kCompilation);
    v.DefineVariable("GPOPATH", "FALSE", kCompilation);
    for (std::string_view name : kDeclaredEmpty) v.DefineVariable(name, "", kCompilation);

    // 2. Block balance; labels only outside blocks. Balanced counts are not enough: an End
    // before its If, or an Else outside any If, would make the loop skip past the end of the
    // script, so the order is checked too.
    long openings = 0, closings = 0, depth = 0;
    long early_end = -1, stray_else = -1;
    std::vector<CommandKind> open_blocks;
    for (at = 0; at < n; ++at) {
      const CommandEntry& e = program.at(at);
      if (e.disabled) continue;
      if (e.kind == CommandKind::kIf || e.kind == CommandKind::kWizardLoop) {
        ++openings;
        ++depth;
        open_blocks.push_back(e.kind);
      } else if (e.kind == CommandKind::kEnd) {
        ++closings;
        --depth;
        if (open_blocks.empty()) {
          if (early_end < 0) early_end = at;
        } else {
          open_blocks.pop_back();
        }
      } else if (e.kind == CommandKind::kElse || e.kind == CommandKind::kElseIf) {
        if ((open_blocks.empty() || open_blocks.back() != CommandKind::kIf) && stray_else < 0) {
          stray_else = at;
        }
      } else if (e.kind == CommandKind::kLabel && depth != 0) {
        throw CompileError{"LABEL statements cannot be nested inside loops/conditionals"};
      }
    }
    if (openings != closings) {
      at = kUnbalancedScriptIndex;
      throw CompileError{openings > closings ? "Insufficient END statements"
                                             : "Too many END statements"};
    }
    if (early_end >= 0 && (stray_else < 0 || early_end < stray_else)) {
      at = early_end;
      throw CompileError{"Too many END statements"};
    }
    if (stray_else >= 0) {
      at = stray_else;
      throw CompileError{"ELSE statements must stand inside an IF block"};
    }

    // 3. Labels, disabled ones included, are unique.
    for (at = 0; at < n; ++at) {
      if (program.at(at).kind != CommandKind::kLabel) continue;
      std::string p1 = program.Parameter(at, 1);
      if (!labels.insert(platform::UpperCase(p1)).second) {
        throw CompileError{"LABEL re-defined: " + p1};
      }
    }

    // 4. Variables saved with the engine cache are declared up front.
    for (at = 0; at < n; ++at) {
      if (program.at(at).name != "Set Variable") continue;
      std::string p1 = program.Parameter(at, 1);
      size_t marker = p1.find(kSaveMarker);
      if (marker == std::string::npos ||
          p1.compare(marker + kSaveMarker.size(), std::string::npos, "TRUE") != 0) {
        continue;
      }
      std::string name = platform::UpperCase(std::string_view(p1).substr(0, marker));
      if (!v.IsVariableDefined(name)) v.DefineVariable(name, "", kCompilation);
    }

    // 5. Per-command checks and declarations, in command order.
    Checker checker(s, labels);
    s.executed.reserve(static_cast<size_t>(n));
    for (at = 0; at < n; ++at) {
      const CommandEntry& e = program.at(at);
      s.executed.push_back(Executed::kSkip);
      if (e.disabled) continue;
      checker.Check(at, e);
      if (IsInstallerTableCommand(e.name)) s.executed.back() = Executed::kNotRun;
    }

    // 6. Only dialogs inside a wizard loop.
    bool in_loop = false;
    for (at = 0; at < n; ++at) {
      const CommandEntry& e = program.at(at);
      if (e.kind == CommandKind::kWizardLoop) {
        in_loop = true;
      } else if (e.kind == CommandKind::kEnd && in_loop) {
        in_loop = false;
      } else if (in_loop && e.kind != CommandKind::kDisplayDialog &&
                 e.kind != CommandKind::kComment && !e.disabled && e.kind != CommandKind::kIgnore) {
        throw CompileError{"Statements other than DISPLAY DIALOG not allowed inside WIZARD LOOP"};
      }
    }
  } catch (CompileError& error) {
    // The executed-command list covers every command even when the pass stopped early.
    s.executed.resize(static_cast<size_t>(n), Executed::kSkip);
    return CompileResult{at, std::move(error.message)};
  }
  return CompileResult{-1, std::string(kCompiledSuccessfully)};
}

bool IsInstallerTableCommand(std::string_view name) {
  for (std::string_view n : kInstallerTableCommands) {
    if (n == name) return true;
  }
  return false;
}

bool IsLegalFileName(std::string_view text) {
  size_t cut = text.find_last_of("\\:");
  std::string_view file = cut == std::string_view::npos ? text : text.substr(cut + 1);
  return file.find_first_of("/*?\"<>|") == std::string_view::npos;
}

}  // namespace corvane::interp
