#include "platform/win32/win32_system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/win32/system_library.h"
#include "platform/win32/vm_probe.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {
namespace {

// Calls fill(buffer, size) -> length until the text fits; returns the text without its null.
template <typename Fill>
std::string GrowingBuffer(Fill fill, size_t initial = MAX_PATH + 1) {
  std::string buf(initial, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.assign(static_cast<size_t>(n) + 1, '\0');
  }
  return std::string();
}

SYSTEMTIME ToSystemTime(const LocalTime& t) {
  SYSTEMTIME st{};
  st.wYear = t.year;
  st.wMonth = t.month;
  st.wDayOfWeek = t.day_of_week;
  st.wDay = t.day;
  st.wHour = t.hour;
  st.wMinute = t.minute;
  st.wSecond = t.second;
  st.wMilliseconds = t.milliseconds;
  return st;
}

std::string LocaleText(LCTYPE type) {
  char buf[128];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof(buf));
  return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string();
}

std::string Narrow(const wchar_t* w) {
  int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(static_cast<size_t>(n - 1));
  return s;
}

}  // namespace

uint32_t Win32SystemInfo::TickCount() { return GetTickCount(); }

LocalTime Win32SystemInfo::Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day_of_week = st.wDayOfWeek;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.milliseconds = st.wMilliseconds;
  return t;
}

// A wide text that fill(buffer, size) -> length writes, grown until it fits.
template <typename Fill>
std::wstring GrowingWideBuffer(Fill fill) {
  std::wstring buf(MAX_PATH + 1, L'\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = fill(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.assign(std::max<size_t>(n + 1, buf.size() * 2), L'\0');
  }
  return std::wstring();
}

// Creates the missing folders of a wide path (one that may have no 8-bit form yet).
void CreateWideFolders(const std::wstring& folder) {
  for (size_t at = folder.find_first_of(L"\\/", 3); at != std::wstring::npos;
       at = folder.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(folder.c_str(), nullptr);
}

std::string Win32SystemInfo::TempFolder() {
  // Read wide: the 8-bit call would give '?' for letters (a user name's) that the code page
  // lacks, and such a folder is reached by its short name.
  std::wstring wide = GrowingWideBuffer([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
  if (wide.empty()) return std::string();
  std::string narrow = NarrowPath(wide);
  if (narrow.find('?') != std::string::npos) {
    // A folder that is not there yet has no short name: it is made first (the engine makes it
    // all the same).
    CreateWideFolders(wide);
    narrow = NarrowPath(wide);
  }
  return narrow;
}

std::string Win32SystemInfo::WindowsFolder() {
  return GrowingBuffer([](char* b, DWORD n) { return GetWindowsDirectoryA(b, n); });
}

std::string Win32SystemInfo::SystemFolder() {
  return GrowingBuffer([](char* b, DWORD n) { return GetSystemDirectoryA(b, n); });
}

std::string Win32SystemInfo::ModulePath() {
  // GetModuleFileNameW returns the buffer size when it truncates, so grow until it is smaller.
  std::wstring wide =
      GrowingWideBuffer([](wchar_t* b, DWORD n) { return GetModuleFileNameW(nullptr, b, n); });
  return wide.empty() ? std::string() : NarrowPath(wide);
}

OsVersion Win32SystemInfo::Version() {
  OsVersion v;
  // RtlGetVersion reports the real version; GetVersionExA is capped by the manifest.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  auto rtl = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                         reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                   : nullptr;
  OSVERSIONINFOEXW w{};
  w.dwOSVersionInfoSize = sizeof(w);
  if (rtl && rtl(&w) == 0) {
    v.major = w.dwMajorVersion;
    v.minor = w.dwMinorVersion;
    v.build = w.dwBuildNumber;
    v.platform_id = w.dwPlatformId;
    v.product_type = w.wProductType;
    v.service_pack_major = w.wServicePackMajor;
    v.service_pack_minor = w.wServicePackMinor;
    v.service_pack = Narrow(w.szCSDVersion);
    return v;
  }
  OSVERSIONINFOEXA a{};
  a.dwOSVersionInfoSize = sizeof(a);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&a))) {
#pragma GCC diagnostic pop
    v.major = a.dwMajorVersion;
    v.minor = a.dwMinorVersion;
    v.build = a.dwBuildNumber;
    v.platform_id = a.dwPlatformId;
    v.product_type = a.wProductType;
    v.service_pack_major = a.wServicePackMajor;
    v.service_pack_minor = a.wServicePackMinor;
    v.service_pack = a.szCSDVersion;
  }
  return v;
}

