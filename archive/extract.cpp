#include "archive/extract.h"

#include <chrono>
#include <fstream>

#include "archive/entry_path.h"
#include "archive/errors.h"

namespace corvane::archive {
namespace fs = std::filesystem;
namespace {

constexpr uint64_t kProgressStep = uint64_t{4} << 20;

void SetModified(const fs::path& p, const Entry& e) {
  if (!e.mtime_defined) return;
  // FILETIME counts 100 ns from 1601-01-01; the Unix epoch is 11644473600 s later.
  constexpr int64_t kEpochDelta = 116444736000000000LL;
  int64_t ticks = static_cast<int64_t>(e.mtime) - kEpochDelta;
  auto sys = std::chrono::sys_time<std::chrono::nanoseconds>(std::chrono::nanoseconds(ticks * 100));
  std::error_code ec;
  fs::last_write_time(p, std::chrono::file_clock::from_sys(sys), ec);  // best effort
}

void MakeFolders(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) Fail(kErrorWrite, "cannot create folder");
}

class FileSink : public EntrySink {
 public:
  FileSink(const std::vector<Entry>& entries, const std::vector<fs::path>& targets,
           const ExtractOptions& o, uint64_t total)
      : entries_(entries), targets_(targets), o_(o), total_(total) {}

  uint64_t done() const { return done_; }

  void Begin(size_t entry) override {
    const Entry& e = entries_[entry];
    Report(e);
    if (o_.go_on && !o_.go_on(e.path)) Fail(kErrorCancelled, "cancelled");
    skip_ = false;
    if (!Open(targets_[entry], e)) skip_ = true;
    current_ = entry;
  }

  void Write(const uint8_t* data, size_t n) override {
    if (!skip_) {
      out_.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(n));
      if (!out_) Fail(kErrorWrite, "cannot write file");
    }
    done_ += n;
    if (done_ >= next_report_) Report(entries_[current_]);
  }

  void End(size_t entry) override {
    if (skip_) return;
    out_.close();
    if (!out_) Fail(kErrorWrite, "cannot write file");
    SetModified(targets_[entry], entries_[entry]);
  }

  // Opens the target for writing; false when an existing file is to be kept.
  bool Open(const fs::path& target, const Entry& e) {
    MakeFolders(target.parent_path());
    std::error_code ec;
    fs::file_status st = fs::symlink_status(target, ec);
    if (fs::exists(st)) {
      if (fs::is_directory(st)) Fail(kErrorWrite, "a folder is in the way");
      if (o_.overwrite && !o_.overwrite(target, e.path)) return false;
      // Replace the file (or a link found there) instead of writing through it.
      fs::permissions(target, fs::perms::owner_write, fs::perm_options::add, ec);
      fs::remove(target, ec);
    }
    out_.open(target, std::ios::binary | std::ios::trunc);
    if (!out_) Fail(kErrorWrite, "cannot create file");
    return true;
  }

  void Report(const Entry& e) {
    next_report_ = done_ + kProgressStep;
    if (o_.progress && !o_.progress(e.path, done_, total_)) Fail(kErrorCancelled, "cancelled");
  }

 private:
  const std::vector<Entry>& entries_;
  const std::vector<fs::path>& targets_;
  const ExtractOptions& o_;
  uint64_t total_;
  uint64_t done_ = 0;
  uint64_t next_report_ = 0;
  size_t current_ = 0;
  bool skip_ = false;
  std::ofstream out_;
};

}  // namespace

void ExtractEntries(Archive& archive, const std::vector<bool>& selected_in,
                    const ExtractOptions& o) {
  const std::vector<Entry>& entries = archive.entries();
  std::vector<bool> selected = selected_in;
  std::vector<fs::path> targets(entries.size());
  uint64_t total = 0;
  // Every path is checked before the first byte is written.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!selected[i]) continue;
    const Entry& e = entries[i];
    if (e.is_anti || (e.is_dir && o.strip_folders)) {
      selected[i] = false;
      continue;
    }
    if (e.attrib_defined && IsLinkAttribute(e.attrib)) Fail(kErrorIllegalPath, "link entry");
    std::vector<std::u16string> parts = SafeComponents(e.name);
    fs::path target = o.destination;
    if (o.strip_folders) {
      target /= fs::path(parts.back());
    } else {
      for (const auto& part : parts) target /= fs::path(part);
    }
    targets[i] = std::move(target);
    total += e.size;
  }

  MakeFolders(o.destination);
  FileSink sink(entries, targets, o, total);
  // Folders and empty files first, in archive order; then the data, folder by folder. Each
  // entry reports progress as it starts, and so do key derivation and skipped data.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!selected[i] || entries[i].has_stream) continue;
    const Entry& e = entries[i];
    if (e.is_dir) {
      sink.Report(e);
      MakeFolders(targets[i]);
      continue;
    }
    sink.Begin(i);
    sink.End(i);
  }
  std::vector<bool> with_data(entries.size(), false);
  for (size_t i = 0; i < entries.size(); ++i) with_data[i] = selected[i] && entries[i].has_stream;
  struct Unset {
    Archive& a;
    ~Unset() { a.SetHeartbeat(nullptr); }
  } unset{archive};
  archive.SetHeartbeat([&](size_t entry) {
    if (entry < entries.size()) sink.Report(entries[entry]);
  });
  archive.Extract(with_data, sink);
}

}  // namespace corvane::archive
