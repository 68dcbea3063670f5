#include "platform/sim/machine.h"

#include <algorithm>
#include <sstream>

#include "platform/numbers.h"
#include "platform/text.h"

namespace corvane::platform::sim {
namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::optional<uint64_t> ParseUnsigned(const std::string& s) {
  auto v = ParseDecimal64(s);
  if (!v || *v < 0) return std::nullopt;
  return static_cast<uint64_t>(*v);
}

std::optional<bool> ParseBool(const std::string& s) {
  if (SameText(s, "true") || s == "1" || SameText(s, "yes")) return true;
  if (SameText(s, "false") || s == "0" || SameText(s, "no")) return false;
  return std::nullopt;
}

// "YYYY-MM-DD HH:MM:SS" with the day of the week computed.
std::optional<LocalTime> ParseClock(const std::string& s) {
  int y, mo, d, h, mi, se;
  char tail;
  if (std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &se, &tail) != 6) {
    return std::nullopt;
  }
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 ||
      mi < 0 || mi > 59 || se < 0 || se > 59) {
    return std::nullopt;
  }
  LocalTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(mo);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(mi);
  t.second = static_cast<uint16_t>(se);
  // Sakamoto's rule for the day of the week (0 = Sunday).
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  int yy = mo < 3 ? y - 1 : y;
  t.day_of_week = static_cast<uint16_t>((yy + yy / 4 - yy / 100 + yy / 400 + offsets[mo - 1] + d) % 7);
  return t;
}

bool ParseVersion(const std::string& s, OsVersion* v) {
  unsigned major = 0, minor = 0, build = 0;
  int n = std::sscanf(s.c_str(), "%u.%u.%u", &major, &minor, &build);
  if (n < 2) return false;
  v->major = major;
  v->minor = minor;
  v->build = n == 3 ? build : 0;
  return true;
}

// "Administrators, Users": the built-in groups named; false for an unknown name.
bool ParseGroups(const std::string& s, MachineFacts* f) {
  f->in_administrators = f->in_users = f->in_guests = f->in_power_users = false;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(',', start);
    if (end == std::string::npos) end = s.size();
    std::string name = Trim(s.substr(start, end - start));
    if (SameText(name, "Administrators")) {
      f->in_administrators = true;
    } else if (SameText(name, "Users")) {
      f->in_users = true;
    } else if (SameText(name, "Guests")) {
      f->in_guests = true;
    } else if (SameText(name, "Power Users")) {
      f->in_power_users = true;
    } else if (!name.empty()) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::optional<uint16_t> ParseArchitecture(const std::string& s) {
  if (SameText(s, "x86")) return 0;
  if (SameText(s, "ia64")) return 6;
  if (SameText(s, "amd64") || SameText(s, "x64")) return 9;
  auto v = ParseUnsigned(s);
  if (v && *v <= 0xFFFF) return static_cast<uint16_t>(*v);
  return std::nullopt;
}

std::optional<int32_t> ParseInt32(const std::string& s) {
  auto v = ParseDecimal64(s);
  if (!v || *v < INT32_MIN || *v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*v);
}

}  // namespace

MachineFacts MachineDescription::DefaultFacts() {
  MachineFacts f;
  f.physical_memory = 8ull << 30;
  f.screen_width = 1920;
  f.screen_height = 1080;
  f.bits_per_pixel = 32;
  f.dpi = 96;
  f.language_id = 1033;
  f.language_name = "English (United States)";
  f.first_cdrom = 'D';
  return f;
}

