#include "platform/win32/com_apartment.h"

#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {

namespace {
using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);
using OleInitializeFn = HRESULT(WINAPI*)(LPVOID);
using UninitializeFn = void(WINAPI*)();
}  // namespace

ComApartment::ComApartment(bool ole) : ole_(ole) {
  HRESULT hr = E_FAIL;
  if (ole_) {
    if (auto init = SystemProc<OleInitializeFn>("ole32.dll", "OleInitialize")) hr = init(nullptr);
  } else if (auto init = SystemProc<CoInitializeExFn>("ole32.dll", "CoInitializeEx")) {
    hr = init(nullptr, COINIT_APARTMENTTHREADED);
  }
  // S_FALSE: COM was there already, and the call still counts.
  owned_ = hr == S_OK || hr == S_FALSE;
}

ComApartment::~ComApartment() {
  if (!owned_) return;
  auto done = SystemProc<UninitializeFn>("ole32.dll", ole_ ? "OleUninitialize" : "CoUninitialize");
  if (done != nullptr) done();
}

CoCreateInstanceFn CoCreateInstanceProc() {
  return SystemProc<CoCreateInstanceFn>("ole32.dll", "CoCreateInstance");
}

void FreeTaskMemory(void* p) {
  if (p == nullptr) return;
  if (auto free_it = SystemProc<void(WINAPI*)(LPVOID)>("ole32.dll", "CoTaskMemFree")) free_it(p);
}

}  // namespace corvane::platform::win32
