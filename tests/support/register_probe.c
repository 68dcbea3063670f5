/* A self-registering library for the registration tests under Wine. DllRegisterServer writes the
 * value "Library" (the library's own path) under HKEY_CURRENT_USER\Software\CorvaneTest\
 * Registration\NAME, NAME being the library's file name; DllUnregisterServer deletes that key.
 * A copy whose file name contains "fail" refuses both with E_FAIL and writes nothing. */
#include <string.h>
#include <windows.h>

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}

/* The library's path, and the key named after its file name. */
static int Names(char* path, char* key) {
  DWORD n = GetModuleFileNameA(g_self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 0;
  const char* name = strrchr(path, '\\');
  name = name ? name + 1 : path;
  strcpy(key, "Software\\CorvaneTest\\Registration\\");
  strncat(key, name, MAX_PATH);
  return strstr(name, "fail") == NULL;
}

__declspec(dllexport) HRESULT __stdcall DllRegisterServer(void) {
  char path[MAX_PATH], key[2 * MAX_PATH];
  if (!Names(path, key)) return E_FAIL;
  HKEY h;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != 0) {
    return E_FAIL;
  }
  LONG r = RegSetValueExA(h, "Library", 0, REG_SZ, (const BYTE*)path, (DWORD)strlen(path) + 1);
  RegCloseKey(h);
  return r == 0 ? S_OK : E_FAIL;
}

__declspec(dllexport) HRESULT __stdcall DllUnregisterServer(void) {
  char path[MAX_PATH], key[2 * MAX_PATH];
  if (!Names(path, key)) return E_FAIL;
  return RegDeleteKeyA(HKEY_CURRENT_USER, key) == 0 ? S_OK : E_FAIL;
}
