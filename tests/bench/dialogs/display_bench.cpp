// One "Display Dialog" on the simulated machine's headless renderer, the dialog logic's part of
// it: preparation (every control filled from its variable, handlers attached), the 20 property
// rules, the computed texts, the window made and painted, Next clicked, and the freeze before the
// next display. A wizard page of 60 controls, as in load_bench.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "interp/variables.h"
#include "platform/sim/sim_platform.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_system.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"
#include "ui/property_rules.h"
#include "ui/window_presenter.h"

namespace {

using namespace corvane;
using namespace corvane::ui;

// space_texts of the ten static texts show the required or free space (computed from the
// machine's folders and disks); the others show their captions.
std::string SixtyControlDialog(int space_texts) {
  std::string t =
      "object Page: TPage\n  Caption = '$TITLE$ Setup'\n  ClientHeight = 360\n"
      "  ClientWidth = 495\n  Font.Name = 'Tahoma'\n  PixelsPerInch = 96\n  TextHeight = 13\n";
  const char* kinds[] = {"TLabel", "TEdit", "TButton", "TRzCheckBox", "TComboBox", "TStaticText"};
  for (int i = 0; i < 60; ++i) {
    std::string cls = kinds[i % 6];
    std::string name = cls.substr(1) + std::to_string(i);
    t += "  object " + name + ": " + cls + "\n";
    t += "    Left = " + std::to_string(8 + i) + "\n    Top = " + std::to_string(4 * i) +
         "\n    Width = 200\n    Height = 21\n";
    // Buttons: the first is Next (Tag 1), the others act by name (Tag 5); static texts show
    // computed texts (Tag 4: required space, 5: free space).
    int tag = cls == "TButton"                              ? (i == 2 ? 1 : 5)
              : cls == "TStaticText" && i / 6 < space_texts ? 4 + (i / 6) % 2
                                                            : 0;
    t += "    Hint = 'VAR" + std::to_string(i) + "'\n    Tag = " + std::to_string(tag) + "\n";
    if (cls == "TLabel" || cls == "TButton" || cls == "TRzCheckBox" || cls == "TStaticText")
      t += "    Caption = 'Control number " + std::to_string(i) + " of $TITLE$'\n";
    if (cls == "TEdit") t += "    Text = '$TARGETDIR$'\n    MaxLength = 260\n";
    if (cls == "TComboBox")
      t += "    Style = csDropDownList\n    Items.Strings = (\n      'One'\n      'Two'\n      "
           "'Three')\n";
    if (cls != "TLabel") t += "    TabOrder = " + std::to_string(i) + "\n";
    t += "  end\n";
  }
  return t + "end\n";
}

// 20 rules: each check box enables a button and an edit, both ways.
std::string TwentyRules() {
  std::string r;
  for (int i = 0; i < 5; ++i) {
    std::string box = "RzCheckBox" + std::to_string(3 + 6 * i);
    std::string button = "Button" + std::to_string(2 + 6 * i);
    std::string edit = "Edit" + std::to_string(1 + 6 * i);
    r += "IF (" + box + ".Checked = True)  THEN  " + button + ".Enabled := True;\r\n";
    r += "IF (" + box + ".Checked <> True)  THEN  " + button + ".Enabled := False;\r\n";
    r += "IF (" + box + ".Checked = True)  THEN  " + edit + ".Enabled := True;\r\n";
    r += "IF (" + box + ".Checked <> True)  THEN  " + edit + ".Enabled := False;\r\n";
  }
  return r;
}

void BM_DisplayDialogOf60ControlsAnd20Rules(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path machine =
      fs::temp_directory_path() / ("corvane-bench-" + std::to_string(getpid()));
  platform::SimOptions options;
  options.machine_folder = machine.string();
  options.save_registry_on_exit = false;
  auto sim = platform::CreateSimPlatform(options);
  interp::Variables vars;
  vars.SetVariable("TITLE", "Bench", "Bench");
  vars.SetVariable("TARGETDIR", "C:\\Program Files\\Bench\\", "Bench");
  for (int i = 0; i < 60; ++i) vars.SetVariable("VAR" + std::to_string(i), "TRUE", "Bench");

  const std::string file = WithResourceHeader(
      "TPAGE",
      WriteBinaryStream(ParseFormText(SixtyControlDialog(static_cast<int>(state.range(0))))));
  auto form = CreateDialogForm(file, "Page.dfm");
  form->rules() = SplitRuleLines(TwentyRules());
  {
    ComponentTable components;
    DialogEngine engine(vars, sim->files(), sim->ui(), nullptr, &components);
    DialogRuntime dialog(engine, *form);
    WindowPresenter presenter(sim->windows(), vars);

    for (auto _ : state) {
      engine.BeginFolderMemo();
      dialog.Prepare();
      presenter.Show(dialog);
      dialog.Shown();
      engine.EndFolderMemo();
      dialog.BeginModal();
      dialog.Click("Button2");
      benchmark::DoNotOptimize(dialog.result_code());
      dialog.Freeze();
    }
    state.counters["controls"] = static_cast<double>(dialog.controls().size());
    state.counters["rules"] = static_cast<double>(form->rules().size());
  }  // the presenter's windows go before the machine
  sim.reset();
  std::error_code ec;
  fs::remove_all(machine, ec);
}
BENCHMARK(BM_DisplayDialogOf60ControlsAnd20Rules)
    ->Arg(0)
    ->Arg(2)
    ->Arg(10)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
