/* A URL moniker library that lacks the download entries the engine looks for: it has only the
   one entry the installer library imports (which fails when called). The web install case under
   Wine puts it in place of the system's to stand for a system without the downloader. */
#include <windows.h>

__declspec(dllexport) HRESULT WINAPI URLDownloadToCacheFileW(void* caller, LPCWSTR url,
                                                             LPWSTR file, DWORD size,
                                                             DWORD reserved, void* callback) {
  (void)caller;
  (void)url;
  (void)file;
  (void)size;
  (void)reserved;
  (void)callback;
  return E_NOTIMPL;
}
