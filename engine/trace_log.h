// The trace log: tag lines around each phase of a run, so that a log ending with an opening tag
// shows where the engine stopped. Off while the log path is empty.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace corvane::engine {

class TraceLog {
 public:
  explicit TraceLog(platform::FileSystem& files) : files_(files) {}

  // The log path; the interpreter copies LOGGED into it before every command.
  void SetPath(std::string path);
  std::string path() const;

  // Appends one entry (the text and CR LF, as UTF-16LE without a byte order mark). The first
  // write of the process creates or truncates the file; every entry opens and closes it. A file
  // that cannot be created or opened raises ScriptFailure.
  void Write(std::string_view entry);

  // True until the first write of the process (the installer session report shares the flag).
  bool first_write_pending() const;

 private:
  platform::FileSystem& files_;
  mutable std::mutex mutex_;
  std::string path_;
  bool first_write_ = true;
};

}  // namespace corvane::engine
