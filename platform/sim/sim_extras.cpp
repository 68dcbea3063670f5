// The extra file services of the simulated machine, built over its FileSystem and SystemInfo:
// INI lookups over the file text, version resources read from the file's PE image, short names
// generated the way NTFS forms them, and temporary files created with the create-new open.
#include <cstdio>
#include <map>

#include "platform/path_forms.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "platform/version_info.h"

namespace corvane::platform {

namespace {

class SimProfileReader : public ProfileReader {
 public:
  explicit SimProfileReader(Platform& p) : p_(p) {}
  std::string GetString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& fallback,
                        size_t buffer_size) override {
    std::string path = IsBareProfileName(file) ? p_.system().WindowsFolder() + "\\" + file : file;
    std::string contents;
    std::string value;
    if (p_.files().ReadFile(path, &contents) != Status::kOk) {
      value = fallback;
    } else {
      value = LookupProfileString(contents, section, key, fallback);
    }
    if (buffer_size == 0) return std::string();
    if (value.size() > buffer_size - 1) value.resize(buffer_size - 1);
    return value;
  }

 private:
  Platform& p_;
};

class SimVersionReader : public VersionReader {
 public:
  explicit SimVersionReader(Platform& p) : p_(p) {}
  Status GetFileVersion(const std::string& path, FileVersion* version) override {
    *version = FileVersion{};
    std::string image;
    Status s = p_.files().ReadFile(path, &image);
    if (s != Status::kOk) return s;
    return ParsePeFileVersion(image, version) ? Status::kOk : Status::kNotFound;
  }

 private:
  Platform& p_;
};

// Characters that a short name may not hold; they become "_" in a generated one.
bool IsShortNameChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u <= 0x20 || u >= 0x7F) return false;
  return std::string_view("\"*+,/:;<=>?[\\]|.").find(c) == std::string_view::npos;
}

// A name that already is a valid 8.3 name in upper case has no separate short name.
bool IsShortName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return true;
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (ext.find('.') != std::string_view::npos) return false;
  for (char c : name.substr(0, base.size())) {
    if (!IsShortNameChar(c) || UpperChar1252(c) != c) return false;
  }
  for (char c : ext) {
    if (!IsShortNameChar(c) || UpperChar1252(c) != c) return false;
  }
  return true;
}

