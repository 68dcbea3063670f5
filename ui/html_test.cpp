#include <gtest/gtest.h>

#include "ui/html_document.h"
#include "ui/html_layout.h"

namespace corvane::ui {
namespace {

std::vector<std::string> Words(const HtmlDocument& d) {
  std::vector<std::string> out;
  for (const HtmlItem& i : d.items) {
    if (i.kind == HtmlItem::kText) out.emplace_back(d.TextOf(i));
  }
  return out;
}

const HtmlItem* FindText(const HtmlDocument& d, const std::string& text) {
  for (const HtmlItem& i : d.items) {
    if (i.kind == HtmlItem::kText && d.TextOf(i) == text) return &i;
  }
  return nullptr;
}

TEST(HtmlDocument, StylesLinksListsAndImages) {
  HtmlDocument d = ParseHtml(
      "<html><head><title> Read  me &amp; more </title>"
      "<meta http-equiv=\"Refresh\" content=\"5; URL='next.htm'\"></head>"
      "<body><h1>Welcome</h1><p>Plain <b>bold <i>both</i></b> <I>italic</I><br>"
      "<a href=\"setup.exe /q\">Run</a> &lt;x&gt;&nbsp;&eacute;&#233;&#xE9;&bogus;</p>"
      "<ul><li>one<li>two</ul><ol start=3><li>three</li></ol>"
      "<img src=\"pic.png\" width=40 height=20 alt=\"A picture\"></body></html>");
  EXPECT_EQ(d.title, "Read me & more");
  ASSERT_TRUE(d.refresh.has_value());
  EXPECT_EQ(d.refresh->delay_seconds, 5);
  EXPECT_EQ(d.refresh->url, "next.htm");

  const HtmlItem* welcome = FindText(d, "Welcome");
  ASSERT_TRUE(welcome);
  EXPECT_EQ(welcome->style.heading, 1);
  EXPECT_TRUE(welcome->style.bold);
  EXPECT_FALSE(FindText(d, "Plain")->style.bold);
  EXPECT_TRUE(FindText(d, "bold")->style.bold);
  EXPECT_TRUE(FindText(d, "both")->style.bold);
  EXPECT_TRUE(FindText(d, "both")->style.italic);
  EXPECT_FALSE(FindText(d, "italic")->style.bold);
  EXPECT_TRUE(FindText(d, "italic")->style.italic);
  ASSERT_EQ(d.links, (std::vector<std::string>{"setup.exe /q"}));
  EXPECT_EQ(FindText(d, "Run")->style.link, 0);
  EXPECT_TRUE(FindText(d, "Run")->style.underline);
  EXPECT_TRUE(FindText(d, "<x>\xA0\xE9\xE9\xE9&bogus;")) << "entities decoded, unknown kept";

  std::vector<std::string> markers;
  for (const HtmlItem& i : d.items) {
    if (i.kind == HtmlItem::kListItem) markers.emplace_back(d.TextOf(i));
  }
  EXPECT_EQ(markers, (std::vector<std::string>{"\x95", "\x95", "3."}));
  EXPECT_EQ(FindText(d, "two")->depth, 1);
  ASSERT_EQ(d.images.size(), 1u);
  EXPECT_EQ(d.images[0].source, "pic.png");
  EXPECT_EQ(d.images[0].width, 40);
  EXPECT_EQ(d.images[0].alt, "A picture");

  EXPECT_EQ(HtmlPlainText(d),
            "Welcome\r\nPlain bold both italic\r\nRun <x>\xA0\xE9\xE9\xE9&bogus;\r\n"
            "\x95 one\r\n\x95 two\r\n3. three\r\n[A picture]");
}

TEST(HtmlDocument, SkipsWhatItDoesNotShow) {
  HtmlDocument d = ParseHtml(
      "<!DOCTYPE html><!-- a <b>comment</b> --><script>if (a < b) document.write('x')</script>"
      "<style>p { color: red }</style><blink attr=\"1 > 0\">kept</blink> a < b "
      "<SPAN CLASS=x>text</SPAN>un<b>der</b>line");
  // Text that markup splits without a space stays one word (its pieces keep their styles).
  EXPECT_EQ(Words(d), (std::vector<std::string>{"kept", "a", "<", "b", "textun", "der", "line"}));
  EXPECT_EQ(HtmlPlainText(d), "kept a < b textunderline");
  // A tag that never ends ends the page; an entity without its ';' stays as written.
  EXPECT_EQ(HtmlPlainText(ParseHtml("before <b class=\"x")), "before");
  EXPECT_EQ(DecodeEntities("&amp &#65 &#x41; &#0; &#1114112;"), "&amp &#65 A ? ?");
}

// Ten thousand open tags of every kind: the open elements and the list levels stay bounded,
// the words are all there, and closing tags that close nothing change nothing.
TEST(HtmlDocument, DeepNestingIsBounded) {
  std::string page;
  for (int i = 0; i < 10000; ++i) page += "<ul><b><blockquote><a href=\"x\"><i>";
  page += "deep";
  for (int i = 0; i < 10000; ++i) page += "</i></a></blockquote></b></ul>";
  page += " after</i></b></ul>";
  HtmlDocument d = ParseHtml(page);
  const HtmlItem* deep = FindText(d, "deep");
  ASSERT_TRUE(deep);
  EXPECT_LE(deep->depth, kMaxListDepth);
  EXPECT_TRUE(deep->style.bold);
  // Links are kept for the elements that were opened, not for every tag.
  EXPECT_LE(d.links.size(), static_cast<size_t>(kMaxOpenElements));
  const HtmlItem* after = FindText(d, "after");
  ASSERT_TRUE(after);
  EXPECT_FALSE(after->style.bold);
  EXPECT_EQ(after->depth, 0);
  EXPECT_EQ(after->style.link, -1);
  EXPECT_LT(d.items.size(), 100u);

  FixedMeasurer m;
  HtmlLayout layout = LayoutHtml(d, m, {300, 12, 6, 24});
  EXPECT_LE(layout.width, 300 + 6 + 24 * kMaxListDepth);
}

TEST(HtmlLayout, WrapsWordsIntoLinesAndFindsLinks) {
  FixedMeasurer m;  // 12 px text: characters 6 px wide, bold 7
  HtmlDocument d = ParseHtml("aaaa bbbb cccc <a href=\"go.htm\">dddd</a> eeee");
  // 6 px margins: 60 px of line hold two words of 24 px with a space of 6.
  HtmlLayout l = LayoutHtml(d, m, {72, 12, 6, 24});
  ASSERT_EQ(l.boxes.size(), 5u);
  EXPECT_EQ(l.boxes[0].x, 6);
  EXPECT_EQ(l.boxes[1].x, 36);
  EXPECT_EQ(l.boxes[1].y, l.boxes[0].y);
  EXPECT_EQ(l.boxes[2].x, 6);
  EXPECT_GT(l.boxes[2].y, l.boxes[0].y);
  EXPECT_EQ(l.boxes[3].link, 0);
  EXPECT_EQ(l.boxes[3].y, l.boxes[2].y);
  EXPECT_EQ(l.LinkAt(l.boxes[3].x + 2, l.boxes[3].y + 2), 0);
  EXPECT_EQ(l.LinkAt(l.boxes[2].x + 2, l.boxes[2].y + 2), -1);
  EXPECT_EQ(l.LinkAt(l.boxes[3].x + 2, l.height + 50), -1);
  EXPECT_EQ(l.FirstBoxBelow(l.boxes[2].y + 1), 2u);
  EXPECT_GE(l.height, l.boxes[4].y + l.boxes[4].height);

  // A word longer than the line stands on a line of its own.
  HtmlLayout wide = LayoutHtml(ParseHtml("a bbbbbbbbbbbbbbbbbbbb c"), m, {72, 12, 6, 24});
  ASSERT_EQ(wide.boxes.size(), 3u);
  EXPECT_NE(wide.boxes[0].y, wide.boxes[1].y);
  EXPECT_NE(wide.boxes[1].y, wide.boxes[2].y);
  // Words glued by markup break together.
  HtmlLayout glued = LayoutHtml(ParseHtml("aaaaaa bb<b>cc</b>"), m, {72, 12, 6, 24});
  ASSERT_EQ(glued.boxes.size(), 3u);
  EXPECT_EQ(glued.boxes[1].y, glued.boxes[2].y);
  EXPECT_EQ(glued.boxes[2].x, glued.boxes[1].x + glued.boxes[1].width);
}

TEST(HtmlLayout, HeadingsListsImagesAndRules) {
  FixedMeasurer m;
  class Sized : public FixedMeasurer {
   public:
    std::pair<int, int> ImageSize(const std::string& source) override {
      return source == "logo.png" ? std::make_pair(64, 32) : std::make_pair(0, 0);
    }
  } sized;
  HtmlDocument d = ParseHtml(
      "<h1>Title</h1><p>text</p><ul><li>item</li></ul><hr>"
      "<img src=\"logo.png\" height=16><img src=\"missing.png\">");
  HtmlLayout l = LayoutHtml(d, sized, {400, 12, 6, 24});
  ASSERT_EQ(l.boxes.size(), 7u);
  const HtmlBox& title = l.boxes[0];
  const HtmlBox& text = l.boxes[1];
  EXPECT_EQ(l.fonts[static_cast<size_t>(title.font)].size, 24);
  EXPECT_TRUE(l.fonts[static_cast<size_t>(title.font)].bold);
  EXPECT_GT(text.y, title.y + title.height) << "a gap between the blocks";
  const HtmlBox& marker = l.boxes[2];
  const HtmlBox& item = l.boxes[3];
  EXPECT_EQ(marker.kind, HtmlBox::kMarker);
  EXPECT_EQ(item.x, 6 + 24);
  EXPECT_LT(marker.x + marker.width, item.x);
  EXPECT_EQ(marker.baseline, item.baseline);
  EXPECT_EQ(l.boxes[4].kind, HtmlBox::kRule);
  const HtmlBox& logo = l.boxes[5];
  EXPECT_EQ(logo.kind, HtmlBox::kImage);
  EXPECT_EQ(logo.width, 32);  // one side given: the picture keeps its shape
  EXPECT_EQ(logo.height, 16);
  EXPECT_EQ(l.boxes[6].width, 16);  // a picture that cannot be shown keeps a small place
  (void)m;
}

}  // namespace
}  // namespace corvane::ui
