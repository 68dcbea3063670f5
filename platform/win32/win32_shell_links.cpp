// Shortcuts on the taskbar and the Start menu: the application identity of a shortcut file (its
// property store), the verbs the shell offers for a file (the scriptable shell object), and the
// shell's own texts of the pin verbs in every language the system has.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <propsys.h>
#include <shldisp.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "platform/win32/com_apartment.h"
#include "platform/win32/system_library.h"
#include "platform/win32/win32_common.h"
#include "platform/win32/win32_shell.h"

namespace corvane::platform::win32 {
namespace {

// The identifiers the shell defines for these objects.
constexpr GUID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID kPropertyStore = {
    0x886D8EEB, 0x8CF2, 0x4446, {0x8D, 0x02, 0xCD, 0xBA, 0x1D, 0xBD, 0xCF, 0x99}};
constexpr GUID kShellDispatch = {
    0xD8F015C0, 0xC278, 0x11CE, {0xA4, 0x9E, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// The application identity: {9F4C2855-9F79-4B39-A8D0-E1D42DE1D5F3} 5.
constexpr PROPERTYKEY kAppUserModelId = {
    {0x9F4C2855, 0x9F79, 0x4B39, {0xA8, 0xD0, 0xE1, 0xD4, 0x2D, 0xE1, 0xD5, 0xF3}}, 5};

// Releases an interface pointer at the end of its scope.
template <typename T>
class Ref {
 public:
  Ref() = default;
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T** out() { return &p_; }
  void** void_out() { return reinterpret_cast<void**>(&p_); }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string Narrow(const wchar_t* text) {
  if (!text) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

// A BSTR owned for its scope.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : b_(SysAllocString(text.c_str())) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return b_; }
  BSTR* out() { return &b_; }

 private:
  BSTR b_ = nullptr;
};

// The folder item of a file through the scriptable shell object: Namespace of its folder, then
// ParseName of its name.
bool FolderItemOf(const std::string& path, Ref<FolderItem>* item) {
  const size_t cut = path.find_last_of('\\');
  if (cut == std::string::npos) return false;
  CLSID shell_class;
  if (FAILED(CLSIDFromProgID(L"Shell.Application", &shell_class))) return false;
  Ref<IShellDispatch> shell;
  if (FAILED(CoCreateInstance(shell_class, nullptr, CLSCTX_INPROC_SERVER, kShellDispatch,
                              shell.void_out())) ||
      !shell) {
    return false;
  }
  VARIANT where;
  VariantInit(&where);
  where.vt = VT_BSTR;
  where.bstrVal = SysAllocString(Wide(path.substr(0, cut)).c_str());
  Ref<Folder> folder;
  const HRESULT hr = shell->NameSpace(where, folder.out());
  VariantClear(&where);
  if (FAILED(hr) || !folder) return false;
  Bstr name(Wide(path.substr(cut + 1)));
  return SUCCEEDED(folder->ParseName(name.get(), item->out())) && *item;
}

bool VerbsOf(FolderItem* item, Ref<FolderItemVerbs>* verbs, long* count) {
  *count = 0;
  if (FAILED(item->Verbs(verbs->out())) || !*verbs) return false;
  return SUCCEEDED((*verbs)->get_Count(count));
}

bool VerbAt(FolderItemVerbs* verbs, long index, Ref<FolderItemVerb>* verb, std::string* name) {
  VARIANT at;
  VariantInit(&at);
  at.vt = VT_I4;
  at.lVal = index;
  if (FAILED(verbs->Item(at, verb->out())) || !*verb) return false;
  Bstr text;
  if (FAILED((*verb)->get_Name(text.out()))) return false;
  *name = Narrow(text.get());
  return true;
}

// A string of a resource file of the shell, loaded as data only (nothing of it runs).
void AddText(const std::string& file, int id, std::vector<std::string>* texts) {
  HMODULE module = LoadLibraryExA(file.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return;
  char text[512] = {};
  const int n = LoadStringA(module, static_cast<UINT>(id), text, sizeof text);
  if (n > 0) {
    std::string t(text, static_cast<size_t>(n));
    bool seen = false;
    for (const std::string& have : *texts) seen = seen || have == t;
    if (!seen) texts->push_back(t);
  }
  FreeLibrary(module);
}

}  // namespace

Status Win32Shell::SetShortcutIdentity(const std::string& shortcut, const std::string& identity) {
  if (GetFileAttributesA(shortcut.c_str()) == INVALID_FILE_ATTRIBUTES) return Status::kNotFound;
  using ClearFn = HRESULT(WINAPI*)(PROPVARIANT*);
  using DupFn = HRESULT(WINAPI*)(LPCWSTR, LPWSTR*);
  auto clear = SystemProc<ClearFn>("ole32.dll", "PropVariantClear");
  auto dup = SystemProc<DupFn>("shlwapi.dll", "SHStrDupW");
  if (!clear || !dup) return Status::kFailed;
  ComApartment com;
  Ref<IShellLinkW> link;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW,
                              link.void_out()))) {
    return Status::kFailed;
  }
  Ref<IPersistFile> file;
  if (FAILED(link->QueryInterface(kPersistFile, file.void_out()))) return Status::kFailed;
  const std::wstring path = Wide(shortcut);
  if (FAILED(file->Load(path.c_str(), STGM_READWRITE))) return Status::kFailed;
  Ref<IPropertyStore> store;
  if (FAILED(link->QueryInterface(kPropertyStore, store.void_out()))) return Status::kFailed;
  PROPVARIANT value;
  PropVariantInit(&value);
  value.vt = VT_LPWSTR;
  if (FAILED(dup(Wide(identity).c_str(), &value.pwszVal))) return Status::kFailed;
  HRESULT hr = store->SetValue(kAppUserModelId, value);
  clear(&value);
  if (SUCCEEDED(hr)) hr = store->Commit();
  if (SUCCEEDED(hr)) hr = file->Save(path.c_str(), TRUE);
  return SUCCEEDED(hr) ? Status::kOk : Status::kFailed;
}

Status Win32Shell::ShellVerbs(const std::string& path, std::vector<std::string>* verbs) {
  verbs->clear();
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Status::kNotFound;
  ComApartment com;
  Ref<FolderItem> item;
  if (!FolderItemOf(path, &item)) return Status::kFailed;
  Ref<FolderItemVerbs> list;
  long count = 0;
  if (!VerbsOf(item.get(), &list, &count)) return Status::kFailed;
  for (long i = 0; i < count; ++i) {
    Ref<FolderItemVerb> verb;
    std::string name;
    if (VerbAt(list.get(), i, &verb, &name)) verbs->push_back(name);
  }
  return Status::kOk;
}

Status Win32Shell::InvokeShellVerb(const std::string& path, const std::string& wanted) {
  ComApartment com;
  Ref<FolderItem> item;
  if (!FolderItemOf(path, &item)) return Status::kFailed;
  Ref<FolderItemVerbs> list;
  long count = 0;
  if (!VerbsOf(item.get(), &list, &count)) return Status::kFailed;
  for (long i = 0; i < count; ++i) {
    Ref<FolderItemVerb> verb;
    std::string name;
    if (VerbAt(list.get(), i, &verb, &name) && name == wanted) {
      return SUCCEEDED(verb->DoIt()) ? Status::kOk : Status::kFailed;
    }
  }
  return Status::kNotFound;
}

std::vector<std::string> Win32Shell::ShellTexts(int id) {
  std::vector<std::string> texts;
  char system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryA(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return texts;
  const std::string folder = std::string(system) + "\\";
  AddText(folder + "shell32.dll", id, &texts);
  // On Windows Vista and later the texts live in one resource file per language, in a folder
  // named after the language below the system folder.
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&v);
#pragma GCC diagnostic pop
  if (v.dwMajorVersion < 6) return texts;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return texts;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || found.cFileName[0] == '.') {
      continue;
    }
    const std::string mui = folder + found.cFileName + "\\shell32.dll.mui";
    if (GetFileAttributesA(mui.c_str()) != INVALID_FILE_ATTRIBUTES) AddText(mui, id, &texts);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return texts;
}

}  // namespace corvane::platform::win32
