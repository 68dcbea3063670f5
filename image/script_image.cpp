#include "image/script_image.h"

#include <algorithm>

#include "image/failure.h"
#include "platform/numbers.h"

namespace corvane::image {

using platform::SameText;

// ---------------------------------------------------------------------------------------------
// HashedList

namespace {
// Lines end at LF; the last one may lack it.
size_t CountLines(std::string_view text) {
  size_t count = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++count;
  return count;
}

uint32_t LineHash(std::string_view s) {
  return static_cast<uint32_t>(platform::CaseInsensitiveHash()(s));
}
}  // namespace

HashedList::HashedList(std::vector<std::string> lines) {
  std::vector<std::string_view>& views = MutableLines();
  views.reserve(lines.size());
  for (std::string& line : lines) views.push_back(Own(std::move(line)));
}

HashedList::HashedList(std::initializer_list<std::string_view> lines) {
  std::vector<std::string_view>& views = MutableLines();
  views.reserve(lines.size());
  for (std::string_view line : lines) views.push_back(Own(std::string(line)));
}

HashedList::HashedList(std::shared_ptr<const void> owner, std::string_view bytes,
                       std::string_view section)
    : owner_(std::move(owner)), bytes_(bytes), section_(section) {}

std::string_view HashedList::Own(std::string line) {
  owned_.push_back(std::move(line));
  return owned_.back();
}

const std::vector<std::string_view>& HashedList::Lines() const {
  State& state = *state_;
  std::call_once(state.split, [this, &state] {
    state.lines.reserve(CountLines(section_));
    for (size_t offset = 0; offset < section_.size();) {
      state.lines.push_back(NextLine(section_, &offset));
    }
    state.is_split.store(true, std::memory_order_release);
  });
  return state.lines;
}

size_t HashedList::size() const {
  State& state = *state_;
  if (state.is_split.load(std::memory_order_acquire) || !owner_) return Lines().size();
  // Counted in the section, without splitting it.
  std::call_once(state.counted, [this, &state] { state.count = CountLines(section_); });
  return state.count;
}

std::string_view HashedList::LineAfter(size_t offset, long skip) const {
  for (; skip > 0 && offset < section_.size(); --skip) NextLine(section_, &offset);
  if (skip > 0 || offset >= section_.size()) return {};
  return NextLine(section_, &offset);
}

std::vector<std::string_view>& HashedList::MutableLines() {
  Lines();
  return state_->lines;
}

void HashedList::CopyFrom(const HashedList& other) {
  owner_ = other.owner_;
  bytes_ = other.bytes_;
  const std::vector<std::string_view>& from = other.Lines();
  std::vector<std::string_view>& to = MutableLines();
  to.clear();
  to.reserve(from.size());
  // Lines in the shared bytes are shared; every other line gets a copy of its own.
  const char* begin = owner_ ? bytes_.data() : nullptr;
  const char* end = owner_ ? bytes_.data() + bytes_.size() : nullptr;
  for (std::string_view line : from) {
    const bool shared = begin && line.data() >= begin && line.data() + line.size() <= end;
    to.push_back(shared ? line : Own(std::string(line)));
  }
}

HashedList& HashedList::operator=(const HashedList& other) {
  if (this != &other) {
    HashedList copy(other);
    *this = std::move(copy);
  }
  return *this;
}

HashedList& HashedList::operator=(HashedList&& other) noexcept {
  if (this != &other) {
    // The lines, split or not, and the index travel with the list: a deque keeps the addresses
    // of its strings when it is moved, and the bytes stay where they are.
    owner_ = std::move(other.owner_);
    bytes_ = other.bytes_;
    section_ = other.section_;
    owned_ = std::move(other.owned_);
    state_ = std::move(other.state_);
    other.owner_.reset();
    other.bytes_ = {};
    other.section_ = {};
    other.owned_.clear();
    other.state_ = std::make_unique<State>();
  }
  return *this;
}

void HashedList::Build(State* state) const {
  const std::vector<std::string_view>& lines = Lines();
  size_t capacity = 16;
  while (capacity * 3 < lines.size() * 4) capacity *= 2;
  std::vector<Slot>& slots = state->slots;
  std::vector<uint32_t>& hashes = state->hashes;
  slots.assign(capacity, 0);
  const size_t mask = capacity - 1;
  const size_t n = lines.size();
  hashes.resize(n);
  for (size_t i = 0; i < n; ++i) hashes[i] = LineHash(lines[i]);
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
      if (hashes[slot - 1] == hash && SameText(lines[slot - 1], lines[position])) {
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

const HashedList::State& HashedList::GetIndex() const {
  std::call_once(state_->built, [this] { Build(state_.get()); });
  return *state_;
}

// A change keeps the lines and drops the index.
void HashedList::Add(std::string line) {
  std::vector<std::string_view> lines = std::move(MutableLines());
  lines.push_back(Own(std::move(line)));
  state_ = std::make_unique<State>();
  std::call_once(state_->split, [&] { state_->lines = std::move(lines); });
  state_->is_split.store(true, std::memory_order_release);
}

void HashedList::Set(size_t index, std::string line) {
  if (index >= size()) throw ListIndexFailure(static_cast<long long>(index));
  std::vector<std::string_view> lines = std::move(MutableLines());
  lines[index] = Own(std::move(line));
  state_ = std::make_unique<State>();
  std::call_once(state_->split, [&] { state_->lines = std::move(lines); });
  state_->is_split.store(true, std::memory_order_release);
}

long HashedList::IndexOf(std::string_view text) const {
  const std::vector<std::string_view>& lines = Lines();
  if (lines.empty()) return -1;
  const State& index = GetIndex();
  const uint32_t hash = LineHash(text);
  const size_t mask = index.slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot slot = index.slots[i];
    if (slot == 0) return -1;
    if (index.hashes[slot - 1] == hash && SameText(lines[slot - 1], text)) {
      return static_cast<long>(slot) - 1;
    }
  }
}

std::string_view HashedList::At(long index) const {
  const std::vector<std::string_view>& lines = Lines();
  if (index < 0 || index >= static_cast<long>(lines.size())) throw ListIndexFailure(index);
  return lines[static_cast<size_t>(index)];
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
  size_t pos() const { return pos_; }
  std::string_view data() const { return data_; }
  void Skip(size_t to) { pos_ = to; }
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
  std::shared_ptr<const void> owner;  // keeps what `lines` reads
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

  // A section whose lines stay in the image bytes: only its end is found here (the first line
  // that is a single "$"); the list splits the rest when it is first used.
  bool Hashed(HashedList* list) {
    ++item;
    const std::string_view data = lines.data();
    const size_t begin = lines.pos();
    for (size_t at = begin; at < data.size(); ++at) {
      at = data.find('$', at);
      if (at == std::string_view::npos) break;
      if (at != begin && data[at - 1] != '\n') continue;
      size_t after = at + 1;
      if (after < data.size() && data[after] == '\r') ++after;
      if (after < data.size() && data[after] != '\n') continue;
      if (after < data.size()) ++after;
      *list = HashedList(owner, data, data.substr(begin, at - begin));
      lines.Skip(after);
      return true;
    }
    lines.Skip(data.size());
    return Fail(ImageStatus::kTruncated,
                "The script image ends inside item " + std::to_string(item));
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
  auto is_token = [](std::string_view line) {
    return line.size() >= 8 && line.front() == '$' &&
           (SameText(line, "$WILD_DOLLAR$") || SameText(line, "$DOLLAR$"));
  };
  std::vector<size_t> tokens;
  size_t i = 0;
  pool->Walk([&](std::string_view line, size_t) {
    if (is_token(line)) tokens.push_back(i);
    ++i;
  });
  for (size_t t : tokens) pool->Set(t, "$");
}

}  // namespace

ImageLoadResult ParseScriptImage(std::string_view bytes, ScriptImage* image) {
  auto copy = std::make_shared<const std::string>(bytes);
  return ParseScriptImage(copy, *copy, image);
}

ImageLoadResult ParseScriptImage(std::shared_ptr<const void> owner, std::string_view bytes,
                                 ScriptImage* image) {
  *image = ScriptImage();
  if (bytes.empty()) return {ImageStatus::kNoImage, "The setup file holds no script image"};
  ItemReader r{LineReader(bytes), std::move(owner), {}};
  ScriptImage& im = *image;
  int32_t code_page = 0;
  bool ok = r.Hashed(&im.command_names);       // 1
  ok = ok && r.Hashed(&im.command_ids)      // 2
            && r.Hashed(&im.parameter_pool)   // 3
            && r.Hashed(&im.disabled_marks)   // 4
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
            && r.Hashed(&im.command_media)    // 15
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
       && r.Hashed(&im.source_locations);  // 25
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
  auto bytes = std::make_shared<std::string>();
  platform::Status s = files.ReadFile(path, bytes.get());
  if (s != platform::Status::kOk) {
    *image = ScriptImage();
    return {ImageStatus::kReadFailure,
            "Cannot read the script image " + path + " (" + platform::StatusName(s) + ")"};
  }
  return ParseScriptImage(bytes, *bytes, image);
}

// ---------------------------------------------------------------------------------------------
// Lookups

std::string GetCommandParameter(const std::vector<const HashedList*>& pools, std::string_view id,
                                long number) {
  for (const HashedList* pool : pools) {
    long p = pool->IndexOf(id);
    if (p >= 0) return std::string(pool->At(p + number));
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
      ReplaceAllIgnoreCase(&result, "#" + std::string(vars[i]) + "#", vars[i + 1]);
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

bool IsBracedGuid(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : HexDigit(text[i]) < 0) return false;
  }
  return true;
}

bool IsPluginAction(const ScriptImage& image, std::string_view command_name) {
  return image.plugin_actions.Contains(command_name);
}

std::string_view CommandName(const ScriptImage& image, long index) {
  return image.command_names.At(index);
}

std::string_view CommandId(const ScriptImage& image, long index) {
  return image.command_ids.At(index);
}

bool IsCommandDisabled(const ScriptImage& image, long index) {
  return image.disabled_marks.At(index) == "C";
}

}  // namespace corvane::image
