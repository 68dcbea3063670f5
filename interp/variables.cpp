#include "interp/variables.h"

#include <algorithm>

#include "platform/text.h"

namespace corvane::interp {

// ---------------------------------------------------------------------------------------------
// TVariableManager

void TVariableManager::Set(std::string_view name, std::string_view value) {
  if (name.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(name);
  if (it != table_.end()) {
    Entry& e = it->second;
    if (e.watched && e.value != value) {
      e.value.assign(value);
      watched_changes_.fetch_add(1, std::memory_order_acq_rel);
    } else {
      e.value.assign(value);
    }
  } else {
    const bool watched = IsWatchedName(name);
    table_.emplace(std::string(name), Entry{std::string(value), watched});
    if (watched) watched_changes_.fetch_add(1, std::memory_order_acq_rel);
  }
}

bool TVariableManager::IsWatchedName(std::string_view name) const {
  for (const std::string& w : watched_) {
    if (platform::SameText(w, name)) return true;
  }
  return false;
}

void TVariableManager::Watch(std::string_view name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (IsWatchedName(name)) return;
  watched_.emplace_back(name);
  auto it = table_.find(name);
  if (it != table_.end()) it->second.watched = true;
  watched_changes_.fetch_add(1, std::memory_order_acq_rel);
}

std::string TVariableManager::Get(std::string_view name) const {
  std::string value;
  TryGet(name, &value);
  return value;
}

bool TVariableManager::Exists(std::string_view name) const {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return table_.find(name) != table_.end();
}

bool TVariableManager::TryGet(std::string_view name, std::string* value) const {
  if (name.empty()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = table_.find(name);
  if (it == table_.end()) return false;
  value->assign(it->second.value);
  return true;
}

void TVariableManager::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  table_.clear();
  watched_changes_.fetch_add(1, std::memory_order_acq_rel);
}

size_t TVariableManager::ListAll(std::vector<std::string>* list) const {
  list->clear();
  std::lock_guard<std::mutex> lock(mutex_);
  list->reserve(table_.size() * 2);
  for (const auto& [name, entry] : table_) {
    list->push_back(name);
    list->push_back(entry.value);
  }
  return list->size();
}

size_t TVariableManager::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return table_.size();
}

std::string TVariableManager::Expand(std::string_view text, const ExpandLimits& limits) const {
  return ExpandImpl(text, false, limits);
}

std::string TVariableManager::ExpandQuoted(std::string_view text,
                                           const ExpandLimits& limits) const {
  return ExpandImpl(text, true, limits);
}

namespace {

// A piece of text still to be scanned. The bottom piece is the caller's text; every inserted
// value becomes a piece on top of the stack, so the scan continues at its first character. A
// candidate name may run from one piece into the pieces below it.
struct Piece {
  std::string owned;
  std::string_view borrowed;
  bool is_owned = false;
  size_t pos = 0;
  int depth = 0;
  std::string_view text() const { return is_owned ? std::string_view(owned) : borrowed; }
  size_t left() const { return text().size() - pos; }
};

void DoubleQuotes(std::string* text) {
  if (text->find('"') == std::string::npos) return;
  std::string out;
  out.reserve(text->size() + 8);
  for (char c : *text) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  text->swap(out);
}

}  // namespace

std::string TVariableManager::ExpandImpl(std::string_view text, bool quoted,
                                         const ExpandLimits& limits) const {
  if (text.find('$') == std::string_view::npos) return std::string(text);

  std::string out;
  out.reserve(text.size() + 64);
  // Reused between expansions of this thread: the stack only grows while values hold dollars.
  thread_local std::vector<Piece> stack;
  thread_local std::string name;
  thread_local std::string value;
  stack.clear();
  stack.push_back(Piece{{}, text, false, 0, 0});
  size_t total = text.size();  // length of the result if no further replacement is made
  size_t replacements = 0;

  while (true) {
    while (!stack.empty() && stack.back().left() == 0) stack.pop_back();
    if (stack.empty()) break;

    Piece& top = stack.back();
    std::string_view t = top.text();
    size_t a = t.find('$', top.pos);
    if (a == std::string_view::npos) {
      out.append(t.substr(top.pos));
      top.pos = t.size();
      continue;
    }
    out.append(t.substr(top.pos, a - top.pos));
    top.pos = a;
    const int depth_at_a = top.depth;

    // Find the closing dollar, possibly in a piece further down.
    name.clear();
    size_t close_piece = 0;
    size_t close_pos = std::string_view::npos;
    for (size_t k = stack.size(); k-- > 0;) {
      std::string_view pk = stack[k].text();
      size_t start = (k == stack.size() - 1) ? a + 1 : stack[k].pos;
      size_t q = pk.find('$', start);
      if (q != std::string_view::npos) {
        name.append(pk.substr(start, q - start));
        close_piece = k;
        close_pos = q;
        break;
      }
      name.append(pk.substr(start));
    }
    if (close_pos == std::string_view::npos) {
      // A lone dollar: it stays, and nothing after it can be a reference.
      out.push_back('$');
      top.pos = a + 1;
      continue;
    }

    // Quoted expansion: a value inserted into the caller's text stands between double quotes;
    // quotes inside it are doubled, so that it reads back as exactly that value.
    const bool wrap = quoted && depth_at_a == 0;
    bool replace = false;
    if (!name.empty() && depth_at_a < limits.max_depth && replacements < limits.max_replacements &&
        TryGet(name, &value)) {
      if (quoted) DoubleQuotes(&value);
      size_t new_total = total - (name.size() + 2) + value.size() + (wrap ? 2 : 0);
      replace = new_total <= limits.max_result_bytes;
      if (replace) total = new_total;
    }

    // Consume the pieces above the one holding the closing dollar.
    stack.resize(close_piece + 1);
    Piece& closing = stack.back();
    if (replace && value.find('$') == std::string::npos) {
      // Nothing in the value can open a reference: the scan passes over it unchanged.
      closing.pos = close_pos + 1;
      ++replacements;
      if (wrap) out.push_back('"');
      out.append(value);
      if (wrap) out.push_back('"');
    } else if (replace) {
      closing.pos = close_pos + 1;
      ++replacements;
      Piece inserted;
      inserted.is_owned = true;
      inserted.depth = depth_at_a + 1;
      inserted.owned.reserve(value.size() + 2);
      if (wrap) inserted.owned.push_back('"');
      inserted.owned.append(value);
      if (wrap) inserted.owned.push_back('"');
      stack.push_back(std::move(inserted));
    } else {
      // Undefined: the dollar and the name stay; the closing dollar may open the next reference.
      out.push_back('$');
      out.append(name);
      closing.pos = close_pos;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Variables

void Variables::DefineVariable(std::string_view name, std::string_view value,
                               std::string_view source) {
  if (name.empty()) return;
  if (!silent()) {
    // Outside a silent run both ways end in the same store operation.
    store_.Set(name, value);
  } else if (store_.Exists(name)) {
    SetVariable(name, value, source);
  } else {
    store_.Set(name, value);
  }
}

void Variables::SetVariable(std::string_view name, std::string_view value,
                            std::string_view source) {
  std::string upper;
  if (silent()) {
    upper = platform::UpperCase(name);
    name = upper;
    if (source != kInjectOverrideCommandLine && IsProtected(name)) return;
  }
  // Defined or not, the name ends up holding the value (DefineVariable of an undefined name
  // stores it directly).
  store_.Set(name, value);
}

void Variables::SetCommandLineAssignments(
    std::vector<std::pair<std::string, std::string>> assignments) {
  command_line_ = std::move(assignments);
}

bool Variables::IsProtected(std::string_view name) const {
  for (const auto& [n, v] : command_line_) {
    if (platform::SameText(n, name)) return true;
  }
  return false;
}

std::string Variables::ExpandPath(std::string_view text) const {
  return CollapseBackslashes(store_.Expand(text));
}

void Variables::AddSavedVariable(std::string_view name) {
  std::lock_guard<std::mutex> lock(saved_mutex_);
  for (const auto& n : saved_) {
    if (platform::SameText(n, name)) return;
  }
  saved_.emplace_back(name);
}

void Variables::AppendSavedVariable(std::string_view name) {
  std::lock_guard<std::mutex> lock(saved_mutex_);
  saved_.emplace_back(name);
}

std::vector<std::string> Variables::saved_variables() const {
  std::lock_guard<std::mutex> lock(saved_mutex_);
  return saved_;
}

// ---------------------------------------------------------------------------------------------
// Encodings

bool TextToBool(std::string_view text) { return text == "-1" || platform::SameText(text, "TRUE"); }

std::string UnwrapVariableReference(std::string_view text) {
  if (text.size() < 2 || text[0] != '$') return std::string();
  std::string_view rest = text.substr(1);
  size_t d = rest.find('$');
  if (d == std::string_view::npos || d != rest.size() - 1) return std::string();
  return std::string(rest.substr(0, d));
}

std::string ResultVariableName(std::string_view text) {
  std::string name = UnwrapVariableReference(text);
  if (name.empty()) name.assign(text);
  return name;
}

std::string NewlinesToToken(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out.append("$NEWLINE$");
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string TokenToNewlines(std::string_view text) {
  static constexpr std::string_view kToken = "$NEWLINE$";
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t hit = platform::FindText(text, kToken, i);
    if (hit == std::string::npos) break;
    out.append(text.substr(i, hit - i));
    out.append("\r\n");
    i = hit + kToken.size();
  }
  out.append(text.substr(i));
  return out;
}

std::string CollapseBackslashes(std::string_view text) {
  const bool unc = text.size() >= 2 && text[0] == '\\' && text[1] == '\\';
  std::string out;
  out.reserve(text.size() + 1);
  if (unc) out.push_back('\\');
  for (size_t i = 0; i < text.size(); ++i) {
    out.push_back(text[i]);
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') ++i;
  }
  return out;
}

}  // namespace corvane::interp
