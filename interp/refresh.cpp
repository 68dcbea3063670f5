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

void RefreshCacheOverride(Session& s) {
  Variables& v = s.variables;
  std::string requested = v.GetVariable("OVERRIDECACHE");
  if (requested.empty() || requested == s.applied_cache_override || !s.cache) return;
  std::string folder = requested;
  if (folder.back() != '\\') folder.push_back('\\');
  if (s.cache->ApplyCacheOverride(folder)) {
    v.SetVariable("OVERRIDECACHE", folder, kInjectOverrideCommandLine);
    s.applied_cache_override = folder;
  } else {
    v.SetVariable("OVERRIDECACHE", "", "Failed Cache Override");
    s.applied_cache_override.clear();
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
  s.variables.DefineVariable("DATE", c.date, kInitialization);
  s.variables.DefineVariable("TIME", c.time, kInitialization);
}

void RefreshCacheFolder(Session& s) {
  if (!s.cache) return;
  Variables& v = s.variables;
  const bool all_users = TextToBool(v.GetVariable("ALLUSERS"));
  if (s.image.build_mode != image::ScriptImage::kPatchBuild) {
    if (s.engine_file_name.empty()) {
      s.engine_file_name = FileNameOf(s.platform.system().ModulePath());
    }
    std::string folder = s.cache->GetCacheRoot(all_users) + s.image.revision_code + "\\";
    v.DefineVariable("UNINSTALLLINK", folder + s.engine_file_name, kInitialization);
    v.DefineVariable("ENGINECACHE", folder, kInitialization);
  } else {
    std::string command = s.cache->InstalledUninstallCommand(all_users);
    v.DefineVariable("UNINSTALLLINK", command, kInitialization);
    v.DefineVariable("ENGINECACHE", FolderOf(command), kInitialization);
  }
}

}  // namespace

void RefreshEngineState(Session& s) {
  Variables& v = s.variables;
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
  v.DefineVariable("LANGUAGE", s.active_language, kInitialization);
  RefreshCacheFolder(s);
}

}  // namespace corvane::interp
