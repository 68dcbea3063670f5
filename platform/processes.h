// Processes of other programs: starting them (through the shell, plainly, under another account,
// or with the desktop shell's token), waiting for them and reading their exit codes, the top-level
// windows of the desktop, and the list of running processes.
//
// A started process is a Process object that owns the system's handle of it: the handle is
// closed when the object goes, so no path of a caller can leak it. Thread handles that a start
// returns are closed by the start itself. Every call may be made from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

// The exit code that a process which is still running reports (STILL_ACTIVE).
constexpr uint32_t kStillActive = 259;

// Show commands of STARTUPINFO and ShellExecuteEx.
namespace show {
constexpr int kHide = 0;
constexpr int kNormal = 1;
constexpr int kMinimized = 2;
constexpr int kMaximized = 3;
constexpr int kShow = 5;
constexpr int kMinNoActive = 7;
}  // namespace show

// Integrity levels of a token (the last sub-authority of its integrity label).
namespace integrity {
constexpr uint32_t kMedium = 0x2000;
constexpr uint32_t kHigh = 0x3000;
}  // namespace integrity

class Process {
 public:
  virtual ~Process() = default;  // closes the process handle; the process itself goes on
  // Waits up to timeout_ms for the process to end; true when it has ended.
  virtual bool Wait(uint32_t timeout_ms) = 0;
  // GetExitCodeProcess: kStillActive while it runs. False when the system cannot tell.
  virtual bool ExitCode(uint32_t* code) = 0;
};

// What a start gives the new process besides its command line.
struct StartOptions {
  int show = show::kNormal;  // STARTUPINFO show command (STARTF_USESHOWWINDOW is always set)
  // The variables of the new process, "NAME=value" each, in block order; the process inherits
  // the engine's environment when `inherit_environment` is set.
  bool inherit_environment = true;
  std::vector<std::string> environment;
};

// The outcome of a start under another token.
enum class TokenStart {
  kStarted,
  kUnavailable,         // the system has no token start function
  kNoShellProcess,      // the shell's process cannot be opened
  kNoShellToken,        // its token cannot be opened
  kNotDuplicated,       // the token cannot be duplicated
  kNotReduced,          // the duplicate's privileges cannot be removed
  kFailed,              // the process could not be created
};

struct TopWindow {
  uint64_t handle = 0;
  std::string title;       // GetWindowText
  std::string class_name;  // GetClassName
  uint32_t process_id = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;

  // ShellExecuteEx with the process handle kept and no error dialogs: `verb` ("" for the file's
  // default action), the file, its arguments, the working folder and the show command. A start
  // that made no process of its own (a document handed to a running program) gives kOk with a
  // null *process.
  virtual Status ShellStart(const std::string& verb, const std::string& file,
                            const std::string& arguments, const std::string& folder, int show,
                            std::unique_ptr<Process>* process) = 0;
  // CreateProcess of a command line (no application name, no handle inheritance, a new
  // console, the current folder inherited).
  virtual Status PlainStart(const std::string& command_line, const StartOptions& options,
                               std::unique_ptr<Process>* process) = 0;
  // CreateProcessWithLogonW with the user's profile loaded, a new console and the current folder
  // inherited. kNotFound when the system has no such function, kFailed when the start fails.
  // The password is only read; the caller wipes its own copy.
  virtual Status StartWithLogon(const std::string& user, const std::string& domain,
                                const std::string& password, const std::string& command_line,
                                const StartOptions& options,
                                std::unique_ptr<Process>* process) = 0;
  // The integrity level of the engine's own token and of the process that owns the desktop
  // shell's window (class "Progman"); 0 when it cannot be read (no shell window, no levels).
  virtual uint32_t OwnIntegrityLevel() = 0;
  virtual uint32_t ShellIntegrityLevel() = 0;
  // Enables SeDebugPrivilege in the engine's token; false when it cannot be.
  virtual bool EnableDebugPrivilege() = 0;
  // Starts a command line with a primary duplicate of the shell process's token from which the
  // powerful privileges are removed (CreateProcessWithTokenW, a new console).
  virtual TokenStart StartWithShellToken(const std::string& command_line,
                                         const StartOptions& options,
                                         std::unique_ptr<Process>* process) = 0;

