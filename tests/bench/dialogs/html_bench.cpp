// The HTML viewer's page of 200 KB: reading it (markup, entities, styles) and laying it out into
// lines (target: under 10 ms for both, Release build). The page mixes what readme and licence
// pages hold: headings, paragraphs with bold, italic and links, lists, entities.
#include <benchmark/benchmark.h>

#include <string>

#include "ui/html_document.h"
#include "ui/html_layout.h"

namespace {

using namespace corvane::ui;

std::string Page(size_t bytes) {
  std::string page = "<html><head><title>Licence</title></head><body>";
  const char* words[] = {"licence",  "software", "the",          "agreement", "of",  "copies",
                         "warranty", "use",      "installation", "terms",     "and", "rights"};
  int n = 0;
  while (page.size() < bytes) {
    page += "<h2>Section " + std::to_string(++n) + "</h2><p>";
    for (int w = 0; w < 120; ++w) {
      if (w % 17 == 5) page += "<b>";
      if (w % 29 == 3) page += "<a href=\"page" + std::to_string(w) + ".htm\">";
      page += words[(n * 7 + w) % 12];
      if (w % 29 == 3) page += "</a>";
      if (w % 17 == 5) page += "</b>";
      page += w % 23 == 0 ? " &amp; " : " ";
    }
    page += "</p><ul><li>First <i>point</i></li><li>Second point &ndash; with more</li></ul>";
  }
  return page + "</body></html>";
}

// Widths like a proportional font's: a table with a different width per character.
class ProportionalMeasurer : public HtmlMeasurer {
 public:
  HtmlFontMetrics Measure(const HtmlFont& font) override {
    HtmlFontMetrics m;
    m.ascent = font.size * 4 / 5;
    m.descent = font.size - m.ascent;
    for (int c = 0; c < 256; ++c) m.widths[c] = static_cast<uint16_t>(3 + (c * 7) % 6);
    return m;
  }
};

const std::string& Page200K() {
  static const std::string page = Page(200 * 1024);
  return page;
}

void BM_ReadAndLayOut200KPage(benchmark::State& state) {
  const std::string& page = Page200K();
  ProportionalMeasurer measurer;
  size_t boxes = 0;
  for (auto _ : state) {
    HtmlDocument doc = ParseHtml(page);
    HtmlLayout layout = LayoutHtml(doc, measurer, {460, 12, 6, 24});
    boxes = layout.boxes.size();
    benchmark::DoNotOptimize(layout.height);
  }
  state.counters["page_kb"] = static_cast<double>(page.size()) / 1024;
  state.counters["boxes"] = static_cast<double>(boxes);
}
BENCHMARK(BM_ReadAndLayOut200KPage)->Unit(benchmark::kMillisecond);

void BM_LayOut200KPage(benchmark::State& state) {
  const HtmlDocument doc = ParseHtml(Page200K());
  ProportionalMeasurer measurer;
  for (auto _ : state) {
    HtmlLayout layout = LayoutHtml(doc, measurer, {460, 12, 6, 24});
    benchmark::DoNotOptimize(layout.height);
  }
}
BENCHMARK(BM_LayOut200KPage)->Unit(benchmark::kMillisecond);

// Ten thousand open tags: the reader keeps its limits and stays linear.
void BM_Read10000OpenTags(benchmark::State& state) {
  std::string page;
  for (int i = 0; i < 10000; ++i) page += "<ul><b><a href=\"x\">";
  page += "deep";
  for (auto _ : state) {
    HtmlDocument doc = ParseHtml(page);
    benchmark::DoNotOptimize(doc.items.size());
  }
}
BENCHMARK(BM_Read10000OpenTags)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
