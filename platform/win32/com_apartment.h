// COM (or OLE) for the calling thread for the life of an object, through ole32 loaded from the
// system folder. A thread that has COM already, in either mode, keeps it as it is.
#pragma once

#include <objbase.h>
#include <windows.h>

namespace corvane::platform::win32 {

class ComApartment {
 public:
  // ole: OleInitialize (what self-registering libraries may need), else CoInitializeEx with a
  // single-threaded apartment.
  explicit ComApartment(bool ole = false);
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool ole_ = false;
  bool owned_ = false;
};

// ole32's CoCreateInstance and CoTaskMemFree, or nullptr where they cannot be loaded.
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
CoCreateInstanceFn CoCreateInstanceProc();
// Frees a string the system allocated with the task allocator (null is allowed).
void FreeTaskMemory(void* p);

}  // namespace corvane::platform::win32