MachineDescription MachineDescription::Parse(const std::string& utf8_text, std::string* error) {
  MachineDescription m;
  std::istringstream in(utf8_text);
  std::string line;
  int number = 0;
  auto bad = [&](const std::string& why) {
    if (error) *error += "machine.txt line " + std::to_string(number) + ": " + why + "\n";
  };
  while (std::getline(in, line)) {
    ++number;
    std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      bad("no '='");
      continue;
    }
    std::string key = Trim(t.substr(0, eq));
    const std::string utf8_value = Trim(t.substr(eq + 1));
    std::string value = Cp1252FromUtf8(utf8_value);
    std::string lkey = LowerCase(key);
    bool ok = true;
    if (lkey == "windows.version") {
      ok = ParseVersion(value, &m.version);
    } else if (lkey == "windows.product_type") {
      auto v = ParseUnsigned(value);
      ok = v && *v >= 1 && *v <= 3;
      if (ok) m.version.product_type = static_cast<uint8_t>(*v);
    } else if (lkey == "windows.service_pack") {
      m.version.service_pack = value;
      unsigned sp = 0;
      if (std::sscanf(value.c_str(), "Service Pack %u", &sp) == 1) {
        m.version.service_pack_major = static_cast<uint16_t>(sp);
      }
    } else if (lkey == "windows.64bit") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) m.windows64 = *v;
    } else if (lkey == "process.64bit") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) m.process64 = *v;
    } else if (lkey == "user.admin") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) m.admin = *v;
    } else if (lkey == "restart.refused") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) m.restart_refused = *v;
    } else if (lkey == "computer") {
      m.computer = value;
    } else if (lkey == "user") {
      m.user = value;
      m.user_utf8 = utf8_value;
    } else if (lkey == "windows_folder") {
      m.windows_folder = value;
    } else if (lkey == "temp_folder") {
      m.temp_folder = value;
      m.temp_folder_utf8 = utf8_value;
    } else if (lkey == "module_path") {
      m.module_path = value;
    } else if (lkey == "current_folder") {
      m.current_folder = value;
    } else if (lkey == "locale.short_date") {
      m.short_date = value;
    } else if (lkey == "locale.time") {
      m.time_format = value;
    } else if (lkey == "locale.language" || lkey == "locale.default_language") {
      auto v = ParseUnsigned(value);
      ok = v && *v <= 0xFFFF;
      if (ok && lkey == "locale.language") m.user_language = static_cast<uint32_t>(*v);
      if (ok && lkey != "locale.language") m.user_default_language = static_cast<uint32_t>(*v);
    } else if (lkey == "uptime_ms") {
      auto v = ParseUnsigned(value);
      ok = v.has_value();
      if (ok) m.uptime_ms = *v;
    } else if (lkey == "clock") {
      if (!value.empty()) {
        m.clock = ParseClock(value);
        ok = m.clock.has_value();
      }
    } else if (lkey.size() > 7 && lkey.compare(0, 5, "disk.") == 0 && lkey[6] == '.') {
      char drive = UpperChar1252(lkey[5]);
      auto v = ParseUnsigned(value);
      ok = v && drive >= 'A' && drive <= 'Z';
      if (ok && lkey.substr(7) == "total") {
        m.disks[drive].total = *v;
      } else if (ok && lkey.substr(7) == "free") {
        m.disks[drive].free = *v;
      } else {
        ok = false;
      }
    } else if (lkey == "windows.platform") {
      ok = SameText(value, "nt") || SameText(value, "9x");
      if (ok) m.version.platform_id = SameText(value, "nt") ? 2 : 1;
    } else if (lkey == "user.groups") {
      ok = ParseGroups(value, &m.facts);
      m.groups_given = true;
    } else if (lkey == "user.elevated") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) m.elevated_given = m.facts.elevated = *v;
    } else if (lkey == "user.domain") {
      m.facts.account_domain = value;
      m.domain_given = true;
    } else if (lkey == "memory") {
      auto v = ParseUnsigned(value);
      ok = v.has_value();
      if (ok) m.facts.physical_memory = *v;
    } else if (lkey == "screen") {
      unsigned w = 0, h = 0;
      char tail;
      ok = std::sscanf(value.c_str(), "%ux%u%c", &w, &h, &tail) == 2 && w <= 100000 &&
           h <= 100000;
      if (ok) {
        m.facts.screen_width = static_cast<int32_t>(w);
        m.facts.screen_height = static_cast<int32_t>(h);
      }
    } else if (lkey == "screen.bits" || lkey == "screen.dpi") {
      auto v = ParseInt32(value);
      ok = v.has_value();
      if (ok) (lkey == "screen.bits" ? m.facts.bits_per_pixel : m.facts.dpi) = *v;
    } else if (lkey == "tablet_pc" || lkey == "media_center") {
      auto v = ParseBool(value);
      ok = v.has_value();
      if (ok) (lkey == "tablet_pc" ? m.facts.tablet_pc : m.facts.media_center) = *v;
    } else if (lkey == "processor") {
      auto v = ParseArchitecture(value);
      ok = v.has_value();
      if (ok) m.facts.native_architecture = *v;
      m.architecture_given = true;
    } else if (lkey == "vm") {
      ok = SameText(value, "none") || SameText(value, "vmware") || SameText(value, "virtualpc");
      m.facts.vmware = SameText(value, "vmware");
      m.facts.virtual_pc = SameText(value, "virtualpc");
    } else if (lkey == "language") {
      auto v = ParseUnsigned(value);
      ok = v && *v <= 0xFFFF;
      if (ok) m.facts.language_id = static_cast<uint16_t>(*v);
    } else if (lkey == "language.name") {
      m.facts.language_name = value;
    } else if (lkey == "cdrom") {
      char letter = value.empty() ? 0 : UpperChar1252(value[0]);
      ok = value.empty() || (letter >= 'A' && letter <= 'Z' &&
                             (value.size() == 1 || value.substr(1) == ":"));
      if (ok) m.facts.first_cdrom = letter;
    } else if (lkey == "owner") {
      m.owner = value;
    } else if (lkey == "organization") {
      m.organization = value;
    } else if (lkey == "browser.version") {
      m.browser_version = value;
    } else if (lkey == "url_download") {
      auto v = ParseBool(value);
      m.url_download_lenient = SameText(value, "lenient");
      ok = v.has_value() || m.url_download_lenient;
      if (ok) m.url_download = m.url_download_lenient || *v;
    } else if (lkey.size() >= 7 && lkey.compare(0, 6, "drive.") == 0 &&
               (lkey.size() == 7 || lkey.compare(7, std::string::npos, ".eject_after_ms") == 0)) {
      const char letter = UpperChar1252(lkey[6]);
      ok = letter >= 'A' && letter <= 'Z';
      if (ok && lkey.size() == 7) {
        static const std::pair<const char*, uint32_t> kKinds[] = {
            {"fixed", 3}, {"removable", 2}, {"cdrom", 5}, {"remote", 4}, {"ramdisk", 6}};
        ok = false;
        for (const auto& [name, type] : kKinds) {
          if (SameText(value, name)) {
            m.drives[letter].type = type;
            ok = true;
          }
        }
      } else if (ok) {
        auto v = ParseUnsigned(value);
        ok = v.has_value();
        if (ok) m.drives[letter].eject_after_ms = *v;
      }
    } else if (lkey.size() > 4 && lkey.compare(0, 4, "env.") == 0) {
      m.env.emplace_back(Cp1252FromUtf8(key.substr(4)), value);
    } else {
      bad("unknown key '" + key + "'");
      continue;
    }
    if (!ok) bad("bad value for '" + key + "'");
  }
  m.Complete();
  return m;
}

