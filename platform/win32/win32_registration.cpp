#include "platform/win32/win32_registration.h"

#include "platform/win32/win32_common.h"
// After windows.h (through win32_common.h).
#include <oleauto.h>

#include "platform/text.h"
#include "platform/win32/com_apartment.h"
#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {

namespace {

#ifndef LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#endif
#ifndef LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000
#endif

using LoadTypeLibExFn = HRESULT(WINAPI*)(LPCOLESTR, REGKIND, ITypeLib**);
using RegisterTypeLibFn = HRESULT(WINAPI*)(ITypeLib*, LPOLESTR, LPOLESTR);
using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
using SysFreeStringFn = void(WINAPI*)(BSTR);
using EntryFn = HRESULT(STDAPICALLTYPE*)();

std::wstring Wide(const std::string& s) {
  std::u16string u = Utf16From1252(s);
  return std::wstring(u.begin(), u.end());
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A type library loaded without registering it; released when it goes.
class LoadedTypeLibrary {
 public:
  explicit LoadedTypeLibrary(const std::wstring& path) {
    auto load = SystemProc<LoadTypeLibExFn>("oleaut32.dll", "LoadTypeLibEx");
    if (load != nullptr) result_ = load(path.c_str(), REGKIND_NONE, &library_);
  }
  ~LoadedTypeLibrary() {
    if (library_ != nullptr) library_->Release();
  }
  LoadedTypeLibrary(const LoadedTypeLibrary&) = delete;
  LoadedTypeLibrary& operator=(const LoadedTypeLibrary&) = delete;
  ITypeLib* get() const { return SUCCEEDED(result_) ? library_ : nullptr; }

 private:
  ITypeLib* library_ = nullptr;
  HRESULT result_ = E_NOTIMPL;
};

// The folder of the library's own help file, from its documentation ("" when it names none).
std::wstring HelpFolder(ITypeLib* library) {
  BSTR help_file = nullptr;
  std::wstring folder;
  if (SUCCEEDED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, &help_file)) &&
      help_file != nullptr) {
    folder = FolderOf(help_file);
  }
  if (help_file != nullptr) {
    if (auto free_it = SystemProc<SysFreeStringFn>("oleaut32.dll", "SysFreeString")) {
      free_it(help_file);
    }
  }
  return folder;
}

Status Failed(HRESULT hr) {
  Fail(HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_GEN_FAILURE);
  return Status::kFailed;
}

}  // namespace

Status Win32LibraryRegistration::RegisterTypeLibrary(const std::string& path) {
  if (!FileExists(path)) return Fail(ERROR_FILE_NOT_FOUND);
  ComApartment ole(true);
  std::wstring wide_path = Wide(path);
  LoadedTypeLibrary library(wide_path);
  auto register_it = SystemProc<RegisterTypeLibFn>("oleaut32.dll", "RegisterTypeLib");
  if (library.get() == nullptr || register_it == nullptr) return Failed(E_FAIL);
  std::wstring help = HelpFolder(library.get());
  const HRESULT hr =
      register_it(library.get(), wide_path.data(), help.empty() ? nullptr : help.data());
  return SUCCEEDED(hr) ? Status::kOk : Failed(hr);
}

Status Win32LibraryRegistration::UnregisterTypeLibrary(const std::string& path) {
  if (!FileExists(path)) return Fail(ERROR_FILE_NOT_FOUND);
  ComApartment ole(true);
  LoadedTypeLibrary library(Wide(path));
  auto unregister = SystemProc<UnRegisterTypeLibFn>("oleaut32.dll", "UnRegisterTypeLib");
  TLIBATTR* attributes = nullptr;
  if (library.get() == nullptr || unregister == nullptr ||
      FAILED(library.get()->GetLibAttr(&attributes)) || attributes == nullptr) {
    return Failed(E_FAIL);
  }
  const TLIBATTR identity = *attributes;
  library.get()->ReleaseTLibAttr(attributes);
  const HRESULT hr = unregister(identity.guid, identity.wMajorVerNum, identity.wMinorVerNum,
                                identity.lcid, identity.syskind);
  return SUCCEEDED(hr) ? Status::kOk : Failed(hr);
}

Status Win32LibraryRegistration::CallRegistrationEntry(const std::string& path, bool register_it,
                                                       int32_t* result) {
  if (!FileExists(path)) return Fail(ERROR_FILE_NOT_FOUND);
  ComApartment ole(true);
  // The library's own dependencies come from its folder and the system folder, never from the
  // engine's folder or the current one; no system box asks for a missing one.
  const bool restricted =
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories") != nullptr;
  const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryExA(
      path.c_str(), nullptr,
      restricted ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
                 : LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD load_error = GetLastError();
  SetErrorMode(old_mode);
  if (module == nullptr) {
    Fail(load_error);
    return Status::kFailed;
  }
  auto entry = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(
      GetProcAddress(module, register_it ? "DllRegisterServer" : "DllUnregisterServer")));
  Status s = Status::kOk;
  if (entry == nullptr) {
    Fail(ERROR_PROC_NOT_FOUND);
    s = Status::kNotFound;
  } else {
    *result = static_cast<int32_t>(entry());
  }
  FreeLibrary(module);
  return s;
}

}  // namespace corvane::platform::win32
