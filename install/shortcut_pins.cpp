#include "install/shortcut_pins.h"

#include <functional>

#include "platform/text.h"

namespace corvane::install {
namespace {

using platform::Status;

// The shell's texts for the four verbs (see Shell::ShellTexts).
constexpr int kPinToTaskbar = 5386;
constexpr int kUnpinFromTaskbar = 5387;
constexpr int kPinToStartMenu = 5381;
constexpr int kUnpinFromStartMenu = 5382;

std::string WithoutAmpersands(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out += c;
  }
  return out;
}

// Whether a verb's name is one of the texts: as they are first, then with every "&" removed from
// both.
bool Matches(const std::string& verb, const std::vector<std::string>& texts) {
  for (const std::string& t : texts) {
    if (verb == t) return true;
  }
  const std::string bare = WithoutAmpersands(verb);
  for (const std::string& t : texts) {
    if (!bare.empty() && bare == WithoutAmpersands(t)) return true;
  }
  return false;
}

std::string FileNameOf(const std::string& path) {
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool AtLeast(const platform::OsVersion& v, uint32_t major, uint32_t minor) {
  return v.major > major || (v.major == major && v.minor >= minor);
}

// The user's "User Pinned" folder: below the Quick Launch folder of the AppData folder that the
// shell's folder list names (the shell's own AppData folder when the list has none).
std::string UserPinnedFolder(platform::Platform& p) {
  platform::RegValue value;
  std::string app_data;
  if (p.registry().ReadValue(platform::RegRoot::kCurrentUser,
                             "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
                             "Folders\\",
                             "AppData", platform::RegView::kNative, &value) == Status::kOk) {
    app_data = value.data;
  }
  if (app_data.empty()) p.shell().GetSpecialFolder(platform::SpecialFolder::kAppData, &app_data);
  if (app_data.empty()) return "";
  if (app_data.back() != '\\') app_data += '\\';
  return app_data + "Microsoft\\Internet Explorer\\Quick Launch\\User Pinned\\";
}

// The verbs part of the operation: true when every wanted place is done.
bool ThroughVerbs(platform::Platform& p, const std::string& item, bool* taskbar_done,
                  bool* start_done, bool pin, bool* no_verbs) {
  platform::Shell& shell = p.shell();
  std::vector<std::string> verbs;
  shell.ShellVerbs(item, &verbs);
  *no_verbs = verbs.empty();
  const std::vector<std::string> taskbar_texts =
      shell.ShellTexts(pin ? kPinToTaskbar : kUnpinFromTaskbar);
  const std::vector<std::string> start_texts =
      shell.ShellTexts(pin ? kPinToStartMenu : kUnpinFromStartMenu);
  for (const std::string& verb : verbs) {
    if (*taskbar_done && *start_done) break;
    if (!*start_done && Matches(verb, start_texts)) {
      shell.InvokeShellVerb(item, verb);
      *start_done = true;
    }
    if (!*taskbar_done && Matches(verb, taskbar_texts)) {
      shell.InvokeShellVerb(item, verb);
      *taskbar_done = true;
    }
  }
  return *taskbar_done && *start_done;
}

}  // namespace

std::string PinShortcut(platform::Platform& p, const PinRequest& r) {
  platform::FileSystem& files = p.files();
  const bool shortcut_exists = files.FileExists(r.shortcut);
  const bool target_exists = files.FileExists(r.target);
  if (!shortcut_exists && !target_exists) return "FILE";
  const platform::OsVersion v = p.system().Version();
  bool taskbar_done = !AtLeast(v, 6, 1) || !r.taskbar;
  bool start_done = !AtLeast(v, 5, 1) || !r.start_menu;
  if (taskbar_done && start_done) return "";
  bool no_verbs = false;
  if (ThroughVerbs(p, r.shortcut, &taskbar_done, &start_done, r.pin, &no_verbs)) return "";
  if (!target_exists) return "";
  // The shell offered no verb for a place: its pinned shortcut files are made or removed here,
  // and the shell is asked once more, for the target itself.
  const std::string pinned = UserPinnedFolder(p);
  if (!pinned.empty()) {
    const std::string name = FileNameOf(r.shortcut);
    for (const auto& [done, folder] : {std::pair<bool, std::string>{taskbar_done, "TaskBar\\"},
                                       std::pair<bool, std::string>{start_done, "StartMenu\\"}}) {
      if (done) continue;
      const std::string place = pinned + folder;
      if (r.pin) {
        if (shortcut_exists) {
          files.CreateDirectories(place);
          files.CopyFile(r.shortcut, place + name, false);
        }
      } else if (files.FileExists(place + name)) {
        // Only the copy named after this shortcut, which a pin of this setup made.
        files.DeleteFile(place + name);
      }
    }
  }
  bool ignored = false;
  ThroughVerbs(p, r.target, &taskbar_done, &start_done, r.pin, &ignored);
  (void)no_verbs;
  return "FAIL";
}

void RunShortcutPass(platform::Platform& p,
                     const std::vector<std::pair<std::string, std::string>>& identities,
                     const std::vector<std::string>& pins, bool pin,
                     const std::function<void(const std::string&)>& trace) {
  for (const auto& [shortcut, identity] : identities) {
    if (!p.files().FileExists(shortcut)) continue;
    const Status s = p.shell().SetShortcutIdentity(shortcut, identity);
    if (trace) {
      trace("<ShortcutIdentity>" + shortcut + (s == Status::kOk ? "" : " (not set)") +
            "</ShortcutIdentity>");
    }
  }
  for (const std::string& entry : pins) {
    const size_t first = entry.find('|');
    const size_t second = first == std::string::npos ? first : entry.find('|', first + 1);
    if (second == std::string::npos) continue;
    PinRequest r;
    r.shortcut = entry.substr(0, first);
    const std::string flags = entry.substr(first + 1, second - first - 1);
    r.target = entry.substr(second + 1);
    if (flags.empty()) continue;
    r.taskbar = flags.find('7') != std::string::npos;
    r.start_menu = platform::UpperCase(flags).find('X') != std::string::npos;
    r.pin = pin;
    const std::string result = PinShortcut(p, r);
    if (trace) {
      trace(std::string(pin ? "<Pin>" : "<Unpin>") + r.shortcut +
            (result.empty() ? "" : " " + result) + (pin ? "</Pin>" : "</Unpin>"));
    }
  }
}

}  // namespace corvane::install
