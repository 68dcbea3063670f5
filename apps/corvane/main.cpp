// corvane.exe: the setup engine. Finds the script image appended to itself and runs the setup.
#include <windows.h>

#include <string>

#include "engine/run_script.h"
#include "engine/startup.h"
#include "install/archive_access.h"
#include "install/archive_client.h"
#include "platform/win32/startup_windows.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_platform.h"
#include "ui/dialog_display.h"
#include "ui/dialog_system.h"
#include "ui/wait_loop.h"
#include "ui/win32/win32_presenter.h"

using namespace corvane;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Libraries that the engine loads by name come from the system folder only, never from the
  // setup's folder or the current folder.
  platform::win32::RestrictLibrarySearch();
  // Shared: a worker that a cancelled command gave up on keeps it until the worker ends.
  std::shared_ptr<platform::Platform> platform = platform::CreateWin32Platform();
  auto windows = platform::CreateWin32StartupWindows();
  ui::DialogSystem dialogs(platform->files());

  engine::StartupServices services;
  services.windows = windows.get();
  services.extract_archive = [&](const std::string& archive, const std::string& folder) {
    // The archive library beside the engine, by its full path.
    const std::string engine = platform->system().ModulePath();
    const std::string library = engine.substr(0, engine.rfind('\\') + 1) + "zel.lib";
    std::string error;
    auto lib = install::ArchiveLibrary::Load(library, &error);
    if (!lib) return false;
    return install::ExtractArchiveFiles(*lib, archive, "", folder, nullptr, nullptr, true, true,
                                        &error);
  };
  services.prepare_dialogs = [&](const std::string& folder) { dialogs.Start(folder, nullptr); };
  // The archive library for the run's commands (Extract 7Zip Archive, web media), loaded once
  // from beside the engine; shared with the workers that use it.
  std::shared_ptr<install::RunArchive> run_archive;
  services.load_dialog = [&](long index, const std::string& form_file) {
    dialogs.LoadDialog(std::to_string(index), form_file);
  };
  // The dialogs of the run, as real windows.
  std::unique_ptr<ui::win32::Win32Presenter> presenter;
  std::unique_ptr<ui::win32::Win32DialogHooks> hooks;
  std::unique_ptr<ui::DialogDisplay> display;
  services.run_script = [&](engine::StartupState& state, engine::TraceLog& trace) {
    engine::RunServices run;
    run.keep_alive = platform;
    run.attach = [&](interp::Session& session) {
      presenter = std::make_unique<ui::win32::Win32Presenter>(platform->windows(),
                                                              platform->pictures());
      hooks = std::make_unique<ui::win32::Win32DialogHooks>(session, *presenter);
      display = std::make_unique<ui::DialogDisplay>(session, dialogs, *presenter, hooks.get());
      presenter->on_timer = [&session, d = display.get()] {
        d->TimerTick(ui::IsBackgroundTaskRunning(session));
      };
      session.dialogs = display.get();
      const std::string engine = platform->system().ModulePath();
      std::string error;
      std::shared_ptr<const install::ArchiveLibrary> library =
          install::ArchiveLibrary::Load(engine.substr(0, engine.rfind('\\') + 1) + "zel.lib", &error);
      run_archive = std::make_shared<install::RunArchive>(library, error,
                                                          install::RunArchive::Options{});
      session.Attach<install::RunArchive>(run_archive.get());
      // The engine's own questions (retry dialogs) are shown through it too.
      session.Attach<ui::DialogDisplay>(display.get());
    };
    engine::RunOutcome outcome = engine::RunScript(*platform, state, trace, run);
    // The session is gone: so are its dialogs.
    display.reset();
    hooks.reset();
    presenter.reset();
    state.end_at_once = outcome.end_now;
    return outcome.exit_code;
  };
  // The engine's folder was on a medium that is gone: the process ends right there.
  services.end_process = [](int code) { ExitProcess(static_cast<UINT>(code)); };
  int exit_code = engine::RunEngine(*platform, services, GetCommandLineA());
  dialogs.Stop();
  return exit_code;
}
