#include "platform/sim/sim_shell.h"

#include "platform/sim/sim_common.h"
#include "platform/text.h"

namespace corvane::platform::sim {

Status SimShell::RestartComputer(std::string* why) {
  if (machine_.restart_refused) {
    *why = "the machine refuses to restart (restart.refused)";
    return Status::kAccessDenied;
  }
  ++restart_requests_;
  why->clear();
  return Status::kOk;
}

namespace {

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path.push_back('\\');
  return path;
}

std::string WithoutBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

Status SimShell::GetSpecialFolder(SpecialFolder folder, std::string* path) {
  const std::string& profile = machine_.profile;
  const std::string program_files = machine_.windows64 && !machine_.process64
                                        ? "C:\\Program Files (x86)"
                                        : "C:\\Program Files";
  switch (folder) {
    case SpecialFolder::kCommonAppData: *path = "C:\\ProgramData"; break;
    case SpecialFolder::kLocalAppData: *path = profile + "\\AppData\\Local"; break;
    case SpecialFolder::kAppData: *path = profile + "\\AppData\\Roaming"; break;
    case SpecialFolder::kProgramFiles: *path = program_files; break;
    case SpecialFolder::kCommonFiles: *path = program_files + "\\Common Files"; break;
    case SpecialFolder::kDesktop: *path = profile + "\\Desktop"; break;
    default: path->clear(); return Status::kNotFound;
  }
  *path = WithBackslash(*path);
  return Status::kOk;
}

Status SimShell::GetShellFolder(int csidl, std::string* path) {
  const std::string& p = machine_.profile;
  const std::string roaming = p + "\\AppData\\Roaming";
  const std::string local = p + "\\AppData\\Local";
  const std::string ms = roaming + "\\Microsoft\\Windows";
  const std::string menu = ms + "\\Start Menu";
  const std::string common_menu = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu";
  const std::string pub = "C:\\Users\\Public";
  switch (csidl) {
    case 0x00: *path = p + "\\Desktop"; break;
    case 0x02: *path = menu + "\\Programs"; break;
    case 0x05: *path = p + "\\Documents"; break;
    case 0x06: *path = p + "\\Favorites"; break;
    case 0x07: *path = menu + "\\Programs\\Startup"; break;
    case 0x08: *path = ms + "\\Recent"; break;
    case 0x09: *path = ms + "\\SendTo"; break;
    case 0x0B: *path = menu; break;
    case 0x0D: *path = p + "\\Music"; break;
    case 0x0E: *path = p + "\\Videos"; break;
    case 0x13: *path = ms + "\\Network Shortcuts"; break;
    case 0x14: *path = machine_.windows_folder + "\\Fonts"; break;
    case 0x15: *path = ms + "\\Templates"; break;
    case 0x16: *path = common_menu; break;
    case 0x17: *path = common_menu + "\\Programs"; break;
    case 0x18: *path = common_menu + "\\Programs\\Startup"; break;
    case 0x19: *path = pub + "\\Desktop"; break;
    case 0x1A: *path = roaming; break;
    case 0x1B: *path = ms + "\\Printer Shortcuts"; break;
    case 0x1C: *path = local; break;
    case 0x1F: *path = p + "\\Favorites"; break;  // Windows 10 shares the user's favorites
    case 0x20: *path = local + "\\Microsoft\\Windows\\INetCache"; break;
    case 0x21: *path = local + "\\Microsoft\\Windows\\INetCookies"; break;
    case 0x23: *path = "C:\\ProgramData"; break;
    case 0x27: *path = p + "\\Pictures"; break;
    case 0x28: *path = p; break;
    case 0x2E: *path = pub + "\\Documents"; break;
    case 0x2F: *path = common_menu + "\\Programs\\Administrative Tools"; break;
    case 0x30: *path = menu + "\\Programs\\Administrative Tools"; break;
    case 0x35: *path = pub + "\\Music"; break;
    case 0x36: *path = pub + "\\Pictures"; break;
    case 0x37: *path = pub + "\\Videos"; break;
    case 0x3B: *path = local + "\\Microsoft\\Windows\\Burn\\Burn"; break;
    default: path->clear(); return Status::kNotFound;
  }
  *path = WithBackslash(*path);
  return Status::kOk;
}

bool SimShell::IsAdministrator() { return machine_.admin && machine_.version.platform_id == 2; }

Status SimShell::DeleteAtRestart(const std::string& path) {
  std::string full = WithoutBackslash(files_.GetFullPath(path));
  uint32_t attributes = 0;
  Status s = files_.GetAttributes(full, &attributes);
  if (s != Status::kOk) return s;
  if (!IsAdministrator()) return Status::kAccessDenied;
  std::lock_guard<std::mutex> lock(mu_);
  std::string list;
  ReadHostFile(PendingFile(), &list);
  list += full + "\n";
  return WriteHostFile(PendingFile(), list) ? Status::kOk : Status::kFailed;
}

std::vector<std::string> SimShell::PendingDeletions() {
  std::lock_guard<std::mutex> lock(mu_);
  std::string list;
  std::vector<std::string> out;
  if (!ReadHostFile(PendingFile(), &list)) return out;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) out.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

size_t SimShell::ApplyPendingDeletions() {
  size_t deleted = 0;
  for (const std::string& path : PendingDeletions()) {
    uint32_t attributes = 0;
    if (files_.GetAttributes(path, &attributes) != Status::kOk) continue;
    Status s = (attributes & attr::kDirectory) ? files_.RemoveDirectory(path)
                                               : files_.DeleteFile(path);
    if (s == Status::kOk) ++deleted;
  }
  std::lock_guard<std::mutex> lock(mu_);
  std::error_code ec;
  std::filesystem::remove(PendingFile(), ec);
  return deleted;
}

Status SimShell::SetCompression(const std::string& path, bool compressed) {
  std::string full = WithoutBackslash(files_.GetFullPath(path));
  uint32_t attributes = 0;
  Status s = files_.GetAttributes(full, &attributes);
  if (s != Status::kOk) return s;
  std::lock_guard<std::mutex> lock(mu_);
  if (compressed) {
    compressed_.insert(UpperCase(full));
  } else {
    compressed_.erase(UpperCase(full));
  }
  return Status::kOk;
}

bool SimShell::IsCompressed(const std::string& path) {
  std::string full = UpperCase(WithoutBackslash(files_.GetFullPath(path)));
  std::lock_guard<std::mutex> lock(mu_);
  return compressed_.count(full) != 0;
}

Status SimShell::PlaySoundFile(const std::string& path) {
  if (!files_.FileExists(path)) return Status::kNotFound;
  std::lock_guard<std::mutex> lock(mu_);
  sounds_.push_back(path);
  return Status::kOk;
}

std::vector<std::string> SimShell::PlayedSounds() {
  std::lock_guard<std::mutex> lock(mu_);
  return sounds_;
}

}  // namespace corvane::platform::sim

