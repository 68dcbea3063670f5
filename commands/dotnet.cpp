// The .NET commands, which run the framework's own tools (newest framework first, the next older
// one when a tool ends with another code than 0), and the installer-table commands of data
// sources, drivers and assemblies.
#include "commands/dotnet.h"

#include <cstdint>
#include <tuple>

#include "commands/programs.h"
#include "commands/sixty_four.h"
#include "install/database_assemblies.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/text.h"

namespace corvane::commands {

const char* const kAssemblyCacheFolders[4] = {"GAC_MSIL", "GAC_32", "GAC_64", "GAC"};
const char* const kFrameworkVersions[3] = {"v4.0.30319", "v2.0.50727", "v1.1.4322"};

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(' ');
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The text after an entry's key up to the next comma ("" without the key).
std::string EntryValue(const std::string& text, const std::string& key) {
  const size_t at = platform::UpperCase(text).find(platform::UpperCase(key));
  if (at == std::string::npos) return std::string();
  const size_t start = at + key.size();
  const size_t comma = text.find(',', start);
  return Trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
}

}  // namespace

bool ParseStrongName(const std::string& text, StrongName* name) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos || text.find_first_of("\\/") != std::string::npos) return false;
  const std::string upper = platform::UpperCase(text);
  if (upper.find("VERSION=") == std::string::npos ||
      upper.find("PUBLICKEYTOKEN=") == std::string::npos) {
    return false;
  }
  name->name = Trim(text.substr(0, comma));
  name->version = EntryValue(text, "Version=");
  // The token ends at the next comma: an entry after it (the processor architecture) is not part
  // of the folder name.
  name->token = EntryValue(text, "PublicKeyToken=");
  return !name->name.empty();
}

std::string CachedAssemblyPath(const StrongName& n) {
  return n.name + "\\" + n.version + "__" + n.token + "\\" + n.name + ".dll";
}

std::string FrameworkTool(const std::string& windows_folder, const char* version,
                          const char* tool) {
  std::string folder = windows_folder;
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder + "\\Microsoft.NET\\Framework\\" + version + "\\" + tool;
}

