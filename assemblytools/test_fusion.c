/* A stand-in for a framework's fusion.dll in the assembly tools' tests: its assembly cache
 * records every uninstall request in calls.txt beside the library (one name a line, UTF-8) and
 * answers by the name's first word: "Gone" not in the cache, "Busy" in use, "Kept" referenced by
 * an installation, "Pending" removed at the next restart, "Bad" not a name; any other name is
 * removed. */
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fusion.h>

#include <wchar.h>

static HMODULE self_module;

static void Record(LPCWSTR name) {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(self_module, path, MAX_PATH - 16);
  if (n == 0) return;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash == 0) return;
  wcscpy(slash + 1, L"calls.txt");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, 0, OPEN_ALWAYS, 0, 0);
  if (file == INVALID_HANDLE_VALUE) return;
  char line[1024];
  int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, line, sizeof line - 2, 0, 0);
  if (bytes > 0) {
    line[bytes - 1] = '\n';
    DWORD written = 0;
    WriteFile(file, line, (DWORD)bytes, &written, 0);
  }
  CloseHandle(file);
}

static int Starts(LPCWSTR name, LPCWSTR word) { return wcsncmp(name, word, wcslen(word)) == 0; }

static HRESULT STDMETHODCALLTYPE QueryInterface(IAssemblyCache* self, REFIID iid, void** out) {
  (void)iid;
  *out = self;
  return S_OK;
}
static ULONG STDMETHODCALLTYPE AddRef(IAssemblyCache* self) {
  (void)self;
  return 2;
}
static ULONG STDMETHODCALLTYPE Release(IAssemblyCache* self) {
  (void)self;
  return 1;
}
static HRESULT STDMETHODCALLTYPE UninstallAssembly(IAssemblyCache* self, DWORD flags, LPCWSTR name,
                                                   LPCFUSION_INSTALL_REFERENCE reference,
                                                   ULONG* disposition) {
  (void)self;
  (void)flags;
  (void)reference;
  Record(name);
  if (Starts(name, L"Bad")) return (HRESULT)0x80131047L;
  ULONG d = IASSEMBLYCACHE_UNINSTALL_DISPOSITION_UNINSTALLED;
  HRESULT hr = S_OK;
  if (Starts(name, L"Gone")) {
    d = IASSEMBLYCACHE_UNINSTALL_DISPOSITION_ALREADY_UNINSTALLED;
    hr = S_FALSE;
  } else if (Starts(name, L"Busy")) {
    d = IASSEMBLYCACHE_UNINSTALL_DISPOSITION_STILL_IN_USE;
    hr = S_FALSE;
  } else if (Starts(name, L"Kept")) {
    d = IASSEMBLYCACHE_UNINSTALL_DISPOSITION_HAS_INSTALL_REFERENCES;
    hr = S_FALSE;
  } else if (Starts(name, L"Pending")) {
    d = IASSEMBLYCACHE_UNINSTALL_DISPOSITION_DELETE_PENDING;
  }
  if (disposition != 0) *disposition = d;
  return hr;
}
static HRESULT STDMETHODCALLTYPE QueryAssemblyInfo(IAssemblyCache* self, DWORD flags,
                                                   LPCWSTR name, ASSEMBLY_INFO* info) {
  (void)self;
  (void)flags;
  (void)name;
  (void)info;
  return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE CreateAssemblyCacheItem(IAssemblyCache* self, DWORD flags,
                                                         PVOID reserved, IAssemblyCacheItem** item,
                                                         LPCWSTR name) {
  (void)self;
  (void)flags;
  (void)reserved;
  (void)item;
  (void)name;
  return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE CreateAssemblyScavenger(IAssemblyCache* self, IUnknown** out) {
  (void)self;
  (void)out;
  return E_NOTIMPL;
}
static HRESULT STDMETHODCALLTYPE InstallAssembly(IAssemblyCache* self, DWORD flags, LPCWSTR path,
                                                 LPCFUSION_INSTALL_REFERENCE reference) {
  (void)self;
  (void)flags;
  (void)path;
  (void)reference;
  return E_NOTIMPL;
}

static IAssemblyCacheVtbl table = {QueryInterface,          AddRef,
                                   Release,                 UninstallAssembly,
                                   QueryAssemblyInfo,       CreateAssemblyCacheItem,
                                   CreateAssemblyScavenger, InstallAssembly};
static IAssemblyCache cache = {&table};

__declspec(dllexport) HRESULT WINAPI CreateAssemblyCache(IAssemblyCache** out, DWORD reserved) {
  (void)reserved;
  *out = &cache;
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self_module = instance;
  return TRUE;
}
