#include "platform/sim/sim_common.h"

#include <fstream>
#include <sstream>

#include "platform/text.h"

namespace corvane::platform::sim {
namespace {
thread_local uint32_t last_error = 0;
}

Status Record(Status s) {
  if (s != Status::kOk) last_error = StatusToWin32Error(s);
  return s;
}

Status RecordError(Status s, uint32_t windows_error) {
  last_error = windows_error;
  return s;
}

uint32_t ThreadLastError() { return last_error; }

std::filesystem::path HostName(const std::string& text1252) {
  return std::filesystem::path(Utf8From1252(text1252));
}

std::string NameFromHost(const std::filesystem::path& name) {
  return Cp1252FromUtf8(name.string());
}

bool ReadHostFile(const std::filesystem::path& path, std::string* contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *contents = ss.str();
  return !in.bad();
}

bool WriteHostFile(const std::filesystem::path& path, const std::string& contents) {
  std::filesystem::path temp = path;
  temp += ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  return !ec;
}

}  // namespace corvane::platform::sim
