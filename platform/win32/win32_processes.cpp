#include "platform/win32/win32_processes.h"

#include "platform/win32/win32_common.h"
// After windows.h (through win32_common.h).
#include <shellapi.h>
#include <tlhelp32.h>

#include "platform/text.h"
#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {

namespace {

// Owns a kernel handle; closes it when it goes.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h = nullptr) : h_(h) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  void reset(HANDLE h = nullptr) {
    if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = h;
  }
  HANDLE get() const { return h_; }
  HANDLE* out() {
    reset();
    return &h_;
  }
  HANDLE release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

class Win32Process : public Process {
 public:
  explicit Win32Process(HANDLE h) : h_(h) {}
  bool Wait(uint32_t timeout_ms) override {
    return WaitForSingleObject(h_.get(), timeout_ms) != WAIT_TIMEOUT;
  }
  bool ExitCode(uint32_t* code) override {
    DWORD c = 0;
    if (!GetExitCodeProcess(h_.get(), &c)) return false;
    *code = c;
    return true;
  }

 private:
  ScopedHandle h_;
};

// Takes the process handle of a start and closes its thread handle.
void Adopt(PROCESS_INFORMATION& pi, std::unique_ptr<Process>* process) {
  if (pi.hThread != nullptr) CloseHandle(pi.hThread);
  *process = std::make_unique<Win32Process>(pi.hProcess);
}

// The environment block of a start: entries joined by single zero bytes, ended by two; nullptr
// (inherit) when the options say so.
std::string NarrowBlock(const StartOptions& o) {
  std::string block;
  for (const std::string& e : o.environment) {
    block += e;
    block += '\0';
  }
  if (block.empty()) block += '\0';
  block += '\0';
  return block;
}

std::wstring Wide(const std::string& s) {
  std::u16string u = Utf16From1252(s);
  return std::wstring(u.begin(), u.end());
}

// Overwrites a wide copy of a secret before its memory goes.
void WipeWide(std::wstring* s) {
  volatile wchar_t* p = s->data();
  for (size_t i = 0; i < s->size(); ++i) p[i] = 0;
}

STARTUPINFOW WideStartup(int show) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(show);
  return si;
}

// The last sub-authority of a token's integrity label; 0 when it cannot be read.
uint32_t TokenIntegrity(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0 || size > 4096) return 0;
  std::string buffer(size, '\0');
  if (!GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) return 0;
  auto* label = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data());
  if (label->Label.Sid == nullptr || !IsValidSid(label->Label.Sid)) return 0;
  UCHAR count = *GetSidSubAuthorityCount(label->Label.Sid);
  if (count == 0) return 0;
  return *GetSidSubAuthority(label->Label.Sid, count - 1);
}

uint32_t ProcessIntegrity(HANDLE process) {
  ScopedHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.out())) return 0;
  return TokenIntegrity(token.get());
}

DWORD ShellProcessId() {
  HWND shell = FindWindowA("Progman", nullptr);
  if (shell == nullptr) return 0;
  DWORD pid = 0;
  GetWindowThreadProcessId(shell, &pid);
  return pid;
}

const char* const kRemovedPrivileges[] = {
    "SeCreateGlobalPrivilege",        "SeBackupPrivilege",
    "SeCreatePagefilePrivilege",      "SeCreateSymbolicLinkPrivilege",
    "SeDebugPrivilege",               "SeImpersonatePrivilege",
    "SeIncreaseBasePriorityPrivilege", "SeIncreaseQuotaPrivilege",
    "SeLoadDriverPrivilege",          "SeManageVolumePrivilege",
    "SeProfileSingleProcessPrivilege", "SeRemoteShutdownPrivilege",
    "SeRestorePrivilege",             "SeSecurityPrivilege",
    "SeSystemEnvironmentPrivilege",   "SeSystemProfilePrivilege",
    "SeSystemtimePrivilege",          "SeTakeOwnershipPrivilege",
};

// Marks the powerful privileges of a token as removed (a privilege the system cannot name is
// skipped).
bool RemovePrivileges(HANDLE token) {
  const size_t n = sizeof kRemovedPrivileges / sizeof kRemovedPrivileges[0];
  std::string buffer(sizeof(TOKEN_PRIVILEGES) + n * sizeof(LUID_AND_ATTRIBUTES), '\0');
  auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
  DWORD count = 0;
  for (const char* name : kRemovedPrivileges) {
    LUID luid;
    if (!LookupPrivilegeValueA(nullptr, name, &luid)) continue;
    privileges->Privileges[count].Luid = luid;
    privileges->Privileges[count].Attributes = SE_PRIVILEGE_REMOVED;
    ++count;
  }
  privileges->PrivilegeCount = count;
  if (count == 0) return true;
  if (!AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr)) return false;
  return GetLastError() == ERROR_SUCCESS;
}

}  // namespace

Status Win32Processes::ShellStart(const std::string& verb, const std::string& file,
                                  const std::string& arguments, const std::string& folder,
                                  int show, std::unique_ptr<Process>* process) {
  process->reset();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;  // 60 bytes in the 32-bit engine
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.hwnd = nullptr;
  info.lpVerb = verb.empty() ? nullptr : verb.c_str();
  info.lpFile = file.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = show;
  if (!ShellExecuteExA(&info)) return FailLast();
  if (info.hProcess != nullptr) *process = std::make_unique<Win32Process>(info.hProcess);
  return Status::kOk;
}

