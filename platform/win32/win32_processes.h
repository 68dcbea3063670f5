// Processes and top-level windows through the Windows API: ShellExecuteEx, CreateProcess, the
// logon and token starts of advapi32 (looked up at run time), EnumWindows, the process snapshot.
#pragma once

#include "platform/processes.h"

namespace corvane::platform::win32 {

class Win32Processes : public Processes {
 public:
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
  uint32_t CurrentProcessId() override;
  std::vector<std::string> RunningExecutables() override;
};

}  // namespace corvane::platform::win32
