#include "install/archive_access.h"

#include <set>

#include "interp/session.h"
#include "platform/host_files.h"
#include "platform/text.h"

namespace corvane::install {

namespace {

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

constexpr uint32_t kKeptMarks =
    platform::attr::kReadOnly | platform::attr::kHidden | platform::attr::kSystem;

}  // namespace

std::shared_ptr<const RunArchive> RunArchive::Of(interp::Session& session) {
  if (RunArchive* a = session.Find<RunArchive>()) return a->shared_from_this();
  return std::make_shared<RunArchive>(nullptr, "The archive library is not loaded", Options{});
}

RunArchive::RunArchive(std::shared_ptr<const ArchiveLibrary> library, std::string load_error,
                       Options options)
    : library_(std::move(library)),
      load_error_(std::move(load_error)),
      options_(std::move(options)) {}

bool RunArchive::Map(const std::string& path, std::string* out, std::string* error) const {
  if (!options_.library_path) {
    *out = path;
    return true;
  }
  *out = options_.library_path(path);
  if (out->empty()) {
    // The library must not be handed a path of the host that the machine does not name.
    *error = ListingFailureMessage(1001);
    return false;
  }
  return true;
}

bool RunArchive::List(const std::string& archive, const std::string& password,
                      std::vector<std::string>* entries, std::string* error) const {
  entries->clear();
  if (!library_) {
    *error = load_error_;
    return false;
  }
  std::string path;
  if (!Map(archive, &path, error)) return false;
  return ListArchiveEntries(*library_, path, password, entries, error);
}

bool RunArchive::Extract(const std::string& archive, const std::string& password,
                         const std::string& destination, const std::vector<std::string>* targets,
                         const ArchiveProgress& progress, bool answer, bool keep_folders,
                         std::string* error) const {
  if (!library_) {
    *error = load_error_;
    return false;
  }
  std::string archive_path, destination_path;
  if (!Map(archive, &archive_path, error) || !Map(destination, &destination_path, error)) {
    return false;
  }
  const bool ok = ExtractArchiveFiles(*library_, archive_path, password, destination_path, targets,
                                      progress, answer, keep_folders, error);
  if (options_.note) {
    options_.note("archive extract " + archive + " -> " + destination +
                  (ok ? "" : " (failed: " + *error + ")"));
  }
  if (ok && options_.mark_keeper) KeepMarks(archive, password, destination, targets, keep_folders);
  return ok;
}

void RunArchive::KeepMarks(const std::string& archive, const std::string& password,
                           const std::string& destination, const std::vector<std::string>* targets,
                           bool keep_folders) const {
  std::string archive_path, error;
  if (!Map(archive, &archive_path, &error)) return;
  std::vector<ArchiveEntryInfo> records;
  if (!ListArchiveRecords(*library_, archive_path, password, &records, &error)) return;
  std::set<std::string> wanted;
  if (targets) {
    for (const std::string& t : *targets) wanted.insert(platform::UpperCase(t));
  }
  const std::string base = WithBackslash(destination);
  for (const ArchiveEntryInfo& r : records) {
    if (targets && wanted.count(platform::UpperCase(r.path)) == 0) continue;
    const bool folder = (r.attributes & platform::attr::kDirectory) != 0;
    if (folder && !keep_folders) continue;
    std::string relative = keep_folders ? r.path : FileNameOf(r.path);
    for (char& c : relative) {
      if (c == '/') c = '\\';
    }
    const std::string path = base + relative;
    std::string host;
    if (!Map(path, &host, &error)) continue;
    // The host's own read-only mark would stand in the way of the machine's file calls: the
    // machine keeps the marks.
    platform::SetHostAttributes(host, 0);
    const uint32_t marks = r.attributes & kKeptMarks;
    if (marks != 0) {
      options_.mark_keeper->SetAttributes(path, marks | (r.attributes & platform::attr::kArchive) |
                                                    (folder ? platform::attr::kDirectory : 0));
    }
  }
}

}  // namespace corvane::install
