#include "platform/sim/sim_package.h"

#include <algorithm>
#include <cctype>
#include <functional>

#include "platform/sim/sim_msi_database.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

bool IsIdentifier(const std::string& s) {
  if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
  return std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  });
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

// The rows of a query, none when the table is missing.
std::vector<InstallerRecord> Rows(InstallerDatabase& db, const std::string& sql) {
  std::vector<InstallerRecord> rows;
  if (db.Run(sql, {}, &rows) != Status::kOk) rows.clear();
  return rows;
}

const std::string& Text(const InstallerRecord& r, size_t i) {
  static const std::string empty;
  return i < r.size() && r[i].kind == InstallerField::Kind::kText ? r[i].text : empty;
}
int32_t Number(const InstallerRecord& r, size_t i) {
  return i < r.size() && r[i].kind == InstallerField::Kind::kInteger ? r[i].number : 0;
}

// The long form of a "short|long" name.
std::string LongName(const std::string& name) {
  size_t bar = name.find('|');
  return bar == std::string::npos ? name : name.substr(bar + 1);
}

}  // namespace

uint32_t Package::Load(const std::filesystem::path& host_path) {
  Status status;
  db_ = OpenMsiDatabase(host_path, true, &status);
  if (!db_) return session_result::kPackageOpenFailed;
  std::vector<InstallerRecord> rows;
  if (db_->Run("SELECT `Property`, `Value` FROM `Property`", {}, &rows) != Status::kOk) {
    return session_result::kPackageInvalid;
  }
  for (const InstallerRecord& r : rows) properties_[Text(r, 0)] = Text(r, 1);
  auto code = properties_.find("ProductCode");
  if (code == properties_.end() || code->second.empty()) return session_result::kPackageInvalid;
  product_code_ = code->second;
  InstallerField field;
  if (db_->GetSummary(summary::kRevisionNumber, &field) == Status::kOk) package_code_ = field.text;
  if (db_->GetSummary(summary::kTemplate, &field) == Status::kOk) {
    platform_ = field.text.substr(0, field.text.find(';'));
  }
  if (db_->GetSummary(summary::kWordCount, &field) == Status::kOk) word_count_ = field.number;
  for (const InstallerRecord& r :
       Rows(*db_, "SELECT `Condition`, `Description` FROM `LaunchCondition`")) {
    conditions_.push_back({Text(r, 0), Text(r, 1)});
  }
  for (const InstallerRecord& r :
       Rows(*db_, "SELECT `Directory`, `Directory_Parent`, `DefaultDir` FROM `Directory`")) {
    directories_[Text(r, 0)] = {Text(r, 1), Text(r, 2)};
  }
  for (const InstallerRecord& r :
       Rows(*db_, "SELECT `Component`, `Directory_`, `Attributes` FROM `Component`")) {
    components_[Text(r, 0)] = {Text(r, 1), Number(r, 2)};
  }
  for (const InstallerRecord& r : Rows(*db_,
           "SELECT `File`, `Component_`, `FileName`, `FileSize`, `Sequence`, `Attributes` "
           "FROM `File`")) {
    files_.push_back({Text(r, 0), Text(r, 1), LongName(Text(r, 2)), Number(r, 3), Number(r, 4),
                      Number(r, 5)});
  }
  std::sort(files_.begin(), files_.end(),
            [](const PackageFile& a, const PackageFile& b) { return a.sequence < b.sequence; });
  for (const InstallerRecord& r : Rows(*db_, "SELECT `LastSequence`, `Cabinet` FROM `Media`")) {
    media_.push_back({Number(r, 0), Text(r, 1)});
  }
  std::sort(media_.begin(), media_.end(), [](const PackageMedia& a, const PackageMedia& b) {
    return a.last_sequence < b.last_sequence;
  });
  for (const InstallerRecord& r : Rows(*db_,
           "SELECT `Root`, `Key`, `Name`, `Value`, `Component_` FROM `Registry`")) {
    PackageRegistry row;
    row.root = Number(r, 0);
    row.key = Text(r, 1);
    row.name = Text(r, 2);
    row.has_name = r.size() > 2 && !r[2].is_null();
    row.value = Text(r, 3);
    row.has_value = r.size() > 3 && !r[3].is_null();
    row.component = Text(r, 4);
    registry_.push_back(std::move(row));
  }
  for (const InstallerRecord& r : Rows(*db_,
           "SELECT `Directory_`, `Name`, `Component_`, `Target`, `Description` FROM `Shortcut`")) {
    shortcuts_.push_back({Text(r, 0), LongName(Text(r, 1)), Text(r, 2), Text(r, 3), Text(r, 4)});
  }
  return 0;
}

