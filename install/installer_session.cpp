#include "install/installer_session.h"

#include "install/shortcut_pins.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "commands/engine_state.h"
#include "install/comma_text.h"
#include "install/engine_cache.h"
#include "install/installer_messages.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/numbers.h"
#include "platform/path_forms.h"
#include "platform/text.h"
#include "ui/wait_loop.h"

namespace corvane::install {

namespace {

using platform::InstallerField;
using platform::RegRoot;
using platform::RegValue;
using platform::RegView;
using platform::Status;

constexpr uint32_t kLogMode = 0x3FDF;
constexpr uint32_t kLogAppendAndFlush = 3;
constexpr uint32_t kUiNoneSourceResOnly = 258;
constexpr uint32_t kMessageFilter = 0x7FDF;
std::atomic<int> busy_retry_ms{3141};
std::chrono::milliseconds BusyRetryInterval() {
  return std::chrono::milliseconds(busy_retry_ms.load());
}

std::string Q(const std::string& value, bool quote) {
  return quote ? "\"" + value + "\" " : value + " ";
}

std::string StartOf(const CommandLineParts& p) {
  std::string out = p.all_users ? "ALLUSERS=1 " : "ALLUSERS=\"\" ";
  if (p.disable_rollback) out += "DISABLEROLLBACK=1 ";
  if (p.disable_restart_manager) out += "MSIRESTARTMANAGERCONTROL=Disable ";
  return out;
}

std::string SourceList(const CommandLineParts& p) {
  std::string list = p.data_folder + ";" + p.package_folder;
  return p.quote_data || p.quote_package ? "\"" + list + "\"" : list;
}

std::string PartA(const CommandLineParts& p) {
  return "ARPSYSTEMCOMPONENT=1 ARPNOREMOVE=1 ARPNOMODIFY=1 ARPNOREPAIR=1 ARPINSTALLLOCATION=\"" +
         p.target_folder + "\" ";
}

std::string PartS(const CommandLineParts& p) {
  return "SRCDIR=" + Q(p.data_folder, p.quote_data) + "SOURCELIST=" + SourceList(p) + " " +
         "MEDIAPACKAGEPATH=" + Q(p.media_path, p.quote_data) + "REBOOT=R ";
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

}  // namespace

std::string MediaPathOf(const std::string& data_folder) {
  std::string folder = data_folder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  folder = FolderOf(folder);  // the parent, with its trailing backslash
  if (folder.size() >= 2 && folder[1] == ':') {
    folder.erase(0, 2);
  } else if (folder.compare(0, 2, "\\\\") == 0) {
    // \\server\share\rest\ : the drive part is the server and share.
    size_t server = folder.find('\\', 2);
    size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
    folder = share == std::string::npos ? "\\" : folder.substr(share);
  }
  return folder.empty() ? "\\" : folder;
}

std::string BuildCommandLine(InstallerCall call, const CommandLineParts& p) {
  switch (call) {
    case InstallerCall::kPatch:
      return "ADDLOCAL=ALL " + StartOf(p) + "SRCDIR=" + Q(p.source_folder, p.quote_source) +
             "SRCDIREX=" + Q(p.source_folder, p.quote_source);
    case InstallerCall::kInstallOverAdvertised:
      return "ADDLOCAL=ALL ADVERTISE=\"\" " + StartOf(p) + PartA(p) + PartS(p);
    case InstallerCall::kReinstall:
      return "REINSTALL=ALL REINSTALLMODE=vomus " + StartOf(p) + PartA(p) + PartS(p);
    case InstallerCall::kAdvertise:
      return "ADVERTISE=ALL " + StartOf(p) + PartA(p) + PartS(p);
    case InstallerCall::kInstall:
      return "ADDLOCAL=ALL " + StartOf(p) + PartA(p) + PartS(p);
    case InstallerCall::kRemove:
      return "REMOVE=ALL " + StartOf(p) + (p.all_users ? "ALLUSERS=1 " : "ALLUSERS=\"\" ") +
             "REMOVE=ALL " + PartS(p);
  }
  return "";
}

std::string TrimErrorText(std::string text) {
  while (!text.empty()) {
    unsigned char c = static_cast<unsigned char>(text.back());
    if (c > ' ' && c != '.') break;
    text.pop_back();
  }
  return text;
}

std::string PackedProductCode(const std::string& code) {
  // {AABBCCDD-EEFF-GGHH-IIJJ-KKLLMMNNOOPP}: the first three groups reversed, then every byte of
  // the last two groups with its two digits swapped.
  if (code.size() != 38) return "";
  std::string hex;
  for (char c : code) {
    if (c != '{' && c != '}' && c != '-') hex += platform::UpperChar1252(c);
  }
  if (hex.size() != 32) return "";
  std::string out;
  for (int i = 7; i >= 0; --i) out += hex[i];
  for (int i = 11; i >= 8; --i) out += hex[i];
  for (int i = 15; i >= 12; --i) out += hex[i];
  for (int i = 16; i < 32; i += 2) {
    out += hex[i + 1];
    out += hex[i];
  }
  return out;
}

namespace {

// Everything the installer thread uses, gathered on the interpreter thread before it starts.
struct SessionJobInput {
  interp::Session* session = nullptr;  // for the variable store and the lists
  platform::Platform* platform = nullptr;
  EngineCache* cache = nullptr;
  SessionRecord* record = nullptr;
  std::string temp_folder;
  std::string platform_text;  // "Win32", "x64", "ia64"
  bool nt = true;
  bool advertise_marker = false;  // the engine cache holds "__ad"
  bool regenerate_components = false;
  bool new_instance = false;
  std::string revision_code;
  // With a selected language, the shortcut and file-type texts go into the database.
  bool language_selected = false;
  std::vector<commands::CommandsState::ShortcutText> shortcut_texts;
  std::vector<commands::CommandsState::FileTypeText> file_types;
  std::string caption;
  std::string trace_path;  // empty: the trace log is off
  std::string user_name;   // DOMAIN\user for the patch source registration
};

class SessionJob : public ui::BackgroundJob {
 public:
  explicit SessionJob(SessionJobInput in) : in_(std::move(in)) {}
  void Work(ui::ProgressChannel& progress) override;

