#include "platform/win32/win32_ui.h"

#include <shlobj.h>

#include "platform/win32/system_library.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {

int Win32UserInterface::MessageBox(const std::string& text, const std::string& caption,
                                   uint32_t flags) {
  // Owned by the active window of this thread, when there is one, so that it stays modal to it.
  int r = MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), flags);
  if (r == 0) FailLast();
  return r;
}

int Win32UserInterface::MessageBoxOwned(uint64_t owner, const std::string& text,
                                        const std::string& caption, uint32_t flags) {
  HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(owner));
  int r = MessageBoxA(window, text.c_str(), caption.c_str(), flags);
  if (r == 0) FailLast();
  return r;
}

Status Win32UserInterface::BrowseForFolder(const std::string& title, std::string* folder) {
  folder->clear();
  using Browse = PIDLIST_ABSOLUTE(WINAPI*)(LPBROWSEINFOA);
  using PathOf = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPSTR);
  auto browse = SystemProc<Browse>("shell32.dll", "SHBrowseForFolderA");
  auto path_of = SystemProc<PathOf>("shell32.dll", "SHGetPathFromIDListA");
  auto free_list = SystemProc<void(WINAPI*)(LPVOID)>("ole32.dll", "CoTaskMemFree");
  auto co_init = SystemProc<HRESULT(WINAPI*)(LPVOID, DWORD)>("ole32.dll", "CoInitializeEx");
  auto co_uninit = SystemProc<void(WINAPI*)()>("ole32.dll", "CoUninitialize");
  if (browse == nullptr || path_of == nullptr || free_list == nullptr || co_init == nullptr ||
      co_uninit == nullptr) {
    return Status::kFailed;
  }
  // The browser needs a single-threaded apartment on this thread.
  const HRESULT com = co_init(nullptr, COINIT_APARTMENTTHREADED);
  struct Apartment {
    bool ours;
    void (WINAPI* uninit)();
    ~Apartment() {
      if (ours) uninit();
    }
  } apartment{SUCCEEDED(com), co_uninit};
  char display[MAX_PATH] = {};
  BROWSEINFOA info = {};
  info.hwndOwner = GetActiveWindow();
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE list = browse(&info);
  if (list == nullptr) return Status::kNotFound;
  char path[MAX_PATH] = {};
  const BOOL ok = path_of(list, path);
  free_list(list);
  // A choice that is no folder of the file system (a printer, the network) is no answer.
  if (!ok || path[0] == 0) return Status::kNotFound;
  *folder = path;
  return Status::kOk;
}

}  // namespace corvane::platform::win32