std::string Package::SourceFolder(const std::string& directory) const {
  std::string path;
  std::string id = directory;
  for (size_t depth = 0; depth < directories_.size(); ++depth) {  // a cycle ends the walk
    auto it = directories_.find(id);
    if (it == directories_.end() || it->second.parent.empty() || it->second.parent == id) break;
    const std::string& dd = it->second.default_dir;
    const size_t colon = dd.find(':');
    const std::string name = LongName(colon == std::string::npos ? dd : dd.substr(colon + 1));
    if (!name.empty() && name != ".") path = name + "\\" + path;
    id = it->second.parent;
  }
  return path;
}

bool Package::ReadStream(const std::string& name, std::string* data) {
  std::vector<InstallerRecord> rows;
  if (!db_ ||
      RunReadingStreams(*db_, "SELECT `Data` FROM `_Streams` WHERE `Name` = ?",
                        {InstallerField::Text(name)}, &rows) != Status::kOk ||
      rows.size() != 1 || rows[0].empty() || rows[0][0].is_null()) {
    return false;
  }
  *data = std::move(rows[0][0].text);
  return true;
}

bool ParseCommandLine(const std::string& line,
                      std::vector<std::pair<std::string, std::string>>* pairs) {
  pairs->clear();
  size_t i = 0;
  auto blank = [&](size_t k) { return k < line.size() && (line[k] == ' ' || line[k] == '\t'); };
  while (true) {
    while (blank(i)) ++i;
    if (i >= line.size()) return true;
    size_t eq = i;
    while (eq < line.size() && line[eq] != '=' && !blank(eq)) ++eq;
    if (eq >= line.size() || line[eq] != '=' || eq == i) return false;
    std::string name = line.substr(i, eq - i);
    std::string value;
    i = eq + 1;
    if (i < line.size() && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) return false;  // an open quote
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            value.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value.push_back(line[i++]);
      }
      if (i < line.size() && !blank(i)) return false;
    } else {
      while (i < line.size() && !blank(i)) value.push_back(line[i++]);
    }
    pairs->emplace_back(std::move(name), std::move(value));
  }
}

bool EvaluateCondition(const std::string& condition, const PropertyMap& properties) {
  auto value = [&](const std::string& name) {
    auto it = properties.find(name);
    return it == properties.end() ? std::string() : it->second;
  };
  const std::string t = Trim(condition);
  if (t == "1") return true;
  if (t == "0") return false;
  if (IsIdentifier(t)) return !value(t).empty();
  if (t.size() > 4 && SameText(t.substr(0, 4), "NOT ")) {
    const std::string name = Trim(t.substr(4));
    if (IsIdentifier(name)) return value(name).empty();
    return true;
  }
  size_t op = t.find("<>");
  size_t op_size = 2;
  if (op == std::string::npos) {
    op = t.find('=');
    op_size = 1;
  }
  if (op != std::string::npos) {
    const std::string name = Trim(t.substr(0, op));
    const std::string rhs = Trim(t.substr(op + op_size));
    if (IsIdentifier(name) && rhs.size() >= 2 && rhs.front() == '"' && rhs.back() == '"' &&
        rhs.find('"', 1) == rhs.size() - 1) {
      const bool equal = value(name) == rhs.substr(1, rhs.size() - 2);
      return op_size == 2 ? !equal : equal;
    }
  }
  // Comparisons of numbers and versions, AND, OR, parentheses: not judged, taken as met.
  return true;
}