namespace corvane::platform::sim {
namespace {

constexpr char kPinTaskbar[] = "Pin to Tas&kbar";
constexpr char kUnpinTaskbar[] = "Unpin from Tas&kbar";
constexpr char kPinStart[] = "Pin to Start Men&u";
constexpr char kUnpinStart[] = "Unpin from Start Men&u";

bool Pinnable(const std::string& path) {
  const std::string upper = UpperCase(path);
  return upper.size() > 4 && (upper.compare(upper.size() - 4, 4, ".LNK") == 0 ||
                              upper.compare(upper.size() - 4, 4, ".EXE") == 0);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
    start = end + 1;
  }
  return out;
}

}  // namespace

std::vector<std::string> SimShell::PinnedLines() {
  std::string text;
  ReadHostFile(PinnedFile(), &text);
  return Lines(text);
}

void SimShell::SavePinnedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  WriteHostFile(PinnedFile(), text);
}

std::vector<std::string> SimShell::PinnedPlaces(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string full = UpperCase(files_.GetFullPath(path));
  std::vector<std::string> places;
  for (const char* place : {"taskbar", "startmenu"}) {
    for (const std::string& line : PinnedLines()) {
      if (line == std::string(place) + " " + full) places.push_back(place);
    }
  }
  return places;
}

Status SimShell::SetShortcutIdentity(const std::string& shortcut, const std::string& identity) {
  std::string text;
  if (!files_.FileExists(shortcut)) return Status::kNotFound;
  if (files_.ReadFile(shortcut, &text) != Status::kOk || text.rfind("[shortcut]", 0) != 0) {
    return Status::kFailed;  // not a shortcut this machine can read
  }
  std::string out;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("identity=", 0) != 0) out += line + "\r\n";
  }
  out += "identity=" + identity + "\r\n";
  return files_.WriteFile(shortcut, out);
}

Status SimShell::ShellVerbs(const std::string& path, std::vector<std::string>* verbs) {
  verbs->clear();
  if (!files_.FileExists(path)) return Status::kNotFound;
  verbs->push_back("&Open");
  if (!Pinnable(path)) return Status::kOk;
  const std::vector<std::string> places = PinnedPlaces(path);
  auto pinned = [&](const char* place) {
    for (const std::string& p : places) {
      if (p == place) return true;
    }
    return false;
  };
  const OsVersion& v = machine_.version;
  if (v.major > 5 || (v.major == 5 && v.minor >= 1)) {
    verbs->push_back(pinned("startmenu") ? kUnpinStart : kPinStart);
  }
  if (v.major > 6 || (v.major == 6 && v.minor >= 1)) {
    verbs->push_back(pinned("taskbar") ? kUnpinTaskbar : kPinTaskbar);
  }
  return Status::kOk;
}

Status SimShell::InvokeShellVerb(const std::string& path, const std::string& verb) {
  std::vector<std::string> offered;
  if (ShellVerbs(path, &offered) != Status::kOk) return Status::kNotFound;
  bool found = false;
  for (const std::string& o : offered) found = found || o == verb;
  if (!found) return Status::kNotFound;
  const bool taskbar = verb == kPinTaskbar || verb == kUnpinTaskbar;
  const bool pin = verb == kPinTaskbar || verb == kPinStart;
  if (!taskbar && !pin && verb != kUnpinStart) return Status::kOk;  // "&Open": nothing to keep
  std::lock_guard<std::mutex> lock(mu_);
  const std::string line =
      std::string(taskbar ? "taskbar " : "startmenu ") + UpperCase(files_.GetFullPath(path));
  std::vector<std::string> lines;
  for (const std::string& l : PinnedLines()) {
    if (l != line) lines.push_back(l);
  }
  if (pin) lines.push_back(line);
  SavePinnedLines(lines);
  return Status::kOk;
}

std::vector<std::string> SimShell::ShellTexts(int id) {
  switch (id) {
    case 5386: return {kPinTaskbar};
    case 5387: return {kUnpinTaskbar};
    case 5381: return {kPinStart};
    case 5382: return {kUnpinStart};
    default: return {};
  }
}

}  // namespace corvane::platform::sim