  // The top-level windows of the desktop in Z order.
  virtual std::vector<TopWindow> TopLevelWindows() = 0;
  // Posts WM_CANCELMODE and then WM_CLOSE to a window; false when the window is gone.
  virtual bool PostCloseRequest(uint64_t window) = 0;
  virtual uint32_t CurrentProcessId() = 0;
  // The executable paths (or file names, as the system reports them) of all running processes.
  virtual std::vector<std::string> RunningExecutables() = 0;
};

// A platform without processes: nothing starts, nothing runs, there are no windows.
class NoProcesses : public Processes {
 public:
  Status ShellStart(const std::string&, const std::string&, const std::string&, const std::string&,
                    int, std::unique_ptr<Process>*) override {
    return Status::kFailed;
  }
  Status PlainStart(const std::string&, const StartOptions&,
                       std::unique_ptr<Process>*) override {
    return Status::kFailed;
  }
  Status StartWithLogon(const std::string&, const std::string&, const std::string&,
                        const std::string&, const StartOptions&,
                        std::unique_ptr<Process>*) override {
    return Status::kNotFound;
  }
  uint32_t OwnIntegrityLevel() override { return 0; }
  uint32_t ShellIntegrityLevel() override { return 0; }
  bool EnableDebugPrivilege() override { return false; }
  TokenStart StartWithShellToken(const std::string&, const StartOptions&,
                                 std::unique_ptr<Process>*) override {
    return TokenStart::kUnavailable;
  }
  std::vector<TopWindow> TopLevelWindows() override { return {}; }
  bool PostCloseRequest(uint64_t) override { return false; }
  uint32_t CurrentProcessId() override { return 0; }
  std::vector<std::string> RunningExecutables() override { return {}; }
};

// Forwards every call to another Processes: derive from it to change one call in a test.
class ProcessesWrapper : public Processes {
 public:
  explicit ProcessesWrapper(Processes& target) : target_(target) {}
  Status ShellStart(const std::string& verb, const std::string& file, const std::string& arguments,
                    const std::string& folder, int show,
                    std::unique_ptr<Process>* process) override {
    return target_.ShellStart(verb, file, arguments, folder, show, process);
  }
  Status PlainStart(const std::string& command_line, const StartOptions& options,
                       std::unique_ptr<Process>* process) override {
    return target_.PlainStart(command_line, options, process);
  }
  Status StartWithLogon(const std::string& user, const std::string& domain,
                        const std::string& password, const std::string& command_line,
                        const StartOptions& options, std::unique_ptr<Process>* process) override {
    return target_.StartWithLogon(user, domain, password, command_line, options, process);
  }
  uint32_t OwnIntegrityLevel() override { return target_.OwnIntegrityLevel(); }
  uint32_t ShellIntegrityLevel() override { return target_.ShellIntegrityLevel(); }
  bool EnableDebugPrivilege() override { return target_.EnableDebugPrivilege(); }
  TokenStart StartWithShellToken(const std::string& command_line, const StartOptions& options,
                                 std::unique_ptr<Process>* process) override {
    return target_.StartWithShellToken(command_line, options, process);
  }
  std::vector<TopWindow> TopLevelWindows() override { return target_.TopLevelWindows(); }
  bool PostCloseRequest(uint64_t window) override { return target_.PostCloseRequest(window); }
  uint32_t CurrentProcessId() override { return target_.CurrentProcessId(); }
  std::vector<std::string> RunningExecutables() override { return target_.RunningExecutables(); }

 protected:
  Processes& target_;
};

}  // namespace corvane::platform
