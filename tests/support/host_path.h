// A file of the build machine as a test program sees it. Natively that is the path itself. Under
// Wine the prefix maps just the build tree, as one drive (scripts/wine-run sets CORVANE_WINE_ROOT
// and CORVANE_WINE_DRIVE), so a build path becomes that drive's path; a path outside the build
// tree has no Windows name and is returned unchanged, which the caller then fails to open.
#pragma once

#include <cstdlib>
#include <string>

namespace corvane::testing {

inline std::string HostPath(std::string path) {
#ifdef _WIN32
  if (path.empty() || path[0] != '/') return path;
  const char* root = std::getenv("CORVANE_WINE_ROOT");
  const char* drive = std::getenv("CORVANE_WINE_DRIVE");
  if (root == nullptr || drive == nullptr) return path;
  std::string prefix = root;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  if (path.compare(0, prefix.size(), prefix) != 0 ||
      (path.size() > prefix.size() && path[prefix.size()] != '/')) {
    return path;
  }
  std::string out = std::string(drive) + path.substr(prefix.size());
  if (out.size() == 2) out += '\\';
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
#else
  return path;
#endif
}

}  // namespace corvane::testing
