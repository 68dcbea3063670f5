// The HTML pages of the viewer control: a small reader that turns a page into a flat run of
// layout items (text with its style, line and paragraph breaks, list items, images, rules), the
// page's title and its meta refresh.
//
// What it understands: paragraphs and divisions, line breaks, headings h1 to h6, bold (b,
// strong), italic (i, em), underline (u), links (a href, a name), lists (ul, ol, li), images
// (img src, width, height, alt), horizontal rules, preformatted text (pre), block quotes, table
// rows and cells (a row is a line, a cell a gap), the title and <meta http-equiv="refresh">.
// Every other tag is skipped with its attributes; the contents of script and style elements are
// skipped whole. Entities are decoded into the engine's code page (1252).
//
// Hostile pages: the reader is linear in the page, keeps at most kMaxOpenElements open elements
// (deeper opening tags are skipped as unknown ones are) and at most kMaxListDepth list levels,
// so no nesting can grow its stack or its memory beyond the page's own size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::ui {

inline constexpr int kMaxOpenElements = 256;
inline constexpr int kMaxListDepth = 16;

// The style of a piece of text.
struct HtmlStyle {
  uint8_t heading = 0;  // 1..6, 0 for body text
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool preformatted = false;
  int link = -1;  // index into HtmlDocument::links, -1 when the text is no link
  bool operator==(const HtmlStyle& o) const = default;
};

// The items hold no text of their own: a text item names its piece of the document's text, so
// that reading a large page allocates once for all its words.
struct HtmlItem {
  enum Kind : uint8_t {
    kText,       // a word, or a run of preformatted text without line breaks
    kLineBreak,  // <br>, a line of preformatted text ending, a table row ending
    kBlock,      // a block ends or starts: the next item starts a new line after a gap
    kListItem,   // a list item starts: its marker (text) at the list's depth
    kImage,      // an image (index into HtmlDocument::images)
    kRule,       // a horizontal rule
    kAnchor,     // a named place of the page (text: the name)
  } kind;
  // A word or picture after white space (collapsed to one blank); words without it touch the
  // item before them and break with it as one.
  bool space_before = false;
  int16_t depth = 0;  // list depth (kListItem; and the indentation of every item)
  HtmlStyle style;
  uint32_t text_at = 0;    // the item's text: HtmlDocument::text from text_at, text_size long
  uint32_t text_size = 0;  // (a word, a list marker, an anchor's name)
  int image = -1;
};

struct HtmlImage {
  std::string source;  // the src attribute, entity-decoded
  std::string alt;
  int width = 0;  // from the attributes; 0 when not given
  int height = 0;
  int link = -1;
};

struct HtmlMetaRefresh {
  int64_t delay_seconds = 0;
  std::string url;
};

struct HtmlDocument {
  std::string title;
  std::optional<HtmlMetaRefresh> refresh;
  std::vector<HtmlItem> items;
  std::string text;                // the texts of the items, one after the other
  std::vector<std::string> links;  // the href of each link, entity-decoded
  std::vector<HtmlImage> images;

  std::string_view TextOf(const HtmlItem& item) const {
    return std::string_view(text).substr(item.text_at, item.text_size);
  }
};

HtmlDocument ParseHtml(std::string_view page);

// Decodes the entities of a text (&amp; &#233; &#xE9; ...) into code page 1252; an unknown or
// malformed entity stays as written.
std::string DecodeEntities(std::string_view text);

// The page's text without markup: words separated by single blanks, line and paragraph breaks
// as CR LF, list items opened by their markers.
std::string HtmlPlainText(const HtmlDocument& document);

}  // namespace corvane::ui
