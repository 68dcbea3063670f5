#include "archive/extract.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_map>

#include "archive/entry_path.h"
#include "archive/errors.h"
#include "platform/host_files.h"

namespace corvane::archive {
namespace fs = std::filesystem;
using platform::HostKind;
using platform::HostKindOf;
namespace {

constexpr uint64_t kProgressStep = uint64_t{4} << 20;

uint64_t AddCapped(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t MulCapped(uint64_t a, uint64_t b) {
  return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

void SetModified(const fs::path& p, const Entry& e) {
  if (!e.mtime_defined) return;
  // FILETIME counts 100 ns from 1601-01-01; the Unix epoch is 11644473600 s later.
  constexpr int64_t kEpochDelta = 116444736000000000LL;
  int64_t ticks = static_cast<int64_t>(e.mtime) - kEpochDelta;
  auto sys = std::chrono::sys_time<std::chrono::nanoseconds>(std::chrono::nanoseconds(ticks * 100));
  std::error_code ec;
  fs::last_write_time(p, std::chrono::file_clock::from_sys(sys), ec);  // best effort
}

// Children of a folder by name: node numbers of a tree of folders.
struct ChildKey {
  size_t parent;
  std::u16string name;
  bool operator==(const ChildKey& o) const { return parent == o.parent && name == o.name; }
};
struct ChildKeyHash {
  size_t operator()(const ChildKey& k) const {
    return std::hash<std::u16string>()(k.name) ^ (k.parent * 0x9E3779B97F4A7C15ull);
  }
};

// Who claimed each name, under the names Windows would take for the same file.
class NameClaims {
 public:
  // Refuses a file whose name another selected entry already took, or a folder where a file is.
  void Claim(const std::vector<std::u16string>& parts, bool is_dir) {
    size_t parent = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      bool folder = is_dir || i + 1 < parts.size();
      auto [it, added] = nodes_.emplace(ChildKey{parent, WindowsNameKey(parts[i])},
                                        Node{nodes_.size() + 1, folder});
      if (!added && !(folder && it->second.folder))
        Fail(kErrorIllegalPath, "two entries name the same file");
      parent = it->second.id;
    }
  }

 private:
  struct Node {
    size_t id;
    bool folder;
  };
  std::unordered_map<ChildKey, Node, ChildKeyHash> nodes_;
};

// The folders below the destination that the selected entries need, as they are named. Each is
// examined (or made) once, one component at a time from the destination down, and a link at any
// of them is refused: nothing below the destination is reached through one.
class FolderTree {
 public:
  explicit FolderTree(const fs::path& destination) : destination_(destination) {
    nodes_.push_back(Node{0, u"", true});  // the destination itself is the caller's choice
  }

  size_t Child(size_t parent, const std::u16string& name) {
    auto [it, added] = index_.emplace(ChildKey{parent, name}, nodes_.size());
    if (added) nodes_.push_back(Node{parent, name, false});
    return it->second;
  }

  fs::path PathOf(size_t node) const {
    std::vector<size_t> chain;
    for (size_t n = node; n != 0; n = nodes_[n].parent) chain.push_back(n);
    fs::path p = destination_;
    for (size_t i = chain.size(); i-- != 0;) p /= fs::path(nodes_[chain[i]].name);
    return p;
  }

  // Examines the folders of node's chain that exist, stopping at the first that does not (create
  // false), or makes the missing ones (create true).
  void Ensure(size_t node, bool create) {
    std::vector<size_t> chain;
    for (size_t n = node; !nodes_[n].ready; n = nodes_[n].parent) chain.push_back(n);
    if (chain.empty()) return;
    fs::path p = PathOf(nodes_[chain.back()].parent);
    for (size_t i = chain.size(); i-- != 0;) {
      Node& n = nodes_[chain[i]];
      p /= fs::path(n.name);
      HostKind kind = HostKindOf(p);
      if (kind == HostKind::kMissing) {
        if (!create) return;
        std::error_code ec;
        fs::create_directory(p, ec);
        kind = HostKindOf(p);  // what is there now, whoever made it
      }
      if (kind == HostKind::kLink) Fail(kErrorIllegalPath, "a link below the destination");
      if (kind != HostKind::kFolder) {
        if (!create) return;  // refused when it is reached for writing
        Fail(kErrorWrite, "cannot create folder");
      }
      n.ready = true;
    }
  }

 private:
  struct Node {
    size_t parent;
    std::u16string name;
    bool ready;  // known to be a folder, not a link
  };
  fs::path destination_;
  std::vector<Node> nodes_;
  std::unordered_map<ChildKey, size_t, ChildKeyHash> index_;
};

// Where one selected entry goes.
struct Target {
  size_t folder = 0;  // its folder's node (for a folder entry, its own)
  fs::path path;      // the file's path (empty for a folder entry)
};

void Refuse(HostKind kind) {
  if (kind == HostKind::kLink) Fail(kErrorIllegalPath, "a link below the destination");
  if (kind == HostKind::kFolder) Fail(kErrorWrite, "a folder is in the way");
  if (kind == HostKind::kOther) Fail(kErrorWrite, "cannot replace what is in the way");
}

// Writes each entry to a fresh file beside its target and moves it over the target at the end.
// Whatever ends the extraction early, the file in progress is removed.
class FileSink : public EntrySink {
 public:
  // Reports progress as an entry starts (and through the archive's heartbeat).
  void Report(const Entry& e) {
    next_report_ = done_ + kProgressStep;
    if (o_.progress && !o_.progress(e.path, done_, total_)) Fail(kErrorCancelled, "cancelled");
  }

  FileSink(const std::vector<Entry>& entries, const std::vector<Target>& targets,
           FolderTree& folders, const ExtractOptions& o, uint64_t total)
      : entries_(entries), targets_(targets), folders_(folders), o_(o), total_(total) {}
  ~FileSink() override { Abandon(); }

  void Begin(size_t entry) override {
    const Entry& e = entries_[entry];
    Report(e);
    if (o_.go_on && !o_.go_on(e.path)) Fail(kErrorCancelled, "cancelled");
    current_ = entry;
    written_ = 0;
    skip_ = false;
    const Target& t = targets_[entry];
    folders_.Ensure(t.folder, true);
    HostKind kind = HostKindOf(t.path);
    Refuse(kind);
    if (kind == HostKind::kFile && o_.overwrite && !o_.overwrite(t.path, e.path)) {
      skip_ = true;
      return;
    }
    OpenTemporary(t.path.parent_path());
  }

  void Write(const uint8_t* data, size_t n) override {
    written_ += n;
    done_ += n;
    // The reader hands out no more than the header announced; this is the sink's own count.
    if (written_ > entries_[current_].size || done_ > total_) DataError("more data than announced");
    if (!skip_ && !file_->Write(data, n)) Fail(kErrorWrite, "cannot write file");
    if (done_ >= next_report_) Report(entries_[current_]);
  }

  void End(size_t entry) override {
    if (skip_) return;
    if (written_ != entries_[entry].size) DataError("less data than announced");
    bool closed = file_->Close();
    file_.reset();
    if (!closed) Fail(kErrorWrite, "cannot write file");
    SetModified(temp_, entries_[entry]);
    // The archive's read-only, hidden and system marks, once the data is written: a read-only
    // mark is then no obstacle to writing, and the move keeps the marks.
    if (entries_[entry].attrib_defined) platform::SetHostAttributes(temp_, entries_[entry].attrib);
    const fs::path& target = targets_[entry].path;
    // Looked at again: what was checked at the start may have been swapped meanwhile.
    Refuse(HostKindOf(target));
    if (!platform::ReplaceHostFile(temp_, target)) Fail(kErrorWrite, "cannot replace file");
    temp_.clear();
  }

 private:
  void OpenTemporary(const fs::path& folder) {
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "~zel%016llx.tmp",
                    static_cast<unsigned long long>(Random()));
      temp_ = folder / name;
      file_ = platform::HostNewFile::Create(temp_);
    }
    if (!file_) {
      temp_.clear();
      Fail(kErrorWrite, "cannot create file");
    }
  }

