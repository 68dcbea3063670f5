// Plug-in actions: where the library of an action is, the worker that calls it, and what its
// result does to the variables.
#include "install/plugins.h"

#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "commands/engine_state.h"
#include "commands/sixty_four.h"
#include "image/engine_messages.h"
#include "image/failure.h"
#include "install/apply_changes.h"
#include "install/comma_text.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "platform/text.h"
#include "ui/wait_loop.h"

namespace corvane::install {

bool StaysInsideFolder(const std::string& relative) {
  if (relative.empty() || relative.find(':') != std::string::npos) return false;
  size_t at = 0;
  while (true) {
    const size_t end = relative.find_first_of("\\/", at);
    const std::string name = relative.substr(at, end == std::string::npos ? end : end - at);
    if (name.empty() || name == "." || name == "..") return false;
    if (end == std::string::npos) return true;
    at = end + 1;
  }
}

namespace {

using interp::CommandContext;
using interp::Session;

constexpr const char* kCancelLabel = "Cancel at Plug-In Time";

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class PluginJob;

// The action that runs: the progress callback finds it through its own thread, or, for a call
// from a thread that the library made itself, through this record.
std::mutex running_mutex;
PluginJob* running = nullptr;
thread_local PluginJob* running_here = nullptr;

// One plug-in action on its worker thread (TScriptThread).
class PluginJob : public ui::BackgroundJob {
 public:
  // What the calls left behind.
  enum class Outcome {
    kNone,       // no result (yet): the second call failed, or the worker was given up on
    kUnchanged,  // nothing to return: no library, no entry point, -1 or a failed first call
    kResult,     // the result text
  };

  struct Inputs {
    platform::Platform* platform = nullptr;
    std::string library;
    std::string variables;
    std::string parameters;
    void* owner = nullptr;
    std::shared_ptr<int32_t> context;
    bool worker_view64 = false;  // the worker's own thread switches to the 64-bit file view
  };

  explicit PluginJob(Inputs in) : in_(std::move(in)) {}

  void Work(ui::ProgressChannel& progress) override {
    channel_ = &progress;
    running_here = this;
    {
      std::lock_guard<std::mutex> lock(running_mutex);
      running = this;
    }
    Call();
    {
      std::lock_guard<std::mutex> lock(running_mutex);
      if (running == this) running = nullptr;
    }
    running_here = nullptr;
  }

  // The progress callback's work: the text on a scale of 1 to 100, then whether to go on.
  int32_t Progress(int32_t percent, const char* text) {
    channel_->Publish(text != nullptr ? text : "", 1, 100, percent);
    return terminate_requested() ? 0 : 1;
  }

  Outcome Take(std::string* result) {
    std::lock_guard<std::mutex> lock(mu_);
    *result = result_;
    return outcome_;
  }

 private:
  void Finish(Outcome outcome, std::string result = std::string()) {
    std::lock_guard<std::mutex> lock(mu_);
    outcome_ = outcome;
    result_ = std::move(result);
  }

  void Call();

