// corvane-dfm: converts a dialog between its text form and its form file (.dfm: a resource
// header followed by the binary component stream), so that dialogs can be written as text.
//
//   corvane-dfm compile Welcome.dfm.txt Welcome.dfm     text -> form file
//   corvane-dfm decompile Welcome.dfm Welcome.dfm.txt   form file -> text ("-" for stdout)
//   corvane-dfm check Welcome.dfm                       loads it as the engine does; exit code 3
//                                                       when it skips properties
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "image/failure.h"
#include "platform/text.h"
#include "ui/dialog_system.h"
#include "ui/form_model.h"
#include "ui/form_stream.h"
#include "ui/form_text.h"

namespace {

using namespace corvane;

bool ReadAll(const std::string& path, std::string* out) {
  if (path == "-") {
    out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *out = buffer.str();
  return true;
}

bool WriteAll(const std::string& path, const std::string& data) {
  if (path == "-") {
    std::cout.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(std::cout.flush());
  }
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

// Says on stderr what the engine would not take from this dialog: a class it does not know
// (the load fails) or properties it skips. The form file is written all the same, since tests
// need broken dialogs too.
void Warn(const char* path, const ui::FormObject& root) {
  try {
    ui::PoolTemplate form;
    form.ReadRoot(root);
    for (const std::string& p : form.skipped_properties())
      std::cerr << "corvane-dfm: " << path << ": warning: property " << p << " is skipped\n";
  } catch (const image::ScriptFailure& e) {
    std::cerr << "corvane-dfm: " << path << ": warning: " << e.what() << "\n";
  }
}

int Usage() {
  std::cerr << "usage: corvane-dfm compile TEXT FORMFILE\n"
               "       corvane-dfm decompile FORMFILE TEXT\n"
               "       corvane-dfm check FORMFILE\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  std::string input;
  if (!ReadAll(argv[2], &input)) {
    std::cerr << "corvane-dfm: cannot read " << argv[2] << "\n";
    return 1;
  }
  try {
    if (command == "compile" && argc == 4) {
      ui::FormObject root = ui::ParseFormText(input);
      Warn(argv[2], root);
      // The resource is named after the root's class, upper-cased, as the designer names it.
      std::string file = ui::WithResourceHeader(platform::UpperCase(root.class_name),
                                                ui::WriteBinaryStream(root));
      if (!WriteAll(argv[3], file)) {
        std::cerr << "corvane-dfm: cannot write " << argv[3] << "\n";
        return 1;
      }
      return 0;
    }
    if (command == "decompile" && argc == 4) {
      std::string text =
          ui::FormObjectToText(ui::ReadBinaryStream(ui::SkipResourceHeader(input)));
      if (!WriteAll(argv[3], text)) {
        std::cerr << "corvane-dfm: cannot write " << argv[3] << "\n";
        return 1;
      }
      return 0;
    }
    if (command == "check" && argc == 3) {
      auto form = ui::CreateDialogForm(input, argv[2]);
      for (const std::string& p : form->skipped_properties())
        std::cout << "skipped property " << p << "\n";
      std::cout << form->all_components().size() << " components, "
                << form->skipped_properties().size() << " properties skipped\n";
      return form->skipped_properties().empty() ? 0 : 3;
    }
  } catch (const image::ScriptFailure& e) {
    std::cerr << "corvane-dfm: " << argv[2] << ": " << e.what() << "\n";
    return 1;
  }
  return Usage();
}
