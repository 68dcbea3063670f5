// The layout of an HTML page for the viewer: the page's items placed into lines of a given width,
// as boxes with their positions, fonts, links and images. Shared by both renderers and measured
// natively; only painting the boxes belongs to a renderer.
//
// Fonts are measured once each through an HtmlMeasurer (a screen's text metrics, or fixed widths
// for the headless renderer and the tests): the widths of the 256 characters of the code page,
// the ascent and the descent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/html_document.h"

namespace corvane::ui {

struct HtmlFont {
  int size = 12;  // character height in pixels
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool fixed_pitch = false;  // preformatted text
  bool operator==(const HtmlFont& o) const = default;
};

struct HtmlFontMetrics {
  int ascent = 0;
  int descent = 0;
  std::array<uint16_t, 256> widths{};
};

class HtmlMeasurer {
 public:
  virtual ~HtmlMeasurer() = default;
  virtual HtmlFontMetrics Measure(const HtmlFont& font) = 0;
  // The size of a picture of the page (its src, as written); {0, 0} when it cannot be shown.
  virtual std::pair<int, int> ImageSize(const std::string& source) {
    (void)source;
    return {0, 0};
  }
};

// Every character as wide as a fixed share of the font's size (bold a little wider): what a
// screen without fonts measures.
class FixedMeasurer : public HtmlMeasurer {
 public:
  HtmlFontMetrics Measure(const HtmlFont& font) override;
};

struct HtmlBox {
  enum Kind : uint8_t { kText, kMarker, kImage, kRule } kind = kText;
  int x = 0, y = 0, width = 0, height = 0;  // y is the top
  int baseline = 0;
  int line_top = 0, line_bottom = 0;  // the line the box stands in
  int item = -1;                      // the document item it shows (its text, its image)
  int link = -1;                      // the document link it belongs to
  int font = -1;                      // index into HtmlLayout::fonts
};

struct HtmlLayout {
  std::vector<HtmlBox> boxes;  // in reading order: their tops never decrease
  std::vector<HtmlFont> fonts;
  std::vector<std::pair<std::string, int>> anchors;  // name, top
  int width = 0;
  int height = 0;

  // The link under a point of the page, -1 when there is none.
  int LinkAt(int x, int y) const;
  // The first box that reaches below `top` (for painting from a scroll position).
  size_t FirstBoxBelow(int top) const;
  // The top of a named place, or -1.
  int AnchorTop(const std::string& name) const;
};

struct HtmlLayoutOptions {
  int width = 400;     // the width to fill, in pixels
  int font_size = 12;  // the body text's character height in pixels
  int margin = 6;
  int indent = 24;  // per list or quote level
};

HtmlLayout LayoutHtml(const HtmlDocument& document, HtmlMeasurer& measurer,
                      const HtmlLayoutOptions& options);

// The body text size of a viewer: DefFontSize points on a 96 dot-per-inch screen.
int HtmlFontPixels(int points);

}  // namespace corvane::ui