namespace {

using interp::CommandContext;

constexpr int32_t kCancelled = -314;
constexpr const char* kCancelLabel = "Cancel at Run-Program Time";

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WindowsFolder(CommandContext& ctx) { return ctx.platform().system().WindowsFolder(); }

// Runs a tool of each framework in turn, hidden and waited for in the assembly's folder, until
// one ends with 0 or the user cancels. `arguments` gives the arguments for each version.
template <typename Arguments>
void RunWithFallback(CommandContext& ctx, const char* tool, const std::string& assembly,
                     Arguments arguments) {
  FsView64 fs_view(ctx.session());
  const std::string windows = WindowsFolder(ctx);
  for (const char* version : kFrameworkVersions) {
    const int32_t code = RunHiddenAndWait(ctx, FrameworkTool(windows, version, tool),
                                          arguments(version), FolderOf(assembly), kCancelLabel);
    if (code == 0 || code == kCancelled) return;
  }
}

// Parameter 1 split at its "|" signs: up to `count` parts, missing ones empty.
std::vector<std::string> Parts(const std::string& text, size_t count) {
  std::vector<std::string> parts;
  size_t at = 0;
  while (parts.size() + 1 < count) {
    const size_t bar = text.find('|', at);
    if (bar == std::string::npos) break;
    parts.push_back(text.substr(at, bar - at));
    at = bar + 1;
  }
  parts.push_back(text.substr(at));
  parts.resize(count);
  return parts;
}

bool FlagOr(const std::string& text, bool when_empty) {
  return text.empty() ? when_empty : interp::TextToBool(text);
}

// "Generate Native Images": 1 the assembly and the install flag (default TRUE) joined by "|".
void RunGenerateNativeImages(CommandContext& ctx) {
  const std::vector<std::string> parts = Parts(ctx.params().Path(1), 2);
  const std::string& assembly = parts[0];
  const bool install = FlagOr(parts[1], true);
  RunWithFallback(ctx, "ngen.exe", assembly, [&](const std::string& version) {
    if (version == kFrameworkVersions[2]) {
      return install ? Quoted(assembly) : "/delete " + Quoted(assembly);
    }
    return (install ? "install " : "uninstall ") + Quoted(assembly);
  });
}
CORVANE_COMMAND("Generate Native Images", RunGenerateNativeImages);

// "Run .NET Installer Class": 1 the assembly; 2 TRUE installs, FALSE uninstalls ("/u").
void RunInstallerClass(CommandContext& ctx) {
  const auto& p = ctx.params();
  const std::string assembly = p.Path(1);
  const std::string arguments = (p.Bool(2) ? "" : "/u ") + Quoted(assembly);
  RunWithFallback(ctx, "installutil.exe", assembly, [&](const std::string&) { return arguments; });
}
CORVANE_COMMAND("Run .NET Installer Class", RunInstallerClass);

// The path of an assembly written as a strong name: the first cache folder that holds it; empty
// when none does.
std::string FindCachedAssembly(CommandContext& ctx, const StrongName& name) {
  std::string windows = WindowsFolder(ctx);
  if (!windows.empty() && windows.back() == '\\') windows.pop_back();
  for (const char* cache : kAssemblyCacheFolders) {
    const std::string path = windows + "\\assembly\\" + cache + "\\" + CachedAssemblyPath(name);
    if (ctx.platform().files().FileExists(path)) return path;
  }
  return std::string();
}

// "Register Assembly": 1 the assembly (a path or a strong name), register (default TRUE) and
// codebase (default FALSE) joined by "|".
void RunRegisterAssembly(CommandContext& ctx) {
  const std::vector<std::string> parts = Parts(ctx.params().Path(1), 3);
  std::string assembly = parts[0];
  StrongName strong;
  if (ParseStrongName(assembly, &strong)) {
    FsView64 fs_view(ctx.session());
    assembly = FindCachedAssembly(ctx, strong);
    // An assembly that no cache holds cannot be registered: no tool is started for it.
    if (assembly.empty()) {
      ctx.session().Trace("Register Assembly: \"" + parts[0] + "\" is in no assembly cache");
      return;
    }
  }
  const std::string arguments = std::string(FlagOr(parts[1], true) ? "/tlb" : "/tlb /unregister") +
                                (FlagOr(parts[2], false) ? " /codebase" : "") + " " +
                                Quoted(assembly) + " /silent";
  RunWithFallback(ctx, "regasm.exe", assembly, [&](const std::string&) { return arguments; });
}
CORVANE_COMMAND("Register Assembly", RunRegisterAssembly);

// Writes an assembly tool and its configuration file from the engine's resources into the support
// folder; its path, or empty when the engine does not carry it or it cannot be written.
std::string WriteAssemblyTool(CommandContext& ctx, const std::string& support, const char* file,
                              const char* program, const char* config) {
  platform::Platform& platform = ctx.platform();
  std::string program_bytes, config_bytes;
  if (platform.system().EngineResource(program, &program_bytes) != platform::Status::kOk ||
      platform.system().EngineResource(config, &config_bytes) != platform::Status::kOk) {
    ctx.session().Trace(std::string("Remove Assemblies: the engine carries no ") + file);
    return std::string();
  }
  const std::string path = support + file;
  if (platform.files().WriteFile(path, program_bytes) != platform::Status::kOk ||
      platform.files().WriteFile(path + ".config", config_bytes) != platform::Status::kOk) {
    ctx.session().Trace("Remove Assemblies: " + path + " cannot be written");
    return std::string();
  }
  return path;
}

bool IsFullPath(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

// "Remove Assemblies": the installer database's assemblies removed with kgacy.exe, then kgac.exe,
// then the oldest framework's gacutil.exe, each tried when the one before ended with another code
// than 0.
void RunRemoveAssemblies(CommandContext& ctx) {
  interp::Variables& vars = ctx.variables();
  std::string support = vars.GetVariable("SUPPORTDIR");
  if (!support.empty() && support.back() != '\\') support += "\\";
  std::vector<std::string> tools;
  // The tools go only into the engine's own support folder.
  if (IsFullPath(support)) {
    for (const auto& [file, program, config] :
         {std::tuple<const char*, const char*, const char*>{"kgacy.exe", "KGACY", "KGACEY"},
          {"kgac.exe", "KGAC", "KGACEX"}}) {
      std::string path = WriteAssemblyTool(ctx, support, file, program, config);
      if (!path.empty()) tools.push_back(path);
    }
  }
  tools.push_back(FrameworkTool(WindowsFolder(ctx), kFrameworkVersions[2], "gacutil.exe"));

  const std::string database = vars.GetVariable("MSIFILE");
  bool cancelled = false;
  auto run = [&](const std::string& tool, const std::string& arguments) -> uint32_t {
    if (cancelled) return static_cast<uint32_t>(kCancelled);
    const int32_t code = RunHiddenAndWait(ctx, tool, arguments, FolderOf(tool), kCancelLabel);
    cancelled = code == kCancelled;
    return static_cast<uint32_t>(code);
  };
  for (const std::string& tool : tools) {
    const uint32_t code =
        install::RemoveDatabaseAssemblies(ctx.platform().installer(), database, tool, run);
    if (code == 0 || cancelled) return;
  }
}
CORVANE_COMMAND("Remove Assemblies", RunRemoveAssemblies);

// Installer-table commands: the installer database does their work. A driver and an assembly
// need their files, so a web build fetches the command's media block first, as Install Files does
// (a failure is reported and the command goes on).
void FetchMedia(CommandContext& ctx) {
  if (ctx.session().fetch_command_media) ctx.session().fetch_command_media(ctx);
}

void RunCreateOdbcDsn(CommandContext& ctx) { ctx.ActivateInstallerTableCommand(); }
CORVANE_COMMAND("Create ODBC DSN", RunCreateOdbcDsn);

void RunInstallOdbcDriver(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  FetchMedia(ctx);
  ctx.RecordSlot(1, ctx.params().Path(4));
}
CORVANE_COMMAND("Install ODBC Driver", RunInstallOdbcDriver);

void RunInstallAssembly(CommandContext& ctx) {
  ctx.ActivateInstallerTableCommand();
  FetchMedia(ctx);
  ctx.RecordSlot(1, ctx.params().Path(3));
}
CORVANE_COMMAND("Install Assembly", RunInstallAssembly);

}  // namespace
}  // namespace corvane::commands
