// Libraries of Windows that the engine loads at run time, always from the system folder.
//
// A setup is often started from a download folder, where anyone's files lie beside it. The
// engine's import table names only libraries that Windows always takes from the system folder;
// every other library (the version resource calls, the common controls, the installer) is loaded
// through this file, so that a file of the same name beside the engine is never loaded.
#pragma once

#include <windows.h>

namespace corvane::platform::win32 {

// Keeps the setup's folder and the current folder out of every later library search of the
// process: SetDllDirectoryA(""), and SetDefaultDllDirectories with the system folder only where
// the system has it. Call first thing in the program.
void RestrictLibrarySearch();

// A library of the system folder by its file name ("version.dll"), loaded by its full path
// there; nullptr when the system has no such library. The library stays loaded for the life of
// the process.
HMODULE LoadSystemLibrary(const char* name);

// An export of a system library, or nullptr.
template <typename Fn>
Fn SystemProc(const char* library, const char* name) {
  HMODULE module = LoadSystemLibrary(library);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace corvane::platform::win32
