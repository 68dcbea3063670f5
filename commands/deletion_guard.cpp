#include "commands/deletion_guard.h"

#include <vector>

#include "platform/text.h"

namespace corvane::commands {

namespace {

using platform::SameText;

// A folder path taken apart: its root ("C:" or "\\server\share", upper-cased drive letter) and
// its names, with "." and ".." resolved and the trailing dots and blanks the system ignores
// removed. False for a path without a root (relative, drive-relative or rooted at "\").
struct FolderPath {
  std::string root;
  std::vector<std::string> names;
};

std::vector<std::string> Names(std::string_view rest) {
  std::vector<std::string> names;
  std::string cur;
  auto flush = [&] {
    if (cur != "." && cur != "..") {
      while (!cur.empty() && (cur.back() == '.' || cur.back() == ' ')) cur.pop_back();
    }
    if (cur == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!cur.empty() && cur != ".") {
      names.push_back(cur);
    }
    cur.clear();
  };
  for (char c : rest) {
    if (c == '\\') {
      flush();
    } else {
      cur += c;
    }
  }
  flush();
  return names;
}

bool ParseFolder(std::string_view text, FolderPath* out) {
  std::string s(text);
  for (char& c : s) {
    if (c == '/') c = '\\';
  }
  // "\\?\C:\..." and "\\.\C:\..." name the same folders as "C:\...", "\\?\UNC\..." a share.
  if (s.size() >= 4 && s[0] == '\\' && s[1] == '\\' && (s[2] == '?' || s[2] == '.') &&
      s[3] == '\\') {
    s.erase(0, 4);
    if (s.size() >= 4 && SameText(s.substr(0, 4), "UNC\\")) s = "\\\\" + s.substr(4);
  }
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
    std::vector<std::string> parts = Names(s.substr(2));
    if (parts.size() < 2) return false;  // no share: nothing below it can be named
    out->root = "\\\\" + parts[0] + "\\" + parts[1];
    out->names.assign(parts.begin() + 2, parts.end());
    return true;
  }
  if (s.size() >= 3 && s[1] == ':' && s[2] == '\\' &&
      ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'))) {
    out->root = std::string(1, static_cast<char>(s[0] & ~0x20)) + ":";
    out->names = Names(s.substr(3));
    return true;
  }
  return false;
}

// True when `inner` is `outer` or lies below it.
bool Within(const FolderPath& inner, const FolderPath& outer) {
  if (!SameText(inner.root, outer.root) || inner.names.size() < outer.names.size()) return false;
  for (size_t i = 0; i < outer.names.size(); ++i) {
    if (!SameText(inner.names[i], outer.names[i])) return false;
  }
  return true;
}

std::vector<FolderPath> SystemFolders(platform::Platform& p) {
  std::vector<std::string> texts;
  platform::SystemInfo& sys = p.system();
  std::string windows = sys.WindowsFolder();
  texts.push_back(windows);
  texts.push_back(sys.SystemFolder());
  if (!windows.empty()) {
    for (const char* sub : {"\\System32", "\\SysWOW64", "\\Sysnative"}) texts.push_back(windows + sub);
  }
  for (platform::SpecialFolder f :
       {platform::SpecialFolder::kCommonAppData, platform::SpecialFolder::kLocalAppData,
        platform::SpecialFolder::kAppData, platform::SpecialFolder::kProgramFiles,
        platform::SpecialFolder::kCommonFiles, platform::SpecialFolder::kDesktop}) {
    std::string path;
    if (p.shell().GetSpecialFolder(f, &path) == platform::Status::kOk) texts.push_back(path);
  }
  for (const char* name :
       {"SystemRoot", "windir", "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432",
        "CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432", "ProgramData",
        "ALLUSERSPROFILE", "PUBLIC", "USERPROFILE", "APPDATA", "LOCALAPPDATA"}) {
    std::string value;
    if (sys.GetEnvironment(name, &value) == platform::Status::kOk) texts.push_back(value);
  }
  std::string drive;
  if (sys.GetEnvironment("SystemDrive", &drive) == platform::Status::kOk && !drive.empty()) {
    for (const char* sub : {"\\Users", "\\Documents and Settings", "\\Program Files",
                            "\\Program Files (x86)", "\\ProgramData"}) {
      texts.push_back(drive + sub);
    }
  }
  std::vector<FolderPath> folders;
  for (const std::string& t : texts) {
    FolderPath f;
    if (t.empty() || !ParseFolder(t, &f) || f.names.empty()) continue;
    folders.push_back(f);
  }
  // The folders that hold the profiles: every folder in them is some user's profile root.
  for (const char* name : {"USERPROFILE", "PUBLIC"}) {
    std::string value;
    FolderPath f;
    if (sys.GetEnvironment(name, &value) == platform::Status::kOk && ParseFolder(value, &f) &&
        f.names.size() >= 2) {
      f.names.pop_back();
      folders.push_back(f);
    }
  }
  return folders;
}

bool IsProfilesFolder(platform::Platform& p, const FolderPath& folder) {
  platform::SystemInfo& sys = p.system();
  std::vector<std::string> holders;
  for (const char* name : {"USERPROFILE", "PUBLIC"}) {
    std::string value;
    if (sys.GetEnvironment(name, &value) == platform::Status::kOk) holders.push_back(value + "\\..");
  }
  std::string drive;
  if (sys.GetEnvironment("SystemDrive", &drive) == platform::Status::kOk && !drive.empty()) {
    holders.push_back(drive + "\\Users");
    holders.push_back(drive + "\\Documents and Settings");
  }
  for (const std::string& h : holders) {
    FolderPath f;
    if (ParseFolder(h, &f) && !f.names.empty() && Within(folder, f) &&
        folder.names.size() == f.names.size() + 1) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::string RefusedDeletionFolder(platform::Platform& platform, std::string_view folder) {
  if (folder.empty()) return "the folder is empty";
  FolderPath f;
  if (!ParseFolder(folder, &f)) return "the folder is not a full path";
  if (f.names.empty()) return "the folder is a drive or share root";
  for (const FolderPath& system : SystemFolders(platform)) {
    if (Within(system, f)) return "the folder is or holds a system folder";
  }
  if (IsProfilesFolder(platform, f)) return "the folder is a user profile";
  return std::string();
}

bool DeleteOwnFolder(platform::Platform& platform, const std::string& folder,
                     const std::string& owner, bool contents_only) {
  FolderPath f, o;
  if (!ParseFolder(folder, &f) || !ParseFolder(owner, &o)) return false;
  if (!Within(f, o) || f.names.size() <= o.names.size()) return false;
  if (!RefusedDeletionFolder(platform, folder).empty()) return false;
  platform::FileSystem& files = platform.files();
  std::string path = folder;
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  uint32_t attributes = platform::attr::kInvalid;
  if (files.GetAttributes(path, &attributes) != platform::Status::kOk) return true;
  if (!(attributes & platform::attr::kDirectory)) return false;
  if (attributes & platform::attr::kReparsePoint) {
    // A link where the engine's folder was: the link goes, what it points to stays.
    if (!contents_only) files.RemoveDirectory(path);
    return true;
  }
  for (int pass = 0; pass < 3; ++pass) platform::DeleteTreeContents(files, path);
  if (!contents_only) platform::DeleteTree(files, path);
  return true;
}

bool HasEmptyReference(const interp::Variables& variables, std::string_view raw) {
  for (size_t open = raw.find('$'); open != std::string_view::npos;
       open = raw.find('$', open + 1)) {
    size_t close = raw.find('$', open + 1);
    if (close == std::string_view::npos) break;
    if (close == open + 1) continue;
    std::string_view name = raw.substr(open + 1, close - open - 1);
    if (!variables.IsVariableDefined(name)) continue;
    std::string reference = "$" + std::string(name) + "$";
    if (variables.ExpandVariables(reference).empty()) return true;
  }
  return false;
}

std::string RefusedRegistryKey(platform::RegRoot root, std::string_view key, bool whole_key) {
  if (key.empty()) return whole_key ? "the key is a root" : std::string();
  if (key.front() == '\\' || key.back() == '\\' || key.find("\\\\") != std::string_view::npos) {
    return "the key path has an empty name in it";
  }
  if (!whole_key) return std::string();
  std::vector<std::string> names;
  size_t start = 0;
  while (true) {
    size_t cut = key.find('\\', start);
    names.emplace_back(key.substr(start, cut == std::string_view::npos ? cut : cut - start));
    if (cut == std::string_view::npos) break;
    start = cut + 1;
  }
  // Right below HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS lie whole hives and the
  // system's own branches; below HKEY_CLASSES_ROOT, the file types and classes of products.
  if (names.size() == 1 && root != platform::RegRoot::kClassesRoot) {
    return "the key lies right below a root";
  }
  static const char* const kShared[] = {
      "Software",    "Microsoft", "Windows",     "Windows NT",        "CurrentVersion",
      "Uninstall",   "Classes",   "Run",         "RunOnce",           "RunOnceEx",
      "Policies",    "Services",  "Wow6432Node", "CLSID",             "Interface",
      "TypeLib",     "AppID",     "Installer",   "CurrentControlSet", "Control",
      "Environment", "App Paths", "Explorer",    "Shell Folders",     "User Shell Folders",
      "SharedDLLs",  "Winlogon",  "Session Manager", "ProfileList",     "Fonts",
  };
  for (const char* shared : kShared) {
    if (SameText(names.back(), shared)) return "the key is shared by the system";
  }
  return std::string();
}

}  // namespace corvane::commands
