// The script image: the compiled setup script appended to the engine executable, and the
// read-only stores that start-up fills from it.
//
// The image is 8-bit text (lines ending CR LF) made of 25 items in fixed order; an item is one
// line or a section of lines closed by a line holding the single character "$". Command-indexed
// sections (names, identifiers, disabled marks, media blocks, source locations) have one line
// per command, line k belonging to command k.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"

namespace corvane::image {

// A list of text lines with a case-insensitive hash index. Where equal lines (ignoring letter
// case) occur, a lookup finds the last of them. The index is rebuilt after the list changes.
//
// A list read from an image points into the image's bytes, which it keeps alive, and splits its
// section into lines only when it is first used: the sections that a run never reads (source
// locations, say, until a command fails) cost nothing but the scan that found their end.
class HashedList {
 public:
  HashedList() = default;
  explicit HashedList(std::vector<std::string> lines);
  HashedList(std::initializer_list<std::string_view> lines);
  // The lines of `section`, a part of `bytes`, which stay valid while `owner` lives: each line
  // ends at LF (a CR before it is dropped), the last one may lack its break.
  HashedList(std::shared_ptr<const void> owner, std::string_view bytes, std::string_view section);
  HashedList(const HashedList& other) { CopyFrom(other); }
  HashedList(HashedList&& other) noexcept { *this = std::move(other); }
  HashedList& operator=(const HashedList& other);
  HashedList& operator=(HashedList&& other) noexcept;

  void Add(std::string line);
  // Replaces a line and brings the index up to date.
  void Set(size_t index, std::string line);

  // Position of the last line equal to text ignoring case, or -1.
  long IndexOf(std::string_view text) const;
  bool Contains(std::string_view text) const { return IndexOf(text) >= 0; }

  size_t size() const;
  bool empty() const { return size() == 0; }
  // Line at a position; a position outside the list raises ListIndexFailure.
  std::string_view At(long index) const;
  const std::vector<std::string_view>& lines() const { return Lines(); }

  // True while every line is the text of the section the list was read from (nothing added or
  // replaced): the lines can then be walked in the section itself, see Walk and LineAfter.
  bool InSection() const { return owner_ && owned_.empty(); }
  // Calls fn(line, offset) for every line in order, with the offset of the line in the section
  // when InSection() (otherwise 0). Does not split the section.
  template <typename Fn>
  void Walk(Fn fn) const;
  // With InSection(): the line `skip` lines after the one at `offset`, or empty past the end.
  std::string_view LineAfter(size_t offset, long skip) const;

 private:
  // Open-addressing index: each slot holds a line position + 1 (0 is free). The hash of every
  // line is kept beside the lines, in line order, so most probes compare hashes without touching
  // the text, and the table itself stays small. Its size is a power of two, at most 3/4 full.
  using Slot = uint32_t;
  // The lines are split and the index is built on first use (once, also when threads read at the
  // same time); the index is dropped when the list changes, so lists that are only read by
  // position never pay for it.
  struct State {
    std::once_flag split;
    std::atomic<bool> is_split{false};
    std::vector<std::string_view> lines;
    std::once_flag counted;
    size_t count = 0;
    std::once_flag built;
    std::vector<Slot> slots;
    std::vector<uint32_t> hashes;  // of each line, by position
  };
  // The line of `text` that starts at *offset (without its LF and a CR before it); *offset moves
  // to the next line.
  static std::string_view NextLine(std::string_view text, size_t* offset) {
    const size_t nl = text.find('\n', *offset);
    const size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(*offset, end - *offset);
    *offset = nl == std::string_view::npos ? text.size() : nl + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }
  const std::vector<std::string_view>& Lines() const;
  std::vector<std::string_view>& MutableLines();
  const State& GetIndex() const;
  void Build(State* state) const;
  void CopyFrom(const HashedList& other);
  // A line that the list owns itself (added, replaced, or copied from a list without bytes).
  std::string_view Own(std::string line);