// The "BASE~" + "." + "EXT" pattern of a generated short name, before the number.
std::pair<std::string, std::string> ShortBasis(std::string_view name) {
  size_t dot = name.rfind('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
  if (dot == 0) base = name;
  auto clean = [](std::string_view s, size_t max) {
    std::string out;
    for (char c : s) {
      if (out.size() == max) break;
      if (c == ' ' || c == '.') continue;
      out += IsShortNameChar(c) ? UpperChar1252(c) : '_';
    }
    return out;
  };
  return {clean(base, 6), clean(ext, 3)};
}

class SimPathForms : public PathForms {
 public:
  explicit SimPathForms(Platform& p) : p_(p) {}

  Status GetShortPath(const std::string& path, std::string* short_path) override {
    short_path->clear();
    FileSystem& fs = p_.files();
    std::string full = fs.GetFullPath(path);
    uint32_t attributes = 0;
    Status s = fs.GetAttributes(full, &attributes);
    if (s != Status::kOk) return s;
    // The root: "X:\" or "\\server\share\".
    size_t start = 0;
    if (full.size() >= 2 && full[1] == ':') {
      start = full.size() > 2 && full[2] == '\\' ? 3 : 2;
    } else if (full.rfind("\\\\", 0) == 0) {
      size_t server_end = full.find('\\', 2);
      size_t share_end = server_end == std::string::npos ? std::string::npos : full.find('\\', server_end + 1);
      start = share_end == std::string::npos ? full.size() : share_end + 1;
    }
    std::string out = full.substr(0, start);
    std::string parent = out;
    size_t pos = start;
    while (pos < full.size()) {
      size_t end = full.find('\\', pos);
      if (end == std::string::npos) end = full.size();
      std::string component = full.substr(pos, end - pos);
      bool trailing = end < full.size();
      pos = end + 1;
      if (component.empty()) continue;
      std::string alias;
      s = ShortNameOf(parent, component, &alias);
      if (s != Status::kOk) return s;
      out += alias;
      parent += component;
      if (trailing) {
        out += '\\';
        parent += '\\';
      }
    }
    *short_path = out;
    return Status::kOk;
  }

  Status FindFirstName(const std::string& path, std::string* name) override {
    name->clear();
    size_t cut = path.find_last_of("\\:");
    std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    std::string pattern = path.substr(cut == std::string::npos ? 0 : cut + 1);
    // Windows resolves short names anywhere in a path; the machine's folders know only long ones.
    std::string long_folder = folder;
    if (folder.find('~') != std::string::npos) {
      size_t start = folder.size() >= 2 && folder[1] == ':' ? (folder.size() > 2 && folder[2] == '\\' ? 3 : 2) : 0;
      long_folder = folder.substr(0, start);
      size_t pos = start;
      while (pos < folder.size()) {
        size_t end = folder.find('\\', pos);
        if (end == std::string::npos) end = folder.size();
        std::string component = folder.substr(pos, end - pos);
        pos = end + 1;
        if (component.empty()) continue;
        std::string real;
        if (FindFirstName(long_folder + component, &real) != Status::kOk) return Status::kNotFound;
        long_folder += real + "\\";
      }
    }
    std::vector<FileEntry> entries;
    if (p_.files().List(long_folder, pattern, &entries) == Status::kOk && !entries.empty()) {
      *name = entries.front().name;
      return Status::kOk;
    }
    // No long name matches: look for an entry whose short name is the one asked for.
    if (pattern.find_first_of("*?") != std::string::npos || pattern.find('~') == std::string::npos) {
      return Status::kNotFound;
    }
    if (p_.files().List(long_folder, "*", &entries) != Status::kOk) return Status::kNotFound;
    for (const FileEntry& e : entries) {
      std::string alias;
      if (ShortNameOf(long_folder, e.name, &alias) == Status::kOk && SameText(alias, pattern)) {
        *name = e.name;
        return Status::kOk;
      }
    }
    return Status::kNotFound;
  }

  Status CreateTempFile(const std::string& folder, const std::string& prefix,
                        std::string* path) override {
    path->clear();
    std::string base = folder;
    if (!base.empty() && base.back() != '\\') base += '\\';
    base += prefix.substr(0, 3);
    uint32_t start = p_.system().TickCount() & 0xFFFF;
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
      uint32_t n = (start + i) % 0xFFFF + 1;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(n));
      std::string candidate = base + hex + ".tmp";
      Status s = Status::kOk;
      auto file = p_.files().Open(candidate, OpenMode::kCreateNew, &s);
      if (file) {
        *path = candidate;
        return Status::kOk;
      }
      if (s != Status::kAlreadyExists) return s;
    }
    return Status::kFailed;
  }

 private:
  // The short name of `name` in `folder`: the name itself when it is a valid 8.3 name, otherwise
  // the generated "BASE~N.EXT", numbered in the folder's listing order among the names that share
  // the same basis.
  Status ShortNameOf(const std::string& folder, const std::string& name, std::string* alias) {
    std::vector<FileEntry> entries;
    Status s = p_.files().List(folder, "*", &entries);
    if (s != Status::kOk) return s;
    const FileEntry* self = nullptr;
    for (const FileEntry& e : entries) {
      if (SameText(e.name, name)) self = &e;
    }
    if (!self) return Status::kNotFound;
    if (IsShortName(self->name)) {
      *alias = self->name;
      return Status::kOk;
    }
    auto basis = ShortBasis(self->name);
    int number = 0;
    for (const FileEntry& e : entries) {
      if (IsShortName(e.name) || ShortBasis(e.name) != basis) continue;
      ++number;
      if (&e == self) break;
    }
    *alias = basis.first + "~" + std::to_string(number) + (basis.second.empty() ? "" : "." + basis.second);
    return Status::kOk;
  }

  Platform& p_;
};

}  // namespace

std::unique_ptr<ProfileReader> CreateProfileReader(Platform& p) {
  return std::make_unique<SimProfileReader>(p);
}
std::unique_ptr<VersionReader> CreateVersionReader(Platform& p) {
  return std::make_unique<SimVersionReader>(p);
}
std::unique_ptr<PathForms> CreatePathForms(Platform& p) { return std::make_unique<SimPathForms>(p); }

}  // namespace corvane::platform