Status Win32Processes::PlainStart(const std::string& command_line, const StartOptions& options,
                                     std::unique_ptr<Process>* process) {
  process->reset();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(options.show);
  PROCESS_INFORMATION pi{};
  std::string line = command_line;  // CreateProcess may write into the line
  std::string block = options.inherit_environment ? std::string() : NarrowBlock(options);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                      options.inherit_environment ? nullptr : block.data(), nullptr, &si, &pi)) {
    return FailLast();
  }
  Adopt(pi, process);
  return Status::kOk;
}

Status Win32Processes::StartWithLogon(const std::string& user, const std::string& domain,
                                      const std::string& password,
                                      const std::string& command_line,
                                      const StartOptions& options,
                                      std::unique_ptr<Process>* process) {
  process->reset();
  using Fn = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                           LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);
  auto logon = SystemProc<Fn>("advapi32.dll", "CreateProcessWithLogonW");
  if (logon == nullptr) {
    Fail(ERROR_PROC_NOT_FOUND);
    return Status::kNotFound;
  }
  std::wstring wuser = Wide(user), wdomain = Wide(domain), wpassword = Wide(password);
  std::wstring wline = Wide(command_line);
  std::string block = options.inherit_environment ? std::string() : NarrowBlock(options);
  STARTUPINFOW si = WideStartup(options.show);
  PROCESS_INFORMATION pi{};
  BOOL ok = logon(wuser.c_str(), wdomain.c_str(), wpassword.c_str(), LOGON_WITH_PROFILE, nullptr,
                  wline.data(), CREATE_NEW_CONSOLE,
                  options.inherit_environment ? nullptr : block.data(), nullptr, &si, &pi);
  DWORD error = GetLastError();
  WipeWide(&wpassword);
  if (!ok) {
    Fail(error);
    return Status::kFailed;
  }
  Adopt(pi, process);
  return Status::kOk;
}

uint32_t Win32Processes::OwnIntegrityLevel() { return ProcessIntegrity(GetCurrentProcess()); }

uint32_t Win32Processes::ShellIntegrityLevel() {
  DWORD pid = ShellProcessId();
  if (pid == 0) return 0;
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return 0;
  return ProcessIntegrity(process.get());
}

bool Win32Processes::EnableDebugPrivilege() {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out())) {
    return false;
  }
  TOKEN_PRIVILEGES tp{};
  if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &tp.Privileges[0].Luid)) return false;
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!AdjustTokenPrivileges(token.get(), FALSE, &tp, 0, nullptr, nullptr)) return false;
  return GetLastError() == ERROR_SUCCESS;
}

TokenStart Win32Processes::StartWithShellToken(const std::string& command_line,
                                               const StartOptions& options,
                                               std::unique_ptr<Process>* process) {
  process->reset();
  using DuplicateFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSECURITY_ATTRIBUTES,
                                    SECURITY_IMPERSONATION_LEVEL, TOKEN_TYPE, PHANDLE);
  using TokenFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                LPSTARTUPINFOW, LPPROCESS_INFORMATION);
  auto start = SystemProc<TokenFn>("advapi32.dll", "CreateProcessWithTokenW");
  auto duplicate = SystemProc<DuplicateFn>("advapi32.dll", "DuplicateTokenEx");
  if (start == nullptr || duplicate == nullptr) return TokenStart::kUnavailable;
  ScopedHandle shell(OpenProcess(PROCESS_ALL_ACCESS, FALSE, ShellProcessId()));
  if (!shell) return TokenStart::kNoShellProcess;
  ScopedHandle shell_token;
  if (!OpenProcessToken(shell.get(), 0x2001E, shell_token.out())) return TokenStart::kNoShellToken;
  ScopedHandle token;
  if (!duplicate(shell_token.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                 TokenPrimary, token.out())) {
    return TokenStart::kNotDuplicated;
  }
  if (!RemovePrivileges(token.get())) return TokenStart::kNotReduced;
  std::wstring wline = Wide(command_line);
  std::string block = options.inherit_environment ? std::string() : NarrowBlock(options);
  STARTUPINFOW si = WideStartup(options.show);
  PROCESS_INFORMATION pi{};
  if (!start(token.get(), 0, nullptr, wline.data(), CREATE_NEW_CONSOLE,
             options.inherit_environment ? nullptr : block.data(), nullptr, &si, &pi)) {
    FailLast();
    return TokenStart::kFailed;
  }
  Adopt(pi, process);
  return TokenStart::kStarted;
}

namespace {

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM context) {
  auto* out = reinterpret_cast<std::vector<TopWindow>*>(context);
  TopWindow w;
  w.handle = reinterpret_cast<uintptr_t>(hwnd);
  char text[1024];
  int n = GetWindowTextA(hwnd, text, sizeof text);
  w.title.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
  n = GetClassNameA(hwnd, text, sizeof text);
  w.class_name.assign(text, n > 0 ? static_cast<size_t>(n) : 0);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  w.process_id = pid;
  out->push_back(std::move(w));
  return TRUE;
}

}  // namespace

std::vector<TopWindow> Win32Processes::TopLevelWindows() {
  std::vector<TopWindow> out;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&out));
  return out;
}

bool Win32Processes::PostCloseRequest(uint64_t window) {
  HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
  if (!IsWindow(hwnd)) return false;
  PostMessageA(hwnd, WM_CANCELMODE, 0, 0);
  return PostMessageA(hwnd, WM_CLOSE, 0, 0) != 0;
}

uint32_t Win32Processes::CurrentProcessId() { return GetCurrentProcessId(); }

std::vector<std::string> Win32Processes::RunningExecutables() {
  std::vector<std::string> out;
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return out;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    out.emplace_back(entry.szExeFile);
  }
  return out;
}

}  // namespace corvane::platform::win32
