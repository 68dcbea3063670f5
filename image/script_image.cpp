#include "image/script_image.h"

#include <algorithm>

#include "image/failure.h"
#include "platform/numbers.h"

namespace corvane::image {

using platform::SameText;

// ---------------------------------------------------------------------------------------------
// HashedList

namespace {
uint32_t LineHash(std::string_view s) {
  return static_cast<uint32_t>(platform::CaseInsensitiveHash()(s));
}
}  // namespace

HashedList::HashedList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

HashedList& HashedList::operator=(const HashedList& other) {
  if (this != &other) {
    lines_ = other.lines_;
    index_ = std::make_unique<Index>();
  }
  return *this;
}

HashedList& HashedList::operator=(HashedList&& other) noexcept {
  if (this != &other) {
    lines_ = std::move(other.lines_);
    other.lines_.clear();
    index_ = std::make_unique<Index>();
    other.index_ = std::make_unique<Index>();
  }
  return *this;
}

void HashedList::Build(Index* index) const {
  size_t capacity = 16;
  while (capacity * 3 < lines_.size() * 4) capacity *= 2;
  std::vector<Slot>& slots = index->slots;
  std::vector<uint32_t>& hashes = index->hashes;
  slots.assign(capacity, 0);
  const size_t mask = capacity - 1;
  const size_t n = lines_.size();
  hashes.resize(n);
  for (size_t i = 0; i < n; ++i) hashes[i] = LineHash(lines_[i]);
  auto insert = [&](uint32_t position) {
    const uint32_t hash = hashes[position];
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (slot == 0) {
        slot = position + 1;
        return;
      }
      // Of equal lines the later one keeps the slot: lookups find the last of equal lines, in
      // whatever order the lines are inserted.
      if (hashes[slot - 1] == hash && SameText(lines_[slot - 1], lines_[position])) {
        slot = std::max(slot, position + 1);
        return;
      }
    }
  };
  if (n < 4096) {
    for (size_t i = 0; i < n; ++i) insert(static_cast<uint32_t>(i));
    return;
  }
  // A large list is inserted in the order of the slots it lands in (a counting sort on the top
  // bits of the slot number), so the table is written front to back instead of at random.
  int bits = 0;
  while ((size_t{1} << bits) < capacity) ++bits;
  const int shift = bits > 10 ? bits - 10 : 0;
  std::vector<uint32_t> start(1025, 0);
  for (size_t i = 0; i < n; ++i) ++start[((hashes[i] & mask) >> shift) + 1];
  for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) {
    order[start[(hashes[i] & mask) >> shift]++] = static_cast<uint32_t>(i);
  }
  for (uint32_t i : order) insert(i);
}

const HashedList::Index& HashedList::GetIndex() const {
  std::call_once(index_->built, [this] { Build(index_.get()); });
  return *index_;
}

void HashedList::Add(std::string line) {
  lines_.push_back(std::move(line));
  index_ = std::make_unique<Index>();
}

void HashedList::Set(size_t index, std::string line) {
  if (index >= lines_.size()) throw ListIndexFailure(static_cast<long long>(index));
  lines_[index] = std::move(line);
  index_ = std::make_unique<Index>();
}

long HashedList::IndexOf(std::string_view text) const {
  if (lines_.empty()) return -1;
  const Index& index = GetIndex();
  const uint32_t hash = LineHash(text);
  const size_t mask = index.slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot slot = index.slots[i];
    if (slot == 0) return -1;
    if (index.hashes[slot - 1] == hash && SameText(lines_[slot - 1], text)) {
      return static_cast<long>(slot) - 1;
    }
  }
}

const std::string& HashedList::At(long index) const {
  if (index < 0 || index >= static_cast<long>(lines_.size())) throw ListIndexFailure(index);
  return lines_[static_cast<size_t>(index)];
}

// ---------------------------------------------------------------------------------------------
// Reading the image

namespace {

// Splits the image into lines. A line ends at CR LF (a lone LF is accepted too); the last line
// may lack its break.
class LineReader {
 public:
  explicit LineReader(std::string_view data) : data_(data) {}
  bool AtEnd() const { return pos_ >= data_.size(); }
  size_t remaining() const { return data_.size() - pos_; }
  // False at the end of the data.
  bool Next(std::string_view* line) {
    if (AtEnd()) return false;
    size_t nl = data_.find('\n', pos_);
    size_t end = nl == std::string_view::npos ? data_.size() : nl;
    size_t stop = end;
    if (stop > pos_ && data_[stop - 1] == '\r') --stop;
    *line = data_.substr(pos_, stop - pos_);
    pos_ = nl == std::string_view::npos ? data_.size() : nl + 1;
    return true;
  }

 private:
  std::string_view data_;
  size_t pos_ = 0;
};

struct ItemReader {
  LineReader lines;
  size_t lines_reader_remaining() const { return lines.remaining(); }
  ImageLoadResult result;
  int item = 0;  // number of the item being read, for messages

