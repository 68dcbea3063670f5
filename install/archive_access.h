// The archive library as a run reaches it. The program attaches one to the session
// (session.Attach<RunArchive>): on Windows the library opens the machine's paths as they are; the
// simulated machine hands it the host paths of its files and keeps the entries' marks itself,
// since its host keeps none.
//
// Every call may be made from any thread (the extraction jobs call it from their workers).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "install/archive_client.h"
#include "platform/files.h"

namespace corvane::interp {
class Session;
}

namespace corvane::install {

class RunArchive : public std::enable_shared_from_this<RunArchive> {
 public:
  struct Options {
    // A machine path -> the path the library opens ("" when the machine has none). Null: the
    // same path.
    std::function<std::string(const std::string&)> library_path;
    // A file system that keeps the marks its host cannot (the simulated machine): after an
    // extraction every entry's read-only, hidden and system bits go to it, and the host file is
    // left writable.
    platform::FileSystem* mark_keeper = nullptr;
    // One line per library call for a log (the simulation's transcript); may be null.
    std::function<void(const std::string&)> note;
  };

  // Owned by a shared pointer (jobs keep it alive while they run). library may be null: every
  // call then fails with load_error.
  RunArchive(std::shared_ptr<const ArchiveLibrary> library, std::string load_error,
             Options options);

  bool loaded() const { return library_ != nullptr; }

  // The run's archive access (attached with session.Attach<RunArchive>), or one whose every call
  // fails when the run has none.
  static std::shared_ptr<const RunArchive> Of(interp::Session& session);

  // ListArchiveEntries and ExtractArchiveFiles over machine paths.
  bool List(const std::string& archive, const std::string& password,
            std::vector<std::string>* entries, std::string* error) const;
  bool Extract(const std::string& archive, const std::string& password,
               const std::string& destination, const std::vector<std::string>* targets,
               const ArchiveProgress& progress, bool answer, bool keep_folders,
               std::string* error) const;

 private:
  bool Map(const std::string& path, std::string* out, std::string* error) const;
  void KeepMarks(const std::string& archive, const std::string& password,
                 const std::string& destination, const std::vector<std::string>* targets,
                 bool keep_folders) const;

  std::shared_ptr<const ArchiveLibrary> library_;
  std::string load_error_;
  Options options_;
};

}  // namespace corvane::install
