#include "interp/program.h"

#include <algorithm>
#include <unordered_map>

#include "image/failure.h"
#include "platform/text.h"

namespace corvane::interp {

CommandKind KindOfName(std::string_view name) {
  if (name == "If") return CommandKind::kIf;
  if (name == "Else If") return CommandKind::kElseIf;
  if (name == "Else") return CommandKind::kElse;
  if (name == "End") return CommandKind::kEnd;
  if (name == "Wizard Loop") return CommandKind::kWizardLoop;
  if (name == "Label") return CommandKind::kLabel;
  if (name == "GoTo Label") return CommandKind::kGoToLabel;
  if (name == "Comment") return CommandKind::kComment;
  if (name == "Ignore") return CommandKind::kIgnore;
  if (name == "Display Dialog") return CommandKind::kDisplayDialog;
  return CommandKind::kOther;
}

Program::Program(const image::ScriptImage& image, std::vector<const image::HashedList*> pools)
    : image_(&image) {
  if (pools.empty()) pools.push_back(&image.parameter_pool);
  if (pools.size() >= CommandEntry::kNoPool) pools.resize(CommandEntry::kNoPool - 1);
  const size_t n = image.command_count();
  entries_.resize(n);

  // Names, identifiers and disabled marks, read in place. A list shorter than the names is the
  // list-index failure of the first command it lacks.
  size_t i = 0;
  struct NameFacts {
    CommandKind kind;
    bool plugin;
  };
  std::unordered_map<std::string_view, NameFacts> facts;  // the few distinct names
  image.command_names.Walk([&](std::string_view line, size_t) {
    if (i >= n) return;
    CommandEntry& e = entries_[i++];
    e.name = line;
    auto it = facts.find(line);
    if (it == facts.end()) {
      it = facts.emplace(line, NameFacts{KindOfName(line), image::IsPluginAction(image, line)})
               .first;
    }
    e.kind = it->second.kind;
    e.plugin = it->second.plugin;
  });
  size_t ids = 0;
  image.command_ids.Walk([&](std::string_view line, size_t) {
    if (ids < n) entries_[ids++].id = line;
  });
  size_t marks = 0;
  image.disabled_marks.Walk([&](std::string_view line, size_t) {
    if (marks < n) entries_[marks++].disabled = line == "C";
  });
  if (std::min(ids, marks) < n) throw image::ListIndexFailure(static_cast<long long>(std::min(ids, marks)));

  pools_ = std::move(pools);
  for (const image::HashedList* pool : pools_) in_section_.push_back(pool->InSection());
  FindParameters(pools_);
}

// Each command's identifier is looked up in the pools in order; in a pool, the last line equal
// to it (ignoring case) is where its parameters start, and they run to the next line where any
// command's parameters start. The identifiers go into a hash table once and each pool is read
// once, front to back; only lines as long as some identifier are looked up.
void Program::FindParameters(const std::vector<const image::HashedList*>& pools) {
  const size_t n = entries_.size();
  std::vector<uint32_t> hashes(n);
  for (size_t i = 0; i < n; ++i) {
    hashes[i] = static_cast<uint32_t>(platform::CaseInsensitiveHash()(entries_[i].id));
  }
  // Commands whose identifier equals that of an earlier command: the earlier one's position.
  std::unordered_map<uint32_t, uint32_t> same_as;
  std::vector<uint32_t> slots;
  std::vector<bool> found;
  size_t open = n;
  for (size_t p = 0; p < pools.size() && open > 0; ++p) {
    size_t capacity = 16;
    while (capacity * 3 < open * 4) capacity *= 2;
    slots.assign(capacity, 0);
    same_as.clear();
    const size_t mask = capacity - 1;
    uint64_t short_lengths = 0;  // bit k: some identifier is k characters long (k < 64)
    bool long_ids = false;
    for (uint32_t c = 0; c < n; ++c) {
      if (entries_[c].pool != CommandEntry::kNoPool) continue;
      const std::string_view id = entries_[c].id;
      if (id.size() < 64) {
        short_lengths |= uint64_t{1} << id.size();
      } else {
        long_ids = true;
      }
      for (size_t k = hashes[c] & mask;; k = (k + 1) & mask) {
        if (slots[k] == 0) {
          slots[k] = c + 1;
          break;
        }
        const uint32_t o = slots[k] - 1;
        if (hashes[o] == hashes[c] && platform::SameText(entries_[o].id, id)) {
          same_as[c] = o;
          break;
        }
      }
    }
    // The first command of each identifier records the last line equal to it.
    found.assign(n, false);
    size_t line = 0;
    pools[p]->Walk([&](std::string_view text, size_t offset) {
      const size_t at = line++;
      if (text.size() < 64 ? !(short_lengths >> text.size() & 1) : !long_ids) return;
      const uint32_t h = static_cast<uint32_t>(platform::CaseInsensitiveHash()(text));
      for (size_t k = h & mask;; k = (k + 1) & mask) {
        if (slots[k] == 0) return;
        const uint32_t o = slots[k] - 1;
        if (hashes[o] == h && platform::SameText(entries_[o].id, text)) {
          CommandEntry& e = entries_[o];
          e.pool_line = at;
          e.pool_offset = offset;
          found[o] = true;
          return;
        }
      }
    });
    for (uint32_t c = 0; c < n; ++c) {
      CommandEntry& e = entries_[c];
      if (e.pool != CommandEntry::kNoPool) continue;
      auto dup = same_as.find(c);
      const uint32_t f = dup == same_as.end() ? c : dup->second;
      if (!found[f]) continue;
      e.pool = static_cast<uint8_t>(p);
      e.pool_line = entries_[f].pool_line;
      e.pool_offset = entries_[f].pool_offset;
      --open;
    }
  }

  // A command's parameters end where the next start in its pool is. Starts usually come in
  // command order: then the next start is found walking the table backwards.
  std::vector<size_t> last(pools.size(), 0);
  std::vector<bool> seen(pools.size(), false), in_order(pools.size(), true);
  for (const CommandEntry& e : entries_) {
    if (e.pool == CommandEntry::kNoPool) continue;
    if (seen[e.pool] && e.pool_line < last[e.pool]) in_order[e.pool] = false;
    seen[e.pool] = true;
    last[e.pool] = e.pool_line;
  }
  std::vector<std::vector<size_t>> starts(pools.size());
  for (const CommandEntry& e : entries_) {
    if (e.pool != CommandEntry::kNoPool && !in_order[e.pool]) starts[e.pool].push_back(e.pool_line);
  }
  for (auto& s : starts) std::sort(s.begin(), s.end());
  std::vector<size_t> next_start(pools.size());
  std::vector<size_t> later(pools.size(), SIZE_MAX);  // start of the entry after, in order
  for (size_t p = 0; p < pools.size(); ++p) next_start[p] = pools[p]->size();
  for (size_t i = n; i-- > 0;) {
    CommandEntry& e = entries_[i];
    if (e.pool == CommandEntry::kNoPool) continue;
    size_t end;
    if (in_order[e.pool]) {
      if (later[e.pool] != SIZE_MAX && later[e.pool] > e.pool_line) next_start[e.pool] = later[e.pool];
      later[e.pool] = e.pool_line;
      end = next_start[e.pool];
    } else {
      const auto& s = starts[e.pool];
      auto next = std::upper_bound(s.begin(), s.end(), e.pool_line);
      end = next == s.end() ? pools[e.pool]->size() : *next;
    }
    e.param_count = static_cast<uint32_t>(end - e.pool_line - 1);
  }
}

const CommandEntry& Program::at(long index) const {
  if (index < 0 || index >= size()) throw image::ListIndexFailure(index);
  return entries_[static_cast<size_t>(index)];
}

std::string Program::Parameter(long index, long number) const {
  const CommandEntry& e = at(index);
  if (e.pool == CommandEntry::kNoPool || number < 0 ||
      static_cast<uint64_t>(number) > e.param_count) {
    return std::string();
  }
  const image::HashedList* pool = pools_[e.pool];
  if (in_section_[e.pool]) return std::string(pool->LineAfter(e.pool_offset, number));
  return std::string(pool->At(static_cast<long>(e.pool_line) + number));
}

std::string Program::SourceLocation(long index) const {
  if (index < 0 || static_cast<size_t>(index) >= image_->source_locations.size()) return {};
  return std::string(image_->source_locations.At(index));
}

}  // namespace corvane::interp