std::string FormatText(const std::string& text, const PropertyMap& properties,
                       const std::map<std::string, std::string>& file_paths,
                       const std::map<std::string, std::string>& component_dirs) {
  auto lookup = [](const std::map<std::string, std::string>& m, const std::string& key) {
    auto it = m.find(key);
    return it == m.end() ? std::string() : it->second;
  };
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('[', i);
    if (open == std::string::npos) {
      out.append(text, i, std::string::npos);
      break;
    }
    out.append(text, i, open - i);
    const size_t close = text.find(']', open + 1);
    const std::string inner =
        close == std::string::npos ? std::string() : text.substr(open + 1, close - open - 1);
    // [\x]: the one character x, which may be a bracket itself.
    if (text.size() > open + 3 && text[open + 1] == '\\' && text[open + 3] == ']') {
      out.push_back(text[open + 2]);
      i = open + 4;
      continue;
    }
    if (close == std::string::npos || inner.empty() || inner.find('[') != std::string::npos) {
      out.push_back('[');
      i = open + 1;
      continue;
    }
    if (inner == "~") {
      out.push_back('\0');
    } else if ((inner[0] == '#' || inner[0] == '!') && inner.size() > 1) {
      out += lookup(file_paths, inner.substr(1));
    } else if (inner[0] == '$' && inner.size() > 1) {
      out += lookup(component_dirs, inner.substr(1));
    } else if (IsIdentifier(inner)) {
      out += lookup(properties, inner);
    } else {
      out += "[" + inner + "]";
    }
    i = close + 1;
  }
  return out;
}

std::map<std::string, std::string> ResolveDirectories(const Package& package,
                                                      const PropertyMap& properties,
                                                      const MachineDescription& m) {
  auto property = [&](const std::string& name) {
    auto it = properties.find(name);
    return it == properties.end() ? std::string() : it->second;
  };
  // The system's folders, as the installer sets them for any package: ProgramFilesFolder is the
  // 32-bit folder on 64-bit Windows whatever the package's platform.
  const std::string win = WithBackslash(m.windows_folder);
  const std::string pf32 = m.windows64 ? "C:\\Program Files (x86)\\" : "C:\\Program Files\\";
  const bool all_users = !property("ALLUSERS").empty();
  const std::string profile = WithBackslash(m.profile);
  const std::string menu_base =
      (all_users ? std::string("C:\\ProgramData\\") : profile + "AppData\\Roaming\\") +
      "Microsoft\\Windows\\Start Menu\\";
  std::map<std::string, std::string> known = {
      {"ProgramFilesFolder", pf32},
      {"CommonFilesFolder", pf32 + "Common Files\\"},
      {"WindowsFolder", win},
      {"SystemFolder", win + (m.windows64 ? "SysWOW64\\" : "System32\\")},
      {"TempFolder", WithBackslash(m.temp_folder)},
      {"CommonAppDataFolder", "C:\\ProgramData\\"},
      {"AppDataFolder", profile + "AppData\\Roaming\\"},
      {"LocalAppDataFolder", profile + "AppData\\Local\\"},
      {"PersonalFolder", profile + "Documents\\"},
      {"DesktopFolder", all_users ? std::string("C:\\Users\\Public\\Desktop\\") : profile + "Desktop\\"},
      {"StartMenuFolder", menu_base},
      {"ProgramMenuFolder", menu_base + "Programs\\"},
      {"StartupFolder", menu_base + "Programs\\Startup\\"},
      {"FontsFolder", win + "Fonts\\"},
  };
  if (m.windows64) {
    known["ProgramFiles64Folder"] = "C:\\Program Files\\";
    known["CommonFiles64Folder"] = "C:\\Program Files\\Common Files\\";
    known["System64Folder"] = win + "System32\\";
  }
  const std::string root_drive =
      property("ROOTDRIVE").empty() ? std::string("C:\\") : WithBackslash(property("ROOTDRIVE"));
  const auto& dirs = package.directories();
  std::map<std::string, std::string> out;
  std::function<std::string(const std::string&, int)> resolve = [&](const std::string& id,
                                                                    int depth) -> std::string {
    auto done = out.find(id);
    if (done != out.end()) return done->second;
    std::string path;
    auto it = dirs.find(id);
    if (!property(id).empty()) {
      path = WithBackslash(property(id));
    } else if (known.count(id)) {
      path = known[id];
    } else if (it == dirs.end() || it->second.parent.empty() || it->second.parent == id ||
               depth > 64) {
      path = root_drive;  // TARGETDIR, or a parent the table lacks, or a loop
    } else {
      const std::string base = resolve(it->second.parent, depth + 1);
      const std::string& dd = it->second.default_dir;
      const std::string name = LongName(dd.substr(0, dd.find(':')));
      path = name.empty() || name == "." ? base : base + name + "\\";
    }
    out[id] = path;
    return path;
  };
  for (const auto& entry : dirs) resolve(entry.first, 0);
  return out;
}

}  // namespace corvane::platform::sim