  bool Fail(ImageStatus status, const std::string& message) {
    if (result.ok()) result = {status, message};
    return false;
  }

  bool Line(std::string* out) {
    ++item;
    std::string_view line;
    if (!lines.Next(&line)) {
      return Fail(ImageStatus::kTruncated,
                  "The script image ends before item " + std::to_string(item));
    }
    out->assign(line);
    return true;
  }

  template <typename AddFn>
  bool Section(AddFn add) {
    ++item;
    std::string_view line;
    while (lines.Next(&line)) {
      if (line == "$") return true;
      add(line);
    }
    return Fail(ImageStatus::kTruncated,
                "The script image ends inside item " + std::to_string(item));
  }

  // reserve: the expected number of lines (the command count for command-indexed sections), so
  // that a large section is not moved around while it grows.
  bool Hashed(HashedList* list, size_t reserve = 0) {
    std::vector<std::string> lines;
    // Never more than the rest of the data could hold, so a damaged count costs no memory.
    lines.reserve(std::min(reserve, lines_reader_remaining() / 8));
    if (!Section([&](std::string_view l) { lines.emplace_back(l); })) return false;
    *list = HashedList(std::move(lines));
    return true;
  }
  bool Plain(std::vector<std::string>* list) {
    return Section([&](std::string_view l) { list->emplace_back(l); });
  }

  bool Integer(int32_t* out) {
    std::string text;
    if (!Line(&text)) return false;
    // Blanks around the digits are tolerated, as the reader of the authoring tool's files does.
    size_t b = text.find_first_not_of(' ');
    size_t e = text.find_last_not_of(' ');
    auto value = b == std::string::npos ? std::nullopt
                                        : platform::ParseDecimal32(
                                              std::string_view(text).substr(b, e - b + 1));
    if (!value) {
      return Fail(ImageStatus::kReadFailure,
                  "'" + text + "' is not a valid integer value (item " + std::to_string(item) +
                      ")");
    }
    *out = *value;
    return true;
  }
};

// A pool parameter that is a single "$" is written as one of these tokens.
void ReplaceDollarLines(HashedList* pool) {
  auto is_token = [](const std::string& line) {
    return line.size() >= 8 && line.front() == '$' &&
           (SameText(line, "$WILD_DOLLAR$") || SameText(line, "$DOLLAR$"));
  };
  const auto& current = pool->lines();
  if (std::none_of(current.begin(), current.end(), is_token)) return;
  std::vector<std::string> lines = current;
  for (std::string& line : lines) {
    if (is_token(line)) line = "$";
  }
  *pool = HashedList(std::move(lines));
}

}  // namespace

ImageLoadResult ParseScriptImage(std::string_view bytes, ScriptImage* image) {
  *image = ScriptImage();
  if (bytes.empty()) return {ImageStatus::kNoImage, "The setup file holds no script image"};
  ItemReader r{LineReader(bytes), {}};
  ScriptImage& im = *image;
  int32_t code_page = 0;
  bool ok = r.Hashed(&im.command_names);       // 1
  const size_t commands = im.command_names.size();
  ok = ok && r.Hashed(&im.command_ids, commands)          // 2
            && r.Hashed(&im.parameter_pool, commands * 4)  // 3
            && r.Hashed(&im.disabled_marks, commands)      // 4
            && r.Line(&im.product_code)       // 5
            && r.Line(&im.title)              // 6
            && r.Hashed(&im.plugin_actions)   // 7
            && r.Line(&im.publisher)          // 8
            && r.Line(&im.contact)            // 9
            && r.Line(&im.help_link)          // 10
            && r.Line(&im.update_link)        // 11
            && r.Line(&im.comments)           // 12
            && r.Line(&im.version)            // 13
            && r.Plain(&im.media_passwords)   // 14
            && r.Hashed(&im.command_media, commands)  // 15
            && r.Integer(&im.build_mode)      // 16
            && r.Plain(&im.components);       // 17
  std::string language_flag;
  ok = ok && r.Line(&im.revision_code)        // 18
       && r.Hashed(&im.support_files)         // 19
       && r.Line(&language_flag)              // 20
       && r.Line(&im.default_language)        // 21
       && r.Hashed(&im.command_headers)       // 22
       && r.Hashed(&im.compiler_variables)    // 23
       && r.Integer(&code_page)               // 24
       && r.Hashed(&im.source_locations, commands);  // 25
  if (!ok) {
    ImageLoadResult failure = r.result;
    *image = ScriptImage();
    return failure;
  }
  im.title_for_files = im.title;
  im.offer_language_dialog = language_flag == "TRUE";
  im.code_page = static_cast<uint16_t>(code_page);
  ReplaceDollarLines(&im.parameter_pool);
  return {};
}

ImageLoadResult LoadScriptImage(platform::FileSystem& files, const std::string& path,
                                ScriptImage* image) {
  std::string bytes;
  platform::Status s = files.ReadFile(path, &bytes);
  if (s != platform::Status::kOk) {
    *image = ScriptImage();
    return {ImageStatus::kReadFailure,
            "Cannot read the script image " + path + " (" + platform::StatusName(s) + ")"};
  }
  return ParseScriptImage(bytes, image);
}

