// The process table of the simulated machine. Programs are stand-ins: a file on a simulated drive
// whose first line is "[program]" followed by "key = value" lines says what the program does when
// it is started:
//
//   [program]
//   exit = 3                 exit code when it ends (default 0; signed or unsigned 32-bit)
//   run = 2000               milliseconds of virtual time until it ends, or "forever" (default 0)
//   window = Title | Class   a top-level window it shows while it runs (any number)
//   on_close = exit          a close request (WM_CLOSE) closes the window, and the program ends
//                            with its exit code when its last window is closed; "ignore" keeps
//                            the window open
//
// A file without the header is not a program the machine can start, unless it is an executable
// image with something behind it (the way a setup file is made, an engine with its script image
// appended): when what stands behind the image is a stand-in, the file runs as that stand-in;
// otherwise it is a setup, which the machine runs with its setup runner (SetSetupRunner) as a
// process of the host: the runner (corvane-sim) runs the setup file on this same machine, its
// exit code is the child's own (the last line of the transcript it writes), and the registry is
// handed over through the machine's registry file (saved before the start, read back at the end).
// Without a runner a setup cannot be started. The processes that run when
// the machine starts are described by MACHINE/processes.txt in the same keys, each block opened
// by "process = PATH" (with "integrity = medium", "high", "low" or a number); without the file
// the desktop shell runs: C:\Windows\explorer.exe with the window "Program Manager | Progman" at
// medium integrity. The engine itself is a process too (its module path); its windows are the
// windows of the headless renderer.
//
// Every start is recorded with its command line, folder, show command, environment and account
// (never the password, only its length). Waiting lets virtual time pass: a waiting thread tells
// the clock when it wants to wake (SimSystemInfo::AddWakeup), and the renderer's idle wait moves
// the clock on to that time.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "platform/sim/sim_files.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_windows.h"

namespace corvane::platform::sim {

struct SimProgramWindow {
  uint64_t handle = 0;
  std::string title;
  std::string class_name;
  bool closed = false;
};

// One start as the machine saw it.
struct SimStart {
  std::string kind;  // "shell", "create", "logon" or "shell-token"
  std::string verb;  // shell starts: "open" or "" for the default action
  std::string path;  // the program file that was found
  std::string command_line;  // the arguments of a shell start, the whole line of the others
  std::string folder;        // the working folder the process got
  int show = 0;
  bool inherited_environment = true;
  std::vector<std::string> environment;  // the block the process got, "NAME=value" each
  std::string user, domain;              // logon starts
  size_t password_length = 0;
  uint32_t process_id = 0;
};

class SimProcesses : public Processes {
 public:
  SimProcesses(const std::filesystem::path& machine_folder, const MachineDescription& machine,
               SimFileSystem& files, SimSystemInfo& system, SimWindowService& windows);
  ~SimProcesses() override;

  Status ShellStart(const std::string& verb, const std::string& file, const std::string& arguments,
                    const std::string& folder, int show,
                    std::unique_ptr<Process>* process) override;
  Status PlainStart(const std::string& command_line, const StartOptions& options,
                       std::unique_ptr<Process>* process) override;
  Status StartWithLogon(const std::string& user, const std::string& domain,
                        const std::string& password, const std::string& command_line,
                        const StartOptions& options, std::unique_ptr<Process>* process) override;
  uint32_t OwnIntegrityLevel() override;
  uint32_t ShellIntegrityLevel() override;
  bool EnableDebugPrivilege() override;
  TokenStart StartWithShellToken(const std::string& command_line, const StartOptions& options,
                                 std::unique_ptr<Process>* process) override;
  std::vector<TopWindow> TopLevelWindows() override;
  bool PostCloseRequest(uint64_t window) override;
  uint32_t CurrentProcessId() override { return kEngineProcessId; }
  std::vector<std::string> RunningExecutables() override;

  // What the tests and the transcript look at.
  std::vector<SimStart> Starts();
  // Close requests posted, one "Title | Class" each, in order.
  std::vector<std::string> CloseRequests();
  // Process handles given out and not yet closed.
  int OpenHandles();
  // Problems in processes.txt (one line each), or empty.
  const std::string& Warnings() const { return warnings_; }

  // The host program that runs setup files of this machine (corvane-sim), and what the machine
  // does around such a child: `before_start` brings the machine's files up to date (the registry
  // file), `after_end` takes over what the child left there.
  void SetSetupRunner(std::filesystem::path runner, std::function<void()> before_start,
                      std::function<void()> after_end);

  static constexpr uint32_t kEngineProcessId = 1000;

 private:
  struct Entry;
  class Handle;
  friend class Handle;

  // Finds the program file of a start; kNotFound when there is none, kFailed for a file that is
  // not a stand-in. *path gets the full path, *program its description.
  Status FindProgram(const std::string& name, const std::string& folder, std::string* path,
                     std::shared_ptr<Entry>* program);
  Status Launch(SimStart start, const std::string& program_name, const std::string& search_folder,
                uint32_t integrity, std::unique_ptr<Process>* process);
  bool Ended(Entry& e, uint64_t now);  // mu_ held
  void LoadRunning(const std::filesystem::path& file);
  // Starts a setup file with the setup runner; false when the host cannot start it.
  bool StartSetup(Entry& e, const std::string& arguments);  // mu_ held

  const MachineDescription& machine_;
  SimFileSystem& files_;
  SimSystemInfo& system_;
  SimWindowService& windows_;
  std::mutex mu_;
  std::vector<std::shared_ptr<Entry>> table_;
  std::vector<SimStart> starts_;
  std::vector<std::string> close_requests_;
  int open_handles_ = 0;
  uint32_t next_pid_ = 2000;
  uint64_t next_window_ = 0x70000;
  std::string warnings_;
  std::filesystem::path machine_folder_;
  std::filesystem::path runner_;
  std::function<void()> before_start_, after_end_;
};

// The "key = value" lines of a stand-in program after its "[program]" header; false when the
// text is not a stand-in (`error` then says why, or is empty for a file without the header).
struct StandIn {
  uint32_t exit_code = 0;
  std::optional<uint64_t> run_ms = 0;  // nullopt: runs until it is closed
  std::vector<std::pair<std::string, std::string>> windows;  // title, class
  bool close_ends = true;
};
bool ParseStandIn(const std::string& text, StandIn* program, std::string* error);

}  // namespace corvane::platform::sim
