// Fuzzes the page reader and the layout of the HTML viewer: whatever a page holds, the reader
// stays within its limits and the layout's boxes stay in reading order, inside the document's
// items, links and pictures.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "ui/html_document.h"
#include "ui/html_layout.h"

using namespace corvane::ui;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view page(reinterpret_cast<const char*>(data), size);
  HtmlDocument doc = ParseHtml(page);
  for (const HtmlItem& item : doc.items) {
    if (item.depth < 0 || item.depth > kMaxListDepth) __builtin_trap();
    if (item.style.link >= static_cast<int>(doc.links.size())) __builtin_trap();
    if (size_t{item.text_at} + item.text_size > doc.text.size()) __builtin_trap();
    if (item.kind == HtmlItem::kImage &&
        (item.image < 0 || item.image >= static_cast<int>(doc.images.size()))) {
      __builtin_trap();
    }
  }
  // Every link belongs to an opened element, and no more are opened than the reader keeps.
  if (doc.items.size() > size + 1) __builtin_trap();
  FixedMeasurer measurer;
  HtmlLayout layout = LayoutHtml(doc, measurer, {200, 12, 6, 24});
  int last_bottom = 0;
  for (const HtmlBox& b : layout.boxes) {
    if (b.item < 0 || b.item >= static_cast<int>(doc.items.size())) __builtin_trap();
    if (b.line_bottom < last_bottom || b.line_top > b.line_bottom) __builtin_trap();
    if (b.link >= static_cast<int>(doc.links.size())) __builtin_trap();
    last_bottom = b.line_bottom;
  }
  if (layout.height < last_bottom) __builtin_trap();
  (void)layout.LinkAt(10, 10);
  (void)HtmlPlainText(doc);
  return 0;
}
