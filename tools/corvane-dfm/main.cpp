// corvane-dfm: converts a dialog between its text form and its form file (.dfm: a resource
// header followed by the binary component stream), so that dialogs can be written as text.
//
//   corvane-dfm compile Welcome.dfm.txt Welcome.dfm     text -> form file
//   corvane-dfm decompile Welcome.dfm Welcome.dfm.txt   form file -> text ("-" for stdout)
//   corvane-dfm check Welcome.dfm                       loads it as the engine does; exit code 3
//                                                       when it skips properties
//   corvane-dfm shot Welcome.dfm Welcome.png [N=V ...]  the dialog as the engine shows it on
//                                                       Windows (under Wine, on a virtual screen)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
               "       corvane-dfm check FORMFILE\n"
               "       corvane-dfm shot FORMFILE PICTURE.png [NAME=VALUE ...]\n";
  return 2;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The dialog photographed by the Windows preview program (corvane-dfm-shot.exe of the Windows
// build), run under Wine on a virtual screen. The program sees a folder of its own (the form,
// its rule file and itself), which becomes its drive W:.
int Shot(int argc, char** argv) {
  namespace fs = std::filesystem;
  const std::string form = argv[2], picture = argv[3];
  const char* env_exe = std::getenv("CORVANE_DFM_SHOT_EXE");
  const fs::path exe = env_exe ? fs::path(env_exe) : fs::path(CORVANE_DFM_SHOT_DEFAULT);
  std::error_code ec;
  if (!fs::is_regular_file(exe, ec)) {
    std::cerr << "corvane-dfm: the preview program " << exe.string()
              << " is not there: build corvane-dfm-shot in the Windows build, or name it in "
                 "CORVANE_DFM_SHOT_EXE\n";
    return 1;
  }
  if (!fs::is_regular_file(form, ec)) {
    std::cerr << "corvane-dfm: cannot read " << form << "\n";
    return 1;
  }
  std::string pattern = (fs::temp_directory_path() / "corvane-shot-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::cerr << "corvane-dfm: cannot make a work folder\n";
    return 1;
  }
  const fs::path work = pattern;
  const std::string name = fs::path(form).filename().string();
  fs::copy_file(exe, work / "corvane-dfm-shot.exe", ec);
  fs::copy_file(form, work / name, ec);
  std::string rules = form;
  if (rules.size() > 4 && rules.compare(rules.size() - 4, 4, ".txt") == 0) {
    rules.resize(rules.size() - 4);
  }
  rules += ".zelf";
  if (fs::is_regular_file(rules, ec)) {
    fs::copy_file(rules, work / fs::path(rules).filename(), ec);
  }
  std::string prefix;
  if (const char* p = std::getenv("CORVANE_WINEPREFIX")) {
    prefix = p;
  } else {
    const char* home = std::getenv("HOME");
    prefix = std::string(home ? home : "/tmp") + "/.cache/corvane-dfm/wineprefix";
  }
  fs::create_directories(prefix, ec);
  std::string command = "CORVANE_WINE_ROOT=" + Quoted(work.string()) +
                        " CORVANE_WINEPREFIX=" + Quoted(prefix) + " " +
                        Quoted(CORVANE_SOURCE_SCRIPTS "/wine-gui-run") + " " +
                        Quoted((work / "corvane-dfm-shot.exe").string()) + " " +
                        Quoted("W:\\" + name) + " " + Quoted("W:\\shot.png");
  for (int i = 4; i < argc; ++i) command += " " + Quoted(argv[i]);
  const int status = std::system(command.c_str());
  int rc = 0;
  if (status != 0 || !fs::is_regular_file(work / "shot.png", ec)) {
    std::cerr << "corvane-dfm: the preview program could not photograph " << form << "\n";
    rc = 1;
  } else {
    fs::copy_file(work / "shot.png", picture, fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::cerr << "corvane-dfm: cannot write " << picture << "\n";
      rc = 1;
    }
  }
  fs::remove_all(work, ec);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  if (command == "shot") return argc >= 4 ? Shot(argc, argv) : Usage();
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