bool Win32SystemInfo::Is64BitSystem() {
  if (Is64BitProcess()) return true;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

bool Win32SystemInfo::Is64BitProcess() { return sizeof(void*) == 8; }

bool Win32SystemInfo::RestrictToFirstProcessor() {
  // Looked up at run time: systems without it run the engine as it is.
  using SetAffinity = BOOL(WINAPI*)(HANDLE, DWORD_PTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto set = kernel ? reinterpret_cast<SetAffinity>(
                          reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessAffinityMask")))
                    : nullptr;
  return set && set(GetCurrentProcess(), 1) != 0;
}

std::string Win32SystemInfo::ShortDateFormat() { return LocaleText(LOCALE_SSHORTDATE); }

std::string Win32SystemInfo::TimeFormat() { return LocaleText(LOCALE_STIMEFORMAT); }

namespace {
// A hexadecimal locale answer ("0807") as a number; 0 when it is not one.
uint32_t HexLocaleNumber(const std::string& text) {
  if (text.empty() || text.size() > 8) return 0;
  uint32_t n = 0;
  for (char c : text) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return 0;
    n = n * 16 + static_cast<uint32_t>(d);
  }
  return n;
}
}  // namespace

uint32_t Win32SystemInfo::UserLocaleLanguage() {
  return HexLocaleNumber(LocaleText(LOCALE_ILANGUAGE));
}

uint32_t Win32SystemInfo::UserLocaleDefaultLanguage() {
  return HexLocaleNumber(LocaleText(LOCALE_IDEFAULTLANGUAGE));
}

std::string Win32SystemInfo::LocaleEnglishLanguage(uint32_t locale) {
  char buf[128];
  int n = GetLocaleInfoA(static_cast<LCID>(locale), LOCALE_SENGLANGUAGE, buf, sizeof(buf));
  return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string();
}

std::string Win32SystemInfo::FormatDate(const LocalTime& t, const std::string& picture) {
  SYSTEMTIME st = ToSystemTime(t);
  const char* pic = picture.c_str();
  return GrowingBuffer(
      [&](char* b, DWORD n) {
        int r = GetDateFormatA(LOCALE_USER_DEFAULT, 0, &st, pic, b, static_cast<int>(n));
        if (r == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
          return static_cast<DWORD>(GetDateFormatA(LOCALE_USER_DEFAULT, 0, &st, pic, nullptr, 0));
        }
        return r > 0 ? static_cast<DWORD>(r - 1) : 0;
      },
      128);
}

std::string Win32SystemInfo::FormatTime(const LocalTime& t, const std::string& picture) {
  SYSTEMTIME st = ToSystemTime(t);
  const char* pic = picture.c_str();
  return GrowingBuffer(
      [&](char* b, DWORD n) {
        int r = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, pic, b, static_cast<int>(n));
        if (r == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
          return static_cast<DWORD>(GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, pic, nullptr, 0));
        }
        return r > 0 ? static_cast<DWORD>(r - 1) : 0;
      },
      128);
}

