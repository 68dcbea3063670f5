#include "engine/startup.h"

#include <algorithm>

#include "image/failure.h"
#include "image/language_names.h"
#include "image/pe_stub.h"
#include "platform/text.h"

namespace corvane::engine {

using platform::Status;

namespace {

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path.push_back('\\');
  return path;
}

class Startup {
 public:
  Startup(platform::Platform& platform, StartupServices& services, StartupState& state)
      : p_(platform), files_(platform.files()), s_(services), st_(state),
        trace_(platform.files()) {}

  int Run(const std::string& raw_command_line);

 private:
  bool Silent() const { return st_.command_line.silent; }
  bool Windows() const { return !Silent() && !st_.update_run && s_.windows; }
  // A start-up message box with the engine caption and the error icon, unless silent.
  void Message(const std::string& text) {
    if (!Silent()) {
      p_.ui().MessageBox(text, Text(image::msg::kWizardCaption), platform::mb::kIconError);
    }
  }
  void Trace(std::string_view entry) { trace_.Write(entry); }
  const std::string& Text(int line) const { return st_.messages.Text(line); }
  void CloseWindows() {
    if (windows_open_) s_.windows->Close();
    windows_open_ = false;
  }
  void RegisterHostApp();
  void RefuseUnreachableFolders();
  void RefuseLibraryRedirection();
  void ReadLanguageOverlay();
  int ReadImage();
  platform::Status WriteNewFile(const std::string& path, std::string_view contents);
  void ChooseSupportFolder();
  void LoadDialogs();
  void RemoveSupport() {
    Trace("  <CachedSupportDir>");
    if (!st_.support_folder.empty()) RemoveSupportFolder(files_, st_.support_folder);
    Trace("  </CachedSupportDir>");
  }

