#include "install/engine_cache.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "image/failure.h"
#include "image/script_image.h"
#include "interp/session.h"
#include "platform/numbers.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "ui/components.h"
#include "ui/components_session.h"

namespace corvane::install {

using platform::FileSystem;
using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;

namespace {

constexpr std::string_view kBootstrap = "Bootstrap";
constexpr std::string_view kInitialization = "Initialization";
constexpr const char* kInstanceFile = "instance.dat";
constexpr const char* kAdvertisedFolder = "__ad";

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path.push_back('\\');
  return path;
}

std::string WithoutBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// "C:\a\b\" -> "b"; "C:\a\b" -> "b".
std::string LastFolderName(const std::string& folder) {
  std::string f = WithoutBackslash(folder);
  size_t cut = f.find_last_of('\\');
  return cut == std::string::npos ? f : f.substr(cut + 1);
}

// "C:\a\b\" or "C:\a\b" -> "C:\a\"; empty when there is no backslash.
std::string ParentFolder(const std::string& folder) {
  std::string f = WithoutBackslash(folder);
  size_t cut = f.find_last_of('\\');
  return cut == std::string::npos ? std::string() : f.substr(0, cut + 1);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Reads a list file (one entry a line); nullopt when the file cannot be read.
std::optional<std::vector<std::string>> ReadLines(FileSystem& files, const std::string& path) {
  std::string text;
  if (files.ReadFile(path, &text) != Status::kOk) return std::nullopt;
  return SplitLines(text);
}

// Writes a file with normal attributes (an older read-only copy is cleared first).
Status WriteNormalFile(FileSystem& files, const std::string& path, const std::string& contents) {
  if (files.FileExists(path)) files.SetAttributes(path, platform::attr::kNormal);
  return files.WriteFile(path, contents);
}


uint32_t VersionPart(const std::string& version, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    start = version.find('.', start);
    if (start == std::string::npos) return 0;
    ++start;
  }
  size_t end = version.find('.', start);
  std::string part = version.substr(start, end == std::string::npos ? end : end - start);
  std::optional<int32_t> v = platform::ParseDecimal32(part);
  return v && *v >= 0 ? static_cast<uint32_t>(*v) : 0;
}

bool ProbeFolder(FileSystem& files, std::string folder, std::vector<std::string>* created) {
  folder = WithoutBackslash(std::move(folder));
  if (folder.empty()) throw image::ScriptFailure("Unable to create directory");
  size_t cut = folder.find_last_of("\\:");
  std::string parent = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
  if (folder.size() <= 2 || files.DirectoryExists(folder) || parent == folder) return true;
  if (!ProbeFolder(files, parent, created)) return false;
  if (files.CreateDirectory(folder) != Status::kOk) return false;
  created->push_back(folder);
  return true;
}

}  // namespace

bool ProbeCacheOverride(interp::Session& session, const std::string& folder,
                        std::vector<std::string>* created) {
  return ProbeFolder(session.platform.files(), folder, created);
}

EngineCache::EngineCache(interp::Session& session, ui::ComponentTable& components,
                         EngineCacheInputs inputs)
    : session_(session), components_(components), in_(std::move(inputs)) {
  product_code_ = session_.image.product_code;
  revision_code_ = session_.image.revision_code;
  title_ = session_.image.title;
  data_folder_ = in_.data_folder;
  if (in_.database_path.empty()) in_.database_path = in_.support_folder + in_.setup_base + ".msi";
  session_.Attach<EngineCache>(this);
  session_.cache = this;
}

EngineCache::~EngineCache() {
  if (session_.Find<EngineCache>() == this) session_.Attach<EngineCache>(nullptr);
  if (session_.cache == this) session_.cache = nullptr;
}

bool EngineCache::IsNt() { return session_.platform.system().Version().platform_id == 2; }
bool EngineCache::IsWebBuild() const {
  return session_.image.build_mode == image::ScriptImage::kWebBuild;
}
bool EngineCache::IsPatchBuild() const {
  return session_.image.build_mode == image::ScriptImage::kPatchBuild;
}
std::string EngineCache::DatabasePath() const { return in_.database_path; }

