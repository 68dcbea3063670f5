#include "interp/testing/test_platform.h"

#include <cstdio>

#include "platform/text.h"

namespace corvane::interp::testing {

using platform::Status;

namespace {
std::string Key(const std::string& path) {
  std::string k = platform::UpperCase(path);
  while (k.size() > 3 && k.back() == '\\') k.pop_back();
  return k;
}
}  // namespace

std::unique_ptr<platform::File> MemoryFiles::Open(const std::string&, platform::OpenMode,
                                                  Status* status) {
  if (status) *status = Status::kFailed;
  return nullptr;
}

Status MemoryFiles::ReadFile(const std::string& path, std::string* contents) {
  auto it = files.find(Key(path));
  if (it == files.end()) return Status::kNotFound;
  *contents = it->second;
  return Status::kOk;
}

Status MemoryFiles::WriteFile(const std::string& path, std::string_view contents) {
  files[Key(path)] = std::string(contents);
  return Status::kOk;
}

Status MemoryFiles::GetAttributes(const std::string& path, uint32_t* attributes) {
  const std::string k = Key(path);
  if (files.count(k)) {
    *attributes = platform::attr::kArchive;
    return Status::kOk;
  }
  if (folders.count(k)) {
    *attributes = platform::attr::kDirectory;
    return Status::kOk;
  }
  *attributes = platform::attr::kInvalid;
  return Status::kNotFound;
}

Status MemoryFiles::SetAttributes(const std::string&, uint32_t) { return Status::kFailed; }

Status MemoryFiles::GetFileSize(const std::string& path, uint64_t* size) {
  auto it = files.find(Key(path));
  if (it == files.end()) return Status::kNotFound;
  *size = it->second.size();
  return Status::kOk;
}

Status MemoryFiles::GetLastWriteTime(const std::string&, int64_t*) { return Status::kFailed; }

Status MemoryFiles::CreateDirectory(const std::string& path) {
  return folders.insert(Key(path)).second ? Status::kOk : Status::kAlreadyExists;
}

Status MemoryFiles::RemoveDirectory(const std::string& path) {
  return folders.erase(Key(path)) ? Status::kOk : Status::kNotFound;
}

Status MemoryFiles::DeleteFile(const std::string& path) {
  return files.erase(Key(path)) ? Status::kOk : Status::kNotFound;
}

Status MemoryFiles::CopyFile(const std::string&, const std::string&, bool) {
  return Status::kFailed;
}
Status MemoryFiles::MoveFile(const std::string&, const std::string&, bool) {
  return Status::kFailed;
}
Status MemoryFiles::List(const std::string&, const std::string&,
                         std::vector<platform::FileEntry>*) {
  return Status::kFailed;
}
Status MemoryFiles::SetCurrentDirectory(const std::string&) { return Status::kFailed; }
Status MemoryFiles::GetDiskSpace(const std::string&, uint64_t*, uint64_t*) {
  return Status::kFailed;
}

std::string ClockSystem::FormatDate(const platform::LocalTime& t, const std::string& picture) {
  ++format_calls;
  char buffer[32];
  if (picture != "dd/MM/yyyy") return std::string();
  std::snprintf(buffer, sizeof buffer, "%02u/%02u/%04u", unsigned(t.day), unsigned(t.month),
                unsigned(t.year));
  return buffer;
}

std::string ClockSystem::FormatTime(const platform::LocalTime& t, const std::string& picture) {
  ++format_calls;
  char buffer[32];
  if (picture != "HH:mm:ss") return std::string();
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", unsigned(t.hour), unsigned(t.minute),
                unsigned(t.second));
  return buffer;
}

int RecordingUi::MessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  shown.push_back(ShownMessage{text, caption, flags});
  if (answers.empty()) return platform::id::kOk;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace corvane::interp::testing
