// The recursive file search of Find All Files and Delete Files Recursive, and the "|"-delimited
// text of its result.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace corvane::commands {

struct SearchOptions {
  bool recurse = false;
  bool include_folders = false;
  // Whether to descend into folders that are reparse points (junctions, symbolic links).
  bool follow_links = true;
  // Called when the search starts on a subfolder and for each file found (full path); may be
  // empty. `stop` is asked after each subfolder and each file: true ends the search with what it
  // has found so far.
  std::function<void()> on_folder;
  std::function<void(const std::string&)> on_file;
  std::function<bool()> stop;
};

// Pattern = folder + file mask. The contents of a subfolder come before the subfolder itself
// (when folders are included), subfolders before the files of the folder; the search folder
// itself is never listed.
void SearchFiles(platform::FileSystem& fs, const std::string& pattern, const SearchOptions& options,
                 std::vector<std::string>* found);

// Entries joined by "|"; an entry holding a blank or control character, a double quote or "|" is
// quoted with inner quotes doubled; one empty entry gives two quotes, no entry the empty text.
std::string DelimitedText(const std::vector<std::string>& entries);

}  // namespace corvane::commands