void EngineCache::SetInstanceCodes(const std::string& product_code,
                                   const std::string& revision_code) {
  product_code_ = product_code;
  revision_code_ = revision_code;
}

// ---------------------------------------------------------------- where the cache is

std::string EngineCache::RegisteredCacheValue() {
  platform::Registry& reg = session_.platform.registry();
  const std::string key = kIdentCacheKey + product_code_;
  RegValue value;
  Status s = reg.ReadValue(RegRoot::kLocalMachine, key, "", RegView::kNative, &value);
  if (s != Status::kOk && reg.KeyExists(RegRoot::kLocalMachine, key, RegView::kNative) !=
                              Status::kOk) {
    s = reg.ReadValue(RegRoot::kCurrentUser, key, "", RegView::kNative, &value);
  }
  if (s != Status::kOk) return std::string();
  if (value.type != platform::RegType::kString && value.type != platform::RegType::kExpandString) {
    return std::string();
  }
  return value.data;
}

void EngineCache::RecomputeCachePaths() {
  interp::Variables& v = session_.variables;
  const bool privileged = IsNt() && session_.platform.shell().IsAdministrator();
  const std::string cache = GetCacheRoot(privileged) + revision_code_ + "\\";
  v.DefineVariable("UNINSTALLLINK", cache + in_.engine_file, kBootstrap);
  v.DefineVariable("ENGINECACHE", cache, kBootstrap);
  if (IsWebBuild()) {
    data_folder_ = cache;
    v.DefineVariable("DATADIR", data_folder_, kBootstrap);
  }
}

std::string EngineCache::GetCacheRoot(bool all_users) {
  // An override always ends with its separator; one that could not be used (and stays in the
  // variable because the command line protects it) is not a root at all.
  std::string override_folder = session_.variables.GetVariable("OVERRIDECACHE");
  if (!override_folder.empty()) {
    override_folder = WithBackslash(WithoutBackslash(override_folder));
    if (!platform::SameText(override_folder, refused_override_)) return override_folder;
  }

  std::string registered = RegisteredCacheValue();
  if (!registered.empty() && LastFolderName(registered) == revision_code_) {
    return ParentFolder(registered);
  }

  platform::Shell& shell = session_.platform.shell();
  std::string folder;
  if (!IsNt()) {
    shell.GetSpecialFolder(platform::SpecialFolder::kCommonFiles, &folder);
    return folder;
  }
  if (all_users) {
    shell.GetSpecialFolder(platform::SpecialFolder::kCommonAppData, &folder);
    return folder;
  }
  shell.GetSpecialFolder(platform::SpecialFolder::kLocalAppData, &folder);
  if (folder.empty()) shell.GetSpecialFolder(platform::SpecialFolder::kAppData, &folder);
  if (folder.empty()) {
    std::string desktop;
    shell.GetSpecialFolder(platform::SpecialFolder::kDesktop, &desktop);
    if (!desktop.empty()) folder = ParentFolder(desktop) + "Application Data\\";
  }
  return folder;
}

std::string EngineCache::CacheFolderName() {
  if (IsPatchBuild()) {
    std::string command =
        InstalledUninstallCommand(interp::TextToBool(session_.variables.GetVariable("ALLUSERS")));
    std::string installed = LastFolderName(ParentFolder(command));
    if (!installed.empty()) return installed;
  }
  return revision_code_;
}

std::string EngineCache::CurrentCacheFolder() {
  bool all_users = interp::TextToBool(session_.variables.GetVariable("ALLUSERS"));
  return GetCacheRoot(all_users) + CacheFolderName() + "\\";
}

bool EngineCache::MaintenanceCacheIsPerMachine(const std::string& database_path) {
  std::string name = database_path.substr(database_path.find_last_of("\\/:") + 1);
  size_t dot = name.find_last_of('.');
  std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  std::string per_user = GetCacheRoot(false) + CacheFolderName() + "\\" + base + ".dat";
  return !session_.platform.files().FileExists(per_user);
}

