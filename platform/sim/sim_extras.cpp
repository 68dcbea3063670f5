// The extra file services of the simulated machine, built over its FileSystem and SystemInfo:
// INI lookups over the file text, version resources read from the file's PE image, short names
// generated the way NTFS forms them (sim_paths.h), and temporary files created with the
// create-new open.
#include <cstdio>
#include <map>

#include "platform/path_forms.h"
#include "platform/platform.h"
#include "platform/profile.h"
#include "platform/sim/sim_paths.h"
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
    // The machine's listing matches short names as well as long ones, and resolves short names
    // in the folder part.
    std::vector<FileEntry> entries;
    if (p_.files().List(folder, pattern, &entries) != Status::kOk || entries.empty()) {
      return Status::kNotFound;
    }
    *name = entries.front().name;
    return Status::kOk;
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
  // The short name of `name` in `folder` (sim::ShortNames over the folder's entries).
  Status ShortNameOf(const std::string& folder, const std::string& name, std::string* alias) {
    std::vector<FileEntry> entries;
    Status s = p_.files().List(folder, "*", &entries);
    if (s != Status::kOk) return s;
    std::vector<std::string> names;
    for (const FileEntry& e : entries) names.push_back(e.name);
    std::vector<std::string> aliases = sim::ShortNames(names);
    // The entry of that exact name, else the one it names in another letter case or as a short
    // name (as a path part resolves).
    for (int pass = 0; pass < 3; ++pass) {
      for (size_t i = 0; i < names.size(); ++i) {
        if ((pass == 0 && names[i] == name) || (pass == 1 && SameText(names[i], name)) ||
            (pass == 2 && SameText(aliases[i], name))) {
          *alias = aliases[i];
          return Status::kOk;
        }
      }
    }
    return Status::kNotFound;
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
