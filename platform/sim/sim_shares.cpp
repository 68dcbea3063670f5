#include "platform/sim/sim_shares.h"

#include <cstdio>
#include <sstream>

#include "platform/numbers.h"
#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

namespace {

constexpr uint32_t kErrorBadNetPath = 53;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kNerrUnknownDevDir = 2116;
constexpr uint32_t kNerrDuplicateShare = 2118;
constexpr uint32_t kNerrNetNameNotFound = 2310;

// Read and run: what everyone may do with a new share.
constexpr uint32_t kShareRead = 0x001200A9;

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

bool IsShareName(const std::string& name) {
  return !name.empty() && name.size() <= 80 &&
         name.find_first_of("\\/[]:|<>+=;,?*\"") == std::string::npos;
}

struct FlagName {
  uint8_t flag;
  const char* name;
};
constexpr FlagName kFlagNames[] = {{ace_flag::kObjectInherit, "OI"},
                                   {ace_flag::kContainerInherit, "CI"},
                                   {ace_flag::kNoPropagate, "NP"},
                                   {ace_flag::kInheritOnly, "IO"},
                                   {ace_flag::kInherited, "ID"}};

}  // namespace

std::string AccessEntryText(const AccessEntry& e) {
  char mask[16];
  std::snprintf(mask, sizeof mask, "0x%08X", static_cast<unsigned>(e.mask));
  std::string text = std::string(e.allow ? "allow " : "deny ") + e.sid + " " + mask;
  for (const FlagName& f : kFlagNames) {
    if ((e.flags & f.flag) != 0) text += std::string(" ") + f.name;
  }
  return text;
}

bool ParseAccessEntry(const std::string& text, AccessEntry* entry) {
  std::istringstream in(text);
  std::string kind, sid, mask, flag;
  if (!(in >> kind >> sid >> mask)) return false;
  AccessEntry e;
  if (kind == "allow") {
    e.allow = true;
  } else if (kind == "deny") {
    e.allow = false;
  } else {
    return false;
  }
  if (sid.rfind("S-", 0) != 0) return false;
  e.sid = sid;
  std::optional<int32_t> m = ParseScriptInteger(mask);
  if (!m) return false;
  e.mask = static_cast<uint32_t>(*m);
  while (in >> flag) {
    bool known = false;
    for (const FlagName& f : kFlagNames) {
      if (flag == f.name) {
        e.flags |= f.flag;
        known = true;
      }
    }
    if (!known) return false;
  }
  *entry = e;
  return true;
}

std::vector<AccessEntry> SimShares::DefaultAccess() { return {{sid::kEveryone, kShareRead, 0, true}}; }

SimShares::SimShares(const std::filesystem::path& machine_folder,
                     const MachineDescription& machine, SimFileSystem& files)
    : table_file_(machine_folder / "shares.txt"), machine_(machine), files_(files) {
  std::string text;
  if (!ReadHostFile(table_file_, &text)) {
    const std::string drive = machine.windows_folder.substr(0, 2);
    table_.push_back({{"ADMIN$", machine.windows_folder, "Remote Admin", kUnlimitedUsers}, {}});
    table_.push_back(
        {{drive.substr(0, 1) + "$", drive + "\\", "Default share", kUnlimitedUsers}, {}});
    table_.push_back({{"IPC$", "", "Remote IPC", kUnlimitedUsers}, {}});
    return;
  }
  std::istringstream lines(Cp1252FromUtf8(text));
  std::string line;
  int number = 0;
  SimShare* current = nullptr;
  auto warn = [&](const std::string& what) {
    warnings_ += "shares.txt line " + std::to_string(number) + ": " + what + "\n";
  };
  while (std::getline(lines, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      table_.push_back({});
      current = &table_.back();
      current->info.name = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    if (current == nullptr) {
      warn("a line before the first share");
      continue;
    }
    AccessEntry entry;
    if (line.rfind("allow ", 0) == 0 || line.rfind("deny ", 0) == 0) {
      if (ParseAccessEntry(line, &entry)) {
        if (!current->access) current->access.emplace();
        current->access->push_back(entry);
      } else {
        warn("not an access entry: " + line);
      }
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      warn("not a key = value line");
      continue;
    }
    const std::string key = LowerCase(Trim(line.substr(0, eq))), value = Trim(line.substr(eq + 1));
    if (key == "path") {
      current->info.path = value;
    } else if (key == "comment") {
      current->info.comment = value;
    } else if (key == "access" && SameText(value, "empty")) {
      current->access.emplace();
    } else if (key == "users") {
      std::optional<int32_t> n = ParseScriptInteger(value);
      if (SameText(value, "unlimited")) {
        current->info.max_users = kUnlimitedUsers;
      } else if (n && *n > 0) {
        current->info.max_users = *n;
      } else {
        warn("users is neither unlimited nor a number: " + value);
      }
    } else {
      warn("unknown key " + key);
    }
  }
}

bool SimShares::Reachable(const std::string& computer) const {
  return computer.empty() || SameText(computer, machine_.computer) ||
         SameText(computer, "\\\\" + machine_.computer);
}

bool SimShares::MayChange() const { return machine_.admin && machine_.facts.elevated; }

SimShare* SimShares::Find(const std::string& name) {
  for (SimShare& s : table_) {
    if (SameText(s.info.name, name)) return &s;
  }
  return nullptr;
}

void SimShares::Save() {
  std::string text = "# The shares of the machine (see platform/sim/sim_shares.h).\n";
  for (const SimShare& s : table_) {
    text += "[" + s.info.name + "]\n";
    if (!s.info.path.empty()) text += "path = " + s.info.path + "\n";
    if (!s.info.comment.empty()) text += "comment = " + s.info.comment + "\n";
    text += "users = " +
            (s.info.max_users < 0 ? std::string("unlimited") : std::to_string(s.info.max_users)) +
            "\n";
    if (s.access && s.access->empty()) text += "access = empty\n";
    if (s.access) {
      for (const AccessEntry& e : *s.access) text += AccessEntryText(e) + "\n";
    }
  }
  WriteHostFile(table_file_, Utf8From1252(text));
}

Status SimShares::AddShare(const std::string& computer, const ShareInfo& share) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, kErrorBadNetPath);
  if (!IsShareName(share.name)) return RecordError(Status::kFailed, kErrorInvalidName);
  if (!MayChange()) return Record(Status::kAccessDenied);
  if (!files_.DirectoryExists(share.path)) {
    return RecordError(Status::kNotFound, kNerrUnknownDevDir);
  }
  std::lock_guard<std::mutex> lock(mu_);
  if (Find(share.name) != nullptr) return RecordError(Status::kAlreadyExists, kNerrDuplicateShare);
  SimShare added{share, std::nullopt};
  added.info.path = files_.GetFullPath(share.path);
  table_.push_back(added);
  Save();
  return Status::kOk;
}