std::string EngineCache::InstalledUninstallCommand(bool all_users) {
  std::string title = session_.variables.GetVariable("TITLE");
  if (title.empty()) title = title_;
  RegValue value;
  if (session_.platform.registry().ReadValue(
          all_users ? RegRoot::kLocalMachine : RegRoot::kCurrentUser, kUninstallKey + title,
          "UninstallString", RegView::kNative, &value) != Status::kOk) {
    return std::string();
  }
  std::string command = value.data;
  command.erase(std::remove(command.begin(), command.end(), '"'), command.end());
  return command;
}

void EngineCache::LoadPatchBaseState() {
  if (!IsPatchBuild()) return;
  std::string command = InstalledUninstallCommand(false);
  if (command.empty()) command = InstalledUninstallCommand(true);
  // The installed revision names the folder: only a code may, or the command could point the
  // run at any folder's files.
  const std::string installed = LastFolderName(ParentFolder(command));
  if (!image::IsBracedGuid(installed)) {
    session_.Trace("<PatchBase none>");
    return;
  }
  platform::FileSystem& files = session_.platform.files();
  const std::string& base = in_.setup_base;
  const std::string saved =
      GetCacheRoot(MaintenanceCacheIsPerMachine(DatabasePath())) + installed + "\\";
  const bool saved_trusted = IsTrustedCachePath(saved, saved);
  auto trusted = [&](const std::string& file) {
    return saved_trusted && files.FileExists(file) && IsTrustedCachePath(file, saved);
  };
  if (trusted(saved + base + ".dat")) {
    LoadDataFile(saved + base + ".dat", static_cast<int>(ui::ComponentTable::LoadKind::kCache));
  }
  if (trusted(saved + base + ".lnk")) {
    if (auto pins = ReadLines(files, saved + base + ".lnk")) previous_pins_ = *pins;
  }
  if (trusted(saved + base + ".par")) {
    if (auto properties = ReadLines(files, saved + base + ".par")) {
      session_.properties.SetSessionProperties(*properties);
    }
  }
}

// ---------------------------------------------------------------- the component data file

void EngineCache::LoadDataFile(const std::string& path, int kind) {
  ui::SessionComponentVariables vars(session_);
  std::string platform_text;
  if (components_.LoadFile(session_.platform.files(), path,
                           static_cast<ui::ComponentTable::LoadKind>(kind), vars,
                           &platform_text) &&
      !platform_text.empty() && in_.set_platform_text) {
    in_.set_platform_text(platform_text);
  }
}

void EngineCache::WriteDataFile(const std::string& path, bool full) {
  ui::SessionComponentVariables vars(session_);
  ui::ComponentTable::FileValues values;
  std::string data_dir = session_.variables.GetVariable("DATADIR");
  std::unique_ptr<platform::PathForms> forms = platform::CreatePathForms(session_.platform);
  std::string short_dir;
  if (!data_dir.empty() && forms->GetShortPath(data_dir, &short_dir) == Status::kOk &&
      short_dir.size() < 260) {
    values.fourth_line = short_dir;
  }
  if (in_.get_platform_text) values.platform_text = in_.get_platform_text();
  values.override_cache = session_.variables.GetVariable("OVERRIDECACHE");
  if (full) {
    components_.WriteFull(session_.platform.files(), path, vars, values);
  } else {
    components_.UpdateVariables(session_.platform.files(), path, vars, values);
  }
}

// ---------------------------------------------------------------- bootstrap

