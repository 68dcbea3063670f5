#include "engine/trace_log.h"

#include "image/failure.h"
#include "platform/text.h"

namespace corvane::engine {

void TraceLog::SetPath(std::string path) {
  std::lock_guard<std::mutex> lock(mutex_);
  path_ = std::move(path);
}

std::string TraceLog::path() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

bool TraceLog::first_write_pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return first_write_;
}

void TraceLog::Write(std::string_view entry) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path_.empty()) return;
  std::u16string wide = platform::Utf16From1252(entry);
  wide += u"\r\n";
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (char16_t c : wide) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  platform::Status status;
  auto file = files_.Open(path_, first_write_ ? platform::OpenMode::kCreate
                                              : platform::OpenMode::kAppend,
                          &status);
  if (!file) {
    throw image::ScriptFailure("Cannot open file \"" + path_ + "\". " +
                               platform::StatusName(status));
  }
  first_write_ = false;
  status = file->Write(bytes.data(), bytes.size());
  if (status != platform::Status::kOk) {
    throw image::ScriptFailure("Cannot write to file \"" + path_ + "\". " +
                               platform::StatusName(status));
  }
}

}  // namespace corvane::engine