Status Win32SystemInfo::GetEnvironment(const std::string& name, std::string* value) {
  value->clear();
  std::string buf(256, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableA(name.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      DWORD e = GetLastError();
      if (e == ERROR_SUCCESS) return Status::kOk;  // defined and empty
      return Fail(e);
    }
    if (n < buf.size()) {
      value->assign(buf.data(), n);
      return Status::kOk;
    }
    buf.assign(n + 1, '\0');
  }
  return Fail(ERROR_MORE_DATA);
}

Status Win32SystemInfo::SetEnvironment(const std::string& name, const std::string& value,
                                       bool remove) {
  if (!SetEnvironmentVariableA(name.c_str(), remove ? nullptr : value.c_str())) {
    DWORD e = GetLastError();
    // Removing a variable that is not there leaves the environment as wanted.
    if (remove && e == ERROR_ENVVAR_NOT_FOUND) return Status::kOk;
    return Fail(e);
  }
  return Status::kOk;
}

std::string Win32SystemInfo::ExpandEnvironment(const std::string& text) {
  std::string buf(text.size() + 256, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = ExpandEnvironmentStringsA(text.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return text;
    if (n <= buf.size()) {
      buf.resize(n - 1);  // n counts the terminating null
      return buf;
    }
    buf.assign(n, '\0');
  }
  return text;
}

std::vector<std::pair<std::string, std::string>> Win32SystemInfo::EnvironmentBlock() {
  std::vector<std::pair<std::string, std::string>> out;
  char* block = GetEnvironmentStringsA();
  if (!block) return out;
  for (const char* p = block; *p; p += strlen(p) + 1) {
    std::string entry(p);
    // Names may start with '=' (the per-drive current folders): look for the separator after it.
    size_t eq = entry.find('=', 1);
    if (eq == std::string::npos) {
      out.emplace_back(entry, std::string());
    } else {
      out.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
    }
  }
  FreeEnvironmentStringsA(block);
  return out;
}

std::string Win32SystemInfo::ComputerName() {
  char buf[MAX_COMPUTERNAME_LENGTH + 2];
  DWORD n = sizeof(buf);
  if (!GetComputerNameA(buf, &n)) return std::string();
  return std::string(buf, n);
}

std::string Win32SystemInfo::UserName() {
  char buf[257];
  DWORD n = sizeof(buf);
  if (!GetUserNameA(buf, &n) || n == 0) return std::string();
  return std::string(buf, n - 1);  // n counts the terminating null
}

uint32_t Win32SystemInfo::LastError() { return ThreadLastError(); }

std::string Win32SystemInfo::NewGuid() {
  using CoCreateGuidFn = HRESULT(WINAPI*)(GUID*);
  static const auto create = SystemProc<CoCreateGuidFn>("ole32.dll", "CoCreateGuid");
  GUID g;
  if (create == nullptr || create(&g) != S_OK) return "";
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

std::string Win32SystemInfo::ErrorMessage(uint32_t code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string out = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  return out;
}

}  // namespace corvane::platform::win32

namespace corvane::platform::win32 {
namespace {

// The thread token, or the process token when the thread has none.
HANDLE QueryToken() {
  HANDLE token = nullptr;
  if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return token;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return token;
  return nullptr;
}

bool IsBuiltinGroup(PSID sid, DWORD rid) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID group = nullptr;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0, 0, 0,
                                &group)) {
    return false;
  }
  bool equal = EqualSid(sid, group) != FALSE;
  FreeSid(group);
  return equal;
}

void ReadGroups(MachineFacts* f) {
  HANDLE token = QueryToken();
  if (token == nullptr) return;
  // Membership counts whatever the group's attributes (a group held for denial only too).
  std::vector<unsigned char> buffer(102400);
  DWORD size = 0;
  if (GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()),
                          &size)) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
      PSID sid = groups->Groups[i].Sid;
      f->in_administrators |= IsBuiltinGroup(sid, DOMAIN_ALIAS_RID_ADMINS);
      f->in_users |= IsBuiltinGroup(sid, DOMAIN_ALIAS_RID_USERS);
      f->in_guests |= IsBuiltinGroup(sid, DOMAIN_ALIAS_RID_GUESTS);
      f->in_power_users |= IsBuiltinGroup(sid, DOMAIN_ALIAS_RID_POWER_USERS);
    }
  }
  CloseHandle(token);
}

