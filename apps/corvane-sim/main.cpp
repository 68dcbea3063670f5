// corvane-sim: runs a setup file on a simulated machine kept in a folder, and writes a
// transcript of what the setup read and changed.
//
//   corvane-sim [--machine DIR] [--answers FILE] [--transcript FILE] SETUP [setup arguments]
//
// SETUP is a host path (its folder's files replace the machine's folder C:\Setup\, which becomes
// the engine's folder) or a path on the machine ("C:\..."), such as a cached engine for a
// maintenance run. The exit code is the setup's; the transcript ends with it too (exit codes
// above 255 do not fit a process exit status here).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/run_script.h"
#include "engine/startup.h"
#include "install/archive_access.h"
#include "install/archive_client.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#include "platform/text.h"
#include "ui/dialog_display.h"
#include "ui/dialog_system.h"
#include "ui/wait_loop.h"
#include "ui/window_presenter.h"

namespace fs = std::filesystem;
using namespace corvane;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: corvane-sim [--machine DIR] [--answers FILE] [--transcript FILE] SETUP "
               "[setup arguments]\n");
  return 2;
}

bool IsMachinePath(const std::string& p) {
  return p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' &&
         p[2] == '\\';
}

// Quotes an argument for the engine's command line when it holds a blank.
std::string QuoteArgument(const std::string& a) {
  return a.find(' ') == std::string::npos ? a : "\"" + a + "\"";
}

// The native archive library: libzel.so beside this program.
std::string NativeLibraryPath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  fs::path dir = self.parent_path();
  for (const fs::path& candidate : {dir / "libzel.so", dir / ".." / "archive" / "libzel.so",
                                    dir / ".." / ".." / "archive" / "libzel.so"}) {
    if (fs::exists(candidate, ec)) return candidate.string();
  }
  return (dir / "libzel.so").string();
}