void EngineCache::BootstrapEngineCache() {
  interp::Variables& v = session_.variables;
  FileSystem& files = session_.platform.files();
  const std::string& base = in_.setup_base;

  // 1. An engine started from a cache folder serves the product named beside it.
  const bool from_cache = files.FileExists(in_.engine_folder + kInstanceFile);
  std::string title = title_;
  if (from_cache) {
    if (auto lines = ReadLines(files, in_.engine_folder + kInstanceFile)) {
      if (lines->size() > 0) product_code_ = (*lines)[0];
      if (lines->size() > 1) revision_code_ = (*lines)[1];
      if (lines->size() > 2) title = (*lines)[2];
    }
    // The file lies beside the engine, in whatever folder that is: its codes are trusted only in
    // the one form that cannot name anything but a cache folder of its own.
    if (!image::IsBracedGuid(product_code_) || !image::IsBracedGuid(revision_code_)) {
      throw image::ScriptFailure("The file \"" + in_.engine_folder + kInstanceFile +
                                 "\" names no valid product code and revision code.");
    }
  }

  // 2.
  v.DefineVariable("PRODUCTCODE", product_code_, kBootstrap);
  v.DefineVariable("REVISIONCODE", revision_code_, kBootstrap);
  std::string program_files;
  session_.platform.shell().GetSpecialFolder(platform::SpecialFolder::kProgramFiles,
                                             &program_files);
  const std::string default_target = program_files + title + "\\";

  // 3.
  const bool privileged = IsNt() && session_.platform.shell().IsAdministrator();
  const std::string cache = GetCacheRoot(privileged) + revision_code_ + "\\";
  v.DefineVariable("UNINSTALLLINK", cache + in_.engine_file, kBootstrap);
  v.DefineVariable("ENGINECACHE", cache, kBootstrap);

  // 4.
  if (IsWebBuild()) {
    offline_source_ = in_.engine_folder + "data\\";
    data_folder_ = cache;
  }
  v.DefineVariable("DATADIR", data_folder_, kBootstrap);

  // 5. An installed product whose package differs from this setup's revision needs an upgrade.
  platform::Installer& installer = session_.platform.installer();
  const bool installed =
      installer.QueryProductState(product_code_) == platform::install_state::kDefault;
  bool needs_upgrade = false;
  if (installed) {
    std::string package_code;
    if (installer.GetProductInfo(product_code_, "PackageCode", &package_code) == Status::kOk) {
      needs_upgrade = platform::LowerCase(package_code) != platform::LowerCase(revision_code_);
    }
  }
  v.DefineVariable("NEEDSUPGRADE", interp::BoolToText(needs_upgrade), kBootstrap);

  // 6.
  const bool maintenance = !needs_upgrade && installed;
  const bool load_old_data =
      needs_upgrade && image::ExpandCompilerVariables(session_.image, "#LOADOLDDATA#") == "TRUE";
  v.DefineVariable("MAINTENANCE", interp::BoolToText(maintenance), kBootstrap);
  components_.set_installed_baseline(0);

  // 7.
  const std::string saved = GetCacheRoot(MaintenanceCacheIsPerMachine(DatabasePath())) +
                            revision_code_ + "\\";
  const std::string data_file = saved + base + ".dat";
  // What a per-machine cache holds is read only when an administrator or SYSTEM owns it: a
  // standard user may have made the folder, or planted the files, before the first run.
  const bool saved_trusted = IsTrustedCachePath(saved, saved);
  auto trusted = [&](const std::string& file) {
    return saved_trusted && IsTrustedCachePath(file, saved);
  };
  if (maintenance) {
    if (trusted(data_file)) {
      LoadDataFile(data_file, static_cast<int>(ui::ComponentTable::LoadKind::kCache));
    }
    components_.set_installed_baseline(components_.SelectedSize());
    if (trusted(saved + base + ".lnk")) {
      if (auto pins = ReadLines(files, saved + base + ".lnk")) previous_pins_ = *pins;
    }
    if (trusted(saved + base + ".par")) {
      if (auto properties = ReadLines(files, saved + base + ".par")) {
        session_.properties.SetSessionProperties(*properties);
      }
    }
  } else {
    components_.ResetForFirstRun();
    session_.properties.ClearSessionProperties();
    v.DefineVariable("TARGETDIR", default_target, kBootstrap);
    v.DefineVariable("STARTMENU", title, kBootstrap);
    v.DefineVariable("ALLUSERS", interp::BoolToText(privileged), kBootstrap);
    if (trusted(data_file)) {
      LoadDataFile(data_file, static_cast<int>(ui::ComponentTable::LoadKind::kCache));
    }
  }

  // 8. The registered cache of the installed product: its component data file.
  std::string chosen_data, chosen_pins;
  std::string registered = WithoutBackslash(RegisteredCacheValue());
  if (!registered.empty() && files.DirectoryExists(registered) &&
      IsTrustedCachePath(registered, registered)) {
    std::vector<platform::FileEntry> entries;
    files.List(registered, "*.dat", &entries);
    std::vector<std::string> bases;
    for (const platform::FileEntry& e : entries) {
      if ((e.attributes & platform::attr::kDirectory) || platform::SameText(e.name, kInstanceFile)) {
        continue;
      }
      bases.push_back(registered + "\\" + e.name.substr(0, e.name.size() - 4));
    }
    if (bases.size() == 1) {
      chosen_data = bases[0] + ".dat";
    } else {
      for (const std::string& b : bases) {
        if (files.FileExists(b + ".exe") && files.FileExists(b + ".res") &&
            files.FileExists(b + ".msi") && files.FileExists(b + ".par")) {
          chosen_data = b + ".dat";
          if (files.FileExists(b + ".lnk")) chosen_pins = b + ".lnk";
          break;
        }
      }
    }
  }

  // 9.
  if (load_old_data && !chosen_data.empty() && IsTrustedCachePath(chosen_data, registered)) {
    LoadDataFile(chosen_data, static_cast<int>(ui::ComponentTable::LoadKind::kCacheWithoutSizes));
  }
  if (!chosen_pins.empty() && IsTrustedCachePath(chosen_pins, registered)) {
    if (auto pins = ReadLines(files, chosen_pins)) previous_pins_ = *pins;
  }

  // 10. A setup started from elsewhere than the cache, for a product already there, makes a new
  // instance possible.
  const bool new_instance = !from_cache && (maintenance || needs_upgrade);
  v.DefineVariable("NEWINSTANCE", interp::BoolToText(new_instance), kInitialization);
}

