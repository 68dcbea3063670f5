// corvane-dfm: converts a dialog between its text form and its form file (.dfm: a resource
// header followed by the binary component stream), so that dialogs can be written as text.
//
//   corvane-dfm compile Welcome.dfm.txt Welcome.dfm     text -> form file
//   corvane-dfm decompile Welcome.dfm Welcome.dfm.txt   form file -> text ("-" for stdout)
//   corvane-dfm check Welcome.dfm                       loads it as the engine does
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "engine/failure.h"
#include "platform/text.h"
#include "ui/dialog_system.h"
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
      std::cout << form->all_components().size() << " components\n";
      return 0;
    }
  } catch (const engine::ScriptFailure& e) {
    std::cerr << "corvane-dfm: " << argv[2] << ": " << e.what() << "\n";
    return 1;
  }
  return Usage();
}
