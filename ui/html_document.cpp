#include "ui/html_document.h"

#include <algorithm>
#include <cstring>

#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::ui {

namespace {

using platform::SameText;

struct NamedEntity {
  const char* name;
  unsigned char code;  // in code page 1252
};

// The entities of Latin-1 and the typographic ones that code page 1252 can spell.
constexpr NamedEntity kEntities[] = {
    {"amp", '&'},     {"lt", '<'},      {"gt", '>'},      {"quot", '"'},    {"apos", '\''},
    {"nbsp", 0xA0},   {"iexcl", 0xA1},  {"cent", 0xA2},   {"pound", 0xA3},  {"curren", 0xA4},
    {"yen", 0xA5},    {"brvbar", 0xA6}, {"sect", 0xA7},   {"uml", 0xA8},    {"copy", 0xA9},
    {"ordf", 0xAA},   {"laquo", 0xAB},  {"not", 0xAC},    {"shy", 0xAD},    {"reg", 0xAE},
    {"macr", 0xAF},   {"deg", 0xB0},    {"plusmn", 0xB1}, {"sup2", 0xB2},   {"sup3", 0xB3},
    {"acute", 0xB4},  {"micro", 0xB5},  {"para", 0xB6},   {"middot", 0xB7}, {"cedil", 0xB8},
    {"sup1", 0xB9},   {"ordm", 0xBA},   {"raquo", 0xBB},  {"frac14", 0xBC}, {"frac12", 0xBD},
    {"frac34", 0xBE}, {"iquest", 0xBF}, {"Agrave", 0xC0}, {"Aacute", 0xC1}, {"Acirc", 0xC2},
    {"Atilde", 0xC3}, {"Auml", 0xC4},   {"Aring", 0xC5},  {"AElig", 0xC6},  {"Ccedil", 0xC7},
    {"Egrave", 0xC8}, {"Eacute", 0xC9}, {"Ecirc", 0xCA},  {"Euml", 0xCB},   {"Igrave", 0xCC},
    {"Iacute", 0xCD}, {"Icirc", 0xCE},  {"Iuml", 0xCF},   {"ETH", 0xD0},    {"Ntilde", 0xD1},
    {"Ograve", 0xD2}, {"Oacute", 0xD3}, {"Ocirc", 0xD4},  {"Otilde", 0xD5}, {"Ouml", 0xD6},
    {"times", 0xD7},  {"Oslash", 0xD8}, {"Ugrave", 0xD9}, {"Uacute", 0xDA}, {"Ucirc", 0xDB},
    {"Uuml", 0xDC},   {"Yacute", 0xDD}, {"THORN", 0xDE},  {"szlig", 0xDF},  {"agrave", 0xE0},
    {"aacute", 0xE1}, {"acirc", 0xE2},  {"atilde", 0xE3}, {"auml", 0xE4},   {"aring", 0xE5},
    {"aelig", 0xE6},  {"ccedil", 0xE7}, {"egrave", 0xE8}, {"eacute", 0xE9}, {"ecirc", 0xEA},
    {"euml", 0xEB},   {"igrave", 0xEC}, {"iacute", 0xED}, {"icirc", 0xEE},  {"iuml", 0xEF},
    {"eth", 0xF0},    {"ntilde", 0xF1}, {"ograve", 0xF2}, {"oacute", 0xF3}, {"ocirc", 0xF4},
    {"otilde", 0xF5}, {"ouml", 0xF6},   {"divide", 0xF7}, {"oslash", 0xF8}, {"ugrave", 0xF9},
    {"uacute", 0xFA}, {"ucirc", 0xFB},  {"uuml", 0xFC},   {"yacute", 0xFD}, {"thorn", 0xFE},
    {"yuml", 0xFF},   {"euro", 0x80},   {"sbquo", 0x82},  {"fnof", 0x83},   {"bdquo", 0x84},
    {"hellip", 0x85}, {"dagger", 0x86}, {"Dagger", 0x87}, {"circ", 0x88},   {"permil", 0x89},
    {"Scaron", 0x8A}, {"lsaquo", 0x8B}, {"OElig", 0x8C},  {"lsquo", 0x91},  {"rsquo", 0x92},
    {"ldquo", 0x93},  {"rdquo", 0x94},  {"bull", 0x95},   {"ndash", 0x96},  {"mdash", 0x97},
    {"tilde", 0x98},  {"trade", 0x99},  {"scaron", 0x9A}, {"rsaquo", 0x9B}, {"oelig", 0x9C},
    {"Yuml", 0x9F},
};

// Code points 0x80 to 0x9F of code page 1252, as Unicode.
constexpr uint16_t kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// A Unicode code point in code page 1252; '?' where the code page has no such character (and for
// the control characters, NUL among them, which a page must not smuggle into a text).
char CodePointTo1252(uint32_t cp) {
  if (cp >= 0x20 && cp < 0x7F) return static_cast<char>(cp);
  if (cp >= 0xA0 && cp <= 0xFF) return static_cast<char>(cp);
  if (cp >= 0x80 && cp <= 0x9F && kHigh1252[cp - 0x80] != 0) return static_cast<char>(cp);
  if (cp == '\t' || cp == '\n' || cp == '\r') return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i) {
    if (kHigh1252[i] != 0 && kHigh1252[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) {
  return IsAlpha(c) || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == ':';
}

// The entity at text[at] ('&'); the decoded character and the entity's length, or length 0.
size_t ReadEntity(std::string_view text, size_t at, char* out) {
  // Entities are short: the ';' is looked for in the next few characters only, so that a text of
  // many '&' stays linear.
  const size_t window = text.substr(at + 1, 12).find(';');
  if (window == std::string_view::npos) return 0;
  const size_t semi = at + 1 + window;
  std::string_view body = text.substr(at + 1, semi - at - 1);
  if (body.empty()) return 0;
  if (body[0] == '#') {
    uint32_t cp = 0;
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 7) return 0;
    for (char c : digits) {
      int d = c >= '0' && c <= '9'          ? c - '0'
              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                            : -1;
      if (d < 0) return 0;
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    *out = CodePointTo1252(cp);
    return semi - at + 1;
  }
  for (const NamedEntity& e : kEntities) {
    if (body == e.name) {
      *out = static_cast<char>(e.code);
      return semi - at + 1;
    }
  }
  return 0;
}

enum class Tag : uint8_t {
  kUnknown,
  kA,
  kB,
  kI,
  kU,
  kP,
  kDiv,
  kBr,
  kH,
  kUl,
  kOl,
  kLi,
  kImg,
  kHr,
  kPre,
  kBlockquote,
  kCenter,
  kTable,
  kTr,
  kTd,
  kTitle,
  kScript,
  kStyle,
  kMeta,
  kDl,
  kDt,
  kDd,
  kSpan,
  kFont,
};

Tag TagOf(std::string_view name, uint8_t* heading) {
  struct Entry {
    const char* name;
    Tag tag;
  };
  static const Entry kTags[] = {
      {"a", Tag::kA},
      {"b", Tag::kB},
      {"strong", Tag::kB},
      {"i", Tag::kI},
      {"em", Tag::kI},
      {"cite", Tag::kI},
      {"u", Tag::kU},
      {"p", Tag::kP},
      {"div", Tag::kDiv},
      {"br", Tag::kBr},
      {"ul", Tag::kUl},
      {"ol", Tag::kOl},
      {"li", Tag::kLi},
      {"img", Tag::kImg},
      {"hr", Tag::kHr},
      {"pre", Tag::kPre},
      {"blockquote", Tag::kBlockquote},
      {"center", Tag::kCenter},
      {"table", Tag::kTable},
      {"tr", Tag::kTr},
      {"td", Tag::kTd},
      {"th", Tag::kTd},
      {"title", Tag::kTitle},
      {"script", Tag::kScript},
      {"style", Tag::kStyle},
      {"meta", Tag::kMeta},
      {"dl", Tag::kDl},
      {"dt", Tag::kDt},
      {"dd", Tag::kDd},
      {"span", Tag::kSpan},
      {"font", Tag::kFont},
  };
  if (name.size() == 2 && (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6') {
    *heading = static_cast<uint8_t>(name[1] - '0');
    return Tag::kH;
  }
  for (const Entry& e : kTags) {
    if (SameText(name, e.name)) return e.tag;
  }
  return Tag::kUnknown;
}

// Whether an element of the tag changes the style or the list state until it closes: only those
// are kept open.
bool KeepsOpen(Tag t) {
  switch (t) {
    case Tag::kA:
    case Tag::kB:
    case Tag::kI:
    case Tag::kU:
    case Tag::kH:
    case Tag::kUl:
    case Tag::kOl:
    case Tag::kPre:
    case Tag::kBlockquote:
    case Tag::kDl:
    case Tag::kDd:
      return true;
    default:
      return false;
  }
}

bool IsBlock(Tag t) {
  switch (t) {
    case Tag::kP:
    case Tag::kDiv:
    case Tag::kH:
    case Tag::kUl:
    case Tag::kOl:
    case Tag::kPre:
    case Tag::kBlockquote:
    case Tag::kCenter:
    case Tag::kTable:
    case Tag::kDl:
    case Tag::kDt:
    case Tag::kDd:
      return true;
    default:
      return false;
  }
}

struct Attribute {
  std::string_view name, value;
};

class Reader {
 public:
  explicit Reader(std::string_view page) : p_(page) {}

  HtmlDocument Read() {
    // Words and their blanks: about one item for every few bytes of a page.
    doc_.text.reserve(p_.size());
    doc_.items.reserve(p_.size() / 6);
    while (at_ < p_.size()) {
      const size_t lt = p_.find('<', at_);
      if (lt == std::string_view::npos) {
        Text(p_.substr(at_));
        break;
      }
      if (lt > at_) Text(p_.substr(at_, lt - at_));
      at_ = lt;
      Markup();
    }
    return std::move(doc_);
  }

 private:
  // --- markup
  void Markup() {
    std::string_view rest = p_.substr(at_);
    if (rest.substr(0, 4) == "<!--") {
      const size_t end = p_.find("-->", at_ + 4);
      at_ = end == std::string_view::npos ? p_.size() : end + 3;
      return;
    }
    if (rest.size() >= 2 && (rest[1] == '!' || rest[1] == '?')) {
      const size_t end = p_.find('>', at_);
      at_ = end == std::string_view::npos ? p_.size() : end + 1;
      return;
    }
    const bool closing = rest.size() >= 2 && rest[1] == '/';
    size_t name_at = at_ + (closing ? 2 : 1);
    if (name_at >= p_.size() || !IsAlpha(p_[name_at])) {
      // A '<' that opens no tag is text.
      Text(p_.substr(at_, 1));
      ++at_;
      return;
    }
    size_t name_end = name_at;
    while (name_end < p_.size() && IsNameChar(p_[name_end])) ++name_end;
    std::string_view name = p_.substr(name_at, name_end - name_at);
    attributes_.clear();
    size_t end = ReadAttributes(name_end);
    at_ = end;
    uint8_t heading = 0;
    const Tag tag = TagOf(name, &heading);
    if (closing) {
      Close(tag, heading);
    } else {
      Open(tag, heading);
    }
  }

  // Reads the attributes up to the tag's '>'; returns the position after it (the page's end when
  // the tag never ends).
  size_t ReadAttributes(size_t i) {
    while (i < p_.size()) {
      while (i < p_.size() && (IsSpace(p_[i]) || p_[i] == '/')) ++i;
      if (i >= p_.size()) break;
      if (p_[i] == '>') return i + 1;
      size_t name_start = i;
      while (i < p_.size() && !IsSpace(p_[i]) && p_[i] != '=' && p_[i] != '>' && p_[i] != '/') ++i;
      std::string_view name = p_.substr(name_start, i - name_start);
      while (i < p_.size() && IsSpace(p_[i])) ++i;
      std::string_view value;
      if (i < p_.size() && p_[i] == '=') {
        ++i;
        while (i < p_.size() && IsSpace(p_[i])) ++i;
        if (i < p_.size() && (p_[i] == '"' || p_[i] == '\'')) {
          const char quote = p_[i++];
          size_t close = p_.find(quote, i);
          if (close == std::string_view::npos) close = p_.size();
          value = p_.substr(i, close - i);
          i = close == p_.size() ? close : close + 1;
        } else {
          size_t start = i;
          while (i < p_.size() && !IsSpace(p_[i]) && p_[i] != '>') ++i;
          value = p_.substr(start, i - start);
        }
      }
      if (name.empty()) continue;  // "=value" without a name: its value was stepped over
      if (attributes_.size() < 64) attributes_.push_back({name, value});
    }
    return p_.size();
  }

  std::string_view Attr(std::string_view name) const {
    for (const Attribute& a : attributes_) {
      if (SameText(a.name, name)) return a.value;
    }
    return std::string_view();
  }
  bool HasAttr(std::string_view name) const {
    for (const Attribute& a : attributes_) {
      if (SameText(a.name, name)) return true;
    }
    return false;
  }

  // Skips the contents of an element whose text is not markup (title, script, style) and returns
  // them.
  std::string_view RawUntilClose(std::string_view name) {
    const std::string closing = "</" + std::string(name);
    size_t end = platform::FindText(p_, closing, at_);
    std::string_view body = p_.substr(at_, (end == std::string_view::npos ? p_.size() : end) - at_);
    if (end == std::string_view::npos) {
      at_ = p_.size();
    } else {
      const size_t gt = p_.find('>', end);
      at_ = gt == std::string_view::npos ? p_.size() : gt + 1;
    }
    return body;
  }

  void Open(Tag tag, uint8_t heading) {
    switch (tag) {
      case Tag::kTitle: {
        std::string title = CollapseSpaces(DecodeEntities(RawUntilClose("title")));
        if (doc_.title.empty()) doc_.title = std::move(title);
        return;
      }
      case Tag::kScript:
        RawUntilClose("script");
        return;
      case Tag::kStyle:
        RawUntilClose("style");
        return;
      case Tag::kMeta:
        Meta();
        return;
      case Tag::kBr:
        Push(HtmlItem::kLineBreak);
        return;
      case Tag::kHr:
        Block();
        Push(HtmlItem::kRule);
        Block();
        return;
      case Tag::kImg:
        Image();
        return;
      case Tag::kTr:
        LineBreak();
        return;
      case Tag::kTd:
        Space();
        return;
      case Tag::kLi:
        ListItem();
        return;
      default:
        break;
    }
    if (tag == Tag::kA && HasAttr("name") && !Attr("name").empty()) {
      Add(HtmlItem::kAnchor, DecodeEntities(Attr("name")));
    }
    if (IsBlock(tag)) Block();
    if (!KeepsOpen(tag)) return;
    // Too deep: skipped like an unknown tag, and so is its closing tag (the element that is
    // open keeps its style).
    if (open_.size() >= static_cast<size_t>(kMaxOpenElements)) return;
    open_.push_back({tag, heading, style_, lists_.size(), quotes_});
    switch (tag) {
      case Tag::kA:
        if (HasAttr("href")) {
          style_.link = static_cast<int>(doc_.links.size());
          style_.underline = true;
          doc_.links.push_back(DecodeEntities(Attr("href")));
        }
        break;
      case Tag::kB:
        style_.bold = true;
        break;
      case Tag::kI:
        style_.italic = true;
        break;
      case Tag::kU:
        style_.underline = true;
        break;
      case Tag::kH:
        style_.heading = heading;
        style_.bold = true;
        break;
      case Tag::kUl:
      case Tag::kOl:
        if (lists_.size() < static_cast<size_t>(kMaxListDepth)) {
          int start = 1;
          if (tag == Tag::kOl) {
            start = platform::ParseDecimal32(Attr("start")).value_or(1);
          }
          lists_.push_back({tag == Tag::kOl, start});
        }
        break;
      case Tag::kPre:
        style_.preformatted = true;
        break;
      case Tag::kBlockquote:
      case Tag::kDd:
        if (quotes_ < kMaxListDepth) ++quotes_;
        break;
      default:
        break;
    }
  }

  void Close(Tag tag, uint8_t heading) {
    if (tag == Tag::kP || tag == Tag::kDiv || tag == Tag::kLi || tag == Tag::kCenter ||
        tag == Tag::kTable || tag == Tag::kDt) {
      Block();
      return;
    }
    if (tag == Tag::kTr) {
      LineBreak();
      return;
    }
    if (!KeepsOpen(tag)) return;
    // The nearest open element of the tag closes, with every element opened inside it.
    for (size_t i = open_.size(); i-- > 0;) {
      const OpenElement& e = open_[i];
      if (e.tag != tag || (tag == Tag::kH && e.heading != heading && heading != 0)) continue;
      style_ = e.style;
      lists_.resize(e.lists);
      quotes_ = e.quotes;
      open_.resize(i);
      if (IsBlock(tag)) Block();
      return;
    }
  }

  void Meta() {
    if (doc_.refresh || !SameText(Attr("http-equiv"), "refresh")) return;
    std::string content = DecodeEntities(Attr("content"));
    HtmlMetaRefresh r;
    size_t i = 0;
    while (i < content.size() && IsSpace(content[i])) ++i;
    int64_t delay = 0;
    while (i < content.size() && content[i] >= '0' && content[i] <= '9') {
      if (delay < 86400) delay = delay * 10 + (content[i] - '0');
      ++i;
    }
    r.delay_seconds = std::min<int64_t>(delay, 86400);
    size_t url = platform::FindText(content, "url", i);
    if (url != std::string::npos) {
      size_t eq = content.find('=', url);
      if (eq != std::string::npos) {
        std::string_view v = std::string_view(content).substr(eq + 1);
        while (!v.empty() && IsSpace(v.front())) v.remove_prefix(1);
        while (!v.empty() && IsSpace(v.back())) v.remove_suffix(1);
        if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front()) {
          v = v.substr(1, v.size() - 2);
        }
        r.url = std::string(v);
      }
    }
    doc_.refresh = std::move(r);
  }

  void Image() {
    HtmlImage image;
    image.source = DecodeEntities(Attr("src"));
    image.alt = DecodeEntities(Attr("alt"));
    image.width = std::clamp(platform::ParseDecimal32(Attr("width")).value_or(0), 0, 4096);
    image.height = std::clamp(platform::ParseDecimal32(Attr("height")).value_or(0), 0, 4096);
    image.link = style_.link;
    Add(HtmlItem::kImage).image = static_cast<int>(doc_.images.size());
    doc_.images.push_back(std::move(image));
  }

  void ListItem() {
    Block();
    std::string marker = "\x95";  // a bullet
    if (!lists_.empty() && lists_.back().ordered) {
      marker = std::to_string(lists_.back().next++) + ".";
    }
    HtmlItem& item = Add(HtmlItem::kListItem, marker);
    item.depth = std::max<int16_t>(1, item.depth);
  }

  // --- text
  void Text(std::string_view raw) {
    if (raw.empty()) return;
    std::string decoded;
    std::string_view text = raw;
    if (raw.find('&') != std::string_view::npos) {
      decoded = DecodeEntities(raw);
      text = decoded;
    }
    if (style_.preformatted) {
      Preformatted(text);
      return;
    }
    size_t i = 0;
    while (i < text.size()) {
      if (IsSpace(text[i])) {
        while (i < text.size() && IsSpace(text[i])) ++i;
        Space();
        continue;
      }
      size_t start = i;
      while (i < text.size() && !IsSpace(text[i])) ++i;
      Word(text.substr(start, i - start));
    }
  }

  void Preformatted(std::string_view text) {
    std::string line;
    for (char c : text) {
      if (c == '\r') continue;
      if (c == '\n') {
        if (!line.empty()) Word(line);
        line.clear();
        Push(HtmlItem::kLineBreak);
        continue;
      }
      if (c == '\t') {
        line.append(8 - line.size() % 8, ' ');
        continue;
      }
      line.push_back(c);
    }
    if (!line.empty()) Word(line);
  }

  // A new item in the current style and indentation, with its text appended to the document's.
  HtmlItem& Add(HtmlItem::Kind kind, std::string_view text = {}) {
    HtmlItem item;
    item.kind = kind;
    item.style = style_;
    item.text_at = static_cast<uint32_t>(doc_.text.size());
    item.text_size = static_cast<uint32_t>(text.size());
    item.depth = static_cast<int16_t>(Indent());
    if (kind == HtmlItem::kText || kind == HtmlItem::kImage) {
      item.space_before = space_;
      space_ = false;
    }
    doc_.text.append(text);
    doc_.items.push_back(item);
    return doc_.items.back();
  }

  void Word(std::string_view word) {
    // Words of the same style that a tag split ("un<b>der</b>line") stay one word: the last
    // item's text is the last one in the document's, so it grows in place.
    if (!doc_.items.empty() && doc_.items.back().kind == HtmlItem::kText && !style_.preformatted &&
        glued_) {
      HtmlItem& last = doc_.items.back();
      if (last.style == style_ && last.text_at + last.text_size == doc_.text.size()) {
        doc_.text.append(word);
        last.text_size += static_cast<uint32_t>(word.size());
        return;
      }
    }
    Add(HtmlItem::kText, word);
    glued_ = true;
  }

  // White space: the next word or picture stands after a blank, unless nothing stands on the
  // line before it.
  void Space() {
    glued_ = false;
    if (doc_.items.empty()) return;
    const HtmlItem::Kind last = doc_.items.back().kind;
    if (last == HtmlItem::kText || last == HtmlItem::kImage) space_ = true;
  }

  void Push(HtmlItem::Kind kind) {
    glued_ = false;
    space_ = false;
    Add(kind);
  }

  void LineBreak() {
    if (!doc_.items.empty() && doc_.items.back().kind != HtmlItem::kBlock) {
      Push(HtmlItem::kLineBreak);
    }
  }

  void Block() {
    glued_ = false;
    space_ = false;  // a blank before a break shows nothing
    if (doc_.items.empty() || doc_.items.back().kind == HtmlItem::kBlock) return;
    Push(HtmlItem::kBlock);
  }

  int Indent() const {
    return std::min<int>(static_cast<int>(lists_.size()) + quotes_, kMaxListDepth);
  }

  static std::string CollapseSpaces(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (IsSpace(c)) {
        if (!out.empty() && out.back() != ' ') out.push_back(' ');
      } else {
        out.push_back(c);
      }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }

  struct OpenElement {
    Tag tag;
    uint8_t heading;
    HtmlStyle style;  // the style before the element opened
    size_t lists;
    int quotes;
  };
  struct List {
    bool ordered;
    int next;
  };

  std::string_view p_;
  size_t at_ = 0;
  HtmlDocument doc_;
  HtmlStyle style_;
  std::vector<OpenElement> open_;
  std::vector<List> lists_;
  int quotes_ = 0;
  bool glued_ = false;
  bool space_ = false;  // white space since the last word or picture
  std::vector<Attribute> attributes_;
};

}  // namespace

std::string DecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      char c = 0;
      if (size_t n = ReadEntity(text, i, &c)) {
        out.push_back(c);
        i += n - 1;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

HtmlDocument ParseHtml(std::string_view page) { return Reader(page).Read(); }

std::string HtmlPlainText(const HtmlDocument& document) {
  std::string out;
  auto line_break = [&] {
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += "\r\n";
  };
  for (const HtmlItem& item : document.items) {
    switch (item.kind) {
      case HtmlItem::kText:
        if (item.space_before) out += ' ';
        out += document.TextOf(item);
        break;
      case HtmlItem::kLineBreak:
        line_break();
        break;
      case HtmlItem::kBlock:
        if (!out.empty()) line_break();
        break;
      case HtmlItem::kListItem:
        out += document.TextOf(item);
        out += ' ';
        break;
      case HtmlItem::kImage: {
        if (item.space_before) out += ' ';
        const HtmlImage& image = document.images[static_cast<size_t>(item.image)];
        out += image.alt.empty() ? "[image]" : "[" + image.alt + "]";
        break;
      }
      case HtmlItem::kRule:
        out += "----";
        break;
      case HtmlItem::kAnchor:
        break;
    }
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
    out.pop_back();
  }
  return out;
}

}  // namespace corvane::ui