void ReadProcessAccount(MachineFacts* f) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  if (GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size)) {
    f->elevated = elevation.TokenIsElevated != 0;
  }
  std::vector<unsigned char> user(1024);
  if (GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
    PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    char name[257] = {}, domain[257] = {};
    DWORD name_size = sizeof(name), domain_size = sizeof(domain);
    SID_NAME_USE use;
    if (LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
      f->account_name = name;
      f->account_domain = domain;
    }
  }
  CloseHandle(token);
}

// The first translation of the system's winver.exe and its language name.
void ReadLanguage(const std::string& system_folder, MachineFacts* f) {
  using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
  auto size_fn = SystemProc<SizeFn>("version.dll", "GetFileVersionInfoSizeA");
  auto info_fn = SystemProc<InfoFn>("version.dll", "GetFileVersionInfoA");
  auto query_fn = SystemProc<QueryFn>("version.dll", "VerQueryValueA");
  if (!size_fn || !info_fn || !query_fn) return;
  const std::string path = system_folder + "\\winver.exe";
  DWORD handle = 0;
  DWORD size = size_fn(path.c_str(), &handle);
  if (size == 0) return;
  std::vector<unsigned char> block(size);
  if (!info_fn(path.c_str(), 0, size, block.data())) return;
  void* data = nullptr;
  UINT length = 0;
  if (!query_fn(block.data(), "\\VarFileInfo\\Translation", &data, &length) || length < 4) return;
  DWORD translation = 0;
  std::memcpy(&translation, data, 4);
  f->language_id = static_cast<uint16_t>(translation & 0xFFFF);
  char name[256] = {};
  if (VerLanguageNameA(f->language_id, name, sizeof(name)) > 0) f->language_name = name;
}

}  // namespace

std::string Win32SystemInfo::SystemWow64Folder() {
  using Wow64Fn = UINT(WINAPI*)(LPSTR, UINT);
  auto fn = SystemProc<Wow64Fn>("kernel32.dll", "GetSystemWow64DirectoryA");
  if (fn == nullptr) return std::string();
  return GrowingBuffer([fn](char* b, DWORD n) { return static_cast<DWORD>(fn(b, n)); });
}

MachineFacts Win32SystemInfo::Facts() {
  MachineFacts f;
  ReadGroups(&f);
  ReadProcessAccount(&f);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  if (GlobalMemoryStatusEx(&memory)) f.physical_memory = memory.ullTotalPhys;
  f.screen_width = GetSystemMetrics(SM_CXSCREEN);
  f.screen_height = GetSystemMetrics(SM_CYSCREEN);
  f.tablet_pc = GetSystemMetrics(86) != 0;     // SM_TABLETPC
  f.media_center = GetSystemMetrics(87) != 0;  // SM_MEDIACENTER
  if (HDC dc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr)) {
    f.bits_per_pixel = GetDeviceCaps(dc, BITSPIXEL);
    f.dpi = GetDeviceCaps(dc, LOGPIXELSX);
    DeleteDC(dc);
  }
  using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
  if (auto native = SystemProc<NativeInfoFn>("kernel32.dll", "GetNativeSystemInfo")) {
    SYSTEM_INFO info{};
    native(&info);
    f.native_architecture = info.wProcessorArchitecture;
  }
  f.vmware = ProbeVmwareBackdoor();
  f.virtual_pc = ProbeVirtualPcInstruction();
  ReadLanguage(SystemFolder(), &f);
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    if (GetDriveTypeA(root) == DRIVE_CDROM) {
      f.first_cdrom = letter;
      break;
    }
  }
  return f;
}

}  // namespace corvane::platform::win32
