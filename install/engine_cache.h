// The engine cache: the per-revision folder that keeps a copy of the engine, the installer
// database, the support archive and the state of the run, so that maintenance and removal runs
// start without the installation media; the uninstall registration that points at it; and the
// bootstrap that decides at the start of every run between a first-time run, a maintenance run
// and an upgrade.
//
// One EngineCache lives for a run. It is attached to the session (session.Find<EngineCache>())
// and serves the refresh before each command through interp::EngineCacheHooks. Main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "interp/hooks.h"
#include "platform/registry.h"

namespace corvane::interp {
class Session;
}
namespace corvane::ui {
class ComponentTable;
}

namespace corvane::install {

// What start-up knows about the running engine and the setup.
struct EngineCacheInputs {
  std::string engine_folder;   // folder of the running engine, with a trailing backslash
  std::string engine_file;     // file name of the engine executable ("setup.exe")
  std::string setup_base;      // the setup's file name without extension (cache file names)
  std::string data_folder;     // the setup's data folder (DATADIR before the bootstrap)
  std::string support_folder;  // the support folder TEMP\zelN\, with a trailing backslash
  // The installer database in the support folder (MSIFILE); its base name finds the per-user
  // cache. Empty: support folder + setup base + ".msi".
  std::string database_path;
  // The 64-bit platform text ("Win32", "x64", "ia64") that the component data file carries; the
  // engine's 64-bit mode lives elsewhere. Without them "Win32" is written and a loaded value is
  // dropped.
  std::function<std::string()> get_platform_text;
  std::function<void(const std::string&)> set_platform_text;
};

// What Apply Changes did (its install / remove / advertise choice).
enum class CacheUpdate { kInstall, kRemove, kAdvertise };

// Key of the registered cache folder, followed by the product code.
inline constexpr const char* kIdentCacheKey = "SOFTWARE\\Kestrova\\Corvane\\Ident.Cache\\";
inline constexpr const char* kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class EngineCache : public interp::EngineCacheHooks {
 public:
  // Attaches itself to the session (session.Attach<EngineCache>) and becomes session.cache.
  EngineCache(interp::Session& session, ui::ComponentTable& components, EngineCacheInputs inputs);
  ~EngineCache() override;
  EngineCache(const EngineCache&) = delete;
  EngineCache& operator=(const EngineCache&) = delete;

  // --- the cache's place
  // OVERRIDECACHE when set; else the registered folder's parent when its last folder name is the
  // revision code; else the common (all users) or the user's application data folder.
  std::string GetCacheRoot(bool all_users) override;
  // True unless the per-user cache holds this revision's component data file for the database.
  bool MaintenanceCacheIsPerMachine(const std::string& database_path);
  // The cache folder name: the revision code, or in a patch build the installed revision.
  std::string CacheFolderName();
  // Cache root for the current ALLUSERS + folder name + "\".
  std::string CurrentCacheFolder();

  // --- the run
  // Decides first-time / maintenance / upgrade, loads the saved state, sets the cache variables.
  void BootstrapEngineCache();
  // A patch build's start: the installed product's saved state (component selection, pins,
  // installer properties), from the cache folder its uninstall command names.
  void LoadPatchBaseState();
  // After a successful Apply Changes: fills or removes the cache and the uninstall registration.
  // Copy, delete and registry failures are ignored.
  void UpdateEngineCache(CacheUpdate update);
  // End of run: web source clean-up, hidden attribute, the component data file.
  void SaveRunState();

  // --- interp::EngineCacheHooks
  bool ApplyCacheOverride(const std::string& folder) override;
  std::string InstalledUninstallCommand(bool all_users) override;

  // --- state other subsystems use
  const std::string& product_code() const { return product_code_; }
  const std::string& revision_code() const { return revision_code_; }
  // Transform Instance: a new product and revision code; the bootstrap runs again afterwards.
  void SetInstanceCodes(const std::string& product_code, const std::string& revision_code);
  // The installer database changed for a new instance: copied into the cache instead of the one
  // beside the setup.
  void SetInstanceDatabase(const std::string& path) { instance_database_ = path; }
  // The data folder (DATADIR); in a web build the cache folder after the bootstrap.
  const std::string& data_folder() const { return data_folder_; }
  // Web builds: where the offline media are copied from (the setup's own "data\" folder).
  const std::string& offline_source() const { return offline_source_; }
  // Pin lists (entries "shortcut|flags|target"): the previous run's, loaded by the bootstrap,
  // and this run's, filled by the shortcut commands and saved by UpdateEngineCache.
  const std::vector<std::string>& previous_pins() const { return previous_pins_; }
  std::vector<std::string>& run_pins() { return run_pins_; }
  bool changes_applied() const { return changes_applied_; }
  bool cache_removed() const { return cache_removed_; }
  bool state_saved() const { return state_saved_; }

 private:
  bool IsNt();
  platform::RegView PackageRegistryView();
  bool IsWebBuild() const;
  bool IsPatchBuild() const;
  std::string RegisteredCacheValue();
  std::string DatabasePath() const;
  void ApplyCompression(const std::string& folder);
  void WriteDataFile(const std::string& path, bool full);
  void LoadDataFile(const std::string& path, int kind);
  void CopyIntoCache(const std::string& from, const std::string& to);
  bool FillCache(const std::string& folder);
  void RemoveCache(const std::string& folder);
  // True for a folder this run may fill, hide, compress or remove: its name is the cache folder
  // name (a GUID) and it lies in an absolute root. A refusal is traced.
  bool IsOwnCacheFolder(const std::string& folder);
  bool IsPerMachineFolder(const std::string& folder);
  bool MakeCacheFolder(const std::string& folder);
  bool IsTrustedCachePath(const std::string& path, const std::string& folder);
  // UNINSTALLLINK, ENGINECACHE and (web builds) DATADIR from the current cache root.
  void RecomputeCachePaths();
  // True when TITLE and the product code can name the product's registration keys (traced when
  // not).
  bool IsRegistrationName(const std::string& title);
  void WriteRegistration(const std::string& folder);
  void RemoveRegistration();

  interp::Session& session_;
  ui::ComponentTable& components_;
  EngineCacheInputs in_;

  std::string product_code_;
  std::string revision_code_;
  std::string title_;
  std::string data_folder_;
  std::string offline_source_;
  std::string refused_override_;  // the last override that could not be used
  std::string instance_database_;
  std::vector<std::string> previous_pins_;
  std::vector<std::string> run_pins_;
  bool changes_applied_ = false;
  bool cache_exists_ = false;
  bool cache_removed_ = false;
  bool state_saved_ = false;
};

// Probes an override folder F: true when F (trailing backslash removed) has at most two
// characters, exists, or is its own parent; otherwise its parent is probed first and F created,
// and each folder created is appended to *created (outermost first). False when a creation
// fails. An empty F raises ScriptFailure "Unable to create directory" (a name without any
// backslash leads there).
bool ProbeCacheOverride(interp::Session& session, const std::string& folder,
                        std::vector<std::string>* created);

}  // namespace corvane::install
