#include "commands/path_text.h"

namespace corvane::commands {

namespace {
size_t LastDelimiter(std::string_view path) { return path.find_last_of("\\:"); }
size_t LastSearchDelimiter(std::string_view path) { return path.find_last_of("\\/:"); }
}  // namespace

std::string SearchFolderPart(std::string_view pattern) {
  size_t at = LastSearchDelimiter(pattern);
  return at == std::string_view::npos ? std::string() : std::string(pattern.substr(0, at + 1));
}

std::string SearchMaskPart(std::string_view pattern) {
  size_t at = LastSearchDelimiter(pattern);
  return std::string(at == std::string_view::npos ? pattern : pattern.substr(at + 1));
}

std::string ExtractFilePath(std::string_view path) {
  size_t at = LastDelimiter(path);
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

std::string ExtractFileName(std::string_view path) {
  size_t at = LastDelimiter(path);
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string ExtractFileExt(std::string_view path) {
  size_t dot = path.find_last_of(".\\:");
  if (dot == std::string_view::npos || path[dot] != '.') return std::string();
  return std::string(path.substr(dot));
}

std::string ExtractFileDrive(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
    // "\\server\share": up to the backslash after the share, or the whole text.
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string_view::npos) return std::string(path);
    size_t share_end = path.find('\\', server_end + 1);
    return std::string(path.substr(0, share_end));
  }
  return std::string();
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() != '\\') out += '\\';
  return out;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string CollapseAllBackslashes(std::string_view path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    out += path[i];
    if (path[i] == '\\' && i + 1 < path.size() && path[i + 1] == '\\') ++i;
  }
  return out;
}

std::string ExtractPathPart(std::string_view v, int mode) {
  switch (mode) {
    case 0:
      return ExtractFileName(v);
    case 1: {
      std::string name = ExtractFileName(v);
      return name.substr(0, name.size() - ExtractFileExt(name).size());
    }
    case 2: {
      std::string ext = ExtractFileExt(v);
      return ext.empty() ? ext : ext.substr(1);
    }
    case 3:
      return IncludeTrailingBackslash(ExtractFilePath(v));
    case 4: {
      std::string folder = IncludeTrailingBackslash(ExtractFilePath(v));
      return IncludeTrailingBackslash(ExtractFilePath(ExcludeTrailingBackslash(folder)));
    }
    case 5:
      return IncludeTrailingBackslash(ExtractFileDrive(v));
    case 6:
      return CollapseAllBackslashes(v);
    default:
      return std::string(v);
  }
}

}  // namespace corvane::commands
