#include "platform/win32/win32_shell.h"

#include "platform/win32/system_library.h"
#include "platform/win32/win32_common.h"
// after windows.h
#include <shlobj.h>
#include <winioctl.h>

namespace corvane::platform::win32 {

namespace {

int Csidl(SpecialFolder folder) {
  switch (folder) {
    case SpecialFolder::kCommonAppData: return CSIDL_COMMON_APPDATA;
    case SpecialFolder::kLocalAppData: return CSIDL_LOCAL_APPDATA;
    case SpecialFolder::kAppData: return CSIDL_APPDATA;
    case SpecialFolder::kProgramFiles: return CSIDL_PROGRAM_FILES;
    case SpecialFolder::kCommonFiles: return CSIDL_PROGRAM_FILES_COMMON;
    case SpecialFolder::kDesktop: return CSIDL_DESKTOPDIRECTORY;
  }
  return -1;
}

// Vista and later: whether the token is elevated. False with *known clear on older systems,
// which do not have the information class.
bool TokenElevated(HANDLE token, bool* known) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  *known = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) != 0;
  return *known && elevation.TokenIsElevated != 0;
}

bool InAdministratorsGroup() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

}  // namespace

Status Win32Shell::GetShellFolder(int csidl, std::string* path) {
  path->clear();
  if (csidl < 0 || csidl > 0xFF) return Fail(ERROR_INVALID_PARAMETER);
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(GetDesktopWindow(), csidl, &items)) || items == nullptr) {
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  // Read wide and given in the 8-bit form the other paths have.
  wchar_t buffer[MAX_PATH + 1] = {};
  BOOL found = SHGetPathFromIDListW(items, buffer);
  ILFree(items);
  if (!found || buffer[0] == L'\0') return Fail(ERROR_PATH_NOT_FOUND);
  *path = NarrowPath(buffer);
  if (path->back() != '\\') path->push_back('\\');
  return Status::kOk;
}

Status Win32Shell::GetSpecialFolder(SpecialFolder folder, std::string* path) {
  path->clear();
  int csidl = Csidl(folder);
  if (csidl < 0) return Fail(ERROR_INVALID_PARAMETER);
  // Read wide and given in a form the 8-bit calls open (a profile folder may be named with
  // letters the code page lacks).
  wchar_t buffer[MAX_PATH + 1] = {};
  HRESULT hr = SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  if (FAILED(hr) || buffer[0] == L'\0') return Fail(ERROR_PATH_NOT_FOUND);
  *path = NarrowPath(buffer);
  if (path->back() != '\\') path->push_back('\\');
  return Status::kOk;
}

bool Win32Shell::IsAdministrator() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT) return false;
#pragma GCC diagnostic pop
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool known = false;
  bool elevated = TokenElevated(token, &known);
  CloseHandle(token);
  if (version.dwMajorVersion >= 6 && known) return elevated;
  return InAdministratorsGroup();
}

Status Win32Shell::DeleteAtRestart(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return FailLast();
  if (!MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return FailLast();
  return Status::kOk;
}

Status Win32Shell::SetCompression(const std::string& path, bool compressed) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FailLast();
  USHORT format = compressed ? COMPRESSION_FORMAT_DEFAULT : COMPRESSION_FORMAT_NONE;
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(h, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                            &returned, nullptr);
  DWORD error = ok ? ERROR_SUCCESS : GetLastError();
  CloseHandle(h);
  if (!ok) return Fail(error == ERROR_SUCCESS ? ERROR_NOT_SUPPORTED : error);
  return Status::kOk;
}

Status Win32Shell::PlaySoundFile(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Status::kNotFound;
  // winmm.dll from the system folder, loaded when a sound is first played.
  using PlayFn = BOOL(WINAPI*)(LPCSTR, UINT);
  constexpr UINT kAsync = 0x0001;  // SND_ASYNC
  auto play = SystemProc<PlayFn>("winmm.dll", "sndPlaySoundA");
  if (!play) return Status::kFailed;
  return play(path.c_str(), kAsync) ? Status::kOk : Status::kFailed;
}

}  // namespace corvane::platform::win32

namespace corvane::platform::win32 {

Status Win32Shell::RestartComputer(std::string* why) {
  why->clear();
  // The shutdown privilege, where the token holds it; without it the request below says no.
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
      privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
  }
  if (ExitWindowsEx(EWX_REBOOT, 0)) return Status::kOk;
  const DWORD error = GetLastError();
  *why = "ExitWindowsEx failed with error " + std::to_string(error);
  return Status::kFailed;
}

}  // namespace corvane::platform::win32