void MachineDescription::Complete() {
  if (user_utf8.empty()) user_utf8 = Utf8From1252(user);
  if (profile.empty()) {
    profile = "C:\\Users\\" + user;
    profile_utf8 = "C:\\Users\\" + user_utf8;
  } else if (profile_utf8.empty()) {
    profile_utf8 = Utf8From1252(profile);
  }
  if (temp_folder.empty()) {
    temp_folder = profile + "\\AppData\\Local\\Temp\\";
    temp_folder_utf8 = profile_utf8 + "\\AppData\\Local\\Temp\\";
  } else if (temp_folder_utf8.empty()) {
    temp_folder_utf8 = Utf8From1252(temp_folder);
  }
  if (temp_folder.back() != '\\') temp_folder.push_back('\\');
  if (temp_folder_utf8.back() != '\\') temp_folder_utf8.push_back('\\');
  if (module_path.empty()) module_path = profile + "\\Downloads\\setup.exe";
  if (current_folder.empty()) current_folder = profile + "\\Downloads";
  disks.try_emplace('C');
  // The older family reports the version in the high word of the build number.
  if (version.platform_id == 1 && version.build <= 0xFFFF) {
    version.build |= (version.major & 0xFF) << 24 | (version.minor & 0xFF) << 16;
  }
  if (!groups_given) {
    facts.in_administrators = admin;
    facts.in_users = true;
  }
  if (!elevated_given) facts.elevated = admin;
  if (!domain_given) facts.account_domain = computer;
  if (!architecture_given) facts.native_architecture = windows64 ? 9 : 0;
  facts.account_name = user;
  if (owner.empty()) owner = user;
  for (auto& [letter, d] : disks) {
    if (d.free > d.total) d.free = d.total;
  }
}

