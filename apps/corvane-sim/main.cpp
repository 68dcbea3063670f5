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
#include "install/archive_client.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#include "platform/text.h"
#include "ui/dialog_system.h"

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
  auto sim = platform::CreateSimPlatform(options);
  if (!sim->Warnings().empty()) std::fprintf(stderr, "corvane-sim: %s", sim->Warnings().c_str());

  // The setup's folder becomes the engine's folder on the machine.
  if (!host_setup.empty()) {
    fs::path target = sim->HostPath("C:\\Setup");
    std::error_code ec;
    fs::remove_all(target, ec);
    fs::create_directories(target, ec);
    for (const auto& entry : fs::directory_iterator(host_setup.parent_path())) {
      fs::copy(entry.path(), target / entry.path().filename(),
               fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
      if (ec) {
        std::fprintf(stderr, "corvane-sim: cannot copy %s: %s\n", entry.path().c_str(),
                     ec.message().c_str());
        return 2;
      }
    }
  }

  platform::sim::Transcript transcript;
  platform::sim::RecordingPlatform recorded(*sim, transcript);

  std::string library_error;
  auto archive = install::ArchiveLibrary::Load(NativeLibraryPath(), &library_error);
  ui::DialogSystem dialogs(recorded.files());

  engine::StartupServices services;
  services.extract_archive = [&](const std::string& archive_path, const std::string& folder) {
    if (!archive) {
      transcript.Add("archive library not loaded: " + library_error);
      return false;
    }
    std::string error;
    bool ok = install::ExtractArchiveFiles(*archive, sim->HostPath(archive_path).string(), "",
                                           sim->HostPath(folder).string(), nullptr, nullptr, true,
                                           true, &error);
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
  services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
    engine::RunServices run;
    engine::RunOutcome outcome = engine::RunScript(recorded, state, trace, run);
    state.end_at_once = outcome.end_now;
    return outcome.exit_code;
  };

  std::string command_line = QuoteArgument(module_path);
  for (const auto& a : setup_args) command_line += " " + QuoteArgument(a);
  int exit_code = engine::RunEngine(recorded, services, command_line);
  dialogs.Stop();

  transcript.Add("exit code " + std::to_string(exit_code));
  if (!transcript_path.empty()) {
    std::ofstream out(transcript_path, std::ios::binary | std::ios::trunc);
    out << platform::Utf8From1252(transcript.Text());
  }
  sim->SaveRegistry();
  return exit_code;
}
