// The worker jobs that move installation data on disk, and the file routines they share:
//
//   DirectExtractJob  Extract 7Zip Archive: an archive into a folder
//   MediaExtractJob   a web media block's archive into the engine cache, through a staging folder
//   MediaCopyJob      the setup's own offline media into the engine cache
//
// A job's inputs are fixed when it is made; its results are read after the wait loop has seen it
// end. A job that the wait loop gave up on reports failure whatever it stored (the caller checks
// WaitLoop::abandoned()).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "install/archive_access.h"
#include "platform/platform.h"
#include "ui/wait_loop.h"

namespace corvane::interp {
class TVariableManager;
}

namespace corvane::install {

// "name, 42% complete": the progress line of a file or entry (the name without its folder).
std::string EntryProgressText(const std::string& path, int percent);
// done × 100 div total + 1, at most 100; 100 for a total of 0.
int ExtractPercent(uint64_t done, uint64_t total);

// Moves (move) or copies every file below `source` to the same place below `destination`,
// creating folders as needed; an existing target loses its marks first and is replaced. Stops and
// returns false at the first file that cannot be placed. After a move the folders left empty
// below the source and the source itself are removed; a copy leaves the source as it was. Links
// below the source are neither followed nor moved.
bool MoveFolderTree(platform::FileSystem& files, const std::string& source,
                    const std::string& destination, bool move);

// Copies `from` over `to` when their sizes differ (a missing file has size 0); nothing happens
// when `to` has no drive or share part. The folder of `to` is made and given the cache
// compression setting (`compress`).
void CopyFileIfSizeDiffers(platform::Platform& platform, const std::string& from,
                           const std::string& to, bool compress);

// The staging folder of the media extraction: a folder of its own with a random name in the
// user's temporary folder, made new (never one that was there already), emptied before use and
// removed through the engine's deletion routine when the object goes.
class StagingFolder {
 public:
  explicit StagingFolder(platform::Platform& platform);
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  // With a trailing backslash; empty when no folder could be made.
  const std::string& path() const { return path_; }

 private:
  platform::Platform& platform_;
  std::string temp_, path_;
};

// Extract 7Zip Archive's job.
class DirectExtractJob : public ui::BackgroundJob {
 public:
  struct Fields {
    std::string archive, destination, password;
    bool answer = false;
    bool keep_folders = true;
  };
  DirectExtractJob(platform::Platform& platform, std::shared_ptr<const RunArchive> archive,
                   Fields fields)
      : platform_(platform), archive_(std::move(archive)), f_(std::move(fields)) {}
  void Work(ui::ProgressChannel& progress) override;

  bool succeeded() const { return succeeded_; }
  const std::string& error() const { return error_; }

 private:
  platform::Platform& platform_;
  std::shared_ptr<const RunArchive> archive_;
  const Fields f_;
  bool succeeded_ = false;
  std::string error_ = "The extraction did not end";
};

// One line of the support-file placement list: a file of a block's archive that goes to a
// folder of the engine cache.
struct Placement {
  std::string block;   // the block's name (the archive's file name without extension)
  std::string entry;   // path below the block's top folder in the archive
  std::string folder;  // relative to the engine cache folder, with a trailing backslash
};
// The placement list of the script image (item 19: block, entry path, folder, ...).
std::vector<Placement> ReadPlacements(const std::vector<std::string>& lines);

// The web media extraction job.
class MediaExtractJob : public ui::BackgroundJob {
 public:
  struct Fields {
    std::string archive;           // the block's archive
    std::string destination_root;  // the engine cache folder, with a trailing backslash
    std::string password;
    bool keep_archive = false;  // a local archive beside the setup: never deleted
    std::string status_prefix;  // "Extracting Web Media: Block1"
    std::string copy_folder;    // COPYWEBLOCK: where a copy of the archive goes ("" for none)
    bool compress = false;      // VORT_COMPRESS_INSTALLER_CACHE
    std::vector<Placement> placements;
  };
  MediaExtractJob(platform::Platform& platform, std::shared_ptr<const RunArchive> archive,
                  Fields fields)
      : platform_(platform), archive_(std::move(archive)), f_(std::move(fields)) {}
  void Work(ui::ProgressChannel& progress) override;

  bool succeeded() const { return succeeded_; }
  // The archive could not be opened (unsupported, or the password is wrong).
  bool cannot_open() const { return cannot_open_; }
  const std::string& error() const { return error_; }

 private:
  bool Place(const std::string& staging, const std::string& base);

  platform::Platform& platform_;
  std::shared_ptr<const RunArchive> archive_;
  const Fields f_;
  bool succeeded_ = false;
  bool cannot_open_ = false;
  std::string error_;
};

// The offline media copy job.
class MediaCopyJob : public ui::BackgroundJob {
 public:
  struct Fields {
    std::string source;       // the setup's source folder (holding "offline" and "mergemod")
    std::string destination;  // the engine cache folder, with a trailing backslash
    bool compress = false;
    // Copy, never move (#CACHESOURCES# "TRUE" in a web build; and always for media that are not
    // the engine's own, see MayMove).
    bool copy_only = false;
    // The folder the engine extracted its own files into (the support folder): media below it
    // may be moved, media anywhere else are the user's and are copied.
    std::string own_folder;
    // COPYWEBLOCK and the setup file (SFXPATH + SFXFILE) it receives a copy of.
    std::string copy_folder, setup_file;
  };
  MediaCopyJob(platform::Platform& platform, Fields fields)
      : platform_(platform), f_(std::move(fields)) {}
  void Work(ui::ProgressChannel& progress) override;

  bool succeeded() const { return succeeded_; }

 private:
  platform::Platform& platform_;
  const Fields f_;
  bool succeeded_ = false;
};

}  // namespace corvane::install
