#include "platform/library.h"

namespace corvane::platform {

bool IsFullLibraryPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
    const char d = path[0];
    return (d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z');
  }
  // A UNC path names a server and a share before anything else.
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    const size_t share = path.find('\\', 2);
    return share != std::string::npos && share > 2 && share + 1 < path.size() &&
           path[share + 1] != '\\';
  }
  return false;
}

}  // namespace corvane::platform