std::vector<std::pair<std::string, std::string>> MachineDescription::InitialEnvironment() const {
  std::string temp = temp_folder;
  if (temp.size() > 3 && temp.back() == '\\') temp.pop_back();
  const std::string& win = windows_folder;
  std::vector<std::pair<std::string, std::string>> env = {
      {"ALLUSERSPROFILE", "C:\\ProgramData"},
      {"APPDATA", profile + "\\AppData\\Roaming"},
      {"COMPUTERNAME", computer},
      {"ComSpec", win + "\\system32\\cmd.exe"},
      {"HOMEDRIVE", "C:"},
      {"HOMEPATH", profile.size() > 2 ? profile.substr(2) : profile},
      {"LOCALAPPDATA", profile + "\\AppData\\Local"},
      {"NUMBER_OF_PROCESSORS", "2"},
      {"OS", "Windows_NT"},
      {"Path", win + "\\system32;" + win + ";" + win + "\\System32\\Wbem"},
      {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
      {"ProgramData", "C:\\ProgramData"},
      {"PUBLIC", "C:\\Users\\Public"},
      {"SystemDrive", "C:"},
      {"SystemRoot", win},
      {"TEMP", temp},
      {"TMP", temp},
      {"USERDOMAIN", computer},
      {"USERNAME", user},
      {"USERPROFILE", profile},
      {"windir", win},
  };
  if (windows64) {
    // A 32-bit process on 64-bit Windows sees the x86 folders as its program folders.
    bool wow = !process64;
    env.push_back({"CommonProgramFiles",
                   wow ? "C:\\Program Files (x86)\\Common Files" : "C:\\Program Files\\Common Files"});
    env.push_back({"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"});
    env.push_back({"CommonProgramW6432", "C:\\Program Files\\Common Files"});
    env.push_back({"PROCESSOR_ARCHITECTURE", wow ? "x86" : "AMD64"});
    if (wow) env.push_back({"PROCESSOR_ARCHITEW6432", "AMD64"});
    env.push_back({"ProgramFiles", wow ? "C:\\Program Files (x86)" : "C:\\Program Files"});
    env.push_back({"ProgramFiles(x86)", "C:\\Program Files (x86)"});
    env.push_back({"ProgramW6432", "C:\\Program Files"});
  } else {
    env.push_back({"CommonProgramFiles", "C:\\Program Files\\Common Files"});
    env.push_back({"PROCESSOR_ARCHITECTURE", "x86"});
    env.push_back({"ProgramFiles", "C:\\Program Files"});
  }
  for (const auto& entry : this->env) {
    const std::string& name = entry.first;
    auto it = std::find_if(env.begin(), env.end(),
                           [&](const auto& e) { return SameText(e.first, name); });
    if (it != env.end()) env.erase(it);
    if (!entry.second.empty()) env.emplace_back(name, entry.second);
  }
  std::stable_sort(env.begin(), env.end(), [](const auto& a, const auto& b) {
    return UpperCase(a.first) < UpperCase(b.first);
  });
  return env;
}

}  // namespace corvane::platform::sim
