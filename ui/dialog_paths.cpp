#include "ui/dialog_paths.h"

#include "platform/text.h"

namespace corvane::ui {
namespace {

// Length of the root of a path: "C:\" (3), "C:" (2), "\\srv\share\" (through the backslash after
// the share), 0 when there is none.
size_t RootLength(std::string_view p) {
  if (p.size() >= 2 && p[1] == ':') return p.size() >= 3 && p[2] == '\\' ? 3 : 2;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    size_t server_end = p.find('\\', 2);
    if (server_end == std::string_view::npos) return p.size();
    size_t share_end = p.find('\\', server_end + 1);
    return share_end == std::string_view::npos ? p.size() : share_end + 1;
  }
  return 0;
}

}  // namespace

std::string WithTrailingBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() != '\\') out.push_back('\\');
  return out;
}

std::string ParentFolder(std::string_view path) {
  const size_t root = RootLength(path);
  std::string_view p = path;
  if (p.size() > root && p.back() == '\\') p.remove_suffix(1);
  if (p.size() <= root) return std::string(path);
  size_t slash = p.rfind('\\');
  if (slash == std::string_view::npos || slash + 1 < root) return std::string(path);
  return std::string(p.substr(0, slash + 1));
}

std::string DeepestExistingFolder(std::string_view path, const FolderProbe& is_folder) {
  std::string p(path);
  while (!p.empty() && !is_folder(p)) {
    std::string parent = ParentFolder(p);
    if (parent == p) break;
    p = std::move(parent);
  }
  return p;
}

DestinationSnapshot TakeDestinationSnapshot(std::string_view destination,
                                            const FolderProbe& is_folder) {
  DestinationSnapshot s;
  s.text.assign(destination);
  std::string found = WithTrailingBackslash(DeepestExistingFolder(destination, is_folder));
  s.tail = found.size() < s.text.size() ? s.text.substr(found.size()) : std::string();
  return s;
}

bool IsSameOrBelow(std::string_view path, std::string_view folder) {
  if (folder.empty() || folder.size() > path.size()) return false;
  if (!platform::SameText(path.substr(0, folder.size()), folder)) return false;
  return path.size() == folder.size() || folder.back() == '\\' || path[folder.size()] == '\\';
}

std::string UpdatedDestination(const DestinationSnapshot& snapshot, std::string_view chosen) {
  if (chosen.empty()) return std::string();
  std::string_view d = snapshot.text.empty() ? chosen : std::string_view(snapshot.text);
  if (IsSameOrBelow(d, chosen)) return std::string(d);
  return WithTrailingBackslash(chosen) + snapshot.tail;
}

std::string DrivePart(std::string_view path) {
  size_t root = RootLength(path);
  if (root == 0) return std::string();
  return WithTrailingBackslash(path.substr(0, root));
}

}  // namespace corvane::ui