bool EngineCache::ApplyCacheOverride(const std::string& folder) {
  std::vector<std::string> created;
  bool usable = ProbeCacheOverride(session_, folder, &created);
  if (usable) {
    // Every later cache path starts at the override. Only the paths are worked out again: the
    // rest of the bootstrap (the user's folder, ALLUSERS, the components, the installer
    // properties) stays as the run has it.
    session_.variables.SetVariable("OVERRIDECACHE", WithBackslash(WithoutBackslash(folder)),
                                   interp::kInjectOverrideCommandLine);
    refused_override_.clear();
    RecomputeCachePaths();
  } else {
    refused_override_ = WithBackslash(WithoutBackslash(folder));
  }
  // The probe's folders only proved the place usable; nothing is moved there yet. A folder
  // that is not empty stays.
  for (auto it = created.rbegin(); it != created.rend(); ++it) {
    session_.platform.files().RemoveDirectory(*it);
  }
  return usable;
}

// ---------------------------------------------------------------- update after Apply Changes

void EngineCache::ApplyCompression(const std::string& folder) {
  bool compress =
      interp::TextToBool(session_.variables.GetVariable("VORT_COMPRESS_INSTALLER_CACHE"));
  session_.platform.shell().SetCompression(WithoutBackslash(folder), compress);
}

void EngineCache::CopyIntoCache(const std::string& from, const std::string& to) {
  FileSystem& files = session_.platform.files();
  // A maintenance run started from the cache would copy a file onto itself.
  if (platform::SameText(files.GetFullPath(from), files.GetFullPath(to))) {
    files.SetAttributes(to, platform::attr::kNormal);
    return;
  }
  if (files.FileExists(to)) files.SetAttributes(to, platform::attr::kNormal);
  if (files.CopyFile(from, to, false) == Status::kOk) {
    files.SetAttributes(to, platform::attr::kNormal);
  }
}

