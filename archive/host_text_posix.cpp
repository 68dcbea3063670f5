#include "archive/host_text.h"

#include <string>

namespace corvane::archive {

std::filesystem::path HostPath(const char* text) { return std::filesystem::path(std::string(text)); }

}  // namespace corvane::archive
