#include "platform/sim/transcript.h"

#include <cstdio>

#include "platform/sim/sim_ui.h"

namespace corvane::platform::sim {

void Transcript::Add(std::string line) {
  std::lock_guard<std::mutex> lock(mu_);
  // A call repeated right after itself (the trace log opened for each entry) is one line.
  if (!lines_.empty() && (lines_.back() == line || lines_.back().rfind(line + " (x", 0) == 0)) {
    size_t times = 2;
    if (lines_.back() != line) times = std::stoul(lines_.back().substr(line.size() + 3)) + 1;
    lines_.back() = line + " (x" + std::to_string(times) + ")";
    return;
  }
  lines_.push_back(std::move(line));
}

std::vector<std::string> Transcript::Lines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return lines_;
}

std::string Transcript::Text() const {
  std::string out;
  for (const auto& l : Lines()) out += l + "\n";
  return out;
}

namespace {

std::string Outcome(Status s) {
  return s == Status::kOk ? std::string() : std::string(" (") + StatusName(s) + ")";
}

const char* ShortRoot(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot: return "HKCR";
    case RegRoot::kCurrentUser: return "HKCU";
    case RegRoot::kLocalMachine: return "HKLM";
    case RegRoot::kUsers: return "HKU";
    case RegRoot::kCurrentConfig: return "HKCC";
  }
  return "?";
}

std::string Key(RegRoot root, const std::string& key, RegView view) {
  std::string s = std::string(ShortRoot(root)) + "\\" + key;
  if (view == RegView::kView32) s += " (32-bit view)";
  if (view == RegView::kView64) s += " (64-bit view)";
  return s;
}

const char* OpenModeName(OpenMode m) {
  switch (m) {
    case OpenMode::kRead: return "read";
    case OpenMode::kCreate: return "create";
    case OpenMode::kCreateNew: return "create new";
    case OpenMode::kAppend: return "append";
    case OpenMode::kReadWrite: return "read/write";
    case OpenMode::kExclusiveTemp: return "lock";
  }
  return "?";
}

}  // namespace

std::string DescribeRegistryValue(RegRoot root, const std::string& key, const std::string& name,
                                  RegView view) {
  return Key(root, key, view) + " [" + (name.empty() ? "(default)" : name) + "]";
}

std::string DescribeRegValue(const RegValue& v) {
  switch (v.type) {
    case RegType::kString:
    case RegType::kExpandString:
    case RegType::kLink:
      return "\"" + v.data + "\"";
    case RegType::kMultiString: {
      std::string s;
      size_t start = 0;
      while (start <= v.data.size()) {
        size_t end = v.data.find('\0', start);
        if (end == std::string::npos) end = v.data.size();
        s += (s.empty() ? "" : ", ") + ("\"" + v.data.substr(start, end - start) + "\"");
        start = end + 1;
      }
      return "[" + s + "]";
    }
    case RegType::kDword:
    case RegType::kQword:
      return std::to_string(v.AsNumber());
    default: {
      std::string s = "hex:";
      char buf[4];
      for (unsigned char c : v.data) {
        std::snprintf(buf, sizeof buf, "%02x", c);
        s += buf;
      }
      return s;
    }
  }
}

std::unique_ptr<File> RecordingFileSystem::Open(const std::string& path, OpenMode mode,
                                                Status* status) {
  auto f = target_.Open(path, mode, status);
  t_.Add(std::string("file open ") + OpenModeName(mode) + " " + path + Outcome(*status));
  return f;
}

Status RecordingFileSystem::ReadFile(const std::string& path, std::string* contents) {
  Status s = target_.ReadFile(path, contents);
  t_.Add("file read " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::WriteFile(const std::string& path, std::string_view contents) {
  Status s = target_.WriteFile(path, contents);
  t_.Add("file write " + path + " (" + std::to_string(contents.size()) + " bytes)" + Outcome(s));
  return s;
}

Status RecordingFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  Status s = target_.SetAttributes(path, attributes);
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", attributes);
  t_.Add("file attributes " + path + " " + buf + Outcome(s));
  return s;
}

Status RecordingFileSystem::CreateDirectory(const std::string& path) {
  Status s = target_.CreateDirectory(path);
  t_.Add("folder create " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::RemoveDirectory(const std::string& path) {
  Status s = target_.RemoveDirectory(path);
  t_.Add("folder remove " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::DeleteFile(const std::string& path) {
  Status s = target_.DeleteFile(path);
  t_.Add("file delete " + path + Outcome(s));
  return s;
}

Status RecordingFileSystem::CopyFile(const std::string& from, const std::string& to,
                                     bool fail_if_exists) {
  Status s = target_.CopyFile(from, to, fail_if_exists);
  t_.Add("file copy " + from + " -> " + to + Outcome(s));
  return s;
}

Status RecordingFileSystem::MoveFile(const std::string& from, const std::string& to,
                                     bool replace) {
  Status s = target_.MoveFile(from, to, replace);
  t_.Add("file move " + from + " -> " + to + Outcome(s));
  return s;
}

Status RecordingRegistry::CreateKey(RegRoot root, const std::string& key, RegView view) {
  Status s = target_.CreateKey(root, key, view);
  t_.Add("registry create " + Key(root, key, view) + Outcome(s));
  return s;
}

Status RecordingRegistry::ReadValue(RegRoot root, const std::string& key, const std::string& name,
                                    RegView view, RegValue* value) {
  Status s = target_.ReadValue(root, key, name, view, value);
  t_.Add("registry read " + DescribeRegistryValue(root, key, name, view) +
         (s == Status::kOk ? " = " + DescribeRegValue(*value) : Outcome(s)));
  return s;
}

Status RecordingRegistry::WriteValue(RegRoot root, const std::string& key, const std::string& name,
                                     RegView view, const RegValue& value) {
  Status s = target_.WriteValue(root, key, name, view, value);
  t_.Add("registry write " + DescribeRegistryValue(root, key, name, view) + " = " +
         DescribeRegValue(value) + Outcome(s));
  return s;
}

Status RecordingRegistry::DeleteValue(RegRoot root, const std::string& key,
                                      const std::string& name, RegView view) {
  Status s = target_.DeleteValue(root, key, name, view);
  t_.Add("registry delete " + DescribeRegistryValue(root, key, name, view) + Outcome(s));
  return s;
}

Status RecordingRegistry::DeleteKeyTree(RegRoot root, const std::string& key, RegView view) {
  Status s = target_.DeleteKeyTree(root, key, view);
  t_.Add("registry delete key " + Key(root, key, view) + Outcome(s));
  return s;
}

int RecordingUserInterface::MessageBox(const std::string& text, const std::string& caption,
                                       uint32_t flags) {
  int answer = target_.MessageBox(text, caption, flags);
  RecordedBox box{text, caption, flags, answer, false, 0};
  t_.Add("message " + DescribeBox(box));
  return answer;
}

}  // namespace corvane::platform::sim
