/* An assembly tool of the engine: removes an assembly from the assembly cache of one version of
 * the framework.
 *
 *   kgacy.exe /u NAME,Version=VERSION[,Culture=...,PublicKeyToken=...]
 *
 * The framework version is the first supportedRuntime of the program's configuration file (its
 * own path followed by ".config"), else the version the program was built for (KGAC_RUNTIME).
 * The cache is reached through that version's fusion.dll in the framework's install root (the
 * value InstallRoot of HKLM\SOFTWARE\Microsoft\.NETFramework, else Microsoft.NET\Framework, or
 * Framework64 for a 64-bit tool, below the Windows folder), loaded by its full path and asked
 * through its own uninstall interface.
 *
 * Exit codes: 0 removed (or removed at the next restart); 1 this cache does not hold it; 2 the
 * cache keeps it (in use, referenced by an installation, or refused); 3 the cache of that version
 * is not there; 4 no assembly named. */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fusion.h>

#include <wchar.h>

#ifndef KGAC_RUNTIME
#define KGAC_RUNTIME L"v4.0.30319"
#endif

enum { kRemoved = 0, kNotInCache = 1, kKept = 2, kNoCache = 3, kNoAssembly = 4 };

/* FUSION_E_INVALID_NAME: the text is not an assembly name. */
#define KGAC_INVALID_NAME ((HRESULT)0x80131047L)

typedef HRESULT(WINAPI* CreateAssemblyCacheFn)(IAssemblyCache**, DWORD);

static int IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

/* The assembly name after "/u" on the command line (quotes around it removed), or 0. */
static wchar_t* AssemblyOfCommandLine(wchar_t* line) {
  wchar_t* p = line;
  if (*p == L'"') {
    p = wcschr(p + 1, L'"');
    if (p == 0) return 0;
    ++p;
  } else {
    while (*p != 0 && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  if ((p[0] != L'/' && p[0] != L'-') || (p[1] != L'u' && p[1] != L'U') || !IsBlank(p[2])) return 0;
  p += 3;
  while (IsBlank(*p)) ++p;
  size_t n = wcslen(p);
  while (n > 0 && IsBlank(p[n - 1])) p[--n] = 0;
  if (n >= 2 && p[0] == L'"' && p[n - 1] == L'"') {
    p[n - 1] = 0;
    ++p;
  }
  return *p != 0 ? p : 0;
}

/* The first supportedRuntime version of the configuration file beside the program, when it is a
 * version ("v" followed by digits and dots); the built-in one otherwise. */
static void RuntimeVersion(wchar_t* version, size_t size) {
  wcsncpy(version, KGAC_RUNTIME, size - 1);
  version[size - 1] = 0;
  wchar_t path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameW(0, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wcscat(path, L".config");
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
  if (file == INVALID_HANDLE_VALUE) return;
  char text[8192];
  DWORD read = 0;
  BOOL ok = ReadFile(file, text, sizeof text - 1, &read, 0);
  CloseHandle(file);
  if (!ok) return;
  text[read] = 0;
  const char* at = strstr(text, "supportedRuntime");
  if (at == 0 || (at = strstr(at, "version")) == 0 || (at = strchr(at, '=')) == 0) return;
  ++at;
  while (*at == ' ') ++at;
  const char quote = *at;
  if (quote != '"' && quote != '\'') return;
  ++at;
  const char* end = strchr(at, quote);
  if (end == 0 || end - at < 2 || (size_t)(end - at) >= size || *at != 'v') return;
  for (const char* c = at + 1; c < end; ++c) {
    if ((*c < '0' || *c > '9') && *c != '.') return;
  }
  for (size_t i = 0; at + i < end; ++i) version[i] = (wchar_t)at[i];
  version[end - at] = 0;
}

/* The framework's install root with a trailing backslash. */
static void InstallRoot(wchar_t* root, DWORD size) {
  root[0] = 0;
  HKEY key = 0;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\.NETFramework", 0, KEY_QUERY_VALUE,
                    &key) == ERROR_SUCCESS) {
    DWORD type = 0, bytes = (size - 2) * sizeof(wchar_t);
    if (RegQueryValueExW(key, L"InstallRoot", 0, &type, (BYTE*)root, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      root[0] = 0;
    } else {
      root[bytes / sizeof(wchar_t)] = 0;
    }
    RegCloseKey(key);
  }
  if (root[0] == 0) {
    UINT n = GetWindowsDirectoryW(root, size - 32);
    if (n == 0 || n >= size - 32) {
      root[0] = 0;
      return;
    }
    wcscat(root, sizeof(void*) == 8 ? L"\\Microsoft.NET\\Framework64" : L"\\Microsoft.NET\\Framework");
  }
  size_t n = wcslen(root);
  if (n > 0 && root[n - 1] != L'\\' && n + 1 < size) wcscat(root, L"\\");
}

int main(void) {
  wchar_t* name = AssemblyOfCommandLine(GetCommandLineW());
  if (name == 0) return kNoAssembly;

  wchar_t version[64];
  RuntimeVersion(version, sizeof version / sizeof version[0]);
  wchar_t library[MAX_PATH * 2];
  InstallRoot(library, MAX_PATH);
  if (library[0] == 0 || wcslen(library) + wcslen(version) + 16 >= MAX_PATH) return kNoCache;
  wcscat(library, version);
  wcscat(library, L"\\fusion.dll");
  if (GetFileAttributesW(library) == INVALID_FILE_ATTRIBUTES) return kNoCache;
  /* By its full path; its own imports come from its folder first. */
  HMODULE fusion = LoadLibraryExW(library, 0, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (fusion == 0) return kNoCache;
  CreateAssemblyCacheFn create =
      (CreateAssemblyCacheFn)(void*)GetProcAddress(fusion, "CreateAssemblyCache");
  IAssemblyCache* cache = 0;
  if (create == 0 || FAILED(create(&cache, 0)) || cache == 0) return kNoCache;

  ULONG disposition = 0;
  HRESULT hr = cache->lpVtbl->UninstallAssembly(cache, 0, name, 0, &disposition);
  cache->lpVtbl->Release(cache);
  if (FAILED(hr)) {
    if (hr == KGAC_INVALID_NAME || hr == E_INVALIDARG) return kNoAssembly;
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return kNotInCache;
    return kKept;
  }
  switch (disposition) {
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED:
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_DELETE_PENDING:
      return kRemoved;
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_ALREADY_UNINSTALLED:
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_REFERENCE_NOT_FOUND:
      return kNotInCache;
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE:
    case IASSEMBLYCACHE_UNINSTALL_DISPOSITION_HAS_INSTALL_REFERENCES:
      return kKept;
    default:
      return hr == S_OK ? kRemoved : kNotInCache;
  }
}
