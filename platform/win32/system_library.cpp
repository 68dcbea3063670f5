#include "platform/win32/system_library.h"

#include <string>

namespace corvane::platform::win32 {
namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif
#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif

using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

// The loader of kernel32, which every process has loaded already.
HMODULE Kernel32() { return GetModuleHandleA("kernel32.dll"); }

// True when LoadLibraryExA understands LOAD_LIBRARY_SEARCH_SYSTEM32: the same update brought
// SetDefaultDllDirectories.
bool CanSearchSystemFolderOnly() {
  static const bool can = GetProcAddress(Kernel32(), "SetDefaultDllDirectories") != nullptr;
  return can;
}

}  // namespace

void RestrictLibrarySearch() {
  SetDllDirectoryA("");
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(Kernel32(), "SetDefaultDllDirectories")));
  if (set_default != nullptr) set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // The theme library is loaded by the system's own window code by its bare name, as soon as the
  // first window appears; Wine's loader then takes a copy beside the program even after the
  // search was restricted. Loaded from the system folder first, it is the one every later
  // request by name gets.
  LoadSystemLibrary("uxtheme.dll");
}

HMODULE LoadSystemLibrary(const char* name) {
  char folder[MAX_PATH];
  UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  // By full path: a library of the same name that is loaded already (from wherever) is not
  // taken for it.
  const std::string path = std::string(folder, n) + "\\" + name;
  if (CanSearchSystemFolderOnly()) {
    // The library's own imports come from its folder and the system folder only.
    return LoadLibraryExA(path.c_str(), nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // The altered search order looks for the library's own imports in its folder (the system
  // folder) first, never in the engine's folder.
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace corvane::platform::win32
