#include "ui/html_layout.h"

#include <algorithm>

namespace corvane::ui {

namespace {

// Heading sizes, as a share of the body text in hundredths: h1 to h6.
constexpr int kHeadingScale[7] = {100, 200, 150, 117, 100, 83, 67};

class Layouter {
 public:
  Layouter(const HtmlDocument& d, HtmlMeasurer& m, const HtmlLayoutOptions& o)
      : doc_(d), measurer_(m), opt_(o) {
    right_ = std::max(opt_.margin + 1, opt_.width - opt_.margin);
    y_ = opt_.margin;
    line_left_ = x_ = opt_.margin;
  }

  HtmlLayout Run() {
    const auto& items = doc_.items;
    // At most one box per item (a rule, a marker, a word, a picture): the list never moves.
    layout_.boxes.reserve(items.size());
    for (size_t i = 0; i < items.size();) {
      const HtmlItem& item = items[i];
      switch (item.kind) {
        case HtmlItem::kText: {
          // Words that touch (no space between them) break as one.
          size_t j = i;
          int width = 0;
          while (j < items.size() && items[j].kind == HtmlItem::kText &&
                 (j == i || !items[j].space_before)) {
            width += TextWidth(items[j]);
            ++j;
          }
          SpaceBefore(item);
          Fit(width, item.depth);
          for (size_t k = i; k < j; ++k) PlaceText(static_cast<int>(k));
          i = j;
          continue;
        }
        case HtmlItem::kLineBreak:
          EndLine(true, FontOf(item.style));
          break;
        case HtmlItem::kBlock:
          EndLine(false, FontOf(item.style));
          if (y_ > opt_.margin && !gap_done_) {
            y_ += Metrics(FontOf(HtmlStyle())).ascent * 2 / 3;
            gap_done_ = true;
          }
          break;
        case HtmlItem::kListItem:
          EndLine(false, FontOf(item.style));
          Marker(static_cast<int>(i));
          break;
        case HtmlItem::kImage:
          Image(static_cast<int>(i));
          break;
        case HtmlItem::kRule: {
          EndLine(false, FontOf(item.style));
          HtmlBox b;
          b.kind = HtmlBox::kRule;
          b.x = opt_.margin;
          b.y = y_ + 4;
          b.width = right_ - opt_.margin;
          b.height = 2;
          b.baseline = b.y + 2;
          b.line_top = y_;
          b.line_bottom = y_ + 10;
          b.item = static_cast<int>(i);
          layout_.boxes.push_back(b);
          line_start_ = layout_.boxes.size();
          y_ += 10;
          break;
        }
        case HtmlItem::kAnchor:
          layout_.anchors.emplace_back(std::string(doc_.TextOf(item)), y_);
          break;
      }
      ++i;
    }
    EndLine(false, HtmlFont{opt_.font_size});
    layout_.height = y_ + opt_.margin;
    layout_.width = std::max(layout_.width + opt_.margin, opt_.width);
    return std::move(layout_);
  }

 private:
  HtmlFont FontOf(const HtmlStyle& s) const {
    HtmlFont f;
    f.size = std::max(1, opt_.font_size * kHeadingScale[s.heading <= 6 ? s.heading : 0] / 100);
    f.bold = s.bold;
    f.italic = s.italic;
    f.underline = s.underline;
    f.fixed_pitch = s.preformatted;
    return f;
  }

  int FontIndex(const HtmlFont& f) {
    for (size_t i = 0; i < layout_.fonts.size(); ++i) {
      if (layout_.fonts[i] == f) return static_cast<int>(i);
    }
    layout_.fonts.push_back(f);
    metrics_.push_back(measurer_.Measure(f));
    return static_cast<int>(layout_.fonts.size() - 1);
  }
  const HtmlFontMetrics& Metrics(const HtmlFont& f) { return metrics_[FontIndex(f)]; }

  // A blank before a word or picture takes room only after something on the same line.
  void SpaceBefore(const HtmlItem& item) {
    pending_space_ = 0;
    if (item.space_before && line_start_ < layout_.boxes.size()) {
      pending_space_ = Metrics(FontOf(item.style)).widths[' '];
    }
  }

  int TextWidth(const HtmlItem& item) {
    const HtmlFontMetrics& m = Metrics(FontOf(item.style));
    int w = 0;
    for (unsigned char c : doc_.TextOf(item)) w += m.widths[c];
    return w;
  }

  int IndentOf(int depth) const {
    return std::min(opt_.margin + depth * opt_.indent, std::max(opt_.margin, right_ - 40));
  }

  // Makes room for a run of `width` pixels: a new line when it does not fit on this one.
  void Fit(int width, int depth) {
    if (line_start_ == layout_.boxes.size()) {
      // A line that has nothing yet starts at the indentation of what comes first.
      if (!in_list_line_) line_left_ = x_ = IndentOf(depth);
      pending_space_ = 0;
      return;
    }
    if (x_ + pending_space_ + width > right_) {
      EndLine(false, HtmlFont{opt_.font_size});
      line_left_ = x_ = IndentOf(depth);
    } else {
      x_ += pending_space_;
    }
    pending_space_ = 0;
  }

  void PlaceText(int index) {
    const HtmlItem& item = doc_.items[static_cast<size_t>(index)];
    HtmlBox b;
    b.kind = HtmlBox::kText;
    b.font = FontIndex(FontOf(item.style));
    b.x = x_;
    b.width = TextWidth(item);
    b.item = index;
    b.link = item.style.link;
    layout_.boxes.push_back(b);
    x_ += b.width;
    gap_done_ = false;
  }

