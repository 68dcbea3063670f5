#include "engine/run_script.h"

#include <memory>

#include "commands/engine_state.h"
#include "image/failure.h"
#include "install/engine_cache.h"
#include "install/web_media.h"
#include "ui/components.h"
#include "ui/localisation.h"

namespace corvane::engine {

namespace {

constexpr std::string_view kInitialization = "Initialization";
constexpr std::string_view kPreInitialization = "Pre-Initialization";

std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string FileNameOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string ReadString(platform::Registry& reg, platform::RegRoot root, const std::string& key,
                       const std::string& name) {
  platform::RegValue v;
  if (reg.ReadValue(root, key, name, platform::RegView::kNative, &v) != platform::Status::kOk) {
    return std::string();
  }
  return v.type == platform::RegType::kString || v.type == platform::RegType::kExpandString
             ? v.data
             : std::string();
}

}  // namespace

void DefinePredefinedVariables(interp::Session& s, const StartupState& st) {
  interp::Variables& v = s.variables;
  platform::SystemInfo& system = s.platform.system();
  const CommandLine& cl = st.command_line;
  const bool nt = system.Version().platform_id == 2;
  const std::string version_key = std::string("SOFTWARE\\Microsoft\\") +
                                  (nt ? "Windows NT" : "Windows") + "\\CurrentVersion\\";
  platform::LocalTime now = system.Now();
  auto define = [&](std::string_view name, std::string_view value) {
    v.DefineVariable(name, value, kInitialization);
  };
  define("VORT_TIMEOUT", "10");
  define("VORT_COMPRESS_INSTALLER_CACHE", "TRUE");
  define("VORT_DISABLE_ROLLBACK", "FALSE");
  define("VORT_DISABLE_VISTA_RESTART_MANAGER", "FALSE");
  define("IISHOST", "localhost");
  if (!v.IsVariableDefined("OVERRIDECACHE")) define("OVERRIDECACHE", "");
  define("VORTLOGO", "");
  define("SELECTED", "0");
  define("WINDOWHANDLE", "0");
  define("EXEFILE", st.engine_path);
  define("EXEDIR", st.engine_folder);
  define("PROGRESSTEXT", "");
  define("PROGRESSMODE", "");
  define("ABORT", "FALSE");
  define("PROGRESS", "0");
  define("LASTERROR", "");
  define("LICENSE", "FALSE");
  define("USERNAME", ReadString(s.platform.registry(), platform::RegRoot::kLocalMachine,
                                version_key, "RegisteredOwner"));
  define("USERCOMPANY", ReadString(s.platform.registry(), platform::RegRoot::kLocalMachine,
                                   version_key, "RegisteredOrganization"));
  define("COPYWEBLOCK", "");
  define("REBOOTCOMPUTER", "FALSE");
  define("RUNAPP", "TRUE");
  define("WIZARD", "NEXT");
  define("VERSION", s.image.version);
  define("SILENT", cl.silent ? "TRUE" : "FALSE");
  define("LOGGED", cl.log_path);
  define("CMDLINE", cl.tail);
  define("REBOOTNOW", "OK");
  define("SFXPATH", FolderOf(cl.self_extractor));
  define("SFXFILE", FileNameOf(cl.self_extractor));
  define("GPOPATH", FolderOf(cl.group_policy));
  define("COMPLETE", "TRUE");
  define("NEWLINE", "\r\n");
  define("MINIMUM", "FALSE");
  define("PERSONALIZED", "FALSE");
  define("MODIFY", "TRUE");
  define("REPAIR", "FALSE");
  define("REMOVE", "FALSE");
  define("ROOTDIR", st.engine_folder);
  define("TITLE", s.image.title);
  define("COMPANY", s.image.publisher);
  define("ADVERTISE", "FALSE");
  define("DATE", system.FormatDate(now, system.ShortDateFormat()));
  define("TIME", system.FormatTime(now, system.TimeFormat()));
  define("TEMPDIR", st.temp_folder);
  define("ABORTONERROR", "TRUE");
  define("ABORTEDONERROR", "FALSE");
  define("SAVEDATA", "FALSE");
  define("SUPPORTDIR", st.support_folder);
  define("MSIFILE", st.database_path);
}

RunOutcome RunScript(platform::Platform& platform, StartupState& st, TraceLog& trace,
                     const RunServices& services) {
  interp::Session s(platform, st.image, st.pools);
  s.keep_alive = services.keep_alive;
  s.dialogs = services.dialogs;
  // The run's texts: start-up's message set, with the language file it read.
  s.messages = &st.messages;
  ui::Localisation localisation(s, st.support_folder);
  s.localizer = services.localizer ? services.localizer : &localisation;
  s.engine_file_name = FileNameOf(st.engine_path);
  s.media_switch = st.command_line.media_path;
  // Commands whose files lie in a web media block fetch it through the web media of install/.
  s.fetch_command_media = install::FetchCommandMedia;
  // Entries go to the command line's log path until LOGGED takes over before the first command.
  s.log_path = st.command_line.log_path;
  s.trace = [&s, &trace](std::string_view entry) {
    trace.SetPath(s.log_path);
    trace.Write(entry);
  };
  s.variables.SetSilent(st.command_line.silent);
  s.variables.SetCommandLineAssignments(st.command_line.assignments);

  ui::ComponentTable components;
  components.SetImageSizes(st.image.components);
  s.Attach<ui::ComponentTable>(&components);

  // The engine cache of this run: the bootstrap before the first command, the saved state after
  // the last one.
  install::EngineCacheInputs cache_inputs;
  cache_inputs.engine_folder = st.engine_folder;
  cache_inputs.engine_file = FileNameOf(st.engine_path);
  cache_inputs.setup_base = st.engine_base_name;
  cache_inputs.data_folder = st.data_folder;
  cache_inputs.support_folder = st.support_folder;
  cache_inputs.database_path = st.database_path;
  // The commands' state goes with the exit clean-up, before the run's state is saved: the
  // platform text is taken just before that (see initialize below).
  std::string final_platform_text;
  bool platform_text_taken = false;
  cache_inputs.get_platform_text = [&] {
    return platform_text_taken ? final_platform_text : commands::StateOf(s).platform_text;
  };
  cache_inputs.set_platform_text = [&s](const std::string& text) {
    commands::StateOf(s).platform_text = text;
  };
  install::EngineCache cache(s, components, cache_inputs);
  if (services.attach) services.attach(s);

  s.Trace("    <Variables>");
  s.properties.ClearDatabaseProperties();
  s.properties.ClearSessionProperties();
  s.Trace("    </Variables>");

  // The lock of a single-instance setup: held open for the whole run and deleted when closed,
  // so that a run that crashes does not lock out the runs after it.
  std::unique_ptr<platform::File> lock;

  interp::RunSteps steps;
  steps.prepare = [&](interp::Session& session) {
    interp::Variables& v = session.variables;
    components = ui::ComponentTable();
    components.SetImageSizes(st.image.components);
    interp::DefineBackgroundVariables(session);
    v.DefineVariable("TARGETDIR", "", kPreInitialization);
    v.DefineVariable("STARTMENU", st.image.title, kPreInitialization);
    const bool privileged = session.platform.system().Version().platform_id == 2 &&
                            session.platform.shell().IsAdministrator();
    v.DefineVariable("ALLUSERS", privileged ? "TRUE" : "FALSE", kPreInitialization);
    session.Trace("    <BootStrap>");
    cache.BootstrapEngineCache();
    session.Trace("    </BootStrap>");

    platform::FileSystem& files = session.platform.files();
    std::string msp = st.database_path.substr(0, st.database_path.rfind('.')) + ".msp";
    if (!files.FileExists(st.database_path) && !files.FileExists(msp)) return false;

    if (image::ExpandCompilerVariables(st.image, "#SINGLEINSTANCE#") == "TRUE") {
      const std::string lock_path = st.temp_folder + st.image.revision_code + ".zel";
      // A running instance holds its lock open, so it cannot be deleted: this run returns at
      // once. A lock that a run left behind when it ended abnormally is deleted and made anew.
      if (files.FileExists(lock_path) && files.DeleteFile(lock_path) != platform::Status::kOk) {
        return false;
      }
      platform::Status status;
      lock = files.Open(lock_path, platform::OpenMode::kExclusiveTemp, &status);
      if (!lock) {
        if (files.FileExists(lock_path)) return false;  // another instance took it first
        throw image::ScriptFailure("Cannot create the lock file \"" + lock_path + "\". " +
                                   platform::StatusName(status));
      }
      session.exit_cleanups.push_back([&lock] { lock.reset(); });
    }
    return true;
  };
  steps.initialize = [&](interp::Session& session) {
    interp::Variables& v = session.variables;
    // Clean-ups run last registered first: this one reads the platform text before the
    // commands' state (registered just before it) is dropped.
    commands::StateOf(session);
    session.exit_cleanups.push_back([&] {
      final_platform_text = commands::StateOf(s).platform_text;
      platform_text_taken = true;
    });
    components.Define(std::string(ui::kPredefinedComponent), true, "");
    DefinePredefinedVariables(session, st);
    cache.LoadPatchBaseState();
    // The restart entry of Reboot and Resume is named by the product code's first eight digits.
    if (st.image.product_code.size() >= 9) {
      const std::string name = st.image.product_code.substr(1, 8);
      const std::string run_once = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\";
      for (auto root : {platform::RegRoot::kCurrentUser, platform::RegRoot::kLocalMachine}) {
        session.platform.registry().DeleteValue(root, run_once, name, platform::RegView::kNative);
      }
    }
    for (long i = 0; i < static_cast<long>(st.image.command_count()); ++i) {
      std::string header = image::GetCommandHeader(st.image, i, false);
      if (!header.empty()) session.properties.RecordInstallerProperty("A" + header, "FALSE");
    }
    // The language: chosen in the language dialog, the default language, or in a maintenance
    // run the language the installation was made in.
    ui::LanguageSelection language;
    language.maintenance = interp::TextToBool(v.GetVariable("MAINTENANCE"));
    language.patch_file =
        session.platform.files().FileExists(st.engine_folder + st.engine_base_name + ".msp");
    language.cached_language = cache.CurrentCacheFolder() + st.engine_base_name + ".lan";
    language.choose = [&session](const std::vector<std::string>& names, int preselected) {
      return session.dialogs ? session.dialogs->ChooseLanguage(names, preselected) : preselected;
    };
    if (!localisation.SelectLanguage(language)) return false;
    interp::InjectCommandLine(session);
    return true;
  };

  interp::RunResult result = interp::InterpretScript(s, steps);
  RunOutcome outcome;
  outcome.exit_code = result.exit_code;
  outcome.ending = result.ending;
  if (result.ending == interp::RunEnding::kCompileFailed) {
    outcome.end_now = true;
    return outcome;
  }
  if (result.ending != interp::RunEnding::kNotRun && !cache.state_saved()) cache.SaveRunState();
  if (result.ending == interp::RunEnding::kMediumRemoved) st.medium_removed = true;
  lock.reset();
  return outcome;
}

}  // namespace corvane::engine