// True when `inner` is `outer` or lies below it (both absolute and normal).
bool IsAtOrBelow(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin(), o = outer.begin();
  for (; o != outer.end(); ++i, ++o) {
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

// The files and folders that make up a machine folder (its drives, registry and description).
bool IsMachineOwn(const fs::path& p, const fs::path& machine) {
  if (p.parent_path() != machine) return false;
  const std::string name = p.filename().string();
  return (name.size() == 7 && name.compare(0, 6, "drive_") == 0) || name == "registry.reg" ||
         name == "machine.txt" || name == "attributes.txt";
}

// Copies the setup's folder into a fresh folder on the machine. The machine may lie inside the
// setup's folder (the default machine folder is made in the current folder, and a setup author
// naturally stands in the setup's folder), or be that folder itself: the machine folder, its
// drives, registry and description, and the machine's own C:\Setup are never part of the copy. Links to folders are not followed. Names
// the file that could not be copied in *failed.
bool CopySetupFolder(const fs::path& from, const fs::path& to, const fs::path& machine,
                     const fs::path& target, std::string* failed) {
  std::error_code ec;
  fs::create_directory(to, ec);
  if (ec) {
    *failed = to.string() + ": " + ec.message();
    return false;
  }
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path source = it->path();
    if (source == machine || IsMachineOwn(source, machine) || IsAtOrBelow(source, target) ||
        IsAtOrBelow(source, to)) {
      continue;
    }
    fs::file_status link = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_directory(link)) {
      if (!CopySetupFolder(source, to / source.filename(), machine, target, failed)) return false;
      continue;
    }
    if (fs::is_symlink(link) && fs::is_directory(fs::status(source, ec))) continue;
    fs::copy_file(source, to / source.filename(), fs::copy_options::overwrite_existing, ec);
    if (ec) {
      *failed = source.string() + ": " + ec.message();
      return false;
    }
  }
  if (ec) {
    *failed = from.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string machine = "corvane-machine", answers, transcript_path;
  int i = 1;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--machine" && i + 1 < argc) {
      machine = argv[++i];
    } else if (a == "--answers" && i + 1 < argc) {
      answers = argv[++i];
    } else if (a == "--transcript" && i + 1 < argc) {
      transcript_path = argv[++i];
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      break;
    }
  }
  if (i >= argc) return Usage();
  const std::string setup = argv[i++];
  std::vector<std::string> setup_args(argv + i, argv + argc);

  // Where the engine runs from on the machine.
  std::string module_path;
  std::vector<fs::path> to_copy;
  fs::path host_setup;
  if (IsMachinePath(setup)) {
    module_path = setup;
  } else {
    host_setup = fs::absolute(setup);
    if (!fs::is_regular_file(host_setup)) {
      std::fprintf(stderr, "corvane-sim: %s is not a file\n", setup.c_str());
      return 2;
    }
    module_path = "C:\\Setup\\" + platform::Cp1252FromUtf8(host_setup.filename().string());
  }

  platform::SimOptions options;
  options.machine_folder = machine;
  options.answers_file = answers;
  options.module_path = module_path;
  // Setups that this one starts run on the same machine, each by this program.
  std::error_code self_error;
  options.setup_runner = fs::read_symlink("/proc/self/exe", self_error).string();
  auto sim = platform::CreateSimPlatform(options);
  if (!sim->AnswersError().empty()) {
    // A malformed answers file would answer the run wrongly: nothing runs.
    std::fprintf(stderr, "corvane-sim: %s\n", sim->AnswersError().c_str());
    return 2;
  }
  if (!sim->Warnings().empty()) std::fprintf(stderr, "corvane-sim: %s", sim->Warnings().c_str());

  // The setup's folder becomes the engine's folder on the machine: copied into a fresh folder
  // first, which then takes the place of the old one, so that a failed copy leaves the machine's
  // C:\Setup as it was.
  if (!host_setup.empty()) {
    std::error_code ec;
    const fs::path target = fs::weakly_canonical(sim->HostPath("C:\\Setup"), ec);
    const fs::path machine_folder = fs::weakly_canonical(fs::absolute(machine), ec);
    const fs::path fresh = target.parent_path() / ("Setup.new-" + std::to_string(getpid()));
    const fs::path old = target.parent_path() / ("Setup.old-" + std::to_string(getpid()));
    fs::remove_all(fresh, ec);
    std::string failed;
    if (!CopySetupFolder(fs::weakly_canonical(host_setup.parent_path(), ec), fresh,
                         machine_folder, target, &failed)) {
      std::fprintf(stderr, "corvane-sim: cannot copy %s\n", failed.c_str());
      fs::remove_all(fresh, ec);
      return 2;
    }
    fs::remove_all(old, ec);
    if (fs::exists(target)) fs::rename(target, old, ec);
    if (!ec) fs::rename(fresh, target, ec);
    if (ec) {
      std::fprintf(stderr, "corvane-sim: cannot replace %s: %s\n", target.c_str(),
                   ec.message().c_str());
      fs::remove_all(fresh, ec);
      return 2;
    }
    fs::remove_all(old, ec);
  }

  // The machine, its transcript and the recording platform in front of it are shared: a worker
  // that a cancelled command gave up on keeps them until it ends, after the run if need be.
  struct Recorded {
    explicit Recorded(std::unique_ptr<platform::SimPlatform> s)
        : sim(std::move(s)), recorded(*sim, transcript) {}
    std::unique_ptr<platform::SimPlatform> sim;
    platform::sim::Transcript transcript;
    platform::sim::RecordingPlatform recorded;
  };
  auto owner = std::make_shared<Recorded>(std::move(sim));
  platform::SimPlatform* const machine_platform = owner->sim.get();
  platform::sim::Transcript& transcript = owner->transcript;
  platform::sim::RecordingPlatform& recorded = owner->recorded;

  std::string library_error;
  std::shared_ptr<const install::ArchiveLibrary> archive =
      install::ArchiveLibrary::Load(NativeLibraryPath(), &library_error);
  // The library as the run's commands reach it: the machine's paths become host paths, and the
  // machine keeps the entries' marks (its host keeps none). Shared with the workers that use it.
  install::RunArchive::Options archive_options;
  archive_options.library_path = [machine_platform](const std::string& path) {
    return machine_platform->HostPath(path).string();
  };
  archive_options.mark_keeper = &machine_platform->files();
  archive_options.note = [&transcript](const std::string& line) { transcript.Add(line); };
  auto run_archive =
      std::make_shared<install::RunArchive>(archive, library_error, std::move(archive_options));
  ui::DialogSystem dialogs(recorded.files());

  engine::StartupServices services;
  services.extract_archive = [&](const std::string& archive_path, const std::string& folder) {
    if (!archive) {
      transcript.Add("archive library not loaded: " + library_error);
      return false;
    }
    std::string error;
    const fs::path host_archive = machine_platform->HostPath(archive_path);
    const fs::path host_folder = machine_platform->HostPath(folder);
    bool ok = false;
    if (host_archive.empty() || host_folder.empty()) {
      // A path the machine cannot resolve (a missing parent, a device name) must not become the
      // host's current folder.
      error = "no such file or folder on the machine";
    } else {
      ok = install::ExtractArchiveFiles(*archive, host_archive.string(), "", host_folder.string(),
                                        nullptr, nullptr, true, true, &error);
    }
    transcript.Add("archive extract " + archive_path + " -> " + folder +
                   (ok ? "" : " (failed: " + error + ")"));
    return ok;
  };
  services.prepare_dialogs = [&](const std::string& folder) {
    dialogs.Start(folder, nullptr);
  };
  services.load_dialog = [&](long index, const std::string& form_file) {
    dialogs.LoadDialog(std::to_string(index), form_file);
    transcript.Add("dialog loaded " + form_file + " for command " + std::to_string(index));
  };
  // The dialogs of the run, on the headless renderer.
  std::unique_ptr<ui::WindowPresenter> presenter;
  std::unique_ptr<ui::DialogDisplay> display;
  services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
    engine::RunServices run;
    run.keep_alive = owner;
    run.attach = [&](interp::Session& session) {
      presenter = std::make_unique<ui::WindowPresenter>(recorded.windows(), session.variables);
      display = std::make_unique<ui::DialogDisplay>(session, dialogs, *presenter);
      presenter->on_timer = [&session, d = display.get()] {
        d->TimerTick(ui::IsBackgroundTaskRunning(session));
      };
      session.dialogs = display.get();
      session.Attach<install::RunArchive>(run_archive.get());
      // The engine's own questions (retry dialogs) are shown through it too.
      session.Attach<ui::DialogDisplay>(display.get());
    };
    engine::RunOutcome outcome = engine::RunScript(recorded, state, trace, run);
    // The session is gone: so are its dialogs.
    display.reset();
    presenter.reset();
    state.end_at_once = outcome.end_now;
    return outcome.exit_code;
  };

  std::string command_line = QuoteArgument(module_path);
  for (const auto& a : setup_args) command_line += " " + QuoteArgument(a);
  int exit_code = engine::RunEngine(recorded, services, command_line);
  dialogs.Stop();

  // Answers that named what was not there, or displays that never came: the walk went wrong.
  platform::sim::SimWindowService& screen = machine_platform->sim_windows();
  screen.Finish();
  for (const std::string& e : screen.Errors()) {
    std::fprintf(stderr, "corvane-sim: %s\n", e.c_str());
    transcript.Add("answers error: " + e);
  }
  transcript.Add("exit code " + std::to_string(exit_code));
  if (!transcript_path.empty()) {
    std::ofstream out(transcript_path, std::ios::binary | std::ios::trunc);
    out << platform::Utf8From1252(transcript.Text());
  }
  machine_platform->SaveRegistry();
  return screen.Errors().empty() ? exit_code : 2;
}