  // Names nobody can guess ahead, so that nothing can be planted under them.
  uint64_t Random() {
    if (!seeded_) {
      std::random_device device;
      rng_.seed((uint64_t{device()} << 32) ^ device());
      seeded_ = true;
    }
    return rng_();
  }

  void Abandon() {
    file_.reset();
    if (temp_.empty()) return;
    platform::SetHostAttributes(temp_, 0);  // a read-only mark would keep it on Windows
    std::error_code ec;
    fs::remove(temp_, ec);  // a file this call created, by a name nobody else knew
    temp_.clear();
  }


  const std::vector<Entry>& entries_;
  const std::vector<Target>& targets_;
  FolderTree& folders_;
  const ExtractOptions& o_;
  uint64_t total_;
  uint64_t done_ = 0;
  uint64_t next_report_ = 0;
  size_t current_ = 0;
  uint64_t written_ = 0;
  bool skip_ = false;
  std::unique_ptr<platform::HostNewFile> file_;
  fs::path temp_;
  std::mt19937_64 rng_;
  bool seeded_ = false;
};

// The nearest folder at or above p that exists, for asking its drive's free space.
fs::path ExistingAncestor(fs::path p) {
  std::error_code ec;
  while (!p.empty() && !fs::exists(p, ec)) {
    fs::path up = p.parent_path();
    if (up == p) break;
    p = std::move(up);
  }
  return p;
}

void CheckBudget(const Archive& archive, const ExtractOptions& o, uint64_t written,
                 uint64_t decoded) {
  if (o.max_output_ratio != 0) {
    uint64_t cap = std::max(kOutputFloor, MulCapped(archive.file_size(), o.max_output_ratio));
    if (decoded > cap) Fail(kErrorLimit, "more output than the archive's size allows");
  }
  if (written == 0) return;
  std::error_code ec;
  fs::space_info space = fs::space(ExistingAncestor(o.destination), ec);
  // A drive that cannot tell is not judged.
  if (!ec && space.available != static_cast<uintmax_t>(-1) && written > space.available)
    Fail(kErrorWrite, "not enough free space");
}

}  // namespace

