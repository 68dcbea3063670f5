// Loading dialog forms as start-up does: 100 dialogs of 60 controls each, every one through the
// header check, the normalising round trip and the reading into a form.
#include <benchmark/benchmark.h>

#include <string>

#include "ui/dialog_system.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/property_rules.h"

namespace {

using namespace corvane::ui;

// A wizard page with 60 controls of the usual kinds, their usual properties set.
std::string SixtyControlDialog() {
  std::string t =
      "object Page: TPage\n  Caption = '$TITLE$ Setup'\n  ClientHeight = 360\n"
      "  ClientWidth = 495\n  Font.Name = 'Tahoma'\n  PixelsPerInch = 96\n  TextHeight = 13\n";
  const char* kinds[] = {"TLabel", "TEdit", "TButton", "TRzCheckBox", "TComboBox", "TMemo"};
  for (int i = 0; i < 60; ++i) {
    std::string cls = kinds[i % 6];
    std::string name = cls.substr(1) + std::to_string(i);
    t += "  object " + name + ": " + cls + "\n";
    t += "    Left = " + std::to_string(8 + i) + "\n    Top = " + std::to_string(4 * i) +
         "\n    Width = 200\n    Height = 21\n";
    t += "    Hint = 'VAR" + std::to_string(i) + "'\n    Tag = " + std::to_string(i % 4) + "\n";
    t += "    Font.Style = [fsBold]\n    Anchors = [akLeft, akTop, akRight]\n";
    if (cls == "TLabel" || cls == "TButton" || cls == "TRzCheckBox")
      t += "    Caption = 'Control number " + std::to_string(i) + " of $TITLE$'\n";
    if (cls == "TEdit") t += "    Text = '$TARGETDIR$'\n    MaxLength = 260\n";
    if (cls == "TComboBox")
      t += "    Style = csDropDownList\n    Items.Strings = (\n      'One'\n      'Two'\n      'Three')\n";
    if (cls == "TMemo") t += "    Lines.Strings = (\n      'First line'\n      'Second line')\n";
    if (cls != "TLabel") t += "    TabOrder = " + std::to_string(i) + "\n";
    t += "  end\n";
  }
  return t + "end\n";
}

void BM_Load100DialogsOf60Controls(benchmark::State& state) {
  std::string file = WithResourceHeader("TPAGE", WriteBinaryStream(ParseFormText(SixtyControlDialog())));
  std::string rules =
      "IF (RzCheckBox3.Checked = True)  THEN  Button2.Enabled := True;\r\n"
      "IF (RzCheckBox3.Checked <> True)  THEN  Button2.Enabled := False;\r\n";
  size_t controls = 0;
  for (auto _ : state) {
    for (int d = 0; d < 100; ++d) {
      auto form = CreateDialogForm(file, "Page.dfm");
      form->rules() = SplitRuleLines(rules);
      controls += form->all_components().size();
      benchmark::DoNotOptimize(form);
    }
  }
  state.counters["controls"] = benchmark::Counter(static_cast<double>(controls),
                                                  benchmark::Counter::kIsRate);
  state.counters["form_file_bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_Load100DialogsOf60Controls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
