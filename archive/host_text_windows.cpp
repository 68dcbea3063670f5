#include "archive/host_text.h"

#include "platform/text.h"

namespace corvane::archive {

std::filesystem::path HostPath(const char* text) {
  // A wide path: the file calls behind it are the wide ones, so entry names below it keep every
  // character they have.
  return std::filesystem::path(platform::Utf16From1252(text));
}

}  // namespace corvane::archive