void ExtractEntries(Archive& archive, const std::vector<bool>& selected_in,
                    const ExtractOptions& o) {
  const std::vector<Entry>& entries = archive.entries();
  std::vector<bool> selected = selected_in;
  std::vector<Target> targets(entries.size());
  FolderTree folders(o.destination);
  NameClaims claims;
  uint64_t total = 0;    // bytes written
  uint64_t decoded = 0;  // bytes decoded: the solid blocks up to their last selected entry
  uint64_t block_run = 0, block_wanted = 0;
  size_t block = SIZE_MAX;
  // Every path is checked before the first byte is written.
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    if (e.has_stream && e.folder != block) {
      decoded = AddCapped(decoded, block_wanted);
      block = e.folder;
      block_run = block_wanted = 0;
    }
    if (e.has_stream) block_run = AddCapped(block_run, e.size);
    if (!selected[i]) continue;
    if (e.is_anti || (e.is_dir && o.strip_folders)) {
      selected[i] = false;
      continue;
    }
    if (e.attrib_defined && IsLinkAttribute(e.attrib)) Fail(kErrorIllegalPath, "link entry");
    std::vector<std::u16string> parts = SafeComponents(e.name);
    if (o.strip_folders) parts.erase(parts.begin(), parts.end() - 1);
    claims.Claim(parts, e.is_dir);
    Target& t = targets[i];
    size_t folder_parts = e.is_dir ? parts.size() : parts.size() - 1;
    for (size_t p = 0; p < folder_parts; ++p) t.folder = folders.Child(t.folder, parts[p]);
    folders.Ensure(t.folder, false);
    if (!e.is_dir) {
      t.path = folders.PathOf(t.folder) / fs::path(parts.back());
      HostKind kind = HostKindOf(t.path);
      if (kind == HostKind::kLink) Refuse(kind);
    }
    total = AddCapped(total, e.size);
    if (e.has_stream) block_wanted = block_run;
  }
  decoded = AddCapped(decoded, block_wanted);
  CheckBudget(archive, o, total, decoded);

  std::error_code ec;
  fs::create_directories(o.destination, ec);
  if (!fs::is_directory(o.destination, ec)) Fail(kErrorWrite, "cannot create folder");
  FileSink sink(entries, targets, folders, o, total);
  // Folders and empty files first, in archive order; then the data, folder by folder. Each
  // entry reports progress as it starts, and so do key derivation and skipped data.
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!selected[i] || entries[i].has_stream) continue;
    if (entries[i].is_dir) {
      sink.Report(entries[i]);
      folders.Ensure(targets[i].folder, true);
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

  // Folder entries get their marks and times last, deepest first: writing into a folder moves its
  // time, and a read-only mark would be in the way of what goes into it.
  std::vector<size_t> folder_entries;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (selected[i] && entries[i].is_dir) folder_entries.push_back(i);
  }
  std::stable_sort(folder_entries.begin(), folder_entries.end(), [&](size_t a, size_t b) {
    return targets[a].folder > targets[b].folder;  // a folder's node comes after its parent's
  });
  for (size_t i : folder_entries) {
    const Entry& e = entries[i];
    const fs::path p = folders.PathOf(targets[i].folder);
    if (e.attrib_defined) platform::SetHostAttributes(p, e.attrib);
    if (e.mtime_defined) platform::SetHostWriteTime(p, e.mtime);
  }
}

}  // namespace corvane::archive
