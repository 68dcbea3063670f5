// The variable store of a run and the text encodings that every command shares.
//
// `TVariableManager` is the low level: a case-insensitive table of 8-bit texts with one lock,
// used directly by worker threads. `Variables` is the one store of the run as the interpreter and
// the handlers see it: it adds the command-line protection of silent runs, the source labels and
// the list of variables saved with the engine cache.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace corvane::interp {

// Limits of one expansion. Expansion rescans inserted values, so a value that refers to itself
// (directly or through other variables) would never end. Each inserted value carries its nesting
// depth (a value inserted into text of depth d has depth d + 1; the text being expanded has depth
// 0). A reference found at the maximum depth, a replacement beyond the per-expansion budget, and a
// replacement that would make the result longer than the size limit are not made: the reference
// stays in the text as written, exactly as an undefined one does, and the scan moves on.
struct ExpandLimits {
  int max_depth = 32;
  size_t max_replacements = 100000;
  size_t max_result_bytes = size_t{64} << 20;
};

class TVariableManager {
 public:
  TVariableManager() = default;
  TVariableManager(const TVariableManager&) = delete;
  TVariableManager& operator=(const TVariableManager&) = delete;

  // Adds the name or replaces its value (the name keeps the spelling it was first stored with).
  // An empty name is ignored.
  void Set(std::string_view name, std::string_view value);
  // The value, or the empty text when the name is undefined or empty.
  std::string Get(std::string_view name) const;
  bool Exists(std::string_view name) const;
  // One lookup: true and the value when defined.
  bool TryGet(std::string_view name, std::string* value) const;
  void Clear();
  // Clears `list` and appends name and value of every variable; returns the number of lines.
  size_t ListAll(std::vector<std::string>* list) const;
  size_t size() const;

  // Names whose changes are counted (the watch survives Clear). The count moves whenever a watched
  // name gets a different value, is defined, or the store is cleared: an unchanged count means
  // that no watched variable has changed since it was read.
  void Watch(std::string_view name);
  uint64_t watched_changes() const { return watched_changes_.load(std::memory_order_acquire); }

  // Replaces $NAME$ references of defined variables, rescanning inserted values.
  std::string Expand(std::string_view text, const ExpandLimits& limits = {}) const;
  // The same for the expression language: every value inserted into `text` stands between double
  // quotes, with the double quotes inside it doubled, so that the expression reads the value
  // itself as one quoted text (references inside inserted values are expanded in place, without
  // further quotes).
  std::string ExpandQuoted(std::string_view text, const ExpandLimits& limits = {}) const;

 private:
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return platform::CaseInsensitiveHash{}(s); }
  };
  struct Equal {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
      return platform::SameText(a, b);
    }
  };
  std::string ExpandImpl(std::string_view text, bool quoted, const ExpandLimits& limits) const;
  bool IsWatchedName(std::string_view name) const;

  struct Entry {
    std::string value;
    bool watched = false;
  };
  mutable std::mutex mutex_;
  std::unordered_map<std::string, Entry, Hash, Equal> table_;
  std::vector<std::string> watched_;
  std::atomic<uint64_t> watched_changes_{0};
};

// Source labels of assignments.
inline constexpr std::string_view kInjectOverrideCommandLine = "Inject Override Command Line";

class Variables {
 public:
  Variables() = default;

  TVariableManager& store() { return store_; }
  const TVariableManager& store() const { return store_; }

  std::string GetVariable(std::string_view name) const { return store_.Get(name); }
  bool IsVariableDefined(std::string_view name) const { return store_.Exists(name); }
  // Nothing for an empty name; SetVariable when defined, otherwise stores it directly.
  void DefineVariable(std::string_view name, std::string_view value, std::string_view source);
  // Assignment with the command-line protection of silent runs.
  void SetVariable(std::string_view name, std::string_view value, std::string_view source);
  void ClearVariables() { store_.Clear(); }

  std::string ExpandVariables(std::string_view text) const { return store_.Expand(text); }
  std::string ExpandVariablesQuoted(std::string_view text) const {
    return store_.ExpandQuoted(text);
  }
  // Expansion followed by the collapse of doubled backslashes (a leading UNC pair survives).
  std::string ExpandPath(std::string_view text) const;

  // The silent flag of the run: while set, names given on the command line are protected.
  void SetSilent(bool silent) { silent_.store(silent, std::memory_order_relaxed); }
  bool silent() const { return silent_.load(std::memory_order_relaxed); }
  // The NAME=VALUE assignments of the command line (only the names matter here).
  void SetCommandLineAssignments(std::vector<std::pair<std::string, std::string>> assignments);
  const std::vector<std::pair<std::string, std::string>>& command_line_assignments() const {
    return command_line_;
  }
  bool IsProtected(std::string_view name) const;

  // Names whose values are saved with the engine cache, without duplicates (case-insensitive).
  void AddSavedVariable(std::string_view name);
  // Appends a name as a component data file lists it (a name already listed is listed twice).
  void AppendSavedVariable(std::string_view name);
  std::vector<std::string> saved_variables() const;

 private:
  TVariableManager store_;
  std::atomic<bool> silent_{false};
  std::vector<std::pair<std::string, std::string>> command_line_;
  mutable std::mutex saved_mutex_;
  std::vector<std::string> saved_;
};

// "TRUE" in any letter case, or exactly "-1".
bool TextToBool(std::string_view text);
inline const char* BoolToText(bool flag) { return flag ? "TRUE" : "FALSE"; }

// The result-variable rule: "$NAME$" gives NAME; anything else gives the empty text (callers then
// use the text as written).
std::string UnwrapVariableReference(std::string_view text);
// The name a result-variable parameter designates: the unwrapped name, or the text as written.
std::string ResultVariableName(std::string_view text);

// Every CR LF becomes "$NEWLINE$" / every "$NEWLINE$" (any letter case) becomes CR LF.
std::string NewlinesToToken(std::string_view text);
std::string TokenToNewlines(std::string_view text);

// Replaces doubled backslashes (pairs from the left, not overlapping) by single ones, keeping one
// extra backslash in front when the text starts with a doubled backslash (UNC prefix).
std::string CollapseBackslashes(std::string_view text);

}  // namespace corvane::interp