// ---------------------------------------------------------------------------------------------
// Lookups

std::string GetCommandParameter(const std::vector<const HashedList*>& pools, std::string_view id,
                                long number) {
  for (const HashedList* pool : pools) {
    long p = pool->IndexOf(id);
    if (p >= 0) return pool->At(p + number);
  }
  return std::string();
}

std::string GetCommandParameter(const ScriptImage& image, std::string_view id, long number) {
  return GetCommandParameter(std::vector<const HashedList*>{&image.parameter_pool}, id, number);
}

namespace {

// Replaces every occurrence of `from` (ignoring case) by `to`, scanning left to right; replaced
// text is not scanned again.
void ReplaceAllIgnoreCase(std::string* text, std::string_view from, std::string_view to) {
  size_t pos = platform::FindText(*text, from);
  if (pos == std::string::npos) return;
  std::string out;
  size_t start = 0;
  while (pos != std::string::npos) {
    out.append(*text, start, pos - start);
    out.append(to);
    start = pos + from.size();
    pos = platform::FindText(*text, from, start);
  }
  out.append(*text, start, std::string::npos);
  *text = std::move(out);
}

// Placeholders that keep expanding into new placeholders (A is "#B#x" and B is "#A#x") would
// never settle; expansion stops after this many passes, or when the text grows past the limit.
constexpr int kMaxCompilerVariablePasses = 64;
constexpr size_t kMaxCompilerVariableText = 1 << 20;

}  // namespace

std::string ExpandCompilerVariables(const ScriptImage& image, std::string_view text) {
  std::string source(text);
  for (int pass = 0; pass < kMaxCompilerVariablePasses; ++pass) {
    if (source.find('#') == std::string::npos) return source;
    std::string result = source;
    const auto& vars = image.compiler_variables.lines();
    for (size_t i = 0; i + 1 < vars.size(); i += 2) {
      ReplaceAllIgnoreCase(&result, "#" + vars[i] + "#", vars[i + 1]);
      if (result.size() > kMaxCompilerVariableText) return result;
    }
    if (result.find('#') == std::string::npos || result == source) return result;
    source = std::move(result);
  }
  return source;
}

std::string GetCommandHeader(const ScriptImage& image, long command_index, bool must_exist) {
  std::string result;
  long p = image.command_headers.IndexOf(std::to_string(command_index));
  if (p >= 0) result = image.command_headers.At(p - 1);
  if (result.empty() && must_exist) {
    throw ScriptFailure("Unable to obtain command headers. Please rebuild your project.");
  }
  return result;
}

int64_t FindComponentSize(const ScriptImage& image, std::string_view component) {
  const auto& lines = image.components;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!SameText(lines[i], component)) continue;
    if (i + 1 >= lines.size()) return 0;
    return platform::ParseDecimal64(lines[i + 1]).value_or(0);
  }
  return 0;
}

std::string FindMediaPassword(const ScriptImage& image, std::string_view block) {
  const auto& lines = image.media_passwords;
  for (size_t i = 0; i < lines.size(); i += 2) {
    if (SameText(lines[i], block)) return i + 1 < lines.size() ? lines[i + 1] : std::string();
  }
  return std::string();
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
}  // namespace

std::string DescrambleText(std::string_view scrambled) {
  std::string result;
  result.reserve(scrambled.size() / 2);
  for (size_t j = 0; j + 1 < scrambled.size(); j += 2) {
    char low = static_cast<char>(static_cast<unsigned char>(scrambled[j]) ^ (j % 256));
    char high = static_cast<char>(static_cast<unsigned char>(scrambled[j + 1]) ^ ((j + 1) % 256));
    int lo = HexDigit(low), hi = HexDigit(high);
    // A damaged pair yields nothing rather than a wrong byte: the password is then wrong as a
    // whole, which the archive reports.
    if (lo < 0 || hi < 0) return std::string();
    result.push_back(static_cast<char>(hi * 16 + lo));
  }
  return result;
}

std::string ScrambleText(std::string_view clear) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(clear.size() * 2);
  for (unsigned char c : clear) {
    result.push_back(kHex[c & 0xF]);
    result.push_back(kHex[c >> 4]);
  }
  for (size_t i = 0; i < result.size(); ++i) {
    result[i] = static_cast<char>(static_cast<unsigned char>(result[i]) ^ (i % 256));
  }
  return result;
}

bool IsPluginAction(const ScriptImage& image, std::string_view command_name) {
  return image.plugin_actions.Contains(command_name);
}

const std::string& CommandName(const ScriptImage& image, long index) {
  return image.command_names.At(index);
}

const std::string& CommandId(const ScriptImage& image, long index) {
  return image.command_ids.At(index);
}

bool IsCommandDisabled(const ScriptImage& image, long index) {
  return image.disabled_marks.At(index) == "C";
}

}  // namespace corvane::image