Status SimShares::DeleteShare(const std::string& computer, const std::string& name) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, kErrorBadNetPath);
  if (!MayChange()) return Record(Status::kAccessDenied);
  std::lock_guard<std::mutex> lock(mu_);
  for (auto it = table_.begin(); it != table_.end(); ++it) {
    if (SameText(it->info.name, name)) {
      table_.erase(it);
      Save();
      return Status::kOk;
    }
  }
  return RecordError(Status::kNotFound, kNerrNetNameNotFound);
}

Status SimShares::GetShare(const std::string& computer, const std::string& name,
                           ShareInfo* share) {
  if (!Reachable(computer)) return RecordError(Status::kFailed, kErrorBadNetPath);
  std::lock_guard<std::mutex> lock(mu_);
  SimShare* s = Find(name);
  if (s == nullptr) return RecordError(Status::kNotFound, kNerrNetNameNotFound);
  *share = s->info;
  return Status::kOk;
}

namespace {

void SplitShare(const std::string& text, std::string* computer, std::string* name) {
  computer->clear();
  *name = text;
  if (text.rfind("\\\\", 0) != 0) return;
  size_t slash = text.find('\\', 2);
  if (slash == std::string::npos) return;
  *computer = text.substr(2, slash - 2);
  *name = text.substr(slash + 1);
}

}  // namespace

Status SimShares::ShareAccess(const std::string& share, std::vector<AccessEntry>* entries) {
  std::string computer, name;
  SplitShare(share, &computer, &name);
  if (!Reachable(computer)) return RecordError(Status::kFailed, kErrorBadNetPath);
  std::lock_guard<std::mutex> lock(mu_);
  SimShare* s = Find(name);
  if (s == nullptr) return RecordError(Status::kNotFound, kNerrNetNameNotFound);
  *entries = s->access ? *s->access : DefaultAccess();
  return Status::kOk;
}

Status SimShares::SetShareAccess(const std::string& share,
                                 const std::vector<AccessEntry>& entries) {
  std::string computer, name;
  SplitShare(share, &computer, &name);
  if (!Reachable(computer)) return RecordError(Status::kFailed, kErrorBadNetPath);
  if (!MayChange()) return Record(Status::kAccessDenied);
  std::lock_guard<std::mutex> lock(mu_);
  SimShare* s = Find(name);
  if (s == nullptr) return RecordError(Status::kNotFound, kNerrNetNameNotFound);
  s->access = entries;
  Save();
  return Status::kOk;
}

std::vector<SimShare> SimShares::Table() {
  std::lock_guard<std::mutex> lock(mu_);
  return table_;
}

}  // namespace corvane::platform::sim