  const Inputs in_;
  ui::ProgressChannel* channel_ = nullptr;
  std::mutex mu_;
  Outcome outcome_ = Outcome::kNone;
  std::string result_;
};

int32_t CORVANE_STDCALL ReportPluginProgress(int32_t percent, const char* text) {
  if (PluginJob* job = running_here) return job->Progress(percent, text);
  std::lock_guard<std::mutex> lock(running_mutex);
  return running != nullptr ? running->Progress(percent, text) : 0;
}

void PluginJob::Call() {
  std::optional<commands::WorkerFsView64> view;
  if (in_.worker_view64) view.emplace(*in_.platform, true);
  std::string error;
  // Declared after the view: the library is unloaded before the view is restored.
  std::unique_ptr<platform::SharedLibrary> library =
      in_.platform->libraries().Load(in_.library, &error);
  if (!library) {
    Finish(Outcome::kUnchanged);
    return;
  }
  auto entry = reinterpret_cast<PluginEntryPoint>(library->Find(kPluginEntryName));
  if (entry == nullptr) {
    Finish(Outcome::kUnchanged);
    return;
  }
  int32_t length = -1;
  try {
    length = entry(in_.owner, in_.variables.c_str(), in_.parameters.c_str(), &ReportPluginProgress,
                   in_.context.get(), nullptr);
  } catch (...) {
    Finish(Outcome::kUnchanged);
    return;
  }
  if (length < 0) {
    Finish(Outcome::kUnchanged);
    return;
  }
  try {
    // Zeros throughout: a library that writes less than it announced leaves a terminated text.
    std::string buffer(static_cast<size_t>(length) + 1, '\0');
    const int32_t again = entry(in_.owner, in_.variables.c_str(), in_.parameters.c_str(),
                                &ReportPluginProgress, in_.context.get(), buffer.data());
    if (again < 0) return;  // no result: the store stays as it is
    // The text ends at the length the library announced, whatever it wrote there.
    buffer[static_cast<size_t>(length)] = '\0';
    Finish(Outcome::kResult, std::string(buffer.c_str()));
  } catch (...) {
    // An announced length that cannot be allocated, or an error raised by the library.
  }
}

// The library of the current action: its full path, or "" when the action has none that may be
// loaded (a path that leaves its folder). Throws the sources failure of a patch build.
std::string LocateLibrary(CommandContext& ctx) {
  Session& s = ctx.session();
  interp::Variables& v = s.variables;
  platform::FileSystem& files = s.platform.files();
  const std::string relative = ctx.params().Raw(2);
  const long index = ctx.index();
  const std::string block = index < static_cast<long>(s.image.command_media.size())
                                ? std::string(s.image.command_media.At(index))
                                : std::string();

  if (block.empty()) {
    // Libraries of the support archive lie directly in the support folder.
    const std::string name = FileNameOf(relative);
    if (!StaysInsideFolder(name)) return "";
    return WithBackslash(v.GetVariable("SUPPORTDIR")) + name;
  }
  if (!StaysInsideFolder(block + relative)) return "";

  std::string data_folder = WithBackslash(v.GetVariable("DATADIR"));
  std::string path = data_folder + block + relative;
  if (s.image.build_mode != image::ScriptImage::kPatchBuild || files.FileExists(path)) return path;

  // A patch build finds its library with the setup sources: the folder the product was installed
  // from, or the "/p=" folder (a data folder with the marker where that one has none).
  auto holds = [&](const std::string& folder) {
    return !folder.empty() && files.FileExists(WithBackslash(folder) + s.image.product_code);
  };
  std::string sources = InstalledSourceFolder(s);
  if (!s.media_switch.empty()) sources = s.media_switch;
  if (!holds(sources) && holds(data_folder)) sources = data_folder;
  auto use = [&](const std::string& folder) {
    data_folder = WithBackslash(folder);
    if (data_folder != WithBackslash(v.GetVariable("DATADIR"))) {
      v.SetVariable("DATADIR", data_folder, ctx.SourceLabel());
    }
    path = data_folder + block + relative;
  };
  if (!sources.empty()) use(sources);
  if (files.FileExists(path)) return path;

  // Still missing: the user is asked for the sources.
  std::string folder;
  while (!v.silent() && s.platform.ui().BrowseForFolder(s.Message(image::msg::kLocateSources),
                                                        &folder) == platform::Status::kOk) {
    folder = WithBackslash(folder);
    if (holds(folder)) {
      use(folder);
      return path;
    }
    if (holds(folder + "data\\")) {
      use(folder + "data\\");
      return path;
    }
  }
  if (interp::TextToBool(v.GetVariable("ABORTONERROR"))) {
    throw image::ScriptFailure(s.Message(image::msg::kSourcesNotFound));
  }
  return path;
}

void ShowMissingLibrary(Session& s) {
  if (s.variables.silent()) return;
  interp::DialogHost* dialogs = s.dialogs;
  if (dialogs) dialogs->SetTaskbarPaused();
  platform::UserInterface& ui = s.platform.ui();
  const uint64_t owner = dialogs ? dialogs->WindowHandle() : 0;
  int answer = ui.MessageBoxOwned(owner, kPluginMissingText, s.Caption(), platform::mb::kIconError);
  // A box that could not be shown with its owner is shown without one.
  if (answer == 0 && owner != 0) {
    ui.MessageBoxOwned(0, kPluginMissingText, s.Caption(), platform::mb::kIconError);
  }
  if (dialogs) dialogs->RestoreTaskbar();
}

// The result of a library replaces the whole store: every variable goes, then each pair of the
// text is set (an odd last item is left out).
void ReplaceVariables(interp::TVariableManager& store, const std::string& result) {
  const std::vector<std::string> items = SplitCommaText(result);
  store.Clear();
  for (size_t i = 0; i + 1 < items.size(); i += 2) store.Set(items[i], items[i + 1]);
}

bool IsWindows7OrLater(platform::SystemInfo& system) {
  const platform::OsVersion v = system.Version();
  return v.major > 6 || (v.major == 6 && v.minor >= 1);
}

void RunPluginAction(CommandContext& ctx) {
  Session& s = ctx.session();
  interp::Variables& v = s.variables;
  // A web build fetches the action's media block first; a failure that ends the script ends it
  // here, otherwise the action goes on.
  if (s.fetch_command_media && s.fetch_command_media(ctx)) return;
  const std::string library = LocateLibrary(ctx);

  std::vector<std::string> all;
  v.store().ListAll(&all);
  PluginJob::Inputs in;
  in.platform = &s.platform;
  in.library = library;
  in.variables = CommaText(all);
  in.parameters = ctx.params().Raw(1);
  in.owner = reinterpret_cast<void*>(
      static_cast<uintptr_t>(s.dialogs != nullptr ? s.dialogs->WindowHandle() : 0));
  in.context = commands::StateOf(s).plugin_context;
  if (library.empty() || !platform::IsFullLibraryPath(library) ||
      !s.platform.files().FileExists(library)) {
    ShowMissingLibrary(s);
    return;
  }

  // The installer's own plug-in works in its own views on Windows 7 and later; on earlier
  // systems its worker switches the file view for itself as well.
  const bool msi_exec = platform::SameText(FileNameOf(library), "kMSIExec.dll");
  const bool own_views = msi_exec && IsWindows7OrLater(s.platform.system());
  std::optional<commands::FsView64> view;
  if (!own_views) view.emplace(s);
  in.worker_view64 = msi_exec && !own_views && commands::Is64BitMode(s);

  auto job = std::make_shared<PluginJob>(std::move(in));
  ui::WaitLoop loop(ui::WaitOptions{kCancelLabel});
  const ui::WaitOutcome outcome = loop.Run(ctx, job);
  if (outcome == ui::WaitOutcome::kScriptEnded) return;

  std::string result;
  const PluginJob::Outcome done = job->Take(&result);
  if (done == PluginJob::Outcome::kUnchanged) return;
  if (result.empty()) {
    if (interp::TextToBool(v.GetVariable("ABORTONERROR"))) {
      throw image::ScriptFailure(s.Message(image::msg::kGeneralFailure));
    }
    return;
  }
  ReplaceVariables(v.store(), result);
  // The library's result was made before the user cancelled: the cancel stays in force.
  if (outcome == ui::WaitOutcome::kCancelled) {
    v.store().Set("VORT_IsCancelled", "TRUE");
    v.SetVariable("ABORTEDONERROR", "TRUE", kCancelLabel);
  }
}
CORVANE_PLUGIN_COMMANDS(RunPluginAction);

}  // namespace

}  // namespace corvane::install