  bool components_regenerated = false;
  bool package_changed = false;

 private:
  interp::Variables& Vars() { return in_.session->variables; }
  interp::TVariableManager& Store() { return in_.session->variables.store(); }
  bool Cancelled() { return Store().Get("VORT_thCancelled") == "TRUE"; }
  void Prepare(const CommandLineParts& parts);
  void WriteReport(const CommandLineParts& parts, const std::string& package_folder);
  void RegisterRemovalSources(const std::string& package_folder, const std::string& data_folder,
                              const std::string& media_path);
  uint32_t Call(InstallerCall call, const CommandLineParts& parts, const std::string& line,
                ui::ProgressChannel& progress);

  SessionJobInput in_;
};

void SessionJob::Work(ui::ProgressChannel& progress) {
  platform::Platform& p = *in_.platform;
  SessionRecord& r = *in_.record;
  platform::Registry& reg = p.registry();
  platform::FileSystem& files = p.files();
  platform::Installer& installer = p.installer();
  const std::string upper_code = platform::UpperCase(r.product_code);

  // 1. Leftover temporary package registrations of this product.
  const std::string temp_packages = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\TempPackages";
  std::vector<std::string> names;
  if (reg.EnumValues(RegRoot::kLocalMachine, temp_packages, RegView::kNative, &names) ==
      Status::kOk) {
    for (const std::string& name : names) {
      if (platform::UpperCase(name).find(upper_code) != std::string::npos) {
        reg.DeleteValue(RegRoot::kLocalMachine, temp_packages, name, RegView::kNative);
      }
    }
  }

  // 2. The folders of the command line, in short form where the system has one.
  auto forms = platform::CreatePathForms(p);
  auto short_form = [&](const std::string& path, bool* quote) {
    std::string shorter;
    if (forms->GetShortPath(path, &shorter) != Status::kOk || shorter.empty()) {
      *quote = true;
      return path;
    }
    *quote = shorter.find(' ') != std::string::npos;
    return shorter;
  };
  CommandLineParts parts;
  parts.target_folder = r.target_folder;
  const std::string package_folder = short_form(FolderOf(r.package), &parts.quote_package);
  parts.package_folder = package_folder;
  std::string data_folder = r.data_folder;
  if (!r.patch) files.CreateDirectories(data_folder);
  if (files.DirectoryExists(data_folder)) {
    data_folder = short_form(data_folder, &parts.quote_data);
  } else {
    parts.quote_data = data_folder.find(' ') != std::string::npos;
  }
  parts.data_folder = WithBackslash(data_folder);
  parts.source_folder = r.source_folder;
  if (r.patch) {
    if (files.DirectoryExists(r.source_folder)) {
      parts.source_folder = WithBackslash(short_form(r.source_folder, &parts.quote_source));
    } else {
      parts.quote_source = r.source_folder.find(' ') != std::string::npos;
    }
  }
  parts.media_path = MediaPathOf(parts.data_folder);
  parts.all_users = Vars().GetVariable("ALLUSERS") == "TRUE";
  parts.disable_rollback = Vars().GetVariable("VORT_DISABLE_ROLLBACK") == "TRUE";
  parts.disable_restart_manager =
      Vars().GetVariable("VORT_DISABLE_VISTA_RESTART_MANAGER") == "TRUE";

  // 3. The session property file.
  progress.Publish("Windows Installer", 0, 100, 0);
  interp::SessionPropertyFileInput file;
  file.kind = r.patch ? interp::SessionKind::kPatch
              : r.install ? interp::SessionKind::kInstall
                          : interp::SessionKind::kRemove;
  file.temp_folder = in_.temp_folder;
  file.product_code = r.product_code;
  file.data_folder = parts.data_folder;
  file.source_folder = parts.source_folder;
  file.media_path = parts.media_path;
  interp::WriteSessionPropertyFile(file, in_.session->properties, Vars(), files);
  const bool silent = interp::TextToBool(Vars().GetVariable("SILENT"));
  const std::string title = Vars().GetVariable("TITLE");

  // 4, 5, 6. The database.
  progress.Publish("Windows Installer", 0, 100, 50);
  if (!r.patch) Prepare(parts);
  progress.Publish("Windows Installer", 0, 100, 100);

  // 7. Installed already?
  const bool installed =
      installer.QueryProductState(r.product_code) == platform::install_state::kDefault;

  uint32_t code = platform::install_result::kSuccess;
  bool called = false;
  if (!Cancelled()) {
    if (!in_.trace_path.empty()) {
      WriteReport(parts, package_folder);
      installer.EnableLog(kLogMode, in_.trace_path, kLogAppendAndFlush);
    }
    installer.SetInternalUI(kUiNoneSourceResOnly);
    MessageHandlerHooks hooks;
    hooks.silent = silent;
    hooks.caption = title;
    // The texts that open the boxes, in the language of the run's message set.
    hooks.translate = [messages = in_.session->messages](std::string_view prefix) {
      for (int line = image::msg::kFatalError; line <= image::msg::kOutOfDiskSpace; ++line) {
        if (image::EngineMessages::BuiltIn(line) == prefix) return messages->Text(line);
      }
      return std::string(prefix);
    };
    hooks.show_box = [&p](const std::string& text, const std::string& caption, uint32_t style,
                          bool) { return p.ui().MessageBox(text, caption, style); };
    hooks.progress = [this, &progress](const std::string& text, int64_t min, int64_t total,
                                       int64_t pos) {
      progress.Publish(text, min, total, pos);
      return !Cancelled();
    };
    auto handler = std::make_shared<InstallerMessageHandler>(std::move(hooks));
    installer.SetExternalUI(
        [handler](uint32_t type, const std::string& text) { return handler->Handle(type, text); },
        kMessageFilter);

    InstallerCall call;
    if (r.patch) {
      call = InstallerCall::kPatch;
    } else if (!r.install) {
      call = InstallerCall::kRemove;
      RegisterRemovalSources(package_folder, parts.data_folder, parts.media_path);
    } else if (installed) {
      call = !r.advertise && in_.advertise_marker ? InstallerCall::kInstallOverAdvertised
                                                  : InstallerCall::kReinstall;
    } else {
      call = r.advertise ? InstallerCall::kAdvertise : InstallerCall::kInstall;
    }
    if (call == InstallerCall::kPatch) {
      installer.AddSource(r.product_code, "", parts.source_folder);
      installer.AddSource(r.product_code, in_.user_name, parts.source_folder);
    }
    code = Call(call, parts, BuildCommandLine(call, parts), progress);
    called = true;
    r.called = true;
    installer.SetExternalUI(nullptr, 0);
    r.last_message = handler->last_message();
  }

  if (!called) {
    // Cancelled before the installer was called: nothing was installed, and a session that did
    // nothing must not count as complete (the engine cache would register the product).
    r.failed = true;
    r.error_text = TrimErrorText(p.system().ErrorMessage(platform::install_result::kUserExit));
  } else {
    if (code == platform::install_result::kRebootInitiated ||
        code == platform::install_result::kRebootRequired) {
      r.reboot_needed = true;
    } else if (code != platform::install_result::kSuccess) {
      r.failed = true;
      r.error_text = TrimErrorText(p.system().ErrorMessage(code));
    }
  }
  // 9. A failure always has a text.
  if (r.failed && r.error_text.empty()) {
    r.error_text = !r.last_message.empty() ? r.last_message
                                           : in_.session->Message(image::msg::kGeneralFailure);
    size_t stop = r.error_text.find('.');
    if (stop != std::string::npos && stop + 1 == r.error_text.size()) r.error_text.pop_back();
  }
  // 10.
  interp::DeleteSessionPropertyFile(file, files);
}

uint32_t SessionJob::Call(InstallerCall call, const CommandLineParts& parts,
                          const std::string& line, ui::ProgressChannel& progress) {
  platform::Installer& installer = in_.platform->installer();
  const SessionRecord& r = *in_.record;
  if (call == InstallerCall::kPatch) return installer.ApplyPatch(r.package, line);
  if (call == InstallerCall::kRemove && !in_.nt) {
    // The Windows 9x removal: the properties of the NT command line set on the opened package,
    // then its INSTALL action.
    auto quoted = [&](const std::string& v) { return parts.quote_data ? "\"" + v + "\"" : v; };
    platform::PackageAction action;
    action.package = r.package;
    action.properties = {{"ALLUSERS", parts.all_users ? "1" : ""},
                         {"REMOVE", "ALL"},
                         {"SRCDIR", quoted(parts.data_folder)},
                         {"SOURCELIST", SourceList(parts)},
                         {"MEDIAPACKAGEPATH", quoted(parts.media_path)},
                         {"REBOOT", "R"}};
    action.action = "INSTALL";
    bool reboot = false;
    uint32_t code = installer.RunPackageAction(action, &reboot);
    return code == platform::install_result::kSuccess && reboot
               ? platform::install_result::kRebootRequired
               : code;
  }
  int dots = 0;
  while (true) {
    uint32_t code = installer.InstallProduct(r.package, line);
    if (code != platform::install_result::kAlreadyRunning || Cancelled()) return code;
    // Another installation is running: wait for it, showing that we wait, until a cancel.
    dots = dots % 3 + 1;
    progress.Publish("Windows Installer" + std::string(static_cast<size_t>(dots), '.'), 0, 100,
                     100);
    auto until = std::chrono::steady_clock::now() + BusyRetryInterval();
    while (std::chrono::steady_clock::now() < until) {
      if (Cancelled() || terminate_requested()) return code;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

void SessionJob::Prepare(const CommandLineParts&) {
  platform::Installer& installer = in_.platform->installer();
  SessionRecord& r = *in_.record;
  Status status;
  // Preparation errors are left to the installer call that follows: it reports them better.
  std::unique_ptr<platform::InstallerDatabase> db = installer.OpenDatabase(r.package, false, &status);
  if (!db) {
    in_.session->properties.ClearDatabaseProperties();
    return;
  }
  platform::SystemInfo& system = in_.platform->system();

  // A new instance installs beside the others: its components need identifiers of their own.
  if (in_.regenerate_components) {
    db->UpdateColumn("Component", "ComponentId", [&system](InstallerField& field) {
      field = InstallerField::Text(system.NewGuid());
    });
    components_regenerated = true;
  }

  // Values travel as record fields, never inside the statement, so that a value with an
  // apostrophe is stored as it is and cannot change the statement.
  const auto pairs = in_.session->properties.TakeDatabaseProperties();
  auto set_property = [&db](const std::string& name, const std::string& value) {
    platform::InstallerRecord insert = {InstallerField::Text(name), InstallerField::Text(value)};
    db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)", insert, nullptr);
    platform::InstallerRecord update = {InstallerField::Text(value), InstallerField::Text(name)};
    db->Run("UPDATE `Property` SET `Value` = ? WHERE `Property` = ?", update, nullptr);
  };
  auto mark_instance = [&] {
    db->SetSummary(platform::summary::kRevisionNumber, InstallerField::Text(in_.revision_code));
    platform::InstallerRecord update = {InstallerField::Text(r.product_code),
                                        InstallerField::Text("ProductCode")};
    db->Run("UPDATE `Property` SET `Value` = ? WHERE `Property` = ?", update, nullptr);
    package_changed = true;
  };
  for (size_t i = 0; i < pairs.size(); ++i) {
    if (in_.new_instance && i + 1 == pairs.size()) mark_instance();
    set_property(pairs[i].first, interp::TokenToNewlines(pairs[i].second));
  }
  // Without any recorded property the new instance still needs its codes.
  if (in_.new_instance && pairs.empty()) mark_instance();
  // Passwords the commands recorded are hidden in the installer's own log (which is the trace
  // log), after the names the package hides itself.
  const std::vector<std::string> secrets = in_.session->properties.secret_names();
  if (!secrets.empty()) {
    std::vector<platform::InstallerRecord> rows;
    db->Run("SELECT `Value` FROM `Property` WHERE `Property` = 'MsiHiddenProperties'", {}, &rows);
    std::string hidden = rows.empty() || rows[0].empty() ? "" : rows[0][0].AsText();
    for (const std::string& name : secrets) hidden += (hidden.empty() ? "" : ";") + name;
    set_property("MsiHiddenProperties", hidden);
  }

  // The texts of the selected language in the shortcut and file-type rows, again as record
  // fields (a name such as "Dad's Tools" is stored as it is).
  if (in_.language_selected) {
    for (const auto& t : in_.shortcut_texts) {
      db->Run("UPDATE `Shortcut` SET `Name` = ? WHERE `Directory_` = ?",
              {InstallerField::Text(t.name), InstallerField::Text(t.property)}, nullptr);
      db->Run("UPDATE `Shortcut` SET `Description` = ? WHERE `Directory_` = ?",
              {InstallerField::Text(t.description), InstallerField::Text(t.property)}, nullptr);
    }
    for (const auto& t : in_.file_types) {
      db->Run("UPDATE `ProgId` SET `Description` = ? WHERE `ProgId` = ?",
              {InstallerField::Text(t.description), InstallerField::Text(t.prog_id)}, nullptr);
      db->Run("UPDATE `ProgId` SET `ProgId` = ? WHERE `ProgId` = ?",
              {InstallerField::Text(t.new_prog_id), InstallerField::Text(t.prog_id)}, nullptr);
    }
  }

  // The platform of the package follows the engine's 64-bit mode.
  InstallerField templ;
  if (db->GetSummary(platform::summary::kTemplate, &templ) == Status::kOk) {
    const std::string text = templ.AsText();
    const size_t semicolon = text.find(';');
    const std::string old_platform = text.substr(0, semicolon);
    const std::string languages = semicolon == std::string::npos ? "" : text.substr(semicolon + 1);
    const std::string target = in_.platform_text == "ia64"  ? "Intel64"
                               : in_.platform_text == "x64" ? "x64"
                                                            : "Intel";
    db->SetSummary(platform::summary::kTemplate, InstallerField::Text(target + ";" + languages));
    if (old_platform != target) {
      const bool set = target != "Intel";
      db->UpdateColumn("Component", "Attributes", [set](InstallerField& field) {
        if (field.kind != InstallerField::Kind::kInteger) return;
        field.number = set ? (field.number | 256) : (field.number & ~256);
      });
    }
  }
  // Uncompressed long-name sources that need no elevation: the files come from the data folder.
  db->SetSummary(platform::summary::kWordCount, InstallerField::Integer(8));
  db->Commit();
}

void SessionJob::WriteReport(const CommandLineParts& parts, const std::string& package_folder) {
  interp::Session& s = *in_.session;
  platform::SystemInfo& system = in_.platform->system();
  const platform::LocalTime now = system.Now();
  std::vector<std::string> variables;
  s.variables.store().ListAll(&variables);
  const std::string when = system.FormatDate(now, system.ShortDateFormat()) + " " +
                           system.FormatTime(now, system.TimeFormat());
  s.Trace("=== " + in_.caption + ": Applying Changes @" + when + " ===");
  s.Trace("");
  auto section = [&s](const char* title, const std::string& value) {
    s.Trace(std::string("*** ") + title + " ***");
    s.Trace(value);
    s.Trace("");
  };
  section("Variables", CommaText(variables));
  section("Properties", CommaText(s.properties.public_session_properties()));
  section("MSI Database", in_.record->package);
  section("GUID", in_.record->product_code);
  section("Data Directory", parts.data_folder);
  section("Media Directory", parts.media_path);
  section("MSI Directory", package_folder);
  s.Trace("");
}

void SessionJob::RegisterRemovalSources(const std::string& package_folder,
                                        const std::string& data_folder,
                                        const std::string& media_path) {
  platform::Registry& reg = in_.platform->registry();
  const std::string packed = PackedProductCode(in_.record->product_code);
  if (packed.empty()) return;
  auto text = [this](const std::string& v) {
    return in_.nt ? RegValue::ExpandString(v) : RegValue::String(v);
  };
  const struct {
    RegRoot root;
    std::string key;
  } places[] = {
      {RegRoot::kCurrentUser, "SOFTWARE\\Microsoft\\Installer\\Products\\" + packed + "\\SourceList"},
      {RegRoot::kClassesRoot, "Installer\\Products\\" + packed + "\\SourceList"},
  };
  for (const auto& place : places) {
    // Only what the installer registered: a product key is never made here.
    if (reg.KeyExists(place.root, place.key, RegView::kNative) != Status::kOk) continue;
    RegValue last;
    if (reg.ReadValue(place.root, place.key, "LastUsedSource", RegView::kNative, &last) ==
        Status::kOk) {
      const size_t semicolon = last.data.find_last_of(';');
      std::string kept = semicolon == std::string::npos ? "" : last.data.substr(0, semicolon + 1);
      reg.WriteValue(place.root, place.key, "LastUsedSource", RegView::kNative,
                     text(kept + package_folder));
    }
    const std::string media = place.key + "\\Media";
    RegValue package;
    if (reg.KeyExists(place.root, media, RegView::kNative) == Status::kOk &&
        reg.ReadValue(place.root, media, "MediaPackage", RegView::kNative, &package) ==
            Status::kOk) {
      reg.WriteValue(place.root, media, "MediaPackage", RegView::kNative, text(media_path));
    }
    const std::string net = place.key + "\\Net";
    if (reg.KeyExists(place.root, net, RegView::kNative) != Status::kOk) continue;
    std::vector<std::string> names;
    reg.EnumValues(place.root, net, RegView::kNative, &names);
    int64_t highest = 0;
    for (const std::string& name : names) {
      if (auto n = platform::ParseDecimal64(name)) highest = std::max(highest, *n);
    }
    reg.WriteValue(place.root, net, std::to_string(highest + 1), RegView::kNative,
                   text(package_folder));
    reg.WriteValue(place.root, net, std::to_string(highest + 2), RegView::kNative,
                   text(data_folder));
  }
}

}  // namespace

void SetInstallerBusyRetryInterval(std::chrono::milliseconds interval) {
  busy_retry_ms.store(static_cast<int>(interval.count()));
}

SessionResult RunInstallerSession(interp::CommandContext& ctx, SessionRecord& record,
                                  const std::string& dialog_file) {
  interp::Session& session = ctx.session();
  platform::Platform& p = session.platform;
  platform::FileSystem& files = p.files();
  interp::TVariableManager& store = session.variables.store();
  EngineCache* cache = session.Find<EngineCache>();
  commands::CommandsState& state = commands::StateOf(session);

  // 1. The progress dialog's folder is the installer's current folder meanwhile.
  const std::string saved_folder = files.GetCurrentDirectory();
  if (!dialog_file.empty()) files.SetCurrentDirectory(FolderOf(dialog_file));

  // 2.
  SessionJobInput in;
  in.session = &session;
  in.platform = &p;
  in.cache = cache;
  in.record = &record;
  in.temp_folder = WithBackslash(p.system().TempFolder());
  in.platform_text = state.platform_text;
  in.nt = p.system().Version().platform_id == 2;
  const bool in_nt = in.nt;
  if (cache != nullptr) {
    in.advertise_marker = files.DirectoryExists(cache->CurrentCacheFolder() + "__ad");
    in.revision_code = cache->revision_code();
  }
  in.new_instance = state.new_instance && !state.instance_prepared;
  in.regenerate_components = state.new_instance && !state.components_regenerated;
  in.caption = session.Caption();
  in.language_selected = !session.active_language.empty();
  in.shortcut_texts = state.shortcut_texts;
  in.file_types = state.file_types;
  in.trace_path = session.log_path;
  in.user_name = p.system().UserName();
  store.Set("VORT_thFinished", "FALSE");
  // A cancel asked for before the session starts reaches it at once, not at the wait loop's first
  // look, so that whether the installer is called does not depend on the timing.
  store.Set("VORT_thCancelled",
            interp::TextToBool(store.Get("VORT_IsCancelled")) ? "TRUE" : "FALSE");
  record.reboot_needed = record.failed = record.called = false;
  // Before the call, the shortcuts the previous run pinned are unpinned.
  const std::vector<std::string> previous_pins =
      cache != nullptr ? cache->previous_pins() : std::vector<std::string>();
  auto trace = [&session](const std::string& entry) { session.Trace(entry); };
  RunShortcutPass(p, state.shortcut_identities, previous_pins, false, trace);
  record.error_text.clear();
  record.last_message.clear();
  {
    ui::ProgressChannel clear(store, p.system());
    clear.Publish("", 0, 0, -1);
  }

  auto job = std::make_shared<SessionJob>(std::move(in));
  ui::WaitOptions options;
  options.cancel_label = "Apply Changes Action";
  options.watchdog = false;
  options.report_cancel = false;
  options.copy_cancel_flag = true;
  // 3. Wait; a cancel reaches the installer through the message handler.
  ui::WaitLoop(options).Run(ctx, job);
  if (job->components_regenerated) state.components_regenerated = true;
  if (job->package_changed) {
    state.instance_prepared = true;
    if (cache != nullptr) cache->SetInstanceDatabase(record.package);
  }
  store.Set("VORT_thFinished", "TRUE");

  // After the call: a successful installation or patch (or a failed removal of the older
  // family) pins this run's shortcuts; a successful removal leaves them unpinned; any other
  // outcome pins the previous run's shortcuts again, as they were before the call.
  const bool removal = !record.patch && !record.install;
  if (!record.failed && removal) {
  } else if (!record.failed || (removal && !in_nt)) {
    RunShortcutPass(p, state.shortcut_identities, state.shortcut_pins, true, trace);
    if (cache != nullptr) cache->run_pins() = state.shortcut_pins;
  } else {
    RunShortcutPass(p, state.shortcut_identities, previous_pins, true, trace);
  }

  // 4.
  files.SetCurrentDirectory(saved_folder);
  if (store.Get("VORT_thCancelled") == "TRUE" && record.failed) return SessionResult::kCancelled;
  if (record.failed) return SessionResult::kFailed;
  return record.reboot_needed ? SessionResult::kRestart : SessionResult::kComplete;
}

}  // namespace corvane::install
