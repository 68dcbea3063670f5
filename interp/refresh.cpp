// The refresh of engine state from variables before every command.
#include "interp/interpreter.h"
#include "platform/system.h"

namespace corvane::interp {

namespace {

constexpr std::string_view kInitialization = "Initialization";

bool SameSecond(const platform::LocalTime& a, const platform::LocalTime& b) {
  return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day &&
         a.month == b.month && a.year == b.year;
}

std::string FileNameOf(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

std::string FolderOf(std::string_view path) {
  size_t cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? std::string_view() : path.substr(0, cut + 1));
}

// Defines a variable of the refresh unless it holds that value already: the same outcome as
// defining it again, without writing the store on every command.
void Refresh(Variables& v, std::string_view name, const std::string& value) {
  std::string current;
  if (v.store().TryGet(name, &current) && current == value) return;
  v.DefineVariable(name, value, kInitialization);
}

void RefreshCacheOverride(Session& s) {
  Variables& v = s.variables;
  std::string requested = v.GetVariable("OVERRIDECACHE");
  if (requested.empty() || requested == s.applied_cache_override || !s.cache) return;
  // Refused once and kept by the command line's protection: not probed before every command.
  if (requested == s.refused_cache_override) return;
  std::string folder = requested;
  if (folder.back() != '\\') folder.push_back('\\');
  if (s.cache->ApplyCacheOverride(folder)) {
    v.SetVariable("OVERRIDECACHE", folder, kInjectOverrideCommandLine);
    s.applied_cache_override = folder;
  } else {
    v.SetVariable("OVERRIDECACHE", "", "Failed Cache Override");
    s.applied_cache_override.clear();
    if (v.GetVariable("OVERRIDECACHE") == requested) s.refused_cache_override = requested;
  }
}

void RefreshClock(Session& s) {
  platform::SystemInfo& system = s.platform.system();
  platform::LocalTime now = system.Now();
  Session::ClockCache& c = s.clock_cache;
  if (!c.valid || !SameSecond(c.at, now)) {
    c.date = system.FormatDate(now, system.ShortDateFormat());
    c.time = system.FormatTime(now, system.TimeFormat());
    c.at = now;
    c.valid = true;
  }
  Refresh(s.variables, "DATE", c.date);
  Refresh(s.variables, "TIME", c.time);
}

// ENGINECACHE and UNINSTALLLINK follow ALLUSERS, OVERRIDECACHE (and, for a patch, TITLE) and
// what the registry says. The registry is read again only after a command that may have changed
// the machine.
void RefreshCacheFolder(Session& s) {
  if (!s.cache) return;
  Variables& v = s.variables;
  Session::CacheFolderCache& c = s.cache_folder_cache;
  const bool all_users = TextToBool(v.GetVariable("ALLUSERS"));
  const bool patch = s.image.build_mode == image::ScriptImage::kPatchBuild;
  std::string override_folder = v.GetVariable("OVERRIDECACHE");
  std::string title = patch ? v.GetVariable("TITLE") : std::string();
  if (c.epoch != s.machine_epoch || c.all_users != all_users ||
      c.override_folder != override_folder || c.title != title) {
    if (!patch) {
      if (s.engine_file_name.empty()) {
        s.engine_file_name = FileNameOf(s.platform.system().ModulePath());
      }
      c.engine_cache = s.cache->GetCacheRoot(all_users) + s.image.revision_code + "\\";
      c.uninstall_link = c.engine_cache + s.engine_file_name;
    } else {
      c.uninstall_link = s.cache->InstalledUninstallCommand(all_users);
      c.engine_cache = FolderOf(c.uninstall_link);
    }
    c.epoch = s.machine_epoch;
    c.all_users = all_users;
    c.override_folder = std::move(override_folder);
    c.title = std::move(title);
  }
  Refresh(v, "UNINSTALLLINK", c.uninstall_link);
  Refresh(v, "ENGINECACHE", c.engine_cache);
}

}  // namespace

void WatchRefreshedVariables(TVariableManager& store) {
  for (std::string_view name :
       {"LOGGED", "SILENT", "TITLE", "VORTLOGO", "OVERRIDECACHE", "DATE", "TIME", "LANGUAGE",
        "ALLUSERS", "UNINSTALLLINK", "ENGINECACHE", "ABORT", "VORT_IsCancelled"}) {
    store.Watch(name);
  }
}

void RefreshEngineState(Session& s) {
  Variables& v = s.variables;
  // Counted before the refresh: its own writes move the count, so the refresh after it runs once
  // more, finds nothing to write and settles.
  const Session::RefreshInputs inputs{v.store().watched_changes(), s.machine_epoch,
                                      s.platform.system().TickCount(), s.cache, s.localizer};
  if (inputs == s.refresh_inputs) return;
  s.refresh_inputs = inputs;
  s.log_path = v.GetVariable("LOGGED");
  v.SetSilent(TextToBool(v.GetVariable("SILENT")));
  s.caption_title = v.GetVariable("TITLE");
  s.logo = v.GetVariable("VORTLOGO") == "TRUE";

  RefreshCacheOverride(s);
  RefreshClock(s);

  s.active_language = v.GetVariable("LANGUAGE");
  if (!s.active_language.empty() && s.active_language != s.loaded_language) {
    if (s.localizer) s.localizer->LoadLanguage(s.active_language);
    s.loaded_language = s.active_language;
  }
  Refresh(v, "LANGUAGE", s.active_language);
  RefreshCacheFolder(s);
}

}  // namespace corvane::interp
