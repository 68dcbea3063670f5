// System information commands: the numbered machine tests of Get System Settings, the Windows
// release or service-pack level, well-known folder locations and whether an installer product is
// installed. They only read; each stores one text in its result variable.
#include "commands/system_info.h"

#include <optional>
#include <string>

#include "commands/sixty_four.h"
#include "commands/webserver.h"
#include "image/failure.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "platform/installer.h"
#include "platform/numbers.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/version_info.h"

namespace corvane::commands {

// Defined with the file commands.
std::string RegistryValueText(platform::Registry& reg, platform::RegRoot root,
                              const std::string& key, const std::string& name,
                              platform::RegView view);
platform::FileVersion ParseVersionText(std::string text);

namespace {

using interp::CommandContext;
using platform::FileVersion;
using platform::MachineFacts;
using platform::OsVersion;
using platform::RegRoot;
using platform::RegType;
using platform::RegValue;
using platform::RegView;
using platform::Status;

const char* Bool(bool b) { return b ? "TRUE" : "FALSE"; }

int32_t IntegerOrFail(const std::string& text) {
  std::optional<int32_t> v = platform::ParseScriptInteger(text);
  if (!v) throw image::ScriptFailure("'" + text + "' is not a valid integer value");
  return *v;
}

bool AtLeast(const FileVersion& a, const FileVersion& b) {
  const uint16_t x[4] = {a.major, a.minor, a.release, a.build};
  const uint16_t y[4] = {b.major, b.minor, b.release, b.build};
  for (int i = 0; i < 4; ++i) {
    if (x[i] != y[i]) return x[i] > y[i];
  }
  return true;
}

// A text value of the registry, "" when the key or value is missing or not a text.
std::string RegText(platform::Registry& reg, RegRoot root, const std::string& key,
                    const std::string& name, RegView view) {
  RegValue value;
  if (reg.ReadValue(root, key, name, view, &value) != Status::kOk) return std::string();
  if (value.type != RegType::kString && value.type != RegType::kExpandString) return std::string();
  std::string text = value.data;
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

SystemVersion ReadSystemVersion(platform::SystemInfo& system) {
  OsVersion v = system.Version();
  SystemVersion s;
  s.nt = v.platform_id == 2;
  s.major = v.major;
  s.minor = v.minor;
  // Windows 98 Second Edition reports 4.10 with a build above 4.10.2221.
  if (!s.nt && v.major == 4 && v.minor == 10 && v.build > 0x040A08ADu) s.minor = 11;
  s.service_pack = ServicePackNumber(v.service_pack);
  s.server = s.nt && v.product_type != 1;
  return s;
}

int ServicePackNumber(const std::string& text) {
  for (int n = 10; n >= 1; --n) {
    if (text.find(std::to_string(n)) != std::string::npos) return n;
  }
  return 0;
}

std::string ReleaseName(const SystemVersion& v) {
  if (v.nt) {
    if (v.major == 4 && v.minor == 0) return "NT4";
    if (v.major == 5 && v.minor == 0) return "2000";
    if (v.major == 5 && v.minor == 1) return "XP";
    if (v.major == 5 && v.minor == 2) return "2003";
    if (v.major == 6 && v.minor == 0) return v.server && v.service_pack >= 1 ? "2008" : "VISTA";
    if (v.major == 6 && v.minor == 1) return v.server ? "2008R2" : "SEVEN";
  } else if (v.major == 4) {
    if (v.minor == 0) return "95";
    if (v.minor == 10) return "98";
    if (v.minor == 11) return "98SE";
    if (v.minor == 90) return "ME";
  }
  return "UNKNOWN";
}

namespace {

bool VersionAtLeast(const SystemVersion& v, uint32_t major, uint32_t minor) {
  return v.major > major || (v.major == major && v.minor >= minor);
}

// Major.minor thresholds of settings 19-26, 69 and 79.
bool WindowsThreshold(int setting, uint32_t* major, uint32_t* minor) {
  switch (setting) {
    case 19:
    case 23:
      *major = 4;
      *minor = 0;
      return true;
    case 20:
      *major = 4;
      *minor = 10;
      return true;
    case 21:
      *major = 4;
      *minor = 11;
      return true;
    case 22:
      *major = 4;
      *minor = 90;
      return true;
    case 24:
      *major = 5;
      *minor = 0;
      return true;
    case 25:
      *major = 5;
      *minor = 1;
      return true;
    case 26:
      *major = 5;
      *minor = 2;
      return true;
    case 69:
      *major = 6;
      *minor = 0;
      return true;
    case 79:
      *major = 6;
      *minor = 1;
      return true;
    default:
      return false;
  }
}

// Web server version thresholds (major * 10 + minor) of settings 53-58, 73 and 80.
int WebServerThreshold(int setting) {
  switch (setting) {
    case 53:
      return 60;
    case 54:
      return 51;
    case 55:
      return 50;
    case 56:
      return 40;
    case 57:
      return 30;
    case 58:
      return 20;
    case 73:
      return 70;
    case 80:
      return 75;
    default:
      return -1;
  }
}

// Browser file versions of settings 37-52.
const FileVersion kBrowserVersions[16] = {
    {6, 0, 2800, 1106}, {6, 0, 2600, 0},     {5, 5, 4807, 2300}, {5, 5, 4522, 1800},
    {5, 5, 4134, 100},  {5, 0, 3502, 5400},  {5, 0, 3314, 2100}, {5, 0, 2919, 6307},
    {5, 0, 2014, 213},  {4, 72, 3612, 1707}, {4, 72, 3110, 3},   {4, 72, 2106, 7},
    {4, 71, 1712, 5},   {4, 70, 1300, 0},    {4, 70, 1215, 0},   {4, 70, 1155, 0},
};

const char kWebServerKey[] = "SOFTWARE\\Microsoft\\InetStp";

class Settings {
 public:
  explicit Settings(CommandContext& ctx)
      : session_(ctx.session()),
        platform_(ctx.platform()),
        view_(CommandRegistryView(ctx.session())),
        version_(ReadSystemVersion(platform_.system())) {}

  std::string Get(int setting) {
    uint32_t major = 0, minor = 0;
    if (setting >= 1 && setting <= 7) {
      uint64_t nominal_mib = 32ull << (setting - 1);
      return Bool(facts().physical_memory >= (nominal_mib - 2) << 20);
    }
    if (setting >= 8 && setting <= 12) {
      static const int32_t kSizes[5][2] = {
          {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}, {1920, 1440}};
      const int32_t w = kSizes[setting - 8][0], h = kSizes[setting - 8][1];
      const int32_t x = facts().screen_width, y = facts().screen_height;
      return Bool((x >= w && y >= h) || (x >= h && y >= w));
    }
    if (setting >= 13 && setting <= 16) {
      static const int32_t kBits[4] = {8, 16, 24, 32};
      return Bool(facts().bits_per_pixel >= kBits[setting - 13]);
    }
    if (WindowsThreshold(setting, &major, &minor)) {
      return Bool(VersionAtLeast(version_, major, minor));
    }
    if (setting >= 27 && setting <= 32) return Bool(version_.service_pack >= setting - 26);
    if (setting >= 37 && setting <= 52) {
      return Bool(AtLeast(BrowserFileVersion(), kBrowserVersions[setting - 37]));
    }
    int web = WebServerThreshold(setting);
    if (web >= 0) return Bool(WebServerVersion(platform_) >= web);
    switch (setting) {
      case 0:
        return Bool(version_.nt ? facts().in_administrators : true);
      case 17:
        return Bool(!version_.nt);
      case 18:
        return Bool(version_.nt);
      case 33:
        return facts().language_id ? std::to_string(facts().language_id) : "0";
      case 34:
        return facts().language_name;
      case 35:
        return Registered("RegisteredOwner");
      case 36:
        return Registered("RegisteredOrganization");
      case 59:
        // As IIS Anonymous User gives it, but without making a site on the server.
        return WebServerAnonymousUser(session_, /*make_site=*/false);
      case 60:
        return version_.nt ? facts().account_name : platform_.system().UserName();
      case 61:
        return ComputerName();
      case 62:
        return version_.nt ? facts().account_domain : std::string();
      case 63:
        return GroupName();
      case 64:
        return std::to_string(facts().dpi);
      case 65:
        return Bool(platform_.system().Is64BitSystem());
      case 66:
        return Bool(facts().tablet_pc);
      case 67:
        return Bool(facts().media_center);
      case 68:
        return Bool(version_.server);
      case 70:
        return Bool(facts().vmware);
      case 71:
        return Bool(facts().virtual_pc);
      case 72:
        return Bool(AtLeast(BrowserRegistryVersion(), {7, 0, 5730, 11}));
      case 74:
        return Bool(!facts().vmware && !facts().virtual_pc);
      case 75:
        return Architecture();
      case 76:
        return Bool(version_.server &&
                    (VersionAtLeast(version_, 6, 1) ||
                     (version_.major == 6 && version_.minor == 0 && version_.service_pack >= 1)));
      case 77:
        return Bool(facts().elevated);
      case 78:
        return Bool(AtLeast(BrowserRegistryVersion(), {8, 0, 6001, 18702}));
      case 81:
        return Bool(version_.server && VersionAtLeast(version_, 6, 1));
      default:
        return std::string();  // numbers outside 0-81 have no setting
    }
  }

 private:
  const MachineFacts& facts() {
    if (!facts_) facts_ = platform_.system().Facts();
    return *facts_;
  }

  std::string Registered(const char* name) {
    const std::string key = version_.nt ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
                                        : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    return RegText(platform_.registry(), RegRoot::kLocalMachine, key, name, view_);
  }

  // GetComputerName fills at most 16 characters (15 and the terminator).
  std::string ComputerName() {
    std::string name = platform_.system().ComputerName();
    if (name.size() > 15) name.clear();
    return name;
  }

  std::string GroupName() {
    const MachineFacts& f = facts();
    if (!version_.nt) return "ADMIN";
    if (f.in_administrators) return "ADMIN";
    if (f.in_power_users) return "POWER";
    if (f.in_users) return "USER";
    return "GUEST";
  }

  std::string Architecture() {
    switch (facts().native_architecture) {
      case 0:
        return "X86";
      case 6:
        return "IA64";
      case 9:
        return "AMD64";
      default:
        return "UNKNOWN";
    }
  }

  FileVersion BrowserFileVersion() {
    FileVersion v;
    std::string path = platform_.system().SystemFolder() + "\\shdocvw.dll";
    if (platform::CreateVersionReader(platform_)->GetFileVersion(path, &v) != Status::kOk) {
      v = FileVersion{};
    }
    return v;
  }

  // A damaged registry text reads as no version rather than stopping the script.
  FileVersion BrowserRegistryVersion() {
    std::string text = RegText(platform_.registry(), RegRoot::kLocalMachine,
                               "SOFTWARE\\Microsoft\\Internet Explorer", "Version", view_);
    try {
      return ParseVersionText(text);
    } catch (const image::ScriptFailure&) {
      return FileVersion{};
    }
  }

  interp::Session& session_;
  platform::Platform& platform_;
  RegView view_;
  SystemVersion version_;
  std::optional<MachineFacts> facts_;
};

void RunGetSystemSettings(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  int32_t setting = IntegerOrFail(p.Expanded(2));
  Settings settings(ctx);
  ctx.SetResult(name, settings.Get(setting));
}
CORVANE_COMMAND("Get System Settings", RunGetSystemSettings);

void RunGetOsOrSpLevel(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  SystemVersion v = ReadSystemVersion(ctx.platform().system());
  ctx.SetResult(name, p.Bool(2) ? ReleaseName(v) : std::to_string(v.service_pack));
}
CORVANE_COMMAND("Get OS or SP Level", RunGetOsOrSpLevel);

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

// Shell folder numbers of Get Folder Location: per-user and all-users CSIDL, -1 for the numbers
// found another way.
bool FolderCsidl(int number, bool common, int* csidl) {
  static const int kFolders[29][2] = {
      {0x20, 0x20}, {0x21, 0x21}, {0x05, 0x2E}, {0x06, 0x1F}, {0x0D, 0x35}, {0x27, 0x36},
      {0x0E, 0x37}, {0x13, 0x13}, {0x1B, 0x1B}, {-1, -1},     {-1, -1},     {0x30, 0x2F},
      {0x0B, 0x16}, {0x07, 0x18}, {0x02, 0x17}, {0x1A, 0x23}, {0x3B, 0x3B}, {0x00, 0x19},
      {0x14, 0x14}, {0x28, 0x3E}, {-1, -1},     {0x08, 0x08}, {0x09, 0x09}, {-1, -1},
      {0x15, 0x15}, {-1, -1},     {-1, -1},     {-1, -1},     {0x1C, 0x1C},
  };
  if (number < 0 || number > 28) return false;
  *csidl = kFolders[number][common ? 1 : 0];
  return *csidl >= 0;
}

std::string WebServerRoot(platform::Platform& platform) {
  platform::Registry& reg = platform.registry();
  const RegView own = RegView::kNative;
  std::string root = platform.system().ExpandEnvironment(
      RegText(reg, RegRoot::kLocalMachine, kWebServerKey, "PathWWWRoot", own));
  if (!root.empty()) return root;
  const std::string roots =
      "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots\\";
  root = RegText(reg, RegRoot::kLocalMachine, roots, "/", own);
  if (root.empty()) root = RegText(reg, RegRoot::kLocalMachine, roots, "/,", own);
  size_t comma = root.find(',');
  if (comma != std::string::npos) root.resize(comma);
  return root;
}

}  // namespace

std::string FolderLocation(interp::Session& session, platform::Platform& platform, int number,
                           bool common) {
  int csidl = 0;
  if (FolderCsidl(number, common, &csidl)) {
    std::string path;
    if (platform.shell().GetShellFolder(csidl, &path) != Status::kOk) return std::string();
    return WithBackslash(path);
  }
  platform::Registry& reg = platform.registry();
  const RegView view = CommandRegistryView(session);
  const std::string cv = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  switch (number) {
    case 9:
      return WithBackslash(RegText(reg, RegRoot::kLocalMachine, cv + "\\Setup", "BootDir", view));
    case 10: {
      char letter = platform.system().Facts().first_cdrom;
      if (letter < 'A' || letter > 'Z') return std::string();
      return std::string(1, letter) + ":\\";
    }
    case 20:
      return WithBackslash(RegText(reg, RegRoot::kLocalMachine, cv,
                                   common ? "CommonFilesDir" : "ProgramFilesDir", view));
    case 23: {
      platform::SystemInfo& system = platform.system();
      std::string folder;
      if (system.Is64BitSystem() && !Is64BitMode(session)) folder = system.SystemWow64Folder();
      if (folder.empty()) folder = system.SystemFolder();
      return WithBackslash(folder);
    }
    case 25:
      return WithBackslash(platform.system().WindowsFolder());
    case 26: {
      std::string app_data =
          RegText(reg, RegRoot::kCurrentUser, cv + "\\Explorer\\Shell Folders\\", "AppData", view);
      if (app_data.empty()) return std::string();
      return WithBackslash(app_data) + "Microsoft\\Internet Explorer\\Quick Launch\\";
    }
    case 27:
      return WithBackslash(WebServerRoot(platform));
    default:
      return std::string();  // numbers outside 0-28 name no folder
  }
}

namespace {

void RunGetFolderLocation(CommandContext& ctx) {
  FsView64 fs_view(ctx.session());
  const auto& p = ctx.params();
  std::string name = p.Name(1);
  ctx.DefineResult(name);
  int32_t number = IntegerOrFail(p.Expanded(2));
  ctx.SetResult(name, FolderLocation(ctx.session(), ctx.platform(), number, p.Bool(3)));
}
CORVANE_COMMAND("Get Folder Location", RunGetFolderLocation);

// The result variable is parameter 2 here, the product code parameter 1.
void RunIsMsiSetupInstalled(CommandContext& ctx) {
  const auto& p = ctx.params();
  std::string name = p.Name(2);
  ctx.DefineResult(name);
  std::string code = p.Path(1);
  int state = ctx.platform().installer().QueryProductState(code);
  ctx.SetResult(name, Bool(state == platform::install_state::kDefault));
}
CORVANE_COMMAND("Is MSI Setup Installed", RunIsMsiSetupInstalled);

}  // namespace

}  // namespace corvane::commands