bool EngineCache::FillCache(const std::string& folder) {
  FileSystem& files = session_.platform.files();
  interp::Variables& v = session_.variables;
  const std::string& base = in_.setup_base;
  if (!IsOwnCacheFolder(folder) || !MakeCacheFolder(folder)) return false;
  ApplyCompression(folder);
  if (IsWebBuild()) WriteNormalFile(files, folder + product_code_, "");

  CopyIntoCache(session_.platform.system().ModulePath(), folder + in_.engine_file);
  CopyIntoCache(instance_database_.empty() ? in_.engine_folder + base + ".msi"
                                           : instance_database_,
                folder + base + ".msi");
  CopyIntoCache(in_.engine_folder + base + ".res", folder + base + ".res");
  CopyIntoCache(in_.engine_folder + "zel.lib", folder + "zel.lib");
  CopyIntoCache(in_.engine_folder + "setup.bmp", folder + "setup.bmp");

  try {
    if (files.FileExists(folder + base + ".dat")) {
      files.SetAttributes(folder + base + ".dat", platform::attr::kNormal);
    }
    WriteDataFile(folder + base + ".dat", true);
  } catch (const image::ScriptFailure&) {
    // The installation has succeeded; a cache file that cannot be written is not a failure.
  }
  WriteNormalFile(files, folder + base + ".par",
                  JoinLines(session_.properties.public_session_properties()));
  WriteNormalFile(files, folder + base + ".lnk", JoinLines(run_pins_));
  std::string language = v.GetVariable("LANGUAGE");
  if (!language.empty()) {
    WriteNormalFile(files, folder + base + ".lan", language + "\r\n");
  } else if (files.FileExists(folder + base + ".lan")) {
    files.SetAttributes(folder + base + ".lan", platform::attr::kNormal);
    files.DeleteFile(folder + base + ".lan");
  }
  changes_applied_ = true;
  cache_exists_ = true;
  return true;
}

bool EngineCache::IsOwnCacheFolder(const std::string& folder) {
  const std::string name = LastFolderName(folder);
  const std::string root = ParentFolder(folder);
  // An absolute root: a drive ("C:\...") or a share ("\\server\share\...").
  const bool absolute = (root.size() >= 3 && root[1] == ':' && root[2] == '\\') ||
                        (root.size() >= 5 && root[0] == '\\' && root[1] == '\\');
  if (image::IsBracedGuid(name) && absolute && platform::SameText(name, CacheFolderName())) {
    return true;
  }
  session_.Trace("    <RefusedCacheFolder " + folder + ">");
  return false;
}

// The per-machine cache lies in the common application data folder, where standard users may
// make folders of their own (and can guess the name: it is the revision code).
bool EngineCache::IsPerMachineFolder(const std::string& folder) {
  if (!IsNt()) return false;
  std::string common;
  if (session_.platform.shell().GetSpecialFolder(platform::SpecialFolder::kCommonAppData,
                                                 &common) != Status::kOk ||
      common.empty()) {
    return false;
  }
  return platform::SameText(ParentFolder(folder), WithBackslash(common));
}

// Makes the cache folder. A per-machine one is made by an administrator's run only, with an
// access list that lets users read it but not change it; a folder of that name that another user
// made is never used.
bool EngineCache::MakeCacheFolder(const std::string& folder) {
  FileSystem& files = session_.platform.files();
  const std::string path = WithoutBackslash(folder);
  if (!IsPerMachineFolder(folder)) {
    files.CreateDirectories(path);
    return files.DirectoryExists(path);
  }
  platform::Shell& shell = session_.platform.shell();
  if (!shell.IsAdministrator()) {
    session_.Trace("    <RefusedCacheFolder " + folder + ": per-machine, no administrator rights>");
    return false;
  }
  Status s = shell.CreateProtectedFolder(path);
  if (s != Status::kOk) {
    session_.Trace("    <RefusedCacheFolder " + folder + ": " +
                   (s == Status::kAccessDenied ? "owned by another user" : "cannot be made") + ">");
    return false;
  }
  return true;
}

// Whether what lies at `path` (the cache folder or a file in it) may be used: all of a per-user
// cache; of a per-machine one only what an administrator or SYSTEM owns. A path that is not there
// holds nothing to trust.
bool EngineCache::IsTrustedCachePath(const std::string& path, const std::string& folder) {
  if (!IsPerMachineFolder(folder)) return true;
  bool trusted = false;
  Status s = session_.platform.shell().IsTrustedOwner(WithoutBackslash(path), &trusted);
  if (s == Status::kNotFound || (s == Status::kOk && trusted)) return true;
  session_.Trace("    <UntrustedCacheFolder " + path + ">");
  return false;
}