  platform::Platform& p_;
  platform::FileSystem& files_;
  StartupServices& s_;
  StartupState& st_;
  TraceLog trace_;
  bool windows_open_ = false;
};

void Startup::RegisterHostApp() {
  // Marks the engine as a host application so that the shell does not pin it; failures do not
  // matter here.
  platform::OsVersion v = p_.system().Version();
  std::string exe = st_.engine_path.substr(st_.engine_path.rfind('\\') + 1);
  auto& reg = p_.registry();
  if (v.major > 6 || (v.major == 6 && v.minor != 0)) {
    reg.WriteValue(platform::RegRoot::kClassesRoot, "Applications\\" + exe, "IsHostApp",
                   platform::RegView::kNative, platform::RegValue::String(""));
  } else if (v.major == 6 && v.minor == 0) {
    reg.WriteValue(platform::RegRoot::kCurrentUser,
                   "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
                   "Compatibility Assistant\\Persisted",
                   st_.engine_path, platform::RegView::kNative, platform::RegValue::Dword(32));
  }
}

// The system gives the engine's folders in their short form where the code page cannot spell
// their names; a folder that has no short form either (short names turned off on its drive)
// cannot be opened by any 8-bit call, and the run would fail later with a message that names
// the wrong cause.
void Startup::RefuseUnreachableFolders() {
  const char* const kHint = "\" holds characters that this system's code page cannot spell, "
                            "and it has no short name. ";
  if (platform::PathHasLostCharacters(st_.engine_path)) {
    throw image::ScriptFailure("The setup's folder \"" + st_.engine_folder + kHint +
                               "Copy the setup to a folder whose name has none and start it "
                               "again.");
  }
  if (platform::PathHasLostCharacters(st_.temp_folder)) {
    throw image::ScriptFailure("The temporary folder \"" + st_.temp_folder + kHint +
                               "Set TEMP to a folder whose name has none and start the setup "
                               "again.");
  }
}

// A file or folder "<engine file name>.local" beside the engine makes Windows load the libraries
// the engine asks for from there instead of the system: a setup started from a download folder
// must not run with one.
void Startup::RefuseLibraryRedirection() {
  const std::string redirect = st_.engine_path + ".local";
  if (files_.FileExists(redirect) || files_.DirectoryExists(redirect)) {
    throw image::ScriptFailure("The setup cannot run while \"" + redirect +
                               "\" lies beside it: it would make the setup load libraries from "
                               "that place. Remove it and start the setup again.");
  }
}

// The temporary files have fixed names in TEMP, where other users may create files (TEMP is
// C:\Windows\Temp for a setup deployed as SYSTEM): a file of that name that is there already,
// with its owner's rights, is removed (a link goes itself) and the file is created new.
Status Startup::WriteNewFile(const std::string& path, std::string_view contents) {
  if (files_.FileExists(path)) {
    files_.SetAttributes(path, platform::attr::kNormal);
    files_.DeleteFile(path);
  }
  Status status;
  auto file = files_.Open(path, platform::OpenMode::kCreateNew, &status);
  if (!file) return status;
  return file->Write(contents.data(), contents.size());
}

void Startup::ReadLanguageOverlay() {
  // A language file may be appended to the archive library behind its executable image. It is
  // written to TEMP\lang.loc, read from there into the message set, and deleted.
  std::string library;
  if (files_.ReadFile(st_.engine_folder + "zel.lib", &library) != Status::kOk) return;
  auto stub = image::PeStubSize(library);
  if (!stub || *stub >= library.size()) return;
  st_.language_overlay = library.substr(*stub);
  const std::string lang = st_.temp_folder + "lang.loc";
  if (WriteNewFile(lang, st_.language_overlay) != Status::kOk) return;
  image::LoadLanguageFileAt(files_, lang, image::UserLanguageName(p_.system()), &st_.messages);
  files_.DeleteFile(lang);
}

// Steps 8 to 10: the image behind the executable image, copied to TEMP\zel.tmp and loaded.
// Returns 0, or kExitNoImage.
int Startup::ReadImage() {
  Trace("    <StubSize>");
  Status status;
  auto file = files_.Open(st_.engine_path, platform::OpenMode::kRead, &status);
  if (!file) {
    throw image::ScriptFailure("Cannot open file \"" + st_.engine_path + "\". " +
                               platform::StatusName(status));
  }
  uint64_t size = 0;
  file->Size(&size);
  std::string head(static_cast<size_t>(std::min<uint64_t>(size, 1 << 16)), '\0');
  size_t got = 0;
  file->Read(head.data(), head.size(), &got);
  head.resize(got);
  auto stub = image::PeStubSize(head);
  if (!stub || *stub > size) {
    throw image::ScriptFailure("The engine executable \"" + st_.engine_path + "\" is damaged");
  }
  if (*stub == size) {
    Message("For internal use only");
    return kExitNoImage;
  }
  Trace("    </StubSize>");
  Trace("    <StubData>");
  // The image is seen through a view of the file (mapped where the system can), which the lists
  // of the image point into and keep.
  std::shared_ptr<const platform::FileView> view = file->ViewFrom(*stub, &status);
  file.reset();
  if (!view || view->bytes().size() != size - *stub) {
    throw image::ScriptFailure("Cannot read the script image");
  }
  const std::string temp_copy = st_.temp_folder + "zel.tmp";
  if ((status = WriteNewFile(temp_copy, view->bytes())) != Status::kOk) {
    throw image::ScriptFailure("Cannot create file \"" + temp_copy + "\". " +
                               platform::StatusName(status));
  }
  Trace("    </StubData>");
  Trace("    <GlobalLists>");
  // The lists are read from the bytes just written to the copy.
  image::ImageLoadResult loaded = image::ParseScriptImage(view, view->bytes(), &st_.image);
  files_.DeleteFile(temp_copy);
  if (!loaded.ok()) throw image::ScriptFailure(loaded.message);
  // Both codes name the engine cache folder and registry keys: anything but a GUID could name
  // another product's folder, a parent folder or a whole key.
  for (const auto& [what, code] : {std::pair<const char*, const std::string&>{
                                       "product code", st_.image.product_code},
                                   {"revision code", st_.image.revision_code}}) {
    if (!image::IsBracedGuid(code)) {
      throw image::ScriptFailure(std::string("The setup's ") + what + " \"" + code +
                                 "\" is not a GUID in braces. Rebuild the setup.");
    }
  }
  st_.pools = {&st_.image.parameter_pool};
  Trace("    </GlobalLists>");
  return 0;
}

void Startup::ChooseSupportFolder() {
  // The first zelN that is not a folder. When creating it fails (a file of that name, or another
  // process made it first) the next N is tried: the run never uses a folder it did not create.
  const bool elevated = p_.shell().IsAdministrator();
  for (int n = 1; n < 100000; ++n) {
    const std::string folder = st_.temp_folder + "zel" + std::to_string(n);
    if (files_.DirectoryExists(folder)) continue;
    // An elevated run's TEMP may be one where standard users create files (C:\Windows\Temp for
    // a deployment as SYSTEM): its folder gets an access list that lets them read, not change.
    const Status made = elevated ? p_.shell().CreateProtectedFolder(folder)
                                 : files_.CreateDirectory(folder);
    if (made == Status::kOk) {
      st_.support_folder = folder + "\\";
      return;
    }
  }
  throw image::ScriptFailure("Unable to create directory " + st_.temp_folder + "zel");
}

void Startup::LoadDialogs() {
  Trace("    <Dialogs>");
  std::vector<long> dialogs;
  long index = 0;
  st_.image.command_names.Walk([&](std::string_view name, size_t) {
    if (name == "Display Dialog") dialogs.push_back(index);
    ++index;
  });
  std::erase_if(dialogs, [&](long i) { return image::IsCommandDisabled(st_.image, i); });
  if (windows_open_) s_.windows->SetProgress(0, static_cast<int>(dialogs.size()), 1);
  if (s_.prepare_dialogs) s_.prepare_dialogs(st_.support_folder);
  for (long i : dialogs) {
    std::string name = image::GetCommandParameter(st_.pools, image::CommandId(st_.image, i), 1);
    if (s_.load_dialog) s_.load_dialog(i, st_.support_folder + name + ".dfm");
    if (windows_open_) s_.windows->Step();
  }
  Trace("    </Dialogs>");
}

int Startup::Run(const std::string& raw_command_line) {
  // Steps 1 to 7: outside the exit-code-11 path.
  st_.engine_path = p_.system().ModulePath();
  size_t slash = st_.engine_path.rfind('\\');
  st_.engine_folder = st_.engine_path.substr(0, slash + 1);
  std::string file_name = st_.engine_path.substr(slash + 1);
  size_t dot = file_name.rfind('.');
  st_.engine_base_name = dot == std::string::npos ? file_name : file_name.substr(0, dot);
  RegisterHostApp();
  p_.system().RestrictToFirstProcessor();
  st_.temp_folder = WithBackslash(p_.system().TempFolder());
  files_.CreateDirectories(st_.temp_folder);
  st_.command_line = ParseCommandLine(raw_command_line);
  ReadLanguageOverlay();
  st_.support_archive = st_.engine_folder + st_.engine_base_name + ".res";
  st_.update_run = st_.command_line.update;
  trace_.SetPath(st_.command_line.log_path);

  try {
    Trace("<Corvane>");
    Trace("  <SetupSplash>");
    RefuseUnreachableFolders();
    RefuseLibraryRedirection();
    if (Windows()) {
      const std::string picture = st_.engine_folder + "setup.bmp";
      s_.windows->Show(files_.FileExists(picture) ? picture : "", Text(image::msg::kWizardCaption),
                       Text(image::msg::kPreparing));
      windows_open_ = true;
    }
    if (int code = ReadImage()) {
      CloseWindows();
      return code;
    }
    Trace("    <SupportDir>");
    ChooseSupportFolder();
    Trace("    </SupportDir>");
    Trace("    <ExtractArchive>");
    if (!files_.FileExists(st_.support_archive)) {
      CloseWindows();
      Message(Text(image::msg::kResourceNotFound));
      return kExitResourceMissing;
    }
    if (!s_.extract_archive || !s_.extract_archive(st_.support_archive, st_.support_folder)) {
      CloseWindows();
      Message(Text(image::msg::kResourceDamaged));
      return kExitResourceDamaged;
    }
    Trace("    </ExtractArchive>");
    Trace("    <ExtractResource>");
    const std::string base = st_.engine_folder + st_.engine_base_name;
    if (!files_.FileExists(base + ".msi") && !files_.FileExists(base + ".msp")) {
      CloseWindows();
      Message(Text(image::msg::kDatabaseNotFound));
      return kExitDatabaseMissing;
    }
    Trace("    </ExtractResource>");
    Trace("    <ResourcePath>");
    for (const char* ext : {".msi", ".msp"}) {
      const std::string copy = st_.support_folder + st_.engine_base_name + ext;
      if (files_.CopyFile(base + ext, copy, false) == Status::kOk) {
        files_.SetAttributes(copy, platform::attr::kNormal);
      }
    }
    Trace("    </ResourcePath>");
    st_.data_folder = st_.engine_folder + "data\\";
    LoadDialogs();
    CloseWindows();
    Trace("  </SetupSplash>");
    Trace("  <RunScript>");
    st_.database_path = st_.support_folder + st_.engine_base_name + ".msi";
    int exit_code = s_.run_script ? s_.run_script(st_, trace_) : 0;
    if (st_.end_at_once) {
      // The log ends where the run stopped; the support folder goes all the same, so that a
      // rejected script leaves nothing behind in the temporary folder.
      RemoveSupportFolder(files_, st_.support_folder);
      return exit_code;
    }
    Trace("  </RunScript>");
    Trace("  <Free>");
    st_.pools.clear();
    st_.image = image::ScriptImage();
    Trace("  </Free>");
    RemoveSupport();
    if (st_.medium_removed) {
      Trace("  <RemovableMediaPrematureEject>");
      Trace("  </RemovableMediaPrematureEject>");
      Trace("</Corvane>");
      if (s_.end_process) s_.end_process(exit_code);
      return exit_code;
    }
    Trace("</Corvane>");
    return exit_code;
  } catch (const std::exception& failure) {
    CloseWindows();
    if (!Silent()) {
      p_.ui().MessageBox(Text(image::msg::kInstallRuntimeError) + failure.what(),
                         Text(image::msg::kWizardCaption), platform::mb::kIconError);
    }
    try {
      RemoveSupport();
      Trace("</Corvane>");
    } catch (const std::exception&) {
      // The log itself failed: the run ends with the same exit code all the same.
      if (!st_.support_folder.empty()) RemoveSupportFolder(files_, st_.support_folder);
    }
    return kExitStartupFailure;
  }
}

}  // namespace

void RemoveSupportFolder(platform::FileSystem& files, const std::string& folder) {
  std::string f = folder;
  while (f.size() > 3 && f.back() == '\\') f.pop_back();
  if (!files.DirectoryExists(f)) return;
  for (int pass = 0; pass < 3; ++pass) platform::DeleteTreeContents(files, f);
  files.RemoveDirectory(f);
}

int RunEngine(platform::Platform& platform, StartupServices& services,
              const std::string& raw_command_line) {
  StartupState state;
  Startup startup(platform, services, state);
  return startup.Run(raw_command_line);
}

}  // namespace corvane::engine
