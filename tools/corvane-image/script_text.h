// The readable text form of a script image, for tests and examples: compile text into image
// bytes, and show a loaded image as text again. The form is described in the README.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/script_image.h"

namespace corvane::tools {

struct ScriptCommand {
  std::string name;
  std::vector<std::string> params;
  bool disabled = false;
  std::string header;       // eight hexadecimal digits, or empty
  std::string media_block;  // web media block holding the command's files ("Block1\"), or empty
  std::string source_file;
  int line = 0;  // zero-based line of the command in its text
};

// Everything a script text says, in the order of the image's items.
struct ScriptSource {
  std::string product_code, title, publisher, contact, help_link, update_link, comments, version;
  std::string revision_code, language_dialog, default_language;
  int32_t build_mode = 0;
  int32_t code_page = 1252;
  std::vector<std::string> plugins;
  std::vector<std::pair<std::string, std::string>> media_passwords;  // block, clear password
  std::vector<std::pair<std::string, int64_t>> components;
  struct SupportFile {
    std::string block, path, folder;
  };
  std::vector<SupportFile> support_files;
  std::vector<std::pair<std::string, std::string>> compiler_variables;
  std::vector<ScriptCommand> commands;
};

// Parses script text. source_path is recorded as the source file of the commands until a
// ".source-file" line says otherwise. On failure, *error is "LINE: message" (line from 1).
bool ParseScriptText(std::string_view text, std::string_view source_path, ScriptSource* source,
                     std::string* error);

// The image bytes for a parsed script. Fails (with *error) where a value cannot be stored: a
// section line that would read as the terminator, a password whose stored form holds a line break.
bool BuildScriptImage(const ScriptSource& source, std::string* image, std::string* error);

// The identifier generated for the command at an index.
std::string GeneratedCommandId(size_t index);

struct TextCompileResult {
  bool ok = false;
  std::string error;
  std::string image;
};
TextCompileResult CompileScriptText(std::string_view text, std::string_view source_path);

// Compiles script text and loads the image as start-up does. False with *error (the text's
// error, or "image: " and the loader's) when either step fails.
bool LoadScriptText(std::string_view text, std::string_view source_path, image::ScriptImage* image,
                    std::string* error);

// The text of a loaded image. Commands are placed on the lines their source locations name where
// that is possible, so that a text compiles back to the same image.
std::string DecompileScriptImage(const image::ScriptImage& image);

}  // namespace corvane::tools