void EngineCache::RemoveCache(const std::string& folder) {
  FileSystem& files = session_.platform.files();
  if (!IsOwnCacheFolder(folder) || !IsTrustedCachePath(folder, folder)) return;
  if (IsWebBuild()) files.DeleteFile(folder + product_code_);
  platform::DeleteTree(files, folder);
  const std::string left = WithoutBackslash(folder);
  if (files.DirectoryExists(left)) {
    // The running engine keeps its folder: move it aside and delete it at the next restart.
    const std::string parent = ParentFolder(left);
    std::string aside;
    for (int n = 0;; ++n) {
      aside = parent + "~" + std::to_string(n);
      uint32_t attributes = 0;
      if (files.GetAttributes(aside, &attributes) == Status::kNotFound) break;
    }
    if (files.MoveFile(left, aside, false) != Status::kOk) aside = left;
    platform::Shell& shell = session_.platform.shell();
    shell.DeleteAtRestart(aside + "\\" + in_.engine_file);
    shell.DeleteAtRestart(aside + "\\zel.lib");
    shell.DeleteAtRestart(aside);
  }
  cache_removed_ = true;
  cache_exists_ = false;
}

void EngineCache::WriteRegistration(const std::string& folder) {
  interp::Variables& v = session_.variables;
  platform::Registry& reg = session_.platform.registry();
  const image::ScriptImage& image = session_.image;
  const RegRoot root = interp::TextToBool(v.GetVariable("ALLUSERS")) || !IsNt()
                           ? RegRoot::kLocalMachine
                           : RegRoot::kCurrentUser;
  const RegView view = RegView::kNative;
  const std::string title = v.GetVariable("TITLE");
  if (!IsRegistrationName(title)) return;
  const std::string engine = folder + in_.engine_file;
  const uint32_t major = VersionPart(image.version, 0);
  const uint32_t minor = VersionPart(image.version, 1);

  if (session_.platform.system().Version().major >= 5) {
    // Program paths in the registry are quoted: unquoted, a path with a blank in it
    // (C:\Users\John Smith\...) would start C:\Users\John.exe first.
    reg.WriteValue(root, kUninstallKey + product_code_, "UninstallString", PackageRegistryView(),
                   RegValue::String("\"" + folder + in_.setup_base + ".exe\""));
  }
  const std::string key = kUninstallKey + title;
  auto text = [&](const char* name, const std::string& data) {
    reg.WriteValue(root, key, name, view, RegValue::String(data));
  };
  text("DisplayIcon", engine);
  text("DisplayName", title);
  text("UninstallString", "\"" + engine + "\" REMOVE=TRUE MODIFY=FALSE");
  text("ModifyPath", "\"" + engine + "\"");
  text("Publisher", image.publisher);
  text("Contact", image.contact);
  text("HelpLink", image.help_link);
  text("URLUpdateInfo", image.update_link);
  text("Comments", image.comments);
  text("DisplayVersion", image.version);
  reg.WriteValue(root, key, "VersionMajor", view, RegValue::Dword(major));
  reg.WriteValue(root, key, "VersionMinor", view, RegValue::Dword(minor));
  text("InstallLocation", v.ExpandPath(v.GetVariable("TARGETDIR")));

  const std::string ident = kIdentCacheKey + product_code_;
  reg.WriteValue(root, ident, "VersionMajor", view, RegValue::Dword(major));
  reg.WriteValue(root, ident, "VersionMinor", view, RegValue::Dword(minor));
  reg.WriteValue(root, ident, "", view, RegValue::String(folder));

  WriteNormalFile(session_.platform.files(), folder + kInstanceFile,
                  JoinLines({product_code_, revision_code_, title}));
}

// The installer keeps a package's own entry (Uninstall\{ProductCode}) in the registry view of the
// package's platform, which is the platform text of the 64-bit mode: the 64-bit view for a 64-bit
// package on 64-bit Windows, the 32-bit view for a 32-bit one, whatever the engine process is.
RegView EngineCache::PackageRegistryView() {
  if (!session_.platform.system().Is64BitSystem()) return RegView::kNative;
  const std::string text = in_.get_platform_text ? in_.get_platform_text() : "Win32";
  return text == "Win32" ? RegView::kView32 : RegView::kView64;
}

