// A small in-memory platform for interpreter tests: files and folders in maps, an empty registry,
// a settable clock, and a user interface that records every message box and answers from a
// queue. Only what the interpreter core touches behaves; the rest reports kFailed.
#pragma once

#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvane::interp::testing {

struct ShownMessage {
  std::string text;
  std::string caption;
  uint32_t flags = 0;
};

class MemoryFiles : public platform::FileSystem {
 public:
  std::map<std::string, std::string> files;  // upper-cased path -> contents
  std::set<std::string> folders;             // upper-cased paths

  std::unique_ptr<platform::File> Open(const std::string&, platform::OpenMode,
                                       platform::Status* status) override;
  platform::Status ReadFile(const std::string& path, std::string* contents) override;
  platform::Status WriteFile(const std::string& path, std::string_view contents) override;
  platform::Status GetAttributes(const std::string& path, uint32_t* attributes) override;
  platform::Status SetAttributes(const std::string&, uint32_t) override;
  platform::Status GetFileSize(const std::string& path, uint64_t* size) override;
  platform::Status GetLastWriteTime(const std::string&, int64_t*) override;
  platform::Status CreateDirectory(const std::string& path) override;
  platform::Status RemoveDirectory(const std::string& path) override;
  platform::Status DeleteFile(const std::string& path) override;
  platform::Status CopyFile(const std::string&, const std::string&, bool) override;
  platform::Status MoveFile(const std::string&, const std::string&, bool) override;
  platform::Status List(const std::string&, const std::string&,
                        std::vector<platform::FileEntry>*) override;
  std::string GetCurrentDirectory() override { return "C:\\"; }
  platform::Status SetCurrentDirectory(const std::string&) override;
  std::string GetFullPath(const std::string& path) override { return path; }
  platform::Status GetDiskSpace(const std::string&, uint64_t*, uint64_t*) override;
  // A process that is not redirected: the system refuses both.
  bool DisableRedirection(uint64_t*) override { return false; }
  bool RevertRedirection(uint64_t) override { return false; }
};

class EmptyRegistry : public platform::Registry {
 public:
  using S = platform::Status;
  using R = platform::RegRoot;
  using V = platform::RegView;
  S KeyExists(R, const std::string&, V) override { return S::kNotFound; }
  S CreateKey(R, const std::string&, V) override { return S::kAccessDenied; }
  S ReadValue(R, const std::string&, const std::string&, V, platform::RegValue*) override {
    return S::kNotFound;
  }
  S WriteValue(R, const std::string&, const std::string&, V, const platform::RegValue&) override {
    return S::kAccessDenied;
  }
  S DeleteValue(R, const std::string&, const std::string&, V) override { return S::kNotFound; }
  S DeleteKeyTree(R, const std::string&, V) override { return S::kNotFound; }
  S EnumKeys(R, const std::string&, V, std::vector<std::string>*) override { return S::kNotFound; }
  S EnumValues(R, const std::string&, V, std::vector<std::string>*) override {
    return S::kNotFound;
  }
};

class ClockSystem : public platform::SystemInfo {
 public:
  uint32_t tick = 1000;
  platform::LocalTime now{2026, 12, 3, 9, 10, 20, 30, 0};
  int now_calls = 0;
  int format_calls = 0;

  uint32_t TickCount() override { return tick; }
  platform::LocalTime Now() override {
    ++now_calls;
    return now;
  }
  std::string TempFolder() override { return "C:\\Temp\\"; }
  std::string WindowsFolder() override { return "C:\\Windows"; }
  std::string SystemFolder() override { return "C:\\Windows\\system32"; }
  std::string ModulePath() override { return "C:\\Media\\setup.exe"; }
  platform::OsVersion Version() override { return {}; }
  bool Is64BitSystem() override { return true; }
  bool Is64BitProcess() override { return false; }
  bool RestrictToFirstProcessor() override { return false; }  // nothing to keep here
  std::string ShortDateFormat() override { return "dd/MM/yyyy"; }
  std::string TimeFormat() override { return "HH:mm:ss"; }
  // Only the pictures above are understood.
  std::string FormatDate(const platform::LocalTime& t, const std::string& picture) override;
  std::string FormatTime(const platform::LocalTime& t, const std::string& picture) override;
  platform::Status GetEnvironment(const std::string&, std::string*) override {
    return platform::Status::kNotFound;
  }
  platform::Status SetEnvironment(const std::string&, const std::string&, bool) override {
    return platform::Status::kFailed;
  }
  std::string ExpandEnvironment(const std::string& text) override { return text; }
  std::vector<std::pair<std::string, std::string>> EnvironmentBlock() override { return {}; }
  std::string ComputerName() override { return "TESTPC"; }
  std::string UserName() override { return "tester"; }
  uint32_t LastError() override { return 0; }
  std::string ErrorMessage(uint32_t) override { return ""; }
  std::string NewGuid() override {
    char text[40];
    std::snprintf(text, sizeof text, "{00000000-0000-4000-8000-%012X}", ++guids);
    return text;
  }
  unsigned guids = 0;
};

class RecordingUi : public platform::UserInterface {
 public:
  std::vector<ShownMessage> shown;
  std::deque<int> answers;  // button ids to return, in order; id::kOk when empty

  int MessageBox(const std::string& text, const std::string& caption, uint32_t flags) override;
};

class TestPlatform : public platform::Platform {
 public:
  MemoryFiles file_system;
  EmptyRegistry reg;
  ClockSystem clock;
  RecordingUi user_interface;

  platform::FileSystem& files() override { return file_system; }
  platform::Registry& registry() override { return reg; }
  platform::SystemInfo& system() override { return clock; }
  platform::UserInterface& ui() override { return user_interface; }
};

}  // namespace corvane::interp::testing
