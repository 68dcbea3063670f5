// A form file loaded and used as a dialog: prepared against an empty run, every control given
// the input a user could give it, frozen and prepared again. Whatever the form holds, the only
// failure allowed is a ScriptFailure.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/failure.h"
#include "interp/variables.h"
#include "ui/dialog_runtime.h"
#include "ui/dialog_system.h"

using namespace corvane;

namespace {

// A machine with nothing on it.
class NoFiles : public platform::FileSystem {
 public:
  using S = platform::Status;
  std::unique_ptr<platform::File> Open(const std::string&, platform::OpenMode, S* s) override {
    *s = S::kNotFound;
    return nullptr;
  }
  S GetAttributes(const std::string&, uint32_t* a) override {
    *a = platform::attr::kInvalid;
    return S::kNotFound;
  }
  S SetAttributes(const std::string&, uint32_t) override { return S::kNotFound; }
  S GetFileSize(const std::string&, uint64_t*) override { return S::kNotFound; }
  S GetLastWriteTime(const std::string&, int64_t*) override { return S::kNotFound; }
  S CreateDirectory(const std::string&) override { return S::kNotFound; }
  S RemoveDirectory(const std::string&) override { return S::kNotFound; }
  S DeleteFile(const std::string&) override { return S::kNotFound; }
  S CopyFile(const std::string&, const std::string&, bool) override { return S::kNotFound; }
  S MoveFile(const std::string&, const std::string&, bool) override { return S::kNotFound; }
  S List(const std::string&, const std::string&, std::vector<platform::FileEntry>*) override {
    return S::kNotFound;
  }
  std::string GetCurrentDirectory() override { return "C:\\"; }
  S SetCurrentDirectory(const std::string&) override { return S::kNotFound; }
  std::string GetFullPath(const std::string& p) override { return p; }
  S GetDiskSpace(const std::string&, uint64_t*, uint64_t*) override { return S::kNotFound; }
  bool DisableRedirection(uint64_t*) override { return false; }
  bool RevertRedirection(uint64_t) override { return false; }
};

class NoUi : public platform::UserInterface {
 public:
  int MessageBox(const std::string&, const std::string&, uint32_t) override {
    return platform::id::kYes;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view file(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<ui::PoolTemplate> form;
  try {
    form = ui::CreateDialogForm(file, "Fuzz.dfm");
  } catch (const image::ScriptFailure&) {
    return 0;
  }
  interp::Variables vars;
  vars.SetVariable("TARGETDIR", "C:\\Program Files\\Fuzz", "Fuzz");
  vars.SetVariable("PROGRESS", "50", "Fuzz");
  NoFiles files;
  NoUi user;
  ui::ComponentTable table;
  table.ResetForFirstRun();
  table.Define("Main", true, "Main part");
  table.Define("Main\\Help", false, "");
  ui::DialogEngine engine(vars, files, user, nullptr, &table);
  ui::DialogRuntime dialog(engine, *form);
  for (int round = 0; round < 2; ++round) {
    try {
      dialog.Prepare();
    } catch (const image::ScriptFailure&) {
    }
    dialog.Shown();
    for (const auto& c : dialog.controls()) {
      const std::string name = c->name();
      dialog.Click(name);
      dialog.SetText(name, "$TARGETDIR$\\x");
      dialog.PickItem(name, 0);
      dialog.CheckItem(name, 0, true);
      dialog.SelectNode(name, 0);
      if (dialog.TreeMouseUp(name, true)) dialog.ChooseComponentMenuItem(name, 1);
      dialog.SetPosition(name, 3);
      dialog.ShowFolder(name, "D:\\");
      dialog.PickFile(name, "D:\\a.txt");
      dialog.Scrolled(name, {true, 100, 10, 100}, true);
    }
    dialog.ShowProgress({"text", 0, 100, 42});
    dialog.Freeze();
  }
  return 0;
}
