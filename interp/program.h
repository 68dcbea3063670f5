// The command table of a loaded script as the interpreter walks it: one entry per command with
// its name, identifier, disabled mark, the kind the loop cares about, and where its parameters
// stand in the parameter pools. Built once before the run; the image must outlive it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/script_image.h"

namespace corvane::interp {

// The names the loop itself handles (exact, case-sensitive comparison).
enum class CommandKind : uint8_t {
  kOther,
  kIf,
  kElseIf,
  kElse,
  kEnd,
  kWizardLoop,
  kLabel,
  kGoToLabel,
  kComment,
  kIgnore,
  kDisplayDialog,
};

CommandKind KindOfName(std::string_view name);

struct CommandEntry {
  static constexpr uint8_t kNoPool = 0xFF;

  std::string_view name;
  std::string_view id;
  bool disabled = false;
  CommandKind kind = CommandKind::kOther;
  bool plugin = false;  // one of the plug-in actions of the build
  // Where the identifier line stands: the pool (an index into the program's pools) and the line
  // there, or no pool (no parameters); and the line's offset in the pool's section, where the
  // pool is read in place.
  uint8_t pool = kNoPool;
  uint32_t param_count = 0;
  size_t pool_line = 0;
  size_t pool_offset = 0;
};

class Program {
 public:
  // `pools` are searched in order for each identifier; empty means the image's own pool.
  explicit Program(const image::ScriptImage& image,
                   std::vector<const image::HashedList*> pools = {});

  const image::ScriptImage& image() const { return *image_; }
  long size() const { return static_cast<long>(entries_.size()); }
  // The entry at a command index; an index outside the table raises image::ListIndexFailure.
  const CommandEntry& at(long index) const;

  // Parameter `number` of the command at `index` (from 1; 0 gives the identifier line). A
  // command reads only its own parameters: a number past them gives the empty text (the pool
  // stores no count, and the line there belongs to the next command).
  std::string Parameter(long index, long number) const;

  // The source location of a command: "path*line", or empty.
  std::string SourceLocation(long index) const;

 private:
  void FindParameters(const std::vector<const image::HashedList*>& pools);

  const image::ScriptImage* image_;
  std::vector<CommandEntry> entries_;
  std::vector<const image::HashedList*> pools_;
  std::vector<bool> in_section_;  // by pool: parameters are read in the pool's section
};

}  // namespace corvane::interp