  std::shared_ptr<const void> owner_;  // keeps `bytes_` valid
  std::string_view bytes_;             // what lines taken from an image point into
  std::string_view section_;           // not split yet
  std::deque<std::string> owned_;             // stable addresses for the owned lines
  mutable std::unique_ptr<State> state_ = std::make_unique<State>();
};

template <typename Fn>
void HashedList::Walk(Fn fn) const {
  if (state_->is_split.load(std::memory_order_acquire) || !owner_) {
    const bool in_section = InSection();
    for (std::string_view line : Lines()) {
      fn(line, in_section ? static_cast<size_t>(line.data() - section_.data()) : size_t{0});
    }
    return;
  }
  size_t offset = 0;
  while (offset < section_.size()) {
    const size_t at = offset;
    std::string_view line = NextLine(section_, &offset);
    fn(line, at);
  }
}

// Every item of the image, as start-up holds it.
struct ScriptImage {
  HashedList command_names;     // item 1
  HashedList command_ids;       // item 2
  HashedList parameter_pool;    // item 3
  HashedList disabled_marks;    // item 4: "C" for a disabled command
  std::string product_code;     // item 5
  std::string title;            // item 6
  std::string title_for_files;  // item 6 again: the copy used for support-folder file names
  HashedList plugin_actions;    // item 7
  std::string publisher;        // item 8
  std::string contact;          // item 9
  std::string help_link;        // item 10
  std::string update_link;      // item 11
  std::string comments;         // item 12
  std::string version;          // item 13
  std::vector<std::string> media_passwords;  // item 14: block name, scrambled password, ...
  HashedList command_media;     // item 15: web media block of a command ("Block\") or empty
  int32_t build_mode = 0;       // item 16: 2 web build, 3 patch build
  std::vector<std::string> components;  // item 17: component name, size in bytes, ...
  std::string revision_code;    // item 18
  HashedList support_files;     // item 19: block, relative file path, relative folder, ...
  bool offer_language_dialog = false;  // item 20: exactly "TRUE"
  std::string default_language;  // item 21
  HashedList command_headers;   // item 22: header, command index, ...
  HashedList compiler_variables;  // item 23: name, value, ...
  uint16_t code_page = 1252;    // item 24
  HashedList source_locations;  // item 25: "path*line"

  size_t command_count() const { return command_names.size(); }

  static constexpr int kWebBuild = 2;
  static constexpr int kPatchBuild = 3;
};

enum class ImageStatus {
  kOk,
  kNoImage,      // nothing after the executable image
  kReadFailure,  // an integer item that is not a decimal integer, or the file cannot be read
  kTruncated,    // the data ends before the 25th item is complete
};

struct ImageLoadResult {
  ImageStatus status = ImageStatus::kOk;
  std::string message;  // what went wrong, for the start-up failure path
  bool ok() const { return status == ImageStatus::kOk; }
};

// Parses image bytes (the image alone, without the executable in front of it). The image's lists
// point into the bytes, which stay valid while `owner` lives; the lists keep it.
ImageLoadResult ParseScriptImage(std::shared_ptr<const void> owner, std::string_view bytes,
                                 ScriptImage* image);
// The same for bytes the caller keeps: they are copied first.
ImageLoadResult ParseScriptImage(std::string_view bytes, ScriptImage* image);

// Reads the image from a file that holds the image alone (start-up's temporary copy).
ImageLoadResult LoadScriptImage(platform::FileSystem& files, const std::string& path,
                                ScriptImage* image);

// Parameter `number` (from 1) of the command whose identifier is `id`, looked up in each pool in
// order; 0 gives the identifier line itself. An identifier found in no pool gives the empty text;
// a number past the end of the pool raises ListIndexFailure.
std::string GetCommandParameter(const std::vector<const HashedList*>& pools, std::string_view id,
                                long number);
// The same with the image's own pool as the only pool.
std::string GetCommandParameter(const ScriptImage& image, std::string_view id, long number);

// Replaces every #NAME# placeholder by the value of compiler variable NAME (item 23).
std::string ExpandCompilerVariables(const ScriptImage& image, std::string_view text);

// The command header (eight hexadecimal digits) of a command, or the empty text. With must_exist
// set, a missing header raises ScriptFailure "Unable to obtain command headers. Please rebuild
// your project."
std::string GetCommandHeader(const ScriptImage& image, long command_index, bool must_exist);

// Size in bytes of a component from item 17; 0 when the component is not listed.
int64_t FindComponentSize(const ScriptImage& image, std::string_view component);

// The scrambled password of a media block from item 14, or the empty text.
std::string FindMediaPassword(const ScriptImage& image, std::string_view block);

// Turns a stored password into clear text, and back (the authoring side of the same rule).
std::string DescrambleText(std::string_view scrambled);
std::string ScrambleText(std::string_view clear);

// True for a braced GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits in
// either case: the only form a product or revision code may take, since both name folders and
// registry keys.
bool IsBracedGuid(std::string_view text);

// True when a command name is one of the plug-in actions of this build (item 7).
bool IsPluginAction(const ScriptImage& image, std::string_view command_name);

// Command-indexed lookups with the list-index rule: an index past the end raises ListIndexFailure.
std::string_view CommandName(const ScriptImage& image, long index);
std::string_view CommandId(const ScriptImage& image, long index);
bool IsCommandDisabled(const ScriptImage& image, long index);

}  // namespace corvane::image
