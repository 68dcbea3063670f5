// Apply Changes, Apply Patch, Transform Instance and Install Files: the commands that hand what
// the script recorded to the installer.
#include "install/apply_changes.h"

#include "commands/engine_state.h"
#include "image/failure.h"
#include "install/engine_cache.h"
#include "install/installer_session.h"
#include "install/web_media.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/text.h"

namespace corvane::install {

namespace {

using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DatabasePath(interp::Session& s) { return s.variables.GetVariable("MSIFILE"); }

std::string PatchPath(interp::Session& s) {
  std::string db = DatabasePath(s);
  size_t dot = db.find_last_of('.');
  size_t slash = db.find_last_of('\\');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return db + ".msp";
  return db.substr(0, dot) + ".msp";
}

bool IsPatchBuild(interp::Session& s) {
  return s.image.build_mode == image::ScriptImage::kPatchBuild;
}
bool IsWebBuild(interp::Session& s) { return s.image.build_mode == image::ScriptImage::kWebBuild; }

}  // namespace

std::string InstalledSourceFolder(interp::Session& s) {
  const bool nt = s.platform.system().Version().platform_id == 2;
  const bool machine = interp::TextToBool(s.variables.GetVariable("ALLUSERS")) || !nt;
  const std::string key = std::string(kUninstallKey) + s.variables.GetVariable("TITLE");
  RegValue value;
  if (s.platform.registry().ReadValue(machine ? RegRoot::kLocalMachine : RegRoot::kCurrentUser,
                                      key, "UninstallString", RegView::kNative,
                                      &value) != Status::kOk) {
    return "";
  }
  std::string command = value.data;
  size_t quote = command.find('"');
  if (quote != std::string::npos) {
    command.erase(quote, 1);
    size_t next = command.find('"', quote);
    if (next != std::string::npos) command.erase(next);
  }
  return FolderOf(command);
}

SourceResolution ResolveSetupSources(interp::CommandContext& ctx, bool patch,
                                     const std::string& result_variable, const std::string& label,
                                     bool install) {
  interp::Session& s = ctx.session();
  interp::Variables& v = s.variables;
  platform::FileSystem& files = s.platform.files();
  SourceResolution out;
  out.install = install;
  out.data_folder = WithBackslash(v.GetVariable("DATADIR"));

  // 1. The folder the product was installed from, or the media path of the command line.
  out.source_folder = InstalledSourceFolder(s);
  if (!s.media_switch.empty()) out.source_folder = WithBackslash(s.media_switch);

  // 2. A folder holds the sources when it holds the marker named like the product code.
  const std::string marker = s.image.product_code;
  auto holds = [&](const std::string& folder) {
    return !folder.empty() && files.FileExists(WithBackslash(folder) + marker);
  };
  const bool patch_build = IsPatchBuild(s);
  if (patch_build && !holds(out.source_folder) && holds(out.data_folder)) {
    out.source_folder = out.data_folder;
  }

  // 3. Missing sources: ask for them where a run needs them.
  const bool missing = patch_build ? !holds(out.source_folder) : !holds(out.data_folder);
  const bool maintenance = interp::TextToBool(v.GetVariable("MAINTENANCE"));
  if (missing && !IsWebBuild(s) && (patch || (maintenance && out.install))) {
    bool found = false;
    std::string folder;
    while (!v.silent() && s.platform.ui().BrowseForFolder(s.Message(image::msg::kLocateSources),
                                                          &folder) == Status::kOk) {
      folder = WithBackslash(folder);
      if (holds(folder)) {
        out.data_folder = folder;
        found = true;
        break;
      }
      if (holds(folder + "data\\")) {
        out.data_folder = folder + "data\\";
        found = true;
        break;
      }
    }
    if (!found) {
      v.SetVariable("LASTERROR", s.Message(image::msg::kSourcesNotFound), "Apply Changes Action");
      ctx.DefineResult(result_variable);
      v.SetVariable(result_variable, "CANCEL", label);
      out.ok = false;
      return out;
    }
  }

  // 4. Web builds fetch their offline media into the cache. A failure that ends the script also
  // ends this command: no installer runs without its media.
  if (FetchOfflineMedia(ctx)) {
    ctx.DefineResult(result_variable);
    v.SetVariable(result_variable, "CANCEL", label);
    out.ok = false;
    return out;
  }
  // 5.
  s.properties.RecordInstallerProperty("MSINTEMP", s.platform.system().TempFolder());
  return out;
}

void SetSessionResult(interp::CommandContext& ctx, const std::string& result_variable,
                      const std::string& label, SessionResult result,
                      const std::string& error_text) {
  interp::Variables& v = ctx.variables();
  if (!error_text.empty()) v.SetVariable("LASTERROR", error_text, label);
  const char* text = result == SessionResult::kComplete  ? "COMPLETE"
                     : result == SessionResult::kRestart ? "REBOOT"
                     : result == SessionResult::kCancelled ? "CANCEL"
                                                           : "ERROR";
  ctx.DefineResult(result_variable);
  v.SetVariable(result_variable, text, label);
  if (result == SessionResult::kRestart) v.SetVariable("REBOOTCOMPUTER", "TRUE", label);
}

namespace {

void RunApplyChanges(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  const interp::Params& p = ctx.params();
  const std::string label = "Apply Changes Action";
  const std::string result = p.ResultName(2);
  const bool install = p.Bool(3);
  const bool remove = p.Bool(4);

  SourceResolution sources = ResolveSetupSources(ctx, false, result, label, install);
  if (!sources.ok) return;
  if (sources.data_folder != WithBackslash(s.variables.GetVariable("DATADIR"))) {
    s.variables.SetVariable("DATADIR", sources.data_folder, label);
  }

  EngineCache* cache = s.Find<EngineCache>();
  SessionRecord record;
  record.package = DatabasePath(s);
  record.install = install;
  record.advertise = !install && !remove;
  record.target_folder = s.variables.ExpandPath(s.variables.GetVariable("TARGETDIR"));
  record.product_code = cache ? cache->product_code() : s.image.product_code;
  record.data_folder = sources.data_folder;
  record.source_folder = sources.source_folder;
  const std::string dialog_file =
      p.Expanded(1).empty() ? "" : WithBackslash(s.variables.GetVariable("SUPPORTDIR")) +
                                       p.Expanded(1) + ".dfm";

  SessionResult outcome = RunInstallerSession(ctx, record, dialog_file);
  SetSessionResult(ctx, result, label, outcome, record.error_text);
  if (cache != nullptr &&
      (outcome == SessionResult::kComplete || outcome == SessionResult::kRestart)) {
    cache->UpdateEngineCache(record.advertise ? CacheUpdate::kAdvertise
                             : install        ? CacheUpdate::kInstall
                                              : CacheUpdate::kRemove);
  }
}

void RunApplyPatch(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  const std::string label = "Apply Patch Action";
  const std::string result = ctx.params().ResultName(1);
  SourceResolution sources = ResolveSetupSources(ctx, true, result, label, false);
  if (!sources.ok) return;

  EngineCache* cache = s.Find<EngineCache>();
  SessionRecord record;
  record.package = PatchPath(s);
  record.patch = true;
  record.target_folder = s.variables.ExpandPath(s.variables.GetVariable("TARGETDIR"));
  record.product_code = cache ? cache->product_code() : s.image.product_code;
  record.data_folder = sources.data_folder;
  record.source_folder = sources.data_folder;
  SessionResult outcome = RunInstallerSession(ctx, record, "");
  SetSessionResult(ctx, result, label, outcome, record.error_text);
}

void RunTransformInstance(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  if (!interp::TextToBool(s.variables.GetVariable("NEWINSTANCE"))) return;
  if (s.platform.files().FileExists(PatchPath(s))) return;
  EngineCache* cache = s.Find<EngineCache>();
  if (cache == nullptr) return;
  platform::SystemInfo& system = s.platform.system();
  const std::string product = system.NewGuid();
  const std::string revision = system.NewGuid();
  // Without new codes the "new" instance would overwrite the installed one.
  if (product.empty() || revision.empty()) {
    throw image::ScriptFailure("Cannot make a new instance: no new product code");
  }
  cache->SetInstanceCodes(product, revision);
  commands::CommandsState& state = commands::StateOf(s);
  state.new_instance = true;
  state.components_regenerated = false;
  state.instance_prepared = false;
  cache->BootstrapEngineCache();
}

void RunInstallFiles(interp::CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  // Web builds fetch the command's media block first (a failure is reported and the command goes
  // on).
  FetchCommandMedia(ctx);
  ctx.RecordSlot(1, ctx.params().Path(3));
}

CORVANE_COMMAND("Apply Changes", RunApplyChanges);
CORVANE_COMMAND("Apply Patch", RunApplyPatch);
CORVANE_COMMAND("Transform Instance", RunTransformInstance);
CORVANE_COMMAND("Install Files", RunInstallFiles);

}  // namespace

}  // namespace corvane::install
