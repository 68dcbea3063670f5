// A form file as the loader reads it. Every input either loads or fails with a ScriptFailure;
// a form that loads is read back through the model's text accessors.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/failure.h"
#include "ui/dialog_system.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view file(reinterpret_cast<const char*>(data), size);
  try {
    auto form = ui::CreateDialogForm(file, "Fuzz.dfm");
    for (const auto& c : form->all_components()) {
      for (const auto& setting : c->settings()) (void)c->GetText(setting.name);
      (void)c->GetText("Caption");
      (void)c->SetText("Tag", "5");
    }
  } catch (const image::ScriptFailure&) {
  }
  // Whatever the reader accepts, its writer and the text form reproduce.
  try {
    std::string_view stream = ui::SkipResourceHeader(file);
    ui::FormObject root = ui::ReadBinaryStream(stream);
    std::string normal = ui::NormaliseBinaryStream(ui::WriteBinaryStream(root));
    if (ui::NormaliseBinaryStream(normal) != normal) std::abort();
  } catch (const image::ScriptFailure&) {
  }
  return 0;
}
