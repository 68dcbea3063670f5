// Engine-wide state of the system commands that lives for one run: the random generator of
// Mathematics, the 64-bit mode (platform text and file-system redirection record), the text
// reader of Read from Text File.
//
// The state belongs to the run's Session. It is created on first use and kept alive by an exit
// clean-up registered with the session; that clean-up also closes the text reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace corvane::interp {
class Session;
}

namespace corvane::commands {

struct TextReader {
  std::string path;  // empty when no file is open
  std::unique_ptr<platform::File> file;
  std::string buffer;  // read ahead, not yet returned
  size_t pos = 0;
  bool eof = false;  // nothing more to read from the file itself

  void Close();
  // Whether a line remains (reads ahead as needed).
  bool AtEnd();
  // The next line without its line end (CR LF, CR or LF).
  std::string ReadLine();

 private:
  bool Fill();
};

struct CommandsState {
  // Mathematics generator: signed 32-bit multiplier, increment and state.
  int32_t rng_multiplier = 0;
  int32_t rng_increment = 0;
  int32_t rng_state = 0;

  // "Win32", "ia64" or "x64".
  std::string platform_text = "Win32";
  // File-system redirection record of the engine (main thread).
  uint64_t redirection_value = 0;
  bool redirection_switched_off = false;

  TextReader reader;

  // Transform Instance made this run a new instance of the product; its component identifiers
  // are made anew once, and the installer database gets the new codes once.
  bool new_instance = false;
  bool components_regenerated = false;
  bool instance_prepared = false;

  // What the shortcut and file-type commands leave for Apply Changes:
  // the texts written into the installer database when a language is selected,
  struct ShortcutText {
    std::string property;  // the value property "P" + header + "_1": the row's Directory_
    std::string name;      // short and long form, "My App~1|My Application"
    std::string description;
  };
  std::vector<ShortcutText> shortcut_texts;
  struct FileTypeText {
    std::string prog_id;      // as the command's parameter 1 is written
    std::string new_prog_id;  // translated
    std::string description;  // translated
  };
  std::vector<FileTypeText> file_types;
  // the application identities set on shortcuts after the run (shortcut file, identity), and
  // the pins ("shortcut|flags|target", flags "X" Start menu and "7" taskbar).
  std::vector<std::pair<std::string, std::string>> shortcut_identities;
  std::vector<std::string> shortcut_pins;

  // The web server's administration library, once written into the support folder this run.
  std::string admin_library_path;
  // The context cell that every plug-in action of the run is handed: 0 at the start, never read
  // or written by the engine itself. Shared, so that a worker given up on keeps it valid.
  std::shared_ptr<int32_t> plugin_context = std::make_shared<int32_t>(0);
};

CommandsState& StateOf(interp::Session& session);

}  // namespace corvane::commands
