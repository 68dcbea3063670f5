// corvane-dfm-shot.exe: shows one dialog with the engine's Win32 renderer and writes its
// photograph as a PNG file. corvane-dfm shot runs it under Wine on a virtual screen.
//
//   corvane-dfm-shot FORM.dfm OUT.png [NAME=VALUE ...]
//
// FORM may be a form file or its text form (FORM.dfm.txt). The rule file FORM.dfm.zelf is read
// when it exists. NAME=VALUE pairs set variables before the
// dialog is prepared (TITLE=Hello). Exit codes: 0 written, 1 the form cannot be loaded or the
// picture not written, 2 usage.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "image/failure.h"
#include "platform/text.h"
#include "interp/variables.h"
#include "platform/win32/win32_platform.h"
#include "ui/components.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_system.h"
#include "ui/form_text.h"
#include "ui/png_encoder.h"
#include "ui/property_rules.h"
#include "ui/win32/win32_presenter.h"
#include "ui/win32/window_capture.h"

using namespace corvane;

namespace {

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *out = buffer.str();
  return true;
}

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: corvane-dfm-shot FORM.dfm OUT.png [NAME=VALUE ...]\n");
    return 2;
  }
  const std::string form_path = argv[1], out_path = argv[2];
  std::string bytes;
  if (!ReadAll(form_path, &bytes)) {
    std::fprintf(stderr, "corvane-dfm-shot: cannot read %s\n", form_path.c_str());
    return 1;
  }
  auto platform = platform::CreateWin32Platform();
  interp::Variables vars;
  for (int i = 3; i < argc; ++i) {
    const std::string pair = argv[i];
    const size_t eq = pair.find('=');
    if (eq == std::string::npos || eq == 0) {
      std::fprintf(stderr, "corvane-dfm-shot: not NAME=VALUE: %s\n", argv[i]);
      return 2;
    }
    vars.SetVariable(pair.substr(0, eq), pair.substr(eq + 1), "Preview");
  }
  try {
    std::string dfm_path = form_path;
    std::unique_ptr<ui::PoolTemplate> form;
    if (platform::LowerCase(form_path).ends_with(".txt")) {
      dfm_path = form_path.substr(0, form_path.size() - 4);
      form = std::make_unique<ui::PoolTemplate>();
      form->ReadRoot(ui::ParseFormText(bytes));
      form->SetValue("Hint", ui::FormValue::String(FileName(dfm_path)));
    } else {
      form = ui::CreateDialogForm(bytes, FileName(form_path));
    }
    std::string rules;
    if (ReadAll(dfm_path + ".zelf", &rules)) form->rules() = ui::SplitRuleLines(rules);
    ui::ComponentTable components;
    components.ResetForFirstRun();
    ui::DialogEngine engine(vars, platform->files(), platform->ui(), nullptr, &components);
    const std::string folder = form_path.substr(0, form_path.size() - FileName(form_path).size());
    engine.dialog_folder = folder;
    ui::DialogRuntime dialog(engine, *form);
    ui::win32::Win32Presenter presenter(platform->windows(), platform->pictures());
    dialog.Prepare();
    // Centred, as the first dialog of a run is.
    const int w = form->Integer("ClientWidth", form->Integer("Width"));
    const int h = form->Integer("ClientHeight", form->Integer("Height"));
    form->SetText("Left", std::to_string((presenter.ScreenWidth() - w) / 2));
    form->SetText("Top", std::to_string((presenter.ScreenHeight() - h) / 2));
    presenter.Show(dialog);
    dialog.Shown();
    presenter.ProcessPendingMessages();
    HWND top = presenter.WindowOf(dialog);
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    auto picture = ui::win32::CaptureWindow(top);
    const std::string png = picture ? ui::EncodePng(*picture) : std::string();
    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    out.write(png.data(), static_cast<std::streamsize>(png.size()));
    if (png.empty() || !out) {
      std::fprintf(stderr, "corvane-dfm-shot: cannot write the picture %s\n", out_path.c_str());
      return 1;
    }
    std::printf("%s: %ux%u, shown in %.1f ms\n", out_path.c_str(), picture->width,
                picture->height, presenter.last_show_ms());
    return 0;
  } catch (const image::ScriptFailure& e) {
    std::fprintf(stderr, "corvane-dfm-shot: %s: %s\n", form_path.c_str(), e.what());
    return 1;
  }
}
