#include "interp/program.h"

#include <algorithm>

#include "image/failure.h"

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
  const long n = static_cast<long>(image.command_count());
  entries_.resize(static_cast<size_t>(n));

  // Identifier positions per pool, to know where each command's parameters end.
  std::vector<std::vector<long>> starts(pools.size());
  for (long i = 0; i < n; ++i) {
    CommandEntry& e = entries_[static_cast<size_t>(i)];
    e.name = image::CommandName(image, i);
    e.id = image::CommandId(image, i);
    e.disabled = image::IsCommandDisabled(image, i);
    e.kind = KindOfName(e.name);
    e.plugin = image::IsPluginAction(image, e.name);
    for (size_t p = 0; p < pools.size(); ++p) {
      long pos = pools[p]->IndexOf(e.id);
      if (pos >= 0) {
        e.pool = pools[p];
        e.pool_pos = pos;
        starts[p].push_back(pos);
        break;
      }
    }
  }
  for (auto& s : starts) std::sort(s.begin(), s.end());
  for (CommandEntry& e : entries_) {
    if (!e.pool) continue;
    size_t p = 0;
    while (pools[p] != e.pool) ++p;
    const auto& s = starts[p];
    auto next = std::upper_bound(s.begin(), s.end(), e.pool_pos);
    long end = next == s.end() ? static_cast<long>(e.pool->size()) : *next;
    e.param_count = end - e.pool_pos - 1;
  }
}

const CommandEntry& Program::at(long index) const {
  if (index < 0 || index >= size()) throw image::ListIndexFailure(index);
  return entries_[static_cast<size_t>(index)];
}

std::string Program::Parameter(long index, long number) const {
  const CommandEntry& e = at(index);
  if (!e.pool || number < 0 || number > e.param_count) return std::string();
  return e.pool->At(e.pool_pos + number);
}

std::string Program::SourceLocation(long index) const {
  if (index < 0 || static_cast<size_t>(index) >= image_->source_locations.size()) return {};
  return image_->source_locations.At(index);
}

}  // namespace corvane::interp