// The product's keys are named by TITLE and the product code: an empty or partial name would
// name the shared key above them (every product's registration), so neither is written nor
// removed without both.
bool EngineCache::IsRegistrationName(const std::string& title) {
  if (!title.empty() && title.find('\\') == std::string::npos &&
      image::IsBracedGuid(product_code_)) {
    return true;
  }
  session_.Trace("    <RefusedRegistration title=\"" + title + "\" product=\"" + product_code_ +
                 "\">");
  return false;
}

void EngineCache::RemoveRegistration() {
  platform::Registry& reg = session_.platform.registry();
  const std::string title = session_.variables.GetVariable("TITLE");
  if (!IsRegistrationName(title)) return;
  for (RegRoot root : {RegRoot::kLocalMachine, RegRoot::kCurrentUser}) {
    reg.DeleteKeyTree(root, kUninstallKey + title, RegView::kNative);
    reg.DeleteKeyTree(root, kIdentCacheKey + product_code_, RegView::kNative);
  }
}

void EngineCache::UpdateEngineCache(CacheUpdate update) {
  FileSystem& files = session_.platform.files();
  const std::string folder = CurrentCacheFolder();
  const bool install = update != CacheUpdate::kRemove;
  // A folder that is not this product's cache folder is neither filled nor emptied, and no
  // registration points to it; a removal still removes the product's own registration.
  const bool own = IsOwnCacheFolder(folder);

  // 1. The advertised marker.
  if (own && update == CacheUpdate::kAdvertise) {
    if (MakeCacheFolder(folder)) {
      files.CreateDirectories(folder + kAdvertisedFolder);
      ApplyCompression(folder + kAdvertisedFolder);
    }
  } else if (own && IsTrustedCachePath(folder, folder)) {
    files.RemoveDirectory(folder + kAdvertisedFolder);
  }
  // 2.-3. The files.
  bool filled = false;
  if (own && install) {
    filled = FillCache(folder);
  } else if (own && !interp::TextToBool(session_.variables.GetVariable("SAVEDATA"))) {
    RemoveCache(folder);
  }
  // 4. The registration (never of a cache that could not be made).
  if (filled) {
    WriteRegistration(folder);
  } else if (!install) {
    RemoveRegistration();
  }
}

// ---------------------------------------------------------------- end of run

void EngineCache::SaveRunState() {
  state_saved_ = true;
  FileSystem& files = session_.platform.files();
  const std::string folder =
      GetCacheRoot(MaintenanceCacheIsPerMachine(DatabasePath())) + CacheFolderName() + "\\";

  // Nothing of a folder that is not a cache folder of this product, or of a per-machine one that
  // another user made, is removed, hidden or compressed.
  if (!IsOwnCacheFolder(folder) || !IsTrustedCachePath(folder, folder)) return;

  // 1. Web builds that do not keep their sources: only the offline files stay. The advertised
  // marker is state, not a source, and stays too.
  if (IsWebBuild() &&
      platform::SameText(image::ExpandCompilerVariables(session_.image, "#CACHESOURCES#"),
                         "FALSE")) {
    std::vector<platform::FileEntry> entries;
    if (files.List(WithoutBackslash(folder), "*", &entries) == Status::kOk) {
      for (const platform::FileEntry& e : entries) {
        if (!(e.attributes & platform::attr::kDirectory)) continue;
        if (platform::SameText(e.name, "OFFLINE") || e.name == kAdvertisedFolder) continue;
        platform::DeleteTree(files, folder + e.name);
      }
    }
  }

  // 2.
  if (cache_removed_) return;
  if (!session_.variables.saved_variables().empty() && MakeCacheFolder(folder)) {
    try {
      WriteDataFile(folder + in_.setup_base + ".dat", changes_applied_);
    } catch (const image::ScriptFailure&) {
      // The run is over; a data file that cannot be written only loses the saved variables.
    }
  }
  uint32_t attributes = 0;
  if (files.GetAttributes(WithoutBackslash(folder), &attributes) == Status::kOk) {
    files.SetAttributes(WithoutBackslash(folder), attributes | platform::attr::kHidden);
    ApplyCompression(folder);
  }
}

}  // namespace corvane::install