  void Marker(int index) {
    const HtmlItem& item = doc_.items[static_cast<size_t>(index)];
    const int left = IndentOf(item.depth);
    HtmlBox b;
    b.kind = HtmlBox::kMarker;
    b.font = FontIndex(FontOf(HtmlStyle()));
    HtmlItem plain = item;
    plain.style = HtmlStyle();
    b.width = TextWidth(plain);
    b.x = std::max(0, left - b.width - 6);
    b.item = index;
    layout_.boxes.push_back(b);
    line_left_ = x_ = left;
    in_list_line_ = true;
    pending_space_ = 0;
    gap_done_ = false;
  }

  void Image(int index) {
    const HtmlItem& item = doc_.items[static_cast<size_t>(index)];
    const HtmlImage& image = doc_.images[static_cast<size_t>(item.image)];
    int w = image.width, h = image.height;
    if (w == 0 || h == 0) {
      auto [nw, nh] = measurer_.ImageSize(image.source);
      if (nw > 0 && nh > 0) {
        // One side given keeps the picture's shape.
        if (w == 0 && h == 0) {
          w = nw, h = nh;
        } else if (w == 0) {
          w = static_cast<int>(int64_t{nw} * h / nh);
        } else {
          h = static_cast<int>(int64_t{nh} * w / nw);
        }
      }
    }
    if (w <= 0 || h <= 0) w = h = 16;  // a picture that cannot be shown keeps a small place
    w = std::min(w, 4096);
    h = std::min(h, 4096);
    SpaceBefore(item);
    Fit(w, item.depth);
    HtmlBox b;
    b.kind = HtmlBox::kImage;
    b.x = x_;
    b.width = w;
    b.height = h;
    b.item = index;
    b.link = image.link;
    layout_.boxes.push_back(b);
    x_ += w;
    gap_done_ = false;
  }

  // Ends the line: every box of it gets its vertical place on a common baseline. An empty line
  // takes a line's height only when `keep_empty` (a line break on its own).
  void EndLine(bool keep_empty, const HtmlFont& font) {
    const size_t first = line_start_;
    const size_t end = layout_.boxes.size();
    if (first == end) {
      if (keep_empty) {
        const HtmlFontMetrics& m = Metrics(font);
        y_ += m.ascent + m.descent;
      }
      in_list_line_ = false;
      pending_space_ = 0;
      return;
    }
    int ascent = 0, descent = 0;
    for (size_t i = first; i < end; ++i) {
      const HtmlBox& b = layout_.boxes[i];
      if (b.kind == HtmlBox::kImage) {
        ascent = std::max(ascent, b.height);
      } else {
        const HtmlFontMetrics& m = metrics_[static_cast<size_t>(b.font)];
        ascent = std::max(ascent, m.ascent);
        descent = std::max(descent, m.descent);
      }
    }
    const int baseline = y_ + ascent;
    for (size_t i = first; i < end; ++i) {
      HtmlBox& b = layout_.boxes[i];
      b.baseline = baseline;
      b.line_top = y_;
      b.line_bottom = baseline + descent;
      if (b.kind == HtmlBox::kImage) {
        b.y = baseline - b.height;
      } else {
        const HtmlFontMetrics& m = metrics_[static_cast<size_t>(b.font)];
        b.y = baseline - m.ascent;
        b.height = m.ascent + m.descent;
      }
      layout_.width = std::max(layout_.width, b.x + b.width);
    }
    y_ = baseline + descent;
    line_start_ = end;
    in_list_line_ = false;
    pending_space_ = 0;
  }

  const HtmlDocument& doc_;
  HtmlMeasurer& measurer_;
  HtmlLayoutOptions opt_;
  HtmlLayout layout_;
  std::vector<HtmlFontMetrics> metrics_;
  int right_ = 0;
  int x_ = 0, y_ = 0, line_left_ = 0;
  int pending_space_ = 0;
  size_t line_start_ = 0;
  bool in_list_line_ = false;
  bool gap_done_ = true;
};

}  // namespace

HtmlFontMetrics FixedMeasurer::Measure(const HtmlFont& font) {
  HtmlFontMetrics m;
  m.ascent = (font.size * 4 + 2) / 5;
  m.descent = std::max(1, font.size - m.ascent);
  const int w = std::max(1, (font.size * (font.bold ? 6 : 5) + 5) / 10);
  m.widths.fill(static_cast<uint16_t>(w));
  for (int c = 0; c < 32; ++c) m.widths[c] = 0;
  return m;
}

HtmlLayout LayoutHtml(const HtmlDocument& document, HtmlMeasurer& measurer,
                      const HtmlLayoutOptions& options) {
  return Layouter(document, measurer, options).Run();
}

int HtmlFontPixels(int points) { return std::max(1, (points * 96 + 36) / 72); }

int HtmlLayout::LinkAt(int x, int y) const {
  for (size_t i = FirstBoxBelow(y); i < boxes.size() && boxes[i].line_top <= y; ++i) {
    const HtmlBox& b = boxes[i];
    if (b.link >= 0 && x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) {
      return b.link;
    }
  }
  return -1;
}

size_t HtmlLayout::FirstBoxBelow(int top) const {
  // The lines are in order and every box of a line has the line's bottom: a bisection on the
  // bottoms finds the first line that reaches below `top`.
  size_t lo = 0, hi = boxes.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (boxes[mid].line_bottom <= top) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

int HtmlLayout::AnchorTop(const std::string& name) const {
  for (const auto& [n, top] : anchors) {
    if (n == name) return top;
  }
  return -1;
}

}  // namespace corvane::ui
