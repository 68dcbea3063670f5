#include "commands/file_search.h"

#include "commands/path_text.h"

namespace corvane::commands {

namespace {

// Deeper than any path the system can name; stops a search that a link cycle would make endless.
constexpr int kMaxDepth = 512;

bool Search(platform::FileSystem& fs, const std::string& pattern, const SearchOptions& o,
            std::vector<std::string>* found, int depth) {
  if (depth > kMaxDepth) return true;
  const std::string folder = SearchFolderPart(pattern);
  const std::string mask = SearchMaskPart(pattern);
  std::vector<platform::FileEntry> entries;
  if (fs.List(folder, "*", &entries) == platform::Status::kOk) {
    for (const platform::FileEntry& e : entries) {
      if (!(e.attributes & platform::attr::kDirectory) || e.name == "." || e.name == "..") continue;
      bool link = (e.attributes & platform::attr::kReparsePoint) != 0;
      if (o.recurse && (o.follow_links || !link)) {
        if (o.on_folder) o.on_folder();
        if (!Search(fs, folder + e.name + "\\" + mask, o, found, depth + 1)) return false;
        if (o.stop && o.stop()) return false;
      }
      if (o.include_folders) found->push_back(folder + e.name);
    }
  }
  if (fs.List(folder, mask, &entries) == platform::Status::kOk) {
    for (const platform::FileEntry& e : entries) {
      if ((e.attributes & platform::attr::kDirectory) || e.name == "." || e.name == "..") continue;
      found->push_back(folder + e.name);
      if (o.on_file) o.on_file(found->back());
      if (o.stop && o.stop()) return false;
    }
  }
  return true;
}

bool NeedsQuotes(const std::string& s) {
  for (unsigned char c : s) {
    if (c <= ' ' || c == '"' || c == '|') return true;
  }
  return false;
}

}  // namespace

void SearchFiles(platform::FileSystem& fs, const std::string& pattern, const SearchOptions& options,
                 std::vector<std::string>* found) {
  Search(fs, pattern, options, found, 0);
}

std::string DelimitedText(const std::vector<std::string>& entries) {
  if (entries.size() == 1 && entries[0].empty()) return "\"\"";
  std::string out;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += '|';
    const std::string& e = entries[i];
    if (!NeedsQuotes(e)) {
      out += e;
      continue;
    }
    out += '"';
    for (char c : e) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

}  // namespace corvane::commands
